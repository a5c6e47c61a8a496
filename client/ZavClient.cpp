// SPDX-License-Identifier: MIT
#include "zav/ZavClient.h"

#include "Requests.h"
#include "TransfersProxy.h"
#include "ZavBusNames.h"
#include "ZavVocabulary.h"

#include <QDBusConnection>
#include <QDBusPendingCallWatcher>
#include <QPointer>
#include <QTimer>
#include <QDBusServiceWatcher>
#include <QHash>
#include <QLoggingCategory>

#include <functional>
#include <limits>
#include <map>

Q_LOGGING_CATEGORY(lcClient, "zav.client")

namespace Zav {

// Made from the interface file: every call to the service goes through it.
using Proxy = ComKelvoZavTransfersInterface;

const char *const Client::ServiceName = ZavBus::ServiceName;
const char *const Client::ObjectPath = ZavBus::ObjectPath;
const char *const Client::Interface = ZavBus::TransfersInterface;
const char *const Client::BusConnectionName = "zav-client";

namespace {
QString &busAddressSetting()
{
    static QString address;
    return address;
}

// The session bus, or the connection to the address set.
QDBusConnection theBus()
{
    const QString &address = busAddressSetting();
    if (address.isEmpty())
        return QDBusConnection::sessionBus();
    return QDBusConnection::connectToBus(address, QLatin1String(Client::BusConnectionName));
}
} // namespace

void Client::setBusAddress(const QString &address)
{
    busAddressSetting() = address;
}

QString Client::busAddress()
{
    return busAddressSetting();
}

class ClientPrivate
{
public:
    explicit ClientPrivate(Client *q)
        : q(q)
    {
    }

    // Talks to `owner` from now on (nobody when it is empty). Calls go to the unique name of the
    // instance that answered, never to whoever owns the well-known name later, and its requests
    // are taken from that instance alone.
    void follow(const QString &newOwner)
    {
        if (newOwner == owner && (proxy || newOwner.isEmpty()))
            return;
        owner = newOwner;
        proxy.reset();
        if (owner.isEmpty())
            return;
        proxy = std::make_unique<Proxy>(owner, QLatin1String(ZavBus::ObjectPath), theBus());
        proxy->setTimeout(Client::CallTimeout);
        QObject::connect(proxy.get(), &Proxy::request, q,
                         [this](const QString &id, const QString &action) { onRequest(id, action); });
    }

    // The proxy for a transfer registered with `transferOwner`; null once that instance is gone.
    Proxy *proxyFor(const QString &transferOwner) const { return transferOwner == owner ? proxy.get() : nullptr; }

    // What is wrong with an id a service answered, or nothing: a service that answers with a
    // mebibyte of id (a hostile or broken one) stalled the app that logs and shows it.
    static QString faultOf(const QString &id)
    {
        using Zav::MaxIdLength;
        if (id.isEmpty())
            return QStringLiteral("the service answered with an empty id");
        if (id.size() > MaxIdLength)
            return QStringLiteral("the service answered with an id of %1 characters (at most %2)")
                .arg(id.size())
                .arg(MaxIdLength);
        return QString();
    }

    Transfer *registered(const QString &id)
    {
        // Created only once the service has answered; a repeated id replaces nothing handed out.
        Transfer *&slot = transfers[key(owner, id)];
        if (!slot)
            slot = new Transfer(this, id, owner);
        return slot;
    }

    void onRequest(const QString &id, const QString &action)
    {
        Transfer *transfer = transfers.value(key(owner, id));
        if (!transfer)
            return;
        const std::optional<Zav::Requests::Request> request = Zav::Requests::fromWord(action);
        if (!request)
            return;
        switch (*request) {
        case Zav::Requests::Request::Cancel:
            emit q->cancelTransfer(transfer);
            break;
        case Zav::Requests::Request::Start:
            emit q->startTransfer(transfer);
            break;
        case Zav::Requests::Request::Pause:
            emit q->pauseTransfer(transfer);
            break;
        case Zav::Requests::Request::Repair:
            emit q->repairErrorTransfer(transfer);
            break;
        }
    }

    // A service that owns its name but did not answer (hung, or busy starting) is asked again,
    // without waiting, until it answers or leaves (the watcher then takes over).
    void askAgainLater()
    {
        QTimer::singleShot(RetryInterval, q, [this] {
            if (!owner.isEmpty())
                return;
            QDBusConnection bus = theBus();
            auto *service = new Proxy(QLatin1String(ZavBus::ServiceName), QLatin1String(ZavBus::ObjectPath), bus, q);
            service->setTimeout(Client::CallTimeout);
            auto *call = new QDBusPendingCallWatcher(service->ping(), q);
            QObject::connect(call, &QDBusPendingCallWatcher::finished, q, [this, service, call] {
                call->deleteLater();
                service->deleteLater();
                if (!owner.isEmpty())
                    return;
                if (call->isError()) {
                    // Gone: the watcher sees it come back. There but silent: asked again.
                    if (call->error().type() == QDBusError::NoReply || call->error().type() == QDBusError::Timeout)
                        askAgainLater();
                    return;
                }
                qCWarning(lcClient, "Zav::Client: the transfer service answers; new transfers can be registered");
                follow(call->reply().service());
                emit q->serviceAvailabilityChanged(true);
            });
        });
    }

    void onOwnerChanged(const QString &oldOwner, const QString &newOwner)
    {
        if (!oldOwner.isEmpty() && oldOwner == owner) {
            qCWarning(lcClient, "Zav::Client: the transfer service left the bus; changes to its transfers are dropped");
            follow(QString());
            emit q->serviceAvailabilityChanged(false);
        }
        if (!newOwner.isEmpty() && owner.isEmpty()) {
            // A new instance knows nothing of the transfers registered before; they stay dropped.
            qCWarning(lcClient, "Zav::Client: the transfer service is back; new transfers can be registered");
            follow(newOwner);
            emit q->serviceAvailabilityChanged(true);
        }
    }

    static QString key(const QString &owner, const QString &id) { return owner + QLatin1Char('/') + id; }

    Client *const q;
    QString owner; // unique bus name of the service instance that answers now
    std::unique_ptr<Proxy> proxy; // to `owner`
    QDBusServiceWatcher *watcher = nullptr; // made by the first init()
    static constexpr int RetryInterval = 1000; // ms between pings of a service that did not answer
    QHash<QString, Transfer *> transfers; // by owner + '/' + id
    // Unanswered changes, all transfers together: well below the bus's own limit of pending
    // replies per connection (128 where it sets none), past which it refuses calls unsent.
    static constexpr int MaxAwaited = 64;
    int awaited = 0;
    bool overflowSaid = false;
};

class TransferPrivate
{
public:
    Transfer *q;
    ClientPrivate *client;
    QString id;
    QString owner;

    struct Accepted
    {
        quint64 sent = 0; // the change's place among this transfer's changes
        QVariantList arguments;
    };
    QHash<QString, int> inFlight; // unanswered changes by method
    QHash<QString, Accepted> accepted; // the last change of each method the service took
    quint64 sends = 0;
    // The awaited changes by their place, with what their answer does once it is in. The bus
    // returns answers in the order of the calls, but Qt may hand them over out of it (a reply
    // that came before its watcher existed is handed over later): each waits for the earlier
    // ones, so that a refusal is seen only after the changes sent before it were taken.
    std::map<quint64, std::function<void()>> answers;

    void answered(quint64 sent, std::function<void()> handle)
    {
        answers[sent] = std::move(handle);
        const QPointer<Transfer> alive(q);
        while (alive && !answers.empty() && answers.begin()->second) {
            const std::function<void()> next = std::move(answers.begin()->second);
            answers.erase(answers.begin());
            next();
        }
    }

    void accept(const QString &name, quint64 sent, const QVariantList &arguments)
    {
        Accepted &last = accepted[name];
        if (sent > last.sent)
            last = {sent, arguments};
    }

    // Sends a change at once and without waiting, to the instance that registered the transfer;
    // dropped when that instance is gone. Its answer comes later: a refusal is signalled, an
    // acceptance remembered. Past MaxAwaited unanswered changes (a hung service under a flood)
    // changes go without an answer, so that waits never pile up without bound: those count as
    // accepted.
    void send(const char *method, const QVariantList &arguments)
    {
        Proxy *proxy = client->proxyFor(owner);
        if (!proxy)
            return;
        const QString name = QLatin1String(method);
        QVariantList message {id};
        message += arguments;
        const quint64 sent = ++sends;
        if (client->awaited >= ClientPrivate::MaxAwaited) {
            if (!client->overflowSaid) {
                client->overflowSaid = true;
                // Said once: a flood says it at every burst.
                qCInfo(lcClient, "Zav::Client: %d changes unanswered; further ones go without awaiting an answer",
                       ClientPrivate::MaxAwaited);
            }
            proxy->callWithArgumentList(QDBus::NoBlock, name, message);
            accept(name, sent, arguments);
            return;
        }
        ++client->awaited;
        ++inFlight[name];
        answers[sent] = nullptr;
        auto *watcher = new QDBusPendingCallWatcher(proxy->asyncCallWithArgumentList(name, message), q);
        QObject::connect(watcher, &QDBusPendingCallWatcher::finished, q, [this, watcher, name, sent, arguments] {
            watcher->deleteLater();
            --client->awaited;
            const QDBusError error = watcher->isError() ? watcher->error() : QDBusError();
            answered(sent, [this, name, sent, arguments, error] {
                auto it = inFlight.find(name);
                if (it != inFlight.end() && --*it <= 0)
                    inFlight.erase(it);
                if (!error.isValid()) {
                    accept(name, sent, arguments);
                    return;
                }
                qCWarning(lcClient, "Zav::Client: %s of transfer %s refused: %s %s", qPrintable(name),
                          qPrintable(id.left(64)), qPrintable(error.name()), qPrintable(error.message().left(200)));
                emit q->changeRefused(name, error.name(), error.message());
            });
        });
    }
};

Client::Client(QObject *parent)
    : QObject(parent)
    , d(std::make_unique<ClientPrivate>(this))
{
}

Client::~Client() = default;

bool Client::init()
{
    QDBusConnection bus = theBus();
    if (!bus.isConnected()) {
        qCWarning(lcClient, "Zav::Client: no bus: %s", qPrintable(bus.lastError().message()));
        return false;
    }
    // The service is followed from the first call on, whether it answers now or not: one that
    // starts later, or answers late, is taken up when it does.
    if (!d->watcher) {
        d->watcher = new QDBusServiceWatcher(QLatin1String(ServiceName), bus, QDBusServiceWatcher::WatchForOwnerChange,
                                             this);
        connect(d->watcher, &QDBusServiceWatcher::serviceOwnerChanged, this,
                [this](const QString &, const QString &oldOwner, const QString &newOwner) {
                    d->onOwnerChanged(oldOwner, newOwner);
                });
    }
    // To the well-known name, so that a bus that can activate the service starts it. Never a
    // call without a timeout: a hung service would block the caller for 25 s.
    Proxy service(QLatin1String(ServiceName), QLatin1String(ObjectPath), bus);
    service.setTimeout(CallTimeout);
    QDBusPendingReply<QString> reply = service.ping();
    reply.waitForFinished();
    if (reply.isError()) {
        qCWarning(lcClient, "Zav::Client: the transfer service does not answer: %s",
                  qPrintable(reply.error().message()));
        d->askAgainLater();
        return false;
    }
    d->follow(reply.reply().service());
    return true;
}

bool Client::isServiceAvailable() const
{
    return !d->owner.isEmpty();
}

Transfer *Client::registerTransfer(const QString &name, TransferType type, const QString &clientId)
{
    if (!d->proxy)
        return nullptr;
    QDBusPendingReply<QString> reply = d->proxy->registerTransfer(name, int(type), clientId);
    reply.waitForFinished();
    if (reply.isError()) {
        qCWarning(lcClient, "Zav::Client: registration of \"%s\" refused: %s %s", qPrintable(name),
                  qPrintable(reply.error().name()), qPrintable(reply.error().message()));
        return nullptr;
    }
    if (const QString fault = ClientPrivate::faultOf(reply.value()); !fault.isEmpty()) {
        qCWarning(lcClient, "Zav::Client: registration of \"%s\" failed: %s", qPrintable(name), qPrintable(fault));
        return nullptr;
    }
    return d->registered(reply.value());
}

void Client::registerTransfer(const QString &name, TransferType type, const QString &clientId, QObject *context,
                              std::function<void(Transfer *, const QString &)> done, int timeout)
{
    QPointer<QObject> guard(context);
    if (!d->proxy) {
        QTimer::singleShot(0, context, [done] { done(nullptr, QStringLiteral("no transfer service on the bus")); });
        return;
    }
    // The bus takes its largest timeout for "no timeout": a service that leaves still ends the
    // wait, with the bus's error.
    d->proxy->setTimeout(timeout < 0 ? std::numeric_limits<int>::max() : timeout);
    auto *watcher = new QDBusPendingCallWatcher(d->proxy->registerTransfer(name, int(type), clientId), this);
    d->proxy->setTimeout(CallTimeout);
    const QString owner = d->owner;
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this, watcher, guard, done, owner, name] {
        watcher->deleteLater();
        QDBusPendingReply<QString> reply = *watcher;
        if (reply.isError())
            qCWarning(lcClient, "Zav::Client: registration of \"%s\" refused: %s %s", qPrintable(name),
                      qPrintable(reply.error().name()), qPrintable(reply.error().message()));
        const QString fault = reply.isError() ? QString() : ClientPrivate::faultOf(reply.value());
        if (!fault.isEmpty())
            qCWarning(lcClient, "Zav::Client: registration of \"%s\" failed: %s", qPrintable(name), qPrintable(fault));
        // An answer from an instance that has gone since registered nothing that can be changed.
        Transfer *transfer = !reply.isError() && fault.isEmpty() && owner == d->owner ? d->registered(reply.value())
                                                                                      : nullptr;
        if (guard)
            done(transfer,
                 reply.isError()        ? QStringLiteral("%1: %2").arg(reply.error().name(), reply.error().message())
                     : !fault.isEmpty() ? fault
                     : transfer         ? QString()
                                        : QStringLiteral("the transfer service left the bus"));
    });
}

Transfer::Transfer(ClientPrivate *client, const QString &id, const QString &owner)
    : QObject(client->q)
    , d(new TransferPrivate {this, client, id, owner, {}, {}, 0, {}})
{
}

Transfer::~Transfer() = default;

QString Transfer::id() const
{
    return d->id;
}

QString Transfer::serviceInstance() const
{
    return d->owner;
}

int Transfer::changesInFlight(const QStringList &calls) const
{
    int count = 0;
    for (const QString &call : calls)
        count += d->inFlight.value(call);
    return count;
}

QString Transfer::lastAccepted(const QStringList &calls, QVariantList *arguments) const
{
    QString last;
    quint64 order = 0;
    for (const QString &call : calls) {
        auto it = d->accepted.constFind(call);
        if (it != d->accepted.constEnd() && it->sent > order) {
            order = it->sent;
            last = call;
            if (arguments)
                *arguments = it->arguments;
        }
    }
    return last;
}

void Transfer::markCompleted(bool showResult, const QString &message, const QString &resultUri)
{
    d->send(ZavBus::Transfers::markCompleted, {showResult, message, resultUri});
}
void Transfer::setImageFromFilePath(const QString &path)
{
    d->send(ZavBus::Transfers::setImageFromFilePath, {path});
}
void Transfer::setAccount(const QString &account)
{
    d->send(ZavBus::Transfers::setAccount, {account});
}
void Transfer::setCount(int count)
{
    d->send(ZavBus::Transfers::setCount, {count});
}
void Transfer::setSize(quint64 bytes)
{
    d->send(ZavBus::Transfers::setSize, {QVariant::fromValue(bytes)});
}
void Transfer::setProgress(float done)
{
    d->send(ZavBus::Transfers::setProgress, {double(done)});
}
void Transfer::setSpeed(int speed)
{
    d->send(ZavBus::Transfers::setSpeed, {speed});
}
void Transfer::setMessage(const QString &message)
{
    d->send(ZavBus::Transfers::setMessage, {message});
}
void Transfer::setEstimate(int seconds)
{
    d->send(ZavBus::Transfers::setEstimate, {seconds});
}
void Transfer::setCanPause(bool canPause)
{
    d->send(ZavBus::Transfers::setCanPause, {canPause});
}
void Transfer::setName(const QString &name)
{
    d->send(ZavBus::Transfers::setName, {name});
}
void Transfer::setServiceIconType(int type)
{
    d->send(ZavBus::Transfers::setServiceIconType, {type});
}
void Transfer::setThumbnailForFile(const QString &file, const QString &mimeType)
{
    d->send(ZavBus::Transfers::setThumbnailForFile, {file, mimeType});
}
void Transfer::setCancelButtonText(const QString &text)
{
    d->send(ZavBus::Transfers::setCancelButtonText, {text});
}
void Transfer::setTitle(const QString &title)
{
    d->send(ZavBus::Transfers::setTitle, {title});
}
void Transfer::startCommit()
{
    d->send(ZavBus::Transfers::startCommit, {});
}
void Transfer::endCommit()
{
    d->send(ZavBus::Transfers::endCommit, {});
}
void Transfer::setPending(const QString &reason)
{
    d->send(ZavBus::Transfers::setPending, {reason});
}
void Transfer::setActive(float done)
{
    d->send(ZavBus::Transfers::setActive, {double(done)});
}
void Transfer::markCancelled()
{
    d->send(ZavBus::Transfers::markCancelled, {});
}
void Transfer::markPaused()
{
    d->send(ZavBus::Transfers::markPaused, {});
}
void Transfer::markRestarted()
{
    d->send(ZavBus::Transfers::markRestarted, {});
}
void Transfer::markFailure(const QString &headline, const QString &description)
{
    d->send(ZavBus::Transfers::markFailure, {headline, description});
}
void Transfer::markRepairableFailure(const QString &headline, const QString &description, const QString &actionText)
{
    d->send(ZavBus::Transfers::markRepairableFailure, {headline, description, actionText});
}
void Transfer::markCancelFailed(const QString &reason)
{
    d->send(ZavBus::Transfers::markCancelFailed, {reason});
}

} // namespace Zav
