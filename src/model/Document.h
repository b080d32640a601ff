#pragma once
// A test document: an ordered list of entries that show library texts or own free texts.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "core/ObjectStream.h"

namespace hv {

class TTextSegment;
class TText;
class TTextChunk;
class TPlaceholderSegment;

// Numbers are 16-bit in files; a test never numbers more entries than that.
inline constexpr int kMaxNumberedEntries = 32767;

// An entry that shows a library text; stored in documents by typed ID.
class TDocContent : public TStreamable {
public:
  static constexpr const char* StaticClassName = "TDocContent";
  const char* ClassName() const override { return StaticClassName; }

  TDocContent();
  TDocContent(TTextSegment* segment, bool numbered);
  ~TDocContent() override;

  bool Numbered = false;
  std::int16_t Number = 0;  // valid while Numbered
  TTextSegment* Segment = nullptr;
  // A library item the open library lacks: the entry owns the stand-in that Segment points at.
  std::unique_ptr<TPlaceholderSegment> Placeholder;
  // Why the free text of this entry could not be read; its text then only says so.
  std::string Damage;

  static std::unique_ptr<TDocContent> MakePlaceholder(std::string typedId, std::string caption, bool numbered);
  virtual std::unique_ptr<TDocContent> Clone() const;
  virtual bool OwnsSegment() const { return false; }
  // Missing from the library or damaged: shown, but never printed, exported or derived from.
  bool IsPlaceholder() const { return Placeholder != nullptr || !Damage.empty(); }

  void ReadFrom(TNetReader& reader) override;
  void WriteTo(TNetWriter& writer) const override;
};

// An entry that owns its free text (always a TText).
class TOwningDocContent : public TDocContent {
public:
  static constexpr const char* StaticClassName = "TOwningDocContent";
  const char* ClassName() const override { return StaticClassName; }

  TOwningDocContent() = default;
  TOwningDocContent(TText* text, bool numbered);
  ~TOwningDocContent() override;

  TText* Text() const;
  std::unique_ptr<TDocContent> Clone() const override;
  bool OwnsSegment() const override { return true; }

  void ReadFrom(TNetReader& reader) override;
  void WriteTo(TNetWriter& writer) const override;
  int ObjectCount() const override;
  void ForgetOwned() override { Segment = nullptr; }
};

// Frees an entry the way its class needs (an owning entry frees its text and chunk too).
struct TEntryDisposer {
  void operator()(TDocContent* entry) const { entry->Dispose(); }
};
// An entry held outside any document, for instance by an undo step.
using TEntryPtr = std::unique_ptr<TDocContent, TEntryDisposer>;

class TDocument : public TStreamable {
public:
  static constexpr const char* StaticClassName = "TDocument";
  const char* ClassName() const override { return StaticClassName; }

  TDocument() = default;
  ~TDocument() override;

  std::vector<TDocContent*> Entries;  // owned

  // Items are existing entries (cloned), library segments, or resource identity nodes. A free text
  // given on its own is copied: whatever holds it keeps it, so no text ever has two owners.
  void InsertEntries(const std::vector<TStreamable*>& items, int position);
  void RemoveEntries(const std::vector<TDocContent*>& entries);
  void MoveEntry(int from, int to);
  void ToggleNumbered(int index);
  // Puts a new owned text entry in place of the one at index and hands the old entry back whole,
  // so that it can be put back later.
  TEntryPtr ReplaceText(int index, std::string_view name, bool numbered, std::unique_ptr<TTextChunk> chunk,
                        std::int16_t time, std::int16_t marks);
  void InsertText(int position, std::string_view name, bool numbered, std::unique_ptr<TTextChunk> chunk,
                  std::int16_t time, std::int16_t marks);
  // Append one entry per question of source (its mark scheme or report, or a stub text), each
  // with the question's Numbered and Number.
  void AddMarkSchemes(const TDocument& source);
  void AddReports(const TDocument& source);
  void Renumber();
  // Takes the entry at index out without freeing it, and puts a held entry back at index; both
  // renumber. Together they let an entry leave and re-enter the list as the same object.
  TEntryPtr DetachAt(int index);
  void AttachAt(int index, TEntryPtr entry);

  int IndexOf(const TDocContent* entry) const;
  // Refuses, before anything changes, an edit that would number more than kMaxNumberedEntries.
  void CheckNumberingRoom(std::size_t added) const;
  int TotalMarks() const;
  int TotalTime() const;

  void ReadFrom(TNetReader& reader) override;
  void WriteTo(TNetWriter& writer) const override;
  int ObjectCount() const override;
  void ForgetOwned() override { Entries.clear(); }

private:
  void CheckIndex(int index) const;
  void InsertAt(int position, std::unique_ptr<TDocContent> entry);
  template <class TPick>
  void AddDerived(const TDocument& source, TPick pick, std::unique_ptr<TTextChunk> (*stub)());
};

}  // namespace hv
