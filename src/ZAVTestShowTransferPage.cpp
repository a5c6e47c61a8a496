// SPDX-License-Identifier: MIT
#include "ZAVTestShowTransferPage.h"

#include "ZAVTestElement.h"
#include "ZAVTestElementDetail.h"
#include "ZAVTestNumbers.h"
#include "ZAVTestVocabulary.h"

#include <MLabel.h>
#include <zav/ZavClient.h>

#include <QDebug>
#include <QDir>
#include <QGraphicsLinearLayout>

using ZAVTestVocabulary::Request;
using ZAVTestVocabulary::State;
using ZAVTestVocabulary::requestWord;
using ZAVTestVocabulary::stateFrom;
using ZAVTestVocabulary::stateWord;

ZAVTestShowTransferPage::ZAVTestShowTransferPage()
    : MApplicationPage(nullptr)
    , detail(nullptr)
    , client(nullptr)
    , listLayout(nullptr)
    , values(std::make_unique<ZAVTestValueStore>())
    , serviceNotice(new MLabel(noServiceText()))
    , emptyNotice(new MLabel(QStringLiteral("No transfers yet: add one with \"Add New Transfers\" on the main page.")))
{
    setTitle(QStringLiteral("Show Transfer"));

    client = new Zav::Client(this);
    // Without an answer now, the client is kept all the same: it takes the service up when it
    // arrives (or answers), and the notice goes.
    if (!client->init()) {
        qCritical() << "Failed to open ZAV connection."
                    << "run without ZAV communication.";
    }
    {
        connect(client, &Zav::Client::cancelTransfer, this, &ZAVTestShowTransferPage::cancelTransfer);
        connect(client, &Zav::Client::startTransfer, this, &ZAVTestShowTransferPage::startTransfer);
        connect(client, &Zav::Client::pauseTransfer, this, &ZAVTestShowTransferPage::pauseTransfer);
        connect(client, &Zav::Client::repairErrorTransfer, this, &ZAVTestShowTransferPage::errorRepair);
        connect(client, &Zav::Client::serviceAvailabilityChanged, this, [this](bool available) {
            updateNotices();
            emit serviceAvailabilityChanged(available);
        });
    }

    listLayout = new QGraphicsLinearLayout(Qt::Vertical, centralWidget());
    listLayout->setSpacing(6);
    serviceNotice->setObjectName(QStringLiteral("NoticeLine"));
    emptyNotice->setObjectName(QStringLiteral("HintLine"));
    for (MLabel *notice : {serviceNotice, emptyNotice}) {
        notice->setParentItem(centralWidget());
        notice->hide();
    }
    updateNotices();

    detail = new ZAVTestElementDetail;
    detail->setParent(this);
    using Page = ZAVTestShowTransferPage;
    using Detail = ZAVTestElementDetail;
    connect(detail, &Detail::backButtonClicked, this, &Page::backClicked);
    connect(detail, &Detail::transferSetSizeSignal, this, &Page::transferSetSize);
    connect(detail, &Detail::transferSpeedSignal, this, &Page::transferSpeed);
    connect(detail, &Detail::transferProgressSignal, this, &Page::transferProgress);
    connect(detail, &Detail::transferMessageSignal, this, &Page::transferMessage);
    connect(detail, &Detail::transferEstimateSignal, this, &Page::transferEstimate);
    connect(detail, &Detail::transferCanPauseSignal, this, &Page::transferCanPause);
    connect(detail, &Detail::transferNameSignal, this, &Page::transferName);
    connect(detail, &Detail::transferPendingSignal, this, &Page::transferPending);
    connect(detail, &Detail::transferSetActiveSignal, this, &Page::transferSetActive);
    connect(detail, &Detail::transferFailedSignal, this, &Page::transferFailed);
    connect(detail, qOverload<QString>(&Detail::transferDoneSignal), this,
            qOverload<const QString &>(&Page::transferDone));
    connect(detail, qOverload<QString, QString>(&Detail::transferDoneSignal), this,
            qOverload<const QString &, const QString &>(&Page::transferDone));
    connect(detail, &Detail::transferAuto, this, &Page::transferAuto);
    connect(detail, &Detail::transferIconSignal, this, &Page::transferIcon);
    connect(detail, &Detail::transferThumbnailSignal, this, &Page::transferThumbnail);
    connect(detail, &Detail::transferCancelText, this, &Page::transferCancelText);
    connect(detail, &Detail::commitChanged, this, &Page::commitChanged);
    connect(detail, &Detail::transferTitleChanged, this, &Page::transferTitleChanged);
}

ZAVTestShowTransferPage::~ZAVTestShowTransferPage() = default;

void ZAVTestShowTransferPage::createContent()
{
    // Everything is built by the constructor.
}

void ZAVTestShowTransferPage::addTransfer(const QString &type, const QString &name, const QString &msg,
                                          const QString &fileName, const QString &status, const QString &account,
                                          const QString &size, const QString &estimate, bool trackerBased)
{
    Zav::Transfer *transfer = nullptr;
    if (!trackerBased) {
        qDebug() << " Adding new non tracker based transfer";
        Zav::Client::TransferType transferType = Zav::Client::Sync;
        if (type.contains(QLatin1String("upload")))
            transferType = Zav::Client::Upload;
        else if (type.contains(QLatin1String("Download")))
            transferType = Zav::Client::Download;
        if (client)
            transfer = client->registerTransfer(name, transferType, QStringLiteral("com.kelvo.zavtestdialog"));
    } else {
        // No program here registers tracker-based transfers; without a handle nothing can follow.
        qDebug() << " Tracker based transfers are not supported";
    }
    if (!transfer) {
        qDebug() << "return back";
        emit backButtonClicked();
        return;
    }

    const std::optional<State> state = stateFrom(status);
    if (state == State::Active)
        transfer->setActive(0.0);
    else
        transfer->setPending(QStringLiteral("Pending"));
    transfer->setAccount(account);
    transfer->setName(name);

    auto *row = new ZAVTestElement(centralWidget());
    row->createLayout();
    const QString id = transfer->id();
    row->setTransferId(id);

    if (type.contains(QLatin1String("upload")) && !account.isEmpty()) {
        transfer->setServiceIconType(0);
        transfer->setAccount(account);
    } else if (type.contains(QLatin1String("Download"))) {
        qDebug() << "ServiceIcon Download";
        transfer->setServiceIconType(1);
    } else if (type.contains(QLatin1String("Sync"))) {
        transfer->setServiceIconType(2);
    }

    const quint64 bytes = ZAVTestNumbers::byteCountFromText(size);
    qDebug() << "Setting the transfer size as " << bytes;
    transfer->setSize(bytes);

    transfer->setEstimate(0);
    transfer->setCount(100);

    if (state == State::Active) {
        transfer->setActive(0.0);
    } else if (state == State::Inactive) {
        transfer->setPending(msg);
    } else if (state == State::NoMessageInactive) {
        transfer->setPending(QString(""));
    } else {
        transfer->markCompleted(false, QString(""), QString());
        delete row;
        return;
    }

    transfers.insert(id, transfer);

    if (!fileName.isEmpty())
        row->setTransferImage(fileName);
    row->setTransferName(name);
    row->setTransferMsg(msg);
    row->setTransferEstTime(estimate);
    row->setTransferSize(size);
    row->setTransferState(status);

    ZAVTestTransferValues record;
    record.size = ZAVTestNumbers::parseDecimal(size);
    record.progress = 0;
    record.speed = 0;
    bool estimateOk = false;
    record.estimate = estimate.toInt(&estimateOk, 10);
    if (!estimateOk)
        record.estimate = 0;
    record.autoProgress = false;
    record.canPause = false;
    record.status = status;
    record.name = name;
    record.message = msg;
    values->insert(id, record);

    using Page = ZAVTestShowTransferPage;
    connect(row, &ZAVTestElement::transferMarkCancelled, this, &Page::transferMarkCancelled);
    connect(row, &ZAVTestElement::transferMarkCancelFail, this, &Page::transferMarkCancelFail);
    connect(row, &ZAVTestElement::transferMarkRestarted, this, &Page::transferMarkRestarted);
    connect(row, &ZAVTestElement::transferMarkPaused, this, &Page::transferMarkPaused);
    connect(row, &ZAVTestElement::deleteItem, this, &Page::removeLayoutItem);
    connect(row, &ZAVTestElement::itemSelected, this, &Page::itemSelected);
    listLayout->addItem(row);
    if (!rowIndex.contains(id))
        rowIndex.insert(id, row);
    updateNotices();
}

bool ZAVTestShowTransferPage::isServiceAvailable() const
{
    return client && client->isServiceAvailable();
}

QString ZAVTestShowTransferPage::noServiceText()
{
    return QStringLiteral("No transfer service on the bus: changes are not sent");
}

void ZAVTestShowTransferPage::placeNotice(QGraphicsLinearLayout *layout, MLabel *notice, bool shown)
{
    // Asked on every row added and removed: what is already right costs nothing.
    const bool placed = notice->parentLayoutItem() == layout;
    if (shown && !placed) {
        layout->insertItem(0, notice);
    } else if (!shown && placed) {
        for (int i = 0; i < layout->count(); ++i) {
            if (layout->itemAt(i) == notice) {
                layout->removeAt(i);
                break;
            }
        }
    }
    notice->setVisible(shown);
}

void ZAVTestShowTransferPage::updateNotices()
{
    placeNotice(listLayout, emptyNotice, rowIndex.isEmpty());
    placeNotice(listLayout, serviceNotice, !isServiceAvailable());
}

QList<ZAVTestElement *> ZAVTestShowTransferPage::rows() const
{
    QList<ZAVTestElement *> result;
    for (int i = 0; i < listLayout->count(); ++i) {
        if (auto *row = dynamic_cast<ZAVTestElement *>(listLayout->itemAt(i)))
            result.append(row);
    }
    return result;
}

ZAVTestElement *ZAVTestShowTransferPage::findElement(const QString &id)
{
    ZAVTestElement *row = rowIndex.value(id);
    if (row)
        qDebug() << row->transferId();
    return row;
}

void ZAVTestShowTransferPage::removeLayoutItem(const QString &id)
{
    for (int i = 0; i < listLayout->count(); ++i) {
        auto *row = dynamic_cast<ZAVTestElement *>(listLayout->itemAt(i));
        if (row && row->transferId() == id) {
            qDebug() << id;
            // The row asked from inside its own button's click: out of the list now, deleted
            // once control is back in the event loop.
            listLayout->removeAt(i);
            row->hide();
            row->deleteLater();
            // Another row may carry the same id (a restarted service hands ids out again).
            rowIndex.remove(id);
            for (ZAVTestElement *other : rows()) {
                if (other->transferId() == id) {
                    rowIndex.insert(id, other);
                    break;
                }
            }
            updateNotices();
            return;
        }
    }
}

void ZAVTestShowTransferPage::backClicked()
{
    appear(MSceneWindow::KeepWhenDone);
}

void ZAVTestShowTransferPage::itemSelected(const QString &id)
{
    // Auto goes on for the transfer last opened after Close, until a transfer is opened (init
    // stops it). The page shows it on only while it runs: reopened, the same transfer goes on
    // stepping; the one it ran for otherwise stops, and its flag says so (before, it opened
    // showing Auto on while nothing stepped).
    const QString previous = detail->transferId();
    const bool running = detail->progressSlider().isAutoRunning();
    detail->setEscapeMode(MApplicationPageModel::EscapeAuto);
    detail->setTransferId(id);
    detail->init(values->name(id), values->message(id), values->size(id), double(values->estimate(id)),
                 values->status(id), values->progress(id), double(values->speed(id)));
    if (running && previous != id)
        values->setAutoProgress(previous, false);
    const bool autoOn = values->autoProgress(id) && running && previous == id;
    values->setAutoProgress(id, autoOn);
    detail->setAutoProgressChecked(autoOn);
    if (autoOn)
        detail->progressSlider().setAutoRunning(true);
    detail->setCanPauseChecked(values->canPause(id));
    detail->appear(MSceneWindow::KeepWhenDone);
}

Zav::Transfer *ZAVTestShowTransferPage::handleFor(const char *slot, const QString &id) const
{
    qDebug() << slot << id;
    return transfers.value(id);
}

void ZAVTestShowTransferPage::stopAutoProgress(const QString &id)
{
    if (values->autoProgress(id))
        detail->setAutoProgressChecked(false);
}

// ---- Changes from the detail page ----

void ZAVTestShowTransferPage::transferSetSize(const QString &id, quint64 bytes)
{
    Zav::Transfer *transfer = handleFor("ZAVTestShowTransferPage::transferSetSize", id);
    if (!transfer)
        return;
    transfer->setSize(bytes);
    if (ZAVTestElement *row = findElement(id))
        row->setTransferSize(QString::number(bytes));
    values->setSize(id, double(bytes));
}

void ZAVTestShowTransferPage::transferProgress(const QString &id, float done)
{
    Zav::Transfer *transfer = handleFor("ZAVTestShowTransferPage::transferProgress", id);
    if (!transfer)
        return;
    transfer->setProgress(done);
    values->setProgress(id, double(done));
}

void ZAVTestShowTransferPage::transferSpeed(const QString &id, int speed)
{
    Zav::Transfer *transfer = handleFor("ZAVTestShowTransferPage::transferSpeed", id);
    if (!transfer)
        return;
    transfer->setSpeed(speed);
    values->setSpeed(id, speed);
}

void ZAVTestShowTransferPage::transferMessage(const QString &id, const QString &msg)
{
    Zav::Transfer *transfer = handleFor("ZAVTestShowTransferPage::transferMessage", id);
    if (!transfer)
        return;
    transfer->setMessage(msg);
    if (ZAVTestElement *row = findElement(id))
        row->setTransferMsg(msg);
    values->setMessage(id, msg);
}

void ZAVTestShowTransferPage::transferEstimate(const QString &id, int seconds)
{
    Zav::Transfer *transfer = handleFor("ZAVTestShowTransferPage::transferEstimate", id);
    if (!transfer)
        return;
    transfer->setEstimate(seconds);
    if (ZAVTestElement *row = findElement(id))
        row->setTransferEstTime(QString::number(seconds));
    values->setEstimate(id, seconds);
}

void ZAVTestShowTransferPage::transferCanPause(const QString &id, bool value)
{
    Zav::Transfer *transfer = handleFor("ZAVTestShowTransferPage::transferCanPause", id);
    if (!transfer)
        return;
    transfer->setCanPause(value);
    values->setCanPause(id, value);
}

void ZAVTestShowTransferPage::transferName(const QString &id, const QString &name)
{
    Zav::Transfer *transfer = handleFor("ZAVTestShowTransferPage::transferName", id);
    if (!transfer)
        return;
    transfer->setName(name);
    if (ZAVTestElement *row = findElement(id))
        row->setTransferName(name);
    values->setName(id, name);
}

void ZAVTestShowTransferPage::transferPending(const QString &id, const QString &reason)
{
    Zav::Transfer *transfer = handleFor("ZAVTestShowTransferPage::transferPending", id);
    if (!transfer)
        return;
    transfer->setPending(reason);
    if (ZAVTestElement *row = findElement(id))
        row->setTransferState(stateWord(State::Inactive));
    values->setStatus(id, stateWord(State::Inactive));
}

void ZAVTestShowTransferPage::transferSetActive(const QString &id, float done)
{
    Zav::Transfer *transfer = handleFor("ZAVTestShowTransferPage::transferSetActive", id);
    if (!transfer)
        return;
    transfer->setActive(done);
    if (ZAVTestElement *row = findElement(id))
        row->setTransferState(QStringLiteral("Active"));
    values->setStatus(id, QStringLiteral("Active"));
}

void ZAVTestShowTransferPage::transferFailed(const QString &id, int retry)
{
    Zav::Transfer *transfer = handleFor("ZAVTestShowTransferPage::transferFailed", id);
    if (!transfer)
        return;
    if (retry == 0) {
        transfer->markFailure(QStringLiteral("Unable to connect to service"),
                              QStringLiteral("Service did not accept the user Name or Password"));
    } else if (retry == 1 || retry == 2) {
        transfer->markRepairableFailure(QStringLiteral("Unable to Share files"),
                                        QStringLiteral("5 files could not be sent to service"),
                                        QStringLiteral("Retry now"));
    }
}

void ZAVTestShowTransferPage::transferDone(const QString &id)
{
    qDebug() << "ZAVTestShowTransferPage::transferDone" << id;
    if (Zav::Transfer *transfer = transfers.value(id))
        transfer->markCompleted(false, QString(""), QString());
}

void ZAVTestShowTransferPage::transferDone(const QString &id, const QString &resultUri)
{
    if (Zav::Transfer *transfer = transfers.value(id))
        transfer->markCompleted(true, QString(), resultUri);
}

void ZAVTestShowTransferPage::transferAuto(const QString &id, bool value)
{
    values->setAutoProgress(id, value);
}

void ZAVTestShowTransferPage::transferIcon(const QString &id, const QString &icon)
{
    static const QHash<QString, QString> iconIds {
        {QStringLiteral("pdf"), QStringLiteral("icon-m-content-pdf")},
        {QStringLiteral("word"), QStringLiteral("icon-m-content-word")},
        {QStringLiteral("powerpoint"), QStringLiteral("icon-m-content-powerpoint")},
        {QStringLiteral("image"), QStringLiteral("icon-m-content-image")},
        {QStringLiteral("excel"), QStringLiteral("icon-m-content-excel")},
        {QStringLiteral("video"), QStringLiteral("icon-m-content-video")},
        {QStringLiteral("album"), QStringLiteral("icon-m-content-album")},
        {QStringLiteral("unknown"), QStringLiteral("icon-m-content-file-unkown")},
    };
    const QString iconId = iconIds.value(icon);
    qDebug() << "iconId" << iconId;
    if (Zav::Transfer *transfer = transfers.value(id))
        transfer->setImageFromFilePath(QStringLiteral("/var/tmp/sunflower.jpg"));
}

void ZAVTestShowTransferPage::transferThumbnail(const QString &id, const QString &thumbnail)
{
    const QString path = QDir::homePath() + QStringLiteral("/MyDocs/.images/") + thumbnail + QStringLiteral(".jpg");
    qDebug() << "thumbnailFile" << path;
    if (Zav::Transfer *transfer = transfers.value(id))
        transfer->setThumbnailForFile(path, QStringLiteral("image/jpeg"));
}

void ZAVTestShowTransferPage::transferCancelText(const QString &id, const QString &text)
{
    if (Zav::Transfer *transfer = transfers.value(id))
        transfer->setCancelButtonText(text);
}

void ZAVTestShowTransferPage::transferTitleChanged(const QString &id, const QString &title)
{
    if (Zav::Transfer *transfer = transfers.value(id))
        transfer->setTitle(title);
}

void ZAVTestShowTransferPage::commitChanged(const QString &id, bool value)
{
    qDebug() << "Commit changed" << id << value;
    Zav::Transfer *transfer = transfers.value(id);
    if (value) {
        qDebug() << "Start commit";
        if (transfer)
            transfer->startCommit();
    } else {
        qDebug() << "End commit";
        if (transfer)
            transfer->endCommit();
    }
}

// ---- The tester's answers on a row ----

void ZAVTestShowTransferPage::transferMarkCancelled(const QString &id)
{
    Zav::Transfer *transfer = handleFor("ZAVTestShowTransferPage::transferMarkCancelled", id);
    if (!transfer) {
        qDebug() << "Element not found transferCancelled";
        return;
    }
    transfer->markCancelled();
    transfers.remove(id);
    if (ZAVTestElement *row = findElement(id))
        row->setTransferMsg(QStringLiteral("Transfer Cancelled"));
    stopAutoProgress(id);
    values->remove(id);
}

void ZAVTestShowTransferPage::transferMarkCancelFail(const QString &id)
{
    Zav::Transfer *transfer = handleFor("ZAVTestShowTransferPage::transferMarkCancelFail", id);
    if (!transfer)
        return;
    transfer->markCancelFailed(QStringLiteral("File is already uploaded"));
    if (ZAVTestElement *row = findElement(id))
        row->setTransferMsg(QStringLiteral("Transfer Cancell Failed"));
    stopAutoProgress(id);
}

void ZAVTestShowTransferPage::transferMarkPaused(const QString &id)
{
    Zav::Transfer *transfer = handleFor("ZAVTestShowTransferPage::transferMarkPaused", id);
    if (!transfer)
        return;
    transfer->markPaused();
    if (ZAVTestElement *row = findElement(id))
        row->setTransferMsg(QStringLiteral("Transfer Paused"));
    stopAutoProgress(id);
}

void ZAVTestShowTransferPage::transferMarkRestarted(const QString &id)
{
    Zav::Transfer *transfer = handleFor("ZAVTestShowTransferPage::transferMarkRestarted", id);
    if (!transfer)
        return;
    transfer->markRestarted();
    if (ZAVTestElement *row = findElement(id))
        row->setTransferMsg(QStringLiteral("Transfer Resumed"));
    stopAutoProgress(id);
}

// ---- Requests from the service ----

void ZAVTestShowTransferPage::cancelTransfer(Zav::Transfer *transfer)
{
    const QString id = transfer->id();
    qDebug() << "Test Show Transfer Page" << id;
    if (ZAVTestElement *row = findElement(id))
        row->setResponse(requestWord(Request::Cancel));
    else
        qDebug() << " Element not found ";
}

void ZAVTestShowTransferPage::startTransfer(Zav::Transfer *transfer)
{
    if (ZAVTestElement *row = findElement(transfer->id()))
        row->setResponse(requestWord(Request::Start));
}

void ZAVTestShowTransferPage::pauseTransfer(Zav::Transfer *transfer)
{
    if (ZAVTestElement *row = findElement(transfer->id()))
        row->setResponse(requestWord(Request::Pause));
}

void ZAVTestShowTransferPage::errorRepair(Zav::Transfer *transfer)
{
    qDebug() << "ZAVTestShowTransferPage::errorRepair";
    if (ZAVTestElement *row = findElement(transfer->id()))
        row->setResponse(requestWord(Request::Repair));
}
