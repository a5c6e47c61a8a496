// SPDX-License-Identifier: MIT
#include "NotificationBackend.h"

#include "NotificationsProxy.h"
#include "Requests.h"
#include "ZavVocabulary.h"

#include <QCoreApplication>
#include <QDBusConnectionInterface>
#include <QDBusPendingCallWatcher>
#include <QDBusServiceWatcher>
#include <QLoggingCategory>
#include <QProcess>

#include <algorithm>
#include <limits>
#include <utility>

// Quiet unless asked (QT_LOGGING_RULES="zav.desktop*=true"): only what goes wrong is said.
Q_LOGGING_CATEGORY(lcNotifications, "zav.desktop.notifications", QtWarningMsg)

namespace {
const QString DaemonName = QStringLiteral("org.freedesktop.Notifications");
const QString DaemonPath = QStringLiteral("/org/freedesktop/Notifications");

enum ClosedReason : uint { Expired = 1, Dismissed = 2, ClosedByCall = 3 };
enum Urgency : uchar { Low = 0, Normal = 1, Critical = 2 };

// Texts come from any program on the bus: shown with their control characters escaped, and
// cut so that one transfer cannot fill the screen.
QString displayed(const QString &text, int limit)
{
    const QString printable = Zav::printable(text);
    return printable.size() <= limit ? printable : printable.left(limit - 1) + QChar(0x2026);
}

bool isRunning(Zav::TransferState state)
{
    return state == Zav::TransferState::Pending || state == Zav::TransferState::Active
        || state == Zav::TransferState::Paused;
}

// The summary's entry among the transfers: no transfer has an empty id.
const QString SummaryKey;

// Which transfers keep a notification of their own when not all can: the lower, the sooner.
enum Rank { Failure, Running, Waiting, Finished };
Rank rankOf(Zav::TransferState state)
{
    switch (state) {
    case Zav::TransferState::Failed:
    case Zav::TransferState::CancelFailed:
        return Failure;
    case Zav::TransferState::Active:
        return Running;
    case Zav::TransferState::Pending:
    case Zav::TransferState::Paused:
        return Waiting;
    default:
        return Finished;
    }
}
} // namespace

NotificationBackend::NotificationBackend(const QDBusConnection &bus, QObject *parent)
    : DesktopBackend(parent)
    , m_bus(bus)
    , m_watcher(new QDBusServiceWatcher(DaemonName, bus, QDBusServiceWatcher::WatchForOwnerChange, this))
{
    m_pump.setSingleShot(true);
    connect(&m_pump, &QTimer::timeout, this, &NotificationBackend::pump);
    m_clock.start();
    connect(m_watcher, &QDBusServiceWatcher::serviceOwnerChanged, this,
            [this](const QString &, const QString &oldOwner, const QString &newOwner) {
                if (!oldOwner.isEmpty())
                    daemonLeft();
                if (!newOwner.isEmpty())
                    daemonArrived(newOwner);
            });
    const QString owner = m_bus.interface() ? m_bus.interface()->serviceOwner(DaemonName).value() : QString();
    if (owner.isEmpty())
        qCInfo(lcNotifications, "No notification service on the bus yet; waiting for %s", qPrintable(DaemonName));
    else
        daemonArrived(owner);
}

NotificationBackend::~NotificationBackend()
{
    // Leaving closes what it showed. The closes need no answer; one question after them is
    // answered only once the daemon has had them all, so none is lost with the process. A daemon
    // that does not answer holds the leaving for LeaveTimeout at most.
    if (!m_daemon)
        return;
    removeAll();
    // Notifications still being made are closed as soon as the daemon names them (send() does,
    // finding their transfers gone), which the events below let happen.
    // A loop that ends with the answer: processEvents() with a time would wait all of it (a
    // daemon that answered at once still held the leaving for 2 s).
    auto *last = new QDBusPendingCallWatcher(m_daemon->GetCapabilities(), this);
    QEventLoop loop;
    connect(last, &QDBusPendingCallWatcher::finished, &loop, &QEventLoop::quit);
    QTimer::singleShot(LeaveTimeout, &loop, &QEventLoop::quit);
    if (!last->isFinished())
        loop.exec();
    if (!last->isFinished())
        qCWarning(lcNotifications, "The notification service did not answer within %d ms; leaving", LeaveTimeout);
}

void NotificationBackend::daemonArrived(const QString &owner)
{
    // Calls go to this instance's unique name, and its signals alone are heard.
    const quint64 generation = ++m_generation;
    m_daemon = std::make_unique<OrgFreedesktopNotificationsInterface>(owner, DaemonPath, m_bus);
    m_daemon->setTimeout(CallTimeout);
    m_capabilities.clear();
    m_progressInBody = false;
    m_ready = false;
    m_answersAwaited = 2;
    connect(m_daemon.get(), &OrgFreedesktopNotificationsInterface::NotificationClosed, this,
            &NotificationBackend::onClosed);
    connect(m_daemon.get(), &OrgFreedesktopNotificationsInterface::ActionInvoked, this, &NotificationBackend::onAction);
    // xfce4-notifyd draws a notification with a `value` hint as a bare gauge, without its text or
    // buttons: there the progress goes into the text.
    auto *information = new QDBusPendingCallWatcher(m_daemon->GetServerInformation(), this);
    connect(information, &QDBusPendingCallWatcher::finished, this, [this, generation](QDBusPendingCallWatcher *call) {
        call->deleteLater();
        if (generation != m_generation)
            return;
        const QDBusPendingReply<QString, QString, QString, QString> reply = *call;
        m_progressInBody = reply.isValid() && reply.argumentAt<0>() == QLatin1String("Xfce Notify Daemon");
        daemonReady();
    });
    auto *call = new QDBusPendingCallWatcher(m_daemon->GetCapabilities(), this);
    connect(call, &QDBusPendingCallWatcher::finished, this, [this, generation](QDBusPendingCallWatcher *call) {
        call->deleteLater();
        if (generation != m_generation)
            return;
        const QDBusPendingReply<QStringList> reply = *call;
        m_capabilities = reply.isValid() ? reply.value() : QStringList();
        daemonReady();
    });
}

void NotificationBackend::daemonReady()
{
    if (--m_answersAwaited > 0)
        return;
    m_ready = true;
    qCInfo(lcNotifications, "Notification service %s: %s", qPrintable(m_daemon->service()),
           qPrintable(m_capabilities.join(QLatin1Char(' '))));
    // Whatever was shown before (by an instance now gone) is shown again, once.
    for (auto it = m_shown.begin(); it != m_shown.end(); ++it) {
        if (!it->dismissedIn) {
            it->dirty = true;
            schedule(it.key());
        }
    }
}

void NotificationBackend::daemonLeft()
{
    ++m_generation;
    m_daemon.reset();
    m_ready = false;
    m_inFlight = 0;
    m_byNotification.clear();
    m_ambiguous.clear();
    for (Shown &shown : m_shown) {
        shown.notification = 0;
        shown.inFlight = false;
    }
}

void NotificationBackend::show(const DesktopTransfer &transfer)
{
    if (transfer.id.isEmpty())
        return;
    auto it = m_shown.find(transfer.id);
    if (it == m_shown.end()) {
        it = m_shown.insert(transfer.id, Shown());
        it->arrival = ++m_arrivals;
        m_reselect = true;
    } else if (it->latest.state != transfer.state) {
        m_reselect = true;
    }
    Shown &shown = *it;
    shown.latest = transfer;
    if (shown.dismissedIn) {
        // Closed by the user: not again until the state changes.
        if (*shown.dismissedIn == transfer.state)
            return;
        shown.dismissedIn.reset();
    }
    shown.dirty = true;
    schedule(transfer.id);
}

void NotificationBackend::setMaxShown(int max)
{
    m_maxShown = qMax(2, max);
    m_reselect = true;
    if (!m_pump.isActive())
        m_pump.start(0);
}

void NotificationBackend::closeOwn(Shown &shown)
{
    if (shown.notification && m_daemon) {
        m_byNotification.remove(shown.notification);
        m_daemon->CloseNotification(shown.notification);
    }
    shown.notification = 0;
}

void NotificationBackend::reselect()
{
    m_reselect = false;
    // A transfer that goes into the summary hands its notification to one that comes out (or to
    // the summary): the daemon redraws it in place, where closing one and opening another would
    // flicker and leave holes that a taller notification does not fit, so that the daemon opens
    // a column further towards the app. One with a call under way is closed, as its answer would
    // name the notification after it was handed on.
    QList<uint> freed;
    const auto handOn = [this, &freed](Shown &shown) {
        if (shown.notification && !shown.inFlight)
            freed.append(std::exchange(shown.notification, 0));
        else
            closeOwn(shown);
    };
    // The summary comes or goes first: adding or erasing moves the others in the hash.
    qsizetype transfers = 0;
    for (auto it = m_shown.cbegin(); it != m_shown.cend(); ++it)
        transfers += it.key() != SummaryKey && !it->dismissedIn;
    auto summary = m_shown.find(SummaryKey);
    const bool summed = transfers > m_maxShown;
    if (!summed && summary != m_shown.end()) {
        handOn(*summary);
        m_shown.erase(summary);
    } else if (summed && summary == m_shown.end()) {
        m_shown.insert(SummaryKey, Shown()).value().own = true;
    }
    QList<QHash<QString, Shown>::iterator> candidates;
    for (auto it = m_shown.begin(); it != m_shown.end(); ++it) {
        if (it.key() != SummaryKey && !it->dismissedIn)
            candidates.append(it);
    }
    const qsizetype own = summed ? m_maxShown - 1 : candidates.size();
    std::partial_sort(candidates.begin(), candidates.begin() + own, candidates.end(), [](auto a, auto b) {
        const Rank ra = rankOf(a->latest.state), rb = rankOf(b->latest.state);
        return ra != rb ? ra < rb : a->arrival > b->arrival;
    });
    QList<Shown *> takers;
    if (summed && !m_shown[SummaryKey].notification && !m_shown[SummaryKey].inFlight)
        takers.append(&m_shown[SummaryKey]);
    QList<Zav::TransferState> rest;
    for (qsizetype i = 0; i < candidates.size(); ++i) {
        Shown &shown = *candidates[i];
        const bool wanted = i < own;
        if (!wanted)
            rest.append(shown.latest.state);
        if (wanted == shown.own)
            continue;
        shown.own = wanted;
        if (wanted) {
            // Out of the summary with its latest state.
            shown.dirty = true;
            if (!shown.inFlight)
                takers.append(&shown);
            schedule(candidates[i].key());
        } else {
            // Its notification still shows it, and its buttons still ask for it, until redrawn.
            handOn(shown);
        }
    }
    for (Shown *taker : std::as_const(takers)) {
        if (!freed.isEmpty() && !taker->notification)
            taker->notification = freed.takeFirst();
    }
    for (const uint notification : std::as_const(freed)) {
        m_byNotification.remove(notification);
        m_daemon->CloseNotification(notification);
    }
    if (!summed)
        return;
    Shown &sum = m_shown[SummaryKey];
    const QString title = summaryTitle(int(rest.size()));
    const QString body = summaryBody(rest);
    if (sum.latest.name == title && sum.latest.message == body)
        return;
    sum.latest.name = title;
    sum.latest.message = body;
    // Closed by the user: back when what it sums up changes.
    sum.dismissedIn.reset();
    sum.dirty = true;
    schedule(SummaryKey);
}

QString NotificationBackend::summaryTitle(int count)
{
    return QStringLiteral("%1 more transfers").arg(count);
}

QString NotificationBackend::summaryBody(const QList<Zav::TransferState> &states)
{
    int counts[Finished + 1] = {};
    for (const Zav::TransferState state : states)
        ++counts[rankOf(state)];
    static const char *const words[] = {"failed", "running", "waiting", "finished"};
    QStringList parts;
    for (const Rank rank : {Running, Waiting, Failure, Finished}) {
        if (counts[rank])
            parts << QStringLiteral("%1 %2").arg(counts[rank]).arg(QLatin1String(words[rank]));
    }
    return parts.join(QStringLiteral(", "));
}

void NotificationBackend::remove(const QString &id)
{
    auto it = m_shown.find(id);
    if (id.isEmpty() || it == m_shown.end())
        return;
    closeOwn(*it);
    // One still being made is closed when the daemon answers (the answer finds no transfer).
    m_shown.erase(it);
    m_reselect = true;
    if (!m_pump.isActive())
        m_pump.start(0);
}

void NotificationBackend::removeAll()
{
    for (auto it = m_shown.cbegin(); it != m_shown.cend(); ++it) {
        if (it->notification && m_daemon)
            m_daemon->CloseNotification(it->notification);
    }
    m_shown.clear();
    m_byNotification.clear();
    m_ambiguous.clear();
    m_queue.clear();
}

void NotificationBackend::schedule(const QString &id)
{
    Shown &shown = m_shown[id];
    if (!shown.queued) {
        shown.queued = true;
        m_queue.append(id);
    }
    if (!m_pump.isActive())
        m_pump.start(0);
}

void NotificationBackend::pump()
{
    if (!m_daemon || !m_ready)
        return; // the daemon's arrival schedules everything again
    if (m_reselect)
        reselect();
    // At most MaxCallsPerSecond calls within any RateWindow: the oldest call leaving the window
    // makes room for the next.
    const qint64 now = m_clock.elapsed();
    while (!m_sentAt.isEmpty() && m_sentAt.constFirst() <= now - RateWindow)
        m_sentAt.removeFirst();
    QStringList waiting;
    for (const QString &id : std::as_const(m_queue)) {
        auto it = m_shown.find(id);
        if (it == m_shown.end())
            continue;
        Shown &shown = *it;
        if (!shown.dirty || !shown.own) {
            // A transfer in the summary is sent once it has a place of its own again.
            shown.queued = false;
            continue;
        }
        const bool tooSoon = shown.inFlight || (shown.sent.isValid() && shown.sent.elapsed() < MinInterval);
        if (tooSoon || m_sentAt.size() >= MaxCallsPerSecond || m_inFlight >= MaxInFlight) {
            waiting.append(id);
            continue;
        }
        shown.queued = false;
        m_sentAt.append(now);
        send(id, shown);
    }
    m_queue = waiting;
    if (!m_queue.isEmpty()) {
        const qint64 room = m_sentAt.size() >= MaxCallsPerSecond ? m_sentAt.constFirst() + RateWindow - now : 0;
        m_pump.start(int(qBound(qint64(1000 / MaxCallsPerSecond), room, qint64(RateWindow))));
    }
}

void NotificationBackend::send(const QString &id, Shown &shown)
{
    const DesktopTransfer &t = shown.latest;
    const bool isSummary = id == SummaryKey;
    QStringList actions = NotificationBackend::actions(t, m_capabilities);
    if (isSummary) {
        actions.clear();
        if (!m_summaryCommand.isEmpty() && m_capabilities.contains(QLatin1String("actions")))
            actions << QLatin1String(SummaryAction) << QStringLiteral("Show all");
    }
    // Running transfers stay until they end; ended ones go when the daemon decides.
    const int timeout = isRunning(t.state) ? 0 : -1;
    const bool markup = m_capabilities.contains(QLatin1String("body-markup"));
    QVariantMap hints = NotificationBackend::hints(t, m_progressInBody);
    if (isSummary) {
        hints.remove(QStringLiteral("value"));
        hints.insert(QStringLiteral("urgency"), QVariant::fromValue(uchar(Low)));
    }
    shown.dirty = false;
    shown.inFlight = true;
    shown.sent.start();
    ++m_inFlight;
    const quint64 generation = m_generation;
    // No deadline while the daemon lives: an answer that comes late still names the
    // notification it made, which is then updated or closed like any other (a timed-out call
    // left one on the screen for good). A daemon that leaves ends the wait with the bus's error.
    m_daemon->setTimeout(std::numeric_limits<int>::max());
    auto *call = new QDBusPendingCallWatcher(
        m_daemon->Notify(
            QLatin1String(AppName), shown.notification, isSummary ? QStringLiteral("dialog-information") : icon(t),
            isSummary ? t.name : summary(t, m_progressInBody),
            isSummary ? (markup ? t.message.toHtmlEscaped() : t.message) : body(t, markup, m_progressInBody), actions,
            hints, timeout),
        this);
    m_daemon->setTimeout(CallTimeout);
    connect(call, &QDBusPendingCallWatcher::finished, this, [this, id, generation](QDBusPendingCallWatcher *call) {
        call->deleteLater();
        if (generation != m_generation)
            return;
        --m_inFlight;
        const QDBusPendingReply<uint> reply = *call;
        auto it = m_shown.find(id);
        if (it == m_shown.end()) {
            // Removed while the notification was being made.
            if (reply.isValid())
                m_daemon->CloseNotification(reply.value());
            return;
        }
        it->inFlight = false;
        if (reply.isError()) {
            qCWarning(lcNotifications, "The notification service refused transfer %s: %s", qPrintable(id),
                      qPrintable(reply.error().message()));
        } else if (!it->own) {
            // Moved into the summary while its notification was being made.
            m_byNotification.remove(it->notification);
            it->notification = reply.value();
            closeOwn(*it);
        } else {
            // From now on it shows this transfer (a notification handed on showed another until now).
            if (reply.value() != it->notification)
                m_byNotification.remove(it->notification);
            it->notification = reply.value();
            disown(it->notification, id);
            m_byNotification.insert(it->notification, id);
        }
        if (it->dirty)
            schedule(id);
    });
}

void NotificationBackend::disown(uint notification, const QString &id)
{
    // A daemon that gives a new notification the id of another transfer's: which of the two a
    // press is on cannot be told, so a press on it asks nothing of either (it asked the latest,
    // whichever was pressed), and the other no longer counts it as its own (closing it would
    // close this one).
    const QString holder = m_byNotification.value(notification);
    auto other = m_shown.find(holder);
    if (holder.isEmpty() || holder == id || other == m_shown.end() || other->notification != notification)
        return;
    other->notification = 0;
    if (!m_ambiguous.contains(notification))
        qCWarning(lcNotifications,
                  "The notification service gave notification %u to two transfers; its buttons are "
                  "not taken as either's request",
                  notification);
    m_ambiguous.insert(notification);
}

void NotificationBackend::onClosed(uint notification, uint reason)
{
    if (!m_byNotification.contains(notification))
        return;
    const QString id = m_byNotification.take(notification);
    auto it = m_shown.find(id);
    if (it == m_shown.end())
        return;
    it->notification = 0;
    if (reason == ClosedByCall)
        return;
    // Expired or closed by the user: stays closed until the transfer's state changes (the
    // summary: until what it sums up changes), and makes room for another.
    it->dismissedIn = it->latest.state;
    it->dirty = false;
    if (id != SummaryKey) {
        m_reselect = true;
        if (!m_pump.isActive())
            m_pump.start(0);
    }
}

void NotificationBackend::onAction(uint notification, const QString &key)
{
    if (!m_byNotification.contains(notification) || m_ambiguous.contains(notification))
        return;
    const QString id = m_byNotification.value(notification);
    if (id == SummaryKey) {
        if (key != QLatin1String(SummaryAction) || m_summaryCommand.isEmpty())
            return;
        // What the command says (a terminal's complaints about fonts) is not this program's.
        QProcess command;
        command.setProgram(m_summaryCommand.constFirst());
        command.setArguments(m_summaryCommand.mid(1));
        command.setStandardOutputFile(QProcess::nullDevice());
        command.setStandardErrorFile(QProcess::nullDevice());
        if (!command.startDetached())
            qCWarning(lcNotifications, "Could not run %s", qPrintable(Zav::printable(m_summaryCommand.constFirst())));
        return;
    }
    if (Zav::Requests::isRequest(key))
        emit requested(id, key);
}

QStringList NotificationBackend::actions(const DesktopTransfer &t, const QStringList &capabilities)
{
    // A daemon without actions would show the keys and labels as plain text, or refuse them.
    QStringList actions;
    if (capabilities.contains(QLatin1String("actions"))) {
        for (const auto &[request, label] : t.actions())
            actions << request << displayed(label, 40);
    }
    return actions;
}

QString NotificationBackend::summary(const DesktopTransfer &t, bool boxed)
{
    return displayed(t.name.isEmpty() ? QStringLiteral("Transfer %1").arg(t.id) : t.name, boxed ? BoxedWidth : 120);
}

QString NotificationBackend::body(const DesktopTransfer &t, bool markup, bool progressInBody)
{
    QStringList lines {t.describeState()};
    if (!t.message.isEmpty())
        lines << t.message;
    if (t.state == Zav::TransferState::Failed && !t.failureDescription.isEmpty())
        lines << t.failureDescription;
    // The id keeps transfers of one name apart (a daemon may merge alike notifications into one),
    // and is what zavctl takes.
    QStringList details {QStringLiteral("id %1").arg(t.id)};
    if (progressInBody && isRunning(t.state))
        details << QStringLiteral("%1 % done").arg(int(t.progress * 100 + 0.5));
    if (t.size > 0)
        details << Zav::formatBytes(t.size);
    if (t.estimate > 0 && isRunning(t.state))
        details << QStringLiteral("%1 s left").arg(t.estimate);
    const QString detailLine = details.join(QStringLiteral(" \u00b7 "));
    if (progressInBody) {
        // A daemon that finds each notification a free place of its own (xfce4-notifyd) leaves
        // a hole where one closes, which a taller one does not fit: it then opens a column
        // further, towards the app. So all are of one height there: three lines that never wrap.
        lines = QStringList {lines.value(0),
                             lines.size() > 2 ? lines.mid(1).join(QStringLiteral(" \u00b7 ")) : lines.value(1),
                             detailLine};
        for (QString &line : lines)
            line = displayed(line, BoxedWidth);
        // An empty line would be dropped: the type says what a line that is drawn can.
        if (lines[1].isEmpty())
            lines[1] = t.type.isEmpty() ? QStringLiteral("\u00a0") : t.type.left(1).toUpper() + t.type.mid(1).left(20);
    } else {
        lines << detailLine;
        for (QString &line : lines)
            line = displayed(line, 300);
    }
    if (markup) {
        for (QString &line : lines)
            line = line.toHtmlEscaped();
    }
    return lines.join(QLatin1Char('\n'));
}

QVariantMap NotificationBackend::hints(const DesktopTransfer &t, bool progressInBody)
{
    QVariantMap hints;
    const bool failed = t.state == Zav::TransferState::Failed || t.state == Zav::TransferState::CancelFailed;
    hints.insert(QStringLiteral("category"),
                 failed                                    ? QStringLiteral("transfer.error")
                     : t.state == Zav::TransferState::Done ? QStringLiteral("transfer.complete")
                                                           : QStringLiteral("transfer"));
    hints.insert(QStringLiteral("urgency"), QVariant::fromValue(uchar(failed ? Critical : Normal)));
    if (isRunning(t.state) && !progressInBody)
        hints.insert(QStringLiteral("value"), int(t.progress * 100 + 0.5));
    return hints;
}

QString NotificationBackend::icon(const DesktopTransfer &t)
{
    // Icon names that every freedesktop.org icon theme has; after the transfer's type until its
    // program sets an icon type.
    const int type = t.serviceIconType >= 0 ? t.serviceIconType : qMax(0, Zav::typeFromWord(t.type));
    switch (type) {
    case 1:
        return QStringLiteral("go-down");
    case 2:
        return QStringLiteral("view-refresh");
    default:
        return QStringLiteral("go-up");
    }
}
