#include "AnsiString.h"
#include "RtfFormat.h"
#include "RtfReader.h"
#include "RtfWriter.h"

#include <QBuffer>
#include <QElapsedTimer>
#include <QImage>
#include <QPainter>
#include <QTest>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextTable>

#include <memory>
#include <string>

namespace {

std::unique_ptr<QTextDocument> Read(std::string_view rtf, TRtfReadReport* report = nullptr)
{
    auto doc = std::make_unique<QTextDocument>();
    QTextCursor cursor(doc.get());
    const TRtfReadReport r = ReadRtf(rtf, cursor);
    if (report)
        *report = r;
    return doc;
}

// The text with paragraph and line ends as line feeds, other characters as they are.
QString Text(const QTextDocument& doc)
{
    QString text = doc.toRawText();
    text.replace(QChar::ParagraphSeparator, QLatin1Char('\n'));
    text.replace(QChar::LineSeparator, QLatin1Char('\n'));
    text.replace(QChar(0xFDD0), QLatin1Char('\n'));
    text.replace(QChar(0xFDD1), QLatin1Char('\n'));
    return text;
}

// The format of the first character of `needle` in the document.
QTextCharFormat FormatOf(const QTextDocument& doc, const QString& needle)
{
    const QTextCursor found = doc.find(needle);
    QTextCursor c(const_cast<QTextDocument*>(&doc));
    c.setPosition(found.selectionStart() + 1);
    return c.charFormat();
}

QTextBlockFormat BlockOf(const QTextDocument& doc, const QString& needle)
{
    return doc.find(needle).block().blockFormat();
}

std::string HexOf(const QByteArray& bytes)
{
    return bytes.toHex().toStdString();
}

QByteArray PngBytes(int w, int h)
{
    QImage image(w, h, QImage::Format_RGB32);
    image.fill(Qt::red);
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return png;
}

QList<QTextImageFormat> Images(const QTextDocument& doc)
{
    QList<QTextImageFormat> images;
    for (QTextBlock b = doc.begin(); b.isValid(); b = b.next())
        for (auto it = b.begin(); !it.atEnd(); ++it)
            if (it.fragment().charFormat().isImageFormat())
                images.append(it.fragment().charFormat().toImageFormat());
    return images;
}

}  // namespace

class TestRtfReader : public QObject {
    Q_OBJECT

private slots:
    void ansiConversionKeepsEveryByte()
    {
        std::string all;
        for (int i = 0; i < 256; ++i)
            all.push_back(char(i));
        QCOMPARE(QtToAnsi(AnsiToQt(all)), all);
        QCOMPARE(AnsiToQt("\x80\x93\x94"), QString(QChar(0x20AC)) + QChar(0x201C) + QChar(0x201D));
        // Outside the code page: one '?' per character, also for a surrogate pair.
        QCOMPARE(QtToAnsi(QString(QChar(0x0416)) + QStringLiteral("x") + QString::fromUcs4(U"\U0001F600")), std::string("?x?"));
    }

    void characterFormatting()
    {
        auto doc = Read("{\\rtf1\\ansi\\deff0{\\fonttbl{\\f0\\froman Times New Roman;}{\\f1\\fswiss Arial;}}"
                        "{\\colortbl;\\red255\\green0\\blue0;\\red0\\green0\\blue255;}"
                        "{\\b bold}{\\i ital}{\\ul under}{\\uld dots}{\\ulwave wave}{\\strike gone}"
                        "{\\super up}{\\sub down}{\\fs40 big}{\\f1 sans}{\\cf1 red}{\\highlight2 marked}{\\caps caps}{\\scaps small}"
                        "{\\b\\plain plain}\\par}");
        QVERIFY(FormatOf(*doc, QStringLiteral("bold")).fontWeight() >= QFont::Bold);
        QVERIFY(FormatOf(*doc, QStringLiteral("ital")).fontItalic());
        QCOMPARE(FormatOf(*doc, QStringLiteral("under")).underlineStyle(), QTextCharFormat::SingleUnderline);
        QCOMPARE(FormatOf(*doc, QStringLiteral("dots")).underlineStyle(), QTextCharFormat::DotLine);
        QCOMPARE(FormatOf(*doc, QStringLiteral("wave")).underlineStyle(), QTextCharFormat::WaveUnderline);
        QVERIFY(FormatOf(*doc, QStringLiteral("gone")).fontStrikeOut());
        QCOMPARE(FormatOf(*doc, QStringLiteral("up")).verticalAlignment(), QTextCharFormat::AlignSuperScript);
        QCOMPARE(FormatOf(*doc, QStringLiteral("down")).verticalAlignment(), QTextCharFormat::AlignSubScript);
        QCOMPARE(FormatOf(*doc, QStringLiteral("big")).fontPointSize(), 20.0);
        QCOMPARE(FormatOf(*doc, QStringLiteral("sans")).fontFamilies().toStringList().value(0), QStringLiteral("Arial"));
        QCOMPARE(FormatOf(*doc, QStringLiteral("bold")).fontFamilies().toStringList().value(0), QStringLiteral("Times New Roman"));
        QCOMPARE(FormatOf(*doc, QStringLiteral("red")).foreground().color(), QColor(255, 0, 0));
        QCOMPARE(FormatOf(*doc, QStringLiteral("marked")).background().color(), QColor(0, 0, 255));
        QCOMPARE(FormatOf(*doc, QStringLiteral("caps")).fontCapitalization(), QFont::AllUppercase);
        QCOMPARE(FormatOf(*doc, QStringLiteral("small")).fontCapitalization(), QFont::SmallCaps);
        QVERIFY(FormatOf(*doc, QStringLiteral("plain")).fontWeight() < QFont::Bold);
        QCOMPARE(FormatOf(*doc, QStringLiteral("plain")).fontPointSize(), 12.0);
    }

    void paragraphFormatting()
    {
        auto doc = Read("{\\rtf1\\ansi \\pard\\qc centre\\par\\pard\\qr\\li720\\ri360\\fi-360\\sb240\\sa120 right\\par"
                        "\\pard\\qj\\sl360\\slmult1\\keep just\\par\\pard\\sl-300\\slmult0 exact\\par"
                        "\\pard\\pagebb\\tqr\\tldot\\tx4320\\tqc\\tx2000\\tx1000 tabs\\tab x\\par}");
        QCOMPARE(BlockOf(*doc, QStringLiteral("centre")).alignment() & Qt::AlignHorizontal_Mask, Qt::AlignHCenter);
        const QTextBlockFormat right = BlockOf(*doc, QStringLiteral("right"));
        QCOMPARE(right.alignment() & Qt::AlignHorizontal_Mask, Qt::AlignRight);
        QCOMPARE(right.leftMargin(), 48.0);
        QCOMPARE(right.rightMargin(), 24.0);
        QCOMPARE(right.textIndent(), -24.0);
        QCOMPARE(right.topMargin(), 16.0);
        QCOMPARE(right.bottomMargin(), 8.0);
        const QTextBlockFormat just = BlockOf(*doc, QStringLiteral("just"));
        QCOMPARE(just.alignment() & Qt::AlignHorizontal_Mask, Qt::AlignJustify);
        QCOMPARE(just.lineHeightType(), int(QTextBlockFormat::ProportionalHeight));
        QCOMPARE(just.lineHeight(), 150.0);
        // \keep keeps the lines on one page; it must not stop them wrapping.
        QVERIFY(just.property(rtf::kKeepTogetherProperty).toBool() && !just.nonBreakableLines());
        QCOMPARE(BlockOf(*doc, QStringLiteral("exact")).lineHeightType(), int(QTextBlockFormat::FixedHeight));
        const QTextBlockFormat tabs = BlockOf(*doc, QStringLiteral("tabs"));
        QVERIFY(tabs.pageBreakPolicy() & QTextFormat::PageBreak_AlwaysBefore);
        QCOMPARE(tabs.tabPositions().size(), 3);
        QCOMPARE(tabs.tabPositions()[0].type, QTextOption::RightTab);
        QCOMPARE(tabs.tabPositions()[0].position, 288.0);
        QCOMPARE(tabs.tabPositions()[1].type, QTextOption::CenterTab);
        QCOMPARE(tabs.tabPositions()[2].type, QTextOption::LeftTab);
        QCOMPARE(tabs.property(rtf::kTabLeadersProperty).value<QList<int>>(), (QList<int>{rtf::LeaderDot, 0, 0}));
    }

    void tabStopsCountFromThePageMargin()
    {
        // RTF tab stops are measured from the margin; the control's from where the first line
        // starts. A stop at 3000 twips must land at the same place whatever the indents, and an
        // exam layout's "Answer = ....... J" right tab near the edge must not wrap.
        auto doc = Read("{\\rtf1\\ansi \\pard\\tx3000 plain\\tab x\\par"
                        "\\pard\\li567\\tx3000 indented\\tab x\\par"
                        "\\pard\\fi-567\\li567\\tx567 hanging\\tab x\\par}");
        QCOMPARE(BlockOf(*doc, QStringLiteral("plain")).tabPositions()[0].position, 200.0);
        QCOMPARE(BlockOf(*doc, QStringLiteral("indented")).tabPositions()[0].position, (3000.0 - 567.0) / 15.0);
        QCOMPARE(BlockOf(*doc, QStringLiteral("hanging")).tabPositions()[0].position, 567.0 / 15.0);
        const std::string written = WriteRtf(*doc);
        QVERIFY(written.find("\\tx3000") != std::string::npos);
        QVERIFY(written.find("\\tx567") != std::string::npos);
        QVERIFY(written.find("\\tx2433") == std::string::npos);
    }

    void charactersAndCodePages_data()
    {
        QTest::addColumn<QByteArray>("rtf");
        QTest::addColumn<QString>("text");
        QTest::newRow("specials") << QByteArray("{\\rtf1 a\\emdash b\\endash c\\lquote d\\rquote e\\ldblquote f\\rdblquote g\\bullet h\\~i\\_j\\-k\\tab l\\line m}")
                                  << QStringLiteral("a\u2014b\u2013c\u2018d\u2019e\u201Cf\u201Dg\u2022h\u00A0i\u2011j\u00ADk\tl\nm");
        QTest::newRow("escapes") << QByteArray("{\\rtf1 \\{x\\}\\\\}") << QStringLiteral("{x}\\");
        QTest::newRow("ansi hex") << QByteArray("{\\rtf1\\ansi\\ansicpg1252 caf\\'e9 \\'80}") << QStringLiteral("caf\u00E9 \u20AC");
        QTest::newRow("cp1251 doc") << QByteArray("{\\rtf1\\ansi\\ansicpg1251 \\'cf\\'f0\\'e8}") << QStringLiteral("\u041F\u0440\u0438");
        QTest::newRow("font charset") << QByteArray("{\\rtf1\\ansi\\ansicpg1252{\\fonttbl{\\f0 Times;}{\\f1\\fcharset238 Arial CE;}}\\f1 \\'9c\\f0 \\'9c}")
                                      << QStringLiteral("\u015B\u0153");
        QTest::newRow("shift-jis pair") << QByteArray("{\\rtf1\\ansi{\\fonttbl{\\f0\\fcharset128 MS Mincho;}}\\f0 \\'93\\'fa\\'96\\'7b}")
                                        << QStringLiteral("\u65E5\u672C");
        QTest::newRow("western font in a Japanese document")
            << QByteArray("{\\rtf1\\ansi\\ansicpg932{\\fonttbl{\\f0\\fcharset0 Century;}{\\f1\\fcharset1 Default;}}\\f0 \\'93x\\'94\\f1 \\'93\\'fa}")
            << QStringLiteral("\u201Cx\u201D\u65E5");
        QTest::newRow("unicode uc1") << QByteArray("{\\rtf1\\uc1 \\u1046?x\\u-3913?}") << QStringLiteral("\u0416x\uF0B7");
        QTest::newRow("unicode uc2 hex fallback") << QByteArray("{\\rtf1\\uc2 \\u8364\\'80\\'80y}") << QStringLiteral("\u20ACy");
        QTest::newRow("unicode uc0") << QByteArray("{\\rtf1\\uc0 \\u1046 x}") << QStringLiteral("\u0416x");
        QTest::newRow("fallback stops at group") << QByteArray("{\\rtf1\\uc3 {\\u1046}abc}") << QStringLiteral("\u0416abc");
        QTest::newRow("surrogates") << QByteArray("{\\rtf1\\uc1 \\u-10179?\\u-8704?}") << QString::fromUcs4(U"\U0001F600");
        QTest::newRow("broken hex escape") << QByteArray("{\\rtf1 a\\'zzb}") << QStringLiteral("azzb");
        QTest::newRow("unknown star destination") << QByteArray("{\\rtf1 a{\\*\\unknownthing hidden}b}") << QStringLiteral("ab");
        QTest::newRow("star mid-group is no destination") << QByteArray("{\\rtf1 {\\b\\*\\cs7 kept}}") << QStringLiteral("kept");
        QTest::newRow("unknown words ignored") << QByteArray("{\\rtf1 \\ATXbrdr60\\foo12 a\\bar b}") << QStringLiteral("ab");
        QTest::newRow("out-of-flow text skipped")
            << QByteArray("{\\rtf1 {\\header head}{\\footer foot}a{\\footnote\\chftn note}b{\\*\\annotation c}{\\info{\\title t}}}")
            << QStringLiteral("ab");
        QTest::newRow("list text kept") << QByteArray("{\\rtf1 {\\pntext 1.\\tab}one\\par{\\listtext\\'b7\\tab}two}")
                                        << QStringLiteral("1.\tone\n\u00B7\ttwo");
        QTest::newRow("hidden text") << QByteArray("{\\rtf1 a{\\v secret}b}") << QStringLiteral("ab");
        QTest::newRow("upr takes unicode") << QByteArray("{\\rtf1 {\\upr{ansi}{\\*\\ud{\\u1046?}}}}") << QStringLiteral("\u0416");
        QTest::newRow("fragment without outer group") << QByteArray("{a\\par}{b}") << QStringLiteral("a\nb");
        QTest::newRow("plain text") << QByteArray("just text") << QStringLiteral("just text");
        QTest::newRow("nonesttables skipped") << QByteArray("{\\rtf1 x{\\nonesttables fallback}}") << QStringLiteral("x");
    }

    void charactersAndCodePages()
    {
        QFETCH(QByteArray, rtf);
        QFETCH(QString, text);
        auto doc = Read(std::string_view(rtf.constData(), std::size_t(rtf.size())));
        QCOMPARE(Text(*doc), text);
    }

    void fields()
    {
        auto doc = Read("{\\rtf1 see {\\field{\\*\\fldinst HYPERLINK \"http://example.com/a\"}{\\fldrslt {\\ul here}}} and "
                        "{\\field{\\*\\fldinst {HYPERLINK \"c:\\\\\\\\docs\\\\\\\\x.doc\" \\\\l \"part\"}}{\\fldrslt file}} "
                        "{\\field{\\*\\fldinst PAGE}{\\fldrslt 7}} {\\field{\\*\\fldinst DATE}{\\fldrslt today}}}");
        QCOMPARE(Text(*doc), QStringLiteral("see here and file 7 today"));
        const QTextCharFormat link = FormatOf(*doc, QStringLiteral("here"));
        QVERIFY(link.isAnchor());
        QCOMPARE(link.anchorHref(), QStringLiteral("http://example.com/a"));
        QCOMPARE(link.property(rtf::kFieldKindProperty).toInt(), int(rtf::FieldLink));
        QCOMPARE(FormatOf(*doc, QStringLiteral("file")).anchorHref(), QStringLiteral("c:\\docs\\x.doc#part"));
        QCOMPARE(FormatOf(*doc, QStringLiteral("7")).property(rtf::kFieldKindProperty).toInt(), int(rtf::FieldPage));
        QVERIFY(!FormatOf(*doc, QStringLiteral("today")).isAnchor());
        QVERIFY(!FormatOf(*doc, QStringLiteral("and")).isAnchor());
    }

    void tables()
    {
        auto doc = Read("{\\rtf1 before\\par\\trowd\\trgaph100\\clbrdrt\\brdrs\\brdrw30\\clbrdrl\\brdrdb\\brdrw15\\cellx1440\\cellx4320"
                        "\\pard\\intbl A1\\cell B1\\par B1b\\cell\\row"
                        "\\trowd\\clmgf\\cellx1440\\clmrg\\cellx4320\\pard\\intbl wide\\cell\\cell\\row"
                        "\\pard after\\par}");
        QCOMPARE(Text(*doc), QStringLiteral("before\nA1\nB1\nB1b\nwide\nafter\n"));
        QTextTable* table = doc->find(QStringLiteral("A1")).currentTable();
        QVERIFY(table);
        QCOMPARE(table->rows(), 2);
        QCOMPARE(table->columns(), 2);
        const auto widths = table->format().columnWidthConstraints();
        QCOMPARE(widths.size(), 2);
        QCOMPARE(widths[0].rawValue(), 96.0);
        QCOMPARE(widths[1].rawValue(), 192.0);
        const QTextTableCellFormat a1 = table->cellAt(0, 0).format().toTableCellFormat();
        QCOMPARE(a1.topBorder(), 2.0);
        QCOMPARE(a1.leftBorderStyle(), QTextFrameFormat::BorderStyle_Double);
        QCOMPARE(table->cellAt(1, 0).columnSpan(), 2);
        // No stray empty paragraph in front of the table.
        QCOMPARE(doc->begin().text(), QStringLiteral("before"));
        QVERIFY(QTextCursor(doc->begin().next()).currentTable());
    }

    void nestedTableIsReadable()
    {
        auto doc = Read("{\\rtf1\\trowd\\cellx3000\\cellx6000\\pard\\intbl outer1\\par"
                        "\\itap2 in1\\nestcell in2\\nestcell{\\*\\nesttableprops\\trowd\\cellx1000\\cellx2000\\nestrow}{\\nonesttables\\par}"
                        "\\itap1 tail\\cell outer2\\cell\\row}");
        const QString text = Text(*doc);
        for (const char* word : {"outer1", "in1", "in2", "tail", "outer2"})
            QVERIFY2(text.contains(QLatin1String(word)), word);
    }

    void pictures()
    {
        const QByteArray png = PngBytes(40, 20);
        const std::string rtf = "{\\rtf1 a{\\pict\\pngblip\\picw40\\pich20\\picwgoal1500\\pichgoal750 " + HexOf(png) +
                                "}b{\\pict\\pngblip\\picw40\\pich20\\bin" + std::to_string(png.size()) + " " +
                                png.toStdString() + "}c{\\pict\\macpict\\picwgoal720\\pichgoal360 00ff}d}";
        TRtfReadReport report;
        auto doc = Read(rtf, &report);
        QCOMPARE(report.Pictures, 3);
        const auto images = Images(*doc);
        QCOMPARE(images.size(), 3);
        QCOMPARE(images[0].width(), 100.0);
        QCOMPARE(images[0].height(), 50.0);
        const QImage first = doc->resource(QTextDocument::ImageResource, QUrl(images[0].name())).value<QImage>();
        QCOMPARE(first.size(), QSize(40, 20));
        QCOMPARE(doc->resource(rtf::kPictDataResource, rtf::PictDataUrl(images[1].name())).toByteArray(), png);
        // An undrawable picture keeps its place and size as a placeholder.
        QCOMPARE(images[2].width(), 48.0);
        QCOMPARE(images[2].property(rtf::kPictKindProperty).toInt(), int(rtf::PictOther));
        QCOMPARE(Text(*doc).remove(QChar::ObjectReplacementCharacter), QStringLiteral("abcd"));
    }

    void dibAndMetafilePictures()
    {
        // 2x1 24-bit DIB: BITMAPINFOHEADER then one padded row (blue, green).
        QByteArray dib(40, '\0');
        dib[0] = 40;
        dib[4] = 2;
        dib[8] = 1;
        dib[12] = 1;
        dib[14] = 24;
        dib.append(QByteArray::fromHex("ff000000ff000000"));
        // A minimal WMF: header, one rectangle and the end record.
        const QByteArray wmf = QByteArray::fromHex(
            "010009000003" "1b000000" "0100" "07000000" "0000"
            "050000000b020000000005000000" "0c02640064000700" "00001b0432003200" "0a000a00" "030000000000");
        const std::string rtf = "{\\rtf1{\\pict\\dibitmap0\\picw2\\pich1\\picwgoal300\\pichgoal150 " + HexOf(dib) +
                                "}{\\pict\\wmetafile8\\picw2540\\pich2540 " + HexOf(wmf) + "}}";
        auto doc = Read(rtf);
        const auto images = Images(*doc);
        QCOMPARE(images.size(), 2);
        const QImage bitmap = doc->resource(QTextDocument::ImageResource, QUrl(images[0].name())).value<QImage>();
        QCOMPARE(bitmap.size(), QSize(2, 1));
        QCOMPARE(QColor(bitmap.pixel(0, 0)), QColor(Qt::blue));
        QCOMPARE(images[0].width(), 20.0);
        // 2540 hundredths of a millimetre are one inch.
        QCOMPARE(images[1].width(), 96.0);
        QCOMPARE(images[1].property(rtf::kPictKindProperty).toInt(), int(rtf::PictWmf));
        QVERIFY(!doc->resource(QTextDocument::ImageResource, QUrl(images[1].name())).value<QImage>().isNull());
    }

    void titleInsertReadsAsText()
    {
        // A title block as the program writes it, with its own \ATX words and the end marker.
        const char* rtf = "{\\rtf1\\ansi\\ansicpg1252\\uc1 \\deff0{\\fonttbl{\\f0\\froman\\fcharset0 TIMES NEW ROMAN;}}"
                          "\\par\\pard\\plain\\qc\\sa480\\f0\\fs24 Harrow School\\par\\sb240\\sa240\\ATXbrdr60\\fs52\\b Algebra"
                          "\\par\\pard\\qc\\sb480\\sa288\\ATXbrdr0\\fs36\\b0 Paper 1\\par\\pard\\qc\\fs32\\b 1 May\\par\\fs28 \\b0 60 min"
                          "\\par 40 marks\\par\\fs24\\i Answer all\\par\\pard -\\par\\pard}";
        auto doc = Read(rtf);
        QCOMPARE(Text(*doc), QStringLiteral("\nHarrow School\nAlgebra\nPaper 1\n1 May\n60 min\n40 marks\nAnswer all\n-\n"));
        QVERIFY(FormatOf(*doc, QStringLiteral("Algebra")).fontWeight() >= QFont::Bold);
        QCOMPARE(FormatOf(*doc, QStringLiteral("Algebra")).fontPointSize(), 26.0);
    }

    void insertsAtCursorWithoutReformattingHost()
    {
        QTextDocument doc;
        QTextCursor c(&doc);
        QTextBlockFormat centred;
        centred.setAlignment(Qt::AlignHCenter);
        c.setBlockFormat(centred);
        c.insertText(QStringLiteral("host text"));
        c.setPosition(4);
        ReadRtf("{\\rtf1\\pard\\qr {\\b X}}", c);
        QCOMPARE(doc.toPlainText(), QStringLiteral("hostX text"));
        QCOMPARE(doc.begin().blockFormat().alignment() & Qt::AlignHorizontal_Mask, Qt::AlignHCenter);
        QCOMPARE(c.position(), 5);
    }

    void hostileInputEndsSafely_data()
    {
        QTest::addColumn<QByteArray>("rtf");
        QTest::addColumn<QString>("kept");
        QByteArray nested = "{\\rtf1 start";
        nested += QByteArray(100000, '{') + "deep" + QByteArray(100000, '}') + " end}";
        QTest::newRow("100000 nested groups") << nested << QStringLiteral("start end");
        QTest::newRow("bin past end") << QByteArray("{\\rtf1 kept{\\pict\\pngblip\\bin999999999 abc") << QStringLiteral("kept\uFFFC");
        QTest::newRow("bin in text past end") << QByteArray("{\\rtf1 kept\\bin2147483647 xyz") << QStringLiteral("kept");
        QTest::newRow("negative bin") << QByteArray("{\\rtf1 a\\bin-5 b}") << QStringLiteral("ab");
        QTest::newRow("uc huge") << QByteArray("{\\rtf1 {\\uc1000000\\u1046 swallowed}after}") << QStringLiteral("\u0416after");
        QTest::newRow("colour index overflow") << QByteArray("{\\rtf1 \\cf2147483647 x{\\cb2147483647 y}}") << QStringLiteral("xy");
        QTest::newRow("unbalanced open") << QByteArray("{\\rtf1 a{\\b b{\\i c") << QStringLiteral("abc");
        QTest::newRow("unbalanced close") << QByteArray("{\\rtf1 a}}}b") << QStringLiteral("a");
        QTest::newRow("truncated word") << QByteArray("{\\rtf1 text\\par\\pard\\f") << QStringLiteral("text\n");
        QTest::newRow("truncated hex") << QByteArray("{\\rtf1 text\\'4") << QStringLiteral("text4");
        QTest::newRow("huge numbers") << QByteArray("{\\rtf1\\fs99999999999999\\li-99999999999 \\cellx99999999999 x}")
                                      << QStringLiteral("x");
        QTest::newRow("row without cells") << QByteArray("{\\rtf1 a\\row\\cell\\cell b\\row}") << QString();
        QTest::newRow("empty") << QByteArray() << QString();
        QByteArray garbage;
        for (int i = 0; i < 200000; ++i)
            garbage.append(char((i * 7919 + i / 13) & 0xFF));
        QTest::newRow("binary garbage") << garbage << QString();
    }

    void hostileInputEndsSafely()
    {
        QFETCH(QByteArray, rtf);
        QFETCH(QString, kept);
        QElapsedTimer timer;
        timer.start();
        auto doc = Read(std::string_view(rtf.constData(), std::size_t(rtf.size())));
        QVERIFY(timer.elapsed() < 5000);
        if (!kept.isEmpty())
            QCOMPARE(Text(*doc), kept);
    }

    void hugeHexPictureIsCapped()
    {
        std::string rtf = "{\\rtf1 a{\\pict\\pngblip ";
        rtf.append(100u * 1024 * 1024, 'a');
        rtf += "}b}";
        QElapsedTimer timer;
        timer.start();
        auto doc = Read(rtf);
        QVERIFY(timer.elapsed() < 20000);
        QCOMPARE(Text(*doc).remove(QChar::ObjectReplacementCharacter), QStringLiteral("ab"));
        const auto images = Images(*doc);
        QCOMPARE(images.size(), 1);
        // Cut data is not kept to be written back as if it were whole.
        QVERIFY(doc->resource(rtf::kPictDataResource, rtf::PictDataUrl(images[0].name())).toByteArray().isEmpty());
    }
};

QTEST_MAIN(TestRtfReader)
#include "tst_RtfReader.moc"
