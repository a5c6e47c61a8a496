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
    // View types understood by the theme.
    static const char *const defaultType;
    static const char *const iconType;
    static const char *const toggleType;

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
