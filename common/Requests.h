// SPDX-License-Identifier: MIT
#ifndef REQUESTS_H
#define REQUESTS_H

#include <QString>
#include <QStringList>

// The requests a tester can send to a transfer's owner, as the interface words them: written
// once for the service and zavctl.
namespace Requests {

inline const QStringList &words()
{
    static const QStringList all {QStringLiteral("cancel"), QStringLiteral("start"), QStringLiteral("pause"),
                                  QStringLiteral("repair")};
    return all;
}

inline bool isRequest(const QString &word)
{
    return words().contains(word);
}

// "cancel, start, pause, repair", for messages.
inline QString listed()
{
    return words().join(QStringLiteral(", "));
}

} // namespace Requests

#endif
