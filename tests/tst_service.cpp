// SPDX-License-Identifier: MIT
#include "ZavBusNames.h"
#include "TestBus.h"
#include "ZavVersion.h"
#include "ZavContract.h"
#include "ZavVocabulary.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusPendingCall>
#include <QDBusVirtualObject>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QProcess>
#include <QRegularExpression>
#include <QDeadlineTimer>
#include <QDir>
#include <QScopeGuard>
#include <QThread>
#include <QTimer>
#include <QTemporaryDir>
#include <QTest>

#include <atomic>
#include <cstring>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>
#include <QXmlStreamReader>

#include <csignal>

namespace {
QDBusMessage message(const char *method, const QVariantList &args, const char *interface = ZavBus::TransfersInterface)
{
    QDBusMessage message = QDBusMessage::createMethodCall(QLatin1String(ZavBus::ServiceName),
                                                          QLatin1String(ZavBus::ObjectPath), QLatin1String(interface),
                                                          QLatin1String(method));
    message.setArguments(args);
    return message;
}

QDBusMessage call(const QDBusConnection &bus, const char *method, const QVariantList &args,
                  const char *interface = ZavBus::TransfersInterface)
{
    return QDBusConnection(bus).call(message(method, args, interface), QDBus::Block, 5000);
}

QString registerOn(const QDBusConnection &bus, const QString &name, int type = 1)
{
    const QDBusMessage reply = call(bus, ZavBus::Transfers::registerTransfer, {name, type, QStringLiteral("test")});
    return reply.type() == QDBusMessage::ReplyMessage ? reply.arguments().value(0).toString() : QString();
}

// Another program that broadcasts signals named as the service's requests, every millisecond.
class Broadcaster : public QObject
{
    Q_OBJECT
public:
    void start(const QString &address)
    {
        m_bus = std::make_unique<QDBusConnection>(
            QDBusConnection::connectToBus(address, QStringLiteral("broadcaster")));
        auto *timer = new QTimer(this);
        connect(timer, &QTimer::timeout, this, [this] {
            QDBusMessage signal = QDBusMessage::createSignal(QLatin1String(ZavBus::ObjectPath),
                                                             QLatin1String(ZavBus::TransfersInterface),
                                                             QLatin1String(ZavBus::Transfers::request));
            signal << QStringLiteral("1") << QStringLiteral("cancel");
            m_bus->send(signal);
            ++sent;
        });
        timer->start(1);
    }

    std::atomic<int> sent = 0;

private:
    std::unique_ptr<QDBusConnection> m_bus;
};

// A service whose pages never end: every page is the same, and says there is more.
class EndlessPages : public QObject
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "com.kelvo.zav.Control")
public Q_SLOTS:
    QString transferPage(const QString &, int)
    {
        return QStringLiteral(R"({"transfers": [{"id": "1", "name": "again", "state": "active"}], "more": true})");
    }
};
// A service that answers every call with a mebibyte of error full of terminal controls, and a
// ping and a registration with their text.
class HostileService : public QDBusVirtualObject
{
public:
    static QString controls() { return QStringLiteral("\x1b]0;owned\x07\x1b[2J\u009b31m\u202e"); }
    bool handleMessage(const QDBusMessage &message, const QDBusConnection &connection) override
    {
        if (message.member() == QLatin1String(ZavBus::Transfers::registerTransfer)
            || message.member() == QLatin1String(ZavBus::Transfers::ping))
            return connection.send(message.createReply(controls()));
        return connection.send(
            message.createErrorReply(QStringLiteral("com.kelvo.zav.Error.Hostile"), controls().repeated(1 << 16)));
    }
    QString introspect(const QString &) const override { return QString(); }
};
} // namespace

// The service and zavctl on their own, through raw bus calls: what a misbehaving or careless
// client can do to it, and what a tester sees.
class tst_Service : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // A bus that lets a connection add few match rules: the service must not need one per peer.
    void initTestCase() { QVERIFY(m_bus.start(false, MaxMatchRules)); }
    void init() { QVERIFY(m_bus.startService({QStringLiteral("--max-transfers"), QStringLiteral("5")})); }
    void cleanup() { m_bus.stopService(); }

    void zavctlExitCodesAndUsage()
    {
        QString out, err;
        // A usage error is one line that says what was wrong and where help is.
        const QList<std::pair<QStringList, QString>> wrong {
            {{}, QStringLiteral("zavctl: a command is missing (see 'zavctl help')\n")},
            {{QStringLiteral("lsit")},
             QStringLiteral("zavctl: no command \"lsit\"; did you mean \"list\"? (see 'zavctl help')\n")},
            {{QStringLiteral("list"), QStringLiteral("x")},
             QStringLiteral("zavctl: too many arguments for list (see 'zavctl help list')\n")},
            {{QStringLiteral("request"), QStringLiteral("1"), QStringLiteral("explode")},
             QStringLiteral("zavctl: no request \"explode\"; the requests are cancel, start, pause, repair (see "
                            "'zavctl help request')\n")},
            {{QStringLiteral("request"), QStringLiteral("1"), QStringLiteral("pase")},
             QStringLiteral("zavctl: no request \"pase\"; did you mean \"pause\"? (see 'zavctl help request')\n")},
            {{QStringLiteral("list"), QStringLiteral("--jsno")},
             QStringLiteral("zavctl: list has no option --jsno; did you mean --json? (see 'zavctl help list')\n")},
            {{QStringLiteral("refuse"), QStringLiteral("maybe")}, QStringLiteral("zavctl: refuse takes on or off\n")},
            // Before, the scenario went to a file named "--journal".
            {{QStringLiteral("record"), QStringLiteral("--out"), QStringLiteral("--journal"), QStringLiteral("j")},
             QStringLiteral("zavctl: --out needs a value (see 'zavctl help record')\n")},
            {{QStringLiteral("play"), QStringLiteral("a.json"), QStringLiteral("--speed=fast")},
             QStringLiteral("zavctl: --speed does not take \"fast\" (see 'zavctl help play')\n")},
            {{QStringLiteral("conform"), QStringLiteral("--junit"), QStringLiteral("a"), QStringLiteral("--junit=b")},
             QStringLiteral("zavctl: --junit is given twice (see 'zavctl help conform')\n")},
            {{QStringLiteral("request"), QStringLiteral("1"), QStringLiteral("cancel"), QStringLiteral("--json")},
             QStringLiteral("zavctl: request has no --json (see 'zavctl help request')\n")},
            {{QStringLiteral("record"), QStringLiteral("--client"), QStringLiteral("x")},
             QStringLiteral("zavctl: record needs --out FILE (see 'zavctl help record')\n")},
            {{QStringLiteral("--adress"), QStringLiteral("unix:path=/x"), QStringLiteral("list")},
             QStringLiteral("zavctl: no option --adress; did you mean --address? (see 'zavctl help')\n")},
            // An id no service can have is the command's mistake (a non-numeric one may be real).
            {{QStringLiteral("show"), QStringLiteral("1\x1b]0;x\a")},
             QStringLiteral("zavctl: \"1\\x1b]0;x\\x07\" is not a transfer id (one to 256 printable characters) (see "
                            "'zavctl help show')\n")},
            {{QStringLiteral("request"), QString(257, QLatin1Char('7')), QStringLiteral("cancel")},
             QStringLiteral("zavctl: \"%1\" is not a transfer id (one to 256 printable characters) (see "
                            "'zavctl help request')\n")
                 .arg(QString(40, QLatin1Char('7')))}};
        for (const auto &[arguments, message] : wrong) {
            QCOMPARE(m_bus.zavctl(arguments, &out, &err), 2);
            QCOMPARE(err, message);
        }
        // Help, the version and completion need no bus, and do not wait for one that never
        // speaks (a stuck forwarded socket: before, bash hung at every Tab).
        QTemporaryDir dir;
        const QByteArray path = dir.filePath(QStringLiteral("stuck")).toUtf8();
        const int stuck = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_un address = {};
        address.sun_family = AF_UNIX;
        std::memcpy(address.sun_path, path.constData(), size_t(path.size()));
        QVERIFY(::bind(stuck, reinterpret_cast<sockaddr *>(&address), sizeof address) == 0 && ::listen(stuck, 8) == 0);
        const auto closeStuck = qScopeGuard([stuck] { ::close(stuck); });
        const QStringList noBus {QStringLiteral("DBUS_SESSION_BUS_ADDRESS=unix:path=") + QString::fromUtf8(path)};
        QCOMPARE(m_bus.zavctl({QStringLiteral("--help")}, &out, &err, noBus), 0);
        QVERIFY(out.startsWith(QStringLiteral("Usage: zavctl COMMAND")));
        QCOMPARE(m_bus.zavctl({QStringLiteral("help"), QStringLiteral("list")}, &out, &err, noBus), 0);
        QVERIFY(out.startsWith(QStringLiteral("Usage: zavctl list [--json]\n")));
        QCOMPARE(m_bus.zavctl({QStringLiteral("list"), QStringLiteral("--help")}, &out, &err, noBus), 0);
        QCOMPARE(m_bus.zavctl({QStringLiteral("--version")}, &out, &err, noBus), 0);
        QCOMPARE(out, QStringLiteral("zavctl %1\n").arg(QLatin1String(Zav::Version)));
        // A command that needs it says within seconds that it does not answer (before, it waited).
        QCOMPARE(m_bus.zavctl({QStringLiteral("list")}, &out, &err, noBus), 1);
        QVERIFY2(err.endsWith(QStringLiteral("cannot be used: it did not answer within 3 s\n")), qPrintable(err));
        const QStringList absent {QStringLiteral("DBUS_SESSION_BUS_ADDRESS=unix:path=/nonexistent")};
        QCOMPARE(m_bus.zavctl({QStringLiteral("list")}, &out, &err, absent), 1);
        QVERIFY2(err.contains(QStringLiteral("no session bus")), qPrintable(err));
        // Nothing a script could read as "no transfers" (before, "[ ]").
        QCOMPARE(m_bus.zavctl({QStringLiteral("list"), QStringLiteral("--json")}, &out, &err, absent), 1);
        QCOMPARE(out, QString());
        // The shell's completions come from the same table: words, or file names by a pattern.
        const QList<std::pair<QStringList, QString>> next {
            {{QStringLiteral("request"), QStringLiteral("1"), QString()},
             QStringLiteral("cancel\nstart\npause\nrepair\n")},
            {{QStringLiteral("play"), QStringLiteral("a.json"), QStringLiteral("--sp")},
             QStringLiteral("--junit\n--speed\n--repeat\n--transfers\n--help\n")},
            {{QStringLiteral("play"), QStringLiteral("--junit"), QString()}, QStringLiteral("@file\n")},
            {{QStringLiteral("conform"), QStringLiteral("--only"), QString()},
             QStringLiteral("registration\nsetters\nownership\nrequests\nlifetime\ninspection\n")}};
        for (const auto &[words, expected] : next) {
            QCOMPARE(m_bus.zavctl(QStringList {QStringLiteral("--complete")} + words, &out, &err, noBus), 0);
            QCOMPARE(out, expected);
        }
        // Bash offers the real names, once each (before, "*" offered every name again and a
        // folder came twice).
        for (const QString &name : {QStringLiteral("*"), QStringLiteral("[ab].json"), QStringLiteral("$(touch PWNED)"),
                                    QStringLiteral("a.json"), QStringLiteral("b.txt")})
            QVERIFY(QFile(dir.filePath(name)).open(QIODevice::WriteOnly));
        QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("sub")));
        QProcess bash;
        bash.setWorkingDirectory(dir.path());
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("PATH"),
                   QFileInfo(QStringLiteral(ZAVCTL_BIN)).path() + QLatin1Char(':') + env.value(QStringLiteral("PATH")));
        bash.setProcessEnvironment(env);
        bash.start(QStringLiteral("bash"),
                   {QStringLiteral("-c"),
                    QStringLiteral("source '%1/share/completions/zavctl.bash'; "
                                   "COMP_WORDS=(zavctl play ''); COMP_CWORD=2; _zavctl; "
                                   "printf '%s\\n' \"${COMPREPLY[@]}\"")
                        .arg(QStringLiteral(ZAV_SOURCE_DIR))});
        QVERIFY(bash.waitForFinished(10000));
        QStringList offered = QString::fromUtf8(bash.readAllStandardOutput())
                                  .split(QLatin1Char('\n'), Qt::SkipEmptyParts);
        offered.sort();
        QCOMPARE(offered, QStringList({QStringLiteral("[ab].json"), QStringLiteral("a.json"), QStringLiteral("sub")}));
        QVERIFY(!QFile::exists(dir.filePath(QStringLiteral("PWNED"))));

        QCOMPARE(m_bus.zavctl({QStringLiteral("show"), QStringLiteral("77")}, &out, &err), 1);
        QCOMPARE(m_bus.zavctl({QStringLiteral("list")}, &out), 0);
        QCOMPARE(out, QStringLiteral("No transfers.\n"));
        QCOMPARE(m_bus.zavctl({QStringLiteral("status"), QStringLiteral("--json")}, &out), 0);
        const QJsonObject status = QJsonDocument::fromJson(out.toUtf8()).object();
        QCOMPARE(status.value(QStringLiteral("limits")).toObject().value(QStringLiteral("maxTransfers")).toInt(), 5);
        m_bus.stopService();
        QCOMPARE(m_bus.zavctl({QStringLiteral("list")}, &out, &err), 1);
    }

    void conformHearsTheServicesSignalsOnly()
    {
        // Before, another program's broadcasts failed 1 or 2 runs in 5 of a sound service.
        QThread thread;
        auto *broadcaster = new Broadcaster;
        broadcaster->moveToThread(&thread);
        connect(&thread, &QThread::finished, broadcaster, &QObject::deleteLater);
        thread.start();
        QMetaObject::invokeMethod(broadcaster, [&] { broadcaster->start(m_bus.address()); });
        const auto stop = qScopeGuard([&] {
            thread.quit();
            thread.wait();
            QDBusConnection::disconnectFromBus(QStringLiteral("broadcaster"));
        });
        QTRY_VERIFY(broadcaster->sent > 10);
        QString out, err;
        QCOMPARE(
            m_bus.zavctl({QStringLiteral("conform"), QStringLiteral("--only"), QStringLiteral("requests")}, &out, &err),
            0);
    }

    void conformShowsAHostileServicesAnswersEscapedAndCut()
    {
        // Before, its controls reached the terminal raw and the report was 40 MB.
        m_bus.stopService();
        HostileService hostile;
        QDBusConnection fake = QDBusConnection::connectToBus(m_bus.address(), QStringLiteral("hostile"));
        const auto gone = qScopeGuard([] { QDBusConnection::disconnectFromBus(QStringLiteral("hostile")); });
        QVERIFY(fake.registerVirtualObject(QLatin1String(ZavBus::ObjectPath), &hostile));
        QVERIFY(fake.registerService(QLatin1String(ZavBus::ServiceName)));
        QString out, err;
        QCOMPARE(m_bus.zavctl({QStringLiteral("conform")}, &out, &err), 1);
        QVERIFY2(out.contains(QLatin1String("FAIL")) && out.contains(QLatin1String("characters)")), qPrintable(out));
        QVERIFY2(out.size() + err.size() < 100000, qPrintable(QString::number(out.size() + err.size())));
        for (const QChar c : out + err)
            QVERIFY2(c == QLatin1Char('\n') || (c.isPrint() && c.direction() != QChar::DirRLO), qPrintable(out + err));
    }

    void pagesThatNeverEndAreNotReadForever()
    {
        m_bus.stopService();
        QThread thread;
        auto *endless = new EndlessPages;
        endless->moveToThread(&thread);
        connect(&thread, &QThread::finished, endless, &QObject::deleteLater);
        thread.start();
        const auto stop = qScopeGuard([&] {
            QDBusConnection::disconnectFromBus(QStringLiteral("endless"));
            thread.quit();
            thread.wait();
        });
        QDBusConnection fake = QDBusConnection::connectToBus(m_bus.address(), QStringLiteral("endless"));
        QVERIFY(fake.registerObject(QLatin1String(ZavBus::ObjectPath), endless, QDBusConnection::ExportAllSlots));
        QVERIFY(fake.registerService(QLatin1String(ZavBus::ServiceName)));
        // Before, zavctl list was still paging 6 s later.
        QString out, err;
        QCOMPARE(m_bus.zavctl({QStringLiteral("list"), QStringLiteral("--json")}, &out, &err), 1);
        QVERIFY2(err.contains(QStringLiteral("the service's pages do not end")), qPrintable(err));
        // Read up to the page that did not advance; the exit code says the list is not whole.
        QCOMPARE(QJsonDocument::fromJson(out.toUtf8()).array().size(), 2);
    }

    // The programs' own session bus is another one: the service is reached only by its address,
    // as a device's through a forwarded socket.
    void aServiceReachedOnlyByItsAddress()
    {
        QDBusConnection bus = QDBusConnection::sessionBus();
        const QString id = registerOn(bus, QStringLiteral("on the device"));
        TestBus elsewhere;
        QVERIFY(elsewhere.start());
        qputenv("DBUS_SESSION_BUS_ADDRESS", m_bus.address().toUtf8());
        QString out, err;
        QCOMPARE(elsewhere.zavctl({QStringLiteral("list")}, &out, &err), 1);
        QCOMPARE(elsewhere.zavctl({QStringLiteral("--address"), m_bus.address(), QStringLiteral("show"), id,
                                   QStringLiteral("--json")},
                                  &out, &err),
                 0);
        QVERIFY2(out.contains(QLatin1String("on the device")), qPrintable(out + err));
        // The client library goes there too: a scenario plays against the service.
        QCOMPARE(elsewhere.zavctl({QStringLiteral("--address=") + m_bus.address(), QStringLiteral("play"),
                                   QStringLiteral(ZAV_EXAMPLES_DIR "/sync-paused.json")},
                                  &out, &err),
                 0);
        QCOMPARE(elsewhere.zavctl({QStringLiteral("list"), QStringLiteral("--address")}, &out, &err), 2);
        QVERIFY(err.contains(QLatin1String("--address needs a bus address")));

        // The app and zav-desktop reach it too: the app asks for the service, zav-desktop starts
        // watching it (the notifications would stay on the programs' own bus).
        for (const QString &program : {QStringLiteral(ZAV_APP_BIN), QStringLiteral(ZAV_DESKTOP_BIN)}) {
            const qsizetype before = m_bus.journal().size();
            QProcess process;
            QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
            env.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), elsewhere.address());
            env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
            process.setProcessEnvironment(env);
            process.start(program, {QStringLiteral("--address"), m_bus.address()});
            const bool app = program.endsWith(QLatin1String("zavtestapp"));
            QVERIFY2(QTest::qWaitFor(
                         [&] {
                             if (!app) {
                                 const QDBusMessage status = call(bus, ZavBus::Control::status, {},
                                                                  ZavBus::ControlInterface);
                                 return QJsonDocument::fromJson(status.arguments().value(0).toString().toUtf8())
                                            .object()
                                            .value(QStringLiteral("watchers"))
                                            .toInt()
                                     == 1;
                             }
                             const QList<QJsonObject> lines = m_bus.journal().mid(before);
                             return std::any_of(lines.cbegin(), lines.cend(), [](const QJsonObject &l) {
                                 return l.value(QStringLiteral("call")).toString() == QLatin1String("ping");
                             });
                         },
                         10000),
                     qPrintable(program));
            process.terminate();
            QVERIFY(process.waitForFinished(5000));
        }
    }

    // Our service keeps the contract; one with a rule broken fails the check that names it, and
    // without the inspection interface those checks are skipped, never passed.
    void conformanceNamesTheBrokenRule_data()
    {
        QTest::addColumn<QString>("fault");
        QTest::addColumn<QString>("failed");
        QTest::newRow("none") << QString() << QString();
        QTest::newRow("progress") << "progress-unchecked"
                                  << "FAIL setters: setProgress";
        QTest::newRow("owner") << "owner-unchecked"
                               << "FAIL ownership: another connection's change is refused";
        QTest::newRow("requests") << "requests-broadcast"
                                  << "FAIL requests: no other program hears it";
        QTest::newRow("departed") << "departed-kept"
                                  << "FAIL lifetime: a departed program's transfers go";
        QTest::newRow("no inspection") << "no-control" << QString();
    }
    void conformanceNamesTheBrokenRule()
    {
        QFETCH(QString, fault);
        QFETCH(QString, failed);
        // Without the suite's small limit of transfers: the checks register a dozen.
        m_bus.stopService();
        QVERIFY(
            m_bus.startService(fault.isEmpty() ? QStringList() : QStringList {QStringLiteral("--test-fault"), fault}));
        QTemporaryDir dir;
        const QString junit = dir.filePath(QStringLiteral("conform.xml"));
        QString out, err;
        const int code = m_bus.zavctl({QStringLiteral("conform"), QStringLiteral("--junit"), junit}, &out, &err);
        QCOMPARE(code, failed.isEmpty() ? 0 : 1);
        const QStringList failures = out.split(QLatin1Char('\n')).filter(QRegularExpression(QStringLiteral("^FAIL")));
        if (failed.isEmpty())
            QVERIFY2(failures.isEmpty(), qPrintable(out + err));
        else
            // The check that names the rule fails, and nothing outside its group does.
            QVERIFY2(failures.constFirst().startsWith(failed)
                         && std::all_of(failures.cbegin(), failures.cend(),
                                        [&](const QString &line) {
                                            return line.startsWith(failed.section(QLatin1Char(':'), 0, 0));
                                        }),
                     qPrintable(failures.join(QLatin1Char('\n'))));
        const int skipped = out.split(QLatin1Char('\n')).filter(QRegularExpression(QStringLiteral("^skip"))).size();
        QCOMPARE(skipped > 0, fault == QLatin1String("no-control"));
        QFile report(junit);
        QVERIFY(report.open(QIODevice::ReadOnly));
        const QByteArray xml = report.readAll();
        QCOMPARE(xml.count("<failure"), qsizetype(failures.size()));
        // The suites' counts say the same as their cases.
        int failuresCounted = 0, skippedCounted = 0;
        for (QXmlStreamReader reader(xml); !reader.atEnd();) {
            if (reader.readNext() == QXmlStreamReader::StartElement && reader.name() == QLatin1String("testsuite")) {
                failuresCounted += reader.attributes().value(QLatin1String("failures")).toInt();
                skippedCounted += reader.attributes().value(QLatin1String("skipped")).toInt();
            }
        }
        QCOMPARE(failuresCounted, failures.size());
        QCOMPARE(skippedCounted, skipped);
    }

    void anotherConnectionsChangeIsRefused()
    {
        QDBusConnection owner = QDBusConnection::connectToBus(m_bus.address(), QStringLiteral("owner"));
        const QString id = registerOn(owner, QStringLiteral("mine"));
        QVERIFY(!id.isEmpty());
        const QDBusMessage stolen = call(QDBusConnection::sessionBus(), ZavBus::Transfers::setName,
                                         {id, QStringLiteral("yours")});
        QCOMPARE(stolen.errorName(), QLatin1String(Zav::Errors::AccessDenied));
        QCOMPARE(m_bus.show(id).value(QStringLiteral("name")).toString(), QStringLiteral("mine"));
        // The refusal is in the journal, with the error.
        QVERIFY(m_bus.callsFor(id).contains(
            QStringLiteral("setName(\"yours\") -> org.freedesktop.DBus.Error.AccessDenied")));
        QDBusConnection::disconnectFromBus(QStringLiteral("owner"));
    }

    void absurdInputIsRefused()
    {
        const QDBusConnection bus = QDBusConnection::sessionBus();
        QCOMPARE(call(bus, ZavBus::Transfers::registerTransfer, {QStringLiteral("x"), 7, QString()}).errorName(),
                 QLatin1String(Zav::Errors::InvalidArgs));
        const QString id = registerOn(bus, QStringLiteral("ok"));
        QCOMPARE(call(bus, ZavBus::Transfers::setMessage, {id, QString(5000, QLatin1Char('m'))}).errorName(),
                 QLatin1String(Zav::Errors::InvalidArgs));
        QCOMPARE(call(bus, ZavBus::Transfers::setSpeed, {QStringLiteral("no-such-id"), 3}).errorName(),
                 QLatin1String(Zav::Errors::UnknownTransfer));
        // Values the interface rules out, NaN once the only one refused.
        const QList<std::pair<const char *, QVariant>> outOfRange {
            {ZavBus::Transfers::setProgress, qQNaN()},   {ZavBus::Transfers::setProgress, -1e308},
            {ZavBus::Transfers::setProgress, 42.0},      {ZavBus::Transfers::setActive, 1.5},
            {ZavBus::Transfers::setServiceIconType, 99}, {ZavBus::Transfers::setCount, -1},
            {ZavBus::Transfers::setEstimate, -5},        {ZavBus::Transfers::setSpeed, -1}};
        for (const auto &[method, value] : outOfRange)
            QVERIFY2(call(bus, method, {id, value}).errorName() == QLatin1String(Zav::Errors::InvalidArgs),
                     qPrintable(QLatin1String(method) + QLatin1Char(' ') + value.toString()));
        // Wrong argument types and unknown methods: QtDBus refuses them; the service goes on.
        QVERIFY(call(bus, ZavBus::Transfers::setSize, {id, QStringLiteral("big")}).type()
                == QDBusMessage::ErrorMessage);
        QVERIFY(call(bus, "explode", {}).type() == QDBusMessage::ErrorMessage);
        QCOMPARE(call(bus, ZavBus::Transfers::endCommit, {id}).errorName(), QLatin1String(Zav::Errors::NotInCommit));
        QVERIFY(m_bus.sync());
        const QJsonObject shown = m_bus.show(id);
        QCOMPARE(shown.value(QStringLiteral("message")).toString(), QString());
        QCOMPARE(shown.value(QStringLiteral("progress")).toDouble(), 0.0);
    }

    void registrationLimitAndRefusal()
    {
        const QDBusConnection bus = QDBusConnection::sessionBus();
        for (int i = 0; i < 5; ++i)
            QVERIFY(!registerOn(bus, QStringLiteral("t%1").arg(i)).isEmpty());
        QCOMPARE(call(bus, ZavBus::Transfers::registerTransfer, {QStringLiteral("sixth"), 0, QString()}).errorName(),
                 QLatin1String(Zav::Errors::LimitsExceeded));

        QVERIFY(m_bus.startService());
        QCOMPARE(m_bus.zavctl({QStringLiteral("refuse"), QStringLiteral("on")}), 0);
        QCOMPARE(call(bus, ZavBus::Transfers::registerTransfer, {QStringLiteral("no"), 0, QString()}).errorName(),
                 QLatin1String(Zav::Errors::Refused));
        QString out;
        QCOMPARE(m_bus.zavctl({QStringLiteral("status")}, &out), 0);
        QVERIFY2(out.contains(QStringLiteral("refusing new transfers")), qPrintable(out));
        QCOMPARE(m_bus.zavctl({QStringLiteral("refuse"), QStringLiteral("off")}), 0);
        QVERIFY(!registerOn(bus, QStringLiteral("yes")).isEmpty());

        // One connection cannot take every slot.
        QVERIFY(m_bus.startService({QStringLiteral("--max-transfers-per-client"), QStringLiteral("1")}));
        QVERIFY(!registerOn(bus, QStringLiteral("a")).isEmpty());
        QCOMPARE(call(bus, ZavBus::Transfers::registerTransfer, {QStringLiteral("b"), 0, QString()}).errorName(),
                 QLatin1String(Zav::Errors::LimitsExceeded));
        QVERIFY(
            !registerOn(QDBusConnection::connectToBus(m_bus.address(), QStringLiteral("other")), QStringLiteral("c"))
                 .isEmpty());
        QDBusConnection::disconnectFromBus(QStringLiteral("other"));
    }

    void textsStayWithinTheirBudgets()
    {
        // Before, 10,000 transfers of 4,096-character texts took the service to 1.4 GB (3 GB with
        // commits open). 4,000 characters are 4,000 bytes: a connection may hold two such texts.
        QVERIFY(m_bus.startService({QStringLiteral("--max-text-bytes-per-client"), QStringLiteral("8500"),
                                    QStringLiteral("--max-text-bytes"), QStringLiteral("11000")}));
        const QDBusConnection bus = QDBusConnection::sessionBus();
        const QString big(4000, QLatin1Char('x'));
        const QString id = registerOn(bus, QStringLiteral("a"));
        const auto set = [&](const QDBusConnection &on, const QString &which, const char *method, const QString &text) {
            return call(on, method, {which, text}).errorName();
        };
        QCOMPARE(set(bus, id, ZavBus::Transfers::setMessage, big), QString());
        QCOMPARE(set(bus, id, ZavBus::Transfers::setMessage, big + QLatin1Char('y')), QString()); // replaces: no more
        QCOMPARE(set(bus, id, ZavBus::Transfers::setTitle, big), QString());
        QCOMPARE(set(bus, id, ZavBus::Transfers::setAccount, big), QLatin1String(Zav::Errors::LimitsExceeded));
        QCOMPARE(m_bus.show(id).value(QStringLiteral("account")).toString(), QString());
        // Texts a commit changes count twice until it ends; those it leaves are not copied.
        call(bus, ZavBus::Transfers::startCommit, {id});
        QCOMPARE(set(bus, id, ZavBus::Transfers::setName, QStringLiteral("b")), QString());
        QCOMPARE(set(bus, id, ZavBus::Transfers::setMessage, big), QLatin1String(Zav::Errors::LimitsExceeded));
        call(bus, ZavBus::Transfers::endCommit, {id});
        // All together: another connection gets only what is left, and what the first gives back.
        {
            const QDBusConnection other = QDBusConnection::connectToBus(m_bus.address(), QStringLiteral("other"));
            const QString first = registerOn(other, QStringLiteral("c"));
            QCOMPARE(set(other, first, ZavBus::Transfers::setMessage, big), QLatin1String(Zav::Errors::LimitsExceeded));
        }
        QDBusConnection::disconnectFromBus(QStringLiteral("other"));
        {
            const QDBusConnection second = QDBusConnection::connectToBus(m_bus.address(), QStringLiteral("second"));
            const QString next = registerOn(second, QStringLiteral("d"));
            QCOMPARE(set(bus, id, ZavBus::Transfers::setMessage, QString()), QString()); // gives 4,001 bytes back
            QCOMPARE(set(second, next, ZavBus::Transfers::setMessage, big), QString());
        }
        QDBusConnection::disconnectFromBus(QStringLiteral("second"));
    }

    void textBudgetsAtTheirEdges()
    {
        // Each budget in turn is the small one: a text that fills it exactly is taken, a character
        // more is refused, whatever the other allows. A text counts its UTF-8 bytes.
        for (const bool global : {true, false}) {
            const QString small = QStringLiteral("4000"), large = QStringLiteral("100000");
            QVERIFY(m_bus.startService({QStringLiteral("--max-text-bytes"), global ? small : large,
                                        QStringLiteral("--max-text-bytes-per-client"), global ? large : small}));
            const QDBusConnection bus = QDBusConnection::sessionBus();
            const QString id = registerOn(bus, QStringLiteral("a"));
            QString out;
            QCOMPARE(m_bus.zavctl({QStringLiteral("status"), QStringLiteral("--json")}, &out), 0);
            const qint64 used =
                QJsonDocument::fromJson(out.toUtf8()).object().value(QStringLiteral("textBytes")).toInteger();
            QVERIFY(used > 0);
            const int room = int(4000 - used);
            const QString fill = QString(room / 4, QChar(0xe9)) + QString(room - room / 4 * 2, QLatin1Char('x'));
            QCOMPARE(call(bus, ZavBus::Transfers::setMessage, {id, fill}).errorName(), QString());
            QCOMPARE(call(bus, ZavBus::Transfers::setMessage, {id, fill + QLatin1Char('x')}).errorName(),
                     QLatin1String(Zav::Errors::LimitsExceeded));
        }
    }

    void aTextTakesAboutItsOwnSize()
    {
        // Texts are kept as UTF-8, each in what it needs: before, a transfer with every text at
        // 4,096 characters (61 KB of text) took 145 KB, and 140 KB once kept as UTF-8 with the
        // conversion's reserve of three bytes a character.
        QVERIFY(m_bus.startService({QStringLiteral("--max-text-bytes-per-client"), QStringLiteral("100M"),
                                    QStringLiteral("--max-text-bytes"), QStringLiteral("100M")}));
        const QDBusConnection bus = QDBusConnection::sessionBus();
        const qint64 pid = bus.interface()->servicePid(QLatin1String(ZavBus::ServiceName));
        [[maybe_unused]] const qint64 before = residentKiB(pid);
        const QString text(Zav::MaxTextLength, QLatin1Char('x'));
        namespace T = ZavBus::Transfers;
        for (int i = 0; i < 200; ++i) {
            const QString id = call(bus, T::registerTransfer, {text, 1, text}).arguments().value(0).toString();
            const QList<std::pair<const char *, QVariantList>> calls {
                {T::setAccount, {id, text}},
                {T::setMessage, {id, text}},
                {T::setCancelButtonText, {id, text}},
                {T::setTitle, {id, text}},
                {T::setImageFromFilePath, {id, text}},
                {T::setThumbnailForFile, {id, text, text}},
                {T::markCancelFailed, {id, text}},
                {T::markRepairableFailure, {id, text, text, text}},
                {T::markCompleted, {id, true, text, text}}};
            for (const auto &[method, args] : calls)
                bus.asyncCall(message(method, args));
        }
        QVERIFY(m_bus.sync());
        QCOMPARE(m_bus.show(QStringLiteral("200")).value(QStringLiteral("resultUri")).toString(), text);
#ifndef __SANITIZE_ADDRESS__ // the calls' memory goes back a second after they stop: 70 KB a transfer stays
        QTRY_VERIFY2(residentKiB(pid) - before < 200 * 100, qPrintable(QString::number(residentKiB(pid) - before)));
#endif
    }

    void transfersOfALeavingClientAreForgotten()
    {
        QString id;
        {
            const QDBusConnection leaving = QDBusConnection::connectToBus(m_bus.address(), QStringLiteral("leaving"));
            id = registerOn(leaving, QStringLiteral("short-lived"));
        }
        QVERIFY(!m_bus.show(id).isEmpty());
        QDBusConnection::disconnectFromBus(QStringLiteral("leaving"));
        QTRY_VERIFY(m_bus.show(id).isEmpty());
        QTRY_VERIFY(m_bus.journal().constLast().value(QStringLiteral("call")).toString()
                    == QLatin1String("clientGone"));
        QCOMPARE(m_bus.journal().constLast().value(QStringLiteral("args")).toArray(), QJsonArray {id});
        QVERIFY(m_bus.sync());
    }

    void departuresAreSeenWhateverHowManyPeers()
    {
        // Before, each owner and watcher took a match rule of the service's: past the bus's limit,
        // one that left was never forgotten.
        QVERIFY(m_bus.startService());
        QStringList names;
        const int Peers = 150;
        for (int i = 0; i < Peers; ++i) {
            names << QStringLiteral("peer%1").arg(i);
            const QDBusConnection peer = QDBusConnection::connectToBus(m_bus.address(), names.last());
            QVERIFY(!registerOn(peer, names.last()).isEmpty());
            call(peer, ZavBus::Control::setWatching, {true}, ZavBus::ControlInterface);
        }
        QCOMPARE(status().value(QStringLiteral("watchers")).toInt(), Peers);
        // None of them fetches while 5,000 transfers come and change twice: what the service keeps
        // for them stays the same (before, each kept the set of every id that changed).
        QList<QDBusConnection> owners;
        for (int i = 0; i < 5; ++i)
            owners << QDBusConnection::connectToBus(m_bus.address(), QStringLiteral("owner%1").arg(i));
        const auto ownersGone = qScopeGuard([&] {
            for (const QDBusConnection &owner : std::as_const(owners))
                QDBusConnection::disconnectFromBus(owner.name());
        });
        // Each owner's calls in turn, a hundred at a time (the bus holds few unanswered calls).
        const auto flood = [&](const char *method, const auto &argsOf) {
            for (int i = 0; i < 5000; ++i) {
                if (i % 100 == 99)
                    call(owners[i / 1000], method, argsOf(i));
                else
                    owners[i / 1000].asyncCall(message(method, argsOf(i)));
            }
        };
        const qint64 pid = QDBusConnection::sessionBus().interface()->servicePid(QLatin1String(ZavBus::ServiceName));
        [[maybe_unused]] const qint64 before = residentKiB(pid);
        flood(ZavBus::Transfers::registerTransfer, [](int) {
            return QVariantList {QStringLiteral("n"), 1, QString()};
        });
        QCOMPARE(status().value(QStringLiteral("transfers")).toInt(), Peers + 5000);
        for (const double progress : {0.25, 0.5})
            flood(ZavBus::Transfers::setProgress, [&](int i) {
                return QVariantList {QString::number(Peers + 1 + i), progress};
            });
        QCOMPARE(m_bus.show(QString::number(Peers + 5000)).value(QStringLiteral("progress")).toDouble(), 0.5);
#ifndef __SANITIZE_ADDRESS__ // which keeps freed memory aside: sizes mean nothing there
        // 9 MB here for the transfers themselves; 38 MB when each watcher kept what changed.
        QVERIFY2(residentKiB(pid) - before < 20000, qPrintable(QString::number(residentKiB(pid) - before)));
#endif
        for (const QString &name : std::as_const(names))
            QDBusConnection::disconnectFromBus(name);
        QTRY_COMPARE(status().value(QStringLiteral("transfers")).toInt(), 5000);
        QTRY_COMPARE(status().value(QStringLiteral("watchers")).toInt(), 0);
        QCOMPARE(status().value(QStringLiteral("clients")).toInt(), 5);
    }

    void clientsThatLeaveAtOnceAreForgotten()
    {
        // Registrations queued while the service is busy, from clients gone before they are
        // handled: before, no notice of their leaving ever came and their transfers stayed.
        m_bus.pauseService(true);
        for (int client = 0; client < 3; ++client) {
            const QString name = QStringLiteral("gone%1").arg(client);
            QDBusConnection gone = QDBusConnection::connectToBus(m_bus.address(), name);
            for (int i = 0; i < 2; ++i)
                gone.asyncCall(message(ZavBus::Transfers::registerTransfer, {QStringLiteral("orphan"), 0, QString()}));
            // And asks to watch (before, such watchers stayed counted for good).
            gone.asyncCall(message(ZavBus::Control::setWatching, {true}, ZavBus::ControlInterface));
            // The bus answers in order: once it has, it holds every call sent before.
            QVERIFY(gone.interface()->call(QStringLiteral("GetId")).type() == QDBusMessage::ReplyMessage);
            QDBusConnection::disconnectFromBus(name);
        }
        // zavctl asking the hung service for a change says that it may still happen (before, a
        // "refuse on" said to have failed took effect once the service went on).
        QString err;
        QCOMPARE(m_bus.zavctl({QStringLiteral("refuse"), QStringLiteral("on")}, nullptr, &err), 1);
        QVERIFY2(err.contains(QStringLiteral("it may still do what it was asked once it goes on")), qPrintable(err));
        m_bus.pauseService(false);
        QVERIFY(m_bus.sync());
        QTRY_COMPARE(status().value(QStringLiteral("transfers")).toInt(), 0);
        QTRY_COMPARE(status().value(QStringLiteral("watchers")).toInt(), 0);
        QCOMPARE(m_bus.zavctl({QStringLiteral("refuse"), QStringLiteral("off")}), 0);
        int gone = 0;
        for (const QJsonObject &line : m_bus.journal())
            gone += line.value(QStringLiteral("call")).toString() == QLatin1String("clientGone");
        QCOMPARE(gone, 3);
    }

    void refusedCallsStaySmallInTheJournal()
    {
        // Before, each refused call was journalled in full: 8 MB calls added 8 MB each.
        const QDBusConnection bus = QDBusConnection::sessionBus();
        const QDBusConnection owner = QDBusConnection::connectToBus(m_bus.address(), QStringLiteral("owner"));
        const QString theirs = registerOn(owner, QStringLiteral("theirs"));
        const QString huge(1 << 20, QLatin1Char('x'));
        call(bus, ZavBus::Transfers::setName, {QStringLiteral("404"), huge});
        call(bus, ZavBus::Transfers::setName, {theirs, huge});
        call(bus, ZavBus::Transfers::setProgress, {huge, qInf()});
        call(bus, ZavBus::Transfers::registerTransfer, {huge, 0, huge});
        call(bus, ZavBus::Control::sendRequest, {huge, QStringLiteral("cancel")}, ZavBus::ControlInterface);
        QVERIFY(m_bus.sync());
        QVERIFY(QFileInfo(m_bus.journalPath()).size() < 8 * 1024);
        const QList<QJsonObject> journal = m_bus.journal();
        QCOMPARE(journal.at(journal.size() - 2).value(QStringLiteral("id")).toString(),
                 QStringLiteral("(1048576 characters)"));
        QDBusConnection::disconnectFromBus(QStringLiteral("owner"));
    }

    void journalIsCappedAndWholeAfterCrashes()
    {
        // Past its cap the journal moves aside to ".1" and begins again.
        QVERIFY(m_bus.startService({QStringLiteral("--journal-max-size"), QStringLiteral("4K")}));
        const QDBusConnection bus = QDBusConnection::sessionBus();
        const QString id = registerOn(bus, QStringLiteral("chatty"));
        for (int i = 0; i < 100; ++i)
            call(bus, ZavBus::Transfers::setMessage, {id, QString(60, QLatin1Char('a' + i % 26))});
        QVERIFY(m_bus.sync());
        const QString path = m_bus.journalPath();
        QVERIFY(QFileInfo(path).size() <= 4096);
        QVERIFY(QFileInfo(path + QStringLiteral(".1")).size() <= 4096);
        QVERIFY(QFileInfo(path + QStringLiteral(".1")).size() > 2048);
        QCOMPARE(QFileInfo(path).permissions() & (QFileDevice::ReadOther | QFileDevice::ReadGroup),
                 QFileDevice::Permissions());

        // A record torn by a crash: before, the next run's first record was appended to it.
        QTemporaryDir dir;
        const QString torn = dir.filePath(QStringLiteral("torn.jsonl"));
        QFile file(torn);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("{\"call\":\"ping\"}\n{\"time\":\"2026-12-06T10:00:00\",\"call\":\"setNa");
        file.close();
        QVERIFY(m_bus.startService({QStringLiteral("--journal"), torn}, false));
        QVERIFY(!registerOn(bus, QStringLiteral("after the crash")).isEmpty());
        QVERIFY(m_bus.sync());
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QList<QByteArray> lines = file.readAll().split('\n');
        QCOMPARE(lines.constLast(), QByteArray());
        QCOMPARE(lines.size(), 5); // the first record, serviceStarted, registerTransfer, ping
        for (const QByteArray &line : lines.mid(0, 4))
            QVERIFY2(QJsonDocument::fromJson(line).isObject(), line.constData());

        // A link planted where the journal goes: before, it was followed and its target cut and
        // appended to. An existing journal readable by others stayed so.
        const QString victim = dir.filePath(QStringLiteral("victim"));
        QFile target(victim);
        QVERIFY(target.open(QIODevice::WriteOnly) && target.write("precious\n") == 9);
        target.close();
        QVERIFY(QFile::link(victim, dir.filePath(QStringLiteral("planted.journal"))));
        QProcess planted;
        planted.start(QStringLiteral(ZAV_SERVICE_BIN),
                      {QStringLiteral("--journal"), dir.filePath(QStringLiteral("planted.journal"))});
        QVERIFY(planted.waitForFinished(5000));
        QCOMPARE(planted.exitCode(), 1);
        QVERIFY(target.open(QIODevice::ReadOnly));
        QCOMPARE(target.readAll(), QByteArray("precious\n"));
        QVERIFY(file.setPermissions(file.permissions() | QFileDevice::ReadOther | QFileDevice::ReadGroup));
        QVERIFY(m_bus.startService({QStringLiteral("--journal"), torn}, false));
        QCOMPARE(QFileInfo(torn).permissions() & (QFileDevice::ReadOther | QFileDevice::ReadGroup),
                 QFileDevice::Permissions());

        // A journal that cannot be written: the service goes on and says so.
        QVERIFY(m_bus.startService({QStringLiteral("--journal"), QStringLiteral("/dev/full")}, false));
        QVERIFY(!registerOn(bus, QStringLiteral("unrecorded")).isEmpty());
        QVERIFY(m_bus.sync());
        const QJsonObject journal = status().value(QStringLiteral("journal")).toObject();
        QVERIFY(journal.value(QStringLiteral("failing")).toBool());
        QVERIFY(journal.value(QStringLiteral("dropped")).toInt() >= 2);
        QString out;
        QCOMPARE(m_bus.zavctl({QStringLiteral("status")}, &out), 0);
        QVERIFY2(out.contains(QStringLiteral("Journal FAILING: No space left on device")), qPrintable(out));
    }

    void terminalControlsInTextsAreShownEscaped()
    {
        // A name once cleared the tester's screen and retitled the terminal through zavctl.
        const QDBusConnection bus = QDBusConnection::sessionBus();
        const QString id = registerOn(bus, QStringLiteral("\x1b[2Jevil\x1b]0;PWNED\a\u202e"));
        call(bus, ZavBus::Transfers::setMessage, {id, QStringLiteral("bell\x07")});
        for (const QStringList &command :
             {QStringList {QStringLiteral("list")}, QStringList {QStringLiteral("show"), id}}) {
            QString out;
            QCOMPARE(m_bus.zavctl(command, &out), 0);
            QVERIFY2(!out.contains(QChar(0x1b)) && !out.contains(QChar(0x07)) && !out.contains(QChar(0x202e)),
                     qPrintable(out));
            QVERIFY2(out.contains(QStringLiteral("\\x1b[2Jevil\\x1b]0;PWNED\\x07\\u202e")), qPrintable(out));
        }
    }

    void listingComesInPages()
    {
        QVERIFY(m_bus.startService({QStringLiteral("--max-transfers-per-client"), QStringLiteral("2000")}));
        const QDBusConnection bus = QDBusConnection::sessionBus();
        for (int i = 0; i < ZavCtlPageSize + 2; ++i)
            QVERIFY(!registerOn(bus, QStringLiteral("t%1").arg(i)).isEmpty());
        QString out;
        QCOMPARE(m_bus.zavctl({QStringLiteral("list"), QStringLiteral("--json")}, &out), 0);
        const QJsonArray all = QJsonDocument::fromJson(out.toUtf8()).array();
        QCOMPARE(all.size(), ZavCtlPageSize + 2);
        QCOMPARE(all.last().toObject().value(QStringLiteral("name")).toString(),
                 QStringLiteral("t%1").arg(ZavCtlPageSize + 1));
    }

    void listFitsTheWidthAndJsonHasNumbers()
    {
        const QDBusConnection bus = QDBusConnection::sessionBus();
        const QString id = registerOn(bus, QStringLiteral("Transfer 2 with a name longer than a narrow terminal"));
        call(bus, ZavBus::Transfers::setActive, {id, 0.123456});
        call(bus, ZavBus::Transfers::markRepairableFailure,
             {id, QStringLiteral("Unable to reach the server"), QStringLiteral("d"), QStringLiteral("Retry now")});
        QString out;
        QCOMPARE(m_bus.zavctl({QStringLiteral("list")}, &out), 0);
        QVERIFY2(out.contains(QStringLiteral("Error: Unable to reach the server (\u2026")), qPrintable(out));
        QVERIFY2(out.contains(QStringLiteral(" 12%")), qPrintable(out));
        // Narrower terminals: every line fits, the header too, and the state and per cent stay.
        for (const int columns : {70, 60, 40}) {
            QCOMPARE(m_bus.zavctl({QStringLiteral("list")}, &out, nullptr, {QStringLiteral("COLUMNS=%1").arg(columns)}),
                     0);
            for (const QString &line : out.split(QLatin1Char('\n')))
                QVERIFY2(line.size() <= columns, qPrintable(line));
            QVERIFY2(!out.section(QLatin1Char('\n'), 0, 0).contains(QChar(0x2026)), qPrintable(out)); // headers whole
            QVERIFY2(out.contains(QStringLiteral("Error:")) && out.contains(QStringLiteral(" 12%")), qPrintable(out));
        }
        QCOMPARE(m_bus.zavctl({QStringLiteral("show"), id, QStringLiteral("--json")}, &out), 0);
        const QJsonObject t = QJsonDocument::fromJson(out.toUtf8()).object();
        QCOMPARE(t.value(QStringLiteral("id")).toInteger(), id.toLongLong());
        QVERIFY2(out.contains(QStringLiteral("\"progress\": 0.123456,")), qPrintable(out));
        // Counts past the signed range are numbers with their exact digits (before, strings; the
        // table showed raw digits cut to its column).
        call(bus, ZavBus::Transfers::setSize, {id, QVariant::fromValue(quint64(18446744073709551615ULL))});
        for (const QStringList &command :
             {QStringList {QStringLiteral("show"), id}, QStringList {QStringLiteral("list")}}) {
            QCOMPARE(m_bus.zavctl(command + QStringList {QStringLiteral("--json")}, &out), 0);
            QVERIFY2(out.contains(QStringLiteral("\"size\": 18446744073709551615,")), qPrintable(out));
        }
        QCOMPARE(m_bus.zavctl({QStringLiteral("list")}, &out), 0);
        QVERIFY2(out.contains(QStringLiteral("16.0 EiB")), qPrintable(out));
    }

    void noticesOnlyToWatchersAndOneUntilFetched()
    {
        // Before, each change went to the whole bus with the whole transfer: a watcher that did
        // not read made the bus hold it all (960 MB in 15 s).
        QDBusConnection bus = QDBusConnection::sessionBus();
        QVERIFY(bus.connect(QString(), QLatin1String(ZavBus::ObjectPath), QLatin1String(ZavBus::ControlInterface),
                            QLatin1String(ZavBus::Control::changesPending), this, SLOT(noticed())));
        QDBusConnection stranger = QDBusConnection::connectToBus(m_bus.address(), QStringLiteral("stranger"));
        const auto gone = qScopeGuard([] { QDBusConnection::disconnectFromBus(QStringLiteral("stranger")); });
        QVERIFY(stranger.connect(QString(), QLatin1String(ZavBus::ObjectPath), QLatin1String(ZavBus::ControlInterface),
                                 QLatin1String(ZavBus::Control::changesPending), this, SLOT(strangerNoticed())));
        const QString id = registerOn(bus, QStringLiteral("Watched"));
        call(bus, ZavBus::Transfers::setActive, {id, 0.1});
        QTest::qWait(200);
        QCOMPARE(m_notices, 0); // nobody watches
        const auto control = [&](const char *method, const QVariantList &args) {
            return call(bus, method, args, ZavBus::ControlInterface).arguments().value(0).toString();
        };
        control(ZavBus::Control::setWatching, {true});
        for (int i = 1; i <= 500; ++i)
            call(bus, ZavBus::Transfers::setProgress, {id, i / 500.0});
        QTRY_COMPARE(m_notices, 1);
        QTest::qWait(200);
        QCOMPARE(m_notices, 1); // not read: nothing more
        const QJsonObject page = QJsonDocument::fromJson(control(ZavBus::Control::changes, {1000}).toUtf8()).object();
        const QJsonArray changed = page.value(QStringLiteral("changed")).toArray();
        QCOMPARE(changed.size(), 1);
        QCOMPARE(changed.first().toObject().value(QStringLiteral("progress")).toDouble(), 1.0); // the latest state
        call(bus, ZavBus::Transfers::setProgress, {id, 0.5});
        QTRY_COMPARE(m_notices, 2); // fetched: told again
        control(ZavBus::Control::changes, {1000});
        // Told while changes keep coming faster than the notices, not only once they stop.
        for (int i = 0; i < 300 && m_notices == 2; ++i) {
            call(bus, ZavBus::Transfers::setProgress, {id, i / 300.0});
            QTest::qWait(5);
        }
        QCOMPARE(m_notices, 3);
        control(ZavBus::Control::changes, {1000});
        // A page holds as many changes as asked for, and says there are more.
        QStringList ids;
        for (const char *name : {"x", "y", "z"})
            ids << registerOn(bus, QLatin1String(name));
        for (const QString &other : std::as_const(ids))
            call(bus, ZavBus::Transfers::setProgress, {other, 0.3});
        const QJsonObject first = QJsonDocument::fromJson(control(ZavBus::Control::changes, {2}).toUtf8()).object();
        QCOMPARE(first.value(QStringLiteral("changed")).toArray().size(), 2);
        QVERIFY(first.value(QStringLiteral("more")).toBool());
        control(ZavBus::Control::changes, {1000});
        // Only the watcher was told: a connection that listens without watching heard nothing.
        QCOMPARE(m_strangerNotices, 0);
        control(ZavBus::Control::setWatching, {false});
        call(bus, ZavBus::Transfers::setProgress, {id, 0.6});
        QTest::qWait(200);
        QCOMPARE(m_notices, 3);
    }

    void watchOnATerminalAndInAPipe()
    {
        // On a terminal (script gives zavctl one): redrawn in place, states coloured unless NO_COLOR.
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), m_bus.address());
        env.insert(QStringLiteral("TERM"), QStringLiteral("xterm"));
        QProcess live, plain, pipe, linePipe;
        const QString command = QStringLiteral(ZAVCTL_BIN " watch");
        for (QProcess *p : {&live, &plain, &pipe, &linePipe}) {
            QProcessEnvironment e = env;
            if (p == &plain)
                e.insert(QStringLiteral("NO_COLOR"), QStringLiteral("1"));
            p->setProcessEnvironment(e);
            if (p == &pipe)
                p->start(QStringLiteral(ZAVCTL_BIN), {QStringLiteral("watch"), QStringLiteral("--json")});
            else if (p == &linePipe)
                p->start(QStringLiteral(ZAVCTL_BIN), {QStringLiteral("watch")});
            else
                p->start(QStringLiteral("script"), {QStringLiteral("-qfec"), command, QStringLiteral("/dev/null")});
            QVERIFY(p->waitForStarted());
        }
        QString screen, plainScreen, lines;
        auto waitFor = [&](const QString &text, int ms = 15000) {
            // A deadline, not a count of reads: every redraw is a read.
            for (QDeadlineTimer deadline(ms); !deadline.hasExpired()
                 && !(screen.contains(text) && plainScreen.contains(text) && lines.contains(text));) {
                for (QProcess *p : {&live, &plain, &pipe})
                    p->waitForReadyRead(5);
                screen += QString::fromUtf8(live.readAllStandardOutput());
                plainScreen += QString::fromUtf8(plain.readAllStandardOutput());
                lines += QString::fromUtf8(pipe.readAllStandardOutput());
            }
            return screen.contains(text) && plainScreen.contains(text) && lines.contains(text);
        };
        // Every watch follows the feed before the transfer comes.
        QTRY_VERIFY(status().value(QStringLiteral("watchers")).toInt() >= 4);
        const QDBusConnection bus = QDBusConnection::sessionBus();
        const QString id = registerOn(bus, QStringLiteral("Holiday photos"));
        call(bus, ZavBus::Transfers::setActive, {id, 0.5});
        QVERIFY2(waitFor(QStringLiteral("Holiday photos")), qPrintable(screen + lines));
        QVERIFY2(waitFor(QStringLiteral("50%"), 3000) || lines.contains(QStringLiteral("\"progress\":0.5")),
                 qPrintable(screen));
        QVERIFY(screen.contains(QStringLiteral("\x1b[32mActive")));
        QVERIFY(!plainScreen.contains(QStringLiteral("\x1b[32m")));
        // Redrawn in place: cursor home and clear to the end of line, never a cleared screen.
        QCOMPARE(screen.count(QStringLiteral("\x1b[2J")), 1);
        call(bus, ZavBus::Transfers::markCancelled, {id});
        // "Cancelled" in the tables, "cancelled" in JSON.
        QVERIFY(waitFor(QStringLiteral("ancelled")));
        // In a pipe: one JSON object a line, or a plain line, never a screen control.
        QVERIFY(!lines.contains(QChar(0x1b)));
        QByteArray plainLines;
        for (int i = 0; i < 100 && !plainLines.contains("Cancelled"); ++i) {
            linePipe.waitForReadyRead(50);
            plainLines += linePipe.readAllStandardOutput();
        }
        QVERIFY2(plainLines.contains("Holiday photos") && !plainLines.contains('\x1b'), plainLines.constData());
        const QJsonObject last = QJsonDocument::fromJson(lines.trimmed().split(QLatin1Char('\n')).constLast().toUtf8())
                                     .object();
        QCOMPARE(last.value(QStringLiteral("event")).toString(), QStringLiteral("changed"));
        QCOMPARE(last.value(QStringLiteral("transfer")).toObject().value(QStringLiteral("id")).toInteger(),
                 id.toLongLong());
        // A program that leaves: its row goes from the live table at once, not at the next change.
        {
            const QDBusConnection leaving = QDBusConnection::connectToBus(m_bus.address(), QStringLiteral("leaving"));
            registerOn(leaving, QStringLiteral("Leaving soon"));
            QVERIFY(waitFor(QStringLiteral("Leaving soon")));
        }
        QDBusConnection::disconnectFromBus(QStringLiteral("leaving"));
        bool gone = false;
        for (int i = 0; i < 1000 && !gone; ++i) {
            live.waitForReadyRead(5);
            screen += QString::fromUtf8(live.readAllStandardOutput());
            const QString frame = screen.mid(screen.lastIndexOf(QStringLiteral("\x1b[H")));
            gone = frame.endsWith(QStringLiteral("\x1b[J")) && !frame.contains(QStringLiteral("Leaving soon"));
        }
        QVERIFY(gone);
        // A restarted service: said, and its transfers shown (before, watch kept the old ones).
        m_bus.stopService();
        QVERIFY(m_bus.startService());
        registerOn(bus, QStringLiteral("After the restart"));
        QVERIFY2(waitFor(QStringLiteral("After the restart")), qPrintable(screen + lines));
        QVERIFY(screen.contains(QStringLiteral("the service left the bus")));
        QVERIFY(lines.contains(QStringLiteral("{\"event\":\"serviceLeft\"}\n{\"event\":\"serviceBack\"}\n")));
        for (QProcess *p : {&live, &plain, &pipe, &linePipe}) {
            p->kill();
            p->waitForFinished();
        }
    }

    void watchCatchesUpAfterFallingBehind()
    {
        // Past three removals unread, the service tells the watcher to list everything again.
        QVERIFY(m_bus.startService({QStringLiteral("--max-pending-removals"), QStringLiteral("3")}));
        QProcess watch;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), m_bus.address());
        watch.setProcessEnvironment(env);
        watch.start(QStringLiteral(ZAVCTL_BIN), {QStringLiteral("watch"), QStringLiteral("--json")});
        QVERIFY(watch.waitForStarted());
        const auto kill = qScopeGuard([&] {
            ::kill(pid_t(watch.processId()), SIGCONT);
            watch.kill();
            watch.waitForFinished();
        });
        QString lines;
        const auto waitFor = [&](const QString &text) {
            for (int i = 0; i < 1000 && !lines.contains(text); ++i) {
                watch.waitForReadyRead(5);
                lines += QString::fromUtf8(watch.readAllStandardOutput());
            }
            return lines.contains(text);
        };
        const QDBusConnection bus = QDBusConnection::sessionBus();
        const QString survivor = registerOn(bus, QStringLiteral("Survivor"));
        QStringList gone;
        {
            const QDBusConnection leaving = QDBusConnection::connectToBus(m_bus.address(), QStringLiteral("leaving"));
            for (int i = 0; i < 5; ++i)
                gone << registerOn(leaving, QStringLiteral("Gone %1").arg(i));
        }
        QVERIFY(waitFor(QStringLiteral("Gone 4")));
        ::kill(pid_t(watch.processId()), SIGSTOP);
        // A program of five transfers leaves while the watch does not read.
        QDBusConnection::disconnectFromBus(QStringLiteral("leaving"));
        QVERIFY(m_bus.sync());
        // Changed while the watcher was behind: seen only by listing again.
        call(bus, ZavBus::Transfers::setProgress, {survivor, 0.77});
        QVERIFY(m_bus.sync());
        ::kill(pid_t(watch.processId()), SIGCONT);
        QVERIFY2(waitFor(QStringLiteral("\"progress\":0.77")), qPrintable(lines));
        // And what went meanwhile is said gone (before, the watch went on describing it).
        for (const QString &id : std::as_const(gone))
            QVERIFY2(waitFor(QStringLiteral("{\"event\":\"removed\",\"id\":%1}").arg(id)), qPrintable(lines));
    }

    void desktopAsksALateServiceLessAndLessOften()
    {
        // A service without its listing answers at once with an error, as one not ready would.
        QVERIFY(m_bus.startService({QStringLiteral("--test-fault"), QStringLiteral("no-control")}));
        QProcess desktop;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), m_bus.address());
        desktop.setProcessEnvironment(env);
        desktop.setReadChannel(QProcess::StandardError);
        desktop.start(QStringLiteral(ZAV_DESKTOP_BIN), {});
        QVERIFY(desktop.waitForStarted());
        const auto kill = qScopeGuard([&] {
            desktop.kill();
            desktop.waitForFinished();
        });
        QString err;
        for (int i = 0; i < 1000 && !err.contains(QStringLiteral("asking again in 1000 ms")); ++i) {
            desktop.waitForReadyRead(5);
            err += QString::fromUtf8(desktop.readAllStandardError());
        }
        QVERIFY2(err.contains(QStringLiteral("asking again in 500 ms")) && err.contains(QStringLiteral("in 1000 ms")),
                 qPrintable(err));
    }

public Q_SLOTS:
    void noticed()
    {
        ++m_notices;
    }
    void strangerNoticed()
    {
        ++m_strangerNotices;
    }

private:
    int m_notices = 0;
    int m_strangerNotices = 0;
    QJsonObject status()
    {
        const QDBusMessage reply = call(QDBusConnection::sessionBus(), ZavBus::Control::status, {},
                                        ZavBus::ControlInterface);
        return QJsonDocument::fromJson(reply.arguments().value(0).toString().toUtf8()).object();
    }

    static qint64 residentKiB(qint64 pid)
    {
        QFile status(QStringLiteral("/proc/%1/status").arg(pid));
        if (!status.open(QIODevice::ReadOnly))
            return -1;
        const QRegularExpressionMatch rss = QRegularExpression(QStringLiteral("VmRSS:\\s*(\\d+)"))
                                                .match(QString::fromLatin1(status.readAll()));
        return rss.captured(1).toLongLong();
    }

    static constexpr int ZavCtlPageSize = Zav::PageSize;
    static constexpr int MaxMatchRules = 60;
    TestBus m_bus;
};

QTEST_GUILESS_MAIN(tst_Service)
#include "tst_service.moc"
