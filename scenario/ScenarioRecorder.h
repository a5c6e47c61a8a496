// SPDX-License-Identifier: MIT
#ifndef SCENARIORECORDER_H
#define SCENARIORECORDER_H

#include <QByteArray>
#include <QHash>
#include <QJsonArray>
#include <QJsonObject>
#include <QString>

// Makes a scenario from the service's journal: the calls of one client, with their timing, and
// the requests others asked for its transfers, so that playing it sends the same calls again, in
// the order the service received them. A journal holds the runs of the service one after
// another, each begun by a "serviceStarted" record; the recorder is fed one run.
class ScenarioRecorder
{
public:
    explicit ScenarioRecorder(const QString &client = QString())
        : m_client(client)
    {
    }
    // Feeds one journal line; false once the client has left (nothing more to record).
    bool add(const QJsonObject &line);
    // True for the record with which a service run begins.
    static bool startsRun(const QJsonObject &line);
    QString client() const { return m_client; }
    int transferCount() const { return int(m_transfers.size()); }
    QJsonObject scenario(const QString &name) const;
    // The scenario as a file's text: one transfer or event a line.
    QByteArray text(const QString &name) const;

private:
    QString m_client; // bus name; the first to register a transfer when empty
    qint64 m_start = -1; // ms since the epoch of the first record kept
    qint64 m_last = -1; // of the last record kept
    QHash<QString, QString> m_keys; // the client's transfers: id -> key, by order of registration
    QJsonArray m_transfers;
    QJsonArray m_timeline;
};

#endif
