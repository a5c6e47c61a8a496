// SPDX-License-Identifier: MIT
#ifndef ZAV_ZAVCLIENT_H
#define ZAV_ZAVCLIENT_H

#include <QObject>
#include <QString>
#include <QStringList>
#include <QVariantList>

#include <functional>
#include <memory>

#include <zav/zavclient_export.h>

// Client library of the transfer-status service.
//
// A program reports the uploads, downloads and synchronisations it runs: it opens a Client,
// registers each transfer, and then changes the transfer through its handle. The service shows
// the transfers to the user and may ask the program to cancel, start (restart), pause or repair
// one of them; the Client turns such a request into a signal that carries the handle.
//
// Everything runs on the thread that owns the Client. Only init() and registerTransfer() wait
// for the service (each at most a few seconds); every change is sent without waiting, in the
// order of the calls. The service's answer to a change comes later: a refusal is signalled by
// the transfer (changeRefused), and what it accepted can be asked for (lastAccepted). If the
// service leaves the bus, the library keeps working: changes to transfers registered with it
// are dropped and one warning is written.
namespace Zav {

class Transfer;
class ClientPrivate;
class TransferPrivate;

class ZAVCLIENT_EXPORT Client : public QObject
{
    Q_OBJECT
public:
    enum TransferType { Upload = 0, Download = 1, Sync = 2 };
    Q_ENUM(TransferType)

    // Bus name, object path and interface of the service.
    static const char *const ServiceName;
    static const char *const ObjectPath;
    static const char *const Interface;
    // How long init() and registerTransfer() wait for the service, in milliseconds.
    static const int CallTimeout = 3000;
    // The bus that every Client uses from then on: a D-Bus address (a device's bus through a
    // forwarded socket, "unix:path=FILE"), or empty for the session bus (the default). Set once,
    // before the first init(). With an address, the Clients share one connection of that name
    // (BusConnectionName), which a program that also calls the bus itself can take up.
    static void setBusAddress(const QString &address);
    static QString busAddress();
    static const char *const BusConnectionName;

    explicit Client(QObject *parent = nullptr);
    ~Client() override;

    // Opens the connection: true when the session bus is there and the service answers within
    // CallTimeout (a bus that can activate the service starts it). Calling it again retries.
    // When it returns false with a bus, the Client still follows the service: one that arrives
    // later, or answers late, makes isServiceAvailable() true and serviceAvailabilityChanged(true).
    bool init();
    // Registers a transfer and returns its handle, or null when the service refuses it, is
    // gone, or init() has not succeeded. The handle belongs to this Client and stays valid as
    // long as the Client lives.
    Transfer *registerTransfer(const QString &name, TransferType type, const QString &clientId = QString());
    // Registers without waiting: `done` is called later on this thread, once, with the handle, or
    // with null and the service's error ("org.freedesktop.DBus.Error.NoReply: ..." when it did not
    // answer within `timeout` ms; a negative timeout waits as long as the service is on the bus).
    // Never called once `context` is gone.
    void registerTransfer(const QString &name, TransferType type, const QString &clientId, QObject *context,
                          std::function<void(Transfer *transfer, const QString &error)> done,
                          int timeout = CallTimeout);
    // True while the service that init() reached is on the bus.
    bool isServiceAvailable() const;

Q_SIGNALS:
    // The service left the bus (false) or is there again (true), after init().
    void serviceAvailabilityChanged(bool available);
    // The service asks for an action on one of this client's transfers.
    void cancelTransfer(Zav::Transfer *transfer);
    void startTransfer(Zav::Transfer *transfer);
    void pauseTransfer(Zav::Transfer *transfer);
    void repairErrorTransfer(Zav::Transfer *transfer);

private:
    friend class ClientPrivate;
    friend class Transfer;
    const std::unique_ptr<ClientPrivate> d;
};

// One registered transfer. Every change is sent to the service at once, without waiting.
class ZAVCLIENT_EXPORT Transfer : public QObject
{
    Q_OBJECT
public:
    ~Transfer() override;

    // Completes the transfer. With showResult, resultUri names what the transfer produced
    // (the user can open it); message is an optional text for the user.
    void markCompleted(bool showResult, const QString &message, const QString &resultUri);
    // The picture shown for the transfer.
    void setImageFromFilePath(const QString &path);

    // Changes of these methods of the interface ("setName", "setActive", ...) sent and not
    // answered yet.
    int changesInFlight(const QStringList &calls) const;
    // Of these methods, the one whose change the service accepted last (in the order the changes
    // were made), with that change's arguments (after the id) in `arguments`; empty when it
    // accepted none of them. A change sent while too many were unanswered, without awaiting its
    // answer, counts as accepted.
    QString lastAccepted(const QStringList &calls, QVariantList *arguments = nullptr) const;

Q_SIGNALS:
    // The service refused a change: `call` is the interface's method, `error` the D-Bus error's
    // name, `message` its text. A change the service did not answer within Client::CallTimeout
    // comes here too, as org.freedesktop.DBus.Error.NoReply: it may still take effect. In the
    // order of the calls.
    void changeRefused(const QString &call, const QString &error, const QString &message);

public Q_SLOTS:
    // The id the service assigned; the same on every call.
    virtual QString id() const;
    // The unique bus name of the service instance that registered it: its changes go there
    // alone, so that a service started again, which gives its ids anew, is never sent them.
    QString serviceInstance() const;
    // The service account the transfer goes to (uploads).
    virtual void setAccount(const QString &account);
    // How many items the transfer holds.
    virtual void setCount(int count);
    virtual void setSize(quint64 bytes);
    // done: the part done, from 0 to 1.
    virtual void setProgress(float done);
    virtual void setSpeed(int speed);
    virtual void setMessage(const QString &message);
    // Seconds left.
    virtual void setEstimate(int seconds);
    virtual void setCanPause(bool canPause);
    virtual void setName(const QString &name);
    // 0 upload, 1 download, 2 sync.
    virtual void setServiceIconType(int type);
    virtual void setThumbnailForFile(const QString &file, const QString &mimeType);
    virtual void setCancelButtonText(const QString &text);
    virtual void setTitle(const QString &title);
    // Changes made between these two are applied by the service as one update.
    virtual void startCommit();
    virtual void endCommit();
    // Waiting, with the reason shown to the user.
    virtual void setPending(const QString &reason);
    // Running, with the part done (0 to 1).
    virtual void setActive(float done);
    virtual void markCancelled();
    virtual void markPaused();
    virtual void markRestarted();
    virtual void markFailure(const QString &headline, const QString &description);
    // A failure the user can try to repair with an action named by actionText.
    virtual void markRepairableFailure(const QString &headline, const QString &description, const QString &actionText);
    // The program could not cancel the transfer, for the given reason.
    virtual void markCancelFailed(const QString &reason);

private:
    friend class ClientPrivate;
    Transfer(ClientPrivate *client, const QString &id, const QString &owner);

    const std::unique_ptr<TransferPrivate> d;
};

} // namespace Zav

#endif
