#pragma once
// The composed text of a test document, and printing, previewing and exporting it.
#include <QPrinter>
#include <QWidget>

#include <utility>
#include <vector>

#include "TextControl.h"

namespace hv {

class TAppLogic;
class TDocContent;

// Owns the hidden rich-text control into which a document is composed for printing, preview and
// export, the printer, and the page-range and job logic. The composed text stays until the next
// composition, so the preview and its Print button work on what was composed last.
class TPrintForm : public QWidget {
  Q_OBJECT
public:
  explicit TPrintForm(TAppLogic& app, QWidget* parent = nullptr);
  ~TPrintForm() override;

  // Lays the entries' texts one after another: a footer with the organisation name and the page
  // number, "N." in bold before numbered entries, and a page break before any entry that would
  // otherwise run from one page onto the next. Each entry's closing "-" paragraph is removed.
  void ComposeDocument(const std::vector<TDocContent*>& entries);
  // Composes the current document and prints it; false when the print dialog was cancelled.
  bool PrintDocument();
  // Composes the current document and shows the preview modally.
  void PreviewDocument();
  // The print dialog and one print job per copy, on the text composed last.
  bool PrintComposed();
  // Every composed page in one job on the printer as it is set up, without asking (the batch
  // printer of the library tool).
  void PrintAll();
  // Prints pages first to last onto the open job; nothing when last < first.
  void PrintPages(int first, int last);
  void PrinterSetup();
  // The printer's paper, orientation and margins as the control's page set-up.
  static TTXTextControl::TPageSetup PageSetupOf(const QPrinter& printer);
  // Composes the current document and writes it to fileName as RTF, replacing the file.
  void ExportDocument(const QString& fileName);

  TTXTextControl* PrintATX;
  QPrinter Printer;

signals:
  // A print job is about to begin; copy counts from 1.
  void JobStarting(int copy);

private:
  // One print job of the page ranges, titled with the document's name; aborted on failure.
  void PrintJob(const std::vector<std::pair<int, int>>& ranges);
  QString JobTitle() const;

  TAppLogic& App;
};

}  // namespace hv
