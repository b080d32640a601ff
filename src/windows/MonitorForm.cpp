#include "windows/MonitorForm.h"

#include <QEvent>
#include <QListWidget>
#include <QMouseEvent>
#include <QPointer>
#include <QVBoxLayout>

#include <cxxabi.h>

#include <array>
#include <cstdlib>
#include <memory>
#include <typeinfo>

#include "commands/Ask.h"
#include "commands/MainMenu.h"
#include "components/AnsiString.h"
#include "core/Errors.h"
#include "logic/AppLogic.h"
#include "model/Library.h"
#include "model/Segments.h"

namespace hv {

namespace {

QPointer<TMonitorForm> Monitor;

struct TLabel {
  int Code;
  const char* Text;
};
constexpr std::array<TLabel, 9> kLabels = {{
    {AppCode::Document, " Document"},
    {AppCode::Filename, " Filename"},
    {AppCode::Modified, " Modified"},
    {AppCode::DocCreate, " DocCreate"},
    {AppCode::DocDestroy, " DocDestroy"},
    {AppCode::CurrentDoc, " CurrentDoc"},
    {AppCode::CurrentList, " CurrentList"},
    {AppCode::CurrentSelection, " CurrentSelection"},
    {AppCode::History, " History"},
}};

// The class name of an object without its namespace ("TAppLogic").
QString ClassNameOf(const TObservable* object) {
  const char* mangled = typeid(*object).name();
  int status = 0;
  std::unique_ptr<char, void (*)(void*)> demangled(abi::__cxa_demangle(mangled, nullptr, nullptr, &status), std::free);
  QString name = QString::fromLatin1(status == 0 && demangled ? demangled.get() : mangled);
  const qsizetype colon = name.lastIndexOf(QLatin1String("::"));
  return colon >= 0 ? name.mid(colon + 2) : name;
}

}  // namespace

TMonitorForm* MonitorForm() { return Monitor.data(); }

TMonitorForm::TMonitorForm(TAppLogic& app, QWidget* parent) : QWidget(parent, Qt::Window), App(app), Log(new QListWidget(this)) {
  setObjectName(QStringLiteral("MonitorForm"));
  setWindowTitle(QStringLiteral("Update Notification Monitor"));
  resize(520, 360);
  Log->setObjectName(QStringLiteral("LogLB"));
  Log->setAccessibleName(QStringLiteral("Notifications"));
  Log->setUniformItemSizes(true);
  QFont fixed(QStringLiteral("Liberation Mono"));
  fixed.setStyleHint(QFont::Monospace);
  Log->setFont(fixed);
  Log->viewport()->installEventFilter(this);
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->addWidget(Log);
  Monitor = this;
}

TMonitorForm::~TMonitorForm() { Detach(); }

void TMonitorForm::Attach() {
  if (Attached) return;
  App.AddObserver<&TMonitorForm::Logger>(this);
  App.DocumentRelay().AddObserver<&TMonitorForm::Logger>(this);
  if (TQuestionSelector* selector = App.Selector()) selector->AddObserver<&TMonitorForm::Logger>(this);
  Attached = true;
}

void TMonitorForm::Detach() {
  if (!Attached) return;
  App.RemoveObserver<&TMonitorForm::Logger>(this);
  App.DocumentRelay().RemoveObserver<&TMonitorForm::Logger>(this);
  if (TQuestionSelector* selector = App.Selector()) selector->RemoveObserver<&TMonitorForm::Logger>(this);
  Attached = false;
}

void TMonitorForm::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  Attach();
}

void TMonitorForm::hideEvent(QHideEvent* event) {
  QWidget::hideEvent(event);
  Log->clear();
  Detach();
}

bool TMonitorForm::eventFilter(QObject* watched, QEvent* event) {
  if (watched == Log->viewport() && event->type() == QEvent::MouseButtonPress &&
      static_cast<QMouseEvent*>(event)->button() == Qt::RightButton) {
    Log->clear();
    return true;
  }
  return QWidget::eventFilter(watched, event);
}

QString TMonitorForm::LogLine(const TObservable* sender, const TNotificationSet& codes) {
  // The identity is the full address: a 64-bit address does not fit eight digits.
  const auto address = reinterpret_cast<quintptr>(sender);
  QString line = ClassNameOf(sender) + QStringLiteral(" (") +
                 QStringLiteral("%1").arg(address, static_cast<int>(sizeof(quintptr) * 2), 16, QLatin1Char('0')).toUpper() +
                 QStringLiteral("):");
  for (const TLabel& label : kLabels)
    if (codes.Contains(label.Code)) line += QLatin1String(label.Text);
  return line;
}

void TMonitorForm::Logger(TObservable* sender, const TNotificationSet& codes) {
  if (!isVisible()) return;
  Log->addItem(LogLine(sender, codes));
  Log->scrollToBottom();
}

void TDebugMonitorCmd::Execute(QObject*) {
  TMonitorForm* monitor = MonitorForm();
  if (monitor == nullptr) throw EError("The monitor is not available");
  monitor->show();
  monitor->raise();
  monitor->activateWindow();
}

TDebugAddItemsCmd::TDebugAddItemsCmd() : TAppCommand({AppCode::CurrentDoc}) {}

bool TDebugAddItemsCmd::IsEnabled() { return App.CurrentDocument() != nullptr; }

void TDebugAddItemsCmd::Execute(QObject*) {
  QString value;
  for (;;) {
    const std::optional<QString> answer =
        Ask().InputText(QStringLiteral("Add Item"), QStringLiteral("Enter the ID of the text segment to add"), value);
    if (!answer) return;
    value = *answer;
    TTextSegment* segment = nullptr;
    try {
      if (App.Library() == nullptr) throw EDataError("No library is open");
      segment = App.Library()->FindSegment(QtToAnsi(value), false);
    } catch (const EDataError& error) {
      Ask().Warning(AnsiToQt(error.what()));
      continue;
    }
    // The document may have closed while the question was open.
    TDocLogic* doc = App.CurrentDocument();
    if (doc == nullptr) return;
    doc->InsertEntries({segment}, -1);
    value.clear();
  }
}

void RegisterWindowCommands() {
  RegisterCommandClass("TDebugMonitorCmd", [](QObject* owner, QAction* menuItem, QObject* button) -> TCommand* {
    return TCommand::Create<TDebugMonitorCmd>(owner, menuItem, button);
  });
  RegisterCommandClass("TDebugAddItemsCmd", [](QObject* owner, QAction* menuItem, QObject* button) -> TCommand* {
    return TCommand::Create<TDebugAddItemsCmd>(owner, menuItem, button);
  });
}

}  // namespace hv
