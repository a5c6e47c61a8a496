// SPDX-License-Identifier: MIT
#ifndef TRANSFERRECORD_H
#define TRANSFERRECORD_H

#include <QByteArray>
#include <QJsonValue>
#include <QList>
#include <QString>

#include "ZavVocabulary.h"

// A transfer's text, kept as UTF-8: the usual text takes a byte a character, half what a QString
// takes, and a listing writes it out without converting it.
class Utf8Text
{
public:
    Utf8Text() = default;
    Utf8Text(const QString &text)
        : m_bytes(text.toUtf8())
    {
        m_bytes.squeeze(); // the conversion reserves three bytes a character
    }
    const QByteArray &bytes() const { return m_bytes; }
    void clear() { m_bytes.clear(); }

private:
    QByteArray m_bytes;
};

// What the service knows of one transfer: the last value of every property and its state.
struct TransferValues
{
    using State = Zav::TransferState;

    Utf8Text name;
    int type = 0; // 0 upload, 1 download, 2 sync
    Utf8Text clientId;
    Utf8Text account;
    int count = 0;
    quint64 size = 0;
    double progress = 0;
    int speed = 0;
    Utf8Text message;
    int estimate = 0;
    bool canPause = false;
    int serviceIconType = -1; // -1: never set
    Utf8Text thumbnailFile;
    Utf8Text thumbnailMimeType;
    Utf8Text cancelButtonText;
    Utf8Text title;
    Utf8Text image;
    State state = State::Pending;
    Utf8Text reason; // pending reason, or why cancelling failed
    Utf8Text failureHeadline;
    Utf8Text failureDescription;
    Utf8Text failureAction; // empty for a failure without repair
    bool showResult = false;
    Utf8Text resultMessage;
    Utf8Text resultUri;

    // Every text of a transfer, for the service's byte budgets.
    static const QList<Utf8Text TransferValues::*> &texts();
};

struct TransferRecord
{
    QString id;
    QString owner; // unique bus name of the registering connection
    TransferValues live;
    TransferValues staged; // changes since startCommit
    bool inCommit = false;
    quint64 updates = 0; // applied updates; a commit counts once
    quint64 calls = 0; // accepted calls
    quint64 changeNumber = 0; // of its last change in the service's change sequence

    // The values a change applies to: the staged copy while a commit is open.
    TransferValues &target() { return inCommit ? staged : live; }
    // The transfer as a compact JSON object, as the Control interface gives it.
    QByteArray toJson() const;
    // Bytes its texts take (UTF-8): the live ones, and the staged ones a commit has changed (texts
    // a commit has not touched are shared with the live ones, not copied).
    qint64 textBytes() const;
};

// A byte count as JSON: a number, or text beyond what a JSON number holds exactly.
QJsonValue jsonCount(quint64 value);

#endif
