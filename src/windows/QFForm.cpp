#include "windows/QFForm.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QDockWidget>
#include <QDrag>
#include <QMainWindow>
#include <QMdiArea>
#include <QMimeData>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>
#include <QToolButton>

#include <algorithm>
#include <exception>
#include <unordered_set>

#include "commands/Ask.h"
#include "commands/CommandFramework.h"
#include "commands/SearchCommands.h"
#include "commands/Utility.h"
#include "commands/ViewCommands.h"
#include "logic/AppLogic.h"
#include "model/Categories.h"
#include "model/Segments.h"
#include "windows/DocForm.h"
#include "windows/Drawing.h"
#include "windows/ItemDrag.h"
#include "windows/MainForm.h"
#include "windows/SizeablePanel.h"
#include "windows/ToolWindowView.h"
#include "windows/WordSearch.h"

namespace hv {


void TResultsModel::Reset(const std::vector<TQuestion*>& items) {
  beginResetModel();
  Rows = items;
  endResetModel();
}

int TResultsModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : static_cast<int>(Rows.size());
}

QVariant TResultsModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid() || index.row() >= rowCount()) return {};
  // The rows are drawn, not written, so a screen reader is given their text here.
  if (role == Qt::AccessibleTextRole) return ItemAccessibleText(Rows[index.row()]);
  if ((role == kFacilityRole || role == Qt::ToolTipRole) && App != nullptr) {
    const TQuestionSummary* summary = App->QuestionStats(*Rows[index.row()]);
    if (summary == nullptr) return {};
    if (role == Qt::ToolTipRole) return QString::fromStdString(SummaryLine(*summary));
    return summary->Facility ? QVariant(*summary->Facility) : QVariant();
  }
  if (role != kItemRole) return {};
  return QVariant::fromValue(reinterpret_cast<quintptr>(static_cast<TStreamable*>(Rows[index.row()])));
}

Qt::ItemFlags TResultsModel::flags(const QModelIndex& index) const {
  if (!index.isValid()) return Qt::NoItemFlags;
  return Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsDragEnabled;
}

namespace {

// Draws a result row and, for a question with statistics, its facility as a small mark at the
// right of the title line (the first line's right end holds the marks): red for hard (below 0.3), amber between, green for easy (above 0.7).
class TResultsDelegate : public TSegmentItemDelegate {
public:
  using TSegmentItemDelegate::TSegmentItemDelegate;
  void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override {
    TSegmentItemDelegate::paint(painter, option, index);
    const QVariant facility = index.data(kFacilityRole);
    if (!facility.isValid()) return;
    const double f = facility.toDouble();
    const QColor colour = f < 0.3 ? QColor(0xc6, 0x28, 0x28) : f > 0.7 ? QColor(0x2e, 0x7d, 0x32) : QColor(0xb2, 0x6a, 0x00);
    painter->save();
    QFont small = option.font;
    small.setPixelSize(9);
    painter->setFont(small);
    const QString text = QString::number(f, 'f', 2);
    const int w = QFontMetrics(small).horizontalAdvance(text) + 6;
    const QRect mark(option.rect.right() - w - 2, option.rect.top() + 18, w, 12);
    painter->setRenderHint(QPainter::Antialiasing);
    painter->setPen(Qt::NoPen);
    painter->setBrush(colour);
    painter->drawRoundedRect(mark, 3, 3);
    painter->setPen(Qt::white);
    painter->drawText(mark, Qt::AlignCenter, text);
    painter->restore();
  }
};

}  // namespace

TResultsListBox::TResultsListBox(QWidget* parent) : TClickList<QListView>(parent) {
  setObjectName(QStringLiteral("QuestionsLB"));
  setAccessibleName(QStringLiteral("Questions found"));
  setProperty("HelpContext", 201);
  setItemDelegate(new TResultsDelegate(this));
  // Every row is as high as the first: the view never measures rows it does not show, so a
  // library of thousands of questions scrolls without laying them all out.
  setUniformItemSizes(true);
  setSelectionMode(QAbstractItemView::ExtendedSelection);
  setVerticalScrollMode(QAbstractItemView::ScrollPerItem);
  setDragEnabled(true);
  setDragDropMode(QAbstractItemView::DragOnly);
  setDefaultDropAction(Qt::CopyAction);
  QFont rowFont = font();
  rowFont.setPixelSize(11);
  setFont(rowFont);
  OnStartDrag = [this] { DragSelection(); };
}

void TResultsListBox::DragSelection() {
  const QModelIndexList rows = selectionModel()->selectedIndexes();
  if (rows.isEmpty()) return;
  auto* drag = new QDrag(this);
  drag->setMimeData(NewItemData(AppLogic()));
  const QRect rect = visualRect(currentIndex().isValid() ? currentIndex() : rows.front());
  if (!rect.isEmpty()) {
    drag->setPixmap(viewport()->grab(rect));
    drag->setHotSpot(viewport()->mapFromGlobal(QCursor::pos()) - rect.topLeft());
  }
  drag->exec(Qt::CopyAction, Qt::CopyAction);
}

TCriterionBox::TCriterionBox(std::function<const TCategory*()> criterion, QWidget* parent)
    : QFrame(parent), Criterion(std::move(criterion)) {
  setFrameShape(QFrame::Box);
  setFrameShadow(QFrame::Sunken);
  setAutoFillBackground(true);
  setBackgroundRole(QPalette::Base);
  QFont boxFont = font();
  boxFont.setPixelSize(11);
  setFont(boxFont);
}

void TCriterionBox::paintEvent(QPaintEvent* event) {
  QFrame::paintEvent(event);
  QPainter painter(this);
  painter.setClipRect(contentsRect());
  DrawCategoryItem(painter, Criterion(), 2, 3);
}

TQFForm::TQFForm(TAppLogic& app, QMainWindow* mainForm)
    : QMdiSubWindow(nullptr),
      App(app),
      Frame(mainForm),
      Panel(new TSizeablePanel),
      Model(new TResultsModel(this)),
      List(new TResultsListBox(Panel)),
      WordsBox(new QLineEdit(Panel)),
      WordsScope(new QCheckBox(QStringLiteral("Mark schemes etc."), Panel)),
      WordsStart(new QPushButton(QStringLiteral("Start Search"), Panel)),
      WordsContinue(new QPushButton(QStringLiteral("Continue Search"), Panel)) {
  setObjectName(QStringLiteral("QFForm"));
  setWindowTitle(QStringLiteral("Question Finder"));
  setProperty("HelpContext", 201);
  setAttribute(Qt::WA_DeleteOnClose, false);
  setWindowIcon(GlyphIcon(13));

  Panel->setObjectName(QStringLiteral("QFPanel"));
  Panel->SetMinWidth(313);
  Panel->SetMinHeight(150);
  Panel->SetResizeHoriz(true);
  Panel->SetResizeVert(false);
  Panel->SetAlign(TPanelAlign::Client);
  Panel->setFrameShape(QFrame::NoFrame);
  Panel->resize(313, 257);
  // Docked, the dock takes its least size from the panel's.
  Panel->setMinimumSize(Panel->MinWidth(), Panel->MinHeight());
  Model->SetStatsSource(&App);
  List->setModel(Model);
  List->setGeometry(8, 106, 297, 143);
  // The seventh criterion: words in the question, and optionally in its mark scheme, examiner's
  // report and note. Return continues the search, so words typed after choosing a topic narrow it.
  WordsBox->setObjectName(QStringLiteral("WordsE"));
  WordsBox->setAccessibleName(QStringLiteral("Words"));
  WordsBox->setPlaceholderText(QStringLiteral("Words"));
  WordsBox->setToolTip(QStringLiteral("Words that must all occur; \"a phrase\"; kinet* for a prefix; -word to exclude"));
  WordsBox->setClearButtonEnabled(true);
  WordsScope->setObjectName(QStringLiteral("WordsScopeCB"));
  WordsScope->setToolTip(QStringLiteral("Search the question's mark scheme, examiner's report and note as well"));
  WordsStart->setObjectName(QStringLiteral("WordsStartB"));
  WordsContinue->setObjectName(QStringLiteral("WordsContinueB"));
  for (QWidget* w : std::initializer_list<QWidget*>{WordsBox, WordsScope, WordsStart, WordsContinue}) {
    QFont small = w->font();
    small.setPixelSize(11);
    w->setFont(small);
  }
  auto search = [this](bool newSearch) {
    try {
      WordSearch(newSearch);
    } catch (const std::exception& error) {
      ReportCommandError(error);
    }
  };
  connect(WordsBox, &QLineEdit::returnPressed, this, [search] { search(false); });
  connect(WordsStart, &QPushButton::clicked, this, [search] { search(true); });
  connect(WordsContinue, &QPushButton::clicked, this, [search] { search(false); });
  QFPanelResize();
  CreateStatsFilters();
  connect(Panel.data(), &TSizeablePanel::Resized, this, &TQFForm::QFPanelResize);
  Panel->hide();
  setWidget(Panel.data());
  resize(321, 284);
  setMinimumSize(Panel->MinWidth() + 8, Panel->MinHeight() + 27);

  QFViewManager().AddObserver<&TQFForm::ViewStateChanged>(this);
  QFViewManager().SetWindow(this);
  TCommand::Create<TDockQFCmd>(this, nullptr, nullptr);
  TCommand::Create<TCloseQFCmd>(this, nullptr, nullptr);

  CreateRow(TClassification::Identity, "QuestionPB", "QuestionB", QRect(224, 8, 63, 17), QPoint(288, 8));
  CreateRow(TClassification::Topic, "TopicPB", "TopicB", QRect(8, 8, 103, 17), QPoint(112, 8));
  CreateRow(TClassification::QuestionType, "QuestionTypePB", "QuestionTypeB", QRect(8, 32, 103, 17), QPoint(112, 32));
  CreateRow(TClassification::Level, "LevelPB", "LevelB", QRect(136, 32, 63, 17), QPoint(200, 32));
  CreateRow(TClassification::Paper, "PaperPB", "PaperB", QRect(224, 32, 63, 17), QPoint(288, 32));
  CreateRow(TClassification::Resource, "ResPB", "ResB", QRect(136, 8, 63, 17), QPoint(200, 8));

  List->OnUserClick = [this] {
    try {
      QuestionsLBClick();
    } catch (const std::exception& error) {
      ReportCommandError(error);
    }
  };

  if (Frame != nullptr)
    if (auto* area = Frame->findChild<QMdiArea*>()) area->addSubWindow(this);
}

TQFForm::~TQFForm() {
  if (Observing) App.RemoveObserver<&TQFForm::AppNotified>(this);
  QFViewManager().RemoveObserver<&TQFForm::ViewStateChanged>(this);
  if (QFViewManager().Window() == this) QFViewManager().SetWindow(nullptr);
  // The panel may be parented by the main window's dock while docked.
  delete Panel.data();
  delete Dock.data();
}

void TQFForm::CreateRow(TClassification which, const char* boxName, const char* buttonName, QRect box, QPoint button) {
  TQuestionSelector* selector = App.Selector();
  TCategory* root = selector != nullptr ? selector->TreeOf(which) : nullptr;
  auto* paintBox = new TCriterionBox(
      [this, which]() -> const TCategory* {
        TQuestionSelector* s = App.Selector();
        if (s == nullptr) return nullptr;
        return s->Criterion(which) != nullptr ? s->Criterion(which) : s->TreeOf(which);
      },
      Panel);
  paintBox->setObjectName(QLatin1String(boxName));
  paintBox->setGeometry(box);
  auto* speed = new QToolButton(Panel);
  speed->setObjectName(QLatin1String(buttonName));
  speed->setText(QStringLiteral("..."));
  speed->setGeometry(button.x(), button.y(), 17, 17);
  const char* criterion = "";
  switch (which) {
    case TClassification::Identity: criterion = "Question"; break;
    case TClassification::Topic: criterion = "Topic"; break;
    case TClassification::QuestionType: criterion = "Question type"; break;
    case TClassification::Level: criterion = "Level"; break;
    case TClassification::Paper: criterion = "Paper"; break;
    case TClassification::Resource: criterion = "Resource"; break;
  }
  paintBox->setAccessibleName(QLatin1String(criterion));
  speed->setAccessibleName(QStringLiteral("Search by %1").arg(QLatin1String(criterion)));
  Boxes[Index(which)] = paintBox;
  Buttons[Index(which)] = speed;

  const bool named = root != nullptr && !root->Name.empty();
  // The resource row always shows; the others only for the trees the library names.
  const bool visible = named || which == TClassification::Resource;
  paintBox->setVisible(visible);
  speed->setVisible(visible);
  if (!named) return;
  switch (which) {
    case TClassification::Identity: TCommand::Create<TSearchByIdentityCmd>(this, nullptr, speed); break;
    case TClassification::Topic: TCommand::Create<TSearchByTopicCmd>(this, nullptr, speed); break;
    case TClassification::QuestionType: TCommand::Create<TSearchByQuestionTypeCmd>(this, nullptr, speed); break;
    case TClassification::Level: TCommand::Create<TSearchByLevelCmd>(this, nullptr, speed); break;
    case TClassification::Paper: TCommand::Create<TSearchByPaperCmd>(this, nullptr, speed); break;
    case TClassification::Resource: TCommand::Create<TSearchByResCmd>(this, nullptr, speed); break;
  }
}

void TQFForm::ViewStateChanged(TObservable*, const TNotificationSet& codes) {
  FollowViewManager(*this, QFViewManager(), codes);
}

void TQFForm::ShowWindowView() {
  if (Panel->isVisible()) {
    List->setFocus();
    return;
  }
  if (!Observing) {
    App.AddObserver<&TQFForm::AppNotified>(this);
    Observing = true;
  }
  Panel->show();
  if (!QFViewManager().Docked()) show();
  ReloadClasses();
  ReloadResults();
  RepaintIfCurrent();
  SyncSelection();
}

void TQFForm::HideWindowView() {
  if (Observing) {
    App.RemoveObserver<&TQFForm::AppNotified>(this);
    Observing = false;
  }
  ShowMinimized();
  Panel->hide();
}

void TQFForm::DockWindow() {
  if (Frame == nullptr) return;
  Panel->hide();
  if (Dock == nullptr) {
    Dock = new QDockWidget(Frame);
    Dock->setObjectName(QStringLiteral("QFDock"));
    Dock->setFeatures(QDockWidget::NoDockWidgetFeatures);
    // No title bar: the panel looks like part of the main window.
    auto* bar = new QWidget(Dock);
    bar->setFixedSize(1, 1);
    Dock->setTitleBarWidget(bar);
  }
  Panel->SetAlign(TPanelAlign::Right);
  Panel->setFrameShape(QFrame::Panel);
  Panel->setFrameShadow(QFrame::Raised);
  setWidget(nullptr);
  Dock->setWidget(Panel.data());
  Frame->addDockWidget(Qt::RightDockWidgetArea, Dock);
  Dock->show();
  Frame->resizeDocks({Dock.data()}, {DockWidth}, Qt::Horizontal);
  Panel->show();
  // Last: a subwindow follows the showing of the widget it holds until that widget has left it.
  hide();
  RepaintIfCurrent();
  SyncSelection();
}

void TQFForm::UndockWindow() {
  if (Dock != nullptr && Dock->widget() == Panel) {
    DockWidth = Panel->width();
    Dock->setWidget(nullptr);
    Dock->hide();
    Frame->removeDockWidget(Dock);
    setWidget(Panel.data());
  }
  Panel->SetAlign(TPanelAlign::Client);
  Panel->setFrameShape(QFrame::NoFrame);
  Panel->show();
  show();
  RepaintIfCurrent();
  SyncSelection();
}

// The statistics filters take a row between the words and the results while there is a store.
int TQFForm::ListTop() const { return App.Stats() != nullptr ? 130 : 106; }

void TQFForm::QFPanelResize() {
  const int w = Panel->width();
  WordsBox->setGeometry(8, 56, std::max(0, w - 16), 21);
  WordsScope->setGeometry(8, 80, std::max(0, w - 16 - 168), 21);
  WordsStart->setGeometry(w - 8 - 166, 80, 74, 21);
  WordsContinue->setGeometry(w - 8 - 90, 80, 90, 21);
  const int top = ListTop();
  List->setGeometry(8, top, std::max(0, w - 16), std::max(0, Panel->height() - top - 6));
  if (ClassCB != nullptr) ClassCB->resize(std::max(80, w - ClassCB->x() - 8), ClassCB->height());
}

void TQFForm::WordSearch(bool newSearch) {
  TQuestionSelector* selector = App.Selector();
  if (selector == nullptr) return;
  TWordIndexDriver* driver = TWordIndexDriver::For(App, Frame.data());
  driver->Start();
  const TWordScope scope = WordsScope->isChecked() ? TWordScope::All() : TWordScope{};
  selector->SetWordCriterion(WordsBox->text().toStdString(), scope, newSearch);
  driver->SearchMade();
}

void TQFForm::CreateStatsFilters() {
  FacilityCB = new QComboBox(Panel);
  FacilityCB->setObjectName(QStringLiteral("FacilityCB"));
  FacilityCB->setAccessibleName(QStringLiteral("Facility filter"));
  FacilityCB->addItems({QStringLiteral("Any facility"), QStringLiteral("Harder than"), QStringLiteral("Easier than")});
  FacilityCB->setGeometry(8, 104, 96, 22);
  FacilitySB = new QDoubleSpinBox(Panel);
  FacilitySB->setObjectName(QStringLiteral("FacilitySB"));
  FacilitySB->setAccessibleName(QStringLiteral("Facility"));
  FacilitySB->setRange(0.0, 1.0);
  FacilitySB->setSingleStep(0.05);
  FacilitySB->setDecimals(2);
  FacilitySB->setValue(0.4);
  FacilitySB->setGeometry(106, 104, 58, 22);
  ClassCB = new QComboBox(Panel);
  ClassCB->setObjectName(QStringLiteral("ClassCB"));
  ClassCB->setAccessibleName(QStringLiteral("Hide the questions used with a class"));
  ClassCB->setToolTip(QStringLiteral("Hide the questions a class has already sat"));
  ClassCB->setGeometry(168, 104, 137, 22);
  for (QWidget* w : std::initializer_list<QWidget*>{FacilityCB, FacilitySB, ClassCB}) {
    QFont f = w->font();
    f.setPixelSize(11);
    w->setFont(f);
  }
  FacilitySB->setEnabled(false);
  connect(FacilityCB, &QComboBox::currentIndexChanged, this, [this] { ApplyStatsFilter(); });
  connect(FacilitySB, &QDoubleSpinBox::valueChanged, this, [this] { ApplyStatsFilter(); });
  connect(ClassCB, &QComboBox::currentIndexChanged, this, [this] { ApplyStatsFilter(); });
  ReloadClasses();
}

void TQFForm::ReloadClasses() {
  const bool shown = App.Stats() != nullptr;
  for (QWidget* w : std::initializer_list<QWidget*>{FacilityCB, FacilitySB, ClassCB}) w->setVisible(shown);
  QFPanelResize();
  if (!shown) return;
  const QString chosen = QString::fromStdString(App.StatsFilter().HideUsedWith);
  QSignalBlocker block(ClassCB);
  ClassCB->clear();
  ClassCB->addItem(QStringLiteral("Any class"), QString());
  for (const std::string& name : App.Stats()->Classes(App.Subject())) {
    const QString cls = QString::fromStdString(name);
    ClassCB->addItem(QStringLiteral("Not used with ") + cls, cls);
  }
  const int at = ClassCB->findData(chosen);
  ClassCB->setCurrentIndex(at < 0 ? 0 : at);
}

void TQFForm::ApplyStatsFilter() {
  TStatsFilter filter;
  const int bound = FacilityCB->currentIndex();
  FacilitySB->setEnabled(bound != 0);
  if (bound == 1) filter.MaxFacility = FacilitySB->value();
  if (bound == 2) filter.MinFacility = FacilitySB->value();
  filter.HideUsedWith = ClassCB->currentData().toString().toStdString();
  try {
    App.SetStatsFilter(filter);
  } catch (const std::exception& error) {
    ReportCommandError(error);
  }
}

void TQFForm::AppNotified(TObservable*, const TNotificationSet& codes) {
  if (codes.Contains(AppCode::Statistics)) {
    ReloadClasses();
    List->viewport()->update();
  }
  if (Updating) return;
  if (codes.Contains(AppCode::SearchResults)) ReloadResults();
  if (codes.Contains(AppCode::CurrentSelection)) SyncSelection();
}

void TQFForm::ReloadResults() {
  TSyncGuard syncing(List->Syncing);
  static const std::vector<TQuestion*> kNone;
  Model->Reset(App.Selector() != nullptr ? App.Selector()->Results() : kNone);
  for (TCriterionBox* box : Boxes) box->update();
  // A new search from a category picker clears the words; the box shows what is searched.
  if (TQuestionSelector* selector = App.Selector()) {
    const QString words = QString::fromStdString(selector->WordCriterion());
    if (WordsBox->text().trimmed() != words.trimmed()) WordsBox->setText(words);
    if (selector->HasWordCriterion()) WordsScope->setChecked(selector->WordScope() == TWordScope::All());
  }
}

void TQFForm::RepaintIfCurrent() {
  if (App.Selector() != nullptr && App.CurrentList() == TListRef(App.Selector()->Results())) List->viewport()->update();
}

void TQFForm::SyncSelection() {
  TSyncGuard syncing(List->Syncing);
  QItemSelectionModel* selection = List->selectionModel();
  const bool fromResults = App.Selector() != nullptr && App.SelectionSource() == TListRef(App.Selector()->Results());
  if (!fromResults) {
    if (selection->hasSelection()) selection->clearSelection();
    return;
  }
  // Contiguous runs of selected rows become one range each, so selecting all of a long list
  // stays one cheap change.
  const std::unordered_set<const TStreamable*> wanted(App.Selection().begin(), App.Selection().end());
  const std::vector<TQuestion*>& rows = Model->Items();
  QItemSelection ranges;
  const int n = static_cast<int>(rows.size());
  for (int i = 0; i < n;) {
    if (!wanted.contains(rows[i])) {
      ++i;
      continue;
    }
    int j = i;
    while (j + 1 < n && wanted.contains(rows[j + 1])) ++j;
    ranges.select(Model->index(i), Model->index(j));
    i = j + 1;
  }
  if (ranges != selection->selection()) selection->select(ranges, QItemSelectionModel::ClearAndSelect);
  const int current = App.CurrentList() == TListRef(App.Selector()->Results()) ? App.CurrentIndex() : -1;
  if (current >= 0 && current < n && List->currentIndex().row() != current)
    selection->setCurrentIndex(Model->index(current), QItemSelectionModel::NoUpdate);
}

void TQFForm::QuestionsLBClick() {
  TQuestionSelector* selector = App.Selector();
  if (selector == nullptr) return;
  TFlagGuard updating(Updating);
  const TListRef results(selector->Results());
  const int focused = List->currentIndex().row();
  App.SetCurrentList(results, focused);
  // Whatever happens to the offer, the clicked rows become the selection, so the Viewer and the
  // list never disagree; a failure of the offer is reported afterwards.
  std::exception_ptr offerFailed;
  try {
    if (focused >= 0 && focused < static_cast<int>(Model->Items().size())) OfferResources(*Model->Items()[focused]);
  } catch (...) {
    offerFailed = std::current_exception();
  }
  TItemList selected;
  const QModelIndexList rows = List->selectionModel()->selectedRows();
  std::vector<int> order;
  order.reserve(rows.size());
  for (const QModelIndex& row : rows) order.push_back(row.row());
  std::sort(order.begin(), order.end());
  for (int row : order)
    if (row < static_cast<int>(Model->Items().size())) selected.push_back(Model->Items()[row]);
  App.SetSelection(std::move(selected), results);
  if (offerFailed) std::rethrow_exception(offerFailed);
}

void TQFForm::OfferResources(const TQuestion& question) {
  auto* main = qobject_cast<TMainForm*>(Frame.data());
  if (main == nullptr || !main->FlagResource() || question.Resources.empty() || question.Resources.front() == nullptr)
    return;
  std::vector<std::string>& offered = main->OfferedResources();
  const std::string id = FullID(question.Resources.front());
  if (std::find(offered.begin(), offered.end(), id) != offered.end()) return;
  // Recorded before asking: each resource is offered once, whatever the answer.
  offered.push_back(id);
  // Only resources that have a text can become entries; with none there is nothing to offer.
  TItemList resources;
  for (TIdentityCategory* node : question.Resources)
    if (node != nullptr && node->Resource != nullptr) resources.push_back(node);
  if (resources.empty()) return;
  if (Ask().Confirm(QLatin1String(kResourceQuestion), TAskButtons::YesNo) != TAskAnswer::Yes) return;
  if (TDocLogic* doc = App.CurrentDocument()) AddItemsToDocument(*doc, resources, 0, "Add Resources");
}

void TQFForm::ShowNormal() {
  if (QFViewManager().Docked()) return;
  showNormal();
  show();
}

void TQFForm::ShowMinimized() { showMinimized(); }

void TQFForm::closeEvent(QCloseEvent* event) {
  event->ignore();
  try {
    RunCommand<TCloseQFCmd>();
  } catch (const std::exception& error) {
    ReportCommandError(error);
  }
}

}  // namespace hv
