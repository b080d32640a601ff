#include "output/PrintForm.h"

#include <QApplication>
#include <QPainter>
#include <QPageSize>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextTable>

#include <algorithm>
#include <cmath>
#include <regex>

#include "AnsiString.h"
#include "RtfFormat.h"
#include "TextControl.h"
#include "TextStreamer.h"
#include "core/Errors.h"
#include "logic/AppLogic.h"
#include "model/Segments.h"
#include "model/TextStore.h"
#include "output/OutputForms.h"
#include "output/PreviewForm.h"
#include "output/PrintDialogs.h"

namespace hv {

namespace {

constexpr int kFooterOffset = 720;
constexpr int kFooterFontSize = 9;

// Puts the control's remembered formatting state and the pointer back, also when composing fails.
class TComposeState {
public:
  explicit TComposeState(TTXTextControl& control)
      : Control(control), FormatSelection(control.FormatSelection()), LineSpacing(control.LineSpacing()) {
    QApplication::setOverrideCursor(Qt::WaitCursor);
  }
  ~TComposeState() {
    Control.SetFormatSelection(FormatSelection);
    Control.SetLineSpacing(LineSpacing);
    QApplication::restoreOverrideCursor();
  }
  TComposeState(const TComposeState&) = delete;
  TComposeState& operator=(const TComposeState&) = delete;

private:
  TTXTextControl& Control;
  bool FormatSelection;
  int LineSpacing;
};

void CaretAt(TTXTextControl& c, int position) {
  c.SetSelLength(0);
  c.SetSelStart(position);
}

// Whether the entry at position already begins at the top of its page, where a page break in front
// of it would only leave a page empty (a long first entry would otherwise print a blank page 1).
// Leaves the caret at position.
bool StartsPage(TTXTextControl& c, int position, int page) {
  if (position == 0) return true;
  CaretAt(c, position - 1);
  const bool top = c.CaretPage() < page;
  CaretAt(c, position);
  return top;
}

// Where one entry lies in the composed text, its end-of-entry marker taken out. Recorded while
// composing, so a title or a paragraph that is just "-" inside an entry is never taken for the
// end of one.
struct TEntrySpan {
  int Start = 0;
  int End = 0;  // where the next entry begins
};

// The marker is the entry's last paragraph when that paragraph holds a single hyphen; the reader
// leaves the caret in an empty paragraph after it, where the next entry goes.
int MarkerOfEntry(const QTextDocument& doc, int start, int end) {
  QTextBlock last = doc.findBlock(end);
  if (last.isValid() && last.text().isEmpty() && last.position() > start) last = last.previous();
  if (!last.isValid() || last.position() < start || last.text() != QStringLiteral("-")) return -1;
  return last.position();
}

// A section heading stays with the entry after it: its paragraphs are kept with the next one.
bool KeepsWithNext(const QTextDocument& doc, const TEntrySpan& span) {
  const QTextBlock last = doc.findBlock(std::max(span.Start, span.End - 1));
  return last.isValid() && rtf::KeepsWithNext(last);
}

// Section headings saved before the page break was a real one wrote a paragraph holding "~"
// where the break belongs. That exact text is recognised and read as a break in front of the
// heading.
std::string WithSectionBreak(const std::string& rtf) {
  static const std::string oldStart =
      "{\\rtf1\\ansi\\ansicpg1252\\uc1 \\deff0{\\fonttbl{\\f0\\froman\\fcharset0 TIMES NEW ROMAN;}}"
      "{\\*\\generator TX_RTF32 10.0.321.500;}\\plain\\pard\\qc ~\\par\\sa480";
  if (rtf.compare(0, oldStart.size(), oldStart) != 0) return rtf;
  std::string fixed = rtf;
  const std::string tildeParagraph = "~\\par";
  fixed.replace(oldStart.size() - tildeParagraph.size() - std::string("\\sa480").size(), tildeParagraph.size(),
                "\\pagebb\\keepn");
  return fixed;
}

// A page break in front of an entry, as page flow on its first paragraph: no text is added, so
// nothing is laid out again, and the export writes it as \pagebb.
void BreakBefore(TTXTextControl& c, int at) { c.AddBlockFlow(at, at, rtf::kFlowBreakBefore); }

// An entry's end-of-entry marker leaves the text as soon as the entry is in, while it is still at
// the end of the text, where taking it out costs no layout of what follows. It goes with the
// paragraph end in front of it, so the entry's last paragraph and the next entry's first keep
// their own formats. In a table, or at the very start, the marker's own paragraph end goes instead.
// Answers how many characters went.
int RemoveMarker(TTXTextControl& c, int marker) {
  if (marker < 0) return 0;
  QTextDocument& doc = *c.document();
  QTextCursor before(&doc);
  before.setPosition(std::max(marker - 1, 0));
  const bool joinBack = marker > 0 && before.currentTable() == nullptr &&
                        doc.characterAt(marker - 1) == QChar::ParagraphSeparator;
  const int from = joinBack ? marker - 1 : marker;
  CaretAt(c, from);
  c.SetSelLength(2);
  c.SetSelText(QString());
  return 2;
}

// The page-break pass: an entry that ends on a later page than it begins gets a break in front
// of it, and a section heading left at the foot of the page before goes along with it. Entries
// that fit on a page are kept together (and headings with what follows) in the RTF as well, so a
// word processor breaks pages where we do.
void PaginateEntries(TTXTextControl& c, std::vector<TEntrySpan>& spans) {
  QTextDocument& doc = *c.document();
  int lastPage = 1;
  for (std::size_t i = 0; i < spans.size(); ++i) {
    TEntrySpan& span = spans[i];
    const int lastChar = span.End - 1;
    CaretAt(c, std::max(lastChar, span.Start));
    const int endPage = c.CaretPage();
    if (lastChar >= span.Start && endPage > lastPage) {
      CaretAt(c, span.Start);
      // Setting a value the paragraph already has would only make the control paginate again.
      if (c.IndentT() != 0) c.SetIndentT(0);
      // A heading kept with this entry moves with it; one that already starts a page stays.
      const bool withHeading = i > 0 && KeepsWithNext(doc, spans[i - 1]) && spans[i - 1].Start < span.Start;
      const std::size_t first = withHeading ? i - 1 : i;
      CaretAt(c, spans[first].Start);
      const int startPage = c.CaretPage();
      if (startPage < endPage && !StartsPage(c, spans[first].Start, startPage))
        BreakBefore(c, spans[first].Start);
      lastPage = endPage;
    }
    // A heading kept with its entry must not stay at the foot of the page before it.
    if (i > 0 && KeepsWithNext(doc, spans[i - 1]) && spans[i - 1].Start < span.Start) {
      CaretAt(c, span.Start);
      const int entryPage = c.CaretPage();
      CaretAt(c, spans[i - 1].Start);
      const int headingPage = c.CaretPage();
      if (headingPage < entryPage && !StartsPage(c, spans[i - 1].Start, headingPage))
        BreakBefore(c, spans[i - 1].Start);
    }
  }
  // Keeping is set last: it must not change the pages the pass above found. The pages are read
  // first, then every entry that fits on one is marked.
  std::vector<const TEntrySpan*> onePage;
  for (const TEntrySpan& span : spans) {
    if (span.End - 1 <= span.Start) continue;
    CaretAt(c, span.Start);
    const int first = c.CaretPage();
    CaretAt(c, span.End - 1);
    if (c.CaretPage() == first) onePage.push_back(&span);  // a longer one breaks where it must
  }
  for (const TEntrySpan* span : onePage) {
    c.AddBlockFlow(span->Start, span->End - 1, rtf::kFlowKeepTogether);
    // Every paragraph but the last keeps with the next one.
    const QTextBlock lastBlock = doc.findBlock(span->End - 1);
    if (lastBlock.position() > span->Start) c.AddBlockFlow(span->Start, lastBlock.position() - 1, rtf::kFlowKeepNext);
  }
}

// A title block states the test's time and marks as the title dialog proposed them ("25 min",
// "12 marks"). Where they still read that way they are set to the test's totals as printed, so a
// cover never disagrees with questions added or removed since; wording the teacher typed instead
// is left alone.
std::string WithCurrentTotals(const std::string& rtf, int totalTime, int totalMarks) {
  if (rtf.find("\\ATXbrdr60") == std::string::npos) return rtf;
  static const std::regex timeLine(R"((\\par\\fs28 \\b0 )-?\d+( min\\par))");
  static const std::regex marksLine(R"((\\par(?:\\fs28 \\b0)? )-?\d+( marks(?:\r\n)?\\par\\fs24\\i ))");
  const auto once = std::regex_constants::format_first_only;
  const std::string timed = std::regex_replace(rtf, timeLine, "$01" + std::to_string(totalTime) + "$02", once);
  return std::regex_replace(timed, marksLine, "$01" + std::to_string(totalMarks) + "$02", once);
}

}  // namespace

TPrintForm::TPrintForm(TAppLogic& app, QWidget* parent)
    : QWidget(parent), PrintATX(new TTXTextControl(this)), Printer(QPrinter::HighResolution), App(app) {
  setObjectName(QStringLiteral("PrintForm"));
  setWindowTitle(QStringLiteral("Print Preview"));
  PrintATX->setObjectName(QStringLiteral("PrintATX"));
  PrintATX->setReadOnly(true);
  PrintATX->hide();
  Printer.setPageSize(QPageSize(QPageSize::A4));
  Printer.setPageMargins(QMarginsF(72, 72, 72, 72), QPageLayout::Point);
  Printer.setFullPage(false);
}

TTXTextControl::TPageSetup TPrintForm::PageSetupOf(const QPrinter& printer) {
  const QPageLayout layout = printer.pageLayout();
  // Paper in millimetres, since whole points would cut A4 short by a third of a point.
  const QRectF paper = layout.fullRect(QPageLayout::Millimeter);
  const QMarginsF margins = layout.margins(QPageLayout::Point);
  const auto twips = [](double points) { return static_cast<int>(std::lround(points * 20)); };
  TTXTextControl::TPageSetup setup;
  setup.PaperWidth = twips(paper.width() * 72 / 25.4);
  setup.PaperHeight = twips(paper.height() * 72 / 25.4);
  setup.MarginLeft = twips(margins.left());
  setup.MarginRight = twips(margins.right());
  setup.MarginTop = twips(margins.top());
  setup.MarginBottom = twips(margins.bottom());
  return setup;
}

TPrintForm::~TPrintForm() = default;

void TPrintForm::ComposeDocument(const std::vector<TDocContent*>& entries) {
  TTXTextControl& c = *PrintATX;
  TComposeState state(c);
  c.ResetContents();
  // Paper, orientation and margins come from the printer, so that preview, print and export
  // show the same pages.
  c.SetPageSetup(PageSetupOf(Printer));

  c.SetHeaderFooter(TTXTextControl::PartFooter);
  c.SetHeaderFooterOffset(TTXTextControl::PartFooter, kFooterOffset);
  c.SelectHeaderFooter(TTXTextControl::PartFooter);
  c.SetFontSize(kFooterFontSize);
  c.SetFontBold(0);
  c.SetFontItalic(1);
  c.SetTabCurrent(1);
  c.SetTabType(TTXTextControl::TabRightEdge);
  c.SetSelText(AnsiToQt(App.OrganisationName()) + QLatin1Char('\t'));
  c.InsertField(QString());
  c.SetFieldKind(c.FieldCurrent(), 3);
  c.SelectHeaderFooter(TTXTextControl::PartMainText);
  // The footer is one line: a page number set against the right edge must not wrap when its
  // last glyph overhangs the edge (an italic 7 does).
  if (QTextDocument* footer = c.FooterDocument()) {
    QTextOption option = footer->defaultTextOption();
    option.setWrapMode(QTextOption::NoWrap);
    footer->setDefaultTextOption(option);
  }

  int totalTime = 0, totalMarks = 0;
  for (const TDocContent* entry : entries)
    if (entry->Segment != nullptr) {
      totalTime += entry->Segment->Time;
      totalMarks += entry->Segment->Marks;
    }

  std::vector<TEntrySpan> spans;
  TTextStreamer streamer(c);
  for (TDocContent* entry : entries) {
    TTextChunk* chunk = entry->Segment != nullptr ? entry->Segment->Chunk : nullptr;
    if (chunk == nullptr || entry->IsPlaceholder()) continue;
    c.SetSelLength(0);
    c.SetSelStart(-1);
    const int start = c.SelStart();
    try {
      const std::vector<std::string>& lines = chunk->GetLines();
      const std::string fixed =
          lines.empty() ? std::string() : WithCurrentTotals(WithSectionBreak(lines.front()), totalTime, totalMarks);
      if (!lines.empty() && fixed != lines.front())
        c.LoadFromString(fixed, TTXTextControl::FormatRtf, true);
      else
        streamer.LoadControl(*chunk);
      if (entry->Numbered) {
        const QString number = QString::number(entry->Number) + QLatin1Char('.');
        CaretAt(c, start);
        c.SetSelText(number);
        c.SetSelStart(start);
        c.SetSelLength(static_cast<int>(number.size()));
        c.SetFormatSelection(true);
        c.SetFontBold(1);
      }
    } catch (...) {
      chunk->ReleaseLines();
      throw;
    }
    chunk->ReleaseLines();
    c.SetSelLength(0);
    c.SetSelStart(-1);
    const int end = c.SelStart();
    spans.push_back(TEntrySpan{start, end - RemoveMarker(c, MarkerOfEntry(*c.document(), start, end))});
  }
  PaginateEntries(c, spans);
}

bool TPrintForm::PrintDocument() {
  TDocLogic* doc = App.CurrentDocument();
  if (doc == nullptr || !doc->Document) return false;
  ComposeDocument(doc->Document->Entries);
  return PrintComposed();
}

void TPrintForm::PreviewDocument() {
  TDocLogic* doc = App.CurrentDocument();
  if (doc == nullptr || !doc->Document) return;
  ComposeDocument(doc->Document->Entries);
  OutputForms().Preview().ShowModal();
}

bool TPrintForm::PrintComposed() {
  int pageCount = std::max(1, PrintATX->CurrentPages());
  const std::optional<TPrintChoice> choice = PrintDialogs().Print(Printer, pageCount);
  if (!choice) return false;
  // Paper chosen in the print dialog lays the text out afresh on it.
  if (PageSetupOf(Printer) != PrintATX->PageSetup()) {
    if (TDocLogic* doc = App.CurrentDocument(); doc != nullptr && doc->Document)
      ComposeDocument(doc->Document->Entries);
    else
      PrintATX->SetPageSetup(PageSetupOf(Printer));
    pageCount = std::max(1, PrintATX->CurrentPages());
  }

  std::vector<std::pair<int, int>> ranges;
  if (choice->Range == TPrintRange::All) {
    ranges.emplace_back(1, pageCount);
  } else if (choice->Range == TPrintRange::Pages) {
    for (auto [from, to] : choice->Pages) {
      from = std::max(from, 1);
      to = std::min(to, pageCount);
      if (from <= to) ranges.emplace_back(from, to);
    }
  }
  // A selection, or a range wholly beyond the text, prints nothing: no empty job is sent.
  if (ranges.empty()) return true;

  for (int copy = 1; copy <= std::max(1, choice->Copies); ++copy) {
    Printer.setDocName(JobTitle());
    emit JobStarting(copy);
    PrintJob(ranges);
  }
  return true;
}

void TPrintForm::PrintAll() {
  Printer.setDocName(JobTitle());
  PrintJob({{1, std::max(1, PrintATX->CurrentPages())}});
}

QString TPrintForm::JobTitle() const {
  const TDocLogic* doc = App.CurrentDocument();
  return doc != nullptr ? AnsiToQt(doc->DisplayName()) : QString();
}

void TPrintForm::PrintJob(const std::vector<std::pair<int, int>>& ranges) {
  const QString title = Printer.docName();
  QPainter painter;
  if (!painter.begin(&Printer)) throw EInOutError("The printer could not start printing " + QtToAnsi(title) + ".");
  try {
    for (std::size_t i = 0; i < ranges.size(); ++i) {
      if (i > 0 && !Printer.newPage()) throw EInOutError("The printer could not start a new page.");
      PrintPages(ranges[i].first, ranges[i].second);
    }
  } catch (...) {
    Printer.abort();
    painter.end();
    throw;
  }
  if (!painter.end()) throw EInOutError("The printer could not finish printing " + QtToAnsi(title) + ".");
}

void TPrintForm::PrintPages(int first, int last) {
  for (int page = first; page <= last; ++page) {
    PrintATX->SetPrintDevice(&Printer);
    if (!PrintATX->PrintPage(page)) throw EInOutError("Page " + std::to_string(page) + " could not be printed.");
    if (page != last && !Printer.newPage()) throw EInOutError("The printer could not start a new page.");
  }
}

void TPrintForm::PrinterSetup() { PrintDialogs().PageSetup(Printer); }

void TPrintForm::ExportDocument(const QString& fileName) {
  TDocLogic* doc = App.CurrentDocument();
  if (doc == nullptr || !doc->Document) return;
  PrintATX->SetControlOption(TTXTextControl::OptionLiveFields, true);
  ComposeDocument(doc->Document->Entries);
  if (!PrintATX->SaveToFile(fileName, 0, TTXTextControl::FormatRtf, true))
    throw EInOutError("Cannot create file \"" + QtToAnsi(fileName) + "\".");
}

}  // namespace hv
