#pragma once
// The word index at work in the program: building it beside the user interface with its progress
// in the status line, and the matched words highlighted in a text.
#include <QObject>
#include <QPointer>
#include <QTimer>

#include <chrono>
#include <string>

#include "core/Observer.h"
#include "logic/WordQuery.h"

class QLabel;
class QMainWindow;
class QTextEdit;

namespace hv {

class TAppLogic;
class TWordIndex;

// Builds the open library's word index on a thread of its own (an index in memory in slices short
// enough that the event loop never waits long), shows the progress in the main window's status
// line, tells the user once when the index cannot be kept on disk, and repeats a word search made
// on a partial index when it completes.
class TWordIndexDriver : public QObject {
  Q_OBJECT
public:
  // The longest a slice of building keeps the event loop waiting, short of one slow text.
  static constexpr std::chrono::milliseconds kSlice{15};
  // How often the building thread's progress is looked at.
  static constexpr std::chrono::milliseconds kPoll{200};

  TWordIndexDriver(TAppLogic& app, QMainWindow* mainForm);
  ~TWordIndexDriver() override;
  // The main window's driver, created on first use.
  static TWordIndexDriver* For(TAppLogic& app, QMainWindow* mainForm);

  // Opens the index and builds whatever it lacks in the background.
  void Start();
  // A word search just ran; when the index was still partial the status line says so.
  void SearchMade();
  bool Building() const { return Timer.isActive(); }
  QLabel* StatusP() const { return Label; }

private:
  void Tell();
  void Build();
  void Step();
  void IndexNotified(TObservable* sender, const TNotificationSet& codes);
  void ShowProgress();

  TAppLogic& App;
  TWordIndex* Index = nullptr;  // observed; owned by the application state
  QTimer Timer;
  QLabel* Label = nullptr;
  bool Background = false;  // the index's own thread builds; the timer only polls
  bool PartialSearch = false;
  std::string Told;  // the index's message last shown
};

// Marks every occurrence of the query's required words, phrases and prefixes in the text with a
// highlight (extra selections, so the text itself is untouched); matching ignores case and
// accents as the index does. An empty query removes the highlights. Answers how many were marked.
int HighlightWords(QTextEdit& text, const TWordQuery& query);

}  // namespace hv
