#pragma once
// The texts of the question bank: questions, statements, resources, reports, mark schemes, notes
// and the free texts of documents.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "core/ObjectStream.h"

namespace hv {

class TIdentityCategory;
class TCategory;
class TTextChunk;
class TText;
class TDocContent;

// One piece of rich text with its marks and time; its RTF lives in Chunk.
class TTextSegment : public TStreamable {
public:
  ~TTextSegment() override;

  TIdentityCategory* Identity = nullptr;  // not owned
  TTextChunk* Chunk = nullptr;            // owned
  std::int16_t Marks = 0;
  std::int16_t Time = 0;  // minutes

  virtual std::string GetName() const;
  virtual void SetName(std::string_view name);
  // Leaves the identity's slot, frees the chunk and the segment itself.
  virtual void Delete();
  virtual std::string GetID() const;
  virtual std::unique_ptr<TText> CreateText() const;
  virtual std::unique_ptr<TDocContent> CreateContent();
  virtual char TypeLetter() const = 0;
  virtual bool NumberedInDocuments() const { return true; }

  void SetChunk(std::unique_ptr<TTextChunk> chunk);
  std::unique_ptr<TTextChunk> TakeChunk();

  void ReadFrom(TNetReader& reader) override;
  void WriteTo(TNetWriter& writer) const override;
  int ObjectCount() const override;
  void ForgetOwned() override { Chunk = nullptr; }
};

class TQuestion : public TTextSegment {
public:
  static constexpr const char* StaticClassName = "TQuestion";
  const char* ClassName() const override { return StaticClassName; }
  char TypeLetter() const override { return 'Q'; }

  std::vector<TCategory*> Topics;  // classification; nodes not owned
  TCategory* QuestionType = nullptr;
  TCategory* Level = nullptr;
  std::vector<TCategory*> Papers;
  std::vector<TIdentityCategory*> Resources;  // resource identities used by the question

  void ReadFrom(TNetReader& reader) override;
  void WriteTo(TNetWriter& writer) const override;
};

class TSyllabus : public TTextSegment {
public:
  static constexpr const char* StaticClassName = "TSyllabus";
  const char* ClassName() const override { return StaticClassName; }
  char TypeLetter() const override { return 'S'; }
  bool NumberedInDocuments() const override { return false; }
};

class TResource : public TTextSegment {
public:
  static constexpr const char* StaticClassName = "TResource";
  const char* ClassName() const override { return StaticClassName; }
  char TypeLetter() const override { return 'R'; }
  bool NumberedInDocuments() const override { return false; }
};

class TExaminersReport : public TTextSegment {
public:
  static constexpr const char* StaticClassName = "TExaminersReport";
  const char* ClassName() const override { return StaticClassName; }
  char TypeLetter() const override { return 'E'; }
};

class TMarkScheme : public TTextSegment {
public:
  static constexpr const char* StaticClassName = "TMarkScheme";
  const char* ClassName() const override { return StaticClassName; }
  char TypeLetter() const override { return 'M'; }
};

class TNote : public TTextSegment {
public:
  static constexpr const char* StaticClassName = "TNote";
  const char* ClassName() const override { return StaticClassName; }
  char TypeLetter() const override { return 'N'; }
  bool NumberedInDocuments() const override { return false; }
};

// A free text owned by a document; its identity only records the library item it came from.
class TText : public TTextSegment {
public:
  static constexpr const char* StaticClassName = "TText";
  const char* ClassName() const override { return StaticClassName; }
  char TypeLetter() const override { return 'T'; }
  bool NumberedInDocuments() const override { return false; }

  std::string Title;  // at most 100 characters

  std::string GetName() const override { return Title; }
  void SetName(std::string_view name) override;
  void Delete() override;
  std::unique_ptr<TDocContent> CreateContent() override;

  void ReadFrom(TNetReader& reader) override;
  void WriteTo(TNetWriter& writer) const override;
};

// Stands in a document for a library item the open library does not hold (a newer edition that
// dropped it), or for a free text whose record could not be read. It is shown, never printed,
// and a missing item is written back under the same typed ID, so the old library finds it again.
// Never stored as an object of its own.
class TPlaceholderSegment : public TTextSegment {
public:
  static constexpr const char* StaticClassName = "TPlaceholderSegment";
  const char* ClassName() const override { return StaticClassName; }
  // typedId is the reference as stored; caption is what the document shows in its place.
  TPlaceholderSegment(std::string typedId, std::string caption);

  std::string TypedID;
  std::string Caption;

  char TypeLetter() const override { return TypedID.empty() ? '?' : TypedID[0]; }
  std::string GetID() const override { return TypedID; }
  std::string GetName() const override { return Caption; }
  void SetName(std::string_view) override {}
  void Delete() override { delete this; }
  std::unique_ptr<TText> CreateText() const override;
  std::unique_ptr<TDocContent> CreateContent() override;
  void ReadFrom(TNetReader&) override;
  void WriteTo(TNetWriter&) const override;
};

// "QP101: not in this library"
std::string MissingItemCaption(std::string_view typedId);

// The plain segment class only exists so that old streams naming it can be read.
class TPlainTextSegment : public TTextSegment {
public:
  static constexpr const char* StaticClassName = "TTextSegment";
  const char* ClassName() const override { return StaticClassName; }
  char TypeLetter() const override { return '?'; }
};

}  // namespace hv
