#pragma once
// How a dockable tool window follows its view manager: shown or hidden, docked or floating.
#include "commands/ViewManagers.h"
#include "core/Observer.h"

namespace hv {

// Calls the form's ShowWindowView/HideWindowView and DockWindow/UndockWindow for the view codes
// of a manager's notification, so the Question Finder and the Viewer react to it alike.
template <class TForm>
void FollowViewManager(TForm& form, const TViewManager& manager, const TNotificationSet& codes) {
  if (codes.Contains(ViewCode::ViewVisible)) {
    if (manager.Visible())
      form.ShowWindowView();
    else
      form.HideWindowView();
  }
  if (codes.Contains(ViewCode::ViewDocked)) {
    if (manager.Docked())
      form.DockWindow();
    else
      form.UndockWindow();
  }
}

}  // namespace hv
