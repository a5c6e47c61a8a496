// SPDX-License-Identifier: MIT
#ifndef SCENARIOREPORT_H
#define SCENARIOREPORT_H

#include "Scenario.h"

#include <QList>
#include <QString>
#include <QTextStream>

// What a play found: a line for each expectation and each failed call as it comes (a run's
// failing calls past the first ShownCallFailures only counted), a line at the end of each run,
// the summary, and the JUnit report with every case.
class ScenarioReport
{
public:
    static constexpr int ShownCallFailures = 10;

    ScenarioReport(QTextStream &out, QTextStream &err)
        : m_out(out)
        , m_err(err)
    {
    }

    // A run of `scenario` begins; `run` names it in the cases ("run 2 of 3"), empty for a single run.
    void startRun(const Scenario *scenario, const QString &run);
    // An expectation held (an empty `failure`) or not, or a call failed (`call`); `seconds` into the run.
    void add(const QString &name, const QString &failure, double seconds, bool call = false);
    // The run's closing line: its failing calls not shown, and, for `throughput`, what it sent.
    void endRun(qsizetype transfers, qint64 calls, double seconds, bool throughput);
    // The summary line, and the JUnit report to `junit` when set; false when that cannot be written.
    bool finish(bool interrupted, const QList<Scenario> &scenarios, const QString &junit);
    bool anyFailed() const;

private:
    struct Result
    {
        const Scenario *scenario;
        QString name;
        QString failure; // empty when it held
        double seconds = 0;
        bool call = false; // a refused or unanswered call, not an expectation
    };
    bool writeJunit(const QList<Scenario> &scenarios, const QString &path);

    QTextStream &m_out;
    QTextStream &m_err;
    QList<Result> m_results;
    const Scenario *m_scenario = nullptr;
    QString m_run;
    int m_callFailures = 0; // in this run
};

#endif
