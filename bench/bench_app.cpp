// SPDX-License-Identifier: MIT
// The application's own figures, each beside a baseline from the same run:
//   update path   detail-page change -> show-page handler -> client library -> bus, with the log
//                 on and a pass of the event loop after each change, as the app runs: one row
//                 listed and round-robin over 1,000, beside raw QDBusConnection::send; CPU per
//                 change, the variants interleaved; adding 1,000 rows;
//   start-up      process start to the main page's first frame and to the show-transfers page
//                 being connected, beside a bare Graphics View window started the same way;
//   memory        resident memory at idle, and per listed transfer with 1,000 added;
//   auto progress every 20 ms step reaching the service with 1,000 rows listed while the tester
//                 keeps editing.
#include "ZavBusNames.h"
#include "BenchUtil.h"
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
#include <QLabel>
#include <QLineEdit>
#include <QProcess>
#include <QSlider>
#include <QTest>
#include <QTimer>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>
#include <malloc.h>
#include <cstdio>

using namespace Bench;

namespace {
double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
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
        QDBusMessage call = QDBusMessage::createMethodCall(owner, QLatin1String(ZavBus::ObjectPath),
                                                           QLatin1String(ZavBus::TransfersInterface),
                                                           QLatin1String(ZavBus::Transfers::setSize));
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

    // ---- the update path, as the app ships: its log on, the event loop running
    Logger logger(QStringLiteral("ZAVTestAppBench"), QString());
    MApplicationWindow window;
    window.show();
    const auto addRows = [](ZAVTestShowTransferPage &page, int count, Figure *perAdd) {
        const double start = processCpu();
        for (int i = 0; i < count; ++i) {
            page.addTransfer(QStringLiteral("Download"), QStringLiteral("Transfer %1").arg(i % 9 + 1),
                             QStringLiteral("Transfer Message 2"), QString(), QStringLiteral("Active"), QString(),
                             QStringLiteral("2048"), QStringLiteral("0"), false);
            QCoreApplication::processEvents();
        }
        // Each registration is answered later; a row is done once its transfer is registered.
        (void)QTest::qWaitFor([&page] { return page.registeringCount() == 0; }, 30000);
        if (perAdd)
            perAdd->samples.push_back((processCpu() - start) * 1e6 / count);
    };
    // The pages: one with a single row, one with 1,000; the detail page of each shown in turn.
    ZAVTestShowTransferPage one, many;
    one.appear();
    addRows(one, 1, nullptr);
    Figure perAdd;
    // Rows are added while another page is shown, as from the add page.
    const double before = residentKiB();
    addRows(many, 1000, &perAdd);
    bus.sync();
    const double perTransfer = (residentKiB() - before) / 1000;
    const QString oneId = one.rows().constFirst()->transferId();
    QStringList manyIds;
    for (ZAVTestElement *r : many.rows())
        manyIds << r->transferId();
    const Raw raw {QDBusConnection::sessionBus().interface()->serviceOwner(QLatin1String(ZavBus::ServiceName))};

    // A change as the tester makes it: the size field's Return, through every layer, then one
    // pass of the event loop (layout, painting, the bus).
    const auto changes = [](ZAVTestShowTransferPage &page, const QStringList &ids) {
        return [&page, ids](int n) {
            ZAVTestElementDetail *detail = page.detailPage();
            detail->setTransferId(ids.constFirst());
            detail->init(QString(), QString(), 0, 0, QString(), 0, 0);
            detail->appear();
            QCoreApplication::processEvents();
            const double start = processCpu();
            for (int i = 0; i < n; ++i) {
                detail->setTransferId(ids.at(i % ids.size()));
                detail->sizeField()->setText(QString::number(1000 + i));
                emit detail->sizeField()->returnPressed();
                QCoreApplication::processEvents();
            }
            return processCpu() - start;
        };
    };
    // What a Qt developer would write without our framework: a plain widget page with the same
    // slider, label and field, whose Return logs the change, moves the slider, shows the number
    // and makes the same library call.
    QWidget plain;
    auto *plainLayout = new QVBoxLayout(&plain);
    auto *plainSlider = new QSlider(Qt::Horizontal);
    plainSlider->setRange(0, 1000);
    auto *plainLabel = new QLabel;
    auto *plainField = new QLineEdit;
    plainLayout->addWidget(plainSlider);
    plainLayout->addWidget(plainLabel);
    plainLayout->addWidget(plainField);
    Zav::Transfer *plainTransfer = one.transferHandle(oneId);
    QObject::connect(plainField, &QLineEdit::returnPressed, [=] {
        const quint64 bytes = plainField->text().toULongLong();
        qDebug() << "size entered" << bytes;
        plainSlider->setValue(bytes ? int(std::log10(double(bytes)) * 100 + 1) : 0);
        plainLabel->setText(QStringLiteral("%1 bytes").arg(bytes));
        plainTransfer->setSize(bytes);
    });
    plain.show();
    std::vector<Variant> variants {
        {"raw QDBusConnection::send + event loop pass",
         [&](int n) {
             const double start = processCpu();
             for (int i = 0; i < n; ++i) {
                 raw.send(oneId, 1000 + i);
                 QCoreApplication::processEvents();
             }
             return processCpu() - start;
         }},
        {"app change, 1 row listed", changes(one, {oneId})},
        {"app change, round-robin over 1,000 listed rows", changes(many, manyIds)},
        {"plain Qt Widgets page, the same change",
         [&](int n) {
             QCoreApplication::processEvents();
             const double start = processCpu();
             for (int i = 0; i < n; ++i) {
                 plainField->setText(QString::number(1000 + i));
                 emit plainField->returnPressed();
                 QCoreApplication::processEvents();
             }
             return processCpu() - start;
         }},
    };
    interleave(variants, 5, 2000, [&] {
        bus.sync();
        QCoreApplication::processEvents();
    });
    header("== application as it ships (log on, event loop running): CPU per change in the app");
    line(variants[0].name, variants[0].perOp);
    line(variants[1].name, variants[1].perOp, &variants[0].perOp);
    line(variants[2].name, variants[2].perOp, &variants[1].perOp, 1.2);
    line(variants[3].name, variants[3].perOp, &variants[0].perOp);
    line("app change, 1 row listed, against the plain page", variants[1].perOp, &variants[3].perOp, 2.0);
    Figure budget;
    budget.samples.push_back(1000);
    line("adding a row, 1,000 rows (from another page)", perAdd, &budget, 1.0);
    Figure perRow, goal;
    perRow.samples.push_back(perTransfer);
    goal.samples.push_back(64);
    line("resident memory per listed transfer", perRow, &goal, 1.0, "KB");

    // ---- automatic progress with 1,000 rows listed, while the tester keeps editing
    bus.startService();
    ZAVTestShowTransferPage autoPage;
    addRows(autoPage, 1000, nullptr);
    autoPage.appear();
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
    QStringList autoIds;
    for (ZAVTestElement *r : autoPage.rows())
        autoIds << r->transferId();
    while (clock.elapsed() < 3000) {
        autoDetail->setTransferId(autoIds.at(++edits % autoIds.size()));
        autoDetail->sizeField()->setText(QString::number(edits));
        emit autoDetail->sizeField()->returnPressed();
        autoDetail->setTransferId(autoId);
        // A real event loop between edits (QTest::qWait sleeps in between, and the timer with it).
        QEventLoop pause;
        QTimer::singleShot(7, &pause, &QEventLoop::quit);
        pause.exec();
    }
    autoDetail->progressSlider().autoButton()->click();
    bus.sync();
    int reached = 0;
    for (const QJsonObject &line : bus.journalFor(autoId))
        reached += line.value(QStringLiteral("call")).toString() == QLatin1String("setProgress");
    header("== automatic progress, 1,000 rows listed, an edit every 7 ms besides");
    Figure steps, schedule, madeFigure;
    steps.samples.push_back(reached);
    madeFigure.samples.push_back(made);
    schedule.samples.push_back(3000.0 / 20.0);
    line("steps made in 3 s vs one per 20 ms", madeFigure, &schedule, 0, "");
    std::printf("%-52s %10s %19s %8.2f  >= 0.95  %s\n", "  steps made vs the schedule", "", "",
                made / schedule.median(), made >= 0.95 * schedule.median() ? "met" : "NOT MET");
    line("steps reaching the service vs steps made", steps, &madeFigure, 0, "");
    return 0;
}
