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

const QList<Utf8Text TransferValues::*> &TransferValues::texts()
{
    static const QList<Utf8Text TransferValues::*> all {&TransferValues::name,
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
    qint64 bytes = 0;
    for (Utf8Text TransferValues::*text : TransferValues::texts()) {
        bytes += (live.*text).bytes().size();
        if (inCommit && (staged.*text).bytes().constData() != (live.*text).bytes().constData())
            bytes += (staged.*text).bytes().size();
    }
    return bytes;
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
    const auto utf8 = [&](const char *name, const Utf8Text &value) {
        key(name);
        JsonWriter::appendUtf8(out, value.bytes());
    };
    const auto number = [&](const char *name, const QJsonValue &value) {
        key(name);
        JsonWriter::appendValue(out, value);
    };
    text("id", id);
    text("owner", owner);
    utf8("clientId", v.clientId);
    utf8("name", v.name);
    text("type", Zav::typeWord(v.type));
    utf8("account", v.account);
    number("count", v.count);
    number("size", jsonCount(v.size));
    number("progress", v.progress);
    number("speed", v.speed);
    utf8("message", v.message);
    number("estimate", v.estimate);
    number("canPause", v.canPause);
    number("serviceIconType", v.serviceIconType);
    utf8("thumbnailFile", v.thumbnailFile);
    utf8("thumbnailMimeType", v.thumbnailMimeType);
    utf8("cancelButtonText", v.cancelButtonText);
    utf8("title", v.title);
    utf8("image", v.image);
    text("state", Zav::stateWord(v.state));
    utf8("reason", v.reason);
    utf8("failureHeadline", v.failureHeadline);
    utf8("failureDescription", v.failureDescription);
    utf8("failureAction", v.failureAction);
    number("showResult", v.showResult);
    utf8("resultMessage", v.resultMessage);
    utf8("resultUri", v.resultUri);
    number("inCommit", inCommit);
    number("updates", qint64(updates));
    number("calls", qint64(calls));
    out += '}';
    return out;
}
