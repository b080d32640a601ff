#include "commands/DerivedCommands.h"

#include "commands/Ask.h"
#include "commands/DocumentCommands.h"
#include "components/AnsiString.h"
#include "core/Errors.h"
#include "logic/AppLogic.h"

namespace hv {

TDerivedDocCmd::TDerivedDocCmd() : TAppCommand({AppCode::CurrentDoc, AppCode::Document}, true) {}

bool TDerivedDocCmd::IsEnabled() {
  const TDocLogic* doc = App.CurrentDocument();
  return doc != nullptr && doc->Document && !doc->Document->Entries.empty();
}

void TCreateMarkSchemeCmd::Execute(QObject*) {
  if (!IsEnabled()) return;
  TellPlaceholdersLeftOut(App.CurrentDocument(), QStringLiteral("mark scheme"));
  App.CreateMarkSchemeDocument();
}

void TCreateReportCmd::Execute(QObject*) {
  if (!IsEnabled()) return;
  if (!App.Documents().empty()) TellPlaceholdersLeftOut(App.Documents().front().get(), QStringLiteral("report"));
  try {
    App.CreateReportDocument();
  } catch (const EError&) {
    Ask().Message(QString::fromLatin1(kReportNeedsDocument));
  }
}

}  // namespace hv
