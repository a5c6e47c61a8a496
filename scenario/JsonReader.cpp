// SPDX-License-Identifier: MIT
#include "JsonReader.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <algorithm>

JsonReader::JsonReader(const QString &text, int maxDepth)
    : m_text(text)
    , m_maxDepth(maxDepth)
{
}

bool JsonReader::read(QJsonValue *root)
{
    if (!value(root, QString()))
        return false;
    space();
    return m_at == m_text.size() || fail(QStringLiteral("unexpected text after the scenario"));
}

qsizetype JsonReader::where(const QString &path)
{
    const QStringList parts = path.split(QLatin1Char('/'));
    if (parts.size() == 2 && m_members.contains(parts.at(1)))
        return m_members.value(parts.at(1));
    bool isIndex = false;
    const qsizetype index = parts.size() == 3 ? parts.at(2).toLongLong(&isIndex) : -1;
    const QList<qsizetype> elements = m_elements.value(parts.value(1));
    if (isIndex && index >= 0 && index < elements.size())
        return elements.at(index);
    JsonReader again(m_text, m_maxDepth);
    again.m_seek = path;
    QJsonValue ignored;
    again.read(&ignored);
    return qMax<qsizetype>(again.m_found, 0);
}

QString JsonReader::lineAndColumn(qsizetype offset)
{
    if (m_lineStarts.isEmpty()) {
        m_lineStarts.append(0);
        for (qsizetype i = 0; i < m_text.size(); ++i) {
            if (m_text.at(i) == QLatin1Char('\n'))
                m_lineStarts.append(i + 1);
        }
    }
    const auto line = std::upper_bound(m_lineStarts.cbegin(), m_lineStarts.cend(), offset) - 1;
    return QStringLiteral("%1:%2").arg(line - m_lineStarts.cbegin() + 1).arg(offset - *line + 1);
}

bool JsonReader::fail(const QString &what)
{
    if (m_error.isEmpty())
        m_error = what;
    return false;
}

void JsonReader::space()
{
    while (m_at < m_text.size() && m_text.at(m_at).isSpace())
        ++m_at;
}

bool JsonReader::take(QChar c)
{
    space();
    if (m_at < m_text.size() && m_text.at(m_at) == c) {
        ++m_at;
        return true;
    }
    return false;
}

bool JsonReader::value(QJsonValue *out, const QString &path)
{
    space();
    if (m_found < 0 && !m_seek.isNull() && path == m_seek)
        m_found = m_at;
    if (m_at >= m_text.size())
        return fail(QStringLiteral("the file ends where a value should be"));
    const QChar c = m_text.at(m_at);
    if (c == QLatin1Char('{') || c == QLatin1Char('[')) {
        if (m_depth >= m_maxDepth)
            return fail(QStringLiteral("objects and arrays nest deeper than %1 levels").arg(m_maxDepth));
        ++m_depth;
        const bool ok = c == QLatin1Char('{') ? object(out, path) : array(out, path);
        --m_depth;
        return ok;
    }
    if (c == QLatin1Char('"')) {
        QString text;
        if (!string(&text))
            return false;
        *out = text;
        return true;
    }
    for (const auto &[word, v] : {std::pair {"true", QJsonValue(true)}, std::pair {"false", QJsonValue(false)},
                                  std::pair {"null", QJsonValue()}}) {
        if (QStringView(m_text).mid(m_at).startsWith(QLatin1String(word))) {
            m_at += qsizetype(qstrlen(word));
            *out = v;
            return true;
        }
    }
    qsizetype end = m_at;
    while (end < m_text.size() && QStringLiteral("+-0123456789.eE").contains(m_text.at(end)))
        ++end;
    bool ok = false;
    const double number = QStringView(m_text).mid(m_at, end - m_at).toDouble(&ok);
    if (!ok || end == m_at)
        return fail(QStringLiteral("a value (text, number, true, false, null, object or array) is expected"));
    m_at = end;
    *out = number;
    return true;
}

bool JsonReader::string(QString *out)
{
    const qsizetype start = m_at;
    bool escaped = false;
    for (++m_at; m_at < m_text.size(); ++m_at) {
        const QChar c = m_text.at(m_at);
        if (c == QLatin1Char('"'))
            break;
        if (c == QLatin1Char('\\')) {
            escaped = true;
            ++m_at;
        }
    }
    if (m_at >= m_text.size()) {
        m_at = start;
        return fail(QStringLiteral("a text is not closed"));
    }
    ++m_at;
    if (!escaped) {
        *out = m_text.mid(start + 1, m_at - start - 2);
        return true;
    }
    // Escapes decoded by Qt's own reader.
    const QJsonDocument one = QJsonDocument::fromJson(
        QByteArray("[") + QStringView(m_text).mid(start, m_at - start).toUtf8() + QByteArray("]"));
    if (!one.isArray()) {
        m_at = start;
        return fail(QStringLiteral("a text holds an invalid escape"));
    }
    *out = one.array().at(0).toString();
    return true;
}

bool JsonReader::object(QJsonValue *out, const QString &path)
{
    ++m_at;
    QJsonObject object;
    if (take(QLatin1Char('}'))) {
        *out = object;
        return true;
    }
    do {
        space();
        QString key;
        const qsizetype keyAt = m_at;
        if (m_at >= m_text.size() || m_text.at(m_at) != QLatin1Char('"'))
            return fail(QStringLiteral("a member name in double quotes is expected"));
        if (!string(&key))
            return false;
        if (object.contains(key)) {
            m_at = keyAt;
            return fail(QStringLiteral("the member \"%1\" is named twice in one object").arg(key.left(64)));
        }
        if (!take(QLatin1Char(':')))
            return fail(QStringLiteral("':' is expected after a member name"));
        space();
        if (m_depth == 1)
            m_members.insert(key, m_at);
        QJsonValue v;
        if (!value(&v, m_depth == 1 || !m_seek.isNull() ? path + QLatin1Char('/') + key : QString()))
            return false;
        object.insert(key, v);
    } while (take(QLatin1Char(',')));
    if (!take(QLatin1Char('}')))
        return fail(QStringLiteral("',' or '}' is expected"));
    *out = object;
    return true;
}

bool JsonReader::array(QJsonValue *out, const QString &path)
{
    ++m_at;
    QJsonArray array;
    if (take(QLatin1Char(']'))) {
        *out = array;
        return true;
    }
    QList<qsizetype> elements;
    do {
        space();
        if (m_depth == 2)
            elements.append(m_at);
        QJsonValue v;
        if (!value(&v, m_seek.isNull() ? QString() : path + QLatin1Char('/') + QString::number(array.size())))
            return false;
        array.append(v);
    } while (take(QLatin1Char(',')));
    if (!take(QLatin1Char(']')))
        return fail(QStringLiteral("',' or ']' is expected"));
    if (m_depth == 2)
        m_elements.insert(path.mid(1), elements);
    *out = array;
    return true;
}
