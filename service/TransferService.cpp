// SPDX-License-Identifier: MIT
#include "TransferService.h"

#include "ControlAdaptor.h"
#include "JsonPage.h"
#include "Requests.h"
#include "TransfersAdaptor.h"
#include "ZavBusNames.h"
#include "ZavContract.h"
#include "ZavVersion.h"
#include "ZavVocabulary.h"

#include <QCoreApplication>
#include <QDBusMessage>
#include <QJsonDocument>

#include <algorithm>
#include <cmath>

const char *const TransferService::ServiceName = ZavBus::ServiceName;
const char *const TransferService::ObjectPath = ZavBus::ObjectPath;
const char *const TransferService::TransfersInterface = ZavBus::TransfersInterface;

namespace {
const QString ErrorUnknownTransfer = QLatin1String(Zav::Errors::UnknownTransfer);
const QString ErrorRefused = QLatin1String(Zav::Errors::Refused);
const QString ErrorNotInCommit = QLatin1String(Zav::Errors::NotInCommit);
const QString ErrorAccessDenied = QLatin1String(Zav::Errors::AccessDenied);
const QString ErrorInvalidArgs = QLatin1String(Zav::Errors::InvalidArgs);
const QString ErrorLimitsExceeded = QLatin1String(Zav::Errors::LimitsExceeded);
// What ping, status and the journal's run marks give as the service's version.
const QString Version = QLatin1String(Zav::Version);

// A page of the listing holds at most this many transfers, and stops once it is this large.
constexpr int MaxPageCount = Zav::PageSize;
constexpr qsizetype MaxPageBytes = 1024 * 1024;
// Removals kept for a watcher that does not fetch them; past this it lists everything again.

// Non-finite numbers are journalled as text: JSON has no NaN.
QJsonValue jsonNumber(double value)
{
    return std::isfinite(value) ? QJsonValue(value) : QJsonValue(QString::number(value));
}

// Why the interface refuses `value` as the number argument of `call`, or an empty text.
QString outOfRange(const char *call, double value)
{
    return Zav::callRule(QLatin1String(call))->refusal(value);
}

quint64 numericId(const QString &id)
{
    return id.toULongLong();
}
} // namespace

TransferService::TransferService(const QDBusConnection &bus, const Limits &limits, std::unique_ptr<ServiceRules> rules,
                                 QObject *parent)
    : QObject(parent)
    , m_bus(bus)
    , m_limits(limits)
    , m_rules(rules ? std::move(rules) : std::make_unique<ServiceRules>())
    , m_texts(limits.maxTextBytes, limits.maxTextBytesPerClient)
    , m_feed(bus, ObjectPath, limits.maxPendingRemovals)
{
    new TransfersAdaptor(this);
    if (m_rules->controlOffered())
        new ControlAdaptor(this);
    // Names lost only (the new owner empty): the bus need not send the service every arrival.
    m_bus.connect(QStringLiteral("org.freedesktop.DBus"), QStringLiteral("/org/freedesktop/DBus"),
                  QStringLiteral("org.freedesktop.DBus"), QStringLiteral("NameOwnerChanged"),
                  {QString(), QString(), QLatin1String("")}, QString(), this,
                  SLOT(nameOwnerChanged(QString, QString, QString)));
}

TransferService::~TransferService() = default;

bool TransferService::openJournal(const QString &path, qint64 maxSize)
{
    if (!m_journal.open(path, maxSize))
        return false;
    // A journal holds the runs of the service one after another: ids start again at 1 in each.
    m_journal.write(QString(), QString(), QStringLiteral("serviceStarted"),
                    {Version, QCoreApplication::applicationPid()});
    return true;
}

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

QJsonValue TransferService::bounded(const QJsonValue &value) const
{
    if (value.isString() && value.toString().size() > m_limits.maxStringLength)
        return QStringLiteral("(%1 characters)").arg(value.toString().size());
    return value;
}

void TransferService::refuse(const QString &id, const QString &call, const QJsonArray &args, const QString &errorName,
                             const QString &text)
{
    QJsonArray shortened;
    for (const QJsonValue &arg : args)
        shortened.append(bounded(arg));
    m_journal.write(sender(), bounded(id).toString(), call, shortened, errorName);
    if (calledFromDBus() && message().isReplyRequired()) {
        m_journal.flush();
        sendErrorReply(errorName, text);
    }
}

bool TransferService::tooLong(const QJsonArray &args) const
{
    return std::any_of(args.begin(), args.end(), [this](const QJsonValue &arg) {
        return arg.isString() && arg.toString().size() > m_limits.maxStringLength;
    });
}

TransferRecord *TransferService::accept(const QString &id, const QString &call, const QJsonArray &args,
                                        const QString &invalid)
{
    auto it = m_transfers.find(id);
    if (it == m_transfers.end()) {
        refuse(id, call, args, ErrorUnknownTransfer, QStringLiteral("no transfer with id \"%1\"").arg(id.left(64)));
        return nullptr;
    }
    if (it->owner != sender() && m_rules->changesByOwnerOnly()) {
        refuse(id, call, args, ErrorAccessDenied, QStringLiteral("transfer %1 belongs to another connection").arg(id));
        return nullptr;
    }
    if (tooLong(args)) {
        refuse(id, call, args, ErrorInvalidArgs,
               QStringLiteral("texts are limited to %1 characters").arg(m_limits.maxStringLength));
        return nullptr;
    }
    if (!invalid.isEmpty()) {
        refuse(id, call, args, ErrorInvalidArgs, invalid);
        return nullptr;
    }
    m_journal.write(sender(), id, call, args);
    ++it->calls;
    return &*it;
}

template <typename Apply>
void TransferService::change(const QString &id, const char *call, const QJsonArray &args, Apply apply,
                             const QString &invalid)
{
    // A change that brings text counts against the budgets: it is tried on a copy first (texts
    // are shared, so the copy costs little).
    auto it = m_transfers.find(id);
    const bool bringsText = std::any_of(args.begin(), args.end(), [](const QJsonValue &arg) { return arg.isString(); });
    if (bringsText && it != m_transfers.end() && it->owner == sender() && invalid.isEmpty() && !tooLong(args)) {
        TransferRecord trial = *it;
        apply(trial.target());
        if (!withinTextBudget(it->owner, trial.textBytes() - it->textBytes(), id, QLatin1String(call), args))
            return;
    }
    if (TransferRecord *record = accept(id, QLatin1String(call), args, invalid)) {
        const qint64 before = bringsText ? record->textBytes() : 0;
        apply(record->target());
        if (bringsText)
            countText(record->owner, record->textBytes() - before);
        applied(record);
    }
}

bool TransferService::withinTextBudget(const QString &owner, qint64 bytes, const QString &id, const QString &call,
                                       const QJsonArray &args)
{
    const QString refusal = m_texts.refusal(owner, bytes);
    if (refusal.isEmpty())
        return true;
    refuse(id, call, args, ErrorLimitsExceeded, refusal);
    return false;
}

void TransferService::countText(const QString &owner, qint64 bytes)
{
    m_texts.count(owner, bytes);
    // The calls that brought long texts left gaps between them.
    if (bytes != 0)
        Q_EMIT memoryFreed();
}

void TransferService::applied(TransferRecord *record)
{
    if (record->inCommit)
        return;
    ++record->updates;
    m_feed.changed(record);
}

QString TransferService::changes(int count)
{
    m_journal.flush();
    return QString::fromUtf8(m_feed.page(sender(), qBound(1, count, MaxPageCount), MaxPageBytes,
                                         [this](const QString &id) { return m_transfers.constFind(id)->toJson(); }));
}

QString TransferService::ping()
{
    m_journal.write(sender(), QString(), QLatin1String(__func__), {});
    // Whoever gets the answer finds everything it sent before in the journal.
    m_journal.flush();
    return Version;
}

QString TransferService::registerTransfer(const QString &name, int type, const QString &clientId)
{
    const QString call = QLatin1String(__func__);
    const QJsonArray args {name, type, clientId};
    const QString owner = sender();
    if (const QString invalid = outOfRange(__func__, type); !invalid.isEmpty()) {
        refuse(QString(), call, args, ErrorInvalidArgs, invalid);
        return QString();
    }
    if (tooLong(args)) {
        refuse(QString(), call, args, ErrorInvalidArgs,
               QStringLiteral("texts are limited to %1 characters").arg(m_limits.maxStringLength));
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
    if (m_owned.value(owner).size() >= m_limits.maxPerClient) {
        refuse(QString(), call, args, ErrorLimitsExceeded,
               QStringLiteral("at most %1 transfers at a time for one connection").arg(m_limits.maxPerClient));
        return QString();
    }
    TransferRecord record;
    record.live.name = name;
    record.live.type = type;
    record.live.clientId = clientId;
    if (!withinTextBudget(owner, record.textBytes(), QString(), call, args))
        return QString();
    countText(owner, record.textBytes());
    record.id = QString::number(++m_nextId);
    record.owner = owner;
    m_journal.write(record.owner, record.id, call, args);
    const QString id = record.id;
    m_transfers.insert(id, record);
    m_order.emplace_hint(m_order.end(), m_nextId, id);
    m_owned[owner].append(id);
    applied(&m_transfers[id]);
    m_journal.flush();
    return id;
}

void TransferService::nameOwnerChanged(const QString &name, const QString &, const QString &newOwner)
{
    // The rule is the bus's before any client's call: a client's leaving comes after its calls,
    // also when it left before they were handled (before, with a watch added at each client's
    // first call, 2,000 that asked and left at once stayed counted for good).
    if (!newOwner.isEmpty() || !name.startsWith(QLatin1Char(':')))
        return;
    m_feed.forget(name);
    if (m_owned.contains(name))
        ownerLeft(name);
}

void TransferService::ownerLeft(const QString &owner)
{
    if (!m_rules->departedForgotten())
        return;
    const QList<QString> owned = m_owned.take(owner);
    QJsonArray gone;
    for (const QString &id : owned) {
        auto record = m_transfers.find(id);
        if (record == m_transfers.end())
            continue;
        gone.append(id);
        m_feed.removed(*record);
        m_order.erase(numericId(id));
        m_transfers.erase(record);
    }
    m_texts.release(owner);
    Q_EMIT memoryFreed();
    m_journal.write(owner, QString(), QStringLiteral("clientGone"), gone);
}

void TransferService::setAccount(const QString &id, const QString &account)
{
    change(id, __func__, {account}, [&](TransferValues &v) { v.account = account; });
}

void TransferService::setCount(const QString &id, int count)
{
    change(
        id, __func__, {count}, [&](TransferValues &v) { v.count = count; }, outOfRange(__func__, count));
}

void TransferService::setSize(const QString &id, qulonglong bytes)
{
    change(id, __func__, {jsonCount(bytes)}, [&](TransferValues &v) { v.size = bytes; });
}

void TransferService::setProgress(const QString &id, double done)
{
    change(
        id, __func__, {jsonNumber(done)}, [&](TransferValues &v) { v.progress = done; },
        m_rules->progressChecked() ? outOfRange(__func__, done) : QString());
}

void TransferService::setSpeed(const QString &id, int speed)
{
    change(
        id, __func__, {speed}, [&](TransferValues &v) { v.speed = speed; }, outOfRange(__func__, speed));
}

void TransferService::setMessage(const QString &id, const QString &message)
{
    change(id, __func__, {message}, [&](TransferValues &v) { v.message = message; });
}

void TransferService::setEstimate(const QString &id, int seconds)
{
    change(
        id, __func__, {seconds}, [&](TransferValues &v) { v.estimate = seconds; }, outOfRange(__func__, seconds));
}

void TransferService::setCanPause(const QString &id, bool canPause)
{
    change(id, __func__, {canPause}, [&](TransferValues &v) { v.canPause = canPause; });
}

void TransferService::setName(const QString &id, const QString &name)
{
    change(id, __func__, {name}, [&](TransferValues &v) { v.name = name; });
}

void TransferService::setServiceIconType(const QString &id, int type)
{
    change(
        id, __func__, {type}, [&](TransferValues &v) { v.serviceIconType = type; }, outOfRange(__func__, type));
}

void TransferService::setThumbnailForFile(const QString &id, const QString &file, const QString &mimeType)
{
    change(id, __func__, {file, mimeType}, [&](TransferValues &v) {
        v.thumbnailFile = file;
        v.thumbnailMimeType = mimeType;
    });
}

void TransferService::setCancelButtonText(const QString &id, const QString &text)
{
    change(id, __func__, {text}, [&](TransferValues &v) { v.cancelButtonText = text; });
}

void TransferService::setTitle(const QString &id, const QString &title)
{
    change(id, __func__, {title}, [&](TransferValues &v) { v.title = title; });
}

void TransferService::setImageFromFilePath(const QString &id, const QString &path)
{
    change(id, __func__, {path}, [&](TransferValues &v) { v.image = path; });
}

void TransferService::setPending(const QString &id, const QString &reason)
{
    change(id, __func__, {reason}, [&](TransferValues &v) {
        v.state = TransferValues::State::Pending;
        v.reason = reason;
    });
}

void TransferService::setActive(const QString &id, double done)
{
    change(
        id, __func__, {jsonNumber(done)},
        [&](TransferValues &v) {
            v.state = TransferValues::State::Active;
            v.progress = done;
        },
        outOfRange(__func__, done));
}

void TransferService::markCancelled(const QString &id)
{
    change(id, __func__, {}, [](TransferValues &v) { v.state = TransferValues::State::Cancelled; });
}

void TransferService::markPaused(const QString &id)
{
    change(id, __func__, {}, [](TransferValues &v) { v.state = TransferValues::State::Paused; });
}

void TransferService::markRestarted(const QString &id)
{
    change(id, __func__, {}, [](TransferValues &v) { v.state = TransferValues::State::Active; });
}

void TransferService::markFailure(const QString &id, const QString &headline, const QString &description)
{
    change(id, __func__, {headline, description}, [&](TransferValues &v) {
        v.state = TransferValues::State::Failed;
        v.failureHeadline = headline;
        v.failureDescription = description;
        v.failureAction.clear();
    });
}

void TransferService::markRepairableFailure(const QString &id, const QString &headline, const QString &description,
                                            const QString &actionText)
{
    change(id, __func__, {headline, description, actionText}, [&](TransferValues &v) {
        v.state = TransferValues::State::Failed;
        v.failureHeadline = headline;
        v.failureDescription = description;
        v.failureAction = actionText;
    });
}

void TransferService::markCancelFailed(const QString &id, const QString &reason)
{
    change(id, __func__, {reason}, [&](TransferValues &v) {
        v.state = TransferValues::State::CancelFailed;
        v.reason = reason;
    });
}

void TransferService::markCompleted(const QString &id, bool showResult, const QString &message,
                                    const QString &resultUri)
{
    change(id, __func__, {showResult, message, resultUri}, [&](TransferValues &v) {
        v.state = TransferValues::State::Done;
        v.showResult = showResult;
        v.resultMessage = message;
        v.resultUri = resultUri;
    });
}

void TransferService::startCommit(const QString &id)
{
    TransferRecord *r = accept(id, QLatin1String(__func__), {});
    if (!r || r->inCommit)
        return;
    r->staged = r->live;
    r->inCommit = true;
}

void TransferService::endCommit(const QString &id)
{
    auto it = m_transfers.find(id);
    if (it != m_transfers.end() && it->owner == sender() && !it->inCommit) {
        refuse(id, QLatin1String(__func__), {}, ErrorNotInCommit, QStringLiteral("no commit was started"));
        return;
    }
    TransferRecord *r = accept(id, QLatin1String(__func__), {});
    if (!r)
        return;
    const qint64 before = r->textBytes();
    r->live = r->staged;
    r->staged = TransferValues();
    r->inCommit = false;
    countText(r->owner, r->textBytes() - before);
    applied(r);
}

QString TransferService::transferPage(const QString &after, int count)
{
    m_journal.flush();
    const quint64 from = numericId(after);
    auto it = after.isEmpty() ? m_order.cbegin() : m_order.upper_bound(from);
    JsonPage page("transfers", qBound(1, count, MaxPageCount), MaxPageBytes);
    for (; it != m_order.cend() && !page.full(); ++it)
        page.add(m_transfers.constFind(it->second)->toJson());
    return QString::fromUtf8(page.finish(it != m_order.cend()));
}

QString TransferService::transfer(const QString &id)
{
    m_journal.flush();
    auto it = m_transfers.constFind(id);
    if (it == m_transfers.constEnd()) {
        if (calledFromDBus())
            sendErrorReply(ErrorUnknownTransfer, QStringLiteral("no transfer with id \"%1\"").arg(id.left(64)));
        return QString();
    }
    return QString::fromUtf8(it->toJson());
}

QString TransferService::status()
{
    m_journal.flush();
    QJsonObject limits;
    limits.insert(QStringLiteral("maxTransfers"), m_limits.maxTransfers);
    limits.insert(QStringLiteral("maxTransfersPerClient"), m_limits.maxPerClient);
    limits.insert(QStringLiteral("maxStringLength"), m_limits.maxStringLength);
    limits.insert(QStringLiteral("maxTextBytes"), m_limits.maxTextBytes);
    limits.insert(QStringLiteral("maxTextBytesPerClient"), m_limits.maxTextBytesPerClient);
    QJsonObject status;
    status.insert(QStringLiteral("version"), Version);
    status.insert(QStringLiteral("transfers"), m_transfers.size());
    status.insert(QStringLiteral("clients"), m_owned.size());
    status.insert(QStringLiteral("watchers"), m_feed.watcherCount());
    status.insert(QStringLiteral("textBytes"), m_texts.total());
    status.insert(QStringLiteral("refusing"), m_refuse);
    status.insert(QStringLiteral("limits"), limits);
    status.insert(QStringLiteral("journal"), m_journal.status());
    return QString::fromUtf8(QJsonDocument(status).toJson(QJsonDocument::Compact));
}

void TransferService::sendRequest(const QString &id, const QString &action)
{
    const QString call = QLatin1String(__func__);
    if (!Zav::Requests::isRequest(action)) {
        refuse(id, call, {action.left(64)}, ErrorInvalidArgs,
               QStringLiteral("unknown request \"%1\"; one of %2").arg(action.left(64), Zav::Requests::listed()));
        return;
    }
    auto it = m_transfers.constFind(id);
    if (it == m_transfers.constEnd()) {
        refuse(id, call, {action}, ErrorUnknownTransfer, QStringLiteral("no transfer with id \"%1\"").arg(id.left(64)));
        return;
    }
    const QString asker = sender();
    m_journal.write(asker, id, call, {action});
    // To the owner only: other programs must not learn of, or act on, this transfer's requests.
    QDBusMessage signal = m_rules->requestsToOwnerOnly()
        ? QDBusMessage::createTargetedSignal(it->owner, QLatin1String(ObjectPath), QLatin1String(TransfersInterface),
                                             QLatin1String(ZavBus::Transfers::request))
        : QDBusMessage::createSignal(QLatin1String(ObjectPath), QLatin1String(TransfersInterface),
                                     QLatin1String(ZavBus::Transfers::request));
    signal << id << action;
    m_bus.send(signal);
    m_journal.write(it->owner, id, QLatin1String(ZavBus::Transfers::request), {action});
}

void TransferService::setRefuseRegistrations(bool refuse)
{
    m_journal.write(sender(), QString(), QLatin1String(__func__), {refuse});
    m_refuse = refuse;
}

void TransferService::setWatching(bool watching)
{
    const QString watcher = sender();
    if (watcher.isEmpty())
        return;
    if (watching) {
        m_feed.watch(watcher); // it lists everything itself, then follows
    } else {
        m_feed.forget(watcher);
    }
}
