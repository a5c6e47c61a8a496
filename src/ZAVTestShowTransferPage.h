// SPDX-License-Identifier: MIT
#ifndef ZAVTESTSHOWTRANSFERPAGE_H
#define ZAVTESTSHOWTRANSFERPAGE_H

#include "ZAVTestRequestQueue.h"
#include "ZAVTestValueStore.h"

#include <MApplicationPage.h>

#include <QHash>

#include <memory>

namespace Zav {
class Client;
class Transfer;
} // namespace Zav
class MLabel;
class QGraphicsLinearLayout;
class ZAVTestElement;
class ZAVTestElementDetail;

// The heart of the application: holds the service connection, registers made-up transfers,
// keeps each one's handle and last values under the id the service returned, lists them as
// rows, opens the detail page for a row, and passes every change and answer on to the service.
class ZAVTestShowTransferPage : public MApplicationPage
{
    Q_OBJECT
public:
    ZAVTestShowTransferPage();
    ~ZAVTestShowTransferPage() override;

    // Lists a transfer at once and registers it without waiting: the row says "Registering"
    // until the service answers, however late, and then shows the transfer or the refusal.
    // size and estimate are numbers in text.
    void addTransfer(const QString &type, const QString &name, const QString &msg, const QString &fileName,
                     const QString &status, const QString &account, const QString &size, const QString &estimate,
                     bool trackerBased);
    ZAVTestElement *findElement(const QString &id);

    // Read access for tests and tools.
    Zav::Client *serviceClient() const { return client; }
    Zav::Transfer *transferHandle(const QString &id) const { return transfers.value(id); }
    int transferCount() const { return transfers.size(); }
    const ZAVTestValueStore &valueStore() const { return *values; }
    int unheldCount() const { return unheld.size(); }
    // Registrations sent and not answered yet.
    int registeringCount() const;
    ZAVTestElementDetail *detailPage() const { return detail; }
    // The rows, top to bottom.
    QList<ZAVTestElement *> rows() const;
    // False while no service takes the changes (none at start, or it left the bus).
    bool isServiceAvailable() const;
    // The line a page shows while that is so.
    static QString noServiceText();
    // Shows `notice` at the top of `layout`, or takes it out (a hidden item would keep its space).
    static void placeNotice(QGraphicsLinearLayout *layout, MLabel *notice, bool shown);

Q_SIGNALS:
    void serviceAvailabilityChanged(bool available);

protected:
    void createContent() override;

private Q_SLOTS:
    void transferSetSize(const QString &id, quint64 bytes);
    void transferProgress(const QString &id, float done);
    void transferSpeed(const QString &id, int speed);
    void transferMessage(const QString &id, const QString &msg);
    void transferEstimate(const QString &id, int seconds);
    void transferCanPause(const QString &id, bool value);
    void transferName(const QString &id, const QString &name);
    void transferPending(const QString &id, const QString &reason);
    void transferMarkCancelled(const QString &id);
    void transferMarkCancelFail(const QString &id);
    void transferMarkPaused(const QString &id);
    void transferMarkRestarted(const QString &id);
    void transferSetActive(const QString &id, float done);
    void transferFailed(const QString &id, int retry);
    void transferDone(const QString &id);
    void transferDone(const QString &id, const QString &resultUri);
    void cancelTransfer(Zav::Transfer *transfer);
    void startTransfer(Zav::Transfer *transfer);
    void pauseTransfer(Zav::Transfer *transfer);
    void errorRepair(Zav::Transfer *transfer);
    void backClicked();
    void itemSelected(const QString &id);
    void transferAuto(const QString &id, bool value);
    void removeLayoutItem(const QString &id);
    void transferIcon(const QString &id, const QString &icon);
    void transferThumbnail(const QString &id, const QString &thumbnail);
    void transferCancelText(const QString &id, const QString &text);
    void commitChanged(const QString &id, bool value);
    void transferTitleChanged(const QString &id, const QString &title);

private:
    // A handler's first steps: its debug line (the slot's name and the id), then the registry
    // entry for the id, null when it has none.
    // It also clears the last refusal's note: the tester has made a new change.
    Zav::Transfer *handleFor(const char *slot, const QString &id);
    // A change of the tester's to the transfer `id`: with a registry entry (handleFor), `send`
    // makes the call on its handle, `record` writes it to the record, and the row and the detail
    // page show it.
    template <typename Send, typename Record>
    void sendChange(const char *slot, const QString &id, Send send, Record record);
    // The service refused a change (or did not answer it): the record goes back to what the
    // service holds, and the row and the page say what was refused and why.
    void changeRefused(Zav::Transfer *transfer, const QString &call, const QString &error, const QString &message);
    // The row's transfer is held no more: the row keeps its values and offers to register again.
    void releaseRow(ZAVTestElement *row, const QString &absence);
    // The automatic progress of the detail page stops when the id's stored flag is on.
    void stopAutoProgress(const QString &id);
    // The notices above the rows: no service, and how to add a first transfer.
    void updateNotices();
    // Sends the registration of an unheld row; its answer makes the row a registered transfer.
    void registerRow(ZAVTestElement *row);
    void registrationDone(ZAVTestElement *row, Zav::Transfer *transfer, const QString &error);
    // After a change to the record of `id`: the row, and the detail page if it shows the transfer.
    void showChange(const QString &id);
    void showRow(ZAVTestElement *row, const ZAVTestTransferValues &values);
    // The service left: none of the transfers it held exists any more.
    void releaseAll();
    // A request of the service's, once its turn in `requests` has come, goes to its row.
    void answerRequest(const QString &id, int request);

    ZAVTestElementDetail *detail;
    Zav::Client *client;
    QHash<QString, Zav::Transfer *> transfers;
    QGraphicsLinearLayout *listLayout;
    std::unique_ptr<ZAVTestValueStore> values;
    // The first listed row of each id: a lookup per change must not walk a long list.
    QHash<QString, ZAVTestElement *> rowIndex;
    // Rows of transfers the service does not hold, with their values, until registered (again).
    QHash<ZAVTestElement *, ZAVTestTransferValues> unheld;
    ZAVTestRequestQueue requests {[this](const QString &id, int request) { answerRequest(id, request); }};
    MLabel *serviceNotice;
    MLabel *emptyNotice;
};

#endif
