// SPDX-License-Identifier: MIT
#include "JsonWriter.h"

#include <QLocale>

#include <algorithm>
#include <cstdio>

namespace JsonWriter {

void appendString(QByteArray &out, const QString &text)
{
    out += '"';
    // Plain ASCII, the common case, goes in as it is, without a UTF-8 copy of the text.
    const bool plain = std::all_of(text.cbegin(), text.cend(), [](QChar c) {
        return c.unicode() >= 0x20 && c.unicode() < 0x80 && c != QLatin1Char('"') && c != QLatin1Char('\\');
    });
    if (plain) {
        const qsizetype at = out.size();
        out.resize(at + text.size());
        char *to = out.data() + at;
        for (const QChar c : text)
            *to++ = char(c.unicode());
        out += '"';
        return;
    }
    for (const char c : text.toUtf8()) {
        const auto byte = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (byte < 0x20) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\u%04x", byte);
            out += escaped;
        } else {
            out += c;
        }
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
