#include "zav/ZavClient.h"

#include "ZavBusNames.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusServiceWatcher>
#include <QLoggingCategory>

Q_LOGGING_CATEGORY(lcClient, "zav.client")

namespace Zav {

// Receives the service's request signals; QtDBus needs a slot, and the slot's message type
// stays out of the public header.
class BusListener : public QObject
{
    Q_OBJECT
public:
    explicit BusListener(Client *client)
        : QObject(client)
        , m_client(client)
    {
    }

public Q_SLOTS:
    void onRequest(const QString &id, const QString &action, const QDBusMessage &message)
    {
        m_client->onRequest(id, action, message.service());
    }

private:
    Client *m_client;
};

const char *const Client::ServiceName = ZavBus::ServiceName;
const char *const Client::ObjectPath = ZavBus::ObjectPath;
const char *const Client::Interface = ZavBus::TransfersInterface;

namespace {
QString key(const QString &owner, const QString &id)
{
    return owner + QLatin1Char('/') + id;
}

QDBusMessage methodCall(const QString &destination, const QString &method)
{
    return QDBusMessage::createMethodCall(destination, QLatin1String(Client::ObjectPath),
                                          QLatin1String(Client::Interface), method);
}
} // namespace

Client::Client(QObject *parent)
    : QObject(parent)
{
}

Client::~Client() = default;

bool Client::init()
{
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) {
        qCWarning(lcClient, "Zav::Client: no session bus: %s", qPrintable(bus.lastError().message()));
        return false;
    }
    // Never a call without a timeout: a hung service would block the caller for 25 s.
    const QDBusMessage reply = bus.call(methodCall(QLatin1String(ServiceName), QStringLiteral("ping")), QDBus::Block,
                                        CallTimeout);
    if (reply.type() != QDBusMessage::ReplyMessage) {
        qCWarning(lcClient, "Zav::Client: the transfer service does not answer: %s", qPrintable(reply.errorMessage()));
        return false;
    }
    m_owner = reply.service();
    if (!m_listener) {
        // Requests are sent to this connection only; the sender is checked in onRequest.
        m_listener = new BusListener(this);
        bus.connect(QLatin1String(ServiceName), QLatin1String(ObjectPath), QLatin1String(Interface),
                    QStringLiteral("request"), m_listener, SLOT(onRequest(QString, QString, QDBusMessage)));
        m_watcher = new QDBusServiceWatcher(QLatin1String(ServiceName), bus, QDBusServiceWatcher::WatchForOwnerChange,
                                            this);
        connect(m_watcher, &QDBusServiceWatcher::serviceOwnerChanged, this,
                [this](const QString &, const QString &oldOwner, const QString &newOwner) {
                    onOwnerChanged(oldOwner, newOwner);
                });
    }
    return true;
}

Transfer *Client::registerTransfer(const QString &name, TransferType type, const QString &clientId)
{
    if (m_owner.isEmpty())
        return nullptr;
    QDBusMessage call = methodCall(m_owner, QStringLiteral("registerTransfer"));
    call.setAutoStartService(false);
    call << name << int(type) << clientId;
    const QDBusMessage reply = QDBusConnection::sessionBus().call(call, QDBus::Block, CallTimeout);
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().size() != 1
        || reply.arguments().constFirst().userType() != QMetaType::QString) {
        qCWarning(lcClient, "Zav::Client: registration of \"%s\" refused: %s %s", qPrintable(name), qPrintable(reply.errorName()),
                 qPrintable(reply.errorMessage()));
        return nullptr;
    }
    const QString id = reply.arguments().constFirst().toString();
    // Created only once the service has answered; a repeated id replaces nothing we handed out.
    Transfer *&slot = m_transfers[key(m_owner, id)];
    if (!slot)
        slot = new Transfer(this, id, m_owner);
    return slot;
}

void Client::onRequest(const QString &id, const QString &action, const QString &sender)
{
    Transfer *transfer = m_transfers.value(key(sender, id));
    if (!transfer || sender != m_owner)
        return;
    if (action == QLatin1String("cancel"))
        emit cancelTransfer(transfer);
    else if (action == QLatin1String("start"))
        emit startTransfer(transfer);
    else if (action == QLatin1String("pause"))
        emit pauseTransfer(transfer);
    else if (action == QLatin1String("repair"))
        emit repairErrorTransfer(transfer);
}

void Client::onOwnerChanged(const QString &oldOwner, const QString &newOwner)
{
    if (!oldOwner.isEmpty() && oldOwner == m_owner) {
        qCWarning(lcClient, "Zav::Client: the transfer service left the bus; changes to its transfers are dropped");
        m_owner.clear();
        emit serviceAvailabilityChanged(false);
    }
    if (!newOwner.isEmpty() && m_owner.isEmpty()) {
        // A new instance knows nothing of the transfers registered before; they stay dropped.
        qCWarning(lcClient, "Zav::Client: the transfer service is back; new transfers can be registered");
        m_owner = newOwner;
        emit serviceAvailabilityChanged(true);
    }
}

void Client::send(const QString &owner, const QString &method, const QVariantList &arguments)
{
    if (owner != m_owner)
        return;
    // To the instance that registered the transfer, never to whoever owns the name later.
    QDBusMessage call = methodCall(owner, method);
    call.setAutoStartService(false);
    call.setArguments(arguments);
    QDBusConnection::sessionBus().send(call);
}

Transfer::Transfer(Client *client, const QString &id, const QString &owner)
    : QObject(client)
    , m_client(client)
    , m_id(id)
    , m_owner(owner)
{
}

Transfer::~Transfer() = default;

void Transfer::send(const char *method, const QVariantList &arguments)
{
    m_client->send(m_owner, QLatin1String(method), QVariantList {m_id} + arguments);
}

QString Transfer::id() const
{
    return m_id;
}

void Transfer::markCompleted(bool showResult, const QString &message, const QString &resultUri)
{
    send("markCompleted", {showResult, message, resultUri});
}

void Transfer::setImageFromFilePath(const QString &path)
{
    send("setImageFromFilePath", {path});
}
void Transfer::setAccount(const QString &account)
{
    send("setAccount", {account});
}
void Transfer::setCount(int count)
{
    send("setCount", {count});
}
void Transfer::setSize(quint64 bytes)
{
    send("setSize", {QVariant::fromValue<qulonglong>(bytes)});
}
void Transfer::setProgress(float done)
{
    send("setProgress", {double(done)});
}
void Transfer::setSpeed(int speed)
{
    send("setSpeed", {speed});
}
void Transfer::setMessage(const QString &message)
{
    send("setMessage", {message});
}
void Transfer::setEstimate(int seconds)
{
    send("setEstimate", {seconds});
}
void Transfer::setCanPause(bool canPause)
{
    send("setCanPause", {canPause});
}
void Transfer::setName(const QString &name)
{
    send("setName", {name});
}
void Transfer::setServiceIconType(int type)
{
    send("setServiceIconType", {type});
}
void Transfer::setThumbnailForFile(const QString &file, const QString &mimeType)
{
    send("setThumbnailForFile", {file, mimeType});
}
void Transfer::setCancelButtonText(const QString &text)
{
    send("setCancelButtonText", {text});
}
void Transfer::setTitle(const QString &title)
{
    send("setTitle", {title});
}
void Transfer::startCommit()
{
    send("startCommit");
}
void Transfer::endCommit()
{
    send("endCommit");
}
void Transfer::setPending(const QString &reason)
{
    send("setPending", {reason});
}
void Transfer::setActive(float done)
{
    send("setActive", {double(done)});
}
void Transfer::markCancelled()
{
    send("markCancelled");
}
void Transfer::markPaused()
{
    send("markPaused");
}
void Transfer::markRestarted()
{
    send("markRestarted");
}
void Transfer::markFailure(const QString &headline, const QString &description)
{
    send("markFailure", {headline, description});
}
void Transfer::markRepairableFailure(const QString &headline, const QString &description, const QString &actionText)
{
    send("markRepairableFailure", {headline, description, actionText});
}
void Transfer::markCancelFailed(const QString &reason)
{
    send("markCancelFailed", {reason});
}

} // namespace Zav

#include "ZavClient.moc"
