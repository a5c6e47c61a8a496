// SPDX-License-Identifier: MIT
#ifndef ZAVCTL_H
#define ZAVCTL_H

#include "CommandLine.h"

#include <QDBusConnection>
#include <QObject>
#include <QSet>
#include <QTextStream>

#include <functional>
#include <memory>

class ComKelvoZavControlInterface;
class QDBusPendingCall;
class QJsonObject;
class Renderer;
class ScenarioRecorder;

// The tester's side of the transfer-status service, behind the zavctl command. Each command is
// one entry of the table that commandTable() makes: its words, its help and its handler.
class ZavCtl : public QObject
{
    Q_OBJECT
public:
    enum ExitCode { Success = 0, NotThere = 1, UsageError = 2 };
    static constexpr qint64 MaxPlayedTransfers = 100000; // by one play of one scenario

    ZavCtl(const QDBusConnection &bus, QTextStream &out, QTextStream &err, QObject *parent = nullptr);
    ~ZavCtl() override;

    // Runs one command (arguments without the program name). Returns its exit code, or -1 for
    // a command that keeps running in the event loop (watch, play, live record).
    int run(const QStringList &arguments);

    // Where the output goes: a terminal (live watch), its width (0: no limit) and whether
    // states are coloured.
    void setTerminal(bool terminal, int width, bool color)
    {
        m_terminal = terminal;
        m_width = width;
        m_color = color;
    }
    // The bus named by --address, for messages; empty for the session bus.
    void setAddress(const QString &address) { m_address = address; }

    // The exit code of a command that ended as the event loop was ending (-1: none).
    int exitCode() const { return m_exitCode; }

private:
    using Invocation = CommandLine::Invocation;
    // Every command once, with its handler.
    QList<CommandLine::Command> commandTable();

    int list(const Invocation &invocation);
    int show(const Invocation &invocation);
    int request(const Invocation &invocation);
    int watch(const Invocation &invocation);
    int refuse(const Invocation &invocation);
    int status(const Invocation &invocation);
    int play(const Invocation &invocation);
    int record(const Invocation &invocation);
    int conform(const Invocation &invocation);
    int help(const Invocation &invocation);

    // The service's control interface, through the proxy made from its interface file.
    ComKelvoZavControlInterface &control();
    // Waits for a call's answer; says on stderr why there is none.
    // change: the call asks the service to change something (said to maybe take effect late).
    bool answered(QDBusPendingCall call, bool change = false);
    // Says what a call's error means, as answered() does.
    void say(const QDBusError &error, bool change = false);
    // Text, or JSON with --json.
    std::unique_ptr<Renderer> rendererFor(const Invocation &invocation) const;
    // One line saying what was wrong and where help is; returns UsageError.
    int usageError(const QString &what, const QString &command);
    // Calls `each` for every transfer, fetched a page at a time; false when the service fails.
    bool eachTransfer(const std::function<void(const QJsonObject &)> &each);
    int recordJournal(const QString &path, const QString &client, int run, const QString &out);
    int recordLive(const QString &client, const QString &out);
    // Writes what was recorded into `out`.
    int writeRecording(const ScenarioRecorder &recorder, const QString &out);

    QList<CommandLine::Command> m_commands;
    QDBusConnection m_bus;
    QString m_address;
    std::unique_ptr<ComKelvoZavControlInterface> m_control;
    QTextStream &m_out;
    QTextStream &m_err;
    std::unique_ptr<Renderer> m_watch; // what a running watch shows changes with
    bool m_terminal = false;
    int m_width = 0;
    bool m_color = false;
    int m_exitCode = -1;
};

#endif
