// SPDX-License-Identifier: MIT
#include "DesktopBackend.h"

#include "Requests.h"
#include "ZavVocabulary.h"

using Zav::Requests::Request;

namespace {
QString text(const QJsonObject &o, const char *key)
{
    return o.value(QLatin1String(key)).toString();
}
} // namespace

DesktopTransfer DesktopTransfer::fromJson(const QJsonObject &o)
{
    DesktopTransfer t;
    t.id = text(o, "id");
    t.name = text(o, "name");
    t.state = Zav::stateOf(o);
    t.stateWords = Zav::describeState(o);
    t.message = text(o, "message");
    t.cancelText = text(o, "cancelButtonText");
    t.failureHeadline = text(o, "failureHeadline");
    t.failureDescription = text(o, "failureDescription");
    t.failureAction = text(o, "failureAction");
    t.progress = qBound(0.0, o.value(QLatin1String("progress")).toDouble(), 1.0);
    // Sizes beyond a JSON number come as text; they are shown as unknown.
    t.size = Zav::sizeOf(o);
    t.estimate = o.value(QLatin1String("estimate")).toInt();
    t.type = text(o, "type");
    t.iconType = o.value(QLatin1String("serviceIconType")).toInt(-1);
    t.canPause = o.value(QLatin1String("canPause")).toBool();
    return t;
}

bool DesktopTransfer::isFinished() const
{
    return state == Zav::TransferState::Done || state == Zav::TransferState::Cancelled;
}

QList<QPair<QString, QString>> DesktopTransfer::actions() const
{
    QList<QPair<QString, QString>> actions;
    if (isFinished())
        return actions;
    if (state == Zav::TransferState::Failed && !failureAction.isEmpty())
        actions.append({Zav::Requests::word(Request::Repair), failureAction});
    if (state == Zav::TransferState::Paused || state == Zav::TransferState::Pending)
        actions.append({Zav::Requests::word(Request::Start), QStringLiteral("Start")});
    if (state == Zav::TransferState::Active && canPause)
        actions.append({Zav::Requests::word(Request::Pause), QStringLiteral("Pause")});
    actions.append(
        {Zav::Requests::word(Request::Cancel), cancelText.isEmpty() ? QStringLiteral("Cancel") : cancelText});
    return actions;
}
