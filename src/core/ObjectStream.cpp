#include "core/ObjectStream.h"

#include <algorithm>
#include <climits>
#include <cstring>
#include <unordered_map>

#include "core/Collections.h"

namespace hv {

namespace {

constexpr std::uint8_t kTagEndOfList = 0;
constexpr std::uint8_t kTagList = 1;
constexpr std::uint8_t kTagInt8 = 2;
constexpr std::uint8_t kTagInt16 = 3;
constexpr std::uint8_t kTagInt32 = 4;
constexpr std::uint8_t kTagString = 6;
constexpr std::uint8_t kTagFalse = 8;
constexpr std::uint8_t kTagTrue = 9;
constexpr std::uint8_t kTagLongString = 12;

constexpr std::int32_t kNilReference = -2;
constexpr std::int32_t kNewReference = -1;

constexpr std::int32_t kNoOwner = -2;
constexpr std::int32_t kRootOwner = -1;

std::string LowerAscii(std::string_view s) {
  std::string out(s);
  for (char& c : out)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return out;
}

std::unordered_map<std::string, TStreamableFactory>& Registry() {
  static std::unordered_map<std::string, TStreamableFactory> registry;
  return registry;
}

}  // namespace

void TClassRegistry::Register(std::string_view name, TStreamableFactory factory) {
  Registry()[LowerAscii(name)] = factory;
}

TStreamableFactory TClassRegistry::Find(std::string_view name) {
  const auto& registry = Registry();
  const auto it = registry.find(LowerAscii(name));
  return it == registry.end() ? nullptr : it->second;
}

// ---- reader

TNetReader::TNetReader(TStream& stream, std::size_t bufferSize)
    : Stream(stream), Buf(std::max<std::size_t>(bufferSize, 16)) {
  StreamPos = Stream.Position();
  StreamEnd = std::max(Stream.Size(), StreamPos);
  HintBudget = StreamEnd - StreamPos;
}

TNetReader::~TNetReader() {
  // Unconsumed buffered bytes go back, so the next reader of the stream starts after ours.
  try {
    Stream.Seek(StreamPos - static_cast<std::int64_t>(BufLen - BufPos));
  } catch (...) {
  }
}

void TNetReader::Fill() {
  // Emptied first, so a read that throws leaves nothing stale to deliver again.
  BufPos = 0;
  BufLen = 0;
  BufLen = Stream.Read(Buf.data(), Buf.size());
  StreamPos += static_cast<std::int64_t>(BufLen);
  if (BufLen == 0) throw EReadError(kStreamReadError);
}

void TNetReader::ReadBytes(void* out, std::size_t count) {
  auto* dst = static_cast<std::uint8_t*>(out);
  while (count > 0) {
    if (BufPos == BufLen) {
      if (count >= Buf.size()) {
        // Large values bypass the buffer.
        const std::size_t n = Stream.Read(dst, count);
        StreamPos += static_cast<std::int64_t>(n);
        if (n != count) throw EReadError(kStreamReadError);
        return;
      }
      Fill();
    }
    const std::size_t n = std::min(count, BufLen - BufPos);
    std::memcpy(dst, Buf.data() + BufPos, n);
    BufPos += n;
    dst += n;
    count -= n;
  }
}

std::int32_t TNetReader::ReadInteger() {
  switch (ReadByte()) {
    case kTagInt8:
      return static_cast<std::int8_t>(ReadByte());
    case kTagInt16: {
      const std::uint8_t lo = ReadByte();
      const std::uint8_t hi = ReadByte();
      return static_cast<std::int16_t>(static_cast<std::uint16_t>(lo | (hi << 8)));
    }
    case kTagInt32: {
      std::uint8_t b[4];
      ReadBytes(b, 4);
      return static_cast<std::int32_t>(static_cast<std::uint32_t>(b[0]) | (static_cast<std::uint32_t>(b[1]) << 8) |
                                       (static_cast<std::uint32_t>(b[2]) << 16) |
                                       (static_cast<std::uint32_t>(b[3]) << 24));
    }
    default:
      Invalid();
  }
}

std::int16_t TNetReader::ReadSmallInt(const char* field) {
  const std::int32_t value = ReadInteger();
  if (value < INT16_MIN || value > INT16_MAX)
    throw EReadError(std::string("Value ") + std::to_string(value) + " is too large for " + field);
  return static_cast<std::int16_t>(value);
}

std::string TNetReader::Location() const {
  std::string where;
  if (InGraph && CurrentBody >= 0 && static_cast<std::size_t>(CurrentBody) < Table.size() &&
      Table[static_cast<std::size_t>(CurrentBody)] != nullptr)
    where = "object " + std::to_string(CurrentBody + 1) + " (" +
            Table[static_cast<std::size_t>(CurrentBody)]->ClassName() + "), ";
  return where + "byte " + std::to_string(Position());
}

void TNetReader::Warn(const std::string& text) {
  // A hostile stream could repeat one fault endlessly; the first ones tell the story.
  constexpr std::size_t kMaxWarnings = 100;
  if (Warnings.size() < kMaxWarnings) Warnings.push_back(text + " at " + Location());
}

std::string TNetReader::ReadString() {
  std::int64_t length = 0;
  switch (ReadByte()) {
    case kTagString:
      length = ReadByte();
      break;
    case kTagLongString: {
      std::uint8_t b[4];
      ReadBytes(b, 4);
      length = static_cast<std::int32_t>(static_cast<std::uint32_t>(b[0]) | (static_cast<std::uint32_t>(b[1]) << 8) |
                                         (static_cast<std::uint32_t>(b[2]) << 16) |
                                         (static_cast<std::uint32_t>(b[3]) << 24));
      if (length < 0) Invalid();
      break;
    }
    default:
      Invalid();
  }
  // A length beyond the end of the stream never reaches the allocator.
  if (length > BytesLeft()) throw EReadError(kStreamReadError);
  std::string s(static_cast<std::size_t>(length), '\0');
  ReadBytes(s.data(), s.size());
  return s;
}

std::string TNetReader::ReadString(std::size_t maxLength) {
  std::string s = ReadString();
  if (s.size() > maxLength) s.resize(maxLength);
  return s;
}

bool TNetReader::ReadBoolean() { return ReadByte() == kTagTrue; }

char TNetReader::ReadChar() {
  if (ReadByte() != kTagString) Invalid();
  if (ReadByte() != 1) Invalid();
  return static_cast<char>(ReadByte());
}

void TNetReader::ReadListBegin() {
  if (ReadByte() != kTagList) Invalid();
}

void TNetReader::ReadListEnd() {
  if (ReadByte() != kTagEndOfList) Invalid();
}

bool TNetReader::EndOfList() { return PeekByte() == kTagEndOfList; }

std::int32_t TNetReader::ReadVersion() { return Version = ReadInteger(); }

std::size_t TNetReader::ReadListLength() {
  const std::int32_t length = ReadInteger();
  if (length < 0) throw EListError::Capacity(length);
  // Only a hint: each item takes at least one byte, so never reserve beyond what is left.
  const std::int64_t hint = std::min<std::int64_t>({length, BytesLeft(), HintBudget});
  HintBudget -= hint;
  return static_cast<std::size_t>(hint);
}

TStreamable* TNetReader::ReadReferenceAt(std::int32_t& index) {
  const std::int32_t n = ReadInteger();
  if (n == kNilReference) {
    index = -1;
    return nullptr;
  }
  if (n == kNewReference) {
    std::string name = ReadString();
    TStreamableFactory factory = nullptr;
    if (LastFactory != nullptr && name == LastClassName) {
      factory = LastFactory;
    } else {
      factory = TClassRegistry::Find(name);
      if (factory == nullptr) throw EReadError("Class " + name + " not found");
      if (!AllowedClasses.empty() &&
          std::none_of(AllowedClasses.begin(), AllowedClasses.end(),
                       [&](std::string_view allowed) { return LowerAscii(allowed) == LowerAscii(name); }))
        throw EReadError("Class " + name + " does not belong in this file");
      LastClassName = std::move(name);
      LastFactory = factory;
    }
    if (!InGraph) Invalid();  // a new object outside a graph would have no owner
    std::unique_ptr<TStreamable> object(factory());
    Owner.push_back(kNoOwner);
    Table.push_back(object.get());
    object.release();
    index = static_cast<std::int32_t>(Table.size() - 1);
    return Table.back();
  }
  if (n < 1 || static_cast<std::size_t>(n) > Table.size()) throw EListError::Index(static_cast<long long>(n) - 1);
  index = n - 1;
  return Table[static_cast<std::size_t>(index)];
}

TStreamable* TNetReader::ReadReference() {
  std::int32_t index = -1;
  return ReadReferenceAt(index);
}

TStreamable* TNetReader::ReadOwnedReference() {
  std::int32_t index = -1;
  TStreamable* object = ReadReferenceAt(index);
  if (object == nullptr) return nullptr;
  if (Owner[static_cast<std::size_t>(index)] != kNoOwner) {
    // The first claim stands; a second owner would free the object twice.
    Warn("object " + std::to_string(index + 1) + " claimed by a second owner, left with its first");
    return nullptr;
  }
  Owner[static_cast<std::size_t>(index)] = CurrentBody;
  return object;
}

void TNetReader::CheckOwnership() const {
  // Every object must hang, through its owners, from the root. One that does not (owned by
  // nobody, or only by others in a cycle) was brought in by a reference that does not own, so
  // something keeps pointing at it and it can be neither freed nor kept: the file is refused.
  enum : std::uint8_t { kUnknown, kVisiting, kRooted };
  std::vector<std::uint8_t> state(Table.size(), kUnknown);
  std::vector<std::size_t> chain;
  for (std::size_t i = 0; i < Table.size(); ++i) {
    std::size_t j = i;
    chain.clear();
    while (state[j] == kUnknown) {
      state[j] = kVisiting;
      chain.push_back(j);
      const std::int32_t owner = Owner[j];
      if (owner == kRootOwner) break;
      if (owner == kNoOwner || state[static_cast<std::size_t>(owner)] == kVisiting)
        throw EReadError(std::string(kInvalidPropertyValue) + ": object " + std::to_string(j + 1) +
                         " is owned by nothing but still used");
      j = static_cast<std::size_t>(owner);
    }
    for (std::size_t k : chain) state[k] = kRooted;
  }
}

void TNetReader::FreeAll() noexcept {
  for (TStreamable* object : Table) object->ForgetOwned();
  for (TStreamable* object : Extras) object->ForgetOwned();
  for (TStreamable* object : Table) delete object;
  for (TStreamable* object : Extras) delete object;
  Table.clear();
  Owner.clear();
  Extras.clear();
}

std::unique_ptr<TStreamable> TNetReader::ReadObjectGraph() {
  Table.clear();
  Owner.clear();
  Extras.clear();
  FailureLocation.clear();
  InGraph = true;
  try {
    const std::int32_t count = ReadInteger();
    if (count < 0) throw EListError::Capacity(count);
    const auto hint = static_cast<std::size_t>(std::min<std::int64_t>(count, BytesLeft()));
    Table.reserve(hint);
    Owner.reserve(hint);
    CurrentBody = kRootOwner;
    TStreamable* root = ReadOwnedReference();
    if (root == nullptr) Invalid();
    for (std::size_t i = 0; i < Table.size(); ++i) {
      CurrentBody = static_cast<std::int32_t>(i);
      Table[i]->ReadFrom(*this);
    }
    CheckOwnership();
    for (std::size_t i = 0; i < Table.size(); ++i) {
      CurrentBody = static_cast<std::int32_t>(i);
      Table[i]->CheckLinks(*this);
    }
    CurrentBody = 0;
    root->CheckGraph(*this);
    Table.clear();
    Owner.clear();
    Extras.clear();
    InGraph = false;
    return std::unique_ptr<TStreamable>(root);
  } catch (...) {
    FailureLocation = Location();
    FreeAll();
    InGraph = false;
    throw;
  }
}

// ---- writer

struct TNetWriter::TGraphState {
  explicit TGraphState(int count) : Identities(count) { Table.reserve(static_cast<std::size_t>(count)); }
  TDictionary Identities;
  std::vector<const TStreamable*> Table;
  std::int32_t NextIdentity = 1;
};

TNetWriter::TNetWriter(TStream& stream, std::size_t bufferSize)
    : Stream(stream), Buf(std::max<std::size_t>(bufferSize, 16)) {}

TNetWriter::~TNetWriter() {
  try {
    Flush();
  } catch (...) {
  }
}

void TNetWriter::Flush() {
  if (BufLen == 0) return;
  const std::size_t n = BufLen;
  BufLen = 0;
  Stream.Write(Buf.data(), n);
}

void TNetWriter::WriteBytes(const void* data, std::size_t count) {
  const auto* src = static_cast<const std::uint8_t*>(data);
  if (count >= Buf.size()) {
    Flush();
    Stream.Write(src, count);
    return;
  }
  while (count > 0) {
    if (BufLen == Buf.size()) Flush();
    const std::size_t n = std::min(count, Buf.size() - BufLen);
    std::memcpy(Buf.data() + BufLen, src, n);
    BufLen += n;
    src += n;
    count -= n;
  }
}

void TNetWriter::WriteInteger(std::int32_t value) {
  if (value >= -128 && value <= 127) {
    const std::uint8_t b[2] = {kTagInt8, static_cast<std::uint8_t>(value)};
    WriteBytes(b, 2);
  } else if (value >= -32768 && value <= 32767) {
    const auto v = static_cast<std::uint16_t>(value);
    const std::uint8_t b[3] = {kTagInt16, static_cast<std::uint8_t>(v), static_cast<std::uint8_t>(v >> 8)};
    WriteBytes(b, 3);
  } else {
    const auto v = static_cast<std::uint32_t>(value);
    const std::uint8_t b[5] = {kTagInt32, static_cast<std::uint8_t>(v), static_cast<std::uint8_t>(v >> 8),
                               static_cast<std::uint8_t>(v >> 16), static_cast<std::uint8_t>(v >> 24)};
    WriteBytes(b, 5);
  }
}

void TNetWriter::WriteString(std::string_view value) {
  if (value.size() < 256) {
    const std::uint8_t b[2] = {kTagString, static_cast<std::uint8_t>(value.size())};
    WriteBytes(b, 2);
  } else {
    const auto v = static_cast<std::uint32_t>(value.size());
    const std::uint8_t b[5] = {kTagLongString, static_cast<std::uint8_t>(v), static_cast<std::uint8_t>(v >> 8),
                               static_cast<std::uint8_t>(v >> 16), static_cast<std::uint8_t>(v >> 24)};
    WriteBytes(b, 5);
  }
  WriteBytes(value.data(), value.size());
}

void TNetWriter::WriteBoolean(bool value) { WriteByte(value ? kTagTrue : kTagFalse); }

void TNetWriter::WriteChar(char value) {
  const std::uint8_t b[3] = {kTagString, 1, static_cast<std::uint8_t>(value)};
  WriteBytes(b, 3);
}

void TNetWriter::WriteReference(const TStreamable* object) {
  if (object == nullptr) {
    WriteInteger(kNilReference);
    return;
  }
  if (Graph == nullptr) throw EError("Object reference written outside an object graph");
  const auto key = reinterpret_cast<TElement>(object);
  const TElement identity = Graph->Identities.Get(key);
  if (identity != 0) {
    WriteInteger(static_cast<std::int32_t>(identity));
    return;
  }
  Graph->Identities.Put(key, static_cast<TElement>(Graph->NextIdentity++));
  WriteInteger(kNewReference);
  WriteString(object->ClassName());
  Graph->Table.push_back(object);
}

void TNetWriter::WriteObjectGraph(const TStreamable& root) {
  const int count = root.ObjectCount();
  TGraphState state(count);
  Graph = &state;
  try {
    WriteInteger(count);
    WriteReference(&root);
    for (std::size_t i = 0; i < state.Table.size(); ++i) state.Table[i]->WriteTo(*this);
  } catch (...) {
    Graph = nullptr;
    throw;
  }
  Graph = nullptr;
}

}  // namespace hv
