#include "CommonDialog.h"

QStringList nameFiltersOf(const QString& filter)
{
    const QStringList parts = filter.split(QLatin1Char('|'));
    QStringList filters;
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        const QString& description = parts[i];
        const QString& pattern = parts[i + 1];
        if (description.isEmpty() && pattern.isEmpty()) continue;
        const QString named = QStringLiteral("(%1)").arg(pattern);
        filters << (description.contains(named) ? description : description + QLatin1Char(' ') + named);
    }
    return filters;
}
