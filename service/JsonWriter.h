// SPDX-License-Identifier: MIT
#ifndef JSONWRITER_H
#define JSONWRITER_H

#include <QByteArray>
#include <QByteArrayView>
#include <QJsonValue>
#include <QString>

// Compact JSON written straight into a buffer: the journal makes a record for every call, and a
// listing writes tens of thousands of transfers, where building QJsonObjects first would cost
// several times the writing.
namespace JsonWriter {

void appendString(QByteArray &out, const QString &text);
// A text given as UTF-8.
void appendUtf8(QByteArray &out, QByteArrayView utf8);
// Strings, numbers and booleans; anything else is written as null.
void appendValue(QByteArray &out, const QJsonValue &value);

} // namespace JsonWriter

#endif
