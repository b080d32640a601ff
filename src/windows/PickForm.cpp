#include "windows/PickForm.h"

#include <QButtonGroup>
#include <QListWidget>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>
#include <QShortcut>
#include <QToolButton>

#include <algorithm>

#include "commands/Ask.h"
#include "components/AnsiString.h"
#include "core/Collections.h"
#include "logic/AppLogic.h"
#include "model/Categories.h"
#include "windows/Drawing.h"
#include "windows/QtAsk.h"

namespace hv {

namespace {

constexpr int kCategoryRole = Qt::UserRole + 2;

// The listing buttons' faces: letters for the alphabetical list, a small tree for the outline.
QIcon ListingIcon(bool alphabetical) {
  QPixmap face(16, 16);
  face.fill(Qt::transparent);
  QPainter p(&face);
  p.setPen(QColor(kNavy));
  if (alphabetical) {
    QFont f = p.font();
    f.setPixelSize(8);
    f.setBold(true);
    p.setFont(f);
    p.drawText(QRect(0, 0, 16, 8), Qt::AlignCenter, QStringLiteral("A"));
    p.drawText(QRect(0, 8, 16, 8), Qt::AlignCenter, QStringLiteral("Z"));
  } else {
    p.drawLine(3, 2, 3, 13);
    p.drawLine(3, 7, 7, 7);
    p.drawLine(3, 13, 7, 13);
    p.fillRect(1, 1, 5, 3, QColor(kNavy));
    p.fillRect(8, 6, 6, 3, QColor(kNavy));
    p.fillRect(8, 12, 6, 3, QColor(kNavy));
  }
  return QIcon(face);
}

}  // namespace

TCategoryRowDelegate::TCategoryRowDelegate(TPickForm& form, QObject* parent) : QStyledItemDelegate(parent), Form(form) {}

QSize TCategoryRowDelegate::sizeHint(const QStyleOptionViewItem&, const QModelIndex&) const { return {200, kRowHeight}; }

void TCategoryRowDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const {
  const TCategory* category = Form.CategoryAt(index.row());
  if (category == nullptr) return;
  painter->save();
  const QRect rect = option.rect;
  const bool selected = option.state.testFlag(QStyle::State_Selected);
  painter->fillRect(rect, option.palette.color(selected ? QPalette::Highlight : QPalette::Base));
  QColor ink = option.palette.color(selected ? QPalette::HighlightedText : QPalette::Text);
  if (!Form.IsAvailable(category)) ink = option.palette.color(QPalette::Disabled, QPalette::Text);
  painter->setPen(ink);
  QFont rowFont = option.font;
  rowFont.setBold(index.row() == 0);
  painter->setFont(rowFont);
  const int l = rect.left();
  const int t = rect.top();
  if (Form.Sorted()) {
    TextOut(*painter, l + 2, t, AnsiToQt(category->Name));
  } else {
    const int depth = category->Depth();
    DrawCategoryItem(*painter, category, t, l + 2 + 20 * depth);
    if (!category->Children.empty()) {
      const int column = Form.IsExpanded(index.row()) ? kExpandedColumn : kCollapsedColumn;
      painter->drawPixmap(l - 8 + 20 * depth, t + 3, SymbolCell(column));
    }
  }
  painter->restore();
}

TPickForm::TPickForm(TAppLogic& app, QWidget* parent, TQtAsk* ask)
    : QDialog(parent),
      App(app),
      List(new QListWidget(this)),
      Alpha(new QToolButton(this)),
      Outline(new QToolButton(this)),
      Start(new QPushButton(QStringLiteral("&Start Search"), this)),
      Continue(new QPushButton(QStringLiteral("Con&tinue Search"), this)),
      Cancel(new QPushButton(QStringLiteral("&Cancel"), this)) {
  setObjectName(QStringLiteral("PickForm"));
  setWindowTitle(QStringLiteral("Search"));
  setProperty("HelpContext", 216);
  setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
  setFixedSize(320, 238);

  List->setObjectName(QStringLiteral("CategoriesLB"));
  List->setAccessibleName(QStringLiteral("Categories"));
  List->setGeometry(8, 8, 305, 193);
  List->setSelectionMode(QAbstractItemView::SingleSelection);
  List->setUniformItemSizes(true);
  List->setItemDelegate(new TCategoryRowDelegate(*this, List));
  QFont rowFont = List->font();
  rowFont.setPixelSize(11);
  List->setFont(rowFont);

  Alpha->setObjectName(QStringLiteral("AlphaB"));
  Alpha->setToolTip(QStringLiteral("List alphabetically"));
  Alpha->setAccessibleName(Alpha->toolTip());
  Alpha->setIcon(ListingIcon(true));
  Alpha->setGeometry(8, 208, 23, 23);
  Outline->setObjectName(QStringLiteral("OutlineB"));
  Outline->setToolTip(QStringLiteral("List hierarchically"));
  Outline->setAccessibleName(Outline->toolTip());
  Outline->setIcon(ListingIcon(false));
  Outline->setGeometry(32, 208, 23, 23);
  for (QToolButton* b : {Alpha, Outline}) {
    b->setCheckable(true);
    b->setAutoRaise(true);
  }
  auto* group = new QButtonGroup(this);
  group->setExclusive(true);
  group->addButton(Alpha);
  group->addButton(Outline);
  Outline->setChecked(true);

  Start->setObjectName(QStringLiteral("StartB"));
  Start->setGeometry(64, 208, 75, 25);
  Continue->setObjectName(QStringLiteral("ContinueB"));
  Continue->setGeometry(144, 208, 91, 25);
  Cancel->setObjectName(QStringLiteral("CancelB"));
  Cancel->setGeometry(240, 208, 73, 25);
  // Enter on a focused button presses that button; elsewhere it presses the default one.
  for (QPushButton* b : {Start, Continue, Cancel}) b->setAutoDefault(true);
  // The captions must fit the buttons' fixed places along the bottom.
  QFont buttonFont = Start->font();
  buttonFont.setPixelSize(11);
  for (QPushButton* b : {Start, Continue, Cancel}) b->setFont(buttonFont);

  connect(Alpha, &QToolButton::clicked, this, &TPickForm::AlphaBClick);
  connect(Outline, &QToolButton::clicked, this, &TPickForm::OutlineBClick);
  connect(Start, &QPushButton::clicked, this, [this] { done(static_cast<int>(TPickResult::Start)); });
  connect(Continue, &QPushButton::clicked, this, [this] { done(static_cast<int>(TPickResult::Continue)); });
  connect(Cancel, &QPushButton::clicked, this, [this] { done(static_cast<int>(TPickResult::Cancel)); });
  connect(List, &QListWidget::itemClicked, this, &TPickForm::CategoriesLBClick);
  // Keyboard moves pick as clicks do.
  connect(List, &QListWidget::currentRowChanged, this, [this](int) {
    if (List->currentItem() != nullptr && List->currentItem()->isSelected()) CategoriesLBClick();
  });
  connect(List, &QListWidget::itemDoubleClicked, this, &TPickForm::CategoriesLBDblClick);
  // A click on a branch's marker opens or closes it, as a double click on the row does.
  List->viewport()->installEventFilter(this);
  // Right opens and Left closes a branch of the outline, as a double click toggles it.
  auto* expand = new QShortcut(QKeySequence(Qt::Key_Right), List, nullptr, nullptr, Qt::WidgetShortcut);
  connect(expand, &QShortcut::activated, this, [this] {
    if (!IsExpanded(List->currentRow())) CategoriesLBDblClick();
  });
  auto* collapse = new QShortcut(QKeySequence(Qt::Key_Left), List, nullptr, nullptr, Qt::WidgetShortcut);
  connect(collapse, &QShortcut::activated, this, [this] {
    if (IsExpanded(List->currentRow())) CategoriesLBDblClick();
  });

  if (ask == nullptr && HasAsk()) ask = dynamic_cast<TQtAsk*>(&Ask());
  if (ask != nullptr) {
    InstalledIn = ask;
    ask->SetPickHandler([this](TCategory* root, const TSet& available, TCategory* current, const TPickOptions& options) {
      return PickCategory(root, available, current, options);
    });
  }
}

TPickForm::~TPickForm() {
  if (InstalledIn != nullptr) InstalledIn->SetPickHandler(nullptr);
}

TPickAnswer TPickForm::PickCategory(TCategory* root, const TSet& available, TCategory* current,
                                   const TPickOptions& options) {
  TCategory* category = current;
  const TPickResult result = Pick(root, available, category, options.OnlyCriterion);
  return {result, result == TPickResult::Cancel ? current : category};
}

TPickResult TPickForm::Pick(TCategory* root, const TSet& available, TCategory*& category, bool onlyCriterion) {
  Root = root;
  Available = &available;
  PickedCategory = category;
  OnlyCriterion = onlyCriterion;
  const bool topics = App.Library() != nullptr && root == App.Library()->Topics;
  Alpha->setVisible(topics);
  Outline->setVisible(topics);
  SortedListing = topics && Alpha->isChecked();
  FillList();
  UpdateButtons();
  const int code = exec();
  // The dialog is kept for the next use; what it pointed at may not outlive this call.
  const TPickResult result = code == static_cast<int>(TPickResult::Start)      ? TPickResult::Start
                             : code == static_cast<int>(TPickResult::Continue) ? TPickResult::Continue
                                                                               : TPickResult::Cancel;
  if (result != TPickResult::Cancel) category = PickedCategory;
  List->clear();
  Available = nullptr;
  return result;
}

QListWidgetItem* TPickForm::NewRow(TCategory* category, const QString& text) const {
  auto* row = new QListWidgetItem(text);
  row->setData(kCategoryRole, QVariant::fromValue(reinterpret_cast<quintptr>(category)));
  return row;
}

TCategory* TPickForm::CategoryAt(int row) const {
  const QListWidgetItem* item = List->item(row);
  return item != nullptr ? reinterpret_cast<TCategory*>(item->data(kCategoryRole).value<quintptr>()) : nullptr;
}

bool TPickForm::IsAvailable(const TCategory* category) const {
  return Available != nullptr && category != nullptr && Available->Contains(category);
}

bool TPickForm::IsExpanded(int row) const {
  const TCategory* category = CategoryAt(row);
  return category != nullptr && !category->Children.empty() && CategoryAt(row + 1) == category->Children.front();
}

void TPickForm::FillList() {
  List->clear();
  if (Root == nullptr) return;
  List->addItem(NewRow(Root, QString()));
  if (SortedListing) {
    std::vector<std::pair<QString, TCategory*>> rows;
    TCategoryIterator walk(Root);
    for (TCategory* node = walk.Next(); node != nullptr; node = walk.Next())
      if (node != Root) rows.emplace_back(AnsiToQt(node->Name), node);
    std::stable_sort(rows.begin(), rows.end(), [](const auto& a, const auto& b) {
      return QString::compare(a.first, b.first, Qt::CaseInsensitive) < 0;
    });
    for (const auto& [text, node] : rows) List->addItem(NewRow(node, text));
  } else {
    for (TCategory* child : Root->Children) List->addItem(NewRow(child, AnsiToQt(child->Name)));
  }
  int found = -1;
  for (int i = 0; i < List->count() && found < 0; ++i)
    if (CategoryAt(i) == PickedCategory) found = i;
  if (found < 0) {
    PickedCategory = nullptr;
    List->setCurrentRow(-1);
    List->clearSelection();
  } else {
    List->setCurrentRow(found);
    List->scrollToItem(List->item(found));
  }
}

void TPickForm::UpdateButtons() {
  const bool canContinue = !OnlyCriterion && PickedCategory != nullptr && IsAvailable(PickedCategory);
  Continue->setEnabled(canContinue);
  Continue->setDefault(canContinue);
  Start->setEnabled(PickedCategory != nullptr);
  Start->setDefault(!canContinue);
  List->viewport()->update();
}

void TPickForm::AlphaBClick() {
  SortedListing = true;
  FillList();
  UpdateButtons();
}

void TPickForm::OutlineBClick() {
  SortedListing = false;
  FillList();
  UpdateButtons();
}

void TPickForm::CategoriesLBClick() {
  if (TCategory* category = CategoryAt(List->currentRow())) PickedCategory = category;
  UpdateButtons();
}

void TPickForm::CategoriesLBDblClick() {
  const int r = List->currentRow();
  TCategory* k = CategoryAt(r);
  if (SortedListing || r <= 0 || k == nullptr || k->Children.empty()) return;
  if (r == List->count() - 1) {
    for (TCategory* child : k->Children) List->addItem(NewRow(child, AnsiToQt(child->Name)));
  } else if (IsExpanded(r)) {
    const int depth = k->Depth();
    while (r + 1 < List->count() && CategoryAt(r + 1)->Depth() > depth) delete List->takeItem(r + 1);
  } else {
    int at = r + 1;
    for (TCategory* child : k->Children) List->insertItem(at++, NewRow(child, AnsiToQt(child->Name)));
  }
  List->viewport()->update();
}

bool TPickForm::OnMarker(int row, int x) const {
  const TCategory* category = CategoryAt(row);
  if (SortedListing || row <= 0 || category == nullptr || category->Children.empty()) return false;
  const QListWidgetItem* item = List->item(row);
  // The marker is 8 pixels wide, drawn 8 pixels left of the row's indented text; a little slack
  // on either side makes it easy to hit.
  const int left = List->visualItemRect(item).left() - 8 + 20 * category->Depth();
  return x >= left - 3 && x < left + 8 + 3;
}

bool TPickForm::eventFilter(QObject* watched, QEvent* event) {
  if (watched == List->viewport() &&
      (event->type() == QEvent::MouseButtonPress || event->type() == QEvent::MouseButtonDblClick)) {
    const auto* mouse = static_cast<QMouseEvent*>(event);
    const QPoint pos = mouse->position().toPoint();
    const int row = List->indexAt(pos).row();
    if (mouse->button() == Qt::LeftButton && OnMarker(row, pos.x())) {
      List->setCurrentRow(row);
      CategoriesLBDblClick();
      return true;
    }
  }
  return QDialog::eventFilter(watched, event);
}

void TPickForm::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  List->setFocus();
}

}  // namespace hv
