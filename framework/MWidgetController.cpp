#include "MWidgetController.h"

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

void MWidgetController::setViewType(const QString &type)
{
    m_viewType = type;
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
