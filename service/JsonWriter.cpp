// SPDX-License-Identifier: MIT
#include "JsonWriter.h"

#include <QLocale>

#include <algorithm>
#include <cstdio>

namespace JsonWriter {

void appendString(QByteArray &out, const QString &text)
{
    // Plain ASCII, the common case, goes in as it is, without a UTF-8 copy of the text.
    const bool plain = std::all_of(text.cbegin(), text.cend(), [](QChar c) {
        return c.unicode() >= 0x20 && c.unicode() < 0x80 && c != QLatin1Char('"') && c != QLatin1Char('\\');
    });
    if (!plain) {
        appendUtf8(out, text.toUtf8());
        return;
    }
    out += '"';
    const qsizetype at = out.size();
    out.resize(at + text.size());
    char *to = out.data() + at;
    for (const QChar c : text)
        *to++ = char(c.unicode());
    out += '"';
}

void appendUtf8(QByteArray &out, QByteArrayView utf8)
{
    out += '"';
    // Runs that need no escape go in whole.
    const auto plain = [](char c) { return static_cast<unsigned char>(c) >= 0x20 && c != '"' && c != '\\'; };
    for (auto from = utf8.begin(); from != utf8.end();) {
        const auto to = std::find_if_not(from, utf8.end(), plain);
        out.append(from, to - from);
        if (to == utf8.end())
            break;
        if (*to == '"' || *to == '\\') {
            out += '\\';
            out += *to;
        } else {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\u%04x", static_cast<unsigned char>(*to));
            out += escaped;
        }
        from = to + 1;
    }
    out += '"';
}

void appendValue(QByteArray &out, const QJsonValue &value)
{
    switch (value.type()) {
    case QJsonValue::Bool:
        out += value.toBool() ? "true" : "false";
        return;
    case QJsonValue::Double:
        if (value.isDouble() && value.toDouble() == double(value.toInteger()))
            out += QByteArray::number(value.toInteger());
        else
            out += QByteArray::number(value.toDouble(), 'g', QLocale::FloatingPointShortest);
        return;
    case QJsonValue::String:
        appendString(out, value.toString());
        return;
    default:
        out += "null";
        return;
    }
}

} // namespace JsonWriter
