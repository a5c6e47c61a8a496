// SPDX-License-Identifier: MIT
#include "ZavCtl.h"

#include "Conform.h"

#include "ControlProxy.h"
#include "Nearest.h"
#include "Requests.h"
#include "ScenarioPlayer.h"
#include "ScenarioRecorder.h"
#include "ZavBusNames.h"
#include "ZavVersion.h"
#include "ZavVocabulary.h"

#include <QCoreApplication>
#include <QDBusServiceWatcher>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QRegularExpression>
#include <QTime>

#include <cmath>

using Zav::formatBytes;
using Zav::jsonId;
using Zav::printable;

namespace {
const int Timeout = 5000;

QString cut(const QString &text, int width)
{
    if (text.size() <= width)
        return text.leftJustified(width);
    return text.left(width - 1) + QChar(0x2026);
}

qint64 idKey(const QString &id)
{
    bool ok = false;
    const qint64 n = id.toLongLong(&ok);
    return ok ? n : qHash(id);
}
} // namespace

ZavCtl::ZavCtl(const QDBusConnection &bus, QTextStream &out, QTextStream &err, QObject *parent)
    : QObject(parent)
    , m_bus(bus)
    , m_out(out)
    , m_err(err)
{
    m_redraw.setSingleShot(true);
    m_redraw.setInterval(40);
    connect(&m_redraw, &QTimer::timeout, this, &ZavCtl::redraw);
}

namespace {
struct Command
{
    const char *name;
    const char *arguments;
    const char *summary;
    const char *detail;
};

// Every command once: the usage, the help of each and the suggestions come from here.
const Command commands[] = {
    {"list", "[--json]", "every transfer, as a table or as JSON",
     "A table fitted to the terminal's width (COLUMNS where there is no terminal), or with --json an array of\n"
     "transfer objects: \"id\" and the counts are numbers, \"progress\" a number from 0 to 1 rounded to six places,\n"
     "texts are strings."},
    {"show", "ID [--json]", "one transfer with all it holds",
     "Every field of the transfer; --json gives it as one object."},
    {"request", "ID cancel|start|pause|repair", "ask the program that owns ID for an action",
     "The service sends the request to the transfer's owner, which answers by changing the transfer.\n"
     "In the app, the transfer's row then shows its Info button: pressing it opens an answer box, where OK\n"
     "accepts (cancel: the transfer is cancelled; start, pause: done) and Discard declines (cancel: cancel\n"
     "failed); any answer to repair ends the transfer. zavctl watch shows the outcome."},
    {"watch", "[--json]", "every change as it happens (Ctrl+C ends it)",
     "On a terminal, a live table; otherwise one line per change, or with --json one object a line:\n"
     "{\"event\":\"changed\",\"transfer\":{...}} or {\"event\":\"removed\",\"id\":N}; {\"event\":\"serviceLeft\"} and\n"
     "{\"event\":\"serviceBack\"} when the service leaves and comes back (its transfers are listed again)."},
    {"refuse", "on|off", "make the service refuse new registrations, or not",
     "Registrations are refused with com.kelvo.zav.Error.Refused while on."},
    {"status", "", "the service's limits and the state of its journal",
     "Version, transfers and clients, limits, journal size and failures."},
    {"play", "FILE... [--junit FILE] [--speed N] [--repeat N] [--transfers N]",
     "play scenarios and check their expectations",
     "Registers each scenario's transfers, plays its timeline and answers, and prints a line per expectation.\n"
     "Exit code 0 when all hold, 1 otherwise. --junit writes a JUnit XML report; --speed N plays N times faster;\n"
     "--repeat N plays each scenario N times; --transfers N plays N copies of each transfer at once, and reports the "
     "rate.\n"
     "The file format is in the README (Scenarios), chaos events included (disconnect, flood, stall,\n"
     "garbage); examples/ has nine."},
    {"record", "--out FILE [--journal FILE [--run N]] [--client NAME]",
     "make a scenario from what one client sent the service",
     "From the service's journal (the file named, or the running service's), the calls of one client (its bus name,\n"
     "or the first to register a transfer) with their timing and order, as a scenario that replays them. Without\n"
     "--journal it records live, from now until the client leaves, the service restarts, or Ctrl+C. A journal file\n"
     "holds each run of the service in turn: --run N records the Nth, else the latest in which the client registered."},
    {"conform", "[--only GROUP] [--junit FILE]", "check the service on the bus against the interface's contract",
     "Checks whatever owns the service's name, as programs use it and with raw calls, one line per check, then a\n"
     "table per group; exit code 0 when every check held, 1 otherwise. Groups: registration (every type, ids,\n"
     "refusals), setters (valid values accepted, each documented range and wrong types refused, unknown ids),\n"
     "ownership (another connection's changes refused), requests (to the owner only, in order), lifetime (a\n"
     "departed program's transfers go; a commit is one update), inspection (the state reported after each change).\n"
     "Checks that need the inspection interface (Control) are skipped, never passed, on a service without it.\n"
     "--only GROUP runs one group; --junit FILE writes a JUnit XML report."},
    {"help", "[COMMAND]", "this text, or one command's", ""},
};

const Command *findCommand(const QString &name)
{
    for (const Command &c : commands) {
        if (name == QLatin1String(c.name))
            return &c;
    }
    return nullptr;
}

} // namespace

QString ZavCtl::usage()
{
    QString text = QStringLiteral(
                       "Usage: zavctl COMMAND [ARGUMENTS]\n"
                       "The tester's side of the transfer-status service (%1 on the session bus).\n\nCommands:\n")
                       .arg(QLatin1String(ZavBus::ServiceName));
    for (const Command &c : commands) {
        const QString synopsis =
            QStringLiteral("%1 %2").arg(QLatin1String(c.name), QLatin1String(c.arguments)).trimmed();
        text += synopsis.size() < 36
            ? QStringLiteral("  %1 %2\n").arg(synopsis, -36).arg(QLatin1String(c.summary))
            : QStringLiteral("  %1\n  %2 %3\n").arg(synopsis).arg(QString(), -36).arg(QLatin1String(c.summary));
    }
    return text
        + QStringLiteral("\nOptions: --version, --help; --address ADDRESS drives the service on that bus in place of\n"
                         "the session bus (a device's, through a forwarded socket: unix:path=FILE or\n"
                         "tcp:host=HOST,port=PORT). 'zavctl help COMMAND' tells more of one command.\n"
                         "Exit codes: 0 success, 1 the service or the transfer is not there (or an expectation\n"
                         "failed), 2 usage error.\n");
}

QString ZavCtl::commandHelp(const QString &name)
{
    const Command *c = findCommand(name);
    if (!c)
        return QString();
    QString summary = QString::fromLatin1(c->summary);
    summary[0] = summary[0].toUpper();
    return QStringLiteral("Usage: zavctl %1 %2\n%3.\n")
               .arg(QLatin1String(c->name), QLatin1String(c->arguments), summary)
        + (*c->detail ? QString::fromLatin1(c->detail) + QLatin1Char('\n') : QString());
}

int ZavCtl::usageError(const QString &what, const QString &command)
{
    m_err << "zavctl: " << what << " (see 'zavctl help" << (command.isEmpty() ? QString() : QLatin1Char(' ') + command)
          << "')\n";
    return UsageError;
}

QString ZavCtl::unknownOption(const QString &command, const QString &option)
{
    QStringList options;
    if (const Command *c = findCommand(command)) {
        static const QRegularExpression word(QStringLiteral("--[a-z]+"));
        for (auto it = word.globalMatch(QLatin1String(c->arguments)); it.hasNext();)
            options << it.next().captured();
    }
    const QString guess = nearest(option, options);
    return guess.isEmpty()
        ? QStringLiteral("%1 has no option %2").arg(command, printable(option))
        : QStringLiteral("%1 has no option %2; did you mean %3?").arg(command, printable(option), guess);
}

int ZavCtl::run(const QStringList &arguments)
{
    QStringList args = arguments;
    const QString command = args.value(0);
    if (command == QLatin1String("--version") || command == QLatin1String("-V")) {
        m_out << "zavctl " << Zav::Version << "\n";
        return Success;
    }
    if (command == QLatin1String("help") || command == QLatin1String("--help") || command == QLatin1String("-h")) {
        if (args.size() == 1) {
            m_out << usage();
            return Success;
        }
        const QString help = commandHelp(args.at(1));
        if (help.isEmpty() || args.size() > 2)
            return usageError(QStringLiteral("no command \"%1\"").arg(printable(args.mid(1).join(QLatin1Char(' ')))),
                              QString());
        m_out << help;
        return Success;
    }
    if (command.isEmpty())
        return usageError(QStringLiteral("a command is missing"), QString());
    if (!findCommand(command)) {
        QStringList names;
        for (const Command &c : commands)
            names << QLatin1String(c.name);
        const QString guess = nearest(command, names);
        return usageError(
            guess.isEmpty() ? QStringLiteral("no command \"%1\"").arg(printable(command))
                            : QStringLiteral("no command \"%1\"; did you mean \"%2\"?").arg(printable(command), guess),
            QString());
    }
    if (args.contains(QStringLiteral("--help")) || args.contains(QStringLiteral("-h"))) {
        m_out << commandHelp(command);
        return Success;
    }
    if (command == QLatin1String("play"))
        return play(args.mid(1));
    if (command == QLatin1String("record"))
        return record(args.mid(1));
    if (command == QLatin1String("conform"))
        return conform(args.mid(1));
    const bool json = args.removeAll(QStringLiteral("--json")) > 0;
    const qsizetype operands = args.size() - 1;
    for (const QString &arg : std::as_const(args)) {
        if (arg.startsWith(QLatin1String("--")))
            return usageError(unknownOption(command, arg), command);
    }
    const bool jsonAllowed = command == QLatin1String("list") || command == QLatin1String("show")
        || command == QLatin1String("watch");
    if (json && !jsonAllowed)
        return usageError(QStringLiteral("%1 has no --json").arg(command), command);
    const qsizetype wanted = command == QLatin1String("show") || command == QLatin1String("refuse") ? 1
        : command == QLatin1String("request")                                                       ? 2
                                                                                                    : 0;
    if (operands != wanted)
        return usageError(
            operands < wanted
                ? QStringLiteral("%1 needs %2").arg(command, QLatin1String(findCommand(command)->arguments))
                : QStringLiteral("too many arguments for %1").arg(command),
            command);
    if (command == QLatin1String("list"))
        return list(json);
    if (command == QLatin1String("show"))
        return show(args.at(1), json);
    if (command == QLatin1String("request"))
        return request(args.at(1), args.at(2));
    if (command == QLatin1String("refuse"))
        return refuse(args.at(1));
    if (command == QLatin1String("watch"))
        return watch(json);
    return status();
}

ZavCtl::~ZavCtl() = default;

ComKelvoZavControlInterface &ZavCtl::control()
{
    // Made on first use: help and usage errors need no bus.
    if (!m_control) {
        m_control = std::make_unique<ComKelvoZavControlInterface>(QLatin1String(ZavBus::ServiceName),
                                                                  QLatin1String(ZavBus::ObjectPath), m_bus);
        m_control->setTimeout(Timeout);
    }
    return *m_control;
}

bool ZavCtl::answered(QDBusPendingCall call)
{
    call.waitForFinished();
    if (!call.isError())
        return true;
    const QDBusError error = call.error();
    QString why = error.message().isEmpty() ? error.name() : error.message();
    if (!m_bus.isConnected())
        why = m_address.isEmpty()
            ? QStringLiteral("no session bus (DBUS_SESSION_BUS_ADDRESS is not set or not reachable)")
            : QStringLiteral("the bus at %1 is not reachable").arg(printable(m_address));
    else if (error.type() == QDBusError::NoReply || error.type() == QDBusError::Timeout)
        why = QStringLiteral("the service did not answer within %1 s").arg(Timeout / 1000);
    else if (error.type() == QDBusError::ServiceUnknown
             || error.name() == QLatin1String("org.freedesktop.DBus.Error.NameHasNoOwner"))
        why = QStringLiteral("no transfer service on the bus (%1)").arg(QLatin1String(ZavBus::ServiceName));
    m_err << "zavctl: " << printable(why) << "\n";
    return false;
}

// Texts come from any program on the bus: control characters (and the marks that reorder text)
// are shown escaped, so that a name cannot clear the tester's screen or retitle the terminal.
QString ZavCtl::progressBar(double done, int width)
{
    const double part = qBound(0.0, done, 1.0);
    const int full = int(part * width + 0.5);
    return QStringLiteral("[") + QString(full, QChar(0x2588)) + QString(width - full, QChar(0x00B7))
        + QStringLiteral("] ") + QStringLiteral("%1%").arg(int(part * 100 + 0.5), 3);
}

ZavCtl::Columns ZavCtl::columnsFor(int width)
{
    Columns c;
    if (width <= 0)
        return c; // no terminal: every column whole
    // ID, TYPE, PROGRESS, SIZE, SPEED and EST take 61 columns; STATE and NAME share the rest.
    // Narrower, the bar shortens, then speed and estimate go, then the type, then the bar (the
    // per cent stays): down to 40 columns every line fits.
    int rest = width - 61;
    if (rest < 40) {
        c.bar = 6;
        rest += 6;
    }
    if (rest < 30) {
        c.extras = false;
        rest += 15;
    }
    if (rest < 20) {
        c.type = false;
        rest += 9;
    }
    if (rest < 18) {
        c.bar = 0;
        rest += 9;
    }
    c.state = qBound(8, rest * 2 / 5, 36);
    c.name = qMax(8, rest - c.state - 1);
    return c;
}

namespace {
// The line's columns before the name, each followed by a space.
QString leadingColumns(const ZavCtl::Columns &c, const QString &id, const QString &type, const QString &progress,
                       const QString &state, const QString &size, const QString &speed, const QString &estimate)
{
    QString line = cut(id, 5) + QLatin1Char(' ');
    if (c.type)
        line += cut(type, 8) + QLatin1Char(' ');
    line += progress + QLatin1Char(' ') + state + QLatin1Char(' ') + cut(size, 10) + QLatin1Char(' ');
    if (c.extras)
        line += cut(speed, 6) + QLatin1Char(' ') + cut(estimate, 7) + QLatin1Char(' ');
    return line;
}
} // namespace

QString ZavCtl::tableHeader(const Columns &c)
{
    const QString name = QStringLiteral("NAME / MESSAGE");
    return leadingColumns(c, QStringLiteral("ID"), QStringLiteral("TYPE"),
                          cut(QStringLiteral("PROGRESS"), c.bar ? c.bar + 7 : 4), cut(QStringLiteral("STATE"), c.state),
                          QStringLiteral("SIZE"), QStringLiteral("SPEED"), QStringLiteral("EST"))
        + (c.name < 0 ? name : cut(name, c.name).trimmed());
}

QString ZavCtl::tableRow(const QJsonObject &t, const Columns &c, bool color)
{
    const QJsonValue size = t.value(QStringLiteral("size"));
    const QString sizeText = size.isString() ? size.toString() : formatBytes(size.toInteger());
    QString nameAndMessage = t.value(QStringLiteral("name")).toString();
    const QString message = t.value(QStringLiteral("message")).toString();
    if (!message.isEmpty())
        nameAndMessage += QStringLiteral(" / ") + message;
    QString state = cut(printable(Zav::describeState(t)), c.state);
    if (color) {
        // Coloured after padding: the escape sequences take no columns.
        static const QHash<QString, const char *> colours {
            {QStringLiteral("active"), "32"},       {QStringLiteral("pending"), "33"},
            {QStringLiteral("paused"), "36"},       {QStringLiteral("failed"), "1;31"},
            {QStringLiteral("cancelFailed"), "31"}, {QStringLiteral("cancelled"), "2"},
            {QStringLiteral("done"), "1;32"}};
        if (const char *code = colours.value(t.value(QStringLiteral("state")).toString()))
            state = QStringLiteral("\x1b[%1m%2\x1b[0m").arg(QLatin1String(code), state);
    }
    const double done = t.value(QStringLiteral("progress")).toDouble();
    const QString progress = c.bar ? progressBar(done, c.bar)
                                   : QStringLiteral("%1%").arg(int(qBound(0.0, done, 1.0) * 100 + 0.5), 3);
    const QString line = leadingColumns(c, printable(t.value(QStringLiteral("id")).toString()),
                                        printable(t.value(QStringLiteral("type")).toString()), progress, state,
                                        printable(sizeText), QString::number(t.value(QStringLiteral("speed")).toInt()),
                                        QStringLiteral("%1s").arg(t.value(QStringLiteral("estimate")).toInt()));
    const QString name = printable(nameAndMessage);
    return line + (c.name < 0 ? name : cut(name, c.name).trimmed());
}

bool ZavCtl::eachTransfer(const std::function<void(const QJsonObject &)> &each)
{
    // Page by page: neither the service nor this process ever holds the whole list at once.
    QString after;
    for (;;) {
        const QDBusPendingReply<QString> reply = control().transferPage(after, Zav::PageSize);
        if (!answered(reply))
            return false;
        const QJsonObject page = QJsonDocument::fromJson(reply.value().toUtf8()).object();
        const QJsonArray transfers = page.value(QStringLiteral("transfers")).toArray();
        for (const QJsonValue &t : transfers)
            each(t.toObject());
        if (!page.value(QStringLiteral("more")).toBool() || transfers.isEmpty())
            return true;
        after = transfers.last().toObject().value(QStringLiteral("id")).toString();
    }
}

int ZavCtl::list(bool json)
{
    int shown = 0;
    const bool ok = eachTransfer([&](const QJsonObject &t) {
        if (json) {
            // Streamed as one JSON array, a transfer at a time.
            QByteArray item = QJsonDocument(Zav::transferForJson(t)).toJson(QJsonDocument::Indented).trimmed();
            item.replace("\n", "\n    ");
            m_out << (shown == 0 ? "[\n    " : ",\n    ") << item;
        } else {
            if (shown == 0)
                m_out << tableHeader(m_columns) << "\n";
            m_out << tableRow(t, m_columns, m_color) << "\n";
        }
        ++shown;
    });
    if (json)
        m_out << (shown == 0 ? "[\n]\n" : "\n]\n");
    else if (ok && shown == 0)
        m_out << "No transfers.\n";
    return ok ? Success : NotThere;
}

int ZavCtl::status()
{
    const QDBusPendingReply<QString> reply = control().status();
    if (!answered(reply))
        return NotThere;
    const QJsonObject s = QJsonDocument::fromJson(reply.value().toUtf8()).object();
    const QJsonObject limits = s.value(QStringLiteral("limits")).toObject();
    const QJsonObject journal = s.value(QStringLiteral("journal")).toObject();
    m_out << "zav-service " << printable(s.value(QStringLiteral("version")).toString()) << ": "
          << s.value(QStringLiteral("transfers")).toInt() << " transfer(s) of "
          << s.value(QStringLiteral("clients")).toInt() << " client(s), " << s.value(QStringLiteral("watchers")).toInt()
          << " watcher(s); at most " << limits.value(QStringLiteral("maxTransfers")).toInt() << ", "
          << limits.value(QStringLiteral("maxTransfersPerClient")).toInt() << " per client"
          << (s.value(QStringLiteral("refusing")).toBool() ? "; refusing new transfers" : "") << "\n";
    const QString path = journal.value(QStringLiteral("path")).toString();
    if (path.isEmpty()) {
        m_out << "Journal: none\n";
    } else {
        m_out << "Journal: " << printable(path) << ", "
              << formatBytes(journal.value(QStringLiteral("size")).toInteger()) << " of "
              << formatBytes(journal.value(QStringLiteral("maxSize")).toInteger()) << "\n";
        if (journal.value(QStringLiteral("failing")).toBool())
            m_out << "Journal FAILING: " << printable(journal.value(QStringLiteral("error")).toString()) << "\n";
        if (const qint64 dropped = journal.value(QStringLiteral("dropped")).toInteger())
            m_out << "Journal records dropped: " << dropped << "\n";
    }
    return Success;
}

int ZavCtl::show(const QString &id, bool json)
{
    const QDBusPendingReply<QString> reply = control().transfer(id);
    if (!answered(reply))
        return NotThere;
    const QJsonObject t = QJsonDocument::fromJson(reply.value().toUtf8()).object();
    if (json) {
        m_out << QJsonDocument(Zav::transferForJson(t)).toJson(QJsonDocument::Indented);
        return Success;
    }
    m_out << tableRow(t, m_columns, m_color).trimmed() << "\n";
    for (auto it = t.constBegin(); it != t.constEnd(); ++it) {
        const QJsonValue v = it.value();
        const QString text = v.isString() ? v.toString()
            : v.isBool()                  ? (v.toBool() ? QStringLiteral("true") : QStringLiteral("false"))
                                          : QString::number(v.toDouble(), 'g', 12);
        m_out << QStringLiteral("  %1 %2").arg(printable(it.key()) + QLatin1Char(':'), -20).arg(printable(text))
              << "\n";
    }
    return Success;
}

int ZavCtl::request(const QString &id, const QString &action)
{
    if (!Requests::isRequest(action)) {
        const QString guess = nearest(action, Requests::words());
        return usageError(
            guess.isEmpty()
                ? QStringLiteral("no request \"%1\"; the requests are %2").arg(printable(action), Requests::listed())
                : QStringLiteral("no request \"%1\"; did you mean \"%2\"?").arg(printable(action), guess),
            QStringLiteral("request"));
    }
    if (!answered(control().sendRequest(id, action)))
        return NotThere;
    m_out << "Sent " << action << " to transfer " << id << ".\n";
    return Success;
}

int ZavCtl::refuse(const QString &value)
{
    if (value != QLatin1String("on") && value != QLatin1String("off")) {
        m_err << "zavctl: refuse takes on or off\n";
        return UsageError;
    }
    if (!answered(control().setRefuseRegistrations(value == QLatin1String("on"))))
        return NotThere;
    m_out << (value == QLatin1String("on") ? "The service refuses new transfers.\n"
                                           : "The service accepts new transfers.\n");
    return Success;
}

int ZavCtl::watch(bool json)
{
    m_watchLines = json || !m_terminal;
    m_watchJson = json;
    connect(&control(), &ComKelvoZavControlInterface::changesPending, this, &ZavCtl::fetchChanges);
    // Follows the service: says when it leaves, and lists everything again when it is back (a
    // new instance knows nothing of the old one's transfers, and has no watchers yet).
    auto *follow = new QDBusServiceWatcher(QLatin1String(ZavBus::ServiceName), m_bus,
                                           QDBusServiceWatcher::WatchForOwnerChange, this);
    connect(follow, &QDBusServiceWatcher::serviceOwnerChanged, this,
            [this](const QString &, const QString &oldOwner, const QString &newOwner) {
                if (!oldOwner.isEmpty())
                    serviceEvent(false);
                if (!newOwner.isEmpty() && !startWatching())
                    m_out.flush();
            });
    if (!startWatching())
        return NotThere;
    return -1;
}

bool ZavCtl::startWatching()
{
    if (!answered(control().setWatching(true)))
        return false;
    if (m_serviceGone)
        serviceEvent(true);
    m_watched.clear();
    const bool ok = eachTransfer([this](const QJsonObject &t) {
        if (m_watchLines)
            printChange(t);
        else
            m_watched.insert(idKey(t.value(QStringLiteral("id")).toString()), t);
    });
    if (ok && !m_watchLines) {
        m_out << "\x1b[2J";
        redraw();
    }
    m_out.flush();
    return ok;
}

void ZavCtl::serviceEvent(bool back)
{
    m_serviceGone = !back;
    if (m_watchJson)
        m_out << QJsonDocument(QJsonObject {{QStringLiteral("event"),
                                             back ? QStringLiteral("serviceBack") : QStringLiteral("serviceLeft")}})
                     .toJson(QJsonDocument::Compact)
              << "\n";
    else if (m_watchLines)
        m_out << QTime::currentTime().toString(QStringLiteral("HH:mm:ss.zzz"))
              << (back ? " the service is back; its transfers follow\n"
                       : " the service left the bus; waiting for it\n");
    if (!back && !m_watchLines) {
        m_watched.clear();
        redraw();
    }
    m_out.flush();
}

void ZavCtl::printChange(const QJsonObject &t)
{
    // Into a pipe or a file: one line per change, no screen control.
    if (m_watchJson) {
        m_out << QJsonDocument(QJsonObject {{QStringLiteral("event"), QStringLiteral("changed")},
                                            {QStringLiteral("transfer"), Zav::transferForJson(t)}})
                     .toJson(QJsonDocument::Compact)
              << "\n";
    } else {
        m_out << QTime::currentTime().toString(QStringLiteral("HH:mm:ss.zzz")) << " " << tableRow(t, m_columns, m_color)
              << "\n";
    }
    m_out.flush();
}

void ZavCtl::fetchChanges()
{
    // What changed since the last fetch, each in its latest state, a page at a time.
    for (;;) {
        const QDBusPendingReply<QString> reply = control().changes(Zav::PageSize);
        if (!answered(reply)) {
            // The service signals no more until this watcher has fetched: asked again.
            QTimer::singleShot(1000, this, &ZavCtl::fetchChanges);
            return;
        }
        const QJsonObject page = QJsonDocument::fromJson(reply.value().toUtf8()).object();
        if (page.value(QStringLiteral("resync")).toBool()) {
            startWatching();
            return;
        }
        for (const QJsonValue &id : page.value(QStringLiteral("removed")).toArray())
            onRemoved(id.toString());
        for (const QJsonValue &t : page.value(QStringLiteral("changed")).toArray())
            onChanged(t.toObject());
        if (!page.value(QStringLiteral("more")).toBool())
            return;
    }
}

void ZavCtl::onChanged(const QJsonObject &t)
{
    if (m_watchLines)
        return printChange(t);
    m_watched.insert(idKey(t.value(QStringLiteral("id")).toString()), t);
    if (!m_redraw.isActive())
        m_redraw.start();
}

void ZavCtl::onRemoved(const QString &id)
{
    if (m_watchLines) {
        if (m_watchJson)
            m_out << QJsonDocument(QJsonObject {{QStringLiteral("event"), QStringLiteral("removed")},
                                                {QStringLiteral("id"), Zav::jsonId(id)}})
                         .toJson(QJsonDocument::Compact)
                  << "\n";
        else
            m_out << QTime::currentTime().toString(QStringLiteral("HH:mm:ss.zzz")) << " " << printable(id)
                  << " removed\n";
        m_out.flush();
        return;
    }
    m_watched.remove(idKey(id));
    if (!m_redraw.isActive())
        m_redraw.start();
}

void ZavCtl::redraw()
{
    // Overwrites the lines in place (cursor home, clear to the end of each line) instead of
    // clearing the screen, so a view that changes every 20 ms does not flicker.
    QString frame = QStringLiteral("\x1b[H");
    auto line = [&frame](const QString &text) { frame += text + QStringLiteral("\x1b[K\n"); };
    line(m_serviceGone ? QStringLiteral("zavctl watch: the service left the bus; waiting for it. Ctrl+C ends")
                       : QStringLiteral("zavctl watch: %1 transfer(s); Ctrl+C ends").arg(m_watched.size()));
    line(QString());
    line(tableHeader(m_columns));
    for (const QJsonObject &t : std::as_const(m_watched))
        line(tableRow(t, m_columns, m_color));
    frame += QStringLiteral("\x1b[J");
    m_out << frame;
    m_out.flush();
}

int ZavCtl::play(const QStringList &arguments)
{
    ScenarioPlayer::Options options;
    QStringList files;
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        const QString &arg = arguments.at(i);
        if (!arg.startsWith(QLatin1String("--"))) {
            files << arg;
            continue;
        }
        const QString value = arguments.value(++i);
        bool ok = false;
        const double number = value.toDouble(&ok);
        if (arg == QLatin1String("--junit") && !value.isEmpty())
            options.junit = value;
        else if (arg == QLatin1String("--speed") && ok && number >= 0.001 && number <= 1000000)
            options.speed = number;
        else if (arg == QLatin1String("--repeat") && ok && number >= 1 && number <= 1000000 && number == int(number))
            options.repeat = int(number);
        else if (arg == QLatin1String("--transfers") && ok && number >= 1 && number <= Scenario::MaxCopies
                 && number == int(number))
            options.copies = int(number);
        else if (!QStringList {QStringLiteral("--junit"), QStringLiteral("--speed"), QStringLiteral("--repeat"),
                               QStringLiteral("--transfers")}
                      .contains(arg))
            return usageError(unknownOption(QStringLiteral("play"), arg), QStringLiteral("play"));
        else
            return usageError(value.isEmpty()
                                  ? QStringLiteral("%1 needs a value").arg(printable(arg))
                                  : QStringLiteral("%1 does not take \"%2\"").arg(printable(arg), printable(value)),
                              QStringLiteral("play"));
    }
    if (files.isEmpty())
        return usageError(QStringLiteral("play needs a scenario file"), QStringLiteral("play"));
    // Every file is checked before anything is played.
    QList<Scenario> scenarios;
    bool allGood = true;
    for (const QString &file : std::as_const(files)) {
        Scenario scenario;
        QString error;
        if (!scenario.load(file, &error)) {
            m_err << "zavctl: " << printable(error) << "\n";
            allGood = false;
        }
        scenarios.append(scenario);
    }
    if (!allGood)
        return UsageError;
    for (const Scenario &scenario : std::as_const(scenarios)) {
        // Far beyond what any service takes at once (ours: 10,000); refused before anything is sent.
        if (qint64(scenario.copies) * options.copies * scenario.transfers.size() > MaxPlayedTransfers)
            return usageError(QStringLiteral("%1 would register more than %2 transfers at once")
                                  .arg(printable(scenario.path))
                                  .arg(MaxPlayedTransfers),
                              QStringLiteral("play"));
    }
    auto *player = new ScenarioPlayer(m_bus, m_out, m_err, this);
    connect(player, &ScenarioPlayer::finished, this, [](int code) { QCoreApplication::exit(code); });
    // Ctrl+C or SIGTERM: a summary of what ran, and a failing exit code.
    connect(qApp, &QCoreApplication::aboutToQuit, player, [this, player] {
        if (const int code = player->interrupt(); code >= 0)
            m_exitCode = code;
    });
    player->start(scenarios, options);
    return -1;
}

int ZavCtl::conform(const QStringList &arguments)
{
    QString only, junit;
    for (qsizetype i = 0; i < arguments.size(); i += 2) {
        const QString &arg = arguments.at(i);
        QString *target = arg == QLatin1String("--only") ? &only : arg == QLatin1String("--junit") ? &junit : nullptr;
        if (!target || i + 1 >= arguments.size())
            return usageError(target ? QStringLiteral("%1 needs a value").arg(arg)
                                     : unknownOption(QStringLiteral("conform"), arg),
                              QStringLiteral("conform"));
        *target = arguments.at(i + 1);
    }
    if (!only.isEmpty() && !Conformance::groups().contains(only)) {
        const QString guess = nearest(only, Conformance::groups());
        return usageError(QStringLiteral("no group \"%1\"%2; one of %3")
                              .arg(printable(only),
                                   guess.isEmpty() ? QString() : QStringLiteral(" (did you mean %1?)").arg(guess),
                                   Conformance::groups().join(QStringLiteral(", "))),
                          QStringLiteral("conform"));
    }
    // Whatever owns the name: a service without the inspection interface is checked too.
    const QDBusMessage ping = QDBusMessage::createMethodCall(
        QLatin1String(ZavBus::ServiceName), QLatin1String(ZavBus::ObjectPath),
        QLatin1String(ZavBus::TransfersInterface), QLatin1String(ZavBus::Transfers::ping));
    if (!answered(m_bus.asyncCall(ping, Timeout)))
        return NotThere;
    Conformance conformance(m_bus, m_out);
    const int code = conformance.run(only);
    if (!junit.isEmpty() && !conformance.writeJUnit(junit)) {
        m_err << "zavctl: cannot write " << junit << "\n";
        return UsageError;
    }
    return code == 0 ? Success : NotThere;
}

int ZavCtl::record(const QStringList &arguments)
{
    QString out, journal, client, run;
    for (qsizetype i = 0; i < arguments.size(); i += 2) {
        const QString &arg = arguments.at(i);
        QString *target = arg == QLatin1String("--out") ? &out
            : arg == QLatin1String("--journal")         ? &journal
            : arg == QLatin1String("--client")          ? &client
            : arg == QLatin1String("--run")             ? &run
                                                        : nullptr;
        if (!target || i + 1 >= arguments.size())
            return usageError(target ? QStringLiteral("%1 needs a value").arg(arg)
                                     : unknownOption(QStringLiteral("record"), arg),
                              QStringLiteral("record"));
        *target = arguments.at(i + 1);
    }
    if (out.isEmpty())
        return usageError(QStringLiteral("record needs --out FILE"), QStringLiteral("record"));
    bool runOk = run.isEmpty();
    const int runNumber = run.isEmpty() ? 0 : run.toInt(&runOk);
    if (!runOk || (!run.isEmpty() && runNumber < 1))
        return usageError(QStringLiteral("--run takes the number of a service run, from 1"), QStringLiteral("record"));
    if (!run.isEmpty() && journal.isEmpty())
        return usageError(QStringLiteral("--run chooses a run of a journal file (--journal FILE)"),
                          QStringLiteral("record"));
    auto recorder = std::make_shared<ScenarioRecorder>(client);
    const auto write = [this, out, recorder]() -> int {
        if (recorder->client().isEmpty() || recorder->transferCount() == 0) {
            m_err << "zavctl: no client registered a transfer; nothing recorded\n";
            return NotThere;
        }
        QFile file(out);
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)
            || file.write(recorder->text(QStringLiteral("Recorded from %1").arg(recorder->client()))) < 0) {
            m_err << "zavctl: cannot write " << printable(out) << ": " << file.errorString() << "\n";
            return NotThere;
        }
        m_out << "Recorded " << recorder->transferCount() << " transfer(s) of " << printable(recorder->client())
              << " into " << printable(out) << ".\n";
        m_out.flush();
        return Success;
    };
    const bool live = journal.isEmpty();
    if (live) {
        const QDBusPendingReply<QString> reply = control().status();
        if (!answered(reply))
            return NotThere;
        journal = QJsonDocument::fromJson(reply.value().toUtf8())
                      .object()
                      .value(QStringLiteral("journal"))
                      .toObject()
                      .value(QStringLiteral("path"))
                      .toString();
        if (journal.isEmpty()) {
            m_err << "zavctl: the service keeps no journal (start it with --journal FILE)\n";
            return NotThere;
        }
    }
    auto file = std::make_shared<QFile>(journal);
    if (!file->open(QIODevice::ReadOnly)) {
        m_err << "zavctl: cannot read " << printable(journal) << ": " << file->errorString() << "\n";
        return NotThere;
    }
    if (!live) {
        // The service's runs one after another: one is recorded, the one chosen or else the
        // latest in which the client registered a transfer (ids start again in each run).
        int runs = 1, recorded = 0, linesInRun = 0;
        auto current = std::make_shared<ScenarioRecorder>(client);
        bool listening = true;
        const auto closeRun = [&] {
            if (runNumber == 0 ? current->transferCount() > 0 : runNumber == runs) {
                *recorder = *current;
                recorded = runs;
            }
        };
        while (!file->atEnd()) {
            const QJsonObject line = QJsonDocument::fromJson(file->readLine()).object();
            if (ScenarioRecorder::startsRun(line)) {
                if (linesInRun > 0) {
                    closeRun();
                    ++runs;
                    current = std::make_shared<ScenarioRecorder>(client);
                    listening = true;
                    linesInRun = 0;
                }
                ++linesInRun;
                continue;
            }
            ++linesInRun;
            if (listening)
                listening = current->add(line);
        }
        closeRun();
        if (runNumber > runs) {
            m_err << "zavctl: " << printable(journal) << " holds " << runs << " run(s) of the service\n";
            return NotThere;
        }
        if (recorded > 0 && runs > 1)
            m_out << "From run " << recorded << " of " << runs << " of the service in " << printable(journal) << ".\n";
        return write();
    }
    // Live: what the service journals from now on, until the client leaves or Ctrl+C.
    file->seek(file->size());
    m_out << "Recording "
          << (client.isEmpty() ? QStringLiteral("the next client to register a transfer") : printable(client))
          << "; Ctrl+C ends.\n";
    m_out.flush();
    auto *poll = new QTimer(this);
    auto done = std::make_shared<bool>(false);
    const auto finish = [this, write, done] {
        if (!std::exchange(*done, true))
            QCoreApplication::exit(m_exitCode = write());
    };
    connect(qApp, &QCoreApplication::aboutToQuit, this, [finish] { finish(); });
    connect(poll, &QTimer::timeout, this, [file, recorder, finish] {
        while (!file->atEnd()) {
            const qint64 start = file->pos();
            const QByteArray line = file->readLine();
            if (!line.endsWith('\n')) {
                file->seek(start); // still being written
                return;
            }
            if (!recorder->add(QJsonDocument::fromJson(line).object()))
                return finish();
        }
    });
    poll->start(100);
    return -1;
}
