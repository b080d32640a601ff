// Export to a word-processor file: the dialog flow with its overwrite question, the file name,
// the RTF written, and the working folder afterwards.
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTextDocument>

#include <filesystem>

#include "OutputFixtures.h"
#include "OutputTests.h"
#include "RtfReader.h"
#include "output/Export.h"
#include "output/OutputCommands.h"

using namespace hv;
using namespace hv::test;

namespace {

QByteArray ReadAll(const QString& fileName) {
  QFile file(fileName);
  return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QString OverwriteQuestion(const QString& fileName) { return fileName + QStringLiteral(" exists. Do you want to overwrite it?"); }

}  // namespace

class TExportTest : public QObject {
  Q_OBJECT

private slots:
  void emptyDocumentHasNothingToExport() {
    TOutputWorld w;
    w.NewDocument();
    TScriptedAsk ask;
    ask.ExpectMessage(QStringLiteral("There are no items in the current document to export."));
    RunCommand<TExportCmd>();
    QVERIFY(ask.Verify());
  }

  void writesTheComposedTextAsRtf() {
    TOutputWorld w;
    w.DocumentWith({w.Q[0], w.Note, w.Q[1]});
    QTemporaryDir dir;
    const QString name = dir.filePath(QStringLiteral("test.rtf"));
    TScriptedAsk ask;
    ask.ExpectSaveFileName(name);
    RunCommand<TExportCmd>();
    QVERIFY(ask.Verify());
    QCOMPARE(ask.Last(TQuestionKind::SaveFileName)->Filter, QStringLiteral("Rich Text Format (*.rtf)"));
    const QByteArray rtf = ReadAll(name);
    QVERIFY(rtf.startsWith("{\\rtf1"));
    QVERIFY(rtf.contains("\\footer"));
    QVERIFY(rtf.contains("Harrowvane Sample School"));
    QVERIFY(rtf.contains("PAGE"));
    // Read back, it is the printed text: numbers, the note unnumbered, no markers.
    QTextDocument doc;
    QTextCursor cursor(&doc);
    const TRtfReadReport report = ReadRtf(std::string_view(rtf.constData(), std::size_t(rtf.size())), cursor);
    QVERIFY(report.Balanced);
    const QStringList paragraphs = doc.toPlainText().split(QLatin1Char('\n'));
    QCOMPARE(paragraphs.mid(0, 5), QStringList({QStringLiteral("1.Q1 line 1"), QStringLiteral("Q1 line 2"),
                                                QStringLiteral("Q1 line 3"), QStringLiteral("Note line 1"),
                                                QStringLiteral("2.Q2 line 1")}));
    QVERIFY(!paragraphs.contains(QStringLiteral("-")));
  }

  void overwriteQuestionLoopsBackToTheDialog() {
    TOutputWorld w;
    w.DocumentWith({w.Q[0]});
    QTemporaryDir dir;
    const QString taken = dir.filePath(QStringLiteral("taken.rtf"));
    const QString fresh = dir.filePath(QStringLiteral("fresh.rtf"));
    {
      QFile file(taken);
      QVERIFY(file.open(QIODevice::WriteOnly));
      file.write("keep me");
    }
    TScriptedAsk ask;
    ask.ExpectSaveFileName(taken)
        .ExpectConfirm(OverwriteQuestion(taken), TAskAnswer::No)
        .ExpectSaveFileName(taken)
        .ExpectConfirm(OverwriteQuestion(taken), TAskAnswer::Cancel)
        .ExpectSaveFileName(fresh);
    RunCommand<TExportCmd>();
    QVERIFY(ask.Verify());
    QCOMPARE(ReadAll(taken), QByteArray("keep me"));
    // The export asks its own overwrite question, so the dialog must not ask a second time.
    QVERIFY(!ask.Last(TQuestionKind::SaveFileName)->ConfirmOverwrite);
    QVERIFY(ReadAll(fresh).startsWith("{\\rtf1"));

    // Yes replaces the file; cancelling the dialog writes nothing.
    ask.ExpectSaveFileName(taken).ExpectConfirm(OverwriteQuestion(taken), TAskAnswer::Yes);
    RunCommand<TExportCmd>();
    QVERIFY(ReadAll(taken).startsWith("{\\rtf1"));
    ask.ExpectSaveFileName(QString());
    RunCommand<TExportCmd>();
    QVERIFY(ask.Verify());
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files).size(), 2);
  }

  void nameWithoutExtensionGetsRtf() {
    QCOMPARE(ExportFileName(QStringLiteral("/tmp/paper")), QStringLiteral("/tmp/paper.rtf"));
    QCOMPARE(ExportFileName(QStringLiteral("/tmp/paper.doc")), QStringLiteral("/tmp/paper.doc"));
    QCOMPARE(ExportFileName(QString()), QString());
    TOutputWorld w;
    w.DocumentWith({w.Q[0]});
    QTemporaryDir dir;
    TScriptedAsk ask;
    ask.ExpectSaveFileName(dir.filePath(QStringLiteral("paper")));
    RunCommand<TExportCmd>();
    QVERIFY(ReadAll(dir.filePath(QStringLiteral("paper.rtf"))).startsWith("{\\rtf1"));
  }

  void entriesWithoutTextsGiveOnlyTheFooter() {
    TOutputWorld w;
    w.Q[0]->TakeChunk();
    w.Q[1]->TakeChunk();
    w.DocumentWith({w.Q[0], w.Q[1]});
    QTemporaryDir dir;
    const QString name = dir.filePath(QStringLiteral("empty.rtf"));
    TScriptedAsk ask;
    ask.ExpectSaveFileName(name);
    RunCommand<TExportCmd>();
    const QByteArray rtf = ReadAll(name);
    QTextDocument body, footer;
    QTextCursor cursor(&body);
    TRtfReadOptions options;
    options.FooterTarget = &footer;
    const TRtfReadReport report = ReadRtf(std::string_view(rtf.constData(), std::size_t(rtf.size())), cursor, options);
    QVERIFY(report.StartsAsRtf && report.Balanced);
    QVERIFY(body.toPlainText().trimmed().isEmpty());
    QVERIFY(footer.toPlainText().startsWith(QStringLiteral("Harrowvane Sample School\t")));
  }

  void workingFolderIsRestored() {
    TOutputWorld w;
    QTemporaryDir programDir, elsewhere;
    w.Env.ProgramDir = programDir.path().toStdString();
    w.DocumentWith({w.Q[0]});
    TScriptedAsk ask;
    const std::filesystem::path before = std::filesystem::current_path();
    ask.ExpectSaveFileName(elsewhere.filePath(QStringLiteral("x.rtf")));
    std::filesystem::current_path(elsewhere.path().toStdString());
    RunCommand<TExportCmd>();
    QCOMPARE(QDir::currentPath(), QDir(programDir.path()).canonicalPath());
    std::filesystem::current_path(before);
  }
};

int RunExportTests(int argc, char** argv) {
  TExportTest test;
  return QTest::qExec(&test, argc, argv);
}

#include "ExportTest.moc"
