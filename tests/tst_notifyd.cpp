// SPDX-License-Identifier: MIT
// The desktop loop against a second real daemon, xfce4-notifyd, which draws a notification's
// actions as buttons, as scripts/run --desktop starts it: on a virtual screen of the size that
// scripts/run makes, a click with the mouse on a notification's button comes back to the app's
// row as the service's request, and no notification covers the app's window.
#include "AppDriver.h"
#include "TestBus.h"
#include "ZavBusNames.h"
#include "ZAVTestElement.h"
#include "ZAVTestShowTransferPage.h"

#include <MApplicationWindow.h>
#include <MButton.h>

#include <QDBusConnectionInterface>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QImage>
#include <QJsonArray>
#include <QProcess>
#include <QRegularExpression>
#include <QScreen>
#include <QTest>

static TestBus *g_bus = nullptr;

class tst_Notifyd : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(m_bus.startService());
        for (QProcess *p : {&m_bridge, &m_daemon}) {
            p->setProcessChannelMode(QProcess::ForwardedErrorChannel);
            p->setStandardOutputFile(QProcess::nullDevice());
            p->setStandardErrorFile(QProcess::nullDevice());
            p->setChildProcessModifier(dieWithParent);
        }
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("NO_AT_BRIDGE"), QStringLiteral("1"));
        m_daemon.setProcessEnvironment(env);
        m_daemon.start(QStringLiteral("/usr/lib/x86_64-linux-gnu/xfce4/notifyd/xfce4-notifyd"), {});
        QVERIFY(m_daemon.waitForStarted());
        QTRY_VERIFY_WITH_TIMEOUT(QDBusConnection::sessionBus().interface()->isServiceRegistered(
                                     QStringLiteral("org.freedesktop.Notifications")),
                                 10000);
        // At most what scripts/run gives a screen 1080 pixels high.
        m_bridge.start(QStringLiteral(ZAV_DESKTOP_BIN), {QStringLiteral("--max-notifications"), QStringLiteral("10")});
        QVERIFY(m_bridge.waitForStarted());
        m_window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&m_window));
        m_show = new ZAVTestShowTransferPage;
        m_show->appear();
    }

    void cleanupTestCase()
    {
        delete m_show;
        for (QProcess *p : {&m_bridge, &m_daemon}) {
            p->terminate();
            p->waitForFinished(5000);
        }
    }

    void aButtonClickedWithTheMouseComesBackToTheRow()
    {
        // The longest name the add page offers: the widest notification.
        m_show->addTransfer(QStringLiteral("Download"),
                            QStringLiteral("Big Transfer Title Big Transfer Title of Transfer 1"),
                            QStringLiteral("Transfer Message 1"), QString(), QStringLiteral("Active"), QString(),
                            QStringLiteral("10"), QStringLiteral("10"), false);
        QVERIFY(registrationsAnswered(m_show));
        ZAVTestElement *row = m_show->rows().constLast();
        QRect notification;
        QTRY_VERIFY_WITH_TIMEOUT(!(notification = notificationWindow()).isEmpty(), 10000);
        // Drawn and settled: the daemon draws a notification again at each update (the transfer's
        // first values come a few hundred ms apart), and a click during a redraw is lost.
        QImage drawn;
        QElapsedTimer still;
        still.start();
        QTRY_VERIFY_WITH_TIMEOUT(([&] {
                                     const QRect now = notificationWindow();
                                     const QImage pixels = QGuiApplication::primaryScreen()
                                                               ->grabWindow(0, now.x(), now.y(), now.width(),
                                                                            now.height())
                                                               .toImage();
                                     if (now != notification || pixels != drawn) {
                                         notification = now;
                                         drawn = pixels;
                                         still.restart();
                                     }
                                     return !notification.isEmpty() && still.elapsed() >= 800;
                                 }()),
                                 15000);
        // Placed beside the app, not over it (before, over its right-hand column); read once
        // settled, as a new window first shows at 0,0.
        QVERIFY2(!notification.intersects(m_window.frameGeometry()),
                 qPrintable(QStringLiteral("%1,%2 %3x%4")
                                .arg(notification.x())
                                .arg(notification.y())
                                .arg(notification.width())
                                .arg(notification.height())));
        // The rightmost button (Cancel: a running transfer that cannot pause offers nothing
        // else). Before, the progress went as the `value` hint, and this daemon then draws a bare
        // gauge: no text, no buttons.
        const QPoint button(notification.right() - 56, notification.bottom() - 30);
        QProcess click;
        click.start(QStringLiteral("xdotool"),
                    {QStringLiteral("mousemove"), QString::number(button.x()), QString::number(button.y()),
                     QStringLiteral("click"), QStringLiteral("1")});
        QVERIFY(click.waitForFinished(5000));
        QTRY_VERIFY_WITH_TIMEOUT(row->infoButton()->isVisible(), 5000);
        QVERIFY(m_bus.sync());
        const QList<QJsonObject> asked = m_bus.journalFor(row->transferId());
        QVERIFY(std::any_of(asked.cbegin(), asked.cend(), [](const QJsonObject &line) {
            return line.value(QStringLiteral("call")).toString() == QLatin1String("sendRequest")
                && line.value(QStringLiteral("args")).toArray().first().toString() == QLatin1String("cancel");
        }));
    }

    void manyTransfersLeaveTheAppFree()
    {
        // 25 running transfers of another program, then five of them failing: failures take the
        // places of the oldest running, in notifications of another height. Before, a third
        // column lay over the app.
        QDBusConnection program = QDBusConnection::connectToBus(m_bus.address(), QStringLiteral("many"));
        const auto call = [&program](const char *member, const QVariantList &arguments) {
            QDBusMessage call = QDBusMessage::createMethodCall(
                QLatin1String(ZavBus::ServiceName), QLatin1String(ZavBus::ObjectPath),
                QLatin1String(ZavBus::TransfersInterface), QLatin1String(member));
            call.setArguments(arguments);
            return program.call(call, QDBus::Block, 5000).arguments().value(0).toString();
        };
        QStringList ids;
        for (int i = 0; i < 25; ++i) {
            ids << call(ZavBus::Transfers::registerTransfer,
                        {QStringLiteral("Transfer number %1 of a long batch").arg(i), i % 3, QString()});
            call(ZavBus::Transfers::setActive, {ids.last(), 0.1 + i / 50.0});
        }
        expectSettled(10);
        if (QTest::currentTestFailed())
            return;
        for (int i = 0; i < 25; i += 5)
            call(ZavBus::Transfers::markRepairableFailure,
                 {ids[i], QStringLiteral("Oops"), QStringLiteral("Broken"), QStringLiteral("Retry")});
        expectSettled(10);
        program = QDBusConnection(QString());
        QDBusConnection::disconnectFromBus(QStringLiteral("many"));
    }

private:
    // Waits until the daemon's windows have stayed put for a second, and checks that there are
    // at most `most` and that none covers the app.
    void expectSettled(int most)
    {
        QList<QRect> windows;
        QElapsedTimer still;
        still.start();
        QTRY_VERIFY_WITH_TIMEOUT(([&] {
                                     const QList<QRect> now = notificationWindows();
                                     if (now != windows) {
                                         windows = now;
                                         still.restart();
                                     }
                                     return windows.size() >= 2 && still.elapsed() >= 1000;
                                 }()),
                                 20000);
        QVERIFY2(windows.size() <= most, qPrintable(QString::number(windows.size())));
        for (const QRect &w : std::as_const(windows))
            QVERIFY2(!w.intersects(m_window.frameGeometry()),
                     qPrintable(QStringLiteral("%1x%2+%3+%4").arg(w.width()).arg(w.height()).arg(w.x()).arg(w.y())));
    }

    QRect notificationWindow() const { return notificationWindows().value(0); }
    // The daemon's notification windows on the X server (its other windows are 10 x 10).
    QList<QRect> notificationWindows() const
    {
        QProcess info;
        info.start(QStringLiteral("xwininfo"), {QStringLiteral("-root"), QStringLiteral("-tree")});
        info.waitForFinished(5000);
        static const QRegularExpression window(
            QStringLiteral("\"xfce4-notifyd\".*\\s(\\d+)x(\\d+)\\+(-?\\d+)\\+(-?\\d+)\\s"));
        QList<QRect> windows;
        for (const QString &line : QString::fromUtf8(info.readAllStandardOutput()).split(QLatin1Char('\n'))) {
            const QRegularExpressionMatch m = window.match(line);
            if (m.hasMatch() && m.captured(1).toInt() > 10)
                windows.append(
                    QRect(m.captured(3).toInt(), m.captured(4).toInt(), m.captured(1).toInt(), m.captured(2).toInt()));
        }
        return windows;
    }

    TestBus &m_bus = *g_bus;
    QProcess m_bridge;
    QProcess m_daemon;
    MApplicationWindow m_window;
    ZAVTestShowTransferPage *m_show = nullptr;
};

// The screen that scripts/run gives its virtual display.
ZAV_SCREEN_TEST_MAIN_SIZED(tst_Notifyd, "1920x1080x24")

#include "tst_notifyd.moc"
