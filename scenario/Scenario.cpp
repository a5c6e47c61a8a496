// SPDX-License-Identifier: MIT
#include "Scenario.h"

#include "JsonReader.h"

#include "Nearest.h"
#include "Requests.h"
#include "ZavBusNames.h"
#include "ZavContract.h"
#include "ZavVocabulary.h"

#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QHash>

#include <QSet>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <limits>

namespace {
namespace T = ZavBus::Transfers;

constexpr double MaxUnsigned64 = 18446744073709551615.0;

// The changes a scenario may make: the interface's calls that name a transfer, as the client
// library makes them, with their arguments and ranges as the interface file states them.
const Zav::CallRule *findChange(const QString &name)
{
    const Zav::CallRule *rule = Zav::callRule(name);
    return rule && rule->takesId ? rule : nullptr;
}

// The values argument `i` of a change may take: the interface's range for its bounded number,
// else its type's.
std::pair<double, double> rangeOf(const Zav::CallRule &change, qsizetype i)
{
    if (i == change.bounded)
        return {change.min, change.upperBound()};
    switch (change.types.at(i)) {
    case 't':
        return {0, MaxUnsigned64};
    case 'i':
        return {std::numeric_limits<qint32>::min(), std::numeric_limits<qint32>::max()};
    }
    return {-std::numeric_limits<double>::infinity(), std::numeric_limits<double>::infinity()};
}

QString typeName(char type)
{
    switch (type) {
    case 's':
        return QStringLiteral("a text");
    case 'b':
        return QStringLiteral("true or false");
    case 'd':
        return QStringLiteral("a number");
    default:
        return QStringLiteral("a whole number");
    }
}

// Checks the parts of a scenario; the first fault found ends the check with its path.
class Checker
{
public:
    QString faultPath;
    QString faultWhere; // "line:column", where no path tells it
    QString fault;

    bool fail(const QString &path, const QString &what)
    {
        faultPath = path;
        fault = what;
        return false;
    }
    // A number from min to max; times are bounded by Scenario::MaxTime.
    bool number(const QJsonObject &o, const QString &path, const char *key, double *out, bool required, double min = 0,
                double max = Scenario::MaxTime)
    {
        const QJsonValue v = o.value(QLatin1String(key));
        if (v.isUndefined() && !required)
            return true;
        if (!v.isDouble() || !std::isfinite(v.toDouble()) || v.toDouble() < min || v.toDouble() > max)
            return fail(path + QLatin1Char('/') + QLatin1String(key),
                        QStringLiteral("\"%1\" must be a number from %2 to %3")
                            .arg(QLatin1String(key), QString::number(min, 'f', 0), QString::number(max, 'f', 0)));
        *out = v.toDouble();
        return true;
    }
    bool text(const QJsonObject &o, const QString &path, const char *key, QString *out, const QString &fallback)
    {
        const QJsonValue v = o.value(QLatin1String(key));
        if (!v.isUndefined() && (!v.isString() || v.toString().size() > Zav::MaxTextLength))
            return fail(path + QLatin1Char('/') + QLatin1String(key),
                        QStringLiteral("\"%1\" must be a text of at most %2 characters")
                            .arg(QLatin1String(key))
                            .arg(Zav::MaxTextLength));
        *out = v.toString(fallback);
        return true;
    }
    bool call(const QJsonValue &v, const QString &path, Scenario::Call *out)
    {
        const QJsonArray a = v.toArray();
        if (!v.isArray() || a.isEmpty() || !a.at(0).isString())
            return fail(path, QStringLiteral("a change is an array: its name, then its arguments"));
        const QString name = a.at(0).toString();
        const Zav::CallRule *change = findChange(name);
        if (!change) {
            const QString guess = nearest(name, Scenario::callNames());
            return fail(path + QStringLiteral("/0"),
                        guess.isEmpty()
                            ? QStringLiteral("no change \"%1\" (the changes are the client library's: setProgress, "
                                             "markFailure, …)")
                                  .arg(name.left(64))
                            : QStringLiteral("no change \"%1\"; did you mean \"%2\"?").arg(name.left(64), guess));
        }
        const QByteArray &types = change->types;
        if (a.size() - 1 != types.size())
            return fail(path, QStringLiteral("%1 takes %2 argument(s)").arg(name).arg(types.size()));
        for (qsizetype i = 0; i < types.size(); ++i) {
            const QJsonValue arg = a.at(i + 1);
            const QString at = path + QLatin1Char('/') + QString::number(i + 1);
            const char type = types[i];
            const bool ok = type == 's' ? arg.isString()
                : type == 'b'           ? arg.isBool()
                : type == 'd'           ? arg.isDouble() && std::isfinite(arg.toDouble())
                                        : arg.isDouble() && arg.toDouble() == std::floor(arg.toDouble());
            if (!ok)
                return fail(at, QStringLiteral("argument %1 of %2 must be %3").arg(i + 1).arg(name, typeName(type)));
            // What the interface refuses is known now: a file that asks for it is a bad file.
            if (type == 's' && arg.toString().size() > Zav::MaxTextLength)
                return fail(at,
                            QStringLiteral("argument %1 of %2 is longer than %3 characters, which the service refuses")
                                .arg(i + 1)
                                .arg(name)
                                .arg(Zav::MaxTextLength));
            if (type == 's' || type == 'b')
                continue;
            const auto [min, max] = rangeOf(*change, i);
            // 2^64 - 1 has no double of its own: it rounds to 2^64, the first value past the 64 bits.
            const bool wholeUnsigned = type == 't' && max >= MaxUnsigned64;
            const bool tooBig = wholeUnsigned ? arg.toDouble() >= MaxUnsigned64 : arg.toDouble() > max;
            if (arg.toDouble() < min || tooBig)
                return fail(
                    at,
                    QStringLiteral("argument %1 of %2 must be from %3 to %4, or the service refuses it")
                        .arg(i + 1)
                        .arg(name, QString::number(min),
                             wholeUnsigned ? QStringLiteral("18446744073709551615") : QString::number(max, 'g', 20)));
        }
        QJsonArray args = a;
        args.removeFirst();
        *out = {name, args};
        return true;
    }
    bool calls(const QJsonValue &v, const QString &path, QList<Scenario::Call> *out)
    {
        if (v.isUndefined())
            return true;
        if (!v.isArray())
            return fail(path, QStringLiteral("a list of changes is expected"));
        const QJsonArray a = v.toArray();
        for (qsizetype i = 0; i < a.size(); ++i) {
            Scenario::Call c;
            if (!call(a.at(i), path + QLatin1Char('/') + QString::number(i), &c))
                return false;
            out->append(c);
        }
        return true;
    }
};
} // namespace

QStringList Scenario::callNames()
{
    return Zav::changeNames();
}

bool Scenario::isFractionArgument(const QString &call, int argument)
{
    const Zav::CallRule *change = findChange(call);
    return change && argument < change->types.size() && change->types.at(argument) == 'd';
}

QVariantList Scenario::arguments(const Call &call)
{
    const Zav::CallRule *change = findChange(call.name);
    QVariantList out;
    for (qsizetype i = 0; change && i < change->types.size(); ++i) {
        const QJsonValue arg = call.args.at(i);
        switch (change->types.at(i)) {
        case 's':
            out << arg.toString();
            break;
        case 'b':
            out << arg.toBool();
            break;
        case 'i':
            out << int(arg.toDouble());
            break;
        case 't':
            out << qulonglong(arg.toDouble());
            break;
        default: // the client library takes the part done as a float
            out << double(float(arg.toDouble()));
        }
    }
    return out;
}

double Scenario::rampTime(const Event &ramp, int i)
{
    return ramp.at + qMin(ramp.over, i * ramp.step);
}

double Scenario::rampValue(const Event &ramp, int i)
{
    return ramp.from + (ramp.to - ramp.from) * i / ramp.steps;
}

double Scenario::shortestFloat(double value)
{
    const float f = float(value);
    if (double(f) != value || !std::isfinite(f))
        return value;
    char text[32];
    const auto end = std::to_chars(text, text + sizeof text, f).ptr;
    double shortest = value;
    std::from_chars(text, end, shortest);
    return shortest;
}

QList<Scenario::Call> Scenario::defaultAnswer(const QString &request, bool accept)
{
    // As the app's answer box: cancel is accepted or fails with the app's reason, start and
    // pause are done or left as they are, and a repair request ends the transfer.
    using Zav::Requests::Request;
    switch (Zav::Requests::fromWord(request).value_or(Request::Pause)) {
    case Request::Cancel:
        return {accept ? Call {QLatin1String(T::markCancelled), {}}
                       : Call {QLatin1String(T::markCancelFailed), {QLatin1String(Zav::CancelFailedReason)}}};
    case Request::Repair:
        return {{QLatin1String(T::markCancelled), {}}};
    case Request::Start:
        return accept ? QList<Call> {{QLatin1String(T::markRestarted), {}}} : QList<Call> {};
    case Request::Pause:
        break;
    }
    return accept ? QList<Call> {{QLatin1String(T::markPaused), {}}} : QList<Call> {};
}

// The file's sections, read in turn: the transfers (their keys and clients), the timeline, the answers.
struct Scenario::Loading
{
    JsonReader &reader;
    Checker check;
    QSet<QString> keys;
    QSet<QString> clients;
};

bool Scenario::readTransfers(Loading &l, const QJsonObject &top)
{
    const QJsonArray transferList = top.value(QStringLiteral("transfers")).toArray();
    if (transferList.isEmpty())
        return l.check.fail(QStringLiteral("/transfers"), QStringLiteral("a scenario registers at least one transfer"));
    for (qsizetype i = 0; i < transferList.size(); ++i) {
        const QString at = QStringLiteral("/transfers/%1").arg(i);
        const QJsonObject o = transferList.at(i).toObject();
        Transfer t;
        t.key = o.value(QStringLiteral("key")).toString();
        if (t.key.isEmpty() || l.keys.contains(t.key))
            return l.check.fail(at, QStringLiteral("each transfer needs a \"key\" of its own"));
        l.keys.insert(t.key);
        QString typeWord;
        if (!l.check.text(o, at, "name", &t.name, t.key) || !l.check.text(o, at, "clientId", &t.clientId, QString())
            || !l.check.text(o, at, "client", &t.client, QString())
            || !l.check.text(o, at, "type", &typeWord, Zav::typeWord(0)))
            return false;
        t.type = Zav::typeFromWord(typeWord);
        if (t.type < 0)
            return l.check.fail(at + QStringLiteral("/type"), QStringLiteral("the type is upload, download or sync"));
        if (!l.check.number(o, at, "at", &t.at, false))
            return false;
        if (!l.check.calls(o.value(QStringLiteral("calls")), at + QStringLiteral("/calls"), &t.calls))
            return false;
        transfers.append(t);
        if (!t.client.isEmpty())
            l.clients.insert(t.client);
    }
    return true;
}

bool Scenario::readTimeline(Loading &l, const QJsonObject &top)
{
    const QJsonArray events = top.value(QStringLiteral("timeline")).toArray();
    QSet<QString> registeredByEvent;
    for (qsizetype i = 0; i < events.size(); ++i) {
        const QString at = QStringLiteral("/timeline/%1").arg(i);
        const QJsonObject o = events.at(i).toObject();
        Event e;
        e.where = l.reader.lineAndColumn(l.reader.where(at));
        if (!events.at(i).isObject() || !l.check.number(o, at, "at", &e.at, true))
            return l.check.faultPath.isEmpty() ? l.check.fail(at, QStringLiteral("an event is an object")) : false;
        const QStringList kinds {
            QStringLiteral("call"),     QStringLiteral("ramp"),       QStringLiteral("commit"),
            QStringLiteral("request"),  QStringLiteral("expect"),     QStringLiteral("expectRequest"),
            QStringLiteral("register"), QStringLiteral("disconnect"), QStringLiteral("flood"),
            QStringLiteral("stall"),    QStringLiteral("garbage")};
        const auto kind = std::find_if(kinds.cbegin(), kinds.cend(), [&](const QString &k) { return o.contains(k); });
        if (kind == kinds.cend()
            || std::count_if(kinds.cbegin(), kinds.cend(), [&](const QString &k) { return o.contains(k); }) != 1)
            return l.check.fail(at, QStringLiteral("an event holds one of %1").arg(kinds.join(QStringLiteral(", "))));
        e.kind = Event::Kind(kind - kinds.cbegin());
        const QString inner = at + QLatin1Char('/') + *kind;
        const QJsonValue v = o.value(*kind);
        e.transfer = e.kind == Event::Register ? v.toString() : o.value(QStringLiteral("transfer")).toString();
        const QString keyPath = e.kind == Event::Register ? inner : at + QStringLiteral("/transfer");
        if (e.kind == Event::Disconnect) {
            e.client = v.toString();
            e.transfer.clear();
            if (!l.clients.contains(e.client))
                return l.check.fail(inner, QStringLiteral("no transfer has the client \"%1\"").arg(e.client.left(64)));
        } else if (!l.keys.contains(e.transfer))
            return l.check.fail(keyPath, QStringLiteral("no transfer with the key \"%1\"").arg(e.transfer.left(64)));
        switch (e.kind) {
        case Event::Change: {
            Call c;
            if (!l.check.call(v, inner, &c))
                return false;
            e.calls = {c};
            break;
        }
        case Event::Commit:
            if (!l.check.calls(v, inner, &e.calls))
                return false;
            break;
        case Event::Ramp: {
            const QJsonObject r = v.toObject();
            e.rampCall = r.value(QStringLiteral("call")).toString(QLatin1String(T::setProgress));
            if (!l.check.number(r, inner, "from", &e.from, true, 0, 1)
                || !l.check.number(r, inner, "to", &e.to, true, 0, 1)
                || !l.check.number(r, inner, "over", &e.over, true)
                || !l.check.number(r, inner, "step", &e.step, true, 1))
                return false;
            if (e.rampCall != QLatin1String(T::setProgress) && e.rampCall != QLatin1String(T::setActive))
                return l.check.fail(inner + QStringLiteral("/call"),
                                    QStringLiteral("a ramp calls setProgress or setActive"));
            const double steps = qMax(1.0, std::ceil(e.over / e.step));
            if (steps > MaxRampSteps)
                return l.check.fail(inner,
                                    QStringLiteral("a ramp takes at most %1 steps").arg(MaxRampSteps, 0, 'f', 0));
            e.steps = int(steps);
            break;
        }
        case Event::Request:
        case Event::ExpectRequest:
            e.request = v.toString();
            if (!Zav::Requests::isRequest(e.request))
                return l.check.fail(inner, QStringLiteral("the request is one of %1").arg(Zav::Requests::listed()));
            e.within = 1000;
            if (!l.check.number(o, at, "within", &e.within, false))
                return false;
            break;
        case Event::Expect:
            if (!v.isObject() || v.toObject().isEmpty())
                return l.check.fail(inner, QStringLiteral("an expectation is an object of fields and their values"));
            e.expect = v.toObject();
            if (e.expect.contains(QLatin1String("state"))) {
                // A word of the table ("Active") or an old one ("running") is not the file's word:
                // refused with the word meant, rather than played and failed.
                const QString word = e.expect.value(QLatin1String("state")).toString();
                if (!Zav::stateFromWord(word)) {
                    const QString meant = Zav::stateSuggestion(word);
                    return l.check.fail(
                        inner + QStringLiteral("/state"),
                        QStringLiteral("\"%1\" is no state%2")
                            .arg(Zav::printable(word.left(64)),
                                 meant.isEmpty() ? QString() : QStringLiteral(": did you mean \"%1\"?").arg(meant)));
                }
            }
            break;
        case Event::Disconnect:
            break;
        case Event::Flood: {
            const QJsonObject f = v.toObject();
            Call c;
            double count = 0;
            if (!l.check.call(f.value(QStringLiteral("call")), inner + QStringLiteral("/call"), &c)
                || !l.check.number(f, inner, "count", &count, true, 1, MaxFlood))
                return false;
            if (count != std::floor(count))
                return l.check.fail(inner + QStringLiteral("/count"), QStringLiteral("\"count\" is a whole number"));
            e.calls = {c};
            e.count = int(count);
            break;
        }
        case Event::Stall:
            if (v != QJsonValue(true))
                return l.check.fail(inner, QStringLiteral("\"stall\" is true (with \"for\" ms, or for good)"));
            if (o.contains(QStringLiteral("for")) && !l.check.number(o, at, "for", &e.stallFor, true))
                return false;
            break;
        case Event::Garbage:
            e.garbage = v.toString();
            if (!callNames().contains(e.garbage))
                return l.check.fail(inner, QStringLiteral("\"garbage\" names a change (one of the calls)"));
            break;
        case Event::Register:
            if (registeredByEvent.contains(e.transfer))
                return l.check.fail(inner, QStringLiteral("\"%1\" is registered twice").arg(e.transfer));
            registeredByEvent.insert(e.transfer);
            break;
        }
        timeline.append(e);
    }
    // A transfer that no event registers is registered at its own time, before the events of
    // that time.
    QList<Event> registrations;
    for (qsizetype i = 0; i < transfers.size(); ++i) {
        if (registeredByEvent.contains(transfers.at(i).key))
            continue;
        Event e;
        e.kind = Event::Register;
        e.at = transfers.at(i).at;
        e.transfer = transfers.at(i).key;
        e.where = l.reader.lineAndColumn(l.reader.where(QStringLiteral("/transfers/%1").arg(i)));
        registrations.append(e);
    }
    timeline = registrations + timeline;
    std::stable_sort(timeline.begin(), timeline.end(), [](const Event &a, const Event &b) { return a.at < b.at; });
    QSet<QString> registered;
    for (const Event &e : std::as_const(timeline)) {
        if (e.kind == Event::Register) {
            registered.insert(e.transfer);
        } else if (e.kind != Event::Disconnect && !registered.contains(e.transfer)) {
            l.check.faultWhere = e.where;
            return l.check.fail(QString(),
                                QStringLiteral("\"%1\" is not registered yet at %2 ms").arg(e.transfer).arg(e.at));
        }
    }
    return true;
}

bool Scenario::readAnswers(Loading &l, const QJsonObject &top)
{
    const QJsonArray answerList = top.value(QStringLiteral("answers")).toArray();
    for (qsizetype i = 0; i < answerList.size(); ++i) {
        const QString at = QStringLiteral("/answers/%1").arg(i);
        const QJsonObject o = answerList.at(i).toObject();
        Answer a;
        a.transfer = o.value(QStringLiteral("transfer")).toString();
        a.request = o.value(QStringLiteral("request")).toString();
        a.accept = o.value(QStringLiteral("accept")).toBool(true);
        if (!a.transfer.isEmpty() && !l.keys.contains(a.transfer))
            return l.check.fail(at + QStringLiteral("/transfer"),
                                QStringLiteral("no transfer with the key \"%1\"").arg(a.transfer.left(64)));
        if (!Zav::Requests::isRequest(a.request))
            return l.check.fail(at + QStringLiteral("/request"),
                                QStringLiteral("the request is one of %1").arg(Zav::Requests::listed()));
        if (!l.check.number(o, at, "after", &a.after, false))
            return false;
        if (o.contains(QStringLiteral("calls"))) {
            if (!l.check.calls(o.value(QStringLiteral("calls")), at + QStringLiteral("/calls"), &a.calls))
                return false;
        } else {
            a.calls = defaultAnswer(a.request, a.accept);
        }
        answers.append(a);
    }
    return true;
}

bool Scenario::load(const QString &filePath, QString *error)
{
    path = filePath;
    QFile file(filePath);
    if (!file.open(QIODevice::ReadOnly)) {
        *error = QStringLiteral("%1: %2").arg(filePath, file.errorString());
        return false;
    }
    // Read up to one byte past the most, whatever the file is: a device (/dev/zero) or a pipe
    // that never ends has no size to ask first, and was read until memory ran out.
    const QByteArray bytes = file.read(MaxFileBytes + 1);
    if (bytes.size() > MaxFileBytes) {
        *error = QStringLiteral("%1: a scenario file is at most %2 MiB").arg(filePath).arg(MaxFileBytes >> 20);
        return false;
    }
    if (file.error() != QFile::NoError) {
        *error = QStringLiteral("%1: %2").arg(filePath, file.errorString());
        return false;
    }
    JsonReader reader(QString::fromUtf8(bytes), MaxDepth);
    QJsonValue root;
    if (!reader.read(&root)) {
        *error = QStringLiteral("%1:%2: %3").arg(filePath, reader.lineAndColumn(reader.errorAt()), reader.error());
        return false;
    }
    Loading l {reader, Checker(), {}, {}};
    const bool ok = [&] {
        if (!root.isObject())
            return l.check.fail(QString(), QStringLiteral("a scenario is an object"));
        const QJsonObject top = root.toObject();
        for (auto it = top.constBegin(); it != top.constEnd(); ++it) {
            if (!QStringList {QStringLiteral("name"), QStringLiteral("transfers"), QStringLiteral("timeline"),
                              QStringLiteral("answers"), QStringLiteral("description"), QStringLiteral("copies")}
                     .contains(it.key()))
                return l.check.fail(QLatin1Char('/') + it.key(),
                                    QStringLiteral("no member \"%1\" in a scenario").arg(it.key()));
        }
        name = top.value(QStringLiteral("name")).toString(QFileInfo(filePath).fileName());
        double copyCount = 1;
        if (!l.check.number(top, QString(), "copies", &copyCount, false, 1, MaxCopies))
            return false;
        if (copyCount != std::floor(copyCount))
            return l.check.fail(QStringLiteral("/copies"), QStringLiteral("\"copies\" is a whole number"));
        copies = int(copyCount);
        return readTransfers(l, top) && readTimeline(l, top) && readAnswers(l, top);
    }();
    if (!ok) {
        // A fault found after sorting carries its own place.
        const QString where = l.check.faultWhere.isEmpty() ? reader.lineAndColumn(reader.where(l.check.faultPath))
                                                           : l.check.faultWhere;
        *error = QStringLiteral("%1:%2: %3").arg(filePath, where, l.check.fault);
    }
    return ok;
}
