#include "MSceneWindow.h"

#include "MApplication.h"
#include "MApplicationWindow.h"

MSceneWindow::MSceneWindow(QGraphicsItem *parent)
    : MWidget(parent)
{
}

MSceneWindow::~MSceneWindow() = default;

bool MSceneWindow::isOnDisplay() const
{
    MApplicationWindow *window = MApplication::activeApplicationWindow();
    return window && window->isShowing(this);
}

void MSceneWindow::appear(MSceneWindow::DeletionPolicy policy)
{
    m_policy = policy;
    prepareToAppear();
    if (MApplicationWindow *window = MApplication::activeApplicationWindow())
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
