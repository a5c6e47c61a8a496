// SPDX-License-Identifier: MIT
#ifndef ZAVTESTADDTRANSFERPAGE_H
#define ZAVTESTADDTRANSFERPAGE_H

#include "ZAVTestAppUiElements.h"

#include <functional>

#include <MApplicationPage.h>

class MButton;
class MLabel;
class MTextEdit;
class QGraphicsLinearLayout;
class ZAVTestShowTransferPage;

// The page on which the tester composes a new transfer (kind, name, first message, state, size
// and, for uploads, a file and a service account) and adds it to the show-transfers page.
class ZAVTestAddTransferPage : public MApplicationPage
{
    Q_OBJECT
public:
    ZAVTestAddTransferPage();
    ~ZAVTestAddTransferPage() override;

    void setShowTransferPage(ZAVTestShowTransferPage *page);
    void enableButtons();

    // The page's parts, for tests that drive them as a tester would.
    ZAVTestTransferNameObject &nameList() { return transferName; }
    ZAVTestTransferMsgObject &messageList() { return transferMsg; }
    ZAVTestTransferTypeObject &typeList() { return transferType; }
    ZAVTestTransferStatusObject &statusList() { return transferStatus; }
    ZAVTestSliderObject &sizeSlider() { return transferSize; }
    ZAVTestTransferServiceObject *serviceList() const { return transferService; }
    QGraphicsLinearLayout *pageLayout() const { return mainLayout; }
    QGraphicsLinearLayout *fileRow() const { return fileLayout; }
    MTextEdit *fileNameField() const { return textTransferFileName; }
    MButton *addButton() const { return buttonAdd; }
    MButton *cancelButton() const { return buttonCancel; }
    MButton *browseButton() const { return buttonBrowse; }

    // Where "Browse" asks for files: by default a file dialog; tests put their own chooser here.
    // The chooser gets the page's last folder and returns the chosen files (none if cancelled).
    using FileChooser = std::function<QStringList(const QString &startFolder)>;
    void setFileChooser(FileChooser chooser);

protected:
    void createContent() override;

private Q_SLOTS:
    void browseClicked();
    void addClicked();
    void typeChanged(QString &type);
    void pickerDone(QStringList files);

private:
    MButton *createButton(const QString &text);
    MLabel *createSpacer(int minWidth, int minHeight);
    void showFileRow();
    // The files chosen in the chooser (none when it was closed without a choice).
    void takeFiles(const QStringList &files);

    QGraphicsLinearLayout *mainLayout;
    QGraphicsLinearLayout *fileLayout;
    ZAVTestTransferNameObject transferName;
    ZAVTestTransferMsgObject transferMsg;
    ZAVTestTransferTypeObject transferType;
    ZAVTestTransferStatusObject transferStatus;
    ZAVTestSliderObject transferSize;
    ZAVTestTransferServiceObject *transferService;
    MButton *buttonAdd;
    MButton *buttonCancel;
    MTextEdit *textTransferFileName;
    MLabel *labelFile;
    MButton *buttonBrowse;
    ZAVTestShowTransferPage *showTransferPage;
    FileChooser fileChooser;
    QString lastFolder;
};

#endif
