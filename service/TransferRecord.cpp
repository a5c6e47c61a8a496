#include "TransferRecord.h"

#include <limits>

QString stateName(TransferValues::State state)
{
    switch (state) {
    case TransferValues::State::Pending:
        return QStringLiteral("pending");
    case TransferValues::State::Active:
        return QStringLiteral("active");
    case TransferValues::State::Paused:
        return QStringLiteral("paused");
    case TransferValues::State::Failed:
        return QStringLiteral("failed");
    case TransferValues::State::CancelFailed:
        return QStringLiteral("cancelFailed");
    case TransferValues::State::Cancelled:
        return QStringLiteral("cancelled");
    case TransferValues::State::Done:
        return QStringLiteral("done");
    }
    return QString();
}

QJsonValue jsonCount(quint64 value)
{
    if (value <= quint64(std::numeric_limits<qint64>::max()))
        return qint64(value);
    return QString::number(value);
}

QString typeName(int type)
{
    switch (type) {
    case 0:
        return QStringLiteral("upload");
    case 1:
        return QStringLiteral("download");
    case 2:
        return QStringLiteral("sync");
    }
    return QString();
}

QJsonObject TransferRecord::toJson() const
{
    const TransferValues &v = live;
    QJsonObject o;
    o.insert(QStringLiteral("id"), id);
    o.insert(QStringLiteral("owner"), owner);
    o.insert(QStringLiteral("clientId"), v.clientId);
    o.insert(QStringLiteral("name"), v.name);
    o.insert(QStringLiteral("type"), typeName(v.type));
    o.insert(QStringLiteral("account"), v.account);
    o.insert(QStringLiteral("count"), v.count);
    o.insert(QStringLiteral("size"), jsonCount(v.size));
    o.insert(QStringLiteral("progress"), v.progress);
    o.insert(QStringLiteral("speed"), v.speed);
    o.insert(QStringLiteral("message"), v.message);
    o.insert(QStringLiteral("estimate"), v.estimate);
    o.insert(QStringLiteral("canPause"), v.canPause);
    o.insert(QStringLiteral("serviceIconType"), v.serviceIconType);
    o.insert(QStringLiteral("thumbnailFile"), v.thumbnailFile);
    o.insert(QStringLiteral("thumbnailMimeType"), v.thumbnailMimeType);
    o.insert(QStringLiteral("cancelButtonText"), v.cancelButtonText);
    o.insert(QStringLiteral("title"), v.title);
    o.insert(QStringLiteral("image"), v.image);
    o.insert(QStringLiteral("state"), stateName(v.state));
    o.insert(QStringLiteral("reason"), v.reason);
    o.insert(QStringLiteral("failureHeadline"), v.failureHeadline);
    o.insert(QStringLiteral("failureDescription"), v.failureDescription);
    o.insert(QStringLiteral("failureAction"), v.failureAction);
    o.insert(QStringLiteral("showResult"), v.showResult);
    o.insert(QStringLiteral("resultMessage"), v.resultMessage);
    o.insert(QStringLiteral("resultUri"), v.resultUri);
    o.insert(QStringLiteral("inCommit"), inCommit);
    o.insert(QStringLiteral("updates"), qint64(updates));
    o.insert(QStringLiteral("calls"), qint64(calls));
    return o;
}
