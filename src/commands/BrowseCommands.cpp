#include "commands/BrowseCommands.h"

#include "commands/Ask.h"
#include "components/AnsiString.h"
#include "core/Errors.h"
#include "logic/AppLogic.h"
#include "logic/QuestionSelector.h"
#include "model/Categories.h"
#include "model/Library.h"
#include "model/Segments.h"

namespace hv {

namespace {

const QString kRelatedCaption = QStringLiteral("Related Information");

TIdentityCategory* ParentOf(const TIdentityCategory* node) { return dynamic_cast<TIdentityCategory*>(node->Parent); }

// The nearest node from start upwards whose slot holds a text; none when the root is passed.
template <class TSlot>
TIdentityCategory* WalkUp(TIdentityCategory* start, TSlot* TIdentityCategory::*slot) {
  for (TIdentityCategory* node = start; node != nullptr; node = ParentOf(node))
    if (node->*slot != nullptr) return node;
  return nullptr;
}

// The walk-up search for a kind of text: it starts above S when S is itself of that kind, so the
// command leads to the enclosing item's text.
template <class TSlot>
TIdentityCategory* FindRelated(TTextSegment* s, TSlot* TIdentityCategory::*slot) {
  if (s == nullptr || s->Identity == nullptr) return nullptr;
  TIdentityCategory* start = dynamic_cast<TSlot*>(s) != nullptr ? ParentOf(s->Identity) : s->Identity;
  return WalkUp(start, slot);
}

// A cross-linked identity decides by its Related list: none, the one partner, or itself when the
// user has to choose among several.
TIdentityCategory* ByRelated(TIdentityCategory* node) {
  if (node->Related.empty()) return nullptr;
  if (node->Related.size() == 1) return node->Related.front();
  return node;
}

template <class TSlot>
std::vector<TTextSegment*> RelatedTexts(const TIdentityCategory* target, TSlot* TIdentityCategory::*slot) {
  std::vector<TTextSegment*> texts;
  for (TIdentityCategory* node : target->Related)
    if (node != nullptr && node->*slot != nullptr) texts.push_back(node->*slot);
  return texts;
}

}  // namespace

TPrevCmd::TPrevCmd() : TAppCommand({AppCode::CurrentList}) {}

bool TPrevCmd::IsEnabled() { return App.CurrentList() && App.CurrentIndex() > 0; }

void TPrevCmd::Execute(QObject*) {
  if (!IsEnabled()) return;
  const TListRef list = App.CurrentList();
  App.SetCurrentList(list, App.CurrentIndex() - 1);
  App.SelectItem(list.ItemAt(App.CurrentIndex()), list, true);
  ViewerViewManager().ShowView();
}

// The list browsed may be a document's entries, which grow without CurrentList changing.
TNextCmd::TNextCmd() : TAppCommand({AppCode::CurrentList, AppCode::Document}, true) {}

bool TNextCmd::IsEnabled() {
  const int index = App.CurrentIndex();
  return App.CurrentList() && index != -1 && index + 1 < static_cast<int>(App.CurrentList().Count());
}

void TNextCmd::Execute(QObject*) {
  if (!IsEnabled()) return;
  const TListRef list = App.CurrentList();
  App.SetCurrentList(list, App.CurrentIndex() + 1);
  App.SelectItem(list.ItemAt(App.CurrentIndex()), list, true);
  ViewerViewManager().ShowView();
}

TBackCmd::TBackCmd() : TAppCommand({AppCode::History}) {}

bool TBackCmd::IsEnabled() { return !App.History().empty(); }

void TBackCmd::Execute(QObject*) {
  if (!IsEnabled()) return;
  App.GoBack();
  ViewerViewManager().ShowView();
}

TRelatedCmd::TRelatedCmd() : TAppCommand({AppCode::CurrentSelection}) {}

void TRelatedCmd::Select(TTextSegment* segment) { App.SelectItem(segment, nullptr, false); }

void TRelatedCmd::Offer(const std::vector<TTextSegment*>& segments) {
  if (segments.empty()) return;
  const int chosen = Ask().ChooseOne(kRelatedCaption, segments);
  if (chosen >= 0 && static_cast<std::size_t>(chosen) < segments.size()) Select(segments[static_cast<std::size_t>(chosen)]);
}

bool TRelatedQuestionsCmd::IsEnabled() {
  TTextSegment* s = App.SelectedSegment();
  if (s == nullptr) {
    TargetNode = nullptr;
    return false;
  }
  if (dynamic_cast<TSyllabus*>(s) != nullptr)
    TargetNode = s->Identity != nullptr ? ByRelated(s->Identity) : nullptr;
  else
    TargetNode = FindRelated(s, &TIdentityCategory::Question);
  return dynamic_cast<TResource*>(s) != nullptr || TargetNode != nullptr;
}

void TRelatedQuestionsCmd::Execute(QObject*) {
  if (!IsEnabled()) return;
  TTextSegment* s = App.SelectedSegment();
  if (dynamic_cast<TResource*>(s) != nullptr) {
    if (s->Identity == nullptr || App.Library() == nullptr) return;
    // A selector of its own, so the Question Finder's criteria and results stay as they are.
    TQuestionSelector selector(*App.Library());
    selector.SetResourceCriterion(s->Identity, true);
    if (selector.Results().empty()) {
      Ask().Message(QStringLiteral("No question uses the resource %1.").arg(AnsiToQt(s->GetID())));
      return;
    }
    Offer(std::vector<TTextSegment*>(selector.Results().begin(), selector.Results().end()));
    return;
  }
  if (TargetNode->Question != nullptr)
    Select(TargetNode->Question);
  else
    Offer(RelatedTexts(TargetNode, &TIdentityCategory::Question));
  ViewerViewManager().ShowView();
}

bool TRelatedMarkSchemeCmd::IsEnabled() {
  TargetNode = FindRelated(App.SelectedSegment(), &TIdentityCategory::MarkScheme);
  return TargetNode != nullptr;
}

void TRelatedMarkSchemeCmd::Execute(QObject*) {
  if (!IsEnabled()) return;
  Select(TargetNode->MarkScheme);
  ViewerViewManager().ShowView();
}

bool TRelatedExaminersReportCmd::IsEnabled() {
  TargetNode = FindRelated(App.SelectedSegment(), &TIdentityCategory::ExaminersReport);
  return TargetNode != nullptr;
}

void TRelatedExaminersReportCmd::Execute(QObject*) {
  if (!IsEnabled()) return;
  Select(TargetNode->ExaminersReport);
  ViewerViewManager().ShowView();
}

bool TRelatedNoteCmd::IsEnabled() {
  TargetNode = FindRelated(App.SelectedSegment(), &TIdentityCategory::Note);
  return TargetNode != nullptr;
}

void TRelatedNoteCmd::Execute(QObject*) {
  if (!IsEnabled()) return;
  Select(TargetNode->Note);
  ViewerViewManager().ShowView();
}

bool TRelatedResourceCmd::IsEnabled() {
  TargetNode = nullptr;
  const auto* question = dynamic_cast<TQuestion*>(App.SelectedSegment());
  return question != nullptr && !question->Resources.empty();
}

void TRelatedResourceCmd::Execute(QObject*) {
  if (!IsEnabled()) return;
  const auto* question = static_cast<TQuestion*>(App.SelectedSegment());
  const TLibrary* library = App.Library() != nullptr ? App.Library() : CurrentLibrary;
  auto resourceOf = [&](TIdentityCategory* node) -> TTextSegment* {
    if (library == nullptr) throw EDataError("No text for ID: R" + FullID(node));
    // Raises the library's error for a resource identity that has no text.
    return library->FindSegment("R" + FullID(node), false);
  };
  if (question->Resources.size() == 1) {
    Select(resourceOf(question->Resources.front()));
  } else {
    // A resource without a text is named, and the others are still offered.
    std::vector<TTextSegment*> resources;
    QStringList missing;
    for (TIdentityCategory* node : question->Resources) {
      try {
        resources.push_back(resourceOf(node));
      } catch (const EDataError& error) {
        missing << AnsiToQt(error.what());
      }
    }
    if (resources.empty()) throw EDataError(QtToAnsi(missing.join(QLatin1Char('\n'))));
    if (!missing.isEmpty()) Ask().Warning(missing.join(QLatin1Char('\n')));
    Offer(resources);
  }
  ViewerViewManager().ShowView();
}

bool TRelatedSyllabusCmd::IsEnabled() {
  TTextSegment* s = App.SelectedSegment();
  TargetNode = nullptr;
  if (s == nullptr || s->Identity == nullptr || dynamic_cast<TResource*>(s) != nullptr) return false;
  if (dynamic_cast<TQuestion*>(s) != nullptr)
    TargetNode = ByRelated(s->Identity);
  else
    TargetNode = FindRelated(s, &TIdentityCategory::Syllabus);
  return TargetNode != nullptr;
}

void TRelatedSyllabusCmd::Execute(QObject*) {
  if (!IsEnabled()) return;
  if (TargetNode->Syllabus != nullptr)
    Select(TargetNode->Syllabus);
  else
    Offer(RelatedTexts(TargetNode, &TIdentityCategory::Syllabus));
  ViewerViewManager().ShowView();
}

}  // namespace hv
