// SPDX-License-Identifier: MIT
#ifndef SCENARIOPLAYER_H
#define SCENARIOPLAYER_H

#include "Scenario.h"
#include "ScenarioOutbox.h"
#include "ScenarioPrograms.h"
#include "ScenarioReport.h"

#include <QDBusConnection>
#include <QElapsedTimer>
#include <QHash>
#include <QObject>
#include <QTextStream>
#include <QTimer>

#include <functional>
#include <map>
#include <memory>
#include <queue>
#include <vector>

class ComKelvoZavControlInterface;
class QDBusMessage;
class QDBusPendingCall;
namespace Zav {
class Client;
class Transfer;
} // namespace Zav

// Plays scenarios headless: registers their transfers through the client library, makes the
// timeline's changes at their times, answers the service's requests and checks the
// expectations, printing a line for each. Scenarios play one after another; the transfers of
// one (and its copies) all at once.
//
// Every call waits for the service's reply (at most CallTimeout), so that a change the service
// refuses fails the play with its line in the file and the service's error; the calls go out in
// the file's order, at most MaxInFlight awaiting their replies at a time. A service that does
// not answer ends the play of that scenario with a failing line. Nothing here blocks the event
// loop, so that Ctrl+C ends a play at once.
class ScenarioPlayer : public QObject
{
    Q_OBJECT
public:
    // finished()'s exit codes: every expectation held and every call was taken, or not (also
    // without a service).
    enum Outcome { Held = 0, Failed = 1 };
    static constexpr int CallTimeout = 5000; // ms
    static constexpr int MaxInFlight = 64; // below the bus's default of 128 awaited replies
    static constexpr int MaxQueued = 10000; // calls due but not sent: the timeline waits beyond

    struct Options
    {
        double speed = 1; // times faster
        int repeat = 1; // plays of each scenario
        int copies = 1; // of each transfer, played at once
        QString junit; // report file, when set
    };

    ScenarioPlayer(const QDBusConnection &bus, QTextStream &out, QTextStream &err, QObject *parent = nullptr);
    ~ScenarioPlayer() override;

    // Starts playing; finished() tells the exit code: 0 when every expectation held and the
    // service took every call.
    void start(const QList<Scenario> &scenarios, const Options &options);
    // Ends the play now (SIGINT, SIGTERM) with a summary of what ran; returns the exit code.
    int interrupt();

Q_SIGNALS:
    void finished(int exitCode);

private:
    struct Cursor // the next step of one event, for every copy at once
    {
        double at;
        int event;
        int step; // a ramp's step; 0 for other events
    };
    struct Later
    {
        bool operator()(const Cursor &a, const Cursor &b) const
        {
            return a.at > b.at || (a.at == b.at && a.event > b.event);
        }
    };
    struct Waiting // an expected request
    {
        QString key;
        int copy;
        QString request;
        double deadline;
        QString name;
    };
    struct DueAnswer
    {
        QString key;
        int copy;
        QString label;
        QList<Scenario::Call> calls;
    };
    void nextRun();
    void tick();
    void perform(const Cursor &cursor, int copy);
    void registerTransfer(const Scenario::Transfer &transfer, int copy, const QString &label);
    void sendChange(const QString &key, int copy, const Scenario::Call &call, const QString &label);
    // Calls `done` with the reply of a call, in this run only.
    void whenAnswered(const QDBusPendingCall &call, std::function<void(const QDBusMessage &reply)> done);
    // A call the service refused; a call it did not answer ends this scenario's play.
    void callFailed(const QString &label, const QDBusMessage &reply, int timeout = CallTimeout);
    void onRequest(Zav::Transfer *transfer, const QString &request);
    void requestArrived(const QPair<QString, int> &who, const QString &request);
    void flood(const QString &key, int copy, const Scenario::Event &event, const QString &label);
    void garbage(const QString &key, int copy, const QString &method, const QString &label);
    void expect(const QString &key, int copy, const QJsonObject &expect, const QString &label);
    void expireWaiting();
    void report(const QString &name, const QString &failure, bool call = false);
    void endRun();
    double now() const;
    int copies() const { return m_options.copies * m_current->copies; }

    QDBusConnection m_bus;
    QTextStream &m_out;
    QTextStream &m_err;
    std::unique_ptr<Zav::Client> m_client;
    std::unique_ptr<ComKelvoZavControlInterface> m_control;
    QList<Scenario> m_scenarios;
    Options m_options;
    int m_run = 0; // scenario index * repeat + play
    quint64 m_generation = 0; // of the run; replies of an ended run are ignored
    const Scenario *m_current = nullptr;
    ScenarioPrograms m_programs {m_bus};
    QHash<QString, double> m_stalls; // transfer key -> answers held until (infinity: for good)
    std::priority_queue<Cursor, std::vector<Cursor>, Later> m_cursors;
    std::multimap<double, DueAnswer> m_answersDue; // by time
    ScenarioOutbox m_outbox {MaxInFlight};
    QList<Waiting> m_waiting;
    QList<QPair<QPair<QString, int>, QString>> m_arrived; // requests not yet expected
    QElapsedTimer m_clock;
    QTimer m_timer;
    qint64 m_calls = 0;
    ScenarioReport m_report {m_out, m_err};
    bool m_finished = false;
};

#endif
