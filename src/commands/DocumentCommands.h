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

// Opens a document and tells the user, in one message, what opening found: items the library
// lacks (kept as placeholders) and entries whose text could not be read.
void OpenDocumentReporting(const std::string& fileName);
// The one message about what opening doc found; empty when there is nothing to tell.
QString OpenReport(const TDocLogic& doc);

// Saves doc under fileName, asking first where the save could lose someone's work: entries whose
// text could not be read (drop them, keep them, or do not save), and a file another program
// changed since it was opened (overwrite or not). Answers whether the document was saved.
bool SaveDocument(TDocLogic& doc, const std::string& fileName);

// Tells the user, before output is made from doc, that its placeholder entries (items the library
// lacks, unreadable texts) are left out of it; what names the output ("print", "export"...).
void TellPlaceholdersLeftOut(const TDocLogic* doc, const QString& what);

// Where the open and save dialogs start: the folder last used, else the user's documents folder.
QString DocumentFolder();
void RememberDocumentFolder(const QString& fileName);

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
