// SPDX-License-Identifier: MIT
#ifndef MSCENEWINDOW_H
#define MSCENEWINDOW_H

#include "MWidget.h"

// Something the application window shows: a page, or a dialog over the page.
class MSceneWindow : public MWidget
{
    Q_OBJECT
public:
    enum DeletionPolicy {
        KeepWhenDone = 0, // stays alive after it is dismissed
        DestroyWhenDone = 1, // deleted once it has disappeared
    };
    Q_ENUM(DeletionPolicy)

    explicit MSceneWindow(QGraphicsItem *parent = nullptr);
    ~MSceneWindow() override;

    DeletionPolicy deletionPolicy() const { return m_policy; }

public Q_SLOTS:
    // Shows this on the application's active window.
    virtual void appear(MSceneWindow::DeletionPolicy policy = KeepWhenDone);
    // Takes this off the window; a page shown before it comes back.
    virtual void disappear();

Q_SIGNALS:
    void appeared();
    void disappeared();

protected:
    // Runs at the start of every appear(), before the window shows this.
    virtual void prepareToAppear() { }

private:
    friend class MApplicationWindow;
    DeletionPolicy m_policy = KeepWhenDone;
};

#endif
