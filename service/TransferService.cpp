#include "TransferService.h"

#include "ControlAdaptor.h"
#include "TransfersAdaptor.h"

#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusServiceWatcher>
#include <QJsonDocument>

#include <cmath>

const char *const TransferService::ServiceName = "com.kelvo.zav";
const char *const TransferService::ObjectPath = "/com/kelvo/zav";
const char *const TransferService::TransfersInterface = "com.kelvo.zav.Transfers";

namespace {
const QString ErrorUnknownTransfer = QStringLiteral("com.kelvo.zav.Error.UnknownTransfer");
const QString ErrorRefused = QStringLiteral("com.kelvo.zav.Error.Refused");
const QString ErrorNotInCommit = QStringLiteral("com.kelvo.zav.Error.NotInCommit");
const QString ErrorAccessDenied = QStringLiteral("org.freedesktop.DBus.Error.AccessDenied");
const QString ErrorInvalidArgs = QStringLiteral("org.freedesktop.DBus.Error.InvalidArgs");
const QString ErrorLimitsExceeded = QStringLiteral("org.freedesktop.DBus.Error.LimitsExceeded");

// Sizes beyond what a JSON number holds exactly are journalled as text.
QJsonValue jsonCount(quint64 value)
{
    if (value <= quint64(std::numeric_limits<qint64>::max()))
        return qint64(value);
    return QString::number(value);
}
} // namespace

TransferService::TransferService(const QDBusConnection &bus, const Limits &limits, QObject *parent)
    : QObject(parent)
    , m_bus(bus)
    , m_limits(limits)
    , m_owners(new QDBusServiceWatcher(this))
{
    new TransfersAdaptor(this);
    new ControlAdaptor(this);
    m_owners->setConnection(m_bus);
    m_owners->setWatchMode(QDBusServiceWatcher::WatchForUnregistration);
    connect(m_owners, &QDBusServiceWatcher::serviceUnregistered, this, &TransferService::ownerLeft);
    // Watchers get at most one notice per transfer every 50 ms: a burst of changes costs one.
    m_notifyTimer.setSingleShot(true);
    m_notifyTimer.setInterval(50);
    connect(&m_notifyTimer, &QTimer::timeout, this, &TransferService::notifyWatchers);
}

TransferService::~TransferService() = default;

bool TransferService::start(QString *error)
{
    if (!m_bus.isConnected()) {
        *error = QStringLiteral("no session bus");
        return false;
    }
    if (!m_bus.registerObject(QLatin1String(ObjectPath), this)) {
        *error = QStringLiteral("cannot export %1").arg(QLatin1String(ObjectPath));
        return false;
    }
    if (!m_bus.registerService(QLatin1String(ServiceName))) {
        *error = m_bus.lastError().message();
        if (error->isEmpty())
            *error = QStringLiteral("the name %1 is taken").arg(QLatin1String(ServiceName));
        m_bus.unregisterObject(QLatin1String(ObjectPath));
        return false;
    }
    return true;
}

QString TransferService::sender() const
{
    return calledFromDBus() ? message().service() : QString();
}

void TransferService::refuse(const QString &id, const QString &call, const QJsonArray &args, const QString &errorName,
                             const QString &text)
{
    m_journal.write(sender(), id, call, args, errorName);
    if (calledFromDBus() && message().isReplyRequired())
        sendErrorReply(errorName, text);
}

bool TransferService::tooLong(const QJsonArray &args) const
{
    for (const QJsonValue &arg : args) {
        if (arg.isString() && arg.toString().size() > m_limits.maxStringLength)
            return true;
    }
    return false;
}

TransferRecord *TransferService::accept(const QString &id, const QString &call, const QJsonArray &args)
{
    auto it = m_transfers.find(id);
    if (it == m_transfers.end()) {
        refuse(id, call, args, ErrorUnknownTransfer, QStringLiteral("no transfer with id \"%1\"").arg(id.left(64)));
        return nullptr;
    }
    if (it->owner != sender()) {
        refuse(id, call, args, ErrorAccessDenied, QStringLiteral("transfer %1 belongs to another connection").arg(id));
        return nullptr;
    }
    if (tooLong(args)) {
        QJsonArray shortened;
        for (const QJsonValue &arg : args)
            shortened.append(arg.isString() && arg.toString().size() > m_limits.maxStringLength
                                 ? QJsonValue(QStringLiteral("(%1 characters)").arg(arg.toString().size()))
                                 : arg);
        refuse(id, call, shortened, ErrorInvalidArgs,
               QStringLiteral("texts are limited to %1 characters").arg(m_limits.maxStringLength));
        return nullptr;
    }
    m_journal.write(sender(), id, call, args);
    ++it->calls;
    return &*it;
}

void TransferService::applied(TransferRecord *record)
{
    if (record->inCommit)
        return;
    ++record->updates;
    m_dirty.insert(record->id);
    if (!m_notifyTimer.isActive())
        m_notifyTimer.start();
}

void TransferService::notifyWatchers()
{
    const QSet<QString> dirty = std::exchange(m_dirty, {});
    for (const QString &id : dirty) {
        auto it = m_transfers.constFind(id);
        if (it != m_transfers.constEnd())
            emit transferChanged(id, QString::fromUtf8(QJsonDocument(it->toJson()).toJson(QJsonDocument::Compact)));
    }
}

QString TransferService::ping()
{
    m_journal.write(sender(), QString(), QStringLiteral("ping"), {});
    return QStringLiteral("0.1");
}

QString TransferService::registerTransfer(const QString &name, int type, const QString &clientId)
{
    const QString call = QStringLiteral("registerTransfer");
    const QJsonArray args {name, type, clientId};
    if (type < 0 || type > 2) {
        refuse(QString(), call, args, ErrorInvalidArgs, QStringLiteral("unknown transfer type %1").arg(type));
        return QString();
    }
    if (tooLong(args)) {
        refuse(QString(), call, {QStringLiteral("(%1 characters)").arg(name.size()), type, clientId.left(64)},
               ErrorInvalidArgs, QStringLiteral("texts are limited to %1 characters").arg(m_limits.maxStringLength));
        return QString();
    }
    if (m_refuse) {
        refuse(QString(), call, args, ErrorRefused, QStringLiteral("the service refuses new transfers"));
        return QString();
    }
    if (m_transfers.size() >= m_limits.maxTransfers) {
        refuse(QString(), call, args, ErrorLimitsExceeded,
               QStringLiteral("at most %1 transfers at a time").arg(m_limits.maxTransfers));
        return QString();
    }
    TransferRecord record;
    record.id = QString::number(++m_nextId);
    record.owner = sender();
    record.live.name = name;
    record.live.type = type;
    record.live.clientId = clientId;
    m_journal.write(record.owner, record.id, call, args);
    if (!record.owner.isEmpty() && !m_owners->watchedServices().contains(record.owner))
        m_owners->addWatchedService(record.owner);
    const QString id = record.id;
    m_transfers.insert(id, record);
    m_order.append(id);
    applied(&m_transfers[id]);
    return id;
}

void TransferService::ownerLeft(const QString &owner)
{
    m_owners->removeWatchedService(owner);
    QJsonArray gone;
    for (auto it = m_order.begin(); it != m_order.end();) {
        auto record = m_transfers.find(*it);
        if (record != m_transfers.end() && record->owner == owner) {
            gone.append(*it);
            m_transfers.erase(record);
            m_dirty.remove(*it);
            it = m_order.erase(it);
        } else {
            ++it;
        }
    }
    m_journal.write(owner, QString(), QStringLiteral("clientGone"), gone);
    for (const QJsonValue &id : std::as_const(gone))
        emit transferRemoved(id.toString());
}

#define ZAV_CHANGE(call, args, change)                                                                                 \
    if (TransferRecord *r = accept(id, QStringLiteral(call), args)) {                                                  \
        TransferValues &v = r->target();                                                                               \
        change;                                                                                                        \
        applied(r);                                                                                                    \
    }

void TransferService::setAccount(const QString &id, const QString &account)
{
    ZAV_CHANGE("setAccount", QJsonArray {account}, v.account = account)
}

void TransferService::setCount(const QString &id, int count)
{
    ZAV_CHANGE("setCount", QJsonArray {count}, v.count = count)
}

void TransferService::setSize(const QString &id, qulonglong bytes)
{
    ZAV_CHANGE("setSize", QJsonArray {jsonCount(bytes)}, v.size = bytes)
}

void TransferService::setProgress(const QString &id, double done)
{
    if (!std::isfinite(done)) {
        refuse(id, QStringLiteral("setProgress"), {QString::number(done)}, ErrorInvalidArgs,
               QStringLiteral("progress must be a finite number"));
        return;
    }
    ZAV_CHANGE("setProgress", QJsonArray {done}, v.progress = done)
}

void TransferService::setSpeed(const QString &id, int speed)
{
    ZAV_CHANGE("setSpeed", QJsonArray {speed}, v.speed = speed)
}

void TransferService::setMessage(const QString &id, const QString &message)
{
    ZAV_CHANGE("setMessage", QJsonArray {message}, v.message = message)
}

void TransferService::setEstimate(const QString &id, int seconds)
{
    ZAV_CHANGE("setEstimate", QJsonArray {seconds}, v.estimate = seconds)
}

void TransferService::setCanPause(const QString &id, bool canPause)
{
    ZAV_CHANGE("setCanPause", QJsonArray {canPause}, v.canPause = canPause)
}

void TransferService::setName(const QString &id, const QString &name)
{
    ZAV_CHANGE("setName", QJsonArray {name}, v.name = name)
}

void TransferService::setServiceIconType(const QString &id, int type)
{
    ZAV_CHANGE("setServiceIconType", QJsonArray {type}, v.serviceIconType = type)
}

void TransferService::setThumbnailForFile(const QString &id, const QString &file, const QString &mimeType)
{
    ZAV_CHANGE("setThumbnailForFile", (QJsonArray {file, mimeType}), v.thumbnailFile = file;
               v.thumbnailMimeType = mimeType)
}

void TransferService::setCancelButtonText(const QString &id, const QString &text)
{
    ZAV_CHANGE("setCancelButtonText", QJsonArray {text}, v.cancelButtonText = text)
}

void TransferService::setTitle(const QString &id, const QString &title)
{
    ZAV_CHANGE("setTitle", QJsonArray {title}, v.title = title)
}

void TransferService::setImageFromFilePath(const QString &id, const QString &path)
{
    ZAV_CHANGE("setImageFromFilePath", QJsonArray {path}, v.image = path)
}

void TransferService::setPending(const QString &id, const QString &reason)
{
    ZAV_CHANGE("setPending", QJsonArray {reason}, v.state = TransferValues::State::Pending; v.reason = reason)
}

void TransferService::setActive(const QString &id, double done)
{
    if (!std::isfinite(done)) {
        refuse(id, QStringLiteral("setActive"), {QString::number(done)}, ErrorInvalidArgs,
               QStringLiteral("progress must be a finite number"));
        return;
    }
    ZAV_CHANGE("setActive", QJsonArray {done}, v.state = TransferValues::State::Active; v.progress = done)
}

void TransferService::markCancelled(const QString &id)
{
    ZAV_CHANGE("markCancelled", QJsonArray {}, v.state = TransferValues::State::Cancelled)
}

void TransferService::markPaused(const QString &id)
{
    ZAV_CHANGE("markPaused", QJsonArray {}, v.state = TransferValues::State::Paused)
}

void TransferService::markRestarted(const QString &id)
{
    ZAV_CHANGE("markRestarted", QJsonArray {}, v.state = TransferValues::State::Active)
}

void TransferService::markFailure(const QString &id, const QString &headline, const QString &description)
{
    ZAV_CHANGE("markFailure", (QJsonArray {headline, description}), v.state = TransferValues::State::Failed;
               v.failureHeadline = headline; v.failureDescription = description; v.failureAction.clear())
}

void TransferService::markRepairableFailure(const QString &id, const QString &headline, const QString &description,
                                            const QString &actionText)
{
    ZAV_CHANGE("markRepairableFailure", (QJsonArray {headline, description, actionText}),
               v.state = TransferValues::State::Failed;
               v.failureHeadline = headline; v.failureDescription = description; v.failureAction = actionText)
}

void TransferService::markCancelFailed(const QString &id, const QString &reason)
{
    ZAV_CHANGE("markCancelFailed", QJsonArray {reason}, v.state = TransferValues::State::CancelFailed;
               v.reason = reason)
}

void TransferService::markCompleted(const QString &id, bool showResult, const QString &message,
                                    const QString &resultUri)
{
    ZAV_CHANGE("markCompleted", (QJsonArray {showResult, message, resultUri}), v.state = TransferValues::State::Done;
               v.showResult = showResult; v.resultMessage = message; v.resultUri = resultUri)
}

#undef ZAV_CHANGE

void TransferService::startCommit(const QString &id)
{
    TransferRecord *r = accept(id, QStringLiteral("startCommit"), {});
    if (!r || r->inCommit)
        return;
    r->staged = r->live;
    r->inCommit = true;
}

void TransferService::endCommit(const QString &id)
{
    auto it = m_transfers.find(id);
    if (it != m_transfers.end() && it->owner == sender() && !it->inCommit) {
        refuse(id, QStringLiteral("endCommit"), {}, ErrorNotInCommit, QStringLiteral("no commit was started"));
        return;
    }
    TransferRecord *r = accept(id, QStringLiteral("endCommit"), {});
    if (!r)
        return;
    r->live = r->staged;
    r->inCommit = false;
    applied(r);
}

QString TransferService::transfers()
{
    QJsonArray all;
    for (const QString &id : std::as_const(m_order))
        all.append(m_transfers.value(id).toJson());
    return QString::fromUtf8(QJsonDocument(all).toJson(QJsonDocument::Compact));
}

QString TransferService::transfer(const QString &id)
{
    auto it = m_transfers.constFind(id);
    if (it == m_transfers.constEnd()) {
        if (calledFromDBus())
            sendErrorReply(ErrorUnknownTransfer, QStringLiteral("no transfer with id \"%1\"").arg(id.left(64)));
        return QString();
    }
    return QString::fromUtf8(QJsonDocument(it->toJson()).toJson(QJsonDocument::Compact));
}

void TransferService::sendRequest(const QString &id, const QString &action)
{
    const QString call = QStringLiteral("sendRequest");
    static const QStringList actions {QStringLiteral("cancel"), QStringLiteral("start"), QStringLiteral("pause"),
                                      QStringLiteral("repair")};
    if (!actions.contains(action)) {
        refuse(id, call, {action.left(64)}, ErrorInvalidArgs,
               QStringLiteral("unknown request \"%1\"; one of cancel, start, pause, repair").arg(action.left(64)));
        return;
    }
    auto it = m_transfers.constFind(id);
    if (it == m_transfers.constEnd()) {
        refuse(id, call, {action}, ErrorUnknownTransfer, QStringLiteral("no transfer with id \"%1\"").arg(id.left(64)));
        return;
    }
    m_journal.write(sender(), id, call, {action});
    // To the owner only: other programs must not learn of, or act on, this transfer's requests.
    QDBusMessage signal = QDBusMessage::createTargetedSignal(
        it->owner, QLatin1String(ObjectPath), QLatin1String(TransfersInterface), QStringLiteral("request"));
    signal << id << action;
    m_bus.send(signal);
    m_journal.write(it->owner, id, QStringLiteral("request"), {action});
}

void TransferService::setRefuseRegistrations(bool refuse)
{
    m_journal.write(sender(), QString(), QStringLiteral("setRefuseRegistrations"), {refuse});
    m_refuse = refuse;
}
