#include "output/Export.h"

#include <QFileInfo>

#include "commands/Ask.h"
#include "commands/CommandFramework.h"
#include "logic/AppLogic.h"
#include "output/OutputForms.h"
#include "output/PrintForm.h"

namespace hv {

QString ExportFileName(const QString& chosen) {
  if (chosen.isEmpty() || !QFileInfo(chosen).suffix().isEmpty()) return chosen;
  return chosen + QLatin1Char('.') + QLatin1String(kExportDefaultExt);
}

bool ExportCurrentDocument(TAppLogic& app) {
  const TDocLogic* doc = app.CurrentDocument();
  if (doc == nullptr || !doc->Document || doc->Document->Entries.empty()) {
    Ask().Message(QString::fromUtf8(kNothingToExport));
    return false;
  }
  QString fileName;
  while (true) {
    fileName = ExportFileName(Ask().SaveFileName(QString(), QtFileFilter(QString::fromUtf8(kExportFilter)),
                                                 QString::fromUtf8(kExportDefaultExt), QString(), QString(),
                                                 /*confirmOverwrite=*/false));
    if (fileName.isEmpty()) return false;
    if (!QFileInfo::exists(fileName)) break;
    if (Ask().Confirm(fileName + QStringLiteral(" exists. Do you want to overwrite it?"), TAskButtons::YesNoCancel) ==
        TAskAnswer::Yes)
      break;
  }
  OutputForms().Print().ExportDocument(fileName);
  ShowStatusMessage(QStringLiteral("Exported to \"%1\"").arg(fileName));
  return true;
}

}  // namespace hv
