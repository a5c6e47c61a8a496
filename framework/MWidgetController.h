// SPDX-License-Identifier: MIT
#ifndef MWIDGETCONTROLLER_H
#define MWIDGETCONTROLLER_H

#include <QGraphicsProxyWidget>

// Common base of the controls (buttons, lists, sliders, text fields; labels and images are drawn
// straight into the scene instead). Each one embeds a real Qt widget through a proxy, so input,
// focus and painting are Qt's own.
//
// The object name of a control is its style name: it is handed on to the embedded widget, where
// the theme's style sheet picks it up. The view type is handed on as the widget property
// "viewType" for the same reason.
class MWidgetController : public QGraphicsProxyWidget
{
    Q_OBJECT
public:
    ~MWidgetController() override;

    // The theme gives each view type its shape (an "Icon" button is a small pill).
    void setViewType(const QString &type);
    // The widget that takes the keys (a list's drop-down, a slider's bar), which assistive
    // technology names.
    QWidget *control() const;

protected:
    // Takes ownership of `widget`.
    MWidgetController(QWidget *widget, QGraphicsItem *parent);
    void resizeEvent(QGraphicsSceneResizeEvent *event) override;
    bool eventFilter(QObject *object, QEvent *event) override;
    // `control` takes focus from a click or Tab, and lets wheel turns pass to the page (which
    // scrolls) until a click has given it focus: a tester scrolling a long page must not change
    // settings.
    void takeWheelOnlyWhenFocused(QWidget *control);

private:
    void restyle();

    QWidget *m_wheelControl = nullptr;
    bool m_wheelTaken = false; // the control's focus came from a click
};

#endif
