// SPDX-License-Identifier: MIT
#ifndef MMESSAGEBOX_H
#define MMESSAGEBOX_H

#include "MDialog.h"

// A dialog that shows a message and standard buttons.
class MMessageBox : public MDialog
{
    Q_OBJECT
public:
    explicit MMessageBox(const QString &text, M::StandardButtons buttons = M::OkButton);
    MMessageBox(const QString &title, const QString &text, M::StandardButtons buttons);
    ~MMessageBox() override;

    QString text() const;
    void setText(const QString &text);
    // A screen reader says the question with the title.
    QString accessibleText(QAccessible::Text which) const override;

private:
    MLabel *m_text;
};

#endif
