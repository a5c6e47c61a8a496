// SPDX-License-Identifier: MIT
// The client library and the service, each beside a baseline of the same run:
//   the library's setter   beside raw QDBusConnection::send of the same message and beside a raw
//                          libdbus sender (the floor), CPU per call in the sending process;
//   the service            CPU per update with its journal and without, and with and without a
//                          watcher and with 200 that never fetch, 1,000 transfers changing;
//                          500 programs leaving at once, alone and beside 9,000 transfers
//                          (CPU per departure); listing 50,000 transfers (time of
//                          zavctl list, memory of zavctl list --json); registration rate at
//                          1,000 transfers and at 50,000.
#include "ZavBusNames.h"
#include "BenchUtil.h"
#include "TestBus.h"

#include <zav/ZavClient.h>

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QElapsedTimer>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QThread>

#include <sys/resource.h>

#ifdef ZAV_HAVE_LIBDBUS
#include <dbus/dbus.h>
#endif

using namespace Bench;

namespace {
const QString Service = QLatin1String(ZavBus::ServiceName);
const QString Path = QLatin1String(ZavBus::ObjectPath);
const QString Transfers = QLatin1String(ZavBus::TransfersInterface);

QDBusMessage setProgressMessage(const QString &id, double done)
{
    QDBusMessage call = QDBusMessage::createMethodCall(Service, Path, Transfers,
                                                       QLatin1String(ZavBus::Transfers::setProgress));
    call << id << done;
    return call;
}

QString registerRaw(const QDBusConnection &bus, const QString &name)
{
    QDBusMessage call = QDBusMessage::createMethodCall(Service, Path, Transfers,
                                                       QLatin1String(ZavBus::Transfers::registerTransfer));
    call << name << 2 << QStringLiteral("bench");
    return QDBusConnection(bus).call(call, QDBus::Block, 10000).arguments().value(0).toString();
}

#ifdef ZAV_HAVE_LIBDBUS
// A sender written straight on libdbus, on a connection of its own: what one message costs
// without any binding.
class LibDBusSender
{
public:
    bool open(const QString &address)
    {
        DBusError error;
        dbus_error_init(&error);
        m_connection = dbus_connection_open_private(address.toUtf8().constData(), &error);
        if (!m_connection || !dbus_bus_register(m_connection, &error)) {
            dbus_error_free(&error);
            return false;
        }
        DBusMessage *call = dbus_message_new_method_call(
            ZavBus::ServiceName, ZavBus::ObjectPath, ZavBus::TransfersInterface, ZavBus::Transfers::registerTransfer);
        const char *name = "libdbus";
        const char *client = "bench";
        dbus_int32_t type = 2;
        dbus_message_append_args(call, DBUS_TYPE_STRING, &name, DBUS_TYPE_INT32, &type, DBUS_TYPE_STRING, &client,
                                 DBUS_TYPE_INVALID);
        DBusMessage *reply = dbus_connection_send_with_reply_and_block(m_connection, call, 10000, &error);
        dbus_message_unref(call);
        const char *id = nullptr;
        if (reply && dbus_message_get_args(reply, &error, DBUS_TYPE_STRING, &id, DBUS_TYPE_INVALID))
            m_id = id;
        if (reply)
            dbus_message_unref(reply);
        dbus_error_free(&error);
        return !m_id.isEmpty();
    }
    ~LibDBusSender()
    {
        if (m_connection) {
            dbus_connection_close(m_connection);
            dbus_connection_unref(m_connection);
        }
    }
    void setProgress(double done)
    {
        DBusMessage *call = dbus_message_new_method_call(ZavBus::ServiceName, ZavBus::ObjectPath,
                                                         ZavBus::TransfersInterface, ZavBus::Transfers::setProgress);
        const QByteArray id = m_id.toUtf8();
        const char *idText = id.constData();
        dbus_message_append_args(call, DBUS_TYPE_STRING, &idText, DBUS_TYPE_DOUBLE, &done, DBUS_TYPE_INVALID);
        // As QDBusConnection::send marks its calls: no answer wanted.
        dbus_message_set_no_reply(call, TRUE);
        dbus_connection_send(m_connection, call, nullptr);
        dbus_connection_flush(m_connection);
        dbus_message_unref(call);
    }

private:
    DBusConnection *m_connection = nullptr;
    QString m_id;
};
#endif

// Starts the service and waits until it answers.
qint64 startService(TestBus &bus, const QStringList &arguments, bool journal)
{
    bus.startService(arguments, journal);
    bus.sync();
    return QDBusConnection::sessionBus().interface()->servicePid(Service).value();
}

void libraryFigures(TestBus &bus, int rounds, int count)
{
    startService(bus, {}, false);
    Zav::Client client;
    client.init();
    Zav::Transfer *transfer = client.registerTransfer(QStringLiteral("library"), Zav::Client::Sync);
    const QString rawId = registerRaw(QDBusConnection::sessionBus(), QStringLiteral("raw"));
    std::vector<Variant> variants {
        {"raw QDBusConnection::send",
         [&](int n) {
             const double start = processCpu();
             for (int i = 0; i < n; ++i)
                 QDBusConnection::sessionBus().send(setProgressMessage(rawId, (i % 100) / 100.0));
             bus.sync();
             return processCpu() - start;
         }},
        {"Zav::Transfer::setProgress",
         [&](int n) {
             const double start = processCpu();
             for (int i = 0; i < n; ++i)
                 transfer->setProgress(float(i % 100) / 100.0f);
             bus.sync();
             return processCpu() - start;
         }},
    };
#ifdef ZAV_HAVE_LIBDBUS
    LibDBusSender libdbus;
    if (libdbus.open(bus.address())) {
        variants.insert(variants.begin(), Variant("raw libdbus send (the floor)", [&](int n) {
                            const double start = processCpu();
                            for (int i = 0; i < n; ++i)
                                libdbus.setProgress((i % 100) / 100.0);
                            return processCpu() - start;
                        }));
    }
#endif
    interleave(variants, rounds, count, [&] {
        bus.sync();
        QThread::msleep(50);
        QCoreApplication::processEvents();
    });
    header("== client library: CPU per call in the sending process");
    const Variant &qtRaw = variants[variants.size() - 2];
    for (const Variant &variant : variants)
        line(variant.name, variant.perOp, &qtRaw.perOp, &variant == &variants.back() ? 1.5 : 0);

    // Above, a flood: past its few awaited answers the library sends as a raw send does. Here
    // every answer is awaited and taken (the loop runs until none is left every 16 calls), as
    // for a tester's changes; the raw sender runs the loop as often.
    const QStringList progress {QLatin1String(ZavBus::Transfers::setProgress)};
    std::vector<Variant> answered {
        {"raw send, event loop every 16 calls",
         [&](int n) {
             const double start = processCpu();
             for (int i = 0; i < n; ++i) {
                 QDBusConnection::sessionBus().send(setProgressMessage(rawId, (i % 100) / 100.0));
                 if (i % 16 == 15)
                     QCoreApplication::processEvents();
             }
             bus.sync();
             return processCpu() - start;
         }},
        {"setProgress, every answer awaited",
         [&](int n) {
             const double start = processCpu();
             for (int i = 0; i < n; ++i) {
                 transfer->setProgress(float(i % 100) / 100.0f);
                 while (i % 16 == 15 && transfer->changesInFlight(progress) > 0)
                     QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
             }
             return processCpu() - start;
         }},
    };
    interleave(answered, rounds, count, [&] { bus.sync(); });
    // Not held to the target: an awaited change is two messages, the change and its answer.
    line(answered[0].name, answered[0].perOp, &answered[0].perOp, 0);
    line(answered[1].name, answered[1].perOp, &answered[0].perOp, 0);
}

void serviceUpdateFigures(TestBus &bus, int rounds, int count)
{
    // Each block: a fresh service, 1,000 transfers, `count` updates round-robin; the service's
    // own CPU for the updates is counted.
    const auto block = [&](const QStringList &arguments, bool journal, bool watched, int idle = 0) {
        const qint64 pid = startService(bus, arguments, journal);
        const QDBusConnection connection = QDBusConnection::sessionBus();
        QStringList ids;
        for (int i = 0; i < 1000; ++i)
            ids << registerRaw(connection, QStringLiteral("t%1").arg(i));
        QProcess watcher;
        if (watched) {
            QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
            env.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), bus.address());
            watcher.setProcessEnvironment(env);
            watcher.setStandardOutputFile(QProcess::nullDevice());
            watcher.start(QStringLiteral(ZAVCTL_BIN), {QStringLiteral("watch")});
            watcher.waitForStarted();
            QThread::msleep(300);
        }
        QStringList idlers;
        for (int i = 0; i < idle; ++i) {
            idlers << QStringLiteral("idle%1").arg(i);
            QDBusMessage watch = QDBusMessage::createMethodCall(Service, Path, QLatin1String(ZavBus::ControlInterface),
                                                                QLatin1String(ZavBus::Control::setWatching));
            watch << true;
            QDBusConnection::connectToBus(bus.address(), idlers.last()).call(watch);
        }
        bus.sync();
        QThread::msleep(100);
        const double before = processCpu(pid);
        for (int i = 0; i < count; ++i) {
            connection.send(setProgressMessage(ids.at(i % ids.size()), (i % 100) / 100.0));
            if (i % 200 == 199)
                QThread::usleep(2000); // a steady flow, as from a program, with notices in between
        }
        bus.sync();
        QThread::msleep(150); // the last notices and the journal's last write
        const double cpu = processCpu(pid) - before;
        for (const QString &name : std::as_const(idlers))
            QDBusConnection::disconnectFromBus(name);
        watcher.kill();
        watcher.waitForFinished();
        return cpu;
    };
    std::vector<Variant> variants {
        {"service, no journal, not watched", [&](int) { return block({}, false, false); }},
        {"service, journal, not watched", [&](int) { return block({}, true, false); }},
        {"service, journal, watched by zavctl watch", [&](int) { return block({}, true, true); }},
        {"service, journal, zavctl watch and 200 never fetching", [&](int) { return block({}, true, true, 200); }},
    };
    interleave(variants, rounds, count, [] {});
    header("== service: CPU per update (1,000 transfers changing, in the service)");
    line(variants[0].name, variants[0].perOp);
    line(variants[1].name, variants[1].perOp, &variants[0].perOp, 1.2);
    line(variants[2].name, variants[2].perOp, &variants[1].perOp);
    line(variants[3].name, variants[3].perOp, &variants[2].perOp, 1.2);
}

void serviceDepartureFigures(TestBus &bus, int rounds)
{
    // 500 programs of one transfer each leave at once, eight times over; the service's CPU until
    // it has forgotten them, alone and beside 9,000 transfers of a program that stays.
    constexpr int Leaving = 500;
    constexpr int Waves = 8;
    const auto block = [&](int others) {
        const qint64 pid = startService(bus, {QStringLiteral("--max-transfers-per-client"), QStringLiteral("10000")},
                                        true);
        const QDBusConnection stays = QDBusConnection::sessionBus();
        QDBusMessage call = QDBusMessage::createMethodCall(Service, Path, Transfers,
                                                           QLatin1String(ZavBus::Transfers::registerTransfer));
        call << QStringLiteral("stays") << 2 << QString();
        for (int i = 1; i <= others; ++i)
            i % 100 ? void(stays.asyncCall(call)) : void(QDBusConnection(stays).call(call));
        const QDBusMessage status = QDBusMessage::createMethodCall(
            Service, Path, QLatin1String(ZavBus::ControlInterface), QLatin1String(ZavBus::Control::status));
        const auto transfers = [&] {
            const QString json = QDBusConnection(stays).call(status).arguments().value(0).toString();
            return QJsonDocument::fromJson(json.toUtf8()).object().value(QStringLiteral("transfers")).toInt(-1);
        };
        double cpu = 0;
        for (int wave = 0; wave < Waves; ++wave) {
            QStringList names;
            for (int i = 0; i < Leaving; ++i) {
                names << QStringLiteral("leaving%1").arg(i);
                registerRaw(QDBusConnection::connectToBus(bus.address(), names.last()), names.last());
            }
            bus.sync();
            QThread::msleep(100);
            const double before = processCpu(pid);
            for (const QString &name : std::as_const(names))
                QDBusConnection::disconnectFromBus(name);
            while (transfers() != others)
                QThread::msleep(10);
            cpu += processCpu(pid) - before;
        }
        return cpu;
    };
    std::vector<Variant> variants {
        {"500 leave, alone", [&](int) { return block(0); }},
        {"500 leave, beside 9,000 transfers", [&](int) { return block(9000); }},
    };
    interleave(variants, rounds, Leaving * Waves, [] {});
    header("== service: CPU per departure (500 programs of one transfer leaving at once, 8 times)");
    line(variants[0].name, variants[0].perOp);
    line(variants[1].name, variants[1].perOp, &variants[0].perOp, 1.5);
}

void serviceScaleFigures(TestBus &bus, int total)
{
    const QString limit = QString::number(total + 1000);
    startService(bus, {QStringLiteral("--max-transfers"), limit, QStringLiteral("--max-transfers-per-client"), limit},
                 false);
    const QDBusConnection connection = QDBusConnection::sessionBus();
    Figure first, last;
    for (int batch = 0; batch < total / 1000; ++batch) {
        QElapsedTimer clock;
        clock.start();
        for (int i = 0; i < 1000; ++i)
            registerRaw(connection, QStringLiteral("Transfer %1 of a long list").arg(batch * 1000 + i));
        const double perSecond = 1000 / (clock.nsecsElapsed() / 1e9);
        (batch < 3 ? first : last).samples.push_back(perSecond);
        if (batch >= 3 && batch < total / 1000 - 3)
            last.samples.clear();
    }
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), bus.address());
    Figure listTime, jsonMemory;
    for (int run = 0; run < 3; ++run) {
        QProcess list;
        list.setProcessEnvironment(env);
        list.setStandardOutputFile(QProcess::nullDevice());
        QElapsedTimer clock;
        clock.start();
        list.start(QStringLiteral(ZAVCTL_BIN), {QStringLiteral("list")});
        list.waitForFinished(60000);
        listTime.samples.push_back(clock.nsecsElapsed() / 1e6);
        QProcess json;
        json.setProcessEnvironment(env);
        json.setStandardOutputFile(QProcess::nullDevice());
        json.start(QStringLiteral(ZAVCTL_BIN), {QStringLiteral("list"), QStringLiteral("--json")});
        json.waitForFinished(60000);
        rusage children {};
        getrusage(RUSAGE_CHILDREN, &children);
        jsonMemory.samples.push_back(children.ru_maxrss / 1024.0); // the largest child so far: this one
    }
    header(qPrintable(QStringLiteral("== service at scale: %1 transfers").arg(total)));
    line("registrations/s, first 3,000", first, nullptr, 0, "/s");
    line("registrations/s, last 3,000", last, &first, 0, "/s");
    std::printf("%-52s %10s %19s %8s  >= 0.80  %s\n", "  registration rate at the end vs the start", "", "", "",
                last.median() >= 0.8 * first.median() ? "met" : "NOT MET");
    Figure second;
    second.samples.push_back(1000);
    line("zavctl list, wall time", listTime, &second, 1.0, "ms");
    Figure budget;
    budget.samples.push_back(50);
    line("zavctl list --json, peak memory", jsonMemory, &budget, 1.0, "MiB");
}
} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    TestBus bus;
    if (!bus.start()) {
        std::fprintf(stderr, "bench_update: cannot start a bus\n");
        return 1;
    }
    libraryFigures(bus, 7, 5000);
    serviceUpdateFigures(bus, 3, 20000);
    serviceDepartureFigures(bus, 3);
    serviceScaleFigures(bus, argc > 1 ? atoi(argv[1]) : 50000);
    bus.stopService();
    return 0;
}
