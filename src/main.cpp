// SPDX-License-Identifier: MIT
#include "ZAVTestMainPage.h"
#include "ZAVTestPictures.h"
#include "ZAVTestShowTransferPage.h"
#include "ZavBusAddress.h"
#include "ZavVersion.h"
#include "ZavVocabulary.h"
#include "logger.h"

#include <MApplication.h>
#include <MApplicationWindow.h>
#include <zav/ZavClient.h>

#include <QDebug>
#include <QGuiApplication>

#include <cstdio>
#include <memory>

namespace {
// --help and --version are answered before anything else: they need neither a bus nor a display.
bool answeredAlone(int argc, char **argv)
{
    for (int i = 1; i < argc; ++i) {
        const QByteArray arg = argv[i];
        if (arg == "--version" || arg == "-v") {
            std::printf("zavtestapp %s\n", Zav::Version);
            return true;
        }
        if (arg == "--help" || arg == "-h") {
            std::printf("Usage: zavtestapp [--address ADDRESS] [Qt options]\n"
                        "The ZAV Test Application: registers made-up transfers with the transfer-status service\n"
                        "(com.kelvo.zav on the session bus), changes them, and answers the service's requests.\n\n"
                        "Options:\n"
                        "  --address ADDRESS  the service on that bus (a device's, through a forwarded socket:\n"
                        "                     unix:path=FILE or tcp:host=HOST,port=PORT)\n"
                        "  -h, --help         this text\n"
                        "  -v, --version      the version\n"
                        "Qt's own options work too, among them -platform NAME and -geometry WxH+X+Y.\n"
                        "The log goes to ~/.local/share/ZAVTestApp/. See zavtestapp(1).\n");
            return true;
        }
    }
    return false;
}
} // namespace

int main(int argc, char **argv)
{
    if (answeredAlone(argc, argv))
        return 0;
    // --address: the transfer service on another bus (a device's, through a forwarded socket).
    const std::optional<QByteArray> address = ZavBus::takeAddress(argc, argv, "zavtestapp");
    if (!address)
        return 2;
    Zav::Client::setBusAddress(QString::fromUtf8(*address));
    // A bus that does not answer is said within seconds: the bus library would hold the window
    // for 25 s.
    const QByteArray bus = address->isEmpty() ? qgetenv("DBUS_SESSION_BUS_ADDRESS") : *address;
    if (const QString why = ZavBus::unanswered(bus); !why.isEmpty()) {
        std::fprintf(stderr, "zavtestapp: the bus at %s cannot be used: %s\n",
                     qPrintable(Zav::printable(QString::fromUtf8(bus).left(200))), qPrintable(why));
        return 1;
    }
    // First of all and last to go, so that the whole run's messages reach the log file.
    Logger logger(QStringLiteral("ZAVTestApp"), QString());
    int result = 0;
    {
        MApplication application(argc, argv, QString(), nullptr);
        // The desktop matches the window to com.kelvo.zavtestapp.desktop (its name and icon).
        QGuiApplication::setDesktopFileName(QStringLiteral("com.kelvo.zavtestapp"));
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
