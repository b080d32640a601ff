#include "Workbook.h"

#include "PackageParts.h"

#include <zip.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>

#include "StudentList.h"
#include "core/Errors.h"

namespace hv {

namespace {

using xml::TAttributes;
using xml::TScanner;
using xml::TTag;

constexpr const char* kTemplateType = "application/vnd.openxmlformats-officedocument.spreadsheetml.template.main+xml";
constexpr const char* kWorkbookType = "application/vnd.openxmlformats-officedocument.spreadsheetml.sheet.main+xml";

[[noreturn]] void NotWorkbook(std::string_view why) {
  throw EDataError("The file is not a spreadsheet workbook (" + std::string(why) + ").");
}

std::optional<long> ParseNumber(std::string_view text, long max) {
  long value = 0;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (ec != std::errc() || end != text.data() + text.size() || value < 1 || value > max) return std::nullopt;
  return value;
}

bool EndsWith(std::string_view text, std::string_view tail) {
  return text.size() >= tail.size() && text.substr(text.size() - tail.size()) == tail;
}

std::string Lower(std::string_view text) {
  std::string out(text);
  for (char& c : out)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return out;
}

std::string FormatDouble(double value) {
  char buffer[32];
  if (std::isfinite(value) && value == std::floor(value) && std::fabs(value) < 1e15)
    std::snprintf(buffer, sizeof buffer, "%lld", static_cast<long long>(value));
  else if (std::isfinite(value))
    std::snprintf(buffer, sizeof buffer, "%.17g", value);
  else
    std::snprintf(buffer, sizeof buffer, "0");
  return buffer;
}

std::string FolderOf(std::string_view part) {
  const std::size_t slash = part.rfind('/');
  return slash == std::string_view::npos ? std::string() : std::string(part.substr(0, slash + 1));
}

std::string RelationshipsPartOf(std::string_view part) {
  const std::size_t slash = part.rfind('/');
  const std::string_view name = slash == std::string_view::npos ? part : part.substr(slash + 1);
  return FolderOf(part) + "_rels/" + std::string(name) + ".rels";
}

struct TRelationship {
  std::string Id;
  std::string Type;
  std::string Target;  // resolved part name
};

std::vector<TRelationship> ReadRelationships(std::string_view xmlText, std::string_view folder) {
  std::vector<TRelationship> list;
  TScanner scanner(xmlText);
  TTag tag;
  while (scanner.Next(tag)) {
    if ((tag.Kind != TTag::Open && tag.Kind != TTag::SelfClosed) || tag.LocalName() != "Relationship") continue;
    const TAttributes a = xml::ParseAttributes(tag.RawAttributes);
    if (xml::Attribute(a, "TargetMode") == "External") continue;
    list.push_back({xml::Attribute(a, "Id"), xml::Attribute(a, "Type"), ResolvePart(folder, xml::Attribute(a, "Target"))});
  }
  return list;
}

// The XML of a tag rebuilt from its name and attributes.
std::string TagText(const TTag& tag, const TAttributes& attributes) {
  return "<" + std::string(tag.Name) + xml::FormatAttributes(attributes) + (tag.Kind == TTag::SelfClosed ? "/>" : ">");
}

// Removes every tag with the given local name whose attribute has the value (whole elements).
void RemoveTags(std::string& text, std::string_view local, std::string_view attribute, std::string_view value) {
  TScanner scanner(text);
  TTag tag;
  std::vector<std::pair<std::size_t, std::size_t>> cuts;
  while (scanner.Next(tag)) {
    if ((tag.Kind != TTag::Open && tag.Kind != TTag::SelfClosed) || tag.LocalName() != local) continue;
    if (xml::Attribute(xml::ParseAttributes(tag.RawAttributes), attribute) != value) continue;
    const std::size_t end = xml::ElementEnd(text, tag);
    if (end == std::string::npos) break;
    cuts.emplace_back(tag.Begin, end);
    scanner = TScanner(text, end);
  }
  for (auto it = cuts.rbegin(); it != cuts.rend(); ++it) text.erase(it->first, it->second - it->first);
}

// Every formula is recalculated when the workbook opens, so cells written without cached values
// show their results at once.
std::string WithFullCalculation(const std::string& workbookXml) {
  static const std::vector<std::string_view> after = {"oleSize", "customWorkbookViews", "pivotCaches", "smartTagPr",
                                                      "smartTagTypes", "webPublishing", "fileRecoveryPr",
                                                      "webPublishObjects", "extLst"};
  TScanner scanner(workbookXml);
  TTag tag;
  TTag root;
  bool haveRoot = false;
  while (scanner.Next(tag)) {
    if (tag.Kind == TTag::Other) continue;
    if (!haveRoot) {
      if (tag.Kind != TTag::Open) NotWorkbook("no workbook element");
      root = tag;
      haveRoot = true;
      continue;
    }
    if (tag.Kind == TTag::Close) {
      std::string out = workbookXml;
      out.insert(tag.Begin, "<" + std::string(root.Prefix()) + "calcPr fullCalcOnLoad=\"1\"/>");
      return out;
    }
    if (tag.LocalName() == "calcPr") {
      TAttributes a = xml::ParseAttributes(tag.RawAttributes);
      xml::SetAttribute(a, "fullCalcOnLoad", "1");
      std::string out = workbookXml;
      out.replace(tag.Begin, tag.End - tag.Begin, TagText(tag, a));
      return out;
    }
    if (std::find(after.begin(), after.end(), tag.LocalName()) != after.end()) {
      std::string out = workbookXml;
      out.insert(tag.Begin, "<" + std::string(root.Prefix()) + "calcPr fullCalcOnLoad=\"1\"/>");
      return out;
    }
    if (tag.Kind == TTag::Open) {
      const std::size_t end = xml::ElementEnd(workbookXml, tag);
      if (end == std::string::npos) NotWorkbook("damaged workbook part");
      scanner = TScanner(workbookXml, end);
    }
  }
  NotWorkbook("damaged workbook part");
}

// Reads every entry of a zip package held in memory, within the bounds above.
std::vector<std::pair<std::string, std::string>> ReadPackage(std::string_view bytes) {
  zip_error_t error;
  zip_error_init(&error);
  zip_source_t* source = zip_source_buffer_create(bytes.data(), bytes.size(), 0, &error);
  if (source == nullptr) {
    zip_error_fini(&error);
    NotWorkbook("cannot read the package");
  }
  zip_t* archive = zip_open_from_source(source, ZIP_RDONLY, &error);
  if (archive == nullptr) {
    zip_source_free(source);
    zip_error_fini(&error);
    NotWorkbook("not a zip package");
  }
  zip_error_fini(&error);
  struct TCloser {
    zip_t* Archive;
    ~TCloser() { zip_discard(Archive); }
  } closer{archive};

  const zip_int64_t count = zip_get_num_entries(archive, 0);
  if (count < 0 || static_cast<std::size_t>(count) > kMaxWorkbookParts) NotWorkbook("too many parts");
  std::vector<std::pair<std::string, std::string>> parts;
  std::size_t total = 0;
  for (zip_int64_t i = 0; i < count; ++i) {
    const char* rawName = zip_get_name(archive, static_cast<zip_uint64_t>(i), ZIP_FL_ENC_GUESS);
    if (rawName == nullptr) NotWorkbook("unreadable part name");
    std::string name = rawName;
    if (name.empty() || name.back() == '/') continue;
    zip_file_t* file = zip_fopen_index(archive, static_cast<zip_uint64_t>(i), 0);
    if (file == nullptr) NotWorkbook("unreadable part " + name);
    std::string data;
    char buffer[65536];
    bool ok = true;
    for (;;) {
      const zip_int64_t n = zip_fread(file, buffer, sizeof buffer);
      if (n < 0) {
        ok = false;
        break;
      }
      if (n == 0) break;
      data.append(buffer, static_cast<std::size_t>(n));
      if (data.size() > kMaxWorkbookPartBytes || total + data.size() > kMaxWorkbookBytes) {
        zip_fclose(file);
        NotWorkbook("part too large");
      }
    }
    if (zip_fclose(file) != 0) ok = false;
    if (!ok) NotWorkbook("damaged part " + name);
    total += data.size();
    if (std::any_of(parts.begin(), parts.end(), [&](const auto& p) { return p.first == name; }))
      NotWorkbook("duplicate part " + name);
    parts.emplace_back(std::move(name), std::move(data));
  }
  return parts;
}

// The parts of the built-in blank workbook: one empty sheet and three cell formats.
const std::vector<std::pair<const char*, const char*>>& BlankParts() {
  static const std::vector<std::pair<const char*, const char*>> parts = {
      {"[Content_Types].xml",
       R"(<?xml version="1.0" encoding="UTF-8" standalone="yes"?>
<Types xmlns="http://schemas.openxmlformats.org/package/2006/content-types"><Default Extension="rels" ContentType="application/vnd.openxmlformats-package.relationships+xml"/><Default Extension="xml" ContentType="application/xml"/><Override PartName="/xl/workbook.xml" ContentType="application/vnd.openxmlformats-officedocument.spreadsheetml.sheet.main+xml"/><Override PartName="/xl/worksheets/sheet1.xml" ContentType="application/vnd.openxmlformats-officedocument.spreadsheetml.worksheet+xml"/><Override PartName="/xl/styles.xml" ContentType="application/vnd.openxmlformats-officedocument.spreadsheetml.styles+xml"/></Types>)"},
      {"_rels/.rels",
       R"(<?xml version="1.0" encoding="UTF-8" standalone="yes"?>
<Relationships xmlns="http://schemas.openxmlformats.org/package/2006/relationships"><Relationship Id="rId1" Type="http://schemas.openxmlformats.org/officeDocument/2006/relationships/officeDocument" Target="xl/workbook.xml"/></Relationships>)"},
      {"xl/workbook.xml",
       R"(<?xml version="1.0" encoding="UTF-8" standalone="yes"?>
<workbook xmlns="http://schemas.openxmlformats.org/spreadsheetml/2006/main" xmlns:r="http://schemas.openxmlformats.org/officeDocument/2006/relationships"><sheets><sheet name="Sheet1" sheetId="1" r:id="rId1"/></sheets><calcPr fullCalcOnLoad="1"/></workbook>)"},
      {"xl/_rels/workbook.xml.rels",
       R"(<?xml version="1.0" encoding="UTF-8" standalone="yes"?>
<Relationships xmlns="http://schemas.openxmlformats.org/package/2006/relationships"><Relationship Id="rId1" Type="http://schemas.openxmlformats.org/officeDocument/2006/relationships/worksheet" Target="worksheets/sheet1.xml"/><Relationship Id="rId2" Type="http://schemas.openxmlformats.org/officeDocument/2006/relationships/styles" Target="styles.xml"/></Relationships>)"},
      {"xl/worksheets/sheet1.xml",
       R"(<?xml version="1.0" encoding="UTF-8" standalone="yes"?>
<worksheet xmlns="http://schemas.openxmlformats.org/spreadsheetml/2006/main" xmlns:r="http://schemas.openxmlformats.org/officeDocument/2006/relationships"><sheetViews><sheetView workbookViewId="0"/></sheetViews><sheetFormatPr defaultRowHeight="12.75"/><sheetData/><pageMargins left="0.5" right="0.5" top="0.75" bottom="0.75" header="0.3" footer="0.3"/><pageSetup orientation="landscape"/></worksheet>)"},
      {"xl/styles.xml",
       R"(<?xml version="1.0" encoding="UTF-8" standalone="yes"?>
<styleSheet xmlns="http://schemas.openxmlformats.org/spreadsheetml/2006/main"><fonts count="2"><font><sz val="10"/><name val="Arial"/><family val="2"/></font><font><b/><sz val="10"/><name val="Arial"/><family val="2"/></font></fonts><fills count="2"><fill><patternFill patternType="none"/></fill><fill><patternFill patternType="gray125"/></fill></fills><borders count="1"><border><left/><right/><top/><bottom/><diagonal/></border></borders><cellStyleXfs count="1"><xf numFmtId="0" fontId="0" fillId="0" borderId="0"/></cellStyleXfs><cellXfs count="3"><xf numFmtId="0" fontId="0" fillId="0" borderId="0" xfId="0"/><xf numFmtId="49" fontId="0" fillId="0" borderId="0" xfId="0" applyNumberFormat="1" quotePrefix="1"/><xf numFmtId="0" fontId="1" fillId="0" borderId="0" xfId="0" applyFont="1"/></cellXfs><cellStyles count="1"><cellStyle name="Normal" xfId="0" builtinId="0"/></cellStyles></styleSheet>)"},
  };
  return parts;
}

}  // namespace

std::string ColumnLetters(int column) {
  std::string letters;
  while (column > 0) {
    const int digit = (column - 1) % 26;
    letters.insert(letters.begin(), static_cast<char>('A' + digit));
    column = (column - 1) / 26;
  }
  return letters;
}

std::string CellName(int row, int column) { return ColumnLetters(column) + std::to_string(row); }

bool ParseCellName(std::string_view name, int& row, int& column) {
  std::size_t i = 0;
  long col = 0;
  while (i < name.size() && i < 4 && ((name[i] >= 'A' && name[i] <= 'Z') || (name[i] >= 'a' && name[i] <= 'z'))) {
    col = col * 26 + ((name[i] | 0x20) - 'a' + 1);
    ++i;
  }
  if (i == 0 || col > kMaxSheetColumns) return false;
  const auto r = ParseNumber(name.substr(i), kMaxSheetRows);
  if (!r) return false;
  row = static_cast<int>(*r);
  column = static_cast<int>(col);
  return true;
}

TWorksheet::TWorksheet(std::string xmlText, const std::vector<std::string>* sharedStrings)
    : Source(std::move(xmlText)), Shared(sharedStrings) {
  Parse();
  ExpandSharedFormulas();
}

void TWorksheet::Parse() {
  TScanner scanner(Source);
  TTag tag;
  bool haveRoot = false;
  bool closed = false;
  std::string_view rootName;
  while (scanner.Next(tag)) {
    if (tag.Kind == TTag::Other) continue;
    if (!haveRoot) {
      if (tag.Kind != TTag::Open || tag.LocalName() != "worksheet") NotWorkbook("no worksheet element");
      haveRoot = true;
      rootName = tag.Name;
      continue;
    }
    if (tag.Kind == TTag::Close) {
      closed = tag.Name == rootName;
      break;
    }
    std::size_t end = tag.End;
    if (tag.Kind == TTag::Open) {
      end = xml::ElementEnd(Source, tag);
      if (end == std::string::npos) NotWorkbook("damaged worksheet");
    }
    const std::string_view local = tag.LocalName();
    if (local == "dimension") {
      Dimension = {tag.Begin, end, true};
    } else if (local == "cols" && !Columns.Found) {
      Columns = {tag.Begin, end, true};
      if (tag.Kind == TTag::Open) ParseColumns(tag.End, end);
    } else if (local == "sheetData" && !SheetData.Found) {
      SheetData = {tag.Begin, end, true};
      Prefix = std::string(tag.Prefix());
      if (!Prefix.empty() && !xml::IsName(Prefix)) NotWorkbook("damaged worksheet");
      if (tag.Kind == TTag::Open) ParseRows(tag.End, end);
    }
    scanner = TScanner(Source, end);
  }
  if (!closed || !SheetData.Found) NotWorkbook("damaged worksheet");
}

void TWorksheet::ParseRows(std::size_t from, std::size_t to) {
  TScanner scanner(Source, from);
  TTag tag;
  int lastRow = 0;
  while (scanner.Next(tag) && tag.Begin < to) {
    if (tag.Kind != TTag::Open && tag.Kind != TTag::SelfClosed) continue;
    const std::size_t rowEnd = tag.Kind == TTag::Open ? xml::ElementEnd(Source, tag) : tag.End;
    if (rowEnd == std::string::npos || rowEnd > to) NotWorkbook("damaged worksheet");
    scanner = TScanner(Source, rowEnd);
    if (tag.LocalName() != "row") continue;
    TAttributes attributes = xml::ParseAttributes(tag.RawAttributes);
    const std::string r = xml::Attribute(attributes, "r");
    long number = lastRow + 1;
    if (!r.empty()) {
      const auto parsed = ParseNumber(r, kMaxSheetRows);
      if (!parsed) NotWorkbook("bad row number");
      number = *parsed;
    }
    if (number > kMaxSheetRows) NotWorkbook("bad row number");
    lastRow = static_cast<int>(number);
    xml::RemoveAttribute(attributes, "r");
    xml::RemoveAttribute(attributes, "spans");
    TRow& row = Rows[lastRow];
    row.Attributes = std::move(attributes);
    if (tag.Kind == TTag::SelfClosed) continue;

    TScanner cells(Source, tag.End);
    TTag cellTag;
    int lastColumn = 0;
    while (cells.Next(cellTag) && cellTag.Begin < rowEnd) {
      if (cellTag.Kind != TTag::Open && cellTag.Kind != TTag::SelfClosed) continue;
      const std::size_t cellEnd = cellTag.Kind == TTag::Open ? xml::ElementEnd(Source, cellTag) : cellTag.End;
      if (cellEnd == std::string::npos || cellEnd > rowEnd) NotWorkbook("damaged worksheet");
      cells = TScanner(Source, cellEnd);
      if (cellTag.LocalName() != "c") continue;
      TAttributes cellAttributes = xml::ParseAttributes(cellTag.RawAttributes);
      const std::string ref = xml::Attribute(cellAttributes, "r");
      int column = lastColumn + 1;
      if (!ref.empty()) {
        int refRow = 0;
        if (!ParseCellName(ref, refRow, column)) NotWorkbook("bad cell name");
      }
      if (column > kMaxSheetColumns) NotWorkbook("bad cell name");
      lastColumn = column;
      xml::RemoveAttribute(cellAttributes, "r");
      TCell& cell = row.Cells[column];
      cell.Attributes = std::move(cellAttributes);
      cell.Inner.clear();
      if (cellTag.Kind == TTag::Open) {
        const std::size_t endTag = Source.rfind('<', cellEnd - 1);
        if (endTag != std::string::npos && endTag >= cellTag.End)
          cell.Inner = Source.substr(cellTag.End, endTag - cellTag.End);
      }
    }
  }
}

void TWorksheet::ParseColumns(std::size_t from, std::size_t to) {
  TScanner scanner(Source, from);
  TTag tag;
  while (scanner.Next(tag) && tag.Begin < to) {
    if ((tag.Kind != TTag::Open && tag.Kind != TTag::SelfClosed) || tag.LocalName() != "col") continue;
    TAttributes attributes = xml::ParseAttributes(tag.RawAttributes);
    const auto min = ParseNumber(xml::Attribute(attributes, "min"), kMaxSheetColumns);
    const auto max = ParseNumber(xml::Attribute(attributes, "max"), kMaxSheetColumns);
    if (!min || !max || *min > *max) continue;
    const bool overlaps = std::any_of(ColumnTable.begin(), ColumnTable.end(),
                                      [&](const TColumns& c) { return *min <= c.Max && c.Min <= *max; });
    if (overlaps) continue;
    xml::RemoveAttribute(attributes, "min");
    xml::RemoveAttribute(attributes, "max");
    ColumnTable.push_back({static_cast<int>(*min), static_cast<int>(*max), std::move(attributes)});
  }
  std::sort(ColumnTable.begin(), ColumnTable.end(), [](const TColumns& a, const TColumns& b) { return a.Min < b.Min; });
}

namespace {

bool IsTokenChar(char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_' || c == '.' ||
         c == '$' || c == '\\' || c == '?' || static_cast<unsigned char>(c) >= 0x80;
}

bool IsLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// One part of a reference: "$AB", "12", "$C$7". Column or row is 0 where the part has none.
struct TRefPart {
  int Column = 0, Row = 0;
  bool FixedColumn = false, FixedRow = false;
};

std::optional<TRefPart> ParseRefPart(std::string_view token, bool wantColumn, bool wantRow) {
  TRefPart part;
  std::size_t i = 0;
  if (wantColumn) {
    if (i < token.size() && token[i] == '$') part.FixedColumn = true, ++i;
    const std::size_t start = i;
    while (i < token.size() && IsLetter(token[i]) && i - start < 3) {
      const char c = static_cast<char>(token[i] & ~0x20);
      part.Column = part.Column * 26 + (c - 'A' + 1);
      ++i;
    }
    if (i == start || part.Column > kMaxSheetColumns) return std::nullopt;
  }
  if (wantRow) {
    if (i < token.size() && token[i] == '$') part.FixedRow = true, ++i;
    const std::size_t start = i;
    long row = 0;
    while (i < token.size() && IsDigit(token[i]) && i - start < 8) row = row * 10 + (token[i++] - '0');
    if (i == start || row < 1 || row > kMaxSheetRows) return std::nullopt;
    part.Row = static_cast<int>(row);
  }
  if (i != token.size()) return std::nullopt;
  return part;
}

// The part moved by the offset, or "#REF!" when it would leave the sheet.
std::string ShiftedPart(TRefPart part, int rows, int columns) {
  const bool hasColumn = part.Column > 0, hasRow = part.Row > 0;
  if (hasColumn && !part.FixedColumn) part.Column += columns;
  if (hasRow && !part.FixedRow) part.Row += rows;
  if ((hasColumn && (part.Column < 1 || part.Column > kMaxSheetColumns)) ||
      (hasRow && (part.Row < 1 || part.Row > kMaxSheetRows)))
    return "#REF!";
  std::string out;
  if (hasColumn) out += (part.FixedColumn ? "$" : "") + ColumnLetters(part.Column);
  if (hasRow) out += (part.FixedRow ? "$" : "") + std::to_string(part.Row);
  return out;
}

// Copies a quoted run ("text" or 'sheet name', the quote doubled inside) from i.
std::size_t SkipQuoted(std::string_view f, std::size_t i) {
  const char quote = f[i++];
  while (i < f.size()) {
    if (f[i] == quote) {
      if (i + 1 < f.size() && f[i + 1] == quote) {
        i += 2;
        continue;
      }
      return i + 1;
    }
    ++i;
  }
  return f.size();
}

}  // namespace

std::string ShiftFormula(std::string_view f, int rows, int columns) {
  std::string out;
  std::size_t i = 0;
  while (i < f.size()) {
    const char c = f[i];
    if (c == '"' || c == '\'') {
      const std::size_t end = SkipQuoted(f, i);
      out.append(f.substr(i, end - i));
      i = end;
    } else if (c == '[') {
      // Structured and external references: copied as they are.
      int depth = 0;
      std::size_t end = i;
      for (; end < f.size(); ++end) {
        if (f[end] == '[') ++depth;
        else if (f[end] == ']' && --depth == 0) break;
      }
      end = std::min(end + 1, f.size());
      out.append(f.substr(i, end - i));
      i = end;
    } else if (c == '#') {
      // Error values such as #DIV/0! and #N/A.
      std::size_t end = i + 1;
      while (end < f.size() && (IsLetter(f[end]) || IsDigit(f[end]) || f[end] == '/')) ++end;
      if (end < f.size() && (f[end] == '!' || f[end] == '?')) ++end;
      out.append(f.substr(i, end - i));
      i = end;
    } else if (IsTokenChar(c)) {
      std::size_t end = i;
      while (end < f.size() && IsTokenChar(f[end])) ++end;
      const std::string_view token = f.substr(i, end - i);
      const char next = end < f.size() ? f[end] : '\0';
      // A function's name or a sheet's name is no reference.
      if (next == '(' || next == '!') {
        out.append(token);
        i = end;
        continue;
      }
      if (auto cell = ParseRefPart(token, true, true)) {
        out += ShiftedPart(*cell, rows, columns);
        i = end;
        continue;
      }
      // Whole columns ("A:C") and whole rows ("3:5") come in pairs.
      if (next == ':') {
        std::size_t end2 = end + 1;
        while (end2 < f.size() && IsTokenChar(f[end2])) ++end2;
        const std::string_view second = f.substr(end + 1, end2 - end - 1);
        for (const bool columnsOnly : {true, false}) {
          const auto a = ParseRefPart(token, columnsOnly, !columnsOnly);
          const auto b = ParseRefPart(second, columnsOnly, !columnsOnly);
          if (a && b) {
            out += ShiftedPart(*a, rows, columns) + ":" + ShiftedPart(*b, rows, columns);
            i = end2;
            break;
          }
        }
        if (i == end2) continue;
      }
      out.append(token);
      i = end;
    } else {
      out += c;
      ++i;
    }
  }
  return out;
}

namespace {

// The formula element inside a cell's markup: where it lies and what it says.
struct TFormulaElement {
  std::size_t Begin = 0, End = 0;  // the whole element
  std::string_view Name;           // qualified, as written
  TAttributes Attributes;
  std::string Text;                // unescaped
};

std::optional<TFormulaElement> FindFormula(std::string_view markup) {
  TScanner scanner(markup);
  TTag tag;
  while (scanner.Next(tag)) {
    if ((tag.Kind != TTag::Open && tag.Kind != TTag::SelfClosed) || tag.LocalName() != "f") continue;
    TFormulaElement f{tag.Begin, tag.End, tag.Name, xml::ParseAttributes(tag.RawAttributes), {}};
    if (tag.Kind == TTag::Open) {
      f.End = xml::ElementEnd(markup, tag);
      if (f.End == std::string_view::npos) return std::nullopt;
      const std::size_t endTag = markup.rfind('<', f.End - 1);
      f.Text = xml::Unescape(markup.substr(tag.End, endTag - tag.End));
    }
    return f;
  }
  return std::nullopt;
}

}  // namespace

void TWorksheet::ExpandSharedFormulas() {
  // A shared formula is written once, in its group's first cell, and the others only name the
  // group; once a cell of ours replaces that first one, the rest would have nothing to compute.
  // So every cell gets its own formula here, moved by its distance from the first.
  struct TMaster {
    int Row, Column;
    std::string Text;
  };
  std::map<std::string, TMaster> masters;
  for (const auto& [r, row] : Rows)
    for (const auto& [c, cell] : row.Cells) {
      const auto f = FindFormula(cell.Inner);
      if (f && xml::Attribute(f->Attributes, "t") == "shared" && xml::HasAttribute(f->Attributes, "ref") &&
          !f->Text.empty())
        masters.try_emplace(xml::Attribute(f->Attributes, "si"), TMaster{r, c, f->Text});
    }
  if (masters.empty()) return;
  for (auto& [r, row] : Rows)
    for (auto& [c, cell] : row.Cells) {
      auto f = FindFormula(cell.Inner);
      if (!f || xml::Attribute(f->Attributes, "t") != "shared") continue;
      std::string text = f->Text;
      if (text.empty()) {
        const auto m = masters.find(xml::Attribute(f->Attributes, "si"));
        if (m == masters.end()) continue;
        text = ShiftFormula(m->second.Text, r - m->second.Row, c - m->second.Column);
      }
      for (const char* a : {"t", "ref", "si"}) xml::RemoveAttribute(f->Attributes, a);
      const std::string name(f->Name);
      cell.Inner.replace(f->Begin, f->End - f->Begin, "<" + name + xml::FormatAttributes(f->Attributes) + ">" +
                                                          xml::Escape(text, false) + "</" + name + ">");
    }
}

bool TWorksheet::SameContent(const TWorksheet& other) const {
  return Rows == other.Rows && ColumnTable == other.ColumnTable;
}

TWorksheet::TCell& TWorksheet::Target(int row, int column) {
  if (row < 1 || row > kMaxSheetRows || column < 1 || column > kMaxSheetColumns)
    throw ERangeError("Cell " + std::to_string(row) + "," + std::to_string(column) + " is outside the sheet");
  TRow& r = Rows[row];
  const auto found = r.Cells.find(column);
  if (found != r.Cells.end()) return found->second;
  // A new cell takes the format its row or column carries, as one typed into the sheet would.
  TCell& cell = r.Cells[column];
  std::string style;
  if (xml::Attribute(r.Attributes, "customFormat") == "1") style = xml::Attribute(r.Attributes, "s");
  if (style.empty())
    for (const TColumns& c : ColumnTable)
      if (c.Min <= column && column <= c.Max) style = xml::Attribute(c.Attributes, "style");
  if (!style.empty() && style != "0") xml::SetAttribute(cell.Attributes, "s", style);
  return cell;
}

namespace {

// Keeps only the cell's format; a new value brings its own type.
void ResetCell(TAttributes& attributes) {
  std::erase_if(attributes, [](const auto& a) { return a.first != "s"; });
}

}  // namespace

void TWorksheet::SetText(int row, int column, std::string_view utf8) {
  TCell& cell = Target(row, column);
  ResetCell(cell.Attributes);
  xml::SetAttribute(cell.Attributes, "t", "inlineStr");
  cell.Inner = "<" + Name("is") + "><" + Name("t") + " xml:space=\"preserve\">" +
               xml::Escape(xml::EncodeSpreadsheetText(utf8), false) + "</" + Name("t") + "></" + Name("is") + ">";
}

void TWorksheet::SetNumber(int row, int column, double value) {
  TCell& cell = Target(row, column);
  ResetCell(cell.Attributes);
  cell.Inner = "<" + Name("v") + ">" + FormatDouble(value) + "</" + Name("v") + ">";
}

void TWorksheet::SetFormula(int row, int column, std::string_view formula) {
  TCell& cell = Target(row, column);
  ResetCell(cell.Attributes);
  cell.Inner = "<" + Name("f") + ">" + xml::Escape(formula, false) + "</" + Name("f") + ">";
}

void TWorksheet::SetStyle(int row, int column, std::string_view style) {
  xml::SetAttribute(Target(row, column).Attributes, "s", style);
}

void TWorksheet::SetColumnWidth(int column, double width) {
  if (column < 1 || column > kMaxSheetColumns) throw ERangeError("Column " + std::to_string(column) + " is outside the sheet");
  auto it = std::find_if(ColumnTable.begin(), ColumnTable.end(), [&](const TColumns& c) { return c.Min <= column && column <= c.Max; });
  TColumns single{column, column, {}};
  if (it != ColumnTable.end()) {
    const TColumns whole = *it;
    it = ColumnTable.erase(it);
    std::vector<TColumns> pieces;
    if (whole.Min < column) pieces.push_back({whole.Min, column - 1, whole.Attributes});
    single.Attributes = whole.Attributes;
    if (column < whole.Max) pieces.push_back({column + 1, whole.Max, whole.Attributes});
    ColumnTable.insert(it, pieces.begin(), pieces.end());
  }
  xml::SetAttribute(single.Attributes, "width", FormatDouble(width));
  xml::SetAttribute(single.Attributes, "customWidth", "1");
  ColumnTable.push_back(std::move(single));
  std::sort(ColumnTable.begin(), ColumnTable.end(), [](const TColumns& a, const TColumns& b) { return a.Min < b.Min; });
}

namespace {

// The unescaped text of the first element with that local name inside some markup.
std::optional<std::string> ElementText(std::string_view markup, std::string_view local) {
  TScanner scanner(markup);
  TTag tag;
  while (scanner.Next(tag)) {
    if (tag.LocalName() != local) continue;
    if (tag.Kind == TTag::SelfClosed) return std::string();
    if (tag.Kind != TTag::Open) continue;
    TTag end;
    const std::size_t start = tag.End;
    if (!scanner.Next(end)) return std::nullopt;
    return xml::Unescape(markup.substr(start, end.Begin - start));
  }
  return std::nullopt;
}

}  // namespace

TCellValue TWorksheet::Cell(int row, int column) const {
  TCellValue value;
  const auto r = Rows.find(row);
  if (r == Rows.end()) return value;
  const auto c = r->second.Cells.find(column);
  if (c == r->second.Cells.end()) return value;
  const TCell& cell = c->second;
  value.Style = xml::Attribute(cell.Attributes, "s");
  const std::string type = xml::Attribute(cell.Attributes, "t");
  if (auto f = ElementText(cell.Inner, "f")) {
    value.Kind = TCellValue::Formula;
    value.Value = *f;
  } else if (type == "inlineStr") {
    value.Kind = TCellValue::Text;
    value.Value = xml::RunText(cell.Inner);
  } else if (auto v = ElementText(cell.Inner, "v")) {
    if (type == "s") {
      value.Kind = TCellValue::Text;
      std::size_t index = 0;
      const auto [end, ec] = std::from_chars(v->data(), v->data() + v->size(), index);
      if (Shared != nullptr && ec == std::errc() && end == v->data() + v->size() && index < Shared->size())
        value.Value = (*Shared)[index];
    } else if (type == "str") {
      value.Kind = TCellValue::Text;
      value.Value = xml::DecodeSpreadsheetText(*v);
    } else if (type.empty() || type == "n") {
      value.Kind = TCellValue::Number;
      value.Value = *v;
    } else {
      value.Kind = TCellValue::Other;
      value.Value = *v;
    }
  }
  return value;
}

std::optional<double> TWorksheet::ColumnWidth(int column) const {
  for (const TColumns& c : ColumnTable)
    if (c.Min <= column && column <= c.Max) {
      const std::string width = xml::Attribute(c.Attributes, "width");
      if (width.empty()) return std::nullopt;
      return std::strtod(width.c_str(), nullptr);
    }
  return std::nullopt;
}

int TWorksheet::LastRow() const {
  for (auto it = Rows.rbegin(); it != Rows.rend(); ++it)
    if (!it->second.Cells.empty()) return it->first;
  return 0;
}

int TWorksheet::LastColumn() const {
  int last = 0;
  for (const auto& [n, row] : Rows)
    if (!row.Cells.empty()) last = std::max(last, row.Cells.rbegin()->first);
  return last;
}

std::string TWorksheet::ColumnsXml() const {
  if (ColumnTable.empty()) return {};
  std::string out = "<" + Name("cols") + ">";
  for (const TColumns& c : ColumnTable)
    out += "<" + Name("col") + " min=\"" + std::to_string(c.Min) + "\" max=\"" + std::to_string(c.Max) + "\"" +
           xml::FormatAttributes(c.Attributes) + "/>";
  return out + "</" + Name("cols") + ">";
}

std::string TWorksheet::RowsXml() const {
  std::string out = "<" + Name("sheetData") + ">";
  for (const auto& [number, row] : Rows) {
    out += "<" + Name("row") + " r=\"" + std::to_string(number) + "\"" + xml::FormatAttributes(row.Attributes);
    if (row.Cells.empty()) {
      out += "/>";
      continue;
    }
    out += ">";
    for (const auto& [column, cell] : row.Cells) {
      out += "<" + Name("c") + " r=\"" + CellName(number, column) + "\"" + xml::FormatAttributes(cell.Attributes);
      out += cell.Inner.empty() ? "/>" : ">" + cell.Inner + "</" + Name("c") + ">";
    }
    out += "</" + Name("row") + ">";
  }
  return out + "</" + Name("sheetData") + ">";
}

std::string TWorksheet::Xml() const {
  struct TReplace {
    std::size_t Begin, End;
    std::string Text;
  };
  std::vector<TReplace> replaces;
  if (Dimension.Found) replaces.push_back({Dimension.Begin, Dimension.End, {}});
  if (Columns.Found) replaces.push_back({Columns.Begin, Columns.End, ColumnsXml()});
  replaces.push_back({SheetData.Begin, SheetData.End, (Columns.Found ? std::string() : ColumnsXml()) + RowsXml()});
  std::sort(replaces.begin(), replaces.end(), [](const TReplace& a, const TReplace& b) { return a.Begin < b.Begin; });
  std::string out;
  std::size_t pos = 0;
  for (const TReplace& r : replaces) {
    if (r.Begin < pos) continue;
    out.append(Source, pos, r.Begin - pos);
    out += r.Text;
    pos = r.End;
  }
  out.append(Source, pos, std::string::npos);
  return out;
}

TWorkbook::TWorkbook(TWorkbook&&) noexcept = default;
TWorkbook& TWorkbook::operator=(TWorkbook&&) noexcept = default;
TWorkbook::~TWorkbook() = default;

TWorkbook TWorkbook::Open(const std::string& fileName) {
  std::ifstream in(fileName, std::ios::binary);
  if (!in) throw EInOutError("Cannot open file \"" + fileName + "\". " + std::strerror(errno));
  std::string bytes;
  char buffer[65536];
  while (in) {
    in.read(buffer, sizeof buffer);
    bytes.append(buffer, static_cast<std::size_t>(in.gcount()));
    if (bytes.size() > kMaxWorkbookBytes) NotWorkbook("file too large");
  }
  if (in.bad()) throw EInOutError("Cannot read file \"" + fileName + "\".");
  return FromBytes(bytes);
}

TWorkbook TWorkbook::FromBytes(std::string_view bytes) {
  TWorkbook book;
  book.Parts = ReadPackage(bytes);
  book.Load();
  return book;
}

TWorkbook TWorkbook::Blank() {
  TWorkbook book;
  for (const auto& [name, text] : BlankParts()) book.Parts.emplace_back(name, text);
  book.Load();
  return book;
}

std::string* TWorkbook::FindPart(std::string_view name) {
  for (auto& [n, data] : Parts)
    if (n == name) return &data;
  // Part names are compared without regard to case in a package.
  const std::string lower = Lower(name);
  for (auto& [n, data] : Parts)
    if (Lower(n) == lower) return &data;
  return nullptr;
}

void TWorkbook::Load() {
  if (FindPart("[Content_Types].xml") == nullptr) NotWorkbook("no content types");
  const std::string* rootRels = FindPart("_rels/.rels");
  if (rootRels == nullptr) NotWorkbook("no package relationships");
  for (const TRelationship& r : ReadRelationships(*rootRels, ""))
    if (EndsWith(r.Type, "/officeDocument")) {
      WorkbookPart = r.Target;
      break;
    }
  const std::string* workbookXml = WorkbookPart.empty() ? nullptr : FindPart(WorkbookPart);
  if (workbookXml == nullptr) NotWorkbook("no workbook part");
  std::vector<TRelationship> rels;
  if (const std::string* r = FindPart(RelationshipsPartOf(WorkbookPart))) rels = ReadRelationships(*r, FolderOf(WorkbookPart));

  TScanner scanner(*workbookXml);
  TTag tag;
  while (scanner.Next(tag)) {
    if ((tag.Kind != TTag::Open && tag.Kind != TTag::SelfClosed) || tag.LocalName() != "sheet") continue;
    const TAttributes a = xml::ParseAttributes(tag.RawAttributes);
    const std::string id = xml::Attribute(a, "id", true);
    for (const TRelationship& r : rels)
      if (r.Id == id && EndsWith(r.Type, "/worksheet")) Sheets.push_back({xml::Attribute(a, "name"), r.Target, nullptr});
  }
  for (const TRelationship& r : rels) {
    if (!EndsWith(r.Type, "/sharedStrings")) continue;
    const std::string* sst = FindPart(r.Target);
    if (sst == nullptr) continue;
    TScanner items(*sst);
    TTag item;
    while (items.Next(item)) {
      if (item.LocalName() != "si") continue;
      if (item.Kind == TTag::SelfClosed) {
        SharedStrings.emplace_back();
      } else if (item.Kind == TTag::Open) {
        const std::size_t end = xml::ElementEnd(*sst, item);
        if (end == std::string::npos) break;
        SharedStrings.push_back(xml::RunText(std::string_view(*sst).substr(item.End, end - item.End)));
        items = TScanner(*sst, end);
      }
    }
  }
}

TWorksheet& TWorkbook::Sheet(std::size_t number) {
  if (number < 1 || number > Sheets.size())
    throw EDataError("The workbook has no worksheet " + std::to_string(number) + ".");
  TSheetEntry& entry = Sheets[number - 1];
  if (!entry.Sheet) {
    const std::string* part = FindPart(entry.Part);
    if (part == nullptr) NotWorkbook("missing worksheet " + entry.Part);
    entry.Sheet = std::make_unique<TWorksheet>(*part, &SharedStrings);
  }
  return *entry.Sheet;
}

const std::string& TWorkbook::SheetName(std::size_t number) const {
  if (number < 1 || number > Sheets.size())
    throw EDataError("The workbook has no worksheet " + std::to_string(number) + ".");
  return Sheets[number - 1].Name;
}

void TWorkbook::PrepareForSave() {
  // Readers find the content types by this exact name, though a package may spell it otherwise.
  const char* const typesName = "[Content_Types].xml";
  if (std::none_of(Parts.begin(), Parts.end(), [&](const auto& p) { return p.first == typesName; }))
    for (auto& part : Parts)
      if (Lower(part.first) == Lower(typesName)) {
        part.first = typesName;
        break;
      }
  for (const TSheetEntry& s : Sheets)
    if (s.Sheet)
      if (std::string* part = FindPart(s.Part)) *part = s.Sheet->Xml();
  std::string* workbookXml = FindPart(WorkbookPart);
  if (workbookXml == nullptr) NotWorkbook("no workbook part");
  *workbookXml = WithFullCalculation(*workbookXml);

  std::string* types = FindPart("[Content_Types].xml");
  for (std::size_t at; (at = types->find(kTemplateType)) != std::string::npos;)
    types->replace(at, std::strlen(kTemplateType), kWorkbookType);

  // The calculation chain lists the template's formula cells only; a stale one makes spreadsheet
  // programs repair the file, and it is rebuilt anyway.
  const std::string relsName = RelationshipsPartOf(WorkbookPart);
  if (std::string* rels = FindPart(relsName)) {
    for (const TRelationship& r : ReadRelationships(*rels, FolderOf(WorkbookPart))) {
      if (!EndsWith(r.Type, "/calcChain")) continue;
      RemoveTags(*rels, "Relationship", "Id", r.Id);
      RemoveTags(*types, "Override", "PartName", "/" + r.Target);
      const std::string lower = Lower(r.Target);
      std::erase_if(Parts, [&](const auto& p) { return Lower(p.first) == lower; });
      types = FindPart("[Content_Types].xml");
      rels = FindPart(relsName);
    }
  }
}

std::map<std::string, std::string> TWorkbook::SavedParts() {
  PrepareForSave();
  return {Parts.begin(), Parts.end()};
}

std::string TWorkbook::SavedBytes() {
  PrepareForSave();
  zip_error_t error;
  zip_error_init(&error);
  zip_source_t* buffer = zip_source_buffer_create(nullptr, 0, 0, &error);
  zip_t* archive = buffer == nullptr ? nullptr : zip_open_from_source(buffer, ZIP_TRUNCATE, &error);
  if (archive == nullptr) {
    const std::string message = zip_error_strerror(&error);
    if (buffer != nullptr) zip_source_free(buffer);
    zip_error_fini(&error);
    throw EInOutError("Cannot write the workbook. " + message);
  }
  zip_error_fini(&error);
  // The buffer outlives the archive, which hands it back filled when it closes.
  zip_source_keep(buffer);
  struct TBuffer {
    zip_source_t* Source;
    ~TBuffer() { zip_source_free(Source); }
  } owner{buffer};
  auto fail = [&](const std::string& why) {
    zip_discard(archive);
    throw EInOutError("Cannot write the workbook. " + why);
  };
  for (const auto& [name, data] : Parts) {
    zip_source_t* source = zip_source_buffer(archive, data.data(), data.size(), 0);
    if (source == nullptr) fail(zip_strerror(archive));
    const zip_int64_t index = zip_file_add(archive, name.c_str(), source, ZIP_FL_ENC_UTF_8 | ZIP_FL_OVERWRITE);
    if (index < 0) {
      zip_source_free(source);
      fail(zip_strerror(archive));
    }
    zip_set_file_compression(archive, static_cast<zip_uint64_t>(index), ZIP_CM_DEFLATE, 6);
  }
  if (zip_close(archive) != 0) fail(zip_strerror(archive));

  zip_stat_t stat;
  if (zip_source_stat(buffer, &stat) != 0 || (stat.valid & ZIP_STAT_SIZE) == 0 || zip_source_open(buffer) != 0)
    throw EInOutError("Cannot write the workbook.");
  std::string bytes(static_cast<std::size_t>(stat.size), '\0');
  const zip_int64_t read = zip_source_read(buffer, bytes.data(), stat.size);
  zip_source_close(buffer);
  if (read < 0 || static_cast<zip_uint64_t>(read) != stat.size) throw EInOutError("Cannot write the workbook.");

  // Never hand out a workbook we could not read ourselves: every sheet set here must come back
  // with the same cells.
  try {
    TWorkbook again = FromBytes(bytes);
    if (again.SheetCount() != Sheets.size()) NotWorkbook("sheets lost");
    for (std::size_t i = 0; i < Sheets.size(); ++i)
      if (Sheets[i].Sheet && !again.Sheet(i + 1).SameContent(*Sheets[i].Sheet)) NotWorkbook("cells changed");
  } catch (const EDataError& e) {
    throw EDataError(std::string("The workbook was not saved: it would not read back as written, so its template "
                                 "is probably damaged. ") + e.what());
  }
  return bytes;
}

void TWorkbook::SaveAs(const std::string& fileName) { ReplaceFileContent(fileName, SavedBytes()); }

}  // namespace hv
