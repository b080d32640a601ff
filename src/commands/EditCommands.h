#pragma once
// The Edit menu: clipboard operations on the current document, selecting, copying to the
// document, numbering and moving entries.
#include <string_view>

#include "commands/CommandFramework.h"

class QWidget;

namespace hv {

class TDocContent;
class TDocLogic;

// The text field (line edit, text edit, plain text edit or spin box) that has the keyboard focus,
// if any. While an editable one has it, Cut, Copy, Paste, Clear and Select All act on its text and
// leave the documents alone, whether they come from a shortcut or from the menu. A read-only one
// keeps only Select All and the Copy of a piece of text selected in it.
QWidget* FocusedTextField();

enum class TTextFieldAction { Cut, Copy, Paste, Delete, SelectAll };
// Performs the action on the focused text field; false when no text field has the focus or the
// field leaves the action to the items.
bool ForwardToTextField(TTextFieldAction action);

// Shared tests of the editing commands.
class TEditCmd : public TAppCommand {
  Q_OBJECT
public:
  using TAppCommand::TAppCommand;

protected:
  bool SelectionFromCurrentDocument() const;
  // The current index points into the current document's entries at the one selected item.
  bool EditingCurrentDocument() const;
  TDocContent* CurrentEntry() const;
  // Takes the selected entries out of the current document, leaving no current item and an empty
  // selection.
  void RemoveSelection(std::string_view undoName);
};

class TCutCmd : public TEditCmd {
  Q_OBJECT
public:
  TCutCmd();
  void Execute(QObject* sender) override;
  bool IsEnabled() override;
};

class TCopyCmd : public TEditCmd {
  Q_OBJECT
public:
  TCopyCmd();
  void Execute(QObject* sender) override;
  bool IsEnabled() override;
};

class TPasteCmd : public TEditCmd {
  Q_OBJECT
public:
  TPasteCmd();
  void Execute(QObject* sender) override;
  bool IsEnabled() override;
};

class TClearCmd : public TEditCmd {
  Q_OBJECT
public:
  TClearCmd();
  void Execute(QObject* sender) override;
  bool IsEnabled() override;
};

class TSelectAllCmd : public TEditCmd {
  Q_OBJECT
public:
  TSelectAllCmd();
  void Execute(QObject* sender) override;
  bool IsEnabled() override;
};

// Undo and Redo of the current document's last change. The menu item names the change ("&Undo
// Move Up"); afterwards the entries the change touched are selected.
class THistoryCmd : public TEditCmd {
  Q_OBJECT
public:
  explicit THistoryCmd(bool redo);
  void Execute(QObject* sender) override;
  bool IsEnabled() override;

private:
  bool Redoes;
};

class TUndoCmd : public THistoryCmd {
  Q_OBJECT
public:
  TUndoCmd() : THistoryCmd(false) {}
};

class TRedoCmd : public THistoryCmd {
  Q_OBJECT
public:
  TRedoCmd() : THistoryCmd(true) {}
};

class TCopyToDocCmd : public TEditCmd {
  Q_OBJECT
public:
  TCopyToDocCmd();
  void Execute(QObject* sender) override;
  bool IsEnabled() override;
};

// Show Number: switches the current entry's number on or off; checked while it is numbered.
class TToggleNumberedCmd : public TEditCmd {
  Q_OBJECT
public:
  TToggleNumberedCmd();
  void Execute(QObject* sender) override;
  bool IsEnabled() override;
  bool IsChecked() override;
};

// Base of the four moves of the current entry.
class TMoveCmd : public TEditCmd {
  Q_OBJECT
public:
  TMoveCmd();
  void Execute(QObject* sender) override;
  bool IsEnabled() override;

protected:
  // Where the entry at index goes, in a document of count entries; index itself when it cannot move.
  virtual int Destination(int index, int count) const = 0;
  // The change's name in the Undo item ("Move Up").
  virtual const char* UndoName() const = 0;
};

class TMoveToTopCmd : public TMoveCmd {
  Q_OBJECT
protected:
  int Destination(int index, int count) const override;
  const char* UndoName() const override { return "Move to Top"; }
};

class TMoveUpCmd : public TMoveCmd {
  Q_OBJECT
protected:
  int Destination(int index, int count) const override;
  const char* UndoName() const override { return "Move Up"; }
};

class TMoveDownCmd : public TMoveCmd {
  Q_OBJECT
protected:
  int Destination(int index, int count) const override;
  const char* UndoName() const override { return "Move Down"; }
};

class TMoveToBottomCmd : public TMoveCmd {
  Q_OBJECT
protected:
  int Destination(int index, int count) const override;
  const char* UndoName() const override { return "Move to Bottom"; }
};

}  // namespace hv
