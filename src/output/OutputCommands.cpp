#include "output/OutputCommands.h"

#include "commands/Ask.h"
#include "commands/DocumentCommands.h"
#include "commands/MainMenu.h"
#include "logic/AppLogic.h"
#include "model/Segments.h"
#include "output/EditForm.h"
#include "output/Export.h"
#include "output/OutputForms.h"
#include "output/PrintForm.h"
#include "output/TitleForms.h"

#include "AnsiString.h"

namespace hv {

namespace {

template <class TCmd>
TCommand* Make(QObject* owner, QAction* menuItem, QObject* button) {
  return TCommand::Create<TCmd>(owner, menuItem, button);
}

// Puts the working directory back after a file dialog, also when the command fails.
struct TRestoreDirectory {
  ~TRestoreDirectory() { RestoreWorkingDirectory(); }
};

}  // namespace

void TPrintSetupCmd::Execute(QObject*) { OutputForms().Print().PrinterSetup(); }

TDocOutputCmd::TDocOutputCmd() : TAppCommand({AppCode::CurrentDoc, AppCode::Document}, true) {}

bool TDocOutputCmd::IsEnabled() {
  const TDocLogic* doc = App.CurrentDocument();
  return doc != nullptr && doc->Document && !doc->Document->Entries.empty();
}

void TPrintCmd::Execute(QObject*) {
  if (!IsEnabled()) return;
  TellPlaceholdersLeftOut(App.CurrentDocument(), QStringLiteral("print"));
  OutputForms().Print().PrintDocument();
}

void TPrintPreviewCmd::Execute(QObject*) {
  if (!IsEnabled()) return;
  TellPlaceholdersLeftOut(App.CurrentDocument(), QStringLiteral("preview"));
  OutputForms().Print().PreviewDocument();
}

void TExportCmd::Execute(QObject*) {
  TRestoreDirectory restore;
  TellPlaceholdersLeftOut(App.CurrentDocument(), QStringLiteral("export"));
  ExportCurrentDocument(App);
}

TInsertCmd::TInsertCmd() : TAppCommand({AppCode::CurrentDoc}) {}

bool TInsertCmd::IsEnabled() { return App.CurrentDocument() != nullptr; }

void TInsertTitleCmd::Execute(QObject*) {
  if (TDocLogic* doc = App.CurrentDocument()) OutputForms().Title().InsertTitle(*doc, AnsiToQt(App.OrganisationName()));
}

void TInsertSectionCmd::Execute(QObject*) {
  if (TDocLogic* doc = App.CurrentDocument()) OutputForms().Section().InsertSection(*doc);
}

void TInsertTextCmd::Execute(QObject*) {
  if (App.CurrentDocument() != nullptr) OutputForms().Edit().InsertNewText();
}

TEditTextCmd::TEditTextCmd() : TEditCmd({AppCode::CurrentSelection, AppCode::CurrentDoc}) {}

bool TEditTextCmd::IsEnabled() { return EditingCurrentDocument(); }

void TEditTextCmd::Execute(QObject*) {
  const TDocContent* entry = CurrentEntry();
  if (entry == nullptr) return;
  if (entry->Placeholder) {
    Ask().Message(AnsiToQt(entry->Placeholder->Caption) + QStringLiteral(": it cannot be edited."));
    return;
  }
  if (!entry->OwnsSegment() &&
      Ask().Confirm(QString::fromUtf8(kMakeCopyQuestion), TAskButtons::YesNo) != TAskAnswer::Yes)
    return;
  OutputForms().Edit().EditEntryText();
}

void RegisterOutputCommands() {
  RegisterCommandClass("TPrintSetupCmd", &Make<TPrintSetupCmd>);
  RegisterCommandClass("TPrintCmd", &Make<TPrintCmd>);
  RegisterCommandClass("TPrintPreviewCmd", &Make<TPrintPreviewCmd>);
  RegisterCommandClass("TExportCmd", &Make<TExportCmd>);
  RegisterCommandClass("TInsertTitleCmd", &Make<TInsertTitleCmd>);
  RegisterCommandClass("TInsertSectionCmd", &Make<TInsertSectionCmd>);
  RegisterCommandClass("TInsertTextCmd", &Make<TInsertTextCmd>);
  RegisterCommandClass("TEditTextCmd", &Make<TEditTextCmd>);
}

}  // namespace hv
