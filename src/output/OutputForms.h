#pragma once
// The output dialogs, made once and reused, as the commands that open them expect.
#include <QIcon>
#include <QPointer>

namespace hv {

class TAppLogic;
class TEditForm;
class TPreviewForm;
class TPrintForm;
class TSectionForm;
class TTitleForm;

// Creates each form on first use, over the application state of the installed command
// environment, and deletes them all when the application is about to quit or Reset is called.
// Forms keep their state between openings only where the dialogs reset it themselves.
class TOutputForms {
public:
  TOutputForms() = default;
  ~TOutputForms();
  TOutputForms(const TOutputForms&) = delete;
  TOutputForms& operator=(const TOutputForms&) = delete;

  TPrintForm& Print();
  TPreviewForm& Preview();
  TTitleForm& Title();
  TSectionForm& Section();
  TEditForm& Edit();

  // Deletes every form; the next use makes new ones (tests, or another application state).
  void Reset();

private:
  TAppLogic* App = nullptr;
  QPointer<TPrintForm> PrintF;
  QPointer<TPreviewForm> PreviewF;
  QPointer<TTitleForm> TitleF;
  QPointer<TSectionForm> SectionF;
  QPointer<TEditForm> EditF;
};

TOutputForms& OutputForms();

// A button face from the program's artwork (":/icons/buttons/<name>.svg"); null when the
// resource is not linked in, and callers then show the button's text instead.
QIcon ButtonFace(const char* name);

}  // namespace hv
