// SPDX-License-Identifier: MIT
#include "Journal.h"

#include "JsonWriter.h"

#include <QDateTime>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLoggingCategory>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

// The journal's own troubles, on stderr (QT_LOGGING_RULES="zav.service.journal.warning=false" quiets them).
Q_LOGGING_CATEGORY(lcJournal, "zav.service.journal")

namespace {
constexpr int FlushIntervalMs = 100;
constexpr qsizetype FlushAtBytes = 64 * 1024;

// The length of the file up to and with its last newline: what stays of a file whose last
// record was cut short (a crash in the middle of a write).
qint64 wholeLinesLength(int fd, qint64 size)
{
    char buffer[4096];
    qint64 end = size;
    while (end > 0) {
        const qint64 start = qMax<qint64>(0, end - qint64(sizeof buffer));
        const ssize_t got = ::pread(fd, buffer, size_t(end - start), start);
        if (got <= 0)
            return size; // cannot tell: leave it
        for (qint64 i = got - 1; i >= 0; --i) {
            if (buffer[i] == '\n')
                return start + i + 1;
        }
        end = start;
    }
    return 0;
}
} // namespace

void Journal::appendTime(QByteArray &out)
{
    // The date and time to the second changes once a second; only the milliseconds are new.
    const qint64 now = QDateTime::currentMSecsSinceEpoch();
    if (now / 1000 != m_second) {
        m_second = now / 1000;
        m_secondText = QDateTime::fromSecsSinceEpoch(m_second, Qt::UTC).toString(Qt::ISODate).toLatin1();
        m_secondText.chop(1); // the "Z"
    }
    char millis[8];
    std::snprintf(millis, sizeof millis, ".%03dZ", int(now % 1000));
    out += m_secondText;
    out += millis;
}

Journal::Journal(QObject *parent)
    : QObject(parent)
{
    m_flushTimer.setSingleShot(true);
    m_flushTimer.setInterval(FlushIntervalMs);
    connect(&m_flushTimer, &QTimer::timeout, this, &Journal::flush);
}

Journal::~Journal()
{
    flush();
    if (m_fd >= 0)
        ::close(m_fd);
}

bool Journal::open(const QString &path, qint64 maxSize)
{
    m_path = path;
    m_maxSize = maxSize > 0 ? maxSize : DefaultMaxSize;
    return reopen();
}

bool Journal::reopen()
{
    if (m_fd >= 0)
        ::close(m_fd);
    // Never through a link (one planted in a shared folder would point the journal at another's
    // file), never into a file of another user, and never left readable by others.
    const int flags = O_APPEND | O_CREAT | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK;
    m_fd = ::open(QFile::encodeName(m_path).constData(), O_RDWR | flags, 0600);
    if (m_fd < 0) {
        m_fd = ::open(QFile::encodeName(m_path).constData(), O_WRONLY | flags, 0600);
        if (m_fd < 0)
            return false;
    }
    struct stat info;
    // A character device (/dev/null, /dev/full) is where a tester sends a journal to nothing.
    if (::fstat(m_fd, &info) != 0 || info.st_uid != ::geteuid() || !(S_ISREG(info.st_mode) || S_ISCHR(info.st_mode))) {
        ::close(m_fd);
        m_fd = -1;
        errno = EPERM;
        return false;
    }
    if (S_ISREG(info.st_mode) && (info.st_mode & 077) != 0)
        ::fchmod(m_fd, 0600);
    m_size = S_ISREG(info.st_mode) ? info.st_size : 0;
    // A record torn by a crash is dropped, so that this run's first record begins a line.
    const qint64 whole = m_size > 0 ? wholeLinesLength(m_fd, m_size) : 0;
    if (whole < m_size && ::ftruncate(m_fd, whole) == 0)
        m_size = whole;
    return true;
}

void Journal::write(const QString &sender, const QString &id, const QString &call, const QJsonArray &args,
                    const QString &error)
{
    if (m_path.isEmpty())
        return;
    // Written straight into the buffer: a record is made for every call the service takes.
    QByteArray &out = m_pending;
    out += "{\"time\":\"";
    appendTime(out);
    out += "\",\"sender\":";
    JsonWriter::appendValue(out, sender);
    out += ",\"id\":";
    JsonWriter::appendValue(out, id);
    out += ",\"call\":";
    JsonWriter::appendValue(out, call);
    out += ",\"args\":[";
    for (qsizetype i = 0; i < args.size(); ++i) {
        if (i > 0)
            out += ',';
        JsonWriter::appendValue(out, args.at(i));
    }
    out += ']';
    if (!error.isEmpty()) {
        out += ",\"error\":";
        JsonWriter::appendValue(out, error);
    }
    out += "}\n";
    ++m_pendingRecords;
    if (m_pending.size() >= FlushAtBytes)
        flush();
    else if (!m_flushTimer.isActive())
        m_flushTimer.start();
}

void Journal::flush()
{
    m_flushTimer.stop();
    if (m_pending.isEmpty())
        return;
    const QByteArray data = std::exchange(m_pending, {});
    const int records = std::exchange(m_pendingRecords, 0);
    if (m_fd < 0 && !reopen()) {
        failed(errno, records);
        return;
    }
    // Whole records up to the cap, then a new file; a record larger than the cap goes alone.
    qsizetype offset = 0;
    bool capped = true;
    while (offset < data.size()) {
        qsizetype end = data.size();
        if (capped && m_size + (end - offset) > m_maxSize) {
            const qint64 room = m_maxSize - m_size;
            qsizetype cut = room > 0 ? data.lastIndexOf('\n', offset + qsizetype(room) - 1) : -1;
            if (cut < offset && m_size > 0) {
                capped = rotate(); // a file that cannot be moved aside grows on
                continue;
            }
            if (cut < offset)
                cut = data.indexOf('\n', offset);
            end = cut + 1;
        }
        if (!writeAll(data.mid(offset, end - offset))) {
            failed(errno, data.mid(end).count('\n'));
            return;
        }
        offset = end;
    }
    if (m_failing) {
        m_failing = false;
        qCWarning(lcJournal, "zav-service: the journal %s is written again; %llu record(s) were dropped",
                  qPrintable(m_path), static_cast<unsigned long long>(m_lost));
        write(QString(), QString(), QStringLiteral("journalResumed"), {qint64(m_lost)});
    }
}

bool Journal::writeAll(const QByteArray &data)
{
    qint64 written = 0;
    while (written < data.size()) {
        const ssize_t n = ::write(m_fd, data.constData() + written, size_t(data.size() - written));
        if (n > 0) {
            written += n;
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        const int error = n < 0 ? errno : ENOSPC;
        // Whole records only: what was written of a record cut short is taken back.
        const qint64 keep = written > 0 ? data.lastIndexOf('\n', written - 1) + 1 : 0;
        if (written > keep && ::ftruncate(m_fd, m_size + keep) != 0) {
            // Cannot take it back (not a regular file): the next record starts a new line.
            m_pending.prepend('\n');
        }
        m_size += keep;
        failed(error, data.mid(keep).count('\n'));
        return false;
    }
    m_size += written;
    return true;
}

bool Journal::rotate()
{
    const QByteArray path = QFile::encodeName(m_path);
    return ::rename(path.constData(), (path + ".1").constData()) == 0 && reopen() && m_size == 0;
}

void Journal::failed(int error, int records)
{
    m_lost += quint64(records);
    m_error = QString::fromLocal8Bit(std::strerror(error));
    if (m_failing)
        return;
    m_failing = true;
    qCWarning(lcJournal, "zav-service: cannot write the journal %s (%s); records are dropped until it can be written",
              qPrintable(m_path), qPrintable(m_error));
}

QJsonObject Journal::status() const
{
    QJsonObject status;
    status.insert(QStringLiteral("path"), m_path);
    status.insert(QStringLiteral("maxSize"), m_maxSize);
    status.insert(QStringLiteral("size"), m_size);
    status.insert(QStringLiteral("failing"), m_failing);
    if (m_failing)
        status.insert(QStringLiteral("error"), m_error);
    status.insert(QStringLiteral("dropped"), qint64(m_lost));
    return status;
}
