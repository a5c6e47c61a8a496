// SPDX-License-Identifier: MIT
#ifndef ZAVTRANSFER_H
#define ZAVTRANSFER_H

#include "ZavVocabulary.h"

#include <QJsonObject>
#include <QString>
#include <QStringList>

namespace Zav {

// A transfer as the Control interface describes it: the members of its JSON, read in one place
// for every program that shows transfers (zavctl, the desktop bridge, conform). The service writes
// the same members; a test holds the two to each other.
struct TransferInfo
{
    QString id;
    QString owner; // the registering connection's unique name
    QString clientId;
    QString name;
    QString type; // "upload", "download", "sync"
    QString account;
    int count = 0;
    quint64 size = 0; // exact: one past the signed 64-bit range comes as a text of digits
    double progress = 0;
    int speed = 0;
    QString message;
    int estimate = 0;
    bool canPause = false;
    int serviceIconType = -1; // -1 while its program has set none
    QString thumbnailFile;
    QString thumbnailMimeType;
    QString cancelButtonText;
    QString title;
    QString image;
    QString stateWord; // as the service sent it: another service's own word is kept
    TransferState state = TransferState::Pending; // Pending for a word that is no state
    QString reason; // pending reason, or why cancelling failed
    QString failureHeadline;
    QString failureDescription;
    QString failureAction; // empty for a failure without repair
    bool showResult = false;
    QString resultMessage;
    QString resultUri;
    bool inCommit = false;
    qint64 updates = 0;
    qint64 calls = 0;

    static TransferInfo fromJson(const QJsonObject &transfer);
    QJsonObject toJson() const;
    // The members a description has, in the service's order.
    static const QStringList &members();

    // The state in the words people read ("Active", "Error: headline (repair: action)").
    QString describeState() const;
};

} // namespace Zav

#endif
