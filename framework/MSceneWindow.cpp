// SPDX-License-Identifier: MIT
#include "MSceneWindow.h"

#include "MApplication.h"
#include "MApplicationWindow.h"

MSceneWindow::MSceneWindow(QGraphicsItem *parent)
    : MWidget(parent)
{
}

MSceneWindow::~MSceneWindow() = default;

void MSceneWindow::appear(MSceneWindow::DeletionPolicy policy)
{
    m_policy = policy;
    MApplicationWindow *window = MApplication::activeApplicationWindow();
    // Into the scene first, then the content: items made inside a scene join it one by one,
    // while a whole tree added at once makes the scene send events to items not yet in it.
    if (window)
        window->adopt(this);
    prepareToAppear();
    if (window)
        window->showSceneWindow(this);
    emit appeared();
}

void MSceneWindow::disappear()
{
    if (MApplicationWindow *window = MApplication::activeApplicationWindow())
        window->hideSceneWindow(this);
    emit disappeared();
    if (m_policy == DestroyWhenDone)
        deleteLater();
}
