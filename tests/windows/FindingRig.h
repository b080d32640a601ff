#pragma once
// The program's windows over the sample library, as start-up makes them, with a scripted user
// whose category picks and related choices can go through the real dialogs.
#include <QApplication>
#include <QElapsedTimer>
#include <QMdiArea>
#include <QTest>
#include <QTimer>

#include <functional>
#include <memory>

#include "ScriptedAsk.h"
#include "commands/CommandFramework.h"
#include "commands/Utility.h"
#include "logic/AppLogic.h"
#include "model/Categories.h"
#include "model/Library.h"
#include "model/Segments.h"
#include "windows/DocForm.h"
#include "windows/Drawing.h"
#include "windows/MainForm.h"
#include "windows/PickForm.h"
#include "windows/QFForm.h"
#include "windows/RelatedForm.h"
#include "windows/TSListForm.h"
#include "windows/ViewerForm.h"

namespace hv::test {

// Answers from a script, except that picks and related choices, when a dialog is given, are put
// to that dialog, which the test then drives like a user.
class TDialogAsk : public TScriptedAsk {
public:
  TPickForm* Picker = nullptr;
  TRelatedForm* Related = nullptr;

  TPickAnswer PickCategory(TCategory* root, const TSet& available, TCategory* current,
                           const TPickOptions& options) override {
    if (Picker != nullptr) return Picker->PickCategory(root, available, current, options);
    return TScriptedAsk::PickCategory(root, available, current, options);
  }
  int ChooseOne(const QString& caption, const std::vector<TTextSegment*>& items) override {
    if (Related != nullptr) return Related->ChooseOne(items);
    return TScriptedAsk::ChooseOne(caption, items);
  }
};

// Runs act on the next modal dialog once it is up; the test's own call then blocks in exec()
// until act closes it. Fails the test when no dialog comes within two seconds.
inline void WhenModal(std::function<void(QWidget*)> act) {
  auto* timer = new QTimer;
  auto started = std::make_shared<QElapsedTimer>();
  started->start();
  timer->setInterval(5);
  QObject::connect(timer, &QTimer::timeout, [timer, act, started] {
    QWidget* modal = QApplication::activeModalWidget();
    if (modal == nullptr && started->elapsed() < 2000) return;
    timer->stop();
    timer->deleteLater();
    if (modal == nullptr) {
      QTest::qFail("no modal dialog appeared", __FILE__, __LINE__);
      return;
    }
    act(modal);
  });
  timer->start();
}

// The sample library open, the commands' environment, the main window with the Question Finder,
// the Viewer, the text list and both dialogs, shown as the first showing leaves them.
struct TFindingRig {
  TDialogAsk Ask;
  TAppLogic App;
  TDocFormCreator Creator{App};
  std::unique_ptr<TCommandEnvironment> Env;
  TMainForm* Main = nullptr;
  TQFForm* QF = nullptr;
  TViewerForm* Viewer = nullptr;
  TTSListForm* TSList = nullptr;
  TPickForm* Picker = nullptr;
  TRelatedForm* Related = nullptr;

  explicit TFindingRig(bool show = true) {
    App.OpenLibrary("Sample");
    AssignSymbols(*App.Library());
    CreateImageGrids(1.0);
    Env = std::make_unique<TCommandEnvironment>(App);
    // Exit must not end the test program.
    Env->Quit = [] {};
    Main = new TMainForm(App, *Env);
    Creator.SetMainForm(Main);
    QF = new TQFForm(App, Main);
    Viewer = new TViewerForm(App, Main);
    TSList = new TTSListForm(App, Main);
    Picker = new TPickForm(App, Main);
    Related = new TRelatedForm(Main);
    Main->resize(1100, 800);
    if (show) {
      Main->show();
      QApplication::processEvents();
    }
  }
  ~TFindingRig() {
    delete Main;
  }

  TQuestionSelector& Selector() const { return *App.Selector(); }
  const std::vector<TQuestion*>& Results() const { return App.Selector()->Results(); }
  TLibrary& Library() const { return *App.Library(); }
  // A category of a tree by its path of names ("Mechanics/Forces").
  static TCategory* Find(TCategory* root, const QString& path) {
    TCategory* node = root;
    for (const QString& name : path.split(QLatin1Char('/'))) {
      TCategory* next = nullptr;
      for (TCategory* child : node->Children)
        if (QString::fromLatin1(child->Name.c_str()) == name) next = child;
      if (next == nullptr) return nullptr;
      node = next;
    }
    return node;
  }
};

}  // namespace hv::test
