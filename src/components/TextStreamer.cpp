#include "TextStreamer.h"

#include "TextControl.h"
#include "core/Errors.h"
#include "model/TextStore.h"

namespace hv {

void TTextStreamer::LoadControl(TTextChunk& chunk) {
  Current = &chunk;
  Line = 0;
  const std::vector<std::string>& lines = chunk.GetLines();
  if (lines.empty()) throw EListError::Index(Line);
  Control.LoadFromString(lines.front(), TTXTextControl::FormatRtf, true);
}

void TTextStreamer::SaveControl(TTextChunk& chunk) {
  Current = &chunk;
  Line = 0;
  std::string rtf;
  Control.SaveToString(rtf, TTXTextControl::FormatRtf, true);
  chunk.GetLines().push_back(std::move(rtf));
}

}  // namespace hv
