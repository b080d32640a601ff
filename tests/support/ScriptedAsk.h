#pragma once
// A user that answers the program's questions from a script, for headless command tests.
#include <QString>

#include <deque>
#include <functional>
#include <optional>
#include <random>
#include <vector>

#include "commands/Ask.h"

namespace hv::test {

enum class TQuestionKind { Confirm, Message, Warning, Error, OpenFileName, SaveFileName, InputText, PickCategory, ChooseOne };

QString KindName(TQuestionKind kind);

// One question as it was asked.
struct TAsked {
  TAsked(TQuestionKind kind, QString text) : Kind(kind), Text(std::move(text)) {}
  TQuestionKind Kind;
  QString Text;  // the message, the caption of a dialog
  std::vector<TTextSegment*> Items;  // what ChooseOne offered
  TCategory* Current = nullptr;      // what PickCategory preselected
  QString InitialName;               // what SaveFileName suggested
  bool ConfirmOverwrite = true;      // whether the save dialog was to ask before replacing a file
  QString Filter;                    // what a file dialog filtered by
  QString Dir;                       // the folder a file dialog started in
};

// Holds the questions a test expects, each with its answer, in order, and installs itself for
// its lifetime. A question of another kind or with another text than the next one expected, a
// question when none is expected, and expected questions never asked all fail the running test;
// Verify checks the last of these early.
//
// In random mode it expects nothing and answers whatever comes at random, for stress runs.
class TScriptedAsk : public IAsk {
public:
  TScriptedAsk();
  ~TScriptedAsk() override;

  TScriptedAsk& ExpectConfirm(const QString& text, TAskAnswer answer);
  TScriptedAsk& ExpectMessage(const QString& text);
  TScriptedAsk& ExpectWarning(const QString& text);
  TScriptedAsk& ExpectError(const QString& text);
  // An empty answer cancels the dialog.
  TScriptedAsk& ExpectOpenFileName(const QString& answer);
  TScriptedAsk& ExpectSaveFileName(const QString& answer);
  TScriptedAsk& ExpectInputText(const QString& prompt, std::optional<QString> answer);
  TScriptedAsk& ExpectPick(TPickResult result, TCategory* category = nullptr);
  TScriptedAsk& ExpectChooseOne(int answer);

  // Answers every question at random from now on; file names come from the given functions.
  void AnswerRandomly(std::mt19937* random, std::function<QString()> openName, std::function<QString()> saveName);

  // True when every expected question was asked and nothing unexpected came; else fails the test.
  bool Verify();
  std::size_t Pending() const { return Script.size(); }
  const std::vector<TAsked>& Log() const { return Asked; }
  // The last question of a kind, for checking what a dialog was given.
  const TAsked* Last(TQuestionKind kind) const;

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
  struct TExpected {
    TExpected(TQuestionKind kind, QString text) : Kind(kind), Text(std::move(text)) {}
    TQuestionKind Kind;
    QString Text;  // empty matches any text
    TAskAnswer Answer = TAskAnswer::Cancel;
    QString Name;
    std::optional<QString> Input;
    TPickAnswer Pick;
    int Choice = -1;
  };
  // The next expected question, checked against what came; nullopt (and a failure) when it differs.
  std::optional<TExpected> Take(TQuestionKind kind, const QString& text);
  void Fail(const QString& message);

  std::deque<TExpected> Script;
  std::vector<TAsked> Asked;
  std::vector<QString> Failures;
  std::mt19937* Random = nullptr;
  std::function<QString()> RandomOpenName;
  std::function<QString()> RandomSaveName;
  TAskScope Scope;
};

}  // namespace hv::test
