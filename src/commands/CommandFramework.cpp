#include "commands/CommandFramework.h"

#include <QAbstractButton>
#include <QAction>
#include <QCoreApplication>
#include <QDebug>
#include <QFile>

#include <filesystem>

#include "commands/Ask.h"
#include "components/AnsiString.h"
#include "core/Errors.h"
#include "logic/AppLogic.h"
#include "model/LibraryConfig.h"

namespace hv {

namespace {

TCommandEnvironment* Installed = nullptr;

std::string DefaultProgramDir() {
  if (!ProgramDirectory().empty()) return ProgramDirectory();
  if (QCoreApplication::instance() != nullptr)
    return QFile::encodeName(QCoreApplication::applicationDirPath()).toStdString();
  return {};
}

}  // namespace

TCommandEnvironment::TCommandEnvironment(TAppLogic& app)
    : App(app), Quit([] { QCoreApplication::quit(); }), ProgramDir(DefaultProgramDir()), Previous(Installed) {
  Installed = this;
}

TCommandEnvironment::~TCommandEnvironment() { Installed = Previous; }

TCommandEnvironment& CommandEnvironment() {
  if (Installed == nullptr) throw EError("The commands have no application state to act on");
  return *Installed;
}

TAppLogic& AppLogic() { return CommandEnvironment().App; }
TViewManager& QFViewManager() { return CommandEnvironment().QFView; }
TViewManager& ViewerViewManager() { return CommandEnvironment().ViewerView; }
TTSListManager& TSListManager() { return CommandEnvironment().TSList; }

QString PathToQt(const std::string& path) { return QFile::decodeName(QByteArray::fromStdString(path)); }

std::string PathFromQt(const QString& path) { return QFile::encodeName(path).toStdString(); }

void RestoreWorkingDirectory() {
  if (Installed == nullptr || Installed->ProgramDir.empty()) return;
  std::error_code ignored;
  std::filesystem::current_path(Installed->ProgramDir, ignored);
}

void ShowStatusMessage(const QString& text) {
  if (Installed != nullptr && Installed->StatusMessage) Installed->StatusMessage(text);
}

void ReportCommandError(const std::exception& error) {
  const QString text = AnsiToQt(error.what());
  if (!HasAsk()) {
    qWarning().noquote() << text;
    return;
  }
  try {
    Ask().Error(text);
  } catch (const std::exception& again) {
    qWarning().noquote() << text << AnsiToQt(again.what());
  }
}

TCommand::TCommand(QObject* owner) : QObject(owner) {}

TCommand::~TCommand() = default;

void TCommand::Bind(QAction* menuItem, QObject* button) {
  for (const auto& c : Connections) disconnect(c);
  Connections.clear();
  if (button != nullptr && qobject_cast<QAction*>(button) == nullptr && qobject_cast<QAbstractButton*>(button) == nullptr)
    throw EError("A command's button must be an action or a button");
  Menu = menuItem;
  Btn = button;
  Connect(menuItem);
  // One action often serves the menu and the toolbar; it must run the command once per trigger.
  if (button != menuItem) Connect(button);
  UpdateState();
}

void TCommand::Connect(QObject* control) {
  if (auto* action = qobject_cast<QAction*>(control))
    Connections.push_back(connect(action, &QAction::triggered, this, [this, action] { Triggered(action); }));
  else if (auto* button = qobject_cast<QAbstractButton*>(control))
    Connections.push_back(connect(button, &QAbstractButton::clicked, this, [this, button] { Triggered(button); }));
}

void TCommand::Triggered(QObject* sender) {
  QPointer<TCommand> alive(this);
  try {
    // A shortcut or a stale control must not run a command whose precondition no longer holds.
    if (IsEnabled()) Execute(sender);
  } catch (const std::exception& error) {
    ReportCommandError(error);
  }
  // A checkable control toggles itself when clicked; the command's own state decides.
  if (alive) UpdateState();
}

void TCommand::UpdateState() {
  const bool enabled = IsEnabled();
  const bool checked = IsChecked();
  auto applyTo = [&](QAction* action) {
    action->setEnabled(enabled);
    if (Checkable || checked) action->setCheckable(true);
    action->setChecked(checked);
  };
  if (Menu) applyTo(Menu);
  if (auto* action = qobject_cast<QAction*>(Btn.data())) {
    if (action != Menu) applyTo(action);
  } else if (auto* button = qobject_cast<QAbstractButton*>(Btn.data())) {
    button->setEnabled(enabled);
    if (Checkable || checked) button->setCheckable(true);
    button->setChecked(checked);
    button->setDown(checked);
  }
}

TAppCommand::TAppCommand(TNotificationSet refreshOn, bool observeDocuments)
    : App(AppLogic()), RefreshOn(refreshOn), ObservesDocuments(observeDocuments) {
  App.AddObserver<&TAppCommand::StateChanged>(this);
  if (ObservesDocuments) App.DocumentRelay().AddObserver<&TAppCommand::StateChanged>(this);
}

TAppCommand::~TAppCommand() {
  if (ObservesDocuments) App.DocumentRelay().RemoveObserver<&TAppCommand::StateChanged>(this);
  App.RemoveObserver<&TAppCommand::StateChanged>(this);
}

void TAppCommand::StateChanged(TObservable*, const TNotificationSet& codes) {
  if (RefreshOn.IsEmpty() || codes.Intersects(RefreshOn)) UpdateState();
}

}  // namespace hv
