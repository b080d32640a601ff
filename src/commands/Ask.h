#pragma once
// Every modal question the program puts to the user, behind one interface, so commands and
// windows never open a message box or a file dialog themselves and tests can answer in their place.
#include <QString>

#include <optional>
#include <string>
#include <vector>

namespace hv {

class TCategory;
class TSet;
class TTextSegment;

// YesNoDefaultNo: Yes and No with No as the default, for questions where Enter must not agree
// to something risky (running a program).
enum class TAskButtons { YesNo, YesNoCancel, YesNoDefaultNo };
enum class TAskAnswer { Yes, No, Cancel };

// The category picker's modal results; the numbers are the dialog's button results.
enum class TPickResult { Cancel = 2, Start = 6, Continue = 7 };

struct TPickOptions {
  // No criterion other than the current category is set, so continuing a search would be the same
  // as starting one.
  bool OnlyCriterion = false;
};

struct TPickAnswer {
  TPickResult Result = TPickResult::Cancel;
  TCategory* Category = nullptr;  // meaningful unless Result is Cancel
};

// The questions a command may ask. Texts are shown exactly as given.
//
// PickCategory and ChooseOne stand for the category picker and the related information dialog,
// windows of their own: the Qt implementation hands them to handlers those windows install.
class IAsk {
public:
  virtual ~IAsk() = default;

  virtual TAskAnswer Confirm(const QString& text, TAskButtons buttons) = 0;
  virtual void Message(const QString& text) = 0;
  virtual void Warning(const QString& text) = 0;
  virtual void Error(const QString& text) = 0;
  // filter is in Qt's syntax ("Documents (*.kvd);;All files (*)"); an empty answer means cancelled.
  virtual QString OpenFileName(const QString& caption, const QString& filter, const QString& defaultExt,
                               const QString& dir) = 0;
  // confirmOverwrite false: the caller asks its own overwrite question, so the dialog must not.
  virtual QString SaveFileName(const QString& caption, const QString& filter, const QString& defaultExt,
                               const QString& initialName, const QString& dir, bool confirmOverwrite = true) = 0;
  // No value when the user cancelled.
  virtual std::optional<QString> InputText(const QString& caption, const QString& prompt, const QString& value) = 0;
  // available is the set of categories that would give results; current comes preselected.
  virtual TPickAnswer PickCategory(TCategory* root, const TSet& available, TCategory* current,
                                   const TPickOptions& options) = 0;
  // The index of the chosen item, or -1 when the user cancelled.
  virtual int ChooseOne(const QString& caption, const std::vector<TTextSegment*>& items) = 0;
};

// The implementation installed for the whole process; raises EError when none is installed.
IAsk& Ask();
bool HasAsk();

// Installs an implementation for its own lifetime and puts the previous one back afterwards.
class TAskScope {
public:
  explicit TAskScope(IAsk& ask);
  ~TAskScope();
  TAskScope(const TAskScope&) = delete;
  TAskScope& operator=(const TAskScope&) = delete;

private:
  IAsk* Previous;
};

// Turns a filter in the "Description|pattern;pattern|Description|pattern" form into Qt's
// "Description (pattern pattern);;Description (pattern)" form. A description that already names
// its patterns in brackets is kept as it is.
QString QtFileFilter(const QString& filter);

}  // namespace hv
