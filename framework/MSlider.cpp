// SPDX-License-Identifier: MIT
#include "MSlider.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QSlider>

MSlider::MSlider(QGraphicsItem *parent)
    : MWidgetController(new QWidget, parent)
{
    QWidget *box = widget();
    auto *layout = new QHBoxLayout(box);
    layout->setContentsMargins(0, 0, 0, 0);
    m_slider = new QSlider(Qt::Horizontal, box);
    takeWheelOnlyWhenFocused(m_slider);
    m_handleLabel = new QLabel(box);
    m_handleLabel->setObjectName(QStringLiteral("SliderHandleLabel"));
    m_handleLabel->setTextFormat(Qt::PlainText);
    // Of set size: a new number (every step of a moving slider) then repaints the label without
    // laying out the slider's page again.
    m_handleLabel->setFixedWidth(150);
    m_handleLabel->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    layout->addWidget(m_slider, 1);
    layout->addWidget(m_handleLabel);
    fixHandleLabelHeight();
    connect(m_slider, &QSlider::valueChanged, this, &MSlider::valueChanged);
    connect(m_slider, &QSlider::sliderPressed, this, &MSlider::sliderPressed);
    connect(m_slider, &QSlider::sliderReleased, this, &MSlider::sliderReleased);
}

MSlider::~MSlider() = default;

void MSlider::fixHandleLabelHeight()
{
    m_handleLabel->ensurePolished();
    m_handleLabel->setFixedHeight(m_handleLabel->fontMetrics().height() + 4);
}

int MSlider::minimum() const
{
    return m_slider->minimum();
}

int MSlider::maximum() const
{
    return m_slider->maximum();
}

void MSlider::setMinimum(int minimum)
{
    m_slider->setMinimum(minimum);
}

void MSlider::setMaximum(int maximum)
{
    m_slider->setMaximum(maximum);
}

void MSlider::setRange(int minimum, int maximum)
{
    m_slider->setRange(minimum, maximum);
}

int MSlider::value() const
{
    return m_slider->value();
}

QString MSlider::handleLabel() const
{
    return m_handleLabel->text();
}

void MSlider::setHandleLabel(const QString &text)
{
    m_handleLabel->setText(text);
}

void MSlider::setHandleLabelVisible(bool visible)
{
    m_handleLabel->setVisible(visible);
}

void MSlider::setShownScale(std::function<double()> read, std::function<void(double)> write, double minimum,
                            double maximum)
{
    m_read = std::move(read);
    m_write = std::move(write);
    m_shownMinimum = minimum;
    m_shownMaximum = maximum;
}

void MSlider::setShownValue(double value)
{
    if (!m_write || !(value >= m_shownMinimum && value <= m_shownMaximum))
        return;
    m_write(value);
}

void MSlider::setValue(int value)
{
    m_slider->setValue(value);
}
