// SPDX-License-Identifier: MIT
#ifndef MSCENEWINDOW_H
#define MSCENEWINDOW_H

#include "MWidget.h"

#include <QEvent>

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
    // Asks the application's window to show this (see MSceneWindowRequest).
    virtual void appear(MSceneWindow::DeletionPolicy policy = KeepWhenDone);
    // Asks the window showing this to take it off; a page shown before it comes back.
    virtual void disappear();

Q_SIGNALS:
    void appeared();
    void disappeared();

protected:
    // Runs at the start of every showing, once the window has taken this into its scene and
    // before it shows it.
    virtual void prepareToAppear() { }

private:
    friend class MApplicationWindow;
    DeletionPolicy m_policy = KeepWhenDone;
};

// What a scene window asks of a window: sent to the application object, where each application
// window watches the events (the newest window first) and takes the requests for scene windows
// of its own or of none. The window keeps the pages and dialogs it shows; a scene window knows no
// window. Accepted once a window took it.
class MSceneWindowRequest : public QEvent
{
public:
    enum Kind { Appear, Disappear };

    MSceneWindowRequest(Kind kind, MSceneWindow *window);
    static QEvent::Type eventType();

    Kind kind() const { return m_kind; }
    MSceneWindow *sceneWindow() const { return m_window; }

private:
    Kind m_kind;
    MSceneWindow *m_window;
};

#endif
