#pragma once
// The Tools menu commands of class records: the mark entry sheet, the file index, and the student
// list window.
#include <QPointer>

#include <functional>
#include <string>

#include "commands/CommandFramework.h"

namespace hv {

class TPupilForm;

// The per-library settings the analysis sheets read.
struct TAnalysisSettings {
  bool UseResource = true;        // references come from the questions' resources
  std::string TemplateName = "RX2P.xlt";
};

// The settings of a library key's section of "vornika32.ini", with the usual defaults.
TAnalysisSettings ReadAnalysisSettings(const std::string& subject);

// The dialogs of the analysis sheets (the analysis form held nothing else).
namespace AnalysisDialogs {
inline constexpr const char* PupilTitle = "Student list file";
inline constexpr const char* PupilFilter = "Student lists(*.ptx)|*.ptx|Comma Separated(*.csv)|*.csv";
inline constexpr const char* PupilExt = "ptx";
inline constexpr const char* AnalysisTitle = "File to save analysis sheet";
inline constexpr const char* AnalysisFilter = "Spreadsheet file|*.xlsx";
inline constexpr const char* AnalysisExt = "xlsx";
}  // namespace AnalysisDialogs

// A chosen spreadsheet name with the workbook extension: "marks" and "marks.xls" become
// "marks.xlsx", since the file written is an .xlsx package whatever it is called.
std::string WorkbookFileName(const std::string& chosen);

// What happens with a finished workbook: the program opens it in the desktop's spreadsheet
// program, as the sheet used to be left open on screen; tests put a recorder here. False when no
// program could be started, and the user is then told where the workbook is.
using TWorkbookViewer = std::function<bool(const std::string& fileName)>;
// An empty viewer puts the desktop's opener back.
void SetWorkbookViewer(TWorkbookViewer viewer);

// Enabled while the current document holds entries; hears CurrentDoc and every document's
// Modified, which each change of entries brings.
class TAnalysisSheetCmd : public TAppCommand {
  Q_OBJECT
public:
  using TSettingsSource = std::function<TAnalysisSettings()>;
  // Without a source the settings are read from the configuration of the open library.
  explicit TAnalysisSheetCmd(TSettingsSource settings = {});
  bool IsEnabled() override;

protected:
  TAnalysisSettings Settings() const;
  // Asks for the workbook's name, and whether to replace the file of that name when there is one;
  // empty when cancelled.
  std::string AskWorkbookName();
  // Opens the finished workbook, or says where it was saved.
  void ShowWorkbook(const std::string& fileName);

private:
  TSettingsSource Source;
};

class TCreateSummaryCmd : public TAnalysisSheetCmd {
  Q_OBJECT
public:
  using TAnalysisSheetCmd::TAnalysisSheetCmd;
  void Execute(QObject* sender) override;
};

class TCreateMarkSheetCmd : public TAnalysisSheetCmd {
  Q_OBJECT
public:
  using TAnalysisSheetCmd::TAnalysisSheetCmd;
  void Execute(QObject* sender) override;
};

// Shows the student list window, made once under the window that owns the command.
class TShowPupilFormCmd : public TCommand {
  Q_OBJECT
public:
  void Execute(QObject* sender) override;
  TPupilForm* Form() const;

private:
  QPointer<TPupilForm> PupilForm;
};

// Makes the three commands known to the main window's menu table by class name.
void RegisterAnalysisCommands();

}  // namespace hv
