// SPDX-License-Identifier: MIT
#include "MWidget.h"

MWidget::MWidget(QGraphicsItem *parent)
    : QGraphicsWidget(parent)
{
}

MWidget::~MWidget() = default;
