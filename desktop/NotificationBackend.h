// SPDX-License-Identifier: MIT
#ifndef NOTIFICATIONBACKEND_H
#define NOTIFICATIONBACKEND_H

#include "DesktopBackend.h"

#include <QDBusConnection>
#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QHash>
#include <QSet>
#include <QStringList>
#include <QTimer>

#include <optional>

#include <memory>

class OrgFreedesktopNotificationsInterface;
class QDBusServiceWatcher;

// Shows each transfer as one desktop notification (org.freedesktop.Notifications), updated in
// place, with a progress bar, a category and urgency after its state, and the requests it
// allows as actions. The daemon may be absent, arrive late or restart; the user may close a
// notification, which then stays closed until the transfer's state changes.
//
// Updates are paced: a transfer's notification changes at most every MinInterval ms, and all
// together at most MaxCallsPerSecond times in any second (counted over a rolling RateWindow, a
// little longer than a second, so that what the bus delivers late never bunches past it), the
// latest state always sent in the end. Leaving waits for the daemon at most LeaveTimeout ms.
//
// At most maxShown() notifications are on screen, so that they leave room for the app beside
// them: past that, the transfers that matter most keep their own (failures, then the newest
// running, then the newest waiting, then the finished) and the rest are summed up in one summary
// notification ("12 more transfers", "9 running, 3 waiting"). A transfer's place only changes when
// transfers come or go or a state changes, so progress alone never moves one in or out.
class NotificationBackend : public DesktopBackend
{
    Q_OBJECT
public:
    static constexpr int MinInterval = 250;
    static constexpr int MaxCallsPerSecond = 40;
    static constexpr int RateWindow = 1100; // ms
    static constexpr int MaxInFlight = 16;
    static constexpr int CallTimeout = 5000; // ms, for every call to the daemon
    static constexpr int LeaveTimeout = 2000; // ms
    static constexpr char AppName[] = "ZAV transfers";
    static constexpr int DefaultMaxShown = 10;
    static constexpr int BoxedWidth = 40; // characters of a line that a boxing daemon does not wrap
    static constexpr char SummaryAction[] = "show-all";

    explicit NotificationBackend(const QDBusConnection &bus, QObject *parent = nullptr);
    ~NotificationBackend() override;

    void show(const DesktopTransfer &transfer) override;
    void remove(const QString &id) override;
    void removeAll() override;

    int maxShown() const { return m_maxShown; }
    // At least two: one transfer and the summary.
    void setMaxShown(int max);
    // What the summary's "Show all" button runs (program and arguments); none without one.
    void setSummaryCommand(const QStringList &command) { m_summaryCommand = command; }
    // The summary's two lines for the transfers it sums up.
    static QString summaryTitle(int count);
    static QString summaryBody(const QList<Zav::TransferState> &states);

    // What a notification for the transfer says, given the daemon's capabilities.
    // boxed: every line short enough not to wrap, for a daemon that boxes them (see body()).
    static QString summary(const DesktopTransfer &transfer, bool boxed = false);
    // progressInBody: the daemon draws the `value` hint alone (no text, no buttons), so the
    // progress goes into the text instead.
    static QString body(const DesktopTransfer &transfer, bool markup, bool progressInBody = false);
    static QVariantMap hints(const DesktopTransfer &transfer, bool progressInBody = false);
    static QString icon(const DesktopTransfer &transfer);
    // The Notify call's actions (key, label, ...): none unless the daemon has "actions".
    static QStringList actions(const DesktopTransfer &transfer, const QStringList &capabilities);

private:
    struct Shown
    {
        DesktopTransfer latest;
        uint notification = 0; // the daemon's id, 0 while none is shown
        bool dirty = false; // `latest` is not shown yet
        bool inFlight = false; // a Notify call is under way
        bool queued = false; // in m_queue
        std::optional<Zav::TransferState> dismissedIn; // the state the user closed the notification in
        bool own = false; // has a notification of its own, not a line in the summary
        quint64 arrival = 0; // the newer, the larger
        QElapsedTimer sent;
    };

    void daemonArrived(const QString &owner);
    void daemonLeft();
    // One of the daemon's first answers is in; once both are, notifications are sent.
    void daemonReady();
    void schedule(const QString &id);
    // Chooses which transfers have a notification of their own, and what the summary says.
    void reselect();
    // Closes the notification the transfer has, if any (it now is in the summary, or gone).
    void closeOwn(Shown &shown);
    // Takes `notification` from another transfer that holds it too (a daemon that gives one id twice).
    void disown(uint notification, const QString &id);
    void pump();
    void send(const QString &id, Shown &shown);
    void onClosed(uint notification, uint reason);
    void onAction(uint notification, const QString &key);

    QDBusConnection m_bus;
    std::unique_ptr<OrgFreedesktopNotificationsInterface> m_daemon; // null while there is none
    QDBusServiceWatcher *m_watcher;
    QStringList m_capabilities;
    bool m_progressInBody = false; // the daemon hides a notification's text when it has a value
    int m_answersAwaited = 0; // capabilities and server information
    bool m_ready = false; // the daemon's capabilities are known
    quint64 m_generation = 0; // of the daemon instance: replies from an older one are ignored
    QHash<QString, Shown> m_shown; // by transfer id; the summary's key is an empty id
    int m_maxShown = DefaultMaxShown;
    QStringList m_summaryCommand;
    bool m_reselect = false; // transfers came, went, changed state or were closed
    quint64 m_arrivals = 0;
    QHash<uint, QString> m_byNotification;
    QSet<uint> m_ambiguous; // ids the daemon gave to two transfers' notifications
    QStringList m_queue; // transfers waiting to be sent, oldest first
    QTimer m_pump;
    QElapsedTimer m_clock;
    QList<qint64> m_sentAt; // times of the calls within the last RateWindow, oldest first
    int m_inFlight = 0;
};

#endif
