// SPDX-License-Identifier: MIT
#include "ScenarioPrograms.h"

#include "ZavBusConnection.h"
#include "ZavBusNames.h"

#include <QDBusMessage>

#include <zav/ZavClient.h>

ScenarioPrograms::ScenarioPrograms(const QDBusConnection &bus, QObject *parent)
    : QObject(parent)
    , m_bus(bus)
{
}

ScenarioPrograms::~ScenarioPrograms()
{
    closeClients();
}

void ScenarioPrograms::reset(int run)
{
    m_run = run;
    m_handles.clear();
    m_copies.clear();
    closeClients();
}

QString ScenarioPrograms::connection(const QString &client, int copy)
{
    const QString name = QStringLiteral("zav-play-%1-%2-%3").arg(m_run).arg(copy).arg(client);
    if (!m_clients.contains(name) && !m_gone.contains(name)) {
        // On the bus the player's own calls go to (the session bus, or --address).
        QDBusConnection bus = ZavBus::connectionOfItsOwn(Zav::Client::busAddress(), name);
        auto *receiver = new ScenarioClient(name, this);
        bus.connect(QString(), QLatin1String(ZavBus::ObjectPath), QLatin1String(ZavBus::TransfersInterface),
                    QLatin1String(ZavBus::Transfers::request), receiver, SLOT(request(QString, QString)));
        connect(receiver, &ScenarioClient::requested, this,
                [this](const QString &connection, const QString &id, const QString &action) {
                    const auto who = m_byClientId.constFind(connection + QLatin1Char('/') + id);
                    if (who != m_byClientId.constEnd() && requested)
                        requested(*who, action);
                });
        m_clients.insert(name, receiver);
    }
    return name;
}

void ScenarioPrograms::disconnect(const QString &client, int copy)
{
    const QString name = connection(client, copy);
    m_gone.insert(name);
    QDBusConnection::disconnectFromBus(name);
}

void ScenarioPrograms::closeClients()
{
    for (auto it = m_clients.cbegin(); it != m_clients.cend(); ++it) {
        QDBusConnection::disconnectFromBus(it.key());
        delete it.value();
    }
    m_clients.clear();
    m_clientCopies.clear();
    m_byClientId.clear();
    m_gone.clear();
}

void ScenarioPrograms::registered(const Copy &copy, Zav::Transfer *handle)
{
    m_handles.insert(keyOf(copy), handle);
    m_copies.insert(handle, copy);
}

void ScenarioPrograms::registered(const Copy &copy, const QString &connection, const QString &id,
                                  const QString &instance)
{
    m_clientCopies.insert(keyOf(copy), {connection, id, instance});
    m_byClientId.insert(connection + QLatin1Char('/') + id, copy);
}

const ScenarioPrograms::Copy *ScenarioPrograms::copyOf(Zav::Transfer *handle) const
{
    const auto it = m_copies.constFind(handle);
    return it == m_copies.constEnd() ? nullptr : &*it;
}

QString ScenarioPrograms::idOf(const Copy &copy) const
{
    if (Zav::Transfer *handle = m_handles.value(keyOf(copy)))
        return handle->id();
    return m_clientCopies.value(keyOf(copy)).id;
}

QDBusConnection ScenarioPrograms::busOf(const Copy &copy) const
{
    const QString connection = m_clientCopies.value(keyOf(copy)).connection;
    return connection.isEmpty() ? m_bus : QDBusConnection(connection);
}

QDBusMessage ScenarioPrograms::callFor(const Copy &copy, const char *interface, const QString &method) const
{
    Zav::Transfer *handle = m_handles.value(keyOf(copy));
    QString instance = handle ? handle->serviceInstance() : m_clientCopies.value(keyOf(copy)).instance;
    if (instance.isEmpty())
        instance = QLatin1String(ZavBus::ServiceName);
    return QDBusMessage::createMethodCall(instance, QLatin1String(ZavBus::ObjectPath), QLatin1String(interface),
                                          method);
}

bool ScenarioPrograms::isGone(const Copy &copy) const
{
    const QString connection = m_clientCopies.value(keyOf(copy)).connection;
    return !connection.isEmpty() && m_gone.contains(connection);
}
