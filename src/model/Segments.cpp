#include "model/Segments.h"

#include "model/Categories.h"
#include "model/Document.h"
#include "model/Library.h"
#include "model/TextStore.h"

namespace hv {

TTextSegment::~TTextSegment() { delete Chunk; }

std::string TTextSegment::GetName() const { return Identity != nullptr ? Identity->Title : std::string(); }

void TTextSegment::SetName(std::string_view name) {
  if (Identity != nullptr) Identity->SetTitle(name);
}

void TTextSegment::Delete() {
  if (Identity != nullptr) Identity->ClearSlot(this);
  delete this;
}

std::string TTextSegment::GetID() const {
  if (Identity == nullptr) return {};
  return TypeLetter() + FullID(Identity);
}

std::unique_ptr<TText> TTextSegment::CreateText() const {
  auto text = std::make_unique<TText>();
  text->Identity = Identity;
  text->Marks = Marks;
  text->Time = Time;
  text->SetName(GetName());
  return text;
}

std::unique_ptr<TDocContent> TTextSegment::CreateContent() {
  return std::make_unique<TDocContent>(this, NumberedInDocuments());
}

void TTextSegment::SetChunk(std::unique_ptr<TTextChunk> chunk) {
  delete Chunk;
  Chunk = chunk.release();
}

std::unique_ptr<TTextChunk> TTextSegment::TakeChunk() {
  std::unique_ptr<TTextChunk> chunk(Chunk);
  Chunk = nullptr;
  return chunk;
}

void TTextSegment::ReadFrom(TNetReader& reader) {
  Identity = reader.ReadRef<TIdentityCategory>();
  Chunk = reader.ReadOwned<TTextChunk>();
  Marks = reader.ReadSmallInt("marks");
  Time = reader.ReadSmallInt("a time");
  if (reader.Version == 1) reader.ReadBoolean();
}

void TTextSegment::WriteTo(TNetWriter& writer) const {
  writer.WriteReference(Identity);
  writer.WriteReference(Chunk);
  writer.WriteInteger(Marks);
  writer.WriteInteger(Time);
}

int TTextSegment::ObjectCount() const { return 1 + (Chunk != nullptr ? Chunk->ObjectCount() : 0); }

void TQuestion::ReadFrom(TNetReader& reader) {
  TTextSegment::ReadFrom(reader);
  reader.ReadRefList(Topics, false);
  QuestionType = reader.ReadRef<TCategory>();
  Level = reader.ReadRef<TCategory>();
  reader.ReadRefList(Papers, false);
  if (reader.Version > 8) reader.ReadRefList(Resources, false);
}

void TQuestion::WriteTo(TNetWriter& writer) const {
  TTextSegment::WriteTo(writer);
  writer.WriteReferenceList(Topics);
  writer.WriteReference(QuestionType);
  writer.WriteReference(Level);
  writer.WriteReferenceList(Papers);
  writer.WriteReferenceList(Resources);
}

void TText::SetName(std::string_view name) { Title = std::string(name.substr(0, kMaxTitle)); }

void TText::Delete() { delete this; }

std::unique_ptr<TDocContent> TText::CreateContent() {
  return std::make_unique<TOwningDocContent>(this, false);
}

void TText::ReadFrom(TNetReader& reader) {
  if (reader.Version < 7) throw EDataError("Cannot read old text format");
  char letter = ' ';
  if (reader.Version > 9)
    letter = reader.ReadChar();
  else
    letter = reader.ReadBoolean() ? 'S' : 'Q';
  const std::string id = reader.ReadString();
  Identity = nullptr;
  if (!id.empty() && CurrentLibrary != nullptr) Identity = CurrentLibrary->FindIdentity(id, letter);
  Chunk = reader.ReadOwned<TTextChunk>();
  Marks = reader.ReadSmallInt("marks");
  Time = reader.ReadSmallInt("a time");
  Title = reader.ReadString(kMaxTitle);
}

void TText::WriteTo(TNetWriter& writer) const {
  char letter = ' ';
  std::string id;
  if (Identity != nullptr) {
    id = FullID(Identity);
    const TCategory* root = TreeRoot(Identity);
    if (CurrentLibrary != nullptr) {
      if (root == CurrentLibrary->SyllabusTree)
        letter = 'S';
      else if (root == CurrentLibrary->QuestionTree)
        letter = 'Q';
      else if (root == CurrentLibrary->ResourceTree)
        letter = 'R';
    }
  }
  writer.WriteChar(letter);
  writer.WriteString(id);
  writer.WriteReference(Chunk);
  writer.WriteInteger(Marks);
  writer.WriteInteger(Time);
  writer.WriteString(Title);
}

std::string MissingItemCaption(std::string_view typedId) { return std::string(typedId) + ": not in this library"; }

TPlaceholderSegment::TPlaceholderSegment(std::string typedId, std::string caption)
    : TypedID(std::move(typedId)), Caption(std::move(caption)) {
  SetChunk(MessageChunk(Caption));
}

std::unique_ptr<TText> TPlaceholderSegment::CreateText() const {
  throw EDataError(Caption + " cannot be made into a text of the document");
}

std::unique_ptr<TDocContent> TPlaceholderSegment::CreateContent() {
  // Each entry owns its own stand-in, so removing one entry never leaves another pointing at it.
  return TDocContent::MakePlaceholder(TypedID, Caption, false);
}

void TPlaceholderSegment::ReadFrom(TNetReader&) { TNetReader::Invalid(); }

void TPlaceholderSegment::WriteTo(TNetWriter&) const {
  throw EError("A placeholder is written as the reference it stands for");
}

}  // namespace hv
