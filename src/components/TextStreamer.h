#pragma once
#include <string>

namespace hv {
class TTextChunk;
}
class TTXTextControl;

namespace hv {

// Moves a chunk's RTF into and out of a rich-text control.
class TTextStreamer {
public:
  explicit TTextStreamer(TTXTextControl& control) : Control(control) {}

  // Shows the chunk's first line in the control, inserted at the selection, so callers empty the
  // control first and release the chunk's lines afterwards. A chunk without lines raises the list
  // index error and leaves the control as it was.
  void LoadControl(TTextChunk& chunk);
  // Appends the control's whole content, as RTF, to the chunk's lines as one line.
  void SaveControl(TTextChunk& chunk);

  TTextChunk* CurrentChunk() const { return Current; }
  int LineIndex() const { return Line; }

private:
  TTXTextControl& Control;
  TTextChunk* Current = nullptr;
  int Line = 0;
};

}  // namespace hv
