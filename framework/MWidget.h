// SPDX-License-Identifier: MIT
#ifndef MWIDGET_H
#define MWIDGET_H

#include <QGraphicsWidget>

// Base of every framework item that is not an embedded Qt widget: rows, pages, dialogs.
class MWidget : public QGraphicsWidget
{
    Q_OBJECT
public:
    explicit MWidget(QGraphicsItem *parent = nullptr);
    ~MWidget() override;
};

#endif
