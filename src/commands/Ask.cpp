#include "commands/Ask.h"

#include <QStringList>

#include "core/Errors.h"

namespace hv {

namespace {
IAsk* Current = nullptr;
}

IAsk& Ask() {
  if (Current == nullptr) throw EError("No way to ask the user has been installed");
  return *Current;
}

bool HasAsk() { return Current != nullptr; }

TAskScope::TAskScope(IAsk& ask) : Previous(Current) { Current = &ask; }

TAskScope::~TAskScope() { Current = Previous; }

QString QtFileFilter(const QString& filter) {
  const QStringList parts = filter.split(QLatin1Char('|'));
  QStringList out;
  for (qsizetype i = 0; i < parts.size(); i += 2) {
    const QString description = parts[i].trimmed();
    QString patterns = i + 1 < parts.size() ? parts[i + 1].trimmed() : QString();
    patterns.replace(QLatin1Char(';'), QLatin1Char(' '));
    if (patterns.isEmpty() || description.contains(QLatin1Char('(') + patterns + QLatin1Char(')')))
      out << description;
    else
      out << description + QStringLiteral(" (") + patterns + QLatin1Char(')');
  }
  return out.join(QStringLiteral(";;"));
}

}  // namespace hv
