// SPDX-License-Identifier: MIT
#include "DesktopBridge.h"
#include "Lifetime.h"
#include "NotificationBackend.h"
#include "ZavBusAddress.h"
#include "ZavVersion.h"
#include "ZavVocabulary.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusError>

#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>

#include <cstdio>

namespace {
// zavctl watch in the desktop's terminal, for the summary's button: zavctl beside this program
// (installed, or in its build tree) or on the PATH, and the terminal Debian's alternatives name.
QStringList watchInATerminal(const QByteArray &address)
{
    const QString here = QCoreApplication::applicationDirPath();
    QString zavctl;
    for (const QString &candidate : {here + QStringLiteral("/zavctl"), here + QStringLiteral("/../ctl/zavctl")}) {
        if (QFileInfo(candidate).isExecutable()) {
            zavctl = QFileInfo(candidate).canonicalFilePath();
            break;
        }
    }
    if (zavctl.isEmpty())
        zavctl = QStandardPaths::findExecutable(QStringLiteral("zavctl"));
    QString terminal = QStandardPaths::findExecutable(QStringLiteral("x-terminal-emulator"));
    if (terminal.isEmpty())
        terminal = QStandardPaths::findExecutable(QStringLiteral("xterm"));
    if (zavctl.isEmpty() || terminal.isEmpty())
        return {};
    QStringList command {terminal, QStringLiteral("-e"), zavctl};
    if (!address.isEmpty())
        command << QStringLiteral("--address") << QString::fromUtf8(address);
    return command << QStringLiteral("watch");
}
} // namespace

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
    const QCommandLineOption maxShown(
        QStringLiteral("max-notifications"),
        QStringLiteral("Show at most N notifications (at least 2; default %1): past that, the failures and the newest "
                       "running transfers keep their own and one more notification sums up the rest.")
            .arg(NotificationBackend::DefaultMaxShown),
        QStringLiteral("N"));
    const QCommandLineOption summaryCommand(
        QStringLiteral("summary-command"),
        QStringLiteral(
            "What the summary's \"Show all\" button runs (default: zavctl watch in a terminal, when both are "
            "installed; an empty text for no button). Arguments with spaces go in double quotes."),
        QStringLiteral("COMMAND"));
    parser.addOptions({maxShown, summaryCommand});
    parser.process(app);
    int max = NotificationBackend::DefaultMaxShown;
    if (parser.isSet(maxShown)) {
        bool ok = false;
        max = parser.value(maxShown).toInt(&ok);
        if (!ok || max < 2) {
            std::fprintf(stderr, "zav-desktop: --max-notifications takes a whole number of at least 2, not \"%s\"\n",
                         qPrintable(Zav::printable(parser.value(maxShown).left(40))));
            return 2;
        }
    }

    // Buses that do not answer are said within seconds (the bus library would wait 25 s).
    for (const QByteArray &at : {qgetenv("DBUS_SESSION_BUS_ADDRESS"), *address}) {
        if (const QString why = ZavBus::unanswered(at); !why.isEmpty()) {
            std::fprintf(stderr, "zav-desktop: the bus at %s cannot be used: %s\n",
                         qPrintable(Zav::printable(QString::fromUtf8(at).left(200))), qPrintable(why));
            return 1;
        }
    }
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) {
        std::fprintf(stderr, "zav-desktop: no session bus: %s\n", qPrintable(bus.lastError().message()));
        return 1;
    }
    const QString remote = address->isEmpty() ? QString() : QStringLiteral("zav-service-bus");
    QDBusConnection serviceBus = remote.isEmpty() ? bus
                                                  : QDBusConnection::connectToBus(QString::fromUtf8(*address), remote);
    if (!serviceBus.isConnected()) {
        // Both as printable text: a mistyped address may hold anything, terminal controls too.
        std::fprintf(stderr, "zav-desktop: cannot reach the bus at %s: %s\n",
                     qPrintable(Zav::printable(QString::fromUtf8(*address).left(200))),
                     qPrintable(Zav::printable(serviceBus.lastError().message())));
        return 1;
    }
    endWithSignalsAndBus(app, "zav-desktop", remote);
    NotificationBackend notifications(bus);
    notifications.setMaxShown(max);
    notifications.setSummaryCommand(parser.isSet(summaryCommand) ? QProcess::splitCommand(parser.value(summaryCommand))
                                                                 : watchInATerminal(*address));
    DesktopBridge bridge(serviceBus, &notifications);
    std::fprintf(stdout, "zav-desktop: showing transfers as desktop notifications\n");
    std::fflush(stdout);
    // Leaving closes the notifications it made (the backend's destructor).
    return app.exec();
}
