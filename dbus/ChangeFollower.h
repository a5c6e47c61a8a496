// SPDX-License-Identifier: MIT
#ifndef CHANGEFOLLOWER_H
#define CHANGEFOLLOWER_H

#include <QDBusConnection>
#include <QDBusError>
#include <QJsonObject>
#include <QObject>
#include <QSet>

#include <memory>

class ComKelvoZavControlInterface;
class QDBusServiceWatcher;

// A client of the service's change feed, for every view of it (zavctl watch, the desktop bridge):
// lists every transfer a page at a time, then follows what changes as the service signals it,
// lists everything again when the service says the follower fell behind, and follows the service
// as it leaves and comes back. Views get what to show through the signals, in order; nothing
// here waits for an answer.
class ChangeFollower : public QObject
{
    Q_OBJECT
public:
    explicit ChangeFollower(const QDBusConnection &bus, QObject *parent = nullptr);
    ~ChangeFollower() override;

    // Begins with the service on the bus now, or waits for one (false when there is none yet).
    bool start();

Q_SIGNALS:
    // A listing of everything begins (at the start, when the service is back, after a resync).
    void relisting();
    // A transfer as the service holds it now (listed, new or changed).
    void changed(const QJsonObject &transfer);
    // A transfer went (its program left), or a listing found it gone.
    void removed(const QString &id);
    // The listing is whole: every transfer shown before and not in it was said removed.
    void relisted();
    void serviceLeft();
    void serviceBack();
    // A call was not answered; the follower asks again in `retryIn` ms (less and less often), or
    // not at all by itself when below 0.
    void callFailed(const QDBusError &error, int retryIn);
    // The service's pages did not end (the same page again, or past Zav::MaxPages).
    void pagesDoNotEnd(int read);

private:
    void startListing();
    void fetchPage(const QString &after);
    void fetchChanges();
    void retry(void (ChangeFollower::*what)());

    std::unique_ptr<ComKelvoZavControlInterface> m_control;
    QDBusServiceWatcher *m_watcher;
    quint64 m_generation = 0; // of the service instance and listing: older answers are ignored
    int m_retryDelay = 500; // ms before a failed call is made again
    int m_pages = 0; // of the listing under way
    bool m_listing = false;
    bool m_fetching = false;
    bool m_fetchAgain = false;
    bool m_gone = false; // the service left and has not come back
    QSet<QString> m_known; // shown and not said removed
    QSet<QString> m_listed; // seen by the listing under way (and changed since it began)
};

#endif
