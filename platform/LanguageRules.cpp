#include "LanguageRules.h"

#include <cmath>
#include <cstdlib>

#include <locale.h>

double Val(const QString& text)
{
    const QByteArray t = text.toLatin1();
    qsizetype i = 0;
    while (i < t.size() && (t[i] == ' ' || t[i] == '\t')) ++i;
    const qsizetype start = i;
    if (i < t.size() && (t[i] == '+' || t[i] == '-')) ++i;
    qsizetype digits = 0;
    while (i < t.size() && t[i] >= '0' && t[i] <= '9') ++i, ++digits;
    if (i < t.size() && t[i] == '.') {
        ++i;
        while (i < t.size() && t[i] >= '0' && t[i] <= '9') ++i, ++digits;
    }
    if (digits == 0) return 0.0;
    // An exponent only counts when digits follow it.
    if (i < t.size() && (t[i] == 'e' || t[i] == 'E')) {
        qsizetype j = i + 1;
        if (j < t.size() && (t[j] == '+' || t[j] == '-')) ++j;
        if (j < t.size() && t[j] >= '0' && t[j] <= '9') {
            while (j < t.size() && t[j] >= '0' && t[j] <= '9') ++j;
            i = j;
        }
    }
    // In the C locale whatever the desktop's is: a German desktop would read "0.5" as 0.
    // Too large a number comes back infinite, and fits nowhere.
    static const locale_t c = newlocale(LC_ALL_MASK, "C", locale_t{});
    return strtod_l(t.mid(start, i - start).constData(), nullptr, c);
}

std::optional<std::int16_t> CInt(double value)
{
    if (!std::isfinite(value)) return std::nullopt;
    const double rounded = std::nearbyint(value); // the default rounding mode: half to even
    if (rounded < -32768.0 || rounded > 32767.0) return std::nullopt;
    return static_cast<std::int16_t>(rounded);
}

QString formatFraction(float value)
{
    return QString::number(static_cast<double>(value), 'f', 7);
}

QString formatInteger(std::int32_t value)
{
    return QString::number(value);
}
