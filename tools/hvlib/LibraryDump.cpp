#include "LibraryDump.h"

#include <nlohmann/json.hpp>
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

TJson CategoryJson(const TCategory& node) {
  TJson j;
  j["name"] = U(node.Name);
  if (!node.Children.empty()) {
    TJson children = TJson::array();
    for (const TCategory* child : node.Children) children.push_back(CategoryJson(*child));
    j["children"] = std::move(children);
  }
  return j;
}

TJson IdentityJson(const TLibrary& library, const TIdentityCategory& node) {
  TJson j;
  j["code"] = U(node.Code);
  j["id"] = U(FullID(&node));
  j["name"] = U(node.Name);
  j["title"] = U(node.Title);
  j["texts"] = SegmentLetters(node);
  if (!node.Related.empty()) {
    TJson related = TJson::array();
    for (const TIdentityCategory* other : node.Related) related.push_back(U(IdentityRef(library, other)));
    j["related"] = std::move(related);
  }
  if (!node.Children.empty()) {
    TJson children = TJson::array();
    for (const TCategory* child : node.Children)
      children.push_back(IdentityJson(library, *static_cast<const TIdentityCategory*>(child)));
    j["children"] = std::move(children);
  }
  return j;
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

  if (json) {
    TJson j;
    j["name"] = U(library.Name);
    j["objects"] = library.ObjectCount();
    j["segments"] = texts;
    TJson trees;
    for (const TTree& tree : CategoryTrees(library)) trees[tree.Key] = CategoryJson(*tree.Root);
    for (const TTree& tree : IdentityTrees(library)) {
      TJson root;
      root["name"] = U(tree.Root->Name);
      TJson children = TJson::array();
      for (const TCategory* child : tree.Root->Children)
        children.push_back(IdentityJson(library, *static_cast<const TIdentityCategory*>(child)));
      root["children"] = std::move(children);
      trees[tree.Key] = std::move(root);
    }
    j["trees"] = std::move(trees);
    TJson segments = TJson::array();
    WalkIdentities(library, [&](TIdentityCategory& node) {
      for (TTextSegment* segment : node.Segments()) {
        TJson s;
        s["id"] = U(segment->GetID());
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
          for (const TCategory* topic : question->Topics) topics.push_back(U(CategoryPath(topic)));
          for (const TCategory* paper : question->Papers) papers.push_back(U(CategoryPath(paper)));
          for (const TIdentityCategory* r : question->Resources) resources.push_back(U(IdentityRef(library, r)));
          s["topics"] = std::move(topics);
          s["type"] = question->QuestionType != nullptr ? TJson(U(CategoryPath(question->QuestionType))) : TJson();
          s["level"] = question->Level != nullptr ? TJson(U(CategoryPath(question->Level))) : TJson();
          s["papers"] = std::move(papers);
          s["resources"] = std::move(resources);
        }
        TJson related = TJson::array();
        for (const TIdentityCategory* other : node.Related) related.push_back(U(IdentityRef(library, other)));
        s["related"] = std::move(related);
        segments.push_back(std::move(s));
      }
    });
    j["segmentList"] = std::move(segments);
    out << j.dump(2) << "\n";
    return unreadable;
  }

  out << "Library " << Quoted(library.Name) << ": " << library.ObjectCount() << " objects, " << texts << " segments\n";
  for (const TTree& tree : CategoryTrees(library)) {
    out << "\n" << tree.Label << " " << Quoted(tree.Root->Name) << "\n";
    TCategoryIterator it(tree.Root);
    it.Next();
    while (TCategory* node = it.Next()) out << std::string(static_cast<std::size_t>(2 * node->Depth()), ' ') << U(node->Name) << "\n";
  }
  for (const TTree& tree : IdentityTrees(library)) {
    out << "\n" << tree.Label << " " << Quoted(tree.Root->Name) << "\n";
    TCategoryIterator it(tree.Root);
    it.Next();
    while (TCategory* category = it.Next()) {
      const auto& node = *static_cast<TIdentityCategory*>(category);
      out << std::string(static_cast<std::size_t>(2 * node.Depth()), ' ') << U(FullID(&node)) << "  "
          << Quoted(node.Title);
      if (node.Name != node.Title) out << "  name " << Quoted(node.Name);
      if (const std::string letters = SegmentLetters(node); !letters.empty()) out << "  [" << letters << "]";
      const char* sep = "  related ";
      for (const TIdentityCategory* other : node.Related) {
        out << sep << U(IdentityRef(library, other));
        sep = ", ";
      }
      out << "\n";
    }
  }
  out << "\nSegments\n";
  WalkIdentities(library, [&](TIdentityCategory& node) {
    for (TTextSegment* segment : node.Segments()) {
      out << "  " << U(segment->GetID()) << "  " << KindName(*segment) << "  marks " << segment->Marks << "  time "
          << segment->Time << "  " << Quoted(segment->GetName());
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
            out << sep << U(name(item));
            sep = "; ";
          }
          out << "\n";
        };
        list("topics", question->Topics, [](const TCategory* c) { return CategoryPath(c); });
        if (question->QuestionType != nullptr) out << "    type: " << U(CategoryPath(question->QuestionType)) << "\n";
        if (question->Level != nullptr) out << "    level: " << U(CategoryPath(question->Level)) << "\n";
        list("papers", question->Papers, [](const TCategory* c) { return CategoryPath(c); });
        list("resources", question->Resources, [&](const TIdentityCategory* r) { return IdentityRef(library, r); });
      }
      if (!node.Related.empty()) {
        out << "    related:";
        const char* sep = " ";
        for (const TIdentityCategory* other : node.Related) {
          out << sep << U(IdentityRef(library, other));
          sep = "; ";
        }
        out << "\n";
      }
    }
  });
  return unreadable;
}

}  // namespace hv::hvlib
