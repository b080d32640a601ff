#pragma once
// The File menu's recent tests and the crash-recovery copies of unsaved tests.
#include <QObject>
#include <QPointer>
#include <QTimer>

#include <memory>
#include <string>
#include <vector>

#include "core/Observer.h"

class QAction;
class QMenu;

namespace hv {

class TAppLogic;
class TRecentTests;
class TRecoveryStore;

// Lists the last tests opened or saved in the File menu, above Exit, as "&1 Name.kvd" to "&8 ...";
// choosing one opens it, and one that no longer exists leaves the list with a message.
class TRecentMenu : public QObject {
  Q_OBJECT
public:
  // before is the File menu's item the list goes above.
  TRecentMenu(TAppLogic& app, QMenu* fileMenu, QAction* before, std::string listFile);
  ~TRecentMenu() override;

  const std::vector<std::string>& Files() const;
  void Open(const std::string& path);

private:
  void Notified(TObservable* sender, const TNotificationSet& codes);
  void Rebuild();

  TAppLogic& App;
  QPointer<QMenu> Menu;
  QPointer<QAction> Before;
  std::unique_ptr<TRecentTests> Recent;
  std::vector<QAction*> Items;
};

// Every interval writes a copy of each modified test to the state folder; a save or a close
// removes that test's copy, and the end of a clean run removes them all. OfferRecovery, at start,
// offers the copies a crashed run left.
class TAutosave : public QObject {
  Q_OBJECT
public:
  static constexpr int kDefaultSeconds = 120;
  TAutosave(TAppLogic& app, std::string folder, int seconds);
  ~TAutosave() override;

  void OfferRecovery();
  void SaveNow();
  // The end of a clean run.
  void Finish();
  TRecoveryStore& Store() { return *Copies; }

private:
  void DocumentNotified(TObservable* sender, const TNotificationSet& codes);

  TAppLogic& App;
  std::unique_ptr<TRecoveryStore> Copies;
  QTimer Timer;
};

}  // namespace hv
