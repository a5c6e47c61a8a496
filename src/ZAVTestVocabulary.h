// SPDX-License-Identifier: MIT
#ifndef ZAVTESTVOCABULARY_H
#define ZAVTESTVOCABULARY_H

#include <QString>
#include <QStringList>

#include <optional>

// The status words of the app's status lists, written once (the requests the rows carry are the
// interface's own: Requests.h).
namespace ZAVTestVocabulary {

// The entries of the status lists, in their order: what a tester picks, not the state the
// service holds (that is Zav::TransferState).
enum class Status { Inactive, NoMessageInactive, Active, Error, Error1Recovery, Error2Recovery, Done };

inline const QStringList &statusWords()
{
    static const QStringList words {
        QStringLiteral("Inactive"), QStringLiteral("NoMessageInactive"), QStringLiteral("Active"),
        QStringLiteral("Error"),    QStringLiteral("Error 1 Recovery"),  QStringLiteral("Error 2 Recovery"),
        QStringLiteral("Done")};
    return words;
}

inline QString statusWord(Status status)
{
    return statusWords().at(int(status));
}

inline std::optional<Status> statusFrom(const QString &word)
{
    const qsizetype index = statusWords().indexOf(word);
    return index < 0 ? std::nullopt : std::optional<Status>(Status(index));
}

} // namespace ZAVTestVocabulary

#endif
