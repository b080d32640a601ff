// Printing the composed text: the dialog's range and copies, one job per copy, failures, and the
// commands' enabling.
#include <QAction>
#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>

#include "OutputFixtures.h"
#include "OutputTests.h"
#include "TextControl.h"
#include "commands/MainMenu.h"
#include "core/Errors.h"
#include "output/OutputCommands.h"
#include "output/PrintForm.h"
#include "windows/MainForm.h"

using namespace hv;
using namespace hv::test;

namespace {

// Pages of a PDF file that Qt's writer made: one "/Type /Page" object per page.
int PdfPages(const QString& fileName) {
  QFile file(fileName);
  if (!file.open(QIODevice::ReadOnly)) return -1;
  const QByteArray bytes = file.readAll();
  if (!bytes.startsWith("%PDF-")) return -1;
  static const QRegularExpression page(QStringLiteral("/Type\\s*/Page(?![s\\w])"));
  return int(QString::fromLatin1(bytes).count(page));
}

}  // namespace

class TPrintTest : public QObject {
  Q_OBJECT

private slots:
  void printsEveryPageToTheChosenPrinter() {
    TOutputWorld w;
    TOutputWorld::SetText(w.Q[0], LinesRtf("Long", 120));
    TDocLogic* doc = w.DocumentWith({w.Q[0], w.Q[1]});
    QTemporaryDir dir;
    TScriptedPrintDialogs dialogs;
    dialogs.OutputFile = dir.filePath(QStringLiteral("all.pdf"));
    RunCommand<TPrintCmd>();
    QCOMPARE(dialogs.PrintCalls, 1);
    const int pages = OutputForms().Print().PrintATX->CurrentPages();
    QCOMPARE(pages, 3);
    QCOMPARE(dialogs.OfferedPages, pages);
    QCOMPARE(PdfPages(dialogs.OutputFile), pages);
    QCOMPARE(OutputForms().Print().Printer.docName(), QStringLiteral("Untitled"));
    Q_UNUSED(doc);
  }

  void pageRangeAndSelection() {
    TOutputWorld w;
    TOutputWorld::SetText(w.Q[0], LinesRtf("Long", 120));
    w.DocumentWith({w.Q[0]});
    QTemporaryDir dir;
    TScriptedPrintDialogs dialogs;
    dialogs.OutputFile = dir.filePath(QStringLiteral("range.pdf"));
    TPrintChoice choice;
    choice.Range = TPrintRange::Pages;
    choice.Pages = {{2, 3}};
    dialogs.Answer = choice;
    QVERIFY(OutputForms().Print().PrintDocument());
    QCOMPARE(PdfPages(dialogs.OutputFile), 2);

    // Ranges reaching past the text are cut to it; a selection prints nothing at all.
    dialogs.OutputFile = dir.filePath(QStringLiteral("past.pdf"));
    choice.Pages = {{3, 9}};
    dialogs.Answer = choice;
    QVERIFY(OutputForms().Print().PrintComposed());
    QCOMPARE(PdfPages(dialogs.OutputFile), 1);
    dialogs.OutputFile = dir.filePath(QStringLiteral("selection.pdf"));
    dialogs.Answer = TPrintChoice{TPrintRange::Selection, {}, 1};
    QVERIFY(OutputForms().Print().PrintComposed());
    QVERIFY(!QFile::exists(dialogs.OutputFile));
  }

  void eachCopyIsAJobOfItsOwn() {
    TOutputWorld w;
    TDocLogic* doc = w.DocumentWith({w.Q[0]});
    QTemporaryDir dir;
    doc->SaveToFile(dir.filePath(QStringLiteral("Forces.kvd")).toStdString());
    TScriptedPrintDialogs dialogs;
    dialogs.Answer = TPrintChoice{TPrintRange::All, {}, 2};
    TPrintForm& print = OutputForms().Print();
    QStringList titles;
    const auto connection = QObject::connect(&print, &TPrintForm::JobStarting, [&](int copy) {
      titles << print.Printer.docName();
      print.Printer.setOutputFileName(dir.filePath(QStringLiteral("copy%1.pdf").arg(copy)));
    });
    QVERIFY(print.PrintDocument());
    QObject::disconnect(connection);
    QCOMPARE(titles, QStringList({QStringLiteral("Forces.kvd"), QStringLiteral("Forces.kvd")}));
    QCOMPARE(PdfPages(dir.filePath(QStringLiteral("copy1.pdf"))), 1);
    QCOMPARE(PdfPages(dir.filePath(QStringLiteral("copy2.pdf"))), 1);
  }

  void cancelledDialogPrintsNothing() {
    TOutputWorld w;
    w.DocumentWith({w.Q[0]});
    QTemporaryDir dir;
    TScriptedPrintDialogs dialogs;
    dialogs.OutputFile = dir.filePath(QStringLiteral("never.pdf"));
    dialogs.Answer.reset();
    QVERIFY(!OutputForms().Print().PrintDocument());
    QVERIFY(!QFile::exists(dialogs.OutputFile));
    // The composed text stays for the preview.
    QVERIFY(OutputForms().Print().PrintATX->document()->toPlainText().contains(QStringLiteral("Q1 line 1")));
  }

  void failingJobIsReported() {
    TOutputWorld w;
    w.DocumentWith({w.Q[0]});
    TScriptedPrintDialogs dialogs;
    dialogs.OutputFile = QStringLiteral("/nonexistent-folder/out.pdf");
    QVERIFY_THROWS_EXCEPTION(EInOutError, OutputForms().Print().PrintDocument());
    // Run from a control, the failure reaches the user as a message and the program goes on.
    TScriptedAsk ask;
    ask.ExpectError(QStringLiteral("The printer could not start printing Untitled."));
    QAction print;
    TCommand* command = TCommand::Create<TPrintCmd>(nullptr, &print, nullptr);
    print.trigger();
    delete command;
    QVERIFY(ask.Verify());
  }

  void printSetupShowsTheSetupDialog() {
    TOutputWorld w;
    TScriptedPrintDialogs dialogs;
    TPrintSetupCmd setup;
    QVERIFY(setup.IsEnabled());
    setup.Execute(nullptr);
    QCOMPARE(dialogs.SetupCalls, 1);
  }

  void outputCommandsNeedEntries() {
    TOutputWorld w;
    TPrintCmd print;
    TPrintPreviewCmd preview;
    TExportCmd exporting;
    QAction printM, previewM, exportM;
    print.Bind(&printM, nullptr);
    preview.Bind(&previewM, nullptr);
    exporting.Bind(&exportM, nullptr);
    QVERIFY(!printM.isEnabled() && !previewM.isEnabled() && !exportM.isEnabled());
    TDocLogic* doc = w.NewDocument();
    QVERIFY(!printM.isEnabled() && !previewM.isEnabled() && !exportM.isEnabled());
    // Adding an entry is heard through the document's own notification.
    doc->InsertEntries({w.Q[0]}, -1);
    QVERIFY(printM.isEnabled() && previewM.isEnabled() && exportM.isEnabled());
    doc->RemoveEntries({doc->Document->Entries[0]});
    QVERIFY(!printM.isEnabled() && !previewM.isEnabled() && !exportM.isEnabled());
    // A second, empty document made current disables them again.
    doc->InsertEntries({w.Q[0]}, -1);
    w.NewDocument();
    QVERIFY(!printM.isEnabled());
    w.App.SetCurrentDocument(doc);
    QVERIFY(printM.isEnabled());
  }

  void mainWindowBindsTheOutputCommands() {
    TOutputWorld w;
    TMainForm form(w.App, w.Env);
    const QStringList names = {QStringLiteral("PrintSetupM"), QStringLiteral("PrintM"), QStringLiteral("PrintB"),
                               QStringLiteral("PrintPreviewM"), QStringLiteral("PrintPrevB"), QStringLiteral("ExporttoWP2"),
                               QStringLiteral("btExport"), QStringLiteral("InsertTitleM"), QStringLiteral("InsertSectionM"),
                               QStringLiteral("InsertTextM"), QStringLiteral("EditTextM")};
    for (const QString& name : names) QVERIFY2(form.CommandOf(name) != nullptr, qPrintable(name));
    QVERIFY(form.Action(QStringLiteral("PrintSetupM"))->isEnabled());
    QVERIFY(!form.Action(QStringLiteral("InsertTitleM"))->isEnabled());
    TDocLogic* doc = w.NewDocument();
    QVERIFY(form.Action(QStringLiteral("InsertTitleM"))->isEnabled());
    QVERIFY(!form.Action(QStringLiteral("PrintB"))->isEnabled());
    doc->InsertEntries({w.Q[0]}, -1);
    for (const char* name : {"PrintM", "PrintB", "PrintPreviewM", "PrintPrevB", "ExporttoWP2", "btExport"})
      QVERIFY2(form.Action(QLatin1String(name))->isEnabled(), name);
    // Edit Text needs a single entry of the current document.
    TCommand* editText = form.CommandOf(QStringLiteral("EditTextM"));
    QVERIFY(!editText->IsEnabled());
    w.Click(doc, 0);
    QVERIFY(editText->IsEnabled());
    // Triggering the button prints.
    QTemporaryDir dir;
    TScriptedPrintDialogs dialogs;
    dialogs.OutputFile = dir.filePath(QStringLiteral("button.pdf"));
    form.Action(QStringLiteral("PrintB"))->trigger();
    QCOMPARE(PdfPages(dialogs.OutputFile), 1);
    // Closing the document leaves nothing to print.
    doc->Close();
    QVERIFY(!form.Action(QStringLiteral("PrintB"))->isEnabled());
  }

  void registeredForTheMainWindow() {
    RegisterOutputCommands();
    for (const char* name : {"TPrintSetupCmd", "TPrintCmd", "TPrintPreviewCmd", "TExportCmd", "TInsertTitleCmd",
                             "TInsertSectionCmd", "TInsertTextCmd", "TEditTextCmd"})
      QVERIFY2(FindCommandClass(name) != nullptr, name);
  }
};

int RunPrintTests(int argc, char** argv) {
  TPrintTest test;
  return QTest::qExec(&test, argc, argv);
}

#include "PrintTest.moc"
