#pragma once
// The program's MDI frame: toolbar, menus, status line, and the client area of every child window.
#include <QMainWindow>
#include <QPointer>
#include <QRect>
#include <QString>

#include <map>
#include <string>
#include <vector>

#include "core/Observer.h"
#include "windows/AboutForm.h"
#include "windows/HelpForm.h"

class QAction;
class QLabel;
class QMdiArea;
class QMenu;
class QToolBar;

namespace hv {

class TAppLogic;
class TCommand;
class TCommandEnvironment;
class TRecentMenu;

// Where the first showing puts the Question Finder, the Viewer and the first document window,
// computed from the frame's measures the way a maximised frame of the original platform gives
// them: L is the frame's left edge (a maximised frame's border lies outside the screen), H its
// outer height, CH the height below the menu, W its outer width, S the status line's height, Q the
// Question Finder's width. Positions are in the client area's coordinates.
struct TFrameMeasures {
  int ToolbarTop = 0;
  int ToolbarHeight = 33;
  int H = 0;
  int CH = 0;
  int S = 17;
  int W = 0;
  int L = 0;
  int Q = 321;
};
struct TFirstLayout {
  QRect QuestionFinder;  // its width is Q
  QRect Viewer;
  QRect Document;
  int DocHeight = 0;
  int DocWidth = 0;
};
TFirstLayout ComputeFirstLayout(const TFrameMeasures& m);

// The main window. Creating it creates and binds every command of its menus and toolbar; its
// first showing completes start-up; closing it runs Exit, which ends the program only when every
// document could be closed.
class TMainForm : public QMainWindow {
  Q_OBJECT
public:
  // documentArgument: the document named on the command line, opened at the first showing.
  TMainForm(TAppLogic& app, TCommandEnvironment& environment, QString documentArgument = {});
  ~TMainForm() override;

  // The edition's texts, applied once the windows exist.
  void ApplyEdition();

  QMdiArea* MdiArea() const { return ClientArea; }
  QLabel* StatusP() const { return StatusLabel; }
  QToolBar* Panel1() const { return Toolbar; }
  // A menu item or toolbar button by its component name, or null.
  QAction* Action(const QString& objectName) const;
  // The command bound to a menu item or button, or null when its command is not available.
  TCommand* CommandOf(const QString& objectName) const;

  int DocWidth() const { return DocW; }
  int DocHeight() const { return DocH; }
  bool FirstShowPending() const { return FirstShow; }
  const std::string& ProgramDir() const;
  std::vector<std::string>& OfferedResources();
  bool FlagResource() const { return FlagResourceOn; }
  bool UseResource() const { return UseResourceOn; }
  const QString& ProductTitle() const { return Product; }
  const QString& UseResourceDefault() const { return UseResourceDefaultText; }
  // The file name of the spreadsheet template of the mark-entry sheets.
  static const std::string& TemplateName();

  void SetAboutForm(TAboutExForm* form) { AboutForm = form; }
  TAboutExForm* About() const { return AboutForm; }
  THelpForm* Help();
  TRecentMenu* RecentMenu() const { return Recent; }

  void UpdateStatus();
  // The program and library, and the current test's caption while it has unsaved changes.
  void UpdateTitle();
  void AppStateChanged(TObservable* sender, const TNotificationSet& codes);
  void DocumentChanged(TObservable* sender, const TNotificationSet& codes);

  // The first showing's start-up steps; run by the first showEvent, and by tests directly.
  void FirstShowing();
  // The child window that shows the help topic of the focused window, as F1 does.
  void ShowContextHelp();

protected:
  void showEvent(QShowEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;

private:
  void CreateMenus();
  void CreateToolbar();
  void CreateCommands();
  void ReadSettings();
  TFrameMeasures Measures() const;
  QWidget* ToolWindow(const char* objectName) const;
  void AboutVornika1Click();

  TAppLogic& App;
  TCommandEnvironment& Environment;
  QString DocumentArgument;
  QMdiArea* ClientArea;
  QToolBar* Toolbar;
  QLabel* StatusLabel;
  std::map<QString, QAction*> Actions;
  std::map<QString, TCommand*> Commands;
  QPointer<TAboutExForm> AboutForm;
  QPointer<THelpForm> HelpForm;
  TRecentMenu* Recent = nullptr;  // a child of the File menu
  bool FirstShow = true;
  bool FlagResourceOn = true;
  bool UseResourceOn = true;
  QString Product = QStringLiteral("Harrowvane");
  QString UseResourceDefaultText = QStringLiteral("1");
  int DocW = 321;
  int DocH = 260;
};

}  // namespace hv
