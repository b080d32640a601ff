// The harrowvane program: argument 1 is a library key or a document file ending in ".KVD".
#include "windows/Program.h"
#include "windows/QtAsk.h"

int main(int argc, char** argv) {
  hv::THvApplication application(argc, argv);
  hv::TQtAsk ask;
  hv::TAskScope asking(ask);
  hv::TProgram program(QCoreApplication::arguments());
  if (!program.Start()) return 1;
  program.Show();
  return QApplication::exec();
}
