#include "commands/DerivedCommands.h"

#include "commands/Ask.h"
#include "commands/DocumentCommands.h"
#include "components/AnsiString.h"
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
  if (App.CurrentDocument() == nullptr) {
    Ask().Message(QString::fromLatin1(kReportNeedsDocument));
    return;
  }
  if (!IsEnabled()) return;
  TellPlaceholdersLeftOut(App.CurrentDocument(), QStringLiteral("report"));
  // Any other failure is reported as what it is, by the handler every command shares.
  App.CreateReportDocument();
}

}  // namespace hv
