#include "TransferService.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDBusConnection>
#include <QTimer>

#include <cstdio>

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("zav-service"));
    QCoreApplication::setApplicationVersion(QStringLiteral("0.1"));

    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("The reference transfer-status service: keeps the transfers that programs register on the "
                       "session bus (name com.kelvo.zav) and passes requests from zavctl to their owners."));
    parser.addHelpOption();
    parser.addVersionOption();
    const QCommandLineOption journal(
        QStringLiteral("journal"), QStringLiteral("Append one JSON line per call received and request sent to <file>."),
        QStringLiteral("file"));
    const QCommandLineOption maxTransfers(
        QStringLiteral("max-transfers"),
        QStringLiteral("Refuse registrations beyond <n> live transfers (default 10000)."), QStringLiteral("n"),
        QStringLiteral("10000"));
    parser.addOption(journal);
    parser.addOption(maxTransfers);
    parser.process(app);

    TransferService::Limits limits;
    bool ok = false;
    limits.maxTransfers = parser.value(maxTransfers).toInt(&ok);
    if (!ok || limits.maxTransfers < 0) {
        std::fprintf(stderr, "zav-service: --max-transfers needs a whole number of 0 or more\n");
        return 2;
    }

    TransferService service(QDBusConnection::sessionBus(), limits);
    if (parser.isSet(journal) && !service.openJournal(parser.value(journal))) {
        std::fprintf(stderr, "zav-service: cannot open the journal %s\n", qPrintable(parser.value(journal)));
        return 1;
    }
    QString error;
    if (!service.start(&error)) {
        std::fprintf(stderr, "zav-service: %s\n", qPrintable(error));
        return 1;
    }
    // Started by the bus, the service ends with it: nothing is left to serve, and a service left
    // behind would hold open whatever its bus gave it.
    QTimer busCheck;
    QObject::connect(&busCheck, &QTimer::timeout, &app, [&app] {
        if (!QDBusConnection::sessionBus().isConnected()) {
            std::fprintf(stderr, "zav-service: the session bus is gone; ending\n");
            app.quit();
        }
    });
    busCheck.start(1000);
    std::fprintf(stdout, "zav-service: serving com.kelvo.zav\n");
    std::fflush(stdout);
    return app.exec();
}
