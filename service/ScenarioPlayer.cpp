// SPDX-License-Identifier: MIT
#include "ScenarioPlayer.h"

#include "ControlProxy.h"
#include "ZavBusNames.h"
#include "ZavCtl.h"

#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QPointer>
#include <QXmlStreamWriter>

#include <zav/ZavClient.h>

#include <cmath>

namespace {
QString shown(const QJsonValue &v)
{
    if (v.isString())
        return QLatin1Char('"') + ZavCtl::printable(v.toString()) + QLatin1Char('"');
    if (v.isUndefined())
        return QStringLiteral("missing");
    return QString::fromUtf8(QJsonDocument(QJsonArray {v}).toJson(QJsonDocument::Compact)).mid(1).chopped(1);
}

bool same(const QJsonValue &actual, const QJsonValue &expected)
{
    // Progress travels as a 32-bit float: numbers match to six places.
    if (actual.isDouble() && expected.isDouble())
        return std::abs(actual.toDouble() - expected.toDouble()) <= 1e-6 * qMax(1.0, std::abs(expected.toDouble()));
    return actual == expected;
}
} // namespace

ScenarioPlayer::ScenarioPlayer(const QDBusConnection &bus, QTextStream &out, QTextStream &err, QObject *parent)
    : QObject(parent)
    , m_bus(bus)
    , m_out(out)
    , m_err(err)
{
    m_timer.setSingleShot(true);
    m_timer.setTimerType(Qt::PreciseTimer);
    connect(&m_timer, &QTimer::timeout, this, &ScenarioPlayer::tick);
}

ScenarioPlayer::~ScenarioPlayer() = default;

double ScenarioPlayer::now() const
{
    return m_clock.nsecsElapsed() / 1e6;
}

void ScenarioPlayer::start(const QList<Scenario> &scenarios, const Options &options)
{
    m_scenarios = scenarios;
    m_options = options;
    m_client = std::make_unique<Zav::Client>();
    if (!m_client->init()) {
        m_err << "zavctl: no transfer service on the bus (" << ZavBus::ServiceName << ")\n";
        QTimer::singleShot(0, this, [this] { emit finished(ZavCtl::NotThere); });
        return;
    }
    m_control = std::make_unique<ComKelvoZavControlInterface>(QLatin1String(ZavBus::ServiceName),
                                                              QLatin1String(ZavBus::ObjectPath), m_bus);
    const auto forward = [this](const char *request) {
        return [this, request](Zav::Transfer *t) { onRequest(t, QLatin1String(request)); };
    };
    connect(m_client.get(), &Zav::Client::cancelTransfer, this, forward("cancel"));
    connect(m_client.get(), &Zav::Client::startTransfer, this, forward("start"));
    connect(m_client.get(), &Zav::Client::pauseTransfer, this, forward("pause"));
    connect(m_client.get(), &Zav::Client::repairErrorTransfer, this, forward("repair"));
    QTimer::singleShot(0, this, &ScenarioPlayer::nextRun);
}

void ScenarioPlayer::nextRun()
{
    if (m_run >= m_scenarios.size() * m_options.repeat) {
        writeJunit();
        const qsizetype failed = std::count_if(m_results.cbegin(), m_results.cend(), [](const Result &r) { return !r.failure.isEmpty(); });
        if (m_results.isEmpty())
            m_out << "Played; the scenarios expect nothing.\n";
        else
            m_out << (failed ? "FAILED: " : "All hold: ") << m_results.size() - failed << " of " << m_results.size()
                  << " expectation(s) hold.\n";
        m_out.flush();
        emit finished(failed || m_failed ? ZavCtl::NotThere : ZavCtl::Success);
        return;
    }
    m_current = &m_scenarios.at(m_run / m_options.repeat);
    ++m_run;
    m_handles.clear();
    m_keys.clear();
    m_steps.clear();
    m_next = 0;
    m_waiting.clear();
    m_arrived.clear();
    m_calls = 0;
    m_clock.start();
    const int copies = m_options.copies * m_current->copies;
    // Registrations are steps too (event -1 - transfer), so that they come at their time.
    for (int copy = 0; copy < copies; ++copy) {
        for (int t = 0; t < m_current->transfers.size(); ++t)
            m_steps.append({m_current->transfers.at(t).at / m_options.speed, -1 - t, copy, 0});
    }
    // Every event of every copy, ramps as their steps, in the order of time.
    for (int e = 0; e < m_current->timeline.size(); ++e) {
        const Scenario::Event &event = m_current->timeline.at(e);
        for (int copy = 0; copy < copies; ++copy) {
            if (event.kind != Scenario::Event::Ramp) {
                m_steps.append({event.at / m_options.speed, e, copy, 0});
                continue;
            }
            const int steps = qMax(1, int(std::ceil(event.over / event.step)));
            for (int i = 0; i <= steps; ++i)
                m_steps.append({(event.at + qMin(event.over, i * event.step)) / m_options.speed, e, copy,
                                event.from + (event.to - event.from) * i / steps});
        }
    }
    std::stable_sort(m_steps.begin(), m_steps.end(), [](const Step &a, const Step &b) { return a.at < b.at; });
    tick();
}

void ScenarioPlayer::tick()
{
    while (m_next < m_steps.size() && m_steps.at(m_next).at <= now())
        perform(m_steps.at(m_next++));
    expireWaiting();
    if (m_next < m_steps.size()) {
        m_timer.start(qMax(0, int(m_steps.at(m_next).at - now())));
        return;
    }
    if (!m_waiting.isEmpty() || m_pendingAnswers > 0) {
        m_timer.start(10);
        return;
    }
    endRun();
}

void ScenarioPlayer::registerTransfer(const Scenario::Transfer &t, int copy)
{
    const QString name = m_options.copies * m_current->copies > 1 ? QStringLiteral("%1 #%2").arg(t.name).arg(copy + 1) : t.name;
    Zav::Transfer *handle = m_client->registerTransfer(name, Zav::Client::TransferType(t.type), t.clientId);
    ++m_calls;
    if (!handle) {
        report(QStringLiteral("%1: register %2").arg(t.key, name), QStringLiteral("the service refused the registration"));
        return;
    }
    m_handles.insert(t.key + QLatin1Char('#') + QString::number(copy), handle);
    m_keys.insert(handle, {t.key, copy});
    for (const Scenario::Call &call : t.calls)
        m_calls += Scenario::apply(handle, call);
}

void ScenarioPlayer::perform(const Step &step)
{
    if (step.event < 0)
        return registerTransfer(m_current->transfers.at(-1 - step.event), step.copy);
    const Scenario::Event &event = m_current->timeline.at(step.event);
    Zav::Transfer *handle = m_handles.value(event.transfer + QLatin1Char('#') + QString::number(step.copy));
    if (!handle)
        return; // its registration failed, and was reported
    const QString label = m_options.copies * m_current->copies > 1 ? QStringLiteral("%1#%2").arg(event.transfer).arg(step.copy + 1) : event.transfer;
    const QString name = QStringLiteral("%1 at %2 ms (line %3)").arg(label).arg(event.at).arg(event.where);
    switch (event.kind) {
    case Scenario::Event::Change:
        m_calls += Scenario::apply(handle, event.calls.constFirst());
        break;
    case Scenario::Event::Ramp:
        m_calls += Scenario::apply(handle, {event.rampCall, {step.value}});
        break;
    case Scenario::Event::Commit:
        handle->startCommit();
        for (const Scenario::Call &call : event.calls)
            Scenario::apply(handle, call);
        handle->endCommit();
        m_calls += event.calls.size() + 2;
        break;
    case Scenario::Event::Request:
        // As a user (or zavctl request) would ask; the answer is not waited for here.
        m_control->sendRequest(handle->id(), event.request);
        ++m_calls;
        break;
    case Scenario::Event::ExpectRequest: {
        const QPair<QString, int> who {event.transfer, step.copy};
        const QString what = QStringLiteral("%1: %2 request within %3 ms").arg(name, event.request).arg(event.within);
        const auto arrived = std::find_if(m_arrived.begin(), m_arrived.end(), [&](const auto &a) {
            return a.first == who && a.second == event.request;
        });
        if (arrived != m_arrived.end()) {
            m_arrived.erase(arrived);
            report(what, QString());
        } else {
            m_waiting.append({event.transfer, step.copy, event.request, now() + event.within / m_options.speed, what});
        }
        break;
    }
    case Scenario::Event::Expect: {
        // On the same connection as the changes: the service has handled every one sent before.
        QDBusPendingReply<QString> reply = m_control->transfer(handle->id());
        reply.waitForFinished();
        QStringList wrong;
        const QJsonObject actual = ZavCtl::forJson(QJsonDocument::fromJson(reply.value().toUtf8()).object());
        for (auto it = event.expect.constBegin(); it != event.expect.constEnd(); ++it) {
            if (!same(actual.value(it.key()), it.value()))
                wrong << QStringLiteral("%1 is %2, expected %3").arg(it.key(), shown(actual.value(it.key())), shown(it.value()));
        }
        QStringList fields;
        for (auto it = event.expect.constBegin(); it != event.expect.constEnd(); ++it)
            fields << QStringLiteral("%1 %2").arg(it.key(), shown(it.value()));
        report(QStringLiteral("%1: %2").arg(name, fields.join(QStringLiteral(", "))),
               reply.isError() ? reply.error().message() : wrong.join(QStringLiteral("; ")));
        break;
    }
    }
}

void ScenarioPlayer::onRequest(Zav::Transfer *transfer, const QString &request)
{
    if (!m_current || !m_keys.contains(transfer))
        return;
    const QPair<QString, int> who = m_keys.value(transfer);
    const auto waiting = std::find_if(m_waiting.begin(), m_waiting.end(), [&](const Waiting &w) {
        return w.key == who.first && w.copy == who.second && w.request == request;
    });
    if (waiting != m_waiting.end()) {
        report(waiting->name, QString());
        m_waiting.erase(waiting);
    } else {
        m_arrived.append({who, request});
    }
    for (const Scenario::Answer &answer : m_current->answers) {
        if (answer.request != request || (!answer.transfer.isEmpty() && answer.transfer != who.first))
            continue;
        ++m_pendingAnswers;
        QPointer<Zav::Transfer> target(transfer);
        QTimer::singleShot(int(answer.after / m_options.speed), this, [this, target, calls = answer.calls] {
            --m_pendingAnswers;
            for (const Scenario::Call &call : calls)
                m_calls += target && Scenario::apply(target, call);
        });
    }
}

void ScenarioPlayer::expireWaiting()
{
    const double t = now();
    m_waiting.removeIf([&](const Waiting &w) {
        if (w.deadline > t)
            return false;
        report(w.name, QStringLiteral("no %1 request arrived").arg(w.request));
        return true;
    });
}

void ScenarioPlayer::report(const QString &name, const QString &failure)
{
    const QString file = QFileInfo(m_current->path).fileName();
    m_results.append({m_current, name, failure, now() / 1000});
    if (failure.isEmpty())
        m_out << "ok   " << file << ": " << name << "\n";
    else
        m_out << "FAIL " << file << ": " << name << ": " << failure << "\n";
    m_out.flush();
}

void ScenarioPlayer::endRun()
{
    const double seconds = now() / 1000;
    if (m_options.copies * m_current->copies > 1 || m_options.repeat > 1)
        m_out << QFileInfo(m_current->path).fileName() << ": " << m_handles.size() << " transfer(s), " << m_calls
              << " call(s) in " << QString::number(seconds, 'f', 2) << " s: "
              << QString::number(seconds > 0 ? m_calls / seconds : 0, 'f', 0) << " calls/s\n";
    QTimer::singleShot(0, this, &ScenarioPlayer::nextRun);
}

void ScenarioPlayer::writeJunit()
{
    if (m_options.junit.isEmpty())
        return;
    QFile file(m_options.junit);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        m_err << "zavctl: cannot write " << m_options.junit << ": " << file.errorString() << "\n";
        m_failed = true;
        return;
    }
    QXmlStreamWriter xml(&file);
    xml.setAutoFormatting(true);
    xml.writeStartDocument();
    xml.writeStartElement(QStringLiteral("testsuites"));
    for (const Scenario &scenario : std::as_const(m_scenarios)) {
        QList<Result> mine;
        for (const Result &r : std::as_const(m_results)) {
            if (r.scenario == &scenario)
                mine.append(r);
        }
        xml.writeStartElement(QStringLiteral("testsuite"));
        xml.writeAttribute(QStringLiteral("name"), scenario.name);
        xml.writeAttribute(QStringLiteral("tests"), QString::number(mine.size()));
        xml.writeAttribute(QStringLiteral("failures"),
                           QString::number(std::count_if(mine.cbegin(), mine.cend(), [](const Result &r) { return !r.failure.isEmpty(); })));
        for (const Result &r : std::as_const(mine)) {
            xml.writeStartElement(QStringLiteral("testcase"));
            xml.writeAttribute(QStringLiteral("classname"), QFileInfo(scenario.path).fileName());
            xml.writeAttribute(QStringLiteral("name"), r.name);
            xml.writeAttribute(QStringLiteral("time"), QString::number(r.seconds, 'f', 3));
            if (!r.failure.isEmpty()) {
                xml.writeStartElement(QStringLiteral("failure"));
                xml.writeAttribute(QStringLiteral("message"), r.failure);
                xml.writeEndElement();
            }
            xml.writeEndElement();
        }
        xml.writeEndElement();
    }
    xml.writeEndElement();
    xml.writeEndDocument();
}
