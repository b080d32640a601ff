#pragma once
// The observable state of the three tool windows that commands show, hide and dock.
#include "core/Observer.h"

namespace hv {

// Notification codes of the view managers, a numbering of their own.
namespace ViewCode {
inline constexpr int ViewVisible = 1;  // Visible changed, or ShowList ran
inline constexpr int ViewDocked = 2;   // SetDocked ran
inline constexpr int ListClass = 3;    // the text list's segment class changed
}  // namespace ViewCode

// The kind of text a text list shows, named by the segment class's type letter.
enum class TSegmentClass : char {
  None = 0,
  Question = 'Q',
  Syllabus = 'S',
  Resource = 'R',
  ExaminersReport = 'E',
  MarkScheme = 'M',
  Note = 'N',
  Text = 'T'
};

// What a manager's commands ask of the tool window beyond showing and docking, which the window
// does by itself when its manager notifies. The windows implement it.
class IToolWindow {
public:
  virtual ~IToolWindow() = default;
  virtual void ShowNormal() = 0;     // restore a minimized window
  virtual void ShowMinimized() = 0;  // what closing the window does
};

// Holds whether a tool window is shown and whether it is docked into the main window; the
// window observes it and follows.
class TViewManager : public TObservable {
public:
  bool Visible() const { return IsVisible; }
  bool Docked() const { return IsDocked; }
  IToolWindow* Window() const { return ToolWindow; }
  // The window registers itself here when it is created and clears it when it goes.
  void SetWindow(IToolWindow* window) { ToolWindow = window; }

  virtual void SetVisible(bool value);
  // Notifies even when the value stays, so the window redoes its docking steps.
  virtual void SetDocked(bool value);
  virtual void ShowView() { SetVisible(true); }
  virtual void HideView() { SetVisible(false); }

protected:
  bool IsVisible = false;
  bool IsDocked = false;

private:
  IToolWindow* ToolWindow = nullptr;
};

// The text list's manager also chooses which kind of text the list shows.
class TTSListManager : public TViewManager {
public:
  TSegmentClass SegmentClass() const { return Class; }
  // Always sends ViewVisible, which gives an already shown list the focus; ListClass only when
  // the kind changes, so the list is not refilled for nothing.
  virtual void ShowList(TSegmentClass segmentClass);

private:
  TSegmentClass Class = TSegmentClass::None;
};

}  // namespace hv
