// SPDX-License-Identifier: MIT
#include "DesktopBridge.h"
#include "Lifetime.h"
#include "NotificationBackend.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusError>

#include <cstdio>

// zav-desktop: the transfer-status service's transfers as live desktop notifications, and the
// notifications' buttons as the service's requests.
int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    app.setApplicationName(QStringLiteral("zav-desktop"));
    app.setApplicationVersion(QStringLiteral("0.1"));
    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Shows the transfers of the transfer-status service (com.kelvo.zav) as desktop notifications "
                       "(org.freedesktop.Notifications), one per transfer, and sends the requests chosen on them "
                       "back to the transfers' owners. Waits for either service when it is not there."));
    parser.addHelpOption();
    parser.addVersionOption();
    parser.process(app);

    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) {
        std::fprintf(stderr, "zav-desktop: no session bus: %s\n", qPrintable(bus.lastError().message()));
        return 1;
    }
    endWithSignalsAndBus(app, "zav-desktop");
    NotificationBackend notifications(bus);
    DesktopBridge bridge(bus, &notifications);
    std::fprintf(stdout, "zav-desktop: showing transfers as desktop notifications\n");
    std::fflush(stdout);
    // Leaving closes the notifications it made (the backend's destructor).
    return app.exec();
}
