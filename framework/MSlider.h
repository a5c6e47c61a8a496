// SPDX-License-Identifier: MIT
#ifndef MSLIDER_H
#define MSLIDER_H

#include "MWidgetController.h"

class QLabel;
class QSlider;

// A horizontal slider over integer positions, with a handle label that shows what the position
// stands for. Positions outside the range are clamped to it.
class MSlider : public MWidgetController
{
    Q_OBJECT
public:
    explicit MSlider(QGraphicsItem *parent = nullptr);
    ~MSlider() override;

    int minimum() const;
    int maximum() const;
    void setMinimum(int minimum);
    void setMaximum(int maximum);
    void setRange(int minimum, int maximum);
    int value() const;
    QString handleLabel() const;
    void setHandleLabel(const QString &text);
    void setHandleLabelVisible(bool visible);

    // The slider widget itself, for tests that drive it as a user would.
    QSlider *sliderWidget() const { return m_slider; }

public Q_SLOTS:
    void setValue(int value);

Q_SIGNALS:
    void valueChanged(int value);
    void sliderPressed();
    void sliderReleased();

private:
    void fixHandleLabelHeight();

    QSlider *m_slider;
    QLabel *m_handleLabel;
};

#endif
