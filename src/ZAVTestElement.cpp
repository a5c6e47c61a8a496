// SPDX-License-Identifier: MIT
#include "ZAVTestElement.h"

#include "Requests.h"

#include <MAccessible.h>
#include <MApplication.h>
#include <MButton.h>
#include <MImageWidget.h>
#include <MLabel.h>
#include <MMessageBox.h>

#include <QDebug>
#include <QFontMetrics>
#include <QGraphicsScene>
#include <QGraphicsView>
#include <QKeyEvent>
#include <QPainter>
#include <QPointer>

#include <tuple>

ZAVTestElement::ZAVTestElement(QGraphicsItem *parent)
    : MWidget(nullptr)
    , responseHandled(false)
{
    // Rows keep their height; a short list does not spread over the page.
    setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
    // A panel keeps a focus chain of its own: a widget joining the page's chain would walk every
    // widget of every row before it, which made adding a row cost more the longer the list.
    setFlag(QGraphicsItem::ItemIsPanel);
    // Reached with Tab and the arrows; it then draws a frame.
    setFlag(QGraphicsItem::ItemIsFocusable);
    setFocusPolicy(Qt::StrongFocus);
    setParentItem(parent);
}

ZAVTestElement::~ZAVTestElement() = default;

void ZAVTestElement::createLayout()
{
    imageTransfer = new MImageWidget(this);
    imageTransfer->setImage(QString(), QSize(64, 64));
    imageServiceIcon = new MImageWidget(this);
    imageServiceIcon->setImage(QString(), QSize(64, 64));
    labelName = new MLabel(QStringLiteral("Transfer Name"), this);
    labelMsg = new MLabel(QStringLiteral("Transfer Msg"), this);
    labelEstTime = new MLabel(QStringLiteral("Transfer Est Time"), this);
    labelSize = new MLabel(QStringLiteral("Transfer Size"), this);
    labelState = new MLabel(QStringLiteral("Transfer State"), this);
    labelId = new MLabel(this);
    labelId->setObjectName(QStringLiteral("TransferIdBadge"));
    labelId->setText(idBadge(id));

    labelName->setObjectName(QStringLiteral("ElementTransferCol1"));
    labelMsg->setObjectName(QStringLiteral("ElementTransferCol1"));
    labelState->setObjectName(QStringLiteral("ElementTransferCol2"));
    labelEstTime->setObjectName(QStringLiteral("ElementTransferCol2"));
    labelSize->setObjectName(QStringLiteral("ElementTransferCol3"));

    // Columns of set width: a label's new text (a size, a state) is drawn without laying out
    // the row, and so the list, again; longer texts are elided, but never an id of up to six
    // digits (zavctl needs it whole). The row places its parts itself (see place()): a layout
    // engine per column cost more memory than the rest of the row.
    idWidth = QFontMetrics(labelId->font()).horizontalAdvance(idBadge(QStringLiteral("888888"))) + 2;
    for (auto [label, width] : {std::pair {labelName, NameWidth},
                                {labelMsg, NameWidth},
                                {labelState, ColumnWidth},
                                {labelEstTime, ColumnWidth},
                                {labelSize, ColumnWidth},
                                {labelId, idWidth}}) {
        label->setMinimumWidth(width);
        label->setMaximumWidth(width);
    }
    updateGeometry();
}

QSizeF ZAVTestElement::sizeHint(Qt::SizeHint which, const QSizeF &constraint) const
{
    if (!labelName || which == Qt::MaximumSize)
        return MWidget::sizeHint(which, constraint);
    const qreal width = 2 * Margin + 2 * ImageSize + NameWidth + 2 * ColumnWidth + idWidth + 5 * Spacing;
    return QSizeF(width, ImageSize + 2 * Margin);
}

void ZAVTestElement::resizeEvent(QGraphicsSceneResizeEvent *event)
{
    MWidget::resizeEvent(event);
    place();
}

void ZAVTestElement::place()
{
    if (!labelName)
        return;
    qreal x = Margin;
    const qreal top = (size().height() - ImageSize) / 2;
    for (MImageWidget *image : {imageTransfer, imageServiceIcon}) {
        image->setGeometry(x, top, ImageSize, ImageSize);
        x += ImageSize + Spacing;
    }
    // Two lines a column, centred on the images.
    const qreal line = labelName->effectiveSizeHint(Qt::PreferredSize).height();
    const qreal first = (size().height() - (2 * line + 2)) / 2;
    for (auto [upper, lower, width] :
         {std::tuple<QGraphicsWidget *, QGraphicsWidget *, qreal> {labelName, labelMsg, NameWidth},
          {labelState, labelEstTime, ColumnWidth},
          {labelSize, buttonInfo, ColumnWidth}}) {
        upper->setGeometry(x, first, width, line);
        if (lower) {
            const qreal height = qMin<qreal>(lower->effectiveSizeHint(Qt::PreferredSize).height(), 2 * line);
            lower->setGeometry(x, first + line + 2, width, height);
        }
        x += width + Spacing;
    }
    labelId->setGeometry(x, first, idWidth, line);
}

MButton *ZAVTestElement::infoButton()
{
    if (!buttonInfo && labelSize) {
        buttonInfo = new MButton(QStringLiteral("Info"), this);
        buttonInfo->setViewType(QStringLiteral("Icon"));
        buttonInfo->setObjectName(QStringLiteral("PushInfoButton"));
        buttonInfo->hide();
        place();
        // Queued: the answer box runs a nested event loop, which must not run inside the
        // button's own click delivery (the row may be deleted while the box is open).
        connect(buttonInfo, &MButton::clicked, this, &ZAVTestElement::infoButtonClicked, Qt::QueuedConnection);
    }
    return buttonInfo;
}

QString ZAVTestElement::idBadge(const QString &id)
{
    return id.isEmpty() ? QString() : QStringLiteral("id %1").arg(id);
}

void ZAVTestElement::setTransferId(const QString &transferId)
{
    id = transferId;
    if (labelId)
        labelId->setText(idBadge(id));
    described();
}

QString ZAVTestElement::transferId() const
{
    return id;
}

void ZAVTestElement::setTransferImage(const QString &image)
{
    qDebug() << "ZAVTestElement::setTransferImage" << image;
    imageTransfer->setImage(image, QSize(64, 64));
}

void ZAVTestElement::setTransferName(const QString &name)
{
    qDebug() << "ZAVTestElement::setTransferName" << name;
    labelName->setText(name);
    described();
}

void ZAVTestElement::setTransferMsg(const QString &msg)
{
    qDebug() << "ZAVTestElement::setTransferMsg" << msg;
    labelMsg->setText(msg);
    described();
}

void ZAVTestElement::setTransferEstTime(const QString &seconds)
{
    qDebug() << "ZAVTestElement::setTransferEstTime" << seconds;
    labelEstTime->setText(seconds + QStringLiteral(" Sec"));
    described();
}

void ZAVTestElement::setTransferSize(const QString &bytes)
{
    labelSize->setText(bytes + QStringLiteral(" Bytes"));
    described();
}

void ZAVTestElement::setTransferState(const QString &state)
{
    qDebug() << "ZAVTestElement::setTransferState" << state;
    labelState->setText(state);
    described();
}

void ZAVTestElement::setResponse(const QString &request)
{
    qDebug() << "ZAVTestElement::setResponse" << request;
    response = request;
    offer.clear();
    // A new request is answered through the box: the button says so, whatever it said before.
    infoButton();
    buttonInfo->setText(QStringLiteral("Info"));
    buttonInfo->show();
    responseHandled = false;
}

void ZAVTestElement::setOffer(const QString &text)
{
    offer = text;
    if (text.isEmpty()) {
        if (buttonInfo)
            buttonInfo->hide();
        return;
    }
    infoButton()->setText(text);
    buttonInfo->show();
}

void ZAVTestElement::mousePressEvent(QGraphicsSceneMouseEvent *)
{
    qDebug() << "ZAVTestElement::mousePressEvent" << id;
    emit itemSelected(id);
}

QString ZAVTestElement::accessibleText(QAccessible::Text which) const
{
    if (!labelName)
        return QString();
    if (which == QAccessible::Name)
        return labelName->text();
    if (which != QAccessible::Description)
        return QString();
    QStringList parts;
    for (const MLabel *label : {labelState, labelMsg, labelSize, labelEstTime, labelId}) {
        if (!label->text().isEmpty())
            parts.append(label->text());
    }
    return parts.join(QStringLiteral("; "));
}

void ZAVTestElement::accessiblePress()
{
    emit itemSelected(id);
}

void ZAVTestElement::described()
{
    MAccessible::notify(this, QAccessible::DescriptionChanged);
}

void ZAVTestElement::keyPressEvent(QKeyEvent *event)
{
    const int key = event->key();
    if (event->modifiers() & ~Qt::KeypadModifier) {
        event->ignore();
        return;
    }
    if (key == Qt::Key_Return || key == Qt::Key_Enter || key == Qt::Key_Space) {
        emit itemSelected(id);
        return;
    }
    if (key != Qt::Key_Up && key != Qt::Key_Down) {
        event->ignore();
        return;
    }
    // The nearest row above or below; at either end the key is the page's (it scrolls).
    ZAVTestElement *next = nullptr;
    const qreal at = y();
    const bool down = key == Qt::Key_Down;
    for (QGraphicsItem *sibling : parentItem() ? parentItem()->childItems() : QList<QGraphicsItem *>()) {
        auto *row = dynamic_cast<ZAVTestElement *>(sibling);
        if (!row || row == this || !row->isVisible() || (down ? row->y() <= at : row->y() >= at))
            continue;
        if (!next || (down ? row->y() < next->y() : row->y() > next->y()))
            next = row;
    }
    if (!next) {
        event->ignore();
        return;
    }
    // A row is a panel of its own: it takes the keys once it is the active one.
    scene()->setActivePanel(next);
    next->setFocus(Qt::OtherFocusReason);
    if (!scene()->views().isEmpty())
        scene()->views().constFirst()->ensureVisible(next, 0, 16);
}

void ZAVTestElement::paint(QPainter *painter, const QStyleOptionGraphicsItem *, QWidget *)
{
    if (!hasFocus())
        return;
    painter->setPen(QPen(MApplication::themeColor(QStringLiteral("focus")), 2));
    painter->setBrush(Qt::NoBrush);
    painter->drawRoundedRect(rect().adjusted(1, 1, -1, -1), 6, 6);
}

void ZAVTestElement::infoButtonClicked()
{
    // The box is modal; a press that reaches the button anyway (a script's) waits for it.
    if (boxOpen)
        return;
    if (!offer.isEmpty()) {
        emit offerTaken();
        return;
    }
    if (responseHandled) {
        emit deleteItem(id);
        return;
    }
    responseHandled = true;

    using Zav::Requests::Request;
    // The request the box shows is the one answered. One that comes while it is open waits for a
    // box of its own (before, OK on a pause request cancelled the transfer when a cancel came).
    const QString shown = response;
    QString message;
    switch (Zav::Requests::fromWord(shown).value_or(Request(-1))) {
    case Request::Cancel:
        message = QStringLiteral("ZAV requested Cancel");
        break;
    case Request::Start:
        message = QStringLiteral("ZAV requested Restart");
        break;
    case Request::Pause:
        message = QStringLiteral("ZAV requested Pause");
        break;
    case Request::Repair:
        message = QStringLiteral("ZAV Repair Error");
        break;
    }

    // Titled with the transfer it is about: requests for several rows may wait at once.
    MMessageBox box(QStringLiteral("%1 (%2)").arg(labelName->text(), idBadge(id)), message,
                    M::OkButton | M::DiscardButton);
    QPointer<ZAVTestElement> self(this);
    boxOpen = true;
    const int result = box.exec();
    qDebug() << result;
    box.disconnect();
    // The box waited in a nested event loop; the row may be gone by now.
    if (!self)
        return;
    boxOpen = false;
    const bool accepted = result == M::OkButton;
    const bool newer = !responseHandled;
    responseHandled = true;

    switch (Zav::Requests::fromWord(shown).value_or(Request(-1))) {
    case Request::Cancel:
        if (accepted) {
            emit transferMarkCancelled(id);
            buttonInfo->setText(QStringLiteral("Clear"));
        } else {
            emit transferMarkCancelFail(id);
            buttonInfo->hide();
        }
        break;
    case Request::Start:
        if (accepted)
            emit transferMarkRestarted(id);
        else
            emit transferMarkRestartFail(id);
        buttonInfo->hide();
        break;
    case Request::Pause:
        if (accepted)
            emit transferMarkPaused(id);
        else
            emit transferMarkPauseFail(id);
        buttonInfo->hide();
        break;
    case Request::Repair:
        emit transferMarkCancelled(id);
        buttonInfo->setText(QStringLiteral("Clear"));
        break;
    }
    if (newer)
        setResponse(response);
}
