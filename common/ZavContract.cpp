// SPDX-License-Identifier: MIT
#include "ZavContract.h"

#include <QHash>

#include <cmath>
#include <limits>

namespace Zav {

namespace {
QList<CallRule> readRules()
{
    QList<CallRule> rules;
    for (const ZavBus::Transfers::Method &method : ZavBus::Transfers::Methods) {
        CallRule rule;
        rule.name = QLatin1String(method.name);
        rule.types = method.types;
        rule.argumentNames = QString::fromLatin1(method.argumentNames).split(QLatin1Char(' '), Qt::SkipEmptyParts);
        rule.takesId = !rule.argumentNames.isEmpty() && rule.argumentNames.constFirst() == QLatin1String("id");
        if (rule.takesId) {
            rule.types.remove(0, 1);
            rule.argumentNames.removeFirst();
        }
        const QStringList range = QString::fromLatin1(method.range).split(QLatin1Char(' '), Qt::SkipEmptyParts);
        if (!range.isEmpty()) {
            for (qsizetype i = 0; i < rule.types.size() && rule.bounded < 0; ++i) {
                if (QByteArrayView("idtnqux").contains(rule.types.at(i)))
                    rule.bounded = int(i);
            }
            // A range on a method with no number is a fault of the interface file, found by the
            // contract's test rather than ignored silently.
            Q_ASSERT(rule.bounded >= 0);
            rule.min = range.at(0).toDouble();
            rule.hasMax = range.size() > 1;
            rule.max = rule.hasMax ? range.at(1).toDouble() : 0;
        }
        rules.append(rule);
    }
    return rules;
}
} // namespace

double CallRule::upperBound() const
{
    if (hasMax)
        return max;
    switch (bounded >= 0 ? types.at(bounded) : 'd') {
    case 'i':
        return std::numeric_limits<qint32>::max();
    case 'u':
        return std::numeric_limits<quint32>::max();
    case 'n':
        return std::numeric_limits<qint16>::max();
    case 'q':
        return std::numeric_limits<quint16>::max();
    case 'x':
        return double(std::numeric_limits<qint64>::max());
    case 't':
        return double(std::numeric_limits<quint64>::max());
    }
    return std::numeric_limits<double>::infinity();
}

QString CallRule::refusal(double value) const
{
    if (bounded < 0)
        return QString();
    if (std::isfinite(value) && value >= min && (!hasMax || value <= max))
        return QString();
    const QString what = QStringLiteral("%1 of %2").arg(argumentNames.value(bounded), name);
    if (types.at(bounded) == 'd')
        return hasMax ? QStringLiteral("%1 must be a number from %2 to %3").arg(what).arg(min).arg(max)
                      : QStringLiteral("%1 must be a number of at least %2").arg(what).arg(min);
    if (!hasMax)
        return min == 0 ? QStringLiteral("%1 must not be negative").arg(what)
                        : QStringLiteral("%1 must be at least %2").arg(what).arg(min);
    return QStringLiteral("%1 must be from %2 to %3, not %4").arg(what).arg(min).arg(max).arg(value);
}

const QList<CallRule> &callRules()
{
    static const QList<CallRule> rules = readRules();
    return rules;
}

const CallRule *callRule(const QString &name)
{
    static const QHash<QString, qsizetype> index = [] {
        QHash<QString, qsizetype> byName;
        for (qsizetype i = 0; i < callRules().size(); ++i)
            byName.insert(callRules().at(i).name, i);
        return byName;
    }();
    const auto it = index.constFind(name);
    return it == index.constEnd() ? nullptr : &callRules().at(*it);
}

QStringList changeNames()
{
    QStringList names;
    for (const CallRule &rule : callRules()) {
        if (rule.takesId)
            names << rule.name;
    }
    return names;
}

} // namespace Zav
