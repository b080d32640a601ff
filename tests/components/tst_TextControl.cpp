#include "RtfFormat.h"
#include "TextControl.h"

#include <QFile>
#include <QFontDialog>
#include <QImage>
#include <QPainter>
#include <QPdfWriter>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBlock>
#include <QTextDocument>

#include <string>

namespace {

// An entry as the program stores it: RTF ending in the end-of-entry marker paragraph.
std::string Entry(const std::string& text, int paragraphs = 1)
{
    std::string rtf = "{\\rtf1\\ansi\\deff0{\\fonttbl{\\f0\\froman Times New Roman;}}\\pard\\plain\\f0\\fs24 ";
    for (int i = 0; i < paragraphs; ++i)
        rtf += text + " paragraph " + std::to_string(i + 1) + "\\par ";
    rtf += "\\pard -\\par}";
    return rtf;
}

// Counts the dark pixels in a rectangle of an image.
int Ink(const QImage& image, const QRect& rect)
{
    int n = 0;
    for (int y = rect.top(); y <= rect.bottom(); ++y)
        for (int x = rect.left(); x <= rect.right(); ++x)
            if (qGray(image.pixel(x, y)) < 128)
                ++n;
    return n;
}

QImage RenderPage(TTXTextControl& control, int page, int dpi = 48)
{
    QImage image(qRound(8.27 * dpi), qRound(11.69 * dpi), QImage::Format_RGB32);
    image.setDotsPerMeterX(qRound(dpi / 0.0254));
    image.setDotsPerMeterY(qRound(dpi / 0.0254));
    image.fill(Qt::white);
    control.SetPrintDevice(&image);
    if (!control.PrintPage(page))
        return {};
    return image;
}

// The print composition's use of the control: footer, entries at the end, numbers, then the
// page-break pass that moves split entries to a new page and removes the markers.
void Compose(TTXTextControl& c, const std::vector<std::pair<std::string, int>>& entries)
{
    c.ResetContents();
    c.SetHeaderFooter(4);
    c.SetHeaderFooterOffset(4, 720);
    c.SelectHeaderFooter(4);
    c.SetFontSize(9);
    c.SetFontBold(0);
    c.SetFontItalic(1);
    c.SetTabCurrent(1);
    c.SetTabType(5);
    c.SetSelText(QStringLiteral("Harrow School\t"));
    c.InsertField(QString());
    c.SetFieldKind(c.FieldCurrent(), 3);
    c.SelectHeaderFooter(16);
    for (const auto& [rtf, number] : entries) {
        c.SetSelLength(0);
        c.SetSelStart(-1);
        const int start = c.SelStart();
        c.LoadFromString(rtf, 5, true);
        if (number > 0) {
            const QString label = QString::number(number) + QLatin1Char('.');
            c.SetSelStart(start);
            c.SetSelLength(0);
            c.SetSelText(label);
            c.SetSelStart(start);
            c.SetSelLength(int(label.size()));
            c.SetFormatSelection(true);
            c.SetFontBold(1);
        }
    }
    int p = 1, m = 0;
    const QString marker = QStringLiteral("-\n");
    int k = c.FindText(marker, 1, 24);
    while (k > m) {
        c.SetSelLength(0);
        c.SetSelStart(k - 1);
        const int e = c.PositionInfo()[0];
        if (e > p) {
            c.SetSelLength(0);
            c.SetSelStart(m);
            c.SetIndentT(0);
            const int b = c.PositionInfo()[0];
            if (b < e) {
                c.SetSelText(QStringLiteral("\f\n"));
                k += 2;
                c.SetSelLength(0);
                c.SetFormatSelection(true);
                c.SetSelStart(m);
                c.SetLineSpacing(0);
                c.SetIndentB(0);
            }
            p = e;
        }
        c.SetSelLength(0);
        c.SetSelStart(k);
        c.SetFormatSelection(true);
        c.SetLineSpacing(0);
        c.SetIndentT(0);
        c.SetIndentB(0);
        c.SetSelLength(2);
        c.SetSelText(QString());
        m = k;
        k = c.FindText(marker, k + 1, 24);
    }
}

int PageOfText(TTXTextControl& c, const QString& text)
{
    const int at = c.document()->toPlainText().indexOf(text);
    c.SetSelLength(0);
    c.SetSelStart(at);
    return c.PositionInfo()[0];
}

}  // namespace

class TestTextControl : public QObject {
    Q_OBJECT

private slots:
    void selectionProperties()
    {
        TTXTextControl c;
        c.LoadFromString("{\\rtf1 first\\par second}", 5, true);
        c.SetSelStart(-1);
        QCOMPARE(c.SelStart(), int(QStringLiteral("first\nsecond").size()));
        c.SetSelStart(2);
        c.SetSelLength(7);
        QCOMPARE(c.SelLength(), 7);
        QCOMPARE(c.SelText(), QStringLiteral("rst\nsec"));
        c.SetSelText(QStringLiteral("X\r\nY"));
        QCOMPARE(c.document()->toPlainText(), QStringLiteral("fiX\nYond"));
        c.SetSelStart(0);
        c.SetSelLength(100);
        QCOMPARE(c.SelLength(), int(QStringLiteral("fiX\nYond").size()));
        c.SetSelText(QString());
        QVERIFY(c.document()->isEmpty());
    }

    void loadAndSaveFormats()
    {
        TTXTextControl c;
        QVERIFY(c.LoadFromString("{\\rtf1 one}", 5, true));
        c.SetSelStart(-1);
        QVERIFY(c.LoadFromString("{\\rtf1 {\\b two}}", 5, true));
        QCOMPARE(c.document()->toPlainText(), QStringLiteral("onetwo"));
        QVERIFY(c.LoadFromString("{\\rtf1 three}", 5, false));
        QCOMPARE(c.document()->toPlainText(), QStringLiteral("three"));
        QVERIFY(c.LoadFromString("caf\xe9\r\nnext", 1, false));
        QCOMPARE(c.document()->toPlainText(), QStringLiteral("caf\u00E9\nnext"));
        QVERIFY(!c.LoadFromString("x", 3, true));

        std::string text;
        QVERIFY(c.SaveToString(text, 1, true));
        QCOMPARE(text, std::string("caf\xe9\r\nnext"));
        c.SetSelStart(0);
        c.SetSelLength(3);
        QVERIFY(c.SaveToString(text, 5, false));
        TTXTextControl other;
        other.LoadFromString(text, 5, true);
        QCOMPARE(other.document()->toPlainText(), QStringLiteral("caf"));
        QVERIFY(c.SaveToString(text, 5, true));
        other.LoadFromString(text, 5, false);
        QCOMPARE(other.document()->toPlainText(), QStringLiteral("caf\u00E9\nnext"));
        QVERIFY(!c.SaveToString(text, 2, true));

        QTemporaryDir dir;
        const QString name = dir.filePath(QStringLiteral("out.rtf"));
        QFile seed(name);
        QVERIFY(seed.open(QIODevice::WriteOnly));
        seed.write("HEADERxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxx");
        seed.close();
        QVERIFY(c.SaveToFile(name, 6, 1, true));
        QFile back(name);
        QVERIFY(back.open(QIODevice::ReadOnly));
        QCOMPARE(back.readAll(), QByteArray("HEADERcaf\xe9\r\nnext"));
        back.close();
        QVERIFY(c.SaveToFile(name, 0, 5, false));
        QVERIFY(back.open(QIODevice::ReadOnly));
        QVERIFY(back.readAll().startsWith("{\\rtf1"));
    }

    void findText()
    {
        TTXTextControl c;
        c.LoadFromString("{\\rtf1 Alpha beta alphabet\\par -\\par Gamma\\par -\\par}", 5, true);
        QCOMPARE(c.FindText(QStringLiteral("alpha"), 0, 8), 0);
        QCOMPARE(c.FindText(QStringLiteral("alpha"), 0, 8 | 16), 11);
        QCOMPARE(c.FindText(QStringLiteral("alpha"), 1, 8 | 2), -1);
        QCOMPARE(c.FindText(QStringLiteral("beta"), 30, 8 | 1), 6);
        QCOMPARE(c.FindText(QStringLiteral("-\n"), 1, 24), 20);
        QCOMPARE(c.FindText(QStringLiteral("-\n"), 21, 24), 28);
        QCOMPARE(c.FindText(QStringLiteral("-\n"), 29, 24), -1);
        c.SetSelStart(3);
        c.FindText(QStringLiteral("Gamma"), 0, 16);
        QCOMPARE(c.SelStart(), 22);
        QCOMPARE(c.SelLength(), 5);
        c.SetSelStart(3);
        c.FindText(QStringLiteral("Gamma"), 0, 24);
        QCOMPARE(c.SelStart(), 3);
    }

    void viewerRemovesMarkersKeepingParagraphFormats()
    {
        TTXTextControl c;
        c.LoadFromString("{\\rtf1 \\pard\\qc Title\\par\\pard -\\par}", 5, true);
        c.SetSelStart(-1);
        c.LoadFromString("{\\rtf1 \\pard\\qr Right\\par\\pard -\\par}", 5, true);
        int previous = 0;
        int p = c.FindText(QStringLiteral("-\n"), 1, 24);
        while (p > previous) {
            c.SetSelLength(0);
            c.SetSelStart(p);
            c.SetSelLength(2);
            c.SetSelText(QString());
            previous = p;
            p = c.FindText(QStringLiteral("-\n"), p + 1, 24);
        }
        QCOMPARE(c.document()->toPlainText(), QStringLiteral("Title\nRight\n"));
        QCOMPARE(c.document()->findBlockByNumber(1).blockFormat().alignment() & Qt::AlignHorizontal_Mask, Qt::AlignRight);
    }

    void characterAndParagraphProperties()
    {
        TTXTextControl c;
        c.LoadFromString("{\\rtf1 plain {\\b bold}}", 5, true);
        c.SetSelStart(7);
        QCOMPARE(c.FontBold(), -1);
        c.SetSelStart(2);
        QCOMPARE(c.FontBold(), 0);
        c.SetSelStart(0);
        c.SetSelLength(5);
        c.SetFormatSelection(false);
        c.SetFontItalic(-1);
        QCOMPARE(c.FontItalic(), 0);  // only the typing format changed
        c.SetFormatSelection(true);
        c.SetFontItalic(-1);
        c.SetFontSize(20);
        c.SetSelStart(2);
        QCOMPARE(c.FontItalic(), -1);
        QCOMPARE(c.FontSize(), 20);
        c.SetLineSpacing(150);
        QCOMPARE(c.LineSpacing(), 150);
        c.SetLineSpacing(0);
        QCOMPARE(c.LineSpacing(), 100);
        c.SetIndentT(240);
        c.SetIndentB(120);
        QCOMPARE(c.IndentT(), 240);
        QCOMPARE(c.IndentB(), 120);
        c.SetTabCurrent(2);
        c.SetTabType(4);
        QCOMPARE(c.TabType(), 4);
        c.SetTabCurrent(1);
        QCOMPARE(c.TabType(), 1);  // created in front of the second, every half inch
        c.SetTabType(5);
        QCOMPARE(c.TabType(), 5);
        QCOMPARE(c.textCursor().blockFormat().tabPositions()[0].position, TTXTextControl::TextWidthPx());
    }

    void paginationAgreesEverywhere()
    {
        TTXTextControl c;
        std::string rtf = "{\\rtf1 ";
        for (int i = 0; i < 160; ++i)
            rtf += "Line number " + std::to_string(i) + " of a long text.\\par ";
        rtf += "{\\pard\\pagebb forced\\par}tail}";
        c.LoadFromString(rtf, 5, true);
        const int pages = c.CurrentPages();
        QVERIFY(pages >= 3);
        QCOMPARE(PageOfText(c, QStringLiteral("Line number 0 ")), 1);
        QCOMPARE(PageOfText(c, QStringLiteral("forced")), pages);
        QVERIFY(PageOfText(c, QStringLiteral("Line number 159 ")) == pages - 1);
        c.SetSelStart(-1);
        QCOMPARE(c.PositionInfo()[0], pages);
        for (int page = 1; page < pages; ++page) {
            const QImage image = RenderPage(c, page);
            QVERIFY(!image.isNull());
            QVERIFY2(Ink(image, QRect(48, 48, 300, 465)) > 50, qPrintable(QString::number(page)));
        }
        QVERIFY(RenderPage(c, pages + 1).isNull());
        QVERIFY(RenderPage(c, 0).isNull());
        // Page n shows the line PositionInfo places at its top: the last page holds only "forced" and "tail".
        const QImage last = RenderPage(c, pages);
        QVERIFY(Ink(last, QRect(48, 48, 300, 30)) > 0);
        QCOMPARE(Ink(last, QRect(48, 100, 300, 400)), 0);
    }

    void composedDocumentHasFooterNumbersAndBreaks()
    {
        TTXTextControl c;
        Compose(c, {{Entry("Short question", 3), 1},
                    {Entry("Section", 1), 0},
                    {Entry("Long question", 30), 2},
                    {Entry("Straddling question", 30), 3}});
        const QString text = c.document()->toPlainText();
        QVERIFY(!text.contains(QStringLiteral("-\n")));
        QVERIFY(text.startsWith(QStringLiteral("1.Short question paragraph 1")));
        QVERIFY(text.contains(QStringLiteral("\nSection paragraph 1\n2.Long question paragraph 1")));
        QVERIFY(text.contains(QStringLiteral("3.Straddling question paragraph 1")));
        // The number is bold, the text after it is not.
        QTextCursor probe(c.document());
        probe.setPosition(1);
        QVERIFY(probe.charFormat().fontWeight() >= QFont::Bold);
        probe.setPosition(4);
        QVERIFY(probe.charFormat().fontWeight() < QFont::Bold);
        // The third entry does not fit under the second and starts a page of its own, whole.
        const int start = PageOfText(c, QStringLiteral("3.Straddling"));
        const int end = PageOfText(c, QStringLiteral("Straddling question paragraph 30"));
        QCOMPARE(start, end);
        QVERIFY(start > PageOfText(c, QStringLiteral("Long question paragraph 30")));
        QCOMPARE(c.CurrentPages(), start);

        // The footer is on every page, with that page's number.
        QImage footers[2];
        for (int page = 1; page <= 2; ++page) {
            const QImage image = RenderPage(c, page, 96);
            const QRect band(96, image.height() - 96, 600, 60);
            QVERIFY(Ink(image, band) > 20);
            footers[page - 1] = image.copy(QRect(500, image.height() - 96, 200, 60));
        }
        QVERIFY(footers[0] != footers[1]);
        QCOMPARE(c.FieldKind(c.FieldCurrent()), 3);

        // Export writes the footer with its page field.
        std::string rtf;
        c.SetControlOption(38, true);
        c.SaveToString(rtf, 5, true);
        QVERIFY(rtf.find("{\\footer ") != std::string::npos);
        QVERIFY(rtf.find("Harrow School") != std::string::npos);
        QVERIFY(rtf.find("\\fldinst PAGE") != std::string::npos);
        QVERIFY(rtf.find("\\pagebb") != std::string::npos);
        TTXTextControl reread;
        reread.LoadFromString(rtf, 5, true);
        QCOMPARE(reread.HeaderFooter(), 4);
        QCOMPARE(reread.CurrentPages(), c.CurrentPages());
    }

    void emptyCompositionHasOnePage()
    {
        TTXTextControl c;
        Compose(c, {});
        QCOMPARE(c.CurrentPages(), 1);
        QVERIFY(!RenderPage(c, 1).isNull());
    }

    void printsOnPdfAndActivePainter()
    {
        TTXTextControl c;
        c.LoadFromString("{\\rtf1 printed text\\par\\page second page}", 5, true);
        QCOMPARE(c.CurrentPages(), 2);
        QTemporaryDir dir;
        const QString name = dir.filePath(QStringLiteral("out.pdf"));
        {
            QPdfWriter writer(name);
            QPainter painter(&writer);
            c.SetPrintDevice(&writer);
            QVERIFY(c.PrintPage(1));
            writer.newPage();
            QVERIFY(c.PrintPage(2));
        }
        QFile pdf(name);
        QVERIFY(pdf.open(QIODevice::ReadOnly));
        const QByteArray bytes = pdf.readAll();
        QVERIFY(bytes.startsWith("%PDF"));
        QCOMPARE(bytes.count("/Type /Page\n") + bytes.count("/Type /Page\r") + bytes.count("/Type /Page "), 2);
    }

    void liveLinksReportClicksAndPointer()
    {
        TTXTextControl c;
        c.resize(500, 300);
        c.show();
        QVERIFY(QTest::qWaitForWindowExposed(&c));
        c.LoadFromString("{\\rtf1 {\\field{\\*\\fldinst HYPERLINK \"file.doc%20-p\"}{\\fldrslt clickhere}} plain text}", 5, true);
        QStringList clicks;
        int pointers = 0;
        connect(&c, &TTXTextControl::FieldLinkClicked, this, [&](int, int type, QString& target) {
            clicks.append(QString::number(type) + QLatin1Char(' ') + target);
        });
        QTextCursor at(c.document());
        at.setPosition(3);
        const QPoint link = c.cursorRect(at).center();
        QTest::mouseClick(c.viewport(), Qt::LeftButton, {}, link);
        QCOMPARE(clicks.size(), 0);  // fields are live only with option 38

        c.SetControlOption(38, true);
        connect(&c, &TTXTextControl::FieldSetCursor, this, [&](int, int& pointer) {
            pointer = 12;
            ++pointers;
        });
        QTest::mouseMove(c.viewport(), link);
        QTest::mouseMove(c.viewport(), link + QPoint(1, 0));
        QVERIFY(pointers > 0);
        QCOMPARE(c.viewport()->cursor().shape(), Qt::PointingHandCursor);
        QTest::mouseClick(c.viewport(), Qt::LeftButton, {}, link);
        QCOMPARE(clicks.size(), 1);
        QCOMPARE(clicks[0], QStringLiteral("2 file.doc%20-p"));
        at.setPosition(14);
        QTest::mouseClick(c.viewport(), Qt::LeftButton, {}, c.cursorRect(at).center());
        QCOMPARE(clicks.size(), 1);
    }

    void f2OpensTheFontDialog()
    {
        TTXTextControl c;
        c.LoadFromString("{\\rtf1 text}", 5, true);
        c.SetSelStart(0);
        c.SetSelLength(4);
        QTest::keyClick(&c, Qt::Key_F2);
        auto* dialog = c.findChild<QFontDialog*>(QStringLiteral("FontDialog"));
        QVERIFY(dialog);
        QFont font = dialog->currentFont();
        font.setPointSize(30);
        dialog->setCurrentFont(font);
        dialog->accept();
        c.SetSelStart(2);
        QCOMPARE(c.FontSize(), 30);
    }
};

QTEST_MAIN(TestTextControl)
#include "tst_TextControl.moc"
