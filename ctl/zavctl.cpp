// SPDX-License-Identifier: MIT
#include "Lifetime.h"
#include "ZavBusAddress.h"
#include "ZavCtl.h"
#include "ZavVocabulary.h"

#include <zav/ZavClient.h>

#include <QCoreApplication>
#include <QLoggingCategory>

#include <sys/ioctl.h>
#include <unistd.h>

int main(int argc, char **argv)
{
    // The service on another bus (a device's): everything zavctl does, the client library's
    // calls included, goes there.
    const std::optional<QByteArray> address = ZavBus::takeAddress(argc, argv, "zavctl");
    if (!address)
        return 2;
    const QString busAddress = QString::fromUtf8(*address);
    Zav::Client::setBusAddress(busAddress);
    QCoreApplication app(argc, argv);
    // The client library's warnings would repeat what zavctl reports itself, in its own words.
    QLoggingCategory::setFilterRules(QStringLiteral("zav.client.warning=false"));
    QTextStream out(stdout);
    QTextStream err(stderr);
    QStringList args = app.arguments();
    args.removeFirst();
    // The table fits the terminal; without one, COLUMNS when it is set, else no limit. Colours
    // only on a terminal, and never with NO_COLOR (https://no-color.org).
    const bool terminal = ::isatty(STDOUT_FILENO);
    winsize size = {};
    const int width = terminal && ::ioctl(STDOUT_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col > 0
        ? size.ws_col
        : qEnvironmentVariableIntValue("COLUMNS");
    const bool color = terminal && qEnvironmentVariableIsEmpty("NO_COLOR") && qgetenv("TERM") != "dumb";
    // Help, the version and the shell's completions need no bus: they do not wait for one that
    // never answers (a stuck forwarded socket would hang bash at every Tab).
    const QString first = args.value(0);
    const qsizetype optionsEnd = args.indexOf(QStringLiteral("--"));
    const QStringList options = optionsEnd < 0 ? args : args.first(optionsEnd);
    const bool busless = first == QLatin1String("--version") || first == QLatin1String("-V")
        || first == QLatin1String("--complete") || first == QLatin1String("help")
        || options.contains(QStringLiteral("--help")) || options.contains(QStringLiteral("-h"));
    // A bus that does not answer is said within seconds (the bus library would wait 25 s).
    if (!busless) {
        const QByteArray bus = address->isEmpty() ? qgetenv("DBUS_SESSION_BUS_ADDRESS") : *address;
        if (const QString why = ZavBus::unanswered(bus); !why.isEmpty()) {
            err << "zavctl: the bus at " << Zav::printable(QString::fromUtf8(bus).left(200))
                << " cannot be used: " << why << "\n";
            return 1;
        }
    }
    // zavctl's own calls share the client library's connection.
    const QDBusConnection bus = busless ? QDBusConnection(QStringLiteral("zavctl-no-bus"))
        : busAddress.isEmpty()
        ? QDBusConnection::sessionBus()
        : QDBusConnection::connectToBus(busAddress, QLatin1String(Zav::Client::BusConnectionName));
    ZavCtl ctl(bus, out, err);
    ctl.setTerminal(terminal, width, color);
    ctl.setAddress(QString::fromUtf8(*address));
    const int code = ctl.run(args);
    out.flush();
    err.flush();
    if (code >= 0)
        return code;
    // watch, live record and play run in the event loop; they end it with their exit code, or
    // Ctrl+C does.
    if (busAddress.isEmpty())
        endWithSignalsAndBus(app, "zavctl");
    else
        endWithSignalsAndBus(app, "zavctl", QLatin1String(Zav::Client::BusConnectionName), false);
    const int loopCode = app.exec();
    return ctl.exitCode() >= 0 ? ctl.exitCode() : loopCode;
}
