#pragma once
// The two spreadsheets made from a test document: the mark entry sheet, on which a teacher types
// each student's marks and gets totals and percentages, and the file index listing the questions
// with their references. Both also leave the question list as "q.txt" beside the workbook.
#include <optional>
#include <string>
#include <vector>

#include "StudentList.h"

namespace hv {

class TCategory;
class TDocument;
class TLibrary;
class TWorkbook;

inline constexpr const char* kQuestionListName = "q.txt";
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

// Fills the template's two sheets. students is empty when no list is used. Raises EDataError
// when the workbook has fewer than two worksheets.
void FillMarkEntrySheet(TWorkbook& book, const std::vector<TQuestionValues>& questions,
                        const std::vector<TStudent>& students, const TLibrary& library, bool useResources);
void FillFileIndex(TWorkbook& book, const std::vector<TQuestionValues>& questions);

// The template file to use: a name ending in ".xlt" (the old binary format) stands for the
// ".xltx" of the same name. A relative name is looked for in the program's folder and then along
// the configuration search path. Raises EInOutError naming the places searched when none is there.
std::string FindTemplateFile(const std::string& templateName);
// Opens the template; one that is not a workbook with two worksheets raises EDataError.
TWorkbook OpenTemplate(const std::string& fileName);

// The whole flows behind the two commands, once the user has chosen the files: "q.txt" goes into
// the workbook's folder, then the workbook is filled and saved. Errors go to the caller.
void CreateMarkEntryWorkbook(const TDocument& document, const TLibrary& library, bool useResources,
                             const std::string& templateFile, const std::optional<std::string>& studentListFile,
                             const std::string& fileName);
void CreateFileIndexWorkbook(const TDocument& document, const TLibrary& library, const std::string& fileName);

}  // namespace hv
