// SPDX-License-Identifier: MIT
#ifndef SCENARIORECORDER_H
#define SCENARIORECORDER_H

#include <QByteArray>
#include <QHash>
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
    int transferCount() const { return m_transferCount; }
    // The scenario as a file's text: one transfer or event a line.
    QByteArray text(const QString &name) const;

private:
    QString m_client; // bus name; the first to register a transfer when empty
    qint64 m_start = -1; // ms since the epoch of the first record kept
    qint64 m_last = -1; // of the last record kept
    QHash<QString, QString> m_keys; // the client's transfers: id -> key, by order of registration
    // The transfers and the events as the file's lines, written as they come: kept as JSON
    // values, 170,000 events took five times their text.
    QByteArray m_transfers;
    int m_transferCount = 0;
    QByteArray m_timeline;
};

#endif
