#include "commands/EditCommands.h"

#include <QAbstractSpinBox>
#include <QApplication>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTextEdit>

#include "commands/Ask.h"
#include "commands/Utility.h"
#include "components/AnsiString.h"
#include "logic/AppLogic.h"
#include "model/Document.h"
#include "model/Segments.h"

namespace hv {

namespace {

template <class TEdit>
bool ApplyToTextEdit(TEdit* edit, TTextFieldAction action) {
  switch (action) {
    case TTextFieldAction::Cut: edit->cut(); break;
    case TTextFieldAction::Copy: edit->copy(); break;
    case TTextFieldAction::Paste: edit->paste(); break;
    case TTextFieldAction::SelectAll: edit->selectAll(); break;
    case TTextFieldAction::Delete: {
      if (edit->isReadOnly()) break;
      QTextCursor cursor = edit->textCursor();
      if (cursor.hasSelection())
        cursor.removeSelectedText();
      else
        cursor.deleteChar();
      edit->setTextCursor(cursor);
      break;
    }
  }
  return true;
}

bool ApplyToLineEdit(QLineEdit* edit, TTextFieldAction action) {
  switch (action) {
    case TTextFieldAction::Cut: edit->cut(); break;
    case TTextFieldAction::Copy: edit->copy(); break;
    case TTextFieldAction::Paste: edit->paste(); break;
    case TTextFieldAction::SelectAll: edit->selectAll(); break;
    case TTextFieldAction::Delete:
      if (!edit->isReadOnly()) edit->del();
      break;
  }
  return true;
}

}  // namespace

QWidget* FocusedTextField() {
  if (QApplication::instance() == nullptr) return nullptr;
  QWidget* focus = QApplication::focusWidget();
  for (QWidget* w = focus; w != nullptr; w = w->parentWidget()) {
    // A spin box's editor is a line edit of its own; the spin box is what the user sees.
    if (qobject_cast<QLineEdit*>(w) != nullptr || qobject_cast<QTextEdit*>(w) != nullptr ||
        qobject_cast<QPlainTextEdit*>(w) != nullptr || qobject_cast<QAbstractSpinBox*>(w) != nullptr)
      return w;
    // Only the focus widget itself and the parents of an editor's inner parts count.
    if (w != focus && !w->inherits("QAbstractScrollArea")) break;
  }
  return nullptr;
}

namespace {

// A read-only text (the Viewer's) keeps only what makes sense for it: selecting its text, and
// copying a piece of it the user selected. Every other clipboard command acts on the items, or
// the item clipboard would silently keep what was copied before.
bool KeepsAction(QWidget* field, TTextFieldAction action) {
  bool readOnly = false;
  bool hasSelection = false;
  if (auto* line = qobject_cast<QLineEdit*>(field)) {
    readOnly = line->isReadOnly();
    hasSelection = line->hasSelectedText();
  } else if (auto* text = qobject_cast<QTextEdit*>(field)) {
    readOnly = text->isReadOnly();
    hasSelection = text->textCursor().hasSelection();
  } else if (auto* plain = qobject_cast<QPlainTextEdit*>(field)) {
    readOnly = plain->isReadOnly();
    hasSelection = plain->textCursor().hasSelection();
  } else if (auto* spin = qobject_cast<QAbstractSpinBox*>(field)) {
    readOnly = spin->isReadOnly();
    hasSelection = true;
  }
  if (!readOnly) return true;
  return action == TTextFieldAction::SelectAll || (action == TTextFieldAction::Copy && hasSelection);
}

}  // namespace

bool ForwardToTextField(TTextFieldAction action) {
  QWidget* field = FocusedTextField();
  if (field == nullptr || !KeepsAction(field, action)) return false;
  if (auto* line = qobject_cast<QLineEdit*>(field)) return ApplyToLineEdit(line, action);
  if (auto* text = qobject_cast<QTextEdit*>(field)) return ApplyToTextEdit(text, action);
  if (auto* plain = qobject_cast<QPlainTextEdit*>(field)) return ApplyToTextEdit(plain, action);
  if (auto* spin = qobject_cast<QAbstractSpinBox*>(field)) {
    if (auto* line = spin->findChild<QLineEdit*>()) return ApplyToLineEdit(line, action);
  }
  return true;
}

bool TEditCmd::SelectionFromCurrentDocument() const {
  const TDocLogic* doc = App.CurrentDocument();
  return doc != nullptr && doc->Document && App.SelectionSource() == TListRef(doc->Document->Entries);
}

bool TEditCmd::EditingCurrentDocument() const {
  const TDocLogic* doc = App.CurrentDocument();
  if (App.CurrentIndex() == -1 || doc == nullptr || !doc->Document) return false;
  const TListRef list = App.CurrentList();
  if (!(list == TListRef(doc->Document->Entries))) return false;
  const TStreamable* item = list.ItemAt(App.CurrentIndex());
  return item != nullptr && item == App.SelectedItem();
}

TDocContent* TEditCmd::CurrentEntry() const {
  return EditingCurrentDocument() ? App.CurrentDocument()->Document->Entries[static_cast<std::size_t>(App.CurrentIndex())]
                                  : nullptr;
}

void TEditCmd::RemoveSelection(std::string_view undoName) {
  TDocLogic* doc = App.CurrentDocument();
  std::vector<TDocContent*> entries;
  for (TStreamable* item : App.Selection())
    if (auto* entry = dynamic_cast<TDocContent*>(item)) entries.push_back(entry);
  App.SetCurrentList(doc->Document->Entries, -1);
  // The selection and the history let go of the entries before they are freed, so no observer
  // of the document's notification meets a freed entry among the selected items.
  App.SetSelection({}, nullptr);
  doc->RemoveEntries(entries, undoName);
}

TCutCmd::TCutCmd() : TEditCmd({AppCode::CurrentDoc, AppCode::CurrentSelection}) {}

bool TCutCmd::IsEnabled() { return !App.Selection().empty() && SelectionFromCurrentDocument(); }

void TCutCmd::Execute(QObject*) {
  if (ForwardToTextField(TTextFieldAction::Cut) || !IsEnabled()) return;
  App.SetClipboard(App.Selection());
  RemoveSelection("Cut");
}

TCopyCmd::TCopyCmd() : TEditCmd({AppCode::CurrentSelection}) {}

bool TCopyCmd::IsEnabled() { return !App.Selection().empty(); }

void TCopyCmd::Execute(QObject*) {
  if (ForwardToTextField(TTextFieldAction::Copy) || !IsEnabled()) return;
  App.SetClipboard(App.Selection());
}

TPasteCmd::TPasteCmd() : TEditCmd({AppCode::CurrentDoc, AppCode::ClipboardChanged}) {}

bool TPasteCmd::IsEnabled() { return App.CurrentDocument() != nullptr && !App.Clipboard().empty(); }

void TPasteCmd::Execute(QObject*) {
  if (ForwardToTextField(TTextFieldAction::Paste) || !IsEnabled()) return;
  // The document inserts clones, so the clipboard's own entries never enter it.
  TItemList items;
  for (const auto& entry : App.Clipboard()) items.push_back(entry.get());
  AddItemsToDocument(*App.CurrentDocument(), items, -1, "Paste");
}

TClearCmd::TClearCmd() : TEditCmd({AppCode::CurrentDoc, AppCode::CurrentSelection}) {}

bool TClearCmd::IsEnabled() { return !App.Selection().empty() && SelectionFromCurrentDocument(); }

void TClearCmd::Execute(QObject*) {
  if (ForwardToTextField(TTextFieldAction::Delete) || !IsEnabled()) return;
  RemoveSelection("Clear");
}

TSelectAllCmd::TSelectAllCmd() : TEditCmd({AppCode::CurrentList}) {}

bool TSelectAllCmd::IsEnabled() { return static_cast<bool>(App.CurrentList()); }

void TSelectAllCmd::Execute(QObject*) {
  if (ForwardToTextField(TTextFieldAction::SelectAll) || !IsEnabled()) return;
  const TListRef list = App.CurrentList();
  TItemList items;
  items.reserve(list.Count());
  for (std::size_t i = 0; i < list.Count(); ++i) items.push_back(list.At(i));
  App.SetSelection(std::move(items), list);
}

THistoryCmd::THistoryCmd(bool redo)
    : TEditCmd({AppCode::CurrentDoc, AppCode::Document, AppCode::Modified}, true), Redoes(redo) {}

bool THistoryCmd::IsEnabled() {
  const TDocLogic* doc = App.CurrentDocument();
  const std::string name =
      doc == nullptr ? std::string() : (Redoes ? doc->History().RedoName() : doc->History().UndoName());
  // The item's caption follows the step it would take, so it is refreshed with the enabled state.
  if (QAction* item = MenuItem()) {
    const QString verb = Redoes ? QStringLiteral("&Redo") : QStringLiteral("&Undo");
    item->setText(name.empty() ? verb : verb + QLatin1Char(' ') + AnsiToQt(name));
  }
  if (auto* button = qobject_cast<QAction*>(Button())) {
    const QString verb = Redoes ? QStringLiteral("Redo") : QStringLiteral("Undo");
    button->setToolTip(name.empty() ? verb : verb + QLatin1Char(' ') + AnsiToQt(name));
  }
  return !name.empty();
}

void THistoryCmd::Execute(QObject*) {
  if (!IsEnabled()) return;
  TDocLogic* doc = App.CurrentDocument();
  // Nothing may go on pointing at an entry the step takes out of the document.
  App.SetCurrentList(doc->Document->Entries, -1);
  App.SetSelection({}, nullptr);
  const std::vector<TDocContent*> touched = Redoes ? doc->Redo() : doc->Undo();
  if (touched.empty()) return;
  App.SetCurrentList(doc->Document->Entries, doc->Document->IndexOf(touched.front()));
  App.SetSelection(TItemList(touched.begin(), touched.end()), doc->Document->Entries);
}

TCopyToDocCmd::TCopyToDocCmd() : TEditCmd({AppCode::CurrentDoc, AppCode::CurrentSelection}) {}

bool TCopyToDocCmd::IsEnabled() {
  return App.CurrentDocument() != nullptr && !App.Selection().empty() && !SelectionFromCurrentDocument();
}

void TCopyToDocCmd::Execute(QObject*) {
  if (!IsEnabled()) return;
  TItemList items = App.Selection();
  // While the Question Finder hides what a class has sat, a question that class had is asked
  // about before it goes into the test.
  const std::string& cls = App.StatsFilter().HideUsedWith;
  if (!cls.empty()) {
    TItemList kept;
    for (TStreamable* item : items) {
      const auto* entry = dynamic_cast<const TDocContent*>(item);
      const auto* question = dynamic_cast<const TQuestion*>(entry != nullptr ? entry->Segment : item);
      const TQuestionSummary* summary = question != nullptr ? App.QuestionStats(*question) : nullptr;
      if (summary != nullptr && summary->UsedWith(cls) &&
          Ask().Confirm(QString::fromStdString(cls) + QStringLiteral(" has already sat question ") +
                            AnsiToQt(question->GetID()) + QStringLiteral(". Add it to the document anyway?"),
                        TAskButtons::YesNo) != TAskAnswer::Yes)
        continue;
      kept.push_back(item);
    }
    if (kept.empty()) return;
    items = std::move(kept);
  }
  AddItemsToDocument(*App.CurrentDocument(), items, -1, "Copy to Document");
}

TToggleNumberedCmd::TToggleNumberedCmd()
    : TEditCmd({AppCode::CurrentSelection, AppCode::CurrentDoc, AppCode::Document}, true) {
  Checkable = true;
}

bool TToggleNumberedCmd::IsEnabled() { return EditingCurrentDocument(); }

bool TToggleNumberedCmd::IsChecked() {
  const TDocContent* entry = CurrentEntry();
  return entry != nullptr && entry->Numbered;
}

void TToggleNumberedCmd::Execute(QObject*) {
  if (!IsEnabled()) return;
  App.CurrentDocument()->ToggleNumbered(App.CurrentIndex(), "Show Number");
}

// A document that grows or shrinks moves its last entry, so the moves hear every document too.
TMoveCmd::TMoveCmd() : TEditCmd({AppCode::CurrentSelection, AppCode::CurrentDoc, AppCode::Document}, true) {}

bool TMoveCmd::IsEnabled() {
  if (!EditingCurrentDocument()) return false;
  const int count = static_cast<int>(App.CurrentDocument()->Document->Entries.size());
  return Destination(App.CurrentIndex(), count) != App.CurrentIndex();
}

void TMoveCmd::Execute(QObject*) {
  if (!IsEnabled()) return;
  TDocLogic* doc = App.CurrentDocument();
  const int from = App.CurrentIndex();
  const int to = Destination(from, static_cast<int>(doc->Document->Entries.size()));
  doc->MoveEntry(from, to, UndoName());
  App.SetCurrentList(doc->Document->Entries, to);
  App.TouchSelection();
}

int TMoveToTopCmd::Destination(int index, int) const { return index > 0 ? 0 : index; }
int TMoveUpCmd::Destination(int index, int) const { return index > 0 ? index - 1 : index; }
int TMoveDownCmd::Destination(int index, int count) const { return index < count - 1 ? index + 1 : index; }
int TMoveToBottomCmd::Destination(int index, int count) const { return index < count - 1 ? count - 1 : index; }

}  // namespace hv
