// SPDX-License-Identifier: MIT
#ifndef MNAMESPACE_H
#define MNAMESPACE_H

#include <QFlags>

// Framework-wide enums. The standard-button values are those of QMessageBox, so a result
// code read in a log means the same in both worlds.
namespace M {
enum StandardButton {
    NoStandardButton = 0x00000000,
    OkButton = 0x00000400,
    SaveButton = 0x00000800,
    YesButton = 0x00004000,
    NoButton = 0x00010000,
    AbortButton = 0x00040000,
    RetryButton = 0x00080000,
    IgnoreButton = 0x00100000,
    CloseButton = 0x00200000,
    CancelButton = 0x00400000,
    DiscardButton = 0x00800000,
};
Q_DECLARE_FLAGS(StandardButtons, StandardButton)
} // namespace M

Q_DECLARE_OPERATORS_FOR_FLAGS(M::StandardButtons)

#endif
