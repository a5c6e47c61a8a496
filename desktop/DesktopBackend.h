// SPDX-License-Identifier: MIT
#ifndef DESKTOPBACKEND_H
#define DESKTOPBACKEND_H

#include <QJsonObject>
#include <QList>
#include <QObject>
#include <QPair>
#include <QSet>
#include <QString>

#include "ZavTransfer.h"

// One transfer as a desktop shows it: the service's description of it, its progress held to 0..1.
struct DesktopTransfer : Zav::TransferInfo
{
    static DesktopTransfer fromJson(const QJsonObject &transfer);
    bool isFinished() const;
    // The requests the user may send now, as (request word, button text), in the order shown.
    QList<QPair<QString, QString>> actions() const;
};

// What the bridge needs of a desktop: show a transfer, forget it, and hear the user's requests.
// One implementation per desktop service; the notification service is the first.
class DesktopBackend : public QObject
{
    Q_OBJECT
public:
    using QObject::QObject;

    // A transfer is new or changed. A backend may skip states that a later call supersedes,
    // but the latest one is always shown.
    virtual void show(const DesktopTransfer &transfer) = 0;
    // The transfer is gone (its owner left).
    virtual void remove(const QString &id) = 0;
    // The service left: every transfer is gone.
    virtual void removeAll() = 0;

Q_SIGNALS:
    // The desktop's user asked for `request` ("cancel", "start", "pause", "repair").
    void requested(const QString &id, const QString &request);
};

#endif
