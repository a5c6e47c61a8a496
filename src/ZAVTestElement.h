// SPDX-License-Identifier: MIT
#ifndef ZAVTESTELEMENT_H
#define ZAVTESTELEMENT_H

#include <MWidget.h>

class MButton;
class MImageWidget;
class MLabel;

// One transfer as a row of the show-transfers page: image, name and message, state and
// estimate, size, and an Info button through which the tester answers the service's requests.
// The row never talks to the service: every answer leaves it as a signal with the transfer id.
class ZAVTestElement : public MWidget
{
    Q_OBJECT
public:
    explicit ZAVTestElement(QGraphicsItem *parent = nullptr);
    ~ZAVTestElement() override;

    void createLayout();
    void setTransferId(const QString &id);
    // How a transfer's id is shown ("id 7"), on the row and on the detail page.
    static QString idBadge(const QString &id);
    QString transferId() const;
    void setTransferImage(const QString &image);
    void setTransferName(const QString &name);
    void setTransferMsg(const QString &msg);
    void setTransferEstTime(const QString &seconds);
    void setTransferSize(const QString &bytes);
    void setTransferState(const QString &state);
    // Hands the row a request of the service ("cancel", "start", "pause", "repair") to answer.
    void setResponse(const QString &request);
    // Shows the button as `text` for an offer of the page (register again): a click then emits
    // offerTaken() in place of opening the answer box. An empty text takes the offer back.
    void setOffer(const QString &text);

    // The row's parts, null before createLayout().
    MImageWidget *transferImage() const { return imageTransfer; }
    MLabel *nameLabel() const { return labelName; }
    MLabel *messageLabel() const { return labelMsg; }
    MLabel *estimateLabel() const { return labelEstTime; }
    MLabel *sizeLabel() const { return labelSize; }
    MLabel *stateLabel() const { return labelState; }
    MLabel *idLabel() const { return labelId; }
    // Made on first use.
    MButton *infoButton();

Q_SIGNALS:
    void transferMarkCancelled(QString id);
    void itemSelected(QString id);
    void transferMarkCancelFail(QString id);
    void transferMarkRestarted(QString id);
    void transferMarkRestartFail(QString id);
    void transferMarkPaused(QString id);
    void transferMarkPauseFail(QString id);
    void deleteItem(QString id);
    void offerTaken();

public:
    // For assistive technology: a list item named by the transfer's name, described by its
    // state, message, size, estimate and id, that opens when pressed.
    QAccessible::Role accessibleRole() const override { return QAccessible::ListItem; }
    QString accessibleText(QAccessible::Text which) const override;
    bool hasAccessiblePress() const override { return true; }
    void accessiblePress() override;

protected:
    void mousePressEvent(QGraphicsSceneMouseEvent *event) override;
    // Return or Space opens the row, the arrows move to the row above or below.
    void keyPressEvent(QKeyEvent *event) override;
    void paint(QPainter *painter, const QStyleOptionGraphicsItem *option, QWidget *widget) override;
    QSizeF sizeHint(Qt::SizeHint which, const QSizeF &constraint = QSizeF()) const override;
    void resizeEvent(QGraphicsSceneResizeEvent *event) override;

private Q_SLOTS:
    void infoButtonClicked();

private:
    static constexpr qreal Margin = 6;
    static constexpr qreal Spacing = 8;
    static constexpr qreal ImageSize = 64;
    static constexpr qreal NameWidth = 300;
    static constexpr qreal ColumnWidth = 125;
    // Puts the parts in their columns.
    void place();
    // Tells assistive technology that what the row says changed.
    void described();

    QString id;
    QString response;
    QString offer;
    MImageWidget *imageTransfer = nullptr;
    MImageWidget *imageServiceIcon = nullptr;
    MLabel *labelName = nullptr;
    MLabel *labelMsg = nullptr;
    MLabel *labelEstTime = nullptr;
    MLabel *labelSize = nullptr;
    MLabel *labelState = nullptr;
    MLabel *labelId = nullptr; // the service's id, for zavctl
    MButton *buttonInfo = nullptr;
    qreal idWidth = 0;
    bool responseHandled;
    bool boxOpen = false; // an answer box for this row waits for the tester
};

#endif
