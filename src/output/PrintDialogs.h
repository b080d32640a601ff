#pragma once
// The system's print and printer set-up dialogs behind a small interface, so printing can run
// headless in tests with the answers a test sets up.
#include <optional>
#include <utility>
#include <vector>

class QPrinter;

namespace hv {

enum class TPrintRange { All, Pages, Selection };

// What the user chose in the print dialog.
struct TPrintChoice {
  TPrintRange Range = TPrintRange::All;
  std::vector<std::pair<int, int>> Pages;  // from-to pairs, from 1, when Range is Pages
  int Copies = 1;
};

class IPrintDialogs {
public:
  virtual ~IPrintDialogs() = default;
  // The print dialog for pages 1 to pageCount, all of them preset; it may reconfigure the printer
  // (destination, paper). No value when cancelled.
  virtual std::optional<TPrintChoice> Print(QPrinter& printer, int pageCount) = 0;
  // The printer set-up dialog; its result changes nothing but the printer.
  virtual void PageSetup(QPrinter& printer) = 0;
};

// QPrintDialog and QPageSetupDialog over the active window.
class TQtPrintDialogs : public IPrintDialogs {
public:
  std::optional<TPrintChoice> Print(QPrinter& printer, int pageCount) override;
  void PageSetup(QPrinter& printer) override;
};

// The installed dialogs, or the Qt ones when none is installed.
IPrintDialogs& PrintDialogs();

// Installs dialogs for its own lifetime and puts the previous ones back afterwards.
class TPrintDialogsScope {
public:
  explicit TPrintDialogsScope(IPrintDialogs& dialogs);
  ~TPrintDialogsScope();
  TPrintDialogsScope(const TPrintDialogsScope&) = delete;
  TPrintDialogsScope& operator=(const TPrintDialogsScope&) = delete;

private:
  IPrintDialogs* Previous;
};

}  // namespace hv
