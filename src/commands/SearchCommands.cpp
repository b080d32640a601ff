#include "commands/SearchCommands.h"

#include "commands/Ask.h"
#include "core/Errors.h"
#include "logic/AppLogic.h"
#include "model/Categories.h"

namespace hv {

TSearchCmd::TSearchCmd(TClassification classification) : Which(classification) {}

void TSearchCmd::Execute(QObject*) {
  TQuestionSelector* selector = AppLogic().Selector();
  if (selector == nullptr) throw EError("No library is open");
  TCategory* root = selector->TreeOf(Which);
  TCategory* current = selector->Criterion(Which) != nullptr ? selector->Criterion(Which) : root;
  TPickAnswer answer;
  {
    const std::unique_ptr<TSet> available = selector->Available(Which);
    answer = Ask().PickCategory(root, *available, current, TPickOptions{selector->IsOnlyCriterion(current)});
  }
  if (answer.Result == TPickResult::Cancel) return;
  // The criterion must come from the tree searched; anything else would corrupt the search.
  if (answer.Category != nullptr && TreeRoot(answer.Category) != root)
    throw EError("The picked category does not belong to the tree searched");
  selector->SetCriterion(Which, answer.Category, answer.Result == TPickResult::Start);
}

}  // namespace hv
