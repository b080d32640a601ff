#include "windows/Program.h"

#include <QFile>
#include <QGuiApplication>
#include <QScreen>
#include <QTimer>

#include "commands/Ask.h"
#include "commands/CommandFramework.h"
#include "commands/Utility.h"
#include "components/AnsiString.h"
#include "core/Errors.h"
#include "logic/AppLogic.h"
#include "logic/DocFile.h"
#include "model/LibraryConfig.h"
#include "windows/AboutForm.h"
#include "windows/DocForm.h"
#include "windows/Drawing.h"
#include "logic/Recovery.h"
#include "windows/MainForm.h"
#include "windows/MonitorForm.h"
#include "windows/PickForm.h"
#include "windows/QtAsk.h"
#include "windows/SizeablePanel.h"
#include "windows/QFForm.h"  // after SizeablePanel.h: its accessors need the panel class
#include "windows/RelatedForm.h"
#include "windows/TSListForm.h"
#include "windows/ViewerForm.h"
#include "windows/WordSearch.h"

namespace hv {

THvApplication::THvApplication(int& argc, char** argv) : QApplication(argc, argv) {}

bool THvApplication::notify(QObject* receiver, QEvent* event) {
  try {
    return QApplication::notify(receiver, event);
  } catch (const std::exception& error) {
    ReportCommandError(error);
  } catch (...) {
    ReportCommandError(EError("An unexpected error occurred"));
  }
  return false;
}

// Save As writes ".kvd" and file managers pass names as they are, so any case counts.
bool IsDocumentArgument(const QString& argument) {
  return argument.endsWith(QLatin1String(".KVD"), Qt::CaseInsensitive);
}

std::string ChooseLibraryKey(const QStringList& arguments) {
  if (arguments.size() < 2 || arguments[1].isEmpty()) throw EInOutError(kNoDataFile);
  if (IsDocumentArgument(arguments[1])) {
    // The test names the library it was made with; when that library is configured here it is
    // the one to open, so a double-clicked test opens whatever "vornika.ini" says.
    try {
      std::string own = ReadDocumentSubject(QFile::encodeName(arguments[1]).toStdString());
      const auto ini = FindConfigFile(kLibraryIniName);
      if (!own.empty() && ini && TIniFile::Load(*ini).HasSection(own)) return own;
    } catch (const EError&) {
      // Unreadable here: the library of "vornika.ini" opens, and opening the test says why.
    }
    std::string subject = ReadProfileString(kAutoIniName, "Auto", "Subject");
    if (subject.empty()) throw EInOutError(kNoDataFile);
    return subject;
  }
  return QtToAnsi(arguments[1]);
}

TProgram::TProgram(QStringList arguments) : Arguments(std::move(arguments)) {}

TProgram::~TProgram() {
  // Reaching here is a clean end: the run's recovery copies go.
  if (!AutosavePtr.isNull()) AutosavePtr->Finish();
  // Windows first, while the state and the commands' environment they observe still exist.
  delete About.data();
  delete MonitorPtr.data();
  delete Main.data();
  Env.reset();
  Creator.reset();
  AppLogicPtr.reset();
}

bool TProgram::Start() {
  QCoreApplication::setApplicationName(QLatin1String(kProductTitle));
  QGuiApplication::setApplicationDisplayName(QLatin1String(kProductTitle));
  qApp->setProperty("HelpFile", QLatin1String(kHelpFileName));
  SetProgramDirectory(QFile::encodeName(QCoreApplication::applicationDirPath()).toStdString());

  AppLogicPtr = std::make_unique<TAppLogic>();
  try {
    AppLogicPtr->OpenLibrary(ChooseLibraryKey(Arguments));
  } catch (const EError& error) {
    // Library and start-up problems, and a data file too damaged to read, end the program here
    // with their message rather than with a crash report.
    Ask().Error(AnsiToQt(error.what()));
    AppLogicPtr.reset();
    return false;
  }

  // The statistics are a help, never a condition: without them the program runs as before.
  try {
    std::string setAside;
    AppLogicPtr->AttachStats(std::make_unique<TStatsStore>(TStatsStore::DefaultPath(), &setAside));
    if (!setAside.empty()) Ask().Warning(QStringLiteral("The question statistics: ") + QString::fromStdString(setAside));
  } catch (const EError& error) {
    Ask().Warning(QStringLiteral("The question statistics cannot be used: ") + QString::fromStdString(error.what()));
  }

  AssignSymbols(*AppLogicPtr->Library());
  const QScreen* screen = QGuiApplication::primaryScreen();
  CreateImageGrids(screen != nullptr ? screen->devicePixelRatio() : 1.0);

  Creator = std::make_unique<TDocFormCreator>(*AppLogicPtr);
  Env = std::make_unique<TCommandEnvironment>(*AppLogicPtr);

  const QString documentArgument = Arguments.size() >= 2 && IsDocumentArgument(Arguments[1]) ? Arguments[1] : QString();
  Main = new TMainForm(*AppLogicPtr, *Env, documentArgument);
  Creator->SetMainForm(Main);
  if (auto* qtAsk = HasAsk() ? dynamic_cast<TQtAsk*>(&Ask()) : nullptr) qtAsk->SetDialogParent(Main);
  MonitorPtr = new TMonitorForm(*AppLogicPtr, Main);
  // The finding and reading windows belong to the main window and go with it; later ones may
  // rely on earlier ones existing.
  new TQFForm(*AppLogicPtr, Main);
  new TPickForm(*AppLogicPtr, Main);
  auto* viewer = new TViewerForm(*AppLogicPtr, Main);
  new TRelatedForm(Main);
  new TTSListForm(*AppLogicPtr, Main);
  About = new TAboutExForm(AnsiToQt(AppLogicPtr->Subject()), Main);
  Main->SetAboutForm(About);
  Main->ApplyEdition();
  viewer->ApplyEdition();
  // Copies for crash recovery every two minutes; HARROWVANE_AUTOSAVE_SECONDS shortens that for checks.
  bool custom = false;
  const int seconds = qEnvironmentVariableIntValue("HARROWVANE_AUTOSAVE_SECONDS", &custom);
  AutosavePtr = new TAutosave(*AppLogicPtr, TRecoveryStore::DefaultFolder(),
                              custom && seconds > 0 ? seconds : TAutosave::kDefaultSeconds);
  AutosavePtr->setParent(Main);
  return true;
}

void TProgram::OfferRecovery() {
  if (!AutosavePtr.isNull()) AutosavePtr->OfferRecovery();
}

void TProgram::Show() {
  if (Main.isNull()) return;
  // Without a window manager nothing maximises a window, so it is given the screen first.
  if (const QScreen* screen = Main->screen()) Main->setGeometry(screen->availableGeometry());
  Main->showMaximized();
  // A library without a current word index has it built in the background from the start, so
  // the first word search finds it ready or well on its way.
  QTimer::singleShot(0, Main.data(), [this] {
    if (!Main.isNull() && AppLogicPtr) TWordIndexDriver::For(*AppLogicPtr, Main.data())->Start();
  });
}

}  // namespace hv
