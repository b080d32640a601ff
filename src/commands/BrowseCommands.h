#pragma once
// The Viewer's commands: previous and next item of the list browsed, back through the history,
// and the jumps from the selected text to a related text of another kind.
#include "commands/CommandFramework.h"

namespace hv {

class TIdentityCategory;
class TTextSegment;

class TPrevCmd : public TAppCommand {
  Q_OBJECT
public:
  TPrevCmd();
  void Execute(QObject* sender) override;
  bool IsEnabled() override;
};

class TNextCmd : public TAppCommand {
  Q_OBJECT
public:
  TNextCmd();
  void Execute(QObject* sender) override;
  bool IsEnabled() override;
};

class TBackCmd : public TAppCommand {
  Q_OBJECT
public:
  TBackCmd();
  void Execute(QObject* sender) override;
  bool IsEnabled() override;
};

// Base of the six related commands. IsEnabled finds the identity node Execute goes to and keeps
// it in Target; Execute finds it again, so a command run without controls works too.
class TRelatedCmd : public TAppCommand {
  Q_OBJECT
public:
  TRelatedCmd();
  TIdentityCategory* Target() const { return TargetNode; }

protected:
  // Selects a related item so that the item shown before goes onto the history.
  void Select(TTextSegment* segment);
  // Offers segments in the related dialog and selects the one chosen; nothing when cancelled.
  void Offer(const std::vector<TTextSegment*>& segments);

  TIdentityCategory* TargetNode = nullptr;
};

class TRelatedQuestionsCmd : public TRelatedCmd {
  Q_OBJECT
public:
  void Execute(QObject* sender) override;
  bool IsEnabled() override;
};

class TRelatedMarkSchemeCmd : public TRelatedCmd {
  Q_OBJECT
public:
  void Execute(QObject* sender) override;
  bool IsEnabled() override;
};

class TRelatedExaminersReportCmd : public TRelatedCmd {
  Q_OBJECT
public:
  void Execute(QObject* sender) override;
  bool IsEnabled() override;
};

class TRelatedResourceCmd : public TRelatedCmd {
  Q_OBJECT
public:
  void Execute(QObject* sender) override;
  bool IsEnabled() override;
};

class TRelatedSyllabusCmd : public TRelatedCmd {
  Q_OBJECT
public:
  void Execute(QObject* sender) override;
  bool IsEnabled() override;
};

class TRelatedNoteCmd : public TRelatedCmd {
  Q_OBJECT
public:
  void Execute(QObject* sender) override;
  bool IsEnabled() override;
};

}  // namespace hv
