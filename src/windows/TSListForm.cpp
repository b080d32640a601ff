#include "windows/TSListForm.h"

#include <QCloseEvent>
#include <QPainter>
#include <QStyleOptionTab>
#include <QStylePainter>

#include <algorithm>
#include <unordered_set>

#include "commands/CommandFramework.h"
#include "commands/ViewCommands.h"
#include "components/AnsiString.h"
#include "logic/AppLogic.h"
#include "model/Categories.h"
#include "model/Library.h"
#include "model/Segments.h"
#include "windows/DocForm.h"
#include "windows/Drawing.h"
#include "windows/ItemDrag.h"

namespace hv {

namespace {

constexpr int kRowHeight = 33;
constexpr int kTabWidth = 32;
constexpr int kTabBarHeight = 28;

TStreamable* RowItem(const QModelIndex& index) {
  return reinterpret_cast<TStreamable*>(index.data(kItemRole).value<quintptr>());
}

}  // namespace

TTextListDelegate::TTextListDelegate(TTSListForm& form, QObject* parent) : QStyledItemDelegate(parent), Form(form) {}

QSize TTextListDelegate::sizeHint(const QStyleOptionViewItem&, const QModelIndex&) const { return {200, kRowHeight}; }

void TTextListDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const {
  painter->save();
  const QRect rect = option.rect;
  const bool selected = option.state.testFlag(QStyle::State_Selected);
  painter->fillRect(rect, selected ? QColor(kSelectedRowColour) : option.palette.color(QPalette::Base));
  painter->setFont(option.font);
  TStreamable* item = RowItem(index);
  if (Form.ShowsResources()) {
    if (const auto* node = dynamic_cast<const TIdentityCategory*>(item)) {
      painter->setPen(Qt::black);
      TextOut(*painter, rect.left() + 12, rect.top(), AnsiToQt(FullID(node)));
      painter->setPen(QColor(kRed));
      TextOut(*painter, rect.left() + 12, rect.top() + 15, AnsiToQt(node->Title));
    }
  } else if (const auto* segment = dynamic_cast<const TTextSegment*>(item)) {
    const int depth = segment->Identity != nullptr ? segment->Identity->Depth() : 0;
    painter->setPen(QColor(0xb8, 0xc2, 0xcc));
    DrawSegmentItem(*painter, segment, rect.top() + 2, rect.left() + 2 + 15 * depth, rect.right());
  }
  painter->restore();
}

TTextListTabs::TTextListTabs(QWidget* parent) : QTabBar(parent) {
  setObjectName(QStringLiteral("TabSet"));
  setShape(QTabBar::RoundedSouth);
  setDrawBase(true);
  setExpanding(false);
  setIconSize(QSize(16, 16));
}

QSize TTextListTabs::tabSizeHint(int) const { return {kTabWidth, 23}; }

void TTextListTabs::paintEvent(QPaintEvent*) {
  QStylePainter painter(this);
  for (int i = 0; i < count(); ++i) {
    QStyleOptionTab tab;
    initStyleOption(&tab, i);
    tab.text.clear();
    tab.icon = QIcon();
    const bool current = i == currentIndex();
    // Unselected tabs sit back in the button-shadow colour, as a tab set draws them.
    if (!current) painter.fillRect(tab.rect, palette().color(QPalette::Button).darker(125));
    painter.drawControl(QStyle::CE_TabBarTabShape, tab);
    const TGlyphCell cell = GlyphTable[static_cast<std::size_t>(TTSListForm::kTabGlyphs[i])];
    painter.drawPixmap(tab.rect.left() + 8, tab.rect.top() + 4, ButtonCell(cell.Column, cell.Row));
  }
}

TTSListForm::TTSListForm(TAppLogic& app, QWidget* mainForm)
    // A tool window of the main window: above it, but not above every other program.
    : QWidget(mainForm, Qt::Tool),
      App(app),
      List(new TClickList<QListWidget>(this)),
      Tabs(new TTextListTabs(this)) {
  setObjectName(QStringLiteral("TSListForm"));
  setProperty("HelpContext", 247);
  setAttribute(Qt::WA_DeleteOnClose, false);
  resize(321, 311);

  List->setObjectName(QStringLiteral("ListLB"));
  List->setAccessibleName(QStringLiteral("Texts"));
  List->setItemDelegate(new TTextListDelegate(*this, List));
  List->setUniformItemSizes(true);
  List->setSelectionMode(QAbstractItemView::ExtendedSelection);
  List->setVerticalScrollMode(QAbstractItemView::ScrollPerItem);
  List->setDragEnabled(true);
  List->setDragDropMode(QAbstractItemView::DragOnly);
  QFont rowFont = List->font();
  rowFont.setPixelSize(11);
  List->setFont(rowFont);
  List->OnUserClick = [this] {
    try {
      ListLBClick();
    } catch (const std::exception& error) {
      ReportCommandError(error);
    }
  };
  List->OnStartDrag = [this] { StartItemDrag(List, App); };

  // The tabs show only pictures; their names are for screen readers and tips.
  for (const char* name : {"Mark schemes", "Examiner's reports", "Specification", "Resources"}) {
    const int tab = Tabs->addTab(QString());
    Tabs->setTabToolTip(tab, QLatin1String(name));
    Tabs->setAccessibleTabName(tab, QLatin1String(name));
  }
  // Clicks, arrow keys and the mouse wheel all change the current tab; each shows its kind.
  connect(Tabs, &QTabBar::currentChanged, this, [this](int index) {
    if (index < 0 || ChangingTab) return;
    try {
      TabSetClick(index);
    } catch (const std::exception& error) {
      ReportCommandError(error);
    }
  });

  TSListManager().AddObserver<&TTSListForm::ViewStateChanged>(this);
  TSListManager().SetWindow(this);
  hide();
}

TTSListForm::~TTSListForm() {
  if (Observing) App.RemoveObserver<&TTSListForm::AppNotified>(this);
  TSListManager().RemoveObserver<&TTSListForm::ViewStateChanged>(this);
  if (TSListManager().Window() == this) TSListManager().SetWindow(nullptr);
}

void TTSListForm::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  List->setGeometry(8, 8, std::max(0, width() - 16), std::max(0, height() - 42));
  Tabs->setGeometry(0, height() - kTabBarHeight, width(), kTabBarHeight);
}

void TTSListForm::ViewStateChanged(TObservable*, const TNotificationSet& codes) {
  if (codes.Contains(ViewCode::ListClass)) {
    FillList();
    SyncSelection();
  }
  if (!codes.Contains(ViewCode::ViewVisible)) return;
  if (TSListManager().Visible()) {
    if (isVisible()) {
      List->setFocus();
      return;
    }
    if (!Observing) {
      App.AddObserver<&TTSListForm::AppNotified>(this);
      Observing = true;
    }
    show();
    raise();
  } else {
    if (Observing) {
      App.RemoveObserver<&TTSListForm::AppNotified>(this);
      Observing = false;
    }
    hide();
  }
}

void TTSListForm::AppNotified(TObservable*, const TNotificationSet& codes) {
  if (Updating) return;
  if (codes.Contains(AppCode::CurrentSelection)) SyncSelection();
}

void TTSListForm::FillList() {
  TSyncGuard syncing(List->Syncing);
  ItemList.clear();
  List->clear();
  TLibrary* library = App.Library();
  if (library == nullptr) {
    ReleaseFromApp();
    return;
  }
  auto addRow = [this](TTextSegment* segment, TStreamable* rowItem) {
    ItemList.push_back(segment);
    auto* row = new TItemRow;
    row->setData(kItemRole, QVariant::fromValue(reinterpret_cast<quintptr>(rowItem)));
    List->addItem(row);
  };
  auto walk = [&](TIdentityCategory* root, auto&& take) {
    if (root == nullptr) return;
    TCategoryIterator nodes(root);
    for (TCategory* node = nodes.Next(); node != nullptr; node = nodes.Next()) take(static_cast<TIdentityCategory*>(node));
  };
  int tab = 0;
  QString caption;
  switch (TSListManager().SegmentClass()) {
    case TSegmentClass::Syllabus:
      walk(library->SyllabusTree, [&](TIdentityCategory* n) { if (n->Syllabus) addRow(n->Syllabus, n->Syllabus); });
      caption = QStringLiteral("Links");
      tab = 2;
      break;
    case TSegmentClass::MarkScheme:
      walk(library->QuestionTree, [&](TIdentityCategory* n) { if (n->MarkScheme) addRow(n->MarkScheme, n->MarkScheme); });
      caption = QStringLiteral("Markscheme");
      tab = 0;
      break;
    case TSegmentClass::ExaminersReport:
      walk(library->QuestionTree,
           [&](TIdentityCategory* n) { if (n->ExaminersReport) addRow(n->ExaminersReport, n->ExaminersReport); });
      caption = QStringLiteral("Standards report");
      tab = 1;
      break;
    case TSegmentClass::Resource:
      walk(library->ResourceTree, [&](TIdentityCategory* n) {
        // Nodes without a resource text of their own (the root, grouping nodes) are skipped.
        TTextSegment* segment = nullptr;
        try {
          segment = library->FindSegment("R" + FullID(n), false);
        } catch (const std::exception&) {
          segment = nullptr;
        }
        if (segment != nullptr) addRow(segment, n);
      });
      caption = QStringLiteral("Resources");
      tab = 3;
      break;
    default:
      ReleaseFromApp();
      return;
  }
  setWindowTitle(caption);
  {
    TFlagGuard changing(ChangingTab);
    Tabs->setCurrentIndex(tab);
  }
  ReleaseFromApp();
}

void TTSListForm::ReleaseFromApp() {
  // The rows the application's position and selection pointed into are gone: no current item in
  // this list, and the selected texts stay shown but no longer belong to it.
  const TListRef items(ItemList);
  if (App.CurrentList() == items) App.SetCurrentList(items, -1);
  if (App.SelectionSource() == items) App.SetSelection(App.Selection(), TListRef());
}

void TTSListForm::SyncSelection() {
  TSyncGuard syncing(List->Syncing);
  if (!(App.SelectionSource() == TListRef(ItemList))) {
    List->clearSelection();
    return;
  }
  const std::unordered_set<const TStreamable*> wanted(App.Selection().begin(), App.Selection().end());
  for (int i = 0; i < List->count(); ++i) {
    const bool select = wanted.contains(ItemList[static_cast<std::size_t>(i)]);
    if (List->item(i)->isSelected() != select) List->item(i)->setSelected(select);
  }
}

void TTSListForm::ListLBClick() {
  TFlagGuard updating(Updating);
  const TListRef items(ItemList);
  App.SetCurrentList(items, List->currentRow());
  TItemList selected;
  for (int i = 0; i < List->count(); ++i)
    if (List->item(i)->isSelected()) selected.push_back(ItemList[static_cast<std::size_t>(i)]);
  App.SetSelection(std::move(selected), items);
}

void TTSListForm::TabSetClick(int index) {
  switch (index) {
    case 0: RunCommand<TViewMarkSchemeCmd>(); break;
    case 1: RunCommand<TViewExaminersReportCmd>(); break;
    case 2: RunCommand<TViewSyllabusCmd>(); break;
    case 3: RunCommand<TViewResourceCmd>(); break;
    default: break;
  }
}

void TTSListForm::ShowNormal() {
  showNormal();
  raise();
}

void TTSListForm::ShowMinimized() { hide(); }

void TTSListForm::closeEvent(QCloseEvent* event) {
  event->ignore();
  try {
    RunCommand<TCloseTSListCmd>();
  } catch (const std::exception& error) {
    ReportCommandError(error);
  }
}

}  // namespace hv
