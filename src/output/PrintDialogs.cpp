#include "output/PrintDialogs.h"

#include <QApplication>
#include <QPageRanges>
#include <QPageSetupDialog>
#include <QPrintDialog>
#include <QPrinter>

#include <algorithm>

namespace hv {

namespace {

IPrintDialogs* Installed = nullptr;

}  // namespace

std::optional<TPrintChoice> TQtPrintDialogs::Print(QPrinter& printer, int pageCount) {
  QPrintDialog dialog(&printer, QApplication::activeWindow());
  dialog.setOption(QAbstractPrintDialog::PrintPageRange, true);
  dialog.setOption(QAbstractPrintDialog::PrintToFile, true);
  dialog.setMinMax(1, pageCount);
  dialog.setFromTo(1, pageCount);
  dialog.setPrintRange(QAbstractPrintDialog::AllPages);
  if (dialog.exec() != QDialog::Accepted) return std::nullopt;
  TPrintChoice choice;
  switch (printer.printRange()) {
    case QPrinter::PageRange:
      choice.Range = TPrintRange::Pages;
      for (const QPageRanges::Range& r : printer.pageRanges().toRangeList()) choice.Pages.emplace_back(r.from, r.to);
      break;
    case QPrinter::Selection:
      choice.Range = TPrintRange::Selection;
      break;
    default:
      choice.Range = TPrintRange::All;
      break;
  }
  // Each copy is a job of its own, so the printer itself makes one copy per job.
  choice.Copies = std::max(1, printer.copyCount());
  printer.setCopyCount(1);
  return choice;
}

void TQtPrintDialogs::PageSetup(QPrinter& printer) {
  QPageSetupDialog dialog(&printer, QApplication::activeWindow());
  dialog.exec();
}

IPrintDialogs& PrintDialogs() {
  static TQtPrintDialogs qtDialogs;
  return Installed != nullptr ? *Installed : qtDialogs;
}

TPrintDialogsScope::TPrintDialogsScope(IPrintDialogs& dialogs) : Previous(Installed) { Installed = &dialogs; }

TPrintDialogsScope::~TPrintDialogsScope() { Installed = Previous; }

}  // namespace hv
