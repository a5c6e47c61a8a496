#include "MLabel.h"

#include <QLabel>

MLabel::MLabel(QGraphicsItem *parent)
    : MLabel(QString(), parent)
{
}

MLabel::MLabel(const QString &text, QGraphicsItem *parent)
    : MWidgetController(new QLabel(text), parent)
    , m_label(static_cast<QLabel *>(widget()))
{
    m_label->setTextFormat(Qt::PlainText);
    // Labels are never the target of a press: the press belongs to what lies beneath (a row).
    m_label->setAttribute(Qt::WA_TransparentForMouseEvents);
    setAcceptedMouseButtons(Qt::NoButton);
}

MLabel::~MLabel() = default;

QString MLabel::text() const
{
    return m_label->text();
}

void MLabel::setText(const QString &text)
{
    m_label->setText(text);
    updateGeometry();
}

void MLabel::setAlignment(Qt::Alignment alignment)
{
    m_label->setAlignment(alignment);
}

void MLabel::setWordWrap(bool wrap)
{
    m_label->setWordWrap(wrap);
    updateGeometry();
}
