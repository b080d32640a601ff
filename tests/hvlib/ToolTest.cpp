#include <sys/wait.h>

#include <cstdio>
#include <set>

#include "DocumentDump.h"
#include "HvlibFixture.h"
#include "LibraryDump.h"
#include "LibraryOpen.h"
#include "ManifestCompiler.h"
#include "Synthesiser.h"
#include "model/Categories.h"
#include "model/Document.h"
#include "model/Library.h"
#include "model/Segments.h"
#include "model/TextStore.h"

namespace hvtest {
namespace {

using namespace hv;
using namespace hv::hvlib;

TOpenedLibrary OpenBuilt(const fs::path& out, const std::string& key) {
  return OpenLibraryFiles((out / (key + ".txt")).string(), (out / (key + ".dat")).string());
}

bool Contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

class DumpTest : public THvlibTest {};

TEST_F(DumpTest, TextDumpShowsEveryTreeNodeAndSegment) {
  WriteSources(BaseManifest());
  BuildLibrary(Src.string(), Out.string());
  TOpenedLibrary opened = OpenBuilt(Out, "Lib");
  std::ostringstream out;
  EXPECT_EQ(DumpLibrary(*opened.Library, out, false), 0);
  const std::string text = out.str();
  for (const char* part : {"Topics \"Every topic\"", "Question types \"All question types\"", "Levels \"All levels\"",
                           "Papers \"All papers\"", "Questions \"All questions\"", "Syllabus \"Specification\"",
                           "Resources \"All resources\"", "\n  Mechanics\n    Forces\n    Motion\n  Waves\n",
                           "\n    P102  \"A question in parts\"  [N]\n      P102a  \"Part a\"  [Q]  related S1.1\n",
                           "\n    1.12  \"Motion\"  [S]\n"})
    EXPECT_TRUE(Contains(text, part)) << part << "\n" << text;
  int segments = 0;
  for (TIdentityCategory* root : {opened.Library->QuestionTree, opened.Library->SyllabusTree, opened.Library->ResourceTree}) {
    TCategoryIterator walk(root);
    while (TCategory* node = walk.Next())
      for (TTextSegment* segment : static_cast<TIdentityCategory*>(node)->Segments()) {
        ++segments;
        EXPECT_TRUE(Contains(text, "\n  " + segment->GetID() + "  ")) << segment->GetID();
      }
  }
  EXPECT_EQ(segments, 9);
  EXPECT_TRUE(Contains(text, "  QP101  question  marks 3  time 4  \"Caf\xC3\xA9 forces\"  rtf "));
  EXPECT_TRUE(Contains(text, "    topics: Mechanics/Forces; Waves\n    type: Calculation\n    level: Higher\n"
                             "    papers: Paper 1\n    resources: RDS1\n    related: S1.1\n"));
  EXPECT_TRUE(Contains(text, "  S1.1  syllabus  marks 0  time 0  \"Forces\"  rtf "));
}

TEST_F(DumpTest, JsonDumpListsTreesAndSegments) {
  WriteSources(BaseManifest());
  BuildLibrary(Src.string(), Out.string());
  TOpenedLibrary opened = OpenBuilt(Out, "Lib");
  std::ostringstream out;
  DumpLibrary(*opened.Library, out, true);
  const TJson j = TJson::parse(out.str());
  EXPECT_EQ(j["segments"], 9);
  EXPECT_EQ(j["segmentList"].size(), 9u);
  EXPECT_EQ(j["trees"]["questions"]["children"][0]["children"][1]["children"][0]["id"], "P102a");
  EXPECT_EQ(j["trees"]["topics"]["children"][0]["children"][1]["name"], "Motion");
  const TJson& first = j["segmentList"][0];
  EXPECT_EQ(first["id"], "QP101");
  EXPECT_EQ(first["title"], "Caf\xC3\xA9 forces");
  EXPECT_EQ(first["topics"], TJson({"Mechanics/Forces", "Waves"}));
  EXPECT_EQ(first["resources"], TJson({"RDS1"}));
  EXPECT_EQ(first["rtfBytes"], ReadBytes(Src / "texts" / "q1.rtf").size());
}

// A damaged file can nest nodes as deep as it likes: both dumps walk without recursion and write
// output that grows with the number of nodes, not with the square of the depth.
TEST_F(DumpTest, VeryDeepTreesDumpInLinearSpace) {
  constexpr int kDepth = 100000;
  auto lib = TLibrary::CreateEmpty();
  TCategory* topic = lib->Topics;
  TIdentityCategory* node = lib->QuestionTree;
  for (int i = 0; i < kDepth; ++i) {
    topic = topic->CreateChild();
    topic->SetName("t");
    node = static_cast<TIdentityCategory*>(node->CreateChild());
    node->SetCode("7");
  }
  TQuestion* question = node->AddQuestion();
  question->Topics.push_back(topic);
  TIdentityCategory* top = static_cast<TIdentityCategory*>(lib->QuestionTree->Children[0]);
  top->Related.push_back(node);

  const std::string shortId = std::string(56, '7') + "..." + std::string(56, '7');
  std::ostringstream textOut;
  EXPECT_EQ(DumpLibrary(*lib, textOut, false), 0);
  const std::string text = textOut.str();
  EXPECT_LT(text.size(), 300u * kDepth);
  EXPECT_TRUE(Contains(text, "\n  7  \"\"  related Q" + shortId + "\n"));
  EXPECT_TRUE(Contains(text, "(level 100000) " + shortId + "  \"\"  [Q]\n"));

  std::ostringstream jsonOut;
  EXPECT_EQ(DumpLibrary(*lib, jsonOut, true), 0);
  const std::string json = jsonOut.str();
  EXPECT_LT(json.size(), 400u * kDepth);
  // Parsed as a whole, a document this deep would exhaust the stack of the JSON library itself.
  EXPECT_TRUE(TJson::accept(json));
  std::size_t codes = 0;
  for (std::size_t at = 0; (at = json.find("\"code\": \"7\"", at)) != std::string::npos; ++at) ++codes;
  EXPECT_EQ(codes, static_cast<std::size_t>(kDepth));
  EXPECT_TRUE(Contains(json, "\"id\": \"" + shortId + "\",\"name\""));
  EXPECT_TRUE(Contains(json, "\"id\": \"Q" + shortId + "\",\n"));
  std::string topicHead, topicTail;
  for (int i = 0; i < 28; ++i) topicHead += "t/", topicTail += "/t";
  EXPECT_TRUE(Contains(json, "\"topics\": [\n        \"" + topicHead + "..." + topicTail + "\"\n"));
}

TEST_F(DumpTest, UnreadableTextsAreCountedNotFatal) {
  WriteSources(BaseManifest());
  BuildLibrary(Src.string(), Out.string());
  // Cut the text file so that the later records run past its end.
  const std::string text = ReadBytes(Out / "Lib.txt");
  WriteBytes(Out / "Lib.txt", text.substr(0, text.size() / 2));
  TOpenedLibrary opened = OpenBuilt(Out, "Lib");
  std::ostringstream out;
  const int unreadable = DumpLibrary(*opened.Library, out, false);
  EXPECT_GT(unreadable, 0);
  EXPECT_LT(unreadable, 9);
  EXPECT_TRUE(Contains(out.str(), "rtf unreadable: Stream read error"));
}

TEST_F(DumpTest, SynthesisedLibraryHasTheRequestedShape) {
  const TBuildResult result = SynthesiseLibrary(200, Out.string());
  EXPECT_EQ(result.Key, "Synth");
  TOpenedLibrary opened = OpenBuilt(Out, "Synth");
  TLibrary& lib = *opened.Library;
  EXPECT_EQ(lib.ObjectCount(), result.Objects);

  int questions = 0, schemes = 0, reports = 0, notes = 0, statements = 0, resources = 0, withResource = 0;
  std::set<std::string> ids;
  auto walk = [&](TIdentityCategory* root, auto visit) {
    TCategoryIterator it(root);
    while (TCategory* node = it.Next()) visit(*static_cast<TIdentityCategory*>(node));
  };
  auto checkText = [&](TTextSegment* segment) {
    ASSERT_NE(segment->Chunk, nullptr);
    const std::vector<std::string>& lines = segment->Chunk->GetLines();
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_GE(lines[0].size(), 1024u) << segment->GetID();
    EXPECT_LE(lines[0].size(), 20u * 1024) << segment->GetID();
    EXPECT_TRUE(lines[0].starts_with("{\\rtf1\\ansi\\ansicpg1252"));
    EXPECT_TRUE(lines[0].ends_with("\\par -\\par}")) << segment->GetID();
    segment->Chunk->ReleaseLines();
  };
  walk(lib.QuestionTree, [&](TIdentityCategory& node) {
    EXPECT_TRUE(ids.insert("Q" + FullID(&node)).second);
    for (TIdentityCategory* other : node.Related)
      EXPECT_NE(std::find(other->Related.begin(), other->Related.end(), &node), other->Related.end());
    if (node.Question == nullptr) {
      EXPECT_EQ(node.MarkScheme, nullptr);
      return;
    }
    ++questions;
    checkText(node.Question);
    ASSERT_NE(node.MarkScheme, nullptr) << FullID(&node);
    checkText(node.MarkScheme);
    ++schemes;
    if (node.ExaminersReport != nullptr) ++reports;
    if (node.Note != nullptr) ++notes;
    EXPECT_FALSE(node.Question->Topics.empty());
    EXPECT_NE(node.Question->QuestionType, nullptr);
    EXPECT_NE(node.Question->Level, nullptr);
    EXPECT_EQ(node.Question->Papers.size(), 1u);
    EXPECT_FALSE(node.Related.empty());
    if (!node.Question->Resources.empty()) ++withResource;
    EXPECT_EQ(lib.FindIdentity(FullID(&node), 'Q'), &node);
  });
  walk(lib.SyllabusTree, [&](TIdentityCategory& node) {
    if (node.Syllabus == nullptr) return;
    ++statements;
    checkText(node.Syllabus);
    EXPECT_EQ(lib.FindIdentity(FullID(&node), 'S'), &node);
  });
  walk(lib.ResourceTree, [&](TIdentityCategory& node) {
    if (node.Resource != nullptr) ++resources;
  });
  EXPECT_EQ(questions, 200);
  EXPECT_EQ(schemes, 200);
  EXPECT_GT(reports, 140);
  EXPECT_LT(reports, 190);
  EXPECT_GT(notes, 15);
  EXPECT_LT(notes, 70);
  EXPECT_EQ(lib.Papers->Children.size(), 5u);
  EXPECT_EQ(lib.QuestionTypes->Children.size(), 5u);
  EXPECT_EQ(lib.Levels->Children.size(), 3u);
  int topics = 0;
  for (const TCategory* area : lib.Topics->Children) {
    topics += static_cast<int>(area->Children.size());
    for (const TCategory* leaf : area->Children) EXPECT_TRUE(leaf->Children.empty());
  }
  EXPECT_EQ(topics, 14);  // sqrt(200), in two levels
  EXPECT_EQ(statements, 50);
  EXPECT_EQ(resources, 4);
  EXPECT_GT(withResource, 0);
}

TEST_F(DumpTest, SynthesisIsDeterministic) {
  SynthesiseLibrary(60, (Dir / "a").string());
  SynthesiseLibrary(60, (Dir / "b").string());
  for (const char* file : {"Synth.dat", "Synth.txt", "vornika32.ini"})
    EXPECT_EQ(ReadBytes(Dir / "a" / file), ReadBytes(Dir / "b" / file)) << file;
  SynthesiseLibrary(61, (Dir / "c").string());
  EXPECT_NE(ReadBytes(Dir / "a" / "Synth.txt"), ReadBytes(Dir / "c" / "Synth.txt"));
}

// A document file put together from its layout: P, the free texts' records, then at P the
// version, the subject and the document graph.
class DocTest : public THvlibTest {
protected:
  void SetUp() override {
    THvlibTest::SetUp();
    WriteSources(BaseManifest());
    BuildLibrary(Src.string(), Out.string());
  }

  std::string WriteDocument(std::int32_t version, const std::string& subject, const std::string& badId = {}) {
    TOpenedLibrary opened = OpenBuilt(Out, "Lib");
    TCurrentLibraryScope scope(opened.Library.get());
    TMemoryStream file;
    const std::uint8_t placeholder[4] = {0, 0, 0, 0};
    file.Write(placeholder, 4);
    const std::string freeRtf = Rtf("My own title");
    const std::int64_t offset = WriteChunkRecord(file, {freeRtf});
    const std::int64_t p = file.Size();

    TDocument document;
    auto title = std::make_unique<TText>();
    title->Title = "Class test";
    auto chunk = std::make_unique<TTextChunk>();
    chunk->Offset = static_cast<std::int32_t>(offset);
    title->SetChunk(std::move(chunk));
    title->Identity = opened.Library->FindIdentity("P102a", 'Q');
    title->Marks = 5;
    document.Entries.push_back(new TOwningDocContent(title.release(), false));
    document.Entries.push_back(new TDocContent(opened.Library->FindSegment("QP101"), true));
    document.Entries.push_back(new TDocContent(opened.Library->FindSegment("NP102"), false));
    document.Entries.push_back(new TDocContent(opened.Library->FindSegment("QP102b"), true));
    document.Renumber();
    if (!badId.empty()) document.Entries.push_back(new TDocContent(opened.Library->FindSegment("QP101"), true));

    file.Seek(p);
    {
      TNetWriter writer(file);
      writer.WriteVersion(version);
      writer.WriteString(subject);
      writer.WriteObjectGraph(document);
    }
    std::vector<std::uint8_t> bytes = file.Data();
    for (int i = 0; i < 4; ++i) bytes[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(p >> (8 * i));
    std::string text(bytes.begin(), bytes.end());
    if (!badId.empty()) {
      // Point the last entry at an ID of the same length that the library does not have.
      const auto at = text.rfind("QP101");
      text.replace(at, 5, badId);
    }
    const fs::path path = Dir / "test.kvd";
    WriteBytes(path, text);
    return path.string();
  }

  TLibraryOpener Opener() {
    return [this](const std::string& subject) {
      Subjects.push_back(subject);
      return OpenBuilt(Out, "Lib");
    };
  }
  std::vector<std::string> Subjects;
};

TEST_F(DocTest, DecodesEntriesNumbersAndFreeTexts) {
  const std::string path = WriteDocument(10, "Lib");
  TDecodedDocument decoded = DecodeDocument(path, Opener());
  EXPECT_EQ(Subjects, std::vector<std::string>{"Lib"});
  EXPECT_EQ(CurrentLibrary, nullptr);  // only while reading
  EXPECT_EQ(decoded.File.Version, 10);
  ASSERT_EQ(decoded.File.Document->Entries.size(), 4u);

  std::ostringstream text;
  DumpDocument(decoded, text, false);
  const std::string rtfSize = std::to_string(Rtf("My own title").size());
  EXPECT_TRUE(Contains(text.str(), "version 10, library \"Lib\", 4 entries")) << text.str();
  EXPECT_TRUE(Contains(text.str(), "\n  -  T from QP102a  \"Class test\"  marks 5  time 0  rtf " + rtfSize + " bytes\n"
                                   "  1  QP101  \"Caf\xC3\xA9 forces\"  marks 3  time 4\n"
                                   "  -  NP102  \"A question in parts\"  marks 0  time 0\n"
                                   "  2  QP102b  \"Part b\"  marks 1  time 0\n"
                                   "Total: marks 9, time 4 min\n"))
      << text.str();

  std::ostringstream json;
  DumpDocument(decoded, json, true);
  const TJson j = TJson::parse(json.str());
  EXPECT_EQ(j["subject"], "Lib");
  EXPECT_EQ(j["entries"][0]["rtfBytes"], Rtf("My own title").size());
  EXPECT_TRUE(j["entries"][0]["number"].is_null());
  EXPECT_EQ(j["entries"][3]["number"], 2);
  EXPECT_EQ(j["entries"][3]["id"], "QP102b");
}

// Items the library lacks are listed as missing and do not fail the run; a free text whose record
// cannot be read is named and fails it, after every other entry is listed.
TEST_F(DocTest, RefusesNewerVersionsListsMissingItemsAndNamesDamagedTexts) {
  const std::string newer = WriteDocument(11, "Lib");
  try {
    DecodeDocument(newer, Opener());
    ADD_FAILURE();
  } catch (const EError& e) {
    EXPECT_STREQ(e.what(), "Incorrect file version");
  }
  EXPECT_TRUE(Subjects.empty());  // the library is not even opened

  {
    TDecodedDocument unknown = DecodeDocument(WriteDocument(10, "Lib", "QP109"), Opener());
    EXPECT_EQ(unknown.File.MissingIDs, std::vector<std::string>{"QP109"});
    std::ostringstream text;
    EXPECT_EQ(DumpDocument(unknown, text, false), 0);
    EXPECT_TRUE(Contains(text.str(), "  QP109  \"QP109: not in this library\"  marks 0  time 0  missing from the library\n"))
        << text.str();
  }
  EXPECT_EQ(CurrentLibrary, nullptr);

  const std::string damaged = WriteDocument(10, "Lib");
  std::string bytes = ReadBytes(damaged);
  bytes[11] = '\x7F';  // the free text's line now claims more bytes than the file holds
  WriteBytes(damaged, bytes);
  TDecodedDocument decoded = DecodeDocument(damaged, Opener());
  ASSERT_EQ(decoded.File.Damaged.size(), 1u);
  std::ostringstream text;
  EXPECT_EQ(DumpDocument(decoded, text, false), 1);
  EXPECT_TRUE(Contains(text.str(), "\"Class test\"  marks 5  time 0  rtf unreadable: Stream read error\n")) << text.str();
  EXPECT_TRUE(Contains(text.str(), "  2  QP102b  \"Part b\"")) << text.str();
}

std::string RunCommand(const std::string& command, int& status) {
  FILE* pipe = popen(command.c_str(), "r");
  if (pipe == nullptr) return {};
  std::string output;
  char buffer[4096];
  for (std::size_t n; (n = fread(buffer, 1, sizeof buffer, pipe)) > 0;) output.append(buffer, n);
  const int raw = pclose(pipe);
  status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
  return output;
}

std::string RunTool(const std::string& arguments, int& status) {
  return RunCommand("HARROWVANE_CONFIG_DIR='" HV_BINARY_DIR "/data/sample' '" HVLIB_EXE "' " + arguments, status);
}

#ifdef HV_WITH_QT
TEST_F(DocTest, ClassRecordsFromTheCommandLine) {
  const std::string doc = WriteDocument(10, "Lib");
  // The library names its own template; a school keeps it beside the configuration.
  fs::copy_file(HV_SOURCE_DIR "/resources/templates/RX2P.xltx", Out / "T.xltx");
  WriteBytes(Dir / "class.csv", "\xEF\xBB\xBFSurname,Forename\r\n\r\nSmith,Jo\r\n\xD0\x96\xD1\x83\xD0\xBA,Ann\r\n");
  const auto run = [&](const std::string& arguments, int& status) {
    return RunCommand("HARROWVANE_CONFIG_DIR='" + Out.string() + "' '" HVLIB_EXE "' " + arguments + " 2>&1", status);
  };
  int status = -1;
  std::string said = run("students " + (Dir / "class.csv").string() + " " + (Dir / "class.ptx").string(), status);
  EXPECT_EQ(status, 0) << said;
  EXPECT_TRUE(Contains(said, "\"Surname, Forename\" taken as column headings")) << said;
  EXPECT_EQ(ReadBytes(Dir / "class.ptx"), "\xEF\xBB\xBFSmith,Jo,,\r\n\xD0\x96\xD1\x83\xD0\xBA,Ann,,\r\n");

  said = run("marksheet " + doc + " " + (Dir / "marks.xls").string() + " --students " + (Dir / "class.ptx").string(),
             status);
  EXPECT_EQ(status, 0) << said;
  EXPECT_TRUE(ReadBytes(Dir / "marks.xlsx").starts_with("PK"));
  said = run("fileindex " + doc + " " + (Dir / "index.xlsx").string(), status);
  EXPECT_EQ(status, 0) << said;
  EXPECT_TRUE(ReadBytes(Dir / "index.xlsx").starts_with("PK"));
  EXPECT_FALSE(fs::exists(Dir / "q.txt"));

  run("marksheet " + doc, status);
  EXPECT_EQ(status, 2);
  said = run("students " + (Dir / "none.csv").string() + " " + (Dir / "x.ptx").string(), status);
  EXPECT_EQ(status, 1) << said;
}
#endif

TEST(SampleTest, DumpAndTextWorkOnTheBuiltSample) {
  if (!fs::exists(HV_BINARY_DIR "/data/sample/Sample.dat")) GTEST_SKIP() << "the sample library is not built";
  int status = -1;
  const std::string dump = RunTool("dump Sample", status);
  ASSERT_EQ(status, 0) << dump;
  EXPECT_TRUE(dump.starts_with("Library \""));
  for (const char* part : {"\nTopics ", "\nQuestions ", "\nSyllabus ", "\nResources ", "\nSegments\n"})
    EXPECT_TRUE(Contains(dump, part)) << part;
  EXPECT_FALSE(Contains(dump, "unreadable"));

  // Every text of the sample prints as a whole RTF document.
  const std::string json = RunTool("dump --json Sample", status);
  ASSERT_EQ(status, 0);
  const TJson j = TJson::parse(json);
  ASSERT_GT(j["segmentList"].size(), 0u);
  const std::string id = j["segmentList"][0]["id"];
  const std::string rtf = RunTool("text Sample " + id, status);
  EXPECT_EQ(status, 0);
  EXPECT_EQ(rtf.size(), j["segmentList"][0]["rtfBytes"].get<std::size_t>());
  EXPECT_TRUE(rtf.starts_with("{\\rtf1"));

  RunTool("text Sample QNOSUCH 2>/dev/null", status);
  EXPECT_EQ(status, 1);
  RunTool("dump NoSuchKey 2>/dev/null", status);
  EXPECT_EQ(status, 1);
}

}  // namespace
}  // namespace hvtest
