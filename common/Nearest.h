// SPDX-License-Identifier: MIT
#ifndef NEAREST_H
#define NEAREST_H

#include <QList>
#include <QString>
#include <QStringList>

// The choice closest to a mistyped word (at most two edits away), or an empty text.
inline QString nearest(const QString &word, const QStringList &choices)
{
    QString best;
    int bestDistance = 3;
    for (const QString &choice : choices) {
        QList<int> row(choice.size() + 1);
        for (qsizetype j = 0; j <= choice.size(); ++j)
            row[j] = int(j);
        for (qsizetype i = 1; i <= word.size(); ++i) {
            int diagonal = row[0];
            row[0] = int(i);
            for (qsizetype j = 1; j <= choice.size(); ++j) {
                const int above = row[j];
                row[j] = qMin(qMin(row[j] + 1, row[j - 1] + 1), diagonal + (word[i - 1] == choice[j - 1] ? 0 : 1));
                diagonal = above;
            }
        }
        if (row[choice.size()] < bestDistance) {
            bestDistance = row[choice.size()];
            best = choice;
        }
    }
    return best;
}

#endif
