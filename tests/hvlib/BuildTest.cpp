#include <algorithm>

#include "HvlibFixture.h"
#include "LibraryOutput.h"
#include "ManifestCompiler.h"
#include "model/Categories.h"
#include "model/Library.h"
#include "model/LibraryConfig.h"
#include "model/Segments.h"
#include "model/TextStore.h"

namespace hvtest {
namespace {

using namespace hv;
using hv::hvlib::BuildLibrary;
using hv::hvlib::EManifestError;

class BuildTest : public THvlibTest {
protected:
  TOpenedLibrary BuildAndOpen(const TJson& manifest) {
    WriteSources(manifest);
    BuildLibrary(Src.string(), Out.string());
    return OpenLibraryFiles((Out / "Lib.txt").string(), (Out / "Lib.dat").string());
  }

  // The message of a build that must fail; an empty string when it succeeded.
  std::string BuildError(const TJson& manifest) {
    WriteSources(manifest);
    try {
      BuildLibrary(Src.string(), Out.string());
    } catch (const EManifestError& e) {
      return e.what();
    }
    return {};
  }
};

std::vector<std::string> Paths(const std::vector<TCategory*>& nodes) {
  std::vector<std::string> names;
  for (const TCategory* node : nodes) names.push_back(node->Name);
  return names;
}

TEST_F(BuildTest, CompiledLibraryOpensWithTreesTextsAndClassification) {
  TOpenedLibrary opened = BuildAndOpen(BaseManifest());
  TLibrary& lib = *opened.Library;
  EXPECT_EQ(lib.Name, "Test physics");
  EXPECT_EQ(lib.Topics->Name, "Every topic");
  EXPECT_EQ(lib.Levels->Name, "All levels");  // root names not given take the default
  EXPECT_EQ(lib.SyllabusTree->Name, "Specification");
  ASSERT_EQ(lib.Topics->Children.size(), 2u);
  EXPECT_EQ(lib.Topics->Children[0]->Children[1]->Name, "Motion");

  auto* paper = static_cast<TIdentityCategory*>(lib.QuestionTree->Children.at(0));
  EXPECT_EQ(paper->Name, "Paper 1");
  EXPECT_EQ(paper->Title, "Paper one, with a title longer than forty characters");
  // Without a name the node shows its title, cut to what a name holds.
  auto* parts = static_cast<TIdentityCategory*>(paper->Children.at(1));
  EXPECT_EQ(parts->Name, "A question in parts");

  auto* q = dynamic_cast<TQuestion*>(lib.FindSegment("QP101"));
  ASSERT_NE(q, nullptr);
  EXPECT_EQ(q->GetName(), "Caf\xE9 forces");  // UTF-8 in the manifest, Windows-1252 in the library
  EXPECT_EQ(q->Marks, 3);
  EXPECT_EQ(q->Time, 4);
  EXPECT_EQ(Paths(q->Topics), (std::vector<std::string>{"Forces", "Waves"}));
  EXPECT_EQ(q->Topics[0]->Parent->Name, "Mechanics");
  ASSERT_NE(q->QuestionType, nullptr);
  EXPECT_EQ(q->QuestionType->Name, "Calculation");
  ASSERT_NE(q->Level, nullptr);
  EXPECT_EQ(q->Level->Name, "Higher");
  EXPECT_EQ(Paths(q->Papers), (std::vector<std::string>{"Paper 1"}));
  ASSERT_EQ(q->Resources.size(), 1u);
  EXPECT_EQ(FullID(q->Resources[0]), "DS1");

  auto* part = dynamic_cast<TQuestion*>(lib.FindSegment("QP102a"));
  ASSERT_NE(part, nullptr);
  EXPECT_EQ(part->Marks, -2);
  EXPECT_EQ(part->Time, 32767);
  EXPECT_EQ(part->QuestionType, nullptr);
  EXPECT_EQ(part->Level, nullptr);
  EXPECT_EQ(Paths(part->Papers), (std::vector<std::string>{"Paper 1", "Paper 2"}));
  EXPECT_EQ(lib.FindSegment("NP102")->GetName(), "A question in parts");
  EXPECT_EQ(lib.FindSegment("EP101")->Marks, 0);
  // "1" and "12" are sisters: each is still found by its own ID.
  EXPECT_EQ(lib.FindSegment("S1.12")->GetName(), "Motion");
  EXPECT_EQ(lib.FindSegment("S1.1")->GetName(), "Forces");

  // Each text is one chunk of one line, holding the file's bytes.
  for (const auto& [id, file] : {std::pair{"QP101", "q1"}, {"MP101", "m1"}, {"RDS1", "r1"}, {"S1.12", "s112"}}) {
    TTextChunk* chunk = lib.FindSegment(id)->Chunk;
    ASSERT_NE(chunk, nullptr) << id;
    EXPECT_EQ(chunk->GetLines(), std::vector<std::string>{ReadBytes(Src / "texts" / (std::string(file) + ".rtf"))});
  }
}

TEST_F(BuildTest, WritesTheConfigurationBesideTheFiles) {
  WriteSources(BaseManifest());
  const auto result = BuildLibrary(Src.string(), Out.string());
  EXPECT_EQ(result.Key, "Lib");
  EXPECT_EQ(result.Texts, 9);

  const TIniFile ini = TIniFile::Load((Out / "vornika32.ini").string());
  EXPECT_EQ(ini.Sections(), std::vector<std::string>{"Lib"});
  EXPECT_EQ(ini.ReadString("Lib", "TextFilename"), "Lib.txt");
  EXPECT_EQ(ini.ReadString("Lib", "LibFilename"), "Lib.dat");
  EXPECT_EQ(ini.ReadString("Lib", "OrganisationName"), "\xC9"
                                                        "cole Test");
  EXPECT_EQ(ini.ReadString("Lib", "FlagResource"), "1");
  EXPECT_EQ(ini.ReadString("Lib", "TemplateName"), "T.xlt");
  EXPECT_EQ(TIniFile::Load((Out / "vornika.ini").string()).ReadString("Auto", "Subject"), "Lib");

  // The program finds the library by its key through the configuration folder.
  setenv("HARROWVANE_CONFIG_DIR", Out.c_str(), 1);
  const TOpenedLibrary opened = OpenLibrary("lib");
  unsetenv("HARROWVANE_CONFIG_DIR");
  EXPECT_EQ(opened.Library->Name, "Test physics");
}

TEST_F(BuildTest, KeepsOtherSectionsOfAnExistingIni) {
  WriteBytes(Out / "vornika32.ini", "[Other]\nLibFilename=o.dat\n\n[LIB]\nLibFilename=old.dat\nStale=1\n[Last]\nX=2\n");
  WriteSources(BaseManifest());
  BuildLibrary(Src.string(), Out.string());
  const TIniFile ini = TIniFile::Load((Out / "vornika32.ini").string());
  EXPECT_EQ(ini.Sections(), (std::vector<std::string>{"Other", "Lib", "Last"}));
  EXPECT_EQ(ini.ReadString("Other", "LibFilename"), "o.dat");
  EXPECT_EQ(ini.ReadString("Lib", "LibFilename"), "Lib.dat");
  EXPECT_EQ(ini.ReadString("Lib", "Stale"), "");
  EXPECT_EQ(ini.ReadString("Last", "X"), "2");
}

TEST_F(BuildTest, RelatedLinksAreSymmetricAndListedOnce) {
  TOpenedLibrary opened = BuildAndOpen(BaseManifest());
  TLibrary& lib = *opened.Library;
  TIdentityCategory* q1 = lib.FindIdentity("P101", 'Q');
  TIdentityCategory* q2a = lib.FindIdentity("P102a", 'Q');
  TIdentityCategory* s11 = lib.FindIdentity("1.1", 'S');
  TIdentityCategory* r1 = lib.FindIdentity("DS1", 'R');
  // P101 names S1.1 and S1.1 names P101 back: still one link each way.
  EXPECT_EQ(q1->Related, std::vector<TIdentityCategory*>{s11});
  EXPECT_EQ(q2a->Related, std::vector<TIdentityCategory*>{s11});
  EXPECT_EQ(r1->Related, std::vector<TIdentityCategory*>{s11});
  EXPECT_EQ(s11->Related, (std::vector<TIdentityCategory*>{q1, q2a, r1}));
  EXPECT_TRUE(lib.FindIdentity("1.12", 'S')->Related.empty());
}

TEST_F(BuildTest, RebuildingGivesIdenticalBytes) {
  WriteSources(BaseManifest());
  BuildLibrary(Src.string(), (Dir / "a").string());
  BuildLibrary(Src.string(), (Dir / "b").string());
  BuildLibrary(Src.string(), (Dir / "b").string());  // over its own output
  for (const char* file : {"Lib.dat", "Lib.txt", "vornika32.ini", "vornika.ini"}) {
    const std::string a = ReadBytes(Dir / "a" / file);
    EXPECT_FALSE(a.empty()) << file;
    EXPECT_EQ(a, ReadBytes(Dir / "b" / file)) << file;
  }
  EXPECT_EQ(std::distance(fs::directory_iterator(Dir / "b"), fs::directory_iterator()), 4);
}

TEST_F(BuildTest, Utf8InsideRtfBecomesEscapes) {
  TJson manifest = BaseManifest();
  WriteSources(manifest);
  WriteBytes(Src / "texts" / "q1.rtf", Rtf("caf\xC3\xA9 \xE2\x86\x92 x"));
  BuildLibrary(Src.string(), Out.string());
  TOpenedLibrary opened = OpenLibraryFiles((Out / "Lib.txt").string(), (Out / "Lib.dat").string());
  EXPECT_EQ(opened.Library->FindSegment("QP101")->Chunk->GetLines().at(0), Rtf("caf\\'e9 {\\uc1\\u8594?} x"));
}

struct TErrorCase {
  const char* Label;
  std::function<void(TJson&)> Change;
  const char* Expected;  // the whole message, or its start when it ends in "..."
};

TEST_F(BuildTest, EveryFaultNamesItsEntryAndField) {
  const std::string forty(41, 'x');
  const TErrorCase cases[] = {
      {"unknown topic", [](TJson& m) { m["questions"][0]["children"][0]["question"]["topics"][0] = "Mechanics/Frces"; },
       "questions/P1/01: question.topics: unknown topic \"Mechanics/Frces\""},
      {"unknown type", [](TJson& m) { m["questions"][0]["children"][0]["question"]["type"] = "Essay"; },
       "questions/P1/01: question.type: unknown question type \"Essay\""},
      {"unknown level", [](TJson& m) { m["questions"][0]["children"][1]["children"][1]["question"]["level"] = "Mechanics"; },
       "questions/P1/02/b: question.level: unknown level \"Mechanics\""},
      {"unknown paper", [](TJson& m) { m["questions"][0]["children"][0]["question"]["papers"][0] = "Paper 3"; },
       "questions/P1/01: question.papers: unknown paper \"Paper 3\""},
      {"topic twice", [](TJson& m) { m["questions"][0]["children"][0]["question"]["topics"][1] = "Mechanics/Forces"; },
       "questions/P1/01: question.topics: \"Mechanics/Forces\" is listed twice"},
      {"category name too long", [&](TJson& m) { m["topics"][1]["name"] = forty; },
       "topics/xxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxx: name: ..."},
      {"slash in a category name", [](TJson& m) { m["levels"][0]["name"] = "Higher/Lower"; },
       "levels/Higher/Lower: name: \"Higher/Lower\" contains '/'..."},
      {"sister categories with one name", [](TJson& m) { m["papers"][1]["name"] = "Paper 1"; },
       "papers/Paper 1: name: \"Paper 1\" is used twice among its sisters"},
      {"identity name too long", [&](TJson& m) { m["questions"][0]["name"] = forty; }, "questions/P1: name: ..."},
      {"code too long", [](TJson& m) { m["questions"][0]["children"][0]["code"] = "0123456"; },
       "questions/P1/0123456: code: \"0123456\" is 7 characters long; at most 6 are allowed"},
      {"empty code", [](TJson& m) { m["resources"][0]["code"] = ""; }, "resources/#1: code: must not be empty"},
      {"missing title", [](TJson& m) { m["syllabus"][0].erase("title"); }, "syllabus/1.: title: missing"},
      {"title too long", [](TJson& m) { m["questions"][0]["title"] = std::string(101, 't'); },
       "questions/P1: title: ..."},
      {"duplicate FullID", [](TJson& m) { m["questions"][0]["children"][1]["code"] = "01"; },
       "questions/P1/01: code: the ID \"QP101\" is already used by questions/P1/01"},
      {"FullID repeated across levels",
       [](TJson& m) { m["questions"].push_back(TJson{{"code", "P10"}, {"title", "T"}, {"children", {{{"code", "1"}, {"title", "U"}}}}}); },
       "questions/P10/1: code: the ID \"QP101\" is already used by questions/P1/01"},
      {"marks out of range", [](TJson& m) { m["questions"][0]["children"][0]["question"]["marks"] = 40000; },
       "questions/P1/01: question.marks: 40000 is outside the range -32768 to 32767"},
      {"time below range", [](TJson& m) { m["questions"][0]["children"][0]["markScheme"]["time"] = -32769; },
       "questions/P1/01: markScheme.time: -32769 is outside the range -32768 to 32767"},
      {"marks as text", [](TJson& m) { m["questions"][0]["children"][0]["question"]["marks"] = "3"; },
       "questions/P1/01: question.marks: must be a whole number, not \"3\""},
      {"missing text file", [](TJson& m) { m["questions"][0]["children"][0]["report"]["file"] = "texts/none.rtf"; },
       "questions/P1/01: report.file: cannot read \"texts/none.rtf\""},
      {"text without file", [](TJson& m) { m["syllabus"][0]["children"][0]["syllabus"].erase("file"); },
       "syllabus/1./1: syllabus.file: missing"},
      {"unknown field", [](TJson& m) { m["questions"][0]["children"][0]["markscheme"] = TJson::object(); },
       "questions/P1/01: markscheme: unknown field"},
      {"unknown text field", [](TJson& m) { m["questions"][0]["children"][0]["markScheme"]["topics"] = TJson::array(); },
       "questions/P1/01: markScheme.topics: unknown field"},
      {"text in the wrong tree", [](TJson& m) { m["syllabus"][0]["question"] = TJson{{"file", "texts/q1.rtf"}}; },
       "syllabus/1.: question: a text of this kind cannot hang in the syllabus tree"},
      {"character outside Windows-1252", [](TJson& m) { m["questions"][0]["children"][0]["title"] = "F \u2192 ma"; },
       "questions/P1/01: title: the character \"\u2192\" cannot be stored in Windows-1252 (in \"F \u2192 ma\")"},
      {"unknown related ID", [](TJson& m) { m["resources"][0]["related"][0] = "S9"; },
       "resources/DS1: related: unknown ID \"S9\""},
      {"related in the same tree", [](TJson& m) { m["questions"][0]["related"] = {"QP101"}; },
       "questions/P1: related: \"QP101\" is in the same tree; related items belong to other trees"},
      {"related without tree letter", [](TJson& m) { m["questions"][0]["related"] = {"P101"}; },
       "questions/P1: related: \"P101\" must start with the tree letter Q, S or R"},
      {"resource without text", [](TJson& m) { m["resources"][0].erase("resource"); },
       "questions/P1/01: question.resources: the resource \"RDS1\" has no resource text"},
      {"unknown resource", [](TJson& m) { m["questions"][0]["children"][0]["question"]["resources"][0] = "RDS9"; },
       "questions/P1/01: question.resources: unknown resource \"RDS9\""},
      {"library name too long", [&](TJson& m) { m["name"] = forty; }, "library: name: ..."},
      {"key unusable as a file name", [](TJson& m) { m["key"] = "../Lib"; }, "library: key: ..."},
      {"setting hvlib writes", [](TJson& m) { m["settings"]["libfilename"] = "x.dat"; },
       "library: settings.libfilename: is written by hvlib itself and cannot be set here"},
      {"unknown root name", [](TJson& m) { m["rootNames"]["question"] = "Q"; },
       "library: rootNames.question: unknown field"},
      {"unknown top-level field", [](TJson& m) { m["topic"] = TJson::array(); }, "library: topic: unknown field"},
  };
  for (const TErrorCase& c : cases) {
    SCOPED_TRACE(c.Label);
    TJson manifest = BaseManifest();
    c.Change(manifest);
    const std::string message = BuildError(manifest);
    const std::string expected = c.Expected;
    if (expected.ends_with("..."))
      EXPECT_EQ(message.substr(0, expected.size() - 3), expected.substr(0, expected.size() - 3)) << message;
    else
      EXPECT_EQ(message, expected);
    // A failed build leaves nothing behind.
    EXPECT_FALSE(fs::exists(Out) && !fs::is_empty(Out)) << message;
  }
}

TEST_F(BuildTest, FaultyRtfFilesAreNamed) {
  const std::pair<std::string, std::string> cases[] = {
      {"plain text\\par", "questions/P1/01: question.file: \"texts/q1.rtf\" is not RTF (it does not start with {\\rtf)"},
      {"{\\rtf1 open {\\b group}", "questions/P1/01: question.file: \"texts/q1.rtf\" has unbalanced braces (the document group is not closed)"},
      {"{\\rtf1 done} and more", "questions/P1/01: question.file: \"texts/q1.rtf\" has text after the closing brace of the document"},
  };
  for (const auto& [rtf, expected] : cases) {
    WriteSources(BaseManifest());
    WriteBytes(Src / "texts" / "q1.rtf", rtf);
    try {
      BuildLibrary(Src.string(), Out.string());
      ADD_FAILURE() << "built with " << rtf;
    } catch (const EManifestError& e) {
      EXPECT_EQ(std::string(e.what()), expected);
    }
  }
  // Escaped braces are text, not groups.
  WriteSources(BaseManifest());
  WriteBytes(Src / "texts" / "q1.rtf", "{\\rtf1 a \\} b \\{ c \\\\}\n");
  EXPECT_NO_THROW(BuildLibrary(Src.string(), Out.string()));
}

TEST_F(BuildTest, BrokenManifestsAreReported) {
  WriteBytes(Src / "library.json", "{\"name\": ");
  try {
    BuildLibrary(Src.string(), Out.string());
    ADD_FAILURE();
  } catch (const EManifestError& e) {
    EXPECT_NE(std::string(e.what()).find("library.json: not valid JSON"), std::string::npos) << e.what();
  }
  EXPECT_THROW(BuildLibrary((Dir / "missing").string(), Out.string()), EManifestError);
  // The manifest may also be named directly.
  WriteSources(BaseManifest());
  EXPECT_EQ(BuildLibrary((Src / "library.json").string(), Out.string()).Key, "Lib");
}

TEST(IniMergeTest, ReplacesOnlyTheNamedSection) {
  using hv::hvlib::MergeIniSection;
  EXPECT_EQ(MergeIniSection("", "K", {{"A", "1"}}), "[K]\nA=1\n");
  EXPECT_EQ(MergeIniSection("[X]\nB=2\n", "K", {{"A", "1"}}), "[X]\nB=2\n\n[K]\nA=1\n");
  EXPECT_EQ(MergeIniSection("[ k ]\nA=0\n[X]\nB=2\n[K]\nC=3\n", "K", {{"A", "1"}}), "[K]\nA=1\n[X]\nB=2\n");
}

}  // namespace
}  // namespace hvtest
