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

TEST(StudentListLines, FieldsFillFromTheLeft) {
  const TLineCase cases[] = {
      {"Smith,Jo,12/03/2009,F", {"Smith", "Jo", "12/03/2009", "F"}},
      {"Smith, Jo", {"Smith", "Jo", "", ""}},
      {"a,b,c,d,e", {"a", "b", "c", "d,e"}},
      {"a,b,c,", {"a", "b", "c", ""}},
      {",Jo,,", {"", "Jo", "", ""}},
  };
  for (const TLineCase& c : cases) EXPECT_EQ(SplitStudentLine(c.Line), c.Expected) << c.Line;
}

TEST(StudentListLines, ALineWithoutCommasIsAName) {
  const TLineCase cases[] = {
      {"Smith", {"Smith", "", "", ""}},
      {"John Smith", {"Smith", "John", "", ""}},
      {"SMITH John", {"SMITH", "John", "", ""}},
      {"NGUYỄN Văn An", {"NGUYỄN", "Văn An", "", ""}},
      {"Anna Maria KOWALSKA", {"KOWALSKA", "Anna Maria", "", ""}},
      {"Jan van der Berg", {"van der Berg", "Jan", "", ""}},
      // Without a hint which part is the surname, nothing is cut.
      {"Nguyễn Văn An", {"Nguyễn Văn An", "", "", ""}},
      {"\"Smith, Jo\"", {"Smith", "Jo", "", ""}},
  };
  for (const TLineCase& c : cases) EXPECT_EQ(SplitStudentLine(c.Line), c.Expected) << c.Line;
}

TEST(StudentListLines, QuotedFieldsReadWhole) {
  const TLineCase cases[] = {
      {R"("Smith, J",Jo,,F)", {"Smith, J", "Jo", "", "F"}},
      {R"("O""Neil",Ann,1/1/09,"F")", {"O\"Neil", "Ann", "1/1/09", "F"}},
      {R"(a,b,c,"x""y")", {"a", "b", "c", "x\"y"}},
      {R"("Smith","Jo","12/03/2009","M")", {"Smith", "Jo", "12/03/2009", "M"}},
      {R"(" Smith ",Jo,,)", {" Smith ", "Jo", "", ""}},
      // Not closed, or not followed by a comma: taken as plain text.
      {R"("abc,def,g,h)", {"\"abc", "def", "g", "h"}},
      {R"("ab"c,d,e,f)", {"\"ab\"c", "d", "e", "f"}},
      {R"(a,b,c,"x" y)", {"a", "b", "c", "\"x\" y"}},
      {R"(O"Neil,A,B,C)", {"O\"Neil", "A", "B", "C"}},
  };
  for (const TLineCase& c : cases) EXPECT_EQ(SplitStudentLine(c.Line), c.Expected) << c.Line;
}

TEST(StudentListReading, EmptyLinesAreSkippedAndHeadersRecognised) {
  const TStudentListText list = ParseStudentList("\r\nSurname,First name,DoB,Gender\r\n\r\n ,, ,\r\nSmith,Jo,,F\r\n\n");
  EXPECT_EQ(list.Students, (std::vector<TStudent>{{"Surname", "First name", "DoB", "Gender"}, {"Smith", "Jo", "", "F"}}));
  EXPECT_TRUE(list.FirstLooksLikeHeader);
  for (const char* header : {"Name", "Last_Name;", "Student name,Class", "SURNAME, Forename, Sex, Set"})
    EXPECT_TRUE(LooksLikeHeader(header)) << header;
  for (const char* student : {"Smith,Jo,,F", "Name,Jo", "Classen", ""}) EXPECT_FALSE(LooksLikeHeader(student)) << student;
}

TEST(StudentListWriting, EveryRowWithTextIsWritten) {
  const std::vector<TStudent> rows = {{"A", "1", "", "F"}, {"", "", "", ""}, {"", "Forename only", "", ""},
                                      {"C", "", "", ""}};
  EXPECT_EQ(FormatStudentList(rows), "A,1,,F\r\n,Forename only,,\r\nC,,,\r\n");
  EXPECT_EQ(ParseStudentList(FormatStudentList(rows)).Students,
            (std::vector<TStudent>{rows[0], rows[2], rows[3]}));
}

TEST(StudentListWriting, FivePartLinesGoBackAsTheyCame) {
  const std::string text = "a,b,c,d,e\r\nSmith,Jo,,F\r\n";
  EXPECT_EQ(FormatStudentList(ParseStudentList(text).Students), text);
}

TEST(StudentListWriting, CommasQuotesAndSpacesSurviveARoundTrip) {
  const std::vector<TStudent> rows = {{"Smith, J", "Jo \"JJ\"", "1,2", "M,F"}, {"\"Q", " a", "b\t", "\"c"}};
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

TEST(StudentListEncoding, Utf8IsRecognisedAndEverythingElseIsWindows1252) {
  EXPECT_EQ(DecodeListText("\xEF\xBB\xBFM\xC3\xBCller"), "M\xC3\xBCller");
  EXPECT_EQ(DecodeListText("Nguy\xE1\xBB\x85n"), "Nguy\xE1\xBB\x85n");
  EXPECT_EQ(DecodeListText("M\xFCller \x80"), "M\xC3\xBCller \xE2\x82\xAC");
  // A damaged byte behind the mark is taken alone.
  EXPECT_EQ(DecodeListText("\xEF\xBB\xBF\xD0\x96\xFC"), "\xD0\x96\xC3\xBC");

  // Names that Windows-1252 holds stay readable by older programs; others go out as UTF-8.
  EXPECT_EQ(EncodeListText("M\xC3\xBCller \xE2\x82\xAC"), "M\xFCller \x80");
  EXPECT_EQ(EncodeListText("\xD0\x96"), "\xEF\xBB\xBF\xD0\x96");
  // "Ã©" in Windows-1252 is the UTF-8 of "é", so it must be marked to come back as written.
  for (const char* text : {"\xC3\x83\xC2\xA9", "\xC3\xAF\xC2\xBB\xC2\xBFx\xC3\xA9", "Smith", "\xD0\x96", "M\xC3\xBCller"})
    EXPECT_EQ(DecodeListText(EncodeListText(text)), text) << text;
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
