// SPDX-License-Identifier: MIT
#ifndef MACCESSIBLE_H
#define MACCESSIBLE_H

#include <QAccessible>

class QGraphicsItem;
class QGraphicsWidget;
class QObject;

// What assistive technology (a screen reader, a GUI test tool through AT-SPI) is told of the
// framework's items. Qt knows widgets only: the items drawn on the scene (labels, rows, pages,
// dialogs) are given accessible objects here, and the widgets embedded through proxies are
// placed under their window, in their item's place, visible exactly when the item is.
//
// An item is an object of the tree when it has a role: labels (static text), pages, dialogs,
// and any item given one with expose(). An item without a role is a container whose children
// stand in its place. Children come in reading order: top to bottom, then left to right.
namespace MAccessible {
// Called once by MApplication.
void install();

// Makes a plain item (not an MWidget, which says it by overriding accessibleRole() and
// accessibleText()) an object of the tree with `role` and `name`; an empty role takes it out.
void expose(QGraphicsWidget *item, QAccessible::Role role, const QString &name = QString());
// Tells listeners that `object` changed (QAccessible::NameChanged when a label's text did,
// DescriptionChanged...). Costs nothing while no assistive technology listens.
void notify(QObject *object, QAccessible::Event event);
// `items` in reading order: by lines from top to bottom, each line from left to right. The
// window's Tab order follows it too.
QList<QGraphicsItem *> inReadingOrder(QList<QGraphicsItem *> items);
} // namespace MAccessible

#endif
