// SPDX-License-Identifier: MIT
#ifndef ZAVTESTVALUESTORE_H
#define ZAVTESTVALUESTORE_H

#include <QHash>
#include <QString>

// The last values sent for one transfer, from which the detail page is filled.
struct ZAVTestTransferValues
{
    double size = 0;
    double progress = 0;
    qint32 speed = 0;
    qint32 estimate = 0;
    bool autoProgress = false;
    bool canPause = false;
    QString status;
    QString name;
    QString message;
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

    void setSize(const QString &id, double size) { set(id, &ZAVTestTransferValues::size, size); }
    double size(const QString &id) const { return get(id, &ZAVTestTransferValues::size); }
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
