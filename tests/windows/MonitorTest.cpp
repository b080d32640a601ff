// The notification monitor's log and the diagnostic Add Items command.
#include <QListWidget>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

#include "ScriptedAsk.h"
#include "WindowRig.h"
#include "model/Document.h"
#include "windows/MonitorForm.h"

using namespace hv;
using namespace hv::test;

namespace {

// The log without the addresses, which change from run to run.
QStringList Lines(const TMonitorForm& monitor) {
  static const QRegularExpression address(QStringLiteral(" \\([0-9A-F]{16}\\):"));
  QStringList lines;
  for (int i = 0; i < monitor.LogLB()->count(); ++i) {
    QString line = monitor.LogLB()->item(i)->text();
    if (!address.match(line).hasMatch()) return {QStringLiteral("malformed: ") + line};
    lines << line.replace(address, QStringLiteral(":"));
  }
  return lines;
}

// Also keeps the value each input box started with.
class TRecordingAsk : public TScriptedAsk {
public:
  std::optional<QString> InputText(const QString& caption, const QString& prompt, const QString& value) override {
    Captions.push_back(caption);
    Offered.push_back(value);
    return TScriptedAsk::InputText(caption, prompt, value);
  }
  std::vector<QString> Captions;
  std::vector<QString> Offered;
};

}  // namespace

class MonitorTest : public QObject {
  Q_OBJECT

private slots:
  void logsEveryNotificationWhileShown() {
    TScriptedAsk ask;
    TWindowRig rig;
    rig.Main->show();
    TMonitorForm monitor(rig.App);
    QCOMPARE(monitor.windowTitle(), QStringLiteral("Update Notification Monitor"));

    // Nothing is logged while the monitor is hidden.
    rig.App.SelectItem(rig.Results()[1], TListRef(rig.Results()), true);
    monitor.show();
    QCOMPARE(monitor.LogLB()->count(), 0);

    // Selecting a result.
    rig.App.SelectItem(rig.Results()[2], TListRef(rig.Results()), true);
    QCOMPARE(Lines(monitor), QStringList{QStringLiteral("TAppLogic: CurrentSelection History")});

    // A new search: the selector's empty set and the state adopting its results. The state
    // registered with the selector before any window, so its own notification, sent from inside
    // the selector's, reaches the log first.
    monitor.LogLB()->clear();
    rig.App.Selector()->SetTopicCriterion(rig.App.Library()->Topics->Children[0], true);
    QCOMPARE(Lines(monitor), (QStringList{QStringLiteral("TAppLogic: CurrentList CurrentSelection History"),
                                          QStringLiteral("TQuestionSelector:")}));

    // Saving a document.
    monitor.LogLB()->clear();
    TDocLogic* doc = rig.Doc(0);
    doc->InsertEntries({rig.Results()[0]}, -1);
    QTemporaryDir dir;
    doc->SaveToFile(QFile::encodeName(dir.filePath(QStringLiteral("t.kvd"))).toStdString());
    QCOMPARE(Lines(monitor), (QStringList{QStringLiteral("TDocLogic: Document Modified"),
                                          QStringLiteral("TDocLogic: Filename Modified")}));

    // The address identifies the sender.
    const QString first = monitor.LogLB()->item(0)->text();
    QVERIFY(first.contains(QStringLiteral("%1").arg(reinterpret_cast<quintptr>(doc), 16, 16, QLatin1Char('0')).toUpper()));

    // Hiding empties the log and stops it.
    monitor.hide();
    QCOMPARE(monitor.LogLB()->count(), 0);
    rig.App.SelectItem(rig.Results()[0], TListRef(rig.Results()), true);
    monitor.show();
    QCOMPARE(monitor.LogLB()->count(), 0);
    doc->Close();
    // The state hears of the closing first (it registered with the relay before the monitor).
    QCOMPARE(Lines(monitor), (QStringList{QStringLiteral("TAppLogic: CurrentDoc"), QStringLiteral("TDocLogic: DocDestroy")}));

    // A right click clears the log.
    QTest::mouseClick(monitor.LogLB()->viewport(), Qt::RightButton);
    QCOMPARE(monitor.LogLB()->count(), 0);
  }

  void addItemsAsksUntilCancelledAndOffersRejectedIdsAgain() {
    TRecordingAsk ask;
    TWindowRig rig;
    auto* command = rig.Main->CommandOf(QStringLiteral("AddItems1"));
    QVERIFY(command != nullptr);
    QAction* item = rig.Main->Action(QStringLiteral("AddItems1"));
    QVERIFY(!item->isEnabled());
    rig.Main->show();  // the first document window becomes the current document
    QVERIFY(item->isEnabled());

    const QString prompt = QStringLiteral("Enter the ID of the text segment to add");
    ask.ExpectInputText(prompt, QStringLiteral("QP03"))
        .ExpectInputText(prompt, QStringLiteral("XP01"))
        .ExpectWarning(QStringLiteral("Invalid text type: X"))
        .ExpectInputText(prompt, QStringLiteral("MP01"))
        .ExpectInputText(prompt, std::nullopt);
    item->trigger();
    QVERIFY(ask.Verify());
    // The rejected ID was offered again for correction; an accepted one was cleared.
    QCOMPARE(ask.Offered, (std::vector<QString>{QString(), QString(), QStringLiteral("XP01"), QString()}));
    QCOMPARE(ask.Captions.front(), QStringLiteral("Add Item"));
    const auto& entries = rig.Doc(0)->Document->Entries;
    QCOMPARE(entries.size(), std::size_t(2));
    QCOMPARE(entries[0]->Segment->GetID(), std::string("QP03"));
    QCOMPARE(entries[1]->Segment->GetID(), std::string("MP01"));
  }
};

QTEST_MAIN(MonitorTest)
#include "MonitorTest.moc"
