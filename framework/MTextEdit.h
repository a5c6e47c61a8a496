// SPDX-License-Identifier: MIT
#ifndef MTEXTEDIT_H
#define MTEXTEDIT_H

#include "MWidgetController.h"

class QLineEdit;
class QPlainTextEdit;

class MTextEditModel
{
public:
    enum LineMode { SingleLine, MultiLine };
};

// An editable text field. In single-line mode, Return raises returnPressed().
class MTextEdit : public MWidgetController
{
    Q_OBJECT
public:
    explicit MTextEdit(MTextEditModel::LineMode type = MTextEditModel::MultiLine, const QString &text = QString(),
                       QGraphicsItem *parent = nullptr);
    ~MTextEdit() override;

    MTextEditModel::LineMode lineMode() const { return m_mode; }
    QString text() const;
    bool setText(const QString &text);
    bool isReadOnly() const;
    void setReadOnly(bool readOnly);

    // The editing widget itself, for tests that type into it as a user would.
    QWidget *editWidget() const;

Q_SIGNALS:
    void returnPressed();
    void textChanged();

protected:
    bool eventFilter(QObject *object, QEvent *event) override;

private:
    MTextEditModel::LineMode m_mode;
    QLineEdit *m_line = nullptr;
    QPlainTextEdit *m_multi = nullptr;
};

#endif
