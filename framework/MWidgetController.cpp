// SPDX-License-Identifier: MIT
#include "MWidgetController.h"

#include <QFocusEvent>

#include <QEvent>
#include <QStyle>
#include <QWidget>

MWidgetController::MWidgetController(QWidget *widget, QGraphicsItem *parent)
    : QGraphicsProxyWidget(parent)
{
    // An embedded top-level widget would otherwise paint the window colour behind itself.
    widget->setAttribute(Qt::WA_TranslucentBackground);
    widget->setAttribute(Qt::WA_NoSystemBackground);
    setWidget(widget);
    // The proxy copies the widget's size policy; labels and sliders would then grow vertically
    // and push rows apart. Controls keep their height.
    QSizePolicy policy = sizePolicy();
    policy.setVerticalPolicy(QSizePolicy::Fixed);
    setSizePolicy(policy);
    connect(this, &QObject::objectNameChanged, this, [this](const QString &name) {
        if (QWidget *w = this->widget()) {
            w->setObjectName(name);
            restyle();
        }
    });
}

MWidgetController::~MWidgetController() = default;

void MWidgetController::resizeEvent(QGraphicsSceneResizeEvent *event)
{
    QGraphicsProxyWidget::resizeEvent(event);
    // A layout may size a control to nothing for a moment (a page laid out before it has its
    // width). Qt then unmaps the embedded window and, as the window is never shown on screen,
    // does not map it again when it regains a size: every later repaint of the widget is then
    // dropped, and the screen keeps a slider's old handle and number until something else
    // repaints the view. Mapped again here, as showing such a window does.
    QWidget *w = widget();
    if (w && w->isVisible() && !w->testAttribute(Qt::WA_Mapped) && !w->size().isEmpty()) {
        w->setAttribute(Qt::WA_Mapped);
        w->update();
    }
}

void MWidgetController::takeWheelOnlyWhenFocused(QWidget *control)
{
    control->setFocusPolicy(Qt::StrongFocus);
    // Nor does the proxy take the focus from a turn of the wheel (the scene would give it as
    // from a click, and with it the wheel).
    setFocusPolicy(Qt::StrongFocus);
    control->installEventFilter(this);
    m_wheelControl = control;
}

bool MWidgetController::eventFilter(QObject *object, QEvent *event)
{
    // Focus from a click hands the control the wheel; focus from Tab does not (the tester moving
    // through the page with Tab and then scrolling it would change settings).
    if (object == m_wheelControl && event->type() == QEvent::FocusIn)
        m_wheelTaken = static_cast<QFocusEvent *>(event)->reason() == Qt::MouseFocusReason;
    // Hidden with its page, it gives the wheel back: a page shown again (for another transfer)
    // wants a click first.
    if (object == m_wheelControl && event->type() == QEvent::Hide)
        m_wheelTaken = false;
    if (object == m_wheelControl && event->type() == QEvent::Wheel && !(m_wheelControl->hasFocus() && m_wheelTaken)) {
        // Ignored, the turn goes on to the items beneath and in the end scrolls the view.
        event->ignore();
        return true;
    }
    return QGraphicsProxyWidget::eventFilter(object, event);
}

QWidget *MWidgetController::control() const
{
    return m_wheelControl ? m_wheelControl : widget();
}

void MWidgetController::setViewType(const QString &type)
{
    if (QWidget *w = widget()) {
        w->setProperty("viewType", type);
        restyle();
    }
}

void MWidgetController::restyle()
{
    QWidget *w = widget();
    const QList<QWidget *> all = QList<QWidget *> {w} + w->findChildren<QWidget *>();
    for (QWidget *each : all) {
        each->style()->unpolish(each);
        each->style()->polish(each);
        each->update();
    }
    updateGeometry();
}
