// SPDX-License-Identifier: MIT
#ifndef CONFORM_H
#define CONFORM_H

#include <QDBusConnection>
#include <QJsonObject>
#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>

class QTextStream;

// zavctl conform: checks whatever owns the service's name against the contract of the interface
// files, as a program would use it and with raw calls where a client library would not go. One
// line per check, a table per group, and optionally a JUnit file. Checks that need the
// inspection interface (Control) are reported as skipped when a service lacks it, never as held.
class Conformance : public QObject
{
    Q_OBJECT
public:
    enum class Outcome { Held, Failed, Skipped };
    struct Result
    {
        QString group;
        QString name;
        Outcome outcome;
        QString detail;
    };

    Conformance(const QDBusConnection &bus, QTextStream &out);
    ~Conformance() override;

    static const QStringList &groups();
    // Runs every group, or the one named; 0 when no check failed, 1 otherwise.
    int run(const QString &only);
    const QList<Result> &results() const { return m_results; }
    // The results as JUnit XML; false, with the file's error in `error`, when it cannot be written.
    bool writeJUnit(const QString &path, QString *error) const;

private Q_SLOTS:
    void ownRequest(const QString &id, const QString &action);
    void otherRequest(const QString &id, const QString &action);

private:
    void registration();
    void setters();
    void ownership();
    void requests();
    void lifetime();
    void inspection();

    void report(const QString &group, const QString &name, Outcome outcome, const QString &detail = QString());
    void check(const QString &group, const QString &name, bool held, const QString &detail);
    void skip(const QString &group, const QString &name);
    // A call that waits for its answer (5 s at most).
    QDBusMessage call(const QDBusConnection &bus, const char *interface, const char *method,
                      const QVariantList &args) const;
    // Registers on `bus`; the id, or empty (with the error in `error`).
    QString registerOn(const QDBusConnection &bus, int type, QString *error = nullptr) const;
    // The transfer as the Control interface reports it; empty without one.
    QJsonObject inspect(const QString &id) const;
    QDBusConnection otherConnection();
    void waitFor(int milliseconds, const std::function<bool()> &done);

    QDBusConnection m_bus;
    QTextStream &m_out;
    bool m_control = false;
    mutable bool m_hung = false; // a call went unanswered
    QList<Result> m_results;
    QString m_otherName;
    QStringList m_ownRequests;
    QStringList m_otherRequests;
};

#endif
