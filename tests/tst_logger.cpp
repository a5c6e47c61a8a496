// SPDX-License-Identifier: MIT
#include "logger.h"

#include <QDir>
#include <QSet>
#include <QFile>
#include <QProcess>
#include <QFileInfo>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

namespace {
QStringList g_previousHandlerSaw;
void previousHandler(QtMsgType, const QMessageLogContext &, const QString &text)
{
    g_previousHandlerSaw.append(text);
}

QStringList readLines(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}
} // namespace

class tst_Logger : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init()
    {
        if (!qEnvironmentVariableIsEmpty("ZAV_LOGGER_CHILD"))
            return;
        QVERIFY(m_home.isValid());
        qputenv("HOME", m_home.path().toUtf8());
        g_previousHandlerSaw.clear();
    }

    void recordsCarryTimeLevelAndText()
    {
        QtMessageHandler before = qInstallMessageHandler(previousHandler);
        QString path;
        {
            Logger logger(QStringLiteral("ZAVTestApp"), QStringLiteral("records"));
            path = logger.fileName();
            QCOMPARE(path, m_home.path() + QStringLiteral("/.local/share/ZAVTestApp/records.log"));
            qDebug() << "ZAVTestAddTransferPage::createContent()";
            qWarning("a warning");
            qCritical("a critical one");
            qInfo("an info line");
        }
        qDebug("after the logger");
        qInstallMessageHandler(before);

        const QStringList lines = readLines(path);
        QCOMPARE(lines.size(), 4);
        const QRegularExpression time(QStringLiteral("^\\d\\d:\\d\\d:\\d\\d "));
        for (const QString &line : lines)
            QVERIFY2(time.match(line).hasMatch(), qPrintable(line));
        QVERIFY(lines[0].endsWith(QStringLiteral(" [debug] ZAVTestAddTransferPage::createContent()")));
        QVERIFY(lines[1].endsWith(QStringLiteral(" [warn ] a warning")));
        QVERIFY(lines[2].endsWith(QStringLiteral(" [crit] a critical one")));
        // Qt 6's fifth message type has no word of the first four; it must not index past them.
        QVERIFY(lines[3].endsWith(QStringLiteral(" [info] an info line")));
        // The handler that was there before is back once the logger is gone.
        QCOMPARE(g_previousHandlerSaw, QStringList {QStringLiteral("after the logger")});
        // What a tester typed stays the tester's: the folder and the log are the owner's alone.
        const QFileDevice::Permissions others = QFileDevice::ReadGroup | QFileDevice::WriteGroup | QFileDevice::ExeGroup
            | QFileDevice::ReadOther | QFileDevice::WriteOther | QFileDevice::ExeOther;
        QCOMPARE(QFileInfo(QFileInfo(path).path()).permissions() & others, QFileDevice::Permissions());
        QCOMPARE(QFileInfo(path).permissions() & others, QFileDevice::Permissions());
    }

    void aLogPastItsCapIsMovedAside()
    {
        // Before, a service sending 100,000 requests grew the log by 11.7 MB with no end.
        QString path;
        {
            Logger logger(QStringLiteral("ZAVTestApp"), QStringLiteral("capped"));
            logger.setMaxSize(4096);
            path = logger.fileName();
            for (int i = 0; i < 200; ++i)
                qDebug("line %d of a flood of requests", i);
        }
        QVERIFY(QFileInfo(path).size() <= 4096 + 200);
        const QStringList older = readLines(path + QStringLiteral(".1"));
        const QStringList newer = readLines(path);
        QVERIFY(older.size() > 50);
        QVERIFY(newer.constFirst().endsWith(
            QStringLiteral("[info] the log goes on here; what came before is in %1.1").arg(path)));
        QVERIFY(newer.constLast().endsWith(QStringLiteral("line 199 of a flood of requests")));
    }

    void ignoredTextsAreExactCase()
    {
        Logger logger(QStringLiteral("ZAVTestApp"), QStringLiteral("ignored"));
        logger.addIgnoredText(QStringLiteral("Option"));
        qDebug("Option Changed Transfer 2");
        qDebug("option changed transfer 2");
        const QStringList lines = readLines(logger.fileName());
        QCOMPARE(lines.size(), 1);
        QVERIFY(lines[0].endsWith(QStringLiteral("option changed transfer 2")));
    }

    void unopenableFileLeavesThePreviousHandler()
    {
        // A directory where the file should be: it cannot be opened for appending.
        QDir(m_home.path()).mkpath(QStringLiteral(".local/share/Blocked/blocked.log"));
        QtMessageHandler before = qInstallMessageHandler(previousHandler);
        {
            Logger logger(QStringLiteral("Blocked"), QStringLiteral("blocked"));
            QVERIFY(!logger.isLogging());
            qDebug("goes to the previous handler");
        }
        qDebug("still there after");
        qInstallMessageHandler(before);
        QCOMPARE(g_previousHandlerSaw,
                 (QStringList {QStringLiteral("goes to the previous handler"), QStringLiteral("still there after")}));
    }

    void consoleMessagesOfAFreshAccount()
    {
        // The console lines are the process's own output: run the real app binary's logic in a
        // child process through this test binary.
        QProcess child;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        QTemporaryDir fresh;
        env.insert(QStringLiteral("HOME"), fresh.path());
        env.insert(QStringLiteral("ZAV_LOGGER_CHILD"), QStringLiteral("1"));
        child.setProcessEnvironment(env);
        child.start(QCoreApplication::applicationFilePath(), {QStringLiteral("childLogs")});
        QVERIFY(child.waitForFinished(10000));
        const QString out = QString::fromLocal8Bit(child.readAllStandardOutput());
        const QString dir = fresh.path() + QStringLiteral("/.local/share/ZAVTestApp");
        QVERIFY2(out.contains(QStringLiteral("Path ") + dir + QStringLiteral(" created for the logs\n")),
                 qPrintable(out));
        QVERIFY2(
            out.contains(QStringLiteral("ZAVTestApp logs will be written to ") + dir + QStringLiteral("/child.log\n")),
            qPrintable(out));

        // The failure goes to standard error with the path.
        QVERIFY(QFile::remove(dir + QStringLiteral("/child.log")));
        QVERIFY(QDir(dir).mkpath(QStringLiteral("child.log")));
        child.start(QCoreApplication::applicationFilePath(), {QStringLiteral("childLogs")});
        QVERIFY(child.waitForFinished(10000));
        const QString err = QString::fromLocal8Bit(child.readAllStandardError());
        QVERIFY2(err.contains(QStringLiteral("Logger::Logger: failed to open log file:") + dir
                              + QStringLiteral("/child.log for appending")),
                 qPrintable(err));
        // A message after the logger is gone (a thread racing teardown) reaches standard error;
        // before, the handler dereferenced the dead logger.
        QVERIFY2(err.contains(QStringLiteral("no logger here\n")), qPrintable(err));
    }

    void childLogs()
    {
        if (qEnvironmentVariableIsEmpty("ZAV_LOGGER_CHILD"))
            QSKIP("runs as the child of consoleMessagesOfAFreshAccount");
        {
            Logger logger(QStringLiteral("ZAVTestApp"), QStringLiteral("child"));
        }
        Logger::messageHandler(QtDebugMsg, QMessageLogContext(), QStringLiteral("no logger here"));
    }

    void threadsWriteWholeLines()
    {
        Logger logger(QStringLiteral("ZAVTestApp"), QStringLiteral("threads"));
        constexpr int threads = 8;
        constexpr int perThread = 10000;
        QList<QThread *> workers;
        for (int t = 0; t < threads; ++t) {
            workers.append(QThread::create([t] {
                for (int i = 0; i < perThread; ++i)
                    qDebug("thread %d message %d end", t, i);
            }));
        }
        for (QThread *worker : workers)
            worker->start();
        for (QThread *worker : workers) {
            worker->wait();
            delete worker;
        }
        const QStringList lines = readLines(logger.fileName());
        QCOMPARE(lines.size(), threads * perThread);
        QSet<QString> seen;
        const QRegularExpression whole(
            QStringLiteral("^\\d\\d:\\d\\d:\\d\\d \\[debug\\] (thread \\d+ message \\d+) end$"));
        for (const QString &line : lines) {
            const auto match = whole.match(line);
            QVERIFY2(match.hasMatch(), qPrintable(line));
            seen.insert(match.captured(1));
        }
        QCOMPARE(seen.size(), threads * perThread);
    }

private:
    QTemporaryDir m_home;
};

QTEST_GUILESS_MAIN(tst_Logger)
#include "tst_logger.moc"
