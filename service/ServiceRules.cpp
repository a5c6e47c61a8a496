// SPDX-License-Identifier: MIT
#include "ServiceRules.h"

#include <QStringList>

namespace {
class OneBroken : public ServiceRules
{
public:
    explicit OneBroken(int rule)
        : m_rule(rule)
    {
    }
    bool changesByOwnerOnly() const override { return m_rule != 0; }
    bool progressChecked() const override { return m_rule != 1; }
    bool departedForgotten() const override { return m_rule != 2; }
    bool requestsToOwnerOnly() const override { return m_rule != 3; }
    bool controlOffered() const override { return m_rule != 4; }

private:
    int m_rule;
};
} // namespace

std::unique_ptr<ServiceRules> ServiceRules::withBroken(const QString &rule)
{
    static const QStringList names {QStringLiteral("owner-unchecked"), QStringLiteral("progress-unchecked"),
                                    QStringLiteral("departed-kept"), QStringLiteral("requests-broadcast"),
                                    QStringLiteral("no-control")};
    const qsizetype index = names.indexOf(rule);
    return index < 0 ? nullptr : std::make_unique<OneBroken>(int(index));
}
