// SPDX-License-Identifier: MIT
#include "ChangeFollower.h"

#include "ControlProxy.h"
#include "ZavBusNames.h"
#include "ZavVocabulary.h"

#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusServiceWatcher>
#include <QJsonArray>
#include <QJsonDocument>
#include <QTimer>

namespace {
constexpr int CallTimeout = 5000; // ms
constexpr int MaxRetryDelay = 30000; // ms

// Runs `done` with the reply of `call` unless the follower has moved on to another generation.
template <typename Done>
void whenAnswered(ChangeFollower *follower, const QDBusPendingCall &call, const quint64 &generation, Done done)
{
    auto *watcher = new QDBusPendingCallWatcher(call, follower);
    QObject::connect(watcher, &QDBusPendingCallWatcher::finished, follower,
                     [watcher, &generation, asked = generation, done] {
                         watcher->deleteLater();
                         done(watcher->reply(), asked == generation);
                     });
}
} // namespace

ChangeFollower::ChangeFollower(const QDBusConnection &bus, QObject *parent)
    : QObject(parent)
    , m_control(std::make_unique<ComKelvoZavControlInterface>(QLatin1String(ZavBus::ServiceName),
                                                              QLatin1String(ZavBus::ObjectPath), bus))
    , m_watcher(new QDBusServiceWatcher(QLatin1String(ZavBus::ServiceName), bus,
                                        QDBusServiceWatcher::WatchForOwnerChange, this))
{
    m_control->setTimeout(CallTimeout);
    connect(m_control.get(), &ComKelvoZavControlInterface::changesPending, this, &ChangeFollower::fetchChanges);
    connect(m_watcher, &QDBusServiceWatcher::serviceOwnerChanged, this,
            [this](const QString &, const QString &oldOwner, const QString &newOwner) {
                if (!oldOwner.isEmpty()) {
                    // The transfers were the departed instance's; a new one starts empty.
                    ++m_generation;
                    m_gone = true;
                    m_listing = false;
                    m_known.clear();
                    emit serviceLeft();
                }
                if (!newOwner.isEmpty()) {
                    m_retryDelay = 500;
                    startListing();
                }
            });
}

ChangeFollower::~ChangeFollower() = default;

bool ChangeFollower::start()
{
    const QDBusConnection bus = m_control->connection();
    if (!bus.interface() || !bus.interface()->isServiceRegistered(QLatin1String(ZavBus::ServiceName)))
        return false;
    startListing();
    return true;
}

void ChangeFollower::retry(void (ChangeFollower::*what)())
{
    // A service slow at its start (or hung for a while) is asked again, less and less often; a
    // new instance starts over.
    QTimer::singleShot(m_retryDelay, this, [this, what, generation = m_generation] {
        if (generation == m_generation)
            (this->*what)();
    });
    m_retryDelay = qMin(m_retryDelay * 2, MaxRetryDelay);
}

void ChangeFollower::startListing()
{
    ++m_generation;
    m_pages = 0;
    m_listed.clear();
    m_listing = true;
    if (std::exchange(m_gone, false))
        emit serviceBack();
    emit relisting();
    // Changes are announced only to those who ask; then the list catches up on what was there.
    // Announcements made while the list comes in are newer than the page before them and older
    // than the page after: the bus keeps their order, so the latest state wins either way.
    whenAnswered(this, m_control->setWatching(true), m_generation, [this](const QDBusMessage &reply, bool current) {
        if (current && reply.type() == QDBusMessage::ErrorMessage)
            emit callFailed(QDBusError(reply), -1);
    });
    fetchPage(QString());
}

void ChangeFollower::fetchPage(const QString &after)
{
    whenAnswered(
        this, m_control->transferPage(after, Zav::PageSize), m_generation,
        [this, after](const QDBusMessage &reply, bool current) {
            if (!current)
                return;
            if (reply.type() == QDBusMessage::ErrorMessage) {
                emit callFailed(QDBusError(reply), m_retryDelay);
                return retry(&ChangeFollower::startListing);
            }
            const QJsonObject page = QJsonDocument::fromJson(reply.arguments().value(0).toString().toUtf8()).object();
            const QJsonArray transfers = page.value(QLatin1String("transfers")).toArray();
            for (const QJsonValue &t : transfers) {
                const QString id = t.toObject().value(QLatin1String("id")).toString();
                m_listed.insert(id);
                m_known.insert(id);
                emit changed(t.toObject());
            }
            if (!page.value(QLatin1String("more")).toBool() || transfers.isEmpty()) {
                // Listed whole: what went while the follower was behind (a resync) is
                // said gone (before, a watch went on describing 10,100 removed transfers).
                m_listing = false;
                for (const QString &id : m_known - m_listed) {
                    m_known.remove(id);
                    emit removed(id);
                }
                m_listed.clear();
                m_retryDelay = 500;
                emit relisted();
                return;
            }
            const QString last = transfers.last().toObject().value(QLatin1String("id")).toString();
            if (++m_pages >= Zav::MaxPages || last == after)
                return emit pagesDoNotEnd(m_pages);
            fetchPage(last);
        });
}

void ChangeFollower::fetchChanges()
{
    // One fetch at a time; a signal that comes meanwhile is served by the next. Each page comes
    // through the event loop, so that a service whose changes never end holds nothing up.
    if (m_fetching) {
        m_fetchAgain = true;
        return;
    }
    m_fetching = true;
    m_fetchAgain = false;
    whenAnswered(
        this, m_control->changes(Zav::PageSize), m_generation, [this](const QDBusMessage &reply, bool current) {
            m_fetching = false;
            if (!current) {
                if (m_fetchAgain)
                    fetchChanges();
                return;
            }
            if (reply.type() == QDBusMessage::ErrorMessage) {
                // The service signals no more until this watcher has fetched: asked again.
                emit callFailed(QDBusError(reply), m_retryDelay);
                return retry(&ChangeFollower::fetchChanges);
            }
            m_retryDelay = 500;
            const QJsonObject page = QJsonDocument::fromJson(reply.arguments().value(0).toString().toUtf8()).object();
            if (page.value(QLatin1String("resync")).toBool())
                return startListing();
            for (const QJsonValue &id : page.value(QLatin1String("removed")).toArray()) {
                m_listed.remove(id.toString());
                if (m_known.remove(id.toString()))
                    emit removed(id.toString());
            }
            for (const QJsonValue &t : page.value(QLatin1String("changed")).toArray()) {
                const QString id = t.toObject().value(QLatin1String("id")).toString();
                if (id.isEmpty())
                    continue;
                if (m_listing)
                    m_listed.insert(id);
                m_known.insert(id);
                emit changed(t.toObject());
            }
            if (page.value(QLatin1String("more")).toBool() || m_fetchAgain)
                fetchChanges();
        });
}
