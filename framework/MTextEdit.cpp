// SPDX-License-Identifier: MIT
#include "MTextEdit.h"

#include <QEvent>
#include <QLineEdit>
#include <QTimer>
#include <QPlainTextEdit>

namespace {
QWidget *makeEditor(MTextEditModel::LineMode mode, const QString &text)
{
    if (mode == MTextEditModel::SingleLine)
        return new QLineEdit(text);
    auto *edit = new QPlainTextEdit(text);
    edit->setMinimumHeight(60);
    return edit;
}
} // namespace

MTextEdit::MTextEdit(MTextEditModel::LineMode type, const QString &text, QGraphicsItem *parent)
    : MWidgetController(makeEditor(type, text), parent)
    , m_mode(type)
{
    if (m_mode == MTextEditModel::SingleLine) {
        m_line = static_cast<QLineEdit *>(widget());
        connect(m_line, &QLineEdit::returnPressed, this, &MTextEdit::returnPressed);
        connect(m_line, &QLineEdit::textChanged, this, &MTextEdit::textChanged);
        m_line->installEventFilter(this);
    } else {
        m_multi = static_cast<QPlainTextEdit *>(widget());
        connect(m_multi, &QPlainTextEdit::textChanged, this, &MTextEdit::textChanged);
    }
    setFlag(QGraphicsItem::ItemIsFocusable);
}

MTextEdit::~MTextEdit() = default;

bool MTextEdit::eventFilter(QObject *object, QEvent *event)
{
    // A field taking focus has all its text selected, so that typing replaces a field's
    // starting text ("Size value") instead of being appended to it. After the event: a click
    // places the cursor once focus has come.
    if (object == m_line && event->type() == QEvent::FocusIn)
        QTimer::singleShot(0, m_line, &QLineEdit::selectAll);
    return MWidgetController::eventFilter(object, event);
}

QString MTextEdit::text() const
{
    return m_line ? m_line->text() : m_multi->toPlainText();
}

bool MTextEdit::setText(const QString &text)
{
    if (m_line)
        m_line->setText(text);
    else
        m_multi->setPlainText(text);
    return true;
}

bool MTextEdit::isReadOnly() const
{
    return m_line ? m_line->isReadOnly() : m_multi->isReadOnly();
}

void MTextEdit::setReadOnly(bool readOnly)
{
    if (m_line)
        m_line->setReadOnly(readOnly);
    else
        m_multi->setReadOnly(readOnly);
}

QWidget *MTextEdit::editWidget() const
{
    return widget();
}
