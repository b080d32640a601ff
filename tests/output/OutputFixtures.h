#pragma once
// A small library of questions whose texts have known lengths, an application state over it, and
// helpers that answer the output dialogs the way a teacher would.
#include <QApplication>
#include <QDialog>
#include <QElapsedTimer>
#include <QPrinter>
#include <QTest>
#include <QTimer>

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "ScriptedAsk.h"
#include "commands/CommandFramework.h"
#include "logic/AppLogic.h"
#include "model/Categories.h"
#include "model/Library.h"
#include "model/Segments.h"
#include "model/TextStore.h"
#include "output/OutputForms.h"
#include "output/PrintDialogs.h"

namespace hv::test {

// RTF of a text of `lines` paragraphs "<tag> line k", closed by the end-of-entry paragraph.
inline std::string LinesRtf(const std::string& tag, int lines) {
  std::string rtf = "{\\rtf1\\ansi\\ansicpg1252\\deff0{\\fonttbl{\\f0\\froman Times New Roman;}}\\pard\\plain\\f0\\fs24 ";
  for (int i = 1; i <= lines; ++i) rtf += tag + " line " + std::to_string(i) + "\\par ";
  return rtf + "-\\par}";
}

// Questions Q1..Q6 under paper P1; their texts and marks are set by each test.
struct TOutputLibrary {
  std::unique_ptr<TLibrary> Library = TLibrary::CreateEmpty();
  TIdentityCategory* Paper = nullptr;
  std::vector<TQuestion*> Questions;
  TNote* Note = nullptr;

  TOutputLibrary() {
    TLibrary& l = *Library;
    l.Name = "Output physics";
    Paper = static_cast<TIdentityCategory*>(l.QuestionTree->CreateChild());
    Paper->SetCode("P1");
    Paper->SetTitle("Paper one");
    for (int i = 1; i <= 6; ++i) {
      auto* node = static_cast<TIdentityCategory*>(Paper->CreateChild());
      node->SetCode("0" + std::to_string(i));
      node->SetTitle("Question " + std::to_string(i));
      TQuestion* q = node->AddQuestion();
      q->SetChunk(std::make_unique<TTextChunk>(std::vector<std::string>{LinesRtf("Q" + std::to_string(i), 3)}));
      Questions.push_back(q);
    }
    Note = static_cast<TIdentityCategory*>(Paper->Children.front())->AddNote();
    Note->SetChunk(std::make_unique<TTextChunk>(std::vector<std::string>{LinesRtf("Note", 1)}));
  }
};

// The application state over that library, with the subject of the sample configuration so the
// organisation name is the sample school's, and the commands' environment.
struct TOutputWorld {
  TOutputLibrary Lib;
  std::vector<TQuestion*> Q = Lib.Questions;
  TNote* Note = Lib.Note;
  TAppLogic App;
  TCommandEnvironment Env{App};

  TOutputWorld() {
    App.AdoptLibrary("Sample", TOpenedLibrary{nullptr, std::move(Lib.Library)});
    Env.ProgramDir.clear();
  }
  ~TOutputWorld() { OutputForms().Reset(); }

  TDocLogic* NewDocument() {
    App.NewDocument();
    TDocLogic* doc = App.Documents().back().get();
    App.SetCurrentDocument(doc);
    return doc;
  }
  TDocLogic* DocumentWith(const std::vector<TTextSegment*>& segments) {
    TDocLogic* doc = NewDocument();
    doc->InsertEntries(TItemList(segments.begin(), segments.end()), -1);
    return doc;
  }
  void Click(TDocLogic* doc, int row) {
    TListRef list(doc->Document->Entries);
    App.SetCurrentList(list, row);
    App.SetSelection({list.At(static_cast<std::size_t>(row))}, list);
  }
  static void SetText(TTextSegment* segment, const std::string& rtf) {
    segment->SetChunk(std::make_unique<TTextChunk>(std::vector<std::string>{rtf}));
  }
};

// Print dialogs that answer from the test: every job goes to a PDF file.
struct TScriptedPrintDialogs : IPrintDialogs {
  std::optional<TPrintChoice> Answer = TPrintChoice{};
  QString OutputFile;
  int PrintCalls = 0, SetupCalls = 0, OfferedPages = 0;
  TPrintDialogsScope Scope{*this};

  std::optional<TPrintChoice> Print(QPrinter& printer, int pageCount) override {
    ++PrintCalls;
    OfferedPages = pageCount;
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(OutputFile);
    return Answer;
  }
  void PageSetup(QPrinter&) override { ++SetupCalls; }
};

// Acts on the next modal dialog of class T once it is showing; a dialog the action leaves open is
// cancelled after a while, so a failing test cannot hang.
template <class T>
void WhenModal(std::function<void(T*)> act) {
  auto* timer = new QTimer;
  auto started = std::make_shared<QElapsedTimer>();
  started->start();
  timer->setInterval(10);
  QObject::connect(timer, &QTimer::timeout, [timer, act, started] {
    auto* dialog = qobject_cast<T*>(QApplication::activeModalWidget());
    if (dialog == nullptr) {
      if (started->elapsed() > 5000) timer->deleteLater();
      return;
    }
    timer->stop();
    timer->deleteLater();
    act(dialog);
    if (dialog->isVisible()) {
      QTimer::singleShot(5000, dialog, [dialog] {
        if (dialog->isVisible()) dialog->reject();
      });
    }
  });
  timer->start();
}

}  // namespace hv::test
