#include "windows/QtAsk.h"

#include <QApplication>
#include <QFileDialog>
#include <QInputDialog>
#include <QMessageBox>

#include "core/Errors.h"

namespace hv {

namespace {

QString Title() {
  const QString name = QApplication::applicationDisplayName();
  return name.isEmpty() ? QStringLiteral("Harrowvane") : name;
}

QString RunFileDialog(QWidget* parent, QFileDialog::AcceptMode mode, const QString& caption, const QString& filter,
                      const QString& defaultExt, const QString& selected, const QString& dir,
                      bool confirmOverwrite = true) {
  QFileDialog dialog(parent, caption, dir, filter);
  dialog.setAcceptMode(mode);
  dialog.setOption(QFileDialog::DontConfirmOverwrite, !confirmOverwrite);
  dialog.setFileMode(mode == QFileDialog::AcceptOpen ? QFileDialog::ExistingFile : QFileDialog::AnyFile);
  dialog.setDefaultSuffix(defaultExt);
  if (!selected.isEmpty()) dialog.selectFile(selected);
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return {};
  return dialog.selectedFiles().front();
}

}  // namespace

QWidget* TQtAsk::DialogParent() const {
  if (QWidget* modal = QApplication::activeModalWidget()) return modal;
  if (QWidget* active = QApplication::activeWindow()) return active;
  return Parent.data();
}

TAskAnswer TQtAsk::Confirm(const QString& text, TAskButtons buttons) {
  const QMessageBox::StandardButtons choice = buttons == TAskButtons::YesNoCancel
                                                  ? QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel
                                                  : QMessageBox::Yes | QMessageBox::No;
  // Escape cancels where there is a Cancel button and answers No where there is not.
  const QMessageBox::StandardButton defaultButton =
      buttons == TAskButtons::YesNoDefaultNo ? QMessageBox::No : QMessageBox::Yes;
  const auto answer = QMessageBox::question(DialogParent(), Title(), text, choice, defaultButton);
  if (answer == QMessageBox::Yes) return TAskAnswer::Yes;
  if (answer == QMessageBox::No || buttons != TAskButtons::YesNoCancel) return TAskAnswer::No;
  return TAskAnswer::Cancel;
}

void TQtAsk::Message(const QString& text) { QMessageBox::information(DialogParent(), Title(), text); }

void TQtAsk::Warning(const QString& text) { QMessageBox::warning(DialogParent(), Title(), text); }

void TQtAsk::Error(const QString& text) { QMessageBox::critical(DialogParent(), Title(), text); }

QString TQtAsk::OpenFileName(const QString& caption, const QString& filter, const QString& defaultExt,
                             const QString& dir) {
  return RunFileDialog(DialogParent(), QFileDialog::AcceptOpen, caption, filter, defaultExt, QString(), dir);
}

QString TQtAsk::SaveFileName(const QString& caption, const QString& filter, const QString& defaultExt,
                             const QString& initialName, const QString& dir, bool confirmOverwrite) {
  return RunFileDialog(DialogParent(), QFileDialog::AcceptSave, caption, filter, defaultExt, initialName, dir,
                       confirmOverwrite);
}

std::optional<QString> TQtAsk::InputText(const QString& caption, const QString& prompt, const QString& value) {
  bool ok = false;
  const QString text = QInputDialog::getText(DialogParent(), caption, prompt, QLineEdit::Normal, value, &ok);
  if (!ok) return std::nullopt;
  return text;
}

TPickAnswer TQtAsk::PickCategory(TCategory* root, const TSet& available, TCategory* current,
                                 const TPickOptions& options) {
  if (!PickHandler) throw EError("The category picker is not available");
  return PickHandler(root, available, current, options);
}

int TQtAsk::ChooseOne(const QString& caption, const std::vector<TTextSegment*>& items) {
  if (!ChooseHandler) throw EError("The related information dialog is not available");
  return ChooseHandler(caption, items);
}

}  // namespace hv
