#include <QApplication>

#include "AnalysisTests.h"

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  return hv::test::RunLibreOfficeTests(argc, argv) == 0 ? 0 : 1;
}
