// SPDX-License-Identifier: MIT
#include "ZAVTestValueStore.h"

#include "ZAVTestVocabulary.h"

using ZAVTestVocabulary::statusWord;

QString ZAVTestTransferValues::rowLine() const
{
    if (!absence.isEmpty())
        return absence;
    if (!refusal.isEmpty())
        return refusal;
    if (!answer.isEmpty())
        return answer;
    return message.isEmpty() && state == State::Pending ? reason : message;
}

QString ZAVTestTransferValues::statusEntry() const
{
    switch (state) {
    case State::Pending:
        return status == statusWord(ZAVTestVocabulary::Status::NoMessageInactive)
            ? status
            : statusWord(ZAVTestVocabulary::Status::Inactive);
    case State::Active:
        return statusWord(ZAVTestVocabulary::Status::Active);
    case State::Failed:
        return statusWord(failure == 1       ? ZAVTestVocabulary::Status::Error1Recovery
                              : failure == 2 ? ZAVTestVocabulary::Status::Error2Recovery
                                             : ZAVTestVocabulary::Status::Error);
    case State::Done:
        return statusWord(ZAVTestVocabulary::Status::Done);
    case State::Paused:
    case State::CancelFailed:
    case State::Cancelled:
        break;
    }
    return QString();
}

QString ZAVTestTransferValues::stateText() const
{
    if (registering)
        return QStringLiteral("Registering");
    if (!absence.isEmpty())
        return registeredOnce ? QStringLiteral("Not held") : QStringLiteral("Not registered");
    // The status list's word while waiting ("NoMessageInactive" stays); otherwise the word every
    // program here shows for the state.
    return state == State::Pending ? statusEntry() : Zav::displayWord(state);
}
