// Start-up from the command line: which library opens, the error box and no window on every
// start-up failure, a document argument opened beside the new empty document, and Exit.
#include <QLabel>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>

#include <filesystem>
#include <fstream>

#include "ScriptedAsk.h"
#include "commands/CommandFramework.h"
#include "core/Streams.h"
#include "logic/AppLogic.h"
#include "model/Library.h"
#include "model/Segments.h"
#include "windows/AboutForm.h"
#include "windows/DocForm.h"
#include "windows/MainForm.h"
#include "windows/Program.h"

using namespace hv;
using hv::test::TScriptedAsk;

namespace {

const QString kNoData = QStringLiteral("Data file has not been specified");

void WriteText(const QString& path, const std::string& text) {
  std::ofstream(QFile::encodeName(path).toStdString(), std::ios::binary) << text;
}

QList<QMdiSubWindow*> DocumentWindows(const TMainForm* main) {
  QList<QMdiSubWindow*> docs;
  for (QMdiSubWindow* w : main->MdiArea()->subWindowList())
    if (qobject_cast<TDocForm*>(w) != nullptr) docs << w;
  return docs;
}

int VisibleTopLevels() {
  int n = 0;
  for (QWidget* w : QApplication::topLevelWidgets())
    if (w->isVisible() || qobject_cast<TMainForm*>(w) != nullptr) ++n;
  return n;
}

}  // namespace

class StartupTest : public QObject {
  Q_OBJECT

  QTemporaryDir Config;
  QByteArray OldConfigDir;

  QString Path(const char* name) const { return Config.filePath(QLatin1String(name)); }

private slots:
  void initTestCase() {
    QVERIFY(Config.isValid());
    const QString sample = QStringLiteral(HV_BINARY_DIR "/data/sample/");
    QVERIFY2(QFile::copy(sample + QStringLiteral("Sample.dat"), Path("Sample.dat")), "the sample library must be built");
    QVERIFY(QFile::copy(sample + QStringLiteral("Sample.txt"), Path("Sample.txt")));
    // The same library written at a format version newer than the program reads.
    {
      TOpenedLibrary opened = OpenLibraryFiles(QFile::encodeName(Path("Sample.txt")).toStdString(),
                                               QFile::encodeName(Path("Sample.dat")).toStdString());
      TFileStream out(QFile::encodeName(Path("Newer.dat")).toStdString(), TFileStream::TMode::Create);
      WriteLibraryFile(out, *opened.Library, kLibraryVersion + 1);
      CurrentLibrary = nullptr;
    }
    WriteText(Path("vornika32.ini"),
              "[Sample]\nTextFilename=Sample.txt\nLibFilename=Sample.dat\n"
              "[NoText]\nTextFilename=Missing.txt\nLibFilename=Sample.dat\n"
              "[Newer]\nTextFilename=Sample.txt\nLibFilename=Newer.dat\n");
    WriteText(Path("vornika.ini"), "[Auto]\nSubject=Sample\n");
    OldConfigDir = qgetenv("HARROWVANE_CONFIG_DIR");
    // Only this folder's configuration counts, whatever the working directory holds.
    qputenv("HARROWVANE_CONFIG_DIR", QFile::encodeName(Config.path()));
  }

  void cleanupTestCase() { qputenv("HARROWVANE_CONFIG_DIR", OldConfigDir); }

  void failuresShowTheirMessageAndCreateNoWindow_data() {
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("message");
    QTest::newRow("no argument") << QStringList{QStringLiteral("harrowvane")} << kNoData;
    QTest::newRow("empty argument") << QStringList{QStringLiteral("harrowvane"), QString()} << kNoData;
    QTest::newRow("unknown key") << QStringList{QStringLiteral("harrowvane"), QStringLiteral("Chemistry")}
                                 << QStringLiteral("Could not open library text file");
    QTest::newRow("missing text file") << QStringList{QStringLiteral("harrowvane"), QStringLiteral("NoText")}
                                       << QStringLiteral("Could not open library text file");
    QTest::newRow("newer library") << QStringList{QStringLiteral("harrowvane"), QStringLiteral("Newer")}
                                   << QStringLiteral("Incorrect library version");
  }

  void failuresShowTheirMessageAndCreateNoWindow() {
    QFETCH(QStringList, arguments);
    QFETCH(QString, message);
    const int before = VisibleTopLevels();
    TScriptedAsk ask;
    ask.ExpectError(message);
    TProgram program(arguments);
    QVERIFY(!program.Start());
    QVERIFY(ask.Verify());
    QVERIFY(program.MainForm() == nullptr);
    QVERIFY(program.App() == nullptr);
    QCOMPARE(VisibleTopLevels(), before);
  }

  void documentArgumentWithoutAutoSubjectFails() {
    WriteText(Path("vornika.ini"), "[Auto]\nSubject=\n");
    TScriptedAsk ask;
    ask.ExpectError(kNoData);
    TProgram program({QStringLiteral("harrowvane"), Path("Lesson.KVD")});
    QVERIFY(!program.Start());
    QVERIFY(ask.Verify());
    WriteText(Path("vornika.ini"), "[Auto]\nSubject=Sample\n");
  }

  void keyOpensItsLibraryAndTheFirstShowingCompletesStartUp() {
    TScriptedAsk ask;
    TProgram program({QStringLiteral("harrowvane"), QStringLiteral("Sample")});
    QVERIFY(program.Start());
    TMainForm* main = program.MainForm();
    QVERIFY(main != nullptr);
    QVERIFY(!main->isVisible());  // nothing shows before the message loop
    QCOMPARE(main->windowTitle(), QStringLiteral("Marquell"));
    QCOMPARE(program.AboutForm()->SubjectL()->text(), QStringLiteral("Sample"));
    // The edition's hints reach the Viewer's buttons too, not only the main window's.
    auto hint = [main](const char* name) {
      auto* button = main->findChild<QToolButton*>(QLatin1String(name));
      return button != nullptr ? button->toolTip() : QString();
    };
    QCOMPARE(hint("RelSylB"), QStringLiteral("View Specification"));
    QCOMPARE(hint("RelResB"), QStringLiteral("View related Text"));
    QCOMPARE(hint("RelERB"), QStringLiteral("View Examiner's Report"));
    QCOMPARE(hint("RelMSB"), QStringLiteral("View related markscheme"));

    program.Show();
    QVERIFY(main->isVisible());
    QVERIFY(!main->FirstShowPending());
    TAppLogic& app = *program.App();
    QCOMPARE(main->windowTitle(), QStringLiteral("Harrowvane ") + QString::fromStdString(app.Library()->Name));
    QCOMPARE(app.Documents().size(), std::size_t(1));
    QCOMPARE(DocumentWindows(main).size(), 1);
    QVERIFY(program.Environment()->QFView.Visible());
    QVERIFY(program.Environment()->ViewerView.Visible());
    // The first result is selected and positioned, from the results list.
    const TListRef results(app.Selector()->Results());
    QVERIFY(app.CurrentList() == results);
    QCOMPARE(app.CurrentIndex(), 0);
    QCOMPARE(app.Selection().size(), std::size_t(1));
    QVERIFY(app.Selection()[0] == results.ItemAt(0));
    QVERIFY(main->StatusP()->text().startsWith(QStringLiteral("  Item 1 of ")));
    // The empty document is current; the Question Finder, when there is one, has the focus.
    QVERIFY(app.CurrentDocument() == app.Documents()[0].get());
    if (QMdiSubWindow* active = main->MdiArea()->activeSubWindow(); active != nullptr && qobject_cast<TDocForm*>(active) == nullptr)
      QCOMPARE(active->objectName(), QStringLiteral("QFForm"));
    QVERIFY(ask.Verify());
  }

  // Save As writes ".kvd" in lower case, and a file manager passes the name as it is.
  void documentArgumentOpensBesideTheEmptyDocument() {
    const QString document = Path("energy test.kvd");
    {
      // A document of the sample library with one question.
      TScriptedAsk ask;
      TProgram program({QStringLiteral("harrowvane"), QStringLiteral("Sample")});
      QVERIFY(program.Start());
      program.MainForm()->FirstShowing();
      TAppLogic& app = *program.App();
      app.Documents()[0]->InsertEntries({app.Selector()->Results().at(0)}, -1);
      app.Documents()[0]->SaveToFile(QFile::encodeName(document).toStdString());
      app.Documents()[0]->Close();
    }
    TScriptedAsk ask;
    TProgram program({QStringLiteral("harrowvane"), document});
    QVERIFY(program.Start());
    program.Show();
    TAppLogic& app = *program.App();
    QCOMPARE(app.Subject(), std::string("Sample"));
    QCOMPARE(app.Documents().size(), std::size_t(2));
    QVERIFY(app.Documents()[0]->Document->Entries.empty());
    QCOMPARE(app.Documents()[1]->Document->Entries.size(), std::size_t(1));
    const QList<QMdiSubWindow*> windows = DocumentWindows(program.MainForm());
    QCOMPARE(windows.size(), 2);
    QCOMPARE(windows[1]->windowTitle(), QStringLiteral("energy test.kvd"));
    // Beside, not on top of, the empty document.
    QVERIFY(!windows[1]->geometry().intersects(windows[0]->geometry()));
    QVERIFY(ask.Verify());
  }

  // A file that names no configured library opens the library of "vornika.ini", and opening the
  // file then says what is wrong with it.
  void unreadableDocumentOfAnyCaseStartsTheAutoLibrary() {
    const QString document = Path("lesson.Kvd");
    WriteText(document, "not a test");
    TScriptedAsk ask;
    ask.ExpectError(QStringLiteral("\"lesson.Kvd\" is not a test document."));
    TProgram program({QStringLiteral("harrowvane"), document});
    QVERIFY(program.Start());
    program.Show();
    QCOMPARE(program.App()->Subject(), std::string("Sample"));
    QVERIFY(ask.Verify());
  }

  void unreadableDocumentArgumentLeavesTheProgramRunning() {
    TScriptedAsk ask;
    ask.ExpectError(QStringLiteral("Cannot open \"Absent.KVD\": there is no such file."));
    TProgram program({QStringLiteral("harrowvane"), Path("Absent.KVD")});
    QVERIFY(program.Start());
    program.Show();
    QVERIFY(ask.Verify());
    QCOMPARE(program.App()->Documents().size(), std::size_t(1));
    QVERIFY(program.MainForm()->isVisible());
  }

  void exitAsksAboutAModifiedDocumentAndCancelKeepsEverything() {
    TScriptedAsk ask;
    TProgram program({QStringLiteral("harrowvane"), QStringLiteral("Sample")});
    QVERIFY(program.Start());
    int quits = 0;
    program.Environment()->Quit = [&quits] { ++quits; };
    program.Show();
    TAppLogic& app = *program.App();
    app.Documents()[0]->InsertEntries({app.Selector()->Results().at(0)}, -1);

    const QString question = QStringLiteral("Do you want to save the changes to document 'Untitled'?");
    ask.ExpectConfirm(question, TAskAnswer::Cancel);
    QVERIFY(!program.MainForm()->close());
    QVERIFY(ask.Verify());
    QCOMPARE(quits, 0);
    QCOMPARE(app.Documents().size(), std::size_t(1));
    QVERIFY(program.MainForm()->isVisible());

    // File, Exit asks the same; No closes the document and ends the program.
    ask.ExpectConfirm(question, TAskAnswer::No);
    program.MainForm()->Action(QStringLiteral("Exit1"))->trigger();
    QVERIFY(ask.Verify());
    QCOMPARE(quits, 1);
    QVERIFY(app.Documents().empty());
  }
};

QTEST_MAIN(StartupTest)
#include "StartupTest.moc"
