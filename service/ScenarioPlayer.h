// SPDX-License-Identifier: MIT
#ifndef SCENARIOPLAYER_H
#define SCENARIOPLAYER_H

#include "Scenario.h"

#include <QDBusConnection>
#include <QElapsedTimer>
#include <QHash>
#include <QObject>
#include <QTextStream>
#include <QTimer>

#include <memory>

class ComKelvoZavControlInterface;
namespace Zav {
class Client;
}

// Plays scenarios through the client library, headless: registers their transfers, makes the
// timeline's changes at their times, answers the service's requests and checks the
// expectations, printing a line for each. Scenarios play one after another; the transfers of
// one (and its copies) all at once.
class ScenarioPlayer : public QObject
{
    Q_OBJECT
public:
    struct Options
    {
        double speed = 1; // times faster
        int repeat = 1; // plays of each scenario
        int copies = 1; // of each transfer, played at once
        QString junit; // report file, when set
    };

    ScenarioPlayer(const QDBusConnection &bus, QTextStream &out, QTextStream &err, QObject *parent = nullptr);
    ~ScenarioPlayer() override;

    // Starts playing; finished() tells the exit code: 0 when every expectation held.
    void start(const QList<Scenario> &scenarios, const Options &options);

Q_SIGNALS:
    void finished(int exitCode);

private:
    struct Result
    {
        const Scenario *scenario;
        QString name;
        QString failure; // empty when it held
        double seconds = 0;
    };
    struct Step // one event for one copy of a transfer, at its time
    {
        double at;
        int event;
        int copy;
        double value; // a ramp's progress
    };
    struct Waiting // an expected request
    {
        QString key;
        int copy;
        QString request;
        double deadline;
        QString name;
    };

    void nextRun();
    void tick();
    void registerTransfer(const Scenario::Transfer &transfer, int copy);
    void perform(const Step &step);
    void onRequest(Zav::Transfer *transfer, const QString &request);
    void expireWaiting();
    void report(const QString &name, const QString &failure);
    void endRun();
    void writeJunit();
    double now() const;

    QDBusConnection m_bus;
    QTextStream &m_out;
    QTextStream &m_err;
    std::unique_ptr<Zav::Client> m_client;
    std::unique_ptr<ComKelvoZavControlInterface> m_control;
    QList<Scenario> m_scenarios;
    Options m_options;
    int m_run = 0; // scenario index * repeat + play
    const Scenario *m_current = nullptr;
    QHash<QString, Zav::Transfer *> m_handles; // by key + '#' + copy
    QHash<Zav::Transfer *, QPair<QString, int>> m_keys;
    QList<Step> m_steps; // sorted by time
    qsizetype m_next = 0;
    QList<Waiting> m_waiting;
    QList<QPair<QPair<QString, int>, QString>> m_arrived; // requests not yet expected
    int m_pendingAnswers = 0;
    QElapsedTimer m_clock;
    QTimer m_timer;
    qint64 m_calls = 0;
    QList<Result> m_results;
    bool m_failed = false;
};

#endif
