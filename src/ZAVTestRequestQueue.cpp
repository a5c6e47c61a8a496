// SPDX-License-Identifier: MIT
#include "ZAVTestRequestQueue.h"

#include <QElapsedTimer>
#include <QTimer>

void ZAVTestRequestQueue::push(const QString &id, int request)
{
    auto it = m_waiting.find(id);
    if (it != m_waiting.end()) {
        *it = request;
        return;
    }
    m_waiting.insert(id, request);
    m_order.append(id);
    if (!m_scheduled) {
        m_scheduled = true;
        QTimer::singleShot(0, this, &ZAVTestRequestQueue::answerSome);
    }
}

void ZAVTestRequestQueue::answerSome()
{
    m_scheduled = false;
    // A few milliseconds a turn: the screen is painted between turns.
    QElapsedTimer spent;
    spent.start();
    qsizetype done = 0;
    for (; done < m_order.size() && spent.elapsed() < 5; ++done) {
        const QString id = m_order.at(done);
        m_answer(id, m_waiting.take(id));
    }
    m_order.remove(0, done);
    if (!m_order.isEmpty() && !m_scheduled) {
        m_scheduled = true;
        QTimer::singleShot(0, this, &ZAVTestRequestQueue::answerSome);
    }
}
