// Errors that escape an event handler reach the user in an error box and the program goes on.
#include <QTest>

#include "ScriptedAsk.h"
#include "core/Errors.h"
#include "windows/Program.h"

using namespace hv;
using hv::test::TScriptedAsk;

namespace {

// Throws from its event handler, as a command or a window slot might.
class TThrower : public QObject {
public:
  int Handled = 0;
  bool event(QEvent* e) override {
    if (e->type() == QEvent::User) throw EDataError("Invalid ID: X9");
    if (e->type() == QEvent::Type(QEvent::User + 1)) throw std::runtime_error("plain failure");
    if (e->type() == QEvent::Type(QEvent::User + 2)) {
      ++Handled;
      return true;
    }
    return QObject::event(e);
  }
};

}  // namespace

class NotifyTest : public QObject {
  Q_OBJECT

private slots:
  void escapingErrorsAreShownAndTheLoopCarriesOn() {
    QVERIFY(qobject_cast<THvApplication*>(qApp) != nullptr);
    TScriptedAsk ask;
    TThrower target;
    ask.ExpectError(QStringLiteral("Invalid ID: X9")).ExpectError(QStringLiteral("plain failure"));
    QCoreApplication::postEvent(&target, new QEvent(QEvent::User));
    QCoreApplication::postEvent(&target, new QEvent(QEvent::Type(QEvent::User + 1)));
    QCoreApplication::postEvent(&target, new QEvent(QEvent::Type(QEvent::User + 2)));
    QCoreApplication::sendPostedEvents(&target);
    QVERIFY(ask.Verify());
    QCOMPARE(target.Handled, 1);
  }
};

int main(int argc, char** argv) {
  THvApplication application(argc, argv);
  NotifyTest test;
  return QTest::qExec(&test, argc, argv);
}

#include "NotifyTest.moc"
