// SPDX-License-Identifier: MIT
#include "DesktopBackend.h"

#include "Requests.h"
#include "ZavVocabulary.h"

using Zav::Requests::Request;

DesktopTransfer DesktopTransfer::fromJson(const QJsonObject &o)
{
    DesktopTransfer t;
    static_cast<Zav::TransferInfo &>(t) = Zav::TransferInfo::fromJson(o);
    t.progress = qBound(0.0, t.progress, 1.0);
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
    actions.append({Zav::Requests::word(Request::Cancel),
                    cancelButtonText.isEmpty() ? QStringLiteral("Cancel") : cancelButtonText});
    return actions;
}
