#pragma once
// The undo history of one open test document.
#include <cstddef>
#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "model/Document.h"

namespace hv {

// One change to a document that can take itself back and do itself again. A step holds exactly
// the entries it needs: while an entry is out of the document the step owns it, and while it is in
// the document the document does, so an entry always has one owner.
class TDocStep {
public:
  explicit TDocStep(std::string name) : Name(std::move(name)) {}
  virtual ~TDocStep() = default;
  TDocStep(const TDocStep&) = delete;
  TDocStep& operator=(const TDocStep&) = delete;

  const std::string Name;  // what the menu says after "Undo " and "Redo "

  virtual void Undo(TDocument& document) = 0;
  virtual void Redo(TDocument& document) = 0;
  // The entries the step changed that are in the document now.
  virtual std::vector<TDocContent*> Touched() const = 0;
  // Roughly the memory the step keeps alive, in bytes, whichever side of the document its entries
  // are on; it stays the same for the step's life.
  virtual std::size_t Cost() const = 0;
  // Every text chunk owned by entries the step holds outside the document.
  virtual void ForEachHeldChunk(const std::function<void(TTextChunk&)>&) {}
};

// Entries that entered (Inserted) or left (Removed) the document together, each at its index.
// Indices are ascending and refer to the document with all of them in place.
class TPlaceStep : public TDocStep {
public:
  enum class TKind { Inserted, Removed };
  // For Inserted the entries are in the document; for Removed they are taken out of it here.
  TPlaceStep(std::string name, TKind kind, TDocument& document, std::vector<std::pair<int, TDocContent*>> places);

  void Undo(TDocument& document) override;
  void Redo(TDocument& document) override;
  std::vector<TDocContent*> Touched() const override;
  std::size_t Cost() const override;
  void ForEachHeldChunk(const std::function<void(TTextChunk&)>& fn) override;

private:
  void TakeOut(TDocument& document);
  void PutBack(TDocument& document);

  TKind Kind;
  std::vector<std::pair<int, TDocContent*>> Places;
  std::vector<TEntryPtr> Held;  // parallel to Places while the entries are out of the document
  std::size_t Bytes = 0;
};

class TMoveStep : public TDocStep {
public:
  TMoveStep(std::string name, int from, int to, const TDocument& document);
  void Undo(TDocument& document) override;
  void Redo(TDocument& document) override;
  std::vector<TDocContent*> Touched() const override { return {Entry}; }
  std::size_t Cost() const override { return sizeof(*this); }

private:
  int From;
  int To;
  TDocContent* Entry;
};

class TToggleStep : public TDocStep {
public:
  TToggleStep(std::string name, int index, const TDocument& document);
  void Undo(TDocument& document) override { document.ToggleNumbered(Index); }
  void Redo(TDocument& document) override { document.ToggleNumbered(Index); }
  std::vector<TDocContent*> Touched() const override { return {Entry}; }
  std::size_t Cost() const override { return sizeof(*this); }

private:
  int Index;
  TDocContent* Entry;
};

// One entry exchanged for another at the same index; the one out of the document is held here.
class TSwapStep : public TDocStep {
public:
  TSwapStep(std::string name, int index, TEntryPtr replaced, const TDocument& document);
  void Undo(TDocument& document) override { Swap(document); }
  void Redo(TDocument& document) override { Swap(document); }
  std::vector<TDocContent*> Touched() const override { return {Current}; }
  std::size_t Cost() const override;
  void ForEachHeldChunk(const std::function<void(TTextChunk&)>& fn) override;

private:
  void Swap(TDocument& document);

  int Index;
  TEntryPtr Other;
  TDocContent* Current;
  std::size_t Bytes;
};

// Roughly the memory an entry keeps alive outside a document: the entry, and for an owned text the
// text with its title and the loaded lines of its chunk.
std::size_t EntryCost(const TDocContent& entry);

// A linear history: doing a new step drops the steps that were undone. It keeps the steps within
// a memory budget by dropping the oldest, and remembers which position matches the saved file, so
// undoing back to it makes the document unmodified again.
class TDocHistory {
public:
  static constexpr std::size_t kDefaultBudget = 50u << 20;
  std::size_t Budget = kDefaultBudget;

  void Push(std::unique_ptr<TDocStep> step);
  bool CanUndo() const { return Position > 0; }
  bool CanRedo() const { return Position < Steps.size(); }
  // The names of the steps Undo and Redo would take; empty when there is none.
  std::string UndoName() const;
  std::string RedoName() const;
  // Both answer the step just taken back or done again.
  const TDocStep& Undo(TDocument& document);
  const TDocStep& Redo(TDocument& document);

  // The document now matches its file; MarkUnreachable says no position does (a document that was
  // never saved, or whose saved state was dropped).
  void MarkClean() { Clean = static_cast<long>(Position); }
  void MarkUnreachable() { Clean = -1; }
  bool IsClean() const { return Clean == static_cast<long>(Position); }
  void Clear();

  std::size_t Count() const { return Steps.size(); }
  std::size_t Cost() const { return TotalCost; }
  void ForEachHeldChunk(const std::function<void(TTextChunk&)>& fn);

private:
  std::deque<std::unique_ptr<TDocStep>> Steps;
  std::size_t Position = 0;         // steps before it are done, from it on undone
  long Clean = 0;
  std::size_t TotalCost = 0;
};

}  // namespace hv
