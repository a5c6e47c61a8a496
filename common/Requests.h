// SPDX-License-Identifier: MIT
#ifndef REQUESTS_H
#define REQUESTS_H

#include <QString>
#include <QStringList>

#include <optional>

// The requests the service sends a transfer's owner, with their words on the wire: written once
// for the service, the client library, zavctl, the scenarios, the app and the desktop bridge.
// Header only: the client library uses it without linking the rest of common/.
namespace Zav::Requests {

enum class Request { Cancel, Start, Pause, Repair };
inline constexpr Request All[] = {Request::Cancel, Request::Start, Request::Pause, Request::Repair};

inline QString word(Request request)
{
    switch (request) {
    case Request::Cancel:
        return QStringLiteral("cancel");
    case Request::Start:
        return QStringLiteral("start");
    case Request::Pause:
        return QStringLiteral("pause");
    case Request::Repair:
        return QStringLiteral("repair");
    }
    return QString();
}

inline std::optional<Request> fromWord(const QString &text)
{
    for (Request request : All) {
        if (text == word(request))
            return request;
    }
    return std::nullopt;
}

inline const QStringList &words()
{
    static const QStringList all = [] {
        QStringList list;
        for (Request request : All)
            list << word(request);
        return list;
    }();
    return all;
}

inline bool isRequest(const QString &text)
{
    return fromWord(text).has_value();
}

// "cancel, start, pause, repair", for messages.
inline QString listed()
{
    return words().join(QStringLiteral(", "));
}

} // namespace Zav::Requests

#endif
