#include "output/TitleForms.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "AnsiString.h"
#include "logic/DocLogic.h"

namespace hv {

namespace {

QLineEdit* AddEdit(QDialog* dialog, QFormLayout* form, const char* name, const char* label) {
  auto* edit = new QLineEdit(dialog);
  edit->setObjectName(QLatin1String(name));
  form->addRow(QString::fromUtf8(label), edit);
  return edit;
}

// OK (default) and Cancel under the fields.
void AddButtons(QDialog* dialog, QVBoxLayout* layout, QPushButton*& ok, QPushButton*& cancel) {
  auto* box = new QDialogButtonBox(dialog);
  ok = box->addButton(QStringLiteral("&OK"), QDialogButtonBox::AcceptRole);
  cancel = box->addButton(QStringLiteral("&Cancel"), QDialogButtonBox::RejectRole);
  ok->setObjectName(QStringLiteral("OkB"));
  cancel->setObjectName(QStringLiteral("CancelB"));
  ok->setDefault(true);
  QObject::connect(box, &QDialogButtonBox::accepted, dialog, &QDialog::accept);
  QObject::connect(box, &QDialogButtonBox::rejected, dialog, &QDialog::reject);
  layout->addWidget(box);
}

}  // namespace

TTitleForm::TTitleForm(QWidget* parent) : QDialog(parent) {
  setObjectName(QStringLiteral("TitleForm"));
  setWindowTitle(QStringLiteral("Insert Title"));
  auto* layout = new QVBoxLayout(this);
  auto* form = new QFormLayout;
  layout->addLayout(form);
  TitleE = AddEdit(this, form, "TitleE", "&Title");
  SubtitleE = AddEdit(this, form, "SubtitleE", "&Subtitle");
  DateE = AddEdit(this, form, "DateE", "&Date");
  TimeAllowedE = AddEdit(this, form, "TimeAllowedE", "Time &Allowed");
  TotalMarksE = AddEdit(this, form, "TotalMarksE", "Total &Marks");
  InstructionsE = AddEdit(this, form, "InstructionsE", "&Instructions");
  FullPageCB = new QCheckBox(QStringLiteral("&Full Page"), this);
  FullPageCB->setObjectName(QStringLiteral("FullPageCB"));
  form->addRow(QString(), FullPageCB);
  AddButtons(this, layout, OkB, CancelB);
  setMinimumWidth(420);
}

void TTitleForm::Reset(const TDocLogic& doc) {
  for (QLineEdit* edit : {TitleE, SubtitleE, DateE, InstructionsE}) edit->clear();
  const int marks = doc.Document ? doc.Document->TotalMarks() : 0;
  const int time = doc.Document ? doc.Document->TotalTime() : 0;
  TimeAllowedE->setText(QStringLiteral("%1 min").arg(time));
  TotalMarksE->setText(QStringLiteral("%1 marks").arg(marks));
  FullPageCB->setChecked(false);
}

TTitleFields TTitleForm::Fields() const {
  TTitleFields f;
  f.Title = TitleE->text();
  f.Subtitle = SubtitleE->text();
  f.Date = DateE->text();
  f.TimeAllowed = TimeAllowedE->text();
  f.TotalMarks = TotalMarksE->text();
  f.Instructions = InstructionsE->text();
  f.FullPage = FullPageCB->isChecked();
  return f;
}

int TTitleForm::InsertTitle(TDocLogic& doc, const QString& organisation) {
  Reset(doc);
  const int result = exec();
  if (result != QDialog::Accepted) return result;
  const TTitleFields fields = Fields();
  doc.InsertText(0, QtToAnsi(fields.Title), false, ChunkOfPieces(TitlePieces(fields, organisation)), 0, 0,
               "Insert Title");
  return result;
}

void TTitleForm::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  TitleE->setFocus();
}

TSectionForm::TSectionForm(QWidget* parent) : QDialog(parent) {
  setObjectName(QStringLiteral("SectionForm"));
  setWindowTitle(QStringLiteral("Insert Section Title"));
  auto* layout = new QVBoxLayout(this);
  auto* form = new QFormLayout;
  layout->addLayout(form);
  SectionTitleE = AddEdit(this, form, "SectionTitleE", "&Section Title");
  InstructionE = AddEdit(this, form, "InstructionE", "&Instruction");
  NewPageCB = new QCheckBox(QStringLiteral("Start section on &new page"), this);
  NewPageCB->setObjectName(QStringLiteral("NewPageCB"));
  form->addRow(QString(), NewPageCB);
  AddButtons(this, layout, OkB, CancelB);
  setMinimumWidth(420);
}

void TSectionForm::Reset() {
  SectionTitleE->clear();
  InstructionE->clear();
  NewPageCB->setChecked(false);
}

TSectionFields TSectionForm::Fields() const {
  TSectionFields f;
  f.SectionTitle = SectionTitleE->text();
  f.Instruction = InstructionE->text();
  f.NewPage = NewPageCB->isChecked();
  return f;
}

int TSectionForm::InsertSection(TDocLogic& doc) {
  Reset();
  const int result = exec();
  if (result != QDialog::Accepted) return result;
  const TSectionFields fields = Fields();
  doc.InsertText(-1, QtToAnsi(fields.SectionTitle), false, ChunkOfPieces(SectionPieces(fields)), 0, 0,
               "Insert Section");
  return result;
}

void TSectionForm::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  SectionTitleE->setFocus();
}

}  // namespace hv
