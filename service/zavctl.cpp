#include "ZavCtl.h"

#include <QCoreApplication>

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QTextStream out(stdout);
    QTextStream err(stderr);
    QStringList args = app.arguments();
    args.removeFirst();
    // Help needs no bus.
    const QString command = args.value(0);
    if (command == QLatin1String("help") || command == QLatin1String("--help") || command == QLatin1String("-h")) {
        out << ZavCtl::usage();
        return ZavCtl::Success;
    }
    ZavCtl ctl(QDBusConnection::sessionBus(), out, err);
    if (!QDBusConnection::sessionBus().isConnected()) {
        err << "zavctl: no session bus (DBUS_SESSION_BUS_ADDRESS is not set or not reachable)\n";
        return ZavCtl::NotThere;
    }
    const int code = ctl.run(args);
    out.flush();
    err.flush();
    if (code >= 0)
        return code;
    // watch runs until it is interrupted.
    return app.exec();
}
