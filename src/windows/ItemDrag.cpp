#include "windows/ItemDrag.h"

#include <QDrag>
#include <QListWidget>
#include <QMimeData>
#include <QPainter>

#include "logic/AppLogic.h"
#include "model/Categories.h"
#include "model/Document.h"
#include "model/Segments.h"
#include "windows/Drawing.h"

namespace hv {

namespace {

// The data's first line names the format, so a later layout can be told apart.
constexpr char kFormatLine[] = "harrowvane-items 1";

}  // namespace

QMimeData* NewItemData(const TAppLogic& app) {
  QByteArray bytes(kFormatLine);
  bytes += '\n';
  // Key and IDs are the library's own 8-bit text and never hold a line end.
  bytes += QByteArray::fromStdString(app.Subject());
  for (TStreamable* item : app.Selection()) {
    std::string id;
    if (auto* entry = dynamic_cast<TDocContent*>(item)) {
      if (!entry->OwnsSegment() && entry->Segment != nullptr) id = entry->Segment->GetID();
    } else if (auto* node = dynamic_cast<TIdentityCategory*>(item)) {
      id = "R" + FullID(node);
    } else if (auto* segment = dynamic_cast<TTextSegment*>(item); segment != nullptr && dynamic_cast<TText*>(segment) == nullptr) {
      id = segment->GetID();
    }
    if (id.empty()) continue;
    bytes += '\n';
    bytes += QByteArray::fromStdString(id);
  }
  auto* data = new QMimeData;
  data->setData(QLatin1String(kItemsMimeType), bytes);
  return data;
}

TDraggedItems ReadItemData(const QMimeData* data) {
  TDraggedItems items;
  if (!IsItemDrag(data)) return items;
  const QList<QByteArray> lines = data->data(QLatin1String(kItemsMimeType)).split('\n');
  if (lines.size() < 2 || lines[0] != kFormatLine || lines[1].isEmpty()) return items;
  items.LibraryKey = lines[1].toStdString();
  for (qsizetype i = 2; i < lines.size(); ++i)
    if (!lines[i].isEmpty()) items.Ids.push_back(lines[i].toStdString());
  return items;
}

void StartItemDrag(QListWidget* list, const TAppLogic& app) {
  if (list == nullptr || list->selectedItems().isEmpty()) return;
  auto* drag = new QDrag(list);
  drag->setMimeData(NewItemData(app));
  // The first selected row under the pointer, faded, shows what is being carried.
  const QListWidgetItem* item = list->selectedItems().first();
  const QRect rect = list->visualItemRect(item);
  if (!rect.isEmpty()) {
    QPixmap face = list->viewport()->grab(rect);
    QPixmap faded(face.size());
    faded.setDevicePixelRatio(face.devicePixelRatio());
    faded.fill(Qt::transparent);
    {
      QPainter p(&faded);
      p.setOpacity(0.7);
      p.drawPixmap(0, 0, face);
    }
    drag->setPixmap(faded);
    drag->setHotSpot(list->viewport()->mapFromGlobal(QCursor::pos()) - rect.topLeft());
  }
  drag->exec(Qt::MoveAction | Qt::CopyAction, Qt::MoveAction);
}

bool IsItemDrag(const QMimeData* data) { return data != nullptr && data->hasFormat(QLatin1String(kItemsMimeType)); }

}  // namespace hv
