// SPDX-License-Identifier: MIT
#include "MSceneWindow.h"

#include <QCoreApplication>

MSceneWindow::MSceneWindow(QGraphicsItem *parent)
    : MWidget(parent)
{
}

MSceneWindow::~MSceneWindow() = default;

void MSceneWindow::appear(MSceneWindow::DeletionPolicy policy)
{
    m_policy = policy;
    MSceneWindowRequest request(MSceneWindowRequest::Appear, this);
    QCoreApplication::sendEvent(QCoreApplication::instance(), &request);
    // With no window to take it, the content is made all the same (a page used on its own).
    if (!request.isAccepted())
        prepareToAppear();
    emit appeared();
}

void MSceneWindow::disappear()
{
    MSceneWindowRequest request(MSceneWindowRequest::Disappear, this);
    QCoreApplication::sendEvent(QCoreApplication::instance(), &request);
    emit disappeared();
    if (m_policy == DestroyWhenDone)
        deleteLater();
}

MSceneWindowRequest::MSceneWindowRequest(Kind kind, MSceneWindow *window)
    : QEvent(eventType())
    , m_kind(kind)
    , m_window(window)
{
    ignore();
}

QEvent::Type MSceneWindowRequest::eventType()
{
    static const auto type = static_cast<QEvent::Type>(QEvent::registerEventType());
    return type;
}
