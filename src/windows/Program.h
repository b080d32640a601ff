#pragma once
// The program's start-up, the objects that live for the whole run, and the application object
// that turns errors escaping an event into a message box.
#include <QApplication>
#include <QPointer>
#include <QStringList>

#include <memory>
#include <string>

#include "windows/AboutForm.h"
#include "windows/MainForm.h"
#include "windows/MonitorForm.h"
#include "windows/SafetyNets.h"

namespace hv {

class TAppLogic;
class TCommandEnvironment;
class TDocFormCreator;

inline constexpr const char* kProductTitle = "Harrowvane";
inline constexpr const char* kHelpFileName = "Harrowvane32.hlp";
inline constexpr const char* kNoDataFile = "Data file has not been specified";

// An error that reaches the event loop is shown in a message box and the program carries on.
class THvApplication : public QApplication {
  Q_OBJECT
public:
  THvApplication(int& argc, char** argv);
  bool notify(QObject* receiver, QEvent* event) override;
};

// The library key the command line names: argument 1 itself, or, when it is a document file
// (ending in ".kvd" in any case), the library the document was made with when "vornika32.ini"
// has it, else the subject of "vornika.ini". Raises EInOutError with kNoDataFile when there is
// none.
std::string ChooseLibraryKey(const QStringList& arguments);
bool IsDocumentArgument(const QString& argument);

// Everything start-up creates, in creation order, freed in reverse. One per process run; tests
// make one per case.
class TProgram {
public:
  // arguments as QCoreApplication::arguments() gives them: the program first.
  explicit TProgram(QStringList arguments);
  ~TProgram();
  TProgram(const TProgram&) = delete;
  TProgram& operator=(const TProgram&) = delete;

  // Opens the library and creates every window, hidden. On a library or command-line problem the
  // message goes to the error box and the answer is false; no window exists then.
  bool Start();
  // Shows the main window maximised; its first showing completes start-up.
  void Show();

  TAppLogic* App() const { return AppLogicPtr.get(); }
  TCommandEnvironment* Environment() const { return Env.get(); }
  TMainForm* MainForm() const { return Main.data(); }
  TMonitorForm* Monitor() const { return MonitorPtr.data(); }
  TAboutExForm* AboutForm() const { return About.data(); }
  TAutosave* Autosave() const { return AutosavePtr.data(); }
  // Offers the tests a crashed run left unsaved; the program calls it once its window shows.
  void OfferRecovery();

private:
  QStringList Arguments;
  std::unique_ptr<TAppLogic> AppLogicPtr;
  std::unique_ptr<TDocFormCreator> Creator;
  std::unique_ptr<TCommandEnvironment> Env;
  QPointer<TMainForm> Main;
  QPointer<TMonitorForm> MonitorPtr;
  QPointer<TAboutExForm> About;
  QPointer<TAutosave> AutosavePtr;
};

}  // namespace hv
