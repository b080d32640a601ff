#include "output/PrintForm.h"

#include <QApplication>
#include <QPainter>
#include <QPageSize>
#include <QTextDocument>

#include <algorithm>

#include "AnsiString.h"
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
constexpr int kFindFlags = TTXTextControl::FindKeepSelection | TTXTextControl::FindMatchCase;

const QString& EntryMarker() {
  static const QString marker = QStringLiteral("-\n");
  return marker;
}

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

// The next end-of-entry marker from start: a hyphen alone in its paragraph. A hyphen that merely
// ends a longer paragraph ("well-") is text, and removing it would join two paragraphs.
int FindMarker(TTXTextControl& c, int start) {
  int at = c.FindText(EntryMarker(), start, kFindFlags);
  while (at > 0 && c.document()->characterAt(at - 1) != QChar::ParagraphSeparator)
    at = c.FindText(EntryMarker(), at + 1, kFindFlags);
  return at;
}

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
  const bool top = c.PositionInfo()[0] < page;
  CaretAt(c, position);
  return top;
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
  Printer.setFullPage(false);
}

TPrintForm::~TPrintForm() = default;

void TPrintForm::ComposeDocument(const std::vector<TDocContent*>& entries) {
  TTXTextControl& c = *PrintATX;
  TComposeState state(c);
  c.ResetContents();

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

  TTextStreamer streamer(c);
  for (TDocContent* entry : entries) {
    TTextChunk* chunk = entry->Segment != nullptr ? entry->Segment->Chunk : nullptr;
    if (chunk == nullptr || entry->IsPlaceholder()) continue;
    c.SetSelLength(0);
    c.SetSelStart(-1);
    const int start = c.SelStart();
    try {
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
  }

  // Page-break pass: every entry ends with its marker paragraph, so the text between two markers
  // is one entry; one that ends on a later page than it begins gets a break in front of it.
  int lastPage = 1;
  int entryStart = 0;
  int marker = FindMarker(c, 1);
  while (marker > entryStart) {
    CaretAt(c, marker - 1);
    const int endPage = c.PositionInfo()[0];
    if (endPage > lastPage) {
      CaretAt(c, entryStart);
      // Setting a value the paragraph already has would only make the control paginate again.
      if (c.IndentT() != 0) c.SetIndentT(0);
      const int startPage = c.PositionInfo()[0];
      if (startPage < endPage && !StartsPage(c, entryStart, startPage)) {
        c.SetSelText(QStringLiteral("\f\n"));
        marker += 2;
        c.SetSelLength(0);
        c.SetFormatSelection(true);
        c.SetSelStart(entryStart);
        c.SetLineSpacing(0);
        c.SetIndentB(0);
      }
      lastPage = endPage;
    }
    CaretAt(c, marker);
    c.SetFormatSelection(true);
    // Each change of a paragraph's format lays the text out again, so only real changes are made.
    if (c.LineSpacing() != 100) c.SetLineSpacing(0);
    if (c.IndentT() != 0) c.SetIndentT(0);
    if (c.IndentB() != 0) c.SetIndentB(0);
    c.SetSelLength(2);
    c.SetSelText(QString());
    entryStart = marker;
    marker = FindMarker(c, marker + 1);
  }
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
  const int pageCount = std::max(1, PrintATX->CurrentPages());
  const std::optional<TPrintChoice> choice = PrintDialogs().Print(Printer, pageCount);
  if (!choice) return false;

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

  const TDocLogic* doc = App.CurrentDocument();
  const QString title = doc != nullptr ? AnsiToQt(doc->DisplayName()) : QString();
  for (int copy = 1; copy <= std::max(1, choice->Copies); ++copy) {
    Printer.setDocName(title);
    emit JobStarting(copy);
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
  return true;
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
