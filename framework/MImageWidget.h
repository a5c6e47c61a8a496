#ifndef MIMAGEWIDGET_H
#define MIMAGEWIDGET_H

#include "MWidgetController.h"

#include <QSize>

class QLabel;

// Shows an image given as a file path or as a theme icon id ("icon-m-content-pdf"). An icon id
// that the theme does not draw, and a file that cannot be read, show a neutral placeholder that
// names what was asked for, so a tester can still see what the program set.
class MImageWidget : public MWidgetController
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

private:
    void render();

    QLabel *m_label;
    QString m_id;
    QSize m_size{64, 64};
    bool m_loaded = false;
};

#endif
