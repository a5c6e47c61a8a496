// SPDX-License-Identifier: MIT
#include "ScenarioRecorder.h"

#include "Scenario.h"
#include "ZavBusNames.h"
#include "ZavVocabulary.h"

#include <QDateTime>
#include <QJsonArray>
#include <QJsonDocument>

namespace T = ZavBus::Transfers;

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
    if ((call == QLatin1String("clientGone") && sender == m_client) || startsRun(line))
        return false;
    const bool own = sender == m_client;
    const bool askedOfIt = call == QLatin1String(ZavBus::Control::sendRequest) && m_keys.contains(id);
    if (!(own && (call == QLatin1String(T::registerTransfer) || m_keys.contains(id))) && !askedOfIt)
        return true;
    // Times only go forward (a clock set back would make events that cannot be played).
    const QDateTime stamp = QDateTime::fromString(line.value(QStringLiteral("time")).toString(), Qt::ISODateWithMs);
    const qint64 time = qMax(qMax<qint64>(m_last, 0), stamp.isValid() ? stamp.toMSecsSinceEpoch() : 0);
    if (m_start < 0)
        m_start = time;
    m_last = time;
    // Keys by order of registration: a scenario recorded from its own playback is the same.
    if (call == QLatin1String(T::registerTransfer))
        m_keys.insert(id, QStringLiteral("t%1").arg(m_keys.size() + 1));
    const QString key = m_keys.value(id);
    const QJsonArray args = line.value(QStringLiteral("args")).toArray();
    QJsonObject event {{QStringLiteral("at"), qMin(double(time - m_start), Scenario::MaxTime)}};
    if (call == QLatin1String(T::registerTransfer)) {
        // Registered by an event, so that playing keeps the journal's order within a millisecond.
        m_transfers += m_transferCount++ ? ",\n    " : "\n    ";
        m_transfers += QJsonDocument(QJsonObject {{QStringLiteral("key"), key},
                                                  {QStringLiteral("name"), args.at(0).toString()},
                                                  {QStringLiteral("type"), Zav::typeWord(args.at(1).toInt())},
                                                  {QStringLiteral("clientId"), args.at(2).toString()}})
                           .toJson(QJsonDocument::Compact);
        event.insert(QStringLiteral("register"), key);
    } else if (askedOfIt) {
        event.insert(QStringLiteral("transfer"), key);
        event.insert(QStringLiteral("request"), args.at(0).toString());
    } else if (Scenario::callNames().contains(call)) {
        QJsonArray changeArgs {call};
        for (qsizetype i = 0; i < args.size(); ++i) {
            // Progress went as a float: written as the float's shortest decimal, it is sent the same.
            const bool fraction = Scenario::isFractionArgument(call, int(i));
            changeArgs.append(fraction ? QJsonValue(Scenario::shortestFloat(args.at(i).toDouble())) : args.at(i));
        }
        event.insert(QStringLiteral("transfer"), key);
        event.insert(QStringLiteral("call"), changeArgs);
    } else {
        return true; // the service's own records (its requests to the client)
    }
    m_timeline += m_timeline.isEmpty() ? "\n    " : ",\n    ";
    m_timeline += QJsonDocument(event).toJson(QJsonDocument::Compact);
    return true;
}

bool ScenarioRecorder::startsRun(const QJsonObject &line)
{
    return line.value(QStringLiteral("call")).toString() == QLatin1String("serviceStarted");
}

QByteArray ScenarioRecorder::text(const QString &name) const
{
    // In one piece of the size it takes: built by concatenation, a long recording's text was
    // copied once for every part added.
    const QByteArray quotedName = QJsonDocument(QJsonArray {name}).toJson(QJsonDocument::Compact).mid(1).chopped(1);
    QByteArray out;
    out.reserve(quotedName.size() + m_transfers.size() + m_timeline.size() + 64);
    out += "{\n  \"name\": ";
    out += quotedName;
    out += ",\n  \"transfers\": [";
    out += m_transfers;
    out += "\n  ],\n  \"timeline\": [";
    out += m_timeline;
    out += "\n  ]\n}\n";
    return out;
}
