// SPDX-License-Identifier: MIT
#include "DesktopBridge.h"
#include "Lifetime.h"
#include "NotificationBackend.h"
#include "ZavBusAddress.h"
#include "ZavVersion.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusError>

#include <cstdio>

// zav-desktop: the transfer-status service's transfers as live desktop notifications, and the
// notifications' buttons as the service's requests.
int main(int argc, char **argv)
{
    const std::optional<QByteArray> address = ZavBus::takeAddress(argc, argv, "zav-desktop");
    if (!address)
        return 2;
    QCoreApplication app(argc, argv);
    app.setApplicationName(QStringLiteral("zav-desktop"));
    app.setApplicationVersion(QLatin1String(Zav::Version));
    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Shows the transfers of the transfer-status service (com.kelvo.zav) as desktop notifications "
                       "(org.freedesktop.Notifications), one per transfer, and sends the requests chosen on them "
                       "back to the transfers' owners. Waits for either service when it is not there.\n\n"
                       "--address ADDRESS  reach the transfer service on that bus (a device's, through a forwarded "
                       "socket); the notifications stay on the session bus."));
    parser.addHelpOption();
    parser.addVersionOption();
    parser.process(app);

    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) {
        std::fprintf(stderr, "zav-desktop: no session bus: %s\n", qPrintable(bus.lastError().message()));
        return 1;
    }
    const QString remote = address->isEmpty() ? QString() : QStringLiteral("zav-service-bus");
    QDBusConnection serviceBus = remote.isEmpty() ? bus
                                                  : QDBusConnection::connectToBus(QString::fromUtf8(*address), remote);
    if (!serviceBus.isConnected()) {
        std::fprintf(stderr, "zav-desktop: cannot reach the bus at %s: %s\n", address->constData(),
                     qPrintable(serviceBus.lastError().message()));
        return 1;
    }
    endWithSignalsAndBus(app, "zav-desktop", remote);
    NotificationBackend notifications(bus);
    DesktopBridge bridge(serviceBus, &notifications);
    std::fprintf(stdout, "zav-desktop: showing transfers as desktop notifications\n");
    std::fflush(stdout);
    // Leaving closes the notifications it made (the backend's destructor).
    return app.exec();
}
