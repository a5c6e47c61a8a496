// SPDX-License-Identifier: MIT
#include "MLabel.h"

#include "MAccessible.h"

#include "MApplication.h"
#include "MWidgetController.h"

#include <QApplication>
#include <QFontMetricsF>
#include <QPainter>
#include <QWidget>

namespace {
struct TextStyle
{
    int pixelSize;
    bool bold;
    QColor color;
};

// The theme's text styles by style name, in the theme's colours (the widgets' styles are in
// theme.qss).
TextStyle textStyle(const QString &name)
{
    const auto color = [](const char *role) { return MApplication::themeColor(QLatin1String(role)); };
    static const QHash<QString, TextStyle> styles {
        {QStringLiteral("PopupListHeader"), {13, true, color("heading")}},
        {QStringLiteral("ElementTransferCol1"), {13, true, color("ink")}},
        {QStringLiteral("ElementTransferCol2"), {12, false, color("muted")}},
        {QStringLiteral("ElementTransferCol3"), {12, false, color("heading")}},
        {QStringLiteral("DialogText"), {16, false, color("ink")}},
        {QStringLiteral("TransferIdBadge"), {11, true, color("faint")}},
        {QStringLiteral("NoticeLine"), {14, true, color("alert")}},
        {QStringLiteral("HintLine"), {13, false, color("muted")}},
    };
    return styles.value(name, TextStyle {13, false, color("ink")});
}

constexpr qreal WrapWidth = 400;
} // namespace

MLabel::MLabel(QGraphicsItem *parent)
    : MLabel(QString(), parent)
{
}

MLabel::MLabel(const QString &text, QGraphicsItem *parent)
    : MWidget(parent)
    , m_text(text)
{
    // A press on a label belongs to what lies beneath it (a row).
    setAcceptedMouseButtons(Qt::NoButton);
    setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
    applyStyle();
    connect(this, &QObject::objectNameChanged, this, &MLabel::applyStyle);
}

MLabel::~MLabel() = default;

void MLabel::setText(const QString &text)
{
    if (m_text == text)
        return;
    const QSizeF minimum = effectiveSizeHint(Qt::MinimumSize);
    const QSizeF preferred = effectiveSizeHint(Qt::PreferredSize);
    m_text = text;
    m_width = -1;
    // Only the layouts around a label whose size hints change are invalidated: a label of set
    // width (the columns of a list's rows) changes its text without laying the list out again.
    QGraphicsLayoutItem::updateGeometry();
    if (m_wrap || effectiveSizeHint(Qt::MinimumSize) != minimum || effectiveSizeHint(Qt::PreferredSize) != preferred)
        updateGeometry();
    update();
    MAccessible::notify(this, QAccessible::NameChanged);
    if (m_buddy)
        m_buddy->control()->setAccessibleName(m_text);
}

void MLabel::setBuddy(MWidgetController *control)
{
    m_buddy = control;
    if (control)
        control->control()->setAccessibleName(m_text);
}

void MLabel::setAlignment(Qt::Alignment alignment)
{
    m_alignment = alignment;
    update();
}

void MLabel::setWordWrap(bool wrap)
{
    m_wrap = wrap;
    updateGeometry();
    update();
}

void MLabel::applyStyle()
{
    const TextStyle style = textStyle(objectName());
    QFont styled = QApplication::font();
    styled.setPixelSize(style.pixelSize);
    styled.setBold(style.bold);
    setFont(styled);
    m_width = -1;
    m_color = style.color;
    updateGeometry();
    update();
}

QSizeF MLabel::sizeHint(Qt::SizeHint which, const QSizeF &constraint) const
{
    const QFontMetricsF metrics(font());
    const qreal lineHeight = metrics.height() + 4;
    if (which == Qt::MaximumSize)
        return QSizeF(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
    if (m_wrap) {
        const qreal width = constraint.width() > 0 ? constraint.width() : WrapWidth;
        const QRectF bounds = metrics.boundingRect(QRectF(0, 0, width, 1e6), Qt::TextWordWrap, m_text);
        return QSizeF(which == Qt::MinimumSize ? qMin(width, qreal(100)) : qMin(width, bounds.width() + 2),
                      qMax(lineHeight, bounds.height() + 4));
    }
    if (m_width < 0)
        m_width = metrics.horizontalAdvance(m_text) + 2;
    const qreal width = m_width;
    // Narrower than its text it elides; it does not force its row wider.
    return QSizeF(which == Qt::MinimumSize ? qMin(width, qreal(24)) : width, lineHeight);
}

void MLabel::paint(QPainter *painter, const QStyleOptionGraphicsItem *, QWidget *)
{
    if (m_text.isEmpty())
        return;
    painter->setFont(font());
    painter->setPen(m_color);
    const QRectF area = rect();
    if (m_wrap) {
        painter->drawText(area, int(m_alignment) | Qt::TextWordWrap, m_text);
        return;
    }
    const QString shown = QFontMetricsF(font()).elidedText(m_text, Qt::ElideRight, area.width());
    painter->drawText(area, int(m_alignment), shown);
}
