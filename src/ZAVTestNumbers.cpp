// SPDX-License-Identifier: MIT
#include "ZAVTestNumbers.h"

#include <cmath>
#include <limits>

namespace ZAVTestNumbers {

double parseDecimal(const QString &text)
{
    bool ok = false;
    const double value = text.toDouble(&ok);
    return ok && std::isfinite(value) ? value : 0.0;
}

quint64 toByteCount(double value)
{
    if (!std::isfinite(value) || value <= 0)
        return 0;
    // 2^64 as a double; every double below it converts exactly after truncation.
    constexpr double limit = 18446744073709551616.0;
    if (value >= limit)
        return std::numeric_limits<quint64>::max();
    return quint64(value);
}

quint64 byteCountFromText(const QString &text)
{
    return toByteCount(parseDecimal(text));
}

int toInt32(double value)
{
    if (!std::isfinite(value))
        return 0;
    if (value >= 2147483647.0)
        return std::numeric_limits<int>::max();
    if (value <= -2147483648.0)
        return std::numeric_limits<int>::min();
    return int(value);
}

float percentToFraction(double percent)
{
    if (!std::isfinite(percent))
        return 0.0f;
    const double fraction = percent / 100.0;
    constexpr double largest = std::numeric_limits<float>::max();
    if (fraction > largest)
        return std::numeric_limits<float>::max();
    if (fraction < -largest)
        return -std::numeric_limits<float>::max();
    return float(fraction);
}

QString roundedBytes(quint64 bytes)
{
    static const char *const units[] = {"bytes", "kB", "MB", "GB", "TB", "PB", "EB"};
    double value = double(bytes);
    int unit = 0;
    while (value >= 999.5 && unit < 6) {
        value /= 1000;
        ++unit;
    }
    return QStringLiteral("%1 %2").arg(QString::number(value, 'g', 3), QLatin1String(units[unit]));
}

} // namespace ZAVTestNumbers
