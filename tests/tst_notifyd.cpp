// SPDX-License-Identifier: MIT
// The desktop loop against a second real daemon, xfce4-notifyd, which draws a notification's
// actions as buttons, as scripts/run --desktop starts it: on a virtual screen of the size that
// scripts/run makes, a click with the mouse on a notification's button comes back to the app's
// row as the service's request, and no notification covers the app's window.
#include "AppDriver.h"
#include "TestBus.h"
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
        m_bridge.start(QStringLiteral(ZAV_DESKTOP_BIN), {});
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

private:
    // The daemon's notification window on the X server (its other windows are 10 x 10).
    QRect notificationWindow() const
    {
        QProcess info;
        info.start(QStringLiteral("xwininfo"), {QStringLiteral("-root"), QStringLiteral("-tree")});
        info.waitForFinished(5000);
        static const QRegularExpression window(
            QStringLiteral("\"xfce4-notifyd\".*\\s(\\d+)x(\\d+)\\+(-?\\d+)\\+(-?\\d+)\\s"));
        for (const QString &line : QString::fromUtf8(info.readAllStandardOutput()).split(QLatin1Char('\n'))) {
            const QRegularExpressionMatch m = window.match(line);
            if (m.hasMatch() && m.captured(1).toInt() > 10)
                return QRect(m.captured(3).toInt(), m.captured(4).toInt(), m.captured(1).toInt(),
                             m.captured(2).toInt());
        }
        return QRect();
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
