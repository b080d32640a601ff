#include "commands/ViewCommands.h"

#include "commands/DocumentCommands.h"
#include "logic/AppLogic.h"

namespace hv {

namespace {

void Restore(TViewManager& manager) {
  if (IToolWindow* window = manager.Window()) window->ShowNormal();
}

void Minimize(TViewManager& manager) {
  if (IToolWindow* window = manager.Window()) window->ShowMinimized();
}

}  // namespace

void TViewQFCmd::Execute(QObject*) {
  // Visible stays true while the window is minimized, so showing alone would not bring it back.
  Restore(QFViewManager());
  QFViewManager().ShowView();
}

void TCloseQFCmd::Execute(QObject*) { Minimize(QFViewManager()); }

TDockCmd::TDockCmd(TViewManager& manager) : Manager(manager) {
  Checkable = true;
  Manager.AddObserver<&TDockCmd::ViewStateChanged>(this);
}

TDockCmd::~TDockCmd() { Manager.RemoveObserver<&TDockCmd::ViewStateChanged>(this); }

void TDockCmd::Execute(QObject*) { Manager.SetDocked(!Manager.Docked()); }

bool TDockCmd::IsChecked() { return Manager.Docked(); }

void TDockCmd::ViewStateChanged(TObservable*, const TNotificationSet&) { UpdateState(); }

TDockQFCmd::TDockQFCmd() : TDockCmd(QFViewManager()) {}

void TViewViewerCmd::Execute(QObject*) {
  Restore(ViewerViewManager());
  ViewerViewManager().ShowView();
}

void TCloseViewerCmd::Execute(QObject*) { Minimize(ViewerViewManager()); }

TDockViewerCmd::TDockViewerCmd() : TDockCmd(ViewerViewManager()) {}

void TViewMarkSchemeCmd::Execute(QObject*) { TSListManager().ShowList(TSegmentClass::MarkScheme); }

void TViewExaminersReportCmd::Execute(QObject*) { TSListManager().ShowList(TSegmentClass::ExaminersReport); }

void TViewSyllabusCmd::Execute(QObject*) { TSListManager().ShowList(TSegmentClass::Syllabus); }

void TViewResourceCmd::Execute(QObject*) { TSListManager().ShowList(TSegmentClass::Resource); }

void TCloseTSListCmd::Execute(QObject*) { TSListManager().HideView(); }

void TExitCmd::Execute(QObject*) {
  RunCommand<TCloseAllCmd>();
  if (AppLogic().Documents().empty() && CommandEnvironment().Quit) CommandEnvironment().Quit();
}

}  // namespace hv
