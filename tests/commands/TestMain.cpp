#include <QApplication>

#include "CommandTests.h"

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  int failures = 0;
  failures += RunFrameworkTests(argc, argv);
  failures += RunDocumentCommandTests(argc, argv);
  failures += RunEditCommandTests(argc, argv);
  failures += RunBrowseCommandTests(argc, argv);
  failures += RunSearchViewDerivedTests(argc, argv);
  failures += RunRandomCommandTests(argc, argv);
  return failures == 0 ? 0 : 1;
}
