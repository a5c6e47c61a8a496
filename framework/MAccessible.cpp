// SPDX-License-Identifier: MIT
#include "MAccessible.h"

#include "MApplicationPage.h"
#include "MApplicationWindow.h"
#include "MComboBox.h"
#include "MDialog.h"
#include "MLabel.h"
#include "MSlider.h"
#include "MWidget.h"

#include <QAccessibleObject>
#include <QAccessibleWidget>
#include <QComboBox>
#include <QGraphicsProxyWidget>
#include <QGraphicsScene>
#include <QGraphicsView>
#include <QGuiApplication>
#include <QPointer>
#include <QSlider>
#include <QWindow>

#include <algorithm>

namespace {
const char RoleProperty[] = "mAccessibleRole";
const char NameProperty[] = "mAccessibleName";

QGraphicsView *viewOf(const QGraphicsItem *item)
{
    const QGraphicsScene *scene = item ? item->scene() : nullptr;
    if (!scene || scene->views().isEmpty())
        return nullptr;
    return scene->views().constFirst();
}

QGraphicsProxyWidget *proxyOf(const QWidget *widget)
{
    const QWidget *top = widget ? widget->window() : nullptr;
    return top ? top->graphicsProxyWidget() : nullptr;
}

// `local` of `item`, on the screen.
QRect screenRect(const QGraphicsItem *item, const QRectF &local)
{
    QGraphicsView *view = viewOf(item);
    if (!view)
        return QRect();
    const QRect inView = view->mapFromScene(item->mapToScene(local)).boundingRect();
    return QRect(view->viewport()->mapToGlobal(inView.topLeft()), inView.size());
}

QAccessible::Role roleOf(const QGraphicsWidget *item)
{
    const QVariant role = item->property(RoleProperty);
    if (role.isValid())
        return QAccessible::Role(role.toInt());
    if (auto *widget = qobject_cast<const MWidget *>(item); widget && widget->accessibleRole() != QAccessible::NoRole)
        return widget->accessibleRole();
    if (auto *label = qobject_cast<const MLabel *>(item))
        return label->text().isEmpty() ? QAccessible::NoRole : QAccessible::StaticText;
    if (qobject_cast<const MDialog *>(item))
        return QAccessible::Dialog;
    if (qobject_cast<const MApplicationPage *>(item))
        return QAccessible::Pane;
    return QAccessible::NoRole;
}

bool isExposed(const QGraphicsItem *item)
{
    if (!item->isWidget())
        return false;
    if (auto *proxy = qobject_cast<const QGraphicsProxyWidget *>(static_cast<const QGraphicsWidget *>(item)))
        return proxy->widget() != nullptr;
    return roleOf(static_cast<const QGraphicsWidget *>(item)) != QAccessible::NoRole;
}

void collectExposed(const QGraphicsItem *item, QList<QGraphicsItem *> &into)
{
    for (QGraphicsItem *child : item->childItems()) {
        if (!child->isVisible())
            continue;
        if (isExposed(child))
            into.append(child);
        else
            collectExposed(child, into);
    }
}

QList<QGraphicsItem *> exposedChildren(const QGraphicsItem *item)
{
    QList<QGraphicsItem *> children;
    collectExposed(item, children);
    return MAccessible::inReadingOrder(children);
}

QAccessibleInterface *embeddedInterface(QWidget *widget);

QAccessibleInterface *interfaceOf(QGraphicsItem *item)
{
    if (!item || !item->isWidget())
        return nullptr;
    auto *widget = static_cast<QGraphicsWidget *>(item);
    if (auto *proxy = qobject_cast<QGraphicsProxyWidget *>(widget))
        return embeddedInterface(proxy->widget());
    return QAccessible::queryAccessibleInterface(widget);
}

// The object an item's accessible object hangs under: the nearest exposed ancestor, or the
// window that shows the scene.
QAccessibleInterface *parentOf(const QGraphicsItem *item)
{
    for (QGraphicsItem *up = item->parentItem(); up; up = up->parentItem()) {
        if (isExposed(up))
            return interfaceOf(up);
    }
    QGraphicsView *view = viewOf(item);
    return view ? QAccessible::queryAccessibleInterface(view->window()) : nullptr;
}

int indexIn(const QList<QGraphicsItem *> &items, const QAccessibleInterface *child)
{
    const QObject *object = child ? child->object() : nullptr;
    for (qsizetype i = 0; object && i < items.size(); ++i) {
        auto *widget = static_cast<QGraphicsWidget *>(items.at(i));
        auto *proxy = qobject_cast<QGraphicsProxyWidget *>(widget);
        if (widget == object || (proxy && proxy->widget() == object))
            return int(i);
    }
    return -1;
}

QWindow *windowOf(const QGraphicsItem *item)
{
    QGraphicsView *view = viewOf(item);
    return view ? view->window()->windowHandle() : nullptr;
}

// A label, row, page or dialog drawn on the scene.
class ItemAccessible : public QAccessibleObject, public QAccessibleActionInterface
{
public:
    explicit ItemAccessible(QGraphicsWidget *item)
        : QAccessibleObject(item)
    {
    }

    QGraphicsWidget *item() const { return static_cast<QGraphicsWidget *>(object()); }

    QWindow *window() const override { return windowOf(item()); }
    QAccessibleInterface *parent() const override { return parentOf(item()); }
    int childCount() const override { return int(exposedChildren(item()).size()); }
    QAccessibleInterface *child(int index) const override
    {
        const QList<QGraphicsItem *> children = exposedChildren(item());
        return index >= 0 && index < children.size() ? interfaceOf(children.at(index)) : nullptr;
    }
    int indexOfChild(const QAccessibleInterface *child) const override
    {
        return indexIn(exposedChildren(item()), child);
    }
    QAccessibleInterface *childAt(int x, int y) const override
    {
        for (QGraphicsItem *child : exposedChildren(item())) {
            QAccessibleInterface *iface = interfaceOf(child);
            if (iface && iface->rect().contains(x, y))
                return iface;
        }
        return nullptr;
    }
    QAccessible::Role role() const override { return roleOf(item()); }
    QString text(QAccessible::Text which) const override
    {
        const QGraphicsWidget *it = item();
        if (auto *widget = qobject_cast<const MWidget *>(it)) {
            const QString own = widget->accessibleText(which);
            if (!own.isNull())
                return own;
        }
        if (which != QAccessible::Name)
            return QString();
        const QVariant name = it->property(NameProperty);
        if (name.isValid())
            return name.toString();
        if (auto *label = qobject_cast<const MLabel *>(it))
            return label->text();
        if (auto *dialog = qobject_cast<const MDialog *>(it))
            return dialog->title();
        if (auto *page = qobject_cast<const MApplicationPage *>(it))
            return page->title();
        return QString();
    }
    QRect rect() const override { return screenRect(item(), item()->boundingRect()); }
    QAccessible::State state() const override
    {
        QAccessible::State state;
        const QGraphicsWidget *it = item();
        state.invisible = !it->isVisible() || !viewOf(it);
        state.disabled = !it->isEnabled() || it->isBlockedByModalPanel();
        state.focusable = (it->flags() & QGraphicsItem::ItemIsFocusable) && (it->focusPolicy() & Qt::TabFocus);
        state.focused = it->hasFocus();
        state.modal = role() == QAccessible::Dialog;
        return state;
    }
    void *interface_cast(QAccessible::InterfaceType type) override
    {
        auto *widget = qobject_cast<MWidget *>(item());
        if (type == QAccessible::ActionInterface && widget && widget->hasAccessiblePress()
            && !widget->isBlockedByModalPanel())
            return static_cast<QAccessibleActionInterface *>(this);
        return nullptr;
    }

    QStringList actionNames() const override { return {pressAction()}; }
    void doAction(const QString &name) override
    {
        auto *widget = qobject_cast<MWidget *>(item());
        if (name == pressAction() && widget && widget->isVisible() && widget->isEnabled()
            && !widget->isBlockedByModalPanel())
            widget->accessiblePress();
    }
    QStringList keyBindingsForAction(const QString &) const override { return {}; }
};

// A widget embedded through a proxy, or a widget inside one: Qt's own accessible object for it
// (a button's press, a field's text, a slider's value), placed where the proxy is in the scene
// and shown as the proxy is. A slider tells its value in the unit it shows; a list offers an
// action per entry, as Qt's list cannot be picked from through accessibility.
class EmbeddedAccessible : public QAccessibleInterface,
                           public QAccessibleActionInterface,
                           public QAccessibleValueInterface
{
public:
    EmbeddedAccessible(QWidget *widget, QAccessibleInterface *inner)
        : m_widget(widget)
        , m_inner(QAccessible::uniqueId(inner))
    {
    }
    ~EmbeddedAccessible() override
    {
        // Qt's object is registered beside this one; it goes with it (not at the very end, when
        // the registry empties itself).
        if (QCoreApplication::instance() && QAccessible::accessibleInterface(m_inner))
            QAccessible::deleteAccessibleInterface(m_inner);
    }

    QAccessibleInterface *inner() const { return QAccessible::accessibleInterface(m_inner); }

    bool isValid() const override { return m_widget && inner() && inner()->isValid(); }
    QObject *object() const override { return m_widget; }
    QWindow *window() const override { return windowOf(proxyOf(m_widget)); }
    QList<QPair<QAccessibleInterface *, QAccessible::Relation>> relations(QAccessible::Relation match) const override
    {
        return inner()->relations(match);
    }
    QAccessibleInterface *focusChild() const override { return inner()->focusChild(); }
    QAccessibleInterface *childAt(int x, int y) const override { return inner()->childAt(x, y); }
    QAccessibleInterface *parent() const override
    {
        QGraphicsProxyWidget *proxy = m_widget ? m_widget->graphicsProxyWidget() : nullptr;
        return proxy ? parentOf(proxy) : inner()->parent();
    }
    QAccessibleInterface *child(int index) const override
    {
        QAccessibleInterface *child = inner()->child(index);
        auto *widget = child ? qobject_cast<QWidget *>(child->object()) : nullptr;
        return widget ? embeddedInterface(widget) : child;
    }
    int childCount() const override { return inner()->childCount(); }
    int indexOfChild(const QAccessibleInterface *child) const override { return inner()->indexOfChild(child); }
    QString text(QAccessible::Text which) const override
    {
        // A list is named by its caption (Qt names it by its current entry) and described by
        // its current entry.
        if (which == QAccessible::Description && combo())
            return combo()->currentText();
        if (which == QAccessible::Name && combo() && !m_widget->accessibleName().isEmpty())
            return m_widget->accessibleName();
        return inner()->text(which);
    }
    void setText(QAccessible::Text which, const QString &text) override { inner()->setText(which, text); }
    QRect rect() const override
    {
        QGraphicsProxyWidget *proxy = proxyOf(m_widget);
        if (!proxy)
            return inner()->rect();
        const QPoint at = m_widget->mapTo(m_widget->window(), QPoint(0, 0));
        return screenRect(proxy, QRectF(at, m_widget->size()));
    }
    QAccessible::Role role() const override { return inner()->role(); }
    QAccessible::State state() const override
    {
        QAccessible::State state = inner()->state();
        QGraphicsProxyWidget *proxy = proxyOf(m_widget);
        if (proxy && (!proxy->isVisible() || !viewOf(proxy)))
            state.invisible = true;
        if (proxy && proxy->isBlockedByModalPanel())
            state.disabled = true;
        return state;
    }
    void *interface_cast(QAccessible::InterfaceType type) override
    {
        // Beneath a modal dialog nothing is pressed, set or typed into, by anyone.
        QGraphicsProxyWidget *proxy = proxyOf(m_widget);
        if (proxy && proxy->isBlockedByModalPanel()
            && (type == QAccessible::ActionInterface || type == QAccessible::ValueInterface
                || type == QAccessible::EditableTextInterface))
            return nullptr;
        if (type == QAccessible::ValueInterface && slider())
            return static_cast<QAccessibleValueInterface *>(this);
        if (type == QAccessible::ActionInterface && combo())
            return static_cast<QAccessibleActionInterface *>(this);
        return inner()->interface_cast(type);
    }

    // The list's own actions, then one per entry: "Pick Active".
    QStringList actionNames() const override
    {
        QStringList names;
        if (QAccessibleActionInterface *own = innerActions())
            names = own->actionNames();
        for (int i = 0; i < combo()->count(); ++i)
            names.append(pickAction(combo()->itemText(i)));
        return names;
    }
    void doAction(const QString &name) override
    {
        MComboBox *list = combo();
        for (int i = 0; i < list->count(); ++i) {
            if (name == pickAction(list->itemText(i))) {
                if (list->isVisible() && list->isEnabled() && !list->isBlockedByModalPanel())
                    list->pick(i);
                return;
            }
        }
        if (QAccessibleActionInterface *own = innerActions())
            own->doAction(name);
    }
    QStringList keyBindingsForAction(const QString &name) const override
    {
        QAccessibleActionInterface *own = innerActions();
        return own ? own->keyBindingsForAction(name) : QStringList();
    }
    QString localizedActionDescription(const QString &name) const override
    {
        for (int i = 0; i < combo()->count(); ++i) {
            if (name == pickAction(combo()->itemText(i)))
                return QObject::tr("Picks \"%1\" from the list").arg(combo()->itemText(i));
        }
        QAccessibleActionInterface *own = innerActions();
        return own ? own->localizedActionDescription(name) : QString();
    }

    QVariant currentValue() const override { return slider()->shownValue(); }
    void setCurrentValue(const QVariant &value) override
    {
        bool ok = false;
        const double number = value.toDouble(&ok);
        MSlider *it = slider();
        if (ok && it->isVisible() && it->isEnabled() && !it->isBlockedByModalPanel())
            it->setShownValue(number);
    }
    QVariant maximumValue() const override { return slider()->shownMaximum(); }
    QVariant minimumValue() const override { return slider()->shownMinimum(); }
    QVariant minimumStepSize() const override { return QVariant(); }

private:
    static QString pickAction(const QString &entry) { return QObject::tr("Pick %1").arg(entry); }
    QAccessibleActionInterface *innerActions() const { return inner()->actionInterface(); }
    MComboBox *combo() const
    {
        auto *list = qobject_cast<MComboBox *>(proxyOf(m_widget));
        return list && m_widget == list->comboWidget() ? list : nullptr;
    }
    MSlider *slider() const
    {
        auto *it = qobject_cast<MSlider *>(proxyOf(m_widget));
        return it && m_widget == it->sliderWidget() && it->hasShownScale() ? it : nullptr;
    }

    QPointer<QWidget> m_widget;
    QAccessible::Id m_inner;
};

// The window: its bar, then the page and the dialogs over it.
class WindowAccessible : public QAccessibleWidget
{
public:
    explicit WindowAccessible(MApplicationWindow *window)
        : QAccessibleWidget(window, QAccessible::Window)
    {
    }

    MApplicationWindow *appWindow() const { return static_cast<MApplicationWindow *>(widget()); }

    QList<QObject *> parts() const
    {
        QList<QObject *> all {appWindow()->titleBar()};
        for (MSceneWindow *shown : appWindow()->sceneWindows()) {
            if (shown->isVisible())
                all.append(shown);
        }
        return all;
    }
    int childCount() const override { return int(parts().size()); }
    QAccessibleInterface *child(int index) const override
    {
        const QList<QObject *> all = parts();
        return index >= 0 && index < all.size() ? QAccessible::queryAccessibleInterface(all.at(index)) : nullptr;
    }
    int indexOfChild(const QAccessibleInterface *child) const override
    {
        return child ? int(parts().indexOf(child->object())) : -1;
    }
    QAccessibleInterface *focusChild() const override
    {
        QGraphicsItem *focused = appWindow()->scene()->focusItem();
        if (!appWindow()->hasFocus() || !focused)
            return QAccessibleWidget::focusChild();
        QAccessibleInterface *iface = interfaceOf(focused);
        QAccessibleInterface *deeper = iface ? iface->focusChild() : nullptr;
        return deeper ? deeper : iface;
    }
};

// The application's windows, without the widgets that live inside a scene.
class AppAccessible : public QAccessibleApplication
{
public:
    static QObjectList windows()
    {
        QObjectList list;
        for (QWindow *window : QGuiApplication::topLevelWindows()) {
            if (window->type() == Qt::Popup || window->type() == Qt::Desktop)
                continue;
            QAccessibleInterface *root = window->accessibleRoot();
            QObject *object = root ? root->object() : nullptr;
            auto *widget = qobject_cast<QWidget *>(object);
            if (object && !(widget && proxyOf(widget)))
                list.append(object);
        }
        return list;
    }
    int childCount() const override { return int(windows().size()); }
    QAccessibleInterface *child(int index) const override
    {
        const QObjectList all = windows();
        return index >= 0 && index < all.size() ? QAccessible::queryAccessibleInterface(all.at(index)) : nullptr;
    }
    int indexOfChild(const QAccessibleInterface *child) const override
    {
        return child ? int(windows().indexOf(child->object())) : -1;
    }
};

bool g_wrapping = false; // asking Qt for its own object of a widget

QAccessibleInterface *factory(const QString &, QObject *object)
{
    if (object == qApp)
        return new AppAccessible;
    if (auto *window = qobject_cast<MApplicationWindow *>(object))
        return new WindowAccessible(window);
    if (auto *item = qobject_cast<QGraphicsWidget *>(object)) {
        if (qobject_cast<QGraphicsProxyWidget *>(item))
            return nullptr;
        return new ItemAccessible(item);
    }
    auto *widget = qobject_cast<QWidget *>(object);
    if (g_wrapping || !widget || !proxyOf(widget))
        return nullptr;
    g_wrapping = true;
    QAccessibleInterface *inner = QAccessible::queryAccessibleInterface(widget);
    g_wrapping = false;
    return inner ? new EmbeddedAccessible(widget, inner) : nullptr;
}

// Qt makes a widget's accessible object the first time anything asks, also before the widget
// is embedded (or, during its construction, as a plain widget's): such an object is replaced
// by one that knows the widget's place in the scene.
QAccessibleInterface *embeddedInterface(QWidget *widget)
{
    QAccessibleInterface *iface = QAccessible::queryAccessibleInterface(widget);
    if (!iface || dynamic_cast<EmbeddedAccessible *>(iface) || !proxyOf(widget))
        return iface;
    QAccessible::deleteAccessibleInterface(QAccessible::uniqueId(iface));
    return QAccessible::queryAccessibleInterface(widget);
}

} // namespace

namespace MAccessible {
void install()
{
    static bool installed = false;
    if (installed)
        return;
    installed = true;
    QAccessible::installFactory(factory);
}

void expose(QGraphicsWidget *item, QAccessible::Role role, const QString &name)
{
    item->setProperty(RoleProperty, role == QAccessible::NoRole ? QVariant() : QVariant(int(role)));
    item->setProperty(NameProperty, name);
    notify(item, QAccessible::NameChanged);
}

void notify(QObject *object, QAccessible::Event event)
{
    if (!QAccessible::isActive())
        return;
    QAccessibleEvent change(object, event);
    QAccessible::updateAccessibility(&change);
}

QList<QGraphicsItem *> inReadingOrder(QList<QGraphicsItem *> items)
{
    const auto top = [](const QGraphicsItem *a, const QGraphicsItem *b) {
        const QRectF ra = a->sceneBoundingRect(), rb = b->sceneBoundingRect();
        return ra.top() < rb.top() || (ra.top() == rb.top() && ra.left() < rb.left());
    };
    std::stable_sort(items.begin(), items.end(), top);
    // A line: what starts above the middle of the first item of the line, left to right.
    for (qsizetype start = 0; start < items.size();) {
        const QRectF first = items.at(start)->sceneBoundingRect();
        qsizetype end = start + 1;
        while (end < items.size() && items.at(end)->sceneBoundingRect().top() < first.center().y())
            ++end;
        std::stable_sort(items.begin() + start, items.begin() + end,
                         [](const QGraphicsItem *a, const QGraphicsItem *b) {
                             return a->sceneBoundingRect().left() < b->sceneBoundingRect().left();
                         });
        start = end;
    }
    return items;
}
} // namespace MAccessible
