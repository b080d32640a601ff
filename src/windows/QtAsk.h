#pragma once
// The questions to the user as Qt message boxes, file dialogs and input dialogs.
#include <QPointer>
#include <QWidget>

#include <functional>

#include "commands/Ask.h"

namespace hv {

// Asks with modal Qt dialogs over the window the user is working in. The category picker and the related
// information dialog are windows of their own: they install their handlers here when they are
// created, and until then those two questions raise an EError saying so.
class TQtAsk : public IAsk {
public:
  using TPickHandler =
      std::function<TPickAnswer(TCategory* root, const TSet& available, TCategory* current, const TPickOptions& options)>;
  using TChooseHandler = std::function<int(const QString& caption, const std::vector<TTextSegment*>& items)>;

  explicit TQtAsk(QWidget* dialogParent = nullptr) : Parent(dialogParent) {}

  // The window dialogs belong to when none of ours is active (the main window).
  void SetDialogParent(QWidget* parent) { Parent = parent; }
  // Where the next dialog opens: over the open dialog, else over the active window (a tool window
  // such as the text list), else over the window set above, so it never opens underneath.
  QWidget* DialogParent() const;
  void SetPickHandler(TPickHandler handler) { PickHandler = std::move(handler); }
  void SetChooseHandler(TChooseHandler handler) { ChooseHandler = std::move(handler); }

  TAskAnswer Confirm(const QString& text, TAskButtons buttons) override;
  void Message(const QString& text) override;
  void Warning(const QString& text) override;
  void Error(const QString& text) override;
  QString OpenFileName(const QString& caption, const QString& filter, const QString& defaultExt,
                       const QString& dir) override;
  QString SaveFileName(const QString& caption, const QString& filter, const QString& defaultExt,
                       const QString& initialName, const QString& dir, bool confirmOverwrite) override;
  std::optional<QString> InputText(const QString& caption, const QString& prompt, const QString& value) override;
  TPickAnswer PickCategory(TCategory* root, const TSet& available, TCategory* current,
                           const TPickOptions& options) override;
  int ChooseOne(const QString& caption, const std::vector<TTextSegment*>& items) override;

private:
  QPointer<QWidget> Parent;
  TPickHandler PickHandler;
  TChooseHandler ChooseHandler;
};

}  // namespace hv
