// SPDX-License-Identifier: MIT
#ifndef ZAVBUSCONNECTION_H
#define ZAVBUSCONNECTION_H

#include <QDBusConnection>
#include <QString>

namespace ZavBus {

// A connection of its own, named `name` (a second program, a scenario's client), to the bus at
// `address` (--address), or to the session bus when the address is empty.
inline QDBusConnection connectionOfItsOwn(const QString &address, const QString &name)
{
    return address.isEmpty() ? QDBusConnection::connectToBus(QDBusConnection::SessionBus, name)
                             : QDBusConnection::connectToBus(address, name);
}

} // namespace ZavBus

#endif
