// The main window: menus and buttons by component name, status line, first layout, minimum size,
// help and the About box.
#include <QLabel>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QTest>
#include <QTextBrowser>
#include <QToolBar>

#include "ScriptedAsk.h"
#include "WindowRig.h"
#include "commands/MainMenu.h"
#include "model/Document.h"
#include "windows/HelpForm.h"

using namespace hv;
using namespace hv::test;

class MainFormTest : public QObject {
  Q_OBJECT

private slots:
  void everyMenuItemAndButtonIsFoundByItsComponentName() {
    TScriptedAsk ask;
    TWindowRig rig;
    std::function<void(const std::vector<TMenuItemSpec>&)> check = [&](const std::vector<TMenuItemSpec>& items) {
      for (const TMenuItemSpec& item : items) {
        if (*item.Caption == '\0') continue;
        QAction* action = rig.Main->findChild<QAction*>(QLatin1String(item.ObjectName));
        QVERIFY2(action != nullptr, item.ObjectName);
        QCOMPARE(action->text(), QString::fromUtf8(item.Caption));
        // Several shortcuts are listed "first; second"; the first is the one menus show.
        QCOMPARE(action->shortcut(),
                 QKeySequence::listFromString(QString::fromUtf8(item.Shortcut), QKeySequence::PortableText).value(0));
        // An item whose command does not exist yet must never look usable.
        if (*item.Command != '\0' && FindCommandClass(item.Command) == nullptr) QVERIFY2(!action->isEnabled(), item.ObjectName);
        check(item.Children);
      }
    };
    for (const TMenuSpec& menu : MainMenuSpec()) check(menu.Items);
    for (const TToolButtonSpec& button : ToolbarSpec()) {
      QAction* action = rig.Main->Panel1()->findChild<QAction*>(QLatin1String(button.ObjectName));
      QVERIFY2(action != nullptr, button.ObjectName);
      QCOMPARE(action->toolTip(), QString::fromUtf8(button.Hint));
      QVERIFY2(!action->icon().isNull(), button.ObjectName);
      if (FindCommandClass(button.Command) == nullptr) QVERIFY2(!action->isEnabled(), button.ObjectName);
    }
    QVERIFY(!rig.Main->Action(QStringLiteral("Debug1"))->isVisible());
    // Hidden items take no shortcuts: Insert Text and Edit Text (Ctrl+E) must be shown to be used.
    QVERIFY(rig.Main->Action(QStringLiteral("InsertTextM"))->isVisible());
    QVERIFY(rig.Main->Action(QStringLiteral("EditTextM"))->isVisible());
    QVERIFY(!rig.Main->Action(QStringLiteral("ContextHelp1"))->isVisible());
  }

  void commandsFollowTheState() {
    TScriptedAsk ask;
    TWindowRig rig;
    QAction* save = rig.Main->Action(QStringLiteral("SaveB"));
    QAction* close = rig.Main->Action(QStringLiteral("Close1"));
    QVERIFY(!close->isEnabled());
    rig.Main->show();  // the first document window becomes the current document
    QVERIFY(close->isEnabled());
    QVERIFY(!save->isEnabled());
    rig.Doc(0)->InsertEntries({rig.Results()[0]}, -1);
    QVERIFY(save->isEnabled());
    QVERIFY(rig.Main->Action(QStringLiteral("Save1"))->isEnabled());
  }

  void editionCaptionsAreApplied() {
    TScriptedAsk ask;
    TWindowRig rig;
    rig.Main->ApplyEdition();
    QCOMPARE(rig.Main->Action(QStringLiteral("ViewMSM"))->text(), QStringLiteral("&Markscheme"));
    // These three show their captions unchanged and carry an access key besides.
    QCOMPARE(rig.Main->Action(QStringLiteral("ViewExRepM"))->text(), QStringLiteral("&Examiner's Report"));
    QCOMPARE(rig.Main->Action(QStringLiteral("ViewSylM"))->text(), QStringLiteral("&Specification"));
    QCOMPARE(rig.Main->Action(QStringLiteral("AboutVornika1"))->text(), QStringLiteral("&About Harrowvane..."));
    QCOMPARE(rig.Main->Action(QStringLiteral("ViewSylB"))->toolTip(), QStringLiteral("View Specification"));
    QVERIFY(rig.Main->Action(QStringLiteral("CreateSummary1"))->isVisible());
    QCOMPARE(rig.Main->ProductTitle(), QStringLiteral("Harrowvane"));
  }

  void statusLineFollowsListAndSelectionOnly() {
    TScriptedAsk ask;
    TWindowRig rig;
    QLabel* status = rig.Main->StatusP();
    QCOMPARE(status->text(), QString());
    const TListRef results(rig.Results());

    // The third of ten results, forty marks among them and no time.
    rig.App.SetCurrentList(results, 2);
    QCOMPARE(status->text(), QString());  // nothing selected yet
    rig.App.SelectItem(rig.Results()[2], results, true);
    QCOMPARE(status->text(), QStringLiteral("  Item 3 of 10 in Question Finder, total marks: 40"));

    // One item that is not the list's current item counts alone.
    rig.App.SelectItem(rig.Results()[6], TListRef(), false);
    QCOMPARE(status->text(), QStringLiteral("1 item, total marks: 4"));

    // Three free texts without marks or time.
    rig.App.NewDocument();
    TDocLogic* doc = rig.Doc(0);
    for (int i = 0; i < 3; ++i) doc->InsertText(-1, "Note", false, nullptr, 0, 0);
    const TListRef entries(doc->Document->Entries);
    rig.App.SetCurrentList(entries, 0);
    rig.App.SetSelection({doc->Document->Entries.begin(), doc->Document->Entries.end()}, entries);
    QCOMPARE(status->text(), QStringLiteral("  3 items"));

    // Positioned in the current document, which the status line names.
    rig.App.SetCurrentDocument(doc);
    doc->InsertEntries({rig.Results()[0]}, 0);
    rig.App.SetCurrentList(entries, 0);
    rig.App.SelectItem(doc->Document->Entries[0], entries, true);
    QCOMPARE(status->text(), QStringLiteral("  Item 1 of 4 in Untitled, total marks: 4"));

    // A change of the document alone leaves the line as it was, until the selection is touched.
    doc->InsertEntries({rig.Results()[1]}, -1);
    QCOMPARE(status->text(), QStringLiteral("  Item 1 of 4 in Untitled, total marks: 4"));
    rig.App.TouchSelection();
    QCOMPARE(status->text(), QStringLiteral("  Item 1 of 5 in Untitled, total marks: 8"));

    rig.App.SetSelection({}, TListRef());
    QCOMPARE(status->text(), QString());
  }

  void firstLayoutArithmetic() {
    TFrameMeasures m;
    m.ToolbarTop = 0;
    m.ToolbarHeight = 33;
    m.H = 776;
    m.CH = 720;
    m.S = 17;
    m.W = 1032;
    m.L = -4;
    m.Q = 321;
    const TFirstLayout layout = ComputeFirstLayout(m);
    QCOMPARE(layout.QuestionFinder, QRect(0, 3, 321, 393));
    QCOMPARE(layout.Viewer, QRect(321, 3, 699, 660));
    QCOMPARE(layout.DocHeight, 267);
    QCOMPARE(layout.DocWidth, 321);
    QCOMPARE(layout.Document, QRect(0, 396, 321, 267));
    // An odd height halves towards zero.
    m.H = 777;
    QCOMPARE(ComputeFirstLayout(m).Document.top(), 396);
  }

  void firstShowingPlacesTheEmptyDocumentAndSelectsTheFirstResult() {
    TScriptedAsk ask;
    TWindowRig rig;
    rig.Main->show();
    QVERIFY(!rig.Main->FirstShowPending());
    QCOMPARE(rig.Main->windowTitle(), QStringLiteral("Harrowvane Ten questions"));
    QCOMPARE(rig.App.Documents().size(), std::size_t(1));
    QMdiSubWindow* doc = rig.Main->MdiArea()->subWindowList().at(0);
    QCOMPARE(doc->width(), rig.Main->DocWidth());
    QCOMPARE(doc->height(), rig.Main->DocHeight());
    QVERIFY(doc->height() > 100);
    QCOMPARE(doc->x(), 0);
    QCOMPARE(rig.Main->StatusP()->text(), QStringLiteral("  Item 1 of 10 in Question Finder, total marks: 40"));
    // A second showing does not start up again.
    rig.Main->hide();
    rig.Main->show();
    QCOMPARE(rig.App.Documents().size(), std::size_t(1));
  }

  void cannotBeMadeSmallerThanItsMinimum() {
    TScriptedAsk ask;
    TWindowRig rig;
    rig.Main->show();
    rig.Main->resize(200, 100);
    QCOMPARE(rig.Main->size(), QSize(460, 350));
  }

  void windowMenuArrangesAndListsChildren() {
    TScriptedAsk ask;
    TWindowRig rig;
    rig.Main->show();
    rig.App.NewDocument();
    QMdiArea* area = rig.Main->MdiArea();
    rig.Main->Action(QStringLiteral("Tile1"))->trigger();
    const QList<QMdiSubWindow*> children = area->subWindowList();
    QCOMPARE(children.size(), 2);
    QVERIFY(!children[0]->geometry().intersects(children[1]->geometry()));
    auto* windowMenu = rig.Main->findChild<QMenu*>(QStringLiteral("Window1"));
    QVERIFY(windowMenu != nullptr);
    emit windowMenu->aboutToShow();
    QStringList listed;
    for (QAction* a : windowMenu->actions())
      if (a->property("ChildWindow").isValid()) listed << a->text();
    QCOMPARE(listed, (QStringList{QStringLiteral("&1 Untitled"), QStringLiteral("&2 Untitled")}));
  }

  void helpShowsContentsSearchAndContextTopics() {
    TScriptedAsk ask;
    TWindowRig rig;
    rig.Main->Action(QStringLiteral("Contents1"))->trigger();
    THelpForm* help = rig.Main->Help();
    QVERIFY(help->isVisible());
    QCOMPARE(help->CurrentPage(), QStringLiteral("index.html"));
    QVERIFY(!help->Browser()->toPlainText().isEmpty());
    help->ShowContext(201);
    QCOMPARE(help->CurrentPage(), QStringLiteral("question-finder.html"));
    help->ShowContext(999);
    QCOMPARE(help->CurrentPage(), QStringLiteral("index.html"));
    // Every page named by a context exists, and every keyword leads to a topic.
    for (int context : {189, 201, 216, 220, 247}) QVERIFY(QFile::exists(QStringLiteral(":/help/") + THelpIndex::Instance().PageOf(context)));
    const QStringList keywords = THelpIndex::Instance().Keywords();
    QVERIFY(keywords.size() > 10);
    for (const QString& k : keywords) QVERIFY2(!THelpIndex::Instance().TopicsFor(k).isEmpty(), qPrintable(k));
    // Pictures in the pages resolve inside the embedded resources.
    QVERIFY(QFile::exists(QStringLiteral(":/app/harrowvane-32.png")));
    QVERIFY(QFile::exists(QStringLiteral(":/icons/buttons/NewB.svg")));
  }
};

QTEST_MAIN(MainFormTest)
#include "MainFormTest.moc"
