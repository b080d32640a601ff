#include "commands/DocumentCommands.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

#include <algorithm>

#include "commands/Ask.h"
#include "components/AnsiString.h"
#include "logic/AppLogic.h"
#include "model/Segments.h"

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

namespace {
QString& LastDocumentFolder() {
  static QString folder;
  return folder;
}

QString JoinIDs(const std::vector<std::string>& ids) {
  // A long list is cut, so the message box still fits on the screen.
  constexpr std::size_t kShown = 20;
  QString text;
  for (std::size_t i = 0; i < ids.size() && i < kShown; ++i) {
    if (i > 0) text += QStringLiteral(", ");
    text += AnsiToQt(ids[i]);
  }
  if (ids.size() > kShown) text += QStringLiteral(" and %1 more").arg(ids.size() - kShown);
  return text;
}
}  // namespace

QString DocumentFolder() {
  if (!LastDocumentFolder().isEmpty() && QFileInfo(LastDocumentFolder()).isDir()) return LastDocumentFolder();
  const QString documents = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
  if (!documents.isEmpty() && QFileInfo(documents).isDir()) return documents;
  return QDir::homePath();
}

void RememberDocumentFolder(const QString& fileName) {
  LastDocumentFolder() = QFileInfo(fileName).absolutePath();
}

QString OpenReport(const TDocLogic& doc) {
  QStringList parts;
  const QString name = PathToQt(doc.DisplayName());
  if (!doc.MissingIDs.empty())
    parts << QStringLiteral("These items of '%1' are not in this library: %2. They are shown as placeholders and kept "
                            "when the test is saved; printing, export and derived documents leave them out.")
                 .arg(name, JoinIDs(doc.MissingIDs));
  for (const TDamagedEntry& damaged : doc.Damaged)
    parts << QStringLiteral("The text of %1 could not be read (%2). It is kept as a placeholder.")
                 .arg(AnsiToQt(DescribeEntry(*doc.Document, damaged.Index)), AnsiToQt(damaged.Reason));
  if (!doc.ReadWarnings.empty())
    parts << QStringLiteral("The file had faults that were stepped over: %1.").arg(AnsiToQt(doc.ReadWarnings.front())) +
                 (doc.ReadWarnings.size() > 1 ? QStringLiteral(" (and %1 more)").arg(doc.ReadWarnings.size() - 1)
                                              : QString());
  return parts.join(QStringLiteral("\n\n"));
}

void TellPlaceholdersLeftOut(const TDocLogic* doc, const QString& what) {
  if (doc == nullptr || !doc->Document) return;
  std::vector<std::string> names;
  for (const TDocContent* entry : doc->Document->Entries)
    if (entry->IsPlaceholder() && entry->Segment != nullptr)
      names.push_back(entry->Placeholder ? entry->Segment->GetID() : "\"" + entry->Segment->GetName() + "\"");
  if (names.empty()) return;
  Ask().Message(QStringLiteral("The %1 leaves out %2 placeholder %3 of '%4': %5.")
                    .arg(what)
                    .arg(names.size())
                    .arg(names.size() == 1 ? QStringLiteral("entry") : QStringLiteral("entries"),
                         PathToQt(doc->DisplayName()), JoinIDs(names)));
}

void OpenDocumentReporting(const std::string& fileName) {
  TAppLogic& app = AppLogic();
  app.OpenDocument(fileName);
  if (app.Documents().empty()) return;
  const QString report = OpenReport(*app.Documents().back());
  if (!report.isEmpty()) Ask().Warning(report);
}

bool SaveDocument(TDocLogic& doc, const std::string& fileName) {
  const std::vector<TDocContent*> damaged = doc.KeepDamaged ? std::vector<TDocContent*>() : doc.DamagedEntries();
  if (!damaged.empty()) {
    QStringList names;
    for (TDocContent* entry : damaged)
      names << AnsiToQt(DescribeEntry(*doc.Document, static_cast<std::size_t>(doc.Document->IndexOf(entry))));
    const QString question =
        QStringLiteral("The text of %1 could not be read when the test was opened. Drop %2 from the test before "
                       "saving? No keeps %3 as a placeholder with a notice in place of the text.")
            .arg(names.join(QStringLiteral("; ")), damaged.size() == 1 ? QStringLiteral("it") : QStringLiteral("them"),
                 damaged.size() == 1 ? QStringLiteral("it") : QStringLiteral("them"));
    switch (Ask().Confirm(question, TAskButtons::YesNoCancel)) {
      case TAskAnswer::Yes: doc.RemoveEntries(damaged); break;
      case TAskAnswer::No: doc.KeepDamaged = true; break;
      case TAskAnswer::Cancel: return false;
    }
  }
  try {
    doc.SaveToFile(fileName);
  } catch (const EFileChanged& changed) {
    const QString question = AnsiToQt(changed.what()) +
                             QStringLiteral(" Saving now replaces that change with this test. Save anyway?");
    if (Ask().Confirm(question, TAskButtons::YesNo) != TAskAnswer::Yes) return false;
    doc.SaveToFile(fileName, true);
  }
  return true;
}

void TNewCmd::Execute(QObject*) {
  CommandEnvironment().OfferedResources.clear();
  AppLogic().NewDocument();
}

void TOpenCmd::Execute(QObject*) {
  TWorkingDirectoryGuard restore;
  const QString name =
      Ask().OpenFileName(QStringLiteral("Open"), DocumentFilter(), QStringLiteral("kvd"), DocumentFolder());
  if (name.isEmpty()) return;
  RememberDocumentFolder(name);
  CommandEnvironment().OfferedResources.clear();
  OpenDocumentReporting(PathFromQt(QFileInfo(name).absoluteFilePath()));
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
  // Every question is answered and every save done before anything closes: a save that fails
  // stops here with every document still open, and the error reaches the user.
  std::vector<TDocLogic*> docs = Snapshot(App);
  std::vector<TDocLogic*> closing;
  for (auto it = docs.rbegin(); it != docs.rend(); ++it) {
    TDocLogic* doc = *it;
    if (!IsOpen(App, doc)) continue;
    if (!doc->IsModified) {
      closing.push_back(doc);
      continue;
    }
    App.SetCurrentDocument(doc);
    switch (Ask().Confirm(SaveQuestion(*doc), TAskButtons::YesNoCancel)) {
      case TAskAnswer::Yes:
        RunCommand<TSaveCmd>();
        if (!doc->IsModified) closing.push_back(doc);
        break;
      case TAskAnswer::No: closing.push_back(doc); break;
      case TAskAnswer::Cancel: break;
    }
  }
  for (TDocLogic* doc : closing)
    if (IsOpen(App, doc)) doc->Close();
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
  SaveDocument(*doc, doc->FileName);
}

TSaveAsCmd::TSaveAsCmd() : TAppCommand({AppCode::CurrentDoc}) {}

bool TSaveAsCmd::IsEnabled() { return App.CurrentDocument() != nullptr; }

void TSaveAsCmd::Execute(QObject*) {
  TDocLogic* doc = App.CurrentDocument();
  if (doc == nullptr) return;
  TWorkingDirectoryGuard restore;
  const QString name = Ask().SaveFileName(QStringLiteral("Save As"), DocumentFilter(), QStringLiteral("kvd"),
                                          PathToQt(doc->FileName), DocumentFolder());
  if (name.isEmpty()) return;
  // A bare name typed into the dialog belongs in the folder it showed, never the program's own.
  const QFileInfo chosen(QDir(DocumentFolder()), name);
  RememberDocumentFolder(chosen.absoluteFilePath());
  SaveDocument(*doc, PathFromQt(chosen.absoluteFilePath()));
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
      if (!SaveDocument(*doc, doc->FileName)) return;
      continue;
    }
    App.SetCurrentDocument(doc);
    RunCommand<TSaveAsCmd>();
    if (doc->IsModified) return;
  }
}

}  // namespace hv
