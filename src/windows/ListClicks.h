#pragma once
// Telling the user's clicks in a list from the program's own changes to it.
#include <QAbstractItemView>
#include <QItemSelection>
#include <QMouseEvent>

#include <functional>

namespace hv {

// A list view that reports, through OnUserClick, every click on a row and every selection change
// the user makes (mouse or keyboard), but not the changes the program makes while Syncing is
// above zero. A press that starts a drag reports its selection change before the drag begins,
// so whoever the drag is dropped on finds the dragged rows selected in the application state.
template <class TBase>
class TClickList : public TBase {
public:
  using TBase::TBase;

  std::function<void()> OnUserClick;
  std::function<void()> OnStartDrag;
  int Syncing = 0;

protected:
  void selectionChanged(const QItemSelection& selected, const QItemSelection& deselected) override {
    TBase::selectionChanged(selected, deselected);
    if (Syncing > 0) return;
    if (Pressing)
      Dirty = true;
    else
      Report();
  }
  void mousePressEvent(QMouseEvent* event) override {
    Pressing = true;
    Dirty = false;
    TBase::mousePressEvent(event);
  }
  void mouseReleaseEvent(QMouseEvent* event) override {
    TBase::mouseReleaseEvent(event);
    const bool onRow = this->indexAt(event->position().toPoint()).isValid();
    const bool changed = Dirty;
    Pressing = false;
    Dirty = false;
    if (changed || onRow) Report();
  }
  void startDrag(Qt::DropActions) override {
    if (Dirty) {
      Dirty = false;
      Report();
    }
    Pressing = false;
    if (OnStartDrag) OnStartDrag();
  }

private:
  void Report() {
    if (OnUserClick) OnUserClick();
  }
  bool Pressing = false;
  bool Dirty = false;
};

// Counts nested program changes of a list for the length of a scope.
struct TSyncGuard {
  explicit TSyncGuard(int& counter) : Counter(counter) { ++Counter; }
  ~TSyncGuard() { --Counter; }
  TSyncGuard(const TSyncGuard&) = delete;
  TSyncGuard& operator=(const TSyncGuard&) = delete;
  int& Counter;
};

// Sets a flag for a scope, clearing it also when the scope is left by an exception.
struct TFlagGuard {
  explicit TFlagGuard(bool& flag) : Flag(flag) { Flag = true; }
  ~TFlagGuard() { Flag = false; }
  TFlagGuard(const TFlagGuard&) = delete;
  TFlagGuard& operator=(const TFlagGuard&) = delete;
  bool& Flag;
};

}  // namespace hv
