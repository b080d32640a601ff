#pragma once
// The View commands that show, close and dock the tool windows through their managers, and Exit.
#include "commands/CommandFramework.h"

namespace hv {

class TViewQFCmd : public TCommand {
  Q_OBJECT
public:
  void Execute(QObject* sender) override;
};

// Closing the Question Finder only minimizes it.
class TCloseQFCmd : public TCommand {
  Q_OBJECT
public:
  void Execute(QObject* sender) override;
};

// Docks or undocks a tool window; checked while docked. It follows its manager, not AppLogic.
class TDockCmd : public TCommand {
  Q_OBJECT
public:
  explicit TDockCmd(TViewManager& manager);
  ~TDockCmd() override;
  void Execute(QObject* sender) override;
  bool IsChecked() override;
  void ViewStateChanged(TObservable* sender, const TNotificationSet& codes);

private:
  TViewManager& Manager;
};

class TDockQFCmd : public TDockCmd {
  Q_OBJECT
public:
  TDockQFCmd();
};

class TViewViewerCmd : public TCommand {
  Q_OBJECT
public:
  void Execute(QObject* sender) override;
};

class TCloseViewerCmd : public TCommand {
  Q_OBJECT
public:
  void Execute(QObject* sender) override;
};

class TDockViewerCmd : public TDockCmd {
  Q_OBJECT
public:
  TDockViewerCmd();
};

class TViewMarkSchemeCmd : public TCommand {
  Q_OBJECT
public:
  void Execute(QObject* sender) override;
};

class TViewExaminersReportCmd : public TCommand {
  Q_OBJECT
public:
  void Execute(QObject* sender) override;
};

class TViewSyllabusCmd : public TCommand {
  Q_OBJECT
public:
  void Execute(QObject* sender) override;
};

class TViewResourceCmd : public TCommand {
  Q_OBJECT
public:
  void Execute(QObject* sender) override;
};

class TCloseTSListCmd : public TCommand {
  Q_OBJECT
public:
  void Execute(QObject* sender) override;
};

// Closes every document and ends the program, unless the user kept a document open.
class TExitCmd : public TCommand {
  Q_OBJECT
public:
  void Execute(QObject* sender) override;
};

}  // namespace hv
