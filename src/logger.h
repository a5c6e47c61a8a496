// SPDX-License-Identifier: MIT
#ifndef LOGGER_H
#define LOGGER_H

#include <QFile>
#include <QMutex>
#include <QStringList>
#include <QtGlobal>

// Sends every diagnostic message of the process into a time-stamped log file under the home
// directory: <home>/.local/share/<app>/<log name>.log, one line per message,
// "HH:MM:SS [level] text". Messages about the log itself go to standard output and error.
// A file that grows past its cap (a service flooding the app with requests writes a line for
// each) is moved aside to "<file>.1", replacing an older one, and begun again.
class Logger
{
public:
    // An empty log name names the file after the date and time of start.
    Logger(const QString &appName, const QString &logName);
    ~Logger();

    Logger(const Logger &) = delete;
    Logger &operator=(const Logger &) = delete;

    // From now on, messages whose text contains `text` (exact case) are dropped.
    void addIgnoredText(const QString &text);
    // The full path of the log file.
    QString fileName() const { return m_file.fileName(); }
    // True while messages are written to the file.
    bool isLogging() const { return m_installed; }
    static constexpr qint64 DefaultMaxSize = 64 * 1024 * 1024;
    void setMaxSize(qint64 bytes) { m_maxSize = bytes; }

    static void messageHandler(QtMsgType type, const QMessageLogContext &context, const QString &text);

private:
    void write(QtMsgType type, const QString &text);

    QFile m_file;
    QStringList m_levelNames;
    QtMessageHandler m_previousHandler = nullptr;
    QStringList m_ignoredTexts;
    qint64 m_maxSize = DefaultMaxSize;
    bool m_installed = false;

    // Static, not per logger: the handler must be able to take it while it finds out whether a
    // logger is live at all, and a member of a logger being torn down cannot be taken safely.
    static QMutex m_mutex;
    static Logger *m_instance;
};

#endif
