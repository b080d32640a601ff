#include <QApplication>

#include "OutputTests.h"

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  int failures = 0;
  failures += RunInsertTests(argc, argv);
  failures += RunComposeTests(argc, argv);
  failures += RunPrintTests(argc, argv);
  failures += RunExportTests(argc, argv);
  failures += RunEditFormTests(argc, argv);
  failures += RunSampleOutputTests(argc, argv);
  return failures == 0 ? 0 : 1;
}
