#pragma once
// A scratch folder per test and a small library source set that tests vary.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>

namespace hvtest {

using TJson = nlohmann::ordered_json;
namespace fs = std::filesystem;

inline std::string ReadBytes(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

inline void WriteBytes(const fs::path& path, const std::string& bytes) {
  fs::create_directories(path.parent_path());
  std::ofstream(path, std::ios::binary) << bytes;
}

inline std::string Rtf(const std::string& body) {
  return "{\\rtf1\\ansi\\ansicpg1252\\deff0{\\fonttbl{\\f0\\froman Times New Roman;}}\\pard " + body + "\\par -\\par}";
}

class THvlibTest : public ::testing::Test {
protected:
  void SetUp() override {
    char pattern[] = "/tmp/hvlib-test-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    Dir = pattern;
    Src = Dir / "src";
    Out = Dir / "out";
  }
  void TearDown() override {
    std::error_code ec;
    fs::remove_all(Dir, ec);
  }

  // Two papers' worth of questions (one in parts), a specification, a resource: every kind of
  // text and link the compiler handles.
  static TJson BaseManifest() {
    return TJson::parse(R"({
      "name": "Test physics", "key": "Lib", "organisation": "École Test",
      "settings": {"FlagResource": "1", "TemplateName": "T.xlt"},
      "rootNames": {"topics": "Every topic", "syllabus": "Specification"},
      "topics": [{"name": "Mechanics", "children": [{"name": "Forces"}, {"name": "Motion"}]},
                 {"name": "Waves"}],
      "questionTypes": [{"name": "Calculation"}, {"name": "Structured"}],
      "levels": [{"name": "Foundation"}, {"name": "Higher"}],
      "papers": [{"name": "Paper 1"}, {"name": "Paper 2"}],
      "questions": [
        {"code": "P1", "title": "Paper one, with a title longer than forty characters", "name": "Paper 1",
         "children": [
           {"code": "01", "title": "Café forces",
            "question": {"file": "texts/q1.rtf", "marks": 3, "time": 4, "topics": ["Mechanics/Forces", "Waves"],
                         "type": "Calculation", "level": "Higher", "papers": ["Paper 1"], "resources": ["RDS1"]},
            "markScheme": {"file": "texts/m1.rtf", "marks": 3, "time": 4},
            "report": {"file": "texts/e1.rtf"},
            "related": ["S1.1"]},
           {"code": "02", "title": "A question in parts",
            "note": {"file": "texts/n2.rtf"},
            "children": [
              {"code": "a", "title": "Part a", "question": {"file": "texts/q2a.rtf", "marks": -2, "time": 32767,
                                                              "papers": ["Paper 1", "Paper 2"]}},
              {"code": "b", "title": "Part b", "question": {"file": "texts/q2b.rtf", "marks": 1}}]}]}],
      "syllabus": [
        {"code": "1.", "title": "Forces and motion",
         "children": [{"code": "1", "title": "Forces", "syllabus": {"file": "texts/s11.rtf"},
                       "related": ["QP101", "QP102a"]},
                      {"code": "12", "title": "Motion", "syllabus": {"file": "texts/s112.rtf"}}]}],
      "resources": [{"code": "DS1", "title": "Data sheet", "resource": {"file": "texts/r1.rtf"}, "related": ["S1.1"]}]
    })");
  }

  void WriteSources(const TJson& manifest) {
    WriteBytes(Src / "library.json", manifest.dump(2));
    for (const char* name : {"q1", "m1", "e1", "n2", "q2a", "q2b", "s11", "s112", "r1"})
      WriteBytes(Src / "texts" / (std::string(name) + ".rtf"), Rtf(std::string("Text ") + name));
  }

  fs::path Dir, Src, Out;
};

}  // namespace hvtest
