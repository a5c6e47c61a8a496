#include "MTextEdit.h"

#include <QLineEdit>
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
    } else {
        m_multi = static_cast<QPlainTextEdit *>(widget());
        connect(m_multi, &QPlainTextEdit::textChanged, this, &MTextEdit::textChanged);
    }
    setFlag(QGraphicsItem::ItemIsFocusable);
}

MTextEdit::~MTextEdit() = default;

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
