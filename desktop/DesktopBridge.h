// SPDX-License-Identifier: MIT
#ifndef DESKTOPBRIDGE_H
#define DESKTOPBRIDGE_H

#include <QDBusConnection>
#include <QObject>
#include <QSet>

#include <memory>

class ComKelvoZavControlInterface;
class DesktopBackend;
class QDBusServiceWatcher;

// Shows the transfer-status service's transfers on a desktop, through a backend, and sends the
// desktop user's requests back to each transfer's owner, as zavctl request does. It uses the
// service's public control interface only, and follows the service as it comes and goes.
class DesktopBridge : public QObject
{
    Q_OBJECT
public:
    DesktopBridge(const QDBusConnection &bus, DesktopBackend *backend, QObject *parent = nullptr);
    ~DesktopBridge() override;

private:
    void serviceArrived();
    void serviceLeft();
    // Asks for notices and lists every transfer; asked again, later each time, while that fails.
    void startListing();
    // Lists every transfer, a page at a time, without waiting.
    void fetchPage(const QString &after);
    // Fetches what changed since the last fetch (the service signals that there is some).
    void fetchChanges();
    void onRequested(const QString &id, const QString &request);

    DesktopBackend *m_backend;
    std::unique_ptr<ComKelvoZavControlInterface> m_control;
    QDBusServiceWatcher *m_watcher;
    quint64 m_generation = 0; // of the service instance: pages from an older one are ignored
    int m_retryDelay = 500; // ms before the listing is asked for again
    int m_pages = 0; // of the listing under way
    QSet<QString> m_listed; // the transfers the listing under way has seen (and changes since)
    bool m_listing = false;
    bool m_fetching = false;
    bool m_fetchAgain = false;
};

#endif
