// SPDX-License-Identifier: MIT
#include "ZAVTestElement.h"

#include "ZAVTestVocabulary.h"

#include <MButton.h>
#include <MImageWidget.h>
#include <MLabel.h>
#include <MMessageBox.h>

#include <QDebug>
#include <QFontMetrics>
#include <QGraphicsLinearLayout>
#include <QPointer>

ZAVTestElement::ZAVTestElement(QGraphicsItem *parent)
    : MWidget(nullptr)
    , responseHandled(false)
{
    // Rows keep their height; a short list does not spread over the page.
    setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
    // A panel keeps a focus chain of its own: a widget joining the page's chain would walk every
    // widget of every row before it, which made adding a row cost more the longer the list.
    setFlag(QGraphicsItem::ItemIsPanel);
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
    buttonInfo = new MButton(QStringLiteral("Info"), this);
    labelId = new MLabel(this);
    labelId->setObjectName(QStringLiteral("TransferIdBadge"));
    labelId->setText(idBadge(id));

    labelName->setObjectName(QStringLiteral("ElementTransferCol1"));
    labelMsg->setObjectName(QStringLiteral("ElementTransferCol1"));
    labelState->setObjectName(QStringLiteral("ElementTransferCol2"));
    labelEstTime->setObjectName(QStringLiteral("ElementTransferCol2"));
    labelSize->setObjectName(QStringLiteral("ElementTransferCol3"));
    buttonInfo->setViewType(QStringLiteral("Icon"));
    buttonInfo->setObjectName(QStringLiteral("PushInfoButton"));
    buttonInfo->hide();

    // Columns of set width: a label's new text (a size, a state) is drawn without laying out
    // the row, and so the list, again; longer texts are elided, but never an id of up to six
    // digits (zavctl needs it whole).
    const int idWidth = QFontMetrics(labelId->font()).horizontalAdvance(idBadge(QStringLiteral("888888"))) + 2;
    for (auto [label, width] : {std::pair {labelName, 404 - idWidth}, {labelMsg, 404 - idWidth}, {labelState, 125},
                                {labelEstTime, 125}, {labelSize, 125}, {labelId, idWidth}}) {
        label->setMinimumWidth(width);
        label->setMaximumWidth(width);
    }
    auto *row = new QGraphicsLinearLayout(Qt::Horizontal);
    auto column = [](QGraphicsLayoutItem *top, QGraphicsLayoutItem *bottom, qreal width) {
        auto *layout = new QGraphicsLinearLayout(Qt::Vertical);
        layout->setContentsMargins(0, 0, 0, 0);
        layout->setSpacing(2);
        layout->addItem(top);
        layout->addItem(bottom);
        layout->setMaximumSize(width, 50);
        return layout;
    };
    row->addItem(imageTransfer);
    row->addItem(imageServiceIcon);
    row->addItem(column(labelName, labelMsg, 494 - idWidth));
    row->addItem(column(labelState, labelEstTime, 125));
    row->addItem(column(labelSize, buttonInfo, 125));
    row->addItem(labelId);
    setLayout(row);

    // Queued: the answer box runs a nested event loop, which must not run inside the button's
    // own click delivery (the row may be deleted while the box is open).
    connect(buttonInfo, &MButton::clicked, this, &ZAVTestElement::infoButtonClicked, Qt::QueuedConnection);
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
}

void ZAVTestElement::setTransferMsg(const QString &msg)
{
    qDebug() << "ZAVTestElement::setTransferMsg" << msg;
    labelMsg->setText(msg);
}

void ZAVTestElement::setTransferEstTime(const QString &seconds)
{
    qDebug() << "ZAVTestElement::setTransferEstTime" << seconds;
    labelEstTime->setText(seconds + QStringLiteral(" Sec"));
}

void ZAVTestElement::setTransferSize(const QString &bytes)
{
    labelSize->setText(bytes + QStringLiteral(" Bytes"));
}

void ZAVTestElement::setTransferState(const QString &state)
{
    qDebug() << "ZAVTestElement::setTransferState" << state;
    labelState->setText(state);
}

void ZAVTestElement::setResponse(const QString &request)
{
    qDebug() << "ZAVTestElement::setResponse" << request;
    response = request;
    offer.clear();
    // A new request is answered through the box: the button says so, whatever it said before.
    buttonInfo->setText(QStringLiteral("Info"));
    buttonInfo->show();
    responseHandled = false;
}

void ZAVTestElement::setOffer(const QString &text)
{
    offer = text;
    if (text.isEmpty()) {
        buttonInfo->hide();
        return;
    }
    buttonInfo->setText(text);
    buttonInfo->show();
}

void ZAVTestElement::mousePressEvent(QGraphicsSceneMouseEvent *)
{
    qDebug() << "ZAVTestElement::mousePressEvent" << id;
    emit itemSelected(id);
}

void ZAVTestElement::infoButtonClicked()
{
    if (!offer.isEmpty()) {
        emit offerTaken();
        return;
    }
    if (responseHandled) {
        emit deleteItem(id);
        return;
    }
    responseHandled = true;

    using ZAVTestVocabulary::Request;
    QString message;
    switch (ZAVTestVocabulary::requestFrom(response).value_or(Request(-1))) {
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
    const int result = box.exec();
    qDebug() << result;
    box.disconnect();
    // The box waited in a nested event loop; the row may be gone by now.
    if (!self)
        return;
    const bool accepted = result == M::OkButton;

    // The request stored now decides: one handed in while the box was open wins.
    switch (ZAVTestVocabulary::requestFrom(response).value_or(Request(-1))) {
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
}
