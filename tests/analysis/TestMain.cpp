#include <QApplication>

#include "AnalysisTests.h"

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  int failures = 0;
  failures += hv::test::RunSheetsTests(argc, argv);
  failures += hv::test::RunPupilFormTests(argc, argv);
  failures += hv::test::RunCommandsTests(argc, argv);
  failures += hv::test::RunMarkImportTests(argc, argv);
  return failures == 0 ? 0 : 1;
}
