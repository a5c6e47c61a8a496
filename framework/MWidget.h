// SPDX-License-Identifier: MIT
#ifndef MWIDGET_H
#define MWIDGET_H

#include <QAccessible>
#include <QGraphicsWidget>

// Base of every framework item that is not an embedded Qt widget: rows, pages, dialogs.
class MWidget : public QGraphicsWidget
{
    Q_OBJECT
public:
    explicit MWidget(QGraphicsItem *parent = nullptr);
    ~MWidget() override;

    // The item's role for assistive technology; none makes it a container (see MAccessible).
    virtual QAccessible::Role accessibleRole() const { return QAccessible::NoRole; }
    // What assistive technology is told of the item, where it says more than its role's
    // default (a label's text, a dialog's title): a null string for the default.
    virtual QString accessibleText(QAccessible::Text) const { return QString(); }
    // Whether assistive technology may press the item (a row opens), and the press.
    virtual bool hasAccessiblePress() const { return false; }
    virtual void accessiblePress() { }
};

#endif
