#include "model/Library.h"

#include <unordered_map>

#include "model/Document.h"
#include "model/LibraryConfig.h"
#include "model/Segments.h"

namespace hv {

TLibrary* CurrentLibrary = nullptr;

TLibrary::~TLibrary() {
  delete ResourceTree;
  delete QuestionTree;
  delete SyllabusTree;
  delete Topics;
  delete QuestionTypes;
  delete Levels;
  delete Papers;
}

std::unique_ptr<TLibrary> TLibrary::CreateEmpty() {
  auto library = std::make_unique<TLibrary>();
  library->Topics = new TCategory;
  library->QuestionTypes = new TCategory;
  library->Levels = new TCategory;
  library->Papers = new TCategory;
  library->QuestionTree = new TIdentityCategory;
  library->SyllabusTree = new TIdentityCategory;
  library->ResourceTree = new TIdentityCategory;
  return library;
}

TIdentityCategory* TLibrary::FindIdentity(std::string_view id, char letter) const {
  switch (letter) {
    case 'S': return FindByID(SyllabusTree, id);
    case 'Q':
    case ' ': return FindByID(QuestionTree, id);
    case 'R': return FindByID(ResourceTree, id);
    default: return nullptr;
  }
}

TTextSegment* TLibrary::FindSegment(std::string_view typedId, bool create) const {
  // An empty ID has no type letter; it is refused like any unknown letter.
  if (typedId.empty()) throw EDataError("Invalid text type: ");
  const char type = typedId[0];
  const char letter = (type == 'Q' || type == 'R' || type == 'S') ? type : ' ';
  TIdentityCategory* node = FindIdentity(typedId.substr(1), letter);
  if (node == nullptr) throw EDataError("Invalid ID: " + std::string(typedId));
  TTextSegment* segment = nullptr;
  switch (type) {
    case 'E': segment = create ? node->AddExaminersReport() : node->ExaminersReport; break;
    case 'M': segment = create ? node->AddMarkScheme() : node->MarkScheme; break;
    case 'N': segment = create ? node->AddNote() : node->Note; break;
    case 'Q': segment = create ? node->AddQuestion() : node->Question; break;
    case 'R': segment = create ? node->AddResource() : node->Resource; break;
    case 'S': segment = create ? node->AddSyllabus() : node->Syllabus; break;
    default: throw EDataError(std::string("Invalid text type: ") + type);
  }
  if (segment == nullptr) throw EDataError("No text for ID: " + std::string(typedId));
  return segment;
}

TTextSegment* TLibrary::LookupSegment(std::string_view typedId, std::string* why) const {
  const auto fail = [&](std::string text) -> TTextSegment* {
    if (why != nullptr) *why = std::move(text);
    return nullptr;
  };
  if (typedId.empty()) return fail("Invalid text type: ");
  const char type = typedId[0];
  const char letter = (type == 'Q' || type == 'R' || type == 'S') ? type : ' ';
  const TIdentityCategory* node = FindIdentity(typedId.substr(1), letter);
  if (node == nullptr) return fail("Invalid ID: " + std::string(typedId));
  TTextSegment* segment = nullptr;
  switch (type) {
    case 'E': segment = node->ExaminersReport; break;
    case 'M': segment = node->MarkScheme; break;
    case 'N': segment = node->Note; break;
    case 'Q': segment = node->Question; break;
    case 'R': segment = node->Resource; break;
    case 'S': segment = node->Syllabus; break;
    default: return fail(std::string("Invalid text type: ") + type);
  }
  if (segment == nullptr) return fail("No text for ID: " + std::string(typedId));
  return segment;
}

void TLibrary::ReadFrom(TNetReader& reader) {
  Name = reader.ReadString(kMaxCategoryName);
  Topics = reader.ReadOwned<TCategory>(true);
  QuestionTypes = reader.ReadOwned<TCategory>(true);
  Levels = reader.ReadOwned<TCategory>(true);
  Papers = reader.ReadOwned<TCategory>(true);
  QuestionTree = reader.ReadOwned<TIdentityCategory>(true);
  SyllabusTree = reader.ReadOwned<TIdentityCategory>(true);
  if (reader.Version >= 9) {
    ResourceTree = reader.ReadOwned<TIdentityCategory>(true);
  } else {
    ResourceTree = new TIdentityCategory;
    ResourceTree->SetName("All resources");
    reader.NoteCreated(ResourceTree);
  }
}

void TLibrary::WriteTo(TNetWriter& writer) const {
  writer.WriteString(Name);
  writer.WriteReference(Topics);
  writer.WriteReference(QuestionTypes);
  writer.WriteReference(Levels);
  writer.WriteReference(Papers);
  writer.WriteReference(QuestionTree);
  writer.WriteReference(SyllabusTree);
  writer.WriteReference(ResourceTree);
}

int TLibrary::ObjectCount() const {
  int n = 1;
  for (const TCategory* tree : {Topics, QuestionTypes, Levels, Papers,
                                static_cast<TCategory*>(QuestionTree), static_cast<TCategory*>(SyllabusTree),
                                static_cast<TCategory*>(ResourceTree)})
    if (tree != nullptr) n += tree->ObjectCount();
  return n;
}

void TLibrary::ForgetOwned() {
  Topics = QuestionTypes = Levels = Papers = nullptr;
  QuestionTree = SyllabusTree = ResourceTree = nullptr;
}

void TLibrary::CheckGraph(TNetReader& reader) {
  // A tree root is owned by the library alone; a parent link would only mislead Depth and the
  // tree letter of texts, so it is dropped.
  for (TCategory* tree : {Topics, QuestionTypes, Levels, Papers, static_cast<TCategory*>(QuestionTree),
                          static_cast<TCategory*>(SyllabusTree), static_cast<TCategory*>(ResourceTree)}) {
    if (tree->Parent == nullptr) continue;
    reader.Warn("the root of a tree named a parent; the link was dropped");
    tree->Parent = nullptr;
  }
  MendRelatedLinks({Topics, QuestionTypes, Levels, Papers, QuestionTree, SyllabusTree, ResourceTree}, reader);
  CheckUniqueIDs(QuestionTree, 'Q');
  CheckUniqueIDs(SyllabusTree, 'S');
  CheckUniqueIDs(ResourceTree, 'R');
}

void CheckUniqueIDs(TIdentityCategory* root, char letter) {
  // IDs are compared by a hash built along the path (so a very deep tree costs no more than a
  // wide one) and spelled out only when two hashes meet.
  struct TFrame {
    TIdentityCategory* Node;
    std::uint64_t Hash;
    std::size_t Length;
    std::size_t NextChild;
  };
  constexpr std::uint64_t kBase = 1099511628211ull;
  std::unordered_multimap<std::uint64_t, const TIdentityCategory*> seen;
  const auto duplicate = [&](const TIdentityCategory* node, std::uint64_t key) -> const TIdentityCategory* {
    const auto [first, last] = seen.equal_range(key);
    if (first == last) return nullptr;
    const std::string id = FullID(node);
    for (auto it = first; it != last; ++it)
      if (FullID(it->second) == id) return it->second;
    return nullptr;
  };
  std::vector<TFrame> stack{{root, 0, 0, 0}};
  seen.emplace(0, root);
  while (!stack.empty()) {
    TFrame& frame = stack.back();
    if (frame.NextChild >= frame.Node->Children.size()) {
      stack.pop_back();
      continue;
    }
    auto* child = static_cast<TIdentityCategory*>(frame.Node->Children[frame.NextChild++]);
    if (child->Code.empty())
      throw EDataError(std::string("Item \"") + child->Title + "\" under " + letter + FullID(frame.Node) +
                       " has no code, so it would take the ID of the item above it");
    std::uint64_t hash = frame.Hash;
    for (unsigned char c : child->Code) hash = hash * kBase + c + 1;
    const std::size_t length = frame.Length + child->Code.size();
    const std::uint64_t key = hash ^ (length * 0x9E3779B97F4A7C15ull);
    if (const TIdentityCategory* other = duplicate(child, key))
      throw EDataError("Duplicate ID " + std::string(1, letter) + FullID(child) + ": items \"" + other->Title +
                       "\" and \"" + child->Title + "\"");
    seen.emplace(key, child);
    stack.push_back({child, hash, length, 0});
  }
}

TOpenedLibrary OpenLibraryFiles(const std::string& textFileName, const std::string& dataFileName,
                                std::vector<std::string>* warnings) {
  RegisterModelClasses();
  TOpenedLibrary opened;
  if (!FileExists(textFileName)) throw EInOutError("Could not open library text file");
  try {
    opened.TextStore = std::make_unique<TTextStore>(
        std::make_unique<TFileStream>(textFileName, TFileStream::TMode::OpenRead));
  } catch (const EInOutError&) {
    throw EInOutError("Could not open library text file");
  }
  if (!FileExists(dataFileName)) throw EInOutError("Could not open library data file");
  std::unique_ptr<TFileStream> data;
  try {
    data = std::make_unique<TFileStream>(dataFileName, TFileStream::TMode::OpenRead);
  } catch (const EInOutError&) {
    throw EInOutError("Could not open library data file");
  }
  try {
    opened.Library = ReadLibraryData(*data, opened.TextStore.get(), warnings);
  } catch (const EReadError& e) {
    throw EReadError("Library data file \"" + dataFileName + "\": " + e.what());
  } catch (const EListError& e) {
    throw EListError("Library data file \"" + dataFileName + "\": " + e.what());
  } catch (const EDataError& e) {
    throw EDataError("Library data file \"" + dataFileName + "\": " + e.what());
  }
  return opened;
}

std::unique_ptr<TLibrary> ReadLibraryData(TStream& data, TTextStore* textStore, std::vector<std::string>* warnings) {
  RegisterModelClasses();
  TNetReader reader(data, 4096);
  reader.TextStore = textStore;
  if (reader.ReadVersion() > kLibraryVersion) throw EInOutError("Incorrect library version");
  reader.ReadInteger();
  if (reader.Version > 7) reader.ReadInteger();
  std::unique_ptr<TLibrary> library;
  try {
    library = reader.ReadObjectGraphAs<TLibrary>();
  } catch (const EReadError& e) {
    throw EReadError(std::string(e.what()) + " at " + reader.FailureLocation);
  } catch (const EListError& e) {
    throw EListError(std::string(e.what()) + " at " + reader.FailureLocation);
  }
  if (warnings != nullptr) *warnings = std::move(reader.Warnings);
  return library;
}

TOpenedLibrary OpenLibrary(const std::string& subject) {
  const TLibraryFiles files = LookupLibraryFiles(subject);
  return OpenLibraryFiles(files.TextFilename, files.LibFilename);
}

void WriteLibraryFile(TStream& stream, const TLibrary& library, std::int32_t version) {
  TNetWriter writer(stream);
  writer.WriteVersion(version);
  writer.WriteInteger(0);
  if (version > 7) writer.WriteInteger(0);
  writer.WriteObjectGraph(library);
  writer.Flush();
}

void RegisterModelClasses() {
  static const bool done = [] {
    RegisterClass<TPlainTextSegment>();
    RegisterClass<TQuestion>();
    RegisterClass<TSyllabus>();
    RegisterClass<TExaminersReport>();
    RegisterClass<TMarkScheme>();
    RegisterClass<TNote>();
    RegisterClass<TText>();
    RegisterClass<TCategory>();
    RegisterClass<TIdentityCategory>();
    RegisterClass<TDocContent>();
    RegisterClass<TOwningDocContent>();
    RegisterClass<TDocument>();
    RegisterClass<TLibrary>();
    RegisterClass<TResource>();
    RegisterClass<TTextChunk>();
    return true;
  }();
  (void)done;
}

}  // namespace hv
