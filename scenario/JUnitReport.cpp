// SPDX-License-Identifier: MIT
#include "JUnitReport.h"

#include <QFile>
#include <QXmlStreamWriter>

#include <algorithm>

bool JUnitReport::write(const QString &path, QString *error) const
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        *error = file.errorString();
        return false;
    }
    QXmlStreamWriter xml(&file);
    xml.setAutoFormatting(true);
    xml.writeStartDocument();
    xml.writeStartElement(QStringLiteral("testsuites"));
    if (!name.isEmpty())
        xml.writeAttribute(QStringLiteral("name"), name);
    for (const Suite &suite : suites) {
        const auto count = [&](Case::Outcome outcome) {
            return QString::number(std::count_if(suite.cases.cbegin(), suite.cases.cend(),
                                                 [outcome](const Case &c) { return c.outcome == outcome; }));
        };
        xml.writeStartElement(QStringLiteral("testsuite"));
        xml.writeAttribute(QStringLiteral("name"), suite.name);
        xml.writeAttribute(QStringLiteral("tests"), QString::number(suite.cases.size()));
        xml.writeAttribute(QStringLiteral("failures"), count(Case::Failed));
        xml.writeAttribute(QStringLiteral("skipped"), count(Case::Skipped));
        for (const Case &c : suite.cases) {
            xml.writeStartElement(QStringLiteral("testcase"));
            xml.writeAttribute(QStringLiteral("classname"), c.className);
            xml.writeAttribute(QStringLiteral("name"), c.name);
            if (c.seconds >= 0)
                xml.writeAttribute(QStringLiteral("time"), QString::number(c.seconds, 'f', 3));
            if (c.outcome != Case::Passed) {
                xml.writeStartElement(c.outcome == Case::Failed ? QStringLiteral("failure")
                                                                : QStringLiteral("skipped"));
                xml.writeAttribute(QStringLiteral("message"), c.message);
                xml.writeEndElement();
            }
            xml.writeEndElement();
        }
        xml.writeEndElement();
    }
    xml.writeEndElement();
    xml.writeEndDocument();
    if (xml.hasError() || !file.flush()) {
        *error = file.errorString();
        return false;
    }
    return true;
}
