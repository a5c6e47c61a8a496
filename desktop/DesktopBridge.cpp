// SPDX-License-Identifier: MIT
#include "DesktopBridge.h"

#include "ControlProxy.h"
#include "DesktopBackend.h"
#include "ZavBusNames.h"
#include "ZavVocabulary.h"

#include <QDBusConnectionInterface>
#include <QDBusPendingCallWatcher>
#include <QDBusServiceWatcher>
#include <QJsonArray>
#include <QJsonDocument>
#include <QLoggingCategory>
#include <QTimer>

Q_LOGGING_CATEGORY(lcDesktop, "zav.desktop", QtWarningMsg)

namespace {
constexpr int CallTimeout = 5000; // ms
constexpr int MaxRetryDelay = 30000; // ms
} // namespace

DesktopBridge::DesktopBridge(const QDBusConnection &bus, DesktopBackend *backend, QObject *parent)
    : QObject(parent)
    , m_backend(backend)
    , m_control(std::make_unique<ComKelvoZavControlInterface>(QLatin1String(ZavBus::ServiceName),
                                                              QLatin1String(ZavBus::ObjectPath), bus))
    , m_watcher(new QDBusServiceWatcher(QLatin1String(ZavBus::ServiceName), bus,
                                        QDBusServiceWatcher::WatchForOwnerChange, this))
{
    m_control->setTimeout(CallTimeout);
    connect(m_control.get(), &ComKelvoZavControlInterface::changesPending, this, &DesktopBridge::fetchChanges);
    connect(m_backend, &DesktopBackend::requested, this, &DesktopBridge::onRequested);
    connect(m_watcher, &QDBusServiceWatcher::serviceOwnerChanged, this,
            [this](const QString &, const QString &oldOwner, const QString &newOwner) {
                if (!oldOwner.isEmpty())
                    serviceLeft();
                if (!newOwner.isEmpty())
                    serviceArrived();
            });
    if (bus.interface() && bus.interface()->isServiceRegistered(QLatin1String(ZavBus::ServiceName)))
        serviceArrived();
    else
        qCInfo(lcDesktop, "No transfer service on the bus yet; waiting for %s", ZavBus::ServiceName);
}

DesktopBridge::~DesktopBridge() = default;

void DesktopBridge::serviceArrived()
{
    m_retryDelay = 500;
    startListing();
}

void DesktopBridge::startListing()
{
    ++m_generation;
    m_pages = 0;
    m_listed.clear();
    m_listing = true;
    // Changes are announced only to those who ask; then the list catches up on what was there.
    // Announcements made while the list comes in are newer than the page before them and older
    // than the page after: the bus keeps their order, so the latest state wins either way.
    m_control->setWatching(true);
    fetchPage(QString());
}

void DesktopBridge::serviceLeft()
{
    ++m_generation;
    // The transfers were the departed instance's; a new one starts empty.
    m_backend->removeAll();
}

void DesktopBridge::fetchPage(const QString &after)
{
    const quint64 generation = m_generation;
    auto *call = new QDBusPendingCallWatcher(m_control->transferPage(after, Zav::PageSize), this);
    connect(call, &QDBusPendingCallWatcher::finished, this, [this, generation, after](QDBusPendingCallWatcher *call) {
        call->deleteLater();
        const QDBusPendingReply<QString> reply = *call;
        if (generation != m_generation)
            return;
        if (reply.isError()) {
            // A service that is slow at its start (or hung for a while) is asked again, less and
            // less often; a new instance starts over.
            qCWarning(lcDesktop, "The transfer service did not list its transfers (%s); asking again in %d ms",
                      qPrintable(reply.error().message()), m_retryDelay);
            QTimer::singleShot(m_retryDelay, this, [this, generation] {
                if (generation == m_generation)
                    startListing();
            });
            m_retryDelay = qMin(m_retryDelay * 2, MaxRetryDelay);
            return;
        }
        const QJsonObject page = QJsonDocument::fromJson(reply.value().toUtf8()).object();
        const QJsonArray transfers = page.value(QLatin1String("transfers")).toArray();
        for (const QJsonValue &t : transfers) {
            m_listed.insert(t.toObject().value(QLatin1String("id")).toString());
            m_backend->show(DesktopTransfer::fromJson(t.toObject()));
        }
        const QString last = transfers.isEmpty() ? QString()
                                                 : transfers.last().toObject().value(QLatin1String("id")).toString();
        if (!page.value(QLatin1String("more")).toBool() || transfers.isEmpty()) {
            // Listed whole: what went while the bridge was behind (a resync) goes from the desktop
            // too (before, its notifications stayed, and the live ones were not shown).
            m_listing = false;
            m_backend->keepOnly(m_listed);
            m_listed.clear();
            return;
        }
        if (last == after || ++m_pages >= Zav::MaxPages) {
            qCWarning(lcDesktop, "The transfer service's pages do not end (%d read); listing stops there", m_pages);
            return;
        }
        fetchPage(last);
    });
}

void DesktopBridge::fetchChanges()
{
    // One fetch at a time; a signal that comes meanwhile is served by the next.
    if (m_fetching) {
        m_fetchAgain = true;
        return;
    }
    m_fetching = true;
    m_fetchAgain = false;
    const quint64 generation = m_generation;
    auto *call = new QDBusPendingCallWatcher(m_control->changes(Zav::PageSize), this);
    connect(call, &QDBusPendingCallWatcher::finished, this, [this, generation](QDBusPendingCallWatcher *call) {
        call->deleteLater();
        m_fetching = false;
        const QDBusPendingReply<QString> reply = *call;
        if (generation != m_generation) {
            if (m_fetchAgain)
                fetchChanges();
            return;
        }
        if (reply.isError()) {
            // The service signals no more until this watcher has fetched: asked again.
            qCWarning(lcDesktop, "The transfer service did not give its changes: %s",
                      qPrintable(reply.error().message()));
            QTimer::singleShot(m_retryDelay, this, &DesktopBridge::fetchChanges);
            return;
        }
        const QJsonObject page = QJsonDocument::fromJson(reply.value().toUtf8()).object();
        if (page.value(QLatin1String("resync")).toBool())
            return startListing();
        for (const QJsonValue &id : page.value(QLatin1String("removed")).toArray()) {
            m_listed.remove(id.toString());
            m_backend->remove(id.toString());
        }
        for (const QJsonValue &t : page.value(QLatin1String("changed")).toArray()) {
            const QString id = t.toObject().value(QLatin1String("id")).toString();
            if (id.isEmpty())
                continue;
            if (m_listing)
                m_listed.insert(id);
            m_backend->show(DesktopTransfer::fromJson(t.toObject()));
        }
        if (page.value(QLatin1String("more")).toBool() || m_fetchAgain)
            fetchChanges();
    });
}

void DesktopBridge::onRequested(const QString &id, const QString &request)
{
    qCInfo(lcDesktop, "The desktop's user asks for %s on transfer %s", qPrintable(request), qPrintable(id));
    auto *call = new QDBusPendingCallWatcher(m_control->sendRequest(id, request), this);
    connect(call, &QDBusPendingCallWatcher::finished, this, [id, request](QDBusPendingCallWatcher *call) {
        call->deleteLater();
        if (call->isError())
            qCWarning(lcDesktop, "The %s request for transfer %s was not sent: %s", qPrintable(request), qPrintable(id),
                      qPrintable(call->error().message()));
    });
}
