// SPDX-License-Identifier: MIT
#ifndef TESTBUS_H
#define TESTBUS_H

#include <QJsonObject>
#include <QList>
#include <QProcess>
#include <QStringList>
#include <QTemporaryDir>

// A private session bus for one test program, and the real zav-service on it.
//
// start() must run before anything in the process touches the session bus: it points
// DBUS_SESSION_BUS_ADDRESS at a dbus-daemon of its own, so tests can run side by side.
// Children die with the test, even when it crashes: a bus, service or display left behind would
// hold the test's output open and keep names taken.
void dieWithParent();
// Starts a virtual X server of the test's own (Xvfb, 1024x768 unless `screen` says otherwise)
// and points DISPLAY at it, with the xcb platform, so that pixels can be read back from the server.
bool startVirtualDisplay(QProcess &xvfb, const QString &screen = QStringLiteral("1024x768x24"));

class TestBus
{
public:
    TestBus();
    ~TestBus();

    // With `activation`, the bus starts the service from the build's activation file on the
    // first call to its name; without, a stopped service stays stopped. `maxMatchRules` lowers
    // the bus's limit of match rules a connection may add (0: the bus's own).
    bool start(bool activation = false, int maxMatchRules = 0);
    QString address() const { return m_address; }

    // Starts zav-service with a fresh journal (or none) and waits until it owns its name.
    bool startService(const QStringList &extraArguments = {}, bool withJournal = true);
    // Ends it: politely, or with SIGKILL.
    void stopService();
    void killService();
    // Stops (SIGSTOP) or continues the service: calls queue up at the bus meanwhile.
    void pauseService(bool paused);

    // Every journal line so far (of this service's journal, or the file named), and the ones
    // for one id / one call.
    QList<QJsonObject> journal(const QString &path = QString()) const;
    QList<QJsonObject> journalFor(const QString &id) const;
    // The calls for an id, in order, as "call(arg, arg)" texts: easy to compare in a test.
    QStringList callsFor(const QString &id) const;
    // Waits until the service has handled everything this process sent (a round trip).
    bool sync() const;

    // Runs zavctl with the arguments (and "NAME=value" environment variables besides the bus's);
    // returns the exit code and fills out/err.
    int zavctl(const QStringList &arguments, QString *out = nullptr, QString *err = nullptr,
               const QStringList &environment = {}) const;
    // One transfer as the service shows it (zavctl show --json); empty when it is unknown.
    QJsonObject show(const QString &id) const;

    QString journalPath() const;

private:
    void waitUntilNameIsFree() const;

    QTemporaryDir m_dir;
    QProcess m_daemon;
    QProcess m_service;
    QString m_address;
    int m_serviceRuns = 0;
};

#endif
