#include <gtest/gtest.h>

#include <climits>
#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "AllocationProbe.h"
#include "TestStreams.h"
#include "core/ObjectStream.h"

namespace hv {
namespace {

using Bytes = std::vector<std::uint8_t>;
using test::TAllocationProbe;
using test::TFailingStream;
using test::TTempFile;

// Counts live test objects, so every test can see that a failed read freed what it made.
struct TCounted {
  TCounted() { ++Live; }
  TCounted(const TCounted&) { ++Live; }
  ~TCounted() { --Live; }
  static inline int Live = 0;
};

// A node with a name, a number, a link that does not own, and owned children.
class TNode : public TStreamable, public TCounted {
public:
  static constexpr const char* StaticClassName = "TNode";
  std::string Name;
  std::int32_t Value = 0;
  TNode* Link = nullptr;
  std::vector<std::unique_ptr<TNode>> Children;

  const char* ClassName() const override { return StaticClassName; }
  void ReadFrom(TNetReader& reader) override {
    Name = reader.ReadString();
    Value = reader.ReadInteger();
    Link = reader.ReadRef<TNode>();
    reader.ReadOwnedList(Children);
  }
  void WriteTo(TNetWriter& writer) const override {
    writer.WriteString(Name);
    writer.WriteInteger(Value);
    writer.WriteReference(Link);
    writer.WriteReferenceList(Children);
  }
  int ObjectCount() const override { return 1 + CountObjects(Children); }
  void ForgetOwned() override {
    for (auto& child : Children) child.release();
    Children.clear();
  }
};

// A root holding one owned list of nodes, the shape of the smallest document.
class TDocument : public TStreamable, public TCounted {
public:
  static constexpr const char* StaticClassName = "TDocument";
  std::vector<std::unique_ptr<TNode>> Entries;

  const char* ClassName() const override { return StaticClassName; }
  void ReadFrom(TNetReader& reader) override { reader.ReadOwnedList(Entries); }
  void WriteTo(TNetWriter& writer) const override { writer.WriteReferenceList(Entries); }
  int ObjectCount() const override { return 1 + CountObjects(Entries); }
  void ForgetOwned() override {
    for (auto& entry : Entries) entry.release();
    Entries.clear();
  }
};

// A registered class that is not a node, for references of the wrong class.
class TLeaf : public TStreamable, public TCounted {
public:
  static constexpr const char* StaticClassName = "TLeaf";
  bool Flag = false;
  char Letter = ' ';

  const char* ClassName() const override { return StaticClassName; }
  void ReadFrom(TNetReader& reader) override {
    Flag = reader.ReadBoolean();
    Letter = reader.ReadChar();
  }
  void WriteTo(TNetWriter& writer) const override {
    writer.WriteBoolean(Flag);
    writer.WriteChar(Letter);
  }
};

// Owns a required and an optional node and lists nodes it does not own.
class TPair : public TStreamable, public TCounted {
public:
  static constexpr const char* StaticClassName = "TPair";
  std::unique_ptr<TNode> First;
  std::unique_ptr<TNode> Second;
  std::vector<TNode*> Refs;

  const char* ClassName() const override { return StaticClassName; }
  void ReadFrom(TNetReader& reader) override {
    First.reset(reader.ReadOwned<TNode>(true));
    Second.reset(reader.ReadOwned<TNode>());
    reader.ReadRefList(Refs, false);
  }
  void WriteTo(TNetWriter& writer) const override {
    writer.WriteReference(First.get());
    writer.WriteReference(Second.get());
    writer.WriteReferenceList(Refs);
  }
  int ObjectCount() const override {
    return 1 + (First ? First->ObjectCount() : 0) + (Second ? Second->ObjectCount() : 0);
  }
  void ForgetOwned() override {
    First.release();
    Second.release();
  }
};

const bool kRegistered = [] {
  RegisterClass<TNode>();
  RegisterClass<TDocument>();
  RegisterClass<TLeaf>();
  RegisterClass<TPair>();
  return true;
}();

std::string Hex(const Bytes& bytes) {
  std::string out;
  char buf[4];
  for (std::uint8_t b : bytes) {
    std::snprintf(buf, sizeof buf, "%02X ", b);
    out += buf;
  }
  if (!out.empty()) out.pop_back();
  return out;
}

Bytes Concat(std::initializer_list<Bytes> parts) {
  Bytes out;
  for (const Bytes& p : parts) out.insert(out.end(), p.begin(), p.end());
  return out;
}

Bytes Text(const std::string& s) { return Bytes(s.begin(), s.end()); }

// Bytes produced by the writer's value primitives, for hand-made (and ill-formed) streams.
Bytes Build(const std::function<void(TNetWriter&)>& write) {
  TMemoryStream stream;
  {
    TNetWriter writer(stream);
    write(writer);
    writer.Flush();
  }
  return stream.Data();
}

void NewObject(TNetWriter& w, const char* className) {
  w.WriteInteger(-1);
  w.WriteString(className);
}

// A node body whose children are given as raw reference integers (-1 means a new TNode).
void NodeBody(TNetWriter& w, const char* name, std::int32_t value, std::int32_t link,
              std::initializer_list<std::int32_t> children, std::int32_t claimedLength = -100) {
  w.WriteString(name);
  w.WriteInteger(value);
  if (link == -1)
    NewObject(w, "TNode");
  else
    w.WriteInteger(link);
  w.WriteListBegin();
  w.WriteInteger(claimedLength == -100 ? static_cast<std::int32_t>(children.size()) : claimedLength);
  for (std::int32_t c : children) {
    if (c == -1)
      NewObject(w, "TNode");
    else
      w.WriteInteger(c);
  }
  w.WriteListEnd();
}

Bytes Write(const TStreamable& root, std::size_t bufferSize = 4096) {
  TMemoryStream stream;
  TNetWriter writer(stream, bufferSize);
  writer.WriteObjectGraph(root);
  writer.Flush();
  return stream.Data();
}

std::unique_ptr<TStreamable> Read(const Bytes& bytes, std::size_t bufferSize = 4096) {
  TMemoryStream stream(bytes);
  TNetReader reader(stream, bufferSize);
  return reader.ReadObjectGraph();
}

// The outcome of reading a graph: "ok", or the error class and message.
std::string ReadOutcome(const Bytes& bytes, std::size_t bufferSize = 4096) {
  try {
    Read(bytes, bufferSize);
    return "ok";
  } catch (const EListError& e) {
    return std::string("EListError: ") + e.what();
  } catch (const EReadError& e) {
    return std::string("EReadError: ") + e.what();
  } catch (const EError& e) {
    return std::string("EError: ") + e.what();
  }
}

std::unique_ptr<TNode> MakeNode(std::string name, std::int32_t value) {
  auto node = std::make_unique<TNode>();
  node->Name = std::move(name);
  node->Value = value;
  return node;
}

// A document with nesting, links across the tree, back links, long strings and wide integers.
std::unique_ptr<TDocument> MakeRichDocument() {
  auto doc = std::make_unique<TDocument>();
  for (int i = 0; i < 3; ++i) {
    auto node = MakeNode("entry " + std::to_string(i), i * 40000 - 70000);
    for (int j = 0; j < 2; ++j) node->Children.push_back(MakeNode(std::string(150 * j + 1, char('a' + j)), -j));
    doc->Entries.push_back(std::move(node));
  }
  doc->Entries[0]->Name = std::string(300, 'x');
  doc->Entries[0]->Link = doc->Entries[2]->Children[1].get();
  doc->Entries[2]->Children[1]->Link = doc->Entries[0].get();
  doc->Entries[1]->Children[0]->Link = doc->Entries[1]->Children[0].get();
  return doc;
}

class ObjectStream : public ::testing::Test {
protected:
  void TearDown() override { EXPECT_EQ(TCounted::Live, 0) << "test objects leaked or freed twice"; }
};

TEST_F(ObjectStream, EmptyDocumentIsWrittenByteForByte) {
  TDocument doc;
  const Bytes expected = Concat({{0x02, 0x01, 0x02, 0xFF, 0x06, 0x09}, Text("TDocument"), {0x01, 0x02, 0x00, 0x00}});
  EXPECT_EQ(Hex(Write(doc)), Hex(expected));
  auto root = Read(expected);
  auto* read = dynamic_cast<TDocument*>(root.get());
  ASSERT_NE(read, nullptr);
  EXPECT_TRUE(read->Entries.empty());
}

TEST_F(ObjectStream, SharedObjectIsWrittenOnceAndReadBackAsOneObject) {
  TDocument doc;
  doc.Entries.push_back(MakeNode("a", 1));
  doc.Entries.push_back(MakeNode("b", 2));
  doc.Entries[0]->Link = doc.Entries[1].get();
  doc.Entries[1]->Link = doc.Entries[0].get();
  const Bytes expected = Concat({
      {0x02, 0x03, 0x02, 0xFF, 0x06, 0x09}, Text("TDocument"),
      {0x01, 0x02, 0x02, 0x02, 0xFF, 0x06, 0x05}, Text("TNode"), {0x02, 0xFF, 0x06, 0x05}, Text("TNode"), {0x00},
      {0x06, 0x01, 'a', 0x02, 0x01, 0x02, 0x03, 0x01, 0x02, 0x00, 0x00},
      {0x06, 0x01, 'b', 0x02, 0x02, 0x02, 0x02, 0x01, 0x02, 0x00, 0x00},
  });
  ASSERT_EQ(Hex(Write(doc)), Hex(expected));

  auto root = Read(expected);
  auto& read = dynamic_cast<TDocument&>(*root);
  ASSERT_EQ(read.Entries.size(), 2u);
  EXPECT_EQ(read.Entries[0]->Link, read.Entries[1].get());
  EXPECT_EQ(read.Entries[1]->Link, read.Entries[0].get());
}

TEST_F(ObjectStream, RichGraphSurvivesARoundTripThroughAnyBufferSize) {
  auto doc = MakeRichDocument();
  const Bytes bytes = Write(*doc);
  for (std::size_t bufferSize : {16u, 17u, 61u, 4096u}) {
    EXPECT_EQ(Hex(Write(*doc, bufferSize)), Hex(bytes)) << "writer buffer " << bufferSize;
    auto root = Read(bytes, bufferSize);
    auto& read = dynamic_cast<TDocument&>(*root);
    ASSERT_EQ(read.Entries.size(), 3u);
    EXPECT_EQ(read.Entries[0]->Name, std::string(300, 'x'));
    EXPECT_EQ(read.Entries[2]->Value, 10000);
    EXPECT_EQ(read.Entries[1]->Children[1]->Name, std::string(151, 'b'));
    EXPECT_EQ(read.Entries[0]->Link, read.Entries[2]->Children[1].get());
    EXPECT_EQ(read.Entries[2]->Children[1]->Link, read.Entries[0].get());
    EXPECT_EQ(read.Entries[1]->Children[0]->Link, read.Entries[1]->Children[0].get());
    EXPECT_EQ(Hex(Write(read)), Hex(bytes)) << "read graph writes back differently";
  }
}

// A link may introduce an object before the body that owns it claims it.
TEST_F(ObjectStream, ObjectMetThroughALinkCanBeClaimedByItsOwnerLater) {
  TDocument doc;
  doc.Entries.push_back(MakeNode("a", 0));
  doc.Entries.push_back(MakeNode("b", 0));
  doc.Entries[1]->Children.push_back(MakeNode("c", 0));
  doc.Entries[0]->Link = doc.Entries[1]->Children[0].get();
  auto root = Read(Write(doc));
  auto& read = dynamic_cast<TDocument&>(*root);
  ASSERT_EQ(read.Entries[1]->Children.size(), 1u);
  EXPECT_EQ(read.Entries[0]->Link, read.Entries[1]->Children[0].get());
}

TEST_F(ObjectStream, PairWithOptionalAndUnownedReferencesRoundTrips) {
  TPair pair;
  pair.First = MakeNode("first", 1);
  pair.Refs = {pair.First.get(), pair.First.get()};
  auto root = Read(Write(pair));
  auto& read = dynamic_cast<TPair&>(*root);
  ASSERT_NE(read.First, nullptr);
  EXPECT_EQ(read.Second, nullptr);
  EXPECT_EQ(read.Refs, (std::vector<TNode*>{read.First.get(), read.First.get()}));
}

struct TIntCase {
  std::int32_t Value;
  Bytes Encoded;
};

class IntegerEncoding : public ::testing::TestWithParam<TIntCase> {};

TEST_P(IntegerEncoding, WritesTheShortestFormAndReadsItBack) {
  const TIntCase c = GetParam();
  EXPECT_EQ(Hex(Build([&](TNetWriter& w) { w.WriteInteger(c.Value); })), Hex(c.Encoded));
  TMemoryStream stream(c.Encoded);
  {
    TNetReader reader(stream);
    EXPECT_EQ(reader.ReadInteger(), c.Value);
  }
  EXPECT_EQ(stream.Position(), static_cast<std::int64_t>(c.Encoded.size()));
}

INSTANTIATE_TEST_SUITE_P(
    ObjectStream, IntegerEncoding,
    ::testing::Values(TIntCase{0, {0x02, 0x00}}, TIntCase{127, {0x02, 0x7F}}, TIntCase{-128, {0x02, 0x80}},
                      TIntCase{-2, {0x02, 0xFE}}, TIntCase{128, {0x03, 0x80, 0x00}},
                      TIntCase{-129, {0x03, 0x7F, 0xFF}}, TIntCase{32767, {0x03, 0xFF, 0x7F}},
                      TIntCase{-32768, {0x03, 0x00, 0x80}}, TIntCase{32768, {0x04, 0x00, 0x80, 0x00, 0x00}},
                      TIntCase{-32769, {0x04, 0xFF, 0x7F, 0xFF, 0xFF}},
                      TIntCase{INT32_MAX, {0x04, 0xFF, 0xFF, 0xFF, 0x7F}},
                      TIntCase{INT32_MIN, {0x04, 0x00, 0x00, 0x00, 0x80}}));

TEST_F(ObjectStream, ReaderAcceptsWiderIntegerFormsThanNeeded) {
  const std::vector<std::pair<Bytes, std::int32_t>> cases = {
      {{0x02, 0xFF}, -1}, {{0x03, 0xFF, 0xFF}, -1}, {{0x03, 0x05, 0x00}, 5}, {{0x04, 0x05, 0x00, 0x00, 0x00}, 5},
      {{0x04, 0xFF, 0xFF, 0xFF, 0xFF}, -1}};
  for (const auto& [bytes, value] : cases) {
    TMemoryStream stream(bytes);
    TNetReader reader(stream);
    EXPECT_EQ(reader.ReadInteger(), value) << Hex(bytes);
  }
}

TEST_F(ObjectStream, StringsUseTheShortFormBelow256Bytes) {
  for (std::size_t length : {0u, 1u, 255u, 256u, 4095u, 4096u, 70000u}) {
    std::string s(length, '\0');
    for (std::size_t i = 0; i < length; ++i) s[i] = static_cast<char>(i * 7 + 1);
    const Bytes bytes = Build([&](TNetWriter& w) { w.WriteString(s); });
    const Bytes header = length < 256 ? Bytes{0x06, static_cast<std::uint8_t>(length)}
                                      : Bytes{0x0C, static_cast<std::uint8_t>(length), static_cast<std::uint8_t>(length >> 8),
                                              static_cast<std::uint8_t>(length >> 16), 0x00};
    ASSERT_EQ(bytes.size(), header.size() + length);
    EXPECT_EQ(Hex(Bytes(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(header.size()))), Hex(header));
    for (std::size_t bufferSize : {16u, 4096u}) {
      TMemoryStream stream(bytes);
      TNetReader reader(stream, bufferSize);
      EXPECT_EQ(reader.ReadString(), s) << "length " << length << ", buffer " << bufferSize;
      EXPECT_EQ(reader.BytesLeft(), 0);
    }
  }
}

TEST_F(ObjectStream, BooleanIsTrueOnlyForTag9AndTakesOneByte) {
  EXPECT_EQ(Hex(Build([](TNetWriter& w) {
              w.WriteBoolean(false);
              w.WriteBoolean(true);
            })),
            "08 09");
  for (int tag = 0; tag < 256; ++tag) {
    TMemoryStream stream(Bytes{static_cast<std::uint8_t>(tag), 0x09});
    {
      TNetReader reader(stream);
      EXPECT_EQ(reader.ReadBoolean(), tag == 9) << "tag " << tag;
    }
    EXPECT_EQ(stream.Position(), 1) << "tag " << tag;
  }
}

TEST_F(ObjectStream, CharacterIsAOneByteString) {
  EXPECT_EQ(Hex(Build([](TNetWriter& w) { w.WriteChar('x'); })), "06 01 78");
  {
    TMemoryStream stream(Bytes{0x06, 0x01, 0xE9});
    TNetReader reader(stream);
    EXPECT_EQ(reader.ReadChar(), '\xE9');
  }
  for (const Bytes& bad : {Bytes{0x06, 0x00}, Bytes{0x06, 0x02, 'x', 'y'}, Bytes{0x0C, 0x01, 0, 0, 0, 'x'},
                           Bytes{0x02, 'x'}}) {
    TMemoryStream stream(bad);
    TNetReader reader(stream);
    try {
      reader.ReadChar();
      ADD_FAILURE() << "accepted " << Hex(bad);
    } catch (const EReadError& e) {
      EXPECT_STREQ(e.what(), "Invalid property value");
    }
  }
}

TEST_F(ObjectStream, EndOfListPeeksWithoutConsuming) {
  TMemoryStream stream(Bytes{0x01, 0x02, 0x07, 0x00});
  TNetReader reader(stream);
  reader.ReadListBegin();
  EXPECT_FALSE(reader.EndOfList());
  EXPECT_FALSE(reader.EndOfList());
  EXPECT_EQ(reader.ReadInteger(), 7);
  EXPECT_TRUE(reader.EndOfList());
  reader.ReadListEnd();
  EXPECT_EQ(reader.BytesLeft(), 0);
}

TEST_F(ObjectStream, VersionIsAnIntegerRememberedByTheReader) {
  const Bytes bytes = Build([](TNetWriter& w) { w.WriteVersion(300); });
  EXPECT_EQ(Hex(bytes), "03 2C 01");
  TMemoryStream stream(bytes);
  TNetReader reader(stream);
  EXPECT_EQ(reader.ReadVersion(), 300);
  EXPECT_EQ(reader.Version, 300);
}

// The terminator decides how many items a list has; the written length is only a size hint.
TEST_F(ObjectStream, ListLengthIsOnlyAHint) {
  for (std::int32_t claimed : {0, 1, 7, INT32_MAX}) {
    const Bytes bytes = Build([&](TNetWriter& w) {
      w.WriteInteger(3);
      NewObject(w, "TDocument");
      w.WriteListBegin();
      w.WriteInteger(claimed);
      NewObject(w, "TNode");
      NewObject(w, "TNode");
      w.WriteListEnd();
      NodeBody(w, "p", 1, -2, {});
      NodeBody(w, "q", 2, -2, {});
    });
    TAllocationProbe probe;
    auto root = Read(bytes);
    EXPECT_LT(probe.Largest(), 64u * 1024) << "claimed " << claimed;
    auto& doc = dynamic_cast<TDocument&>(*root);
    ASSERT_EQ(doc.Entries.size(), 2u) << "claimed " << claimed;
    EXPECT_EQ(doc.Entries[1]->Name, "q");
  }
}

TEST_F(ObjectStream, ClassNamesMatchIgnoringAsciiCase) {
  for (const char* name : {"TDocument", "tdocument", "TDOCUMENT", "tDoCuMeNt"}) {
    const Bytes bytes = Build([&](TNetWriter& w) {
      w.WriteInteger(1);
      NewObject(w, name);
      w.WriteListBegin();
      w.WriteInteger(0);
      w.WriteListEnd();
    });
    auto root = Read(bytes);
    EXPECT_NE(dynamic_cast<TDocument*>(root.get()), nullptr) << name;
  }
  // Only ASCII letters fold: these Latin-1 letters differ in case and must not match.
  TClassRegistry::Register("TLeaf\xC4", [] { return static_cast<TStreamable*>(new TLeaf); });
  EXPECT_NE(TClassRegistry::Find("tleaf\xC4"), nullptr);
  EXPECT_EQ(TClassRegistry::Find("TLeaf\xE4"), nullptr);
  EXPECT_EQ(TClassRegistry::Find("TLeaf"), TClassRegistry::Find("tLEAF"));
  EXPECT_EQ(TClassRegistry::Find("TLea"), nullptr);
}

// Each reader gives back the bytes it buffered but did not use, so graphs can follow each other.
TEST_F(ObjectStream, ReaderLeavesTheStreamJustAfterWhatItConsumed) {
  auto first = MakeRichDocument();
  TPair second;
  second.First = MakeNode("second", 2);
  const Bytes firstBytes = Write(*first);
  const Bytes secondBytes = Write(second);
  const Bytes all = Concat({firstBytes, secondBytes, Build([](TNetWriter& w) { w.WriteInteger(4242); })});

  auto readBackToBack = [&](TStream& stream) {
    std::unique_ptr<TStreamable> a;
    std::unique_ptr<TStreamable> b;
    {
      TNetReader reader(stream);
      a = reader.ReadObjectGraph();
    }
    EXPECT_EQ(stream.Position(), static_cast<std::int64_t>(firstBytes.size()));
    {
      TNetReader reader(stream, 16);
      b = reader.ReadObjectGraph();
    }
    EXPECT_EQ(stream.Position(), static_cast<std::int64_t>(firstBytes.size() + secondBytes.size()));
    {
      TNetReader reader(stream);
      EXPECT_EQ(reader.ReadInteger(), 4242);
    }
    EXPECT_EQ(stream.Position(), stream.Size());
    EXPECT_EQ(dynamic_cast<TDocument&>(*a).Entries.size(), 3u);
    EXPECT_EQ(dynamic_cast<TPair&>(*b).First->Name, "second");
  };

  TMemoryStream memory(all);
  readBackToBack(memory);

  TTempFile file("graphs");
  {
    TFileStream out(file.Path, TFileStream::TMode::Create);
    out.Write(all.data(), all.size());
  }
  TFileStream in(file.Path, TFileStream::TMode::OpenRead);
  readBackToBack(in);
}

struct TFaultCase {
  const char* Name;
  std::function<void(TNetWriter&)> Stream;
  std::string Outcome;
};

class ReadFault : public ObjectStream, public ::testing::WithParamInterface<TFaultCase> {};

TEST_P(ReadFault, FailsWithTheExactMessageAndFreesEverything) {
  const Bytes bytes = Build(GetParam().Stream);
  EXPECT_EQ(ReadOutcome(bytes), GetParam().Outcome);
  EXPECT_EQ(ReadOutcome(bytes, 16), GetParam().Outcome);
}

// A document whose only entry is the given reference.
std::function<void(TNetWriter&)> DocWithEntry(std::function<void(TNetWriter&)> entry) {
  return [entry](TNetWriter& w) {
    w.WriteInteger(2);
    NewObject(w, "TDocument");
    w.WriteListBegin();
    w.WriteInteger(1);
    entry(w);
    w.WriteListEnd();
  };
}

const std::string kInvalid = "EReadError: Invalid property value";
const std::string kTruncated = "EReadError: Stream read error";
const std::string kLooseInUse = "EReadError: Invalid property value: object 3 is owned by nothing but still used";

INSTANTIATE_TEST_SUITE_P(
    ObjectStream, ReadFault,
    ::testing::Values(
        TFaultCase{"CountWithUnknownTag", [](TNetWriter& w) { w.WriteBoolean(true); }, kInvalid},
        TFaultCase{"ClassNameNotAString",
                   [](TNetWriter& w) {
                     w.WriteInteger(1);
                     w.WriteInteger(-1);
                     w.WriteInteger(5);
                   },
                   kInvalid},
        TFaultCase{"UnknownClass",
                   [](TNetWriter& w) {
                     w.WriteInteger(1);
                     NewObject(w, "Foo");
                   },
                   "EReadError: Class Foo not found"},
        TFaultCase{"NegativeCount",
                   [](TNetWriter& w) {
                     w.WriteInteger(-1);
                     NewObject(w, "TDocument");
                   },
                   "EListError: List capacity out of bounds (-1)"},
        TFaultCase{"NegativeListLength",
                   [](TNetWriter& w) {
                     w.WriteInteger(1);
                     NewObject(w, "TDocument");
                     w.WriteListBegin();
                     w.WriteInteger(-5);
                     w.WriteListEnd();
                   },
                   "EListError: List capacity out of bounds (-5)"},
        TFaultCase{"ReferenceBeyondTable", DocWithEntry([](TNetWriter& w) { w.WriteInteger(5); }),
                   "EListError: List index out of bounds (4)"},
        TFaultCase{"ReferenceZero", DocWithEntry([](TNetWriter& w) { w.WriteInteger(0); }),
                   "EListError: List index out of bounds (-1)"},
        TFaultCase{"ReferenceBelowNil", DocWithEntry([](TNetWriter& w) { w.WriteInteger(-3); }),
                   "EListError: List index out of bounds (-4)"},
        TFaultCase{"RootIsABackReference",
                   [](TNetWriter& w) {
                     w.WriteInteger(1);
                     w.WriteInteger(1);
                   },
                   "EListError: List index out of bounds (0)"},
        TFaultCase{"RootIsNil",
                   [](TNetWriter& w) {
                     w.WriteInteger(1);
                     w.WriteInteger(-2);
                   },
                   kInvalid},
        TFaultCase{"ListBeginMissing",
                   [](TNetWriter& w) {
                     w.WriteInteger(1);
                     NewObject(w, "TDocument");
                     w.WriteInteger(0);
                   },
                   kInvalid},
        TFaultCase{"ListEndReplaced",
                   [](TNetWriter& w) {
                     w.WriteInteger(1);
                     NewObject(w, "TDocument");
                     w.WriteListBegin();
                     w.WriteInteger(0);
                     w.WriteBoolean(false);
                   },
                   kInvalid},
        TFaultCase{"WrongClassInList", DocWithEntry([](TNetWriter& w) { NewObject(w, "TLeaf"); }), kInvalid},
        TFaultCase{"NilRequiredObject",
                   [](TNetWriter& w) {
                     w.WriteInteger(1);
                     NewObject(w, "TPair");
                     w.WriteInteger(-2);
                   },
                   kInvalid},
        TFaultCase{"WrongClassOfLink",
                   [](TNetWriter& w) {
                     DocWithEntry([](TNetWriter& x) { NewObject(x, "TNode"); })(w);
                     w.WriteString("a");
                     w.WriteInteger(0);
                     w.WriteInteger(1);  // the document, not a node
                   },
                   kInvalid},
        TFaultCase{"NodeOwningItself",
                   [](TNetWriter& w) {
                     DocWithEntry([](TNetWriter& x) { NewObject(x, "TNode"); })(w);
                     NodeBody(w, "a", 0, -1, {});  // introduces node 3 without owning it
                     NodeBody(w, "b", 0, -2, {3});
                   },
                   kLooseInUse},
        TFaultCase{"OrphanObject",
                   [](TNetWriter& w) {
                     DocWithEntry([](TNetWriter& x) { NewObject(x, "TNode"); })(w);
                     NodeBody(w, "a", 0, -1, {});  // the link introduces a node nobody owns
                     NodeBody(w, "orphan", 0, -2, {});
                   },
                   kLooseInUse},
        TFaultCase{"OwnershipCycle",
                   [](TNetWriter& w) {
                     DocWithEntry([](TNetWriter& x) { NewObject(x, "TNode"); })(w);
                     NodeBody(w, "a", 0, -1, {});     // introduces node 3 without owning it
                     NodeBody(w, "b", 0, -2, {-1});   // node 3 owns node 4
                     NodeBody(w, "c", 0, -2, {3});    // node 4 owns node 3
                   },
                   "EReadError: Invalid property value: object 4 is owned by nothing but still used"},
        TFaultCase{"EmptyStream", [](TNetWriter&) {}, kTruncated}),
    [](const auto& param) { return std::string(param.param.Name); });

// Faults the reader can step over: an empty item, a second claim on an object. The graph reads
// without them, and each is reported with where it was.
TEST_F(ObjectStream, SafeFaultsAreSteppedOverWithAWarningThatSaysWhere) {
  const auto readWarned = [](const Bytes& bytes) {
    TMemoryStream stream(bytes);
    TNetReader reader(stream);
    std::unique_ptr<TStreamable> root = reader.ReadObjectGraph();
    return std::make_pair(std::move(root), reader.Warnings);
  };
  auto [empty, emptyWarnings] = readWarned(Build(DocWithEntry([](TNetWriter& w) { w.WriteInteger(-2); })));
  EXPECT_TRUE(dynamic_cast<TDocument&>(*empty).Entries.empty());
  EXPECT_EQ(emptyWarnings, std::vector<std::string>{"empty or repeated items left out of a list at object 1 "
                                                    "(TDocument), byte 20"});

  auto [twice, twiceWarnings] = readWarned(Build([](TNetWriter& w) {
    w.WriteInteger(3);
    NewObject(w, "TDocument");
    w.WriteListBegin();
    w.WriteInteger(2);
    NewObject(w, "TNode");
    w.WriteInteger(2);
    w.WriteListEnd();
    NodeBody(w, "only", 7, -2, {});
  }));
  ASSERT_EQ(dynamic_cast<TDocument&>(*twice).Entries.size(), 1u);
  EXPECT_EQ(twiceWarnings.size(), 2u);

  twice.reset();
  empty.reset();
  EXPECT_EQ(TCounted::Live, 0);
}

TEST_F(ObjectStream, SixteenBitFieldsRefuseWiderValuesInsteadOfCuttingThem) {
  for (const std::int32_t value : {32767, -32768, 32768, -32769, 70000}) {
    TMemoryStream stream;
    {
      TNetWriter writer(stream);
      writer.WriteInteger(value);
    }
    stream.Seek(0);
    TNetReader reader(stream);
    if (value >= -32768 && value <= 32767) {
      EXPECT_EQ(reader.ReadSmallInt("marks"), value);
      continue;
    }
    try {
      reader.ReadSmallInt("marks");
      ADD_FAILURE() << value;
    } catch (const EReadError& e) {
      EXPECT_EQ(std::string(e.what()), "Value " + std::to_string(value) + " is too large for marks");
    }
  }
}

// A document with one node whose name starts with the given raw bytes.
Bytes DocWithNodeNamed(const Bytes& nameBytes) {
  return Concat({Build(DocWithEntry([](TNetWriter& x) { NewObject(x, "TNode"); })), nameBytes});
}

TEST_F(ObjectStream, StringLengthBeyondTheStreamIsNotAllocated) {
  const Bytes huge = DocWithNodeNamed({0x0C, 0xFF, 0xFF, 0xFF, 0x7F, 'a', 'b'});
  TAllocationProbe probe;
  EXPECT_EQ(ReadOutcome(huge), kTruncated);
  EXPECT_LT(probe.Largest(), 64u * 1024);
  EXPECT_EQ(ReadOutcome(DocWithNodeNamed({0x0C, 0xFF, 0xFF, 0xFF, 0xFF, 'a'})), kInvalid);
  EXPECT_EQ(ReadOutcome(DocWithNodeNamed({0x06, 0x05, 'a', 'b'})), kTruncated);
}

TEST_F(ObjectStream, HugeObjectCountIsOnlyAHint) {
  const Bytes bytes = Build([](TNetWriter& w) {
    w.WriteInteger(INT32_MAX);
    NewObject(w, "TDocument");
    w.WriteListBegin();
    w.WriteInteger(INT32_MAX);
    w.WriteListEnd();
  });
  TAllocationProbe probe;
  auto root = Read(bytes);
  EXPECT_LT(probe.Largest(), 64u * 1024);
  EXPECT_NE(dynamic_cast<TDocument*>(root.get()), nullptr);
}

// Every list may claim a huge length; what the reader sets aside for them together must stay in
// proportion to the stream, or a small file could demand gigabytes.
TEST_F(ObjectStream, ManyListsClaimingHugeLengthsStayInProportionToTheStream) {
  constexpr int kNodes = 3000;
  const Bytes bytes = Build([](TNetWriter& w) {
    w.WriteInteger(kNodes + 1);
    NewObject(w, "TDocument");
    w.WriteListBegin();
    w.WriteInteger(kNodes);
    for (int i = 0; i < kNodes; ++i) NewObject(w, "TNode");
    w.WriteListEnd();
    for (int i = 0; i < kNodes; ++i) NodeBody(w, "", i, -2, {}, INT32_MAX);
  });
  TAllocationProbe probe;
  auto root = Read(bytes);
  EXPECT_LT(probe.Total(), 32 * bytes.size()) << "stream of " << bytes.size() << " bytes";
  EXPECT_EQ(dynamic_cast<TDocument&>(*root).Entries.size(), static_cast<std::size_t>(kNodes));
}

TEST_F(ObjectStream, TruncationAtEveryOffsetIsAReadError) {
  const Bytes bytes = Write(*MakeRichDocument());
  ASSERT_GT(bytes.size(), 300u);
  for (std::size_t length = 0; length < bytes.size(); ++length) {
    const Bytes cut(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(length));
    for (std::size_t bufferSize : {16u, 4096u}) {
      ASSERT_EQ(ReadOutcome(cut, bufferSize), kTruncated) << "cut at " << length << ", buffer " << bufferSize;
      ASSERT_EQ(TCounted::Live, 0) << "cut at " << length;
    }
  }
}

// Any single corrupted byte either still reads or fails with a program error; nothing else
// (crash, leak, foreign exception) is acceptable.
TEST_F(ObjectStream, CorruptedByteNeverEscapesAsAnythingButAnError) {
  const Bytes bytes = Write(*MakeRichDocument());
  for (std::size_t at = 0; at < bytes.size(); ++at) {
    for (std::uint8_t value : {0x00, 0x01, 0x02, 0x03, 0x04, 0x06, 0x09, 0x0C, 0x7F, 0x80, 0xFE, 0xFF}) {
      Bytes bad = bytes;
      bad[at] = value;
      try {
        Read(bad, 16);
      } catch (const EError&) {
      } catch (const std::exception& e) {
        ADD_FAILURE() << "byte " << at << " = " << int(value) << ": " << e.what();
      }
      ASSERT_EQ(TCounted::Live, 0) << "byte " << at << " = " << int(value);
    }
  }
}

TEST_F(ObjectStream, ReadErrorOfTheUnderlyingStreamPropagatesAndFreesEverything) {
  const Bytes bytes = Write(*MakeRichDocument());
  for (std::size_t limit : {0u, 1u, 40u, 200u, 400u}) {
    TFailingStream stream(bytes, limit);
    TNetReader reader(stream, 16);
    try {
      reader.ReadObjectGraph();
      ADD_FAILURE() << "limit " << limit;
    } catch (const EInOutError& e) {
      EXPECT_STREQ(e.what(), "Device gone");
    }
    EXPECT_EQ(TCounted::Live, 0) << "limit " << limit;
  }
}

TEST_F(ObjectStream, RootOfTheWrongClassIsRefusedAndFreed) {
  TMemoryStream stream(Write(*MakeRichDocument()));
  TNetReader reader(stream);
  try {
    reader.ReadObjectGraphAs<TPair>();
    FAIL() << "no error";
  } catch (const EReadError& e) {
    EXPECT_STREQ(e.what(), "Invalid property value");
  }
}

TEST_F(ObjectStream, WriteErrorIsReportedByTheWriterAndNothingPretendsToSucceed) {
  auto doc = MakeRichDocument();
  for (int i = 0; i < 20; ++i) doc->Entries.push_back(MakeNode(std::string(400, char('A' + i)), i));
  const Bytes bytes = Write(*doc);
  ASSERT_GT(bytes.size(), 8192u);
  ASSERT_NE(bytes.size() % 4096, 0u);

  for (std::size_t limit : {std::size_t{0}, std::size_t{1}, std::size_t{4095}, std::size_t{4096},
                            std::size_t{5000}, bytes.size() - 1}) {
    TFailingStream stream(limit);
    TNetWriter writer(stream);
    // The last partial buffer only reaches the stream in Flush, so a limit inside it fails there.
    const bool failsInFlush = limit >= bytes.size() / 4096 * 4096;
    if (failsInFlush) {
      EXPECT_NO_THROW(writer.WriteObjectGraph(*doc)) << "limit " << limit;
      EXPECT_THROW(writer.Flush(), EInOutError) << "limit " << limit;
    } else {
      try {
        writer.WriteObjectGraph(*doc);
        ADD_FAILURE() << "limit " << limit;
      } catch (const EInOutError& e) {
        EXPECT_STREQ(e.what(), "Disk full");
      }
    }
  }

  TFailingStream roomy(bytes.size());
  TNetWriter writer(roomy);
  writer.WriteObjectGraph(*doc);
  writer.Flush();
  EXPECT_EQ(roomy.Data(), bytes);
}

TEST_F(ObjectStream, IdentitiesRestartWithEachGraph) {
  auto doc = MakeRichDocument();
  TMemoryStream stream;
  TNetWriter writer(stream);
  EXPECT_THROW(writer.WriteReference(doc.get()), EError) << "a reference outside a graph has no identity";
  writer.WriteObjectGraph(*doc);
  writer.WriteObjectGraph(*doc);
  writer.Flush();
  const Bytes once = Write(*doc);
  EXPECT_EQ(stream.Data(), Concat({once, once})) << "identities must restart with each graph";
}

}  // namespace
}  // namespace hv
