// SPDX-License-Identifier: MIT
#include "MDialog.h"

#include "MButton.h"
#include "MLabel.h"

#include <QEventLoop>
#include <QLoggingCategory>
#include <QGraphicsLinearLayout>
#include <QGraphicsSceneMouseEvent>
#include <QPainter>
#include <QPointer>

Q_LOGGING_CATEGORY(lcFramework, "zav.framework")

namespace {
QString buttonText(M::StandardButton which)
{
    switch (which) {
    case M::OkButton:
        return QObject::tr("OK");
    case M::SaveButton:
        return QObject::tr("Save");
    case M::YesButton:
        return QObject::tr("Yes");
    case M::NoButton:
        return QObject::tr("No");
    case M::AbortButton:
        return QObject::tr("Abort");
    case M::RetryButton:
        return QObject::tr("Retry");
    case M::IgnoreButton:
        return QObject::tr("Ignore");
    case M::CloseButton:
        return QObject::tr("Close");
    case M::CancelButton:
        return QObject::tr("Cancel");
    case M::DiscardButton:
        return QObject::tr("Discard");
    case M::NoStandardButton:
        break;
    }
    return QString();
}

const M::StandardButton buttonOrder[] = {M::OkButton,     M::SaveButton, M::YesButton,   M::RetryButton,
                                         M::IgnoreButton, M::NoButton,   M::AbortButton, M::DiscardButton,
                                         M::CancelButton, M::CloseButton};
} // namespace

MDialog::MDialog(const QString &title, M::StandardButtons buttons)
    : m_panel(new QGraphicsWidget(this))
    , m_title(new MLabel(title))
    , m_content(new QGraphicsLinearLayout(Qt::Vertical))
{
    // Modal in its scene: no item beneath it takes a press, a key, the wheel or the focus.
    setFlag(QGraphicsItem::ItemIsPanel);
    setPanelModality(QGraphicsItem::SceneModal);
    auto *panelLayout = new QGraphicsLinearLayout(Qt::Vertical, m_panel);
    panelLayout->setContentsMargins(24, 20, 24, 20);
    panelLayout->setSpacing(16);
    m_title->setObjectName(QStringLiteral("PopupListHeader"));
    m_title->setVisible(!title.isEmpty());
    if (!title.isEmpty())
        panelLayout->addItem(m_title);
    panelLayout->addItem(m_content);
    auto *row = new QGraphicsLinearLayout(Qt::Horizontal);
    row->setSpacing(16);
    row->addStretch();
    for (M::StandardButton which : buttonOrder) {
        if (!buttons.testFlag(which))
            continue;
        auto *button = new MButton(buttonText(which));
        // The first button (OK where there is one) is the accented default; the others plain.
        const bool isDefault = m_buttons.isEmpty();
        if (isDefault)
            m_default = which;
        button->setObjectName(isDefault ? QStringLiteral("PushButton") : QStringLiteral("DialogButton"));
        connect(button, &MButton::clicked, this, [this, which] { done(which); });
        m_buttons.insert(which, button);
        row->addItem(button);
    }
    row->addStretch();
    panelLayout->addItem(row);
    if (title.isEmpty()) {
        delete m_title;
        m_title = nullptr;
    }
}

MDialog::~MDialog()
{
    if (m_loop)
        m_loop->exit(M::NoStandardButton);
}

QString MDialog::title() const
{
    return m_title ? m_title->text() : QString();
}

void MDialog::setTitle(const QString &title)
{
    if (m_title)
        m_title->setText(title);
}

int MDialog::exec()
{
    m_result = M::NoStandardButton;
    appear();
    // Shown means in a window's scene.
    if (!scene()) {
        qCWarning(lcFramework, "MDialog::exec: no application window to show the dialog on");
        return M::NoStandardButton;
    }
    QEventLoop loop;
    m_loop = &loop;
    QPointer<MDialog> self(this);
    loop.exec(QEventLoop::DialogExec);
    if (!self)
        return M::NoStandardButton;
    m_loop = nullptr;
    return m_result;
}

void MDialog::done(int result)
{
    m_result = result;
    disappear();
    if (m_loop)
        m_loop->exit(result);
    emit finished(result);
    if (result == M::NoStandardButton)
        emit rejected();
    else
        emit accepted();
}

void MDialog::accept()
{
    done(M::OkButton);
}

void MDialog::reject()
{
    done(M::NoStandardButton);
}

void MDialog::paint(QPainter *painter, const QStyleOptionGraphicsItem *, QWidget *)
{
    painter->fillRect(rect(), QColor(15, 25, 35, 140));
    painter->setRenderHint(QPainter::Antialiasing);
    painter->setPen(Qt::NoPen);
    painter->setBrush(Qt::white);
    painter->drawRoundedRect(m_panel->geometry(), 10, 10);
}

void MDialog::resizeEvent(QGraphicsSceneResizeEvent *event)
{
    MSceneWindow::resizeEvent(event);
    centrePanel();
}

void MDialog::mousePressEvent(QGraphicsSceneMouseEvent *event)
{
    // Modal: presses outside the panel go nowhere.
    event->accept();
}

void MDialog::centrePanel()
{
    QSizeF size = m_panel->effectiveSizeHint(Qt::PreferredSize);
    size.setWidth(qBound<qreal>(360, size.width(), qMax<qreal>(360, rect().width() - 40)));
    m_panel->resize(size);
    m_panel->setPos((rect().width() - size.width()) / 2, (rect().height() - size.height()) / 2);
}
