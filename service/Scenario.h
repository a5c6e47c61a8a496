// SPDX-License-Identifier: MIT
#ifndef SCENARIO_H
#define SCENARIO_H

#include <QJsonArray>
#include <QJsonObject>
#include <QList>
#include <QString>
#include <QStringList>

namespace Zav {
class Transfer;
}

// A scenario: transfers to register, a timeline of what happens to them, answers to the
// service's requests and expectations of the service's state, read from a JSON file (the format
// is described in the README). Loading checks everything before anything is played: a bad file
// is reported with its line and column.
struct Scenario
{
    // One change, as the client library makes it: the name of the Zav::Transfer method and its
    // arguments.
    struct Call
    {
        QString name;
        QJsonArray args;
    };
    struct Transfer
    {
        QString key;
        QString name;
        int type = 0; // 0 upload, 1 download, 2 sync
        QString clientId;
        double at = 0; // ms from the start, when it is registered
        QList<Call> calls; // made right after registration
    };
    struct Event
    {
        enum Kind { Change, Ramp, Commit, Request, Expect, ExpectRequest };
        Kind kind = Change;
        double at = 0; // ms from the start
        QString transfer; // key
        QList<Call> calls; // Change: one; Commit: those between startCommit and endCommit
        double from = 0, to = 0, over = 0, step = 0; // Ramp
        QString rampCall; // setProgress or setActive
        QString request; // Request, ExpectRequest
        double within = 0; // ExpectRequest: ms
        QJsonObject expect; // Expect: field -> value, as `zavctl show --json` gives them
        QString where; // "line:column" in the file, for reports
    };
    struct Answer
    {
        QString transfer; // empty: any
        QString request;
        double after = 0;
        bool accept = true;
        QList<Call> calls; // what the answer sends
    };

    QString path;
    QString name;
    int copies = 1; // of each transfer, played at once
    QList<Transfer> transfers;
    QList<Event> timeline; // ordered by time, file order kept for equal times
    QList<Answer> answers;

    // Reads and checks a scenario; on failure returns false with "FILE:LINE:COLUMN: what".
    bool load(const QString &filePath, QString *error);
    // The calls an answer makes when the file names none: what the app's answer box does.
    static QList<Call> defaultAnswer(const QString &request, bool accept);
    // Makes a change through the client library; false for an unknown name (load rules it out).
    static bool apply(Zav::Transfer *transfer, const Call &call);
    // The change names that a scenario may use.
    static QStringList callNames();
};

// Makes a scenario from the service's journal: the calls of one client, with their timing, and
// the requests others asked for its transfers, so that playing it sends the same calls again.
class ScenarioRecorder
{
public:
    explicit ScenarioRecorder(const QString &client = QString())
        : m_client(client)
    {
    }
    // Feeds one journal line; false once the client has left (nothing more to record).
    bool add(const QJsonObject &line);
    QString client() const { return m_client; }
    int transferCount() const { return int(m_transfers.size()); }
    QJsonObject scenario(const QString &name) const;
    // The scenario as a file's text: one transfer or event a line.
    QByteArray text(const QString &name) const;

private:
    QString m_client; // bus name; the first to register a transfer when empty
    qint64 m_start = -1; // ms since the epoch of the first record kept
    QStringList m_ids; // the client's transfers, in order of registration
    QJsonArray m_transfers;
    QJsonArray m_timeline;
};

#endif
