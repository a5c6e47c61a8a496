// SPDX-License-Identifier: MIT
#ifndef SCENARIOPROGRAMS_H
#define SCENARIOPROGRAMS_H

#include <QDBusConnection>
#include <QHash>
#include <QObject>
#include <QPair>
#include <QSet>
#include <QString>

#include <functional>

class QDBusMessage;
namespace Zav {
class Transfer;
} // namespace Zav

// A program of a scenario's own (the "client" of its transfers): a bus connection of its own,
// whose requests come in through here.
class ScenarioClient : public QObject
{
    Q_OBJECT
public:
    ScenarioClient(const QString &connection, QObject *parent)
        : QObject(parent)
        , m_connection(connection)
    {
    }

Q_SIGNALS:
    void requested(const QString &connection, const QString &id, const QString &action);

public Q_SLOTS:
    void request(const QString &id, const QString &action) { emit requested(m_connection, id, action); }

private:
    QString m_connection;
};

// The programs a scenario's transfers belong to, and where each copy of a transfer lives at the
// service: registered by the player through the client library (a handle), or by a client of the
// scenario's own on a connection of that client's (an id and the service instance that answered).
// A copy is named by its transfer's key and its number.
class ScenarioPrograms : public QObject
{
    Q_OBJECT
public:
    using Copy = QPair<QString, int>;

    ScenarioPrograms(const QDBusConnection &bus, QObject *parent = nullptr);
    ~ScenarioPrograms() override;

    // A new run (the number names its connections): every client's connection closes and every
    // copy is forgotten.
    void reset(int run);
    // The connection of a scenario's client for a copy, opened on first use.
    QString connection(const QString &client, int copy);
    // The client leaves without a word: its connection closes, and nothing more goes out for its
    // transfers.
    void disconnect(const QString &client, int copy);
    bool hasLeft(const QString &connection) const { return m_gone.contains(connection); }

    void registered(const Copy &copy, Zav::Transfer *handle);
    void registered(const Copy &copy, const QString &connection, const QString &id, const QString &instance);
    // Copies registered through the library.
    qsizetype handles() const { return m_handles.size(); }
    const Copy *copyOf(Zav::Transfer *handle) const;

    // Its id at the service, empty while not registered.
    QString idOf(const Copy &copy) const;
    // The connection its calls go on.
    QDBusConnection busOf(const Copy &copy) const;
    // A call of `interface` to the service instance that registered it (ids start again in each
    // run of the service: the well-known name may be another instance by now).
    QDBusMessage callFor(const Copy &copy, const char *interface, const QString &method) const;
    // Its program has left: nothing more is sent for it, and its calls' failures are expected.
    bool isGone(const Copy &copy) const;

    // A request the service sent a client of the scenario's own.
    std::function<void(const Copy &copy, const QString &request)> requested;

private:
    static QString keyOf(const Copy &copy) { return copy.first + QLatin1Char('#') + QString::number(copy.second); }
    void closeClients();

    QDBusConnection m_bus;
    int m_run = 0;
    QHash<QString, Zav::Transfer *> m_handles; // by keyOf()
    QHash<Zav::Transfer *, Copy> m_copies;
    // A copy registered by a client of the scenario's own.
    struct ClientCopy
    {
        QString connection;
        QString id;
        QString instance; // the service instance that registered it
    };
    QHash<QString, ClientCopy> m_clientCopies; // by keyOf()
    QHash<QString, Copy> m_byClientId; // connection + '/' + id
    QHash<QString, ScenarioClient *> m_clients; // by connection name
    QSet<QString> m_gone; // connections closed by "disconnect"
};

#endif
