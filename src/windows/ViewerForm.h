#pragma once
// The Viewer: the text of the one selected item, a header naming it, and the browse and related
// buttons.
#include <QMdiSubWindow>
#include <QPointer>
#include <QUrl>

#include <functional>
#include <memory>

#include "commands/ViewManagers.h"
#include "core/Observer.h"

class QAbstractButton;
class QLabel;
class QDockWidget;
class QMainWindow;
class QToolButton;
class TTXTextControl;

namespace hv {

class TAppLogic;
class TTextChunk;
class TTextStreamer;

// A link target split at its first "%20": what to open, and the parameters for it.
struct TLinkTarget {
  QString Target;
  QString Parameters;
};
// Whether a link names a web page (http:// or https://), as opposed to a local file such as
// "httpd.sh".
bool IsWebLink(const QString& link);
// Web links are taken whole; any other target is split at its first "%20", so later ones stay in
// the parameters.
TLinkTarget SplitLinkTarget(const QString& link);

// What following a link may do. The Viewer's defaults open URLs with the desktop's handler and
// start programs directly, with no shell between; tests record the calls instead.
struct TLinkActions {
  std::function<bool(const QUrl&)> OpenUrl;
  std::function<bool(const QString& program, const QStringList& arguments)> StartProgram;
};
TLinkActions DesktopLinkActions();

// Follows a link of a library text. Web and mail links go to the desktop's handler; a document
// opens with its default application; a program, script or launcher (by its content type and
// name, not its execute bit) is started only after the user agreed to the question naming it and
// its parameters, which defaults to No. Relative file names, with Windows separators, are taken
// from baseDir. Answers whether anything was opened; a target that does not exist opens nothing,
// one that could not be opened or started is reported.
bool FollowLink(const QString& link, const QString& baseDir, const TLinkActions& actions);

// The header box, where the selected item is drawn as a row of a list.
class TCurrentItemBox : public QWidget {
  Q_OBJECT
public:
  TCurrentItemBox(TAppLogic& app, QWidget* parent);

protected:
  void paintEvent(QPaintEvent* event) override;

private:
  TAppLogic& App;
};

// Shows the rich text of the single selected item and follows the selection while it is shown;
// with no or several items selected it is empty. Closing it only minimizes it; its content
// (toolbar and text) moves into the main window when its manager docks it.
class TViewerForm : public QMdiSubWindow, public IToolWindow {
  Q_OBJECT
public:
  // mainForm: the frame whose MDI area holds the window and which the content docks into.
  TViewerForm(TAppLogic& app, QMainWindow* mainForm);
  ~TViewerForm() override;

  void ViewStateChanged(TObservable* sender, const TNotificationSet& codes);
  void AppNotified(TObservable* sender, const TNotificationSet& codes);
  void UpdateText(bool force);
  // Marks the words of the current word search in the text shown; none without one.
  void HighlightSearchWords();
  // Lays the toolbar out for a panel width.
  void ViewerPanelResize();
  // The edition's wording of the related buttons' hints.
  void ApplyEdition();

  void ShowNormal() override;
  void ShowMinimized() override;

  QWidget* ViewerPanel() const { return Panel; }
  QWidget* ViewerContent() const { return Content.data(); }
  TTXTextControl* ViewerTX() const { return Text; }
  TCurrentItemBox* CurrentItemBox() const { return ItemBox; }
  // The line under the header with the selected question's statistics; hidden when it has none.
  QLabel* StatsLine() const { return StatsLabel; }
  void UpdateStats();
  TTextChunk* LoadedChunk() const { return Loaded; }
  int DockedHeight() const { return DockHeight; }
  // Replaces what following a link does (tests).
  void SetLinkActions(TLinkActions actions) { Links = std::move(actions); }

protected:
  void closeEvent(QCloseEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

private:
  template <class TForm>
  friend void FollowViewManager(TForm&, const TViewManager&, const TNotificationSet&);
  void ShowWindowView();
  void HideWindowView();
  void DockWindow();
  void UndockWindow();
  void LinkClicked(int fieldId, int fieldType, QString& typeData);
  QToolButton* NewButton(const char* name, const char* hint, int glyph);

  TAppLogic& App;
  QPointer<QMainWindow> Frame;
  // The panel and the text, the part that docks; guarded, as the main window's dock may go first.
  QPointer<QWidget> Content;
  QLabel* StatsLabel = nullptr;
  QWidget* Panel;
  TCurrentItemBox* ItemBox = nullptr;
  TTXTextControl* Text;
  std::unique_ptr<TTextStreamer> Streamer;
  QToolButton* PrevB = nullptr;
  QToolButton* NextB = nullptr;
  QToolButton* BackB = nullptr;
  QToolButton* RelResB = nullptr;
  QToolButton* RelQB = nullptr;
  QToolButton* RelMSB = nullptr;
  QToolButton* RelERB = nullptr;
  QToolButton* RelSylB = nullptr;
  QToolButton* RelNoteB = nullptr;
  QPointer<QDockWidget> Dock;
  TTextChunk* Loaded = nullptr;
  int DockHeight = 213;
  bool Observing = false;
  TLinkActions Links;
};

}  // namespace hv
