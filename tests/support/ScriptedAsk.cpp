#include "ScriptedAsk.h"

#include <QTest>

#include "core/Collections.h"
#include "components/AnsiString.h"
#include "model/Categories.h"

namespace hv::test {

QString KindName(TQuestionKind kind) {
  switch (kind) {
    case TQuestionKind::Confirm: return QStringLiteral("Confirm");
    case TQuestionKind::Message: return QStringLiteral("Message");
    case TQuestionKind::Warning: return QStringLiteral("Warning");
    case TQuestionKind::Error: return QStringLiteral("Error");
    case TQuestionKind::OpenFileName: return QStringLiteral("OpenFileName");
    case TQuestionKind::SaveFileName: return QStringLiteral("SaveFileName");
    case TQuestionKind::InputText: return QStringLiteral("InputText");
    case TQuestionKind::PickCategory: return QStringLiteral("PickCategory");
    case TQuestionKind::ChooseOne: return QStringLiteral("ChooseOne");
  }
  return {};
}

TScriptedAsk::TScriptedAsk() : Scope(*this) {}

TScriptedAsk::~TScriptedAsk() {
  if (!Script.empty() && Failures.empty())
    Fail(QStringLiteral("%1 expected question(s) were never asked, the first a %2 \"%3\"")
             .arg(Script.size())
             .arg(KindName(Script.front().Kind), Script.front().Text));
}

void TScriptedAsk::Fail(const QString& message) {
  Failures.push_back(message);
  QTest::qFail(message.toUtf8().constData(), __FILE__, __LINE__);
}

bool TScriptedAsk::Verify() {
  if (!Script.empty()) {
    Fail(QStringLiteral("%1 expected question(s) were never asked, the first a %2 \"%3\"")
             .arg(Script.size())
             .arg(KindName(Script.front().Kind), Script.front().Text));
    Script.clear();
  }
  return Failures.empty();
}

const TAsked* TScriptedAsk::Last(TQuestionKind kind) const {
  for (auto it = Asked.rbegin(); it != Asked.rend(); ++it)
    if (it->Kind == kind) return &*it;
  return nullptr;
}

TScriptedAsk& TScriptedAsk::ExpectConfirm(const QString& text, TAskAnswer answer) {
  TExpected e(TQuestionKind::Confirm, text);
  e.Answer = answer;
  Script.push_back(e);
  return *this;
}

TScriptedAsk& TScriptedAsk::ExpectMessage(const QString& text) {
  Script.emplace_back(TQuestionKind::Message, text);
  return *this;
}

TScriptedAsk& TScriptedAsk::ExpectWarning(const QString& text) {
  Script.emplace_back(TQuestionKind::Warning, text);
  return *this;
}

TScriptedAsk& TScriptedAsk::ExpectError(const QString& text) {
  Script.emplace_back(TQuestionKind::Error, text);
  return *this;
}

TScriptedAsk& TScriptedAsk::ExpectOpenFileName(const QString& answer) {
  TExpected e(TQuestionKind::OpenFileName, QString());
  e.Name = answer;
  Script.push_back(e);
  return *this;
}

TScriptedAsk& TScriptedAsk::ExpectSaveFileName(const QString& answer) {
  TExpected e(TQuestionKind::SaveFileName, QString());
  e.Name = answer;
  Script.push_back(e);
  return *this;
}

TScriptedAsk& TScriptedAsk::ExpectInputText(const QString& prompt, std::optional<QString> answer) {
  TExpected e(TQuestionKind::InputText, prompt);
  e.Input = std::move(answer);
  Script.push_back(e);
  return *this;
}

TScriptedAsk& TScriptedAsk::ExpectPick(TPickResult result, TCategory* category) {
  TExpected e(TQuestionKind::PickCategory, QString());
  e.Pick = {result, category};
  Script.push_back(e);
  return *this;
}

TScriptedAsk& TScriptedAsk::ExpectChooseOne(int answer) {
  TExpected e(TQuestionKind::ChooseOne, QString());
  e.Choice = answer;
  Script.push_back(e);
  return *this;
}

void TScriptedAsk::AnswerRandomly(std::mt19937* random, std::function<QString()> openName,
                                  std::function<QString()> saveName) {
  Random = random;
  RandomOpenName = std::move(openName);
  RandomSaveName = std::move(saveName);
}

std::optional<TScriptedAsk::TExpected> TScriptedAsk::Take(TQuestionKind kind, const QString& text) {
  if (Script.empty()) {
    Fail(QStringLiteral("Unexpected %1: \"%2\"").arg(KindName(kind), text));
    return std::nullopt;
  }
  TExpected next = Script.front();
  Script.pop_front();
  if (next.Kind != kind || (!next.Text.isEmpty() && next.Text != text)) {
    Fail(QStringLiteral("Expected %1 \"%2\" but was asked %3 \"%4\"").arg(KindName(next.Kind), next.Text, KindName(kind), text));
    return std::nullopt;
  }
  return next;
}

TAskAnswer TScriptedAsk::Confirm(const QString& text, TAskButtons buttons) {
  Asked.emplace_back(TQuestionKind::Confirm, text);
  if (Random != nullptr) {
    const int n = buttons == TAskButtons::YesNoCancel ? 3 : 2;
    return static_cast<TAskAnswer>(std::uniform_int_distribution<int>(0, n - 1)(*Random));
  }
  const auto e = Take(TQuestionKind::Confirm, text);
  if (!e) return buttons == TAskButtons::YesNoCancel ? TAskAnswer::Cancel : TAskAnswer::No;
  if (e->Answer == TAskAnswer::Cancel && buttons != TAskButtons::YesNoCancel)
    Fail(QStringLiteral("Cancel is not among the buttons of \"%1\"").arg(text));
  return e->Answer;
}

void TScriptedAsk::Message(const QString& text) {
  Asked.emplace_back(TQuestionKind::Message, text);
  if (Random == nullptr) Take(TQuestionKind::Message, text);
}

void TScriptedAsk::Warning(const QString& text) {
  Asked.emplace_back(TQuestionKind::Warning, text);
  if (Random == nullptr) Take(TQuestionKind::Warning, text);
}

void TScriptedAsk::Error(const QString& text) {
  Asked.emplace_back(TQuestionKind::Error, text);
  if (Random == nullptr) Take(TQuestionKind::Error, text);
}

QString TScriptedAsk::OpenFileName(const QString& caption, const QString& filter, const QString&, const QString& dir) {
  TAsked asked(TQuestionKind::OpenFileName, caption);
  asked.Filter = filter;
  asked.Dir = dir;
  Asked.push_back(asked);
  if (Random != nullptr) return RandomOpenName ? RandomOpenName() : QString();
  const auto e = Take(TQuestionKind::OpenFileName, caption);
  return e ? e->Name : QString();
}

QString TScriptedAsk::SaveFileName(const QString& caption, const QString& filter, const QString&,
                                   const QString& initialName, const QString& dir, bool confirmOverwrite) {
  TAsked asked(TQuestionKind::SaveFileName, caption);
  asked.InitialName = initialName;
  asked.Dir = dir;
  asked.ConfirmOverwrite = confirmOverwrite;
  asked.Filter = filter;
  Asked.push_back(asked);
  if (Random != nullptr) return RandomSaveName ? RandomSaveName() : QString();
  const auto e = Take(TQuestionKind::SaveFileName, caption);
  return e ? e->Name : QString();
}

std::optional<QString> TScriptedAsk::InputText(const QString&, const QString& prompt, const QString& value) {
  Asked.emplace_back(TQuestionKind::InputText, prompt);
  if (Random != nullptr) {
    if (std::uniform_int_distribution<int>(0, 1)(*Random) == 0) return std::nullopt;
    return value;
  }
  const auto e = Take(TQuestionKind::InputText, prompt);
  return e ? e->Input : std::nullopt;
}

TPickAnswer TScriptedAsk::PickCategory(TCategory* root, const TSet& available, TCategory* current,
                                       const TPickOptions& options) {
  TAsked asked(TQuestionKind::PickCategory, root != nullptr ? AnsiToQt(root->Name) : QString());
  asked.Current = current;
  Asked.push_back(asked);
  if (Random != nullptr) {
    // Like a user of the picker: any node of the tree, Continue only where the picker allows it.
    std::vector<TCategory*> nodes;
    auto iterator = root->CreateIterator();
    while (TCategory* node = iterator->Next()) nodes.push_back(node);
    TCategory* picked = nodes[std::uniform_int_distribution<std::size_t>(0, nodes.size() - 1)(*Random)];
    const int button = std::uniform_int_distribution<int>(0, 2)(*Random);
    if (button == 0) return {TPickResult::Cancel, nullptr};
    if (button == 2 && !options.OnlyCriterion && available.Contains(picked)) return {TPickResult::Continue, picked};
    return {TPickResult::Start, picked};
  }
  const auto e = Take(TQuestionKind::PickCategory, asked.Text);
  return e ? e->Pick : TPickAnswer{};
}

int TScriptedAsk::ChooseOne(const QString& caption, const std::vector<TTextSegment*>& items) {
  TAsked asked(TQuestionKind::ChooseOne, caption);
  asked.Items = items;
  Asked.push_back(asked);
  if (Random != nullptr)
    return std::uniform_int_distribution<int>(-1, static_cast<int>(items.size()) - 1)(*Random);
  const auto e = Take(TQuestionKind::ChooseOne, caption);
  return e ? e->Choice : -1;
}

}  // namespace hv::test
