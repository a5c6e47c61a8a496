// SPDX-License-Identifier: MIT
#include "ScenarioReport.h"

#include "JUnitReport.h"

#include <QFileInfo>

#include <algorithm>

void ScenarioReport::startRun(const Scenario *scenario, const QString &run)
{
    m_scenario = scenario;
    m_run = run;
    m_callFailures = 0;
}

void ScenarioReport::add(const QString &name, const QString &failure, double seconds, bool call)
{
    // A report's cases of each run apart: a CI system keys its history by the case's name.
    m_results.append(
        {m_scenario, m_run.isEmpty() ? name : QStringLiteral("%1 (%2)").arg(name, m_run), failure, seconds, call});
    if (call && ++m_callFailures > ShownCallFailures)
        return;
    const QString file = QFileInfo(m_scenario->path).fileName();
    if (failure.isEmpty())
        m_out << "ok   " << file << ": " << name << "\n";
    else
        m_out << "FAIL " << file << ": " << name << ": " << failure << "\n";
    m_out.flush();
}

void ScenarioReport::endRun(qsizetype transfers, qint64 calls, double seconds, bool throughput)
{
    const QString file = QFileInfo(m_scenario->path).fileName();
    if (m_callFailures > ShownCallFailures)
        m_out << "FAIL " << file << ": " << m_callFailures - ShownCallFailures
              << " more call(s) failed; the JUnit report (--junit) lists every one\n";
    if (throughput)
        m_out << file << ": " << transfers << " transfer(s), " << calls << " call(s) in "
              << QString::number(seconds, 'f', 2)
              << " s: " << QString::number(seconds > 0 ? calls / seconds : 0, 'f', 0) << " calls/s\n";
}

bool ScenarioReport::anyFailed() const
{
    return std::any_of(m_results.cbegin(), m_results.cend(), [](const Result &r) { return !r.failure.isEmpty(); });
}

bool ScenarioReport::finish(bool interrupted, const QList<Scenario> &scenarios, const QString &junit)
{
    const bool written = junit.isEmpty() || writeJunit(scenarios, junit);
    qsizetype expectations = 0, held = 0, calls = 0;
    for (const Result &r : std::as_const(m_results)) {
        calls += r.call;
        expectations += !r.call;
        held += !r.call && r.failure.isEmpty();
    }
    const QString refused = calls ? QStringLiteral("; %1 call(s) refused or unanswered").arg(calls) : QString();
    if (interrupted)
        m_out << "INTERRUPTED: " << held << " of " << expectations << " expectation(s) held before the play was stopped"
              << refused << ".\n";
    else if (m_results.isEmpty())
        m_out << "Played; the scenarios expect nothing.\n";
    else
        m_out << (held < expectations || calls ? "FAILED: " : "All hold: ") << held << " of " << expectations
              << " expectation(s) hold" << refused << ".\n";
    m_out.flush();
    return written;
}

bool ScenarioReport::writeJunit(const QList<Scenario> &scenarios, const QString &path)
{
    JUnitReport report;
    for (const Scenario &scenario : scenarios) {
        JUnitReport::Suite suite {scenario.name, {}};
        for (const Result &r : std::as_const(m_results)) {
            if (r.scenario == &scenario)
                suite.cases.append({QFileInfo(scenario.path).fileName(), r.name,
                                    r.failure.isEmpty() ? JUnitReport::Case::Passed : JUnitReport::Case::Failed,
                                    r.failure, r.seconds});
        }
        report.suites.append(suite);
    }
    QString error;
    if (report.write(path, &error))
        return true;
    m_err << "zavctl: cannot write " << path << ": " << error << "\n";
    return false;
}
