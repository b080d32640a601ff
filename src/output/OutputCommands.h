#pragma once
// The commands of printing, export, titles, sections and free texts.
#include "commands/EditCommands.h"

namespace hv {

// Print Setup: the printer set-up dialog; always enabled.
class TPrintSetupCmd : public TCommand {
  Q_OBJECT
public:
  void Execute(QObject* sender) override;
};

// Base of Print, Print Preview and Export: enabled while the current document has entries, so it
// hears CurrentDoc and, from every document, Document.
class TDocOutputCmd : public TAppCommand {
  Q_OBJECT
public:
  TDocOutputCmd();
  bool IsEnabled() override;
};

class TPrintCmd : public TDocOutputCmd {
  Q_OBJECT
public:
  void Execute(QObject* sender) override;
};

class TPrintPreviewCmd : public TDocOutputCmd {
  Q_OBJECT
public:
  void Execute(QObject* sender) override;
};

// Export to WP: asks for an RTF file and writes the composed document there.
class TExportCmd : public TDocOutputCmd {
  Q_OBJECT
public:
  void Execute(QObject* sender) override;
};

// Base of the insert commands: enabled while there is a current document.
class TInsertCmd : public TAppCommand {
  Q_OBJECT
public:
  TInsertCmd();
  bool IsEnabled() override;
};

class TInsertTitleCmd : public TInsertCmd {
  Q_OBJECT
public:
  void Execute(QObject* sender) override;
};

class TInsertSectionCmd : public TInsertCmd {
  Q_OBJECT
public:
  void Execute(QObject* sender) override;
};

class TInsertTextCmd : public TInsertCmd {
  Q_OBJECT
public:
  void Execute(QObject* sender) override;
};

inline constexpr const char* kMakeCopyQuestion =
    "The selected item cannot be edited, but you can make a copy and edit that. Would you like to make a copy?";

// Edit Text: opens the editor on the current entry; a library entry is edited as a copy, after
// asking.
class TEditTextCmd : public TEditCmd {
  Q_OBJECT
public:
  TEditTextCmd();
  void Execute(QObject* sender) override;
  bool IsEnabled() override;
};

// Adds the commands above to the main window's command classes; safe to call more than once.
void RegisterOutputCommands();

}  // namespace hv
