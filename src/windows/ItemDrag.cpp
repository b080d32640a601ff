#include "windows/ItemDrag.h"

#include <QDrag>
#include <QListWidget>
#include <QMimeData>
#include <QPainter>

#include "windows/Drawing.h"

namespace hv {

void StartItemDrag(QListWidget* list) {
  if (list == nullptr || list->selectedItems().isEmpty()) return;
  auto* data = new QMimeData;
  data->setData(QLatin1String(kItemsMimeType), QByteArray());
  auto* drag = new QDrag(list);
  drag->setMimeData(data);
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
