#pragma once
// The Tools menu commands that derive a mark scheme document and a report document from a test.
#include "commands/CommandFramework.h"

namespace hv {

// Enabled while the current document has entries; hears Document from every document.
class TDerivedDocCmd : public TAppCommand {
  Q_OBJECT
public:
  TDerivedDocCmd();
  bool IsEnabled() override;
};

class TCreateMarkSchemeCmd : public TDerivedDocCmd {
  Q_OBJECT
public:
  void Execute(QObject* sender) override;
};

// Derives the report of the first open document, which becomes current; when that fails the
// user is told in a plain message box.
class TCreateReportCmd : public TDerivedDocCmd {
  Q_OBJECT
public:
  void Execute(QObject* sender) override;
};

}  // namespace hv
