// SPDX-License-Identifier: MIT
#ifndef MIMAGEWIDGET_H
#define MIMAGEWIDGET_H

#include "MWidget.h"

#include <QPixmap>
#include <QSize>

// Shows an image given as a file path or as a theme icon id ("icon-m-content-pdf"), drawn
// straight into the scene. An icon id that the theme does not draw, and a file that cannot be
// read, show a neutral placeholder that names what was asked for, so a tester can still see
// what the program set.
class MImageWidget : public MWidget
{
    Q_OBJECT
public:
    explicit MImageWidget(QGraphicsItem *parent = nullptr);
    explicit MImageWidget(const QString &id, QGraphicsItem *parent = nullptr);
    ~MImageWidget() override;

    QString image() const { return m_id; }
    QSize imageSize() const { return m_size; }
    void setImage(const QString &id);
    void setImage(const QString &id, const QSize &size);
    // True when the image was read from a file (not a placeholder).
    bool isImageLoaded() const { return m_loaded; }

    void paint(QPainter *painter, const QStyleOptionGraphicsItem *option, QWidget *widget) override;

protected:
    QSizeF sizeHint(Qt::SizeHint which, const QSizeF &constraint = QSizeF()) const override;

private:
    void render();

    QString m_id;
    QSize m_size {64, 64};
    QPixmap m_pixmap;
    bool m_loaded = false;
};

#endif
