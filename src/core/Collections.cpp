#include "core/Collections.h"

#include <cmath>

#include "core/Errors.h"

namespace hv {

namespace {

// Rounds halves to even, as the sizing rules require (287 slots for 201 elements).
int RoundEven(double v) { return static_cast<int>(std::nearbyint(v)); }

std::size_t IdentityHash(TElement e) { return e; }
std::intptr_t IdentityCompare(TElement a, TElement b) { return static_cast<std::intptr_t>(a - b); }

std::size_t KeyHash(TElement e) { return reinterpret_cast<const TDictionary::TEntry*>(e)->Key; }
std::intptr_t KeyCompare(TElement a, TElement b) {
  return static_cast<std::intptr_t>(reinterpret_cast<const TDictionary::TEntry*>(a)->Key -
                                    reinterpret_cast<const TDictionary::TEntry*>(b)->Key);
}

}  // namespace

TSet::TSet(int n) : Hash(IdentityHash), Compare(IdentityCompare) { Allocate(n); }

std::unique_ptr<TIterator> TSet::CreateIterator() const { return std::make_unique<TSetIterator>(*this); }

int TSet::MaxLoad() const { return RoundEven(Capacity() * 0.7); }

void TSet::Allocate(int n, int minCapacity) {
  int capacity = n > 0 ? RoundEven(n / 0.7) : 1;
  if (capacity < minCapacity) capacity = minCapacity;
  Slots.assign(static_cast<std::size_t>(capacity), 0);
  ElementCount = 0;
}

void TSet::SetCapacity(int n) {
  if (n < ElementCount) throw ERangeError("Set Capacity too small to hold existing elements.");
  std::vector<TElement> old;
  old.swap(Slots);
  // Growing from a full table must add at least one slot, or a one-slot set would never grow.
  Allocate(n, n >= static_cast<int>(old.size()) ? static_cast<int>(old.size()) + 1 : 1);
  for (TElement e : old)
    if (e != 0) Add(e);
}

std::size_t TSet::FindSlot(TElement e) const {
  // Growth from a small table can leave every slot taken (1 of 1, 2 of 2, ...), so the probe
  // stops after one round and answers Capacity (no slot) instead of circling forever.
  const std::size_t capacity = Slots.size();
  std::size_t h = Hash(e) % capacity;
  for (std::size_t probes = 0; Slots[h] != 0 && Compare(Slots[h], e) != 0; ++probes) {
    if (probes + 1 == capacity) return capacity;
    if (++h == capacity) h = 0;
  }
  return h;
}

void TSet::SetFunctions(THashFn hash, TCompareFn compare) {
  Clear();
  Hash = hash;
  Compare = compare;
}

TElement TSet::Add(TElement e) {
  // A full table always has reached MaxLoad, so after this FindSlot has a free slot to answer.
  if (ElementCount >= MaxLoad()) SetCapacity(Capacity());
  const std::size_t h = FindSlot(e);
  const TElement previous = Slots[h];
  if (previous == 0) ++ElementCount;
  Slots[h] = e;
  return previous;
}

TElement TSet::Remove(TElement e) {
  std::size_t h = FindSlot(e);
  if (h == Slots.size()) return 0;
  const TElement removed = Slots[h];
  if (removed == 0) return 0;
  Slots[h] = 0;
  --ElementCount;
  // Re-place the rest of the probe run so that nothing behind the hole becomes unreachable.
  const std::size_t capacity = Slots.size();
  for (std::size_t i = (h + 1) % capacity; Slots[i] != 0; i = (i + 1) % capacity) {
    const TElement moved = Slots[i];
    Slots[i] = 0;
    --ElementCount;
    Slots[FindSlot(moved)] = moved;
    ++ElementCount;
  }
  return removed;
}

TElement TSet::Find(TElement e) const {
  const std::size_t h = FindSlot(e);
  return h == Slots.size() ? 0 : Slots[h];
}

void TSet::Clear() {
  std::fill(Slots.begin(), Slots.end(), 0);
  ElementCount = 0;
}

TElement TSetIterator::Next() {
  const std::size_t capacity = static_cast<std::size_t>(Set.Capacity());
  while (Position < capacity) {
    const TElement e = Set.SlotAt(Position++);
    if (e != 0) return e;
  }
  return 0;
}

TDictionary::TDictionary(int n) : TSet(n) { SetFunctions(KeyHash, KeyCompare); }

TDictionary::~TDictionary() { Clear(); }

std::unique_ptr<TIterator> TDictionary::CreateIterator() const {
  return std::make_unique<TDictionaryIterator>(*this);
}

TElement TDictionary::Put(TElement key, TElement value) {
  TEntry probe{key, 0};
  const TElement found = TSet::Find(reinterpret_cast<TElement>(&probe));
  if (found != 0) {
    auto* entry = reinterpret_cast<TEntry*>(found);
    const TElement old = entry->Value;
    entry->Value = value;
    return old;
  }
  TSet::Add(reinterpret_cast<TElement>(new TEntry{key, value}));
  return 0;
}

TElement TDictionary::Remove(TElement key) {
  TEntry probe{key, 0};
  const TElement found = TSet::Remove(reinterpret_cast<TElement>(&probe));
  if (found == 0) return 0;
  auto* entry = reinterpret_cast<TEntry*>(found);
  const TElement value = entry->Value;
  delete entry;
  return value;
}

TElement TDictionary::Get(TElement key) const {
  TEntry probe{key, 0};
  const TElement found = TSet::Find(reinterpret_cast<TElement>(&probe));
  return found != 0 ? reinterpret_cast<const TEntry*>(found)->Value : 0;
}

void TDictionary::Clear() {
  for (int i = 0; i < Capacity(); ++i) delete reinterpret_cast<TEntry*>(SlotAt(static_cast<std::size_t>(i)));
  TSet::Clear();
}

TElement TDictionaryIterator::Next() {
  const TElement e = TSetIterator::Next();
  return e != 0 ? reinterpret_cast<const TDictionary::TEntry*>(e)->Value : 0;
}

}  // namespace hv
