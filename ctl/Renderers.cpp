// SPDX-License-Identifier: MIT
#include "Renderers.h"

#include "ZavTransfer.h"
#include "ZavVocabulary.h"

#include <QHash>
#include <QJsonDocument>
#include <QTime>

using Zav::formatBytes;
using Zav::printable;

Renderer::~Renderer() = default;

// Texts come from any program on the bus: control characters (and the marks that reorder text)
// are shown escaped (printable), so that a name cannot clear the tester's screen or retitle the
// terminal.

namespace TransferTable {

namespace {
QString cut(const QString &text, int width)
{
    if (text.size() <= width)
        return text.leftJustified(width);
    return text.left(width - 1) + QChar(0x2026);
}

// The line's columns before the name, each followed by a space.
QString leadingColumns(const Columns &c, const QString &id, const QString &type, const QString &progress,
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

Columns columnsFor(int width)
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

QString progressBar(double done, int width)
{
    const double part = qBound(0.0, done, 1.0);
    const int full = int(part * width + 0.5);
    return QStringLiteral("[") + QString(full, QChar(0x2588)) + QString(width - full, QChar(0x00B7))
        + QStringLiteral("] ") + QStringLiteral("%1%").arg(int(part * 100 + 0.5), 3);
}

QString header(const Columns &c)
{
    const QString whole = QStringLiteral("NAME / MESSAGE");
    const QString name = c.name >= 0 && c.name < whole.size() ? QStringLiteral("NAME") : whole;
    return leadingColumns(c, QStringLiteral("ID"), QStringLiteral("TYPE"),
                          // Without the bar the column is four wide: a word that fits, not "PRO…".
                          c.bar ? cut(QStringLiteral("PROGRESS"), c.bar + 7) : QStringLiteral("DONE"),
                          cut(QStringLiteral("STATE"), c.state), QStringLiteral("SIZE"), QStringLiteral("SPEED"),
                          QStringLiteral("EST"))
        + (c.name < 0 ? name : cut(name, c.name).trimmed());
}

QString row(const QJsonObject &transfer, const Columns &c, bool color)
{
    const Zav::TransferInfo t = Zav::TransferInfo::fromJson(transfer);
    QString nameAndMessage = t.name;
    if (!t.message.isEmpty())
        nameAndMessage += QStringLiteral(" / ") + t.message;
    QString state = cut(printable(t.describeState()), c.state);
    if (color) {
        // Coloured after padding: the escape sequences take no columns.
        using S = Zav::TransferState;
        static const QHash<S, const char *> colours {{S::Active, "32"},      {S::Pending, "33"}, {S::Paused, "36"},
                                                     {S::Failed, "1;31"},    {S::Done, "1;32"},  {S::Cancelled, "2"},
                                                     {S::CancelFailed, "31"}};
        state = QStringLiteral("\x1b[%1m%2\x1b[0m").arg(QLatin1String(colours.value(t.state)), state);
    }
    const QString progress = c.bar ? progressBar(t.progress, c.bar)
                                   : QStringLiteral("%1%").arg(int(qBound(0.0, t.progress, 1.0) * 100 + 0.5), 3);
    const QString line = leadingColumns(c, printable(t.id), printable(t.type), progress, state,
                                        printable(formatBytes(t.size)), QString::number(t.speed),
                                        QStringLiteral("%1s").arg(t.estimate));
    const QString name = printable(nameAndMessage);
    return line + (c.name < 0 ? name : cut(name, c.name).trimmed());
}

} // namespace TransferTable

namespace {
QString now()
{
    return QTime::currentTime().toString(QStringLiteral("HH:mm:ss.zzz"));
}

qint64 idKey(const QString &id)
{
    bool ok = false;
    const qint64 n = id.toLongLong(&ok);
    return ok ? n : qHash(id);
}
} // namespace

TextRenderer::TextRenderer(QTextStream &out, int width, bool color)
    : m_out(out)
    , m_columns(TransferTable::columnsFor(width))
    , m_color(color)
{
}

void TextRenderer::listRow(const QJsonObject &transfer)
{
    if (m_listed++ == 0)
        m_out << TransferTable::header(m_columns) << "\n";
    m_out << TransferTable::row(transfer, m_columns, m_color) << "\n";
}

void TextRenderer::listEnd(bool whole)
{
    if (whole && m_listed == 0)
        m_out << "No transfers.\n";
}

void TextRenderer::transfer(const QJsonObject &t)
{
    m_out << TransferTable::row(t, m_columns, m_color).trimmed() << "\n";
    for (auto it = t.constBegin(); it != t.constEnd(); ++it) {
        const QJsonValue v = it.value();
        const QString text = v.isString() ? v.toString()
            : v.isBool()                  ? (v.toBool() ? QStringLiteral("true") : QStringLiteral("false"))
                                          : QString::number(v.toDouble(), 'g', 12);
        m_out << QStringLiteral("  %1 %2").arg(printable(it.key()) + QLatin1Char(':'), -20).arg(printable(text))
              << "\n";
    }
}

void TextRenderer::status(const QJsonObject &s)
{
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
        return;
    }
    m_out << "Journal: " << printable(path) << ", "
          << formatBytes(quint64(journal.value(QStringLiteral("size")).toInteger())) << " of "
          << formatBytes(quint64(journal.value(QStringLiteral("maxSize")).toInteger())) << "\n";
    if (journal.value(QStringLiteral("failing")).toBool())
        m_out << "Journal FAILING: " << printable(journal.value(QStringLiteral("error")).toString()) << "\n";
    if (const qint64 dropped = journal.value(QStringLiteral("dropped")).toInteger())
        m_out << "Journal records dropped: " << dropped << "\n";
}

void TextRenderer::changed(const QJsonObject &transfer)
{
    // Into a pipe or a file: one line per change, no screen control.
    m_out << now() << " " << TransferTable::row(transfer, m_columns, m_color) << "\n";
    m_out.flush();
}

void TextRenderer::removed(const QString &id)
{
    m_out << now() << " " << printable(id) << " removed\n";
    m_out.flush();
}

void TextRenderer::serviceLeft()
{
    m_out << now() << " the service left the bus; waiting for it\n";
    m_out.flush();
}

void TextRenderer::serviceBack()
{
    m_out << now() << " the service is back; its transfers follow\n";
    m_out.flush();
}

JsonRenderer::JsonRenderer(QTextStream &out)
    : m_out(out)
{
}

void JsonRenderer::listRow(const QJsonObject &transfer)
{
    // Streamed as one JSON array, a transfer at a time.
    QByteArray item = Zav::withExactSizes(
        QJsonDocument(Zav::transferForJson(transfer)).toJson(QJsonDocument::Indented).trimmed());
    item.replace("\n", "\n    ");
    m_out << (m_listed++ == 0 ? "[\n    " : ",\n    ") << item;
}

void JsonRenderer::listEnd(bool whole)
{
    // Nothing at all when nothing could be listed: a script must not read "[]" as "no
    // transfers". Closed when the service stopped answering part way: the output stays JSON
    // (and the exit code says it is not whole).
    if (!whole && m_listed == 0)
        return;
    m_out << (m_listed == 0 ? "[\n]\n" : "\n]\n");
}

void JsonRenderer::transfer(const QJsonObject &transfer)
{
    m_out << Zav::withExactSizes(QJsonDocument(Zav::transferForJson(transfer)).toJson(QJsonDocument::Indented));
}

void JsonRenderer::status(const QJsonObject &status)
{
    m_out << QJsonDocument(status).toJson(QJsonDocument::Indented);
}

void JsonRenderer::event(const QJsonObject &object)
{
    m_out << Zav::withExactSizes(QJsonDocument(object).toJson(QJsonDocument::Compact)) << "\n";
    m_out.flush();
}

void JsonRenderer::changed(const QJsonObject &transfer)
{
    event({{QStringLiteral("event"), QStringLiteral("changed")},
           {QStringLiteral("transfer"), Zav::transferForJson(transfer)}});
}

void JsonRenderer::removed(const QString &id)
{
    event({{QStringLiteral("event"), QStringLiteral("removed")}, {QStringLiteral("id"), Zav::jsonId(id)}});
}

void JsonRenderer::serviceLeft()
{
    event({{QStringLiteral("event"), QStringLiteral("serviceLeft")}});
}

void JsonRenderer::serviceBack()
{
    event({{QStringLiteral("event"), QStringLiteral("serviceBack")}});
}

LiveTableRenderer::LiveTableRenderer(QTextStream &out, int width, bool color)
    : TextRenderer(out, width, color)
    , m_redraw(std::make_unique<QTimer>())
{
    // At most one frame every 40 ms, however fast the changes come.
    m_redraw->setSingleShot(true);
    m_redraw->setInterval(40);
    QObject::connect(m_redraw.get(), &QTimer::timeout, m_redraw.get(), [this] { redraw(); });
}

LiveTableRenderer::~LiveTableRenderer() = default;

void LiveTableRenderer::changed(const QJsonObject &transfer)
{
    m_rows.insert(idKey(transfer.value(QStringLiteral("id")).toString()), transfer);
    if (!m_redraw->isActive())
        m_redraw->start();
}

void LiveTableRenderer::removed(const QString &id)
{
    m_rows.remove(idKey(id));
    if (!m_redraw->isActive())
        m_redraw->start();
}

void LiveTableRenderer::serviceLeft()
{
    m_serviceGone = true;
    m_rows.clear();
    redraw();
}

void LiveTableRenderer::serviceBack()
{
    m_serviceGone = false;
}

void LiveTableRenderer::relisting()
{
    m_rows.clear();
}

void LiveTableRenderer::relisted()
{
    // Drawn now, whole: the frame the listed rows asked for is this one.
    m_redraw->stop();
    m_out << "\x1b[2J";
    redraw();
}

void LiveTableRenderer::redraw()
{
    // Overwrites the lines in place (cursor home, clear to the end of each line) instead of
    // clearing the screen, so a view that changes every 20 ms does not flicker.
    QString frame = QStringLiteral("\x1b[H");
    auto line = [&frame](const QString &text) { frame += text + QStringLiteral("\x1b[K\n"); };
    line(m_serviceGone ? QStringLiteral("zavctl watch: the service left the bus; waiting for it. Ctrl+C ends")
                       : QStringLiteral("zavctl watch: %1 transfer(s); Ctrl+C ends").arg(m_rows.size()));
    line(QString());
    line(TransferTable::header(m_columns));
    for (const QJsonObject &t : std::as_const(m_rows))
        line(TransferTable::row(t, m_columns, m_color));
    frame += QStringLiteral("\x1b[J");
    m_out << frame;
    m_out.flush();
}
