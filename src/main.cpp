// SPDX-License-Identifier: MIT
#include "ZAVTestMainPage.h"
#include "ZAVTestPictures.h"
#include "ZAVTestShowTransferPage.h"
#include "ZavBusAddress.h"
#include "ZavVocabulary.h"
#include "logger.h"

#include <MApplication.h>
#include <MApplicationWindow.h>

#include <QDebug>

#include <cstdio>
#include <memory>

int main(int argc, char **argv)
{
    // --address: the transfer service on another bus (a device's, through a forwarded socket).
    const std::optional<QByteArray> address = ZavBus::takeAddress(argc, argv, "zavtestapp");
    if (!address)
        return 2;
    if (!address->isEmpty())
        qputenv("DBUS_SESSION_BUS_ADDRESS", *address);
    // A bus that does not answer is said within seconds: the bus library would hold the window
    // for 25 s.
    if (const QString why = ZavBus::unanswered(qgetenv("DBUS_SESSION_BUS_ADDRESS")); !why.isEmpty()) {
        std::fprintf(stderr, "zavtestapp: the bus at %s cannot be used: %s\n",
                     qPrintable(Zav::printable(QString::fromUtf8(qgetenv("DBUS_SESSION_BUS_ADDRESS")).left(200))),
                     qPrintable(why));
        return 1;
    }
    // First of all and last to go, so that the whole run's messages reach the log file.
    Logger logger(QStringLiteral("ZAVTestApp"), QString());
    int result = 0;
    {
        MApplication application(argc, argv, QString(), nullptr);
        if (const QStringList placed = ZAVTestPictures::ensure(); !placed.isEmpty())
            qDebug() << "Test pictures placed:" << placed;
        auto window = std::make_unique<MApplicationWindow>();
        window->setWindowTitle(QStringLiteral("ZAV Test Application"));
        window->show();
        auto mainPage = std::make_unique<ZAVTestMainPage>();
        mainPage->setTitle(QStringLiteral("ZAV Test Application"));
        mainPage->appear(MSceneWindow::KeepWhenDone);
        window->setCloseQuestion([&mainPage]() -> QString {
            const auto *show = mainPage ? mainPage->findChild<ZAVTestShowTransferPage *>() : nullptr;
            const int count = show ? show->transferCount() : 0;
            if (count == 0)
                return QString();
            return QStringLiteral("Close the app? The service drops its %1 transfer(s) when it goes.").arg(count);
        });
        result = application.exec();
        // Teardown order: the main page with its child pages, the window, the application.
        mainPage.reset();
        window.reset();
    }
    return result;
}
