// SPDX-License-Identifier: MIT
#include "Lifetime.h"
#include "TransferService.h"
#include "ZavVersion.h"

#include <QCommandLineParser>
#include <QHash>
#include <QCoreApplication>
#include <QDBusConnection>
#include <QTimer>

#include <cstdio>
#include <malloc.h>

namespace {

// "64M", "512k", "1G" or a plain number of bytes; -1 when it is none of these.
qint64 parseSize(const QString &text)
{
    static const QString units = QStringLiteral("KMG");
    QString digits = text.trimmed().toUpper();
    qint64 factor = 1;
    if (const qsizetype unit = units.indexOf(digits.right(1)); !digits.isEmpty() && unit >= 0) {
        factor = qint64(1) << (10 * (unit + 1));
        digits.chop(1);
    }
    bool ok = false;
    const qint64 value = digits.toLongLong(&ok);
    return ok && value > 0 && value <= std::numeric_limits<qint64>::max() / factor ? value * factor : -1;
}

bool parseCount(const QCommandLineParser &parser, const QCommandLineOption &option, int *value)
{
    bool ok = false;
    *value = parser.value(option).toInt(&ok);
    if (ok && *value >= 0)
        return true;
    std::fprintf(stderr, "zav-service: --%s needs a whole number of 0 or more\n", qPrintable(option.names().first()));
    return false;
}
} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("zav-service"));
    QCoreApplication::setApplicationVersion(QLatin1String(Zav::Version));

    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("The reference transfer-status service: keeps the transfers that programs register on the "
                       "session bus (name com.kelvo.zav) and passes requests from zavctl to their owners."));
    parser.addHelpOption();
    parser.addVersionOption();
    const QCommandLineOption journal(
        QStringLiteral("journal"), QStringLiteral("Append one JSON line per call received and request sent to <file>."),
        QStringLiteral("file"));
    const QCommandLineOption journalMaxSize(
        QStringLiteral("journal-max-size"),
        QStringLiteral("Move the journal aside to <file>.1 (replacing it) and begin a new one when it would grow past "
                       "<size> bytes; K, M and G suffixes allowed (default 64M)."),
        QStringLiteral("size"), QStringLiteral("64M"));
    const QCommandLineOption maxTransfers(QStringLiteral("max-transfers"),
                                          QStringLiteral("Refuse registrations beyond <n> live transfers (default %1).")
                                              .arg(TransferService::Limits::DefaultMaxTransfers),
                                          QStringLiteral("n"),
                                          QString::number(TransferService::Limits::DefaultMaxTransfers));
    const QCommandLineOption maxPerClient(
        QStringLiteral("max-transfers-per-client"),
        QStringLiteral("Refuse registrations beyond <n> live transfers of one bus connection (default %1).")
            .arg(TransferService::Limits::DefaultMaxPerClient),
        QStringLiteral("n"), QString::number(TransferService::Limits::DefaultMaxPerClient));
    const QCommandLineOption maxTextBytes(
        QStringLiteral("max-text-bytes"),
        QStringLiteral("Refuse a change or registration that would make all transfers' texts take more than <size> "
                       "bytes (their UTF-8 bytes; K, M and G suffixes allowed; default 64M)."),
        QStringLiteral("size"), QStringLiteral("64M"));
    const QCommandLineOption maxTextBytesPerClient(
        QStringLiteral("max-text-bytes-per-client"),
        QStringLiteral("The same for the transfers of one bus connection (default 8M)."), QStringLiteral("size"),
        QStringLiteral("8M"));
    const QCommandLineOption maxPendingRemovals(
        QStringLiteral("max-pending-removals"),
        QStringLiteral("Keep at most <n> removals for a watcher that has not fetched them; past that it lists every "
                       "transfer again (default %1).")
            .arg(TransferService::Limits::DefaultMaxPendingRemovals),
        QStringLiteral("n"), QString::number(TransferService::Limits::DefaultMaxPendingRemovals));
    // Breaks one rule of the contract, so that the suite sees `zavctl conform` name it; not for use.
    QCommandLineOption testFault(QStringLiteral("test-fault"), QStringLiteral("Test only."), QStringLiteral("fault"));
    testFault.setFlags(QCommandLineOption::HiddenFromHelp);
    parser.addOptions({journal, journalMaxSize, maxTransfers, maxPerClient, maxTextBytes, maxTextBytesPerClient,
                       maxPendingRemovals, testFault});
    parser.process(app);

    TransferService::Limits limits;
    if (!parseCount(parser, maxTransfers, &limits.maxTransfers)
        || !parseCount(parser, maxPerClient, &limits.maxPerClient)
        || !parseCount(parser, maxPendingRemovals, &limits.maxPendingRemovals))
        return 2;
    limits.maxTextBytes = parseSize(parser.value(maxTextBytes));
    limits.maxTextBytesPerClient = parseSize(parser.value(maxTextBytesPerClient));
    if (limits.maxTextBytes < 0 || limits.maxTextBytesPerClient < 0) {
        std::fprintf(
            stderr,
            "zav-service: --max-text-bytes and --max-text-bytes-per-client need a size such as 65536, 64K or 8M\n");
        return 2;
    }
    std::unique_ptr<ServiceRules> rules;
    if (parser.isSet(testFault)) {
        rules = ServiceRules::withBroken(parser.value(testFault));
        if (!rules) {
            std::fprintf(stderr, "zav-service: no fault \"%s\"\n", qPrintable(parser.value(testFault)));
            return 2;
        }
    }
    const qint64 journalCap = parseSize(parser.value(journalMaxSize));
    if (journalCap < 0) {
        std::fprintf(stderr, "zav-service: --journal-max-size needs a size such as 1048576, 512K or 64M\n");
        return 2;
    }

    // Signals end the event loop, so that the journal is written out on the way; a service
    // started by the bus ends with it.
    endWithSignalsAndBus(app, "zav-service");

    TransferService service(QDBusConnection::sessionBus(), limits, std::move(rules));
    if (parser.isSet(journal) && !service.openJournal(parser.value(journal), journalCap)) {
        std::fprintf(stderr, "zav-service: cannot open the journal %s\n", qPrintable(parser.value(journal)));
        return 1;
    }
    // The memory of transfers gone, and of the calls that brought texts, goes back to the system
    // a second after the last of a burst: the allocator keeps it otherwise.
    QTimer trim;
    trim.setSingleShot(true);
    trim.setInterval(1000);
    QObject::connect(&trim, &QTimer::timeout, [] { ::malloc_trim(0); });
    QObject::connect(&service, &TransferService::memoryFreed, &trim, [&trim] {
        if (!trim.isActive())
            trim.start();
    });
    QString error;
    if (!service.start(&error)) {
        std::fprintf(stderr, "zav-service: %s\n", qPrintable(error));
        return 1;
    }
    std::fprintf(stdout, "zav-service: serving com.kelvo.zav\n");
    std::fflush(stdout);
    return app.exec();
}
