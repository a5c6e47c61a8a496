// SPDX-License-Identifier: MIT
#ifndef SCENARIO_H
#define SCENARIO_H

#include <QHash>
#include <QJsonArray>
#include <QJsonObject>
#include <QList>
#include <QString>
#include <QStringList>
#include <QVariantList>

// A scenario: transfers to register, a timeline of what happens to them, answers to the
// service's requests and expectations of the service's state, read from a JSON file (the format
// is described in the README). Loading checks everything before anything is played: a bad file
// is reported with its line and column.
struct Scenario
{
    // What a file may ask for; anything beyond is a bad file, reported with its line and column.
    static constexpr qint64 MaxFileBytes = 64 * 1024 * 1024;
    static constexpr int MaxDepth = 64; // nesting of objects and arrays
    static constexpr double MaxTime = 24 * 3600 * 1000.0; // ms: at, over, after, within
    static constexpr double MaxRampSteps = 1000000;
    static constexpr int MaxCopies = 10000;
    static constexpr double MaxFlood = 1000000; // calls of one flood

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
        // The program that registers it: empty for the player itself (through the client
        // library); else a bus connection of its own per name, which "disconnect" closes.
        QString client;
        double at = 0; // ms from the start, when it is registered
        QList<Call> calls; // made right after registration
    };
    struct Event
    {
        // Register: the transfer's registration, at its place in the timeline (a transfer that no
        // event registers gets one at its own "at", before the events of that time).
        // The chaos a misbehaving program makes: Disconnect closes a client's connection without a
        // word, Flood sends `count` calls as fast as the bus takes them, Stall holds the answers
        // to a transfer's requests (for `stallFor` ms, or for good), Garbage makes a call with
        // arguments of the wrong types.
        enum Kind { Change, Ramp, Commit, Request, Expect, ExpectRequest, Register, Disconnect, Flood, Stall, Garbage };
        Kind kind = Change;
        double at = 0; // ms from the start
        QString transfer; // key
        QList<Call> calls; // Change: one; Commit: those between startCommit and endCommit
        double from = 0, to = 0, over = 0, step = 0; // Ramp
        int steps = 0; // Ramp: steps after the first
        QString rampCall; // setProgress or setActive
        QString request; // Request, ExpectRequest
        double within = 0; // ExpectRequest: ms
        QJsonObject expect; // Expect: field -> value, as `zavctl show --json` gives them; "gone": true
        QString client; // Disconnect
        int count = 0; // Flood: of calls[0]
        double stallFor = -1; // Stall: ms; below 0 for good
        QString garbage; // Garbage: the method
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
    // A change's arguments as the client library sends them (progress as a 32-bit float).
    static QVariantList arguments(const Call &call);
    // The time of a ramp's step i (0 to steps), and the value it sends.
    static double rampTime(const Event &ramp, int i);
    static double rampValue(const Event &ramp, int i);
    // The shortest decimal that a 32-bit float reads back as (0.04 for 0.03999999910593033).
    static double shortestFloat(double value);
    // How a file is read, section by section (Scenario.cpp).
    struct Loading;
    bool readTransfers(Loading &loading, const QJsonObject &top);
    bool readTimeline(Loading &loading, const QJsonObject &top);
    bool readAnswers(Loading &loading, const QJsonObject &top);

    // The change names that a scenario may use.
    static QStringList callNames();
    // Whether a change's argument travels as a 32-bit float (a part done).
    static bool isFractionArgument(const QString &call, int argument);
};

#endif
