// SPDX-License-Identifier: MIT
// Walks through the real pages as a tester would, on a private bus with the real service, and
// saves a picture of each into the folder given (scripts/screenshots: docs/).
#include "AppDriver.h"
#include "TestBus.h"
#include "ZAVTestAddTransferPage.h"
#include "ZAVTestElement.h"
#include "ZAVTestElementDetail.h"
#include "ZAVTestMainPage.h"
#include "ZAVTestShowTransferPage.h"

#include <MApplication.h>
#include <MApplicationWindow.h>
#include <MButton.h>
#include <MDialog.h>

#include <QDir>
#include <QPainter>
#include <QProcess>
#include <QScreen>
#include <QTemporaryDir>
#include <QTest>

#include <cstdio>

namespace {
void save(MApplicationWindow &window, const QString &folder, const QString &name)
{
    QTest::qWait(150);
    const QString path = QDir(folder).filePath(name);
    // On a real display the picture is what the display shows; elsewhere a fresh paint.
    const QPoint origin = window.mapToGlobal(QPoint(0, 0));
    const QPixmap shot = QGuiApplication::platformName() == QLatin1String("xcb")
        ? window.screen()->grabWindow(0, origin.x(), origin.y(), window.width(), window.height())
        : window.grab();
    if (!shot.save(path))
        std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
    else
        std::printf("%s\n", qPrintable(path));
}

QString samplePicture(const QTemporaryDir &dir)
{
    QImage image(256, 256, QImage::Format_ARGB32);
    image.fill(QColor(0x8e, 0xc5, 0xf0));
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0x3c, 0x8d, 0x2f));
    p.drawRect(0, 180, 256, 76);
    p.setBrush(QColor(0xf5, 0xc2, 0x1b));
    for (int i = 0; i < 12; ++i) {
        p.save();
        p.translate(128, 110);
        p.rotate(i * 30);
        p.drawEllipse(QRectF(-14, -78, 28, 56));
        p.restore();
    }
    p.setBrush(QColor(0x6b, 0x3e, 0x12));
    p.drawEllipse(QPointF(128, 110), 34, 34);
    p.end();
    const QString path = dir.filePath(QStringLiteral("sunflower.png"));
    image.save(path);
    return path;
}

void addTransfer(MApplicationWindow &window, ZAVTestMainPage &main, ZAVTestAddTransferPage &add, const QString &type,
                 const QString &name, const QString &msg, const QString &status, int size)
{
    clickOn(&window, findButton(&main, QStringLiteral("Add New Transfers")));
    pickOption(add.typeList(), type);
    pickOption(add.nameList(), name);
    pickOption(add.messageList(), msg);
    pickOption(add.statusList(), status);
    dragSlider(add.sizeSlider(), size);
    clickOn(&window, add.addButton());
}
} // namespace

int main(int argc, char **argv)
{
    // The bus first: the xcb platform reaches for the session bus as the application starts.
    TestBus bus;
    if (!bus.start())
        return 1;
    MApplication app(argc, argv);
    const QString folder = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral("docs");
    QDir().mkpath(folder);
    if (!bus.startService()) {
        std::fprintf(stderr, "cannot start the bus and the service\n");
        return 1;
    }
    QTemporaryDir pictures;
    const QString picture = samplePicture(pictures);

    MApplicationWindow window;
    window.show();
    ZAVTestMainPage main;
    main.setTitle(QStringLiteral("ZAV Test Application"));
    main.appear(MSceneWindow::KeepWhenDone);
    QTest::qWait(300);
    save(window, folder, QStringLiteral("main-page.png"));

    auto *add = main.findChildren<ZAVTestAddTransferPage *>().value(0);
    auto *show = main.findChildren<ZAVTestShowTransferPage *>().value(0);
    if (!add || !show)
        return 1;
    add->setFileChooser([&](const QString &) { return QStringList {picture}; });

    // An upload with a file and an account.
    clickOn(&window, findButton(&main, QStringLiteral("Add New Transfers")));
    pickOption(add->typeList(), QStringLiteral("Web upload"));
    pickOption(add->nameList(), QStringLiteral("Transfer 3"));
    pickOption(add->statusList(), QStringLiteral("Active"));
    dragSlider(add->sizeSlider(), 640);
    clickOn(&window, add->browseButton());
    pickOption(*add->serviceList(), QStringLiteral("youtube"));
    save(window, folder, QStringLiteral("add-transfer.png"));
    clickOn(&window, add->addButton());

    addTransfer(window, main, *add, QStringLiteral("Download"), QStringLiteral("Transfer 5"),
                QStringLiteral("Processing files before transfer"), QStringLiteral("Inactive"), 420);
    addTransfer(window, main, *add, QStringLiteral("Sync"), QStringLiteral("Transfer 7"),
                QStringLiteral("Transfer Message 4"), QStringLiteral("NoMessageInactive"), 250);

    // The list, with one transfer moved along on its detail page.
    if (!registrationsAnswered(show))
        return 1;
    clickOn(&window, findButton(&main, QStringLiteral("Show Transfers")));
    const QList<ZAVTestElement *> rows = show->rows();
    ZAVTestElementDetail *detail = show->detailPage();
    pressOn(&window, rows.at(1));
    pickOption(detail->messageList(), QStringLiteral("Transfer Message 6"));
    pickOption(detail->statusList(), QStringLiteral("Active"));
    dragSlider(detail->progressSlider(), 180);
    dragSlider(detail->estimateSlider(), 150);
    dragSlider(detail->speedSlider(), 140);
    save(window, folder, QStringLiteral("transfer-detail.png"));
    clickOn(&window, detail->closeButton());
    bus.zavctl({QStringLiteral("request"), rows.at(2)->transferId(), QStringLiteral("pause")});
    QTest::qWait(200);
    save(window, folder, QStringLiteral("transfer-list.png"));

    // The same transfers on the desktop, as scripts/run --desktop shows them: zav-desktop, and
    // xfce4-notifyd with its stock look beside the app, on this display.
    QProcess daemon;
    QProcess desktop;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("NO_AT_BRIDGE"), QStringLiteral("1"));
    daemon.setProcessEnvironment(env);
    daemon.start(QStringLiteral("/usr/lib/x86_64-linux-gnu/xfce4/notifyd/xfce4-notifyd"), {});
    desktop.start(QStringLiteral(ZAV_DESKTOP_BIN), {});
    QTest::qWait(2000);
    const QString screenPath = QDir(folder).filePath(QStringLiteral("desktop-notifications.png"));
    if (QGuiApplication::platformName() == QLatin1String("xcb")
        && window.screen()->grabWindow(0, 0, 0, window.screen()->size().width(), 500).save(screenPath))
        std::printf("%s\n", qPrintable(screenPath));
    desktop.terminate();
    desktop.waitForFinished();
    daemon.terminate();
    daemon.waitForFinished();

    // A cancel request from the service, and its answer box.
    bus.zavctl({QStringLiteral("request"), rows.at(0)->transferId(), QStringLiteral("cancel")});
    QTest::qWait(200);
    DialogAnswerer answerer(&window);
    answerer.whileOpen = [&] { save(window, folder, QStringLiteral("answer-box.png")); };
    answerer.answerNext(M::OkButton);
    clickOn(&window, rows.at(0)->infoButton());
    for (int i = 0; i < 500 && !answerer.answered(); ++i)
        QTest::qWait(10);
    QTest::qWait(100);
    return answerer.answered() ? 0 : 1;
}
