#pragma once
// The two spreadsheets made from a test document: the mark entry sheet, on which a teacher types
// each student's marks and gets totals and percentages, and the file index listing the questions
// with their references.
#include <optional>
#include <string>
#include <vector>

#include "StudentList.h"

namespace hv {

class TCategory;
class TDocument;
class TLibrary;
class TWorkbook;

inline constexpr const char* kDefaultTemplateName = "RX2P.xlt";

// What one question of the document contributes, as Windows-1252 bytes from the library.
struct TQuestionValues {
  std::string ID;
  std::string Name;
  std::string Level;  // its number among the levels, or empty
  int Marks = 0;
  std::string SpecRef1, SpecRef2;
  std::string Topic;
};

// The level's place in the pre-order of the level tree, from 1, as the category symbols number
// it; 0 when there is no level or it is not in the library's level tree.
int LevelNumber(const TLibrary& library, const TCategory* level);

// The questions of a document in order; other entries are left out. References come from the
// question's resources when useResources is set, else from its identity's related list.
std::vector<TQuestionValues> DocumentQuestions(const TDocument& document, const TLibrary& library, bool useResources);

// The "q.txt" texts, one CR LF ended line per question, fields joined by commas as they are.
std::string MarkEntryLines(const std::vector<TQuestionValues>& questions);
std::string FileIndexLines(const std::vector<TQuestionValues>& questions);

// A reference without its trailing letter ("1.2a" gives "1.2"): the last character goes when its
// code is above that of "9".
std::string TrimSpecRef(std::string_view ref);
// The questions' references trimmed, sorted and without duplicates, compared ignoring case.
std::vector<std::string> SortedSpecRefs(const std::vector<TQuestionValues>& questions);

// The first row that the question percentage formulas count to: row 200, or the last student's
// row when the list is longer.
int LastMarkRow(std::size_t students);

// Fills the template's two sheets. Without a student list no student rows are written and the
// template's B7 (the class size the question percentages divide by) stays; with one, B7 counts
// the student rows written. Raises EDataError when the workbook has fewer than two worksheets.
//
// Sheet 1: questions from column E, one per column: row 1 ID, 2 topic, 3 and 4 references,
// 5 level, 6 marks, 7 the percentage of the class, 8 the question's number. Students from row 9
// (surname, forename, date of birth, sex in A to D, marks below each question), then the total and
// the percentage in the two columns after the last question. B6 is the sum of the marks row.
void FillMarkEntrySheet(TWorkbook& book, const std::vector<TQuestionValues>& questions,
                        const std::optional<std::vector<TStudent>>& students, const TLibrary& library,
                        bool useResources);
void FillFileIndex(TWorkbook& book, const std::vector<TQuestionValues>& questions);

// The template file to use: a name ending in ".xlt" (the old binary format) stands for the
// ".xltx" of the same name. A relative name is looked for in the program's folder and then along
// the configuration search path. Raises EInOutError naming the places searched when none is there.
std::string FindTemplateFile(const std::string& templateName);
// Opens the template; one that is not a workbook with two worksheets raises EDataError.
TWorkbook OpenTemplate(const std::string& fileName);

// The whole flows behind the two commands, once the user has chosen the files: the workbook is
// filled and saved. A student list is read as Import reads it, dropHeader deciding about a first
// line that looks like column headings. Errors go to the caller.
void CreateMarkEntryWorkbook(const TDocument& document, const TLibrary& library, bool useResources,
                             const std::string& templateFile, const std::optional<std::string>& studentListFile,
                             const std::string& fileName, const THeaderQuestion& dropHeader = {});
void CreateFileIndexWorkbook(const TDocument& document, const TLibrary& library, const std::string& fileName);

}  // namespace hv
