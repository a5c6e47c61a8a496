// SPDX-License-Identifier: MIT
#ifndef ZAVTESTVOCABULARY_H
#define ZAVTESTVOCABULARY_H

#include <QString>
#include <QStringList>

#include <optional>

// The app's two vocabularies, each written once: the requests the service sends (as the rows
// carry them) and the state words of the status lists.
namespace ZAVTestVocabulary {

enum class Request { Cancel, Start, Pause, Repair };

inline QString requestWord(Request request)
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

inline std::optional<Request> requestFrom(const QString &word)
{
    for (Request request : {Request::Cancel, Request::Start, Request::Pause, Request::Repair}) {
        if (word == requestWord(request))
            return request;
    }
    return std::nullopt;
}

// In the order of the status lists.
enum class State { Inactive, NoMessageInactive, Active, Error, Error1Recovery, Error2Recovery, Done };

inline const QStringList &stateWords()
{
    static const QStringList words {
        QStringLiteral("Inactive"), QStringLiteral("NoMessageInactive"), QStringLiteral("Active"),
        QStringLiteral("Error"),    QStringLiteral("Error 1 Recovery"),  QStringLiteral("Error 2 Recovery"),
        QStringLiteral("Done")};
    return words;
}

inline QString stateWord(State state)
{
    return stateWords().at(int(state));
}

inline std::optional<State> stateFrom(const QString &word)
{
    const qsizetype index = stateWords().indexOf(word);
    return index < 0 ? std::nullopt : std::optional<State>(State(index));
}

} // namespace ZAVTestVocabulary

#endif
