// SPDX-License-Identifier: MIT
#ifndef ZAVCTL_H
#define ZAVCTL_H

#include <QDBusConnection>
#include <QJsonObject>
#include <QMap>
#include <QObject>
#include <QStringList>
#include <QTextStream>
#include <QTimer>

#include <functional>
#include <memory>

class ComKelvoZavControlInterface;
class QDBusPendingCall;

// The tester's side of the transfer-status service, behind the zavctl command.
class ZavCtl : public QObject
{
    Q_OBJECT
public:
    enum ExitCode { Success = 0, NotThere = 1, UsageError = 2 };
    static constexpr qint64 MaxPlayedTransfers = 100000; // by one play of one scenario

    ZavCtl(const QDBusConnection &bus, QTextStream &out, QTextStream &err, QObject *parent = nullptr);
    ~ZavCtl() override;

    // Runs one command (arguments without the program name). Returns its exit code, or -1 for
    // "watch", which keeps running in the event loop.
    int run(const QStringList &arguments);

    // Where the output goes: a terminal (live watch), its width (0: no limit) and whether
    // states are coloured.
    void setTerminal(bool terminal, int width, bool color)
    {
        m_terminal = terminal;
        m_columns = columnsFor(width);
        m_color = color;
    }
    // The bus named by --address, for messages; empty for the session bus.
    void setAddress(const QString &address) { m_address = address; }

    // The exit code of a command that ended as the event loop was ending (-1: none).
    int exitCode() const { return m_exitCode; }

    static QString usage();
    // One command's usage and help; empty for an unknown command.
    static QString commandHelp(const QString &command);
    // The widths of the table's columns for a line of `width` (0: every column whole).
    struct Columns
    {
        int bar = 12; // 0: the per cent alone
        bool type = true;
        int state = 36;
        int name = -1; // -1: no limit
        bool extras = true; // speed and estimate
    };
    static Columns columnsFor(int width);
    // A transfer as one line of the list table, and the table's header.
    static QString tableHeader(const Columns &columns);
    static QString tableRow(const QJsonObject &transfer, const Columns &columns, bool color);
    // A progress bar of `width` cells for a part done between 0 and 1.
    static QString progressBar(double done, int width);

private Q_SLOTS:
    void fetchChanges();
    void onRemoved(const QString &id);

private:
    // The service's control interface, through the proxy made from its interface file.
    ComKelvoZavControlInterface &control();
    // Waits for a call's answer; says on stderr why there is none.
    bool answered(QDBusPendingCall call);
    int list(bool json);
    int show(const QString &id, bool json);
    int request(const QString &id, const QString &action);
    int refuse(const QString &value);
    int watch(bool json);
    // Asks for notices and lists every transfer; false when the service does not answer.
    bool startWatching();
    // The service left the bus, or is back.
    void serviceEvent(bool back);
    int play(const QStringList &arguments);
    int record(const QStringList &arguments);
    int conform(const QStringList &arguments);
    // One line saying what was wrong and where help is; returns UsageError.
    int usageError(const QString &what, const QString &command);
    // "list has no option --jsno; did you mean --json?", from the command's synopsis.
    static QString unknownOption(const QString &command, const QString &option);
    void printChange(const QJsonObject &transfer);
    void onChanged(const QJsonObject &transfer);
    int status();
    // Calls `each` for every transfer, fetched a page at a time; false when the service fails.
    bool eachTransfer(const std::function<void(const QJsonObject &)> &each);
    void redraw();

    QDBusConnection m_bus;
    QString m_address;
    std::unique_ptr<ComKelvoZavControlInterface> m_control;
    QTextStream &m_out;
    QTextStream &m_err;
    QMap<qint64, QJsonObject> m_watched; // by numeric id, so rows keep the order of registration
    QTimer m_redraw;
    bool m_terminal = false;
    Columns m_columns;
    bool m_color = false;
    bool m_watchLines = false; // watch prints a line (or JSON object) per change
    bool m_watchJson = false;
    int m_exitCode = -1;
    int m_linesDrawn = 0;
    bool m_serviceGone = false;
};

#endif
