#include "model/Categories.h"

#include <algorithm>
#include <typeinfo>
#include <unordered_set>

#include "model/Segments.h"

namespace hv {

namespace {

template <class T>
void EraseOne(std::vector<T*>& list, const T* item) {
  const auto it = std::find(list.begin(), list.end(), item);
  if (it != list.end()) list.erase(it);
}

}  // namespace

TCategory::~TCategory() {
  // Frees the subtree without recursion, so a very deep tree cannot exhaust the stack.
  std::vector<TCategory*> pending;
  pending.swap(Children);
  while (!pending.empty()) {
    TCategory* node = pending.back();
    pending.pop_back();
    pending.insert(pending.end(), node->Children.begin(), node->Children.end());
    node->Children.clear();
    delete node;
  }
}

void TCategory::SetName(std::string_view name) { Name = std::string(name.substr(0, kMaxCategoryName)); }

void TCategory::SetParent(TCategory* newParent) {
  if (newParent == Parent) return;
  if (Parent != nullptr) EraseOne(Parent->Children, this);
  Parent = newParent;
  if (Parent != nullptr) Parent->Children.push_back(this);
}

int TCategory::Depth() const {
  int depth = 0;
  for (const TCategory* p = Parent; p != nullptr; p = p->Parent) ++depth;
  return depth;
}

std::unique_ptr<TCategoryIterator> TCategory::CreateIterator() { return std::make_unique<TCategoryIterator>(this); }

std::unique_ptr<TCategoryLister> TCategory::CreateLister() { return std::make_unique<TCategoryLister>(this); }

std::vector<std::unique_ptr<TCategory>> TCategory::Unlink() {
  // Reverse pre-order is exactly "children last to first, each unlinked in turn, then the node".
  std::vector<TCategory*> order;
  TCategoryIterator it(this);
  while (TCategory* node = it.Next()) order.push_back(node);
  std::vector<std::unique_ptr<TCategory>> released;
  for (auto node = order.rbegin(); node != order.rend(); ++node) {
    (*node)->UnlinkNode();
    const bool wasOwned = (*node)->Parent != nullptr;
    (*node)->SetParent(nullptr);
    if (wasOwned) released.emplace_back(*node);
  }
  return released;
}

TCategory* TCategory::CreateChild() {
  auto* child = new TCategory;
  child->SetParent(this);
  return child;
}

TCategory* TCategory::Root() {
  TCategory* node = this;
  while (node->Parent != nullptr) node = node->Parent;
  return node;
}

const TCategory* TreeRoot(const TCategory* node) {
  while (node != nullptr && node->Parent != nullptr) node = node->Parent;
  return node;
}

void TCategory::ReadFrom(TNetReader& reader) {
  Parent = reader.ReadRef<TCategory>();
  Name = reader.ReadString(kMaxCategoryName);
  reader.ReadRefList(Children, true);
}

void TCategory::WriteTo(TNetWriter& writer) const {
  writer.WriteReference(Parent);
  writer.WriteString(Name);
  writer.WriteReferenceList(Children);
}

int TCategory::ObjectCount() const {
  // Walks the subtree without recursion, like the destructor: a file can nest nodes very deeply.
  int n = 0;
  std::vector<const TCategory*> pending{this};
  while (!pending.empty()) {
    const TCategory* node = pending.back();
    pending.pop_back();
    n += node->NodeObjectCount();
    pending.insert(pending.end(), node->Children.begin(), node->Children.end());
  }
  return n;
}

void TCategory::CheckLinks(TNetReader& reader) {
  // The list that owns a child decides where it hangs; a parent link naming another node would
  // make SetParent and Depth disagree with the tree.
  for (TCategory* child : Children) {
    if (child->Parent == this) continue;
    reader.Warn("a child naming another parent put back under the node that lists it");
    child->Parent = this;
  }
}

// ---- identity nodes

TIdentityCategory::~TIdentityCategory() {
  for (TTextSegment* segment : Segments()) {
    segment->Identity = nullptr;
    delete segment;
  }
}

void TIdentityCategory::SetCode(std::string_view code) { Code = std::string(code.substr(0, kMaxCode)); }

void TIdentityCategory::SetTitle(std::string_view title) { Title = std::string(title.substr(0, kMaxTitle)); }

TCategory* TIdentityCategory::CreateChild() {
  auto* child = new TIdentityCategory;
  child->SetParent(this);
  return child;
}

namespace {
template <class T>
T* AddSegment(T*& slot, TIdentityCategory* node) {
  if (slot == nullptr) {
    slot = new T;
    slot->Identity = node;
  }
  return slot;
}
}  // namespace

TQuestion* TIdentityCategory::AddQuestion() { return AddSegment(Question, this); }
TSyllabus* TIdentityCategory::AddSyllabus() { return AddSegment(Syllabus, this); }
TExaminersReport* TIdentityCategory::AddExaminersReport() { return AddSegment(ExaminersReport, this); }
TMarkScheme* TIdentityCategory::AddMarkScheme() { return AddSegment(MarkScheme, this); }
TNote* TIdentityCategory::AddNote() { return AddSegment(Note, this); }
TResource* TIdentityCategory::AddResource() { return AddSegment(Resource, this); }

std::vector<TTextSegment*> TIdentityCategory::Segments() const {
  std::vector<TTextSegment*> present;
  for (TTextSegment* s : {static_cast<TTextSegment*>(Question), static_cast<TTextSegment*>(Syllabus),
                          static_cast<TTextSegment*>(ExaminersReport), static_cast<TTextSegment*>(MarkScheme),
                          static_cast<TTextSegment*>(Note), static_cast<TTextSegment*>(Resource)})
    if (s != nullptr) present.push_back(s);
  return present;
}

void TIdentityCategory::ClearSlot(const TTextSegment* segment) {
  if (Question == segment) Question = nullptr;
  if (Syllabus == segment) Syllabus = nullptr;
  if (ExaminersReport == segment) ExaminersReport = nullptr;
  if (MarkScheme == segment) MarkScheme = nullptr;
  if (Note == segment) Note = nullptr;
  if (Resource == segment) Resource = nullptr;
}

void TIdentityCategory::UnlinkNode() {
  for (TTextSegment* segment : Segments()) segment->Delete();
  // Taken out first: a damaged file can relate a node to itself, and erasing from the list being
  // walked would skip partners and leave them pointing at this node.
  std::vector<TIdentityCategory*> partners;
  partners.swap(Related);
  for (TIdentityCategory* other : partners)
    if (other != this) std::erase(other->Related, this);
}

void TIdentityCategory::ReadFrom(TNetReader& reader) {
  TCategory::ReadFrom(reader);
  Code = reader.ReadString(kMaxCode);
  Title = reader.ReadString(kMaxTitle);
  Question = reader.ReadOwned<TQuestion>();
  Syllabus = reader.ReadOwned<TSyllabus>();
  ExaminersReport = reader.ReadOwned<TExaminersReport>();
  MarkScheme = reader.ReadOwned<TMarkScheme>();
  Note = reader.ReadOwned<TNote>();
  if (reader.Version >= 9) {
    Resource = reader.ReadOwned<TResource>();
  } else {
    Resource = new TResource;
    Resource->Identity = this;
    reader.NoteCreated(Resource);
  }
  reader.ReadRefList(Related, false);
}

void TIdentityCategory::WriteTo(TNetWriter& writer) const {
  TCategory::WriteTo(writer);
  writer.WriteString(Code);
  writer.WriteString(Title);
  writer.WriteReference(Question);
  writer.WriteReference(Syllabus);
  writer.WriteReference(ExaminersReport);
  writer.WriteReference(MarkScheme);
  writer.WriteReference(Note);
  writer.WriteReference(Resource);
  writer.WriteReferenceList(Related);
}

int TIdentityCategory::NodeObjectCount() const {
  int n = 1;
  for (const TTextSegment* segment : Segments()) n += segment->ObjectCount();
  return n;
}

void TIdentityCategory::ForgetOwned() {
  TCategory::ForgetOwned();
  Question = nullptr;
  Syllabus = nullptr;
  ExaminersReport = nullptr;
  MarkScheme = nullptr;
  Note = nullptr;
  Resource = nullptr;
}

void TIdentityCategory::CheckLinks(TNetReader& reader) {
  TCategory::CheckLinks(reader);
  // IDs are spelled and looked up through identity nodes only; a plain node inside an identity
  // tree would give the items below it IDs that resolve to other items, so a test using them
  // could come back showing a different question. There is no safe way on.
  for (const TCategory* child : Children)
    if (dynamic_cast<const TIdentityCategory*>(child) == nullptr)
      throw EReadError(std::string(kInvalidPropertyValue) + ": a plain category inside an identity tree");
  for (TTextSegment* segment : Segments()) {
    if (segment->Identity == this) continue;
    reader.Warn("a text naming another item given back to the item that holds it");
    segment->Identity = this;
  }
}

void MendRelatedLinks(const std::vector<TCategory*>& roots, TNetReader& reader) {
  // One pass over every link, so a crafted list of any length costs time in proportion to it.
  struct TPairHash {
    std::size_t operator()(const std::pair<const void*, const void*>& p) const noexcept {
      const auto a = reinterpret_cast<std::uintptr_t>(p.first);
      const auto b = reinterpret_cast<std::uintptr_t>(p.second);
      return std::hash<std::uintptr_t>()(a * 0x9E3779B97F4A7C15ull ^ b);
    }
  };
  std::unordered_set<std::pair<const void*, const void*>, TPairHash> links;
  std::vector<TIdentityCategory*> nodes;
  for (TCategory* root : roots) {
    TCategoryIterator it(root);
    while (TCategory* node = it.Next()) {
      auto* identity = dynamic_cast<TIdentityCategory*>(node);
      if (identity == nullptr) continue;
      nodes.push_back(identity);
      for (const TIdentityCategory* other : identity->Related) links.emplace(identity, other);
    }
  }
  std::size_t mended = 0;
  for (TIdentityCategory* node : nodes) {
    const std::size_t count = node->Related.size();
    for (std::size_t i = 0; i < count; ++i) {
      TIdentityCategory* other = node->Related[i];
      if (links.emplace(other, node).second) {
        other->Related.push_back(node);
        ++mended;
      }
    }
  }
  // Links are kept symmetric; a one-sided link would survive Unlink as a dangling pointer.
  if (mended > 0) reader.Warn(std::to_string(mended) + " one-sided related links made two-sided");
}

// ---- walks and IDs

TCategory* TCategoryIterator::Next() {
  if (State == -1) {
    State = 0;
    if (SubtreeRoot != nullptr) Stack.emplace_back(SubtreeRoot, 0);
    return SubtreeRoot;
  }
  while (!Stack.empty()) {
    auto& [node, next] = Stack.back();
    if (next < node->Children.size()) {
      TCategory* child = node->Children[next++];
      Stack.emplace_back(child, 0);
      return child;
    }
    Stack.pop_back();
  }
  return nullptr;
}

std::string FullID(const TIdentityCategory* node) {
  std::vector<const TIdentityCategory*> path;
  for (const TCategory* n = node; n != nullptr; n = n->Parent) {
    const auto* identity = dynamic_cast<const TIdentityCategory*>(n);
    if (identity == nullptr) break;
    path.push_back(identity);
  }
  std::string id;
  for (auto it = path.rbegin(); it != path.rend(); ++it) {
    // A tree root's code is never part of an ID: lookups do not compare it, so a root that a
    // damaged file gave a code would otherwise spell IDs that never resolve.
    if ((*it)->Parent == nullptr) continue;
    id += (*it)->Code;
  }
  return id;
}

TIdentityCategory* FindByID(TIdentityCategory* root, std::string_view id) {
  // Depth-first prefix descent with backtracking, kept on an explicit stack.
  if (root == nullptr) return nullptr;
  struct TFrame {
    TIdentityCategory* Node;
    std::size_t Position;
    std::size_t NextChild;
  };
  std::vector<TFrame> stack{{root, 0, 0}};
  while (!stack.empty()) {
    TFrame& frame = stack.back();
    if (frame.Position >= id.size()) return frame.Node;
    if (frame.NextChild >= frame.Node->Children.size()) {
      stack.pop_back();
      continue;
    }
    // Most children are plain identity nodes: asking the exact type first spares the full cast,
    // and the first character settles most comparisons. A lookup scans whole levels of a large
    // tree, so these matter.
    TCategory* next = frame.Node->Children[frame.NextChild++];
    auto* child = typeid(*next) == typeid(TIdentityCategory) ? static_cast<TIdentityCategory*>(next)
                                                            : dynamic_cast<TIdentityCategory*>(next);
    if (child == nullptr) continue;
    const std::string& code = child->Code;
    const std::size_t left = id.size() - frame.Position;
    if (!code.empty() && (left < code.size() || code[0] != id[frame.Position])) continue;
    if (id.compare(frame.Position, code.size(), code) == 0)
      stack.push_back({child, frame.Position + code.size(), 0});
  }
  return nullptr;
}

}  // namespace hv
