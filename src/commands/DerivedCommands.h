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

// Derives the report of the current document; with no document to work from the user is told to
// click on one.
class TCreateReportCmd : public TDerivedDocCmd {
  Q_OBJECT
public:
  void Execute(QObject* sender) override;
};

}  // namespace hv
