// SPDX-License-Identifier: MIT
#ifndef MBUTTON_H
#define MBUTTON_H

#include "MWidgetController.h"

class QPushButton;
class MButtonModel;

// A push button; checkable buttons are toggles.
class MButton : public MWidgetController
{
    Q_OBJECT
public:
    // The look comes from the theme: a model is accepted, for callers that pass one, and unused.
    explicit MButton(QGraphicsItem *parent = nullptr, MButtonModel *model = nullptr);
    explicit MButton(const QString &text, QGraphicsItem *parent = nullptr, MButtonModel *model = nullptr);
    ~MButton() override;

    QString text() const;
    void setText(const QString &text);
    bool isCheckable() const;
    void setCheckable(bool checkable);
    bool isChecked() const;
    void setChecked(bool checked);

public Q_SLOTS:
    // Acts as a press and release by the user: toggles a checkable button, then emits clicked().
    void click();

Q_SIGNALS:
    void clicked(bool checked = false);
    void toggled(bool checked);

private:
    QPushButton *m_button;
};

#endif
