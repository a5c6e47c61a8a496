// SPDX-License-Identifier: MIT
#include "MComboBox.h"

#include "MAccessible.h"

#include <QAbstractItemView>
#include <QComboBox>
#include <QGraphicsScene>
#include <QGraphicsView>
#include <QHBoxLayout>
#include <QLabel>

#include <functional>

namespace {
// Tells when its popup opens and closes.
class PopupAwareComboBox : public QComboBox
{
public:
    std::function<void(bool)> onPopup;
    std::function<void()> placePopup;

    void showPopup() override
    {
        if (onPopup)
            onPopup(true);
        QComboBox::showPopup();
        if (placePopup)
            placePopup();
    }
    void hidePopup() override
    {
        QComboBox::hidePopup();
        if (onPopup)
            onPopup(false);
    }
};
} // namespace

MComboBox::MComboBox(QGraphicsItem *parent)
    : MWidgetController(new QWidget, parent)
{
    QWidget *box = widget();
    auto *layout = new QHBoxLayout(box);
    layout->setContentsMargins(0, 2, 0, 2);
    m_title = new QLabel(box);
    m_title->setObjectName(QStringLiteral("ComboTitle"));
    m_title->setMinimumWidth(110);
    auto *combo = new PopupAwareComboBox;
    combo->onPopup = [this](bool shown) { popupShown(shown); };
    combo->placePopup = [this] { fitPopup(); };
    m_combo = combo;
    m_combo->setParent(box);
    takeWheelOnlyWhenFocused(m_combo);
    m_combo->setSizeAdjustPolicy(QComboBox::AdjustToContents);
    m_combo->setMinimumWidth(150);
    layout->addWidget(m_title);
    layout->addWidget(m_combo, 1);
    connect(m_combo, &QComboBox::currentIndexChanged, this, [this](int index) {
        m_indexAtPopup = -2;
        // Assistive technology describes a list by its current entry.
        MAccessible::notify(m_combo, QAccessible::DescriptionChanged);
        emit currentIndexChanged(index);
    });
    // A pick of the entry already shown changes no index; it is told apart by the index the
    // list opened on being unchanged when the pick comes.
    connect(m_combo, &QComboBox::activated, this, [this](int index) {
        if (index == m_indexAtPopup)
            emit reselected(index);
        m_indexAtPopup = -2;
    });
}

MComboBox::~MComboBox()
{
    // The list widget outlives this part of the object (the proxy deletes it later) and may
    // still close its popup then.
    static_cast<PopupAwareComboBox *>(m_combo)->onPopup = nullptr;
}

QString MComboBox::title() const
{
    return m_title->text();
}

void MComboBox::setTitle(const QString &title)
{
    m_title->setText(title);
    // The caption names the list for assistive technology (its current entry would otherwise).
    m_combo->setAccessibleName(title);
    m_title->setBuddy(m_combo);
    updateGeometry();
}

void MComboBox::pick(int index)
{
    if (index < 0 || index >= count())
        return;
    if (index == currentIndex())
        emit reselected(index);
    else
        setCurrentIndex(index);
}

QAbstractItemModel *MComboBox::itemModel() const
{
    return m_combo->model();
}

void MComboBox::setItemModel(QAbstractItemModel *model)
{
    m_combo->setModel(model);
    updateGeometry();
}

int MComboBox::count() const
{
    return m_combo->count();
}

QString MComboBox::itemText(int index) const
{
    return m_combo->itemText(index);
}

int MComboBox::currentIndex() const
{
    return m_combo->currentIndex();
}

QString MComboBox::currentText() const
{
    return m_combo->currentText();
}

void MComboBox::setCurrentIndex(int index)
{
    m_combo->setCurrentIndex(index);
}

namespace {
int g_openLists = 0;
} // namespace

bool MComboBox::isAnyListOpen()
{
    return g_openLists > 0;
}

void MComboBox::fitPopup()
{
    // The list opens as a child of this proxy, placed as if the screen were the scene: it went
    // up under the window's bar or off its bottom edge. It is kept within what the view shows,
    // made shorter (it scrolls) when it is taller than that.
    QWidget *popup = m_combo->view()->window();
    QGraphicsProxyWidget *proxy = popup ? popup->graphicsProxyWidget() : nullptr;
    const QList<QGraphicsView *> views = scene() ? scene()->views() : QList<QGraphicsView *>();
    if (!proxy || views.isEmpty())
        return;
    QGraphicsView *view = views.constFirst();
    const QRectF shown = view->mapToScene(view->viewport()->rect()).boundingRect().adjusted(4, 4, -4, -4);
    QRectF at = proxy->sceneBoundingRect();
    if (at.height() > shown.height())
        at.setHeight(shown.height());
    at.moveTop(qBound(shown.top(), at.top(), shown.bottom() - at.height()));
    at.moveLeft(qBound(shown.left(), at.left(), qMax(shown.left(), shown.right() - at.width())));
    const QPointF offset = proxy->scenePos() - proxy->sceneBoundingRect().topLeft();
    proxy->setPos(proxy->parentItem() ? proxy->parentItem()->mapFromScene(at.topLeft() + offset)
                                      : at.topLeft() + offset);
    if (at.height() < proxy->size().height())
        proxy->resize(proxy->size().width(), at.height());
}

void MComboBox::popupShown(bool shown)
{
    g_openLists = qMax(0, g_openLists + (shown ? 1 : -1));
    // The popup is a child of this proxy: rows added after the combo box would paint over it
    // and take its clicks, so the combo box is raised while the popup is open.
    if (shown) {
        m_indexAtPopup = m_combo->currentIndex();
        m_restingZ = zValue();
        setZValue(10000);
    } else {
        setZValue(m_restingZ);
    }
}
