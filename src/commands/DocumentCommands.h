#pragma once
// The commands of the File menu that create, open, close and save documents, and Close All.
#include <QString>

#include "commands/CommandFramework.h"

namespace hv {

class TDocLogic;

// The document file filter in the file dialogs' own notation, and the same in Qt's.
inline constexpr const char* kDocumentFilter = "Harrowvane Documents (*.kvd)|*.kvd";
QString DocumentFilter();

// "Do you want to save the changes to document '...'?"
QString SaveQuestion(const TDocLogic& doc);

class TNewCmd : public TCommand {
  Q_OBJECT
public:
  void Execute(QObject* sender) override;
};

class TOpenCmd : public TCommand {
  Q_OBJECT
public:
  void Execute(QObject* sender) override;
};

// Closes the current document, asking first whether to save its changes.
class TCloseCmd : public TAppCommand {
  Q_OBJECT
public:
  TCloseCmd();
  void Execute(QObject* sender) override;
  bool IsEnabled() override;

protected:
  // Closes doc, which must be the current document, unless the user cancels or a save is
  // cancelled; answers whether it was closed.
  static bool CloseAsking(TDocLogic* doc);
};

// Closes every document, newest first; a document whose save question is cancelled stays open.
// Run by Exit, also when no document is current.
class TCloseAllCmd : public TCloseCmd {
  Q_OBJECT
public:
  void Execute(QObject* sender) override;
};

class TSaveCmd : public TAppCommand {
  Q_OBJECT
public:
  TSaveCmd();
  void Execute(QObject* sender) override;
  bool IsEnabled() override;
};

class TSaveAsCmd : public TAppCommand {
  Q_OBJECT
public:
  TSaveAsCmd();
  void Execute(QObject* sender) override;
  bool IsEnabled() override;
};

// Saves every modified document in order of creation; stops at the first Save As the user cancels.
class TSaveAllCmd : public TAppCommand {
  Q_OBJECT
public:
  TSaveAllCmd();
  void Execute(QObject* sender) override;
  bool IsEnabled() override;
};

}  // namespace hv
