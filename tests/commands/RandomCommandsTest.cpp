// Every command of the main window, the Question Finder and the text list, run in random order
// against a user who answers at random, on the sample library; the state must stay consistent.
#include <QAction>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>
#include <random>
#include <set>

#include "CommandTests.h"
#include "ScriptedAsk.h"
#include "commands/CommandFramework.h"
#include "commands/MainMenu.h"
#include "logic/AppLogic.h"
#include "model/Segments.h"

using namespace hv;
using namespace hv::test;

namespace {

// Commands the windows create besides the main window's own.
const char* const kWindowCommands[] = {"TSearchByIdentityCmd", "TSearchByTopicCmd", "TSearchByQuestionTypeCmd",
                                       "TSearchByLevelCmd",    "TSearchByPaperCmd", "TSearchByResCmd",
                                       "TViewResourceCmd",     "TCloseTSListCmd",   "TCloseQFCmd",
                                       "TDockQFCmd",           "TCloseViewerCmd",   "TDockViewerCmd",
                                       "TRelatedResourceCmd"};

QString Invariant(const TAppLogic& app) {
  const TListRef list = app.CurrentList();
  const int index = app.CurrentIndex();
  if (!list && index != -1) return QStringLiteral("index %1 without a current list").arg(index);
  // An empty search result keeps index 0, the one exception the application state allows.
  const bool emptyResults = list == TListRef(app.Selector()->Results()) && list.Count() == 0 && index == 0;
  if (list && index != -1 && !emptyResults && (index < 0 || static_cast<std::size_t>(index) >= list.Count()))
    return QStringLiteral("index %1 outside a list of %2").arg(index).arg(list.Count());
  if (app.SelectionSource() && !(app.SelectionSource() == list))
    return QStringLiteral("the selection comes from a list that is not current");
  bool currentOpen = app.CurrentDocument() == nullptr;
  for (const auto& doc : app.Documents()) {
    currentOpen = currentOpen || doc.get() == app.CurrentDocument();
    // Numbers rise through a document; a derived document keeps its questions' numbers, which
    // may skip where the test numbered something else, until it is edited.
    int previous = 0;
    for (const TDocContent* entry : doc->Document->Entries) {
      if (!entry->Numbered) continue;
      if (entry->Number <= previous) return QStringLiteral("entry numbered %1 after %2").arg(entry->Number).arg(previous);
      previous = entry->Number;
    }
  }
  if (!currentOpen) return QStringLiteral("the current document is not open");
  // Undo and redo hand entries back and forth: an entry or an owned text in two places would be
  // freed twice.
  std::set<const void*> owned;
  for (const auto& doc : app.Documents())
    for (const TDocContent* entry : doc->Document->Entries) {
      if (!owned.insert(entry).second) return QStringLiteral("an entry is in a document twice");
      if (entry->OwnsSegment() && !owned.insert(entry->Segment).second)
        return QStringLiteral("a free text has two owners");
    }
  return {};
}

}  // namespace

class RandomCommandsTest : public QObject {
  Q_OBJECT

private slots:
  void everyCommandInRandomOrderKeepsTheStateConsistent() {
    TAppLogic app;
    // Without the configuration the library cannot be found: say so and stop, rather than let
    // the exception end the test program.
    try {
      app.OpenLibrary("Sample");
    } catch (const std::exception& error) {
      QFAIL(qPrintable(QStringLiteral("The sample library cannot be opened (%1). Run through ctest, or set "
                                      "HARROWVANE_CONFIG_DIR to the build's data/sample folder.")
                           .arg(QString::fromLocal8Bit(error.what()))));
    }
    TCommandEnvironment env(app);
    int quits = 0;
    env.Quit = [&] { ++quits; };
    env.ProgramDir.clear();
    QTemporaryDir dir;
    QVERIFY(dir.isValid());

    // HARROWVANE_TEST_SEED replays a run; without it each run takes a new seed and names it.
    bool seeded = false;
    const unsigned given = qEnvironmentVariable("HARROWVANE_TEST_SEED").toUInt(&seeded);
    const unsigned seed = seeded ? given : std::random_device{}();
    qInfo("seed %u (HARROWVANE_TEST_SEED=%u replays this run)", seed, seed);
    std::mt19937 random(seed);
    auto pick = [&](std::size_t n) { return std::uniform_int_distribution<std::size_t>(0, n - 1)(random); };
    const QStringList names = {QStringLiteral("a.kvd"), QStringLiteral("b.kvd"), QStringLiteral("c.kvd")};
    TScriptedAsk ask;
    ask.AnswerRandomly(
        &random,
        [&] { return pick(4) == 0 ? QString() : dir.filePath(names[static_cast<qsizetype>(pick(3))]); },
        [&] { return pick(3) == 0 ? QString() : dir.filePath(names[static_cast<qsizetype>(pick(3))]); });

    QObject window;
    std::vector<QAction*> actions;
    std::vector<std::string> created;
    auto create = [&](const char* name) {
      TCommandCreator creator = FindCommandClass(name);
      if (creator == nullptr) return;  // a command of a later layer (printing, export, analysis)
      auto* action = new QAction(&window);
      action->setObjectName(QString::fromLatin1(name));
      creator(&window, action, nullptr);
      actions.push_back(action);
      created.push_back(name);
    };
    for (const char* name : MainWindowCommandOrder()) create(name);
    for (const char* name : kWindowCommands) create(name);
    QVERIFY(created.size() >= 40);

    app.NewDocument();
    app.SetCurrentDocument(app.Documents().back().get());
    for (int step = 0; step < 10000; ++step) {
      const std::size_t what = pick(10);
      if (what < 5) {
        actions[pick(actions.size())]->trigger();
      } else if (what == 5) {
        // Undo and Redo often, so that they meet every other command's changes.
        const QLatin1String name(pick(3) == 0 ? "TRedoCmd" : "TUndoCmd");
        const auto it =
            std::find_if(actions.begin(), actions.end(), [&](QAction* a) { return a->objectName() == name; });
        QVERIFY(it != actions.end());
        (*it)->trigger();
      } else if (what == 6 || app.Documents().empty()) {
        const auto& results = app.Selector()->Results();
        if (!results.empty()) {
          const int row = static_cast<int>(pick(results.size()));
          app.SetCurrentList(results, row);
          app.SetSelection({results[static_cast<std::size_t>(row)]}, results);
        }
      } else if (what == 7) {
        app.SetCurrentDocument(app.Documents()[pick(app.Documents().size())].get());
      } else {
        // A click, or a shift-click over several rows, in the current document's window.
        TDocLogic* doc = app.CurrentDocument();
        if (doc == nullptr || doc->Document->Entries.empty()) continue;
        const auto& entries = doc->Document->Entries;
        const std::size_t first = pick(entries.size());
        const std::size_t last = what == 8 ? first : first + pick(entries.size() - first);
        app.SetCurrentList(entries, static_cast<int>(first));
        app.SetSelection(TItemList(entries.begin() + static_cast<std::ptrdiff_t>(first),
                                   entries.begin() + static_cast<std::ptrdiff_t>(last) + 1),
                         entries);
      }
      const QString broken = Invariant(app);
      QVERIFY2(broken.isEmpty(), qPrintable(QStringLiteral("seed %1, step %2: %3").arg(seed).arg(step).arg(broken)));
    }
    QVERIFY(ask.Verify());
    // Errors the user may meet in the run: opening a file that is already open or not there,
    // saving over a file another document holds. Anything else is a fault the box would hide.
    std::set<QString> errors;
    for (const TAsked& asked : ask.Log())
      if (asked.Kind == TQuestionKind::Error) errors.insert(asked.Text);
    for (const QString& text : errors) {
      qInfo("error box: %s", qPrintable(text));
      const bool expected = text == QString::fromLatin1(kOpenDocumentFailed) ||
                            (text.startsWith(QStringLiteral("Cannot open \"")) &&
                             text.endsWith(QStringLiteral(": there is no such file."))) ||
                            (text.startsWith(QStringLiteral("Cannot save \"")) &&
                             text.endsWith(QStringLiteral("It is open in another window or program")));
      QVERIFY2(expected, qPrintable(text));
    }
    qInfo("%zu commands, %zu questions, %d exits", created.size(), ask.Log().size(), quits);
  }
};

int RunRandomCommandTests(int argc, char** argv) {
  RandomCommandsTest test;
  return QTest::qExec(&test, argc, argv);
}

#include "RandomCommandsTest.moc"
