// SPDX-License-Identifier: MIT
#include "JsonPage.h"

#include "JsonWriter.h"

JsonPage::JsonPage(const char *member, int count, qsizetype maxBytes)
    : m_count(count)
    , m_maxBytes(maxBytes)
{
    m_out = "{\"";
    m_out += member;
    m_out += "\":[";
}

void JsonPage::add(const QByteArray &json)
{
    m_out += m_first ? "" : ",";
    m_out += json;
    m_first = false;
    ++m_taken;
}

void JsonPage::startIds(const char *member)
{
    m_out += "],\"";
    m_out += member;
    m_out += "\":[";
    m_first = true;
}

void JsonPage::addId(const QString &id)
{
    m_out += m_first ? "" : ",";
    JsonWriter::appendString(m_out, id);
    m_first = false;
}

QByteArray JsonPage::finish(bool more)
{
    m_out += more ? "],\"more\":true}" : "],\"more\":false}";
    return m_out;
}
