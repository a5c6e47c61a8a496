// SPDX-License-Identifier: MIT
#include "ZavTransfer.h"

#include <limits>
#include <variant>

namespace Zav {

namespace {
using T = TransferInfo;
using Member = std::variant<QString T::*, int T::*, qint64 T::*, quint64 T::*, double T::*, bool T::*>;

// Every member of a description with where it is kept: fromJson, toJson and members() read this
// table, so that a member is named once.
struct Field
{
    const char *key;
    Member member;
};
const Field Fields[] = {
    {"id", &T::id},
    {"owner", &T::owner},
    {"clientId", &T::clientId},
    {"name", &T::name},
    {"type", &T::type},
    {"account", &T::account},
    {"count", &T::count},
    {"size", &T::size},
    {"progress", &T::progress},
    {"speed", &T::speed},
    {"message", &T::message},
    {"estimate", &T::estimate},
    {"canPause", &T::canPause},
    {"serviceIconType", &T::serviceIconType},
    {"thumbnailFile", &T::thumbnailFile},
    {"thumbnailMimeType", &T::thumbnailMimeType},
    {"cancelButtonText", &T::cancelButtonText},
    {"title", &T::title},
    {"image", &T::image},
    {"state", &T::stateWord},
    {"reason", &T::reason},
    {"failureHeadline", &T::failureHeadline},
    {"failureDescription", &T::failureDescription},
    {"failureAction", &T::failureAction},
    {"showResult", &T::showResult},
    {"resultMessage", &T::resultMessage},
    {"resultUri", &T::resultUri},
    {"inCommit", &T::inCommit},
    {"updates", &T::updates},
    {"calls", &T::calls},
};

template <class... Ts> struct Overloaded : Ts...
{
    using Ts::operator()...;
};
template <class... Ts> Overloaded(Ts...) -> Overloaded<Ts...>;
} // namespace

TransferInfo TransferInfo::fromJson(const QJsonObject &o)
{
    TransferInfo t;
    for (const Field &field : Fields) {
        const QJsonValue v = o.value(QLatin1String(field.key));
        std::visit(Overloaded {
                       // Programs write a numeric id as a number.
                       [&](QString T::*m) { t.*m = v.isDouble() ? QString::number(v.toInteger()) : v.toString(); },
                       [&](int T::*m) { t.*m = v.toInt(t.*m); },
                       [&](qint64 T::*m) { t.*m = v.toInteger(); },
                       // Past the signed 64-bit range a size comes as a text of digits.
                       [&](quint64 T::*m) {
                           t.*m = v.isString() ? v.toString().toULongLong() : quint64(qMax<qint64>(0, v.toInteger()));
                       },
                       [&](double T::*m) { t.*m = v.toDouble(); },
                       [&](bool T::*m) { t.*m = v.toBool(); },
                   },
                   field.member);
    }
    t.state = stateFromWord(t.stateWord).value_or(TransferState::Pending);
    return t;
}

QJsonObject TransferInfo::toJson() const
{
    QJsonObject o;
    for (const Field &field : Fields) {
        QJsonValue v;
        std::visit(Overloaded {
                       [&](quint64 T::*m) {
                           const quint64 bytes = this->*m;
                           v = bytes <= quint64(std::numeric_limits<qint64>::max())
                               ? QJsonValue(qint64(bytes))
                               : QJsonValue(QString::number(bytes));
                       },
                       [&](auto m) { v = QJsonValue(this->*m); },
                   },
                   field.member);
        o.insert(QLatin1String(field.key), v);
    }
    return o;
}

const QStringList &TransferInfo::members()
{
    static const QStringList keys = [] {
        QStringList list;
        for (const Field &field : Fields)
            list << QLatin1String(field.key);
        return list;
    }();
    return keys;
}

QString TransferInfo::describeState() const
{
    if (!stateFromWord(stateWord)) // another service's own word: shown as it came
        return stateWord;
    switch (state) {
    case TransferState::Failed:
        return failureAction.isEmpty() ? QStringLiteral("Error: %1").arg(failureHeadline)
                                       : QStringLiteral("Error: %1 (repair: %2)").arg(failureHeadline, failureAction);
    case TransferState::Done:
        return showResult ? QStringLiteral("Done: %1").arg(resultUri) : displayWord(state);
    case TransferState::Pending:
    case TransferState::CancelFailed:
        return reason.isEmpty() ? displayWord(state) : QStringLiteral("%1: %2").arg(displayWord(state), reason);
    case TransferState::Active:
    case TransferState::Paused:
    case TransferState::Cancelled:
        break;
    }
    return displayWord(state);
}

} // namespace Zav
