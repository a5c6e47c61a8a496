// SPDX-License-Identifier: MIT
#ifndef TRANSFERSERVICE_H
#define TRANSFERSERVICE_H

#include "ChangeFeed.h"
#include "Journal.h"
#include "ServiceRules.h"
#include "TextBudget.h"
#include "TransferRecord.h"
#include "ZavContract.h"

#include <QDBusConnection>
#include <QDBusContext>
#include <QHash>
#include <QObject>
#include <QStringList>

#include <map>

// The reference transfer-status service: keeps every registered transfer's state, records what
// it receives, and passes a tester's requests to the program that owns a transfer.
//
// A transfer belongs to the bus connection that registered it; changes from any other
// connection are refused. When the owner leaves the bus its transfers are forgotten (and
// watchers are told), so nothing is left that no one can finish.
//
// Watchers pull what changed (ChangeFeed).
class TransferService : public QObject, protected QDBusContext
{
    Q_OBJECT
public:
    struct Limits
    {
        static constexpr int DefaultMaxTransfers = 10000;
        static constexpr int DefaultMaxPerClient = 1000;
        int maxTransfers = DefaultMaxTransfers; // live transfers, all clients together
        int maxPerClient = DefaultMaxPerClient; // live transfers of one bus connection
        static constexpr qint64 DefaultMaxTextBytes = 64 * 1024 * 1024;
        static constexpr qint64 DefaultMaxTextBytesPerClient = 8 * 1024 * 1024;
        int maxStringLength = Zav::MaxTextLength; // characters in any text argument
        // What a TextBudget allows.
        qint64 maxTextBytes = DefaultMaxTextBytes;
        qint64 maxTextBytesPerClient = DefaultMaxTextBytesPerClient;
        // Removals kept for watchers that have not fetched them; one that falls further behind is
        // told to list everything again (a resync).
        static constexpr int DefaultMaxPendingRemovals = 10000;
        int maxPendingRemovals = DefaultMaxPendingRemovals;
    };

    static const char *const ServiceName;
    static const char *const ObjectPath;
    static const char *const TransfersInterface;

    // Keeps every rule of the interface unless `rules` says otherwise (the conformance kit's tests).
    TransferService(const QDBusConnection &bus, const Limits &limits, std::unique_ptr<ServiceRules> rules = {},
                    QObject *parent = nullptr);
    ~TransferService() override;

    // Exports the object and takes the bus name; false (with the reason in `error`) when the
    // name is taken or the bus refuses.
    bool start(QString *error);
    // Opens the journal and marks in it where this run of the service begins ("serviceStarted").
    bool openJournal(const QString &path, qint64 maxSize = Journal::DefaultMaxSize);

public Q_SLOTS:
    // com.kelvo.zav.Transfers
    QString ping();
    QString registerTransfer(const QString &name, int type, const QString &clientId);
    void setAccount(const QString &id, const QString &account);
    void setCount(const QString &id, int count);
    void setSize(const QString &id, qulonglong bytes);
    void setProgress(const QString &id, double done);
    void setSpeed(const QString &id, int speed);
    void setMessage(const QString &id, const QString &message);
    void setEstimate(const QString &id, int seconds);
    void setCanPause(const QString &id, bool canPause);
    void setName(const QString &id, const QString &name);
    void setServiceIconType(const QString &id, int type);
    void setThumbnailForFile(const QString &id, const QString &file, const QString &mimeType);
    void setCancelButtonText(const QString &id, const QString &text);
    void setTitle(const QString &id, const QString &title);
    void setImageFromFilePath(const QString &id, const QString &path);
    void startCommit(const QString &id);
    void endCommit(const QString &id);
    void setPending(const QString &id, const QString &reason);
    void setActive(const QString &id, double done);
    void markCancelled(const QString &id);
    void markPaused(const QString &id);
    void markRestarted(const QString &id);
    void markFailure(const QString &id, const QString &headline, const QString &description);
    void markRepairableFailure(const QString &id, const QString &headline, const QString &description,
                               const QString &actionText);
    void markCancelFailed(const QString &id, const QString &reason);
    void markCompleted(const QString &id, bool showResult, const QString &message, const QString &resultUri);

    // com.kelvo.zav.Control
    QString transferPage(const QString &after, int count);
    QString transfer(const QString &id);
    QString status();
    void sendRequest(const QString &id, const QString &action);
    void setRefuseRegistrations(bool refuse);
    void setWatching(bool watching);
    QString changes(int count);

Q_SIGNALS:
    // Transfers went, or texts changed: memory the allocator may keep is free (the program gives it
    // back to the system a moment after the last of a burst).
    void memoryFreed();

private:
    // Checks a change: known id, sent by the owner, texts within the limit, values valid (an
    // empty `invalid`). `call` is the journal's name of the call: the handling method's own
    // (__func__), named as the interface file names the call. Journals the call and returns the transfer, or journals
    // the refusal, sends the error and returns null.
    TransferRecord *accept(const QString &id, const QString &call, const QJsonArray &args,
                           const QString &invalid = QString());
    // One change to a transfer: `apply` gets the values to change (staged during a commit).
    template <typename Apply>
    void change(const QString &id, const char *call, const QJsonArray &args, Apply apply,
                const QString &invalid = QString());
    // Counts an applied change and schedules the watchers' notice.
    void applied(TransferRecord *record);
    // Journals a refused call, its texts cut to the limit, and sends the error.
    void refuse(const QString &id, const QString &call, const QJsonArray &args, const QString &errorName,
                const QString &message);
    // Texts over the limit stand as "(N characters)": one record stays small whatever arrives.
    QJsonValue bounded(const QJsonValue &value) const;
    bool tooLong(const QJsonArray &args) const;
    QString sender() const;
    void ownerLeft(const QString &owner);
    // Whether `owner` may add `bytes` of text; refuses the call with LimitsExceeded when not.
    bool withinTextBudget(const QString &owner, qint64 bytes, const QString &id, const QString &call,
                          const QJsonArray &args);
    void countText(const QString &owner, qint64 bytes);
private Q_SLOTS:
    // Every name lost on the bus, through one match rule: one rule per client or watcher would
    // run out of the bus's per-connection limit, and after that no departure would be seen.
    void nameOwnerChanged(const QString &name, const QString &oldOwner, const QString &newOwner);

private:
    QDBusConnection m_bus;
    Limits m_limits;
    std::unique_ptr<ServiceRules> m_rules;
    Journal m_journal;
    QHash<QString, TransferRecord> m_transfers;
    std::map<quint64, QString> m_order; // ids by number, which is their order of registration
    // The ids of each connection's transfers: leaving costs what the one leaving had, not what
    // all have.
    QHash<QString, QList<QString>> m_owned;
    TextBudget m_texts;
    quint64 m_nextId = 0;
    bool m_refuse = false;
    ChangeFeed m_feed;
};

#endif
