// SPDX-License-Identifier: MIT
#ifndef CHANGEFEED_H
#define CHANGEFEED_H

#include <QByteArray>
#include <QDBusConnection>
#include <QHash>
#include <QObject>
#include <QString>
#include <QTimer>

#include <deque>
#include <functional>
#include <map>

struct TransferRecord;

// What watchers are told of the service's transfers. Watchers pull: every change takes the next
// number of one sequence, and a watcher is sent one small signal (changesPending) and fetches,
// when it likes, the latest state of what changed past the number it has read up to. However
// fast the programs change their transfers, a watcher gets at most one signal every 50 ms and
// none while it has not fetched; what is kept for it is that number alone, so a watcher that
// does not read grows nothing, and a change costs the same whether one watcher or a thousand
// follow.
class ChangeFeed : public QObject
{
    Q_OBJECT
public:
    // `maxPendingRemovals`: removals kept for watchers that have not fetched them; one that falls
    // further behind is told to list everything again (a resync).
    ChangeFeed(const QDBusConnection &bus, const char *objectPath, int maxPendingRemovals, QObject *parent = nullptr);

    // A transfer changed (or came): it takes the next number.
    void changed(TransferRecord *record);
    // A transfer went.
    void removed(const TransferRecord &record);

    // A connection asks to follow from now on (it lists everything itself), or no longer.
    void watch(const QString &watcher);
    void forget(const QString &watcher);
    int watcherCount() const { return int(m_watching.size()); }

    // The next page for `watcher` as the Control interface's `changes` gives it: at most `count`
    // transfers (each by `json`) or `maxBytes`, in the order of their last change, and the
    // removals up to where the page ends; or a resync.
    QByteArray page(const QString &watcher, int count, qsizetype maxBytes,
                    const std::function<QByteArray(const QString &id)> &json);

private:
    void notify();

    QDBusConnection m_bus;
    const char *m_objectPath;
    int m_maxPendingRemovals;
    quint64 m_sequence = 0;
    // Live transfers by the number of their last change, and the latest removals with theirs (a
    // watcher behind the oldest one kept lists everything again).
    std::map<quint64, QString> m_changed;
    std::deque<std::pair<quint64, QString>> m_removals;
    quint64 m_removalsLostUpTo = 0;
    struct Watcher
    {
        quint64 readUpTo = 0; // every change numbered up to this one has been fetched
        bool told = false; // signalled, and has not fetched everything since
    };
    QHash<QString, Watcher> m_watching; // by connection
    QTimer m_notifyTimer;
};

#endif
