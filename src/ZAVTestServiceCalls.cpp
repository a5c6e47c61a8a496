// SPDX-License-Identifier: MIT
#include "ZAVTestServiceCalls.h"

#include "ZAVTestPictures.h"
#include "ZavBusNames.h"
#include "ZavVocabulary.h"

#include <QDBusError>
#include <QFileInfo>

#include <zav/ZavClient.h>

namespace ZAVTestServiceCalls {

namespace {
// The calls that change one field together: a refusal of one is undone by the last of them the
// service took.
QStringList callsOfField(const QString &call)
{
    using namespace ZavBus::Transfers;
    static const QStringList state {QLatin1String(setPending),
                                    QLatin1String(setActive),
                                    QLatin1String(markCancelled),
                                    QLatin1String(markPaused),
                                    QLatin1String(markRestarted),
                                    QLatin1String(markFailure),
                                    QLatin1String(markRepairableFailure),
                                    QLatin1String(markCancelFailed),
                                    QLatin1String(markCompleted)};
    static const QStringList commit {QLatin1String(startCommit), QLatin1String(endCommit)};
    if (state.contains(call))
        return state;
    if (commit.contains(call))
        return commit;
    return {call};
}

// The state the service holds after `last` of the state calls was the last it took (none: the
// state a transfer is registered in).
void restoreState(Values &v, const QString &last, const QVariantList &args)
{
    using namespace ZavBus::Transfers;
    using State = Values::State;
    v.answer.clear();
    if (last.isEmpty() || last == QLatin1String(setPending)) {
        v.state = State::Pending;
        v.reason = args.value(0).toString();
    } else if (last == QLatin1String(setActive) || last == QLatin1String(markRestarted)) {
        v.state = State::Active;
        if (last == QLatin1String(setActive))
            v.progress = args.value(0).toDouble();
    } else if (last == QLatin1String(markPaused)) {
        v.state = State::Paused;
    } else if (last == QLatin1String(markCancelled)) {
        v.state = State::Cancelled;
    } else if (last == QLatin1String(markCancelFailed)) {
        v.state = State::CancelFailed;
    } else if (last == QLatin1String(markFailure)) {
        v.state = State::Failed;
        v.failure = 0;
    } else if (last == QLatin1String(markRepairableFailure)) {
        v.state = State::Failed;
        v.failure = v.failure == 0 ? 1 : v.failure;
    } else if (last == QLatin1String(markCompleted)) {
        v.state = State::Done;
        v.result = args.value(0).toBool() ? args.value(2).toString() : QString();
    }
    v.status = v.statusEntry();
}

} // namespace

Zav::Client::TransferType transferTypeOf(const QString &type)
{
    if (type.contains(QLatin1String("upload")))
        return Zav::Client::Upload;
    if (type.contains(QLatin1String("Download")))
        return Zav::Client::Download;
    return Zav::Client::Sync;
}

int serviceIconOf(const Values &v)
{
    if (v.type.contains(QLatin1String("upload")) && !v.account.isEmpty())
        return 0;
    if (v.type.contains(QLatin1String("Download")))
        return 1;
    if (v.type.contains(QLatin1String("Sync")))
        return 2;
    return -1;
}

void sendFailure(Zav::Transfer *transfer, int retry)
{
    if (retry == 0)
        transfer->markFailure(QStringLiteral("Unable to connect to service"),
                              QStringLiteral("Service did not accept the user Name or Password"));
    else
        transfer->markRepairableFailure(QStringLiteral("Unable to Share files"),
                                        QStringLiteral("5 files could not be sent to service"),
                                        QStringLiteral("Retry now"));
}

void replay(Zav::Transfer *transfer, const Values &v)
{
    transfer->setAccount(v.account);
    transfer->setName(v.name);
    if (const int icon = serviceIconOf(v); icon >= 0)
        transfer->setServiceIconType(icon);
    transfer->setCount(100);
    transfer->setSize(v.size);
    transfer->setEstimate(v.estimate);
    transfer->setSpeed(v.speed);
    transfer->setCanPause(v.canPause);
    transfer->setMessage(v.message);
    transfer->setProgress(float(v.progress));
    if (!v.cancelText.isEmpty())
        transfer->setCancelButtonText(v.cancelText);
    if (!v.title.isEmpty())
        transfer->setTitle(v.title);
    if (!v.icon.isEmpty())
        transfer->setImageFromFilePath(ZAVTestPictures::iconPath());
    if (!v.thumbnail.isEmpty())
        transfer->setThumbnailForFile(ZAVTestPictures::thumbnailPath(v.thumbnail), QStringLiteral("image/jpeg"));
    switch (v.state) {
    case Values::State::Pending:
        transfer->setPending(v.reason);
        break;
    case Values::State::Active:
        transfer->setActive(float(v.progress));
        break;
    case Values::State::Paused:
        transfer->markPaused();
        break;
    case Values::State::Failed:
        sendFailure(transfer, v.failure);
        break;
    case Values::State::CancelFailed:
        transfer->markCancelFailed(QLatin1String(Zav::CancelFailedReason));
        break;
    case Values::State::Cancelled:
        transfer->markCancelled();
        break;
    case Values::State::Done:
        transfer->markCompleted(!v.result.isEmpty(), QString(), v.result);
        break;
    }
}
QString readableError(const QString &error)
{
    const qsizetype colon = error.indexOf(QLatin1String(": "));
    const QString name = colon > 0 ? error.left(colon) : QString();
    if (name.isEmpty() || name.contains(QLatin1Char(' ')))
        return error;
    return QStringLiteral("%1 (%2)").arg(error.mid(colon + 2), name.section(QLatin1Char('.'), -1));
}

QString callWords(const QString &call)
{
    if (!call.startsWith(QLatin1String("set")) || call.size() < 4)
        return call;
    QString words;
    for (const QChar c : call.mid(3)) {
        if (c.isUpper() && !words.isEmpty())
            words += QLatin1Char(' ') + c.toLower();
        else
            words += c;
    }
    return words;
}

bool isNoAnswer(const QString &error)
{
    return error == QDBusError::errorString(QDBusError::NoReply)
        || error == QDBusError::errorString(QDBusError::Timeout);
}

void restoreHeld(Values &v, Zav::Transfer *transfer, const QString &call)
{
    using namespace ZavBus::Transfers;
    const QStringList calls = callsOfField(call);
    if (transfer->changesInFlight(calls) > 0)
        return;
    QVariantList args;
    const QString last = transfer->lastAccepted(calls, &args);
    const QVariant first = args.value(0);
    if (calls.contains(QLatin1String(setPending)))
        restoreState(v, last, args);
    else if (calls.contains(QLatin1String(startCommit)))
        v.inCommit = last == QLatin1String(startCommit);
    else if (call == QLatin1String(setName))
        v.name = first.toString();
    else if (call == QLatin1String(setMessage))
        v.message = first.toString();
    else if (call == QLatin1String(setTitle))
        v.title = first.toString();
    else if (call == QLatin1String(setCancelButtonText))
        v.cancelText = first.toString();
    else if (call == QLatin1String(setAccount))
        v.account = first.toString();
    else if (call == QLatin1String(setSize))
        v.size = first.toULongLong();
    else if (call == QLatin1String(setSpeed))
        v.speed = first.toInt();
    else if (call == QLatin1String(setEstimate))
        v.estimate = first.toInt();
    else if (call == QLatin1String(setCanPause))
        v.canPause = first.toBool();
    else if (call == QLatin1String(setThumbnailForFile))
        v.thumbnail = last.isEmpty() ? QString() : QFileInfo(first.toString()).completeBaseName();
    else if (call == QLatin1String(setImageFromFilePath))
        v.icon.clear();
    else if (call == QLatin1String(setProgress)) {
        const QStringList progress {QLatin1String(setProgress), QLatin1String(setActive)};
        if (transfer->changesInFlight(progress) == 0) {
            transfer->lastAccepted(progress, &args);
            v.progress = args.value(0).toDouble();
        }
    }
}

} // namespace ZAVTestServiceCalls
