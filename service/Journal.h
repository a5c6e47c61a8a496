// SPDX-License-Identifier: MIT
#ifndef JOURNAL_H
#define JOURNAL_H

#include <QByteArray>
#include <QJsonArray>
#include <QJsonObject>
#include <QObject>
#include <QString>
#include <QTimer>

// Appends one JSON object per line for every call the service receives and every request it
// sends: {"time", "sender", "id", "call", "args", "error"?}.
//
// Records are gathered and written together at most 100 ms later (at once by flush(), which the
// service calls before it answers a call, so that a caller who got an answer finds everything
// it sent before in the file). Each record reaches the file whole or not at all: a write cut
// short (a full disk) is taken back to the last whole line. A file that grows past its cap is
// moved aside as "<file>.1" and a new one begun. A journal that cannot be written is reported
// once on standard error and in status(); the service goes on without it, counts what it drops,
// and writes again as soon as it can.
class Journal : public QObject
{
    Q_OBJECT
public:
    static constexpr qint64 DefaultMaxSize = 64 * 1024 * 1024;

    explicit Journal(QObject *parent = nullptr);
    ~Journal() override;

    // Opens (or creates, readable by its owner only) the file to append to.
    bool open(const QString &path, qint64 maxSize = DefaultMaxSize);
    void write(const QString &sender, const QString &id, const QString &call, const QJsonArray &args,
               const QString &error = QString());
    void flush();

    // The journal's state for the Control interface: path, size cap, whether writing fails and
    // why, records dropped so far.
    QJsonObject status() const;

private:
    void appendTime(QByteArray &out);
    bool writeAll(const QByteArray &data);
    bool reopen();
    bool rotate();
    void failed(int error, int records);

    QString m_path;
    qint64 m_maxSize = DefaultMaxSize;
    int m_fd = -1;
    qint64 m_size = 0;
    QByteArray m_pending;
    int m_pendingRecords = 0;
    QTimer m_flushTimer;
    bool m_failing = false;
    QString m_error;
    quint64 m_lost = 0;
    qint64 m_second = -1; // the second m_secondText gives
    QByteArray m_secondText;
};

#endif
