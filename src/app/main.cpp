// The harrowvane program: argument 1 is a library key or a document file ending in ".kvd" (any case).
#include <QLabel>
#include <QTextStream>
#include <QTimer>

#include "windows/Program.h"
#include "windows/QtAsk.h"

int main(int argc, char** argv) {
  hv::THvApplication application(argc, argv);
  hv::TQtAsk ask;
  hv::TAskScope asking(ask);
  hv::TProgram program(QCoreApplication::arguments());
  if (!program.Start()) return 1;
  program.Show();
  QTimer::singleShot(0, [&program] { program.OfferRecovery(); });
  // For installation checks: once the first showing is over (an error box during it would still
  // be waiting), print the caption and the status line and end.
  if (qEnvironmentVariableIntValue("HARROWVANE_QUIT_AFTER_START") == 1) {
    QTimer::singleShot(0, [&program] {
      QTextStream out(stdout);
      out << program.MainForm()->windowTitle() << '\n' << program.MainForm()->StatusP()->text() << '\n';
      out.flush();
      QApplication::exit(0);
    });
  }
  return QApplication::exec();
}
