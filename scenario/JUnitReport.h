// SPDX-License-Identifier: MIT
#ifndef JUNITREPORT_H
#define JUNITREPORT_H

#include <QList>
#include <QString>

// A JUnit XML report, as CI systems read them: zavctl play writes a suite per scenario, zavctl
// conform one per group of checks.
struct JUnitReport
{
    struct Case
    {
        enum Outcome { Passed, Failed, Skipped };
        QString className;
        QString name;
        Outcome outcome = Passed;
        QString message; // why it failed or was skipped
        double seconds = -1; // below 0: not timed
    };
    struct Suite
    {
        QString name;
        QList<Case> cases;
    };

    QString name; // of the whole report; may be empty
    QList<Suite> suites;

    // Writes it to `path`, flushed (a full disk refuses the bytes only then); false, with the
    // file's error in `error`, when it cannot be written.
    bool write(const QString &path, QString *error) const;
};

#endif
