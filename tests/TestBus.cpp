// SPDX-License-Identifier: MIT
#include "ZavBusNames.h"
#include "TestBus.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusReply>
#include <QDeadlineTimer>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QTest>
#include <QThread>

#include <csignal>
#include <sys/prctl.h>

void dieWithParent()
{
    ::prctl(PR_SET_PDEATHSIG, SIGKILL);
}

bool startVirtualDisplay(QProcess &xvfb, const QString &screen)
{
    xvfb.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    xvfb.setChildProcessModifier(dieWithParent);
    xvfb.start(QStringLiteral("Xvfb"),
               {QStringLiteral("-displayfd"), QStringLiteral("1"), QStringLiteral("-screen"), QStringLiteral("0"),
                screen, QStringLiteral("-nolisten"), QStringLiteral("tcp")});
    if (!xvfb.waitForStarted() || !xvfb.waitForReadyRead(10000))
        return false;
    qputenv("DISPLAY", ":" + xvfb.readLine().trimmed());
    qputenv("QT_QPA_PLATFORM", "xcb");
    return true;
}

TestBus::TestBus() = default;

TestBus::~TestBus()
{
    stopService();
    if (m_daemon.state() != QProcess::NotRunning) {
        m_daemon.terminate();
        m_daemon.waitForFinished(3000);
    }
}

bool TestBus::start(bool activation, int maxMatchRules)
{
    const QString config = m_dir.filePath(QStringLiteral("bus.conf"));
    QFile file(config);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    file.write(
        QStringLiteral("<!DOCTYPE busconfig PUBLIC \"-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN\"\n"
                       " \"http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd\">\n"
                       "<busconfig><type>session</type><listen>unix:dir=%1</listen>"
                       "<limit name=\"max_connections_per_user\">1024</limit>"
                       "%2%3"
                       "<policy context=\"default\"><allow send_destination=\"*\" eavesdrop=\"true\"/>"
                       "<allow eavesdrop=\"true\"/><allow own=\"*\"/></policy></busconfig>\n")
            .arg(m_dir.path(),
                 activation ? QStringLiteral("<servicedir>" ZAV_DBUS_SERVICES_DIR "</servicedir>") : QString(),
                 maxMatchRules > 0
                     ? QStringLiteral("<limit name=\"max_match_rules_per_connection\">%1</limit>").arg(maxMatchRules)
                     : QString())
            .toUtf8());
    file.close();
    m_daemon.setProgram(QStringLiteral("dbus-daemon"));
    m_daemon.setArguments(
        {QStringLiteral("--config-file=") + config, QStringLiteral("--nofork"), QStringLiteral("--print-address=1")});
    m_daemon.setProcessChannelMode(QProcess::SeparateChannels);
    m_daemon.setChildProcessModifier(dieWithParent);
    m_daemon.start();
    if (!m_daemon.waitForStarted(5000))
        return false;
    QDeadlineTimer deadline(5000);
    while (!m_daemon.canReadLine() && !deadline.hasExpired())
        m_daemon.waitForReadyRead(100);
    m_address = QString::fromUtf8(m_daemon.readLine()).trimmed();
    if (m_address.isEmpty())
        return false;
    qputenv("DBUS_SESSION_BUS_ADDRESS", m_address.toUtf8());
    return QDBusConnection::sessionBus().isConnected();
}

QString TestBus::journalPath() const
{
    return m_dir.filePath(QStringLiteral("journal-%1.jsonl").arg(m_serviceRuns));
}

bool TestBus::startService(const QStringList &extraArguments, bool withJournal)
{
    stopService();
    ++m_serviceRuns;
    QFile::remove(journalPath());
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), m_address);
    m_service.setProcessEnvironment(env);
    m_service.setProgram(QStringLiteral(ZAV_SERVICE_BIN));
    m_service.setArguments((withJournal ? QStringList {QStringLiteral("--journal"), journalPath()} : QStringList())
                           + extraArguments);
    m_service.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    m_service.setChildProcessModifier(dieWithParent);
    m_service.setStandardOutputFile(QProcess::nullDevice());
    m_service.start();
    if (!m_service.waitForStarted(5000))
        return false;
    // The name must be this process's: a service stopped a moment ago may still be listed as its
    // owner until the bus has seen it go.
    QDeadlineTimer deadline(5000);
    QDBusConnectionInterface *bus = QDBusConnection::sessionBus().interface();
    while (!deadline.hasExpired()) {
        const QDBusReply<uint> owner = bus->servicePid(QLatin1String(ZavBus::ServiceName));
        if (owner.isValid() && qint64(owner.value()) == m_service.processId())
            return true;
        if (m_service.state() == QProcess::NotRunning)
            return false;
        QThread::msleep(10);
    }
    return false;
}

void TestBus::waitUntilNameIsFree() const
{
    // The bus releases a name when it sees its owner's connection close, after the process ended.
    QDeadlineTimer deadline(5000);
    QDBusConnectionInterface *bus = QDBusConnection::sessionBus().interface();
    while (!deadline.hasExpired() && bus->isServiceRegistered(QLatin1String(ZavBus::ServiceName)))
        QThread::msleep(10);
}

void TestBus::stopService()
{
    if (m_service.state() == QProcess::NotRunning)
        return;
    m_service.terminate();
    if (!m_service.waitForFinished(3000)) {
        m_service.kill();
        m_service.waitForFinished(3000);
    }
    waitUntilNameIsFree();
}

void TestBus::killService()
{
    if (m_service.state() == QProcess::NotRunning)
        return;
    m_service.kill();
    m_service.waitForFinished(3000);
    waitUntilNameIsFree();
}

void TestBus::pauseService(bool paused)
{
    if (m_service.state() == QProcess::Running)
        ::kill(pid_t(m_service.processId()), paused ? SIGSTOP : SIGCONT);
}

QList<QJsonObject> TestBus::journal(const QString &path) const
{
    QList<QJsonObject> lines;
    QFile file(path.isEmpty() ? journalPath() : path);
    if (!file.open(QIODevice::ReadOnly))
        return lines;
    while (!file.atEnd()) {
        const QByteArray line = file.readLine().trimmed();
        if (!line.isEmpty())
            lines.append(QJsonDocument::fromJson(line).object());
    }
    return lines;
}

QList<QJsonObject> TestBus::journalFor(const QString &id) const
{
    QList<QJsonObject> lines;
    for (const QJsonObject &line : journal()) {
        if (line.value(QStringLiteral("id")).toString() == id)
            lines.append(line);
    }
    return lines;
}

static QString describeCall(const QJsonObject &line)
{
    QStringList args;
    for (const QJsonValue &arg : line.value(QStringLiteral("args")).toArray()) {
        if (arg.isString())
            args << QLatin1Char('"') + arg.toString() + QLatin1Char('"');
        else if (arg.isBool())
            args << (arg.toBool() ? QStringLiteral("true") : QStringLiteral("false"));
        else
            args << QString::number(arg.toDouble(), 'g', 12);
    }
    QString text = line.value(QStringLiteral("call")).toString() + QLatin1Char('(') + args.join(QStringLiteral(", "))
        + QLatin1Char(')');
    if (line.contains(QStringLiteral("error")))
        text += QStringLiteral(" -> ") + line.value(QStringLiteral("error")).toString();
    return text;
}

QStringList TestBus::callsFor(const QString &id) const
{
    QStringList calls;
    for (const QJsonObject &line : journalFor(id))
        calls << describeCall(line);
    return calls;
}

bool TestBus::sync() const
{
    // Calls from one connection are handled in order: once ping is answered, everything sent
    // before it has been handled (and journalled).
    const QDBusMessage ping = QDBusMessage::createMethodCall(
        QLatin1String(ZavBus::ServiceName), QLatin1String(ZavBus::ObjectPath),
        QLatin1String(ZavBus::TransfersInterface), QLatin1String(ZavBus::Transfers::ping));
    return QDBusConnection::sessionBus().call(ping, QDBus::Block, 5000).type() == QDBusMessage::ReplyMessage;
}

int TestBus::zavctl(const QStringList &arguments, QString *out, QString *err, const QStringList &environment) const
{
    QProcess process;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), m_address);
    for (const QString &variable : environment)
        env.insert(variable.section(QLatin1Char('='), 0, 0), variable.section(QLatin1Char('='), 1));
    process.setProcessEnvironment(env);
    process.start(QStringLiteral(ZAVCTL_BIN), arguments);
    // The test's own event loop keeps running: the app may have to answer while zavctl waits.
    QDeadlineTimer deadline(60000);
    while (process.state() != QProcess::NotRunning && !deadline.hasExpired()) {
        process.waitForFinished(5);
        QCoreApplication::processEvents();
    }
    if (out)
        *out = QString::fromUtf8(process.readAllStandardOutput());
    if (err)
        *err = QString::fromUtf8(process.readAllStandardError());
    return process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
}

QJsonObject TestBus::show(const QString &id) const
{
    QString out;
    if (zavctl({QStringLiteral("show"), id, QStringLiteral("--json")}, &out) != 0)
        return {};
    return QJsonDocument::fromJson(out.toUtf8()).object();
}
