// SPDX-License-Identifier: MIT
#include "Conform.h"

#include "JUnitReport.h"

#include "Requests.h"
#include "ZavBusConnection.h"
#include "ZavBusNames.h"
#include "ZavContract.h"
#include "ZavTransfer.h"
#include "ZavVocabulary.h"

#include <QCoreApplication>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QSet>
#include <QTextStream>
#include <QTimer>

#include <zav/ZavClient.h>

#include <limits>

namespace {
namespace T = ZavBus::Transfers;
namespace C = ZavBus::Control;
using S = Zav::TransferState;
using Zav::stateWord;

const QString InvalidArgs = QLatin1String(Zav::Errors::InvalidArgs);
const QString AccessDenied = QLatin1String(Zav::Errors::AccessDenied);
const QString UnknownTransfer = QLatin1String(Zav::Errors::UnknownTransfer);
const QString Refused = QLatin1String(Zav::Errors::Refused);
constexpr int CallTimeout = 5000;
constexpr int SignalWait = 1000;

struct Setter
{
    const char *method;
    QVariantList args; // after the id
    // What the inspection interface then reports: member and value, or none.
    const char *member = nullptr;
    QVariant reported = QVariant();
};

// One valid call of every setter, in an order that keeps the transfer changeable to the end.
QList<Setter> validSetters()
{
    return {
        {T::setAccount, {QStringLiteral("account")}, "account", QStringLiteral("account")},
        {T::setCount, {3}, "count", 3},
        {T::setSize, {qulonglong(5000000001ULL)}, "size", qulonglong(5000000001ULL)},
        {T::setProgress, {0.25}, "progress", 0.25},
        {T::setSpeed, {120}, "speed", 120},
        {T::setMessage, {QStringLiteral("message")}, "message", QStringLiteral("message")},
        {T::setEstimate, {90}, "estimate", 90},
        {T::setCanPause, {true}, "canPause", true},
        {T::setName, {QStringLiteral("renamed")}, "name", QStringLiteral("renamed")},
        {T::setServiceIconType, {2}, "serviceIconType", 2},
        {T::setThumbnailForFile,
         {QStringLiteral("/tmp/t.jpg"), QStringLiteral("image/jpeg")},
         "thumbnailFile",
         QStringLiteral("/tmp/t.jpg")},
        {T::setCancelButtonText, {QStringLiteral("Stop")}, "cancelButtonText", QStringLiteral("Stop")},
        {T::setTitle, {QStringLiteral("Title")}, "title", QStringLiteral("Title")},
        {T::setImageFromFilePath, {QStringLiteral("/tmp/i.jpg")}, "image", QStringLiteral("/tmp/i.jpg")},
        {T::setPending, {QStringLiteral("waiting")}, "state", stateWord(S::Pending)},
        {T::setActive, {0.5}, "state", stateWord(S::Active)},
        {T::markPaused, {}, "state", stateWord(S::Paused)},
        {T::markRestarted, {}, "state", stateWord(S::Active)},
        {T::markFailure, {QStringLiteral("h"), QStringLiteral("d")}, "state", stateWord(S::Failed)},
        {T::markRepairableFailure,
         {QStringLiteral("h"), QStringLiteral("d"), QStringLiteral("a")},
         "failureAction",
         QStringLiteral("a")},
        {T::markCancelFailed, {QStringLiteral("no")}, "state", stateWord(S::CancelFailed)},
        {T::startCommit, {}, "inCommit", true},
        {T::endCommit, {}, "inCommit", false},
        {T::markCompleted, {true, QStringLiteral("m"), QStringLiteral("file:///r")}, "state", stateWord(S::Done)},
        {T::markCancelled, {}, "state", stateWord(S::Cancelled)},
    };
}

bool sameValue(const QJsonValue &reported, const QVariant &sent)
{
    if (sent.typeId() == QMetaType::QString)
        return reported.toString() == sent.toString();
    if (sent.typeId() == QMetaType::Bool)
        return reported.isBool() ? reported.toBool() == sent.toBool() : reported.toInteger(-1) == int(sent.toBool());
    if (sent.typeId() == QMetaType::Double)
        return reported.toDouble() == sent.toDouble();
    // Integers exactly; a count beyond what a JSON number holds comes as text.
    return reported.isString() ? reported.toString() == sent.toString() : reported.toInteger(-1) == sent.toLongLong();
}

QString describe(const QDBusMessage &reply)
{
    return reply.type() == QDBusMessage::ErrorMessage ? reply.errorName() + QStringLiteral(": ") + reply.errorMessage()
                                                      : QStringLiteral("accepted");
}
} // namespace

Conformance::Conformance(const QDBusConnection &bus, QTextStream &out)
    : m_bus(bus)
    , m_out(out)
{
}

Conformance::~Conformance()
{
    if (!m_otherName.isEmpty())
        QDBusConnection::disconnectFromBus(m_otherName);
}

const QStringList &Conformance::groups()
{
    static const QStringList all {QStringLiteral("registration"), QStringLiteral("setters"),
                                  QStringLiteral("ownership"),    QStringLiteral("requests"),
                                  QStringLiteral("lifetime"),     QStringLiteral("inspection")};
    return all;
}

int Conformance::run(const QString &only)
{
    const QDBusMessage status = call(m_bus, ZavBus::ControlInterface, C::status, {});
    m_control = status.type() == QDBusMessage::ReplyMessage;
    m_out << "Checking " << ZavBus::ServiceName << " on "
          << Zav::printable(!Zav::Client::busAddress().isEmpty()
                                ? Zav::Client::busAddress()
                                : qEnvironmentVariable("DBUS_SESSION_BUS_ADDRESS", QStringLiteral("the session bus")))
          << (m_control ? "" : " (no inspection interface: its checks are skipped)") << "\n";
    m_out.flush();
    using Group = void (Conformance::*)();
    const QList<std::pair<QString, Group>> all {
        {groups().at(0), &Conformance::registration}, {groups().at(1), &Conformance::setters},
        {groups().at(2), &Conformance::ownership},    {groups().at(3), &Conformance::requests},
        {groups().at(4), &Conformance::lifetime},     {groups().at(5), &Conformance::inspection}};
    for (const auto &[name, group] : all) {
        if (only.isEmpty() || only == name)
            (this->*group)();
    }

    m_out << "\n"
          << QStringLiteral("%1 %2 %3 %4\n")
                 .arg(QStringLiteral("group"), -14)
                 .arg(QStringLiteral("held"), 6)
                 .arg(QStringLiteral("failed"), 7)
                 .arg(QStringLiteral("skipped"), 8);
    int failures = 0;
    for (const QString &group : groups()) {
        int counts[3] = {0, 0, 0};
        for (const Result &r : std::as_const(m_results)) {
            if (r.group == group)
                ++counts[int(r.outcome)];
        }
        if (counts[0] + counts[1] + counts[2] == 0)
            continue;
        failures += counts[1];
        m_out << QStringLiteral("%1 %2 %3 %4\n").arg(group, -14).arg(counts[0], 6).arg(counts[1], 7).arg(counts[2], 8);
    }
    m_out << (failures ? QStringLiteral("%1 check(s) failed\n").arg(failures) : QStringLiteral("every check held\n"));
    m_out.flush();
    return failures ? 1 : 0;
}

void Conformance::report(const QString &group, const QString &name, Outcome outcome, const QString &text)
{
    // What a service answered is shown escaped (no terminal control of its reaches the
    // terminal) and cut, with its length said: a service answering with a mebibyte of error made a
    // report of 40 MB.
    const QString detail = Zav::printableCut(text);
    m_results.append({group, name, outcome, detail});
    static const char *const words[] = {"ok  ", "FAIL", "skip"};
    m_out << words[int(outcome)] << " " << group << ": " << name;
    if (!detail.isEmpty())
        m_out << " (" << detail << ")";
    m_out << "\n";
    m_out.flush();
}

void Conformance::check(const QString &group, const QString &name, bool held, const QString &detail)
{
    report(group, name, held ? Outcome::Held : Outcome::Failed, held ? QString() : detail);
}

void Conformance::skip(const QString &group, const QString &name)
{
    report(group, name, Outcome::Skipped, QStringLiteral("needs the inspection interface"));
}

QDBusMessage Conformance::call(const QDBusConnection &bus, const char *interface, const char *method,
                               const QVariantList &args) const
{
    QDBusMessage message = QDBusMessage::createMethodCall(QLatin1String(ZavBus::ServiceName),
                                                          QLatin1String(ZavBus::ObjectPath), QLatin1String(interface),
                                                          QLatin1String(method));
    message.setArguments(args);
    // A service that stopped answering fails every check left at once, not 5 s each.
    if (m_hung)
        return message.createErrorReply(QDBusError::NoReply, QStringLiteral("the service stopped answering"));
    const QDBusMessage reply = QDBusConnection(bus).call(message, QDBus::Block, CallTimeout);
    const QDBusError error(reply);
    if (error.type() == QDBusError::NoReply || error.type() == QDBusError::Timeout)
        m_hung = true;
    return reply;
}

QString Conformance::registerOn(const QDBusConnection &bus, int type, QString *error) const
{
    const QDBusMessage reply = call(bus, ZavBus::TransfersInterface, T::registerTransfer,
                                    {QStringLiteral("conform"), type, QStringLiteral("conform")});
    if (reply.type() != QDBusMessage::ReplyMessage) {
        if (error)
            *error = describe(reply);
        return QString();
    }
    return reply.arguments().value(0).toString();
}

QJsonObject Conformance::inspect(const QString &id) const
{
    const QDBusMessage reply = call(m_bus, ZavBus::ControlInterface, C::transfer, {id});
    if (reply.type() != QDBusMessage::ReplyMessage)
        return QJsonObject();
    return QJsonDocument::fromJson(reply.arguments().value(0).toString().toUtf8()).object();
}

QDBusConnection Conformance::otherConnection()
{
    // A second program: a connection of its own to the same bus.
    if (m_otherName.isEmpty()) {
        m_otherName = QStringLiteral("zav-conform-other");
        ZavBus::connectionOfItsOwn(Zav::Client::busAddress(), m_otherName);
    }
    return QDBusConnection(m_otherName);
}

void Conformance::waitFor(int milliseconds, const std::function<bool()> &done)
{
    QElapsedTimer clock;
    clock.start();
    while (!done() && clock.elapsed() < milliseconds) {
        QEventLoop loop;
        QTimer::singleShot(10, &loop, &QEventLoop::quit);
        loop.exec();
    }
}

// A flood of signals is counted up to a point: enough to tell, not enough to fill the memory.
constexpr qsizetype MaxHeard = 100;

void Conformance::ownRequest(const QString &id, const QString &action)
{
    if (m_ownRequests.size() < MaxHeard)
        m_ownRequests << (id + QLatin1Char(' ') + action).left(300);
}

void Conformance::otherRequest(const QString &id, const QString &action)
{
    if (m_otherRequests.size() < MaxHeard)
        m_otherRequests << (id + QLatin1Char(' ') + action).left(300);
}

// ---- The groups ----

void Conformance::registration()
{
    const QString g = QStringLiteral("registration");
    const QDBusMessage ping = call(m_bus, ZavBus::TransfersInterface, T::ping, {});
    check(g, QStringLiteral("ping answers with a version"),
          ping.type() == QDBusMessage::ReplyMessage && !ping.arguments().value(0).toString().isEmpty(), describe(ping));
    QStringList ids;
    QString error;
    for (int type : {0, 1, 2})
        ids << registerOn(m_bus, type, &error);
    check(g, QStringLiteral("every type (0 upload, 1 download, 2 sync) registers, each with an id of its own"),
          !ids.contains(QString()) && QSet<QString>(ids.begin(), ids.end()).size() == 3, error);
    const QDBusMessage unknown = call(m_bus, ZavBus::TransfersInterface, T::registerTransfer,
                                      {QStringLiteral("x"), 7, QString()});
    check(g, QStringLiteral("an unknown type is refused with InvalidArgs"), unknown.errorName() == InvalidArgs,
          describe(unknown));
    const QDBusMessage wrong = call(m_bus, ZavBus::TransfersInterface, T::registerTransfer,
                                    {QStringLiteral("x"), QStringLiteral("1"), QString()});
    check(g, QStringLiteral("arguments of the wrong type are refused"), wrong.type() == QDBusMessage::ErrorMessage,
          describe(wrong));
    if (!m_control) {
        skip(g, QStringLiteral("while refusing, registration is refused with Error.Refused"));
        return;
    }
    call(m_bus, ZavBus::ControlInterface, C::setRefuseRegistrations, {true});
    QString refusal;
    const QString refused = registerOn(m_bus, 0, &refusal);
    call(m_bus, ZavBus::ControlInterface, C::setRefuseRegistrations, {false});
    check(g, QStringLiteral("while refusing, registration is refused with Error.Refused"),
          refused.isEmpty() && refusal.startsWith(Refused), refused.isEmpty() ? refusal : QStringLiteral("registered"));
}

void Conformance::setters()
{
    const QString g = QStringLiteral("setters");
    const QString id = registerOn(m_bus, 0);
    QStringList refusedValid;
    for (const Setter &s : validSetters()) {
        const QDBusMessage reply = call(m_bus, ZavBus::TransfersInterface, s.method, QVariantList {id} + s.args);
        if (reply.type() != QDBusMessage::ReplyMessage)
            refusedValid << QLatin1String(s.method) + QStringLiteral(": ") + describe(reply);
    }
    check(g, QStringLiteral("every setter with valid values is accepted"), refusedValid.isEmpty(),
          refusedValid.join(QStringLiteral("; ")));

    const QString target = registerOn(m_bus, 1);
    const QJsonObject before = m_control ? inspect(target) : QJsonObject();
    // Every range the interface file states, tried at each of its edges and just past them, and a
    // text at its limit and just past it.
    QList<Setter> edges {{T::setMessage, {QString(Zav::MaxTextLength, QLatin1Char('x'))}}};
    QList<std::pair<QString, Setter>> invalid;
    for (const Zav::CallRule &rule : Zav::callRules()) {
        if (!rule.takesId || rule.bounded < 0 || rule.types.size() != 1
            || !QByteArrayView("id").contains(rule.types[0]))
            continue;
        const bool fraction = rule.types[0] == 'd';
        const auto past = [fraction](double edge, double by) {
            return fraction ? QVariant(edge + by / 100) : QVariant(int(edge + by));
        };
        edges.append({rule.name.data(), {past(rule.min, 0)}});
        invalid.append(
            {QStringLiteral("%1 below %2").arg(rule.name).arg(rule.min), {rule.name.data(), {past(rule.min, -1)}}});
        if (rule.hasMax) {
            edges.append({rule.name.data(), {past(rule.max, 0)}});
            invalid.append(
                {QStringLiteral("%1 above %2").arg(rule.name).arg(rule.max), {rule.name.data(), {past(rule.max, 1)}}});
        }
        if (fraction)
            invalid.append({QStringLiteral("%1 not a number").arg(rule.name),
                            {rule.name.data(), {std::numeric_limits<double>::quiet_NaN()}}});
    }
    invalid.append({QStringLiteral("a text over %1 characters").arg(Zav::MaxTextLength),
                    {T::setMessage, {QString(Zav::MaxTextLength + 1, QLatin1Char('x'))}}});
    QStringList refusedEdges;
    for (const Setter &s : std::as_const(edges)) {
        const QDBusMessage reply = call(m_bus, ZavBus::TransfersInterface, s.method, QVariantList {id} + s.args);
        if (reply.type() != QDBusMessage::ReplyMessage)
            refusedEdges << QStringLiteral("%1(%2): %3")
                                .arg(QLatin1String(s.method), s.args.value(0).toString().left(8), describe(reply));
    }
    check(g, QStringLiteral("every range's edges are accepted"), refusedEdges.isEmpty(),
          refusedEdges.join(QStringLiteral("; ")));
    for (const auto &[what, s] : invalid) {
        const QDBusMessage reply = call(m_bus, ZavBus::TransfersInterface, s.method, QVariantList {target} + s.args);
        check(g, what + QStringLiteral(" is refused with InvalidArgs"), reply.errorName() == InvalidArgs,
              describe(reply));
    }
    const QDBusMessage wrongType = call(m_bus, ZavBus::TransfersInterface, T::setSize,
                                        {target, QStringLiteral("2048")});
    check(g, QStringLiteral("arguments of the wrong type are refused"), wrongType.type() == QDBusMessage::ErrorMessage,
          describe(wrongType));
    const QDBusMessage unknown = call(m_bus, ZavBus::TransfersInterface, T::setSize,
                                      {QStringLiteral("no-such-id"), qulonglong(1)});
    check(g, QStringLiteral("an unknown id is refused with Error.UnknownTransfer"),
          unknown.errorName() == UnknownTransfer, describe(unknown));
    if (!m_control) {
        skip(g, QStringLiteral("a refused call changes nothing"));
        return;
    }
    // The count of calls is the service's own bookkeeping: refused ones count too.
    QJsonObject after = inspect(target);
    after.remove(QStringLiteral("calls"));
    QJsonObject was = before;
    was.remove(QStringLiteral("calls"));
    check(g, QStringLiteral("a refused call changes nothing"), !was.isEmpty() && was == after,
          QString::fromUtf8(QJsonDocument(after).toJson(QJsonDocument::Compact)).left(200));
}

void Conformance::ownership()
{
    const QString g = QStringLiteral("ownership");
    const QString id = registerOn(m_bus, 0);
    QDBusConnection other = otherConnection();
    const QDBusMessage reply = call(other, ZavBus::TransfersInterface, T::setName, {id, QStringLiteral("taken")});
    check(g, QStringLiteral("another connection's change is refused with AccessDenied"),
          reply.errorName() == AccessDenied, describe(reply));
    const QDBusMessage mark = call(other, ZavBus::TransfersInterface, T::markCancelled, {id});
    check(g, QStringLiteral("another connection cannot end it either"), mark.errorName() == AccessDenied,
          describe(mark));
    if (!m_control) {
        skip(g, QStringLiteral("the refused changes left it as it was"));
        return;
    }
    const Zav::TransferInfo t = Zav::TransferInfo::fromJson(inspect(id));
    check(g, QStringLiteral("the refused changes left it as it was"),
          t.name == QLatin1String("conform") && t.state != S::Cancelled,
          QStringLiteral("name \"%1\", state %2").arg(t.name, t.stateWord));
}

void Conformance::requests()
{
    const QString g = QStringLiteral("requests");
    if (!m_control) {
        skip(g, QStringLiteral("a request reaches the transfer's owner as the request signal"));
        skip(g, QStringLiteral("no other program hears it"));
        return;
    }
    const QString id = registerOn(m_bus, 2);
    QDBusConnection other = otherConnection();
    const QString path = QLatin1String(ZavBus::ObjectPath), iface = QLatin1String(ZavBus::TransfersInterface);
    // The service's signals only, by its unique name: another program on the bus may send
    // signals of that name too (before, its broadcasts failed the checks of a sound service).
    const QString service = m_bus.interface()->serviceOwner(QLatin1String(ZavBus::ServiceName)).value();
    m_bus.connect(service, path, iface, QLatin1String(T::request), this, SLOT(ownRequest(QString, QString)));
    other.connect(service, path, iface, QLatin1String(T::request), this, SLOT(otherRequest(QString, QString)));
    m_ownRequests.clear();
    m_otherRequests.clear();
    QStringList wanted;
    for (const QString &action : Zav::Requests::words()) {
        call(other, ZavBus::ControlInterface, C::sendRequest, {id, action});
        wanted << id + QLatin1Char(' ') + action;
    }
    waitFor(SignalWait, [&] { return m_ownRequests.size() >= wanted.size(); });
    check(g, QStringLiteral("a request reaches the transfer's owner as the request signal, in order"),
          m_ownRequests == wanted, m_ownRequests.join(QStringLiteral(", ")));
    // A round trip on the other connection: a request sent to it would have come before the answer.
    call(other, ZavBus::TransfersInterface, T::ping, {});
    QCoreApplication::processEvents();
    check(g, QStringLiteral("no other program hears it"), m_otherRequests.isEmpty(),
          m_otherRequests.join(QStringLiteral(", ")));
    const QDBusMessage bad = call(other, ZavBus::ControlInterface, C::sendRequest, {id, QStringLiteral("explode")});
    check(g, QStringLiteral("an unknown request is refused with InvalidArgs"), bad.errorName() == InvalidArgs,
          describe(bad));
    m_bus.disconnect(service, path, iface, QLatin1String(T::request), this, SLOT(ownRequest(QString, QString)));
    other.disconnect(service, path, iface, QLatin1String(T::request), this, SLOT(otherRequest(QString, QString)));
}

void Conformance::lifetime()
{
    const QString g = QStringLiteral("lifetime");
    if (!m_control) {
        skip(g, QStringLiteral("a departed program's transfers go"));
        skip(g, QStringLiteral("a commit is one update"));
        return;
    }
    // A program that registers and leaves without a word.
    const QString name = QStringLiteral("zav-conform-leaving");
    QString gone;
    {
        // Closed once the last handle on it is gone.
        const QDBusConnection leaving = ZavBus::connectionOfItsOwn(Zav::Client::busAddress(), name);
        gone = registerOn(leaving, 1);
    }
    const QString kept = registerOn(m_bus, 1);
    QDBusConnection::disconnectFromBus(name);
    waitFor(2000, [&] { return !gone.isEmpty() && inspect(gone).isEmpty(); });
    check(g, QStringLiteral("a departed program's transfers go, the others' stay"),
          !gone.isEmpty() && inspect(gone).isEmpty() && !inspect(kept).isEmpty(),
          gone.isEmpty() ? QStringLiteral("could not register")
                         : QStringLiteral("transfer %1 is still listed").arg(gone));

    const qint64 before = Zav::TransferInfo::fromJson(inspect(kept)).updates;
    call(m_bus, ZavBus::TransfersInterface, T::startCommit, {kept});
    call(m_bus, ZavBus::TransfersInterface, T::setSize, {kept, qulonglong(10)});
    call(m_bus, ZavBus::TransfersInterface, T::setName, {kept, QStringLiteral("committed")});
    const Zav::TransferInfo during = Zav::TransferInfo::fromJson(inspect(kept));
    call(m_bus, ZavBus::TransfersInterface, T::endCommit, {kept});
    const Zav::TransferInfo after = Zav::TransferInfo::fromJson(inspect(kept));
    check(g, QStringLiteral("a commit is one update, seen only at its end"),
          during.name == QLatin1String("conform") && after.name == QLatin1String("committed")
              && after.updates == before + 1,
          QStringLiteral("updates %1 -> %2, name during the commit \"%3\"")
              .arg(before)
              .arg(after.updates)
              .arg(during.name));
}

void Conformance::inspection()
{
    const QString g = QStringLiteral("inspection");
    if (!m_control) {
        skip(g, QStringLiteral("after each change the service reports what was sent"));
        return;
    }
    const QString id = registerOn(m_bus, 0);
    const QJsonObject described = inspect(id);
    QStringList missing;
    for (const QString &member : Zav::TransferInfo::members()) {
        if (!described.contains(member))
            missing << member;
    }
    check(g, QStringLiteral("a transfer's description has every member"), missing.isEmpty(),
          QStringLiteral("missing: %1").arg(missing.join(QStringLiteral(", "))));
    QStringList wrong;
    for (const Setter &s : validSetters()) {
        call(m_bus, ZavBus::TransfersInterface, s.method, QVariantList {id} + s.args);
        if (!s.member)
            continue;
        const QJsonValue reported = inspect(id).value(QLatin1String(s.member));
        if (!sameValue(reported, s.reported))
            wrong << QStringLiteral("%1: %2 is %3")
                         .arg(QLatin1String(s.method), QLatin1String(s.member),
                              QString::fromUtf8(QJsonDocument(QJsonArray {reported}).toJson(QJsonDocument::Compact)));
    }
    check(g, QStringLiteral("after each change the service reports what was sent"), wrong.isEmpty(),
          wrong.join(QStringLiteral("; ")));
}

bool Conformance::writeJUnit(const QString &path, QString *error) const
{
    JUnitReport report {QStringLiteral("zavctl conform"), {}};
    for (const QString &group : groups()) {
        JUnitReport::Suite suite {group, {}};
        for (const Result &r : m_results) {
            if (r.group == group)
                suite.cases.append({group, r.name,
                                    r.outcome == Outcome::Failed        ? JUnitReport::Case::Failed
                                        : r.outcome == Outcome::Skipped ? JUnitReport::Case::Skipped
                                                                        : JUnitReport::Case::Passed,
                                    r.outcome == Outcome::Held ? QString() : r.detail});
        }
        if (!suite.cases.isEmpty())
            report.suites.append(suite);
    }
    return report.write(path, error);
}
