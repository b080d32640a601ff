// A teacher's whole task on the sample library, through the program's own start-up and its real
// windows and dialogs, driven only by keys and mouse clicks: find questions by topic and level,
// read one with its mark scheme, specification and resource, assemble, number and save a test,
// reopen it from the command line, derive its mark scheme and report, preview, print to PDF,
// export to RTF, and leave answering the save questions. The files made are then read back with
// the project's tools and with poppler and LibreOffice.
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QFileDialog>
#include <QInputDialog>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QListWidget>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QMessageBox>
#include <QPointer>
#include <QPrinter>
#include <QProcess>
#include <QScrollArea>
#include <QTableWidget>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QTextEdit>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>

#include <functional>
#include <memory>

#include "AnalysisCommands.h"
#include "MarkImport.h"
#include "Workbook.h"
#include "commands/Ask.h"
#include "commands/CommandFramework.h"
#include "logic/AppLogic.h"
#include "logic/DocLogic.h"
#include "model/Categories.h"
#include "model/Document.h"
#include "model/Segments.h"
#include "output/PrintDialogs.h"
#include "windows/DocForm.h"
#include "windows/MainForm.h"
#include "windows/Program.h"
#include "windows/QtAsk.h"

using namespace hv;

namespace {

// Runs act on the next modal dialog of type T once it is up; the caller's own action then blocks
// in that dialog until act closes it. With required false, no dialog within the wait is fine.
template <class T = QWidget>
void OnModal(std::function<void(T*)> act, bool required = true, int waitMs = 10000) {
  auto* timer = new QTimer;
  auto started = std::make_shared<QElapsedTimer>();
  started->start();
  timer->setInterval(10);
  QObject::connect(timer, &QTimer::timeout, [timer, act, started, required, waitMs] {
    T* modal = qobject_cast<T*>(QApplication::activeModalWidget());
    if (modal == nullptr || !modal->isVisible()) {
      if (started->elapsed() < waitMs) return;
      timer->stop();
      timer->deleteLater();
      if (required) QTest::qFail("the expected dialog did not appear", __FILE__, __LINE__);
      return;
    }
    timer->stop();
    timer->deleteLater();
    if (qEnvironmentVariableIsSet("HV_E2E_TRACE")) qWarning("answering %s", modal->metaObject()->className());
    // Let the dialog finish showing (focus, default button) before typing into it.
    QTest::qWait(50);
    act(modal);
  });
  timer->start();
}

// Types a full path into the file dialog's name box and presses Enter, as a user would.
void AnswerFileDialog(QFileDialog* dialog, const QString& path) {
  auto* name = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
  QVERIFY(name != nullptr);
  name->setFocus();
  name->selectAll();
  QTest::keyClicks(name, path);
  QTest::keyClick(name, Qt::Key_Return);
}

// Answers a question box with the access key of one of its buttons.
void AnswerBox(QMessageBox* box, Qt::Key key, QString* text = nullptr) {
  if (text != nullptr) *text = box->text();
  QTest::keyClick(box, key, Qt::AltModifier);
}

// The print dialog's one outside decision, where the pages go: a PDF file, all pages.
class TPdfPrintDialogs : public IPrintDialogs {
public:
  explicit TPdfPrintDialogs(QString file) : File(std::move(file)) {}
  std::optional<TPrintChoice> Print(QPrinter& printer, int pageCount) override {
    Pages = pageCount;
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(File);
    return TPrintChoice{};
  }
  void PageSetup(QPrinter&) override {}
  QString File;
  int Pages = 0;
};

QString Run(const QString& program, const QStringList& arguments, int* exitCode = nullptr, int timeoutMs = 120000) {
  QProcess p;
  p.setProcessChannelMode(QProcess::MergedChannels);
  p.start(program, arguments);
  if (!p.waitForFinished(timeoutMs)) {
    p.kill();
    p.waitForFinished();
  }
  if (exitCode != nullptr) *exitCode = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
  return QString::fromLocal8Bit(p.readAll());
}

std::string Id(TStreamable* item) {
  auto* segment = dynamic_cast<TTextSegment*>(item);
  return segment != nullptr ? segment->GetID() : std::string();
}

}  // namespace

class EndToEndTest : public QObject {
  Q_OBJECT

  QTemporaryDir Work;
  QString Shots;
  int QuitCalls = 0;
  std::unique_ptr<TProgram> Program;

  TMainForm* Main() const { return Program->MainForm(); }
  TAppLogic& App() const { return *Program->App(); }

  void Shot(const QString& name, QWidget* widget = nullptr) {
    QWidget* w = widget != nullptr ? widget : static_cast<QWidget*>(Main());
    QApplication::processEvents();
    QVERIFY(w->grab().save(Shots + QStringLiteral("/e2e-") + name + QStringLiteral(".png")));
  }

  bool Start(const QStringList& arguments) {
    Program = std::make_unique<TProgram>(QStringList{QStringLiteral("harrowvane")} + arguments);
    if (!Program->Start()) return false;
    // Exit must end the program's run, not the test's.
    Program->Environment()->Quit = [this] { ++QuitCalls; };
    Program->Show();
    Main()->activateWindow();
    QApplication::setActiveWindow(Main());
    return QTest::qWaitForWindowExposed(Main());
  }

  // Alt and a menu's access key, then the items' keys in the menus that open.
  void Menu(const QString& keys) {
    QApplication::setActiveWindow(Main());
    QTest::keyClick(Main(), keys[0].toLatin1(), Qt::AltModifier);
    for (qsizetype i = 1; i < keys.size(); ++i) {
      QTRY_VERIFY(QApplication::activePopupWidget() != nullptr);
      QWidget* menu = QApplication::activePopupWidget();
      QTest::keyClick(menu, keys[i].toLatin1());
      // A submenu opens as the next popup.
      if (i + 1 < keys.size()) QTRY_VERIFY(QApplication::activePopupWidget() != menu);
    }
  }

  template <class T>
  T* Find(const char* name) const {
    T* w = Main()->findChild<T*>(QLatin1String(name));
    if (w == nullptr)
      for (QWidget* top : QApplication::topLevelWidgets())
        if ((w = top->findChild<T*>(QLatin1String(name))) != nullptr) break;
    return w;
  }

  void Click(QWidget* w) {
    QVERIFY(w != nullptr);
    QVERIFY2(w->isEnabled(), qPrintable(w->objectName()));
    QTest::mouseClick(w, Qt::LeftButton);
  }

  QToolButton* ToolbarButton(const char* name) const {
    return qobject_cast<QToolButton*>(Main()->Panel1()->widgetForAction(Main()->Action(QLatin1String(name))));
  }

  // Picks a category in the picker by keys: down the outline to each name of the path, opening
  // branches with Right, then the button's access key.
  void PickWithKeys(QDialog* picker, const QStringList& path, Qt::Key button) {
    auto* list = picker->findChild<QListWidget*>(QStringLiteral("CategoriesLB"));
    QVERIFY(list != nullptr);
    list->setFocus();
    QTest::keyClick(list, Qt::Key_Home);
    for (qsizetype depth = 0; depth < path.size(); ++depth) {
      for (int guard = 0; list->currentItem() == nullptr || list->currentItem()->text() != path[depth]; ++guard) {
        QVERIFY2(guard < 60, qPrintable(path[depth]));
        QTest::keyClick(list, Qt::Key_Down);
      }
      if (depth + 1 < path.size()) QTest::keyClick(list, Qt::Key_Right);
    }
    Shot(QStringLiteral("02-picker"), picker);
    QTest::keyClick(picker, button, Qt::AltModifier);
  }

  QListView* Results() const { return Find<QListView>("QuestionsLB"); }

  void ClickResultRow(int row, Qt::KeyboardModifiers modifiers = {}) {
    QListView* list = Results();
    QVERIFY(list != nullptr);
    const QRect rect = list->visualRect(list->model()->index(row, 0));
    QVERIFY(!rect.isEmpty());
    QTest::mouseClick(list->viewport(), Qt::LeftButton, modifiers, rect.center());
  }

  // Clicks a Viewer button and waits for the selection to become a text of the class expected; a
  // related-information dialog, if one is put up for several texts, is answered with its first.
  void FollowRelated(const char* button, char typeLetter) {
    OnModal<QDialog>([](QDialog* d) {
      if (d->objectName() == QLatin1String("RelatedForm")) {
        auto* list = d->findChild<QListWidget*>(QStringLiteral("RelatedLB"));
        list->setFocus();
        QTest::keyClick(list, Qt::Key_Down);
        QTest::keyClick(list, Qt::Key_Space);
        QTest::keyClick(d, Qt::Key_O, Qt::AltModifier);
      }
    }, false, 700);
    Click(Find<QToolButton>(button));
    QTRY_VERIFY(!App().Selection().empty() && Id(App().Selection().front()).front() == typeLetter);
    QTest::qWait(800);  // let the optional-dialog watcher run out
    auto* text = Find<QTextEdit>("ViewerTX");
    QTRY_VERIFY(!text->toPlainText().trimmed().isEmpty());
  }

  QListWidget* DocList(TDocLogic* doc) const {
    for (QListWidget* list : Main()->findChildren<QListWidget*>(QStringLiteral("DocLB"))) {
      auto* form = qobject_cast<TDocForm*>(list->parentWidget());
      if (form != nullptr && form->DocLogic() == doc) return list;
    }
    return nullptr;
  }

  void ActivateDocument(TDocLogic* doc) {
    QListWidget* list = DocList(doc);
    QVERIFY(list != nullptr);
    auto* form = qobject_cast<QMdiSubWindow*>(list->parentWidget());
    Main()->MdiArea()->setActiveSubWindow(form);
    QTRY_COMPARE(App().CurrentDocument(), doc);
  }

  QString Hvlib() const { return QStringLiteral(HV_BINARY_DIR "/tools/hvlib/hvlib"); }

private slots:
  void init() {
    // A box nobody answers (an error shown by the program, a question the test did not expect)
    // would hold the test until its timeout; it is closed and reported after a while instead.
    auto* watch = new QTimer(this);
    auto since = std::make_shared<QElapsedTimer>();
    auto last = std::make_shared<QPointer<QWidget>>();
    watch->setInterval(250);
    connect(watch, &QTimer::timeout, this, [since, last] {
      QWidget* modal = QApplication::activeModalWidget();
      if (modal == nullptr || modal != last->data()) {
        *last = modal;
        since->start();
        return;
      }
      if (since->elapsed() < 15000) return;
      QString text = modal->windowTitle();
      if (auto* box = qobject_cast<QMessageBox*>(modal)) text += QStringLiteral(": ") + box->text();
      qWarning("left unanswered: %s %s", modal->metaObject()->className(), qPrintable(text));
      modal->close();
      if (auto* dialog = qobject_cast<QDialog*>(modal)) dialog->reject();
    });
    watch->start();
  }

  void initTestCase() {
    QVERIFY(Work.isValid());
    // The question statistics of this run only, for the program and the hvlib it starts.
    qputenv("XDG_DATA_HOME", QFile::encodeName(Work.filePath(QStringLiteral("data"))));
    Shots = qEnvironmentVariable("HV_E2E_SHOTS", Work.path());
    QDir().mkpath(Shots);
  }

  void aTeachersWholeTask() {
    TQtAsk ask;
    TAskScope asking(ask);
    // A failing step leaves the program running; it goes before the questions it was given.
    struct TEnd {
      std::unique_ptr<TProgram>& P;
      ~TEnd() { P.reset(); }
    } end{Program};
    const QString testFile = Work.filePath(QStringLiteral("Energy test.KVD"));

    // First run: the program as the desktop entry starts it.
    QVERIFY(Start({QStringLiteral("Sample")}));
    QCOMPARE(Main()->windowTitle(), QStringLiteral("Harrowvane Physics (sample)"));
    const std::size_t everything = App().Selector()->Results().size();
    QVERIFY(everything > 50);
    Shot(QStringLiteral("01-start"));

    // Topic: Mechanics / Energy, a new search.
    OnModal<QDialog>([this](QDialog* picker) { PickWithKeys(picker, {QStringLiteral("Mechanics"), QStringLiteral("Energy")}, Qt::Key_S); });
    Click(Find<QToolButton>("TopicB"));
    QTRY_VERIFY(App().Selector()->Results().size() < everything);
    const std::size_t energy = App().Selector()->Results().size();
    QCOMPARE(energy, std::size_t(10));
    // Level: Both tiers, narrowing the same search.
    OnModal<QDialog>([this](QDialog* picker) { PickWithKeys(picker, {QStringLiteral("Both tiers")}, Qt::Key_T); });
    Click(Find<QToolButton>("LevelB"));
    QTRY_VERIFY(App().Selector()->Results().size() < energy);
    QStringList found;
    for (TQuestion* q : App().Selector()->Results()) found << QString::fromStdString(q->GetID());
    QCOMPARE(found.join(QLatin1Char(' ')), QStringLiteral("QP103 QP104a QP104b QP104c QP106"));
    Shot(QStringLiteral("03-results"));

    // Read the first found question; picking it offers its data sheet, declined for now.
    QString offer;
    OnModal<QMessageBox>([&offer](QMessageBox* box) { AnswerBox(box, Qt::Key_N, &offer); }, false, 1500);
    ClickResultRow(0);
    QTRY_COMPARE(Id(App().Selection().front()), std::string("QP103"));
    QTest::qWait(1600);
    QVERIFY2(offer.isEmpty() || offer.contains(QStringLiteral("DS01")) || offer.contains(QStringLiteral("resource"), Qt::CaseInsensitive),
             qPrintable(offer));
    QTRY_VERIFY(Find<QTextEdit>("ViewerTX")->toPlainText().contains(QStringLiteral("ball"), Qt::CaseInsensitive) ||
                !Find<QTextEdit>("ViewerTX")->toPlainText().isEmpty());
    // Its mark scheme, back; its specification statement, back; its resource, back.
    FollowRelated("RelMSB", 'M');
    Shot(QStringLiteral("04-markscheme"));
    Click(Find<QToolButton>("BackB"));
    QTRY_COMPARE(Id(App().Selection().front()), std::string("QP103"));
    FollowRelated("RelSylB", 'S');
    QCOMPARE(Id(App().Selection().front()), std::string("S1.1.2"));
    Click(Find<QToolButton>("BackB"));
    QTRY_COMPARE(Id(App().Selection().front()), std::string("QP103"));
    FollowRelated("RelResB", 'R');
    QCOMPARE(Id(App().Selection().front()), std::string("RDS01"));
    Shot(QStringLiteral("05-resource"));
    Click(Find<QToolButton>("BackB"));
    QTRY_COMPARE(Id(App().Selection().front()), std::string("QP103"));

    // Three questions to the document: a click and two Ctrl+clicks, then Copy to document.
    OnModal<QMessageBox>([](QMessageBox* box) { AnswerBox(box, Qt::Key_N); }, false, 1500);
    ClickResultRow(1, Qt::ControlModifier);
    QTest::qWait(1600);
    ClickResultRow(2, Qt::ControlModifier);
    QTRY_COMPARE(App().Selection().size(), std::size_t(3));
    Click(ToolbarButton("CopyToDocB"));
    TDocLogic* test = App().CurrentDocument();
    QVERIFY(test != nullptr);
    QTRY_COMPARE(test->Document->Entries.size(), std::size_t(3));

    // A title at the top and a section title, through their forms.
    OnModal<QDialog>([](QDialog* form) {
      QCOMPARE(form->objectName(), QStringLiteral("TitleForm"));
      QTest::keyClicks(QApplication::focusWidget(), QStringLiteral("Energy: end of topic test"));
      QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
    });
    Menu(QStringLiteral("IT"));
    QTRY_COMPARE(test->Document->Entries.size(), std::size_t(4));
    OnModal<QDialog>([](QDialog* form) {
      QCOMPARE(form->objectName(), QStringLiteral("SectionForm"));
      QTest::keyClicks(QApplication::focusWidget(), QStringLiteral("Section A: stores and transfers"));
      QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
    });
    Menu(QStringLiteral("IS"));
    QTRY_COMPARE(test->Document->Entries.size(), std::size_t(5));
    QVERIFY(test->Document->Entries.front()->OwnsSegment());

    // Reorder: the last question one place up, from the Edit menu's Move submenu.
    QListWidget* docList = DocList(test);
    QVERIFY(docList != nullptr);
    std::vector<std::string> before;
    for (TDocContent* e : test->Document->Entries) before.push_back(Id(e->Segment));
    int lastQuestion = -1;
    for (int i = 0; i < docList->count(); ++i)
      if (!test->Document->Entries[static_cast<std::size_t>(i)]->OwnsSegment()) lastQuestion = i;
    QVERIFY(lastQuestion > 0);
    QTest::mouseClick(docList->viewport(), Qt::LeftButton, {}, docList->visualItemRect(docList->item(lastQuestion)).center());
    QTRY_COMPARE(App().CurrentDocument(), test);
    Menu(QStringLiteral("EMU"));
    std::vector<std::string> after;
    QTRY_VERIFY((after.clear(), [&] {
                   for (TDocContent* e : test->Document->Entries) after.push_back(Id(e->Segment));
                   return after != before;
                 }()));
    std::swap(before[static_cast<std::size_t>(lastQuestion)], before[static_cast<std::size_t>(lastQuestion - 1)]);
    QVERIFY(after == before);

    // Numbering: questions come numbered; Edit, Show Number takes the moved one out of the count
    // and the next time puts it back, and the numbers follow the order each time.
    auto numbers = [test] {
      QStringList n;
      for (TDocContent* e : test->Document->Entries) n << (e->Numbered ? QString::number(e->Number) : QStringLiteral("-"));
      return n.join(QLatin1Char(' '));
    };
    // (The section title went in at the end, after the three questions.)
    QCOMPARE(numbers(), QStringLiteral("- 1 2 3 -"));
    Menu(QStringLiteral("EN"));
    QTRY_COMPARE(numbers(), QStringLiteral("- 1 - 2 -"));
    Menu(QStringLiteral("EN"));
    QTRY_COMPARE(numbers(), QStringLiteral("- 1 2 3 -"));
    Shot(QStringLiteral("06-document"));

    // Save through the file dialog, close the document, and leave the program.
    OnModal<QFileDialog>([&testFile](QFileDialog* d) { AnswerFileDialog(d, testFile); });
    QTest::keyClick(Main(), Qt::Key_S, Qt::ControlModifier);
    QTRY_VERIFY(QFile::exists(testFile));
    QTRY_VERIFY(!test->IsModified);
    Menu(QStringLiteral("FC"));
    QTRY_VERIFY(App().Documents().empty());
    Menu(QStringLiteral("FX"));
    QTRY_COMPARE(QuitCalls, 1);
    QTRY_VERIFY(App().Documents().empty());
    Program.reset();

    int rc = 0;
    const QString decoded = Run(Hvlib(), {QStringLiteral("doc"), testFile}, &rc);
    QVERIFY2(rc == 0, qPrintable(decoded));
    for (const char* id : {"QP103", "QP104a", "QP104b"})
      QVERIFY2(decoded.contains(QLatin1String(id)), qPrintable(decoded));
    QVERIFY2(decoded.contains(QStringLiteral("Energy: end of topic test")), qPrintable(decoded));

    // Second run: the document named on the command line opens beside a new empty one.
    QVERIFY(Start({testFile}));
    QCOMPARE(App().Documents().size(), std::size_t(2));
    TDocLogic* reopened = App().Documents().back().get();
    QCOMPARE(reopened->Document->Entries.size(), std::size_t(5));
    Shot(QStringLiteral("07-reopened"));

    // Its mark scheme document (Ctrl+M) and its report document (Tools, Create Report).
    ActivateDocument(reopened);
    QTest::keyClick(Main(), Qt::Key_M, Qt::ControlModifier);
    QTRY_COMPARE(App().Documents().size(), std::size_t(3));
    TDocLogic* markScheme = App().Documents().back().get();
    QVERIFY(!markScheme->Document->Entries.empty());
    for (TDocContent* e : markScheme->Document->Entries)
      if (!e->OwnsSegment()) QCOMPARE(Id(e->Segment).front(), 'M');
    // Create Report (Ctrl+R) reports on the test in hand, though the empty document the program
    // started with is still the first one open: the questions' reports in its order, with its numbers.
    QVERIFY(App().Documents().front()->Document->Entries.empty());
    ActivateDocument(reopened);
    QTest::keyClick(Main(), Qt::Key_R, Qt::ControlModifier);
    QTRY_COMPARE(App().Documents().size(), std::size_t(4));
    TDocLogic* report = App().Documents().back().get();
    bool hasReport = false;
    for (TDocContent* e : report->Document->Entries) hasReport |= !e->OwnsSegment() && Id(e->Segment).front() == 'E';
    QStringList reportIds;
    for (TDocContent* e : report->Document->Entries) reportIds << QString::fromStdString(Id(e->Segment));
    QVERIFY2(hasReport, qPrintable(reportIds.join(QLatin1Char(' '))));
    std::vector<std::pair<std::string, int>> expected, derived;
    for (TDocContent* e : reopened->Document->Entries)
      if (Id(e->Segment).front() == 'Q') expected.emplace_back(Id(e->Segment).substr(1), e->Numbered ? e->Number : 0);
    for (TDocContent* e : report->Document->Entries)
      derived.emplace_back(e->Segment->Identity != nullptr ? FullID(e->Segment->Identity) : std::string(), e->Numbered ? e->Number : 0);
    QVERIFY(expected == derived);
    Shot(QStringLiteral("08-derived"));

    // Preview the test, then print it to a PDF file and export it to RTF.
    ActivateDocument(reopened);
    OnModal<QWidget>([this](QWidget* preview) {
      QTest::qWait(300);
      // The whole page fills the height of the preview area, not the area's size before showing.
      auto* page = preview->findChild<QLabel*>(QStringLiteral("IPreview"));
      auto* area = preview->findChild<QScrollArea*>(QStringLiteral("PreviewSB"));
      QVERIFY(page != nullptr && area != nullptr);
      const int shown = page->visibleRegion().boundingRect().height();
      QVERIFY2(shown > area->viewport()->height() * 8 / 10,
               qPrintable(QStringLiteral("page shown %1 high in %2").arg(shown).arg(area->viewport()->height())));
      Shot(QStringLiteral("09-preview"), preview);
      QTest::keyClick(preview, Qt::Key_C, Qt::AltModifier);
    });
    Menu(QStringLiteral("FV"));
    QTRY_VERIFY(QApplication::activeModalWidget() == nullptr);

    const QString pdf = Work.filePath(QStringLiteral("Energy test.pdf"));
    TPdfPrintDialogs printDialogs(pdf);
    {
      TPrintDialogsScope printing(printDialogs);
      ActivateDocument(reopened);
      QApplication::setActiveWindow(Main());
      QTest::keyClick(Main(), Qt::Key_P, Qt::ControlModifier);
      QTRY_VERIFY(printDialogs.Pages > 0);
      QTRY_VERIFY(QFileInfo(pdf).size() > 0);
    }
    const QString info = Run(QStringLiteral("pdfinfo"), {pdf}, &rc);
    QVERIFY2(rc == 0, qPrintable(info));
    const QRegularExpressionMatch pages = QRegularExpression(QStringLiteral("Pages:\\s+(\\d+)")).match(info);
    QVERIFY(pages.hasMatch());
    QVERIFY(pages.captured(1).toInt() >= 1);
    QCOMPARE(pages.captured(1).toInt(), printDialogs.Pages);

    const QString rtf = Work.filePath(QStringLiteral("Energy test.rtf"));
    ActivateDocument(reopened);
    OnModal<QFileDialog>([&rtf](QFileDialog* d) { AnswerFileDialog(d, rtf); });
    Menu(QStringLiteral("TO"));
    QTRY_VERIFY(QFileInfo(rtf).size() > 0);
    QFile rtfFile(rtf);
    QVERIFY(rtfFile.open(QIODevice::ReadOnly));
    QVERIFY(rtfFile.read(6) == "{\\rtf1");
    rtfFile.close();
    const QString soffice = QStandardPaths::findExecutable(QStringLiteral("soffice"));
    if (!soffice.isEmpty()) {
      const QString profile = QUrl::fromLocalFile(Work.filePath(QStringLiteral("lo-profile"))).toString();
      const QString out = Run(soffice, {QStringLiteral("-env:UserInstallation=") + profile, QStringLiteral("--headless"),
                                        QStringLiteral("--convert-to"), QStringLiteral("txt:Text"), QStringLiteral("--outdir"),
                                        Work.filePath(QStringLiteral("lo")), rtf}, &rc, 180000);
      QFile text(Work.filePath(QStringLiteral("lo/Energy test.txt")));
      QVERIFY2(text.open(QIODevice::ReadOnly), qPrintable(out));
      const QString plain = QString::fromUtf8(text.readAll());
      QVERIFY2(plain.contains(QStringLiteral("Energy: end of topic test")), qPrintable(plain.left(400)));
      QVERIFY2(plain.contains(QStringLiteral("Section A: stores and transfers")), qPrintable(plain.left(400)));
    } else {
      qWarning("LibreOffice is not installed: the RTF export was not opened in it");
    }

    // A student list in the student list window, saved under a name of its own.
    const QString students = Work.filePath(QStringLiteral("Year 10.ptx"));
    Menu(QStringLiteral("TI"));
    QWidget* pupils = nullptr;
    QTRY_VERIFY((pupils = Find<QWidget>("PupilForm")) != nullptr && pupils->isVisible());
    QApplication::setActiveWindow(pupils);
    auto* grid = pupils->findChild<QTableWidget*>(QStringLiteral("grPupil"));
    QVERIFY(grid != nullptr);
    // The class comes from the school's records as a comma-separated export, through Import.
    const QString csv = Work.filePath(QStringLiteral("Year 10 export.csv"));
    {
      QFile out(csv);
      QVERIFY(out.open(QIODevice::WriteOnly));
      out.write("Ashworth,Ada,01/09/2009,F\r\nBaptiste,Kofi,15/03/2010,M\r\n");
    }
    OnModal<QFileDialog>([&csv](QFileDialog* d) { AnswerFileDialog(d, csv); });
    QTest::keyClick(pupils, Qt::Key_I, Qt::AltModifier);
    QTRY_COMPARE(grid->item(1, 1) != nullptr ? grid->item(1, 1)->text() : QString(), QStringLiteral("Kofi"));
    Shot(QStringLiteral("10-students"), pupils);
    OnModal<QFileDialog>([&students](QFileDialog* d) { AnswerFileDialog(d, students); });
    QApplication::setActiveWindow(pupils);
    QTest::keyClick(pupils, Qt::Key_A, Qt::AltModifier);
    QTRY_VERIFY(QFile::exists(students));
    QFile studentFile(students);
    QVERIFY(studentFile.open(QIODevice::ReadOnly));
    const QByteArray listed = studentFile.readAll();
    QVERIFY2(listed.contains("Ashworth") && listed.contains("Kofi"), listed.constData());
    QApplication::setActiveWindow(pupils);
    QTest::keyClick(pupils, Qt::Key_C, Qt::AltModifier);
    QTRY_VERIFY(!pupils->isVisible());

    // The mark entry sheet of the test for that list: a workbook from the installed template.
    QString viewed;
    SetWorkbookViewer([&viewed](const std::string& file) {
      viewed = QString::fromStdString(file);
      return true;
    });
    const QString marks = Work.filePath(QStringLiteral("Energy marks.xlsx"));
    ActivateDocument(reopened);
    OnModal<QMessageBox>([&](QMessageBox* box) {
      QCOMPARE(box->text(), QStringLiteral("Do you want to use a Student list?"));
      OnModal<QFileDialog>([&](QFileDialog* open) {
        AnswerFileDialog(open, students);
        OnModal<QFileDialog>([&marks](QFileDialog* save) { AnswerFileDialog(save, marks); });
      });
      AnswerBox(box, Qt::Key_Y);
    });
    Menu(QStringLiteral("TM"));
    QTRY_COMPARE_WITH_TIMEOUT(viewed, marks, 20000);
    SetWorkbookViewer(nullptr);
    const QString cells = Run(QStringLiteral("unzip"), {QStringLiteral("-p"), marks}, &rc);
    QVERIFY2(rc == 0, qPrintable(cells.left(300)));
    for (const char* text : {"Ashworth", "Baptiste", "SUM("})
      QVERIFY2(cells.contains(QLatin1String(text)), text);
    // Each question's maximum mark stands in the sheet: 2, 3 and 1 for the three questions.
    for (const char* value : {"<v>2</v>", "<v>3</v>", "<v>1</v>"}) QVERIFY2(cells.contains(QLatin1String(value)), value);

    // Six students' marks typed into the sheet (the list named two; rows are students whether
    // named or not), then brought back through Tools, Import Marks, for the class 10B.
    std::vector<TQuestion*> sat;
    for (const TDocContent* entry : reopened->Document->Entries)
      if (auto* q = dynamic_cast<TQuestion*>(entry->Segment)) sat.push_back(q);
    QCOMPARE(sat.size(), std::size_t(3));
    {
      TWorkbook book = TWorkbook::Open(marks.toStdString());
      const double typed[6][3] = {{2, 3, 1}, {2, 2, 1}, {1, 2, 1}, {0, 1, 0}, {0, 0, 1}, {0, 1, 0}};
      for (int r = 0; r < 6; ++r)
        for (int q = 0; q < 3; ++q) book.Sheet(1).SetNumber(9 + r, 5 + q, typed[r][q]);
      book.SaveAs(marks.toStdString());
    }
    QString imported;
    OnModal<QFileDialog>([&](QFileDialog* d) {
      OnModal<QInputDialog>([&](QInputDialog* in) {
        OnModal<QMessageBox>([&](QMessageBox* box) {
          imported = box->text();
          box->accept();
        });
        QCOMPARE(in->textValue(), QStringLiteral("Energy marks"));  // the workbook's name, to be changed
        in->setTextValue(QStringLiteral("10B"));
        in->accept();
      });
      AnswerFileDialog(d, marks);
    });
    Menu(QStringLiteral("TK"));
    QTRY_VERIFY(!imported.isEmpty());
    QCOMPARE(imported, QStringLiteral("The marks of 6 students on 3 questions were imported for 10B."));
    // By hand: question one (2 marks) 2 2 1 0 0 0, facility 5/12; against the rest of the test
    // 4 3 3 1 1 1, r = 0.944. Question two (3 marks) 3 2 2 1 0 1: 0.5 and r = 0.761.
    App().SelectItem(sat[0], TListRef(App().Selector()->Results()), false);
    auto* statsLine = Find<QLabel>("StatsL");
    QVERIFY(statsLine != nullptr);
    const QString when = QString::fromStdString(ShortDate(FileDate(marks.toStdString())));
    QTRY_COMPARE(statsLine->text(), QStringLiteral("Used 1 time \u00b7 facility 0.42 \u00b7 discrimination 0.94 \u00b7 last with 10B on ") + when);
    Shot(QStringLiteral("11-statistics"));
    int hv = 0;
    const QString shown = Run(Hvlib(), {QStringLiteral("stats"), QStringLiteral("show"), QStringLiteral("Sample")}, &hv);
    QCOMPARE(hv, 0);
    // One line per question, by typed ID: P103, then P104a (the third in the test), P104b.
    QCOMPARE(shown, QString::fromStdString(sat[0]->GetID() + "\t1\t0.417\t0.944\n" + sat[2]->GetID() +
                                           "\t1\t0.667\t0.525\n" + sat[1]->GetID() + "\t1\t0.500\t0.761\n"));

    // The filters: harder than 0.45 leaves question one alone; "not used with 10B" hides the three.
    auto* facility = Find<QComboBox>("FacilityCB");
    auto* bound = Find<QDoubleSpinBox>("FacilitySB");
    auto* cls = Find<QComboBox>("ClassCB");
    QVERIFY(facility != nullptr && bound != nullptr && cls != nullptr && facility->isVisible());
    facility->setCurrentIndex(1);
    bound->setValue(0.45);
    QCOMPARE(App().Selector()->Results(), std::vector<TQuestion*>{sat[0]});
    Shot(QStringLiteral("12-facility-filter"));
    facility->setCurrentIndex(0);
    QCOMPARE(App().Selector()->Results().size(), everything);
    cls->setCurrentIndex(cls->findData(QStringLiteral("10B")));
    QCOMPARE(App().Selector()->Results().size(), everything - 3);
    for (TQuestion* q : sat)
      QVERIFY(std::find(App().Selector()->Results().begin(), App().Selector()->Results().end(), q) ==
              App().Selector()->Results().end());
    Shot(QStringLiteral("13-class-filter"));
    cls->setCurrentIndex(0);

    // Exit: the two derived documents were never saved. Save the first asked about, drop the other.
    const QString msFile = Work.filePath(QStringLiteral("Energy derived.KVD"));
    QStringList questions;
    std::function<void(QMessageBox*)> answer = [&](QMessageBox* box) {
      questions << box->text();
      const bool first = questions.size() == 1;
      // The next question is awaited from the file dialog on, when this box has gone.
      if (first)
        OnModal<QFileDialog>([&](QFileDialog* d) {
          OnModal<QMessageBox>(answer);
          AnswerFileDialog(d, msFile);
        });
      AnswerBox(box, first ? Qt::Key_Y : Qt::Key_N);
    };
    OnModal<QMessageBox>(answer);
    Menu(QStringLiteral("FX"));
    QTRY_COMPARE(QuitCalls, 2);
    QTRY_VERIFY(App().Documents().empty());
    QCOMPARE(questions.size(), 2);
    QVERIFY(QFile::exists(msFile));
    const QString msDecoded = Run(Hvlib(), {QStringLiteral("doc"), msFile}, &rc);
    // Close All asks about the documents in its own order; the one saved is a derived document.
    QVERIFY2(rc == 0 && (msDecoded.contains(QStringLiteral("MP103")) || msDecoded.contains(QStringLiteral("EP103"))),
             qPrintable(msDecoded));
    Program.reset();
  }
};

int main(int argc, char** argv) {
  // The program's own application object, which shows errors escaping an event in a box.
  THvApplication app(argc, argv);
  EndToEndTest test;
  return QTest::qExec(&test, argc, argv);
}

#include "EndToEndTest.moc"
