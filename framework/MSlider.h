// SPDX-License-Identifier: MIT
#ifndef MSLIDER_H
#define MSLIDER_H

#include "MWidgetController.h"

#include <functional>

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

    // What assistive technology reads and sets: the value in the unit the slider shows (a per
    // cent, bytes), which the positions stand for on a scale of the caller's. Without a scale,
    // Qt's own (the position) is told.
    void setShownScale(std::function<double()> read, std::function<void(double)> write, double minimum, double maximum);
    bool hasShownScale() const { return bool(m_read); }
    double shownValue() const { return m_read ? m_read() : value(); }
    // Values outside the scale's range are refused.
    void setShownValue(double value);
    double shownMinimum() const { return m_shownMinimum; }
    double shownMaximum() const { return m_shownMaximum; }

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
    std::function<double()> m_read;
    std::function<void(double)> m_write;
    double m_shownMinimum = 0;
    double m_shownMaximum = 0;
};

#endif
