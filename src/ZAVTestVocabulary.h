// SPDX-License-Identifier: MIT
#ifndef ZAVTESTVOCABULARY_H
#define ZAVTESTVOCABULARY_H

#include <QString>
#include <QStringList>

#include <optional>

// The state words of the app's status lists, written once (the requests the rows carry are the
// interface's own: Requests.h).
namespace ZAVTestVocabulary {

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
