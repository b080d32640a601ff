// Keyboard and screen-reader access: every menu command has an access key and is reachable from
// the keyboard, lists and buttons have names, the selected question is announced by its ID and
// title, and Tab walks each dialog in the order its fields are laid out.
#include <QAccessible>
#include <QAccessibleInterface>
#include <QListView>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMdiSubWindow>
#include <QMenuBar>
#include <QSet>
#include <QTableWidget>
#include <QTextEdit>
#include <QToolBar>
#include <QToolButton>

#include <map>

#include "FindingRig.h"
#include "PupilForm.h"
#include "commands/EditCommands.h"
#include "model/Categories.h"
#include "output/EditForm.h"
#include "output/TitleForms.h"
#include "windows/AboutForm.h"

using namespace hv;
using namespace hv::test;

namespace {

// The access key of a caption ("Save &As..." gives 'A'); a null character when there is none.
// "&&" is a literal ampersand, not a key.
QChar Mnemonic(const QString& caption) {
  for (qsizetype i = 0; i + 1 < caption.size(); ++i) {
    if (caption[i] != QLatin1Char('&')) continue;
    if (caption[i + 1] == QLatin1Char('&')) {
      ++i;
      continue;
    }
    return caption[i + 1].toUpper();
  }
  return {};
}

QString AccessibleName(QObject* object) {
  QAccessibleInterface* iface = QAccessible::queryAccessibleInterface(object);
  return iface != nullptr ? iface->text(QAccessible::Name) : QString();
}

// The widgets Tab visits in a window, in the order it visits them, from the first one after the
// window itself; hidden widgets and those that take no keyboard focus are skipped, as Tab does.
QList<QWidget*> TabChain(QWidget* window) {
  QList<QWidget*> chain;
  for (QWidget* w = window->nextInFocusChain(); w != window && w != nullptr; w = w->nextInFocusChain()) {
    if (!window->isAncestorOf(w) || !w->isVisibleTo(window)) continue;
    // An open cell editor belongs to its grid, which Tab visits as one stop.
    bool inView = false;
    for (QWidget* p = w->parentWidget(); p != nullptr && p != window; p = p->parentWidget())
      inView |= qobject_cast<QAbstractItemView*>(p) != nullptr;
    if (inView) continue;
    if ((w->focusPolicy() & Qt::TabFocus) == 0 || w->focusProxy() != nullptr) continue;
    if (chain.contains(w)) break;
    chain << w;
  }
  return chain;
}

QString Names(const QList<QWidget*>& widgets) {
  QStringList names;
  for (QWidget* w : widgets) names << (w->objectName().isEmpty() ? QString::fromLatin1(w->metaObject()->className()) : w->objectName());
  return names.join(QStringLiteral(" -> "));
}

// Fails unless each widget of the chain comes after the one before it in reading order: on the
// same line further right, or lower down.
void VerifyVisualOrder(QWidget* window, const QList<QWidget*>& chain) {
  for (qsizetype i = 1; i < chain.size(); ++i) {
    const QRect a(chain[i - 1]->mapTo(window, QPoint(0, 0)), chain[i - 1]->size());
    const QRect b(chain[i]->mapTo(window, QPoint(0, 0)), chain[i]->size());
    const bool sameLine = b.center().y() >= a.top() && b.center().y() <= a.bottom() &&
                          a.center().y() >= b.top() && a.center().y() <= b.bottom();
    const bool inOrder = sameLine ? b.left() > a.left() : b.top() > a.top();
    if (!inOrder)
      QFAIL(qPrintable(QStringLiteral("%1: Tab goes from %2 to %3 against the layout; chain %4")
                           .arg(window->objectName(), chain[i - 1]->objectName(), chain[i]->objectName(), Names(chain))));
  }
}

QList<QWidget*> ShownChain(QWidget* window) {
  window->show();
  QApplication::processEvents();
  QList<QWidget*> chain = TabChain(window);
  return chain;
}

// The menus of the main window, the menu bar's own first, each with its caption path.
void CollectMenus(QMenu* menu, const QString& path, std::vector<std::pair<QString, QMenu*>>& out) {
  out.emplace_back(path, menu);
  for (QAction* a : menu->actions())
    if (a->menu() != nullptr) CollectMenus(a->menu(), path + QLatin1Char('/') + a->text(), out);
}

}  // namespace

class AccessibilityTest : public QObject {
  Q_OBJECT
private slots:
  void everyMenuItemHasItsOwnAccessKey() {
    TFindingRig rig;
    // A second document puts more child windows into the Window menu's list.
    rig.App.NewDocument();
    std::vector<std::pair<QString, QMenu*>> menus;
    QSet<QChar> barKeys;
    for (QAction* top : rig.Main->menuBar()->actions()) {
      const QChar key = Mnemonic(top->text());
      QVERIFY2(!key.isNull(), qPrintable(top->text()));
      QVERIFY2(!barKeys.contains(key), qPrintable(QStringLiteral("menu bar key %1 twice").arg(key)));
      barKeys.insert(key);
      QVERIFY(top->menu() != nullptr);
      CollectMenus(top->menu(), top->text(), menus);
    }
    QCOMPARE(barKeys.size(), 8);  // File Edit View Insert Tools Window Help, and the hidden Debug

    int items = 0;
    for (const auto& [path, menu] : menus) {
      // The Window menu lists the child windows only while it opens.
      emit menu->aboutToShow();
      QSet<QChar> keys;
      for (QAction* a : menu->actions()) {
        if (a->isSeparator()) continue;
        ++items;
        const QChar key = Mnemonic(a->text());
        QVERIFY2(!key.isNull(), qPrintable(path + QStringLiteral(": no access key in ") + a->text()));
        QVERIFY2(!keys.contains(key), qPrintable(path + QStringLiteral(": key %1 used twice, again by ").arg(key) + a->text()));
        keys.insert(key);
      }
    }
    QVERIFY2(items >= 55, qPrintable(QString::number(items)));
  }

  void shortcutsAreTheMenusOwnAndUnique() {
    TFindingRig rig;
    const std::map<QString, QString> expected = {
        {QStringLiteral("New1"), QStringLiteral("Ctrl+N")},       {QStringLiteral("Open1"), QStringLiteral("Ctrl+O")},
        {QStringLiteral("Save1"), QStringLiteral("Ctrl+S")},      {QStringLiteral("PrintM"), QStringLiteral("Ctrl+P")},
        {QStringLiteral("CutM"), QStringLiteral("Ctrl+X")},       {QStringLiteral("CopyM"), QStringLiteral("Ctrl+C")},
        {QStringLiteral("PasteM"), QStringLiteral("Ctrl+V")},     {QStringLiteral("ClearM"), QStringLiteral("Del")},
        {QStringLiteral("SelectAllM"), QStringLiteral("Ctrl+A")}, {QStringLiteral("CopytoDocM"), QStringLiteral("Ctrl+D")},
        {QStringLiteral("QuestionFinder1"), QStringLiteral("Ctrl+Q")},
        {QStringLiteral("Viewer1"), QStringLiteral("Ctrl+W")},    {QStringLiteral("BackM"), QStringLiteral("Ctrl+B")},
        {QStringLiteral("CreateMarkScheme1"), QStringLiteral("Ctrl+M")},
        {QStringLiteral("EditTextM"), QStringLiteral("Ctrl+E")},  {QStringLiteral("CreateReport1"), QStringLiteral("Ctrl+R")},
        {QStringLiteral("ContextHelp1"), QStringLiteral("Ctrl+H")},
    };
    for (const auto& [name, keys] : expected) {
      QAction* a = rig.Main->Action(name);
      QVERIFY2(a != nullptr, qPrintable(name));
      QCOMPARE(a->shortcut(), QKeySequence(keys));
    }
    // No two actions of the window answer the same keys, or neither would run.
    std::map<QString, QString> owners;
    for (QAction* a : rig.Main->findChildren<QAction*>()) {
      // Child windows' own system menus (Ctrl+F4 to close) act only inside each child.
      bool inChild = false;
      for (QObject* p = a->parent(); p != nullptr; p = p->parent()) inChild |= qobject_cast<QMdiSubWindow*>(p) != nullptr;
      if (inChild) continue;
      for (const QKeySequence& k : a->shortcuts()) {
        const QString text = k.toString(QKeySequence::PortableText);
        const auto [it, fresh] = owners.emplace(text, a->objectName());
        QVERIFY2(fresh, qPrintable(text + QStringLiteral(" belongs to ") + it->second + QStringLiteral(" and ") + a->objectName()));
      }
    }
  }

  void menusOpenFromTheKeyboardAndRunTheirItems() {
    TFindingRig rig;
    TAboutExForm about(QStringLiteral("Sample"), rig.Main);
    rig.Main->SetAboutForm(&about);
    rig.Main->activateWindow();
    QApplication::processEvents();
    // Each menu of the bar opens on Alt and its key.
    for (QAction* top : rig.Main->menuBar()->actions()) {
      if (!top->isVisible()) continue;
      const QChar key = Mnemonic(top->text());
      QTest::keyClick(rig.Main, key.toLower().toLatin1(), Qt::AltModifier);
      QTRY_COMPARE(QApplication::activePopupWidget(), static_cast<QWidget*>(top->menu()));
      QTest::keyClick(top->menu(), Qt::Key_Escape);
      QTRY_VERIFY(QApplication::activePopupWidget() == nullptr);
    }
    // And an item runs on its key inside the open menu: Help, About shows the About box.
    bool aboutShown = false;
    WhenModal([&](QWidget* modal) {
      aboutShown = qobject_cast<TAboutExForm*>(modal) != nullptr;
      QTest::keyClick(modal, Qt::Key_Escape);
    });
    QTest::keyClick(rig.Main, Qt::Key_H, Qt::AltModifier);
    QTRY_VERIFY(QApplication::activePopupWidget() != nullptr);
    QTest::keyClick(QApplication::activePopupWidget(), Qt::Key_A);
    QTRY_VERIFY(aboutShown);
    // A shortcut runs its command with no menu open: Ctrl+D copies the selected question.
    QApplication::setActiveWindow(rig.Main);
    rig.QF->widget()->findChild<QListView*>(QStringLiteral("QuestionsLB"))->setFocus();
    QVERIFY(!rig.App.Selection().empty());
    const std::size_t before = rig.App.CurrentDocument()->Document->Entries.size();
    QTest::keyClick(rig.Main, Qt::Key_D, Qt::ControlModifier);
    QTRY_COMPARE(rig.App.CurrentDocument()->Document->Entries.size(), before + 1);
  }

  void listsButtonsAndTextsHaveNames() {
    TFindingRig rig;
    QWidget* qf = rig.QF->widget();
    QVERIFY(qf != nullptr);
    QStringList unnamed;
    auto check = [&](QWidget* w) {
      if (w == nullptr) return;
      if (AccessibleName(w).trimmed().isEmpty()) unnamed << w->objectName();
    };
    for (const char* name : {"QuestionsLB", "QuestionB", "TopicB", "QuestionTypeB", "LevelB", "PaperB", "ResB"})
      check(qf->findChild<QWidget*>(QLatin1String(name)));
    for (const char* name : {"ViewerTX", "PrevB", "NextB", "BackB", "RelResB", "RelQB", "RelMSB", "RelERB", "RelSylB", "RelNoteB"}) {
      QWidget* w = rig.Viewer->widget()->findChild<QWidget*>(QLatin1String(name));
      QVERIFY2(w != nullptr, name);
      check(w);
    }
    // Toolbar buttons take the name of their hint.
    int toolbarButtons = 0;
    for (QAction* a : rig.Main->Panel1()->actions()) {
      if (a->isSeparator()) continue;
      check(rig.Main->Panel1()->widgetForAction(a));
      ++toolbarButtons;
    }
    QCOMPARE(toolbarButtons, 17);
    for (QWidget* w : rig.Main->findChildren<QWidget*>(QStringLiteral("DocLB"))) check(w);
    for (QWidget* w : {static_cast<QWidget*>(rig.Picker), static_cast<QWidget*>(rig.Related), static_cast<QWidget*>(rig.TSList)})
      for (QWidget* child : w->findChildren<QWidget*>())
        if (qobject_cast<QAbstractButton*>(child) != nullptr || qobject_cast<QAbstractItemView*>(child) != nullptr) check(child);
    TTitleForm title(rig.Main);
    TSectionForm section(rig.Main);
    TEditForm editor(rig.App, rig.Main);
    TPupilForm pupils(rig.Main);
    for (QWidget* form : {static_cast<QWidget*>(&title), static_cast<QWidget*>(&section), static_cast<QWidget*>(&editor),
                          static_cast<QWidget*>(&pupils)})
      for (QWidget* child : form->findChildren<QWidget*>())
        if ((child->focusPolicy() & Qt::TabFocus) != 0 && child->focusProxy() == nullptr &&
            (qobject_cast<QAbstractButton*>(child) || qobject_cast<QAbstractItemView*>(child) ||
             qobject_cast<QLineEdit*>(child) || qobject_cast<QTextEdit*>(child)))
          check(child);
    QVERIFY2(unnamed.isEmpty(), qPrintable(unnamed.join(QStringLiteral(", "))));
  }

  void selectedRowsAreAnnouncedByIdAndTitle() {
    TFindingRig rig;
    auto* list = rig.QF->widget()->findChild<QListView*>(QStringLiteral("QuestionsLB"));
    QVERIFY(list != nullptr);
    // Move to the third result as a user would, with the arrow keys; it offers its data sheet.
    rig.Ask.ExpectConfirm(QStringLiteral("This question requires a resource.  Would you like to add this to the document?"),
                          TAskAnswer::No);
    list->setFocus();
    QTest::keyClick(list, Qt::Key_Down);
    QTest::keyClick(list, Qt::Key_Down);
    TQuestion* selected = rig.Results().at(2);
    QTRY_VERIFY(rig.App.Selection().size() == 1 && rig.App.Selection().front() == selected);
    const QString id = QString::fromLatin1(FullID(selected->Identity).c_str());
    const QString title = QString::fromLatin1(selected->GetName().c_str());
    QVERIFY(!id.isEmpty());
    QVERIFY(!title.isEmpty());

    QAccessibleInterface* view = QAccessible::queryAccessibleInterface(list);
    QVERIFY(view != nullptr && view->tableInterface() != nullptr);
    const QList<QAccessibleInterface*> cells = view->tableInterface()->selectedCells();
    QCOMPARE(cells.size(), 1);
    const QString spoken = cells.front()->text(QAccessible::Name);
    QVERIFY2(spoken.contains(id) && spoken.contains(title), qPrintable(spoken));

    // In the document the entry is announced with its number once numbered.
    RunCommand<TCopyToDocCmd>();
    RunCommand<TToggleNumberedCmd>();
    TDocForm* doc = LastDocForm();
    QVERIFY(doc != nullptr);
    auto* docList = doc->findChild<QListWidget*>(QStringLiteral("DocLB"));
    QVERIFY(docList != nullptr && docList->count() == 1);
    const QString entry = docList->item(0)->data(Qt::AccessibleTextRole).toString();
    QVERIFY2(entry.startsWith(QStringLiteral("1. ")) && entry.contains(id) && entry.contains(title), qPrintable(entry));
  }

  void tabFollowsTheLayoutOfEveryDialog() {
    TFindingRig rig;
    {
      const QList<QWidget*> chain = ShownChain(rig.Picker);
      QCOMPARE(Names(chain), QStringLiteral("CategoriesLB -> AlphaB -> OutlineB -> StartB -> ContinueB -> CancelB"));
      VerifyVisualOrder(rig.Picker, chain);
      rig.Picker->hide();
    }
    {
      const QList<QWidget*> chain = ShownChain(rig.Related);
      QCOMPARE(Names(chain), QStringLiteral("RelatedLB -> OkB -> CancelB"));
      VerifyVisualOrder(rig.Related, chain);
      rig.Related->hide();
    }
    TTitleForm title(rig.Main);
    {
      const QList<QWidget*> chain = ShownChain(&title);
      QCOMPARE(chain.size(), 9);
      QCOMPARE(chain.front()->objectName(), QStringLiteral("TitleE"));
      VerifyVisualOrder(&title, chain);
      title.hide();
    }
    TSectionForm section(rig.Main);
    {
      const QList<QWidget*> chain = ShownChain(&section);
      QCOMPARE(chain.size(), 5);
      QCOMPARE(chain.front()->objectName(), QStringLiteral("SectionTitleE"));
      VerifyVisualOrder(&section, chain);
      section.hide();
    }
    TEditForm editor(rig.App, rig.Main);
    {
      const QList<QWidget*> chain = ShownChain(&editor);
      QCOMPARE(Names(chain), QStringLiteral("DescriptionE -> MarkNE -> TimeNE -> NumberedCB -> EditATX -> OkB -> CancelB"));
      VerifyVisualOrder(&editor, chain);
      editor.hide();
    }
    TPupilForm pupils(rig.Main);
    {
      const QList<QWidget*> chain = ShownChain(&pupils);
      QCOMPARE(Names(chain), QStringLiteral("btNew -> btOpen -> btImport -> btSave -> btSaveAs -> btClose -> grPupil"));
      VerifyVisualOrder(&pupils, chain);
      pupils.hide();
    }
  }
};

QTEST_MAIN(AccessibilityTest)
#include "AccessibilityTest.moc"
