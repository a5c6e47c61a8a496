#include "MImageWidget.h"

#include <QFileInfo>
#include <QImageReader>
#include <QLabel>
#include <QPainter>
#include <QPixmap>

MImageWidget::MImageWidget(QGraphicsItem *parent)
    : MImageWidget(QString(), parent)
{
}

MImageWidget::MImageWidget(const QString &id, QGraphicsItem *parent)
    : MWidgetController(new QLabel, parent)
    , m_label(static_cast<QLabel *>(widget()))
{
    m_label->setAlignment(Qt::AlignCenter);
    m_label->setAttribute(Qt::WA_TransparentForMouseEvents);
    setAcceptedMouseButtons(Qt::NoButton);
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
    m_size = size.isValid() ? size : QSize(64, 64);
    render();
}

void MImageWidget::render()
{
    m_label->setFixedSize(m_size);
    setMinimumSize(m_size);
    setMaximumSize(m_size);
    m_loaded = false;
    if (m_id.isEmpty()) {
        m_label->setPixmap(QPixmap());
        return;
    }
    const QFileInfo file(m_id);
    if (m_id.startsWith(QLatin1Char('/')) && file.isFile()) {
        QImageReader reader(m_id);
        reader.setAutoTransform(true);
        // Scaled while reading: a tester may point at a photo of many megapixels.
        const QSize full = reader.size();
        if (full.isValid())
            reader.setScaledSize(full.scaled(m_size, Qt::KeepAspectRatio));
        const QImage image = reader.read();
        if (!image.isNull()) {
            m_label->setPixmap(QPixmap::fromImage(image));
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
    m_label->setPixmap(tile);
}
