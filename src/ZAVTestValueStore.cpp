// SPDX-License-Identifier: MIT
#include "ZAVTestValueStore.h"

#include "ZAVTestVocabulary.h"

using ZAVTestVocabulary::stateWord;

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
        return status == stateWord(ZAVTestVocabulary::State::NoMessageInactive)
            ? status
            : stateWord(ZAVTestVocabulary::State::Inactive);
    case State::Active:
        return stateWord(ZAVTestVocabulary::State::Active);
    case State::Failed:
        return stateWord(failure == 1       ? ZAVTestVocabulary::State::Error1Recovery
                             : failure == 2 ? ZAVTestVocabulary::State::Error2Recovery
                                            : ZAVTestVocabulary::State::Error);
    case State::Done:
        return stateWord(ZAVTestVocabulary::State::Done);
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
