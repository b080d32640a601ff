#include "windows/ViewerForm.h"

#include <QCloseEvent>
#include <QDesktopServices>
#include <QDir>
#include <QDockWidget>
#include <QFileInfo>
#include <QLabel>
#include <QMainWindow>
#include <QMimeDatabase>
#include <QMdiArea>
#include <QPainter>
#include <QProcess>
#include <QToolButton>
#include <QVBoxLayout>

#include <algorithm>
#include <array>

#include "commands/Ask.h"
#include "commands/BrowseCommands.h"
#include "commands/CommandFramework.h"
#include "commands/ViewCommands.h"
#include "components/AnsiString.h"
#include "components/TextControl.h"
#include "components/TextStreamer.h"
#include "logic/AppLogic.h"
#include "model/Segments.h"
#include "model/TextStore.h"
#include "windows/Drawing.h"
#include "windows/WordSearch.h"
#include "windows/ToolWindowView.h"

namespace hv {

namespace {

constexpr int kPanelHeight = 33;
constexpr int kButtonWidth = 23;
constexpr int kButtonHeight = 22;
constexpr int kButtonTop = 5;
constexpr int kItemBoxLeft = 56;
// Room the related buttons need at their narrowest layout (x0 = 301, six buttons 24 apart).
constexpr int kMinPanelWidth = 301 + 5 * 24 + kButtonWidth + 4;

// Suffixes of files that the desktop would run rather than open in a viewer, whatever their
// content looks like (Windows programs and launchers carried over from school networks).
bool IsLauncherSuffix(const QString& suffix) {
  static const QStringList kLaunchers = {
      QStringLiteral("desktop"), QStringLiteral("exe"), QStringLiteral("com"), QStringLiteral("bat"),
      QStringLiteral("cmd"),     QStringLiteral("msi"), QStringLiteral("sh"),  QStringLiteral("jar"),
      QStringLiteral("appimage"), QStringLiteral("run"), QStringLiteral("py"), QStringLiteral("pl"),
      QStringLiteral("lnk"),     QStringLiteral("vbs"), QStringLiteral("ps1")};
  return kLaunchers.contains(suffix.toLower());
}

// Whether a file is a program, a script or a launcher, judged by what it holds and its name. The
// execute bit alone decides nothing: on network shares and USB sticks every file carries it.
bool RunsAsProgram(const QFileInfo& info) {
  if (IsLauncherSuffix(info.suffix())) return true;
  static const QStringList kProgramTypes = {
      QStringLiteral("application/x-executable"),     QStringLiteral("application/x-pie-executable"),
      QStringLiteral("application/x-sharedlib"),      QStringLiteral("application/x-shellscript"),
      QStringLiteral("application/x-desktop"),        QStringLiteral("application/x-ms-dos-executable"),
      QStringLiteral("application/x-msdownload"),     QStringLiteral("application/x-msi"),
      QStringLiteral("application/x-ms-shortcut"),    QStringLiteral("application/x-java-archive"),
      QStringLiteral("application/x-perl"),           QStringLiteral("text/x-python"),
      QStringLiteral("text/x-python3"),               QStringLiteral("application/x-ruby"),
      QStringLiteral("application/x-executable-script"), QStringLiteral("application/x-appimage")};
  const QMimeType type = QMimeDatabase().mimeTypeForFile(info, QMimeDatabase::MatchDefault);
  for (const QString& program : kProgramTypes)
    if (type.inherits(program)) return true;
  // A text file that starts with "#!" runs as a script of whatever interpreter it names.
  QFile file(info.absoluteFilePath());
  return file.open(QIODevice::ReadOnly) && file.read(2) == "#!";
}

}  // namespace

bool IsWebLink(const QString& link) {
  return link.startsWith(QLatin1String("http://"), Qt::CaseInsensitive) ||
         link.startsWith(QLatin1String("https://"), Qt::CaseInsensitive);
}

TLinkTarget SplitLinkTarget(const QString& link) {
  if (IsWebLink(link)) return {link, {}};
  const qsizetype at = link.indexOf(QLatin1String("%20"));
  if (at < 0) return {link, {}};
  return {link.left(at), link.mid(at + 3)};
}

TLinkActions DesktopLinkActions() {
  return {[](const QUrl& url) { return QDesktopServices::openUrl(url); },
          [](const QString& program, const QStringList& arguments) {
            return QProcess::startDetached(program, arguments);
          }};
}

bool FollowLink(const QString& link, const QString& baseDir, const TLinkActions& actions) {
  if (link.isEmpty()) return false;
  const TLinkTarget split = SplitLinkTarget(link);
  if (IsWebLink(link) || split.Target.startsWith(QLatin1String("mailto:"), Qt::CaseInsensitive)) {
    const QUrl url(split.Target, QUrl::TolerantMode);
    return url.isValid() && actions.OpenUrl && actions.OpenUrl(url);
  }

  QString path = split.Target;
  if (path.startsWith(QLatin1String("file:"), Qt::CaseInsensitive)) path = QUrl(path).toLocalFile();
  // Library texts were written on Windows, where a backslash separates folders.
  path.replace(QLatin1Char('\\'), QLatin1Char('/'));
  if (path.isEmpty()) return false;
  const QFileInfo info(QDir(baseDir), path);
  if (!info.exists()) return false;

  if (!info.isFile() || !RunsAsProgram(info)) {
    if (actions.OpenUrl && actions.OpenUrl(QUrl::fromLocalFile(info.absoluteFilePath()))) return true;
    Ask().Message(QStringLiteral("No application could open \"%1\".").arg(QDir::toNativeSeparators(info.absoluteFilePath())));
    return false;
  }

  const QString program = info.absoluteFilePath();
  const QString question =
      split.Parameters.isEmpty()
          ? QStringLiteral("This link would run the program \"%1\".  Do you want to run it?").arg(program)
          : QStringLiteral("This link would run the program \"%1\" with the parameters \"%2\".  Do you want to run it?")
                .arg(program, split.Parameters);
  if (Ask().Confirm(question, TAskButtons::YesNoDefaultNo) != TAskAnswer::Yes) return false;
  bool started = false;
  if (info.isExecutable()) {
    // The parameters become arguments the way a command line splits them, but no shell ever sees
    // them, so nothing in a library text can chain commands or expand variables.
    started = actions.StartProgram && actions.StartProgram(program, QProcess::splitCommand(split.Parameters));
  } else {
    // Not runnable here by itself (a launcher file): the desktop decides, now that the user agreed.
    started = actions.OpenUrl && actions.OpenUrl(QUrl::fromLocalFile(program));
  }
  if (!started) Ask().Message(QStringLiteral("The program \"%1\" could not be started.").arg(program));
  return started;
}

TCurrentItemBox::TCurrentItemBox(TAppLogic& app, QWidget* parent) : QWidget(parent), App(app) {
  setObjectName(QStringLiteral("CurrentItemBox"));
}

void TCurrentItemBox::paintEvent(QPaintEvent*) {
  // Only a newly loaded text starts at its top; repainting the header (the same item clicked
  // again, a move, a resize) leaves the reader where they were.
  if (App.SelectedItem() == nullptr) return;
  QPainter painter(this);
  painter.setPen(QColor(0xb8, 0xc2, 0xcc));
  DrawSegmentItem(painter, App.SelectedSegment(), 2, 0, width());
}

TViewerForm::TViewerForm(TAppLogic& app, QMainWindow* mainForm)
    : QMdiSubWindow(nullptr),
      App(app),
      Frame(mainForm),
      Content(new QWidget),
      Panel(new QWidget(Content.data())),
      Text(new TTXTextControl(Content.data())),
      Streamer(std::make_unique<TTextStreamer>(*Text)),
      Links(DesktopLinkActions()) {
  setObjectName(QStringLiteral("ViewerForm"));
  setWindowTitle(QStringLiteral("Viewer"));
  setProperty("HelpContext", 220);
  setAttribute(Qt::WA_DeleteOnClose, false);
  setWindowIcon(GlyphIcon(14));
  resize(640, 396);

  Content->setObjectName(QStringLiteral("ViewerContent"));
  auto* layout = new QVBoxLayout(Content.data());
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);
  StatsLabel = new QLabel(Content.data());
  layout->addWidget(Panel);
  layout->addWidget(StatsLabel);
  layout->addWidget(Text, 1);
  Content->setMinimumWidth(kMinPanelWidth);

  Panel->setObjectName(QStringLiteral("ViewerPanel"));
  Panel->setFixedHeight(kPanelHeight);
  Panel->installEventFilter(this);
  StatsLabel->setObjectName(QStringLiteral("StatsL"));
  StatsLabel->setContentsMargins(6, 1, 6, 3);
  // A narrow Viewer takes the line onto two rather than cutting it off.
  StatsLabel->setWordWrap(true);
  StatsLabel->hide();
  Text->setObjectName(QStringLiteral("ViewerTX"));
  Text->setReadOnly(true);
  Text->setAccessibleName(QStringLiteral("Text of the selected item"));
  ItemBox = new TCurrentItemBox(App, Panel);
  ItemBox->setGeometry(kItemBoxLeft, 0, 206, kPanelHeight);
  QFont itemFont = ItemBox->font();
  itemFont.setPixelSize(11);
  ItemBox->setFont(itemFont);

  PrevB = NewButton("PrevB", "View previous extract", 17);
  NextB = NewButton("NextB", "View next extract", 16);
  BackB = NewButton("BackB", "Back", 18);
  RelResB = NewButton("RelResB", "View Teaching objectives", 37);
  RelQB = NewButton("RelQB", "View related questions", 8);
  RelMSB = NewButton("RelMSB", "View related mark scheme", 9);
  RelERB = NewButton("RelERB", "View report", 11);
  RelSylB = NewButton("RelSylB", "View related links", 10);
  RelSylB->setEnabled(false);
  RelNoteB = NewButton("RelNoteB", "View related notes", 12);
  PrevB->move(4, kButtonTop);
  NextB->move(28, kButtonTop);

  Panel->hide();
  setWidget(Content.data());

  ViewerViewManager().AddObserver<&TViewerForm::ViewStateChanged>(this);
  ViewerViewManager().SetWindow(this);
  TCommand::Create<TPrevCmd>(this, nullptr, PrevB);
  TCommand::Create<TNextCmd>(this, nullptr, NextB);
  TCommand::Create<TBackCmd>(this, nullptr, BackB);
  TCommand::Create<TRelatedResourceCmd>(this, nullptr, RelResB);
  TCommand::Create<TRelatedQuestionsCmd>(this, nullptr, RelQB);
  TCommand::Create<TRelatedMarkSchemeCmd>(this, nullptr, RelMSB);
  TCommand::Create<TRelatedExaminersReportCmd>(this, nullptr, RelERB);
  TCommand::Create<TRelatedSyllabusCmd>(this, nullptr, RelSylB);
  TCommand::Create<TRelatedNoteCmd>(this, nullptr, RelNoteB);
  TCommand::Create<TDockViewerCmd>(this, nullptr, nullptr);
  TCommand::Create<TCloseViewerCmd>(this, nullptr, nullptr);

  Text->SetControlOption(TTXTextControl::OptionLiveFields, true);
  connect(Text, &TTXTextControl::FieldLinkClicked, this, &TViewerForm::LinkClicked);
  connect(Text, &TTXTextControl::FieldSetCursor, this,
          [](int, int& pointer) { pointer = TTXTextControl::PointerHand; });
  ViewerPanelResize();

  if (Frame != nullptr) {
    if (auto* area = Frame->findChild<QMdiArea*>()) area->addSubWindow(this);
  }
}

TViewerForm::~TViewerForm() {
  if (Observing) App.RemoveObserver<&TViewerForm::AppNotified>(this);
  ViewerViewManager().RemoveObserver<&TViewerForm::ViewStateChanged>(this);
  if (ViewerViewManager().Window() == this) ViewerViewManager().SetWindow(nullptr);
  // The content may be parented by the main window's dock while docked.
  delete Content.data();
  delete Dock.data();
}

QToolButton* TViewerForm::NewButton(const char* name, const char* hint, int glyph) {
  auto* button = new QToolButton(Panel);
  button->setObjectName(QLatin1String(name));
  button->setToolTip(QLatin1String(hint));
  // The buttons show only a picture; a screen reader reads their hint.
  button->setAccessibleName(QLatin1String(hint));
  button->setAutoRaise(true);
  button->resize(kButtonWidth, kButtonHeight);
  SetButtonGlyph(button, glyph);
  return button;
}

void TViewerForm::ViewerPanelResize() {
  const int w = Panel->width();
  const int x0 = std::max(w - 150, 301);
  const std::array<QToolButton*, 6> related = {RelResB, RelQB, RelMSB, RelERB, RelSylB, RelNoteB};
  for (std::size_t i = 0; i < related.size(); ++i) related[i]->move(x0 + 24 * static_cast<int>(i), kButtonTop);
  const int b = std::clamp(w - 174, 277, 432);
  BackB->move(b, kButtonTop);
  ItemBox->resize(b - 71, kPanelHeight);
}

bool TViewerForm::eventFilter(QObject* watched, QEvent* event) {
  if (watched == Panel && event->type() == QEvent::Resize) ViewerPanelResize();
  return QMdiSubWindow::eventFilter(watched, event);
}

void TViewerForm::ViewStateChanged(TObservable*, const TNotificationSet& codes) {
  FollowViewManager(*this, ViewerViewManager(), codes);
}

void TViewerForm::ShowWindowView() {
  if (Panel->isVisible()) {
    Text->setFocus();
    return;
  }
  if (!Observing) {
    App.AddObserver<&TViewerForm::AppNotified>(this);
    Observing = true;
  }
  Panel->show();
  if (!ViewerViewManager().Docked()) show();
  UpdateText(true);
}

void TViewerForm::HideWindowView() {
  if (Observing) {
    App.RemoveObserver<&TViewerForm::AppNotified>(this);
    Observing = false;
  }
  ShowMinimized();
  Panel->hide();
}

void TViewerForm::DockWindow() {
  if (Frame == nullptr) return;
  showMinimized();
  Panel->hide();
  if (Dock == nullptr) {
    Dock = new QDockWidget(Frame);
    Dock->setObjectName(QStringLiteral("ViewerDock"));
    Dock->setFeatures(QDockWidget::NoDockWidgetFeatures);
    // No title bar: the panel looks like part of the main window.
    auto* bar = new QWidget(Dock);
    bar->setFixedSize(1, 1);
    Dock->setTitleBarWidget(bar);
  }
  setWidget(nullptr);
  Dock->setWidget(Content.data());
  Content->show();
  Frame->addDockWidget(Qt::BottomDockWidgetArea, Dock);
  Dock->show();
  Frame->resizeDocks({Dock.data()}, {DockHeight}, Qt::Vertical);
  Panel->show();
  UpdateText(true);
}

void TViewerForm::UndockWindow() {
  if (Dock != nullptr && Dock->widget() == Content) {
    DockHeight = Content->height();
    Dock->setWidget(nullptr);
    Dock->hide();
    Frame->removeDockWidget(Dock);
    setWidget(Content.data());
    Content->show();
  }
  showNormal();
  show();
  UpdateText(true);
}

void TViewerForm::AppNotified(TObservable*, const TNotificationSet& codes) {
  if (codes.Contains(AppCode::CurrentSelection)) UpdateText(false);
  else if (codes.Contains(AppCode::Statistics)) UpdateStats();
  // A new word search marks its words in the text already shown.
  if (codes.Contains(AppCode::SearchResults)) HighlightSearchWords();
}

void TViewerForm::HighlightSearchWords() {
  const TQuestionSelector* selector = App.Selector();
  HighlightWords(*Text, selector != nullptr && Loaded != nullptr ? selector->WordQuery() : TWordQuery{});
}

void TViewerForm::UpdateStats() {
  const auto* question = App.Selection().size() == 1 ? dynamic_cast<const TQuestion*>(App.SelectedSegment()) : nullptr;
  const TQuestionSummary* summary = question != nullptr ? App.QuestionStats(*question) : nullptr;
  if (summary == nullptr) {
    StatsLabel->hide();
    return;
  }
  StatsLabel->setText(QString::fromStdString(SummaryLine(*summary)));
  StatsLabel->show();
}

void TViewerForm::UpdateText(bool force) {
  ItemBox->update();
  UpdateStats();
  TTextSegment* segment = App.Selection().size() == 1 ? App.SelectedSegment() : nullptr;
  TTextChunk* wanted = segment != nullptr ? segment->Chunk : nullptr;
  if (!force && wanted == Loaded) return;
  Text->ResetContents();
  // Until the new text is in, nothing is loaded: after a failed read, going back to the text
  // shown before must load it again rather than find it "already shown" in an empty control.
  Loaded = nullptr;
  if (wanted != nullptr) {
    // A library text is read from its file each time it is shown; nothing stays cached, and the
    // control is shown again even when the text could not be read.
    struct TAfterLoad {
      TTXTextControl* Control;
      TTextChunk* Chunk;
      ~TAfterLoad() {
        Control->show();
        Chunk->ReleaseLines();
      }
    } after{Text, wanted};
    Text->hide();
    Streamer->LoadControl(*wanted);
    // The end-of-entry marker and any other line-end hyphen; a search resumes one position after
    // the pair it deleted.
    const QString pair = QStringLiteral("-\n");
    const int flags = TTXTextControl::FindKeepSelection | TTXTextControl::FindMatchCase;
    int previous = 0;
    int p = Text->FindText(pair, 1, flags);
    while (p > previous) {
      Text->SetSelLength(0);
      Text->SetSelStart(p);
      Text->SetSelLength(2);
      Text->SetSelText(QString());
      previous = p;
      p = Text->FindText(pair, p + 1, flags);
    }
    Text->SetSelStart(0);
  }
  Text->SetScrollPosY(0);
  Loaded = wanted;
  HighlightSearchWords();
}

void TViewerForm::LinkClicked(int, int, QString& typeData) {
  // Links hold 8-bit text in library files; what crosses back is what the file held.
  const QString link = AnsiToQt(QtToAnsi(typeData));
  // Relative targets are the library's own files, beside its text file.
  const std::string& folder = App.LibraryFolder();
  FollowLink(link, folder.empty() ? QDir::currentPath() : PathToQt(folder), Links);
}

void TViewerForm::ShowNormal() {
  showNormal();
  show();
}

void TViewerForm::ShowMinimized() { showMinimized(); }

void TViewerForm::closeEvent(QCloseEvent* event) {
  event->ignore();
  try {
    RunCommand<TCloseViewerCmd>();
  } catch (const std::exception& error) {
    ReportCommandError(error);
  }
}

void TViewerForm::ApplyEdition() {
  RelSylB->setToolTip(QStringLiteral("View Specification"));
  RelResB->setToolTip(QStringLiteral("View related Text"));
  RelERB->setToolTip(QStringLiteral("View Examiner's Report"));
  RelMSB->setToolTip(QStringLiteral("View related markscheme"));
}

}  // namespace hv
