// SPDX-License-Identifier: MIT
#ifndef ZAVTESTELEMENTDETAIL_H
#define ZAVTESTELEMENTDETAIL_H

#include "ZAVTestAppUiElements.h"
#include "ZAVTestValueStore.h"

#include <MApplicationPage.h>

class MButton;
class MLabel;
class MTextEdit;

// The page on which the tester edits one transfer. It keeps no values of its own: everything it
// shows comes in through init(), and every change the tester makes leaves at once as one signal
// that carries the transfer id. Loading a transfer (init) and building the page send nothing.
class ZAVTestElementDetail : public MApplicationPage
{
    Q_OBJECT
public:
    ZAVTestElementDetail();
    ~ZAVTestElementDetail() override;

    void setTransferId(const QString &id);
    QString transferId() const { return shownId; }
    // size in bytes, estimate in seconds, progress as the part done (0 to 1).
    void init(const QString &name, const QString &msg, double size, double estimate, const QString &status,
              double progress, double speed);
    // Fills every control from the transfer's record (built first if need be), so that nothing of
    // the transfer shown before stays; sends nothing.
    void load(const ZAVTestTransferValues &values);
    // Shows every value of the record again, as load() does, but leaves Auto as it is; sends
    // nothing. For a change the page did not make (a refusal undone).
    void refresh(const ZAVTestTransferValues &values);
    // The line that says the transfer's state at the service, or that the service holds it no
    // more; a change of state while the page is open comes in here.
    void showState(const ZAVTestTransferValues &values);
    // The typed progress field follows a progress the page did not type (the slider, Auto).
    void showProgress(double fraction);
    void setAutoProgressChecked(bool checked);
    void setCanPauseChecked(bool checked);

    // The page's controls, for tests that drive them as a tester would.
    ZAVTestTransferNameObject &nameList() { return transferName; }
    ZAVTestTransferMsgObject &messageList() { return transferMsg; }
    ZAVTestTransferStatusObject &statusList() { return transferStatus; }
    ZAVTestIconObject &iconList() { return transferIcon; }
    ZAVTestThumbnailObject &thumbnailList() { return transferThumbnail; }
    ZAVTestTransferCancelObject &cancelTextList() { return transferCancel; }
    ZAVTestSliderObject &sizeSlider() { return transferSize; }
    ZAVTestSliderObject &estimateSlider() { return transferEstimate; }
    ZAVTestSliderObject &progressSlider() { return transferProgress; }
    ZAVTestSliderObject &speedSlider() { return transferSpeed; }
    MTextEdit *sizeField() const { return textSize; }
    MTextEdit *progressField() const { return textProgress; }
    MTextEdit *titleField() const { return textTitle; }
    MTextEdit *resultField() const { return textResult; }
    MButton *canPauseButton() const { return buttonCanPause; }
    MButton *commitButton() const { return buttonCommit; }
    MButton *closeButton() const { return buttonClose; }
    MLabel *idLabel() const { return labelId; }
    MLabel *stateLabel() const { return labelState; }
    // Says why a typed value was not sent; empty otherwise.
    MLabel *noticeLabel() const { return labelNotice; }

Q_SIGNALS:
    void transferSetSizeSignal(QString id, quint64 bytes);
    void transferProgressSignal(QString id, float done);
    void transferSpeedSignal(QString id, int speed);
    void transferMessageSignal(QString id, QString msg);
    void transferEstimateSignal(QString id, int seconds);
    void transferCanPauseSignal(QString id, bool value);
    void transferNameSignal(QString id, QString name);
    void transferPendingSignal(QString id, QString reason);
    void transferSetActiveSignal(QString id, float done);
    void transferFailedSignal(QString id, int retry);
    void transferDoneSignal(QString id);
    void transferDoneSignal(QString id, QString result);
    void transferAuto(QString id, bool value);
    void transferIconSignal(QString id, QString icon);
    void transferThumbnailSignal(QString id, QString thumbnail);
    void transferCancelText(QString id, QString text);
    void commitChanged(QString id, bool value);
    void transferTitleChanged(QString id, QString text);

protected:
    void createContent() override;

private Q_SLOTS:
    void sizeChanged(double size);
    void msgChanged(QString &msg);
    void estimateChanged(double est);
    void statusChanged(QString &status);
    void nameChanged(QString &name);
    void buttonCanPauseClicked();
    void buttonCloseClicked();
    void progressChanged(double value);
    void speedChanged(double value);
    void buttonAutoClicked(bool value);
    void iconChanged(QString &icon);
    void thumbnailChanged(QString &thumbnail);
    void cancelButtonTextChanged(QString &text);
    void buttonCommitClicked();
    void sizeEntered();
    void progressEntered();
    void titleChanged();
    void doneWithResult();

private:
    void connectControls();
    void showEntered(ZAVTestSliderObject &slider, double value, const QString &sent);
    void showSize(quint64 bytes);
    void showValues(const QString &name, const QString &msg, quint64 size, double estimate, const QString &status,
                    double progress, double speed);
    static QString percentText(double fraction);
    void refuse(MTextEdit *field, const QString &why);
    // The field's text has gone to the service: it follows the record again.
    static void sent(MTextEdit *field);
    // Shows `text` in the field unless it is being typed in.
    static void follow(MTextEdit *field, const QString &text);

    ZAVTestTransferNameObject transferName;
    ZAVTestTransferMsgObject transferMsg;
    ZAVTestSliderObject transferSize;
    ZAVTestSliderObject transferEstimate;
    ZAVTestTransferStatusObject transferStatus;
    ZAVTestSliderObject transferProgress;
    ZAVTestSliderObject transferSpeed;
    ZAVTestIconObject transferIcon;
    ZAVTestThumbnailObject transferThumbnail;
    MTextEdit *textSize = nullptr;
    MTextEdit *textProgress = nullptr;
    MTextEdit *textTitle = nullptr;
    MTextEdit *textResult = nullptr;
    ZAVTestTransferCancelObject transferCancel;
    MButton *buttonCanPause;
    MButton *buttonCommit = nullptr;
    MButton *buttonClose = nullptr;
    MLabel *labelId = nullptr;
    MLabel *labelState = nullptr;
    MLabel *labelNotice = nullptr;
    QString shownId; // of the transfer the page shows
    QString shownRefusal; // the service's refusal the notice line shows, if any

    // Set while the page builds its controls or loads a transfer into them: what the controls
    // report then is the program's doing, not the tester's, and is not sent.
    bool loading = false;
    bool controlsConnected = false;
    bool canPauseWanted = false;
};

#endif
