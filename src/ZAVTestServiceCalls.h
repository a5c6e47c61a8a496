// SPDX-License-Identifier: MIT
#ifndef ZAVTESTSERVICECALLS_H
#define ZAVTESTSERVICECALLS_H

#include "ZAVTestValueStore.h"

#include <zav/ZavClient.h>

#include <QString>

// What the app sends the service for a transfer's record, and how it reads the service's
// answers: the type and icon of a registration, the failures it reports, all it knows told to a
// new service instance, and what the service still holds after it refused a change.
namespace ZAVTestServiceCalls {

using Values = ZAVTestTransferValues;

// The library's type for a type word of the Add page's list (matched by part).
Zav::Client::TransferType transferTypeOf(const QString &type);
// The icon type the app gives a transfer at registration: an upload's only with an account; -1
// for none.
int serviceIconOf(const Values &v);
// The failure the detail page's list gives: 0 without repair, 1 or 2 with one.
void sendFailure(Zav::Transfer *transfer, int retry);
// Sends what the app knows of a transfer to a registration of it by another service instance,
// so that the new one holds what the old one did, state included.
void replay(Zav::Transfer *transfer, const Values &v);
// "com.kelvo.zav.Error.Refused: the service refuses new transfers" as a tester reads it: the
// words first, the error's short name after them.
QString readableError(const QString &error);
// "setCancelButtonText" as "Cancel button text"; other calls by their name.
QString callWords(const QString &call);
// The error of a call the service did not answer (it may still take effect).
bool isNoAnswer(const QString &error);
// Puts back in `v` what the service holds of the field that the refused `call` changes, from
// the last change of it the service took; nothing while another such change is on its way (its
// answer decides).
void restoreHeld(Values &v, Zav::Transfer *transfer, const QString &call);

} // namespace ZAVTestServiceCalls

#endif
