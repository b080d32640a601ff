#include "model/Library.h"

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

void TLibrary::CheckLinks() const {
  for (const TCategory* tree : {Topics, QuestionTypes, Levels, Papers,
                                static_cast<TCategory*>(QuestionTree), static_cast<TCategory*>(SyllabusTree),
                                static_cast<TCategory*>(ResourceTree)})
    if (tree->Parent != nullptr) TNetReader::Invalid();
}

TOpenedLibrary OpenLibraryFiles(const std::string& textFileName, const std::string& dataFileName) {
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
  opened.Library = ReadLibraryData(*data, opened.TextStore.get());
  return opened;
}

std::unique_ptr<TLibrary> ReadLibraryData(TStream& data, TTextStore* textStore) {
  RegisterModelClasses();
  TNetReader reader(data, 4096);
  reader.TextStore = textStore;
  if (reader.ReadVersion() > kLibraryVersion) throw EInOutError("Incorrect library version");
  reader.ReadInteger();
  if (reader.Version > 7) reader.ReadInteger();
  return reader.ReadObjectGraphAs<TLibrary>();
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
