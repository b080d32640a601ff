#pragma once
// The diagnostic monitor of notifications and the diagnostic Add Items command.
#include <QWidget>

#include "commands/CommandFramework.h"
#include "core/Observer.h"

class QListWidget;

namespace hv {

class TAppLogic;

// Logs every notification of the application state, the documents and the question selector,
// one line each, while it is shown. A right click clears the log.
class TMonitorForm : public QWidget {
  Q_OBJECT
public:
  explicit TMonitorForm(TAppLogic& app, QWidget* parent = nullptr);
  ~TMonitorForm() override;

  QListWidget* LogLB() const { return Log; }
  void Logger(TObservable* sender, const TNotificationSet& codes);
  // "TAppLogic (00007F...):" followed by the labels of the codes, in code order.
  static QString LogLine(const TObservable* sender, const TNotificationSet& codes);

protected:
  void showEvent(QShowEvent* event) override;
  void hideEvent(QHideEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

private:
  void Attach();
  void Detach();

  TAppLogic& App;
  QListWidget* Log;
  bool Attached = false;
};

// The monitor, once it exists.
TMonitorForm* MonitorForm();

// Shows the monitor.
class TDebugMonitorCmd : public TCommand {
  Q_OBJECT
public:
  void Execute(QObject* sender) override;
};

// Adds library texts to the end of the current document by their typed IDs, asking until the
// user cancels; an ID the library rejects is shown and offered again for correction.
class TDebugAddItemsCmd : public TAppCommand {
  Q_OBJECT
public:
  TDebugAddItemsCmd();
  void Execute(QObject* sender) override;
  bool IsEnabled() override;
};

// Makes the window layer's commands known to the main window; safe to call more than once.
void RegisterWindowCommands();

}  // namespace hv
