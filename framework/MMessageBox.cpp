// SPDX-License-Identifier: MIT
#include "MMessageBox.h"

#include "MAccessible.h"
#include "MLabel.h"

#include <QGraphicsLinearLayout>

MMessageBox::MMessageBox(const QString &text, M::StandardButtons buttons)
    : MMessageBox(QString(), text, buttons)
{
}

MMessageBox::MMessageBox(const QString &title, const QString &text, M::StandardButtons buttons)
    : MDialog(title, buttons)
    , m_text(new MLabel(text))
{
    m_text->setObjectName(QStringLiteral("DialogText"));
    m_text->setAlignment(Qt::AlignCenter);
    m_text->setWordWrap(true);
    contentLayout()->addItem(m_text);
}

MMessageBox::~MMessageBox() = default;

QString MMessageBox::text() const
{
    return m_text->text();
}

void MMessageBox::setText(const QString &text)
{
    m_text->setText(text);
    MAccessible::notify(this, QAccessible::DescriptionChanged);
}

QString MMessageBox::accessibleText(QAccessible::Text which) const
{
    return which == QAccessible::Description ? m_text->text() : QString();
}
