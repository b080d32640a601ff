#include "LibraryDump.h"

#include <algorithm>
#include <nlohmann/json.hpp>
#include <unordered_map>
#include <vector>

#include "Cp1252.h"
#include "model/Categories.h"
#include "model/Library.h"
#include "model/Segments.h"
#include "model/TextStore.h"

namespace hv::hvlib {

namespace {

using TJson = nlohmann::ordered_json;

std::string U(std::string_view cp1252) { return Cp1252ToUtf8(cp1252); }

std::string Quoted(std::string_view cp1252) {
  std::string quoted = "\"";
  quoted += U(cp1252);
  quoted += '"';
  return quoted;
}

const char* KindName(const TTextSegment& segment) {
  switch (segment.TypeLetter()) {
    case 'Q': return "question";
    case 'M': return "markScheme";
    case 'E': return "report";
    case 'N': return "note";
    case 'S': return "syllabus";
    case 'R': return "resource";
    default: return "text";
  }
}

struct TTextInfo {
  bool Present = false;
  std::size_t Bytes = 0;
  std::string Error;
};

TTextInfo MeasureText(TTextSegment& segment) {
  TTextInfo info;
  if (segment.Chunk == nullptr) return info;
  info.Present = true;
  try {
    for (const std::string& line : segment.Chunk->GetLines()) info.Bytes += line.size();
    segment.Chunk->ReleaseLines();
  } catch (const std::exception& e) {
    info.Error = e.what();
  }
  return info;
}

struct TTree {
  const char* Label;
  const char* Key;
  TCategory* Root;
};

std::vector<TTree> CategoryTrees(const TLibrary& library) {
  return {{"Topics", "topics", library.Topics},
          {"Question types", "questionTypes", library.QuestionTypes},
          {"Levels", "levels", library.Levels},
          {"Papers", "papers", library.Papers}};
}

std::vector<TTree> IdentityTrees(const TLibrary& library) {
  return {{"Questions", "questions", library.QuestionTree},
          {"Syllabus", "syllabus", library.SyllabusTree},
          {"Resources", "resources", library.ResourceTree}};
}

std::string SegmentLetters(const TIdentityCategory& node) {
  std::string letters;
  for (const TTextSegment* segment : node.Segments()) letters += segment->TypeLetter();
  return letters;
}

template <class TVisit>
void WalkIdentities(const TLibrary& library, TVisit visit) {
  for (const TTree& tree : IdentityTrees(library)) {
    TCategoryIterator it(tree.Root);
    while (TCategory* node = it.Next()) visit(*static_cast<TIdentityCategory*>(node));
  }
}

// Walks the nodes below root in pre-order on an explicit stack, however deep a damaged file nests
// them: enter(node, depth) on the way down (1 for the root's children), leave(node, depth) once
// all of a node's children are done.
template <class TEnter, class TLeave>
void WalkBelow(const TCategory* root, TEnter enter, TLeave leave) {
  std::vector<std::pair<const TCategory*, std::size_t>> stack{{root, 0}};
  while (!stack.empty()) {
    const TCategory* node = stack.back().first;
    const std::size_t next = stack.back().second;
    if (next == node->Children.size()) {
      stack.pop_back();
      if (!stack.empty()) leave(*node, static_cast<int>(stack.size()));
      continue;
    }
    ++stack.back().second;
    const TCategory* child = node->Children[next];
    enter(*child, static_cast<int>(stack.size()));
    stack.emplace_back(child, 0);
  }
}

// Real IDs and paths are a few dozen characters; a damaged file can nest nodes so deeply that
// printing each one whole would make the output grow with the square of the depth. Longer ones
// are shown by their two ends.
constexpr std::size_t kShownName = 120;
constexpr std::size_t kShownEnd = 56;

std::string Shortened(const std::string& cp1252) {
  if (cp1252.size() <= kShownName) return cp1252;
  return cp1252.substr(0, kShownEnd) + "..." + cp1252.substr(cp1252.size() - kShownEnd);
}

// Indentation stops growing here, for the same reason.
constexpr int kIndentedLevels = 16;

std::string Indent(int depth) { return std::string(2 * static_cast<std::size_t>(std::min(depth, kIndentedLevels)), ' '); }

// The IDs and paths of every node, worked out in one walk per tree with the path so far kept
// as the walk goes, instead of climbing to the root from every node.
class TNames {
public:
  explicit TNames(const TLibrary& library) : Library(library) {
    for (const TTree& tree : CategoryTrees(library)) Add(tree.Root, '\0', "/", [](const TCategory& n) { return n.Name; });
    const char letters[] = {'Q', 'S', 'R'};
    std::size_t i = 0;
    for (const TTree& tree : IdentityTrees(library))
      Add(tree.Root, letters[i++], "",
          [](const TCategory& n) { return static_cast<const TIdentityCategory&>(n).Code; });
  }

  // What CategoryPath and FullID answer, shortened when very long.
  const std::string& Path(const TCategory* node) const { return Find(node).Text; }
  std::string Ref(const TIdentityCategory* node) const {
    const auto found = Names.find(node);
    if (found == Names.end()) return Shortened(IdentityRef(Library, node));  // outside the trees
    return found->second.Letter + found->second.Text;
  }
  std::string SegmentID(const TTextSegment& segment) const {
    if (segment.Identity == nullptr) return {};
    return segment.TypeLetter() + Path(segment.Identity);
  }

private:
  struct TName {
    char Letter;
    std::string Text;
  };

  template <class TPart>
  void Add(const TCategory* root, char letter, const char* separator, TPart part) {
    std::string path;
    std::vector<std::size_t> lengths{0};  // the path's length at each depth
    WalkBelow(
        root,
        [&](const TCategory& node, int depth) {
          path.resize(lengths[static_cast<std::size_t>(depth) - 1]);
          if (depth > 1) path += separator;
          path += part(node);
          lengths.resize(static_cast<std::size_t>(depth) + 1);
          lengths.back() = path.size();
          Names.emplace(&node, TName{letter, Shortened(path)});
        },
        [](const TCategory&, int) {});
  }

  const TName& Find(const TCategory* node) const {
    const auto found = Names.find(node);
    if (found != Names.end()) return found->second;
    const TName outside{'?', Shortened(dynamic_cast<const TIdentityCategory*>(node) != nullptr
                                           ? FullID(static_cast<const TIdentityCategory*>(node))
                                           : CategoryPath(node))};
    return Names.emplace(node, outside).first->second;
  }

  const TLibrary& Library;
  mutable std::unordered_map<const TCategory*, TName> Names;
};

// Writes JSON as it goes, laid out like nlohmann's dump(2) down to kLaidOutLevels of nesting and
// compactly below that, so a tree nested any depth is written without recursion and in space
// that grows with its size.
class TJsonWriter {
public:
  explicit TJsonWriter(std::ostream& out) : Out(out) {}

  void BeginObject() { Open('{', true); }
  void EndObject() { Close('}'); }
  void BeginArray() { Open('[', false); }
  void EndArray() { Close(']'); }
  void Key(const std::string& utf8) {
    Item();
    Out << TJson(utf8).dump() << ": ";
    AfterKey = true;
  }
  // A value of any kind; arrays and objects in it are written whole, so keep them shallow.
  void Value(const TJson& value) {
    Item();
    if (Deep()) {
      Out << value.dump();
      return;
    }
    std::string text = value.dump(2);
    if (value.is_structured()) {
      const std::string newline = "\n" + Spaces();
      for (std::size_t at = 0; (at = text.find('\n', at)) != std::string::npos; at += newline.size())
        text.replace(at, 1, newline);
    }
    Out << text;
  }
  void Field(const std::string& key, const TJson& value) {
    Key(key);
    Value(value);
  }
  void End() { Out << "\n"; }

private:
  struct TLevel {
    bool Object;
    std::size_t Items;
  };

  static constexpr std::size_t kLaidOutLevels = 32;

  bool Deep() const { return Levels.size() > kLaidOutLevels; }
  std::string Spaces() const { return std::string(2 * Levels.size(), ' '); }

  // Starts an item of the enclosing array or object: the comma and the line it starts on.
  void Item() {
    if (AfterKey) {
      AfterKey = false;
      return;
    }
    if (Levels.empty()) return;
    if (Levels.back().Items++ > 0) Out << ',';
    if (!Deep()) Out << '\n' << Spaces();
  }

  void Open(char bracket, bool object) {
    Item();
    Out << bracket;
    Levels.push_back({object, 0});
  }

  void Close(char bracket) {
    const TLevel level = Levels.back();
    const bool deep = Deep();
    Levels.pop_back();
    if (level.Items > 0 && !deep) Out << '\n' << Spaces();
    Out << bracket;
  }

  std::ostream& Out;
  std::vector<TLevel> Levels;
  bool AfterKey = false;
};

// A classification tree: each node's name, and its children when it has any.
void WriteCategoryTree(TJsonWriter& json, const TCategory& root) {
  auto open = [&](const TCategory& node) {
    json.BeginObject();
    json.Field("name", U(node.Name));
    if (!node.Children.empty()) {
      json.Key("children");
      json.BeginArray();
    }
  };
  auto close = [&](const TCategory& node) {
    if (!node.Children.empty()) json.EndArray();
    json.EndObject();
  };
  open(root);
  WalkBelow(&root, [&](const TCategory& node, int) { open(node); }, [&](const TCategory& node, int) { close(node); });
  close(root);
}

// An identity tree: the root's name and children, each child with its code, ID, name, title,
// texts, related items and children.
void WriteIdentityTree(TJsonWriter& json, const TCategory& root, const TNames& names) {
  json.BeginObject();
  json.Field("name", U(root.Name));
  json.Key("children");
  json.BeginArray();
  WalkBelow(
      &root,
      [&](const TCategory& category, int) {
        const auto& node = static_cast<const TIdentityCategory&>(category);
        json.BeginObject();
        json.Field("code", U(node.Code));
        json.Field("id", U(names.Path(&node)));
        json.Field("name", U(node.Name));
        json.Field("title", U(node.Title));
        json.Field("texts", SegmentLetters(node));
        if (!node.Related.empty()) {
          TJson related = TJson::array();
          for (const TIdentityCategory* other : node.Related) related.push_back(U(names.Ref(other)));
          json.Field("related", related);
        }
        if (!node.Children.empty()) {
          json.Key("children");
          json.BeginArray();
        }
      },
      [&](const TCategory& node, int) {
        if (!node.Children.empty()) json.EndArray();
        json.EndObject();
      });
  json.EndArray();
  json.EndObject();
}

}  // namespace

std::string CategoryPath(const TCategory* node) {
  std::vector<const TCategory*> path;
  for (const TCategory* n = node; n != nullptr && n->Parent != nullptr; n = n->Parent) path.push_back(n);
  std::string out;
  for (auto it = path.rbegin(); it != path.rend(); ++it) {
    if (!out.empty()) out += '/';
    out += (*it)->Name;
  }
  return out;
}

std::string IdentityRef(const TLibrary& library, const TIdentityCategory* node) {
  const TCategory* root = TreeRoot(node);
  const char letter = root == library.QuestionTree   ? 'Q'
                      : root == library.SyllabusTree ? 'S'
                      : root == library.ResourceTree ? 'R'
                                                     : '?';
  return letter + FullID(node);
}

std::string SegmentRtf(TTextSegment& segment) {
  if (segment.Chunk == nullptr) return {};
  std::string rtf;
  for (const std::string& line : segment.Chunk->GetLines()) rtf += line;
  segment.Chunk->ReleaseLines();
  return rtf;
}

int DumpLibrary(const TLibrary& library, std::ostream& out, bool json) {
  int unreadable = 0;
  int texts = 0;
  WalkIdentities(library, [&](TIdentityCategory& node) { texts += static_cast<int>(node.Segments().size()); });
  const TNames names(library);
  auto path = [&](const TCategory* c) { return U(names.Path(c)); };
  auto ref = [&](const TIdentityCategory* r) { return U(names.Ref(r)); };

  if (json) {
    TJsonWriter j(out);
    j.BeginObject();
    j.Field("name", U(library.Name));
    j.Field("objects", library.ObjectCount());
    j.Field("segments", texts);
    j.Key("trees");
    j.BeginObject();
    for (const TTree& tree : CategoryTrees(library)) {
      j.Key(tree.Key);
      WriteCategoryTree(j, *tree.Root);
    }
    for (const TTree& tree : IdentityTrees(library)) {
      j.Key(tree.Key);
      WriteIdentityTree(j, *tree.Root, names);
    }
    j.EndObject();
    j.Key("segmentList");
    j.BeginArray();
    WalkIdentities(library, [&](TIdentityCategory& node) {
      for (TTextSegment* segment : node.Segments()) {
        TJson s;
        s["id"] = U(names.SegmentID(*segment));
        s["kind"] = KindName(*segment);
        s["title"] = U(segment->GetName());
        s["marks"] = segment->Marks;
        s["time"] = segment->Time;
        const TTextInfo text = MeasureText(*segment);
        if (!text.Error.empty()) {
          s["rtfError"] = text.Error;
          ++unreadable;
        } else if (text.Present) {
          s["rtfBytes"] = text.Bytes;
        }
        if (const auto* question = dynamic_cast<const TQuestion*>(segment)) {
          TJson topics = TJson::array(), papers = TJson::array(), resources = TJson::array();
          for (const TCategory* topic : question->Topics) topics.push_back(path(topic));
          for (const TCategory* paper : question->Papers) papers.push_back(path(paper));
          for (const TIdentityCategory* r : question->Resources) resources.push_back(ref(r));
          s["topics"] = std::move(topics);
          s["type"] = question->QuestionType != nullptr ? TJson(path(question->QuestionType)) : TJson();
          s["level"] = question->Level != nullptr ? TJson(path(question->Level)) : TJson();
          s["papers"] = std::move(papers);
          s["resources"] = std::move(resources);
        }
        TJson related = TJson::array();
        for (const TIdentityCategory* other : node.Related) related.push_back(ref(other));
        s["related"] = std::move(related);
        j.Value(s);
      }
    });
    j.EndArray();
    j.EndObject();
    j.End();
    return unreadable;
  }

  // A node's line: indented by its depth, with its level spelled out where the indentation stops.
  auto lineStart = [&](int depth) {
    out << Indent(depth);
    if (depth > kIndentedLevels) out << "(level " << depth << ") ";
  };
  out << "Library " << Quoted(library.Name) << ": " << library.ObjectCount() << " objects, " << texts << " segments\n";
  for (const TTree& tree : CategoryTrees(library)) {
    out << "\n" << tree.Label << " " << Quoted(tree.Root->Name) << "\n";
    WalkBelow(
        tree.Root,
        [&](const TCategory& node, int depth) {
          lineStart(depth);
          out << U(node.Name) << "\n";
        },
        [](const TCategory&, int) {});
  }
  for (const TTree& tree : IdentityTrees(library)) {
    out << "\n" << tree.Label << " " << Quoted(tree.Root->Name) << "\n";
    WalkBelow(
        tree.Root,
        [&](const TCategory& category, int depth) {
          const auto& node = static_cast<const TIdentityCategory&>(category);
          lineStart(depth);
          out << U(names.Path(&node)) << "  " << Quoted(node.Title);
          if (node.Name != node.Title) out << "  name " << Quoted(node.Name);
          if (const std::string letters = SegmentLetters(node); !letters.empty()) out << "  [" << letters << "]";
          const char* sep = "  related ";
          for (const TIdentityCategory* other : node.Related) {
            out << sep << ref(other);
            sep = ", ";
          }
          out << "\n";
        },
        [](const TCategory&, int) {});
  }
  out << "\nSegments\n";
  WalkIdentities(library, [&](TIdentityCategory& node) {
    for (TTextSegment* segment : node.Segments()) {
      out << "  " << U(names.SegmentID(*segment)) << "  " << KindName(*segment) << "  marks " << segment->Marks
          << "  time " << segment->Time << "  " << Quoted(segment->GetName());
      const TTextInfo text = MeasureText(*segment);
      if (!text.Error.empty()) {
        out << "  rtf unreadable: " << text.Error;
        ++unreadable;
      } else if (text.Present) {
        out << "  rtf " << text.Bytes << " bytes";
      } else {
        out << "  no rtf";
      }
      out << "\n";
      if (const auto* question = dynamic_cast<const TQuestion*>(segment)) {
        auto list = [&](const char* label, const auto& items, auto name) {
          if (items.empty()) return;
          out << "    " << label << ":";
          const char* sep = " ";
          for (const auto* item : items) {
            out << sep << name(item);
            sep = "; ";
          }
          out << "\n";
        };
        list("topics", question->Topics, path);
        if (question->QuestionType != nullptr) out << "    type: " << path(question->QuestionType) << "\n";
        if (question->Level != nullptr) out << "    level: " << path(question->Level) << "\n";
        list("papers", question->Papers, path);
        list("resources", question->Resources, ref);
      }
      if (!node.Related.empty()) {
        out << "    related:";
        const char* sep = " ";
        for (const TIdentityCategory* other : node.Related) {
          out << sep << ref(other);
          sep = "; ";
        }
        out << "\n";
      }
    }
  });
  return unreadable;
}

}  // namespace hv::hvlib
