#pragma once
// Dragging library items and document entries between the program's lists.
#include <QString>

class QListWidget;
class QMimeData;
class QWidget;

namespace hv {

// What a drag between lists carries. The dragged items are always the application's current
// selection, so the data itself only marks the drag as one of ours.
inline constexpr const char* kItemsMimeType = "application/x-harrowvane-items";

// Starts a move drag of the list's selected rows; the list is the drag's source.
void StartItemDrag(QListWidget* list);
// Whether a drop event carries our items.
bool IsItemDrag(const QMimeData* data);

}  // namespace hv
