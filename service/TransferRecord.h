// SPDX-License-Identifier: MIT
#ifndef TRANSFERRECORD_H
#define TRANSFERRECORD_H

#include <QByteArray>
#include <QJsonValue>
#include <QList>
#include <QString>

#include "ZavVocabulary.h"

// What the service knows of one transfer: the last value of every property and its state.
struct TransferValues
{
    using State = Zav::TransferState;

    QString name;
    int type = 0; // 0 upload, 1 download, 2 sync
    QString clientId;
    QString account;
    int count = 0;
    quint64 size = 0;
    double progress = 0;
    int speed = 0;
    QString message;
    int estimate = 0;
    bool canPause = false;
    int serviceIconType = -1; // -1: never set
    QString thumbnailFile;
    QString thumbnailMimeType;
    QString cancelButtonText;
    QString title;
    QString image;
    State state = State::Pending;
    QString reason; // pending reason, or why cancelling failed
    QString failureHeadline;
    QString failureDescription;
    QString failureAction; // empty for a failure without repair
    bool showResult = false;
    QString resultMessage;
    QString resultUri;

    // Every text of a transfer, for the service's byte budgets.
    static const QList<QString TransferValues::*> &texts();
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
    // Bytes its texts take: the live ones, and the staged ones a commit has changed (texts a
    // commit has not touched are shared with the live ones, not copied).
    qint64 textBytes() const;
};

// A byte count as JSON: a number, or text beyond what a JSON number holds exactly.
QJsonValue jsonCount(quint64 value);

#endif
