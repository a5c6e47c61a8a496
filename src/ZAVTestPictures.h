// SPDX-License-Identifier: MIT
#ifndef ZAVTESTPICTURES_H
#define ZAVTESTPICTURES_H

#include <QDir>
#include <QStringList>

// The pictures that the icon and thumbnail changes point the service at: the icon's fixed
// "/var/tmp/sunflower.jpg" and a thumbnail "~/MyDocs/.images/<word>.jpg" for every word of the
// thumbnail list. A handset has them; a desktop does not, so the app carries its own (made for
// it) and puts each where it is looked for, unless a file is there already.
namespace ZAVTestPictures {

// Where the icon change points the service: "/var/tmp/sunflower.jpg".
QString iconPath(const QString &varTmp = QStringLiteral("/var/tmp"));
// Where a thumbnail of the list points it: "~/MyDocs/.images/<word>.jpg".
QString thumbnailPath(const QString &word, const QString &home = QDir::homePath());

// Returns the files written.
QStringList ensure(const QString &home = QDir::homePath(), const QString &varTmp = QStringLiteral("/var/tmp"));

} // namespace ZAVTestPictures

#endif
