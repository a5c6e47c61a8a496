// The cost of the client library on the update path: setters per second until the service has
// applied the last one, and the latency of one update, each beside raw QDBusConnection::send of
// the same messages in the same run.
#include "TestBus.h"

#include <zav/ZavClient.h>

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QElapsedTimer>

#include <algorithm>
#include <cstdio>

namespace {
struct Raw
{
    QString owner;
    QString id;
    void setProgress(float done) const
    {
        QDBusMessage call = QDBusMessage::createMethodCall(owner, QStringLiteral("/com/kelvo/zav"),
                                                           QStringLiteral("com.kelvo.zav.Transfers"),
                                                           QStringLiteral("setProgress"));
        call.setAutoStartService(false);
        call << id << double(done);
        QDBusConnection::sessionBus().send(call);
    }
};

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

double percentile(std::vector<double> values, double p)
{
    std::sort(values.begin(), values.end());
    return values[std::min(values.size() - 1, size_t(p * double(values.size())))];
}

QString ownerOfService()
{
    return QDBusConnection::sessionBus().interface()->serviceOwner(QStringLiteral("com.kelvo.zav"));
}
} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const int calls = argc > 1 ? atoi(argv[1]) : 50000;
    const int rounds = 5;
    const int pings = 2000;

    TestBus bus;
    if (!bus.start() || !bus.startService({}, false)) {
        std::fprintf(stderr, "bench_update: cannot start the bus and the service\n");
        return 1;
    }
    Zav::Client client;
    if (!client.init())
        return 1;
    Zav::Transfer *transfer = client.registerTransfer(QStringLiteral("bench"), Zav::Client::Download);
    if (!transfer)
        return 1;
    const Raw raw {ownerOfService(), transfer->id()};

    // Throughput: rounds alternate between the two so that both see the same machine.
    std::vector<double> libraryRates, rawRates;
    for (int round = 0; round < rounds; ++round) {
        QElapsedTimer clock;
        clock.start();
        for (int i = 0; i < calls; ++i)
            raw.setProgress(float(i) / float(calls));
        bus.sync();
        rawRates.push_back(calls / (clock.nsecsElapsed() / 1e9));

        clock.start();
        for (int i = 0; i < calls; ++i)
            transfer->setProgress(float(i) / float(calls));
        bus.sync();
        libraryRates.push_back(calls / (clock.nsecsElapsed() / 1e9));
    }

    // Latency of one update: sent, then a round trip that returns once it has been applied.
    std::vector<double> libraryLatency, rawLatency;
    for (int i = 0; i < pings; ++i) {
        QElapsedTimer clock;
        clock.start();
        raw.setProgress(0.5f);
        bus.sync();
        rawLatency.push_back(clock.nsecsElapsed() / 1e3);
        clock.start();
        transfer->setProgress(0.5f);
        bus.sync();
        libraryLatency.push_back(clock.nsecsElapsed() / 1e3);
    }

    const double libRate = median(libraryRates), rawRate = median(rawRates);
    std::printf("%-36s %14s %14s %8s\n", "measure", "library", "raw send", "ratio");
    std::printf("%-36s %14.0f %14.0f %8.2f\n", "updates/s until applied (median)", libRate, rawRate, rawRate / libRate);
    std::printf("%-36s %14.1f %14.1f %8.2f\n", "latency of one update, median (us)", median(libraryLatency),
                median(rawLatency), median(libraryLatency) / median(rawLatency));
    std::printf("%-36s %14.1f %14.1f %8.2f\n", "latency of one update, p99 (us)", percentile(libraryLatency, 0.99),
                percentile(rawLatency, 0.99), percentile(libraryLatency, 0.99) / percentile(rawLatency, 0.99));
    std::printf("(%d calls per round, %d rounds; ratio = library cost / raw cost, 1.00 = no overhead)\n", calls,
                rounds);
    return 0;
}
