// SPDX-License-Identifier: MIT
#include "ZavBusNames.h"
#include "TestBus.h"

#include <zav/ZavClient.h>

#include <QDBusConnection>
#include <QDBusContext>
#include <QDBusMessage>
#include <QElapsedTimer>
#include <QMutex>
#include <QScopeGuard>
#include <QThread>
#include <QSignalSpy>
#include <QTest>

using Zav::Client;
using Zav::Transfer;

// Catches request signals on a connection of its own, to prove they are not sent there.
class Eavesdropper : public QObject
{
    Q_OBJECT
public:
    int heard = 0;
public Q_SLOTS:
    void onRequest(const QString &, const QString &) { ++heard; }
};

// A service of its own thread that answers a registration only when told to.
class LateRegistrar : public QObject, protected QDBusContext
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "com.kelvo.zav.Transfers")
public:
    // Answered at once with this id, when set.
    void answerWith(const QString &id)
    {
        const QMutexLocker lock(&m_mutex);
        m_answer = id;
    }
    QDBusMessage waiting() const
    {
        const QMutexLocker lock(&m_mutex);
        return m_waiting;
    }
public Q_SLOTS:
    QString ping() { return QStringLiteral("late"); }
    QString registerTransfer(const QString &, int, const QString &)
    {
        const QMutexLocker lock(&m_mutex);
        if (!m_answer.isEmpty())
            return m_answer;
        setDelayedReply(true);
        m_waiting = message();
        return QString();
    }

private:
    mutable QMutex m_mutex;
    QDBusMessage m_waiting;
    QString m_answer;
};

class tst_Client : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { QVERIFY(m_bus.start()); }
    void init() { QVERIFY(m_bus.startService()); }
    void cleanup() { m_bus.stopService(); }

    void initFailsWithoutServiceWithinItsTimeout()
    {
        m_bus.stopService();
        Client client;
        QElapsedTimer clock;
        clock.start();
        QVERIFY(!client.init());
        QVERIFY(clock.elapsed() < Client::CallTimeout + 1000);
        QVERIFY(!client.registerTransfer(QStringLiteral("x"), Client::Upload));
    }

    void everyOperationArrivesInOrder()
    {
        Client client;
        QVERIFY(client.init());
        Transfer *t = client.registerTransfer(QStringLiteral("Transfer 1"), Client::Sync,
                                              QStringLiteral("com.kelvo.zavtestdialog"));
        QVERIFY(t);
        const QString id = t->id();
        QCOMPARE(t->id(), id);
        t->setAccount(QStringLiteral("youtube"));
        t->setCount(100);
        t->setSize(9772370000ULL);
        t->setProgress(0.5f);
        t->setSpeed(42);
        t->setMessage(QStringLiteral("msg"));
        t->setEstimate(141254);
        t->setCanPause(true);
        t->setName(QStringLiteral("renamed"));
        t->setServiceIconType(2);
        t->setThumbnailForFile(QStringLiteral("/home/x/MyDocs/.images/sky.jpg"), QStringLiteral("image/jpeg"));
        t->setCancelButtonText(QStringLiteral("Cancel 3"));
        t->setTitle(QStringLiteral("Title"));
        t->startCommit();
        t->setPending(QStringLiteral("Pending"));
        t->setActive(0.25f);
        t->endCommit();
        t->markPaused();
        t->markRestarted();
        t->markFailure(QStringLiteral("h"), QStringLiteral("d"));
        t->markRepairableFailure(QStringLiteral("h"), QStringLiteral("d"), QStringLiteral("Retry now"));
        t->markCancelFailed(QStringLiteral("File is already uploaded"));
        t->setImageFromFilePath(QStringLiteral("/var/tmp/sunflower.jpg"));
        t->markCompleted(true, QString(), QStringLiteral("http://result"));
        t->markCancelled();
        QVERIFY(m_bus.sync());
        const QStringList expected {"registerTransfer(\"Transfer 1\", 2, \"com.kelvo.zavtestdialog\")",
                                    "setAccount(\"youtube\")",
                                    "setCount(100)",
                                    "setSize(9772370000)",
                                    "setProgress(0.5)",
                                    "setSpeed(42)",
                                    "setMessage(\"msg\")",
                                    "setEstimate(141254)",
                                    "setCanPause(true)",
                                    "setName(\"renamed\")",
                                    "setServiceIconType(2)",
                                    "setThumbnailForFile(\"/home/x/MyDocs/.images/sky.jpg\", \"image/jpeg\")",
                                    "setCancelButtonText(\"Cancel 3\")",
                                    "setTitle(\"Title\")",
                                    "startCommit()",
                                    "setPending(\"Pending\")",
                                    "setActive(0.25)",
                                    "endCommit()",
                                    "markPaused()",
                                    "markRestarted()",
                                    "markFailure(\"h\", \"d\")",
                                    "markRepairableFailure(\"h\", \"d\", \"Retry now\")",
                                    "markCancelFailed(\"File is already uploaded\")",
                                    "setImageFromFilePath(\"/var/tmp/sunflower.jpg\")",
                                    "markCompleted(true, \"\", \"http://result\")",
                                    "markCancelled()"};
        QCOMPARE(m_bus.callsFor(id), expected);
        const QJsonObject shown = m_bus.show(id);
        QCOMPARE(shown.value(QStringLiteral("state")).toString(), QStringLiteral("cancelled"));
        QCOMPARE(shown.value(QStringLiteral("resultUri")).toString(), QStringLiteral("http://result"));
        QCOMPARE(shown.value(QStringLiteral("size")).toInteger(), 9772370000LL);
        QCOMPARE(shown.value(QStringLiteral("title")).toString(), QStringLiteral("Title"));
    }

    void requestsReachTheOwnerAsTheRightSignal()
    {
        Client client;
        QVERIFY(client.init());
        Transfer *first = client.registerTransfer(QStringLiteral("one"), Client::Upload);
        Transfer *second = client.registerTransfer(QStringLiteral("two"), Client::Upload);
        QVERIFY(first && second && first->id() != second->id());
        // Another client object of the same program must not take requests for transfers it did
        // not register.
        Client other;
        QVERIFY(other.init());
        QSignalSpy otherCancel(&other, &Client::cancelTransfer);
        // Another connection on the bus listens for requests too.
        QDBusConnection stranger = QDBusConnection::connectToBus(m_bus.address(), QStringLiteral("stranger"));
        Eavesdropper eavesdropper;
        stranger.connect(QLatin1String(ZavBus::ServiceName), QLatin1String(ZavBus::ObjectPath),
                         QLatin1String(ZavBus::TransfersInterface), QLatin1String(ZavBus::Transfers::request),
                         &eavesdropper, SLOT(onRequest(QString, QString)));

        // Which request becomes which signal is checked through the app's answers; here, who hears.
        QSignalSpy cancel(&client, &Client::cancelTransfer);
        QCOMPARE(m_bus.zavctl({QStringLiteral("request"), first->id(), QStringLiteral("pause")}), 0);
        QCOMPARE(m_bus.zavctl({QStringLiteral("request"), second->id(), QStringLiteral("cancel")}), 0);
        QTRY_COMPARE(cancel.size(), 1);
        QCOMPARE(cancel.at(0).at(0).value<Transfer *>(), second);
        QCOMPARE(otherCancel.size(), 0);
        // The service sent whatever it sent for the requests before it answers the stranger's own
        // call: once that answer is in, a broadcast would have reached the stranger too.
        const QDBusMessage ping = QDBusMessage::createMethodCall(
            QLatin1String(ZavBus::ServiceName), QLatin1String(ZavBus::ObjectPath),
            QLatin1String(ZavBus::TransfersInterface), QLatin1String(ZavBus::Transfers::ping));
        QCOMPARE(stranger.call(ping, QDBus::Block, 5000).type(), QDBusMessage::ReplyMessage);
        QCoreApplication::processEvents();
        QCOMPARE(eavesdropper.heard, 0);
        QDBusConnection::disconnectFromBus(QStringLiteral("stranger"));
        QCOMPARE(m_bus.zavctl({QStringLiteral("request"), QStringLiteral("999"), QStringLiteral("cancel")}), 1);
    }

    void refusalsAreSignalledAndAcceptedChangesRemembered()
    {
        Client client;
        QVERIFY(client.init());
        Transfer *t = client.registerTransfer(QStringLiteral("t"), Client::Sync);
        QVERIFY(t);
        QSignalSpy refused(t, &Transfer::changeRefused);
        const QStringList name {QStringLiteral("setName")};
        t->setName(QStringLiteral("first"));
        t->setName(QString(5000, QLatin1Char('n')));
        t->setProgress(2.0f);
        QCOMPARE(t->changesInFlight(name), 2);
        QTRY_COMPARE(refused.size(), 2);
        QCOMPARE(t->changesInFlight(name), 0);
        QCOMPARE(refused.at(0).at(0).toString(), QStringLiteral("setName"));
        QCOMPARE(refused.at(0).at(1).toString(), QStringLiteral("org.freedesktop.DBus.Error.InvalidArgs"));
        QCOMPARE(refused.at(1).at(0).toString(), QStringLiteral("setProgress"));
        QVariantList arguments;
        QCOMPARE(t->lastAccepted(name, &arguments), QStringLiteral("setName"));
        QCOMPARE(arguments, QVariantList {QStringLiteral("first")});
        // Of several calls, the one taken last.
        t->markPaused();
        t->setPending(QStringLiteral("why"));
        QTRY_COMPARE(t->changesInFlight({QStringLiteral("markPaused"), QStringLiteral("setPending")}), 0);
        QCOMPARE(t->lastAccepted({QStringLiteral("setPending"), QStringLiteral("markPaused")}, &arguments),
                 QStringLiteral("setPending"));
        QCOMPARE(arguments, QVariantList {QStringLiteral("why")});

        // A flood awaits a bounded number of answers: past the bus's own limit of pending
        // replies (128 on this bus), it would refuse the calls unsent.
        for (int i = 0; i < 1000; ++i)
            t->setProgress(float(i % 100) / 100.0f);
        QVERIFY(t->changesInFlight({QStringLiteral("setProgress")}) <= 64);
        QVERIFY(m_bus.sync());
        QTRY_COMPARE(t->changesInFlight({QStringLiteral("setProgress")}), 0);
        QCOMPARE(refused.size(), 2);
        // All arrived, and the refused one above is journalled too.
        QCOMPARE(m_bus.callsFor(t->id()).filter(QStringLiteral("setProgress(")).size(), 1001);
    }

    void anAnswerFromAnInstanceThatLeftGivesNoTransfer()
    {
        m_bus.stopService();
        QThread thread;
        auto *registrar = new LateRegistrar;
        registrar->moveToThread(&thread);
        connect(&thread, &QThread::finished, registrar, &QObject::deleteLater);
        thread.start();
        const auto stop = qScopeGuard([&] {
            QDBusConnection::disconnectFromBus(QStringLiteral("fake"));
            thread.quit();
            thread.wait();
        });
        QDBusConnection fake = QDBusConnection::connectToBus(m_bus.address(), QStringLiteral("fake"));
        QVERIFY(fake.registerObject(QLatin1String(ZavBus::ObjectPath), registrar, QDBusConnection::ExportAllSlots));
        QVERIFY(fake.registerService(QLatin1String(ZavBus::ServiceName)));
        Client client;
        QVERIFY(client.init());
        bool answered = false;
        Transfer *handed = nullptr;
        client.registerTransfer(QStringLiteral("x"), Client::Sync, QString(), this,
                                [&](Transfer *transfer, const QString &) {
                                    answered = true;
                                    handed = transfer;
                                });
        QTRY_VERIFY(registrar->waiting().type() == QDBusMessage::MethodCallMessage);
        // The instance gives up the name, then answers: nothing it registered can be changed.
        // (Before it does, another registration is answered with a 4 MiB id: refused, where
        // the app stalled for seconds logging and showing it.)
        registrar->answerWith(QString(4 << 20, QLatin1Char('x')));
        QVERIFY(!client.registerTransfer(QStringLiteral("huge"), Client::Sync));
        QString why;
        client.registerTransfer(
            QStringLiteral("huge"), Client::Sync, QString(), this,
            [&](Transfer *transfer, const QString &fault) { why = transfer ? QStringLiteral("taken") : fault; });
        QTRY_COMPARE(why, QStringLiteral("the service answered with an id of 4194304 characters (at most 256)"));
        QVERIFY(fake.unregisterService(QLatin1String(ZavBus::ServiceName)));
        QTRY_VERIFY(!client.isServiceAvailable());
        QVERIFY(fake.send(registrar->waiting().createReply(QStringLiteral("7"))));
        QTRY_VERIFY(answered);
        QCOMPARE(handed, nullptr);
    }

private:
    TestBus m_bus;
};

QTEST_GUILESS_MAIN(tst_Client)
#include "tst_client.moc"
