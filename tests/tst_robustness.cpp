// SPDX-License-Identifier: MIT
#include "ZavBusNames.h"
#include "AppDriver.h"
#include "ZAVTestElement.h"
#include "ZAVTestElementDetail.h"
#include "ZAVTestShowTransferPage.h"

#include <MApplication.h>
#include <MButton.h>
#include <MLabel.h>
#include <MTextEdit.h>

#include <zav/ZavClient.h>

#include <QDBusConnection>
#include <QDBusMessage>
#include <QRandomGenerator>
#include <QTest>

namespace {
void sendRequest(const QString &id, const QString &action)
{
    QDBusMessage call = QDBusMessage::createMethodCall(
        QLatin1String(ZavBus::ServiceName), QLatin1String(ZavBus::ObjectPath), QLatin1String(ZavBus::ControlInterface),
        QLatin1String(ZavBus::Control::sendRequest));
    call << id << action;
    QDBusConnection::sessionBus().send(call);
}
} // namespace

// What no other test reaches: request floods during an answer, a service that dies and comes
// back again and again.
class tst_Robustness : public AppFixture
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { QVERIFY(startApp()); }

    void requestFloodWhileAnAnswerBoxIsOpen()
    {
        ZAVTestShowTransferPage page;
        page.appear();
        for (int i = 0; i < 3; ++i)
            page.addTransfer(QStringLiteral("Download"), QStringLiteral("Transfer %1").arg(i + 2), QStringLiteral("m"),
                             QString(), QStringLiteral("Active"), QString(), QStringLiteral("2"), QStringLiteral("0"),
                             false);
        QVERIFY(registrationsAnswered(&page));
        const QList<ZAVTestElement *> rows = page.rows();
        QStringList ids;
        for (ZAVTestElement *row : rows)
            ids << row->transferId();
        int delivered = 0;
        Zav::Client *client = page.serviceClient();
        for (auto signal : {&Zav::Client::cancelTransfer, &Zav::Client::startTransfer, &Zav::Client::pauseTransfer,
                            &Zav::Client::repairErrorTransfer})
            connect(client, signal, this, [&delivered] { ++delivered; });

        const QStringList words {QStringLiteral("cancel"), QStringLiteral("start"), QStringLiteral("pause"),
                                 QStringLiteral("repair")};
        QHash<QString, QString> last;
        QRandomGenerator random(42);
        DialogAnswerer answerer(&m_window);
        // While the box of the first row is open, thousands of requests arrive for all three.
        answerer.whileOpen = [&] {
            // A second press on Info (as a script or a screen reader sends it) waits for the box.
            rows.at(0)->infoButton()->click();
            for (int i = 0; i < 3000; ++i) {
                const QString &id = ids.at(random.bounded(3));
                const QString &word = words.at(random.bounded(words.size()));
                sendRequest(id, word);
                last[id] = word;
            }
            // The last word for the first row, and a wait until every request is in.
            sendRequest(ids.at(0), QStringLiteral("pause"));
            last[ids.at(0)] = QStringLiteral("pause");
            for (int i = 0; i < 20000 && delivered < 3002; ++i)
                QTest::qWait(1);
        };
        sendRequest(ids.at(0), QStringLiteral("cancel"));
        QTRY_VERIFY(rows.at(0)->infoButton()->isVisible());
        answerer.answerNext(M::OkButton);
        clickOn(&m_window, rows.at(0)->infoButton());
        QTRY_VERIFY_WITH_TIMEOUT(answerer.answered(), 30000);
        answerer.whileOpen = nullptr;
        // The request the box showed is answered; the last one that came meanwhile ("pause")
        // waits for a box of its own (before, OK on "cancel" paused the transfer).
        QTRY_COMPARE(rows.at(0)->messageLabel()->text(), QStringLiteral("Transfer Cancelled"));
        QVERIFY(rows.at(0)->infoButton()->isVisible());
        answerer.answerNext(M::DiscardButton);
        clickOn(&m_window, rows.at(0)->infoButton());
        QTRY_VERIFY(answerer.answered());
        QCOMPARE(answerer.lastText(), QStringLiteral("ZAV requested Pause"));
        // The others wait for their answers, with the last request of each.
        const QHash<QString, QString> marks {{QStringLiteral("cancel"), QStringLiteral("markCancelled()")},
                                             {QStringLiteral("start"), QStringLiteral("markRestarted()")},
                                             {QStringLiteral("pause"), QStringLiteral("markPaused()")},
                                             {QStringLiteral("repair"), QStringLiteral("markCancelled()")}};
        for (int i = 1; i < 3; ++i) {
            QVERIFY(rows.at(i)->infoButton()->isVisible());
            answerer.answerNext(M::OkButton);
            clickOn(&m_window, rows.at(i)->infoButton());
            QTRY_VERIFY(answerer.answered());
            QVERIFY(m_bus.sync());
            QCOMPARE(m_bus.callsFor(ids.at(i)).filter(QStringLiteral("mark")).constLast(),
                     marks.value(last.value(ids.at(i))));
            const bool gone = last.value(ids.at(i)) == QLatin1String("cancel")
                || last.value(ids.at(i)) == QLatin1String("repair");
            QCOMPARE(page.transferHandle(ids.at(i)) != nullptr, !gone);
        }
        // The first row: the cancel it showed, accepted; the pause that waited, declined.
        QVERIFY(m_bus.sync());
        const QStringList first = m_bus.callsFor(ids.at(0)).filter(QStringLiteral("mark"));
        QCOMPARE(first.value(0), QStringLiteral("markCancelled()"));
        QVERIFY2(!first.contains(QStringLiteral("markPaused()")), qPrintable(first.join(QLatin1Char(' '))));
    }

    void aBurstOfRequestsIsAnsweredFromTheEventLoop()
    {
        ZAVTestShowTransferPage page;
        page.appear();
        for (int i = 0; i < 3; ++i)
            page.addTransfer(QStringLiteral("Sync"), QStringLiteral("Transfer %1").arg(i + 2), QStringLiteral("m"),
                             QString(), QStringLiteral("Active"), QString(), QStringLiteral("2"), QStringLiteral("0"),
                             false);
        QVERIFY(registrationsAnswered(&page));
        const QList<ZAVTestElement *> rows = page.rows();
        LogCapture log;
        // As a flood arrives in one delivery: before, each request was put on its row there and
        // then, and 100,000 of them stopped the screen for seconds.
        for (int i = 0; i < 30000; ++i) {
            Zav::Transfer *transfer = page.transferHandle(rows.at(i % 3)->transferId());
            QVERIFY(QMetaObject::invokeMethod(&page, i < 29997 ? "cancelTransfer" : "pauseTransfer",
                                              Q_ARG(Zav::Transfer *, transfer)));
        }
        QCOMPARE(log.count(QStringLiteral("ZAVTestElement::setResponse")), 0);
        // One request per transfer waited, the newest: each row has it.
        QTRY_COMPARE(log.count(QStringLiteral("ZAVTestElement::setResponse")), 3);
        QCOMPARE(log.count(QStringLiteral("ZAVTestElement::setResponse \"pause\"")), 3);

        // Requests for many rows are put on them a few milliseconds a turn, not in one.
        for (int i = 0; i < 400; ++i)
            page.addTransfer(QStringLiteral("Sync"), QStringLiteral("Many %1").arg(i), QStringLiteral("m"), QString(),
                             QStringLiteral("Active"), QString(), QStringLiteral("2"), QStringLiteral("0"), false);
        QVERIFY(registrationsAnswered(&page));
        const QList<ZAVTestElement *> many = page.rows();
        LogCapture burst;
        for (ZAVTestElement *row : many)
            QVERIFY(QMetaObject::invokeMethod(&page, "cancelTransfer",
                                              Q_ARG(Zav::Transfer *, page.transferHandle(row->transferId()))));
        QCoreApplication::processEvents(); // one turn
        const int first = burst.count(QStringLiteral("ZAVTestElement::setResponse"));
        QVERIFY(first < many.size());
        QTRY_COMPARE(burst.count(QStringLiteral("ZAVTestElement::setResponse")), many.size());
    }

    void serviceKilledAndRestartedTenTimes()
    {
        ZAVTestShowTransferPage page;
        page.appear();
        page.addTransfer(QStringLiteral("Sync"), QStringLiteral("Transfer 2"), QStringLiteral("m"), QString(),
                         QStringLiteral("Active"), QString(), QStringLiteral("2"), QStringLiteral("0"), false);
        QVERIFY(registrationsAnswered(&page));
        ZAVTestElement *first = page.rows().constFirst();
        QVERIFY(QMetaObject::invokeMethod(&page, "transferSpeed", Q_ARG(QString, first->transferId()), Q_ARG(int, 77)));
        QVERIFY(QMetaObject::invokeMethod(&page, "transferTitleChanged", Q_ARG(QString, first->transferId()),
                                          Q_ARG(QString, QStringLiteral("kept"))));
        for (const char *slot : {"transferIcon", "transferThumbnail"})
            QVERIFY(QMetaObject::invokeMethod(&page, slot, Q_ARG(QString, first->transferId()),
                                              Q_ARG(QString, QStringLiteral("sky"))));
        QVERIFY(m_bus.sync());
        const QJsonObject held = m_bus.show(first->transferId());
        ZAVTestElementDetail *detail = page.detailPage();
        detail->init(QString(), QString(), 0, 0, QString(), 0, 0);
        detail->appear();
        for (int round = 0; round < 10; ++round) {
            m_bus.killService();
            // The tester keeps editing the transfers of the vanished service.
            for (ZAVTestElement *row : page.rows()) {
                detail->setTransferId(row->transferId());
                detail->sizeField()->setText(QString::number(round));
                emit detail->sizeField()->returnPressed();
            }
            QTRY_VERIFY(!page.serviceClient()->isServiceAvailable());
            QVERIFY(m_bus.startService());
            QTRY_VERIFY(page.serviceClient()->isServiceAvailable());
            const int rows = page.rows().size();
            page.addTransfer(QStringLiteral("Sync"), QStringLiteral("Transfer 3"), QStringLiteral("m"), QString(),
                             QStringLiteral("Active"), QString(), QStringLiteral("2"), QStringLiteral("0"), false);
            QVERIFY(registrationsAnswered(&page));
            QCOMPARE(page.rows().size(), rows + 1);
            // The rows of the transfers that went with the service say so and lose their ids.
            QCOMPARE(page.unheldCount(), round + 1);
            QCOMPARE(first->stateLabel()->text(), QStringLiteral("Not held"));
            QVERIFY(first->transferId().isEmpty());
            QCOMPARE(first->infoButton()->text(), QStringLiteral("Register again"));
        }
        // Registered again, a row's transfer is what the app had sent: its state and values.
        page.appear();
        clickOn(&m_window, first->infoButton());
        QTRY_VERIFY(!first->transferId().isEmpty());
        QVERIFY(m_bus.sync());
        const QJsonObject again = m_bus.show(first->transferId());
        QCOMPARE(again.value(QStringLiteral("state")).toString(), QStringLiteral("active"));
        QCOMPARE(again.value(QStringLiteral("size")).toInteger(), 0); // the size last entered for it
        QCOMPARE(again.value(QStringLiteral("name")).toString(), QStringLiteral("Transfer 2"));
        QCOMPARE(again.value(QStringLiteral("speed")).toInt(), 77);
        QCOMPARE(again.value(QStringLiteral("title")).toString(), QStringLiteral("kept"));
        for (const char *member :
             {"image", "thumbnailFile", "thumbnailMimeType", "serviceIconType", "account", "count"})
            QCOMPARE(again.value(QLatin1String(member)), held.value(QLatin1String(member)));
        QCOMPARE(first->stateLabel()->text(), QStringLiteral("Active"));
        // Changes to a new instance's transfer arrive; the old ones' never reach it.
        const QString newest = page.rows().constLast()->transferId();
        detail->setTransferId(newest);
        detail->sizeField()->setText(QStringLiteral("4096"));
        emit detail->sizeField()->returnPressed();
        QVERIFY(m_bus.sync());
        QCOMPARE(m_bus.show(newest).value(QStringLiteral("size")).toInteger(), 4096);
    }

private:
};

ZAV_TEST_MAIN(tst_Robustness)
#include "tst_robustness.moc"
