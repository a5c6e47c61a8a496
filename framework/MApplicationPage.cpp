// SPDX-License-Identifier: MIT
#include "MApplicationPage.h"

#include <QCoreApplication>
#include <QEvent>
#include <QGraphicsLinearLayout>

MApplicationPage::MApplicationPage(QGraphicsItem *parent)
    : MSceneWindow(parent)
    , m_central(new QGraphicsWidget(this))
{
    // The central widget expands: a page holding only fixed-height items would otherwise be
    // clamped to their height and not fill the screen.
    m_central->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    auto *layout = new QGraphicsLinearLayout(Qt::Vertical, this);
    layout->setContentsMargins(12, 12, 12, 12);
    layout->addItem(m_central);
    m_central->installEventFilter(this);
    setFlag(QGraphicsItem::ItemHasNoContents);
    // A panel, made the active one when it gets the keys: while no panel is active, the scene
    // makes the next panel that joins it the active one, and a list's drop-down (a panel that
    // Qt makes when the list is first shown) would take the keys from the control that has them.
    setFlag(QGraphicsItem::ItemIsPanel);
}

MApplicationPage::~MApplicationPage() = default;

void MApplicationPage::setTitle(const QString &title)
{
    if (m_title == title)
        return;
    m_title = title;
    emit titleChanged(m_title);
}

void MApplicationPage::setEscapeMode(MApplicationPageModel::PageEscapeMode mode)
{
    if (m_escapeMode == mode)
        return;
    m_escapeMode = mode;
    emit escapeModeChanged(mode);
}

void MApplicationPage::createContent() { }

QVariant MApplicationPage::itemChange(GraphicsItemChange change, const QVariant &value)
{
    if (change == ItemVisibleHasChanged && value.toBool() && std::exchange(m_layoutDeferred, false)) {
        QCoreApplication::postEvent(m_central, new QEvent(QEvent::LayoutRequest));
        QCoreApplication::postEvent(this, new QEvent(QEvent::LayoutRequest));
    }
    return MSceneWindow::itemChange(change, value);
}

void MApplicationPage::prepareToAppear()
{
    if (m_contentCreated)
        return;
    m_contentCreated = true;
    createContent();
}

bool MApplicationPage::deferLayout(QEvent *event)
{
    // A page that is not shown (hidden, or not yet in the window's scene) is laid out when it is
    // shown, once: a list changing behind another page costs no layout passes. The content's
    // own layout asks its widget, the central one, to be laid out; the page's asks the page.
    if (event->type() != QEvent::LayoutRequest || (isVisible() && scene()))
        return false;
    m_layoutDeferred = true;
    return true;
}

bool MApplicationPage::eventFilter(QObject *watched, QEvent *event)
{
    return deferLayout(event) || MSceneWindow::eventFilter(watched, event);
}

bool MApplicationPage::event(QEvent *event)
{
    if (deferLayout(event))
        return true;
    const bool handled = MSceneWindow::event(event);
    if (event->type() == QEvent::LayoutRequest)
        emit contentSizeChanged();
    return handled;
}
