// SPDX-License-Identifier: MIT
#include "ZAVTestShowTransferPage.h"

#include "ZAVTestElement.h"
#include "ZAVTestElementDetail.h"
#include "ZAVTestNumbers.h"
#include "ZAVTestPictures.h"
#include "ZAVTestServiceCalls.h"
#include "Requests.h"
#include "ZAVTestVocabulary.h"
#include "ZavContract.h"
#include "ZavVocabulary.h"

#include <MAccessible.h>
#include <MLabel.h>
#include <zav/ZavClient.h>

#include <QDebug>
#include <QGraphicsLinearLayout>

#include <algorithm>

using Zav::Requests::Request;
using ZAVTestVocabulary::Status;
using ZAVTestVocabulary::statusFrom;
using ZAVTestVocabulary::statusWord;

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
            if (!available)
                releaseAll();
            updateNotices();
            emit serviceAvailabilityChanged(available);
        });
    }

    listLayout = new QGraphicsLinearLayout(Qt::Vertical, centralWidget());
    MAccessible::expose(centralWidget(), QAccessible::List, QStringLiteral("Transfers"));
    listLayout->setSpacing(6);
    serviceNotice->setObjectName(QStringLiteral("NoticeLine"));
    emptyNotice->setObjectName(QStringLiteral("HintLine"));
    for (MLabel *notice : {serviceNotice, emptyNotice}) {
        notice->setParentItem(centralWidget());
        notice->hide();
    }
    updateNotices();

    detail = new ZAVTestElementDetail;
    // One transfer after another: each from the top (its id and state).
    detail->setKeepsScrollPosition(false);
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

namespace {
using Values = ZAVTestTransferValues;
using namespace ZAVTestServiceCalls;

QString registeringText()
{
    return QStringLiteral("Registering with the service…");
}
} // namespace

void ZAVTestShowTransferPage::addTransfer(const QString &type, const QString &name, const QString &msg,
                                          const QString &fileName, const QString &status, const QString &account,
                                          const QString &size, const QString &estimate, bool trackerBased)
{
    if (trackerBased) {
        // No program here registers tracker-based transfers; without a handle nothing can follow.
        qDebug() << " Tracker based transfers are not supported";
        qDebug() << "return back";
        emit backButtonClicked();
        return;
    }
    qDebug() << " Adding new non tracker based transfer";
    Values record;
    record.type = type;
    record.account = account;
    record.image = fileName;
    // What is sent, not what was typed: the service holds whole bytes, and an estimate of 0.
    record.size = ZAVTestNumbers::byteCountFromText(size);
    record.estimate = 0;
    Q_UNUSED(estimate);
    record.status = status;
    record.name = name;
    // Given at Add, the message is sent as the reason the transfer waits.
    record.reason = msg;

    auto *row = new ZAVTestElement(centralWidget());
    row->createLayout();
    if (!fileName.isEmpty())
        row->setTransferImage(fileName);
    using Page = ZAVTestShowTransferPage;
    connect(row, &ZAVTestElement::transferMarkCancelled, this, &Page::transferMarkCancelled);
    connect(row, &ZAVTestElement::transferMarkCancelFail, this, &Page::transferMarkCancelFail);
    connect(row, &ZAVTestElement::transferMarkRestarted, this, &Page::transferMarkRestarted);
    connect(row, &ZAVTestElement::transferMarkPaused, this, &Page::transferMarkPaused);
    connect(row, &ZAVTestElement::deleteItem, this, &Page::removeLayoutItem);
    connect(row, &ZAVTestElement::itemSelected, this, &Page::itemSelected);
    connect(row, &ZAVTestElement::offerTaken, this, [this, row] { registerRow(row); });
    listLayout->addItem(row);
    unheld.insert(row, record);
    updateNotices();
    registerRow(row);
}

void ZAVTestShowTransferPage::registerRow(ZAVTestElement *row)
{
    auto it = unheld.find(row);
    if (it == unheld.end())
        return;
    it->absence = registeringText();
    it->registering = true;
    row->setOffer(QString());
    showRow(row, *it);
    // Without a deadline: nothing waits for the answer, and a late one is taken as it comes (the
    // service would otherwise hold a transfer that no row shows). A service that leaves ends the
    // wait with the bus's error.
    client->registerTransfer(
        it->name, transferTypeOf(it->type), QStringLiteral("com.kelvo.zavtestdialog"), row,
        [this, row](Zav::Transfer *transfer, const QString &error) { registrationDone(row, transfer, error); }, -1);
}

void ZAVTestShowTransferPage::registrationDone(ZAVTestElement *row, Zav::Transfer *transfer, const QString &error)
{
    auto it = unheld.find(row);
    if (it == unheld.end())
        return;
    it->registering = false;
    if (!transfer) {
        qDebug() << "return back";
        it->absence = QStringLiteral("Not registered: %1").arg(readableError(Zav::printable(error.left(400))));
        showRow(row, *it);
        row->setOffer(QStringLiteral("Register again"));
        return;
    }
    Values record = it.value();
    unheld.erase(it);
    record.registering = false;
    record.absence.clear();
    record.refusal.clear();
    record.handle = transfer;
    const QString id = transfer->id();
    row->setTransferId(id);
    connect(transfer, &Zav::Transfer::changeRefused, this,
            [this, transfer](const QString &call, const QString &error, const QString &message) {
                changeRefused(transfer, call, error, message);
            });

    if (record.registeredOnce) {
        // Registered again after the service was restarted: it is told all the app knows.
        replay(transfer, record);
    } else {
        const std::optional<Status> status = statusFrom(record.status);
        if (status == Status::Active)
            transfer->setActive(0.0);
        else
            transfer->setPending(QStringLiteral("Pending"));
        transfer->setAccount(record.account);
        transfer->setName(record.name);
        const int icon = serviceIconOf(record);
        if (icon == 1)
            qDebug() << "ServiceIcon Download";
        if (icon >= 0)
            transfer->setServiceIconType(icon);
        if (icon == 0)
            transfer->setAccount(record.account);
        qDebug() << "Setting the transfer size as " << record.size;
        transfer->setSize(record.size);
        transfer->setEstimate(0);
        transfer->setCount(100);

        if (status == Status::Active) {
            transfer->setActive(0.0);
            record.state = Values::State::Active;
        } else if (status == Status::Inactive) {
            transfer->setPending(record.reason);
        } else if (status == Status::NoMessageInactive) {
            transfer->setPending(QString(""));
            record.reason.clear();
        } else {
            transfer->markCompleted(false, QString(""), QString());
            for (int i = 0; i < listLayout->count(); ++i) {
                if (listLayout->itemAt(i) == row) {
                    listLayout->removeAt(i);
                    break;
                }
            }
            row->deleteLater();
            updateNotices();
            return;
        }
    }
    record.registeredOnce = true;
    transfers.insert(id, transfer);
    values->insert(id, record);
    if (!rowIndex.contains(id))
        rowIndex.insert(id, row);
    showRow(row, record);
    row->setOffer(QString());
}

int ZAVTestShowTransferPage::registeringCount() const
{
    return int(std::count_if(unheld.cbegin(), unheld.cend(), [](const Values &v) { return v.registering; }));
}

void ZAVTestShowTransferPage::showRow(ZAVTestElement *row, const ZAVTestTransferValues &v)
{
    // Only what differs is set: each setter writes a log line, and a change touches one column.
    if (row->nameLabel()->text() != v.name)
        row->setTransferName(v.name);
    const QString line = v.rowLine();
    if (row->messageLabel()->text() != line)
        row->setTransferMsg(line);
    const QString seconds = QString::number(v.estimate);
    if (row->estimateLabel()->text() != seconds + QStringLiteral(" Sec"))
        row->setTransferEstTime(seconds);
    // Exact while the column holds it; beyond, in units (the detail page has the exact count).
    if (v.size < 10000000000ULL) {
        const QString bytes = QString::number(v.size);
        if (row->sizeLabel()->text() != bytes + QStringLiteral(" Bytes"))
            row->setTransferSize(bytes);
    } else {
        row->sizeLabel()->setText(ZAVTestNumbers::roundedBytes(v.size));
    }
    const QString state = v.stateText();
    if (row->stateLabel()->text() != state)
        row->setTransferState(state);
    // A note cut by its column is read whole where the pointer rests on the row.
    const QString note = !v.absence.isEmpty() ? v.absence : v.refusal;
    if (row->toolTip() != note)
        row->setToolTip(note);
}

void ZAVTestShowTransferPage::showChange(const QString &id)
{
    const Values record = values->values(id);
    if (ZAVTestElement *row = findElement(id))
        showRow(row, record);
    if (detail->transferId() == id)
        detail->showState(record);
}

void ZAVTestShowTransferPage::releaseAll()
{
    // The transfers went with the service. Their rows keep their values, lose the id (a new
    // instance hands the same ids to other transfers) and offer to register them again.
    for (ZAVTestElement *row : rows()) {
        const QString id = row->transferId();
        if (!id.isEmpty() && values->contains(id))
            releaseRow(row, QStringLiteral("The service left the bus: it holds this transfer no more"));
    }
}

void ZAVTestShowTransferPage::releaseRow(ZAVTestElement *row, const QString &absence)
{
    const QString id = row->transferId();
    Values record = values->values(id);
    record.absence = absence;
    record.refusal.clear();
    record.autoProgress = false;
    record.handle = nullptr;
    values->remove(id);
    transfers.remove(id);
    rowIndex.remove(id);
    row->setTransferId(QString());
    unheld.insert(row, record);
    showRow(row, record);
    row->setOffer(QStringLiteral("Register again"));
    if (detail->transferId() == id) {
        // Its changes would otherwise reach whatever the service calls by that id.
        detail->setAutoProgressChecked(false);
        detail->setTransferId(QString());
        detail->showState(record);
    }
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
    // Only while no row is listed: one being registered is listed too.
    placeNotice(listLayout, emptyNotice, rowIndex.isEmpty() && unheld.isEmpty());
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
            // The transfer stays registered; only its row goes. A cancelled one is shown
            // nowhere now, and nothing is sent for it: its record goes too.
            rowIndex.remove(id);
            if (!transfers.contains(id))
                values->remove(id);
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
    // A row the service does not hold has nothing to edit; the row says why.
    if (!values->contains(id))
        return;
    // Auto goes on for the transfer last opened after Close, until a transfer is opened (init
    // stops it). The page shows it on only while it runs: reopened, the same transfer goes on
    // stepping; the one it ran for otherwise stops, and its flag says so (before, it opened
    // showing Auto on while nothing stepped).
    const QString previous = detail->transferId();
    const bool running = detail->progressSlider().isAutoRunning();
    detail->setEscapeMode(MApplicationPageModel::EscapeAuto);
    detail->setTransferId(id);
    if (running && previous != id)
        values->setAutoProgress(previous, false);
    const bool autoOn = values->autoProgress(id) && running && previous == id;
    values->setAutoProgress(id, autoOn);
    detail->load(values->values(id));
    if (autoOn)
        detail->progressSlider().setAutoRunning(true);
    detail->appear(MSceneWindow::KeepWhenDone);
}

Zav::Transfer *ZAVTestShowTransferPage::handleFor(const char *slot, const QString &id)
{
    if (slot)
        qDebug() << slot << id;
    Zav::Transfer *transfer = transfers.value(id);
    // A new change of the tester's: the last refusal's note has been read.
    if (transfer)
        values->update(id, [](Values &v) { v.refusal.clear(); });
    return transfer;
}

void ZAVTestShowTransferPage::changeRefused(Zav::Transfer *transfer, const QString &call, const QString &error,
                                            const QString &message)
{
    const QString id = transfer->id();
    if (!values->contains(id) || values->values(id).handle != transfer)
        return; // a transfer released since, or an id the service has given again
    qDebug() << "ZAVTestShowTransferPage::changeRefused" << id << call << error << message.left(200);
    // The service's words, as any program's on the screen: cut, with control characters escaped.
    const QString reason = readableError(Zav::printable(error.left(100) + QStringLiteral(": ") + message.left(300)));
    if (error == QLatin1String(Zav::Errors::UnknownTransfer) || error == QLatin1String(Zav::Errors::AccessDenied)) {
        if (ZAVTestElement *row = findElement(id)) {
            releaseRow(row, QStringLiteral("The service does not hold this transfer: %1").arg(reason));
        } else {
            values->remove(id);
            transfers.remove(id);
        }
        return;
    }
    // Not answered is not refused: it may still take effect, so nothing is undone.
    const bool undone = !isNoAnswer(error);
    values->update(id, [&](Values &v) {
        if (!undone) {
            v.refusal = QStringLiteral("%1: the service did not answer in time; it may still take it")
                            .arg(callWords(call));
            return;
        }
        v.refusal = QStringLiteral("%1 refused by the service: %2").arg(callWords(call), reason);
        restoreHeld(v, transfer, call);
    });
    const Values record = values->values(id);
    // A cancel the service did not take leaves the transfer to be changed further.
    if (record.state != Values::State::Cancelled && !transfers.contains(id))
        transfers.insert(id, transfer);
    if (ZAVTestElement *row = findElement(id))
        showRow(row, record);
    if (detail->transferId() == id) {
        // Only what was undone moves under the tester's hands.
        if (undone)
            detail->refresh(record);
        else
            detail->showState(record);
    }
}

void ZAVTestShowTransferPage::stopAutoProgress(const QString &id)
{
    if (values->autoProgress(id)) {
        detail->setAutoProgressChecked(false);
        values->setAutoProgress(id, false);
    }
}

// ---- Changes from the detail page ----
// Each one is sent, then written to the record, from which the row and the page show it.

template <typename Send, typename Record>
void ZAVTestShowTransferPage::sendChange(const char *slot, const QString &id, Send send, Record record)
{
    Zav::Transfer *transfer = handleFor(slot, id);
    if (!transfer)
        return;
    send(transfer);
    values->update(id, record);
    showChange(id);
}

void ZAVTestShowTransferPage::transferSetSize(const QString &id, quint64 bytes)
{
    sendChange(
        "ZAVTestShowTransferPage::transferSetSize", id, [&](Zav::Transfer *t) { t->setSize(bytes); },
        [&](Values &v) { v.size = bytes; });
}

void ZAVTestShowTransferPage::transferProgress(const QString &id, float done)
{
    // Auto's steps come here too: they leave a refusal's note standing.
    qDebug() << "ZAVTestShowTransferPage::transferProgress" << id;
    Zav::Transfer *transfer = transfers.value(id);
    if (!transfer)
        return;
    transfer->setProgress(done);
    values->setProgress(id, double(done));
    // The row does not show progress; the page's typed field follows it.
    if (detail->transferId() == id)
        detail->showProgress(double(done));
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
    sendChange(
        "ZAVTestShowTransferPage::transferMessage", id, [&](Zav::Transfer *t) { t->setMessage(msg); },
        [&](Values &v) {
            v.message = msg;
            v.answer.clear();
        });
}

void ZAVTestShowTransferPage::transferEstimate(const QString &id, int seconds)
{
    sendChange(
        "ZAVTestShowTransferPage::transferEstimate", id, [&](Zav::Transfer *t) { t->setEstimate(seconds); },
        [&](Values &v) { v.estimate = seconds; });
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
    sendChange(
        "ZAVTestShowTransferPage::transferName", id, [&](Zav::Transfer *t) { t->setName(name); },
        [&](Values &v) { v.name = name; });
}

void ZAVTestShowTransferPage::transferPending(const QString &id, const QString &reason)
{
    sendChange(
        "ZAVTestShowTransferPage::transferPending", id, [&](Zav::Transfer *t) { t->setPending(reason); },
        [&](Values &v) {
            v.state = Values::State::Pending;
            v.reason = reason;
            v.status = statusWord(Status::Inactive);
            v.answer.clear();
        });
}

void ZAVTestShowTransferPage::transferSetActive(const QString &id, float done)
{
    sendChange(
        "ZAVTestShowTransferPage::transferSetActive", id, [&](Zav::Transfer *t) { t->setActive(done); },
        [&](Values &v) {
            v.state = Values::State::Active;
            v.status = statusWord(Status::Active);
            v.progress = double(done);
            v.answer.clear();
        });
}

void ZAVTestShowTransferPage::transferFailed(const QString &id, int retry)
{
    if (retry < 0 || retry > 2) {
        handleFor("ZAVTestShowTransferPage::transferFailed", id);
        return;
    }
    sendChange(
        "ZAVTestShowTransferPage::transferFailed", id, [&](Zav::Transfer *t) { sendFailure(t, retry); },
        [&](Values &v) {
            v.state = Values::State::Failed;
            v.failure = retry;
            v.status = v.statusEntry();
            v.answer.clear();
        });
}

void ZAVTestShowTransferPage::transferDone(const QString &id)
{
    sendChange(
        "ZAVTestShowTransferPage::transferDone", id,
        [](Zav::Transfer *t) { t->markCompleted(false, QString(""), QString()); },
        [](Values &v) {
            v.state = Values::State::Done;
            v.status = statusWord(Status::Done);
            v.result.clear();
            v.answer.clear();
        });
}

void ZAVTestShowTransferPage::transferDone(const QString &id, const QString &resultUri)
{
    sendChange(
        nullptr, id, [&](Zav::Transfer *t) { t->markCompleted(true, QString(), resultUri); },
        [&](Values &v) {
            v.state = Values::State::Done;
            v.status = statusWord(Status::Done);
            v.result = resultUri;
            v.answer.clear();
        });
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
    sendChange(
        nullptr, id, [](Zav::Transfer *t) { t->setImageFromFilePath(ZAVTestPictures::iconPath()); },
        [&](Values &v) { v.icon = icon; });
}

void ZAVTestShowTransferPage::transferThumbnail(const QString &id, const QString &thumbnail)
{
    const QString path = ZAVTestPictures::thumbnailPath(thumbnail);
    qDebug() << "thumbnailFile" << path;
    sendChange(
        nullptr, id, [&](Zav::Transfer *t) { t->setThumbnailForFile(path, QStringLiteral("image/jpeg")); },
        [&](Values &v) { v.thumbnail = thumbnail; });
}

void ZAVTestShowTransferPage::transferCancelText(const QString &id, const QString &text)
{
    sendChange(
        nullptr, id, [&](Zav::Transfer *t) { t->setCancelButtonText(text); }, [&](Values &v) { v.cancelText = text; });
}

void ZAVTestShowTransferPage::transferTitleChanged(const QString &id, const QString &title)
{
    sendChange(
        nullptr, id, [&](Zav::Transfer *t) { t->setTitle(title); }, [&](Values &v) { v.title = title; });
}

void ZAVTestShowTransferPage::commitChanged(const QString &id, bool value)
{
    qDebug() << "Commit changed" << id << value;
    Zav::Transfer *transfer = handleFor(nullptr, id);
    if (value) {
        qDebug() << "Start commit";
        if (transfer)
            transfer->startCommit();
    } else {
        qDebug() << "End commit";
        if (transfer)
            transfer->endCommit();
    }
    if (transfer) {
        values->update(id, [value](Values &v) { v.inCommit = value; });
        showChange(id);
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
    // Nothing more is sent for it; its record stays for as long as its row shows it.
    transfers.remove(id);
    stopAutoProgress(id);
    values->update(id, [](Values &v) {
        v.state = Values::State::Cancelled;
        v.status.clear();
        v.answer = QStringLiteral("Transfer Cancelled");
    });
    showChange(id);
}

void ZAVTestShowTransferPage::transferMarkCancelFail(const QString &id)
{
    sendChange(
        "ZAVTestShowTransferPage::transferMarkCancelFail", id,
        [&](Zav::Transfer *t) {
            t->markCancelFailed(QLatin1String(Zav::CancelFailedReason));
            stopAutoProgress(id);
        },
        [](Values &v) {
            v.state = Values::State::CancelFailed;
            v.status.clear();
            v.answer = QStringLiteral("Transfer Cancell Failed");
        });
}

void ZAVTestShowTransferPage::transferMarkPaused(const QString &id)
{
    sendChange(
        "ZAVTestShowTransferPage::transferMarkPaused", id,
        [&](Zav::Transfer *t) {
            t->markPaused();
            stopAutoProgress(id);
        },
        [](Values &v) {
            v.state = Values::State::Paused;
            v.status.clear();
            v.answer = QStringLiteral("Transfer Paused");
        });
}

void ZAVTestShowTransferPage::transferMarkRestarted(const QString &id)
{
    sendChange(
        "ZAVTestShowTransferPage::transferMarkRestarted", id,
        [&](Zav::Transfer *t) {
            t->markRestarted();
            stopAutoProgress(id);
        },
        [](Values &v) {
            v.state = Values::State::Active;
            v.status = statusWord(Status::Active);
            v.answer = QStringLiteral("Transfer Resumed");
        });
}

// ---- Requests from the service ----

void ZAVTestShowTransferPage::cancelTransfer(Zav::Transfer *transfer)
{
    requests.push(transfer->id(), int(Request::Cancel));
}

void ZAVTestShowTransferPage::startTransfer(Zav::Transfer *transfer)
{
    requests.push(transfer->id(), int(Request::Start));
}

void ZAVTestShowTransferPage::pauseTransfer(Zav::Transfer *transfer)
{
    requests.push(transfer->id(), int(Request::Pause));
}

void ZAVTestShowTransferPage::errorRepair(Zav::Transfer *transfer)
{
    requests.push(transfer->id(), int(Request::Repair));
}

void ZAVTestShowTransferPage::answerRequest(const QString &id, int request)
{
    const Request which = Request(request);
    if (which == Request::Cancel)
        qDebug() << "Test Show Transfer Page" << id;
    else if (which == Request::Repair)
        qDebug() << "ZAVTestShowTransferPage::errorRepair";
    ZAVTestElement *row = findElement(id);
    if (row)
        row->setResponse(Zav::Requests::word(which));
    else if (which == Request::Cancel)
        qDebug() << " Element not found ";
}
