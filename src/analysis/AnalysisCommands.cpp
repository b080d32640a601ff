#include "AnalysisCommands.h"

#include <QDesktopServices>
#include <QUrl>
#include <QWidget>

#include <filesystem>

#include "AnalysisSheets.h"
#include "PupilForm.h"
#include "commands/Ask.h"
#include "commands/MainMenu.h"
#include "components/AnsiString.h"
#include "core/Errors.h"
#include "logic/AppLogic.h"
#include "model/LibraryConfig.h"

namespace hv {

namespace {

bool OpenWithDesktop(const std::string& fileName) {
  return QDesktopServices::openUrl(QUrl::fromLocalFile(PathToQt(fileName)));
}

TWorkbookViewer& Viewer() {
  static TWorkbookViewer viewer = OpenWithDesktop;
  return viewer;
}

// Whatever happens inside, the working directory ends where configured relative paths expect it.
struct TRestoreDirectory {
  ~TRestoreDirectory() { RestoreWorkingDirectory(); }
};

bool EndsWithNoCase(const std::string& text, const std::string& tail) {
  if (text.size() < tail.size()) return false;
  for (std::size_t i = 0; i < tail.size(); ++i) {
    char c = text[text.size() - tail.size() + i];
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    if (c != tail[i]) return false;
  }
  return true;
}

}  // namespace

TAnalysisSettings ReadAnalysisSettings(const std::string& subject) {
  TAnalysisSettings s;
  s.UseResource = ReadProfileString(kLibraryIniName, subject, "UseResource", "1") == "1";
  s.TemplateName = ReadProfileString(kLibraryIniName, subject, "TemplateName", kDefaultTemplateName);
  return s;
}

std::string WorkbookFileName(const std::string& chosen) {
  if (chosen.empty() || EndsWithNoCase(chosen, ".xlsx")) return chosen;
  if (EndsWithNoCase(chosen, ".xls")) return chosen + (chosen.back() == 'S' ? "X" : "x");
  return chosen + ".xlsx";
}

void SetWorkbookViewer(TWorkbookViewer viewer) { Viewer() = viewer ? std::move(viewer) : OpenWithDesktop; }

TAnalysisSheetCmd::TAnalysisSheetCmd(TSettingsSource settings)
    : TAppCommand({AppCode::CurrentDoc, AppCode::Modified}, true), Source(std::move(settings)) {}

bool TAnalysisSheetCmd::IsEnabled() {
  const TDocLogic* doc = App.CurrentDocument();
  return doc != nullptr && doc->Document && !doc->Document->Entries.empty();
}

TAnalysisSettings TAnalysisSheetCmd::Settings() const {
  return Source ? Source() : ReadAnalysisSettings(App.Subject());
}

std::string TAnalysisSheetCmd::AskWorkbookName() {
  for (;;) {
    // The dialog must not ask about overwriting: the name it returns is not yet the one written
    // ("marks.xls" becomes "marks.xlsx"), so the question comes below, about the final name.
    const QString chosen = Ask().SaveFileName(
        QLatin1String(AnalysisDialogs::AnalysisTitle), QtFileFilter(QLatin1String(AnalysisDialogs::AnalysisFilter)),
        QLatin1String(AnalysisDialogs::AnalysisExt), QString(), QString(), /*confirmOverwrite=*/false);
    if (chosen.isEmpty()) return {};
    // Made absolute now: the working directory goes back to the program's afterwards.
    const std::string fileName = std::filesystem::absolute(WorkbookFileName(PathFromQt(chosen))).string();
    std::error_code ec;
    if (!std::filesystem::exists(fileName, ec)) return fileName;
    switch (Ask().Confirm(PathToQt(fileName) + QStringLiteral(" exists. Do you want to overwrite it?"),
                          TAskButtons::YesNoCancel)) {
      case TAskAnswer::Yes: return fileName;
      case TAskAnswer::No: continue;
      case TAskAnswer::Cancel: return {};
    }
  }
}

void TAnalysisSheetCmd::ShowWorkbook(const std::string& fileName) {
  if (!Viewer()(fileName))
    Ask().Message(QStringLiteral("No program to open the workbook was found. It was saved as %1.").arg(PathToQt(fileName)));
}

void TCreateSummaryCmd::Execute(QObject*) {
  if (!IsEnabled()) return;
  if (App.Library() == nullptr) throw EError("No library is open");
  TRestoreDirectory restore;
  const std::string fileName = AskWorkbookName();
  if (fileName.empty()) return;
  CreateFileIndexWorkbook(*App.CurrentDocument()->Document, *App.Library(), fileName);
  ShowStatusMessage(QStringLiteral("Workbook saved as \"%1\"").arg(PathToQt(fileName)));
  ShowWorkbook(fileName);
}

void TCreateMarkSheetCmd::Execute(QObject*) {
  if (!IsEnabled()) return;
  if (App.Library() == nullptr) throw EError("No library is open");
  const TAnalysisSettings settings = Settings();
  // A sheet without question columns would make each student's total add up its own cell.
  if (DocumentQuestions(*App.CurrentDocument()->Document, *App.Library(), settings.UseResource).empty()) {
    Ask().Message(QStringLiteral("The document holds no questions to enter marks for."));
    return;
  }
  TRestoreDirectory restore;
  std::optional<std::string> studentList;
  if (Ask().Confirm(QStringLiteral("Do you want to use a Student list?"), TAskButtons::YesNoCancel) == TAskAnswer::Yes) {
    const QString chosen =
        Ask().OpenFileName(QLatin1String(AnalysisDialogs::PupilTitle), QtFileFilter(QLatin1String(AnalysisDialogs::PupilFilter)),
                           QLatin1String(AnalysisDialogs::PupilExt), QString());
    if (!chosen.isEmpty()) studentList = std::filesystem::absolute(PathFromQt(chosen)).string();
  }
  const std::string fileName = AskWorkbookName();
  if (fileName.empty()) return;
  // The document may have closed while a dialog was open.
  TDocLogic* doc = App.CurrentDocument();
  if (doc == nullptr || !doc->Document) return;
  const std::string templateFile = FindTemplateFile(settings.TemplateName);
  CreateMarkEntryWorkbook(*doc->Document, *App.Library(), settings.UseResource, templateFile, studentList, fileName,
                          AskToDropHeader);
  ShowStatusMessage(QStringLiteral("Workbook saved as \"%1\"").arg(PathToQt(fileName)));
  ShowWorkbook(fileName);
}

TPupilForm* TShowPupilFormCmd::Form() const { return PupilForm.data(); }

void TShowPupilFormCmd::Execute(QObject*) {
  if (PupilForm.isNull()) PupilForm = new TPupilForm(qobject_cast<QWidget*>(parent()));
  PupilForm->show();
  PupilForm->raise();
  PupilForm->activateWindow();
}

void RegisterAnalysisCommands() {
  RegisterCommandClass("TCreateSummaryCmd", [](QObject* owner, QAction* menuItem, QObject* button) -> TCommand* {
    return TCommand::Create<TCreateSummaryCmd>(owner, menuItem, button);
  });
  RegisterCommandClass("TCreateMarkSheetCmd", [](QObject* owner, QAction* menuItem, QObject* button) -> TCommand* {
    return TCommand::Create<TCreateMarkSheetCmd>(owner, menuItem, button);
  });
  RegisterCommandClass("TShowPupilFormCmd", [](QObject* owner, QAction* menuItem, QObject* button) -> TCommand* {
    return TCommand::Create<TShowPupilFormCmd>(owner, menuItem, button);
  });
}

}  // namespace hv
