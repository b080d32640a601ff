// Cut, Copy, Paste, Clear, Select All, Copy to Document, Show Number and the moves, and the rule
// that a focused text field gets the clipboard keys.
#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QLineEdit>
#include <QMainWindow>
#include <QTest>
#include <QTextEdit>
#include <QVBoxLayout>

#include <set>

#include "CommandFixtures.h"
#include "CommandTests.h"
#include "ScriptedAsk.h"
#include "commands/EditCommands.h"

using namespace hv;
using namespace hv::test;

namespace {

// Numbers of the numbered entries in order, 0 for entries without a number.
std::vector<int> Numbers(const TDocLogic* doc) {
  std::vector<int> numbers;
  for (const TDocContent* e : doc->Document->Entries) numbers.push_back(e->Numbered ? e->Number : 0);
  return numbers;
}

template <class TCmd>
bool Enabled() {
  TCmd cmd;
  return cmd.IsEnabled();
}

}  // namespace

class EditCommandsTest : public QObject {
  Q_OBJECT
  std::unique_ptr<TCommandWorld> World;

  // Questions P101, P102, P103 and the statement S11 (not numbered).
  TDocLogic* FourEntries() {
    auto& lib = World->Lib;
    return World->DocumentWith({lib.P101->Question, lib.P102->Question, lib.S11->Syllabus, lib.P103->Question});
  }

private slots:
  void init() { World = std::make_unique<TCommandWorld>(); }
  void cleanup() { World.reset(); }

  void cutTakesTheSelectionToTheClipboard() {
    TDocLogic* doc = FourEntries();
    TDocContent* second = doc->Document->Entries[1];
    World->Click(World->Entries(doc), 1);
    QVERIFY(Enabled<TCutCmd>());
    RunCommand<TCutCmd>();
    QCOMPARE(doc->Document->Entries.size(), std::size_t{3});
    QCOMPARE(World->App.Clipboard().size(), std::size_t{1});
    QVERIFY(World->App.Clipboard().front().get() != second);
    QCOMPARE(World->App.Clipboard().front()->Segment, static_cast<TTextSegment*>(World->Lib.P102->Question));
    QCOMPARE(World->App.CurrentIndex(), -1);
    QVERIFY(World->App.Selection().empty());
    QVERIFY(!World->App.SelectionSource());
    QCOMPARE(Numbers(doc), (std::vector<int>{1, 0, 2}));
    // Nothing is current any more, so nothing that needs the current entry is possible.
    QVERIFY(!Enabled<TCutCmd>() && !Enabled<TClearCmd>() && !Enabled<TToggleNumberedCmd>());
    QVERIFY(!Enabled<TMoveUpCmd>() && !Enabled<TMoveDownCmd>());
  }

  void clearLeavesTheClipboardAlone() {
    TDocLogic* doc = FourEntries();
    World->Click(World->Entries(doc), 0);
    RunCommand<TCopyCmd>();
    World->ClickRange(World->Entries(doc), 1, 2);
    QVERIFY(Enabled<TClearCmd>());
    RunCommand<TClearCmd>();
    QCOMPARE(doc->Document->Entries.size(), std::size_t{2});
    QCOMPARE(World->App.Clipboard().size(), std::size_t{1});
    QCOMPARE(World->App.CurrentIndex(), -1);
    QVERIFY(World->App.Selection().empty());
    QVERIFY(!World->App.SelectionSource());
  }

  void cutNeedsASelectionFromTheCurrentDocument() {
    TDocLogic* first = FourEntries();
    World->Click(World->Results(), 0);
    QVERIFY(!Enabled<TCutCmd>() && !Enabled<TClearCmd>());
    QVERIFY(Enabled<TCopyCmd>() && Enabled<TCopyToDocCmd>());
    World->Click(World->Entries(first), 0);
    QVERIFY(Enabled<TCutCmd>());
    QVERIFY(!Enabled<TCopyToDocCmd>());  // not into the document it came from
    World->NewDocument();
    QVERIFY(!Enabled<TCutCmd>());
    QVERIFY(Enabled<TCopyToDocCmd>());
  }

  void pasteTwicePastesIndependentCopies() {
    TDocLogic* source = FourEntries();
    World->ClickRange(World->Entries(source), 0, 1);
    RunCommand<TCopyCmd>();
    TDocLogic* target = World->NewDocument();
    QVERIFY(Enabled<TPasteCmd>());
    RunCommand<TPasteCmd>();
    {
      // The second paste meets both questions again, one question each.
      TScriptedAsk ask;
      ask.ExpectConfirm(QStringLiteral("Untitled already contains QP101. Do you want to include it again?"), TAskAnswer::Yes)
          .ExpectConfirm(QStringLiteral("Untitled already contains QP102. Do you want to include it again?"), TAskAnswer::Yes);
      RunCommand<TPasteCmd>();
      QVERIFY(ask.Verify());
    }
    const auto& entries = target->Document->Entries;
    QCOMPARE(entries.size(), std::size_t{4});
    std::set<const TDocContent*> distinct(entries.begin(), entries.end());
    for (const auto& held : World->App.Clipboard()) distinct.insert(held.get());
    QCOMPARE(distinct.size(), std::size_t{6});
    QCOMPARE(Numbers(target), (std::vector<int>{1, 2, 3, 4}));
  }

  void pasteAppendsOwnedTextsAsCopies() {
    TDocLogic* doc = World->NewDocument();
    doc->InsertText(-1, "Instructions", false, std::make_unique<TTextChunk>(std::vector<std::string>{"{\\rtf1 a}"}), 0, 0);
    World->Click(World->Entries(doc), 0);
    RunCommand<TCopyCmd>();
    RunCommand<TPasteCmd>();
    const auto& entries = doc->Document->Entries;
    QCOMPARE(entries.size(), std::size_t{2});
    QVERIFY(entries[0]->Segment != entries[1]->Segment);
    QVERIFY(entries[1]->Segment != World->App.Clipboard().front()->Segment);
    QCOMPARE(entries[1]->Segment->GetName(), std::string("Instructions"));
  }

  void copyToDocumentAppendsWhateverIsSelectedThere() {
    TDocLogic* doc = FourEntries();
    World->Click(World->Entries(doc), 0);
    World->Click(World->Results(), 3);
    RunCommand<TCopyToDocCmd>();
    QCOMPARE(doc->Document->Entries.size(), std::size_t{5});
    QCOMPARE(doc->Document->Entries.back()->Segment, static_cast<TTextSegment*>(World->Lib.P201->Question));
  }

  void selectAllSelectsTheCurrentList() {
    QVERIFY(!Enabled<TSelectAllCmd>());  // nothing is browsed yet
    World->Click(World->Results(), 2);
    QVERIFY(Enabled<TSelectAllCmd>());
    RunCommand<TSelectAllCmd>();
    QCOMPARE(World->App.Selection().size(), std::size_t{4});
    QVERIFY(World->App.SelectionSource() == World->Results());
  }

  void showNumberTogglesAndRenumbers() {
    TDocLogic* doc = FourEntries();
    QAction menu;
    std::unique_ptr<TCommand> cmd(TCommand::Create<TToggleNumberedCmd>(nullptr, &menu, nullptr));
    QVERIFY(!menu.isEnabled());
    World->Click(World->Entries(doc), 0);
    QVERIFY(menu.isEnabled() && menu.isChecked());
    menu.trigger();
    QVERIFY(!menu.isChecked());
    QCOMPARE(Numbers(doc), (std::vector<int>{0, 1, 0, 2}));
    World->Click(World->Entries(doc), 2);
    QVERIFY(menu.isEnabled() && !menu.isChecked());
    menu.trigger();
    QVERIFY(menu.isChecked());
    QCOMPARE(Numbers(doc), (std::vector<int>{0, 1, 2, 3}));
    World->ClickRange(World->Entries(doc), 0, 1);
    QVERIFY(!menu.isEnabled() && !menu.isChecked());
  }

  void movesStopAtTheEnds() {
    TDocLogic* doc = FourEntries();
    World->Click(World->Entries(doc), 0);
    QVERIFY(!Enabled<TMoveToTopCmd>() && !Enabled<TMoveUpCmd>());
    QVERIFY(Enabled<TMoveDownCmd>() && Enabled<TMoveToBottomCmd>());
    World->Click(World->Entries(doc), 3);
    QVERIFY(Enabled<TMoveToTopCmd>() && Enabled<TMoveUpCmd>());
    QVERIFY(!Enabled<TMoveDownCmd>() && !Enabled<TMoveToBottomCmd>());
    World->ClickRange(World->Entries(doc), 1, 2);
    QVERIFY(!Enabled<TMoveToTopCmd>() && !Enabled<TMoveUpCmd>() && !Enabled<TMoveDownCmd>() &&
            !Enabled<TMoveToBottomCmd>());
    // The selection alone decides, not the list the window shows.
    World->Click(World->Results(), 1);
    QVERIFY(!Enabled<TMoveUpCmd>() && !Enabled<TMoveDownCmd>());
  }

  void movesKeepTheEntryCurrent() {
    TDocLogic* doc = FourEntries();
    TDocContent* moving = doc->Document->Entries[1];
    World->Click(World->Entries(doc), 1);
    RunCommand<TMoveToBottomCmd>();
    QCOMPARE(doc->Document->Entries[3], moving);
    QCOMPARE(World->App.CurrentIndex(), 3);
    QCOMPARE(World->App.SelectedItem(), static_cast<TStreamable*>(moving));
    RunCommand<TMoveUpCmd>();
    QCOMPARE(doc->Document->Entries[2], moving);
    QCOMPARE(World->App.CurrentIndex(), 2);
    RunCommand<TMoveToTopCmd>();
    QCOMPARE(doc->Document->Entries[0], moving);
    RunCommand<TMoveDownCmd>();
    QCOMPARE(doc->Document->Entries[1], moving);
    QCOMPARE(World->App.CurrentIndex(), 1);
    QCOMPARE(Numbers(doc), (std::vector<int>{1, 2, 0, 3}));
  }

  void movesRefreshAfterTheMove() {
    TDocLogic* doc = FourEntries();
    QAction up, down;
    std::unique_ptr<TCommand> c1(TCommand::Create<TMoveUpCmd>(nullptr, &up, nullptr));
    std::unique_ptr<TCommand> c2(TCommand::Create<TMoveDownCmd>(nullptr, &down, nullptr));
    World->Click(World->Entries(doc), 1);
    QVERIFY(up.isEnabled() && down.isEnabled());
    up.trigger();
    QVERIFY(!up.isEnabled() && down.isEnabled());
    // The last entry cannot go down until the document grows past it.
    World->Click(World->Entries(doc), 3);
    QVERIFY(!down.isEnabled());
    doc->InsertEntries({World->Lib.P201->Question}, -1);
    QVERIFY(down.isEnabled());
  }

  // While a text field has the focus the clipboard keys and menu items work on its text.
  void focusedTextFieldsKeepTheClipboardKeys() {
    TDocLogic* doc = FourEntries();
    World->Click(World->Entries(doc), 1);
    QMainWindow window;
    auto* central = new QWidget(&window);
    auto* edit = new QLineEdit(QStringLiteral("gravity"), central);
    (new QVBoxLayout(central))->addWidget(edit);
    window.setCentralWidget(central);
    auto* copyM = new QAction(QStringLiteral("&Copy"), &window);
    copyM->setShortcut(QKeySequence(QStringLiteral("Ctrl+C")));
    auto* clearM = new QAction(QStringLiteral("Cle&ar"), &window);
    clearM->setShortcut(QKeySequence(QStringLiteral("Del")));
    auto* cutM = new QAction(QStringLiteral("Cu&t"), &window);
    cutM->setShortcut(QKeySequence(QStringLiteral("Ctrl+X")));
    window.addAction(copyM);
    window.addAction(clearM);
    window.addAction(cutM);
    TCommand::Create<TCopyCmd>(&window, copyM, nullptr);
    TCommand::Create<TClearCmd>(&window, clearM, nullptr);
    TCommand::Create<TCutCmd>(&window, cutM, nullptr);
    window.show();
    QApplication::setActiveWindow(&window);
    edit->setFocus();
    QVERIFY(QTest::qWaitForWindowActive(&window));
    QCOMPARE(FocusedTextField(), static_cast<QWidget*>(edit));

    // From the menu: the command sees the focused field and leaves the document alone.
    edit->selectAll();
    copyM->trigger();
    QCOMPARE(QGuiApplication::clipboard()->text(), QStringLiteral("gravity"));
    QVERIFY(World->App.Clipboard().empty());
    edit->setCursorPosition(0);
    clearM->trigger();
    QCOMPARE(edit->text(), QStringLiteral("ravity"));
    QCOMPARE(doc->Document->Entries.size(), std::size_t{4});

    // From the keyboard.
    QTest::keyClick(edit, Qt::Key_Delete);
    QCOMPARE(edit->text(), QStringLiteral("avity"));
    edit->selectAll();
    QTest::keyClick(edit, Qt::Key_X, Qt::ControlModifier);
    QCOMPARE(edit->text(), QString());
    QCOMPARE(QGuiApplication::clipboard()->text(), QStringLiteral("avity"));
    QCOMPARE(doc->Document->Entries.size(), std::size_t{4});
    QVERIFY(World->App.Clipboard().empty());

    // Without a focused text field the same menu item cuts from the document.
    edit->clearFocus();
    window.setFocus();
    QVERIFY(FocusedTextField() == nullptr);
    cutM->trigger();
    QCOMPARE(doc->Document->Entries.size(), std::size_t{3});
    QCOMPARE(World->App.Clipboard().size(), std::size_t{1});

    // A read-only text (the Viewer's) leaves Copy and Clear to the selected items.
    auto* viewer = new QTextEdit(QStringLiteral("gravity"), central);
    viewer->setReadOnly(true);
    viewer->show();
    viewer->setFocus();
    QCOMPARE(FocusedTextField(), static_cast<QWidget*>(viewer));
    World->Click(World->Entries(doc), 0);
    copyM->trigger();
    QCOMPARE(World->App.Clipboard().front()->Segment, doc->Document->Entries[0]->Segment);
    clearM->trigger();
    QCOMPARE(doc->Document->Entries.size(), std::size_t{2});
  }
};

int RunEditCommandTests(int argc, char** argv) {
  EditCommandsTest test;
  return QTest::qExec(&test, argc, argv);
}

#include "EditCommandsTest.moc"
