#pragma once
// The Insert Title and Insert Section Title dialogs.
#include <QDialog>

#include "output/TitleRtf.h"

class QCheckBox;
class QLineEdit;
class QPushButton;

namespace hv {

class TDocLogic;

// Builds a title block from its fields and puts it at the top of the current document.
class TTitleForm : public QDialog {
  Q_OBJECT
public:
  explicit TTitleForm(QWidget* parent = nullptr);

  // Resets the fields (time and marks proposed from the document's totals), shows the dialog
  // modally and on OK inserts the title at index 0. Answers the modal result.
  int InsertTitle(TDocLogic& doc, const QString& organisation);
  // Clears every field and proposes the document's totals.
  void Reset(const TDocLogic& doc);
  TTitleFields Fields() const;

  QLineEdit *TitleE, *SubtitleE, *DateE, *TimeAllowedE, *TotalMarksE, *InstructionsE;
  QCheckBox* FullPageCB;
  QPushButton *OkB, *CancelB;

protected:
  void showEvent(QShowEvent* event) override;
};

// Builds a section heading and appends it to the current document.
class TSectionForm : public QDialog {
  Q_OBJECT
public:
  explicit TSectionForm(QWidget* parent = nullptr);

  int InsertSection(TDocLogic& doc);
  void Reset();
  TSectionFields Fields() const;

  QLineEdit *SectionTitleE, *InstructionE;
  QCheckBox* NewPageCB;
  QPushButton *OkB, *CancelB;

protected:
  void showEvent(QShowEvent* event) override;
};

}  // namespace hv
