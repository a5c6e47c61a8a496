// SPDX-License-Identifier: MIT
#ifndef ZAVTESTNUMBERS_H
#define ZAVTESTNUMBERS_H

#include <QString>

#include <optional>

// Conversions of typed and computed numbers into the integer types the service takes. A plain
// cast of a value outside the target range (or of NaN) is undefined behaviour, so each one
// saturates instead: whatever a tester types, a defined value is sent.
namespace ZAVTestNumbers {

// Text read as a decimal number ("1500.9", "9.77237e+09"); 0 when it is not a finite number.
double parseDecimal(const QString &text);
// Whole bytes, fraction dropped: not finite or negative gives 0, beyond the largest count the
// largest count.
quint64 toByteCount(double value);
// Typed at Add: whole bytes exactly ("9223372036854775807"), else as a decimal number whose
// fraction is dropped ("1500.9"), saturated as toByteCount.
quint64 byteCountFromText(const QString &text);
// Typed where a refusal can be said: a whole number of bytes the interface can carry (0 to
// 2^64-1), exactly, with nothing else around it but blanks; nothing otherwise.
std::optional<quint64> exactByteCount(const QString &text);
// A typed number; nothing for text that is no finite number ("nan", "inf", "1e400", "abc").
std::optional<double> finiteNumber(const QString &text);
// Fraction dropped, saturated to the 32-bit range; not finite gives 0.
int toInt32(double value);
// Per cent to the part done (50 gives 0.5), saturated to the float range; not finite gives 0.
float percentToFraction(double percent);

// A byte count in decimal units, three digits ("100 TB" for 99,999,999,999,999).
QString roundedBytes(quint64 bytes);

} // namespace ZAVTestNumbers

#endif
