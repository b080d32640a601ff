// Writes the documentation's screenshots: the main window on the sample library, a document
// window holding questions, a title, a section and free texts, and the About box.
// Usage: hv_screenshots OUTDIR (run in a display, for example under xvfb-run).
#include <QApplication>
#include <QDir>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QTimer>

#include <iostream>

#include "commands/Ask.h"
#include "logic/AppLogic.h"
#include "model/Document.h"
#include "model/Segments.h"
#include "model/TextStore.h"
#include "windows/AboutForm.h"
#include "windows/DocForm.h"
#include "windows/MainForm.h"
#include "windows/Program.h"
#include "windows/QtAsk.h"

using namespace hv;

namespace {

void Settle() {
  for (int i = 0; i < 20; ++i) {
    QCoreApplication::processEvents();
    QCoreApplication::sendPostedEvents();
  }
}

std::unique_ptr<TTextChunk> Rtf(const char* text) {
  return std::make_unique<TTextChunk>(std::vector<std::string>{std::string("{\\rtf1\\ansi ") + text + "\\par -\\par}"});
}

}  // namespace

int main(int argc, char** argv) {
  THvApplication application(argc, argv);
  if (argc < 2) {
    std::cerr << "usage: hv_screenshots OUTDIR" << std::endl;
    return 2;
  }
  const QDir out(QString::fromLocal8Bit(argv[1]));
  TQtAsk ask;
  TAskScope asking(ask);
  TProgram program({QStringLiteral("harrowvane"), QStringLiteral("Sample")});
  if (!program.Start()) return 1;
  program.Show();
  Settle();
  TMainForm* main = program.MainForm();
  TAppLogic& app = *program.App();
  if (!main->grab().save(out.filePath(QStringLiteral("main-window.png")))) return 1;

  // A short test: a title, a section heading, four questions and two free texts.
  TDocLogic* doc = app.Documents().front().get();
  const auto& results = app.Selector()->Results();
  doc->InsertText(-1, "Year 10 Energy test", false, Rtf("Year 10 Energy test"), 0, 0);
  doc->InsertText(-1, "Section A: stores and transfers", false, Rtf("Section A"), 0, 0);
  doc->InsertEntries({results.at(0), results.at(2), results.at(3)}, -1);
  doc->InsertText(-1, "Use g = 9.8 N/kg where needed", false, Rtf("Use g = 9.8 N/kg"), 0, 0);
  doc->InsertEntries({results.at(7), results.at(9)}, -1);
  doc->InsertText(-1, "Extension: explain your reasoning", true, Rtf("Extension"), 5, 3);
  Settle();
  TDocForm* form = LastDocForm();
  if (form == nullptr) return 1;
  main->MdiArea()->setActiveSubWindow(form);
  form->resize(420, 9 * 33 + 34);
  form->DocLB()->item(3)->setSelected(true);
  form->DocLBClick();
  Settle();
  if (!form->grab().save(out.filePath(QStringLiteral("document-window.png")))) return 1;
  if (!main->grab().save(out.filePath(QStringLiteral("main-window-with-document.png")))) return 1;

  TAboutExForm* about = program.AboutForm();
  about->show();
  Settle();
  if (!about->grab().save(out.filePath(QStringLiteral("about.png")))) return 1;
  about->hide();
  doc->IsModified = false;
  return 0;
}
