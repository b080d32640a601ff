#include "RtfFormat.h"
#include "RtfReader.h"
#include "RtfWriter.h"

#include <QImage>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextTable>

#include <memory>

namespace {

const QString kDefaultFamily = QStringLiteral("Times New Roman");

std::unique_ptr<QTextDocument> NewDocument()
{
    auto doc = std::make_unique<QTextDocument>();
    doc->setDefaultFont(QFont(kDefaultFamily, 12));
    return doc;
}

std::unique_ptr<QTextDocument> ReadBack(const std::string& rtf)
{
    auto doc = NewDocument();
    QTextCursor c(doc.get());
    ReadRtf(rtf, c);
    return doc;
}

QString Describe(const QTextCharFormat& f)
{
    const QStringList families = f.fontFamilies().toStringList();
    return QStringLiteral("%1|%2|%3|%4|%5|%6|%7|%8|%9|%10|%11|%12")
        .arg(families.isEmpty() ? kDefaultFamily : families.first())
        .arg(f.fontPointSize() > 0 ? f.fontPointSize() : 12.0)
        .arg(f.fontWeight() >= QFont::Bold)
        .arg(f.fontItalic())
        .arg(int(f.underlineStyle()))
        .arg(f.fontStrikeOut())
        .arg(int(f.verticalAlignment()))
        .arg(int(f.fontCapitalization()))
        .arg(f.hasProperty(QTextFormat::ForegroundBrush) ? f.foreground().color().name() : QString())
        .arg(f.hasProperty(QTextFormat::BackgroundBrush) ? f.background().color().name() : QString())
        .arg(f.anchorHref())
        .arg(f.property(rtf::kFieldKindProperty).toInt());
}

QString Describe(const QTextBlockFormat& b)
{
    QString tabs;
    for (const auto& t : b.tabPositions())
        tabs += QStringLiteral("%1:%2 ").arg(t.position).arg(int(t.type));
    return QStringLiteral("al%1 l%2 r%3 i%4 t%5 b%6 lh%7/%8 k%9 pb%10 tabs[%11] lead[%12]")
        .arg(int(b.alignment() & Qt::AlignHorizontal_Mask))
        .arg(b.leftMargin())
        .arg(b.rightMargin())
        .arg(b.textIndent())
        .arg(rtf::SpaceBefore(b))
        .arg(b.bottomMargin())
        .arg(b.lineHeight())
        .arg(b.lineHeightType())
        .arg(b.property(rtf::kKeepTogetherProperty).toBool())
        .arg(int(b.pageBreakPolicy()))
        .arg(tabs)
        .arg(b.hasProperty(rtf::kTabLeadersProperty) ? QString::number(b.property(rtf::kTabLeadersProperty).value<QList<int>>().value(0)) : QString());
}

// Every block with its paragraph format and its runs of text with their formats.
QStringList Signature(const QTextDocument& doc)
{
    QStringList lines;
    for (QTextBlock b = doc.begin(); b.isValid(); b = b.next()) {
        QString line = Describe(b.blockFormat());
        if (QTextTable* t = QTextCursor(b).currentTable()) {
            const QTextTableCell cell = t->cellAt(b.position());
            line += QStringLiteral(" cell(%1,%2 span %3)").arg(cell.row()).arg(cell.column()).arg(cell.columnSpan());
        }
        for (auto it = b.begin(); !it.atEnd(); ++it) {
            const QTextFragment f = it.fragment();
            if (f.charFormat().isImageFormat()) {
                const QTextImageFormat image = f.charFormat().toImageFormat();
                line += QStringLiteral(" [image %1x%2]").arg(image.width()).arg(image.height());
            } else {
                line += QStringLiteral(" {%1 %2}").arg(f.text(), Describe(f.charFormat()));
            }
        }
        lines.append(line);
    }
    return lines;
}

// A document exercising what the writer must carry: formats, paragraphs, a table, a
// picture, a link, a page field, a page break and characters outside Windows-1252.
std::unique_ptr<QTextDocument> SampleDocument()
{
    auto doc = NewDocument();
    QImage image(30, 10, QImage::Format_RGB32);
    image.fill(QColor(10, 200, 30));
    doc->addResource(QTextDocument::ImageResource, QUrl(QStringLiteral("made:1")), image);

    QTextCursor c(doc.get());
    QTextBlockFormat centre;
    centre.setAlignment(Qt::AlignHCenter);
    centre.setBottomMargin(8);
    c.setBlockFormat(centre);
    QTextCharFormat bold;
    bold.setFontWeight(QFont::Bold);
    bold.setFontPointSize(18);
    c.insertText(QStringLiteral("Caf\u00E9 title"), bold);

    QTextBlockFormat body;
    body.setAlignment(Qt::AlignJustify);
    body.setLeftMargin(48);
    body.setRightMargin(24);
    body.setTextIndent(-24);
    body.setTopMargin(16);
    body.setLineHeight(150, QTextBlockFormat::ProportionalHeight);
    body.setProperty(rtf::kKeepTogetherProperty, true);
    body.setTabPositions({QTextOption::Tab(192, QTextOption::RightTab)});
    body.setProperty(rtf::kTabLeadersProperty, QVariant::fromValue(QList<int>{rtf::LeaderDot}));
    c.insertBlock(body, QTextCharFormat());
    QTextCharFormat plain;
    c.insertText(QStringLiteral("plain "), plain);
    QTextCharFormat fancy;
    fancy.setFontItalic(true);
    fancy.setUnderlineStyle(QTextCharFormat::DotLine);
    fancy.setFontFamilies({QStringLiteral("Arial")});
    fancy.setForeground(QColor(200, 0, 0));
    fancy.setBackground(QColor(255, 255, 0));
    c.insertText(QStringLiteral("fancy"), fancy);
    QTextCharFormat sup;
    sup.setVerticalAlignment(QTextCharFormat::AlignSuperScript);
    sup.setFontStrikeOut(true);
    c.insertText(QStringLiteral("2"), sup);
    QTextCharFormat caps;
    caps.setFontCapitalization(QFont::SmallCaps);
    c.insertText(QStringLiteral(" small\tcaps\u00A0\u2014 \u0416\u4E2D") + QString::fromUcs4(U"\U0001F600") + QStringLiteral("{\\}"), caps);
    QTextCharFormat link;
    link.setAnchor(true);
    link.setAnchorHref(QStringLiteral("http://example.com/q?a=1"));
    link.setProperty(rtf::kFieldKindProperty, int(rtf::FieldLink));
    c.insertText(QStringLiteral("a link"), link);
    c.insertText(QStringLiteral(" after "), plain);
    QTextImageFormat picture;
    picture.setName(QStringLiteral("made:1"));
    picture.setWidth(60);
    picture.setHeight(20);
    c.insertImage(picture);
    QTextCharFormat page;
    page.setProperty(rtf::kFieldKindProperty, int(rtf::FieldPage));
    c.insertText(QStringLiteral("3"), page);

    QTextBlockFormat broken;
    broken.setPageBreakPolicy(QTextFormat::PageBreak_AlwaysBefore);
    c.insertBlock(broken, QTextCharFormat());
    c.insertText(QStringLiteral("on a new page"), plain);

    c.insertBlock(QTextBlockFormat(), QTextCharFormat());
    QTextTableFormat tf;
    tf.setBorder(0);
    tf.setCellPadding(7.2);
    tf.setColumnWidthConstraints({QTextLength(QTextLength::FixedLength, 96), QTextLength(QTextLength::FixedLength, 144)});
    QTextTable* table = c.insertTable(2, 2, tf);
    for (int r = 0; r < 2; ++r)
        for (int col = 0; col < 2; ++col) {
            QTextTableCell cell = table->cellAt(r, col);
            QTextTableCellFormat cf = cell.format().toTableCellFormat();
            cf.setTopBorder(2);
            cf.setTopBorderStyle(QTextFrameFormat::BorderStyle_Solid);
            cf.setTopBorderBrush(QColor(0, 0, 0));
            cell.setFormat(cf);
            cell.firstCursorPosition().insertText(QStringLiteral("r%1c%2").arg(r).arg(col), plain);
        }
    table->mergeCells(1, 0, 1, 2);
    c = table->lastCursorPosition();
    c.movePosition(QTextCursor::NextBlock);
    c.insertText(QStringLiteral("-"), plain);
    c.insertBlock(QTextBlockFormat(), QTextCharFormat());
    return doc;
}

}  // namespace

class TestRtfWriter : public QObject {
    Q_OBJECT

private slots:
    void roundTripKeepsContentAndFormatting()
    {
        auto original = SampleDocument();
        const std::string rtf = WriteRtf(*original);
        auto back = ReadBack(rtf);
        QCOMPARE(back->toPlainText(), original->toPlainText());
        const QStringList want = Signature(*original);
        const QStringList got = Signature(*back);
        QCOMPARE(got.size(), want.size());
        for (qsizetype i = 0; i < want.size(); ++i)
            QCOMPARE(got[i], want[i]);
        // A second trip changes nothing more.
        QCOMPARE(WriteRtf(*back), rtf);
    }

    void pictureBytesSurvive()
    {
        auto original = SampleDocument();
        auto back = ReadBack(WriteRtf(*original));
        QTextImageFormat found;
        for (QTextBlock b = back->begin(); b.isValid(); b = b.next())
            for (auto it = b.begin(); !it.atEnd(); ++it)
                if (it.fragment().charFormat().isImageFormat())
                    found = it.fragment().charFormat().toImageFormat();
        QVERIFY(found.isValid());
        const QImage image = back->resource(QTextDocument::ImageResource, QUrl(found.name())).value<QImage>();
        QCOMPARE(image.size(), QSize(30, 10));
        QCOMPARE(QColor(image.pixel(5, 5)), QColor(10, 200, 30));
        // The reader keeps the PNG it read, so writing again gives the same bytes.
        const QByteArray bytes = back->resource(rtf::kPictDataResource, rtf::PictDataUrl(found.name())).toByteArray();
        QVERIFY(bytes.startsWith("\x89PNG"));
    }

    void writesWindows1252AndUnicodeEscapes()
    {
        auto doc = NewDocument();
        QTextCursor(doc.get()).insertText(QStringLiteral("\u00E9\u20AC\u0416") + QString::fromUcs4(U"\U0001F600") + QStringLiteral("\\{}"));
        const std::string rtf = WriteRtf(*doc);
        for (char ch : rtf)
            QVERIFY(static_cast<unsigned char>(ch) < 0x80);
        QVERIFY(rtf.find("\\'e9\\'80\\u1046?\\u-10179?\\u-8704?\\\\\\{\\}") != std::string::npos);
        QVERIFY(rtf.find("\\ansicpg1252") != std::string::npos);
    }

    void footerWithPageField()
    {
        auto doc = NewDocument();
        QTextCursor(doc.get()).insertText(QStringLiteral("body"));
        QTextDocument footer;
        QTextCursor fc(&footer);
        QTextBlockFormat tabbed;
        tabbed.setTabPositions({QTextOption::Tab(600, QTextOption::RightTab)});
        fc.setBlockFormat(tabbed);
        QTextCharFormat italic;
        italic.setFontItalic(true);
        italic.setFontPointSize(9);
        fc.insertText(QStringLiteral("Harrow School\t"), italic);
        QTextCharFormat page = italic;
        page.setProperty(rtf::kFieldKindProperty, int(rtf::FieldPage));
        fc.insertText(QStringLiteral("1"), page);
        TRtfWriteOptions options;
        options.Footer = &footer;
        options.Page.FooterY = 720;
        const std::string rtf = WriteRtf(*doc, options);
        QVERIFY(rtf.find("\\footery720") != std::string::npos);
        QVERIFY(rtf.find("\\paperw11906\\paperh16838") != std::string::npos);
        QVERIFY(rtf.find("{\\footer ") != std::string::npos);
        QVERIFY(rtf.find("{\\field{\\*\\fldinst PAGE}") != std::string::npos);
        // Readers that take the footer get it back; the body stays the body.
        QTextDocument body, footerBack;
        QTextCursor bc(&body);
        TRtfReadOptions readOptions;
        readOptions.FooterTarget = &footerBack;
        ReadRtf(rtf, bc, readOptions);
        QCOMPARE(body.toPlainText(), QStringLiteral("body"));
        QCOMPARE(footerBack.toPlainText(), QStringLiteral("Harrow School\t1"));
    }

    void libreOfficeKeepsTheText()
    {
        const QString soffice = QStandardPaths::findExecutable(QStringLiteral("soffice"));
        if (soffice.isEmpty())
            QSKIP("LibreOffice (soffice) is not installed");
        const QString pdftotext = QStandardPaths::findExecutable(QStringLiteral("pdftotext"));
        if (pdftotext.isEmpty())
            QSKIP("pdftotext is not installed");
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        auto doc = SampleDocument();
        const std::string rtf = WriteRtf(*doc);
        QFile file(dir.filePath(QStringLiteral("sample.rtf")));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(rtf.data(), qint64(rtf.size()));
        file.close();
        QProcess convert;
        convert.start(soffice, {QStringLiteral("--headless"), QStringLiteral("-env:UserInstallation=file://") + dir.filePath(QStringLiteral("profile")),
                                QStringLiteral("--convert-to"), QStringLiteral("pdf"), QStringLiteral("--outdir"), dir.path(), file.fileName()});
        QVERIFY(convert.waitForFinished(180000));
        QProcess text;
        text.start(pdftotext, {QStringLiteral("-enc"), QStringLiteral("UTF-8"), dir.filePath(QStringLiteral("sample.pdf")), QStringLiteral("-")});
        QVERIFY(text.waitForFinished(60000));
        const QString out = QString::fromUtf8(text.readAllStandardOutput());
        for (const QString& word : {QStringLiteral("Caf\u00E9"), QStringLiteral("fancy"), QStringLiteral("\u0416"), QStringLiteral("a link"),
                                    QStringLiteral("on a new page"), QStringLiteral("r0c1"), QStringLiteral("r1c0")})
            QVERIFY2(out.contains(word), qPrintable(word));
    }
};

QTEST_MAIN(TestRtfWriter)
#include "tst_RtfWriter.moc"
