#pragma once
// Open-addressing hash collections of pointer-sized values, used for identity lookups.
#include <cstdint>
#include <memory>
#include <vector>

namespace hv {

using TElement = std::uintptr_t;  // 0 stands for "none"

// Walks a collection; Next answers 0 at the end.
class TIterator {
public:
  virtual ~TIterator() = default;
  virtual TElement Next() = 0;
};

class TAbstractCollection {
public:
  virtual ~TAbstractCollection() = default;
  virtual std::unique_ptr<TIterator> CreateIterator() const = 0;
};

// Linear-probing hash set with a fixed load factor of 0.7; it never owns its elements.
class TSet : public TAbstractCollection {
public:
  using THashFn = std::size_t (*)(TElement);
  using TCompareFn = std::intptr_t (*)(TElement stored, TElement probe);

  explicit TSet(int n = 0);
  ~TSet() override = default;
  TSet(const TSet&) = delete;
  TSet& operator=(const TSet&) = delete;

  std::unique_ptr<TIterator> CreateIterator() const override;
  int MaxLoad() const;
  void SetCapacity(int n);
  void SetFunctions(THashFn hash, TCompareFn compare);
  virtual TElement Add(TElement e);
  virtual TElement Remove(TElement e);
  virtual TElement Find(TElement e) const;
  virtual void Clear();

  int Capacity() const { return static_cast<int>(Slots.size()); }
  int Count() const { return ElementCount; }
  bool Contains(TElement e) const { return Find(e) != 0; }

  template <class T>
  TElement Add(T* p) { return Add(reinterpret_cast<TElement>(p)); }
  template <class T>
  bool Contains(const T* p) const { return Contains(reinterpret_cast<TElement>(p)); }

protected:
  void Allocate(int n, int minCapacity = 1);
  // The slot holding e or where it would go; Capacity() when e is absent and no slot is free.
  std::size_t FindSlot(TElement e) const;
  TElement SlotAt(std::size_t i) const { return Slots[i]; }

private:
  friend class TSetIterator;
  std::vector<TElement> Slots;
  int ElementCount = 0;
  THashFn Hash;
  TCompareFn Compare;
};

class TSetIterator : public TIterator {
public:
  explicit TSetIterator(const TSet& set) : Set(set) {}
  TElement Next() override;

protected:
  const TSet& Set;
  std::size_t Position = 0;
};

// Maps pointer-sized keys to pointer-sized values; a stored 0 reads like an absent key.
class TDictionary : public TSet {
public:
  explicit TDictionary(int n = 0);
  ~TDictionary() override;

  std::unique_ptr<TIterator> CreateIterator() const override;
  TElement Put(TElement key, TElement value);
  TElement Remove(TElement key) override;
  TElement Get(TElement key) const;
  TElement Find(TElement key) const override { return Get(key); }
  void Clear() override;

  struct TEntry {
    TElement Key;
    TElement Value;
  };

private:
  using TSet::Add;
};

class TDictionaryIterator : public TSetIterator {
public:
  using TSetIterator::TSetIterator;
  TElement Next() override;
};

}  // namespace hv
