// SPDX-License-Identifier: MIT
#include "TextBudget.h"

QString TextBudget::refusal(const QString &owner, qint64 bytes) const
{
    if (bytes <= 0)
        return QString();
    if (m_total + bytes > m_maxTotal)
        return QStringLiteral("the transfers' texts would take more than %1 bytes").arg(m_maxTotal);
    if (m_of.value(owner) + bytes > m_maxPerOwner)
        return QStringLiteral("the texts of one connection's transfers would take more than %1 bytes")
            .arg(m_maxPerOwner);
    return QString();
}

void TextBudget::count(const QString &owner, qint64 bytes)
{
    m_total += bytes;
    m_of[owner] += bytes;
}
