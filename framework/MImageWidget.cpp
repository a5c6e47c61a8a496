// SPDX-License-Identifier: MIT
#include "MImageWidget.h"

#include <QFileInfo>
#include <QImageReader>
#include <QPainter>

MImageWidget::MImageWidget(QGraphicsItem *parent)
    : MImageWidget(QString(), parent)
{
}

MImageWidget::MImageWidget(const QString &id, QGraphicsItem *parent)
    : MWidget(parent)
{
    setAcceptedMouseButtons(Qt::NoButton);
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    setImage(id, m_size);
}

MImageWidget::~MImageWidget() = default;

void MImageWidget::setImage(const QString &id)
{
    setImage(id, m_size);
}

void MImageWidget::setImage(const QString &id, const QSize &size)
{
    m_id = id;
    const QSize wanted = size.isValid() ? size : QSize(64, 64);
    if (wanted != m_size) {
        m_size = wanted;
        updateGeometry();
    }
    render();
    update();
}

QSizeF MImageWidget::sizeHint(Qt::SizeHint, const QSizeF &) const
{
    return QSizeF(m_size);
}

void MImageWidget::paint(QPainter *painter, const QStyleOptionGraphicsItem *, QWidget *)
{
    if (m_pixmap.isNull())
        return;
    const QSizeF shown = QSizeF(m_pixmap.size()) / m_pixmap.devicePixelRatio();
    painter->drawPixmap(QPointF((size().width() - shown.width()) / 2, (size().height() - shown.height()) / 2),
                        m_pixmap);
}

void MImageWidget::render()
{
    m_loaded = false;
    m_pixmap = QPixmap();
    if (m_id.isEmpty())
        return;
    if (m_id.startsWith(QLatin1Char('/')) && QFileInfo(m_id).isFile()) {
        QImageReader reader(m_id);
        reader.setAutoTransform(true);
        // Scaled while reading: a tester may point at a photo of many megapixels.
        const QSize full = reader.size();
        if (full.isValid())
            reader.setScaledSize(full.scaled(m_size, Qt::KeepAspectRatio));
        const QImage image = reader.read();
        if (!image.isNull()) {
            m_pixmap = QPixmap::fromImage(image);
            m_loaded = true;
            return;
        }
    }
    // Placeholder: a tile with the last word of the id ("pdf", "sunflower.jpg").
    QPixmap tile(m_size);
    tile.fill(Qt::transparent);
    QPainter p(&tile);
    p.setRenderHint(QPainter::Antialiasing);
    p.setBrush(QColor(0x5b, 0x7d, 0xa8));
    p.setPen(Qt::NoPen);
    p.drawRoundedRect(QRectF(QPointF(1, 1), QSizeF(m_size) - QSizeF(2, 2)), 8, 8);
    QString word = m_id.section(QLatin1Char('/'), -1).section(QLatin1Char('-'), -1);
    if (word.size() > 10)
        word = word.left(9) + QChar(0x2026);
    QFont font = p.font();
    font.setPixelSize(qMax(8, m_size.height() / 5));
    font.setBold(true);
    p.setFont(font);
    p.setPen(Qt::white);
    p.drawText(tile.rect(), Qt::AlignCenter, word);
    p.end();
    m_pixmap = tile;
}
