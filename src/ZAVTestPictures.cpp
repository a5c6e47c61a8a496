// SPDX-License-Identifier: MIT
#include "ZAVTestPictures.h"

#include <QFile>

namespace ZAVTestPictures {

namespace {
// Written only where nothing is: a tester's own picture, or whatever another user put in the
// shared folder, stays as it is (and is never written through).
bool place(const QString &picture, const QString &path)
{
    QFile source(QStringLiteral(":/pictures/") + picture);
    QFile target(path);
    if (!source.open(QIODevice::ReadOnly) || !target.open(QIODevice::WriteOnly | QIODevice::NewOnly))
        return false;
    return target.write(source.readAll()) == source.size();
}
} // namespace

QStringList ensure(const QString &home, const QString &varTmp)
{
    QStringList written;
    const QString icon = varTmp + QStringLiteral("/sunflower.jpg");
    if (place(QStringLiteral("sunflower.jpg"), icon))
        written << icon;
    const QString thumbnails = home + QStringLiteral("/MyDocs/.images/");
    QDir().mkpath(thumbnails);
    for (const QString &picture : QDir(QStringLiteral(":/pictures")).entryList(QDir::Files)) {
        if (place(picture, thumbnails + picture))
            written << thumbnails + picture;
    }
    return written;
}

} // namespace ZAVTestPictures
