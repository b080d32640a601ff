#pragma once
// A library built in code and the main window over it, for window tests that need exact
// contents (marks, times, counts) rather than the sample library's.
#include <QApplication>
#include <QLabel>
#include <QTest>

#include <memory>
#include <string>
#include <vector>

#include "commands/CommandFramework.h"
#include "commands/Utility.h"
#include "logic/AppLogic.h"
#include "model/Categories.h"
#include "model/Library.h"
#include "model/Segments.h"
#include "model/TextStore.h"
#include "windows/DocForm.h"
#include "windows/MainForm.h"

namespace hv::test {

// Ten questions Q01..Q10 under paper "P", each with 4 marks and no time, topics "Forces" and
// "Waves", two question types and two levels; mark schemes for the first three.
inline std::unique_ptr<TLibrary> TenQuestionLibrary() {
  auto lib = TLibrary::CreateEmpty();
  lib->Name = "Ten questions";
  auto child = [](TCategory* parent, const char* name) {
    TCategory* c = parent->CreateChild();
    c->SetName(name);
    return c;
  };
  TCategory* forces = child(lib->Topics, "Forces");
  TCategory* waves = child(lib->Topics, "Waves");
  TCategory* shortType = child(lib->QuestionTypes, "Short");
  child(lib->QuestionTypes, "Long");
  TCategory* core = child(lib->Levels, "Core");
  child(lib->Levels, "Extended");
  auto* paper = static_cast<TIdentityCategory*>(lib->QuestionTree->CreateChild());
  paper->SetCode("P");
  paper->SetTitle("Paper");
  for (int i = 1; i <= 10; ++i) {
    auto* node = static_cast<TIdentityCategory*>(paper->CreateChild());
    const std::string code = (i < 10 ? "0" : "") + std::to_string(i);
    node->SetCode(code);
    node->SetTitle("Question " + code);
    TQuestion* q = node->AddQuestion();
    q->Marks = 4;
    q->Topics = {forces, waves};
    q->QuestionType = shortType;
    q->Level = core;
    q->SetChunk(std::make_unique<TTextChunk>(std::vector<std::string>{"{\\rtf1 q}"}));
    if (i <= 3) {
      TMarkScheme* ms = node->AddMarkScheme();
      ms->SetChunk(std::make_unique<TTextChunk>(std::vector<std::string>{"{\\rtf1 m}"}));
    }
  }
  return lib;
}

// The application state over the ten-question library, the commands' environment, the document
// window factory and the main window, as start-up makes them (without a configuration file).
struct TWindowRig {
  TAppLogic App;
  TDocFormCreator Creator{App};
  std::unique_ptr<TCommandEnvironment> Env;
  TMainForm* Main = nullptr;
  int QuitCalls = 0;

  TWindowRig() {
    App.AdoptLibrary("Ten", TOpenedLibrary{nullptr, TenQuestionLibrary()});
    AssignSymbols(*App.Library());
    Env = std::make_unique<TCommandEnvironment>(App);
    // Exit must not end the test program.
    Env->Quit = [this] { ++QuitCalls; };
    Main = new TMainForm(App, *Env);
    Creator.SetMainForm(Main);
    Main->resize(1000, 700);
  }
  ~TWindowRig() { delete Main; }

  const std::vector<TQuestion*>& Results() const { return App.Selector()->Results(); }
  TDocLogic* Doc(std::size_t i) const { return App.Documents().at(i).get(); }
};

}  // namespace hv::test
