// The application's own figures, each beside a baseline from the same run:
//   update path   detail-page change -> show-page handler -> client library -> bus -> service
//                 applied, for one transfer and round-robin over 1,000 listed transfers, beside
//                 raw QDBusConnection::send of the same messages;
//   start-up      process start to the main page's first frame and to the show-transfers page
//                 being connected, beside a bare Graphics View window started the same way;
//   memory        resident memory at idle, and per listed transfer with 1,000 added;
//   auto progress every 20 ms step reaching the service while the tester keeps editing.
#include "TestBus.h"
#include "ZAVTestElement.h"
#include "ZAVTestElementDetail.h"
#include "ZAVTestMainPage.h"
#include "ZAVTestShowTransferPage.h"
#include "logger.h"

#include <MApplication.h>
#include <MApplicationWindow.h>
#include <MButton.h>
#include <MTextEdit.h>

#include <zav/ZavClient.h>

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDateTime>
#include <QElapsedTimer>
#include <QFile>
#include <QGraphicsView>
#include <QJsonArray>
#include <QProcess>
#include <QTest>
#include <QTimer>

#include <algorithm>
#include <malloc.h>
#include <cstdio>

namespace {
double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

double percentile(std::vector<double> v, double p)
{
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[std::min(v.size() - 1, size_t(p * double(v.size())))];
}

// Kibibytes resident, from /proc, after handing freed heap back to the system: what is counted
// is what the program holds, not what the allocator happened to keep.
double residentKiB()
{
    malloc_trim(0);
    QFile status(QStringLiteral("/proc/self/status"));
    status.open(QIODevice::ReadOnly);
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').value(0).toDouble();
    }
    return 0;
}

void row(const char *measure, double app, double baseline, const char *unit)
{
    std::printf("%-46s %12.1f %12.1f %7.2f  %s\n", measure, app, baseline, baseline > 0 ? app / baseline : 0.0, unit);
}

// Tells the parent (which keeps the clock) at the first paint of the view.
class FirstFrame : public QObject
{
public:
    bool seen = false;
    bool eventFilter(QObject *, QEvent *event) override
    {
        if (event->type() == QEvent::Paint && !seen) {
            seen = true;
            std::printf("frame\n");
            std::fflush(stdout);
        }
        return false;
    }
};

// Child mode: start up as the app does (or as a bare window), print the times and the memory.
int startupChild(int argc, char **argv, bool bare)
{
    if (bare) {
        QApplication app(argc, argv);
        QGraphicsScene scene;
        QGraphicsView view(&scene);
        FirstFrame frame;
        view.viewport()->installEventFilter(&frame);
        view.resize(854, 480);
        view.show();
        while (!frame.seen)
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        std::printf("connected\n");
        QTest::qWait(500);
        std::printf("memory %f\n", residentKiB());
        return 0;
    }
    Logger logger(QStringLiteral("ZAVTestApp"), QString());
    MApplication app(argc, argv);
    MApplicationWindow window;
    window.show();
    FirstFrame frame;
    window.viewport()->installEventFilter(&frame);
    ZAVTestMainPage main;
    main.setTitle(QStringLiteral("ZAV Test Application"));
    main.appear(MSceneWindow::KeepWhenDone);
    bool connected = false;
    while (!connected || !frame.seen) {
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 2);
        const auto pages = main.findChildren<ZAVTestShowTransferPage *>();
        if (!connected && !pages.isEmpty() && pages.constFirst()->serviceClient()) {
            connected = true;
            std::printf("connected\n");
            std::fflush(stdout);
        }
    }
    QTest::qWait(500);
    std::printf("memory %f\n", residentKiB());
    return 0;
}

struct StartupFigures
{
    std::vector<double> frame, connected, memory;
};

StartupFigures runChildren(const QString &mode, const TestBus &bus, int runs)
{
    StartupFigures figures;
    for (int i = 0; i < runs; ++i) {
        QProcess child;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), bus.address());
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        child.setProcessEnvironment(env);
        QElapsedTimer clock;
        clock.start();
        child.start(QCoreApplication::applicationFilePath(), {mode});
        double frame = -1, connected = -1, memory = 0;
        while (child.state() != QProcess::NotRunning || child.canReadLine()) {
            if (!child.canReadLine() && !child.waitForReadyRead(1000))
                continue;
            while (child.canReadLine()) {
                const QByteArray line = child.readLine().trimmed();
                const double now = clock.nsecsElapsed() / 1e6;
                if (line == "frame")
                    frame = now;
                else if (line == "connected")
                    connected = now;
                else if (line.startsWith("memory "))
                    memory = line.mid(7).toDouble();
            }
        }
        figures.frame.push_back(frame);
        figures.connected.push_back(connected);
        figures.memory.push_back(memory);
    }
    return figures;
}

struct Raw
{
    QString owner;
    void send(const QString &id, qulonglong bytes) const
    {
        QDBusMessage call = QDBusMessage::createMethodCall(owner, QStringLiteral("/com/kelvo/zav"),
                                                           QStringLiteral("com.kelvo.zav.Transfers"),
                                                           QStringLiteral("setSize"));
        call.setAutoStartService(false);
        call << id << bytes;
        QDBusConnection::sessionBus().send(call);
    }
};
} // namespace

int main(int argc, char **argv)
{
    if (argc > 1 && (qstrcmp(argv[1], "--startup-app") == 0 || qstrcmp(argv[1], "--startup-bare") == 0))
        return startupChild(argc, argv, qstrcmp(argv[1], "--startup-bare") == 0);

    MApplication app(argc, argv);
    qInstallMessageHandler([](QtMsgType, const QMessageLogContext &, const QString &) {});
    TestBus bus;
    if (!bus.start() || !bus.startService({}, false))
        return 1;

    std::printf("%-46s %12s %12s %7s\n", "measure", "app", "baseline", "ratio");

    // ---- start-up and idle memory (children alternate, five of each)
    StartupFigures appRuns, bareRuns;
    for (int i = 0; i < 5; ++i) {
        const StartupFigures a = runChildren(QStringLiteral("--startup-app"), bus, 1);
        const StartupFigures b = runChildren(QStringLiteral("--startup-bare"), bus, 1);
        appRuns.frame.push_back(a.frame[0]), appRuns.connected.push_back(a.connected[0]);
        appRuns.memory.push_back(a.memory[0]);
        bareRuns.frame.push_back(b.frame[0]), bareRuns.memory.push_back(b.memory[0]);
    }
    row("start-up to first frame (ms)", median(appRuns.frame), median(bareRuns.frame), "vs bare window");
    row("start-up to service connected (ms)", median(appRuns.connected), median(bareRuns.frame) + 100,
        "vs bare window + 100 ms");
    row("resident memory at idle (KiB)", median(appRuns.memory), median(bareRuns.memory), "vs bare window");

    // ---- the update path
    const int listed = 1000;
    const int updates = 20000;
    MApplicationWindow window;
    window.show();
    ZAVTestShowTransferPage show;
    show.appear();
    const double before = residentKiB();
    for (int i = 0; i < listed; ++i)
        show.addTransfer(QStringLiteral("Download"), QStringLiteral("Transfer %1").arg(i % 9 + 1),
                         QStringLiteral("Transfer Message 2"), QString(), QStringLiteral("Active"), QString(),
                         QStringLiteral("2048"), QStringLiteral("0"), false);
    bus.sync();
    QTest::qWait(200);
    const double perTransfer = (residentKiB() - before) / listed;
    row("resident memory per listed transfer (KiB)", perTransfer, 64, "vs goal of 64 KiB");

    QStringList ids;
    for (ZAVTestElement *r : show.rows())
        ids << r->transferId();
    ZAVTestElementDetail *detail = show.detailPage();
    detail->setTransferId(ids.constFirst());
    detail->init(QString(), QString(), 0, 0, QString(), 0, 0);
    detail->appear();
    const Raw raw {QDBusConnection::sessionBus().interface()->serviceOwner(QStringLiteral("com.kelvo.zav"))};

    // A change as the tester makes it: the size field's Return, through every layer.
    MTextEdit *field = detail->sizeField();
    auto change = [&](const QString &id, int i) {
        detail->setTransferId(id);
        field->setText(QString::number(1000 + i));
        emit field->returnPressed();
    };
    std::vector<double> oneRate, roundRate, rawRate;
    for (int round = 0; round < 3; ++round) {
        QElapsedTimer clock;
        clock.start();
        for (int i = 0; i < updates; ++i)
            raw.send(ids.constFirst(), 1000 + i);
        bus.sync();
        rawRate.push_back(updates / (clock.nsecsElapsed() / 1e9));
        clock.start();
        for (int i = 0; i < updates; ++i)
            change(ids.constFirst(), i);
        bus.sync();
        oneRate.push_back(updates / (clock.nsecsElapsed() / 1e9));
        clock.start();
        for (int i = 0; i < updates; ++i)
            change(ids.at(i % listed), i);
        bus.sync();
        roundRate.push_back(updates / (clock.nsecsElapsed() / 1e9));
    }
    row("updates/s, one transfer", median(oneRate), median(rawRate), "ratio = raw rate / app rate below");
    std::printf("%-46s %12s %12s %7.2f  %s\n", "  cost vs raw send", "", "", median(rawRate) / median(oneRate),
                "(goal <= 1.5)");
    row("updates/s, round-robin over 1,000 listed", median(roundRate), median(oneRate), "vs one transfer");
    std::printf("%-46s %12s %12s %7.2f  %s\n", "  cost vs one transfer", "", "", median(oneRate) / median(roundRate),
                "(goal <= 1.2)");

    std::vector<double> appLatency, rawLatency;
    for (int i = 0; i < 1000; ++i) {
        QElapsedTimer clock;
        clock.start();
        raw.send(ids.at(i % listed), 7);
        bus.sync();
        rawLatency.push_back(clock.nsecsElapsed() / 1e3);
        clock.start();
        change(ids.at(i % listed), i);
        bus.sync();
        appLatency.push_back(clock.nsecsElapsed() / 1e3);
    }
    row("latency of one update, median (us)", median(appLatency), median(rawLatency), "vs raw send");
    row("latency of one update, p99 (us)", percentile(appLatency, 0.99), percentile(rawLatency, 0.99), "vs raw send");

    // ---- automatic progress while the tester keeps editing, read from the service's journal
    bus.startService();
    ZAVTestShowTransferPage autoPage;
    autoPage.appear();
    autoPage.addTransfer(QStringLiteral("Sync"), QStringLiteral("Transfer 2"), QStringLiteral("Transfer Message 2"),
                         QString(), QStringLiteral("Active"), QString(), QStringLiteral("2"), QStringLiteral("0"),
                         false);
    const QString autoId = autoPage.rows().constFirst()->transferId();
    ZAVTestElementDetail *autoDetail = autoPage.detailPage();
    autoDetail->setTransferId(autoId);
    autoDetail->init(QString(), QString(), 0, 0, QString(), 0, 0);
    autoDetail->appear();
    int made = 0;
    QObject::connect(autoDetail, &ZAVTestElementDetail::transferProgressSignal, [&made] { ++made; });
    autoDetail->progressSlider().autoButton()->click();
    QElapsedTimer clock;
    clock.start();
    int edits = 0;
    while (clock.elapsed() < 3000) {
        autoDetail->setTransferId(autoId);
        autoDetail->sizeField()->setText(QString::number(++edits));
        emit autoDetail->sizeField()->returnPressed();
        // A real event loop between edits (QTest::qWait sleeps in between, and the timer with it).
        QEventLoop pause;
        QTimer::singleShot(7, &pause, &QEventLoop::quit);
        pause.exec();
    }
    autoDetail->progressSlider().autoButton()->click();
    bus.sync();
    std::vector<double> times;
    for (const QJsonObject &line : bus.journalFor(autoId)) {
        if (line.value(QStringLiteral("call")).toString() == QLatin1String("setProgress"))
            times.push_back(QDateTime::fromString(line.value(QStringLiteral("time")).toString(), Qt::ISODateWithMs)
                                .toMSecsSinceEpoch());
    }
    int late = 0;
    for (size_t i = 1; i < times.size(); ++i)
        late += times[i] - times[i - 1] > 40 ? 1 : 0;
    row("auto progress steps reaching the service", double(times.size()), double(made), "vs steps made");
    row("auto progress steps made in 3 s", double(made), 3000.0 / 20.0, "vs one per 20 ms");
    std::printf("%-46s %12d %12s %7s  %s\n", "  steps later than one step (gap > 40 ms)", late, "0", "",
                qPrintable(QStringLiteral("while %1 other edits were sent").arg(edits)));
    return 0;
}
