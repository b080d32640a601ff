#pragma once
// A small library with the cross-links the related commands follow, an application state over it
// with the commands' environment, and helpers that click the way the windows will.
#include <QTemporaryDir>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "commands/CommandFramework.h"
#include "logic/AppLogic.h"
#include "model/Categories.h"
#include "model/Library.h"
#include "model/Segments.h"
#include "model/TextStore.h"

namespace hv::test {

// Questions P1 (mark scheme on the paper node only) with 01, 02, 03, and P2 with 01. Statements
// S1 with 1 (related to P101 alone, with a note), 2 (related to P102, P103 and P201), 3 (no
// statement, a note only, under S1 which has none) and 4 (related to P103). Resources R1 and R2.
struct TRelatedLibrary {
  std::unique_ptr<TLibrary> Library = TLibrary::CreateEmpty();
  TCategory *Mechanics, *Waves, *Short, *Long, *Core, *Extended, *Paper1, *Paper2;
  TIdentityCategory *P1, *P101, *P102, *P103, *P2, *P201;
  TIdentityCategory *S1, *S11, *S12, *S13, *S14;
  TIdentityCategory *R1, *R2;

  static TCategory* Child(TCategory* parent, const char* name) {
    TCategory* c = parent->CreateChild();
    c->SetName(name);
    return c;
  }
  static TIdentityCategory* Node(TIdentityCategory* parent, const char* code, const char* title) {
    auto* n = static_cast<TIdentityCategory*>(parent->CreateChild());
    n->SetCode(code);
    n->SetTitle(title);
    return n;
  }
  template <class T>
  static T* Texted(T* segment, std::int16_t marks = 0) {
    segment->Marks = marks;
    segment->SetChunk(std::make_unique<TTextChunk>(std::vector<std::string>{"{\\rtf1 text\\par -\\par}"}));
    return segment;
  }
  static void Relate(TIdentityCategory* question, TIdentityCategory* statement) {
    question->Related.push_back(statement);
    statement->Related.push_back(question);
  }

  TRelatedLibrary() {
    TLibrary& l = *Library;
    l.Name = "Related physics";
    l.Topics->SetName("All topics");
    l.QuestionTypes->SetName("All types");
    l.Levels->SetName("All levels");
    l.Papers->SetName("All papers");
    Mechanics = Child(l.Topics, "Mechanics");
    Waves = Child(l.Topics, "Waves");
    Short = Child(l.QuestionTypes, "Short");
    Long = Child(l.QuestionTypes, "Long");
    Core = Child(l.Levels, "Core");
    Extended = Child(l.Levels, "Extended");
    Paper1 = Child(l.Papers, "Paper 1");
    Paper2 = Child(l.Papers, "Paper 2");
    R1 = Node(l.ResourceTree, "R1", "Data sheet");
    Texted(R1->AddResource());
    R2 = Node(l.ResourceTree, "R2", "Graph paper");
    Texted(R2->AddResource());

    P1 = Node(l.QuestionTree, "P1", "Paper one");
    Texted(P1->AddMarkScheme());
    P101 = Node(P1, "01", "Falling ball");
    P102 = Node(P1, "02", "Spring");
    P103 = Node(P1, "03", "Ripple tank");
    P2 = Node(l.QuestionTree, "P2", "Paper two");
    P201 = Node(P2, "01", "Pendulum");
    Question(P101, 2, Mechanics, Short, Core, Paper1, {});
    Question(P102, 3, Mechanics, Long, Extended, Paper1, {R1});
    Question(P103, 4, Waves, Short, Extended, Paper2, {R1, R2});
    Question(P201, 5, Mechanics, Long, Core, Paper2, {R2});
    Texted(P102->AddMarkScheme());
    Texted(P102->AddExaminersReport());
    Texted(P103->AddExaminersReport());

    S1 = Node(l.SyllabusTree, "S1", "Forces");
    S11 = Node(S1, "1", "Weight");
    S12 = Node(S1, "2", "Elasticity");
    S13 = Node(S1, "3", "Oscillation");
    Texted(S11->AddSyllabus());
    Texted(S11->AddNote());
    Texted(S12->AddSyllabus());
    Texted(S13->AddNote());
    S14 = Node(S1, "4", "Waves on water");
    Texted(S14->AddSyllabus());
    Relate(P101, S11);
    Relate(P102, S12);
    Relate(P103, S12);
    Relate(P201, S12);
    Relate(P103, S14);
  }

  TQuestion* Question(TIdentityCategory* node, std::int16_t marks, TCategory* topic, TCategory* type,
                      TCategory* level, TCategory* paper, std::vector<TIdentityCategory*> resources) {
    TQuestion* q = Texted(node->AddQuestion(), marks);
    q->Topics = {topic};
    q->QuestionType = type;
    q->Level = level;
    q->Papers = {paper};
    q->Resources = std::move(resources);
    return q;
  }
};

// The application state over the related library, and the commands' environment over it; what
// Exit would end is recorded instead.
struct TCommandWorld {
  TRelatedLibrary Lib;
  TLibrary* Library = Lib.Library.get();
  TAppLogic App;
  TCommandEnvironment Env{App};
  int QuitCalls = 0;

  TCommandWorld() {
    RegisterModelClasses();  // a library built in memory has not registered them for reading documents
    App.AdoptLibrary("Related", TOpenedLibrary{nullptr, std::move(Lib.Library)});
    Env.Quit = [this] { ++QuitCalls; };
    Env.ProgramDir.clear();
  }

  TDocLogic* NewDocument() {
    App.NewDocument();
    TDocLogic* doc = App.Documents().back().get();
    App.SetCurrentDocument(doc);
    return doc;
  }
  // A document holding the given library segments, in order.
  TDocLogic* DocumentWith(const std::vector<TTextSegment*>& segments) {
    TDocLogic* doc = NewDocument();
    doc->InsertEntries(TItemList(segments.begin(), segments.end()), -1);
    return doc;
  }
  // What a click on one row of a window's list does.
  void Click(TListRef list, int row) {
    App.SetCurrentList(list, row);
    App.SetSelection({list.At(static_cast<std::size_t>(row))}, list);
  }
  // Rows first to last of a list selected together, the first of them focused.
  void ClickRange(TListRef list, int first, int last) {
    App.SetCurrentList(list, first);
    TItemList items;
    for (int i = first; i <= last; ++i) items.push_back(list.At(static_cast<std::size_t>(i)));
    App.SetSelection(std::move(items), list);
  }
  TListRef Entries(TDocLogic* doc) const { return TListRef(doc->Document->Entries); }
  TListRef Results() const { return TListRef(App.Selector()->Results()); }
};

}  // namespace hv::test
