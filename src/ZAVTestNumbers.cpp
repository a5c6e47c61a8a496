// SPDX-License-Identifier: MIT
#include "ZAVTestNumbers.h"

#include <cmath>
#include <limits>

namespace ZAVTestNumbers {

double parseDecimal(const QString &text)
{
    return finiteNumber(text).value_or(0.0);
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
    if (const std::optional<quint64> exact = exactByteCount(text))
        return *exact;
    return toByteCount(parseDecimal(text));
}

std::optional<quint64> exactByteCount(const QString &text)
{
    const QString digits = text.trimmed();
    if (digits.isEmpty() || digits.size() > 20)
        return std::nullopt;
    quint64 value = 0;
    for (const QChar c : digits) {
        if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            return std::nullopt;
        const quint64 digit = quint64(c.unicode() - '0');
        if (value > (std::numeric_limits<quint64>::max() - digit) / 10)
            return std::nullopt;
        value = value * 10 + digit;
    }
    return value;
}

std::optional<double> finiteNumber(const QString &text)
{
    bool ok = false;
    const double value = text.toDouble(&ok); // blanks around the number are allowed
    return ok && std::isfinite(value) ? std::optional<double>(value) : std::nullopt;
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
