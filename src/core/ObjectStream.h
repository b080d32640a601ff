#pragma once
// Persistent objects and the tagged little-endian object stream that stores graphs of them.
//
// A graph is written as: an object count (a size hint), the root reference, then the bodies of
// all objects in order of first reference.  A reference is -2 (none), -1 followed by a class name
// (a new object whose body comes later), or n >= 1 (the n-th object introduced).
//
// The reader never trusts the stream: a reference of the wrong class, a missing object where one
// is required, an object owned by nobody (something still points at it), and counts larger than
// the bytes that are left all fail with a read error, and every object made before the failure
// is freed. Faults it can step over safely (an empty item in a list, a second claim on an object)
// become warnings instead; every warning and every failure records the object being read and the
// byte offset.
#include <concepts>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "core/Errors.h"
#include "core/Streams.h"

namespace hv {

class TNetReader;
class TNetWriter;
class TTextStore;

// Base of every object that lives in an object stream.
class TStreamable {
public:
  virtual ~TStreamable() = default;
  virtual const char* ClassName() const = 0;
  virtual void ReadFrom(TNetReader& reader) = 0;
  virtual void WriteTo(TNetWriter& writer) const = 0;
  // Objects this one contributes to a stream (itself plus what it owns); written as a size hint.
  virtual int ObjectCount() const { return 1; }
  virtual void Dispose() { delete this; }
  // After a failed read the reader frees every object it made one by one, so each object first
  // forgets (without freeing) whatever it owns.
  virtual void ForgetOwned() {}
  // Runs on every object of a graph after all bodies are read: mends links that contradict each
  // other where that is safe (with a warning), and throws a read error where it is not.
  virtual void CheckLinks(TNetReader&) {}
  // Runs on the root alone, after every object's CheckLinks: checks that need the whole graph.
  virtual void CheckGraph(TNetReader&) {}

  template <class List>
  static int CountObjects(const List& list) {
    int n = 0;
    for (const auto& item : list) n += item->ObjectCount();
    return n;
  }
};

using TStreamableFactory = TStreamable* (*)();

// Process-wide table from class name (ASCII case ignored) to factory.
class TClassRegistry {
public:
  static void Register(std::string_view name, TStreamableFactory factory);
  static TStreamableFactory Find(std::string_view name);
};

template <class T>
void RegisterClass() {
  TClassRegistry::Register(T::StaticClassName, []() -> TStreamable* { return new T; });
}

// Reads values and object graphs through a buffer; gives unread buffered bytes back on destruction.
class TNetReader {
public:
  explicit TNetReader(TStream& stream, std::size_t bufferSize = 4096);
  ~TNetReader();
  TNetReader(const TNetReader&) = delete;
  TNetReader& operator=(const TNetReader&) = delete;

  std::int32_t Version = 0;
  TTextStore* TextStore = nullptr;

  std::int32_t ReadInteger();
  // A 16-bit field (marks, minutes, numbers): a wider value is refused, never cut.
  std::int16_t ReadSmallInt(const char* field);
  std::string ReadString();
  std::string ReadString(std::size_t maxLength);  // longer values are cut
  bool ReadBoolean();
  char ReadChar();
  void ReadListBegin();
  void ReadListEnd();
  bool EndOfList();
  std::int32_t ReadVersion();

  // The whole graph; throws if the root is missing or not a T.
  std::unique_ptr<TStreamable> ReadObjectGraph();
  template <class T>
  std::unique_ptr<T> ReadObjectGraphAs();

  // A reference that does not own; the object must be a T (or none when allowed).
  TStreamable* ReadReference();
  template <class T>
  T* ReadRef(bool required = false) {
    return Checked<T>(ReadReference(), required);
  }
  // A reference to an object the current body owns: it may be claimed by one owner only.
  template <class T>
  T* ReadOwned(bool required = false) {
    return Checked<T>(ReadOwnedReference(), required);
  }
  // A reference list; items of owned lists are claimed, and no item may be none.
  template <class T>
  void ReadRefList(std::vector<T*>& list, bool owned);
  template <class T>
  void ReadOwnedList(std::vector<std::unique_ptr<T>>& list);

  // Classes a graph may hold (names as registered); a stream naming any other is refused before
  // the object is made. Empty allows every registered class.
  std::vector<std::string_view> AllowedClasses;

  // What the reader stepped over, each with where it was; read by whoever opened the stream.
  std::vector<std::string> Warnings;
  void Warn(const std::string& text);
  // "object N (TClass), byte X" for the body being read, or the byte alone outside bodies.
  std::string Location() const;
  // Set when ReadObjectGraph fails: where the failure happened.
  std::string FailureLocation;

  // Keeps track of an object a body made itself (not from the stream), so that it is freed too if
  // the read fails later.
  void NoteCreated(TStreamable* object) { Extras.push_back(object); }

  // The absolute offset of the next byte to be read.
  std::int64_t Position() const { return StreamPos - static_cast<std::int64_t>(BufLen - BufPos); }
  // Bytes between the read position and the end of the stream.
  std::int64_t BytesLeft() const { return StreamEnd - StreamPos + static_cast<std::int64_t>(BufLen - BufPos); }

  [[noreturn]] static void Invalid() { throw EReadError(kInvalidPropertyValue); }

private:
  template <class T>
  static T* Checked(TStreamable* object, bool required) {
    if (object == nullptr) {
      if (required) Invalid();
      return nullptr;
    }
    T* typed = dynamic_cast<T*>(object);
    if (typed == nullptr) Invalid();
    return typed;
  }
  std::uint8_t ReadByte() {
    if (BufPos == BufLen) Fill();
    return Buf[BufPos++];
  }
  std::uint8_t PeekByte() {
    if (BufPos == BufLen) Fill();
    return Buf[BufPos];
  }
  void Fill();
  void ReadBytes(void* out, std::size_t count);
  std::size_t ReadListLength();
  TStreamable* ReadReferenceAt(std::int32_t& index);
  TStreamable* ReadOwnedReference();
  void CheckOwnership() const;
  void FreeAll() noexcept;

  TStream& Stream;
  std::vector<std::uint8_t> Buf;
  std::size_t BufPos = 0;
  std::size_t BufLen = 0;
  std::int64_t StreamPos = 0;  // position of the stream after the buffered bytes
  std::int64_t StreamEnd = 0;
  // List lengths are only hints; together they may reserve no more items than the stream has
  // bytes, so lists that all claim huge lengths cannot multiply into gigabytes.
  std::int64_t HintBudget = 0;

  // Alive only while ReadObjectGraph runs.
  std::vector<TStreamable*> Table;
  std::vector<std::int32_t> Owner;  // per table entry: owning entry, kRootOwner, or kNoOwner
  std::vector<TStreamable*> Extras;
  std::int32_t CurrentBody = -1;
  bool InGraph = false;

  std::string LastClassName;
  TStreamableFactory LastFactory = nullptr;
};

// Writes values and object graphs through a buffer. Call Flush to learn of write errors; the
// destructor flushes too but cannot report them.
class TNetWriter {
public:
  explicit TNetWriter(TStream& stream, std::size_t bufferSize = 4096);
  ~TNetWriter();
  TNetWriter(const TNetWriter&) = delete;
  TNetWriter& operator=(const TNetWriter&) = delete;

  void WriteInteger(std::int32_t value);
  void WriteString(std::string_view value);
  void WriteBoolean(bool value);
  void WriteChar(char value);
  void WriteListBegin() { WriteByte(1); }
  void WriteListEnd() { WriteByte(0); }
  void WriteVersion(std::int32_t version) { WriteInteger(version); }

  void WriteObjectGraph(const TStreamable& root);
  void WriteReference(const TStreamable* object);
  template <class List>
  void WriteReferenceList(const List& list) {
    WriteListBegin();
    WriteInteger(static_cast<std::int32_t>(list.size()));
    for (const auto& item : list) WriteReference(&*item);
    WriteListEnd();
  }
  void Flush();

private:
  void WriteByte(std::uint8_t b) {
    if (BufLen == Buf.size()) Flush();
    Buf[BufLen++] = b;
  }
  void WriteBytes(const void* data, std::size_t count);

  TStream& Stream;
  std::vector<std::uint8_t> Buf;
  std::size_t BufLen = 0;

  struct TGraphState;
  TGraphState* Graph = nullptr;
};

template <class T>
std::unique_ptr<T> TNetReader::ReadObjectGraphAs() {
  std::unique_ptr<TStreamable> root = ReadObjectGraph();
  if (dynamic_cast<T*>(root.get()) == nullptr) {
    FailureLocation = std::string("object 1 (") + root->ClassName() + "), byte " + std::to_string(Position());
    Invalid();
  }
  return std::unique_ptr<T>(static_cast<T*>(root.release()));
}

// Empty items, and items another list already owns, are left out with a warning.
template <class T>
void TNetReader::ReadRefList(std::vector<T*>& list, bool owned) {
  ReadListBegin();
  list.clear();
  list.reserve(ReadListLength());
  bool skipped = false;
  while (!EndOfList()) {
    T* item = owned ? ReadOwned<T>() : ReadRef<T>();
    if (item != nullptr)
      list.push_back(item);
    else
      skipped = true;
  }
  if (skipped) Warn("empty or repeated items left out of a list");
  ReadListEnd();
}

template <class T>
void TNetReader::ReadOwnedList(std::vector<std::unique_ptr<T>>& list) {
  ReadListBegin();
  list.clear();
  list.reserve(ReadListLength());
  bool skipped = false;
  while (!EndOfList()) {
    if (T* item = ReadOwned<T>())
      list.emplace_back(item);
    else
      skipped = true;
  }
  if (skipped) Warn("empty or repeated items left out of a list");
  ReadListEnd();
}

}  // namespace hv
