#pragma once
// Classification trees (topics, question types, levels, papers) and identity trees (the items).
#include <memory>
#include <string>
#include <vector>

#include "core/ObjectStream.h"

namespace hv {

class TCategoryIterator;
class TCategoryLister;
class TTextSegment;
class TQuestion;
class TSyllabus;
class TExaminersReport;
class TMarkScheme;
class TNote;
class TResource;

inline constexpr std::size_t kMaxCategoryName = 40;
inline constexpr std::size_t kMaxCode = 6;
inline constexpr std::size_t kMaxTitle = 100;

// A node of a classification tree; owns its children.
class TCategory : public TStreamable {
public:
  static constexpr const char* StaticClassName = "TCategory";
  const char* ClassName() const override { return StaticClassName; }

  TCategory() = default;
  ~TCategory() override;

  TCategory* Parent = nullptr;
  std::string Name;                  // at most 40 characters
  std::vector<TCategory*> Children;  // owned, in display order

  void SetName(std::string_view name);
  virtual void SetParent(TCategory* newParent);
  virtual int Depth() const;
  std::unique_ptr<TCategoryIterator> CreateIterator();
  std::unique_ptr<TCategoryLister> CreateLister();
  // Detaches every node of the subtree from its parent (children last to first, then this node)
  // and hands the caller every node that nobody owns any more.
  std::vector<std::unique_ptr<TCategory>> Unlink();
  virtual TCategory* CreateChild();
  TCategory* Root();

  void ReadFrom(TNetReader& reader) override;
  void WriteTo(TNetWriter& writer) const override;
  int ObjectCount() const override;
  void ForgetOwned() override { Children.clear(); }
  void CheckLinks(TNetReader& reader) override;

protected:
  // The part of Unlink that concerns this node alone.
  virtual void UnlinkNode() {}
  // The objects this node contributes without its children: itself and what it owns.
  virtual int NodeObjectCount() const { return 1; }
};

// A node of an identity tree: an ID fragment, a title, up to six texts and cross-links.
class TIdentityCategory : public TCategory {
public:
  static constexpr const char* StaticClassName = "TIdentityCategory";
  const char* ClassName() const override { return StaticClassName; }

  TIdentityCategory() = default;
  ~TIdentityCategory() override;

  TQuestion* Question = nullptr;  // the six texts are owned
  TSyllabus* Syllabus = nullptr;
  TExaminersReport* ExaminersReport = nullptr;
  TMarkScheme* MarkScheme = nullptr;
  TNote* Note = nullptr;
  TResource* Resource = nullptr;
  std::string Code;   // at most 6 characters
  std::string Title;  // at most 100 characters
  std::vector<TIdentityCategory*> Related;  // not owned

  void SetCode(std::string_view code);
  void SetTitle(std::string_view title);
  TCategory* CreateChild() override;

  TQuestion* AddQuestion();
  TSyllabus* AddSyllabus();
  TExaminersReport* AddExaminersReport();
  TMarkScheme* AddMarkScheme();
  TNote* AddNote();
  TResource* AddResource();

  // The texts present, in slot order.
  std::vector<TTextSegment*> Segments() const;
  // Clears whichever slot holds the segment (used when a segment deletes itself).
  void ClearSlot(const TTextSegment* segment);

  void ReadFrom(TNetReader& reader) override;
  void WriteTo(TNetWriter& writer) const override;
  void ForgetOwned() override;
  void CheckLinks(TNetReader& reader) override;

protected:
  void UnlinkNode() override;
  int NodeObjectCount() const override;
};

// Pre-order walk over a subtree, children in list order; Next answers nullptr at the end.
class TCategoryIterator {
public:
  explicit TCategoryIterator(TCategory* root) : SubtreeRoot(root) {}
  TCategory* Next();

private:
  TCategory* SubtreeRoot;
  int State = -1;
  std::vector<std::pair<TCategory*, std::size_t>> Stack;  // node and its next child
};

// A subtree root with a start state; walked like the iterator.
class TCategoryLister {
public:
  explicit TCategoryLister(TCategory* root) : Iterator(root) {}
  TCategory* Next() { return Iterator.Next(); }

private:
  TCategoryIterator Iterator;
};

// Makes every related link of the identity nodes in the trees two-sided, warning once for those
// it had to add; time in proportion to the links, however long one list is.
void MendRelatedLinks(const std::vector<TCategory*>& roots, TNetReader& reader);

std::string FullID(const TIdentityCategory* node);
TIdentityCategory* FindByID(TIdentityCategory* root, std::string_view id);
// The topmost ancestor of a node.
const TCategory* TreeRoot(const TCategory* node);

}  // namespace hv
