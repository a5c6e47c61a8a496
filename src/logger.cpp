// SPDX-License-Identifier: MIT
#include "logger.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QMutexLocker>

#include <cstdio>
#include <iostream>

QMutex Logger::m_mutex;
Logger *Logger::m_instance = nullptr;

namespace {
// Set while this thread writes a record: a message raised by the writing itself (a failing file,
// say) must not try to take the non-recursive lock again.
thread_local bool t_writing = false;

void writeToStandardError(const QString &text)
{
    const QByteArray bytes = text.toLocal8Bit();
    std::fprintf(stderr, "%s\n", bytes.constData());
    std::fflush(stderr);
}
} // namespace

Logger::Logger(const QString &appName, const QString &logName)
{
    const QString consoleName = appName.isEmpty() ? QCoreApplication::applicationName() : appName;
    const QString name = logName.isEmpty() ? QDateTime::currentDateTime().toString(Qt::ISODate) : logName;
    const QString dirPath = QDir::homePath() + QStringLiteral("/.local/share/") + appName;

    QDir dir(dirPath);
    if (!dir.exists()) {
        // The log holds what the tester did: readable by its owner alone.
        if (dir.mkpath(QStringLiteral("."))) {
            QFile::setPermissions(dirPath, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
            std::cout << "Path " << dirPath.toLocal8Bit().constData() << " created for the logs" << std::endl;
        } else {
            std::cerr << "Path " << dirPath.toLocal8Bit().constData() << " could not be created for the logs"
                      << std::endl;
        }
    }

    const QString fullPath = dirPath + QLatin1Char('/') + name + QStringLiteral(".log");
    m_file.setFileName(fullPath);
    if (m_file.exists() && m_file.remove())
        std::cout << "Identical log file removed" << std::endl;

    std::cout << consoleName.toLocal8Bit().constData() << " logs will be written to "
              << fullPath.toLocal8Bit().constData() << std::endl;

    QMutexLocker lock(&m_mutex);
    m_instance = this;
    // Indexed by QtMsgType; QtInfoMsg (4) came after the other four.
    m_levelNames << QStringLiteral("debug") << QStringLiteral("warn ") << QStringLiteral("crit")
                 << QStringLiteral("fatal") << QStringLiteral("info");

    if (m_file.open(QIODevice::WriteOnly | QIODevice::Append, QFileDevice::ReadOwner | QFileDevice::WriteOwner)) {
        m_previousHandler = qInstallMessageHandler(messageHandler);
        m_installed = true;
    } else {
        std::cerr << "Logger::Logger: failed to open log file:" << fullPath.toLocal8Bit().constData()
                  << " for appending" << std::endl;
        m_previousHandler = nullptr;
    }
}

Logger::~Logger()
{
    QMutexLocker lock(&m_mutex);
    if (m_installed)
        qInstallMessageHandler(m_previousHandler);
    if (m_file.isOpen())
        m_file.close();
    if (m_instance == this)
        m_instance = nullptr;
}

void Logger::addIgnoredText(const QString &text)
{
    QMutexLocker lock(&m_mutex);
    m_ignoredTexts.append(text);
}

void Logger::messageHandler(QtMsgType type, const QMessageLogContext &, const QString &text)
{
    if (t_writing) {
        writeToStandardError(text);
        return;
    }
    QMutexLocker lock(&m_mutex);
    if (!m_instance) {
        // A thread raced the teardown: the message still goes somewhere.
        lock.unlock();
        writeToStandardError(text);
        return;
    }
    m_instance->write(type, text);
}

void Logger::write(QtMsgType type, const QString &text)
{
    for (const QString &ignored : std::as_const(m_ignoredTexts)) {
        if (text.contains(ignored, Qt::CaseSensitive))
            return;
    }
    t_writing = true;
    const int index = int(type);
    const QString &level = index >= 0 && index < m_levelNames.size() ? m_levelNames.at(index) : m_levelNames.last();
    // One buffer and one write per record, flushed at once: the log is read while the app runs,
    // and a crash loses nothing written before it.
    QByteArray record = QTime::currentTime().toString(Qt::ISODate).toLatin1();
    record += " [";
    record += level.toLatin1();
    record += "] ";
    record += text.toUtf8();
    record += '\n';
    m_file.write(record);
    m_file.flush();
    if (m_file.size() > m_maxSize) {
        const QString path = m_file.fileName();
        m_file.close();
        QFile::remove(path + QStringLiteral(".1"));
        QFile::rename(path, path + QStringLiteral(".1"));
        if (m_file.open(QIODevice::WriteOnly | QIODevice::Append, QFileDevice::ReadOwner | QFileDevice::WriteOwner))
            m_file.write(QTime::currentTime().toString(Qt::ISODate).toLatin1()
                         + " [info] the log goes on here; what came before is in " + QFile::encodeName(path) + ".1\n");
        m_file.flush();
    }
    t_writing = false;
}
