// SPDX-License-Identifier: MIT
#include "TransferRecord.h"

#include "JsonWriter.h"

#include <limits>

QJsonValue jsonCount(quint64 value)
{
    if (value <= quint64(std::numeric_limits<qint64>::max()))
        return qint64(value);
    return QString::number(value);
}

const QList<QString TransferValues::*> &TransferValues::texts()
{
    static const QList<QString TransferValues::*> all {&TransferValues::name,
                                                       &TransferValues::clientId,
                                                       &TransferValues::account,
                                                       &TransferValues::message,
                                                       &TransferValues::thumbnailFile,
                                                       &TransferValues::thumbnailMimeType,
                                                       &TransferValues::cancelButtonText,
                                                       &TransferValues::title,
                                                       &TransferValues::image,
                                                       &TransferValues::reason,
                                                       &TransferValues::failureHeadline,
                                                       &TransferValues::failureDescription,
                                                       &TransferValues::failureAction,
                                                       &TransferValues::resultMessage,
                                                       &TransferValues::resultUri};
    return all;
}

qint64 TransferRecord::textBytes() const
{
    qint64 characters = 0;
    for (QString TransferValues::*text : TransferValues::texts()) {
        characters += (live.*text).size();
        if (inCommit && (staged.*text).constData() != (live.*text).constData())
            characters += (staged.*text).size();
    }
    return characters * qint64(sizeof(QChar));
}

QByteArray TransferRecord::toJson() const
{
    const TransferValues &v = live;
    QByteArray out;
    out.reserve(640);
    const auto key = [&out](const char *name) {
        out += out.isEmpty() ? "{\"" : ",\"";
        out += name;
        out += "\":";
    };
    const auto text = [&](const char *name, const QString &value) {
        key(name);
        JsonWriter::appendString(out, value);
    };
    const auto number = [&](const char *name, const QJsonValue &value) {
        key(name);
        JsonWriter::appendValue(out, value);
    };
    text("id", id);
    text("owner", owner);
    text("clientId", v.clientId);
    text("name", v.name);
    text("type", Zav::typeWord(v.type));
    text("account", v.account);
    number("count", v.count);
    number("size", jsonCount(v.size));
    number("progress", v.progress);
    number("speed", v.speed);
    text("message", v.message);
    number("estimate", v.estimate);
    number("canPause", v.canPause);
    number("serviceIconType", v.serviceIconType);
    text("thumbnailFile", v.thumbnailFile);
    text("thumbnailMimeType", v.thumbnailMimeType);
    text("cancelButtonText", v.cancelButtonText);
    text("title", v.title);
    text("image", v.image);
    text("state", Zav::stateWord(v.state));
    text("reason", v.reason);
    text("failureHeadline", v.failureHeadline);
    text("failureDescription", v.failureDescription);
    text("failureAction", v.failureAction);
    number("showResult", v.showResult);
    text("resultMessage", v.resultMessage);
    text("resultUri", v.resultUri);
    number("inCommit", inCommit);
    number("updates", qint64(updates));
    number("calls", qint64(calls));
    out += '}';
    return out;
}
