// Print composition and the preview: numbers, footer, the page-break pass, and the preview's
// pages, captions and layout.
#include <QAbstractTextDocumentLayout>
#include <QLabel>
#include <QPainter>
#include <QPrinter>
#include <QPushButton>
#include <QScrollArea>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextLayout>
#include <QToolButton>

#include "OutputFixtures.h"
#include "OutputTests.h"
#include "RtfFormat.h"
#include "TextControl.h"
#include "core/Streams.h"
#include "model/TextStore.h"
#include "output/PreviewForm.h"
#include "output/PrintForm.h"
#include "output/TitleRtf.h"

using namespace hv;
using namespace hv::test;

namespace {

TTXTextControl& Composed() { return *OutputForms().Print().PrintATX; }

// The page on which the first occurrence of text begins in the composed text; 0 when absent.
int PageOf(const QString& text) {
  TTXTextControl& c = Composed();
  const int at = int(c.document()->toPlainText().indexOf(text));
  if (at < 0) return 0;
  c.SetSelLength(0);
  c.SetSelStart(at);
  return c.PositionInfo()[0];
}

QStringList Paragraphs() { return Composed().document()->toPlainText().split(QLatin1Char('\n')); }

// The paragraphs composition put a page break in front of.
QStringList BrokenBefore() {
  QStringList found;
  for (QTextBlock b = Composed().document()->begin(); b.isValid(); b = b.next())
    if (rtf::BreaksBefore(b) || b.text().contains(QLatin1Char('\f'))) found << b.text();
  return found;
}

bool BoldAt(int position) {
  QTextCursor c(Composed().document());
  c.setPosition(position + 1);  // the format of the character before the cursor
  return c.charFormat().fontWeight() >= QFont::DemiBold;
}

void Compose(TDocLogic* doc) { OutputForms().Print().ComposeDocument(doc->Document->Entries); }

}  // namespace

class TComposeTest : public QObject {
  Q_OBJECT

private slots:
  void numbersAreBoldAroundAnUnnumberedSection() {
    TOutputWorld w;
    TDocLogic* doc = w.DocumentWith({w.Q[0]});
    TSectionFields section;
    section.SectionTitle = QStringLiteral("Section B");
    doc->InsertText(-1, "Section B", false, ChunkOfPieces(SectionPieces(section)), 0, 0);
    doc->InsertEntries({w.Q[1], w.Q[2]}, -1);
    Compose(doc);
    const QString text = Composed().document()->toPlainText();
    const int one = int(text.indexOf(QStringLiteral("1.Q1 line 1")));
    const int two = int(text.indexOf(QStringLiteral("2.Q2 line 1")));
    const int three = int(text.indexOf(QStringLiteral("3.Q3 line 1")));
    QVERIFY2(one == 0 && two > one && three > two, qPrintable(text));
    QVERIFY(text.indexOf(QStringLiteral("Section B")) > one && text.indexOf(QStringLiteral("Section B")) < two);
    for (int at : {one, two, three}) {
      QVERIFY(BoldAt(at) && BoldAt(at + 1));
      QVERIFY(!BoldAt(at + 2));  // the text after "N." keeps its own weight
    }
    // Every end-of-entry paragraph is gone, and no page break was needed.
    QVERIFY(!Paragraphs().contains(QStringLiteral("-")));
    QVERIFY(BrokenBefore().isEmpty());
    QCOMPARE(Composed().CurrentPages(), 1);
  }

  void footerCarriesOrganisationAndPageNumber() {
    TOutputWorld w;
    TDocLogic* doc = w.DocumentWith({w.Q[0]});
    Compose(doc);
    TTXTextControl& c = Composed();
    QCOMPARE(c.HeaderFooter() & TTXTextControl::PartFooter, TTXTextControl::PartFooter);
    QCOMPARE(c.HeaderFooterOffset(TTXTextControl::PartFooter), 720);
    QTextDocument* footer = c.FooterDocument();
    QVERIFY(footer != nullptr);
    QCOMPARE(footer->toPlainText(), QStringLiteral("Harrowvane Sample School\t1"));
    QTextCursor at(footer);
    at.setPosition(3);
    QCOMPARE(at.charFormat().fontPointSize(), 9.0);
    QVERIFY(at.charFormat().fontItalic());
    QVERIFY(at.charFormat().fontWeight() < QFont::DemiBold);
    at.setPosition(int(footer->toPlainText().size()));
    QCOMPARE(at.charFormat().property(rtf::kFieldKindProperty).toInt(), int(rtf::FieldPage));
    // The page number stands at the right edge of the text.
    const auto tabs = footer->firstBlock().blockFormat().tabPositions();
    QVERIFY(!tabs.isEmpty());
    QCOMPARE(tabs.front().type, QTextOption::RightTab);
    QVERIFY(tabs.front().position > TTXTextControl::TextWidthPx() - 1);
  }

  void footerStaysOneLineWhateverThePageNumber() {
    TOutputWorld w;
    Compose(w.DocumentWith({w.Q[0]}));
    // Each page prints a copy of the footer with its own number; an italic 7 overhangs its
    // advance and must not push the number onto a second line.
    for (const QString& number : {QStringLiteral("7"), QStringLiteral("17"), QStringLiteral("127")}) {
      std::unique_ptr<QTextDocument> copy(Composed().FooterDocument()->clone());
      QTextCursor c(copy.get());
      c.movePosition(QTextCursor::End);
      c.movePosition(QTextCursor::PreviousCharacter, QTextCursor::KeepAnchor);
      c.insertText(number, c.charFormat());
      copy->setTextWidth(TTXTextControl::TextWidthPx());
      copy->documentLayout()->documentSize();
      QCOMPARE(copy->firstBlock().layout()->lineCount(), 1);
    }
  }

  void straddlingEntryMovesAndFittingEntryStays() {
    TOutputWorld w;
    TOutputWorld::SetText(w.Q[0], LinesRtf("First", 30));
    TOutputWorld::SetText(w.Q[1], LinesRtf("Fits", 10));
    TOutputWorld::SetText(w.Q[2], LinesRtf("Straddles", 20));
    TOutputWorld::SetText(w.Q[3], LinesRtf("Follows", 5));
    // 30 and 10 lines share page 1; 20 more would cross onto page 2.
    TDocLogic* doc = w.DocumentWith({w.Q[0], w.Q[1], w.Q[2], w.Q[3]});
    Compose(doc);
    QCOMPARE(PageOf(QStringLiteral("First line 1")), 1);
    QCOMPARE(PageOf(QStringLiteral("Fits line 1")), 1);
    QCOMPARE(PageOf(QStringLiteral("Fits line 10")), 1);
    QCOMPARE(PageOf(QStringLiteral("Straddles line 1")), 2);
    QCOMPARE(PageOf(QStringLiteral("Straddles line 20")), 2);
    QCOMPARE(PageOf(QStringLiteral("Follows line 1")), 2);
    const QStringList broken = BrokenBefore();
    QCOMPARE(broken.size(), 1);
    QVERIFY(broken.front().startsWith(QStringLiteral("3.Straddles line 1")));
    QCOMPARE(Composed().CurrentPages(), 2);
    QVERIFY(!Paragraphs().contains(QStringLiteral("-")));
  }

  void entryLongerThanAPageStartsOnAFreshPage() {
    TOutputWorld w;
    TOutputWorld::SetText(w.Q[0], LinesRtf("Short", 5));
    TOutputWorld::SetText(w.Q[1], LinesRtf("Long", 80));
    TDocLogic* doc = w.DocumentWith({w.Q[0], w.Q[1]});
    Compose(doc);
    QCOMPARE(PageOf(QStringLiteral("Short line 5")), 1);
    QCOMPARE(PageOf(QStringLiteral("Long line 1")), 2);
    QCOMPARE(PageOf(QStringLiteral("Long line 80")), 3);
  }

  void longFirstEntryDoesNotLeaveABlankFirstPage() {
    TOutputWorld w;
    TOutputWorld::SetText(w.Q[0], LinesRtf("Long", 80));
    TDocLogic* doc = w.DocumentWith({w.Q[0]});
    Compose(doc);
    QCOMPARE(PageOf(QStringLiteral("Long line 1")), 1);
    QCOMPARE(Composed().CurrentPages(), 2);
    QVERIFY(BrokenBefore().isEmpty());
  }

  void emptyCompositionHasOnePage() {
    TOutputWorld w;
    TDocLogic* doc = w.NewDocument();
    Compose(doc);
    QCOMPARE(Composed().CurrentPages(), 1);
    TScriptedPrintDialogs dialogs;
    dialogs.Answer.reset();
    QVERIFY(!OutputForms().Print().PrintComposed());
    QCOMPARE(dialogs.OfferedPages, 1);
  }

  void onlyEachEntrysLastHyphenParagraphIsRemoved() {
    TOutputWorld w;
    TOutputWorld::SetText(w.Q[0], "{\\rtf1\\ansi\\deff0{\\fonttbl{\\f0 Times New Roman;}}\\f0 Fill the gap -\\par well-\\par "
                                  "-\\par -\\par}");
    TDocLogic* doc = w.DocumentWith({w.Q[0], w.Q[1]});
    // A title that is just "-" is text the teacher typed, not the end of its entry.
    TTitleFields title;
    title.Title = QStringLiteral("-");
    doc->InsertText(0, "-", false, ChunkOfPieces(TitlePieces(title, QString())), 0, 0);
    Compose(doc);
    const QStringList paragraphs = Paragraphs();
    const qsizetype first = paragraphs.indexOf(QStringLiteral("1.Fill the gap -"));
    QVERIFY2(first > 0 && paragraphs.mid(0, first).contains(QStringLiteral("-")), qPrintable(paragraphs.join(u'|')));
    QCOMPARE(paragraphs.mid(first, 4), (QStringList{QStringLiteral("1.Fill the gap -"), QStringLiteral("well-"),
                                                    QStringLiteral("-"), QStringLiteral("2.Q2 line 1")}));
    QCOMPARE(paragraphs.count(QStringLiteral("-")), 2);
  }

  void sectionsStartPagesAndStayWithTheirFirstQuestion() {
    TOutputWorld w;
    TOutputWorld::SetText(w.Q[0], LinesRtf("First", 38));
    TOutputWorld::SetText(w.Q[1], LinesRtf("Second", 20));
    TDocLogic* doc = w.DocumentWith({w.Q[0]});
    TSectionFields heading;
    heading.SectionTitle = QStringLiteral("Section B");
    doc->InsertText(-1, "Section B", false, ChunkOfPieces(SectionPieces(heading)), 0, 0);
    doc->InsertEntries({w.Q[1]}, -1);
    Compose(doc);
    // The heading fits under the first question, but its question does not: both move on.
    QCOMPARE(PageOf(QStringLiteral("First line 38")), 1);
    QCOMPARE(PageOf(QStringLiteral("Section B")), 2);
    QCOMPARE(PageOf(QStringLiteral("2.Second line 1")), 2);

    // "Start section on new page", as written now and as documents saved earlier hold it.
    const std::string before = "{\\rtf1\\ansi\\ansicpg1252\\uc1 \\deff0{\\fonttbl{\\f0\\froman\\fcharset0 TIMES NEW ROMAN;}}"
                               "{\\*\\generator TX_RTF32 10.0.321.500;}\\plain\\pard\\qc ~\\par\\sa480\\f0\\fs32\\b1 \r\nOld"
                               "\\par\\plain\\pard\\qc\\sa480\\li1440\\fi1440\\ri1440\\f0\\fs24\\i1 \r\n\t\r\n\\par -\\par}";
    TSectionFields fresh;
    fresh.SectionTitle = QStringLiteral("New");
    fresh.NewPage = true;
    TDocLogic* pages = w.DocumentWith({w.Q[2]});
    pages->InsertText(-1, "New", false, ChunkOfPieces(SectionPieces(fresh)), 0, 0);
    pages->InsertEntries({w.Q[3]}, -1);
    pages->InsertText(-1, "Old", false, std::make_unique<TTextChunk>(std::vector<std::string>{before}), 0, 0);
    pages->InsertEntries({w.Q[4]}, -1);
    Compose(pages);
    QCOMPARE(PageOf(QStringLiteral("New")), 2);
    QCOMPARE(PageOf(QStringLiteral("2.Q4 line 1")), 2);
    QCOMPARE(PageOf(QStringLiteral("Old")), 3);
    QCOMPARE(Composed().CurrentPages(), 3);
    QVERIFY(!Composed().document()->toPlainText().contains(QLatin1Char('~')));
  }

  void coverTotalsFollowTheTest() {
    TOutputWorld w;
    w.Q[0]->Marks = 5;
    w.Q[0]->Time = 10;
    w.Q[1]->Marks = 7;
    w.Q[1]->Time = 15;
    TDocLogic* doc = w.DocumentWith({w.Q[0]});
    // The cover as proposed for the first question alone; a question is added afterwards.
    TTitleFields compact;
    compact.TimeAllowed = QStringLiteral("10 min");
    compact.TotalMarks = QStringLiteral("5 marks");
    doc->InsertText(0, "Compact", false, ChunkOfPieces(TitlePieces(compact, QString())), 0, 0);
    TTitleFields full = compact;
    full.FullPage = true;
    full.TimeAllowed = QStringLiteral("One hour");
    doc->InsertText(0, "Full", false, ChunkOfPieces(TitlePieces(full, QString())), 0, 0);
    doc->InsertEntries({w.Q[1]}, -1);
    Compose(doc);
    const QStringList paragraphs = Paragraphs();
    QCOMPARE(paragraphs.count(QStringLiteral("25 min")), 1);
    QCOMPARE(paragraphs.count(QStringLiteral("12 marks")), 2);
    // Wording the teacher typed is theirs.
    QVERIFY(paragraphs.contains(QStringLiteral("One hour")));
  }

  void answerLinesAreDrawnOnEveryPaperAndOrientation() {
    TOutputWorld w;
    // An answer line with a dotted leader and the same line with a plain tab.
    TOutputWorld::SetText(w.Q[0], "{\\rtf1\\ansi\\deff0{\\fonttbl{\\f0 Times New Roman;}}\\pard\\li567\\tldot\\tqr\\tx8000\\f0 "
                                  "Energy =\\tab J\\par\\pard\\li567\\tqr\\tx8000 Plain =\\tab K\\par -\\par}");
    TDocLogic* doc = w.DocumentWith({w.Q[0]});
    QPrinter& printer = OutputForms().Print().Printer;
    for (const auto& [paper, orientation] : {std::pair{QPageSize::A4, QPageLayout::Portrait},
                                             std::pair{QPageSize::Letter, QPageLayout::Portrait},
                                             std::pair{QPageSize::A4, QPageLayout::Landscape}}) {
      printer.setPageSize(QPageSize(paper));
      printer.setPageOrientation(orientation);
      Compose(doc);
      TTXTextControl& c = Composed();
      const QSizeF size = QPageSize(paper).size(QPageSize::Millimeter) * (1440 / 25.4);
      const double width = orientation == QPageLayout::Landscape ? size.height() : size.width();
      QVERIFY(std::abs(c.PageSetup().PaperWidth - width) < 2);
      QImage page(int(c.PageSetup().PaperWidth / 15), int(c.PageSetup().PaperHeight / 15), QImage::Format_RGB32);
      page.fill(Qt::white);
      QPainter painter(&page);
      c.DrawPage(painter, 1, 96, 96);
      painter.end();
      // Dark pixels in the gap each tab leaves, on the printed page.
      auto inkInGap = [&](const QString& before) {
        const QTextBlock block = c.document()->findBlock(int(c.document()->toPlainText().indexOf(before)));
        const QTextLine line = block.layout()->lineAt(0);
        const int tab = int(block.text().indexOf(QLatin1Char('\t')));
        const QRectF rect = c.document()->documentLayout()->blockBoundingRect(block);
        const QPointF origin = QPointF(rect.left(), rect.top() - block.layout()->boundingRect().top()) +
                               QPointF(c.PageSetup().MarginLeft / 15.0, c.PageSetup().MarginTop / 15.0);
        const QRect gap = QRectF(origin.x() + line.cursorToX(tab) + 4, origin.y() + line.y(),
                                 line.cursorToX(tab + 1) - line.cursorToX(tab) - 8, line.height()).toRect();
        int ink = 0, tail = 0;  // tail: the last 20 pixels, where the leader meets the text after it
        for (int y = gap.top(); y <= gap.bottom(); ++y)
          for (int x = gap.left(); x <= gap.right(); ++x)
            if (qGray(page.pixel(x, y)) < 160) {
              ++ink;
              if (x > gap.right() - 20) ++tail;
            }
        return std::tuple{gap.width(), ink, tail};
      };
      const auto [dottedWidth, dots, tail] = inkInGap(QStringLiteral("Energy"));
      QVERIFY2(dottedWidth > 300 && dots > dottedWidth / 10 && tail > 0,
               qPrintable(QStringLiteral("%1 %2 %3").arg(dottedWidth).arg(dots).arg(tail)));
      QCOMPARE(std::get<1>(inkInGap(QStringLiteral("Plain"))), 0);
    }
    printer.setPageSize(QPageSize(QPageSize::A4));
    printer.setPageOrientation(QPageLayout::Portrait);
  }

  void entriesWithoutTextsAreSkippedAndStoredTextsReleased() {
    TOutputWorld w;
    w.Q[0]->TakeChunk();
    TTextStore store(std::make_unique<TMemoryStream>());
    w.Q[1]->Chunk->SaveToStore(store);
    QVERIFY(!w.Q[1]->Chunk->IsLoaded());
    TDocLogic* doc = w.DocumentWith({w.Q[0], w.Q[1]});
    TTXTextControl& c = Composed();
    c.SetFormatSelection(false);
    Compose(doc);
    QCOMPARE(Paragraphs().at(0), QStringLiteral("2.Q2 line 1"));
    QVERIFY(!w.Q[1]->Chunk->IsLoaded());
    QVERIFY(!c.FormatSelection());
  }

  void previewLayoutArithmetic() {
    // Whole page in a wide box: fitted to the height, centred across.
    QCOMPARE(PreviewImageRect(QSize(425, 300), QSize(792, 1123), true), QRect(112, 8, 200, 284));
    // Whole page in a tall box: fitted to the width, centred down.
    QCOMPARE(PreviewImageRect(QSize(300, 1000), QSize(792, 1123), true), QRect(8, 298, 284, 403));
    // Full size: centred when the box is wider, else 8 pixels in.
    QCOMPARE(PreviewImageRect(QSize(1000, 600), QSize(792, 1123), false), QRect(104, 8, 792, 1123));
    QCOMPARE(PreviewImageRect(QSize(425, 300), QSize(792, 1123), false), QRect(8, 8, 792, 1123));
    // A box smaller than its margins still gives a picture.
    QVERIFY(!PreviewImageRect(QSize(10, 10), QSize(792, 1123), true).isEmpty());
  }

  void previewPagesAndCaption() {
    TOutputWorld w;
    TOutputWorld::SetText(w.Q[0], LinesRtf("Long", 120));
    TDocLogic* doc = w.DocumentWith({w.Q[0]});
    Compose(doc);
    TPreviewForm& preview = OutputForms().Preview();
    preview.show();
    preview.Start();
    QCOMPARE(preview.PageCount(), 3);
    QCOMPARE(preview.StatusP->text(), QStringLiteral("Page 1 of 3  "));
    QVERIFY(!preview.PrevB->isEnabled() && preview.NextB->isEnabled());
    preview.NextB->click();
    QCOMPARE(preview.StatusP->text(), QStringLiteral("Page 2 of 3  "));
    QVERIFY(preview.PrevB->isEnabled() && preview.NextB->isEnabled());
    preview.NextB->click();
    QVERIFY(preview.PrevB->isEnabled() && !preview.NextB->isEnabled());
    preview.PrevB->click();
    QCOMPARE(preview.CurrentPage(), 2);

    // The sheet is 8.25 by 11.7 inches at the screen's resolution, drawn in colour.
    const double dpiX = preview.screen()->logicalDotsPerInchX();
    QCOMPARE(preview.PageImage().width(), int(std::lround(8.25 * dpiX)));
    QVERIFY(preview.PageImage().format() != QImage::Format_Mono);
    int dark = 0;
    for (int y = 0; y < preview.PageImage().height(); y += 3)
      for (int x = 0; x < preview.PageImage().width(); x += 3)
        if (qGray(preview.PageImage().pixel(x, y)) < 128) ++dark;
    QVERIFY(dark > 100);

    QVERIFY(preview.WholeB->isChecked() && !preview.ZoomB->isChecked());
    QCOMPARE(preview.IPreview->geometry(), PreviewImageRect(preview.PreviewSB->size(), preview.PageImage().size(), true));
    preview.ZoomB->click();
    QVERIFY(!preview.WholeB->isChecked());
    QCOMPARE(preview.IPreview->size(), preview.PageImage().size());
    preview.resize(900, 700);
    QCOMPARE(preview.IPreview->geometry(), PreviewImageRect(preview.PreviewSB->size(), preview.PageImage().size(), false));
    preview.WholeB->click();
    QCOMPARE(preview.IPreview->geometry(), PreviewImageRect(preview.PreviewSB->size(), preview.PageImage().size(), true));
    QCOMPARE(preview.minimumSize(), QSize(425, 300));
    preview.CloseB->click();
    QVERIFY(!preview.isVisible());
  }

  void previewOfOnePage() {
    TOutputWorld w;
    TDocLogic* doc = w.DocumentWith({w.Q[0]});
    WhenModal<TPreviewForm>([](TPreviewForm* p) {
      QCOMPARE(p->StatusP->text(), QStringLiteral("Page 1 of 1  "));
      QVERIFY(!p->PrevB->isEnabled() && !p->NextB->isEnabled());
      p->CloseB->click();
    });
    OutputForms().Print().PreviewDocument();
    QVERIFY(!OutputForms().Preview().isVisible());
    Q_UNUSED(doc);
  }
};

int RunComposeTests(int argc, char** argv) {
  TComposeTest test;
  return QTest::qExec(&test, argc, argv);
}

#include "ComposeTest.moc"
