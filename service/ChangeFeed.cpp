// SPDX-License-Identifier: MIT
#include "ChangeFeed.h"

#include "JsonPage.h"
#include "TransferRecord.h"
#include "ZavBusNames.h"

#include <QDBusMessage>

#include <algorithm>

ChangeFeed::ChangeFeed(const QDBusConnection &bus, const char *objectPath, int maxPendingRemovals, QObject *parent)
    : QObject(parent)
    , m_bus(bus)
    , m_objectPath(objectPath)
    , m_maxPendingRemovals(qMax(0, maxPendingRemovals))
{
    // At most one signal every 50 ms: a burst of changes costs one.
    m_notifyTimer.setSingleShot(true);
    m_notifyTimer.setInterval(50);
    connect(&m_notifyTimer, &QTimer::timeout, this, &ChangeFeed::notify);
}

void ChangeFeed::changed(TransferRecord *record)
{
    // The transfer's node moves to the end: no allocation for a change.
    auto node = m_changed.extract(record->changeNumber);
    record->changeNumber = ++m_sequence;
    if (node) {
        node.key() = m_sequence;
        m_changed.insert(m_changed.end(), std::move(node));
    } else {
        m_changed.emplace_hint(m_changed.end(), m_sequence, record->id);
    }
    if (!m_watching.isEmpty() && !m_notifyTimer.isActive())
        m_notifyTimer.start();
}

void ChangeFeed::removed(const TransferRecord &record)
{
    m_changed.erase(record.changeNumber);
    ++m_sequence;
    if (m_watching.isEmpty()) {
        // Whoever watches later lists everything itself: none of this is for it.
        m_removals.clear();
        m_removalsLostUpTo = m_sequence;
        return;
    }
    m_removals.emplace_back(m_sequence, record.id);
    if (qsizetype(m_removals.size()) > m_maxPendingRemovals) {
        m_removalsLostUpTo = m_removals.front().first;
        m_removals.pop_front();
    }
    if (!m_notifyTimer.isActive())
        m_notifyTimer.start();
}

void ChangeFeed::watch(const QString &watcher)
{
    m_watching[watcher] = Watcher {m_sequence, false};
}

void ChangeFeed::forget(const QString &watcher)
{
    m_watching.remove(watcher);
}

void ChangeFeed::notify()
{
    for (auto it = m_watching.begin(); it != m_watching.end(); ++it) {
        Watcher &w = *it;
        if (w.told || w.readUpTo >= m_sequence)
            continue;
        // To that watcher only: the whole bus need not hear of every change.
        w.told = true;
        m_bus.send(QDBusMessage::createTargetedSignal(it.key(), QLatin1String(m_objectPath),
                                                      QLatin1String(ZavBus::ControlInterface),
                                                      QLatin1String(ZavBus::Control::changesPending)));
    }
}

QByteArray ChangeFeed::page(const QString &watcher, int count, qsizetype maxBytes,
                            const std::function<QByteArray(const QString &id)> &json)
{
    auto it = m_watching.find(watcher);
    if (it == m_watching.end())
        return "{\"changed\":[],\"removed\":[],\"more\":false}";
    Watcher &w = *it;
    if (w.readUpTo < m_removalsLostUpTo) {
        // Removals it has not read are no longer kept: it lists everything, then follows from here.
        w.readUpTo = m_sequence;
        w.told = false;
        return "{\"resync\":true}";
    }
    JsonPage page("changed", count, maxBytes);
    auto change = m_changed.upper_bound(w.readUpTo);
    quint64 upTo = m_sequence;
    for (; change != m_changed.end() && !page.full(); ++change) {
        page.add(json(change->second));
        upTo = change->first;
    }
    const bool more = change != m_changed.end();
    if (!more)
        upTo = m_sequence;
    page.startIds("removed");
    auto removal = std::upper_bound(m_removals.cbegin(), m_removals.cend(), w.readUpTo,
                                    [](quint64 n, const std::pair<quint64, QString> &r) { return n < r.first; });
    for (; removal != m_removals.cend() && removal->first <= upTo; ++removal)
        page.addId(removal->second);
    w.readUpTo = upTo;
    w.told = more; // the watcher asks again while there is more; after that, a signal again
    return page.finish(more);
}
