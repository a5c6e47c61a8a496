// SPDX-License-Identifier: MIT
#ifndef ZAVCONTRACT_H
#define ZAVCONTRACT_H

#include "ZavBusNames.h"

#include <QByteArray>
#include <QLatin1String>
#include <QList>
#include <QString>
#include <QStringList>

// The rules of the Transfers interface as its interface file states them (read by the build into
// ZavBusNames.h): what each call takes and the range of its number argument. The service checks
// calls against them, the scenario reader checks files, conform tries their edges: a rule is
// changed by one edit of the interface file.
namespace Zav {

namespace Errors = ZavBus::Errors;

// The longest text the interface takes in any argument, in characters.
inline constexpr int MaxTextLength = ZavBus::Transfers::MaxTextLength;

struct CallRule
{
    QLatin1String name;
    // A call that names a transfer takes its id first; `types` and `argumentNames` are the
    // arguments after it (all of them for a call that takes no id).
    bool takesId = false;
    QByteArray types; // D-Bus types, one character each
    QStringList argumentNames;
    // The number argument the interface bounds, as an index into `types`; -1 for none.
    int bounded = -1;
    double min = 0;
    double max = 0;
    bool hasMax = false;

    // Why the interface refuses `value` as the bounded argument ("count of setCount must not be
    // negative"), or an empty text. Not a number is out of every range.
    QString refusal(double value) const;
    // The largest value the bounded argument takes: its range's, else its type's.
    double upperBound() const;
};

// Every method of the Transfers interface, in the interface's order.
const QList<CallRule> &callRules();
const CallRule *callRule(const QString &name);
// The calls that change a transfer (those that take its id), as the client library names them.
QStringList changeNames();

} // namespace Zav

#endif
