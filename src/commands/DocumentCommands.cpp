#include "commands/DocumentCommands.h"

#include <QFile>
#include <QFileInfo>

#include <algorithm>

#include "commands/Ask.h"
#include "logic/AppLogic.h"

namespace hv {

namespace {

// Puts the working directory back when a file dialog is done with it, also after an error.
struct TWorkingDirectoryGuard {
  TWorkingDirectoryGuard() = default;
  TWorkingDirectoryGuard(const TWorkingDirectoryGuard&) = delete;
  TWorkingDirectoryGuard& operator=(const TWorkingDirectoryGuard&) = delete;
  ~TWorkingDirectoryGuard() { RestoreWorkingDirectory(); }
};

bool IsOpen(const TAppLogic& app, const TDocLogic* doc) {
  const auto& docs = app.Documents();
  return std::any_of(docs.begin(), docs.end(), [&](const auto& d) { return d.get() == doc; });
}

std::vector<TDocLogic*> Snapshot(const TAppLogic& app) {
  std::vector<TDocLogic*> docs;
  for (const auto& d : app.Documents()) docs.push_back(d.get());
  return docs;
}

}  // namespace

QString DocumentFilter() { return QtFileFilter(QString::fromLatin1(kDocumentFilter)); }

QString SaveQuestion(const TDocLogic& doc) {
  return QStringLiteral("Do you want to save the changes to document '") + PathToQt(doc.DisplayName()) +
         QStringLiteral("'?");
}

void TNewCmd::Execute(QObject*) {
  CommandEnvironment().OfferedResources.clear();
  AppLogic().NewDocument();
}

void TOpenCmd::Execute(QObject*) {
  TWorkingDirectoryGuard restore;
  const QString name = Ask().OpenFileName(QStringLiteral("Open"), DocumentFilter(), QStringLiteral("kvd"), QString());
  if (name.isEmpty()) return;
  CommandEnvironment().OfferedResources.clear();
  AppLogic().OpenDocument(PathFromQt(QFileInfo(name).absoluteFilePath()));
}

TCloseCmd::TCloseCmd() : TAppCommand({AppCode::CurrentDoc}) {}

bool TCloseCmd::IsEnabled() { return App.CurrentDocument() != nullptr; }

void TCloseCmd::Execute(QObject*) {
  if (TDocLogic* doc = App.CurrentDocument()) CloseAsking(doc);
}

bool TCloseCmd::CloseAsking(TDocLogic* doc) {
  if (!doc->IsModified) {
    doc->Close();
    return true;
  }
  switch (Ask().Confirm(SaveQuestion(*doc), TAskButtons::YesNoCancel)) {
    case TAskAnswer::Yes:
      RunCommand<TSaveCmd>();
      // A cancelled Save As leaves the document modified, and then it stays open.
      if (doc->IsModified) return false;
      doc->Close();
      return true;
    case TAskAnswer::No:
      doc->Close();
      return true;
    case TAskAnswer::Cancel:
      break;
  }
  return false;
}

void TCloseAllCmd::Execute(QObject*) {
  std::vector<TDocLogic*> docs = Snapshot(App);
  for (auto it = docs.rbegin(); it != docs.rend(); ++it) {
    TDocLogic* doc = *it;
    if (!IsOpen(App, doc)) continue;
    if (doc->IsModified) App.SetCurrentDocument(doc);
    CloseAsking(doc);
  }
}

TSaveCmd::TSaveCmd() : TAppCommand({AppCode::CurrentDoc, AppCode::Modified}, true) {}

bool TSaveCmd::IsEnabled() { return App.CurrentDocument() != nullptr && App.CurrentDocument()->IsModified; }

void TSaveCmd::Execute(QObject*) {
  TDocLogic* doc = App.CurrentDocument();
  if (doc == nullptr) return;
  if (doc->FileName.empty()) {
    RunCommand<TSaveAsCmd>();
    return;
  }
  TWorkingDirectoryGuard restore;
  doc->SaveToFile(doc->FileName);
}

TSaveAsCmd::TSaveAsCmd() : TAppCommand({AppCode::CurrentDoc}) {}

bool TSaveAsCmd::IsEnabled() { return App.CurrentDocument() != nullptr; }

void TSaveAsCmd::Execute(QObject*) {
  TDocLogic* doc = App.CurrentDocument();
  if (doc == nullptr) return;
  TWorkingDirectoryGuard restore;
  const QString name = Ask().SaveFileName(QStringLiteral("Save As"), DocumentFilter(), QStringLiteral("kvd"),
                                          PathToQt(doc->FileName), QString());
  if (name.isEmpty()) return;
  doc->SaveToFile(PathFromQt(QFileInfo(name).absoluteFilePath()));
}

// DocCreate as well: a derived document arrives modified without a Modified notification.
TSaveAllCmd::TSaveAllCmd() : TAppCommand({AppCode::Modified, AppCode::DocDestroy, AppCode::DocCreate}, true) {}

bool TSaveAllCmd::IsEnabled() {
  if (App.CurrentDocument() != nullptr && App.CurrentDocument()->IsModified) return true;
  const auto& docs = App.Documents();
  return std::any_of(docs.begin(), docs.end(), [](const auto& d) { return d->IsModified; });
}

void TSaveAllCmd::Execute(QObject*) {
  for (TDocLogic* doc : Snapshot(App)) {
    if (!IsOpen(App, doc) || !doc->IsModified) continue;
    if (!doc->FileName.empty()) {
      TWorkingDirectoryGuard restore;
      doc->SaveToFile(doc->FileName);
      continue;
    }
    App.SetCurrentDocument(doc);
    RunCommand<TSaveAsCmd>();
    if (doc->IsModified) return;
  }
}

}  // namespace hv
