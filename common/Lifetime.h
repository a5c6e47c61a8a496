// SPDX-License-Identifier: MIT
#ifndef LIFETIME_H
#define LIFETIME_H

#include <QString>

class QCoreApplication;

// For the programs that serve the session bus (zav-service, zav-desktop): SIGTERM and SIGINT
// end the event loop, so that the program leaves in order, and so does the loss of the bus
// (nothing is left to serve; a program left behind would hold open whatever its bus gave it),
// or of the named connection besides (a device's bus reached by --address). Without
// `sessionToo`, the named connection is the only bus the program uses.
void endWithSignalsAndBus(QCoreApplication &app, const char *program, const QString &connection = QString(),
                          bool sessionToo = true);

#endif
