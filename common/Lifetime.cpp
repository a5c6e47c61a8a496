// SPDX-License-Identifier: MIT
#include "Lifetime.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QLoggingCategory>
#include <QSocketNotifier>
#include <QTimer>

#include <csignal>
#include <sys/socket.h>
#include <unistd.h>

Q_LOGGING_CATEGORY(lcLifetime, "zav.lifetime")

namespace {
int g_signalPipe[2] = {-1, -1};

void onSignal(int)
{
    const char byte = 1;
    [[maybe_unused]] const ssize_t ignored = ::write(g_signalPipe[1], &byte, 1);
}
} // namespace

void endWithSignalsAndBus(QCoreApplication &app, const char *program, const QString &connection, bool sessionToo)
{
    if (g_signalPipe[0] < 0 && ::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, g_signalPipe) == 0) {
        auto *notifier = new QSocketNotifier(g_signalPipe[0], QSocketNotifier::Read, &app);
        QObject::connect(notifier, &QSocketNotifier::activated, &app, &QCoreApplication::quit);
        struct sigaction action = {};
        action.sa_handler = onSignal;
        ::sigaction(SIGTERM, &action, nullptr);
        ::sigaction(SIGINT, &action, nullptr);
    }
    auto *busCheck = new QTimer(&app);
    // Said once: a program may take a while to end (closing what it showed) with the timer going.
    QObject::connect(busCheck, &QTimer::timeout, &app, [&app, busCheck, program, connection, sessionToo] {
        if (sessionToo && !QDBusConnection::sessionBus().isConnected()) {
            qCWarning(lcLifetime, "%s: the session bus is gone; ending", program);
            busCheck->stop();
            app.quit();
        } else if (!connection.isEmpty() && !QDBusConnection(connection).isConnected()) {
            qCWarning(lcLifetime, "%s: the bus at --address is gone; ending", program);
            busCheck->stop();
            app.quit();
        }
    });
    busCheck->start(1000);
}
