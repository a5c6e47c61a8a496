#ifndef JOURNAL_H
#define JOURNAL_H

#include <QFile>
#include <QJsonArray>
#include <QString>

// Appends one JSON object per line for every call the service receives and every request it
// sends: {"time", "sender", "id", "call", "args", "error"?}. Each line is flushed at once, so a
// reader sees it as soon as the call has been handled.
class Journal
{
public:
    bool open(const QString &path);
    bool isOpen() const { return m_file.isOpen(); }
    void write(const QString &sender, const QString &id, const QString &call, const QJsonArray &args,
               const QString &error = QString());

private:
    QFile m_file;
};

#endif
