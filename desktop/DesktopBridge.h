// SPDX-License-Identifier: MIT
#ifndef DESKTOPBRIDGE_H
#define DESKTOPBRIDGE_H

#include <QDBusConnection>
#include <QObject>

#include <memory>

class ChangeFollower;
class ComKelvoZavControlInterface;
class DesktopBackend;

// Shows the transfer-status service's transfers on a desktop, through a backend, and sends the
// desktop user's requests back to each transfer's owner, as zavctl request does. It uses the
// service's public control interface only (what changes comes from a ChangeFollower), and
// follows the service as it comes and goes.
class DesktopBridge : public QObject
{
    Q_OBJECT
public:
    DesktopBridge(const QDBusConnection &bus, DesktopBackend *backend, QObject *parent = nullptr);
    ~DesktopBridge() override;

private:
    void onRequested(const QString &id, const QString &request);

    DesktopBackend *m_backend;
    std::unique_ptr<ComKelvoZavControlInterface> m_control; // for the requests
    ChangeFollower *m_follower;
};

#endif
