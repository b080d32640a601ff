#include "windows/RelatedForm.h"

#include <QListWidget>
#include <QPushButton>

#include <algorithm>

#include "commands/Ask.h"
#include "model/Segments.h"
#include "windows/DocForm.h"
#include "windows/Drawing.h"
#include "windows/QtAsk.h"

namespace hv {

namespace {
constexpr int kOk = 1;
constexpr int kCancel = 2;
}  // namespace

TRelatedForm::TRelatedForm(QWidget* parent, TQtAsk* ask)
    : QDialog(parent),
      List(new QListWidget(this)),
      Ok(new QPushButton(QStringLiteral("&OK"), this)),
      Cancel(new QPushButton(QStringLiteral("&Cancel"), this)) {
  setObjectName(QStringLiteral("RelatedForm"));
  setWindowTitle(QStringLiteral("Related Information"));
  setProperty("HelpContext", 189);
  setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
  setFixedSize(313, 198);

  List->setObjectName(QStringLiteral("RelatedLB"));
  List->setAccessibleName(QStringLiteral("Related items"));
  List->setGeometry(8, 8, 297, 153);
  List->setItemDelegate(new TSegmentItemDelegate(List));
  List->setUniformItemSizes(true);
  List->setSelectionMode(QAbstractItemView::ExtendedSelection);
  QFont rowFont = List->font();
  rowFont.setPixelSize(11);
  List->setFont(rowFont);

  Ok->setObjectName(QStringLiteral("OkB"));
  Ok->setGeometry(152, 168, 75, 25);
  Ok->setDefault(true);
  Ok->setEnabled(false);
  Cancel->setObjectName(QStringLiteral("CancelB"));
  Cancel->setGeometry(232, 168, 75, 25);
  Cancel->setAutoDefault(false);
  connect(Ok, &QPushButton::clicked, this, [this] { done(kOk); });
  connect(Cancel, &QPushButton::clicked, this, [this] { done(kCancel); });
  connect(List, &QListWidget::itemClicked, this, [this] { Ok->setEnabled(List->currentItem() != nullptr); });
  // Choosing with the arrow keys or Space selects the focused row, and that is a choice too.
  connect(List, &QListWidget::itemSelectionChanged, this, [this] {
    Ok->setEnabled(List->currentItem() != nullptr && List->currentItem()->isSelected());
  });

  if (ask == nullptr && HasAsk()) ask = dynamic_cast<TQtAsk*>(&Ask());
  if (ask != nullptr) {
    InstalledIn = ask;
    ask->SetChooseHandler([this](const QString&, const std::vector<TTextSegment*>& items) { return ChooseOne(items); });
  }
}

TRelatedForm::~TRelatedForm() {
  if (InstalledIn != nullptr) InstalledIn->SetChooseHandler(nullptr);
}

int TRelatedForm::ShowRelated(const std::vector<TTextSegment*>& list, TTextSegment*& segment) {
  for (TTextSegment* item : list) {
    auto* row = new TItemRow;
    row->setData(kItemRole, QVariant::fromValue(reinterpret_cast<quintptr>(static_cast<TStreamable*>(item))));
    List->addItem(row);
  }
  Ok->setEnabled(false);
  const int result = exec() == kOk ? kOk : kCancel;
  ChosenRow = result == kOk ? List->currentRow() : -1;
  if (result == kOk && List->currentItem() != nullptr)
    segment = dynamic_cast<TTextSegment*>(reinterpret_cast<TStreamable*>(List->currentItem()->data(kItemRole).value<quintptr>()));
  List->clear();
  Ok->setEnabled(false);
  return result;
}

int TRelatedForm::ChooseOne(const std::vector<TTextSegment*>& list) {
  TTextSegment* chosen = nullptr;
  if (ShowRelated(list, chosen) != kOk || chosen == nullptr) return -1;
  return ChosenRow;
}

}  // namespace hv
