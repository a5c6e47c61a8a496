// SPDX-License-Identifier: MIT
#include "Scenario.h"

#include "Nearest.h"
#include "Requests.h"
#include "ZavBusNames.h"

#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QHash>

#include <zav/ZavClient.h>

#include <algorithm>
#include <cmath>

namespace {
namespace T = ZavBus::Transfers;

// The changes a scenario may make: the client library's, by the names the interface gives them,
// with their argument types (s text, i int, t unsigned 64-bit, d number, b bool).
struct Change
{
    const char *name;
    const char *types;
    void (*apply)(Zav::Transfer *, const QJsonArray &);
};

QString s(const QJsonArray &a, int i)
{
    return a.at(i).toString();
}

const Change changes[] = {
    {T::setAccount, "s", [](Zav::Transfer *t, const QJsonArray &a) { t->setAccount(s(a, 0)); }},
    {T::setCount, "i", [](Zav::Transfer *t, const QJsonArray &a) { t->setCount(a.at(0).toInt()); }},
    {T::setSize, "t", [](Zav::Transfer *t, const QJsonArray &a) { t->setSize(quint64(a.at(0).toDouble())); }},
    {T::setProgress, "d", [](Zav::Transfer *t, const QJsonArray &a) { t->setProgress(float(a.at(0).toDouble())); }},
    {T::setSpeed, "i", [](Zav::Transfer *t, const QJsonArray &a) { t->setSpeed(a.at(0).toInt()); }},
    {T::setMessage, "s", [](Zav::Transfer *t, const QJsonArray &a) { t->setMessage(s(a, 0)); }},
    {T::setEstimate, "i", [](Zav::Transfer *t, const QJsonArray &a) { t->setEstimate(a.at(0).toInt()); }},
    {T::setCanPause, "b", [](Zav::Transfer *t, const QJsonArray &a) { t->setCanPause(a.at(0).toBool()); }},
    {T::setName, "s", [](Zav::Transfer *t, const QJsonArray &a) { t->setName(s(a, 0)); }},
    {T::setServiceIconType, "i", [](Zav::Transfer *t, const QJsonArray &a) { t->setServiceIconType(a.at(0).toInt()); }},
    {T::setThumbnailForFile, "ss", [](Zav::Transfer *t, const QJsonArray &a) { t->setThumbnailForFile(s(a, 0), s(a, 1)); }},
    {T::setCancelButtonText, "s", [](Zav::Transfer *t, const QJsonArray &a) { t->setCancelButtonText(s(a, 0)); }},
    {T::setTitle, "s", [](Zav::Transfer *t, const QJsonArray &a) { t->setTitle(s(a, 0)); }},
    {T::setImageFromFilePath, "s", [](Zav::Transfer *t, const QJsonArray &a) { t->setImageFromFilePath(s(a, 0)); }},
    {T::startCommit, "", [](Zav::Transfer *t, const QJsonArray &) { t->startCommit(); }},
    {T::endCommit, "", [](Zav::Transfer *t, const QJsonArray &) { t->endCommit(); }},
    {T::setPending, "s", [](Zav::Transfer *t, const QJsonArray &a) { t->setPending(s(a, 0)); }},
    {T::setActive, "d", [](Zav::Transfer *t, const QJsonArray &a) { t->setActive(float(a.at(0).toDouble())); }},
    {T::markCancelled, "", [](Zav::Transfer *t, const QJsonArray &) { t->markCancelled(); }},
    {T::markPaused, "", [](Zav::Transfer *t, const QJsonArray &) { t->markPaused(); }},
    {T::markRestarted, "", [](Zav::Transfer *t, const QJsonArray &) { t->markRestarted(); }},
    {T::markFailure, "ss", [](Zav::Transfer *t, const QJsonArray &a) { t->markFailure(s(a, 0), s(a, 1)); }},
    {T::markRepairableFailure, "sss",
     [](Zav::Transfer *t, const QJsonArray &a) { t->markRepairableFailure(s(a, 0), s(a, 1), s(a, 2)); }},
    {T::markCancelFailed, "s", [](Zav::Transfer *t, const QJsonArray &a) { t->markCancelFailed(s(a, 0)); }},
    {T::markCompleted, "bss", [](Zav::Transfer *t, const QJsonArray &a) { t->markCompleted(a.at(0).toBool(), s(a, 1), s(a, 2)); }},
};

const Change *findChange(const QString &name)
{
    for (const Change &c : changes) {
        if (name == QLatin1String(c.name))
            return &c;
    }
    return nullptr;
}

const QStringList typeWords {QStringLiteral("upload"), QStringLiteral("download"), QStringLiteral("sync")};

// A JSON reader that remembers where each value starts ("/timeline/3/call" -> offset), so that
// a file that parses but makes no sense can still be reported with a line and a column.
class Reader
{
public:
    explicit Reader(const QString &text)
        : m_text(text)
    {
    }

    bool read(QJsonValue *root)
    {
        if (!value(root, QString()))
            return false;
        space();
        return m_at == m_text.size() || fail(QStringLiteral("unexpected text after the scenario"));
    }
    QString error() const { return m_error; }
    qsizetype errorAt() const { return m_at; }
    qsizetype where(const QString &path) const { return m_positions.value(path, 0); }

private:
    bool fail(const QString &what)
    {
        if (m_error.isEmpty())
            m_error = what;
        return false;
    }
    void space()
    {
        while (m_at < m_text.size() && m_text.at(m_at).isSpace())
            ++m_at;
    }
    bool take(QChar c)
    {
        space();
        if (m_at < m_text.size() && m_text.at(m_at) == c) {
            ++m_at;
            return true;
        }
        return false;
    }
    bool value(QJsonValue *out, const QString &path)
    {
        space();
        m_positions.insert(path, m_at);
        if (m_at >= m_text.size())
            return fail(QStringLiteral("the file ends where a value should be"));
        const QChar c = m_text.at(m_at);
        if (c == QLatin1Char('{'))
            return object(out, path);
        if (c == QLatin1Char('['))
            return array(out, path);
        if (c == QLatin1Char('"')) {
            QString text;
            if (!string(&text))
                return false;
            *out = text;
            return true;
        }
        for (const auto &[word, v] : {std::pair {"true", QJsonValue(true)}, std::pair {"false", QJsonValue(false)},
                                      std::pair {"null", QJsonValue()}}) {
            if (QStringView(m_text).mid(m_at).startsWith(QLatin1String(word))) {
                m_at += qsizetype(qstrlen(word));
                *out = v;
                return true;
            }
        }
        qsizetype end = m_at;
        while (end < m_text.size() && QStringLiteral("+-0123456789.eE").contains(m_text.at(end)))
            ++end;
        bool ok = false;
        const double number = QStringView(m_text).mid(m_at, end - m_at).toDouble(&ok);
        if (!ok || end == m_at)
            return fail(QStringLiteral("a value (text, number, true, false, null, object or array) is expected"));
        m_at = end;
        *out = number;
        return true;
    }
    bool string(QString *out)
    {
        const qsizetype start = m_at;
        for (++m_at; m_at < m_text.size(); ++m_at) {
            const QChar c = m_text.at(m_at);
            if (c == QLatin1Char('"'))
                break;
            if (c == QLatin1Char('\\'))
                ++m_at;
        }
        if (m_at >= m_text.size()) {
            m_at = start;
            return fail(QStringLiteral("a text is not closed"));
        }
        ++m_at;
        // Escapes decoded by Qt's own reader.
        const QJsonDocument one = QJsonDocument::fromJson(
            QByteArray("[") + QStringView(m_text).mid(start, m_at - start).toUtf8() + QByteArray("]"));
        if (!one.isArray()) {
            m_at = start;
            return fail(QStringLiteral("a text holds an invalid escape"));
        }
        *out = one.array().at(0).toString();
        return true;
    }
    bool object(QJsonValue *out, const QString &path)
    {
        ++m_at;
        QJsonObject object;
        if (take(QLatin1Char('}'))) {
            *out = object;
            return true;
        }
        do {
            space();
            QString key;
            if (m_at >= m_text.size() || m_text.at(m_at) != QLatin1Char('"'))
                return fail(QStringLiteral("a member name in double quotes is expected"));
            if (!string(&key))
                return false;
            if (!take(QLatin1Char(':')))
                return fail(QStringLiteral("':' is expected after a member name"));
            QJsonValue v;
            if (!value(&v, path + QLatin1Char('/') + key))
                return false;
            object.insert(key, v);
        } while (take(QLatin1Char(',')));
        if (!take(QLatin1Char('}')))
            return fail(QStringLiteral("',' or '}' is expected"));
        *out = object;
        return true;
    }
    bool array(QJsonValue *out, const QString &path)
    {
        ++m_at;
        QJsonArray array;
        if (take(QLatin1Char(']'))) {
            *out = array;
            return true;
        }
        do {
            QJsonValue v;
            if (!value(&v, path + QLatin1Char('/') + QString::number(array.size())))
                return false;
            array.append(v);
        } while (take(QLatin1Char(',')));
        if (!take(QLatin1Char(']')))
            return fail(QStringLiteral("',' or ']' is expected"));
        *out = array;
        return true;
    }

    QString m_text;
    qsizetype m_at = 0;
    QString m_error;
    QHash<QString, qsizetype> m_positions;
};

QString lineAndColumn(const QString &text, qsizetype offset)
{
    const QStringView before = QStringView(text).left(offset);
    const qsizetype lineStart = before.lastIndexOf(QLatin1Char('\n')) + 1;
    return QStringLiteral("%1:%2").arg(before.count(QLatin1Char('\n')) + 1).arg(offset - lineStart + 1);
}

// Checks the parts of a scenario; the first fault found ends the check with its path.
class Checker
{
public:
    QString faultPath;
    QString fault;

    bool fail(const QString &path, const QString &what)
    {
        faultPath = path;
        fault = what;
        return false;
    }
    bool number(const QJsonObject &o, const QString &path, const char *key, double *out, bool required, double min = 0)
    {
        const QJsonValue v = o.value(QLatin1String(key));
        if (v.isUndefined() && !required)
            return true;
        if (!v.isDouble() || !std::isfinite(v.toDouble()) || v.toDouble() < min)
            return fail(path + QLatin1Char('/') + QLatin1String(key),
                        QStringLiteral("\"%1\" must be a number of at least %2").arg(QLatin1String(key)).arg(min));
        *out = v.toDouble();
        return true;
    }
    bool call(const QJsonValue &v, const QString &path, Scenario::Call *out)
    {
        const QJsonArray a = v.toArray();
        if (!v.isArray() || a.isEmpty() || !a.at(0).isString())
            return fail(path, QStringLiteral("a change is an array: its name, then its arguments"));
        const Change *change = findChange(a.at(0).toString());
        if (!change)
        {
            const QString guess = nearest(a.at(0).toString(), Scenario::callNames());
            return fail(path + QStringLiteral("/0"),
                        guess.isEmpty() ? QStringLiteral("no change \"%1\" (the changes are the client library's: setProgress, "
                                                         "markFailure, …)").arg(a.at(0).toString().left(64))
                                        : QStringLiteral("no change \"%1\"; did you mean \"%2\"?").arg(a.at(0).toString().left(64), guess));
        }
        const QByteArray types(change->types);
        if (a.size() - 1 != types.size())
            return fail(path, QStringLiteral("%1 takes %2 argument(s)").arg(a.at(0).toString()).arg(types.size()));
        for (qsizetype i = 0; i < types.size(); ++i) {
            const QJsonValue arg = a.at(i + 1);
            const bool ok = types[i] == 's' ? arg.isString()
                : types[i] == 'b'           ? arg.isBool()
                : types[i] == 'd'           ? arg.isDouble()
                                            : arg.isDouble() && arg.toDouble() == std::floor(arg.toDouble());
            if (!ok)
                return fail(path + QLatin1Char('/') + QString::number(i + 1),
                            QStringLiteral("argument %1 of %2 must be %3")
                                .arg(i + 1)
                                .arg(a.at(0).toString(), types[i] == 's' ? QStringLiteral("a text")
                                                             : types[i] == 'b' ? QStringLiteral("true or false")
                                                             : types[i] == 'd' ? QStringLiteral("a number")
                                                                               : QStringLiteral("a whole number")));
        }
        QJsonArray args = a;
        args.removeFirst();
        *out = {a.at(0).toString(), args};
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
    QStringList names;
    for (const Change &c : changes)
        names << QLatin1String(c.name);
    return names;
}

bool Scenario::apply(Zav::Transfer *transfer, const Call &call)
{
    const Change *change = findChange(call.name);
    if (!change || !transfer)
        return false;
    change->apply(transfer, call.args);
    return true;
}

QList<Scenario::Call> Scenario::defaultAnswer(const QString &request, bool accept)
{
    // As the app's answer box: cancel is accepted or fails with the app's reason, start and
    // pause are done or left as they are, and a repair request ends the transfer.
    if (request == QLatin1String("cancel"))
        return {accept ? Call {QLatin1String(T::markCancelled), {}}
                       : Call {QLatin1String(T::markCancelFailed), {QStringLiteral("File is already uploaded")}}};
    if (request == QLatin1String("repair"))
        return {{QLatin1String(T::markCancelled), {}}};
    if (!accept)
        return {};
    return {{QLatin1String(request == QLatin1String("start") ? T::markRestarted : T::markPaused), {}}};
}

bool Scenario::load(const QString &filePath, QString *error)
{
    path = filePath;
    QFile file(filePath);
    if (!file.open(QIODevice::ReadOnly)) {
        *error = QStringLiteral("%1: %2").arg(filePath, file.errorString());
        return false;
    }
    const QString text = QString::fromUtf8(file.readAll());
    Reader reader(text);
    QJsonValue root;
    if (!reader.read(&root)) {
        *error = QStringLiteral("%1:%2: %3").arg(filePath, lineAndColumn(text, reader.errorAt()), reader.error());
        return false;
    }
    Checker check;
    const bool ok = [&] {
        if (!root.isObject())
            return check.fail(QString(), QStringLiteral("a scenario is an object"));
        const QJsonObject top = root.toObject();
        for (auto it = top.constBegin(); it != top.constEnd(); ++it) {
            if (!QStringList {QStringLiteral("name"), QStringLiteral("transfers"), QStringLiteral("timeline"),
                              QStringLiteral("answers"), QStringLiteral("description"), QStringLiteral("copies")}
                     .contains(it.key()))
                return check.fail(QLatin1Char('/') + it.key(), QStringLiteral("no member \"%1\" in a scenario").arg(it.key()));
        }
        name = top.value(QStringLiteral("name")).toString(QFileInfo(filePath).fileName());
        double copyCount = 1;
        if (!check.number(top, QString(), "copies", &copyCount, false, 1) || copyCount != std::floor(copyCount))
            return check.faultPath.isEmpty() ? check.fail(QStringLiteral("/copies"), QStringLiteral("\"copies\" is a whole number"))
                                             : false;
        copies = int(qMin(copyCount, 100000.0));
        const QJsonArray transferList = top.value(QStringLiteral("transfers")).toArray();
        if (transferList.isEmpty())
            return check.fail(QStringLiteral("/transfers"), QStringLiteral("a scenario registers at least one transfer"));
        for (qsizetype i = 0; i < transferList.size(); ++i) {
            const QString at = QStringLiteral("/transfers/%1").arg(i);
            const QJsonObject o = transferList.at(i).toObject();
            Transfer t;
            t.key = o.value(QStringLiteral("key")).toString();
            t.name = o.value(QStringLiteral("name")).toString(t.key);
            t.type = int(typeWords.indexOf(o.value(QStringLiteral("type")).toString(QStringLiteral("upload"))));
            t.clientId = o.value(QStringLiteral("clientId")).toString();
            if (t.key.isEmpty() || std::any_of(transfers.cbegin(), transfers.cend(), [&](const Transfer &x) { return x.key == t.key; }))
                return check.fail(at, QStringLiteral("each transfer needs a \"key\" of its own"));
            if (t.type < 0)
                return check.fail(at + QStringLiteral("/type"), QStringLiteral("the type is upload, download or sync"));
            if (!check.number(o, at, "at", &t.at, false))
                return false;
            if (!check.calls(o.value(QStringLiteral("calls")), at + QStringLiteral("/calls"), &t.calls))
                return false;
            transfers.append(t);
        }
        const auto known = [&](const QString &key) {
            return std::any_of(transfers.cbegin(), transfers.cend(), [&](const Transfer &x) { return x.key == key; });
        };
        const QJsonArray events = top.value(QStringLiteral("timeline")).toArray();
        for (qsizetype i = 0; i < events.size(); ++i) {
            const QString at = QStringLiteral("/timeline/%1").arg(i);
            const QJsonObject o = events.at(i).toObject();
            Event e;
            e.where = lineAndColumn(text, reader.where(at));
            e.transfer = o.value(QStringLiteral("transfer")).toString();
            if (!events.at(i).isObject() || !check.number(o, at, "at", &e.at, true))
                return check.faultPath.isEmpty() ? check.fail(at, QStringLiteral("an event is an object")) : false;
            if (!known(e.transfer))
                return check.fail(at + QStringLiteral("/transfer"), QStringLiteral("no transfer with the key \"%1\"").arg(e.transfer));
            const QStringList kinds {QStringLiteral("call"), QStringLiteral("ramp"), QStringLiteral("commit"),
                                     QStringLiteral("request"), QStringLiteral("expect"), QStringLiteral("expectRequest")};
            const auto kind = std::find_if(kinds.cbegin(), kinds.cend(), [&](const QString &k) { return o.contains(k); });
            if (kind == kinds.cend() || std::count_if(kinds.cbegin(), kinds.cend(), [&](const QString &k) { return o.contains(k); }) != 1)
                return check.fail(at, QStringLiteral("an event holds one of %1").arg(kinds.join(QStringLiteral(", "))));
            e.kind = Event::Kind(kind - kinds.cbegin());
            const QString inner = at + QLatin1Char('/') + *kind;
            const QJsonValue v = o.value(*kind);
            switch (e.kind) {
            case Event::Change: {
                Call c;
                if (!check.call(v, inner, &c))
                    return false;
                e.calls = {c};
                break;
            }
            case Event::Commit:
                if (!check.calls(v, inner, &e.calls))
                    return false;
                break;
            case Event::Ramp: {
                const QJsonObject r = v.toObject();
                e.rampCall = r.value(QStringLiteral("call")).toString(QLatin1String(T::setProgress));
                if (!check.number(r, inner, "from", &e.from, true) || !check.number(r, inner, "to", &e.to, true)
                    || !check.number(r, inner, "over", &e.over, true) || !check.number(r, inner, "step", &e.step, true, 1))
                    return false;
                if (e.from > 1 || e.to > 1)
                    return check.fail(inner, QStringLiteral("a ramp goes between 0 and 1"));
                if (e.rampCall != QLatin1String(T::setProgress) && e.rampCall != QLatin1String(T::setActive))
                    return check.fail(inner + QStringLiteral("/call"), QStringLiteral("a ramp calls setProgress or setActive"));
                break;
            }
            case Event::Request:
            case Event::ExpectRequest:
                e.request = v.toString();
                if (!Requests::isRequest(e.request))
                    return check.fail(inner, QStringLiteral("the request is one of %1").arg(Requests::listed()));
                e.within = 1000;
                if (!check.number(o, at, "within", &e.within, false))
                    return false;
                break;
            case Event::Expect:
                if (!v.isObject() || v.toObject().isEmpty())
                    return check.fail(inner, QStringLiteral("an expectation is an object of fields and their values"));
                e.expect = v.toObject();
                break;
            }
            timeline.append(e);
        }
        std::stable_sort(timeline.begin(), timeline.end(), [](const Event &a, const Event &b) { return a.at < b.at; });
        const QJsonArray answerList = top.value(QStringLiteral("answers")).toArray();
        for (qsizetype i = 0; i < answerList.size(); ++i) {
            const QString at = QStringLiteral("/answers/%1").arg(i);
            const QJsonObject o = answerList.at(i).toObject();
            Answer a;
            a.transfer = o.value(QStringLiteral("transfer")).toString();
            a.request = o.value(QStringLiteral("request")).toString();
            a.accept = o.value(QStringLiteral("accept")).toBool(true);
            if (!a.transfer.isEmpty() && !known(a.transfer))
                return check.fail(at + QStringLiteral("/transfer"), QStringLiteral("no transfer with the key \"%1\"").arg(a.transfer));
            if (!Requests::isRequest(a.request))
                return check.fail(at + QStringLiteral("/request"), QStringLiteral("the request is one of %1").arg(Requests::listed()));
            if (!check.number(o, at, "after", &a.after, false))
                return false;
            if (o.contains(QStringLiteral("calls"))) {
                if (!check.calls(o.value(QStringLiteral("calls")), at + QStringLiteral("/calls"), &a.calls))
                    return false;
            } else {
                a.calls = defaultAnswer(a.request, a.accept);
            }
            answers.append(a);
        }
        return true;
    }();
    if (!ok)
        *error = QStringLiteral("%1:%2: %3").arg(filePath, lineAndColumn(text, reader.where(check.faultPath)), check.fault);
    return ok;
}

bool ScenarioRecorder::add(const QJsonObject &line)
{
    const QString sender = line.value(QStringLiteral("sender")).toString();
    const QString call = line.value(QStringLiteral("call")).toString();
    const QString id = line.value(QStringLiteral("id")).toString();
    if (line.contains(QStringLiteral("error")))
        return true; // refused: it changed nothing
    if (m_client.isEmpty() && call == QLatin1String(T::registerTransfer))
        m_client = sender;
    if (m_client.isEmpty())
        return true;
    if (call == QLatin1String("clientGone") && sender == m_client)
        return false;
    const bool own = sender == m_client;
    const bool askedOfIt = call == QLatin1String(ZavBus::Control::sendRequest) && m_ids.contains(id);
    if (!(own && (call == QLatin1String(T::registerTransfer) || m_ids.contains(id))) && !askedOfIt)
        return true;
    const qint64 time = QDateTime::fromString(line.value(QStringLiteral("time")).toString(), Qt::ISODateWithMs).toMSecsSinceEpoch();
    if (m_start < 0)
        m_start = time;
    // Keys by order of registration: a scenario recorded from its own playback is the same.
    if (call == QLatin1String(T::registerTransfer))
        m_ids.append(id);
    const QString key = QStringLiteral("t%1").arg(m_ids.indexOf(id) + 1);
    const QJsonArray args = line.value(QStringLiteral("args")).toArray();
    if (call == QLatin1String(T::registerTransfer)) {
        m_transfers.append(QJsonObject {{QStringLiteral("key"), key},
                                        {QStringLiteral("at"), double(time - m_start)},
                                        {QStringLiteral("name"), args.at(0).toString()},
                                        {QStringLiteral("type"), typeWords.value(args.at(1).toInt())},
                                        {QStringLiteral("clientId"), args.at(2).toString()}});
        return true;
    }
    QJsonObject event {{QStringLiteral("at"), double(time - m_start)}, {QStringLiteral("transfer"), key}};
    if (askedOfIt) {
        event.insert(QStringLiteral("request"), args.at(0).toString());
    } else if (findChange(call)) {
        QJsonArray change {call};
        for (const QJsonValue &arg : args)
            change.append(arg);
        event.insert(QStringLiteral("call"), change);
    } else {
        return true; // the service's own records (its requests to the client)
    }
    m_timeline.append(event);
    return true;
}

QJsonObject ScenarioRecorder::scenario(const QString &name) const
{
    return {{QStringLiteral("name"), name}, {QStringLiteral("transfers"), m_transfers}, {QStringLiteral("timeline"), m_timeline}};
}

QByteArray ScenarioRecorder::text(const QString &name) const
{
    const auto lines = [](const QJsonArray &items) {
        QByteArray out;
        for (const QJsonValue &item : items)
            out += (out.isEmpty() ? "\n    " : ",\n    ") + QJsonDocument(item.toObject()).toJson(QJsonDocument::Compact);
        return out + "\n  ";
    };
    return "{\n  \"name\": " + QJsonDocument(QJsonArray {name}).toJson(QJsonDocument::Compact).mid(1).chopped(1)
        + ",\n  \"transfers\": [" + lines(m_transfers) + "],\n  \"timeline\": [" + lines(m_timeline) + "]\n}\n";
}
