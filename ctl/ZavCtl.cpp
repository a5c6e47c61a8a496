// SPDX-License-Identifier: MIT
#include "ZavCtl.h"

#include "ChangeFollower.h"

#include "Conform.h"
#include "Renderers.h"

#include "ControlProxy.h"
#include "Nearest.h"
#include "Requests.h"
#include "ScenarioPlayer.h"
#include "ScenarioRecorder.h"
#include "ZavBusNames.h"
#include "ZavVersion.h"
#include "ZavContract.h"
#include "ZavVocabulary.h"

#include <QCoreApplication>
#include <QFile>
#include <QSet>
#include <QJsonArray>
#include <QJsonDocument>

using CommandLine::Option;
using Zav::printable;

namespace {
const int Timeout = 5000;
// A journal line holds one call with texts of at most 4,096 characters; a journal of a long day
// is tens of MiB.
constexpr qint64 MaxJournalLine = 1 << 20;
constexpr qint64 MaxJournalBytes = qint64(1) << 30;

const Option Json {QStringLiteral("--json")};
const Option JUnit {QStringLiteral("--junit"), QStringLiteral("FILE")};
const QStringList GlobalOptions {QStringLiteral("--version"), QStringLiteral("--help"), QStringLiteral("--address")};

QJsonObject jsonObject(const QString &text)
{
    return QJsonDocument::fromJson(text.toUtf8()).object();
}
} // namespace

ZavCtl::ZavCtl(const QDBusConnection &bus, QTextStream &out, QTextStream &err, QObject *parent)
    : QObject(parent)
    , m_commands(commandTable())
    , m_bus(bus)
    , m_out(out)
    , m_err(err)
{
}

ZavCtl::~ZavCtl() = default;

QList<CommandLine::Command> ZavCtl::commandTable()
{
    const auto handler = [this](int (ZavCtl::*method)(const Invocation &)) {
        return [this, method](const Invocation &invocation) { return (this->*method)(invocation); };
    };
    return {
        {QStringLiteral("list"),
         {},
         {Json},
         QStringLiteral("every transfer, as a table or as JSON"),
         QStringLiteral(
             "A table fitted to the terminal's width (COLUMNS where there is no terminal), or with --json an array of\n"
             "transfer objects: \"id\" and the counts are numbers, \"progress\" a number from 0 to 1 rounded to six "
             "places,\ntexts are strings."),
         {},
         handler(&ZavCtl::list)},
        {QStringLiteral("show"),
         {QStringLiteral("ID")},
         {Json},
         QStringLiteral("one transfer with all it holds"),
         QStringLiteral("Every field of the transfer; --json gives it as one object."),
         {},
         handler(&ZavCtl::show)},
        {QStringLiteral("request"),
         {QStringLiteral("ID"), Zav::Requests::words().join(QLatin1Char('|'))},
         {},
         QStringLiteral("ask the program that owns ID for an action"),
         QStringLiteral(
             "The service sends the request to the transfer's owner, which answers by changing the transfer.\n"
             "In the app, the transfer's row then shows its Info button: pressing it opens an answer box, where OK\n"
             "accepts (cancel: the transfer is cancelled; start, pause: done) and Discard declines (cancel: cancel\n"
             "failed); any answer to repair ends the transfer. zavctl watch shows the outcome."),
         {QString(), Zav::Requests::words().join(QLatin1Char(' '))},
         handler(&ZavCtl::request)},
        {QStringLiteral("watch"),
         {},
         {Json},
         QStringLiteral("every change as it happens (Ctrl+C ends it)"),
         QStringLiteral(
             "On a terminal, a live table; otherwise one line per change, or with --json one object a line:\n"
             "{\"event\":\"changed\",\"transfer\":{...}} or {\"event\":\"removed\",\"id\":N}; "
             "{\"event\":\"serviceLeft\"} and\n"
             "{\"event\":\"serviceBack\"} when the service leaves and comes back (its transfers are listed again)."),
         {},
         handler(&ZavCtl::watch)},
        {QStringLiteral("refuse"),
         {QStringLiteral("on|off")},
         {},
         QStringLiteral("make the service refuse new registrations, or not"),
         QStringLiteral("Registrations are refused with %1 while on.").arg(QLatin1String(Zav::Errors::Refused)),
         {QStringLiteral("on off")},
         handler(&ZavCtl::refuse)},
        {QStringLiteral("status"),
         {},
         {Json},
         QStringLiteral("the service's limits and the state of its journal"),
         QStringLiteral(
             "Version, transfers, clients and watchers, limits, journal size and failures; --json gives the\n"
             "service's own report as one object."),
         {},
         handler(&ZavCtl::status)},
        {QStringLiteral("play"),
         {QStringLiteral("FILE...")},
         {JUnit,
          {QStringLiteral("--speed"), QStringLiteral("N"), CommandLine::numberIn(0.001, 1000000, false)},
          {QStringLiteral("--repeat"), QStringLiteral("N"), CommandLine::numberIn(1, 1000000, true)},
          {QStringLiteral("--transfers"), QStringLiteral("N"), CommandLine::numberIn(1, Scenario::MaxCopies, true)}},
         QStringLiteral("play scenarios and check their expectations"),
         QStringLiteral(
             "Registers each scenario's transfers, plays its timeline and answers, and prints a line per expectation.\n"
             "Exit code 0 when all hold, 1 otherwise. --junit writes a JUnit XML report; --speed N plays N times "
             "faster;\n--repeat N plays each scenario N times; --transfers N plays N copies of each transfer at once, "
             "and reports the rate.\n"
             "The file format is in the README (Scenarios), chaos events included (disconnect, flood, stall,\n"
             "garbage); examples/ has nine."),
         {QStringLiteral("@file *.json")},
         handler(&ZavCtl::play)},
        {QStringLiteral("record"),
         {},
         {{QStringLiteral("--out"), QStringLiteral("FILE"), {}, true},
          {QStringLiteral("--journal"), QStringLiteral("FILE")},
          {QStringLiteral("--run"), QStringLiteral("N"),
           [](const QString &value) {
               bool ok = false;
               return value.toInt(&ok) >= 1 && ok ? QString()
                                                  : QStringLiteral("takes the number of a service run, from 1");
           }},
          {QStringLiteral("--client"), QStringLiteral("NAME")}},
         QStringLiteral("make a scenario from what one client sent the service"),
         QStringLiteral(
             "From the service's journal (the file named, or the running service's), the calls of one client (its bus "
             "name,\nor the first to register a transfer) with their timing and order, as a scenario that replays "
             "them. Without\n--journal it records live, from now until the client leaves, the service restarts, or "
             "Ctrl+C. A journal file\nholds each run of the service in turn: --run N records the Nth, else the latest "
             "in which the client registered."),
         {},
         handler(&ZavCtl::record)},
        {QStringLiteral("conform"),
         {},
         {{QStringLiteral("--only"), QStringLiteral("GROUP"), {}, false, Conformance::groups()}, JUnit},
         QStringLiteral("check the service on the bus against the interface's contract"),
         QStringLiteral(
             "Checks whatever owns the service's name, as programs use it and with raw calls, one line per check, "
             "then a\ntable per group; exit code 0 when every check held, 1 otherwise. Groups: registration (every "
             "type, ids,\nrefusals), setters (valid values accepted, each documented range and wrong types refused, "
             "unknown ids),\nownership (another connection's changes refused), requests (to the owner only, in "
             "order), lifetime (a\ndeparted program's transfers go; a commit is one update), inspection (the state "
             "reported after each change).\nChecks that need the inspection interface (Control) are skipped, never "
             "passed, on a service without it.\n--only GROUP runs one group; --junit FILE writes a JUnit XML report."),
         {},
         handler(&ZavCtl::conform)},
        {QStringLiteral("help"),
         {QStringLiteral("[COMMAND]")},
         {},
         QStringLiteral("this text, or one command's"),
         QString(),
         {QStringLiteral("@commands")},
         handler(&ZavCtl::help)},
    };
}

int ZavCtl::run(const QStringList &arguments)
{
    const QString name = arguments.value(0);
    if (name == QLatin1String("--version") || name == QLatin1String("-V")) {
        m_out << "zavctl " << Zav::Version << "\n";
        return Success;
    }
    if (name == QLatin1String("--help") || name == QLatin1String("-h"))
        return help({});
    // For the shell's completion script (share/completions): the words that may come next.
    if (name == QLatin1String("--complete")) {
        const QStringList words = CommandLine::completions(m_commands, GlobalOptions, arguments.mid(1));
        for (const QString &word : words)
            m_out << word << "\n";
        return Success;
    }
    if (name.isEmpty())
        return usageError(QStringLiteral("a command is missing"), QString());
    const CommandLine::Command *command = CommandLine::find(m_commands, name);
    if (!command)
        return usageError(CommandLine::unknownCommand(m_commands, name, GlobalOptions), QString());
    const QStringList rest = arguments.mid(1);
    const qsizetype optionsEnd = rest.indexOf(QStringLiteral("--"));
    const QStringList options = optionsEnd < 0 ? rest : rest.first(optionsEnd);
    if (options.contains(QStringLiteral("--help")) || options.contains(QStringLiteral("-h"))) {
        m_out << CommandLine::help(*command, QStringLiteral("zavctl"));
        return Success;
    }
    Invocation invocation;
    const QString fault = CommandLine::parse(*command, m_commands, rest, &invocation);
    if (!fault.isEmpty())
        return usageError(fault, name);
    return command->run(invocation);
}

int ZavCtl::help(const Invocation &invocation)
{
    if (invocation.operands.isEmpty()) {
        m_out << CommandLine::usage(
            m_commands,
            QStringLiteral("Usage: zavctl COMMAND [ARGUMENTS]\n"
                           "The tester's side of the transfer-status service (%1 on the session bus).\n\nCommands:\n")
                .arg(QLatin1String(ZavBus::ServiceName)),
            QStringLiteral(
                "\nOptions: --version, --help; --address ADDRESS drives the service on that bus in place of\n"
                "the session bus (a device's, through a forwarded socket: unix:path=FILE or\n"
                "tcp:host=HOST,port=PORT). 'zavctl help COMMAND' tells more of one command.\n"
                "Exit codes: 0 success, 1 the service or the transfer is not there (or an expectation\n"
                "failed), 2 usage error.\n"));
        return Success;
    }
    const CommandLine::Command *command = CommandLine::find(m_commands, invocation.operands.constFirst());
    if (!command)
        return usageError(CommandLine::unknownCommand(m_commands, invocation.operands.constFirst()), QString());
    m_out << CommandLine::help(*command, QStringLiteral("zavctl"));
    return Success;
}

int ZavCtl::usageError(const QString &what, const QString &command)
{
    m_err << "zavctl: " << what << " (see 'zavctl help" << (command.isEmpty() ? QString() : QLatin1Char(' ') + command)
          << "')\n";
    return UsageError;
}

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

bool ZavCtl::answered(QDBusPendingCall call, bool change)
{
    call.waitForFinished();
    if (!call.isError())
        return true;
    say(call.error(), change);
    return false;
}

void ZavCtl::say(const QDBusError &error, bool change)
{
    QString why = error.message().isEmpty() ? error.name() : error.message();
    if (!m_bus.isConnected())
        why = m_address.isEmpty()
            ? QStringLiteral("no session bus (DBUS_SESSION_BUS_ADDRESS is not set or not reachable)")
            : QStringLiteral("the bus at %1 is not reachable").arg(printable(m_address));
    else if (error.type() == QDBusError::NoReply || error.type() == QDBusError::Timeout)
        // A hung service may still do it once it goes on: a failure said plainly would mislead.
        why = change ? QStringLiteral("the service did not answer within %1 s; it may still do what it was asked "
                                      "once it goes on")
                           .arg(Timeout / 1000)
                     : QStringLiteral("the service did not answer within %1 s").arg(Timeout / 1000);
    else if (error.type() == QDBusError::ServiceUnknown
             || error.name() == QLatin1String("org.freedesktop.DBus.Error.NameHasNoOwner"))
        why = QStringLiteral("no transfer service on the bus (%1)").arg(QLatin1String(ZavBus::ServiceName));
    m_err << "zavctl: " << Zav::printableCut(why) << "\n";
    m_err.flush();
}

std::unique_ptr<Renderer> ZavCtl::rendererFor(const Invocation &invocation) const
{
    if (invocation.has(Json.name))
        return std::make_unique<JsonRenderer>(m_out);
    return std::make_unique<TextRenderer>(m_out, m_width, m_color);
}

bool ZavCtl::eachTransfer(const std::function<void(const QJsonObject &)> &each)
{
    // Page by page: neither the service nor this process ever holds the whole list at once.
    QString after;
    for (int pages = 1;; ++pages) {
        const QDBusPendingReply<QString> reply = control().transferPage(after, Zav::PageSize);
        if (!answered(reply))
            return false;
        const QJsonObject page = jsonObject(reply.value());
        const QJsonArray transfers = page.value(QStringLiteral("transfers")).toArray();
        for (const QJsonValue &t : transfers)
            each(t.toObject());
        if (!page.value(QStringLiteral("more")).toBool() || transfers.isEmpty())
            return true;
        const QString last = transfers.last().toObject().value(QStringLiteral("id")).toString();
        if (last == after || pages == Zav::MaxPages) {
            m_err << "zavctl: the service's pages do not end (" << pages << " read); the list stops here\n";
            return false;
        }
        after = last;
    }
}

int ZavCtl::list(const Invocation &invocation)
{
    const std::unique_ptr<Renderer> renderer = rendererFor(invocation);
    const bool whole = eachTransfer([&](const QJsonObject &t) { renderer->listRow(t); });
    renderer->listEnd(whole);
    return whole ? Success : NotThere;
}

int ZavCtl::show(const Invocation &invocation)
{
    const QDBusPendingReply<QString> reply = control().transfer(invocation.operands.at(0));
    if (!answered(reply))
        return NotThere;
    rendererFor(invocation)->transfer(jsonObject(reply.value()));
    return Success;
}

int ZavCtl::status(const Invocation &invocation)
{
    const QDBusPendingReply<QString> reply = control().status();
    if (!answered(reply))
        return NotThere;
    rendererFor(invocation)->status(jsonObject(reply.value()));
    return Success;
}

int ZavCtl::request(const Invocation &invocation)
{
    const QString &id = invocation.operands.at(0);
    const QString &action = invocation.operands.at(1);
    if (!Zav::Requests::isRequest(action)) {
        const QString guess = nearest(action, Zav::Requests::words());
        return usageError(guess.isEmpty()
                              ? QStringLiteral("no request \"%1\"; the requests are %2")
                                    .arg(printable(action), Zav::Requests::listed())
                              : QStringLiteral("no request \"%1\"; did you mean \"%2\"?").arg(printable(action), guess),
                          QStringLiteral("request"));
    }
    if (!answered(control().sendRequest(id, action), true))
        return NotThere;
    m_out << "Sent " << action << " to transfer " << printable(id) << ".\n";
    return Success;
}

int ZavCtl::refuse(const Invocation &invocation)
{
    const QString &value = invocation.operands.at(0);
    if (value != QLatin1String("on") && value != QLatin1String("off")) {
        m_err << "zavctl: refuse takes on or off\n";
        return UsageError;
    }
    if (!answered(control().setRefuseRegistrations(value == QLatin1String("on")), true))
        return NotThere;
    m_out << (value == QLatin1String("on") ? "The service refuses new transfers.\n"
                                           : "The service accepts new transfers.\n");
    return Success;
}

int ZavCtl::watch(const Invocation &invocation)
{
    if (invocation.has(Json.name) || !m_terminal)
        m_watch = rendererFor(invocation);
    else
        m_watch = std::make_unique<LiveTableRenderer>(m_out, m_width, m_color);
    // The follower lists, follows and comes back with the service; the renderer shows it.
    auto *follower = new ChangeFollower(m_bus, this);
    Renderer *view = m_watch.get();
    connect(follower, &ChangeFollower::relisting, this, [view] { view->relisting(); });
    connect(follower, &ChangeFollower::changed, this, [view](const QJsonObject &t) { view->changed(t); });
    connect(follower, &ChangeFollower::removed, this, [view](const QString &id) { view->removed(id); });
    connect(follower, &ChangeFollower::serviceLeft, this, [view] { view->serviceLeft(); });
    connect(follower, &ChangeFollower::serviceBack, this, [view] { view->serviceBack(); });
    // Until the first listing is whole a failure ends the watch, as it ends any command; later
    // the follower asks again.
    auto listed = std::make_shared<bool>(false);
    connect(follower, &ChangeFollower::relisted, this, [view, listed] {
        *listed = true;
        view->relisted();
    });
    connect(follower, &ChangeFollower::callFailed, this, [this, listed](const QDBusError &error, int) {
        say(error);
        if (!*listed)
            QCoreApplication::exit(NotThere);
    });
    connect(follower, &ChangeFollower::pagesDoNotEnd, this, [this, listed](int pages) {
        m_err << "zavctl: the service's pages do not end (" << pages << " read); the list stops here\n";
        m_err.flush();
        if (!*listed)
            QCoreApplication::exit(NotThere);
    });
    if (!follower->start()) {
        say(QDBusError(QDBusError::ServiceUnknown, QString()));
        return NotThere;
    }
    return -1;
}

int ZavCtl::play(const Invocation &invocation)
{
    ScenarioPlayer::Options options;
    options.junit = invocation.value(JUnit.name);
    if (invocation.has(QStringLiteral("--speed")))
        options.speed = invocation.value(QStringLiteral("--speed")).toDouble();
    if (invocation.has(QStringLiteral("--repeat")))
        options.repeat = int(invocation.value(QStringLiteral("--repeat")).toDouble());
    if (invocation.has(QStringLiteral("--transfers")))
        options.copies = int(invocation.value(QStringLiteral("--transfers")).toDouble());
    // Every file is checked before anything is played.
    QList<Scenario> scenarios;
    bool allGood = true;
    for (const QString &file : invocation.operands) {
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

int ZavCtl::conform(const Invocation &invocation)
{
    const QString only = invocation.value(QStringLiteral("--only"));
    if (invocation.has(QStringLiteral("--only")) && !Conformance::groups().contains(only)) {
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
    const QString junit = invocation.value(JUnit.name);
    QString error;
    if (!junit.isEmpty() && !conformance.writeJUnit(junit, &error)) {
        m_err << "zavctl: cannot write " << printable(junit) << ": " << error << "\n";
        return UsageError;
    }
    return code == 0 ? Success : NotThere;
}

int ZavCtl::record(const Invocation &invocation)
{
    const QString out = invocation.value(QStringLiteral("--out"));
    const QString client = invocation.value(QStringLiteral("--client"));
    const QString journal = invocation.value(QStringLiteral("--journal"));
    if (invocation.has(QStringLiteral("--run")) && journal.isEmpty())
        return usageError(QStringLiteral("--run chooses a run of a journal file (--journal FILE)"),
                          QStringLiteral("record"));
    if (journal.isEmpty())
        return recordLive(client, out);
    return recordJournal(journal, client, invocation.value(QStringLiteral("--run")).toInt(), out);
}

int ZavCtl::writeRecording(const ScenarioRecorder &recorder, const QString &out)
{
    if (recorder.client().isEmpty() || recorder.transferCount() == 0) {
        m_err << "zavctl: no client registered a transfer; nothing recorded\n";
        return NotThere;
    }
    QFile file(out);
    // Written means flushed: a full disk refuses the bytes only then.
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)
        || file.write(recorder.text(QStringLiteral("Recorded from %1").arg(recorder.client()))) < 0 || !file.flush()) {
        m_err << "zavctl: cannot write " << printable(out) << ": " << file.errorString() << "\n";
        return NotThere;
    }
    m_out << "Recorded " << recorder.transferCount() << " transfer(s) of " << printable(recorder.client()) << " into "
          << printable(out) << ".\n";
    m_out.flush();
    return Success;
}

int ZavCtl::recordJournal(const QString &path, const QString &client, int runNumber, const QString &out)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        m_err << "zavctl: cannot read " << printable(path) << ": " << file.errorString() << "\n";
        return NotThere;
    }
    // The service's runs one after another: one is recorded, the one chosen or else the latest
    // in which the client registered a transfer (ids start again in each run).
    ScenarioRecorder recorder(client), current(client);
    int runs = 1, recorded = 0, linesInRun = 0;
    bool listening = true;
    const auto closeRun = [&] {
        if (runNumber == 0 ? current.transferCount() > 0 : runNumber == runs) {
            recorder = current;
            recorded = runs;
        }
    };
    // Line by line until the end, not while atEnd() is false: a pipe (<(cat journal)) has
    // nothing available yet when it is opened, and was taken for empty. At most MaxJournalBytes
    // are read, so that a device or an endless pipe ends too.
    // Into one buffer: readLine(max) allocated the most a line may take for every line (a
    // megabyte each, mapped and unmapped 170,000 times for a 16 MiB journal).
    qint64 read = 0;
    QByteArray buffer(MaxJournalLine, Qt::Uninitialized);
    for (qint64 length; (length = file.readLine(buffer.data(), buffer.size())) > 0;) {
        const QByteArray raw = QByteArray::fromRawData(buffer.constData(), length);
        read += length;
        if (read > MaxJournalBytes) {
            m_err << "zavctl: " << printable(path) << " goes on past " << (MaxJournalBytes >> 20)
                  << " MiB; not a journal of the service\n";
            return NotThere;
        }
        const QJsonObject line = QJsonDocument::fromJson(raw).object();
        if (ScenarioRecorder::startsRun(line)) {
            if (linesInRun > 0) {
                closeRun();
                ++runs;
                current = ScenarioRecorder(client);
                listening = true;
                linesInRun = 0;
            }
            ++linesInRun;
            continue;
        }
        ++linesInRun;
        if (listening)
            listening = current.add(line);
    }
    closeRun();
    if (runNumber > runs) {
        m_err << "zavctl: " << printable(path) << " holds " << runs << " run(s) of the service\n";
        return NotThere;
    }
    if (recorded > 0 && runs > 1)
        m_out << "From run " << recorded << " of " << runs << " of the service in " << printable(path) << ".\n";
    return writeRecording(recorder, out);
}

int ZavCtl::recordLive(const QString &client, const QString &out)
{
    const QDBusPendingReply<QString> reply = control().status();
    if (!answered(reply))
        return NotThere;
    const QString path =
        jsonObject(reply.value()).value(QStringLiteral("journal")).toObject().value(QStringLiteral("path")).toString();
    if (path.isEmpty()) {
        m_err << "zavctl: the service keeps no journal (start it with --journal FILE)\n";
        return NotThere;
    }
    auto file = std::make_shared<QFile>(path);
    if (!file->open(QIODevice::ReadOnly)) {
        m_err << "zavctl: cannot read " << printable(path) << ": " << file->errorString() << "\n";
        return NotThere;
    }
    // What the service journals from now on, until the client leaves or Ctrl+C.
    file->seek(file->size());
    m_out << "Recording "
          << (client.isEmpty() ? QStringLiteral("the next client to register a transfer") : printable(client))
          << "; Ctrl+C ends.\n";
    m_out.flush();
    auto recorder = std::make_shared<ScenarioRecorder>(client);
    auto done = std::make_shared<bool>(false);
    const auto finish = [this, recorder, out, done] {
        if (!std::exchange(*done, true))
            QCoreApplication::exit(m_exitCode = writeRecording(*recorder, out));
    };
    connect(qApp, &QCoreApplication::aboutToQuit, this, [finish] { finish(); });
    auto *poll = new QTimer(this);
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
