#include "commands/MainMenu.h"

#include <map>

#include "commands/BrowseCommands.h"
#include "commands/DerivedCommands.h"
#include "commands/DocumentCommands.h"
#include "commands/EditCommands.h"
#include "commands/SearchCommands.h"
#include "commands/ViewCommands.h"

namespace hv {

namespace {

template <class TCmd>
TCommand* Make(QObject* owner, QAction* menuItem, QObject* button) {
  return TCommand::Create<TCmd>(owner, menuItem, button);
}

std::map<std::string, TCommandCreator, std::less<>>& Registry() {
  static std::map<std::string, TCommandCreator, std::less<>> registry = {
      {"TNewCmd", &Make<TNewCmd>},
      {"TOpenCmd", &Make<TOpenCmd>},
      {"TCloseCmd", &Make<TCloseCmd>},
      {"TCloseAllCmd", &Make<TCloseAllCmd>},
      {"TSaveCmd", &Make<TSaveCmd>},
      {"TSaveAsCmd", &Make<TSaveAsCmd>},
      {"TSaveAllCmd", &Make<TSaveAllCmd>},
      {"TExitCmd", &Make<TExitCmd>},
      {"TUndoCmd", &Make<TUndoCmd>},
      {"TRedoCmd", &Make<TRedoCmd>},
      {"TCutCmd", &Make<TCutCmd>},
      {"TCopyCmd", &Make<TCopyCmd>},
      {"TPasteCmd", &Make<TPasteCmd>},
      {"TClearCmd", &Make<TClearCmd>},
      {"TSelectAllCmd", &Make<TSelectAllCmd>},
      {"TToggleNumberedCmd", &Make<TToggleNumberedCmd>},
      {"TMoveToTopCmd", &Make<TMoveToTopCmd>},
      {"TMoveUpCmd", &Make<TMoveUpCmd>},
      {"TMoveDownCmd", &Make<TMoveDownCmd>},
      {"TMoveToBottomCmd", &Make<TMoveToBottomCmd>},
      {"TCopyToDocCmd", &Make<TCopyToDocCmd>},
      {"TViewQFCmd", &Make<TViewQFCmd>},
      {"TCloseQFCmd", &Make<TCloseQFCmd>},
      {"TDockQFCmd", &Make<TDockQFCmd>},
      {"TViewViewerCmd", &Make<TViewViewerCmd>},
      {"TCloseViewerCmd", &Make<TCloseViewerCmd>},
      {"TDockViewerCmd", &Make<TDockViewerCmd>},
      {"TViewMarkSchemeCmd", &Make<TViewMarkSchemeCmd>},
      {"TViewExaminersReportCmd", &Make<TViewExaminersReportCmd>},
      {"TViewSyllabusCmd", &Make<TViewSyllabusCmd>},
      {"TViewResourceCmd", &Make<TViewResourceCmd>},
      {"TCloseTSListCmd", &Make<TCloseTSListCmd>},
      {"TPrevCmd", &Make<TPrevCmd>},
      {"TNextCmd", &Make<TNextCmd>},
      {"TBackCmd", &Make<TBackCmd>},
      {"TRelatedQuestionsCmd", &Make<TRelatedQuestionsCmd>},
      {"TRelatedMarkSchemeCmd", &Make<TRelatedMarkSchemeCmd>},
      {"TRelatedExaminersReportCmd", &Make<TRelatedExaminersReportCmd>},
      {"TRelatedResourceCmd", &Make<TRelatedResourceCmd>},
      {"TRelatedSyllabusCmd", &Make<TRelatedSyllabusCmd>},
      {"TRelatedNoteCmd", &Make<TRelatedNoteCmd>},
      {"TSearchByIdentityCmd", &Make<TSearchByIdentityCmd>},
      {"TSearchByTopicCmd", &Make<TSearchByTopicCmd>},
      {"TSearchByQuestionTypeCmd", &Make<TSearchByQuestionTypeCmd>},
      {"TSearchByLevelCmd", &Make<TSearchByLevelCmd>},
      {"TSearchByPaperCmd", &Make<TSearchByPaperCmd>},
      {"TSearchByResCmd", &Make<TSearchByResCmd>},
      {"TCreateMarkSchemeCmd", &Make<TCreateMarkSchemeCmd>},
      {"TCreateReportCmd", &Make<TCreateReportCmd>},
  };
  return registry;
}

}  // namespace

void RegisterCommandClass(std::string name, TCommandCreator creator) { Registry()[std::move(name)] = creator; }

TCommandCreator FindCommandClass(std::string_view name) {
  const auto it = Registry().find(name);
  return it != Registry().end() ? it->second : nullptr;
}

const std::vector<TMenuSpec>& MainMenuSpec() {
  static const std::vector<TMenuSpec> menus = {
      {"File1", "&File",
       {
           {"New1", "&New", "Ctrl+N", "TNewCmd"},
           {"Open1", "&Open...", "Ctrl+O", "TOpenCmd"},
           {"Close1", "&Close", "", "TCloseCmd"},
           {"Save1", "&Save", "Ctrl+S", "TSaveCmd"},
           {"SaveAs1", "Save &As...", "", "TSaveAsCmd"},
           {"SaveAll1", "Save Al&l", "", "TSaveAllCmd"},
           {"N1", "", "", ""},
           {"PrintSetupM", "Print Set&up...", "", "TPrintSetupCmd"},
           {"PrintPreviewM", "Print Pre&view", "", "TPrintPreviewCmd"},
           {"PrintM", "&Print...", "Ctrl+P", "TPrintCmd"},
           {"N2", "", "", ""},
           {"Exit1", "E&xit", "", "TExitCmd"},
       }},
      {"Edit1", "&Edit",
       {
           {"UndoM", "&Undo", "Ctrl+Z", "TUndoCmd"},
           {"RedoM", "&Redo", "Ctrl+Shift+Z; Ctrl+Y", "TRedoCmd"},
           {"N7", "", "", ""},
           {"CutM", "Cu&t", "Ctrl+X", "TCutCmd"},
           {"CopyM", "&Copy", "Ctrl+C", "TCopyCmd"},
           {"PasteM", "&Paste", "Ctrl+V", "TPasteCmd"},
           {"ClearM", "Cle&ar", "Del", "TClearCmd"},
           {"SelectAllM", "Select A&ll", "Ctrl+A", "TSelectAllCmd"},
           {"N3", "", "", ""},
           {"ShowNumberM", "Show &Number", "", "TToggleNumberedCmd"},
           {"Move1",
            "&Move",
            "",
            "",
            true,
            {
                {"MoveToTopM", "To &Top", "", "TMoveToTopCmd"},
                {"MoveUpM", "&Up", "", "TMoveUpCmd"},
                {"MoveDownM", "&Down", "", "TMoveDownCmd"},
                {"MoveToBottomM", "To &Bottom", "", "TMoveToBottomCmd"},
            }},
           {"CopytoDocM", "Copy to &Document", "Ctrl+D", "TCopyToDocCmd"},
       }},
      {"View1", "&View",
       {
           {"QuestionFinder1", "&Question Finder", "Ctrl+Q", "TViewQFCmd"},
           {"Viewer1", "&Viewer", "Ctrl+W", "TViewViewerCmd"},
           {"N4", "", "", ""},
           {"ViewMSM", "&Markscheme", "", "TViewMarkSchemeCmd"},
           {"ViewExRepM", "&Examiner's Report", "", "TViewExaminersReportCmd"},
           {"ViewSylM", "&Specification", "", "TViewSyllabusCmd"},
           {"N5", "", "", ""},
           {"NextM", "&Next", "", "TNextCmd"},
           {"PrevM", "&Previous", "", "TPrevCmd"},
           {"BackM", "&Back", "Ctrl+B", "TBackCmd"},
           {"Related1",
            "&Related",
            "",
            "",
            true,
            {
                {"RelQM", "&Question", "", "TRelatedQuestionsCmd"},
                {"RelMSM", "&Mark Scheme", "", "TRelatedMarkSchemeCmd"},
                {"RelERM", "&Report", "", "TRelatedExaminersReportCmd"},
                {"RelSylM", "&Link", "", "TRelatedSyllabusCmd"},
                {"RelNoteM", "&Notes", "", "TRelatedNoteCmd"},
            }},
       }},
      {"Insert1", "&Insert",
       {
           {"InsertTitleM", "&Title", "", "TInsertTitleCmd"},
           {"InsertSectionM", "&Section", "", "TInsertSectionCmd"},
           {"InsertTextM", "Te&xt", "", "TInsertTextCmd"},
       }},
      {"Tools1", "&Tools",
       {
           {"CreateMarkScheme1", "&Create Markscheme", "Ctrl+M", "TCreateMarkSchemeCmd"},
           {"EditTextM", "&Edit Text...", "Ctrl+E", "TEditTextCmd"},
           {"CreateReport1", "Create &Report", "Ctrl+R", "TCreateReportCmd"},
           {"CreateSummary1", "Create &File Index", "", "TCreateSummaryCmd"},
           {"ExporttoWP2", "Exp&ort to WP", "", "TExportCmd"},
           {"PupilLists2", "Create/Edit Student L&ists", "", "TShowPupilFormCmd"},
           {"AnalysisSheets2", "Create &Mark Entry Sheet", "", "TCreateMarkSheetCmd"},
           {"ImportMarks1", "Import Mar&ks...", "", "TImportMarksCmd"},
       }},
      {"Window1", "&Window",
       {
           {"Tile1", "&Tile", "", ""},
           {"Cascade1", "&Cascade", "", ""},
           {"ArrangeIcons1", "&Arrange Icons", "", ""},
       }},
      {"Help1", "&Help",
       {
           {"Contents1", "&Contents", "", ""},
           {"SearchforHelpon1", "&Search for Help on...", "", ""},
           {"ContextHelp1", "Conte&xt Help", "Ctrl+H", "", false},
           {"AboutVornika1", "&About Harrowvane...", "", ""},
       }},
      {"Debug1", "&Debug",
       {
           {"Monitor1", "&Monitor", "", "TDebugMonitorCmd"},
           {"AddItems1", "&Add Items", "", "TDebugAddItemsCmd"},
       },
       false},
  };
  return menus;
}

const std::vector<TToolButtonSpec>& ToolbarSpec() {
  static const std::vector<TToolButtonSpec> buttons = {
      {"NewB", "Create new document", 0, "TNewCmd"},
      {"OpenB", "Open existing document", 1, "TOpenCmd"},
      {"SaveB", "Save current document", 2, "TSaveCmd"},
      {"btExport", "Export to Word", 39, "TExportCmd"},
      {"PrintB", "Print current document", 3, "TPrintCmd"},
      {"PrintPrevB", "Preview current document", 4, "TPrintPreviewCmd"},
      {"UndoB", "Undo", -1, "TUndoCmd", "Undo"},
      {"RedoB", "Redo", -1, "TRedoCmd", "Redo"},
      {"CutB", "Cut", 5, "TCutCmd"},
      {"CopyB", "Copy", 6, "TCopyCmd"},
      {"PasteB", "Paste", 7, "TPasteCmd"},
      {"CreateMSB", "Create Markscheme", 22, "TCreateMarkSchemeCmd"},
      {"RepB", "Create Report", 38, "TCreateReportCmd"},
      {"QFB", "Question Finder", 13, "TViewQFCmd"},
      {"ViewerB", "Viewer", 14, "TViewViewerCmd"},
      {"ViewSylB", "View Specification", 20, "TViewSyllabusCmd"},
      {"CopyToDocB", "Copy to document", 15, "TCopyToDocCmd"},
  };
  return buttons;
}

const std::vector<const char*>& MainWindowCommandOrder() {
  static const std::vector<const char*> order = {
      "TNewCmd", "TOpenCmd", "TCloseCmd", "TSaveCmd", "TSaveAsCmd", "TSaveAllCmd", "TPrintSetupCmd", "TPrintCmd",
      "TExportCmd", "TPrintPreviewCmd", "TExitCmd", "TUndoCmd", "TRedoCmd", "TCutCmd", "TCopyCmd", "TPasteCmd", "TClearCmd",
      "TSelectAllCmd", "TToggleNumberedCmd", "TMoveToTopCmd", "TMoveUpCmd", "TMoveDownCmd", "TMoveToBottomCmd",
      "TCopyToDocCmd", "TViewQFCmd", "TViewViewerCmd", "TViewMarkSchemeCmd", "TViewExaminersReportCmd",
      "TViewSyllabusCmd", "TPrevCmd", "TNextCmd", "TBackCmd", "TRelatedQuestionsCmd", "TRelatedMarkSchemeCmd",
      "TRelatedExaminersReportCmd", "TRelatedSyllabusCmd", "TRelatedNoteCmd", "TInsertTitleCmd",
      "TInsertSectionCmd", "TInsertTextCmd", "TCreateMarkSchemeCmd", "TCreateReportCmd", "TCreateSummaryCmd",
      "TCreateMarkSheetCmd", "TImportMarksCmd", "TEditTextCmd", "TDebugMonitorCmd", "TDebugAddItemsCmd"};
  return order;
}

}  // namespace hv
