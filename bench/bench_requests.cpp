// SPDX-License-Identifier: MIT
// The app under a flood of requests from a service that misbehaves: a program of ours owns the
// service's name, registers what it is asked to, and then sends 100,000 cancel requests for the
// app's transfers as fast as the bus takes them. Measured: the longest pause of the app's event
// loop (a 5 ms timer that should keep ticking), the highest resident memory above the start, and
// how long until every request was handled; the baseline is a bare client that counts the same
// requests and does nothing else, in the same run, interleaved.
#include "BenchUtil.h"
#include "TestBus.h"
#include "ZAVTestShowTransferPage.h"
#include "ZavBusNames.h"
#include "logger.h"

#include <MApplication.h>
#include <MApplicationWindow.h>

#include <zav/ZavClient.h>

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusVirtualObject>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTest>
#include <QTimer>

#include <cstdio>

using namespace Bench;

namespace {
constexpr int Requests = 100000;
constexpr int Transfers = 10;
constexpr char FloodMethod[] = "flood";

// Registers whatever it is asked to (ids 1, 2, ...) and, when called with flood(N), sends N
// cancel requests to the caller for the last transfers it registered, without pause.
class HostileService : public QDBusVirtualObject
{
public:
    QString introspect(const QString &) const override { return QString(); }
    bool handleMessage(const QDBusMessage &message, const QDBusConnection &connection) override
    {
        const QString member = message.member();
        QDBusConnection bus(connection);
        if (member == QLatin1String(ZavBus::Transfers::ping)) {
            bus.send(message.createReply(QStringLiteral("hostile")));
        } else if (member == QLatin1String(ZavBus::Transfers::registerTransfer)) {
            m_ids.append(QString::number(m_ids.size() + 1));
            bus.send(message.createReply(m_ids.constLast()));
        } else if (member == QLatin1String(FloodMethod)) {
            bus.send(message.createReply());
            const int count = message.arguments().value(0).toInt();
            const QList<QString> ids = m_ids.mid(qMax(0, m_ids.size() - Transfers));
            for (int i = 0; i < count && !ids.isEmpty(); ++i) {
                QDBusMessage request = QDBusMessage::createTargetedSignal(
                    message.service(), QLatin1String(ZavBus::ObjectPath), QLatin1String(ZavBus::TransfersInterface),
                    QLatin1String(ZavBus::Transfers::request));
                request << ids.at(i % ids.size()) << QStringLiteral("cancel");
                bus.send(request);
            }
        } else if (message.isReplyRequired()) {
            bus.send(message.createErrorReply(QDBusError::UnknownMethod, member));
        }
        return true;
    }

private:
    QList<QString> m_ids;
};

double residentKiB()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').value(0).toDouble();
    }
    return 0;
}

struct Run
{
    double longestPauseMs = 0;
    double memoryKiB = 0;
    double drainMs = 0;
};

// Floods `client`'s connection and watches the event loop until every request has come in.
Run flood(Zav::Client *client)
{
    int delivered = 0;
    QList<QMetaObject::Connection> counting;
    for (auto signal : {&Zav::Client::cancelTransfer, &Zav::Client::startTransfer})
        counting << QObject::connect(client, signal, client, [&delivered] { ++delivered; });
    Run run;
    const double before = residentKiB();
    QElapsedTimer sinceTick, total;
    QTimer ticker;
    ticker.setInterval(5);
    QObject::connect(&ticker, &QTimer::timeout, [&] {
        run.longestPauseMs = std::max(run.longestPauseMs, double(sinceTick.nsecsElapsed()) / 1e6);
        run.memoryKiB = std::max(run.memoryKiB, residentKiB() - before);
        sinceTick.start();
    });
    QDBusMessage call = QDBusMessage::createMethodCall(
        QLatin1String(ZavBus::ServiceName), QLatin1String(ZavBus::ObjectPath),
        QLatin1String(ZavBus::TransfersInterface), QLatin1String(FloodMethod));
    call << Requests;
    QDBusConnection::sessionBus().asyncCall(call);
    sinceTick.start();
    total.start();
    ticker.start();
    // Every request delivered, and whatever the handlers queued handled too.
    const bool all = QTest::qWaitFor([&] { return delivered >= Requests; }, 120000);
    QTest::qWait(500);
    run.drainMs = double(total.elapsed()) - 500;
    ticker.stop();
    for (const auto &c : counting)
        QObject::disconnect(c);
    if (!all)
        std::fprintf(stderr, "only %d of %d requests arrived\n", delivered, Requests);
    return run;
}

Run appRun()
{
    ZAVTestShowTransferPage page;
    page.appear();
    for (int i = 0; i < Transfers; ++i)
        page.addTransfer(QStringLiteral("Download"), QStringLiteral("Transfer %1").arg(i + 1),
                         QStringLiteral("Transfer Message 2"), QString(), QStringLiteral("Active"), QString(),
                         QStringLiteral("2048"), QStringLiteral("0"), false);
    (void)QTest::qWaitFor([&page] { return page.registeringCount() == 0; }, 10000);
    return flood(page.serviceClient());
}

Run bareRun()
{
    Zav::Client client;
    client.init();
    for (int i = 0; i < Transfers; ++i)
        client.registerTransfer(QStringLiteral("Transfer %1").arg(i + 1), Zav::Client::Download);
    return flood(&client);
}
} // namespace

int main(int argc, char **argv)
{
    if (argc > 1 && qstrcmp(argv[1], "--hostile-service") == 0) {
        QCoreApplication app(argc, argv);
        HostileService service;
        QDBusConnection bus = QDBusConnection::sessionBus();
        if (!bus.registerVirtualObject(QLatin1String(ZavBus::ObjectPath), &service)
            || !bus.registerService(QLatin1String(ZavBus::ServiceName)))
            return 1;
        return app.exec();
    }
    TestBus bus;
    if (!bus.start())
        return 1;
    QProcess hostile;
    hostile.setProcessChannelMode(QProcess::ForwardedChannels);
    hostile.start(QString::fromLocal8Bit(argv[0]), {QStringLiteral("--hostile-service")});
    MApplication app(argc, argv);
    if (!QTest::qWaitFor(
            [] {
                return QDBusConnection::sessionBus().interface()->isServiceRegistered(
                    QLatin1String(ZavBus::ServiceName));
            },
            10000))
        return 1;
    // The app as it ships: its log on.
    Logger logger(QStringLiteral("ZAVTestAppBench"), QString());
    MApplicationWindow window;
    window.show();

    Figure appPause, barePause, appMemory, bareMemory, appDrain, bareDrain;
    for (int round = 0; round < 3; ++round) {
        const Run a = appRun();
        const Run b = bareRun();
        appPause.samples.push_back(a.longestPauseMs);
        appMemory.samples.push_back(a.memoryKiB);
        appDrain.samples.push_back(a.drainMs);
        barePause.samples.push_back(b.longestPauseMs);
        bareMemory.samples.push_back(b.memoryKiB);
        bareDrain.samples.push_back(b.drainMs);
    }
    std::printf("%d cancel requests from a hostile service, medians of 3 interleaved runs\n", Requests);
    std::printf("%-44s %12s %12s\n", "", "app", "bare client");
    std::printf("%-44s %12.0f %12.0f\n", "longest event-loop pause (ms)", appPause.median(), barePause.median());
    std::printf("%-44s %12.0f %12.0f\n", "highest resident memory above start (KiB)", appMemory.median(),
                bareMemory.median());
    std::printf("%-44s %12.0f %12.0f\n", "until every request was handled (ms)", appDrain.median(), bareDrain.median());
    hostile.kill();
    hostile.waitForFinished();
    return 0;
}
