// SPDX-License-Identifier: MIT
#include "ZAVTestPictures.h"

#include <QFile>
#include <QFileInfo>

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

QString iconPath(const QString &varTmp)
{
    return varTmp + QStringLiteral("/sunflower.jpg");
}

QString thumbnailPath(const QString &word, const QString &home)
{
    return home + QStringLiteral("/MyDocs/.images/") + word + QStringLiteral(".jpg");
}

QStringList ensure(const QString &home, const QString &varTmp)
{
    QStringList written;
    const QString icon = iconPath(varTmp);
    if (place(QFileInfo(icon).fileName(), icon))
        written << icon;
    QDir().mkpath(QFileInfo(thumbnailPath(QString(), home)).path());
    for (const QString &picture : QDir(QStringLiteral(":/pictures")).entryList(QDir::Files)) {
        const QString path = thumbnailPath(QFileInfo(picture).completeBaseName(), home);
        if (place(picture, path))
            written << path;
    }
    return written;
}

} // namespace ZAVTestPictures
