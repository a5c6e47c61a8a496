// SPDX-License-Identifier: MIT
#ifndef MDIALOG_H
#define MDIALOG_H

#include "MNamespace.h"
#include "MSceneWindow.h"

#include <QHash>

class MButton;
class MLabel;
class QEventLoop;
class QGraphicsLinearLayout;

// A modal dialog shown over the window's page. exec() runs a nested event loop, so timers and
// incoming calls keep being served while the dialog waits, and returns the standard button that
// was pressed. A dialog dismissed any other way (the window's escape button, the window closing,
// reject()) returns M::NoStandardButton.
class MDialog : public MSceneWindow
{
    Q_OBJECT
public:
    MDialog(const QString &title, M::StandardButtons buttons);
    ~MDialog() override;

    QString title() const;
    void setTitle(const QString &title);
    int result() const { return m_result; }
    MButton *button(M::StandardButton which) const { return m_buttons.value(which); }
    // The accented button that Return presses: the first one, OK where there is one.
    M::StandardButton defaultButton() const { return m_default; }

    int exec();

public Q_SLOTS:
    void done(int result);
    void accept();
    void reject();

Q_SIGNALS:
    void accepted();
    void rejected();
    void finished(int result);

protected:
    // Where subclasses put their content, between the title and the buttons.
    QGraphicsLinearLayout *contentLayout() const { return m_content; }
    void paint(QPainter *painter, const QStyleOptionGraphicsItem *option, QWidget *widget) override;
    void resizeEvent(QGraphicsSceneResizeEvent *event) override;
    void mousePressEvent(QGraphicsSceneMouseEvent *event) override;

private:
    void centrePanel();

    QGraphicsWidget *m_panel;
    MLabel *m_title;
    QGraphicsLinearLayout *m_content;
    QHash<int, MButton *> m_buttons;
    M::StandardButton m_default = M::NoStandardButton;
    QEventLoop *m_loop = nullptr;
    int m_result = M::NoStandardButton;
};

#endif
