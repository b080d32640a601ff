#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

namespace {

// Two pages: a heading, a picture, a table and a page break, with a footer holding the page number.
const char* const kSample =
    "{\\rtf1\\ansi\\ansicpg1252\\deff0{\\fonttbl{\\f0\\froman Times New Roman;}{\\f1\\fswiss Arial;}}"
    "{\\footer\\pard\\tqr\\tx9026\\i\\fs18 Harrow School\\tab {\\field{\\*\\fldinst PAGE}{\\fldrslt 1}}\\par}"
    "\\pard\\qc\\b\\fs32 Forces and motion\\par\\pard\\b0\\fs24 A ball of mass 0.5 kg is dropped from rest. Caf\\'e9.\\par"
    "{\\pict\\pngblip\\picw1\\pich1\\picwgoal1440\\pichgoal720 "
    "89504e470d0a1a0a0000000d4948445200000001000000010802000000907753de0000000c49444154789c63504838000001e401419c16e1a00000000049454e44ae426082}\\par"
    "\\trowd\\clbrdrt\\brdrs\\clbrdrl\\brdrs\\clbrdrb\\brdrs\\clbrdrr\\brdrs\\cellx3000\\clbrdrt\\brdrs\\clbrdrl\\brdrs\\clbrdrb\\brdrs\\clbrdrr\\brdrs\\cellx6000"
    "\\pard\\intbl Quantity\\cell Value\\cell\\row\\pard\\page Second page text.\\par}";

QString Run(const QStringList& args, int* code = nullptr)
{
    QProcess p;
    p.start(QStringLiteral(HVRTF_PATH), args);
    p.waitForFinished(60000);
    if (code)
        *code = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    return QString::fromUtf8(p.readAllStandardError());
}

QByteArray ReadAll(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

}  // namespace

class TestHvrtf : public QObject {
    Q_OBJECT

private:
    QTemporaryDir Dir;
    QString Input;

private slots:
    void initTestCase()
    {
        QVERIFY(Dir.isValid());
        Input = Dir.filePath(QStringLiteral("sample.rtf"));
        QFile f(Input);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(kSample);
    }

    void convertsToText()
    {
        int code = 0;
        Run({Input, Dir.filePath(QStringLiteral("out.txt"))}, &code);
        QCOMPARE(code, 0);
        const QString text = QString::fromUtf8(ReadAll(Dir.filePath(QStringLiteral("out.txt"))));
        QVERIFY(text.contains(QStringLiteral("Forces and motion")));
        QVERIFY(text.contains(QStringLiteral("Caf\u00E9")));
        QVERIFY(text.contains(QStringLiteral("Quantity")));
        QVERIFY(!text.contains(QStringLiteral("Harrow School")));  // the footer is not body text
    }

    void convertsToPaginatedPdfWithFooter()
    {
        int code = 0;
        const QString pdf = Dir.filePath(QStringLiteral("out.pdf"));
        Run({Input, pdf}, &code);
        QCOMPARE(code, 0);
        QVERIFY(ReadAll(pdf).startsWith("%PDF"));
        const QString pdftotext = QStandardPaths::findExecutable(QStringLiteral("pdftotext"));
        if (pdftotext.isEmpty())
            QSKIP("pdftotext is not installed");
        QProcess p;
        p.start(pdftotext, {QStringLiteral("-layout"), pdf, QStringLiteral("-")});
        QVERIFY(p.waitForFinished(60000));
        const QStringList pages = QString::fromUtf8(p.readAllStandardOutput()).split(QLatin1Char('\f'), Qt::SkipEmptyParts);
        QCOMPARE(pages.size(), 2);
        QVERIFY(pages[0].contains(QStringLiteral("Forces and motion")));
        QVERIFY(pages[0].contains(QStringLiteral("Harrow School")));
        QVERIFY(pages[0].trimmed().endsWith(QLatin1Char('1')));
        QVERIFY(pages[1].contains(QStringLiteral("Second page text.")));
        QVERIFY(pages[1].trimmed().endsWith(QLatin1Char('2')));
    }

    void convertsToHtmlWithInlinePictures()
    {
        int code = 0;
        Run({Input, Dir.filePath(QStringLiteral("out.html"))}, &code);
        QCOMPARE(code, 0);
        const QByteArray html = ReadAll(Dir.filePath(QStringLiteral("out.html")));
        QVERIFY(html.contains("data:image/png;base64,"));
        QVERIFY(html.contains("Quantity"));
    }

    void convertsToRtfKeepingFooter()
    {
        int code = 0;
        const QString out = Dir.filePath(QStringLiteral("out.rtf"));
        Run({Input, out}, &code);
        QCOMPARE(code, 0);
        const QByteArray rtf = ReadAll(out);
        QVERIFY(rtf.startsWith("{\\rtf1"));
        QVERIFY(rtf.contains("{\\footer "));
        QVERIFY(rtf.contains("\\fldinst PAGE"));
        QVERIFY(rtf.contains("\\trowd"));
        QVERIFY(rtf.contains("\\pngblip"));
    }

    void reportsBadArguments()
    {
        int code = 0;
        Run({Input}, &code);
        QCOMPARE(code, 2);
        Run({Dir.filePath(QStringLiteral("missing.rtf")), Dir.filePath(QStringLiteral("x.txt"))}, &code);
        QCOMPARE(code, 1);
        Run({Input, Dir.filePath(QStringLiteral("x.doc"))}, &code);
        QCOMPARE(code, 1);
    }
};

QTEST_MAIN(TestHvrtf)
#include "tst_Hvrtf.moc"
