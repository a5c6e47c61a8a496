// SPDX-License-Identifier: MIT
#ifndef ZAVTESTVALUESTORE_H
#define ZAVTESTVALUESTORE_H

#include "ZavVocabulary.h"

#include <QHash>
#include <QString>

namespace Zav {
class Transfer;
}

// Everything the app knows of one transfer: each value it sent, exactly as sent, and the state
// the transfer has at the service as far as the app's own calls and answers made it. Rows and
// the detail page show these values and keep none of their own.
struct ZAVTestTransferValues
{
    // The service's states.
    using State = Zav::TransferState;

    quint64 size = 0; // whole bytes, exact
    double progress = 0;
    qint32 speed = 0;
    qint32 estimate = 0;
    bool autoProgress = false;
    bool canPause = false;
    QString status; // the status list's entry last picked (or given at Add)
    QString name;
    QString message;

    QString reason; // of the waiting state
    State state = State::Pending;
    int failure = 0; // of a failure: 0 without repair, 1 or 2 the list's recovery entries
    QString icon; // the entries last picked from the lists, empty before
    QString thumbnail;
    QString cancelText;
    QString title; // the texts last entered
    QString result;
    QString answer; // the row's line about the last answer ("Transfer Paused"), shown over the message
    bool inCommit = false;
    QString type; // as given at Add
    QString account;
    QString image;
    // Why the service does not hold the transfer (being registered, refused, or the service
    // left the bus and the instance in its place has never heard of it); empty while it does.
    QString absence;
    bool registering = false;
    bool registeredOnce = false;
    // The handle the service's answer gave; kept after a cancel, when nothing more is sent.
    Zav::Transfer *handle = nullptr;
    // What the service refused last, in words, until the tester's next change.
    QString refusal;

    // What the row's second line says: why the service does not hold it or refused a change, else
    // the last answer, else the message, else why it waits.
    QString rowLine() const;
    // The status list's entry for the state, empty for a state the list has none for.
    QString statusEntry() const;
    // The state in the row's words.
    QString stateText() const;
    // The service's word for the state (as zavctl shows it).
};

// Records by transfer id. A setter for an id without record does nothing (and creates none);
// a getter for one gives 0, false or an empty text.
class ZAVTestValueStore
{
public:
    void insert(const QString &id, const ZAVTestTransferValues &values) { records.insert(id, values); }
    bool contains(const QString &id) const { return records.contains(id); }
    void remove(const QString &id) { records.remove(id); }
    int count() const { return records.size(); }
    // The whole record; a default one for an unknown id.
    ZAVTestTransferValues values(const QString &id) const { return records.value(id); }
    // Changes the record of `id` through `change(ZAVTestTransferValues &)`; false without one.
    template <typename F> bool update(const QString &id, F change)
    {
        auto it = records.find(id);
        if (it == records.end())
            return false;
        change(*it);
        return true;
    }

    void setSize(const QString &id, quint64 size) { set(id, &ZAVTestTransferValues::size, size); }
    quint64 size(const QString &id) const { return get(id, &ZAVTestTransferValues::size); }
    void setProgress(const QString &id, double progress) { set(id, &ZAVTestTransferValues::progress, progress); }
    double progress(const QString &id) const { return get(id, &ZAVTestTransferValues::progress); }
    void setSpeed(const QString &id, qint32 speed) { set(id, &ZAVTestTransferValues::speed, speed); }
    qint32 speed(const QString &id) const { return get(id, &ZAVTestTransferValues::speed); }
    void setEstimate(const QString &id, qint32 seconds) { set(id, &ZAVTestTransferValues::estimate, seconds); }
    qint32 estimate(const QString &id) const { return get(id, &ZAVTestTransferValues::estimate); }
    void setAutoProgress(const QString &id, bool on) { set(id, &ZAVTestTransferValues::autoProgress, on); }
    bool autoProgress(const QString &id) const { return get(id, &ZAVTestTransferValues::autoProgress); }
    void setCanPause(const QString &id, bool on) { set(id, &ZAVTestTransferValues::canPause, on); }
    bool canPause(const QString &id) const { return get(id, &ZAVTestTransferValues::canPause); }
    void setStatus(const QString &id, const QString &status) { set(id, &ZAVTestTransferValues::status, status); }
    QString status(const QString &id) const { return get(id, &ZAVTestTransferValues::status); }
    void setName(const QString &id, const QString &name) { set(id, &ZAVTestTransferValues::name, name); }
    QString name(const QString &id) const { return get(id, &ZAVTestTransferValues::name); }
    void setMessage(const QString &id, const QString &message) { set(id, &ZAVTestTransferValues::message, message); }
    QString message(const QString &id) const { return get(id, &ZAVTestTransferValues::message); }

private:
    template <typename T> void set(const QString &id, T ZAVTestTransferValues::*field, const T &value)
    {
        auto it = records.find(id);
        if (it != records.end())
            (*it).*field = value;
    }
    template <typename T> T get(const QString &id, T ZAVTestTransferValues::*field) const
    {
        auto it = records.constFind(id);
        return it != records.constEnd() ? (*it).*field : T();
    }

    QHash<QString, ZAVTestTransferValues> records;
};

#endif
