#include "FilledWorkbook.h"
#include "PackageParts.h"

#include <zip.h>

#include <QByteArray>
#include <QString>
#include <QXmlStreamReader>

#include <cmath>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <optional>

namespace hv {

namespace {

constexpr std::size_t kMaxParts = 4096;
constexpr std::size_t kMaxPartBytes = 64u * 1024 * 1024;
constexpr int kMaxRow = 1048576;
constexpr int kMaxColumn = 16384;
constexpr std::size_t kMaxProblemsListed = 30;

[[noreturn]] void NotWorkbook(const std::string& why) {
  throw EMarkImportError({TMarkProblem{"", 0, 0, "This file is not a workbook that can be read (" + why + ")."}});
}

std::string ColumnName(int column) {
  std::string letters;
  for (int n = column; n > 0; n = (n - 1) / 26) letters.insert(letters.begin(), static_cast<char>('A' + (n - 1) % 26));
  return letters;
}

// The parts a filled workbook is read from, taken out of the zip package one at a time.
class TPackage {
public:
  explicit TPackage(std::string_view bytes) {
    zip_error_t error;
    zip_error_init(&error);
    zip_source_t* source = zip_source_buffer_create(bytes.data(), bytes.size(), 0, &error);
    if (source != nullptr) {
      Archive = zip_open_from_source(source, ZIP_RDONLY, &error);
      if (Archive == nullptr) zip_source_free(source);
    }
    zip_error_fini(&error);
    if (Archive == nullptr) NotWorkbook("not a zip package");
    const zip_int64_t count = zip_get_num_entries(Archive, 0);
    if (count < 0 || static_cast<std::size_t>(count) > kMaxParts) {
      zip_discard(Archive);
      NotWorkbook("too many parts");
    }
  }
  TPackage(const TPackage&) = delete;
  TPackage& operator=(const TPackage&) = delete;
  ~TPackage() { zip_discard(Archive); }

  // The part's bytes; nullopt when the package has no such part.
  std::optional<std::string> Part(const std::string& name) {
    const zip_int64_t index = zip_name_locate(Archive, name.c_str(), ZIP_FL_NOCASE);
    if (index < 0) return std::nullopt;
    zip_file_t* file = zip_fopen_index(Archive, static_cast<zip_uint64_t>(index), 0);
    if (file == nullptr) NotWorkbook("unreadable part " + name);
    std::string data;
    char buffer[65536];
    bool ok = true;
    for (;;) {
      const zip_int64_t n = zip_fread(file, buffer, sizeof buffer);
      if (n < 0) ok = false;
      if (n <= 0) break;
      data.append(buffer, static_cast<std::size_t>(n));
      if (data.size() > kMaxPartBytes) {
        ok = false;
        break;
      }
    }
    if (zip_fclose(file) != 0) ok = false;
    if (!ok) NotWorkbook(data.size() > kMaxPartBytes ? "part " + name + " too large" : "damaged part " + name);
    return data;
  }

private:
  zip_t* Archive = nullptr;
};

std::string Utf8(QStringView text) { return text.toString().toUtf8().toStdString(); }

QXmlStreamReader Reader(const std::string& xml) { return QXmlStreamReader(QByteArray(xml.data(), static_cast<qsizetype>(xml.size()))); }

void CheckXml(const QXmlStreamReader& xml, const std::string& part) {
  if (xml.hasError()) NotWorkbook("damaged XML in " + part + ": " + Utf8(xml.errorString()));
}

// Attributes are matched by local name, so any namespace prefix a producer chose serves.
QStringView Attribute(const QXmlStreamReader& xml, QLatin1StringView local) {
  for (const QXmlStreamAttribute& a : xml.attributes())
    if (a.name() == local) return a.value();
  return {};
}

struct TRelationship {
  std::string Type, Target;
};

// A part's relationships by Id, with targets resolved against the part's folder.
std::map<std::string, TRelationship> ReadRelationships(TPackage& package, const std::string& part) {
  const auto slash = part.find_last_of('/');
  const std::string folder = slash == std::string::npos ? "" : part.substr(0, slash + 1);
  const std::string relsName = folder + "_rels/" + part.substr(slash == std::string::npos ? 0 : slash + 1) + ".rels";
  std::map<std::string, TRelationship> rels;
  const std::optional<std::string> bytes = package.Part(relsName);
  if (!bytes) return rels;
  QXmlStreamReader xml = Reader(*bytes);
  while (!xml.atEnd()) {
    if (xml.readNext() != QXmlStreamReader::StartElement || xml.name() != QLatin1StringView("Relationship")) continue;
    if (Attribute(xml, QLatin1StringView("TargetMode")) == QLatin1StringView("External")) continue;
    rels[Utf8(Attribute(xml, QLatin1StringView("Id")))] = {Utf8(Attribute(xml, QLatin1StringView("Type"))),
                                                         ResolvePart(folder, Utf8(Attribute(xml, QLatin1StringView("Target"))))};
  }
  CheckXml(xml, relsName);
  return rels;
}

bool EndsWith(std::string_view text, std::string_view tail) {
  return text.size() >= tail.size() && text.substr(text.size() - tail.size()) == tail;
}

// The text of an <si> or <is> element: its <t> children and those of its runs, but not the
// phonetic hints (<rPh>) that some producers add.
std::string ReadRichText(QXmlStreamReader& xml) {
  QString text;
  int depth = 1;
  int skipping = 0;
  while (depth > 0 && !xml.atEnd()) {
    const auto token = xml.readNext();
    if (token == QXmlStreamReader::StartElement) {
      ++depth;
      if (xml.name() == QLatin1StringView("rPh")) ++skipping;
      if (xml.name() == QLatin1StringView("t") && skipping == 0) {
        text += xml.readElementText(QXmlStreamReader::IncludeChildElements);
        --depth;
      }
    } else if (token == QXmlStreamReader::EndElement) {
      if (xml.name() == QLatin1StringView("rPh") && skipping > 0) --skipping;
      --depth;
    }
  }
  return text.toUtf8().toStdString();
}

std::vector<std::string> ReadSharedStrings(const std::string& bytes, const std::string& part) {
  std::vector<std::string> strings;
  QXmlStreamReader xml = Reader(bytes);
  while (!xml.atEnd()) {
    if (xml.readNext() != QXmlStreamReader::StartElement || xml.name() != QLatin1StringView("si")) continue;
    if (strings.size() >= kMaxSharedStrings) NotWorkbook("too many shared strings");
    strings.push_back(ReadRichText(xml));
  }
  CheckXml(xml, part);
  return strings;
}

// "AB12" into row and column; false when it is not a cell name within the sheet's bounds.
bool ParseReference(QStringView ref, int& row, int& column) {
  qsizetype i = 0;
  long c = 0, r = 0;
  while (i < ref.size() && ref[i] >= u'A' && ref[i] <= u'Z' && i < 3) c = c * 26 + (ref[i++].unicode() - u'A' + 1);
  if (c == 0 || i == ref.size()) return false;
  const qsizetype digits = i;
  while (i < ref.size() && ref[i] >= u'0' && ref[i] <= u'9' && i - digits < 7) r = r * 10 + (ref[i++].unicode() - u'0');
  if (i != ref.size() || r < 1 || r > kMaxRow || c > kMaxColumn) return false;
  row = static_cast<int>(r);
  column = static_cast<int>(c);
  return true;
}

TReadCell ReadCell(QXmlStreamReader& xml, QStringView type, const std::vector<std::string>& shared) {
  QString value;
  QString inlineText;
  bool hasValue = false, hasInline = false;
  while (xml.readNextStartElement()) {
    if (xml.name() == QLatin1StringView("v")) {
      value = xml.readElementText(QXmlStreamReader::IncludeChildElements);
      hasValue = true;
    } else if (xml.name() == QLatin1StringView("is")) {
      inlineText = QString::fromUtf8(ReadRichText(xml));
      hasInline = true;
    } else {
      xml.skipCurrentElement();  // the formula, extensions
    }
  }
  TReadCell cell;
  if (type == QLatin1StringView("inlineStr")) {
    if (!hasInline) return cell;
    cell.Kind = TReadCell::TKind::Text;
    cell.Text = inlineText.toUtf8().toStdString();
  } else if (!hasValue) {
    return cell;
  } else if (type == QLatin1StringView("s")) {
    bool ok = false;
    const qulonglong index = value.trimmed().toULongLong(&ok);
    if (!ok || index >= shared.size()) NotWorkbook("a cell names a shared string that is not there");
    cell.Kind = TReadCell::TKind::Text;
    cell.Text = shared[index];
  } else if (type == QLatin1StringView("str") || type == QLatin1StringView("d")) {
    cell.Kind = TReadCell::TKind::Text;
    cell.Text = value.toUtf8().toStdString();
  } else if (type == QLatin1StringView("b")) {
    cell.Kind = TReadCell::TKind::Boolean;
    cell.Text = value.trimmed() == QLatin1StringView("1") ? "TRUE" : "FALSE";
  } else if (type == QLatin1StringView("e")) {
    cell.Kind = TReadCell::TKind::Error;
    cell.Text = value.toUtf8().toStdString();
  } else {
    bool ok = false;
    const double number = value.trimmed().toDouble(&ok);
    cell.Text = value.toUtf8().toStdString();
    if (ok && std::isfinite(number)) {
      cell.Kind = TReadCell::TKind::Number;
      cell.Value = number;
    } else {
      cell.Kind = TReadCell::TKind::Text;
    }
  }
  // Text of spaces alone is what a cleared cell often keeps: it holds no mark.
  if (cell.Kind == TReadCell::TKind::Text && QString::fromUtf8(cell.Text.data(), static_cast<qsizetype>(cell.Text.size())).trimmed().isEmpty())
    return {};
  return cell;
}

void ReadCells(const std::string& bytes, const std::string& part, const std::vector<std::string>& shared, TReadSheet& sheet) {
  QXmlStreamReader xml = Reader(bytes);
  std::size_t cells = 0;
  int row = 0, column = 0;
  bool inData = false;
  while (!xml.atEnd()) {
    const auto token = xml.readNext();
    if (token == QXmlStreamReader::EndElement && xml.name() == QLatin1StringView("sheetData")) inData = false;
    if (token != QXmlStreamReader::StartElement) continue;
    if (xml.name() == QLatin1StringView("sheetData")) {
      inData = true;
    } else if (inData && xml.name() == QLatin1StringView("row")) {
      const QStringView r = Attribute(xml, QLatin1StringView("r"));
      bool ok = true;
      const int number = r.isEmpty() ? row + 1 : r.toInt(&ok);
      if (!ok || number < 1 || number > kMaxRow) NotWorkbook("a row number is out of range in " + part);
      row = number;
      column = 0;
    } else if (inData && xml.name() == QLatin1StringView("c")) {
      const QStringView r = Attribute(xml, QLatin1StringView("r"));
      if (r.isEmpty()) {
        ++column;
      } else {
        int cellRow = 0;
        if (!ParseReference(r, cellRow, column)) NotWorkbook("a cell reference is not valid in " + part);
        row = cellRow;
      }
      if (row < 1 || column < 1 || column > kMaxColumn) NotWorkbook("a cell lies outside the sheet in " + part);
      const QString type = Attribute(xml, QLatin1StringView("t")).toString();
      TReadCell cell = ReadCell(xml, type, shared);
      if (cell.Kind == TReadCell::TKind::Blank) continue;
      if (++cells > kMaxReadCells) NotWorkbook("too many cells");
      sheet.Rows[row][column] = std::move(cell);
    }
  }
  CheckXml(xml, part);
}

}  // namespace

std::string TMarkProblem::Message() const {
  std::string where;
  if (!Sheet.empty()) where = "Sheet \"" + Sheet + "\"";
  if (Row > 0) where += (where.empty() ? "Row " : ", row ") + std::to_string(Row);
  if (Column > 0) where += (where.empty() ? "Column " : ", column ") + ColumnName(Column);
  return where.empty() ? Text : where + ": " + Text;
}

namespace {
std::string ProblemsText(const std::vector<TMarkProblem>& problems) {
  std::string text = "Nothing was imported from this workbook. ";
  text += problems.size() == 1 ? "Please mend this and import it again:" : "Please mend these and import it again:";
  for (std::size_t i = 0; i < problems.size() && i < kMaxProblemsListed; ++i) text += "\n" + problems[i].Message();
  if (problems.size() > kMaxProblemsListed)
    text += "\n... and " + std::to_string(problems.size() - kMaxProblemsListed) + " more.";
  return text;
}
}  // namespace

EMarkImportError::EMarkImportError(std::vector<TMarkProblem> problems)
    : EDataError(ProblemsText(problems)), Problems(std::move(problems)) {}

const TReadCell* TReadSheet::Cell(int row, int column) const {
  const auto r = Rows.find(row);
  if (r == Rows.end()) return nullptr;
  const auto c = r->second.find(column);
  return c == r->second.end() ? nullptr : &c->second;
}

TReadSheet ReadFirstWorksheet(std::string_view bytes) {
  TPackage package(bytes);
  // The workbook part is the package's office document; ours and most producers call it so.
  std::string workbookPart = "xl/workbook.xml";
  for (const auto& [id, rel] : ReadRelationships(package, ""))
    if (EndsWith(rel.Type, "/officeDocument")) workbookPart = rel.Target;
  const std::optional<std::string> workbook = package.Part(workbookPart);
  if (!workbook) NotWorkbook("no workbook part");
  const std::map<std::string, TRelationship> rels = ReadRelationships(package, workbookPart);

  TReadSheet sheet;
  std::string sheetPart;
  QXmlStreamReader xml = Reader(*workbook);
  while (!xml.atEnd() && sheetPart.empty()) {
    if (xml.readNext() != QXmlStreamReader::StartElement || xml.name() != QLatin1StringView("sheet")) continue;
    std::string id;
    for (const QXmlStreamAttribute& a : xml.attributes())
      if (a.name() == QLatin1StringView("id")) id = Utf8(a.value());
    const auto rel = rels.find(id);
    if (rel == rels.end() || !EndsWith(rel->second.Type, "/worksheet")) continue;  // a chart sheet
    sheet.Name = Utf8(Attribute(xml, QLatin1StringView("name")));
    sheetPart = rel->second.Target;
  }
  CheckXml(xml, workbookPart);
  if (sheetPart.empty()) NotWorkbook("no worksheet");

  std::vector<std::string> shared;
  for (const auto& [id, rel] : rels)
    if (EndsWith(rel.Type, "/sharedStrings"))
      if (const std::optional<std::string> bytesOfStrings = package.Part(rel.Target))
        shared = ReadSharedStrings(*bytesOfStrings, rel.Target);
  const std::optional<std::string> cells = package.Part(sheetPart);
  if (!cells) NotWorkbook("the worksheet part " + sheetPart + " is missing");
  ReadCells(*cells, sheetPart, shared, sheet);
  return sheet;
}

TReadSheet ReadWorksheetXml(const std::string& sheetXml, const std::string& sharedStringsXml) {
  TReadSheet sheet;
  const std::vector<std::string> shared =
      sharedStringsXml.empty() ? std::vector<std::string>() : ReadSharedStrings(sharedStringsXml, "shared strings");
  ReadCells(sheetXml, "worksheet", shared, sheet);
  return sheet;
}

TReadSheet ReadFirstWorksheetFile(const std::string& fileName) {
  std::ifstream in(fileName, std::ios::binary);
  if (!in) throw EInOutError("Cannot open file \"" + fileName + "\".");
  in.seekg(0, std::ios::end);
  const std::streamoff size = in.tellg();
  if (size < 0 || static_cast<std::size_t>(size) > 4 * kMaxPartBytes)
    throw EInOutError("The file \"" + fileName + "\" is too large for a mark entry workbook.");
  in.seekg(0);
  std::string bytes(static_cast<std::size_t>(size), '\0');
  if (!in.read(bytes.data(), size)) throw EInOutError("Cannot read file \"" + fileName + "\".");
  return ReadFirstWorksheet(bytes);
}

TFilledMarks FindMarks(const TReadSheet& sheet) {
  TFilledMarks marks;
  marks.Sheet = sheet.Name;
  auto notOurs = [&](int row, int column, const std::string& why) -> TFilledMarks {
    throw EMarkImportError({TMarkProblem{sheet.Name, row, column,
                                         why + " This is not a mark entry sheet made by Harrowvane."}});
  };
  // The numbering row is written by the program whatever the template: 1, 2, ... then "Total".
  int column = kMarkSheetFirstQuestionColumn;
  for (;; ++column) {
    const TReadCell* cell = sheet.Cell(kMarkSheetNumberRow, column);
    const int expected = column - kMarkSheetFirstQuestionColumn + 1;
    if (cell != nullptr && cell->Kind == TReadCell::TKind::Number && cell->Value == expected) continue;
    if (cell != nullptr && cell->Kind == TReadCell::TKind::Text && cell->Text == "Total" && expected > 1) break;
    return notOurs(kMarkSheetNumberRow, column,
                   expected == 1 ? "The questions' numbers are missing."
                                 : "The question number " + std::to_string(expected) + " or \"Total\" was expected here.");
  }
  const int totalColumn = column;
  for (int c = kMarkSheetFirstQuestionColumn; c < totalColumn; ++c) {
    const TReadCell* id = sheet.Cell(kMarkSheetIDRow, c);
    if (id == nullptr || id->Kind != TReadCell::TKind::Text)
      return notOurs(kMarkSheetIDRow, c, "The question's ID is missing.");
    marks.Questions.push_back({id->Text, c});
  }
  for (const auto& [row, cells] : sheet.Rows) {
    if (row < kMarkSheetFirstStudentRow) continue;
    TFilledStudent student{row, {}};
    bool any = false;
    for (const TFilledQuestion& q : marks.Questions) {
      const auto it = cells.find(q.Column);
      student.Marks.push_back(it == cells.end() ? nullptr : &it->second);
      any = any || it != cells.end();
    }
    if (any) marks.Students.push_back(std::move(student));
  }
  return marks;
}

}  // namespace hv
