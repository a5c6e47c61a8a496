// SPDX-License-Identifier: MIT
#include "ZAVTestAddTransferPage.h"

#include "ZAVTestShowTransferPage.h"

#include <MButton.h>
#include <MLabel.h>
#include <MTextEdit.h>

#include <QDebug>
#include <QDir>

#include <QFileDialog>
#include <QFileInfo>
#include <QGraphicsLinearLayout>
#include <QGraphicsScene>
#include <QGraphicsView>
#include <QUrl>

namespace {
// Puts `item` at `row`, moving it there when the layout holds it already (a plain insert would
// hold it twice).
void placeAt(QGraphicsLinearLayout *layout, int row, QGraphicsLayoutItem *item)
{
    for (int i = 0; i < layout->count(); ++i) {
        if (layout->itemAt(i) == item) {
            layout->removeAt(i);
            break;
        }
    }
    layout->insertItem(row, item);
}

// A chosen file as a path: a URL ("file:///...") gives its path; a plain path is taken as it is,
// so that a name holding "%41" or "#" is not decoded into another file's name.
QString chosenPath(const QString &entry)
{
    const bool isUrl = entry.startsWith(QLatin1String("file:")) || entry.contains(QLatin1String("://"));
    return isUrl ? QUrl(entry).path() : entry;
}
} // namespace

ZAVTestAddTransferPage::ZAVTestAddTransferPage()
    : MApplicationPage(nullptr)
    , mainLayout(nullptr)
    , fileLayout(nullptr)
    , transferName(this)
    , transferMsg(this)
    , transferType(this)
    , transferStatus(this)
    , transferSize(QStringLiteral("bytes"), QStringLiteral("Size"), this)
    , transferService(nullptr)
    , buttonAdd(nullptr)
    , buttonCancel(nullptr)
    , textTransferFileName(nullptr)
    , labelFile(nullptr)
    , buttonBrowse(nullptr)
    , showTransferPage(nullptr)
    , lastFolder(QDir::homePath())
{
    setTitle(QStringLiteral("Add Transfer"));
    setEscapeMode(MApplicationPageModel::EscapeCloseWindow);
    transferSize.setMaximum(1000);
    transferSize.setSliderValue(3);
    transferSize.setStepsPerDecade(100);
    connect(&transferType, &ZAVTestListObject::optionChanged, this, &ZAVTestAddTransferPage::typeChanged);
}

ZAVTestAddTransferPage::~ZAVTestAddTransferPage()
{
    // Made without a parent: the page owns it while the type is an upload.
    delete transferService;
}

void ZAVTestAddTransferPage::setShowTransferPage(ZAVTestShowTransferPage *page)
{
    showTransferPage = page;
}

void ZAVTestAddTransferPage::setFileChooser(FileChooser chooser)
{
    fileChooser = std::move(chooser);
}

void ZAVTestAddTransferPage::enableButtons()
{
    if (buttonAdd)
        buttonAdd->setEnabled(true);
    if (buttonCancel)
        buttonCancel->setEnabled(true);
}

MButton *ZAVTestAddTransferPage::createButton(const QString &text)
{
    auto *button = new MButton(text, centralWidget());
    button->setObjectName(QStringLiteral("PushButton"));
    return button;
}

MLabel *ZAVTestAddTransferPage::createSpacer(int minWidth, int minHeight)
{
    auto *spacer = new MLabel(this);
    spacer->setMinimumWidth(minWidth);
    spacer->setMinimumHeight(minHeight);
    return spacer;
}

void ZAVTestAddTransferPage::createContent()
{
    MApplicationPage::createContent();
    qDebug() << "ZAVTestAddTransferPage::createContent()";
    QGraphicsWidget *central = centralWidget();
    mainLayout = new QGraphicsLinearLayout(Qt::Vertical, central);

    mainLayout->addItem(transferName.createLayout(central));

    auto *typeRow = new QGraphicsLinearLayout(Qt::Horizontal, mainLayout);
    typeRow->addItem(transferType.createLayout(central));
    typeRow->addItem(createSpacer(150, 0));
    typeRow->addItem(transferStatus.createLayout(central));
    mainLayout->addItem(typeRow);

    mainLayout->addItem(transferMsg.createLayout(central));
    mainLayout->addItem(transferSize.createLayout(central));

    QString type = transferType.currentOption();
    typeChanged(type);

    mainLayout->addItem(createSpacer(200, 50));

    auto *buttonRow = new QGraphicsLinearLayout(Qt::Horizontal, mainLayout);
    buttonAdd = createButton(QStringLiteral("Add"));
    buttonRow->addItem(buttonAdd);
    buttonRow->addItem(createSpacer(300, 0));
    buttonCancel = createButton(QStringLiteral("Cancel"));
    buttonRow->addItem(buttonCancel);
    mainLayout->addItem(buttonRow);

    connect(buttonAdd, &MButton::clicked, this, &ZAVTestAddTransferPage::addClicked);
    connect(buttonCancel, &MButton::clicked, this, &MApplicationPage::backButtonClicked);

    central->setLayout(mainLayout);
}

void ZAVTestAddTransferPage::typeChanged(QString &type)
{
    if (type.contains(QLatin1String("upload"))) {
        showFileRow();
        if (!transferService)
            transferService = new ZAVTestTransferServiceObject(nullptr);
        placeAt(mainLayout, 5, transferService->createLayout(nullptr));
    } else if (fileLayout) {
        mainLayout->removeItem(fileLayout);
        delete labelFile;
        labelFile = nullptr;
        delete buttonBrowse;
        buttonBrowse = nullptr;
        delete textTransferFileName;
        textTransferFileName = nullptr;
        delete fileLayout;
        fileLayout = nullptr;
        delete transferService;
        transferService = nullptr;
        mainLayout->invalidate();
    }
}

void ZAVTestAddTransferPage::showFileRow()
{
    if (!fileLayout) {
        fileLayout = new QGraphicsLinearLayout(Qt::Horizontal, mainLayout);
        labelFile = new MLabel(QStringLiteral("File"), this);
        labelFile->setObjectName(QStringLiteral("PopupListHeader"));
        // As wide as a list's title, so that the field lines up with the lists above and below.
        labelFile->setMinimumWidth(110);
        labelFile->setMaximumWidth(110);
        textTransferFileName = new MTextEdit(MTextEditModel::SingleLine, QString(), this);
        textTransferFileName->setMaximumWidth(500);
        textTransferFileName->setMinimumWidth(500);
        textTransferFileName->setMaximumHeight(50);
        textTransferFileName->setReadOnly(true);
        textTransferFileName->setText(QStringLiteral("No file selected yet"));
        labelFile->setBuddy(textTransferFileName);
        buttonBrowse = new MButton(QStringLiteral("Browse"), this);
        buttonBrowse->setMaximumWidth(100);
        buttonBrowse->setMaximumHeight(50);
        connect(buttonBrowse, &MButton::clicked, this, &ZAVTestAddTransferPage::browseClicked);
        fileLayout->addItem(labelFile);
        fileLayout->addItem(textTransferFileName);
        fileLayout->addItem(buttonBrowse);
    }
    placeAt(mainLayout, 4, fileLayout);
}

void ZAVTestAddTransferPage::addClicked()
{
    buttonAdd->setEnabled(false);
    buttonCancel->setEnabled(false);

    const QString type = transferType.currentOption();
    const QString name = transferName.currentOption();
    const QString msg = transferMsg.currentOption();
    QString fileName = QString("");
    const QString status = transferStatus.currentOption();
    QString account = QString("");
    const QString size = QString::number(transferSize.value(), 'g', 6);
    const QString estimate = QStringLiteral("0");

    if (textTransferFileName) {
        fileName = textTransferFileName->text();
        account = transferService->currentOption();
    }

    qDebug() << "+++++++++++++++++";
    qDebug() << "Adding transfer to showTransferpage with parameters";
    qDebug() << "\ttype: " << type;
    qDebug() << "\tname: " << name;
    qDebug() << "\tmsg: " << msg;
    qDebug() << "\tfile name: " << fileName;
    qDebug() << "\tstatus: " << status;
    qDebug() << "\taccount: " << account;
    qDebug() << "\tsize: " << size;
    qDebug() << "\testimate: " << estimate;

    if (showTransferPage)
        showTransferPage->addTransfer(type, name, msg, fileName, status, account, size, estimate, false);
    // The next transfer gets the next name, so that transfers added in a row are told apart on
    // the list and on a desktop.
    const QStringList &names = transferName.optionList();
    transferName.setCurrentOption(names.value((names.indexOf(name) + 1) % qMax<qsizetype>(1, names.size())));
    emit backButtonClicked();
}

void ZAVTestAddTransferPage::browseClicked()
{
    if (fileChooser) {
        takeFiles(fileChooser(lastFolder));
        return;
    }
    // Qt's chooser runs a nested event loop: opened from the event loop, not inside the press's
    // delivery (a press through assistive technology waits for that to return).
    QMetaObject::invokeMethod(
        this,
        [this] {
            QStringList files;
            // Qt's own chooser, over the window and no larger than it: the platform's would open at its
            // own size and hang off the handset-sized window.
            const QList<QGraphicsView *> views = scene() ? scene()->views() : QList<QGraphicsView *>();
            QWidget *window = views.isEmpty() ? nullptr : views.constFirst()->window();
            QFileDialog dialog(window, QStringLiteral("Choose files to transfer"), lastFolder,
                               QStringLiteral("Images (*.png *.jpg *.jpeg *.gif *.bmp);;All files (*)"));
            dialog.setOption(QFileDialog::DontUseNativeDialog);
            dialog.setFileMode(QFileDialog::ExistingFiles);
            if (window)
                dialog.setGeometry(QRect(window->mapToGlobal(QPoint(0, 0)), window->size()));
            if (dialog.exec() == QDialog::Accepted)
                files = dialog.selectedFiles();
            takeFiles(files);
        },
        Qt::QueuedConnection);
}

void ZAVTestAddTransferPage::takeFiles(const QStringList &files)
{
    // Closing the chooser without a choice delivers nothing.
    if (files.isEmpty())
        return;
    lastFolder = QFileInfo(chosenPath(files.constFirst())).absolutePath();
    pickerDone(files);
}

void ZAVTestAddTransferPage::pickerDone(QStringList files)
{
    qDebug() << "Selected " << files.size() << " files in picker";
    if (files.isEmpty())
        return;
    qDebug() << "These are : ";
    for (int i = 0; i < files.size(); ++i)
        qDebug() << "\t(" << i + 1 << ")" << files.at(i);
    if (!textTransferFileName) {
        qCritical() << "textTransferFileName widget does not exist";
        return;
    }
    textTransferFileName->setText(chosenPath(files.constFirst()));
    qDebug() << "textTransferFileName has " << textTransferFileName->text();
}
