// Student list files: how lines are cut into fields, what is written back, and files that fail.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "StudentList.h"
#include "TempFolder.h"
#include "core/Errors.h"

namespace hv {
namespace {

using test::ReadText;
using test::TTempFolder;
using test::WriteText;

TEST(StudentListLines, EveryKindOfLineEndCounts) {
  EXPECT_EQ(SplitLines("a\r\nb\nc\rd"), (std::vector<std::string_view>{"a", "b", "c", "d"}));
  // A CR before a CR LF is a line of its own; the final end adds no empty line.
  EXPECT_EQ(SplitLines("a\r\r\nb\r\n"), (std::vector<std::string_view>{"a", "", "b"}));
  EXPECT_TRUE(SplitLines("").empty());
  EXPECT_EQ(SplitLines("\n"), (std::vector<std::string_view>{""}));
}

struct TLineCase {
  const char* Line;
  TStudent Expected;
};

TEST(StudentListLines, ThreeCutsAtTheFirstComma) {
  const TLineCase cases[] = {
      {"Smith,Jo,12/03/2009,F", {"Smith", "Jo", "12/03/2009", "F"}},
      // The second and third cuts find no comma: the rest passes on to Sex.
      {"Smith,Jo", {"Smith", "", "", "Jo"}},
      {"Smith", {"", "", "", "Smith"}},
      {"a,b,c,d,e", {"a", "b", "c", "d,e"}},
      {"a,b,c,", {"a", "b", "c", ""}},
      {",,,", {"", "", "", ""}},
      {"", {"", "", "", ""}},
  };
  for (const TLineCase& c : cases) EXPECT_EQ(SplitStudentLine(c.Line), c.Expected) << c.Line;
}

TEST(StudentListLines, QuotedFieldsReadWhole) {
  const TLineCase cases[] = {
      {R"("Smith, J",Jo,,F)", {"Smith, J", "Jo", "", "F"}},
      {R"("O""Neil",Ann,1/1/09,"F")", {"O\"Neil", "Ann", "1/1/09", "F"}},
      {R"(a,b,c,"x""y")", {"a", "b", "c", "x\"y"}},
      {R"("Smith","Jo","12/03/2009","M")", {"Smith", "Jo", "12/03/2009", "M"}},
      // A quoted field that ends the line is cut like any text without a comma.
      {R"("a,b")", {"", "", "", "a,b"}},
      // Not closed, or not followed by a comma: taken as plain text.
      {R"("abc,def,g,h)", {"\"abc", "def", "g", "h"}},
      {R"("ab"c,d,e,f)", {"\"ab\"c", "d", "e", "f"}},
      {R"(a,b,c,"x" y)", {"a", "b", "c", "\"x\" y"}},
      {R"(O"Neil,A,B,C)", {"O\"Neil", "A", "B", "C"}},
  };
  for (const TLineCase& c : cases) EXPECT_EQ(SplitStudentLine(c.Line), c.Expected) << c.Line;
}

TEST(StudentListWriting, StopsAtTheFirstRowWithoutSurname) {
  std::vector<TStudent> rows = {{"A", "1", "", "F"}, {"B", "2", "", "M"}, {"C", "", "", ""}, {"D", "", "", ""},
                                {"", "Lost", "", ""}, {"F", "", "", ""}};
  EXPECT_EQ(FormatStudentList(rows), "A,1,,F\r\nB,2,,M\r\nC,,,\r\nD,,,\r\n");
  rows[0][0].clear();
  EXPECT_EQ(FormatStudentList(rows), "");
}

TEST(StudentListWriting, FivePartLinesGoBackAsTheyCame) {
  const std::string text = "a,b,c,d,e\r\nSmith,Jo,,F\r\n";
  EXPECT_EQ(FormatStudentList(ParseStudentList(text).Students), text);
}

TEST(StudentListWriting, CommasAndQuotesSurviveARoundTrip) {
  const std::vector<TStudent> rows = {{"Smith, J", "Jo \"JJ\"", "1,2", "M,F"}, {"\"Q", "a", "b", "\"c"}};
  const std::string text = FormatStudentList(rows);
  EXPECT_EQ(text.substr(0, text.find('\r')), R"("Smith, J","Jo ""JJ""","1,2",M,F)");
  EXPECT_EQ(ParseStudentList(text).Students, rows);
}

TEST(StudentListWriting, LineEndsInsideAFieldBecomeSpaces) {
  EXPECT_EQ(FormatStudentLine({"Two\r\nlines", "x", "", ""}), "Two  lines,x,,");
}

TEST(StudentListReading, ManyLinesAndTheLimit) {
  std::string text;
  for (int i = 0; i < 50; ++i) text += "S" + std::to_string(i) + ",F,,\r\n";
  const TStudentListText all = ParseStudentList(text);
  ASSERT_EQ(all.Students.size(), 50u);
  EXPECT_EQ(all.Students[49][0], "S49");
  EXPECT_FALSE(all.Truncated);
  const TStudentListText cut = ParseStudentList(text, 10);
  EXPECT_EQ(cut.Students.size(), 10u);
  EXPECT_TRUE(cut.Truncated);
}

TEST(StudentListFiles, WrittenWholeAndReadBack) {
  TTempFolder dir;
  const std::string file = dir.File("set.ptx");
  WriteText(file, "old content that is much longer than the new one\r\n");
  WriteStudentListFile(file, {{"Smith", "Jo", "", "F"}});
  EXPECT_EQ(ReadText(file), "Smith,Jo,,F\r\n");
  EXPECT_EQ(ReadStudentListFile(file).Students, (std::vector<TStudent>{{"Smith", "Jo", "", "F"}}));
  WriteStudentListFile(file, {});
  EXPECT_EQ(std::filesystem::file_size(file), 0u);
  EXPECT_EQ(dir.Names(), std::vector<std::string>{"set.ptx"});
}

TEST(StudentListFiles, FailuresRaiseAndLeaveNothingBehind) {
  TTempFolder dir;
  EXPECT_THROW(ReadStudentListFile(dir.File("missing.ptx")), EInOutError);
  EXPECT_THROW(WriteStudentListFile(dir.File("no/such/folder.ptx"), {{"A", "", "", ""}}), EInOutError);
  // A folder in the file's place cannot be replaced; the temporary file must go again.
  std::filesystem::create_directory(dir.File("taken.ptx"));
  EXPECT_THROW(WriteStudentListFile(dir.File("taken.ptx"), {{"A", "", "", ""}}), EInOutError);
  EXPECT_EQ(dir.Names(), std::vector<std::string>{"taken.ptx"});

  const std::string big = dir.File("big.csv");
  WriteText(big, std::string(kMaxStudentListBytes + 1, 'x'));
  EXPECT_THROW(ReadStudentListFile(big), EInOutError);
}

}  // namespace
}  // namespace hv
