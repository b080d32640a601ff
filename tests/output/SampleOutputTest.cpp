// The sample library's questions printed, exported and previewed end to end. With
// HV_OUTPUT_ARTIFACTS set to a folder, the PDF, the RTF and a grab of the preview are left there
// for looking at.
#include <QDir>
#include <QLineEdit>
#include <QFile>
#include <QPixmap>
#include <QProcess>
#include <QStandardPaths>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTextDocument>
#include <QToolButton>

#include "AnsiString.h"
#include "OutputFixtures.h"
#include "OutputTests.h"
#include "TextControl.h"
#include "logic/QuestionSelector.h"
#include "model/TextStore.h"
#include "output/EditForm.h"
#include "output/PreviewForm.h"
#include "output/PrintForm.h"
#include "output/TitleRtf.h"

using namespace hv;
using namespace hv::test;

class TSampleOutputTest : public QObject {
  Q_OBJECT

  QString Artifacts() const { return qEnvironmentVariable("HV_OUTPUT_ARTIFACTS"); }

private slots:
  void printExportAndPreviewTheSampleQuestions() {
    TAppLogic app;
    TCommandEnvironment env(app);
    env.ProgramDir.clear();
    app.OpenLibrary("Sample");
    app.NewDocument();
    TDocLogic* doc = app.Documents().back().get();
    app.SetCurrentDocument(doc);
    const auto& results = app.Selector()->Results();
    QVERIFY(results.size() >= 10);
    doc->InsertEntries(TItemList(results.begin(), results.end()), -1);
    TTitleFields title;
    // A Cyrillic title and a Greek free text, outside the code page the model keeps names in.
    title.Title = QStringLiteral("Physics: end of year test \u0424\u0438\u0437\u0438\u043A\u0430");
    title.Subtitle = QStringLiteral("Paper 1");
    title.Date = QStringLiteral("June 2024");
    title.TimeAllowed = QStringLiteral("%1 min").arg(doc->Document->TotalTime());
    title.TotalMarks = QStringLiteral("%1 marks").arg(doc->Document->TotalMarks());
    title.Instructions = QStringLiteral("Answer all questions in the spaces provided.");
    doc->InsertText(0, "Physics", false, ChunkOfPieces(TitlePieces(title, AnsiToQt(app.OrganisationName()))), 0, 0);
    TSectionFields section;
    section.SectionTitle = QStringLiteral("Section B");
    section.Instruction = QStringLiteral("Answer every question in this section.");
    doc->InsertText(6, "Section B", false, ChunkOfPieces(SectionPieces(section)), 0, 0);
    {
      TTXTextControl typed;
      typed.SetSelText(QStringLiteral("\u0395\u03BD\u03AD\u03C1\u03B3\u03B5\u03B9\u03B1 notes"));
      std::string rtf;
      typed.SaveToString(rtf, TTXTextControl::FormatRtf, true);
      doc->InsertText(-1, "Greek", false, std::make_unique<TTextChunk>(std::vector<std::string>{rtf}), 0, 0);
    }

    QTemporaryDir temp;
    const QString folder = Artifacts().isEmpty() ? temp.path() : Artifacts();
    QDir().mkpath(folder);
    // Saved and opened again, as a teacher would print it another day.
    const std::string saved = QDir(folder).filePath(QStringLiteral("sample.kvd")).toStdString();
    doc->SaveToFile(saved);
    doc->Close();
    app.OpenDocument(saved);
    doc = app.Documents().back().get();
    app.SetCurrentDocument(doc);
    TPrintForm& print = OutputForms().Print();
    {
      TScriptedPrintDialogs dialogs;
      dialogs.OutputFile = QDir(folder).filePath(QStringLiteral("sample-print.pdf"));
      QVERIFY(print.PrintDocument());
      QFile pdf(dialogs.OutputFile);
      QVERIFY(pdf.open(QIODevice::ReadOnly));
      static const QRegularExpression page(QStringLiteral("/Type\\s*/Page(?![s\\w])"));
      const int pages = int(QString::fromLatin1(pdf.readAll()).count(page));
      QCOMPARE(pages, print.PrintATX->CurrentPages());
      QVERIFY(pages > 1);
    }
    // Numbers run from 1 over the questions only, in order, and no marker is left.
    const QString text = print.PrintATX->document()->toPlainText();
    int last = -1;
    int numbered = 0;
    for (const TDocContent* entry : doc->Document->Entries) {
      if (!entry->Numbered || entry->Segment->Chunk == nullptr) continue;
      ++numbered;
      const QRegularExpression start(QStringLiteral("(^|\\n|\\f)%1\\.").arg(entry->Number));
      const QRegularExpressionMatch m = start.match(text, std::max(last, 0));
      QVERIFY2(m.hasMatch(), qPrintable(QString::number(entry->Number)));
      QVERIFY(m.capturedStart() > last);
      last = int(m.capturedStart());
    }
    QVERIFY(numbered >= 10);
    QVERIFY(!text.split(QLatin1Char('\n')).contains(QStringLiteral("-")));
    QVERIFY(text.contains(QStringLiteral("\u0424\u0438\u0437\u0438\u043A\u0430")));
    QVERIFY(text.contains(QStringLiteral("\u0395\u03BD\u03AD\u03C1\u03B3\u03B5\u03B9\u03B1 notes")));

    const QString rtfName = QDir(folder).filePath(QStringLiteral("sample-export.rtf"));
    print.ExportDocument(rtfName);
    QFile rtf(rtfName);
    QVERIFY(rtf.open(QIODevice::ReadOnly));
    const QByteArray exported = rtf.readAll();
    QVERIFY(exported.startsWith("{\\rtf1"));
    QVERIFY(exported.contains("\\u1060?") && exported.contains("\\u917?"));
    // A word processor breaks the exported pages where printing does: the same count, and no
    // page holding only the footer.
    const QString soffice = QStandardPaths::findExecutable(QStringLiteral("soffice"));
    if (soffice.isEmpty()) {
      qWarning("LibreOffice is not installed: the exported pages were not counted");
    } else {
      QProcess convert;
      convert.start(soffice, {QStringLiteral("-env:UserInstallation=file://") + QDir(folder).filePath(QStringLiteral("lo-profile")),
                              QStringLiteral("--headless"), QStringLiteral("--convert-to"), QStringLiteral("pdf"),
                              QStringLiteral("--outdir"), QDir(folder).filePath(QStringLiteral("lo")), rtfName});
      QVERIFY(convert.waitForFinished(240000));
      QFile lo(QDir(folder).filePath(QStringLiteral("lo/sample-export.pdf")));
      QVERIFY(lo.open(QIODevice::ReadOnly));
      static const QRegularExpression page(QStringLiteral("/Type\\s*/Page(?![s\\w])"));
      QCOMPARE(int(QString::fromLatin1(lo.readAll()).count(page)), print.PrintATX->CurrentPages());
      QProcess words;
      words.start(QStringLiteral("pdftotext"), {lo.fileName(), QStringLiteral("-")});
      if (words.waitForFinished(60000) && words.exitCode() == 0) {
        for (const QString& pageText : QString::fromUtf8(words.readAllStandardOutput()).split(QLatin1Char('\f'), Qt::SkipEmptyParts))
          QVERIFY2(!QRegularExpression(QStringLiteral("^Harrowvane Sample School \\d+$")).match(pageText.simplified()).hasMatch(),
                   qPrintable(pageText));
      }
    }

    TPreviewForm& preview = OutputForms().Preview();
    preview.resize(620, 820);
    preview.show();
    preview.Start();
    QVERIFY(preview.PageCount() > 1);
    preview.NextB->click();
    const QPixmap grab = preview.grab();
    QVERIFY(!grab.isNull());
    if (!Artifacts().isEmpty()) grab.save(QDir(folder).filePath(QStringLiteral("preview.png")));
    preview.hide();

    // The editor on the first question, as Edit Text opens it.
    TEditForm& editor = OutputForms().Edit();
    editor.EditATX->ResetContents();
    editor.EditATX->LoadFromString(results.front()->Chunk->GetLines().at(0), TTXTextControl::FormatRtf, true);
    results.front()->Chunk->ReleaseLines();
    editor.DescriptionE->setText(AnsiToQt(results.front()->GetName()));
    editor.resize(760, 520);
    editor.show();
    QVERIFY(!editor.grab().isNull());
    if (!Artifacts().isEmpty()) editor.grab().save(QDir(folder).filePath(QStringLiteral("editor.png")));
    editor.hide();
    OutputForms().Reset();
  }
};

int RunSampleOutputTests(int argc, char** argv) {
  TSampleOutputTest test;
  return QTest::qExec(&test, argc, argv);
}

#include "SampleOutputTest.moc"
