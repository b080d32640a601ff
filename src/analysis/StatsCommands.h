#pragma once
// The Tools menu command that brings a class's marks back from a filled mark entry workbook into
// the question statistics.
#include "commands/CommandFramework.h"

namespace hv {

inline constexpr const char* kImportMarksTitle = "Import marks from a mark entry sheet";
inline constexpr const char* kImportMarksFilter = "Spreadsheet file|*.xlsx";

// Enabled while the statistics store is open; hears Statistics, which attaching it brings.
class TImportMarksCmd : public TAppCommand {
  Q_OBJECT
public:
  TImportMarksCmd();
  bool IsEnabled() override;
  void Execute(QObject* sender) override;
};

// Makes the command known to the main window's menu table by class name.
void RegisterStatsCommands();

}  // namespace hv
