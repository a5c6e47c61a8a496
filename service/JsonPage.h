// SPDX-License-Identifier: MIT
#ifndef JSONPAGE_H
#define JSONPAGE_H

#include <QByteArray>
#include <QString>

// One page of an answer that lists transfers ({"transfers":[…],"more":false}), written straight
// into one buffer: the listing's and the change feed's pages alike. A page takes at most `count`
// transfers and stops once it is `maxBytes` long: one long answer would hold up every change
// behind it and could outgrow what a reader takes.
class JsonPage
{
public:
    JsonPage(const char *member, int count, qsizetype maxBytes);

    bool full() const { return m_taken >= m_count || m_out.size() >= m_maxBytes; }
    // A transfer's JSON as the next element.
    void add(const QByteArray &json);
    // Ends the array and starts another member's, of ids ("removed":["7","9"]).
    void startIds(const char *member);
    void addId(const QString &id);
    // The page, with whether more follows.
    QByteArray finish(bool more);

private:
    QByteArray m_out;
    int m_count;
    qsizetype m_maxBytes;
    int m_taken = 0;
    bool m_first = true;
};

#endif
