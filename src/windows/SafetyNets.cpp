#include "windows/SafetyNets.h"

#include <QDateTime>
#include <QFileInfo>
#include <QMenu>

#include "commands/Ask.h"
#include "commands/CommandFramework.h"
#include "components/AnsiString.h"
#include "logic/AppLogic.h"
#include "logic/RecentTests.h"
#include "logic/Recovery.h"

namespace hv {

TRecentMenu::TRecentMenu(TAppLogic& app, QMenu* fileMenu, QAction* before, std::string listFile)
    : QObject(fileMenu), App(app), Menu(fileMenu), Before(before), Recent(std::make_unique<TRecentTests>(std::move(listFile))) {
  App.AddObserver<&TRecentMenu::Notified>(this);
  App.DocumentRelay().AddObserver<&TRecentMenu::Notified>(this);
  Rebuild();
}

TRecentMenu::~TRecentMenu() {
  App.DocumentRelay().RemoveObserver<&TRecentMenu::Notified>(this);
  App.RemoveObserver<&TRecentMenu::Notified>(this);
}

const std::vector<std::string>& TRecentMenu::Files() const { return Recent->Files(); }

void TRecentMenu::Notified(TObservable* sender, const TNotificationSet& codes) {
  const TDocLogic* doc = nullptr;
  if (codes.Contains(AppCode::DocCreate) && !App.Documents().empty())
    doc = App.Documents().back().get();  // opened, or new (and then without a file)
  else if (codes.Contains(AppCode::Filename))
    doc = dynamic_cast<const TDocLogic*>(sender);
  if (doc == nullptr || doc->FileName.empty()) return;
  Recent->Add(doc->FileName);
  Rebuild();
}

void TRecentMenu::Open(const std::string& path) {
  if (!QFileInfo::exists(PathToQt(path))) {
    Recent->Remove(path);
    Rebuild();
    Ask().Message(QStringLiteral("The test \"%1\" no longer exists, so it was removed from the list of recent tests.")
                      .arg(PathToQt(path)));
    return;
  }
  CommandEnvironment().OfferedResources.clear();
  App.OpenDocument(path);
}

void TRecentMenu::Rebuild() {
  if (Menu.isNull()) return;
  for (QAction* item : Items) {
    Menu->removeAction(item);
    item->deleteLater();
  }
  Items.clear();
  const std::vector<std::string>& files = Recent->Files();
  for (std::size_t i = 0; i < files.size(); ++i) {
    const QString path = PathToQt(files[i]);
    QString name = QFileInfo(path).fileName();
    // Two tests of one name in different folders are told apart by their folders.
    for (std::size_t j = 0; j < files.size(); ++j)
      if (j != i && QFileInfo(PathToQt(files[j])).fileName() == name) name = path;
    name.replace(QLatin1Char('&'), QStringLiteral("&&"));
    auto* item = new QAction(QStringLiteral("&%1 %2").arg(i + 1).arg(name), Menu);
    item->setObjectName(QStringLiteral("RecentM%1").arg(i + 1));
    item->setStatusTip(path);
    item->setToolTip(path);
    connect(item, &QAction::triggered, this, [this, file = files[i]] {
      try {
        Open(file);
      } catch (const std::exception& error) {
        ReportCommandError(error);
      }
    });
    Menu->insertAction(Before, item);
    Items.push_back(item);
  }
  if (!Items.empty()) {
    QAction* separator = new QAction(Menu);
    separator->setSeparator(true);
    separator->setObjectName(QStringLiteral("RecentN"));
    Menu->insertAction(Before, separator);
    Items.push_back(separator);
  }
}

TAutosave::TAutosave(TAppLogic& app, std::string folder, int seconds)
    : App(app), Copies(std::make_unique<TRecoveryStore>(std::move(folder), app.Subject())) {
  App.DocumentRelay().AddObserver<&TAutosave::DocumentNotified>(this);
  Timer.setInterval(std::max(1, seconds) * 1000);
  connect(&Timer, &QTimer::timeout, this, &TAutosave::SaveNow);
  Timer.start();
}

TAutosave::~TAutosave() { App.DocumentRelay().RemoveObserver<&TAutosave::DocumentNotified>(this); }

void TAutosave::DocumentNotified(TObservable* sender, const TNotificationSet& codes) {
  const auto* doc = dynamic_cast<const TDocLogic*>(sender);
  if (doc == nullptr) return;
  if (codes.Contains(AppCode::DocDestroy) || (codes.Contains(AppCode::Modified) && !doc->IsModified)) Copies->Forget(doc);
}

void TAutosave::SaveNow() {
  std::vector<TDocLogic*> docs;
  for (const auto& doc : App.Documents()) docs.push_back(doc.get());
  const std::string failure = Copies->SaveAll(docs);
  if (!failure.empty() && HasAsk())
    Ask().Warning(QStringLiteral("Copies of unsaved tests cannot be kept for recovery after a crash. %1")
                      .arg(AnsiToQt(failure)));
}

void TAutosave::Finish() {
  Timer.stop();
  Copies->Finish();
}

void TAutosave::OfferRecovery() {
  const auto reportKept = [this](const TRecoveryCopy& copy, const std::string& problem) {
    const std::string kept = Copies->KeepAside(copy);
    Ask().Warning(QStringLiteral("The recovery copy \"%1\" cannot be opened: %2. It was kept as \"%3\".")
                      .arg(PathToQt(copy.File), AnsiToQt(problem), PathToQt(kept)));
  };
  bool recovered = false;
  for (const TRecoveryCopy& copy : Copies->FindLeftOvers()) {
    if (!copy.Problem.empty()) {
      reportKept(copy, copy.Problem);
      continue;
    }
    const QString test = copy.Origin.empty() ? QStringLiteral("an untitled test") : QStringLiteral("\"%1\"").arg(PathToQt(copy.Origin));
    const QString when = QDateTime::fromSecsSinceEpoch(copy.SavedAt).toString(QStringLiteral("d MMMM yyyy, HH:mm"));
    const TAskAnswer answer = Ask().Confirm(
        QStringLiteral("Harrowvane ended without saving the changes to %1. A copy from %2 was kept. Do you want to recover it?")
            .arg(test, when),
        TAskButtons::YesNo);
    if (answer != TAskAnswer::Yes) {
      Copies->Discard(copy);
      continue;
    }
    try {
      App.RecoverDocument(copy.File, copy.Origin);
    } catch (const std::exception& error) {
      reportKept(copy, error.what());
      continue;
    }
    recovered = true;
    // The recovered test has a copy of this run before the old copy goes.
    SaveNow();
    Copies->Discard(copy);
  }
  if (recovered && !App.Documents().empty()) App.SetCurrentDocument(App.Documents().back().get());
}

}  // namespace hv
