#include "output/OutputForms.h"

#include <QCoreApplication>
#include <QFile>

#include "commands/CommandFramework.h"
#include "output/EditForm.h"
#include "output/PreviewForm.h"
#include "output/PrintForm.h"
#include "output/TitleForms.h"

namespace hv {

namespace {

template <class T>
void DeleteForm(QPointer<T>& form) {
  delete form.data();
  form = nullptr;
}

}  // namespace

TOutputForms::~TOutputForms() {
  // Widgets cannot outlive the application object; at process exit after it is gone the forms
  // are left to the operating system.
  if (QCoreApplication::instance() != nullptr) Reset();
}

void TOutputForms::Reset() {
  DeleteForm(PreviewF);
  DeleteForm(EditF);
  DeleteForm(TitleF);
  DeleteForm(SectionF);
  DeleteForm(PrintF);
  App = nullptr;
}

TPrintForm& TOutputForms::Print() {
  // A form made for one application state must not serve another (tests make several).
  if (App != nullptr && App != &AppLogic()) Reset();
  App = &AppLogic();
  if (!PrintF) {
    PrintF = new TPrintForm(*App);
    static bool hooked = false;
    if (!hooked && QCoreApplication::instance() != nullptr) {
      hooked = true;
      QObject::connect(QCoreApplication::instance(), &QCoreApplication::aboutToQuit, [] { OutputForms().Reset(); });
    }
  }
  return *PrintF;
}

TPreviewForm& TOutputForms::Preview() {
  TPrintForm& print = Print();
  if (!PreviewF) PreviewF = new TPreviewForm(print);
  return *PreviewF;
}

TTitleForm& TOutputForms::Title() {
  Print();
  if (!TitleF) TitleF = new TTitleForm;
  return *TitleF;
}

TSectionForm& TOutputForms::Section() {
  Print();
  if (!SectionF) SectionF = new TSectionForm;
  return *SectionF;
}

TEditForm& TOutputForms::Edit() {
  Print();
  if (!EditF) EditF = new TEditForm(*App);
  return *EditF;
}

TOutputForms& OutputForms() {
  static TOutputForms forms;
  return forms;
}

QIcon ButtonFace(const char* name) {
  const QString path = QStringLiteral(":/icons/buttons/%1.svg").arg(QLatin1String(name));
  return QFile::exists(path) ? QIcon(path) : QIcon();
}

}  // namespace hv
