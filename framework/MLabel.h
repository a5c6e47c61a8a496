#ifndef MLABEL_H
#define MLABEL_H

#include "MWidgetController.h"

class QLabel;

// A line of text.
class MLabel : public MWidgetController
{
    Q_OBJECT
public:
    explicit MLabel(QGraphicsItem *parent = nullptr);
    explicit MLabel(const QString &text, QGraphicsItem *parent = nullptr);
    ~MLabel() override;

    QString text() const;
    void setText(const QString &text);
    void setAlignment(Qt::Alignment alignment);
    void setWordWrap(bool wrap);

private:
    QLabel *m_label;
};

#endif
