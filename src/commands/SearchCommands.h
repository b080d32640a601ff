#pragma once
// The Question Finder's commands that change one search criterion through the category picker.
#include "commands/CommandFramework.h"
#include "logic/QuestionSelector.h"

namespace hv {

// Asks the picker for a category of one classification tree and sets that criterion, starting a
// new search or refining the current one as the user chose; cancelling changes nothing.
class TSearchCmd : public TCommand {
  Q_OBJECT
public:
  explicit TSearchCmd(TClassification classification);
  void Execute(QObject* sender) override;
  TClassification Classification() const { return Which; }

private:
  TClassification Which;
};

class TSearchByIdentityCmd : public TSearchCmd {
  Q_OBJECT
public:
  TSearchByIdentityCmd() : TSearchCmd(TClassification::Identity) {}
};

class TSearchByTopicCmd : public TSearchCmd {
  Q_OBJECT
public:
  TSearchByTopicCmd() : TSearchCmd(TClassification::Topic) {}
};

class TSearchByQuestionTypeCmd : public TSearchCmd {
  Q_OBJECT
public:
  TSearchByQuestionTypeCmd() : TSearchCmd(TClassification::QuestionType) {}
};

class TSearchByLevelCmd : public TSearchCmd {
  Q_OBJECT
public:
  TSearchByLevelCmd() : TSearchCmd(TClassification::Level) {}
};

class TSearchByPaperCmd : public TSearchCmd {
  Q_OBJECT
public:
  TSearchByPaperCmd() : TSearchCmd(TClassification::Paper) {}
};

class TSearchByResCmd : public TSearchCmd {
  Q_OBJECT
public:
  TSearchByResCmd() : TSearchCmd(TClassification::Resource) {}
};

}  // namespace hv
