#include "DocumentOutput.h"

#include <QApplication>
#include <QFile>
#include <QPageSize>
#include <QPrinter>

#include <array>
#include <memory>
#include <stdexcept>
#include <utility>

#include "DocumentDump.h"
#include "LibraryOpen.h"
#include "core/Errors.h"
#include "logic/AppLogic.h"
#include "logic/DocLogic.h"
#include "output/PrintForm.h"

namespace hv::hvlib {

namespace {

constexpr std::array<std::pair<const char*, QPageSize::PageSizeId>, 4> kPapers{{
    {"A4", QPageSize::A4}, {"Letter", QPageSize::Letter}, {"A3", QPageSize::A3}, {"Legal", QPageSize::Legal}}};

// Composition needs a GUI application for fonts and layout; the tool has no window, so it runs on
// the offscreen platform unless the caller chose another.
void EnsureApplication() {
  if (QCoreApplication::instance() != nullptr) return;
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  static int argc = 1;
  static char name[] = "hvlib";
  static char* argv[] = {name, nullptr};
  static QApplication app(argc, argv);
}

// The program's state with the document open over its own library, and the print form on it.
struct TOpened {
  TAppLogic App;
  std::unique_ptr<TPrintForm> Form;

  explicit TOpened(const std::string& fileName) {
    EnsureApplication();
    std::string subject;
    try {
      subject = DocumentSubject(fileName);
    } catch (const std::exception&) {
      // What the program says when a document cannot be opened.
      throw EInOutError(kOpenDocumentFailed);
    }
    App.AdoptLibrary(subject, LoadLibrary(subject, std::string()));
    App.OpenDocument(fileName);
    App.SetCurrentDocument(App.Documents().back().get());
    Form = std::make_unique<TPrintForm>(App);
  }
};

}  // namespace

bool KnownPaper(const std::string& name) {
  for (const auto& paper : kPapers)
    if (name == paper.first) return true;
  return false;
}

void PrintDocumentFile(const TOutputRequest& request) {
  QPageSize::PageSizeId paper = QPageSize::A4;
  bool known = false;
  for (const auto& [name, id] : kPapers)
    if (request.Paper == name) {
      paper = id;
      known = true;
    }
  if (!known) throw std::invalid_argument("unknown paper \"" + request.Paper + "\" (A4, Letter, A3 or Legal)");
  TOpened opened(request.Document);
  QPrinter& printer = opened.Form->Printer;
  printer.setOutputFormat(QPrinter::PdfFormat);
  printer.setOutputFileName(QFile::decodeName(QByteArray::fromStdString(request.Output)));
  printer.setPageSize(QPageSize(paper));
  printer.setPageOrientation(request.Landscape ? QPageLayout::Landscape : QPageLayout::Portrait);
  opened.Form->ComposeDocument(opened.App.CurrentDocument()->Document->Entries);
  opened.Form->PrintAll();
}

void ExportDocumentFile(const TOutputRequest& request) {
  TOpened opened(request.Document);
  opened.Form->ExportDocument(QFile::decodeName(QByteArray::fromStdString(request.Output)));
}

}  // namespace hv::hvlib
