#include "Journal.h"

#include <QDateTime>
#include <QJsonDocument>
#include <QJsonObject>

bool Journal::open(const QString &path)
{
    m_file.setFileName(path);
    return m_file.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Unbuffered);
}

void Journal::write(const QString &sender, const QString &id, const QString &call, const QJsonArray &args,
                    const QString &error)
{
    if (!m_file.isOpen())
        return;
    QJsonObject line;
    line.insert(QStringLiteral("time"), QDateTime::currentDateTimeUtc().toString(Qt::ISODateWithMs));
    line.insert(QStringLiteral("sender"), sender);
    line.insert(QStringLiteral("id"), id);
    line.insert(QStringLiteral("call"), call);
    line.insert(QStringLiteral("args"), args);
    if (!error.isEmpty())
        line.insert(QStringLiteral("error"), error);
    m_file.write(QJsonDocument(line).toJson(QJsonDocument::Compact) + '\n');
}
