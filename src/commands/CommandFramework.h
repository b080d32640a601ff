#pragma once
// Command objects behind menu items and toolbar buttons, and the shared objects they act on.
#include <QAction>
#include <QObject>
#include <QPointer>

#include <exception>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "commands/ViewManagers.h"
#include "core/Observer.h"


namespace hv {

class TAppLogic;

// The objects every command acts on: the application state, the three view managers, and the
// resources already offered for the current document. The program makes one at start-up, after
// the library is open; each test makes its own. Constructing one installs it for the whole process
// and destroying it puts the previous one back; it must outlive every command created under it.
class TCommandEnvironment {
public:
  explicit TCommandEnvironment(TAppLogic& app);
  ~TCommandEnvironment();
  TCommandEnvironment(const TCommandEnvironment&) = delete;
  TCommandEnvironment& operator=(const TCommandEnvironment&) = delete;

  TAppLogic& App;
  TViewManager QFView;
  TViewManager ViewerView;
  TTSListManager TSList;
  // Full IDs of the resource identities the Question Finder has offered to add to the document.
  std::vector<std::string> OfferedResources;
  // Ends the program once Exit has closed every document; quits the Qt event loop unless replaced.
  std::function<void()> Quit;
  // Where file dialogs leave the working directory: configured library paths may be relative to it.
  std::string ProgramDir;
  // Shows a passing message in the status line; the main window sets it.
  std::function<void(const QString&)> StatusMessage;

private:
  TCommandEnvironment* Previous;
};

// The installed environment and its parts; each raises EError when none is installed.
TCommandEnvironment& CommandEnvironment();
TAppLogic& AppLogic();
TViewManager& QFViewManager();
TViewManager& ViewerViewManager();
TTSListManager& TSListManager();

// File names cross to Qt in the file system's own encoding, not the model's code page.
QString PathToQt(const std::string& path);
std::string PathFromQt(const QString& path);

// Sets the working directory back to the program's directory; never throws.
void RestoreWorkingDirectory();

// Says in the status line what work that leaves the screen unchanged did (where a file went);
// nothing when no environment or no status line is there.
void ShowStatusMessage(const QString& text);

// The one place a command's failure reaches the user when a control ran it: the message goes into
// an error box and the program carries on.
void ReportCommandError(const std::exception& error);

// Performs one action. Binds to at most one menu item and one toolbar button (a QAction, or a
// QAbstractButton), runs Execute when either is triggered while the command is enabled, and
// copies IsEnabled and IsChecked to both in UpdateState.
//
// Commands with controls are made with Create, which binds them and shows their state at once;
// without controls the default constructor is enough (RunCommand). The owner, a QObject parent,
// frees the command.
class TCommand : public QObject {
  Q_OBJECT
public:
  explicit TCommand(QObject* owner = nullptr);
  ~TCommand() override;

  template <class TCmd, class... TArgs>
  static TCmd* Create(QObject* owner, QAction* menuItem, QObject* button, TArgs&&... args) {
    auto* command = new TCmd(std::forward<TArgs>(args)...);
    command->setParent(owner);
    command->Bind(menuItem, button);
    return command;
  }

  // button is a QAction or a QAbstractButton; either may be null. Binding a second time replaces
  // the earlier controls.
  void Bind(QAction* menuItem, QObject* button);

  // sender is the control that was triggered, or null when the command is run without one.
  virtual void Execute(QObject* sender) = 0;
  // Not const: some commands remember what they found for Execute.
  virtual bool IsEnabled() { return true; }
  virtual bool IsChecked() { return false; }

  void UpdateState();

  QAction* MenuItem() const { return Menu.data(); }
  QObject* Button() const { return Btn.data(); }

protected:
  // Commands with a checked state make their controls checkable.
  bool Checkable = false;

private:
  void Triggered(QObject* sender);
  void Connect(QObject* control);

  QPointer<QAction> Menu;
  QPointer<QObject> Btn;
  std::vector<QMetaObject::Connection> Connections;
};

// A command whose state depends on the application state: it observes AppLogic and, when asked
// to, every document through AppLogic's DocumentRelay, and refreshes its controls when a
// notification carries one of its codes (any code when it names none).
class TAppCommand : public TCommand {
  Q_OBJECT
public:
  explicit TAppCommand(TNotificationSet refreshOn = {}, bool observeDocuments = false);
  ~TAppCommand() override;

  virtual void StateChanged(TObservable* sender, const TNotificationSet& codes);

protected:
  TAppLogic& App;

private:
  TNotificationSet RefreshOn;
  bool ObservesDocuments;
};

// Runs a command with no controls: create, Execute(nullptr), free. Errors go on to the caller.
template <class TCmd, class... TArgs>
void RunCommand(TArgs&&... args) {
  auto command = std::make_unique<TCmd>(std::forward<TArgs>(args)...);
  command->Execute(nullptr);
}

}  // namespace hv
