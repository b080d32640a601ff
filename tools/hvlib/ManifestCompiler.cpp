#include "ManifestCompiler.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>
#include <nlohmann/json.hpp>
#include <set>
#include <sstream>
#include <unordered_map>

#include "Cp1252.h"
#include "model/Categories.h"
#include "model/Library.h"
#include "model/Segments.h"

namespace hv::hvlib {

namespace {

using TJson = nlohmann::ordered_json;
namespace fs = std::filesystem;

constexpr std::size_t kMaxKey = 40;

const char* const kCategoryTrees[] = {"topics", "questionTypes", "levels", "papers"};
const char* const kIdentityTrees[] = {"questions", "syllabus", "resources"};

struct TRootDefault {
  const char* Key;
  const char* Name;
};
constexpr TRootDefault kRootDefaults[] = {
    {"topics", "All topics"},       {"questionTypes", "All question types"}, {"levels", "All levels"},
    {"papers", "All papers"},       {"questions", "All questions"},          {"syllabus", "All syllabus statements"},
    {"resources", "All resources"}};

// The text slots of identity nodes, in the order their texts are written to the text file.
struct TSlot {
  const char* Key;
  char Tree;  // the identity tree that may hold it
  char Type;  // the typed ID letter of its segment
};
constexpr TSlot kSlots[] = {{"question", 'Q', 'Q'}, {"markScheme", 'Q', 'M'}, {"report", 'Q', 'E'},
                            {"note", 'Q', 'N'},     {"syllabus", 'S', 'S'},   {"resource", 'R', 'R'}};

std::string Quote(std::string_view s) { return "\"" + std::string(s) + "\""; }

std::string JsonTypeName(const TJson& value) { return value.type_name(); }

std::string ReadFileBytes(const fs::path& path, bool& ok) {
  std::error_code ec;
  ok = false;
  if (!fs::is_regular_file(path, ec)) return {};
  std::ifstream in(path, std::ios::binary);
  if (!in) return {};
  std::ostringstream bytes;
  bytes << in.rdbuf();
  ok = !in.bad();
  return bytes.str();
}

// The problem with an RTF text, or empty when it is a plausible RTF document: it starts with the
// RTF header and its groups balance and close at the end.
std::string RtfProblem(std::string_view rtf) {
  if (rtf.substr(0, 5) != "{\\rtf") return "is not RTF (it does not start with {\\rtf)";
  long depth = 0;
  for (std::size_t i = 0; i < rtf.size(); ++i) {
    const char c = rtf[i];
    if (c == '\\') {
      ++i;  // an escaped brace or backslash is text
    } else if (c == '{') {
      ++depth;
    } else if (c == '}') {
      if (--depth == 0) {
        if (rtf.find_first_not_of(" \t\r\n", i + 1) != std::string_view::npos)
          return "has text after the closing brace of the document";
        return {};
      }
    }
  }
  return "has unbalanced braces (the document group is not closed)";
}

class TCompiler {
public:
  TCompiler(const TJson& manifest, fs::path baseDir) : Manifest(manifest), BaseDir(std::move(baseDir)) {}

  // Reads the fields the output depends on before anything is built.
  void ReadHeader();
  std::unique_ptr<TLibrary> Compile(TLibraryWriter& writer);

  std::string Key;
  std::string Organisation;
  TSettings Settings;

private:
  struct TPendingNode {
    TIdentityCategory* Node;
    const TJson* Json;
    std::string Entry;
    char Tree;
  };

  [[noreturn]] static void Fail(const std::string& entry, const std::string& field, const std::string& problem) {
    throw EManifestError(entry + ": " + field + ": " + problem);
  }
  static void CheckKeys(const TJson& object, const std::string& entry, const std::set<std::string>& allowed,
                        const std::string& fieldPrefix = {});
  static std::string Convert(const std::string& utf8, const std::string& entry, const std::string& field);
  static std::string ShortString(const TJson& object, const char* field, const std::string& entry, std::size_t limit,
                                 bool required, const std::string& fieldPrefix = {});
  static std::int16_t Int16(const TJson& object, const char* field, const std::string& entry,
                            const std::string& fieldPrefix);
  static const TJson* Array(const TJson& object, const char* field, const std::string& entry,
                            const std::string& fieldPrefix = {});

  std::string RootName(const char* tree) const;
  void BuildCategories(const char* tree, TCategory* root);
  void BuildCategory(const TJson& json, TCategory* parent, const std::string& parentEntry, const std::string& parentPath,
                     std::size_t index, std::map<std::string, TCategory*>& paths);
  void BuildIdentities(const char* tree, char letter, TIdentityCategory* root);
  void BuildIdentity(const TJson& json, TIdentityCategory* parent, const std::string& parentEntry, std::size_t index,
                     char letter, std::unordered_map<std::string, std::string>& ids);
  void AddTexts(const TPendingNode& pending, TLibraryWriter& writer);
  void Classify(const TPendingNode& pending);
  void Relate(const TPendingNode& pending);
  TCategory* FindCategory(const char* tree, const TJson& path, const std::string& entry, const std::string& field);

  const TJson& Manifest;
  fs::path BaseDir;
  std::unique_ptr<TLibrary> Library;
  std::map<std::string, std::map<std::string, TCategory*>> CategoryPaths;  // tree -> "A/B" -> node
  std::vector<TPendingNode> Nodes;                                          // every identity, pre-order per tree
};

void TCompiler::CheckKeys(const TJson& object, const std::string& entry, const std::set<std::string>& allowed,
                          const std::string& fieldPrefix) {
  for (const auto& item : object.items())
    if (allowed.count(item.key()) == 0) Fail(entry, fieldPrefix + item.key(), "unknown field");
}

std::string TCompiler::Convert(const std::string& utf8, const std::string& entry, const std::string& field) {
  std::string bad;
  auto converted = Utf8ToCp1252(utf8, &bad);
  if (!converted) {
    if (bad.rfind("malformed", 0) == 0) Fail(entry, field, bad);
    Fail(entry, field, "the character " + Quote(bad) + " cannot be stored in Windows-1252 (in " + Quote(utf8) + ")");
  }
  return *converted;
}

std::string TCompiler::ShortString(const TJson& object, const char* field, const std::string& entry,
                                   std::size_t limit, bool required, const std::string& fieldPrefix) {
  const std::string fieldName = fieldPrefix + field;
  const auto it = object.find(field);
  if (it == object.end()) {
    if (required) Fail(entry, fieldName, "missing");
    return {};
  }
  if (!it->is_string()) Fail(entry, fieldName, "must be a string, not " + JsonTypeName(*it));
  const std::string& utf8 = it->get_ref<const std::string&>();
  if (required && utf8.empty()) Fail(entry, fieldName, "must not be empty");
  std::string value = Convert(utf8, entry, fieldName);
  if (value.size() > limit)
    Fail(entry, fieldName,
         Quote(utf8) + " is " + std::to_string(value.size()) + " characters long; at most " + std::to_string(limit) +
             " are allowed");
  return value;
}

std::int16_t TCompiler::Int16(const TJson& object, const char* field, const std::string& entry,
                              const std::string& fieldPrefix) {
  const auto it = object.find(field);
  if (it == object.end()) return 0;
  const std::string fieldName = fieldPrefix + field;
  if (!it->is_number_integer()) Fail(entry, fieldName, "must be a whole number, not " + it->dump());
  if (it->is_number_unsigned() ? it->get<std::uint64_t>() > 32767u
                               : (it->get<std::int64_t>() < -32768 || it->get<std::int64_t>() > 32767))
    Fail(entry, fieldName, it->dump() + " is outside the range -32768 to 32767");
  return static_cast<std::int16_t>(it->get<std::int64_t>());
}

const TJson* TCompiler::Array(const TJson& object, const char* field, const std::string& entry,
                              const std::string& fieldPrefix) {
  const auto it = object.find(field);
  if (it == object.end()) return nullptr;
  if (!it->is_array()) Fail(entry, fieldPrefix + field, "must be a list, not " + JsonTypeName(*it));
  return &*it;
}

void TCompiler::ReadHeader() {
  if (!Manifest.is_object()) Fail("library", "manifest", "must be a JSON object");
  std::set<std::string> allowed = {"name", "key", "organisation", "settings", "rootNames"};
  for (const char* tree : kCategoryTrees) allowed.insert(tree);
  for (const char* tree : kIdentityTrees) allowed.insert(tree);
  CheckKeys(Manifest, "library", allowed);

  Key = ShortString(Manifest, "key", "library", kMaxKey, true);
  for (char c : Key)
    if (!(std::isalnum(static_cast<unsigned char>(c)) || c == '_' || c == '-'))
      Fail("library", "key", Quote(Key) + " may hold only letters, digits, '_' and '-' (it names files and the ini section)");
  Organisation = ShortString(Manifest, "organisation", "library", 200, false);
  for (char c : Organisation)
    if (c == '\n' || c == '\r') Fail("library", "organisation", "must be one line");

  if (const auto it = Manifest.find("settings"); it != Manifest.end()) {
    if (!it->is_object()) Fail("library", "settings", "must be an object of ini keys, not " + JsonTypeName(*it));
    for (const auto& item : it->items()) {
      const std::string field = "settings." + item.key();
      const std::string key = Convert(item.key(), "library", field);
      if (key.empty() || key.find_first_of("=[];#\r\n") != std::string::npos || key.front() == ' ' || key.back() == ' ')
        Fail("library", field, "is not a usable ini key name");
      std::string lower = key;
      std::transform(lower.begin(), lower.end(), lower.begin(), [](unsigned char c) { return std::tolower(c); });
      if (lower == "textfilename" || lower == "libfilename" || lower == "organisationname")
        Fail("library", field, "is written by hvlib itself and cannot be set here");
      std::string value;
      if (item.value().is_string())
        value = Convert(item.value().get<std::string>(), "library", field);
      else if (item.value().is_boolean())
        value = item.value().get<bool>() ? "1" : "0";
      else if (item.value().is_number_integer())
        value = item.value().dump();
      else
        Fail("library", field, "must be a string, a whole number or true/false, not " + JsonTypeName(item.value()));
      if (value.find_first_of("\r\n") != std::string::npos) Fail("library", field, "must be one line");
      for (const auto& [k, v] : Settings) {
        std::string kl = k;
        std::transform(kl.begin(), kl.end(), kl.begin(), [](unsigned char c) { return std::tolower(c); });
        if (kl == lower) Fail("library", field, "is given twice (ini keys ignore letter case)");
      }
      Settings.emplace_back(key, value);
    }
  }
  if (const auto it = Manifest.find("rootNames"); it != Manifest.end()) {
    if (!it->is_object()) Fail("library", "rootNames", "must be an object, not " + JsonTypeName(*it));
    std::set<std::string> roots;
    for (const auto& d : kRootDefaults) roots.insert(d.Key);
    CheckKeys(*it, "library", roots, "rootNames.");
  }
}

std::string TCompiler::RootName(const char* tree) const {
  const auto it = Manifest.find("rootNames");
  if (it != Manifest.end() && it->contains(tree))
    return ShortString(*it, tree, "library", kMaxCategoryName, true, "rootNames.");
  for (const auto& d : kRootDefaults)
    if (std::string_view(d.Key) == tree) return d.Name;
  return {};
}

void TCompiler::BuildCategories(const char* tree, TCategory* root) {
  root->SetName(RootName(tree));
  auto& paths = CategoryPaths[tree];
  const TJson* list = Array(Manifest, tree, "library");
  if (list == nullptr) return;
  for (std::size_t i = 0; i < list->size(); ++i) BuildCategory((*list)[i], root, tree, "", i, paths);
}

void TCompiler::BuildCategory(const TJson& json, TCategory* parent, const std::string& parentEntry,
                              const std::string& parentPath, std::size_t index, std::map<std::string, TCategory*>& paths) {
  std::string entry = parentEntry + "/#" + std::to_string(index + 1);
  if (!json.is_object()) Fail(entry, "category", "must be an object with \"name\", not " + JsonTypeName(json));
  if (const auto it = json.find("name"); it != json.end() && it->is_string() && !it->get_ref<const std::string&>().empty())
    entry = parentEntry + "/" + it->get<std::string>();
  std::string name = ShortString(json, "name", entry, kMaxCategoryName, true);
  const std::string& sourceName = json["name"].get_ref<const std::string&>();
  if (sourceName.find('/') != std::string::npos)
    Fail(entry, "name", Quote(sourceName) + " contains '/', which separates the names of a category path");
  CheckKeys(json, entry, {"name", "children"});
  const std::string path = parentPath.empty() ? sourceName : parentPath + "/" + sourceName;
  if (paths.count(path) != 0) Fail(entry, "name", Quote(sourceName) + " is used twice among its sisters");
  TCategory* node = parent->CreateChild();
  node->Name = std::move(name);
  paths[path] = node;
  if (const TJson* children = Array(json, "children", entry))
    for (std::size_t i = 0; i < children->size(); ++i) BuildCategory((*children)[i], node, entry, path, i, paths);
}

void TCompiler::BuildIdentities(const char* tree, char letter, TIdentityCategory* root) {
  root->SetName(RootName(tree));
  std::unordered_map<std::string, std::string> ids;  // FullID -> entry that has it
  const TJson* list = Array(Manifest, tree, "library");
  if (list == nullptr) return;
  for (std::size_t i = 0; i < list->size(); ++i) BuildIdentity((*list)[i], root, tree, i, letter, ids);
}

void TCompiler::BuildIdentity(const TJson& json, TIdentityCategory* parent, const std::string& parentEntry,
                              std::size_t index, char letter, std::unordered_map<std::string, std::string>& ids) {
  std::string entry = parentEntry + "/#" + std::to_string(index + 1);
  if (!json.is_object()) Fail(entry, "item", "must be an object with \"code\" and \"title\", not " + JsonTypeName(json));
  if (const auto it = json.find("code"); it != json.end() && it->is_string() && !it->get_ref<const std::string&>().empty())
    entry = parentEntry + "/" + it->get<std::string>();
  std::string code = ShortString(json, "code", entry, kMaxCode, true);
  std::set<std::string> allowed = {"code", "title", "name", "children", "related"};
  for (const TSlot& slot : kSlots)
    if (slot.Tree == letter) allowed.insert(slot.Key);
  for (const auto& item : json.items()) {
    if (allowed.count(item.key()) != 0) continue;
    for (const TSlot& slot : kSlots)
      if (item.key() == slot.Key)
        Fail(entry, item.key(), std::string("a text of this kind cannot hang in the ") +
                                    (letter == 'Q' ? "question" : letter == 'S' ? "syllabus" : "resource") + " tree");
    Fail(entry, item.key(), "unknown field");
  }
  std::string title = ShortString(json, "title", entry, kMaxTitle, true);
  std::string name = ShortString(json, "name", entry, kMaxCategoryName, false);
  // Without a name of its own the node shows its title, as far as a name can hold it.
  if (!json.contains("name")) name = title.substr(0, kMaxCategoryName);

  auto* node = static_cast<TIdentityCategory*>(parent->CreateChild());
  node->Code = std::move(code);
  node->Title = std::move(title);
  node->Name = std::move(name);
  const std::string id = FullID(node);
  if (const auto [it, fresh] = ids.emplace(id, entry); !fresh)
    Fail(entry, "code", "the ID " + Quote(std::string(1, letter) + id) + " is already used by " + it->second);
  Nodes.push_back({node, &json, entry, letter});
  if (const TJson* children = Array(json, "children", entry))
    for (std::size_t i = 0; i < children->size(); ++i) BuildIdentity((*children)[i], node, entry, i, letter, ids);
}

void TCompiler::AddTexts(const TPendingNode& pending, TLibraryWriter& writer) {
  const TJson& json = *pending.Json;
  for (const TSlot& slot : kSlots) {
    const auto it = json.find(slot.Key);
    if (it == json.end()) continue;
    const std::string prefix = std::string(slot.Key) + ".";
    const std::string& entry = pending.Entry;
    if (!it->is_object()) Fail(entry, slot.Key, "must be an object with \"file\", not " + JsonTypeName(*it));
    const bool question = slot.Type == 'Q';
    std::set<std::string> allowed = {"file", "marks", "time"};
    if (question) allowed.insert({"topics", "type", "level", "papers", "resources"});
    CheckKeys(*it, entry, allowed, prefix);

    TIdentityCategory& node = *pending.Node;
    TTextSegment* segment = nullptr;
    switch (slot.Type) {
      case 'Q': segment = node.AddQuestion(); break;
      case 'M': segment = node.AddMarkScheme(); break;
      case 'E': segment = node.AddExaminersReport(); break;
      case 'N': segment = node.AddNote(); break;
      case 'S': segment = node.AddSyllabus(); break;
      default: segment = node.AddResource(); break;
    }
    segment->Marks = Int16(*it, "marks", entry, prefix);
    segment->Time = Int16(*it, "time", entry, prefix);

    const auto file = it->find("file");
    if (file == it->end()) Fail(entry, prefix + "file", "missing");
    if (!file->is_string() || file->get_ref<const std::string&>().empty())
      Fail(entry, prefix + "file", "must be the path of an RTF file relative to the manifest");
    const std::string& relative = file->get_ref<const std::string&>();
    bool ok = false;
    const std::string bytes = ReadFileBytes(BaseDir / fs::u8path(relative), ok);
    if (!ok) Fail(entry, prefix + "file", "cannot read " + Quote(relative));
    std::string rtf = RtfFromUtf8(bytes);
    if (const std::string problem = RtfProblem(rtf); !problem.empty())
      Fail(entry, prefix + "file", Quote(relative) + " " + problem);
    writer.AddText(*segment, std::move(rtf));
  }
}

TCategory* TCompiler::FindCategory(const char* tree, const TJson& path, const std::string& entry,
                                   const std::string& field) {
  if (!path.is_string()) Fail(entry, field, "must hold category paths such as \"A/B\", not " + JsonTypeName(path));
  const auto& paths = CategoryPaths[tree];
  const auto it = paths.find(path.get<std::string>());
  if (it == paths.end()) {
    const char* what = std::string_view(tree) == "topics"          ? "topic"
                       : std::string_view(tree) == "questionTypes" ? "question type"
                       : std::string_view(tree) == "levels"        ? "level"
                                                                   : "paper";
    Fail(entry, field, std::string("unknown ") + what + " " + Quote(path.get<std::string>()));
  }
  return it->second;
}

void TCompiler::Classify(const TPendingNode& pending) {
  const auto it = pending.Json->find("question");
  if (it == pending.Json->end()) return;
  const TJson& json = *it;
  TQuestion& question = *pending.Node->Question;
  const std::string& entry = pending.Entry;

  auto categoryList = [&](const char* field, const char* tree, std::vector<TCategory*>& out) {
    const std::string fieldName = std::string("question.") + field;
    if (const TJson* list = Array(json, field, entry, "question.")) {
      for (const TJson& path : *list) {
        TCategory* node = FindCategory(tree, path, entry, fieldName);
        if (std::find(out.begin(), out.end(), node) != out.end())
          Fail(entry, fieldName, Quote(path.get<std::string>()) + " is listed twice");
        out.push_back(node);
      }
    }
  };
  categoryList("topics", "topics", question.Topics);
  categoryList("papers", "papers", question.Papers);
  if (const auto type = json.find("type"); type != json.end())
    question.QuestionType = FindCategory("questionTypes", *type, entry, "question.type");
  if (const auto level = json.find("level"); level != json.end())
    question.Level = FindCategory("levels", *level, entry, "question.level");

  if (const TJson* list = Array(json, "resources", entry, "question.")) {
    for (const TJson& typedId : *list) {
      if (!typedId.is_string()) Fail(entry, "question.resources", "must hold resource IDs such as \"R1\"");
      const std::string& utf8 = typedId.get_ref<const std::string&>();
      const std::string id = Convert(utf8, entry, "question.resources");
      if (id.empty() || id[0] != 'R')
        Fail(entry, "question.resources", Quote(utf8) + " is not a resource ID (it must start with R)");
      TIdentityCategory* resource = Library->FindIdentity(id.substr(1), 'R');
      if (resource == nullptr || id.size() == 1) Fail(entry, "question.resources", "unknown resource " + Quote(utf8));
      if (resource->Resource == nullptr)
        Fail(entry, "question.resources", "the resource " + Quote(utf8) + " has no resource text");
      if (std::find(question.Resources.begin(), question.Resources.end(), resource) != question.Resources.end())
        Fail(entry, "question.resources", Quote(utf8) + " is listed twice");
      question.Resources.push_back(resource);
    }
  }
}

void TCompiler::Relate(const TPendingNode& pending) {
  const TJson* list = Array(*pending.Json, "related", pending.Entry);
  if (list == nullptr) return;
  for (const TJson& typedId : *list) {
    if (!typedId.is_string()) Fail(pending.Entry, "related", "must hold typed IDs such as \"S4.1.2\"");
    const std::string& utf8 = typedId.get_ref<const std::string&>();
    const std::string id = Convert(utf8, pending.Entry, "related");
    const char letter = id.empty() ? '?' : id[0];
    if (letter != 'Q' && letter != 'S' && letter != 'R')
      Fail(pending.Entry, "related", Quote(utf8) + " must start with the tree letter Q, S or R");
    if (letter == pending.Tree)
      Fail(pending.Entry, "related", Quote(utf8) + " is in the same tree; related items belong to other trees");
    TIdentityCategory* other = Library->FindIdentity(id.substr(1), letter);
    if (other == nullptr || id.size() == 1) Fail(pending.Entry, "related", "unknown ID " + Quote(utf8));
    // The relation is symmetric: each side lists the other once, whichever side named it.
    auto link = [](TIdentityCategory* from, TIdentityCategory* to) {
      if (std::find(from->Related.begin(), from->Related.end(), to) == from->Related.end()) from->Related.push_back(to);
    };
    link(pending.Node, other);
    link(other, pending.Node);
  }
}

std::unique_ptr<TLibrary> TCompiler::Compile(TLibraryWriter& writer) {
  Library = TLibrary::CreateEmpty();
  Library->Name = ShortString(Manifest, "name", "library", kMaxCategoryName, true);
  BuildCategories("topics", Library->Topics);
  BuildCategories("questionTypes", Library->QuestionTypes);
  BuildCategories("levels", Library->Levels);
  BuildCategories("papers", Library->Papers);
  BuildIdentities("questions", 'Q', Library->QuestionTree);
  BuildIdentities("syllabus", 'S', Library->SyllabusTree);
  BuildIdentities("resources", 'R', Library->ResourceTree);
  // Texts first, so that classification can insist on resources having their text.
  for (const TPendingNode& pending : Nodes) AddTexts(pending, writer);
  for (const TPendingNode& pending : Nodes) {
    Classify(pending);
    Relate(pending);
  }
  return std::move(Library);
}

}  // namespace

TBuildResult BuildLibrary(const std::string& source, const std::string& outDir) {
  RegisterModelClasses();
  fs::path manifestPath = fs::u8path(source);
  std::error_code ec;
  if (fs::is_directory(manifestPath, ec)) manifestPath /= kManifestName;
  bool ok = false;
  const std::string text = ReadFileBytes(manifestPath, ok);
  if (!ok) throw EManifestError(manifestPath.string() + ": cannot read the manifest");
  TJson manifest;
  try {
    manifest = TJson::parse(text);
  } catch (const TJson::parse_error& e) {
    throw EManifestError(manifestPath.string() + ": not valid JSON: " + e.what());
  }
  TCompiler compiler(manifest, manifestPath.parent_path());
  compiler.ReadHeader();
  TLibraryWriter writer(outDir, compiler.Key);
  std::unique_ptr<TLibrary> library = compiler.Compile(writer);
  return writer.Finish(*library, compiler.Organisation, compiler.Settings);
}

}  // namespace hv::hvlib
