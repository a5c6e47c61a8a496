// SPDX-License-Identifier: MIT
#include "MButton.h"

#include <QPushButton>

MButton::MButton(QGraphicsItem *parent, MButtonModel *model)
    : MButton(QString(), parent, model)
{
}

MButton::MButton(const QString &text, QGraphicsItem *parent, MButtonModel *)
    : MWidgetController(new QPushButton(text), parent)
    , m_button(static_cast<QPushButton *>(widget()))
{
    // Reached with Tab; a click does not take focus from the field being typed in.
    m_button->setFocusPolicy(Qt::TabFocus);
    QSizePolicy policy = sizePolicy();
    policy.setHorizontalPolicy(QSizePolicy::Preferred);
    setSizePolicy(policy);
    connect(m_button, &QPushButton::clicked, this, &MButton::clicked);
    connect(m_button, &QPushButton::toggled, this, &MButton::toggled);
}

MButton::~MButton() = default;

QString MButton::text() const
{
    return m_button->text();
}

void MButton::setText(const QString &text)
{
    m_button->setText(text);
    updateGeometry();
}

bool MButton::isCheckable() const
{
    return m_button->isCheckable();
}

void MButton::setCheckable(bool checkable)
{
    m_button->setCheckable(checkable);
}

bool MButton::isChecked() const
{
    return m_button->isChecked();
}

void MButton::setChecked(bool checked)
{
    m_button->setChecked(checked);
}

void MButton::click()
{
    if (isEnabled() && isVisible())
        m_button->click();
}
