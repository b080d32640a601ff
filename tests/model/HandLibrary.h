#pragma once
// A library data file and its text file spelled out byte by byte for a given format version.
//
// Trees: Topics/Waves, Types/Short answer, Levels/Foundation, Papers/Paper 1; questions A1/07 with
// a question (4 marks, 6 minutes, two RTF lines, classified by all four trees) and a mark scheme;
// syllabus 1.1 with a statement related to A107; from version 9 on, resources R1 with a resource
// that the question lists.
#include <string>
#include <vector>

#include "ModelTestSupport.h"

namespace hv::test {

struct THandLibrary {
  TByteVector Data;
  TByteVector Text;
  int ObjectsInStream = 0;
  std::vector<std::string> QuestionLines{"{\\rtf1 Waves on strings}", "{\\rtf1 second line}"};
  std::vector<std::string> MarkSchemeLines{"{\\rtf1 M1 for v = f lambda}"};
  std::vector<std::string> SyllabusLines{"{\\rtf1 recall v = f lambda}"};
};

inline THandLibrary BuildHandLibrary(int version, int count = -1) {
  THandLibrary h;
  const bool hasResources = version >= 9;
  const std::uint32_t qOffset = 0;
  h.Text = ChunkRecord(h.QuestionLines);
  const auto msOffset = static_cast<std::uint32_t>(h.Text.size());
  auto more = ChunkRecord(h.MarkSchemeLines);
  h.Text.insert(h.Text.end(), more.begin(), more.end());
  const auto sylOffset = static_cast<std::uint32_t>(h.Text.size());
  more = ChunkRecord(h.SyllabusLines);
  h.Text.insert(h.Text.end(), more.begin(), more.end());

  h.ObjectsInStream = hasResources ? 23 : 20;
  TBytes b;
  b.Int(version).Int(0);
  if (version > 7) b.Int(0);
  b.Int(count >= 0 ? count : h.ObjectsInStream);

  auto identityTail = [&](std::string_view code, std::string_view title) {
    b.Str(code).Str(title);
  };
  auto noResource = [&] {
    if (hasResources) b.Nil();
  };

  const int lib = b.New("TLibrary");
  (void)lib;
  b.Str("Physics");
  const int topics = b.New("TCategory");
  const int types = b.New("TCategory");
  const int levels = b.New("TCategory");
  const int papers = b.New("TCategory");
  const int qtree = b.New("TIdentityCategory");
  const int stree = b.New("TIdentityCategory");
  const int rtree = hasResources ? b.New("TIdentityCategory") : 0;

  b.Nil().Str("Topics").ListBegin().Int(1);
  const int waves = b.New("TCategory");
  b.ListEnd();
  b.Nil().Str("Types").ListBegin().Int(1);
  const int shortAnswer = b.New("TCategory");
  b.ListEnd();
  b.Nil().Str("Levels").ListBegin().Int(1);
  const int foundation = b.New("TCategory");
  b.ListEnd();
  b.Nil().Str("Papers").ListBegin().Int(1);
  const int paper1 = b.New("TCategory");
  b.ListEnd();

  b.Nil().Str("Questions").ListBegin().Int(1);
  const int a1 = b.New("TIdentityCategory");
  b.ListEnd();
  identityTail("", "");
  b.Nil().Nil().Nil().Nil().Nil();
  noResource();
  b.EmptyList();

  b.Nil().Str("Syllabus").ListBegin().Int(1);
  const int s11 = b.New("TIdentityCategory");
  b.ListEnd();
  identityTail("", "");
  b.Nil().Nil().Nil().Nil().Nil();
  noResource();
  b.EmptyList();

  int r1 = 0;
  if (hasResources) {
    b.Nil().Str("Resources").ListBegin().Int(1);
    r1 = b.New("TIdentityCategory");
    b.ListEnd();
    identityTail("", "");
    b.Nil().Nil().Nil().Nil().Nil().Nil();
    b.EmptyList();
  }

  b.Ref(topics).Str("Waves").EmptyList();
  b.Ref(types).Str("Short answer").EmptyList();
  b.Ref(levels).Str("Foundation").EmptyList();
  b.Ref(papers).Str("Paper 1").EmptyList();

  // A1
  b.Ref(qtree).Str("Paper A1").ListBegin().Int(1);
  const int q07 = b.New("TIdentityCategory");
  b.ListEnd();
  identityTail("A1", "Paper A1");
  b.Nil().Nil().Nil().Nil().Nil();
  noResource();
  b.EmptyList();

  // 1.1
  b.Ref(stree).Str("1.1").EmptyList();
  identityTail("1.1", "Wave speed");
  b.Nil();
  const int syl = b.New("TSyllabus");
  b.Nil().Nil().Nil();
  noResource();
  b.ListBegin().Int(1).Ref(q07).ListEnd();

  int res = 0;
  if (hasResources) {
    b.Ref(rtree).Str("R1").EmptyList();
    identityTail("R1", "Data sheet");
    b.Nil().Nil().Nil().Nil().Nil();
    res = b.New("TResource");
    b.EmptyList();
  }

  // 07
  b.Ref(a1).Str("07").EmptyList();
  identityTail("07", "Waves on strings");
  const int question = b.New("TQuestion");
  b.Nil().Nil();
  const int markScheme = b.New("TMarkScheme");
  b.Nil();
  noResource();
  b.ListBegin().Int(1).Ref(s11).ListEnd();

  auto segmentTail = [&](int marks, int time) {
    b.Int(marks).Int(time);
    if (version == 1) b.Bool(true);
  };
  // syllabus statement
  b.Ref(s11);
  const int sylChunk = b.New("TTextChunk");
  segmentTail(0, 0);
  if (hasResources) {
    b.Ref(r1).Nil();
    segmentTail(0, 0);
  }
  // question
  b.Ref(q07);
  const int qChunk = b.New("TTextChunk");
  segmentTail(4, 6);
  b.ListBegin().Int(1).Ref(waves).ListEnd();
  b.Ref(shortAnswer).Ref(foundation);
  b.ListBegin().Int(1).Ref(paper1).ListEnd();
  if (version > 8) b.ListBegin().Int(1).Ref(r1).ListEnd();
  // mark scheme
  b.Ref(q07);
  const int msChunk = b.New("TTextChunk");
  segmentTail(0, 0);

  for (std::uint32_t offset : {sylOffset, qOffset, msOffset}) {
    if (version < 6) b.Bool(false);
    b.Int(static_cast<std::int32_t>(offset));
  }
  (void)res;
  (void)question;
  (void)markScheme;
  (void)syl;
  (void)sylChunk;
  (void)qChunk;
  (void)msChunk;
  h.Data = std::move(b.Data);
  return h;
}

}  // namespace hv::test
