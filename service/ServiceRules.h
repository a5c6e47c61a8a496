// SPDX-License-Identifier: MIT
#ifndef SERVICERULES_H
#define SERVICERULES_H

#include <QString>

#include <memory>

// The interface's rules that the service keeps, each asked where it applies. The service keeps
// them all; the conformance kit's own tests start it with one broken (zav-service --test-fault),
// to see that the kit names the rule.
class ServiceRules
{
public:
    virtual ~ServiceRules() = default;
    // Only the connection that registered a transfer may change it.
    virtual bool changesByOwnerOnly() const { return true; }
    // Progress is a number from 0 to 1.
    virtual bool progressChecked() const { return true; }
    // A connection's transfers are forgotten when it leaves the bus.
    virtual bool departedForgotten() const { return true; }
    // A transfer's requests go to its owner alone.
    virtual bool requestsToOwnerOnly() const { return true; }
    // The Control interface is offered.
    virtual bool controlOffered() const { return true; }

    // Rules with the one named broken ("owner-unchecked", "progress-unchecked", "departed-kept",
    // "requests-broadcast", "no-control"); null for another name.
    static std::unique_ptr<ServiceRules> withBroken(const QString &rule);
};

#endif
