#include "AnalysisSheets.h"

#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>

#include "AnsiString.h"
#include "Workbook.h"
#include "core/Errors.h"
#include "model/Categories.h"
#include "model/Document.h"
#include "model/Library.h"
#include "model/LibraryConfig.h"
#include "model/Segments.h"

namespace hv {

namespace {

constexpr int kFirstQuestionColumn = 5;
constexpr int kFirstStudentRow = 9;

std::string Utf8(std::string_view ansi) { return AnsiToQt(ansi).toUtf8().toStdString(); }

std::string LowerAscii(std::string_view text) {
  std::string out(text);
  for (char& c : out)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return out;
}

bool EndsWithNoCase(std::string_view text, std::string_view tail) {
  return text.size() >= tail.size() && LowerAscii(text.substr(text.size() - tail.size())) == tail;
}

void AddLine(std::string& out, std::initializer_list<std::string_view> pieces) {
  for (std::string_view p : pieces) out += p;
  out += "\r\n";
}

// Text cells are written only when there is text, so an absent value leaves the template's cell.
void PutText(TWorksheet& sheet, int row, int column, std::string_view ansi) {
  if (!ansi.empty()) sheet.SetText(row, column, Utf8(ansi));
}

}  // namespace

int LevelNumber(const TLibrary& library, const TCategory* level) {
  if (level == nullptr || library.Levels == nullptr) return 0;
  auto it = library.Levels->CreateIterator();
  int number = 0;
  for (TCategory* node = it->Next(); node != nullptr; node = it->Next()) {
    if (node->Parent == nullptr) continue;
    ++number;
    if (node == level) return number;
  }
  return 0;
}

std::vector<TQuestionValues> DocumentQuestions(const TDocument& document, const TLibrary& library, bool useResources) {
  std::vector<TQuestionValues> list;
  for (const TDocContent* entry : document.Entries) {
    const auto* q = dynamic_cast<const TQuestion*>(entry != nullptr ? entry->Segment : nullptr);
    if (q == nullptr) continue;
    TQuestionValues v;
    v.ID = q->GetID();
    v.Name = q->GetName();
    if (const int level = LevelNumber(library, q->Level); level > 0) v.Level = std::to_string(level);
    v.Marks = q->Marks;
    std::vector<TIdentityCategory*> none;
    const std::vector<TIdentityCategory*>& refs =
        useResources ? q->Resources : (q->Identity != nullptr ? q->Identity->Related : none);
    if (refs.size() > 0 && refs[0] != nullptr) v.SpecRef1 = FullID(refs[0]);
    if (refs.size() > 1 && refs[1] != nullptr) v.SpecRef2 = FullID(refs[1]);
    if (!q->Topics.empty() && q->Topics[0] != nullptr) v.Topic = q->Topics[0]->Name;
    list.push_back(std::move(v));
  }
  return list;
}

std::string MarkEntryLines(const std::vector<TQuestionValues>& questions) {
  std::string out;
  for (const TQuestionValues& q : questions)
    AddLine(out, {q.ID, ",", q.Level, ",", std::to_string(q.Marks), ",", q.SpecRef1, ",", q.SpecRef2, ",", q.Topic});
  return out;
}

std::string FileIndexLines(const std::vector<TQuestionValues>& questions) {
  std::string out;
  for (const TQuestionValues& q : questions)
    AddLine(out, {q.ID, ",", q.Name, ",'", q.Level, "   ,", std::to_string(q.Marks), " marks,", q.SpecRef1, ",",
                  q.SpecRef2, ",", q.Topic});
  return out;
}

std::string TrimSpecRef(std::string_view ref) {
  if (!ref.empty() && static_cast<unsigned char>(ref.back()) > static_cast<unsigned char>('9')) ref.remove_suffix(1);
  return std::string(ref);
}

std::vector<std::string> SortedSpecRefs(const std::vector<TQuestionValues>& questions) {
  std::vector<std::string> refs;
  for (const TQuestionValues& q : questions)
    for (const std::string* ref : {&q.SpecRef1, &q.SpecRef2}) {
      if (ref->empty()) continue;
      std::string trimmed = TrimSpecRef(*ref);
      if (!trimmed.empty()) refs.push_back(std::move(trimmed));
    }
  std::stable_sort(refs.begin(), refs.end(),
                   [](const std::string& a, const std::string& b) { return LowerAscii(a) < LowerAscii(b); });
  refs.erase(std::unique(refs.begin(), refs.end(),
                         [](const std::string& a, const std::string& b) { return LowerAscii(a) == LowerAscii(b); }),
             refs.end());
  return refs;
}

int LastMarkRow(std::size_t students) {
  return std::max(200, kFirstStudentRow - 1 + static_cast<int>(std::min<std::size_t>(students, kMaxSheetRows)));
}

void FillMarkEntrySheet(TWorkbook& book, const std::vector<TQuestionValues>& questions,
                        const std::optional<std::vector<TStudent>>& list, const TLibrary& library, bool useResources) {
  static const std::vector<TStudent> none;
  const bool haveList = list.has_value();
  const std::vector<TStudent>& students = haveList ? *list : none;
  if (book.SheetCount() < 2) throw EDataError("The mark entry sheet template needs two worksheets.");
  TWorksheet& marks = book.Sheet(1);
  TWorksheet& refs = book.Sheet(2);
  const int n = static_cast<int>(questions.size());
  const int totalColumn = n + kFirstQuestionColumn;
  const std::string total = ColumnLetters(totalColumn);
  const std::string lastQuestion = ColumnLetters(totalColumn - 1);
  const std::string lastRow = std::to_string(LastMarkRow(students.size()));

  for (std::size_t k = 0; k < students.size(); ++k) {
    const int row = kFirstStudentRow + static_cast<int>(k);
    for (int f = 0; f < 4; ++f)
      if (const std::string& field = students[k][static_cast<std::size_t>(f)]; !field.empty())
        marks.SetText(row, f + 1, field);
  }
  marks.SetColumnWidth(totalColumn, 7);
  marks.SetColumnWidth(totalColumn + 1, 9);

  for (int j = 0; j < n; ++j) {
    const TQuestionValues& q = questions[static_cast<std::size_t>(j)];
    const int c = kFirstQuestionColumn + j;
    const std::string l = ColumnLetters(c);
    PutText(marks, 1, c, q.ID);
    PutText(marks, 2, c, q.Topic);
    PutText(marks, 3, c, q.SpecRef1);
    PutText(marks, 4, c, q.SpecRef2);
    if (!q.Level.empty()) marks.SetNumber(5, c, std::stod(q.Level));
    marks.SetNumber(6, c, q.Marks);
    // The class size in B7 and the marks in row 6 are read where they stand, so editing either
    // recomputes; an empty class or a question worth nothing leaves the cell empty.
    marks.SetFormula(7, c, "IF(N($B$7)*N(" + l + "$6)=0,\"\",ROUND(SUM(" + l + "9:" + l + lastRow + ")*100/($B$7*" + l +
                               "$6),0))");
    marks.SetNumber(8, c, j + 1);
  }
  marks.SetText(8, totalColumn, "Total");
  marks.SetText(8, totalColumn + 1, "%Correct");
  marks.SetFormula(6, 2, "SUM(E6:" + lastQuestion + "6)");
  for (std::size_t k = 0; k < students.size(); ++k) {
    const std::string r = std::to_string(kFirstStudentRow + static_cast<int>(k));
    marks.SetFormula(kFirstStudentRow + static_cast<int>(k), totalColumn, "SUM(E" + r + ":" + lastQuestion + r + ")");
    marks.SetFormula(kFirstStudentRow + static_cast<int>(k), totalColumn + 1,
                     "IF(N($B$6)=0,\"\",ROUND(" + total + r + "*100/$B$6,0))");
  }
  // The class is the rows written: each has a total, whether or not it has a surname. Without a
  // list the template's own count of typed surnames stays.
  if (haveList)
    marks.SetFormula(7, 2, "COUNT(" + total + std::to_string(kFirstStudentRow) + ":" + total + lastRow + ")");

  const std::vector<std::string> sorted = SortedSpecRefs(questions);
  for (std::size_t i = 0; i < sorted.size(); ++i) {
    const int row = static_cast<int>(i) + 2;
    refs.SetText(row, 1, Utf8(sorted[i]));
    if (const TIdentityCategory* node = library.FindIdentity(sorted[i], useResources ? 'R' : 'S'))
      PutText(refs, row, 2, node->Title);
  }
}

void FillFileIndex(TWorkbook& book, const std::vector<TQuestionValues>& questions) {
  TWorksheet& sheet = book.Sheet(1);
  sheet.SetColumnWidth(3, 45);
  sheet.SetColumnWidth(8, 20);
  sheet.SetColumnWidth(2, 12);
  static const char* const headings[] = {"Question", "Ref", "Summary", "Level", "Marks", "Spec ref1", "Spec ref2", "Topic"};
  for (int c = 0; c < 8; ++c) {
    sheet.SetText(1, c + 1, headings[c]);
    sheet.SetStyle(1, c + 1, TWorkbook::kBlankHeadingStyle);
  }
  for (std::size_t j = 0; j < questions.size(); ++j) {
    const TQuestionValues& q = questions[j];
    const int row = static_cast<int>(j) + 2;
    // The leading apostrophe a user would type to keep these as text is the cell's quote-prefix
    // format, not part of the text.
    sheet.SetText(row, 1, std::to_string(j + 1) + ".    ");
    sheet.SetStyle(row, 1, TWorkbook::kBlankQuotedStyle);
    PutText(sheet, row, 2, q.ID);
    PutText(sheet, row, 3, q.Name);
    sheet.SetText(row, 4, q.Level + "   ");
    sheet.SetStyle(row, 4, TWorkbook::kBlankQuotedStyle);
    sheet.SetText(row, 5, std::to_string(q.Marks) + " marks");
    PutText(sheet, row, 6, q.SpecRef1);
    PutText(sheet, row, 7, q.SpecRef2);
    PutText(sheet, row, 8, q.Topic);
  }
}

std::string FindTemplateFile(const std::string& templateName) {
  std::string name = templateName.empty() ? std::string(kDefaultTemplateName) : templateName;
  if (EndsWithNoCase(name, ".xlt")) name += (name.back() == 'T' ? 'X' : 'x');
  namespace fs = std::filesystem;
  std::vector<std::string> places;
  if (fs::path(name).is_absolute()) {
    places.push_back(fs::path(name).parent_path().string());
    name = fs::path(name).filename().string();
  } else {
    if (!ProgramDirectory().empty()) places.push_back(ProgramDirectory());
    for (const std::string& dir : ConfigSearchPath())
      if (std::find(places.begin(), places.end(), dir) == places.end()) places.push_back(dir);
  }
  std::string looked;
  for (const std::string& dir : places) {
    const fs::path candidate = fs::path(dir) / name;
    std::error_code ec;
    if (fs::is_regular_file(candidate, ec)) return candidate.string();
    looked += (looked.empty() ? "" : ", ") + dir;
  }
  throw EInOutError("The mark entry sheet template \"" + name + "\" was not found. Looked in: " + looked + ".");
}

TWorkbook OpenTemplate(const std::string& fileName) {
  try {
    TWorkbook book = TWorkbook::Open(fileName);
    if (book.SheetCount() >= 2) {
      book.Sheet(1);
      book.Sheet(2);
      return book;
    }
  } catch (const EDataError&) {
  }
  throw EDataError("The mark entry sheet template \"" + fileName + "\" is not a workbook with two worksheets.");
}

namespace {

// The questions as comma-separated lines ("q.txt"), kept in a private temporary file while the
// workbook is made, since nothing outside the program reads them, and removed however it ends.
class TQuestionListFile {
public:
  explicit TQuestionListFile(std::string_view lines) {
    Path = (std::filesystem::temp_directory_path() / "harrowvane-q-XXXXXX").string();
    const int fd = ::mkstemp(Path.data());
    if (fd < 0) throw EInOutError("Cannot create a temporary file in " + std::filesystem::temp_directory_path().string() + ".");
    ::close(fd);
    try {
      ReplaceFileContent(Path, lines);
    } catch (...) {
      ::unlink(Path.c_str());
      throw;
    }
  }
  ~TQuestionListFile() { ::unlink(Path.c_str()); }
  TQuestionListFile(const TQuestionListFile&) = delete;
  TQuestionListFile& operator=(const TQuestionListFile&) = delete;

private:
  std::string Path;
};

}  // namespace

void CreateMarkEntryWorkbook(const TDocument& document, const TLibrary& library, bool useResources,
                             const std::string& templateFile, const std::optional<std::string>& studentListFile,
                             const std::string& fileName, const THeaderQuestion& dropHeader) {
  std::optional<std::vector<TStudent>> students;
  if (studentListFile) {
    TStudentListText list = ImportStudentList(*studentListFile, dropHeader);
    if (list.Truncated)
      throw EDataError("The student list \"" + *studentListFile + "\" has more than " + std::to_string(kMaxStudents) +
                       " students.");
    students = std::move(list.Students);
  }
  TWorkbook book = OpenTemplate(templateFile);
  const std::vector<TQuestionValues> questions = DocumentQuestions(document, library, useResources);
  const TQuestionListFile lines(MarkEntryLines(questions));
  FillMarkEntrySheet(book, questions, students, library, useResources);
  book.SaveAs(fileName);
}

void CreateFileIndexWorkbook(const TDocument& document, const TLibrary& library, const std::string& fileName) {
  const std::vector<TQuestionValues> questions = DocumentQuestions(document, library, false);
  const TQuestionListFile lines(FileIndexLines(questions));
  TWorkbook book = TWorkbook::Blank();
  FillFileIndex(book, questions);
  book.SaveAs(fileName);
}

}  // namespace hv
