#include "StatsCommands.h"

#include <filesystem>

#include "MarkImport.h"
#include "commands/Ask.h"
#include "commands/MainMenu.h"
#include "components/AnsiString.h"
#include "logic/AppLogic.h"

namespace hv {

TImportMarksCmd::TImportMarksCmd() : TAppCommand({AppCode::Statistics}) {}

bool TImportMarksCmd::IsEnabled() { return App.Stats() != nullptr && App.Library() != nullptr; }

void TImportMarksCmd::Execute(QObject*) {
  if (!IsEnabled()) return;
  const QString chosen = Ask().OpenFileName(QLatin1String(kImportMarksTitle), QtFileFilter(QLatin1String(kImportMarksFilter)),
                                            QStringLiteral("xlsx"), QString());
  RestoreWorkingDirectory();
  if (chosen.isEmpty()) return;
  const std::string fileName = std::filesystem::absolute(PathFromQt(chosen)).string();
  const std::optional<QString> className =
      Ask().InputText(QStringLiteral("Import Marks"), QStringLiteral("Class these marks belong to:"),
                      PathToQt(SuggestedClassName(fileName)));
  if (!className) return;
  const TMarkImportResult result =
      ImportMarkWorkbook(fileName, *App.Library(), App.Subject(), className->toUtf8().toStdString(), *App.Stats());
  QString text = QStringLiteral("The marks of %1 students on %2 questions were imported for %3.")
                     .arg(result.Students)
                     .arg(result.Record.Items.size())
                     .arg(QString::fromStdString(result.Record.ClassName));
  if (result.Replaced) text += QStringLiteral(" They replace the marks imported from this sheet before.");
  Ask().Message(text);
}

void RegisterStatsCommands() {
  RegisterCommandClass("TImportMarksCmd", [](QObject* owner, QAction* menuItem, QObject* button) -> TCommand* {
    return TCommand::Create<TImportMarksCmd>(owner, menuItem, button);
  });
}

}  // namespace hv
