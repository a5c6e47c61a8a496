// SPDX-License-Identifier: MIT
#ifndef MLABEL_H
#define MLABEL_H

#include "MWidget.h"

#include <QColor>
#include <QFont>
#include <QPointer>

class MWidgetController;

// A line of text, drawn straight into the scene: lists hold many labels, and an embedded Qt
// widget per label costs tens of kilobytes. Its object name is its style name (see applyStyle).
class MLabel : public MWidget
{
    Q_OBJECT
public:
    explicit MLabel(QGraphicsItem *parent = nullptr);
    explicit MLabel(const QString &text, QGraphicsItem *parent = nullptr);
    ~MLabel() override;

    QString text() const { return m_text; }
    void setText(const QString &text);
    Qt::Alignment alignment() const { return m_alignment; }
    void setAlignment(Qt::Alignment alignment);
    bool wordWrap() const { return m_wrap; }
    void setWordWrap(bool wrap);
    QColor textColor() const { return m_color; }
    // Names `control` by this label's text for assistive technology: a caption drawn beside a
    // field, slider or list says what it holds.
    void setBuddy(MWidgetController *control);

    void paint(QPainter *painter, const QStyleOptionGraphicsItem *option, QWidget *widget) override;

protected:
    QSizeF sizeHint(Qt::SizeHint which, const QSizeF &constraint = QSizeF()) const override;

private:
    void applyStyle();

    QString m_text;
    QPointer<MWidgetController> m_buddy;
    Qt::Alignment m_alignment = Qt::AlignLeft | Qt::AlignVCenter;
    bool m_wrap = false;
    QColor m_color;
    mutable qreal m_width = -1; // the text's width in the label's font; -1 until measured
};

#endif
