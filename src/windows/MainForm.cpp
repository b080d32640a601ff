#include "windows/MainForm.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QFile>
#include <QLabel>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenuBar>
#include <QStatusBar>
#include <QToolBar>
#include <QToolButton>

#include "commands/CommandFramework.h"
#include "commands/DocumentCommands.h"
#include "commands/MainMenu.h"
#include "commands/ViewCommands.h"
#include "components/AnsiString.h"
#include "logic/AppLogic.h"
#include "logic/RecentTests.h"
#include "model/Library.h"
#include "model/LibraryConfig.h"
#include "model/Segments.h"
#include "analysis/AnalysisCommands.h"
#include "analysis/StatsCommands.h"
#include "output/OutputCommands.h"
#include "windows/AboutForm.h"
#include "windows/DocForm.h"
#include "windows/Drawing.h"
#include "windows/HelpForm.h"
#include "windows/MonitorForm.h"
#include "windows/Program.h"
#include "windows/SafetyNets.h"
#include "windows/SizeablePanel.h"

namespace hv {

namespace {

// How long a passing message stays in the status line, in milliseconds.
constexpr int kStatusMessageTime = 15000;

// A maximised frame's outer border, which the first layout's arithmetic counts in.
constexpr int kFrameBorder = 4;

// The images of menu items that have no toolbar button of their own.
const std::map<QString, QString>& MenuArtwork() {
  static const std::map<QString, QString> art = {
      {QStringLiteral("New1"), QStringLiteral("NewB")},         {QStringLiteral("Open1"), QStringLiteral("OpenB")},
      {QStringLiteral("Close1"), QStringLiteral("CloseDoc")},   {QStringLiteral("Save1"), QStringLiteral("SaveB")},
      {QStringLiteral("SaveAs1"), QStringLiteral("SaveAs")},    {QStringLiteral("SaveAll1"), QStringLiteral("SaveAll")},
      {QStringLiteral("PrintSetupM"), QStringLiteral("PrintSetup")},
      {QStringLiteral("PrintPreviewM"), QStringLiteral("PrintPrevB")},
      {QStringLiteral("PrintM"), QStringLiteral("PrintB")},     {QStringLiteral("Exit1"), QStringLiteral("Exit")},
      {QStringLiteral("UndoM"), QStringLiteral("Undo")},       {QStringLiteral("RedoM"), QStringLiteral("Redo")},
      {QStringLiteral("CutM"), QStringLiteral("CutB")},         {QStringLiteral("CopyM"), QStringLiteral("CopyB")},
      {QStringLiteral("PasteM"), QStringLiteral("PasteB")},     {QStringLiteral("ClearM"), QStringLiteral("Clear")},
      {QStringLiteral("SelectAllM"), QStringLiteral("SelectAll")},
      {QStringLiteral("ShowNumberM"), QStringLiteral("Numbering")},
      {QStringLiteral("MoveToTopM"), QStringLiteral("MoveToTop")}, {QStringLiteral("MoveUpM"), QStringLiteral("MoveUp")},
      {QStringLiteral("MoveDownM"), QStringLiteral("MoveDown")},
      {QStringLiteral("MoveToBottomM"), QStringLiteral("MoveToBottom")},
      {QStringLiteral("CopytoDocM"), QStringLiteral("CopyToDocB")},
      {QStringLiteral("QuestionFinder1"), QStringLiteral("QFB")}, {QStringLiteral("Viewer1"), QStringLiteral("ViewerB")},
      {QStringLiteral("ViewMSM"), QStringLiteral("ViewMSB")},   {QStringLiteral("ViewExRepM"), QStringLiteral("ViewERB")},
      {QStringLiteral("ViewSylM"), QStringLiteral("ViewSylB")}, {QStringLiteral("NextM"), QStringLiteral("NextB")},
      {QStringLiteral("PrevM"), QStringLiteral("PrevB")},       {QStringLiteral("BackM"), QStringLiteral("BackB")},
      {QStringLiteral("RelQM"), QStringLiteral("RelQB")},       {QStringLiteral("RelMSM"), QStringLiteral("RelMSB")},
      {QStringLiteral("RelERM"), QStringLiteral("RelERB")},     {QStringLiteral("RelSylM"), QStringLiteral("RelSylB")},
      {QStringLiteral("RelNoteM"), QStringLiteral("RelNoteB")}, {QStringLiteral("InsertTitleM"), QStringLiteral("InsertTitle")},
      {QStringLiteral("InsertSectionM"), QStringLiteral("InsertSection")},
      {QStringLiteral("InsertTextM"), QStringLiteral("InsertText")},
      {QStringLiteral("CreateMarkScheme1"), QStringLiteral("CreateMSB")},
      {QStringLiteral("EditTextM"), QStringLiteral("EditText")}, {QStringLiteral("CreateReport1"), QStringLiteral("RepB")},
      {QStringLiteral("CreateSummary1"), QStringLiteral("FileIndex")},
      {QStringLiteral("ExporttoWP2"), QStringLiteral("btExport")},
      {QStringLiteral("PupilLists2"), QStringLiteral("Students")},
      {QStringLiteral("AnalysisSheets2"), QStringLiteral("MarkSheet")},
      {QStringLiteral("Contents1"), QStringLiteral("Help")},    {QStringLiteral("SearchforHelpon1"), QStringLiteral("Search")},
      {QStringLiteral("AboutVornika1"), QStringLiteral("About")}, {QStringLiteral("Monitor1"), QStringLiteral("Monitor")},
  };
  return art;
}

QIcon MenuIcon(const QString& artwork) {
  // Menus of the toolbar's commands show the toolbar's faces, so both disable alike.
  for (int i = 0; i < kGlyphCount; ++i)
    if (artwork == QLatin1String(GlyphArtwork(i))) return GlyphIcon(i);
  return QIcon(QStringLiteral(":/icons/buttons/%1.svg").arg(artwork));
}

std::string TemplateNameValue = "RX2P.xlt";

}  // namespace

TFirstLayout ComputeFirstLayout(const TFrameMeasures& m) {
  TFirstLayout out;
  const int t = m.ToolbarTop + m.ToolbarHeight - 30;
  const int middle = m.H / 2 + 8;
  out.QuestionFinder = QRect(m.L + 4, t, m.Q, middle - t);
  out.Viewer = QRect(m.L + m.Q + 4, t, m.W - m.Q - 12, m.CH - m.S - t - 40);
  out.DocHeight = m.CH - (m.S + middle + 40);
  out.DocWidth = m.Q;
  out.Document = QRect(m.L + 4, middle, m.Q, out.DocHeight);
  return out;
}

const std::string& TMainForm::TemplateName() { return TemplateNameValue; }

TMainForm::TMainForm(TAppLogic& app, TCommandEnvironment& environment, QString documentArgument)
    : App(app),
      Environment(environment),
      DocumentArgument(std::move(documentArgument)),
      ClientArea(new QMdiArea(this)),
      Toolbar(new QToolBar(this)),
      StatusLabel(new QLabel(this)) {
  setObjectName(QStringLiteral("MainForm"));
  setWindowTitle(QStringLiteral("Marquell"));
  setWindowIcon(QIcon(QStringLiteral(":/app/harrowvane.svg")));
  setMinimumSize(460, 350);
  RegisterWindowCommands();
  RegisterOutputCommands();
  RegisterAnalysisCommands();
  RegisterStatsCommands();

  ClientArea->setObjectName(QStringLiteral("ClientArea"));
  ClientArea->setBackground(QColor(0xc4, 0xcb, 0xd3));
  ClientArea->setActivationOrder(QMdiArea::CreationOrder);
  setCentralWidget(ClientArea);

  Toolbar->setObjectName(QStringLiteral("Panel1"));
  Toolbar->setMovable(false);
  Toolbar->setFloatable(false);
  Toolbar->setIconSize(QSize(16, 16));
  Toolbar->toggleViewAction()->setVisible(false);
  setContextMenuPolicy(Qt::NoContextMenu);
  addToolBar(Qt::TopToolBarArea, Toolbar);

  StatusLabel->setObjectName(QStringLiteral("StatusP"));
  StatusLabel->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
  statusBar()->setObjectName(QStringLiteral("StatusBar"));
  statusBar()->setSizeGripEnabled(true);
  statusBar()->addWidget(StatusLabel, 1);

  CreateMenus();
  CreateToolbar();
  CreateCommands();
  App.AddObserver<&TMainForm::AppStateChanged>(this);
  App.DocumentRelay().AddObserver<&TMainForm::DocumentChanged>(this);
  Environment.StatusMessage = [this](const QString& text) { statusBar()->showMessage(text, kStatusMessageTime); };
  Recent = new TRecentMenu(App, findChild<QMenu*>(QStringLiteral("File1")), Action(QStringLiteral("Exit1")),
                           TRecentTests::DefaultFileName());
  ReadSettings();

  // F1 shows the help topic of the window in use.
  auto* contextHelp = new QAction(this);
  contextHelp->setObjectName(QStringLiteral("ContextHelpF1"));
  contextHelp->setShortcut(QKeySequence::HelpContents);
  contextHelp->setShortcutContext(Qt::ApplicationShortcut);
  connect(contextHelp, &QAction::triggered, this, &TMainForm::ShowContextHelp);
  addAction(contextHelp);
  UpdateStatus();
}

TMainForm::~TMainForm() {
  Environment.StatusMessage = nullptr;
  App.DocumentRelay().RemoveObserver<&TMainForm::DocumentChanged>(this);
  App.RemoveObserver<&TMainForm::AppStateChanged>(this);
  try {
    Environment.OfferedResources.clear();
  } catch (...) {
  }
}

QAction* TMainForm::Action(const QString& objectName) const {
  const auto it = Actions.find(objectName);
  return it != Actions.end() ? it->second : nullptr;
}

TCommand* TMainForm::CommandOf(const QString& objectName) const {
  const auto it = Commands.find(objectName);
  return it != Commands.end() ? it->second : nullptr;
}

const std::string& TMainForm::ProgramDir() const { return Environment.ProgramDir; }

std::vector<std::string>& TMainForm::OfferedResources() { return Environment.OfferedResources; }

void TMainForm::CreateMenus() {
  std::function<void(QMenu*, const std::vector<TMenuItemSpec>&)> fill = [&](QMenu* menu, const std::vector<TMenuItemSpec>& items) {
    for (const TMenuItemSpec& item : items) {
      if (*item.Caption == '\0') {
        menu->addSeparator()->setObjectName(QLatin1String(item.ObjectName));
        continue;
      }
      if (!item.Children.empty()) {
        QMenu* sub = menu->addMenu(QString::fromUtf8(item.Caption));
        sub->setObjectName(QLatin1String(item.ObjectName));
        sub->menuAction()->setObjectName(QLatin1String(item.ObjectName));
        Actions[QLatin1String(item.ObjectName)] = sub->menuAction();
        fill(sub, item.Children);
        continue;
      }
      QAction* action = menu->addAction(QString::fromUtf8(item.Caption));
      action->setObjectName(QLatin1String(item.ObjectName));
      if (*item.Shortcut != '\0')
        action->setShortcuts(QKeySequence::listFromString(QString::fromUtf8(item.Shortcut), QKeySequence::PortableText));
      action->setVisible(item.Visible);
      if (const auto art = MenuArtwork().find(action->objectName()); art != MenuArtwork().end())
        action->setIcon(MenuIcon(art->second));
      // Items of commands that do not exist stay disabled until a command takes them.
      if (*item.Command != '\0') action->setEnabled(false);
      Actions[action->objectName()] = action;
    }
  };
  for (const TMenuSpec& spec : MainMenuSpec()) {
    QMenu* menu = menuBar()->addMenu(QString::fromUtf8(spec.Caption));
    menu->setObjectName(QLatin1String(spec.ObjectName));
    menu->menuAction()->setObjectName(QLatin1String(spec.ObjectName));
    Actions[QLatin1String(spec.ObjectName)] = menu->menuAction();
    fill(menu, spec.Items);
    if (!spec.Visible) menu->menuAction()->setVisible(qEnvironmentVariableIntValue("HARROWVANE_DEBUG_MENU") == 1);
    if (spec.ObjectName == std::string_view("Window1")) {
      // The list of child windows follows the arrangement items, as the frame's window menu.
      menu->addSeparator();
      QMenu* windowMenu = menu;
      connect(windowMenu, &QMenu::aboutToShow, this, [this, windowMenu] {
        const QList<QAction*> all = windowMenu->actions();
        for (QAction* a : all)
          if (a->property("ChildWindow").isValid()) {
            windowMenu->removeAction(a);
            a->deleteLater();
          }
        int n = 0;
        for (QMdiSubWindow* child : ClientArea->subWindowList()) {
          if (!child->isVisible() && !child->isMinimized()) continue;
          ++n;
          const QString caption = n < 10 ? QStringLiteral("&%1 %2").arg(n).arg(child->windowTitle())
                                         : QStringLiteral("%1 %2").arg(n).arg(child->windowTitle());
          QAction* a = windowMenu->addAction(caption);
          a->setProperty("ChildWindow", true);
          a->setCheckable(true);
          a->setChecked(child == ClientArea->activeSubWindow());
          connect(a, &QAction::triggered, this, [this, child = QPointer<QMdiSubWindow>(child)] {
            if (child) {
              if (child->isMinimized()) child->showNormal();
              ClientArea->setActiveSubWindow(child);
            }
          });
        }
      });
    }
  }
  connect(Action(QStringLiteral("Tile1")), &QAction::triggered, ClientArea, &QMdiArea::tileSubWindows);
  connect(Action(QStringLiteral("Cascade1")), &QAction::triggered, ClientArea, &QMdiArea::cascadeSubWindows);
  connect(Action(QStringLiteral("ArrangeIcons1")), &QAction::triggered, this, [this] {
    // Minimised children line up along the bottom of the client area.
    int x = 0;
    for (QMdiSubWindow* child : ClientArea->subWindowList())
      if (child->isMinimized()) {
        const QSize size = child->size();
        child->move(x, ClientArea->viewport()->height() - size.height());
        x += size.width();
      }
  });
  connect(Action(QStringLiteral("Contents1")), &QAction::triggered, this, [this] { Help()->ShowContents(); });
  connect(Action(QStringLiteral("SearchforHelpon1")), &QAction::triggered, this, [this] { Help()->ShowSearch(); });
  connect(Action(QStringLiteral("AboutVornika1")), &QAction::triggered, this, &TMainForm::AboutVornika1Click);
}

void TMainForm::CreateToolbar() {
  const std::vector<TToolButtonSpec>& buttons = ToolbarSpec();
  for (std::size_t i = 0; i < buttons.size(); ++i) {
    const TToolButtonSpec& spec = buttons[i];
    QAction* button = Toolbar->addAction(QString::fromUtf8(spec.Hint));
    button->setObjectName(QLatin1String(spec.ObjectName));
    button->setToolTip(QString::fromUtf8(spec.Hint));
    button->setStatusTip(QString::fromUtf8(spec.Hint));
    if (spec.Glyph >= 0)
      SetButtonGlyph(button, spec.Glyph);
    else
      button->setIcon(MenuIcon(QLatin1String(spec.Artwork)));
    button->setEnabled(false);
    Actions[button->objectName()] = button;
    // Groups: files, printing, clipboard, derived documents, windows.
    const std::string_view name = spec.ObjectName;
    if (name == "btExport" || name == "UndoB" || name == "CreateMSB" || name == "QFB") Toolbar->insertSeparator(button);
  }
}

void TMainForm::CreateCommands() {
  for (const char* commandName : MainWindowCommandOrder()) {
    const TCommandCreator makeCommand = FindCommandClass(commandName);
    QAction* menuItem = nullptr;
    QAction* button = nullptr;
    std::function<void(const std::vector<TMenuItemSpec>&)> find = [&](const std::vector<TMenuItemSpec>& items) {
      for (const TMenuItemSpec& item : items) {
        if (std::string_view(item.Command) == commandName && menuItem == nullptr) menuItem = Action(QLatin1String(item.ObjectName));
        find(item.Children);
      }
    };
    for (const TMenuSpec& spec : MainMenuSpec()) find(spec.Items);
    for (const TToolButtonSpec& spec : ToolbarSpec())
      if (std::string_view(spec.Command) == commandName) button = Action(QLatin1String(spec.ObjectName));
    if (makeCommand == nullptr) continue;
    TCommand* command = makeCommand(this, menuItem, button);
    if (menuItem != nullptr) Commands[menuItem->objectName()] = command;
    if (button != nullptr) Commands[button->objectName()] = command;
  }
  // The student list item shows a window and is not among the commands above; without the layer
  // that registers that window its item stays disabled.
  if (QAction* pupils = Action(QStringLiteral("PupilLists2"))) {
    if (const TCommandCreator makeCommand = FindCommandClass("TShowPupilFormCmd"))
      Commands[pupils->objectName()] = makeCommand(this, pupils, nullptr);
    else
      pupils->setEnabled(false);
  }
}

void TMainForm::ReadSettings() {
  const std::string& key = App.Subject();
  FlagResourceOn = ReadProfileString(kLibraryIniName, key, "FlagResource", "1") == "1";
}

void TMainForm::ApplyEdition() {
  Product = QStringLiteral("Harrowvane");
  auto caption = [this](const char* name, const char* text) {
    if (QAction* a = Action(QLatin1String(name))) a->setText(QString::fromUtf8(text));
  };
  auto hint = [this](const char* name, const char* text) {
    if (QAction* a = Action(QLatin1String(name))) {
      a->setToolTip(QString::fromUtf8(text));
      a->setStatusTip(QString::fromUtf8(text));
    }
  };
  caption("ViewExRepM", "&Examiner's Report");
  caption("ViewSylM", "&Specification");
  caption("ViewMSM", "&Markscheme");
  caption("CreateMarkScheme1", "&Create Markscheme");
  hint("CreateMSB", "Create Markscheme");
  if (QAction* summary = Action(QStringLiteral("CreateSummary1"))) summary->setVisible(true);
  hint("ViewSylB", "View Specification");
  caption("AboutVornika1", "&About Harrowvane...");
  UseResourceDefaultText = QStringLiteral("1");
  TemplateNameValue = "RX2P.xlt";
}

void TMainForm::AppStateChanged(TObservable*, const TNotificationSet& codes) {
  if (codes.Contains(AppCode::CurrentSelection) || codes.Contains(AppCode::CurrentList)) UpdateStatus();
  if (codes.Contains(AppCode::CurrentDoc)) UpdateTitle();
}

void TMainForm::DocumentChanged(TObservable* sender, const TNotificationSet& codes) {
  if (const auto* doc = dynamic_cast<const TDocLogic*>(sender); doc != nullptr && codes.Contains(AppCode::Filename))
    statusBar()->showMessage(QStringLiteral("Saved \"%1\"").arg(PathToQt(doc->FileName)), kStatusMessageTime);
  if (sender == App.CurrentDocument() && (codes.Contains(AppCode::Modified) || codes.Contains(AppCode::Filename)))
    UpdateTitle();
}

void TMainForm::UpdateTitle() {
  // Until the first showing the title is the start-up one.
  if (FirstShow) return;
  QString title = Product + QLatin1Char(' ') + AnsiToQt(App.Library() != nullptr ? App.Library()->Name : std::string());
  if (const TDocLogic* doc = App.CurrentDocument(); doc != nullptr && doc->IsModified)
    title += QStringLiteral(" - ") + AnsiToQt(doc->Caption());
  setWindowTitle(title);
}

void TMainForm::UpdateStatus() { StatusLabel->setText(AnsiToQt(App.StatusText())); }

QWidget* TMainForm::ToolWindow(const char* objectName) const {
  for (QMdiSubWindow* child : ClientArea->subWindowList()) {
    if (child->objectName() == QLatin1String(objectName)) return child;
    if (child->widget() != nullptr && child->widget()->objectName() == QLatin1String(objectName)) return child;
  }
  return nullptr;
}

TFrameMeasures TMainForm::Measures() const {
  TFrameMeasures m;
  const int menuHeight = menuBar()->isVisible() ? menuBar()->height() : 0;
  m.ToolbarTop = 0;
  m.ToolbarHeight = Toolbar->height();
  m.CH = height() - menuHeight;
  m.H = std::max(frameGeometry().height(), height() + 2 * kFrameBorder);
  m.W = width() + 2 * kFrameBorder;
  m.L = -kFrameBorder;
  m.S = statusBar()->height();
  if (const QWidget* qf = ToolWindow("QFForm")) m.Q = qf->width();
  return m;
}

void TMainForm::showEvent(QShowEvent* event) {
  QMainWindow::showEvent(event);
  if (FirstShow) FirstShowing();
}

void TMainForm::FirstShowing() {
  if (!FirstShow) return;
  // Cleared first: a failure in the steps below must not run them again on the next showing.
  FirstShow = false;
  UpdateTitle();
  Environment.QFView.ShowView();
  Environment.ViewerView.ShowView();
  const TFirstLayout layout = ComputeFirstLayout(Measures());
  if (QWidget* qf = ToolWindow("QFForm")) qf->setGeometry(layout.QuestionFinder);
  if (QWidget* viewer = ToolWindow("ViewerForm")) viewer->setGeometry(layout.Viewer);
  DocH = layout.DocHeight;
  DocW = layout.DocWidth;

  try {
    App.NewDocument();
    if (TDocForm* doc = LastDocForm()) doc->setGeometry(layout.Document);

    if (TQuestionSelector* selector = App.Selector()) {
      const TListRef results(selector->Results());
      App.SetCurrentList(results, 0);
      if (TStreamable* first = results.ItemAt(0)) App.SelectItem(first, results, false);
    }
    if (IsDocumentArgument(DocumentArgument)) {
      OpenDocumentReporting(QFile::encodeName(DocumentArgument).toStdString());
      if (TDocForm* opened = LastDocForm()) {
        opened->move(layout.Document.left() + layout.Document.width() + 4, layout.Document.top());
      }
    }
  } catch (const std::exception& error) {
    ReportCommandError(error);
  }
  if (QWidget* qf = ToolWindow("QFForm")) {
    if (auto* child = qobject_cast<QMdiSubWindow*>(qf)) ClientArea->setActiveSubWindow(child);
    qf->setFocus();
  }
  const std::string& key = App.Subject();
  UseResourceOn = ReadProfileString(kLibraryIniName, key, "UseResource", QtToAnsi(UseResourceDefaultText)) == "1";
  TemplateNameValue = ReadProfileString(kLibraryIniName, key, "TemplateName", TemplateNameValue);
}

void TMainForm::closeEvent(QCloseEvent* event) {
  event->ignore();
  // A save that fails while closing must not pass in silence: the program stays open with every
  // document, and the user learns why.
  try {
    RunCommand<TExitCmd>();
  } catch (const std::exception& error) {
    ReportCommandError(error);
  }
}

void TMainForm::resizeEvent(QResizeEvent* event) {
  QMainWindow::resizeEvent(event);
  for (TSizeablePanel* panel : findChildren<TSizeablePanel*>(QString(), Qt::FindDirectChildrenOnly)) {
    if (panel->ResizeVert())
      panel->SetMaxHeight(height() + panel->MinHeight() - 350);
    else if (panel->ResizeHoriz())
      panel->SetMaxWidth(width() + panel->MinWidth() - 460);
  }
}

THelpForm* TMainForm::Help() {
  if (HelpForm.isNull()) HelpForm = new THelpForm(this);
  return HelpForm.data();
}

void TMainForm::ShowContextHelp() {
  int context = 0;
  for (QWidget* w = QApplication::focusWidget(); w != nullptr && context == 0; w = w->parentWidget())
    context = w->property("HelpContext").toInt();
  if (context == 0)
    if (QMdiSubWindow* active = ClientArea->activeSubWindow()) {
      context = active->property("HelpContext").toInt();
      if (context == 0 && active->widget() != nullptr) context = active->widget()->property("HelpContext").toInt();
    }
  Help()->ShowContext(context);
}

void TMainForm::AboutVornika1Click() {
  if (!AboutForm.isNull()) AboutForm->exec();
}

}  // namespace hv
