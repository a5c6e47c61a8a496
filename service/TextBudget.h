// SPDX-License-Identifier: MIT
#ifndef TEXTBUDGET_H
#define TEXTBUDGET_H

#include <QHash>
#include <QString>

// Memory the transfers' texts may take (their UTF-8 bytes), all together and of one connection:
// 10,000 transfers of 4,096-character texts would take 0.6 GB or more.
class TextBudget
{
public:
    TextBudget(qint64 maxTotal, qint64 maxPerOwner)
        : m_maxTotal(maxTotal)
        , m_maxPerOwner(maxPerOwner)
    {
    }
    // Why `owner` may not add `bytes` more; empty when it may.
    QString refusal(const QString &owner, qint64 bytes) const;
    // Counts bytes added (or, below 0, given back) by `owner`.
    void count(const QString &owner, qint64 bytes);
    // Gives back all of `owner`'s, which has left.
    void release(const QString &owner) { m_total -= m_of.take(owner); }
    qint64 total() const { return m_total; }

private:
    qint64 m_maxTotal;
    qint64 m_maxPerOwner;
    qint64 m_total = 0;
    QHash<QString, qint64> m_of; // by connection
};

#endif
