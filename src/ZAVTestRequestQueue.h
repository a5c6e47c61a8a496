// SPDX-License-Identifier: MIT
#ifndef ZAVTESTREQUESTQUEUE_H
#define ZAVTESTREQUESTQUEUE_H

#include <QHash>
#include <QList>
#include <QObject>
#include <QString>

#include <functional>

// The service's requests, answered a few at a time from the event loop: a service that sends
// thousands at once must not stop the screen. A transfer's newer request replaces one still
// waiting (the row would only have replaced it), so the wait stays one per transfer, in the order
// the transfers first asked.
class ZAVTestRequestQueue : public QObject
{
public:
    explicit ZAVTestRequestQueue(std::function<void(const QString &id, int request)> answer, QObject *parent = nullptr)
        : QObject(parent)
        , m_answer(std::move(answer))
    {
    }

    void push(const QString &id, int request);

private:
    void answerSome();

    std::function<void(const QString &id, int request)> m_answer;
    QHash<QString, int> m_waiting;
    QList<QString> m_order;
    bool m_scheduled = false;
};

#endif
