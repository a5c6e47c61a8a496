// SPDX-License-Identifier: MIT
#ifndef JSONREADER_H
#define JSONREADER_H

#include <QHash>
#include <QJsonValue>
#include <QList>
#include <QString>

// A JSON reader that remembers where each value starts ("/timeline/3/call" -> offset), so that
// a file that parses but makes no sense can still be reported with a line and a column. It reads
// in one pass, refuses a member named twice in one object (a JSON object would keep only the
// last) and nesting deeper than `maxDepth`.
class JsonReader
{
public:
    explicit JsonReader(const QString &text, int maxDepth);

    bool read(QJsonValue *root);
    QString error() const { return m_error; }
    qsizetype errorAt() const { return m_at; }
    // Where the value at a path ("/timeline/3/call") begins. The top level's members and their
    // elements (a scenario's transfers and events) are noted while reading; anything deeper is
    // found by reading again up to it, which only a fault needs. Noting every value's path made a
    // file of two million numbers take seconds and hundreds of megabytes.
    qsizetype where(const QString &path);

    // "line:column" of an offset; the line starts are found once.
    QString lineAndColumn(qsizetype offset);

private:
    bool fail(const QString &what);
    void space();
    bool take(QChar c);
    bool value(QJsonValue *out, const QString &path);
    bool string(QString *out);
    bool object(QJsonValue *out, const QString &path);
    bool array(QJsonValue *out, const QString &path);

    QString m_text;
    int m_maxDepth;
    qsizetype m_at = 0;
    int m_depth = 0;
    QString m_error;
    QHash<QString, qsizetype> m_members;
    QHash<QString, QList<qsizetype>> m_elements; // of the top level's arrays, by member name
    QString m_seek; // the path where() reads again up to
    qsizetype m_found = -1;
    QList<qsizetype> m_lineStarts;
};

#endif
