// SPDX-License-Identifier: MIT
#include "ScenarioPlayer.h"

#include "ControlProxy.h"
#include "Requests.h"
#include "ZavBusConnection.h"
#include "ZavBusNames.h"
#include "ZavContract.h"
#include "ZavVocabulary.h"

#include <QDBusPendingCallWatcher>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>

#include <zav/ZavClient.h>

#include <cmath>
#include <limits>

namespace {
// Calls of a flood sent before the service is asked whether it came through them.
constexpr int FloodBatch = 5000;
QString shown(const QJsonValue &v)
{
    if (v.isString())
        return QLatin1Char('"') + Zav::printable(v.toString()) + QLatin1Char('"');
    if (v.isUndefined())
        return QStringLiteral("missing");
    return QString::fromUtf8(QJsonDocument(QJsonArray {v}).toJson(QJsonDocument::Compact)).mid(1).chopped(1);
}

// Counts, sizes, ids and texts compare exactly; progress travels as a 32-bit float and compares
// at six places, as `zavctl show --json` rounds it.
bool same(const QString &field, const QJsonValue &actual, const QJsonValue &expected)
{
    if (!actual.isDouble() || !expected.isDouble())
        return actual == expected;
    if (field == QLatin1String("progress"))
        return std::llround(actual.toDouble() * 1e6) == std::llround(expected.toDouble() * 1e6);
    return actual.toDouble() == expected.toDouble() && actual.toInteger(-1) == expected.toInteger(-1);
}

// A call's arguments for a report line: long texts shortened, control characters escaped.
QString argumentsText(const QJsonArray &args)
{
    QJsonArray shortened;
    for (const QJsonValue &arg : args)
        shortened.append(
            arg.isString() && arg.toString().size() > 60 ? QJsonValue(arg.toString().left(59) + QChar(0x2026)) : arg);
    return Zav::printable(QString::fromUtf8(QJsonDocument(shortened).toJson(QJsonDocument::Compact)));
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
    m_programs.requested = [this](const ScenarioPrograms::Copy &copy, const QString &request) {
        requestArrived(copy, request);
    };
    // Replies make room: the timeline goes on once the queue is half empty.
    m_outbox.finished = [this] {
        if (m_outbox.queued() < MaxQueued / 2 && !m_timer.isActive())
            m_timer.start(0);
    };
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
        m_finished = true;
        QTimer::singleShot(0, this, [this] { emit finished(Failed); });
        return;
    }
    m_control = std::make_unique<ComKelvoZavControlInterface>(QLatin1String(ZavBus::ServiceName),
                                                              QLatin1String(ZavBus::ObjectPath), m_bus);
    m_control->setTimeout(CallTimeout);
    using Zav::Requests::Request;
    const auto forward = [this](Request request) {
        return [this, request](Zav::Transfer *t) { onRequest(t, Zav::Requests::word(request)); };
    };
    connect(m_client.get(), &Zav::Client::cancelTransfer, this, forward(Request::Cancel));
    connect(m_client.get(), &Zav::Client::startTransfer, this, forward(Request::Start));
    connect(m_client.get(), &Zav::Client::pauseTransfer, this, forward(Request::Pause));
    connect(m_client.get(), &Zav::Client::repairErrorTransfer, this, forward(Request::Repair));
    QTimer::singleShot(0, this, &ScenarioPlayer::nextRun);
}

void ScenarioPlayer::nextRun()
{
    if (m_run >= m_scenarios.size() * m_options.repeat) {
        m_finished = true;
        const bool written = m_report.finish(false, m_scenarios, m_options.junit);
        emit finished(!written || m_report.anyFailed() ? Failed : Held);
        return;
    }
    m_current = &m_scenarios.at(m_run / m_options.repeat);
    ++m_run;
    ++m_generation;
    m_programs.reset(m_run);
    m_stalls.clear();
    m_cursors = {};
    m_answersDue.clear();
    m_outbox.clear();
    m_waiting.clear();
    m_arrived.clear();
    m_calls = 0;
    m_report.startRun(m_current,
                      m_options.repeat > 1
                          ? QStringLiteral("run %1 of %2").arg((m_run - 1) % m_options.repeat + 1).arg(m_options.repeat)
                          : QString());
    m_clock.start();
    // One cursor per event; a ramp's cursor moves on step by step, so nothing is built ahead.
    for (int e = 0; e < m_current->timeline.size(); ++e)
        m_cursors.push({m_current->timeline.at(e).at / m_options.speed, e, 0});
    tick();
}

void ScenarioPlayer::tick()
{
    const double t = now();
    while (!m_cursors.empty() && m_cursors.top().at <= t && m_outbox.queued() < MaxQueued) {
        const Cursor cursor = m_cursors.top();
        m_cursors.pop();
        for (int copy = 0; copy < copies(); ++copy)
            perform(cursor, copy);
        const Scenario::Event &event = m_current->timeline.at(cursor.event);
        if (event.kind == Scenario::Event::Ramp && cursor.step < event.steps)
            m_cursors.push(
                {Scenario::rampTime(event, cursor.step + 1) / m_options.speed, cursor.event, cursor.step + 1});
    }
    while (!m_answersDue.empty() && m_answersDue.begin()->first <= t && m_outbox.queued() < MaxQueued) {
        const DueAnswer answer = m_answersDue.begin()->second;
        m_answersDue.erase(m_answersDue.begin());
        for (const Scenario::Call &call : answer.calls)
            sendChange(answer.key, answer.copy, call, answer.label);
    }
    expireWaiting();
    if (m_outbox.queued() >= MaxQueued)
        return; // the replies make room, and tick again
    double next = std::numeric_limits<double>::infinity();
    if (!m_cursors.empty())
        next = m_cursors.top().at;
    if (!m_answersDue.empty())
        next = qMin(next, m_answersDue.begin()->first);
    for (const Waiting &w : std::as_const(m_waiting))
        next = qMin(next, w.deadline);
    if (std::isfinite(next)) {
        // Bounded, so that no time in a file can overflow the timer; it simply wakes again.
        m_timer.start(int(qBound(0.0, std::ceil(next - now()), 3600000.0)));
        return;
    }
    if (m_outbox.idle())
        endRun();
}

void ScenarioPlayer::perform(const Cursor &cursor, int copy)
{
    const Scenario::Event &event = m_current->timeline.at(cursor.event);
    const QString key = event.transfer;
    const QString label = QStringLiteral("%1 at %2 ms (line %3)")
                              .arg(copies() > 1 ? QStringLiteral("%1#%2").arg(key).arg(copy + 1) : key)
                              .arg(event.kind == Scenario::Event::Ramp ? Scenario::rampTime(event, cursor.step)
                                                                       : event.at)
                              .arg(event.where);
    switch (event.kind) {
    case Scenario::Event::Register: {
        const auto transfer = std::find_if(m_current->transfers.cbegin(), m_current->transfers.cend(),
                                           [&](const Scenario::Transfer &t) { return t.key == key; });
        registerTransfer(*transfer, copy, label);
        break;
    }
    case Scenario::Event::Change:
        sendChange(key, copy, event.calls.constFirst(), label);
        break;
    case Scenario::Event::Ramp:
        sendChange(key, copy, {event.rampCall, {Scenario::rampValue(event, cursor.step)}}, label);
        break;
    case Scenario::Event::Commit:
        sendChange(key, copy, {QLatin1String(ZavBus::Transfers::startCommit), {}}, label);
        for (const Scenario::Call &call : event.calls)
            sendChange(key, copy, call, label);
        sendChange(key, copy, {QLatin1String(ZavBus::Transfers::endCommit), {}}, label);
        break;
    case Scenario::Event::Request:
        // As a user (or zavctl request) would ask; the answer is not waited for here.
        m_outbox.enqueue({[this, key, copy, label, request = event.request](const std::function<void()> &finish) {
            const QString id = m_programs.idOf({key, copy});
            if (id.isEmpty())
                return finish();
            ++m_calls;
            whenAnswered(m_control->sendRequest(id, request), [=](const QDBusMessage &reply) {
                callFailed(QStringLiteral("%1: request %2").arg(label, request), reply);
                finish();
            });
        }});
        break;
    case Scenario::Event::ExpectRequest: {
        const QPair<QString, int> who {key, copy};
        const QString what = QStringLiteral("%1: %2 request within %3 ms").arg(label, event.request).arg(event.within);
        const auto arrived = std::find_if(m_arrived.begin(), m_arrived.end(),
                                          [&](const auto &a) { return a.first == who && a.second == event.request; });
        if (arrived != m_arrived.end()) {
            m_arrived.erase(arrived);
            report(what, QString());
        } else {
            m_waiting.append({key, copy, event.request, now() + event.within / m_options.speed, what});
        }
        break;
    }
    case Scenario::Event::Expect:
        expect(key, copy, event.expect, label);
        break;
    case Scenario::Event::Disconnect: {
        // The program leaves without a word: its connection closes, nothing more goes out for
        // its transfers, and the failures of calls still on their way are its own doing.
        m_programs.disconnect(event.client, copy);
        break;
    }
    case Scenario::Event::Flood:
        flood(key, copy, event, label);
        break;
    case Scenario::Event::Stall:
        m_stalls.insert(key,
                        event.stallFor < 0 ? std::numeric_limits<double>::infinity()
                                           : now() + event.stallFor / m_options.speed);
        break;
    case Scenario::Event::Garbage:
        garbage(key, copy, event.garbage, label);
        break;
    }
}

void ScenarioPlayer::expect(const QString &key, int copy, const QJsonObject &expect, const QString &label)
{
    // In turn with the changes: the service has handled every one sent before.
    m_outbox.enqueue({[this, key, copy, label, expect](const std::function<void()> &finish) {
                          const QString id = m_programs.idOf({key, copy});
                          QStringList fields;
                          for (auto it = expect.constBegin(); it != expect.constEnd(); ++it)
                              fields << QStringLiteral("%1 %2").arg(it.key(), shown(it.value()));
                          const QString name = QStringLiteral("%1: %2").arg(label, fields.join(QStringLiteral(", ")));
                          if (id.isEmpty()) {
                              report(name, QStringLiteral("the transfer was not registered"));
                              return finish();
                          }
                          const QJsonValue gone = expect.value(QStringLiteral("gone"));
                          QDBusMessage ask = m_programs.callFor({key, copy}, ZavBus::ControlInterface,
                                                                QLatin1String(ZavBus::Control::transfer));
                          ask.setArguments({id});
                          whenAnswered(m_bus.asyncCall(ask, CallTimeout), [=](const QDBusMessage &reply) {
                              const bool unknown = reply.errorName() == QLatin1String(Zav::Errors::UnknownTransfer);
                              if (gone.isBool()) {
                                  // Dropped with its program, or kept: the service's answer says which.
                                  if (unknown == gone.toBool())
                                      report(name, QString());
                                  else if (reply.type() == QDBusMessage::ErrorMessage && !unknown)
                                      callFailed(name, reply);
                                  else
                                      report(name,
                                             unknown ? QStringLiteral("the service no longer holds it")
                                                     : QStringLiteral("the service still holds it"));
                                  return finish();
                              }
                              if (reply.type() == QDBusMessage::ErrorMessage) {
                                  callFailed(name, reply);
                                  return finish();
                              }
                              QStringList wrong;
                              const QJsonObject actual = Zav::transferForJson(
                                  QJsonDocument::fromJson(reply.arguments().value(0).toString().toUtf8()).object());
                              for (auto it = expect.constBegin(); it != expect.constEnd(); ++it) {
                                  if (!same(it.key(), actual.value(it.key()), it.value()))
                                      wrong << QStringLiteral("%1 is %2, expected %3")
                                                   .arg(it.key(), shown(actual.value(it.key())), shown(it.value()));
                              }
                              report(name, wrong.join(QStringLiteral("; ")));
                              finish();
                          });
                      },
                      false, true});
}

void ScenarioPlayer::flood(const QString &key, int copy, const Scenario::Event &event, const QString &label)
{
    m_outbox.enqueue(
        {[this, key, copy, event, label](const std::function<void()> &finish) {
             const QString id = m_programs.idOf({key, copy});
             if (id.isEmpty() || m_programs.isGone({key, copy}))
                 return finish();
             QDBusConnection bus = m_programs.busOf({key, copy});
             const Scenario::Call &call = event.calls.constFirst();
             QDBusMessage message = m_programs.callFor({key, copy}, ZavBus::TransfersInterface, call.name);
             message.setArguments(QVariantList {id} + Scenario::arguments(call));
             // As fast as the bus takes them, no reply asked for, in batches: one call after each
             // batch, whose answer says the service has come through it, lets the next go. So the
             // calls never pile up unsent (before, a million were queued at once, and Ctrl+C
             // waited for them all to be written).
             const QDBusMessage ping = m_programs.callFor({key, copy}, ZavBus::TransfersInterface,
                                                          QLatin1String(ZavBus::Transfers::ping));
             auto batch = std::make_shared<std::function<void(int)>>();
             const std::weak_ptr<std::function<void(int)>> weak = batch;
             *batch = [=, this](int left) {
                 const int now = qMin(left, FloodBatch);
                 for (int i = 0; i < now; ++i)
                     bus.send(message);
                 m_calls += now + 1;
                 // The awaited answer holds the chain; the chain itself holds no part of it.
                 const auto next = weak.lock();
                 whenAnswered(bus.asyncCall(ping, CallTimeout), [=, this](const QDBusMessage &reply) {
                     if (m_programs.isGone({key, copy}))
                         return finish();
                     if (reply.type() == QDBusMessage::ReplyMessage && left > now)
                         return (*next)(left - now);
                     callFailed(QStringLiteral("%1: flood of %2 %3").arg(label).arg(event.count).arg(call.name), reply);
                     finish();
                 });
             };
             (*batch)(event.count);
         },
         true});
}

void ScenarioPlayer::garbage(const QString &key, int copy, const QString &method, const QString &label)
{
    m_outbox.enqueue({[this, key, copy, method, label](const std::function<void()> &finish) {
        if (m_programs.idOf({key, copy}).isEmpty() || m_programs.isGone({key, copy}))
            return finish();
        // A number where the id goes, and a text after it: no method of the interface takes that.
        QDBusMessage message = m_programs.callFor({key, copy}, ZavBus::TransfersInterface, method);
        message.setArguments({42, QStringLiteral("garbage")});
        ++m_calls;
        const QString name = QStringLiteral("%1: %2 with arguments of the wrong types is refused").arg(label, method);
        whenAnswered(m_programs.busOf({key, copy}).asyncCall(message, CallTimeout), [=](const QDBusMessage &reply) {
            const QDBusError error(reply);
            if (reply.type() == QDBusMessage::ErrorMessage
                && (error.type() == QDBusError::NoReply || error.type() == QDBusError::Timeout
                    || error.type() == QDBusError::ServiceUnknown))
                callFailed(name, reply);
            else
                report(name,
                       reply.type() == QDBusMessage::ErrorMessage ? QString()
                                                                  : QStringLiteral("the service accepted it"));
            finish();
        });
    }});
}

void ScenarioPlayer::registerTransfer(const Scenario::Transfer &t, int copy, const QString &label)
{
    // A copy's number goes at the end, within the interface's limit on texts.
    const QString suffix = copies() > 1 ? QStringLiteral(" #%1").arg(copy + 1) : QString();
    const QString name = t.name.left(Zav::MaxTextLength - suffix.size()) + suffix;
    const QString shownName = Zav::printable(name.size() > 60 ? name.left(59) + QChar(0x2026) : name);
    if (!t.client.isEmpty()) {
        // A program of the scenario's own: a raw registration on its connection.
        m_outbox.enqueue(
            {[this, t, copy, name, shownName, label](const std::function<void()> &finish) {
                 const QString connection = m_programs.connection(t.client, copy);
                 if (m_programs.hasLeft(connection))
                     return finish();
                 QDBusMessage message = QDBusMessage::createMethodCall(
                     QLatin1String(ZavBus::ServiceName), QLatin1String(ZavBus::ObjectPath),
                     QLatin1String(ZavBus::TransfersInterface), QLatin1String(ZavBus::Transfers::registerTransfer));
                 message.setArguments({name, t.type, t.clientId});
                 ++m_calls;
                 whenAnswered(QDBusConnection(connection).asyncCall(message, CallTimeout),
                              [=](const QDBusMessage &reply) {
                                  if (reply.type() == QDBusMessage::ReplyMessage) {
                                      const QString id = reply.arguments().value(0).toString();
                                      m_programs.registered({t.key, copy}, connection, id, reply.service());
                                  } else if (reply.errorName().startsWith(QLatin1String(ZavBus::ServiceName)
                                                                          + QLatin1String(".Error."))
                                             || reply.errorName() == QLatin1String(Zav::Errors::LimitsExceeded)) {
                                      report(QStringLiteral("%1: register \"%2\"").arg(label, shownName),
                                             QStringLiteral("the service refused the registration: %1: %2")
                                                 .arg(reply.errorName(), reply.errorMessage()),
                                             true);
                                  } else {
                                      callFailed(QStringLiteral("%1: register \"%2\"").arg(label, shownName), reply);
                                  }
                                  finish();
                              });
             },
             true});
        for (const Scenario::Call &call : t.calls)
            sendChange(t.key, copy, call, label);
        return;
    }
    m_outbox.enqueue({[this, t, copy, name, shownName, label](const std::function<void()> &finish) {
                          const quint64 generation = m_generation;
                          ++m_calls;
                          m_client->registerTransfer(
                              name, Zav::Client::TransferType(t.type), t.clientId, this,
                              [=](Zav::Transfer *handle, const QString &error) {
                                  if (generation != m_generation)
                                      return;
                                  if (handle) {
                                      m_programs.registered({t.key, copy}, handle);
                                  } else if (error.startsWith(QLatin1String("org.freedesktop.DBus.Error.NoReply"))) {
                                      return callFailed(QStringLiteral("%1: register \"%2\"").arg(label, shownName),
                                                        QDBusMessage::createError(QDBusError::NoReply, error),
                                                        Zav::Client::CallTimeout);
                                  } else {
                                      report(QStringLiteral("%1: register \"%2\"").arg(label, shownName),
                                             QStringLiteral("the service refused the registration: %1").arg(error),
                                             true);
                                  }
                                  finish();
                              });
                      },
                      true});
    // Sent once the registration has its id, before anything the timeline sends later.
    for (const Scenario::Call &call : t.calls)
        sendChange(t.key, copy, call, label);
}

void ScenarioPlayer::sendChange(const QString &key, int copy, const Scenario::Call &call, const QString &label)
{
    m_outbox.enqueue({[this, key, copy, call, label](const std::function<void()> &finish) {
        const QString id = m_programs.idOf({key, copy});
        // Its registration failed (and was reported), or its program has left.
        if (id.isEmpty() || m_programs.isGone({key, copy}))
            return finish();
        QDBusMessage message = m_programs.callFor({key, copy}, ZavBus::TransfersInterface, call.name);
        message.setArguments(QVariantList {id} + Scenario::arguments(call));
        ++m_calls;
        whenAnswered(m_programs.busOf({key, copy}).asyncCall(message, CallTimeout), [=](const QDBusMessage &reply) {
            if (!m_programs.isGone({key, copy}))
                callFailed(QStringLiteral("%1: %2 %3").arg(label, call.name, argumentsText(call.args)), reply);
            finish();
        });
    }});
}

void ScenarioPlayer::whenAnswered(const QDBusPendingCall &call, std::function<void(const QDBusMessage &)> done)
{
    auto *watcher = new QDBusPendingCallWatcher(call, this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this, watcher, done, generation = m_generation] {
        watcher->deleteLater();
        if (generation == m_generation)
            done(watcher->reply());
    });
}

void ScenarioPlayer::callFailed(const QString &label, const QDBusMessage &reply, int timeout)
{
    if (reply.type() != QDBusMessage::ErrorMessage)
        return;
    const QDBusError error(reply);
    const bool unanswered = error.type() == QDBusError::NoReply || error.type() == QDBusError::Timeout
        || error.type() == QDBusError::ServiceUnknown
        || error.name() == QLatin1String("org.freedesktop.DBus.Error.NameHasNoOwner")
        || error.type() == QDBusError::Disconnected;
    if (!unanswered) {
        report(label,
               QStringLiteral("the service refused it: %1: %2").arg(error.name(), Zav::printable(error.message())),
               true);
        return;
    }
    // Nothing more of this scenario can be played: what the service would make of it is unknown.
    // The bus says when the service left with the call unanswered; else the call's time ran out.
    const QString why = error.type() == QDBusError::ServiceUnknown
            || error.name().endsWith(QLatin1String("NameHasNoOwner"))
        ? QStringLiteral("no transfer service on the bus")
        : error.message().contains(QLatin1String("disconnected"), Qt::CaseInsensitive)
        ? QStringLiteral("the service left without answering")
        : QStringLiteral("the service did not answer within %1 s").arg(timeout / 1000);
    report(label, QStringLiteral("%1; the rest of this play is skipped").arg(why), true);
    ++m_generation;
    m_cursors = {};
    m_answersDue.clear();
    m_outbox.clear();
    m_waiting.clear();
    m_timer.stop();
    endRun();
}

void ScenarioPlayer::onRequest(Zav::Transfer *transfer, const QString &request)
{
    if (const ScenarioPrograms::Copy *copy = m_programs.copyOf(transfer); m_current && copy)
        requestArrived(*copy, request);
}

void ScenarioPlayer::requestArrived(const QPair<QString, int> &who, const QString &request)
{
    if (!m_current)
        return;
    const auto waiting = std::find_if(m_waiting.begin(), m_waiting.end(), [&](const Waiting &w) {
        return w.key == who.first && w.copy == who.second && w.request == request;
    });
    if (waiting != m_waiting.end()) {
        report(waiting->name, QString());
        m_waiting.erase(waiting);
    } else {
        m_arrived.append({who, request});
    }
    // A stalled transfer's program answers once the stall is over, or never.
    const double stalledUntil = m_stalls.value(who.first, 0);
    if (std::isinf(stalledUntil))
        return;
    for (const Scenario::Answer &answer : m_current->answers) {
        if (answer.request != request || (!answer.transfer.isEmpty() && answer.transfer != who.first))
            continue;
        m_answersDue.insert(
            {qMax(now() + answer.after / m_options.speed, stalledUntil),
             {who.first, who.second, QStringLiteral("%1: answer to %2").arg(who.first, request), answer.calls}});
    }
    m_timer.start(0); // tick finds when the next thing is due
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

void ScenarioPlayer::report(const QString &name, const QString &failure, bool call)
{
    m_report.add(name, failure, now() / 1000, call);
}

void ScenarioPlayer::endRun()
{
    m_report.endRun(m_programs.handles(), m_calls, now() / 1000, copies() > 1 || m_options.repeat > 1);
    QTimer::singleShot(0, this, &ScenarioPlayer::nextRun);
}

int ScenarioPlayer::interrupt()
{
    if (m_finished)
        return -1;
    m_finished = true;
    m_timer.stop();
    ++m_generation;
    m_report.finish(true, m_scenarios, m_options.junit);
    return Failed;
}
