// SPDX-License-Identifier: MIT
#include "ZavVocabulary.h"

#include "Nearest.h"

#include <QRegularExpression>

#include <cmath>
#include <iterator>

namespace Zav {

namespace {
const char *const StateWords[] = {"pending", "active", "paused", "failed", "cancelFailed", "cancelled", "done"};
const char *const TypeWords[] = {"upload", "download", "sync"};
} // namespace

QString stateWord(TransferState state)
{
    return QLatin1String(StateWords[int(state)]);
}

std::optional<TransferState> stateFromWord(const QString &word)
{
    for (int i = 0; i < int(std::size(StateWords)); ++i) {
        if (word == QLatin1String(StateWords[i]))
            return TransferState(i);
    }
    return std::nullopt;
}

QString displayWord(TransferState state)
{
    static const char *const words[] = {"Inactive", "Active", "Paused", "Error", "Cancel Failed", "Cancelled", "Done"};
    return QLatin1String(words[int(state)]);
}

QString stateSuggestion(const QString &word)
{
    QStringList wire;
    for (int i = 0; i < int(std::size(StateWords)); ++i) {
        const auto state = TransferState(i);
        wire << stateWord(state);
        if (word.compare(displayWord(state), Qt::CaseInsensitive) == 0
            || word.compare(stateWord(state), Qt::CaseInsensitive) == 0)
            return stateWord(state);
    }
    // The words zavctl's table once showed.
    if (word.compare(QLatin1String("running"), Qt::CaseInsensitive) == 0)
        return stateWord(TransferState::Active);
    if (word.compare(QLatin1String("waiting"), Qt::CaseInsensitive) == 0)
        return stateWord(TransferState::Pending);
    return nearest(word, wire);
}

QString typeWord(int type)
{
    return type >= 0 && type < int(std::size(TypeWords)) ? QLatin1String(TypeWords[type]) : QString();
}

int typeFromWord(const QString &word)
{
    for (int i = 0; i < int(std::size(TypeWords)); ++i) {
        if (word == QLatin1String(TypeWords[i]))
            return i;
    }
    return -1;
}

QString printable(const QString &text)
{
    QString shown;
    shown.reserve(text.size());
    for (const QChar c : text) {
        const char16_t u = c.unicode();
        const bool control = u < 0x20 || (u >= 0x7f && u <= 0x9f) || (u >= 0x202a && u <= 0x202e)
            || (u >= 0x2066 && u <= 0x2069) || u == 0x200e || u == 0x200f;
        if (!control)
            shown += c;
        else if (u < 0x100)
            shown += QStringLiteral("\\x%1").arg(uint(u), 2, 16, QLatin1Char('0'));
        else
            shown += QStringLiteral("\\u%1").arg(uint(u), 4, 16, QLatin1Char('0'));
    }
    return shown;
}

QString printableCut(const QString &text, qsizetype max)
{
    const QString shown = printable(text.left(max + 1));
    if (text.size() <= max && shown.size() <= max)
        return shown;
    return shown.left(max) + QStringLiteral("\u2026 (%1 characters)").arg(text.size());
}

QString formatBytes(quint64 bytes)
{
    static const char *const units[] = {"B", "KiB", "MiB", "GiB", "TiB", "PiB", "EiB"};
    double value = double(bytes);
    int unit = 0;
    while (value >= 1024 && unit < 6) {
        value /= 1024;
        ++unit;
    }
    return unit == 0 ? QStringLiteral("%1 B").arg(bytes)
                     : QStringLiteral("%1 %2").arg(value, 0, 'f', 1).arg(QLatin1String(units[unit]));
}

QByteArray withExactSizes(QByteArray json)
{
    // Inside a JSON string a quote is escaped, so this matches a "size" member alone.
    static const QRegularExpression digits(QStringLiteral("(\"size\": ?)\"([0-9]{1,20})\""));
    // Only a size past the signed range travels as text: every other line goes as it is (watch
    // writes one a change).
    if (!json.contains("\"size\":\"") && !json.contains("\"size\": \""))
        return json;
    return QString::fromUtf8(json).replace(digits, QStringLiteral("\\1\\2")).toUtf8();
}

QJsonValue jsonId(const QString &id)
{
    bool numeric = false;
    const qint64 number = id.toLongLong(&numeric);
    return numeric ? QJsonValue(number) : QJsonValue(id);
}

QJsonObject transferForJson(QJsonObject transfer)
{
    transfer.insert(QStringLiteral("id"), jsonId(transfer.value(QStringLiteral("id")).toString()));
    const double progress = transfer.value(QStringLiteral("progress")).toDouble();
    transfer.insert(QStringLiteral("progress"), std::round(progress * 1e6) / 1e6);
    return transfer;
}

} // namespace Zav
