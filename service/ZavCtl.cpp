#include "ZavCtl.h"

#include "ControlProxy.h"
#include "Requests.h"
#include "ZavBusNames.h"

#include <QJsonArray>
#include <QJsonDocument>

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

QString ZavCtl::usage()
{
    return QStringLiteral("Usage: zavctl COMMAND [ARGUMENTS]\n"
                          "The tester's side of the transfer-status service (%1 on the session bus).\n"
                          "\n"
                          "Commands:\n"
                          "  list [--json]                       every transfer, as a table or as JSON\n"
                          "  show ID [--json]                    one transfer with all it holds\n"
                          "  request ID %2\n"
                          "                                      ask the program that owns ID for an action\n"
                          "  watch                               a live view of every transfer (Ctrl+C ends it)\n"
                          "  refuse on|off                       make the service refuse new registrations, or not\n"
                          "  status                              the service's limits and the state of its journal\n"
                          "  help                                this text\n"
                          "\n"
                          "Exit codes: 0 success, 1 the service or the transfer is not there, 2 usage error.\n")
        .arg(QLatin1String(ZavBus::ServiceName), Requests::words().join(QLatin1Char('|')));
}

int ZavCtl::run(const QStringList &arguments)
{
    QStringList args = arguments;
    const bool json = args.removeAll(QStringLiteral("--json")) > 0;
    const QString command = args.value(0);
    if (command.isEmpty() || command == QLatin1String("help") || command == QLatin1String("--help")
        || command == QLatin1String("-h")) {
        (command.isEmpty() ? m_err : m_out) << usage();
        return command.isEmpty() ? UsageError : Success;
    }
    if (command == QLatin1String("list") && args.size() == 1)
        return list(json);
    if (command == QLatin1String("show") && args.size() == 2)
        return show(args.at(1), json);
    if (command == QLatin1String("request") && args.size() == 3 && !json)
        return request(args.at(1), args.at(2));
    if (command == QLatin1String("refuse") && args.size() == 2 && !json)
        return refuse(args.at(1));
    if (command == QLatin1String("watch") && args.size() == 1 && !json)
        return watch();
    if (command == QLatin1String("status") && args.size() == 1 && !json)
        return status();
    m_err << "zavctl: cannot understand \"" << arguments.join(QLatin1Char(' ')) << "\"\n\n" << usage();
    return UsageError;
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
    if (error.type() == QDBusError::NoReply || error.type() == QDBusError::Timeout)
        why = QStringLiteral("the service did not answer within %1 s").arg(Timeout / 1000);
    else if (error.type() == QDBusError::ServiceUnknown || error.name() == QLatin1String("org.freedesktop.DBus.Error.NameHasNoOwner"))
        why = QStringLiteral("no transfer service on the bus (%1)").arg(QLatin1String(ZavBus::ServiceName));
    m_err << "zavctl: " << printable(why) << "\n";
    return false;
}

// Texts come from any program on the bus: control characters (and the marks that reorder text)
// are shown escaped, so that a name cannot clear the tester's screen or retitle the terminal.
QString ZavCtl::printable(const QString &text)
{
    QString shown;
    shown.reserve(text.size());
    for (const QChar c : text) {
        const char16_t u = c.unicode();
        const bool control = u < 0x20 || (u >= 0x7f && u <= 0x9f) || (u >= 0x202a && u <= 0x202e)
            || (u >= 0x2066 && u <= 0x2069) || u == 0x200e || u == 0x200f;
        if (!control)
            shown += c;
        else if (u < 0x100)
            shown += QStringLiteral("\\x%1").arg(uint(u), 2, 16, QLatin1Char('0'));
        else
            shown += QStringLiteral("\\u%1").arg(uint(u), 4, 16, QLatin1Char('0'));
    }
    return shown;
}

QString ZavCtl::formatBytes(qint64 bytes)
{
    static const char *const units[] = {"B", "KiB", "MiB", "GiB", "TiB", "PiB", "EiB"};
    double value = double(bytes);
    int unit = 0;
    while (value >= 1024 && unit < 6) {
        value /= 1024;
        ++unit;
    }
    return unit == 0 ? QStringLiteral("%1 B").arg(bytes)
                     : QStringLiteral("%1 %2").arg(value, 0, 'f', 1).arg(QLatin1String(units[unit]));
}

QString ZavCtl::progressBar(double done, int width)
{
    const double part = qBound(0.0, done, 1.0);
    const int full = int(part * width + 0.5);
    return QStringLiteral("[") + QString(full, QChar(0x2588)) + QString(width - full, QChar(0x00B7))
        + QStringLiteral("] ") + QStringLiteral("%1%").arg(int(part * 100 + 0.5), 3);
}

QString ZavCtl::stateWords(const QJsonObject &t)
{
    const QString state = t.value(QStringLiteral("state")).toString();
    const QString reason = t.value(QStringLiteral("reason")).toString();
    if (state == QLatin1String("pending"))
        return reason.isEmpty() ? QStringLiteral("waiting") : QStringLiteral("waiting: %1").arg(reason);
    if (state == QLatin1String("active"))
        return QStringLiteral("running");
    if (state == QLatin1String("paused"))
        return QStringLiteral("paused");
    if (state == QLatin1String("failed")) {
        const QString action = t.value(QStringLiteral("failureAction")).toString();
        const QString headline = t.value(QStringLiteral("failureHeadline")).toString();
        return action.isEmpty() ? QStringLiteral("failed: %1").arg(headline)
                                : QStringLiteral("failed: %1 (repair: %2)").arg(headline, action);
    }
    if (state == QLatin1String("cancelFailed"))
        return QStringLiteral("cancel failed: %1").arg(reason);
    if (state == QLatin1String("cancelled"))
        return QStringLiteral("cancelled");
    if (state == QLatin1String("done")) {
        const QString uri = t.value(QStringLiteral("resultUri")).toString();
        return t.value(QStringLiteral("showResult")).toBool() ? QStringLiteral("done: %1").arg(uri)
                                                              : QStringLiteral("done");
    }
    return state;
}

QString ZavCtl::tableHeader()
{
    return QStringLiteral("%1 %2 %3 %4 %5 %6 %7 %8")
        .arg(QStringLiteral("ID"), -5)
        .arg(QStringLiteral("TYPE"), -8)
        .arg(QStringLiteral("PROGRESS"), -19)
        .arg(QStringLiteral("STATE"), -36)
        .arg(QStringLiteral("SIZE"), -10)
        .arg(QStringLiteral("SPEED"), -6)
        .arg(QStringLiteral("EST"), -7)
        .arg(QStringLiteral("NAME / MESSAGE"));
}

QString ZavCtl::tableRow(const QJsonObject &t)
{
    const QJsonValue size = t.value(QStringLiteral("size"));
    const QString sizeText = size.isString() ? size.toString() : formatBytes(size.toInteger());
    QString nameAndMessage = t.value(QStringLiteral("name")).toString();
    const QString message = t.value(QStringLiteral("message")).toString();
    if (!message.isEmpty())
        nameAndMessage += QStringLiteral(" / ") + message;
    return QStringLiteral("%1 %2 %3 %4 %5 %6 %7 %8")
        .arg(cut(printable(t.value(QStringLiteral("id")).toString()), 5))
        .arg(cut(printable(t.value(QStringLiteral("type")).toString()), 8))
        .arg(progressBar(t.value(QStringLiteral("progress")).toDouble(), 12))
        .arg(cut(printable(stateWords(t)), 36))
        .arg(cut(printable(sizeText), 10))
        .arg(cut(QString::number(t.value(QStringLiteral("speed")).toInt()), 6))
        .arg(cut(QStringLiteral("%1s").arg(t.value(QStringLiteral("estimate")).toInt()), 7))
        .arg(printable(nameAndMessage).left(60));
}

bool ZavCtl::eachTransfer(const std::function<void(const QJsonObject &)> &each)
{
    // Page by page: neither the service nor this process ever holds the whole list at once.
    QString after;
    for (;;) {
        const QDBusPendingReply<QString> reply = control().transferPage(after, PageSize);
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
            QByteArray item = QJsonDocument(t).toJson(QJsonDocument::Indented).trimmed();
            item.replace("\n", "\n    ");
            m_out << (shown == 0 ? "[\n    " : ",\n    ") << item;
        } else {
            if (shown == 0)
                m_out << tableHeader() << "\n";
            m_out << tableRow(t) << "\n";
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
          << s.value(QStringLiteral("clients")).toInt() << " client(s); at most "
          << limits.value(QStringLiteral("maxTransfers")).toInt() << ", "
          << limits.value(QStringLiteral("maxTransfersPerClient")).toInt() << " per client"
          << (s.value(QStringLiteral("refusing")).toBool() ? "; refusing new transfers" : "") << "\n";
    const QString path = journal.value(QStringLiteral("path")).toString();
    if (path.isEmpty()) {
        m_out << "Journal: none\n";
    } else {
        m_out << "Journal: " << printable(path) << ", " << formatBytes(journal.value(QStringLiteral("size")).toInteger())
              << " of " << formatBytes(journal.value(QStringLiteral("maxSize")).toInteger()) << "\n";
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
        m_out << QJsonDocument(t).toJson(QJsonDocument::Indented);
        return Success;
    }
    m_out << tableRow(t).trimmed() << "\n";
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
        m_err << "zavctl: the request is one of " << Requests::listed() << "\n";
        return UsageError;
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

int ZavCtl::watch()
{
    connect(&control(), &ComKelvoZavControlInterface::transferChanged, this, &ZavCtl::onChanged);
    connect(&control(), &ComKelvoZavControlInterface::transferRemoved, this, &ZavCtl::onRemoved);
    if (!answered(control().setWatching(true)))
        return NotThere;
    const bool ok = eachTransfer(
        [this](const QJsonObject &t) { m_watched.insert(idKey(t.value(QStringLiteral("id")).toString()), t); });
    if (!ok)
        return NotThere;
    m_out << "\x1b[2J";
    redraw();
    return -1;
}

void ZavCtl::onChanged(const QString &id, const QString &json)
{
    m_watched.insert(idKey(id), QJsonDocument::fromJson(json.toUtf8()).object());
    if (!m_redraw.isActive())
        m_redraw.start();
}

void ZavCtl::onRemoved(const QString &id)
{
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
    line(QStringLiteral("zavctl watch: %1 transfer(s); Ctrl+C ends").arg(m_watched.size()));
    line(QString());
    line(tableHeader());
    for (const QJsonObject &t : std::as_const(m_watched))
        line(tableRow(t));
    frame += QStringLiteral("\x1b[J");
    m_out << frame;
    m_out.flush();
}
