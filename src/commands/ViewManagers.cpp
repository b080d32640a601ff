#include "commands/ViewManagers.h"

namespace hv {

void TViewManager::SetVisible(bool value) {
  if (value == IsVisible) return;
  IsVisible = value;
  Notify({ViewCode::ViewVisible});
}

void TViewManager::SetDocked(bool value) {
  IsDocked = value;
  Notify({ViewCode::ViewDocked});
}

void TTSListManager::ShowList(TSegmentClass segmentClass) {
  IsVisible = true;
  if (segmentClass == Class) {
    Notify({ViewCode::ViewVisible});
  } else {
    Class = segmentClass;
    Notify({ViewCode::ViewVisible, ViewCode::ListClass});
  }
}

}  // namespace hv
