#pragma once
// Dragging library items and document entries between the program's lists, and between two
// running copies of the program.
#include <QString>

#include <string>
#include <vector>

class QListWidget;
class QMimeData;
class QWidget;

namespace hv {

class TAppLogic;

// What a drag between lists carries: the key of the library the items come from and their typed
// IDs. Inside one copy of the program the drop takes the application's current selection (free
// texts and numbering included); a drop from another copy has only this data to go by.
inline constexpr const char* kItemsMimeType = "application/x-harrowvane-items";

struct TDraggedItems {
  std::string LibraryKey;
  // Typed IDs of the library items dragged; free texts, which exist only in their document, are
  // not carried.
  std::vector<std::string> Ids;
};

// The drag data for the application's current selection.
QMimeData* NewItemData(const TAppLogic& app);
// Reads what NewItemData wrote; nothing usable (not ours, damaged) gives an empty key.
TDraggedItems ReadItemData(const QMimeData* data);

// Starts a move drag of the list's selected rows, carrying the application's selection; the list
// is the drag's source.
void StartItemDrag(QListWidget* list, const TAppLogic& app);
// Whether a drop event carries our items.
bool IsItemDrag(const QMimeData* data);

}  // namespace hv
