// SPDX-License-Identifier: MIT
#include "DesktopBridge.h"

#include "ChangeFollower.h"
#include "ControlProxy.h"
#include "DesktopBackend.h"
#include "ZavBusNames.h"
#include "ZavVocabulary.h"

#include <QDBusPendingCallWatcher>
#include <QLoggingCategory>

Q_LOGGING_CATEGORY(lcDesktop, "zav.desktop", QtWarningMsg)

namespace {
constexpr int CallTimeout = 5000; // ms
} // namespace

DesktopBridge::DesktopBridge(const QDBusConnection &bus, DesktopBackend *backend, QObject *parent)
    : QObject(parent)
    , m_backend(backend)
    , m_control(std::make_unique<ComKelvoZavControlInterface>(QLatin1String(ZavBus::ServiceName),
                                                              QLatin1String(ZavBus::ObjectPath), bus))
    , m_follower(new ChangeFollower(bus, this))
{
    m_control->setTimeout(CallTimeout);
    connect(m_backend, &DesktopBackend::requested, this, &DesktopBridge::onRequested);
    connect(m_follower, &ChangeFollower::changed, this,
            [this](const QJsonObject &t) { m_backend->show(DesktopTransfer::fromJson(t)); });
    connect(m_follower, &ChangeFollower::removed, m_backend, &DesktopBackend::remove);
    connect(m_follower, &ChangeFollower::serviceLeft, m_backend, &DesktopBackend::removeAll);
    connect(m_follower, &ChangeFollower::callFailed, this, [](const QDBusError &error, int retryIn) {
        if (retryIn >= 0)
            qCWarning(lcDesktop, "The transfer service did not answer (%s); asking again in %d ms",
                      qPrintable(Zav::printableCut(error.message())), retryIn);
    });
    connect(m_follower, &ChangeFollower::pagesDoNotEnd, this, [](int pages) {
        qCWarning(lcDesktop, "The transfer service's pages do not end (%d read); listing stops there", pages);
    });
    if (!m_follower->start())
        qCInfo(lcDesktop, "No transfer service on the bus yet; waiting for %s", ZavBus::ServiceName);
}

DesktopBridge::~DesktopBridge() = default;

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
