// SPDX-License-Identifier: MIT
#ifndef ZAVVOCABULARY_H
#define ZAVVOCABULARY_H

#include <QJsonObject>
#include <QString>

#include <optional>

// The interface's vocabulary, for every program here (no bus, no widgets): the states and types
// of a transfer with their words on the wire, the listing's page size, and how the programs show
// what other programs sent.
namespace Zav {

// The reason the test app gives when it declines a cancel request; scenarios answer alike.
inline constexpr char CancelFailedReason[] = "File is already uploaded";

// The longest transfer id a program takes from a service or a user, in characters.
inline constexpr int MaxIdLength = 256;

// Transfers asked for in one call of the Control interface's listing (its own limit too).
inline constexpr int PageSize = 1000;
// A reader of pages stops after this many (a million transfers), and at a page whose last id
// is the cursor it was asked after: a service whose pages never end is not read forever.
inline constexpr int MaxPages = 1000;

// In the service's order.
enum class TransferState { Pending, Active, Paused, Failed, CancelFailed, Cancelled, Done };
QString stateWord(TransferState state);
std::optional<TransferState> stateFromWord(const QString &word);
// The word people read for a state, the same in the app's rows, zavctl's table and the desktop's
// notifications: "Inactive", "Active", "Paused", "Error", "Cancel Failed", "Cancelled", "Done".
QString displayWord(TransferState state);
// For a word that is no state word on the wire: the wire word meant ("active" for "Active" or
// "running", "pending" for "waiting"), else the nearest one, else an empty text.
QString stateSuggestion(const QString &word);

// 0 upload, 1 download, 2 sync.
QString typeWord(int type);
int typeFromWord(const QString &word); // -1 for another word

// Text from other programs with its control characters (and the bidirectional overrides) escaped,
// so that it cannot steer a terminal or a desktop.
QString printable(const QString &text);
// printable(), cut to `max` characters with the length said: a peer's text may be megabytes.
QString printableCut(const QString &text, qsizetype max = 400);
// "2.0 MiB".
QString formatBytes(quint64 bytes);
// JSON text of transfers with every size written as a number with its exact digits.
QByteArray withExactSizes(QByteArray json);
// A transfer as programs show it in JSON: a numeric id (an id that is no number stays text), the
// progress rounded to six places (it travels as a float: 0.31, not 0.3100000023841858).
QJsonObject transferForJson(QJsonObject transfer);
QJsonValue jsonId(const QString &id);

} // namespace Zav

#endif
