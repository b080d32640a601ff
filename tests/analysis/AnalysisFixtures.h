#pragma once
// A small library built in code for the analysis sheets, documents over it, and the application
// state with the commands' environment for the window and command tests.
#include <QObject>

#include <memory>
#include <string>
#include <vector>

#include "TempFolder.h"
#include "Workbook.h"
#include "commands/CommandFramework.h"
#include "logic/AppLogic.h"
#include "model/Categories.h"
#include "model/Document.h"
#include "model/Library.h"
#include "model/Segments.h"
#include "model/TextStore.h"

namespace hv::test {

// Levels Foundation (1) and Higher (2). Statements 1.2 "Forces and motion" with 1.2a and 1.2b
// below it, and 3.1 "Wave properties". Resources R1, R2. Questions A101 (5 marks, Higher, topic
// "Forces, motion", related 1.2a and 3.1, resource R1), A102 (7 marks, Foundation, related 1.2b,
// resources R2 and R1), A103 (4 marks, Higher, no links, no topic) and B201 to B223 (1 mark each).
struct TAnalysisLibrary {
  std::unique_ptr<TLibrary> Library = TLibrary::CreateEmpty();
  TCategory *Forces, *Waves, *Foundation, *Higher;
  TIdentityCategory *S12, *S12a, *S12b, *S31, *R1, *R2;
  TIdentityCategory *A101, *A102, *A103;
  TQuestion *Q1, *Q2, *Q3;
  std::vector<TQuestion*> Many;

  static std::unique_ptr<TTextChunk> Chunk() {
    return std::make_unique<TTextChunk>(std::vector<std::string>{"{\\rtf1 text\\par -\\par}"});
  }
  static TCategory* Child(TCategory* parent, const char* name) {
    TCategory* c = parent->CreateChild();
    c->SetName(name);
    return c;
  }
  static TIdentityCategory* Node(TIdentityCategory* parent, const std::string& code, const std::string& title) {
    auto* n = static_cast<TIdentityCategory*>(parent->CreateChild());
    n->SetCode(code);
    n->SetTitle(title);
    return n;
  }
  static TQuestion* Ask(TIdentityCategory* node, int marks, TCategory* topic, TCategory* level,
                        std::vector<TIdentityCategory*> related, std::vector<TIdentityCategory*> resources) {
    TQuestion* q = node->AddQuestion();
    q->SetChunk(Chunk());
    q->Marks = static_cast<std::int16_t>(marks);
    if (topic != nullptr) q->Topics = {topic};
    q->Level = level;
    q->Resources = std::move(resources);
    node->Related = std::move(related);
    return q;
  }

  TAnalysisLibrary() {
    TLibrary& l = *Library;
    Forces = Child(l.Topics, "Forces, motion");
    Waves = Child(l.Topics, "Waves");
    Foundation = Child(l.Levels, "Foundation");
    Higher = Child(l.Levels, "Higher");
    S12 = Node(l.SyllabusTree, "1.2", "Forces and motion");
    S12a = Node(S12, "a", "Balanced forces");
    S12b = Node(S12, "b", "Momentum");
    S31 = Node(l.SyllabusTree, "3.1", "Wave properties");
    for (TIdentityCategory* s : {S12, S12a, S12b, S31}) s->AddSyllabus()->SetChunk(Chunk());
    R1 = Node(l.ResourceTree, "R1", "Data sheet");
    R2 = Node(l.ResourceTree, "R2", "Graph paper");
    TIdentityCategory* a1 = Node(l.QuestionTree, "A1", "Paper A");
    A101 = Node(a1, "01", "Falling ball");
    A102 = Node(a1, "02", "Momentum \"and\" <collisions>");
    A103 = Node(a1, "03", "Unlinked");
    Q1 = Ask(A101, 5, Forces, Higher, {S12a, S31}, {R1});
    Q2 = Ask(A102, 7, Waves, Foundation, {S12b}, {R2, R1});
    Q3 = Ask(A103, 4, nullptr, Higher, {}, {});
    A101->AddMarkScheme()->SetChunk(Chunk());
    TIdentityCategory* b2 = Node(l.QuestionTree, "B2", "Paper B");
    for (int i = 1; i <= 23; ++i) {
      const std::string code = (i < 10 ? "0" : "") + std::to_string(i);
      Many.push_back(Ask(Node(b2, code, "Item " + code), 1, Waves, Foundation, {}, {}));
    }
  }
};

// A document over the library's segments, with a title inserted first.
inline std::unique_ptr<TDocument> DocumentOf(const std::vector<TTextSegment*>& segments, bool withTitle = true) {
  auto doc = std::make_unique<TDocument>();
  doc->InsertEntries(std::vector<TStreamable*>(segments.begin(), segments.end()), -1);
  if (withTitle) doc->InsertText(0, "Test title", false, TAnalysisLibrary::Chunk(), 0, 0);
  return doc;
}

inline const std::string& TemplateFile() {
  static const std::string file = std::string(HV_SOURCE_DIR) + "/resources/templates/RX2P.xltx";
  return file;
}

inline std::string Text(const TWorksheet& sheet, int row, int column) { return sheet.Cell(row, column).Value; }

}  // namespace hv::test
