// SPDX-License-Identifier: MIT
#include "AppDriver.h"
#include "ZAVTestElement.h"
#include "ZAVTestElementDetail.h"
#include "ZAVTestNumbers.h"
#include "ZAVTestPictures.h"
#include "ZAVTestShowTransferPage.h"
#include "ZavContract.h"
#include "ZavVocabulary.h"

#include <QJsonArray>

#include <MApplication.h>
#include <zav/ZavClient.h>
#include <MButton.h>
#include <MComboBox.h>
#include <MLabel.h>
#include <MTextEdit.h>

#include <QDir>
#include <QHash>
#include <QImage>
#include <QTemporaryDir>
#include <QPointer>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>

// The whole road of a change, driven as a tester would: the detail page, the show page's
// handlers, the client library, the bus and the real service; and back for requests.
class tst_Handlers : public AppFixture
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(startApp());
        m_show = new ZAVTestShowTransferPage;
        m_show->appear();
        m_detail = m_show->detailPage();
        m_answerer = new DialogAnswerer(&m_window, this);
    }
    void cleanupTestCase() { delete m_show; }

    void init()
    {
        m_show->addTransfer(QStringLiteral("Download"), QStringLiteral("Transfer 2"),
                            QStringLiteral("Transfer Message 3"), QString(), QStringLiteral("Inactive"), QString(),
                            QStringLiteral("10"), QStringLiteral("0"), false);
        QVERIFY(registrationsAnswered(m_show));
        m_row = m_show->rows().constLast();
        m_id = m_row->transferId();
        QVERIFY(m_bus.sync());
        m_before = m_bus.journalFor(m_id).size();
    }
    void cleanup()
    {
        if (m_window.currentPage() == m_detail)
            clickOn(&m_window, m_detail->closeButton());
    }

    void everyPropertyReachesServiceRowAndStore()
    {
        openRow();
        typeAndReturn(m_detail->sizeField(), QStringLiteral("2048"));
        dragSlider(m_detail->progressSlider(), 101);
        dragSlider(m_detail->speedSlider(), 201);
        dragSlider(m_detail->estimateSlider(), 61);
        pickOption(m_detail->messageList(), QStringLiteral("Transfer Message 6"));
        pickOption(m_detail->nameList(), QStringLiteral("Transfer 7"));
        clickOn(&m_window, m_detail->canPauseButton());
        typeAndReturn(m_detail->titleField(), QStringLiteral("My title"));
        pickOption(m_detail->cancelTextList(), QStringLiteral("Cancel 5"));
        pickOption(m_detail->statusList(), QStringLiteral("Active"));
        pickOption(m_detail->statusList(), QStringLiteral("Inactive"));
        QVERIFY(m_bus.sync());
        QCOMPARE(newCalls(),
                 (QStringList {"setSize(2048)", "setProgress(0.10000000149)", "setSpeed(100)", "setEstimate(10)",
                               "setMessage(\"Transfer Message 6\")", "setName(\"Transfer 7\")", "setCanPause(true)",
                               "setTitle(\"My title\")", "setCancelButtonText(\"Cancel 5\")",
                               "setActive(0.10000000149)", "setPending(\"Transfer Message 6\")"}));
        QCOMPARE(m_row->sizeLabel()->text(), QStringLiteral("2048 Bytes"));
        QCOMPARE(m_row->estimateLabel()->text(), QStringLiteral("10 Sec"));
        QCOMPARE(m_row->messageLabel()->text(), QStringLiteral("Transfer Message 6"));
        QCOMPARE(m_row->nameLabel()->text(), QStringLiteral("Transfer 7"));
        // The pending reason goes to the service only; the row and store read "Inactive".
        QCOMPARE(m_row->stateLabel()->text(), QStringLiteral("Inactive"));
        const ZAVTestTransferValues stored = m_show->valueStore().values(m_id);
        QCOMPARE(stored.size, quint64(2048));
        QCOMPARE(stored.progress, double(0.1f));
        QCOMPARE(stored.speed, 100);
        QCOMPARE(stored.estimate, 10);
        QCOMPARE(stored.message, QStringLiteral("Transfer Message 6"));
        QCOMPARE(stored.name, QStringLiteral("Transfer 7"));
        QVERIFY(stored.canPause);
        QCOMPARE(stored.status, QStringLiteral("Inactive"));
        const QJsonObject shown = m_bus.show(m_id);
        QCOMPARE(shown.value(QStringLiteral("state")).toString(), QStringLiteral("pending"));
        QCOMPARE(shown.value(QStringLiteral("reason")).toString(), QStringLiteral("Transfer Message 6"));
        QCOMPARE(shown.value(QStringLiteral("size")).toInteger(), 2048);
        clickOn(&m_window, m_detail->closeButton());
        QCOMPARE(screenDisagrees(), QString());
    }

    void typedValuesTheServiceRefusesAreNotSent()
    {
        openRow();
        for (const char *typed : {"150", "-1", "100.001"}) {
            typeAndReturn(m_detail->progressField(), QString::fromLatin1(typed));
            QVERIFY(m_detail->noticeLabel()->text().contains(QLatin1String("Not sent")));
        }
        // Values the interface cannot carry are refused, not changed on the way (before: -1 sent
        // 0, 2^64 sent 2^64-1, "abc" sent 0, nan sent 0).
        for (const char *typed : {"-1", "18446744073709551616", "99999999999999999999", "12.5", "abc", ""}) {
            typeAndReturn(m_detail->sizeField(), QString::fromLatin1(typed));
            QVERIFY2(m_detail->noticeLabel()->text().startsWith(QLatin1String("Not sent")), typed);
        }
        for (const char *typed : {"nan", "inf", "-inf", "1e400"}) {
            typeAndReturn(m_detail->progressField(), QString::fromLatin1(typed));
            QVERIFY2(m_detail->noticeLabel()->text().startsWith(QLatin1String("Not sent")), typed);
        }
        typeAndReturn(m_detail->titleField(), QString(Zav::MaxTextLength + 1, QLatin1Char('t')));
        QVERIFY(m_detail->noticeLabel()->text().startsWith(QLatin1String("Not sent")));
        typeAndReturn(m_detail->progressField(), QStringLiteral("25"));
        QVERIFY(m_detail->noticeLabel()->text().isEmpty());
        // The slider follows what was typed.
        const int at25 = m_detail->progressSlider().slider()->value();
        typeAndReturn(m_detail->progressField(), QStringLiteral("50"));
        QVERIFY(m_detail->progressSlider().slider()->value() > at25);
        typeAndReturn(m_detail->progressField(), QStringLiteral("25"));
        QCOMPARE(m_detail->progressSlider().slider()->value(), at25);
        // Whole bytes travel exactly (before, through a double: ...993 arrived as ...992).
        for (const char *typed : {"9007199254740993", "18446744073709551615"}) {
            typeAndReturn(m_detail->sizeField(), QString::fromLatin1(typed));
            QVERIFY(m_bus.sync());
            QCOMPARE(
                m_bus.journalFor(m_id).constLast().value(QStringLiteral("args")).toArray().at(0).toVariant().toString(),
                QString::fromLatin1(typed));
        }
        // Beyond the slider's scale: the handle goes to the top, the label fits and rounds.
        typeAndReturn(m_detail->sizeField(), QStringLiteral("99999999999999"));
        QCOMPARE(m_detail->sizeSlider().slider()->value(), m_detail->sizeSlider().slider()->maximum());
        QCOMPARE(m_detail->sizeSlider().slider()->handleLabel(), QStringLiteral("100 TB"));
        clickOn(&m_window, m_detail->closeButton());
        QVERIFY(m_bus.sync());
        QCOMPARE(newCalls().size(), 6);
        QCOMPARE(m_bus.show(m_id).value(QStringLiteral("size")).toInteger(), 99999999999999);
        QCOMPARE(screenDisagrees(), QString());
    }

    void refusalsAreSaidAndTheScreenKeepsWhatTheServiceHolds()
    {
        // A service whose text budget for one program is nearly used by the registration.
        m_bus.stopService();
        QTRY_VERIFY(!m_show->isServiceAvailable());
        QVERIFY(m_bus.startService({QStringLiteral("--max-text-bytes-per-client"), QStringLiteral("150")}));
        QTRY_VERIFY(m_show->isServiceAvailable());
        init();
        openRow();
        pickOption(m_detail->nameList(), QStringLiteral("Transfer 7"));
        clickOn(&m_window, m_detail->progressSlider().autoButton());
        typeAndReturn(m_detail->titleField(), QString(120, QLatin1Char('x')));
        QTRY_VERIFY(m_detail->noticeLabel()->text().startsWith(QLatin1String("Title refused by the service")));
        // Undoing the refused title leaves Auto running.
        QVERIFY(m_detail->progressSlider().isAutoRunning());
        clickOn(&m_window, m_detail->progressSlider().autoButton());
        QVERIFY(m_detail->noticeLabel()->text().endsWith(QLatin1String("(LimitsExceeded)")));
        QVERIFY(m_row->toolTip().startsWith(QLatin1String("Title refused")));
        // Before, the field kept the refused title and the page said nothing.
        QCOMPARE(m_detail->titleField()->text(), QString());
        // The next change clears the note; a state change the service refuses is undone too.
        pickOption(m_detail->statusList(), QStringLiteral("Active"));
        QTRY_COMPARE(m_show->valueStore().values(m_id).refusal, QString());
        typeAndReturn(m_detail->resultField(), QString(200, QLatin1Char('r')));
        QTRY_VERIFY(!m_show->valueStore().values(m_id).refusal.isEmpty());
        // The state goes back once no other change of it is on its way (its answer decides).
        QTRY_COMPARE(m_show->valueStore().values(m_id).state, ZAVTestTransferValues::State::Active);
        QCOMPARE(m_detail->statusList().currentOption(), QStringLiteral("Active"));
        QCOMPARE(screenDisagrees(), QString());
        m_bus.stopService();
        QTRY_VERIFY(!m_show->isServiceAvailable());
        QVERIFY(m_bus.startService());
        QTRY_VERIFY(m_show->isServiceAvailable());
    }

    void changesMadeWhileTheServiceHangsAllReachIt()
    {
        // Before, 9 of about 150 changes made during a 3 s hang reached the service.
        openRow();
        ZAVTestSliderObject &speed = m_detail->speedSlider();
        m_bus.pauseService(true);
        for (int i = 0; i < 300; ++i)
            dragSlider(speed, 20 + i % 2);
        m_bus.pauseService(false);
        QVERIFY(m_bus.sync());
        QTRY_COMPARE(m_bus.callsFor(m_id).filter(QStringLiteral("setSpeed")).size(), 300);
        QCOMPARE(m_bus.show(m_id).value(QStringLiteral("speed")).toInt(), m_show->valueStore().values(m_id).speed);
    }

    void aChangeAHungServiceDoesNotAnswerIsSaidAndKept()
    {
        openRow();
        m_bus.pauseService(true);
        pickOption(m_detail->nameList(), QStringLiteral("Transfer 7"));
        QTRY_VERIFY_WITH_TIMEOUT(m_detail->noticeLabel()->text().contains(QLatin1String("did not answer")),
                                 Zav::Client::CallTimeout + 3000);
        m_bus.pauseService(false);
        // It may still take effect, so it is not undone: here it did.
        QCOMPARE(m_show->valueStore().name(m_id), QStringLiteral("Transfer 7"));
        QVERIFY(m_bus.sync());
        QCOMPARE(m_bus.show(m_id).value(QStringLiteral("name")).toString(), QStringLiteral("Transfer 7"));
    }

    void eachTransferOpensWithItsOwnValues()
    {
        const QString first = m_id;
        openRow();
        pickOption(m_detail->iconList(), QStringLiteral("video"));
        pickOption(m_detail->thumbnailList(), QStringLiteral("sky"));
        pickOption(m_detail->cancelTextList(), QStringLiteral("Cancel 3"));
        typeAndReturn(m_detail->titleField(), QStringLiteral("Title of the first"));
        clickOn(&m_window, m_detail->commitButton());
        clickOn(&m_window, m_detail->closeButton());
        init(); // a second transfer
        openRow();
        QCOMPARE(m_detail->iconList().comboBox()->currentIndex(), -1);
        QCOMPARE(m_detail->thumbnailList().comboBox()->currentIndex(), -1);
        QVERIFY(!m_detail->commitButton()->isChecked());
        QCOMPARE(screenDisagrees(), QString());
        m_row = m_show->findElement(first);
        m_id = first;
        openRow();
        QCOMPARE(m_detail->iconList().currentOption(), QStringLiteral("video"));
        QCOMPARE(m_detail->thumbnailList().currentOption(), QStringLiteral("sky"));
        QVERIFY(m_detail->commitButton()->isChecked());
        QVERIFY(m_detail->stateLabel()->text().contains(QLatin1String("commit open")));
        clickOn(&m_window, m_detail->commitButton());
        clickOn(&m_window, m_detail->closeButton());
        QCOMPARE(screenDisagrees(), QString());
    }

    void failuresAndCompletion()
    {
        openRow();
        pickOption(m_detail->statusList(), QStringLiteral("Error"));
        pickOption(m_detail->statusList(), QStringLiteral("Error 1 Recovery"));
        pickOption(m_detail->statusList(), QStringLiteral("Error 2 Recovery"));
        pickOption(m_detail->statusList(), QStringLiteral("NoMessageInactive")); // sends nothing
        QVERIFY(QMetaObject::invokeMethod(m_show, "transferFailed", Q_ARG(QString, m_id), Q_ARG(int, 3)));
        QVERIFY(QMetaObject::invokeMethod(m_show, "transferFailed", Q_ARG(QString, m_id), Q_ARG(int, -1)));
        typeAndReturn(m_detail->resultField(), QStringLiteral("http://result"));
        // The list follows (before, it still said "Error 2 Recovery").
        QCOMPARE(m_detail->statusList().currentOption(), QStringLiteral("Done"));
        pickOption(m_detail->statusList(), QStringLiteral("Done"));
        QCOMPARE(m_window.currentPage(), m_show);
        QVERIFY(m_bus.sync());
        const QString repairable = QStringLiteral("markRepairableFailure(\"Unable to Share files\", \"5 files could "
                                                  "not be sent to service\", \"Retry now\")");
        QCOMPARE(
            newCalls(),
            (QStringList {
                "markFailure(\"Unable to connect to service\", \"Service did not accept the user Name or Password\")",
                repairable, repairable, "markCompleted(true, \"\", \"http://result\")",
                "markCompleted(false, \"\", \"\")"}));
        // The registry keeps the handle; the row says what the service holds.
        QVERIFY(m_show->transferHandle(m_id));
        QCOMPARE(m_row->stateLabel()->text(), QStringLiteral("Done"));
    }

    void iconsThumbnailsAndCommit()
    {
        openRow();
        LogCapture log;
        pickOption(m_detail->iconList(), QStringLiteral("unknown"));
        pickOption(m_detail->iconList(), QStringLiteral("pdf"));
        QVERIFY(QMetaObject::invokeMethod(m_show, "transferIcon", Q_ARG(QString, m_id),
                                          Q_ARG(QString, QStringLiteral("PDF"))));
        QCOMPARE(
            log.lines().filter(QStringLiteral("iconId")),
            (QStringList {"iconId \"icon-m-content-file-unkown\"", "iconId \"icon-m-content-pdf\"", "iconId \"\""}));
        pickOption(m_detail->thumbnailList(), QStringLiteral("sky"));
        clickOn(&m_window, m_detail->commitButton());
        QCOMPARE(m_detail->commitButton()->text(), QStringLiteral("End Commit"));
        pickOption(m_detail->nameList(), QStringLiteral("Transfer 5"));
        typeAndReturn(m_detail->sizeField(), QStringLiteral("77"));
        QVERIFY(m_bus.sync());
        const qint64 updatesDuringCommit = m_bus.show(m_id).value(QStringLiteral("updates")).toInteger();
        QCOMPARE(m_bus.show(m_id).value(QStringLiteral("name")).toString(), QStringLiteral("Transfer 2"));
        clickOn(&m_window, m_detail->commitButton());
        QVERIFY(m_bus.sync());
        const QString thumbnail = QDir::homePath() + QStringLiteral("/MyDocs/.images/sky.jpg");
        QCOMPARE(newCalls(),
                 (QStringList {"setImageFromFilePath(\"/var/tmp/sunflower.jpg\")",
                               "setImageFromFilePath(\"/var/tmp/sunflower.jpg\")",
                               "setImageFromFilePath(\"/var/tmp/sunflower.jpg\")",
                               QStringLiteral("setThumbnailForFile(\"%1\", \"image/jpeg\")").arg(thumbnail),
                               "startCommit()", "setName(\"Transfer 5\")", "setSize(77)", "endCommit()"}));
        const QJsonObject shown = m_bus.show(m_id);
        QCOMPARE(shown.value(QStringLiteral("updates")).toInteger(), updatesDuringCommit + 1);
        QCOMPARE(shown.value(QStringLiteral("name")).toString(), QStringLiteral("Transfer 5"));

        // The pictures named are there as the app runs (before, on a desktop, none was), and a
        // file already in their place is left alone.
        QTemporaryDir home, varTmp;
        QFile mine(varTmp.filePath(QStringLiteral("sunflower.jpg")));
        QVERIFY(mine.open(QIODevice::WriteOnly) && mine.write("mine") == 4);
        mine.close();
        const QStringList written = ZAVTestPictures::ensure(home.path(), varTmp.path());
        QVERIFY(!written.contains(mine.fileName()));
        QVERIFY(mine.open(QIODevice::ReadOnly) && mine.readAll() == "mine");
        for (const QString &word : m_detail->thumbnailList().optionList())
            QVERIFY2(!QImage(home.filePath(QStringLiteral("MyDocs/.images/%1.jpg").arg(word))).isNull(),
                     qPrintable(word));
        QVERIFY(!QImage(QStringLiteral(":/pictures/sunflower.jpg")).isNull());
    }

    void cancelRequestAnsweredAndCleared()
    {
        QCOMPARE(m_bus.zavctl({QStringLiteral("request"), m_id, QStringLiteral("cancel")}), 0);
        QTRY_VERIFY(m_row->infoButton()->isVisible());
        m_answerer->answerNext(M::OkButton);
        clickOn(&m_window, m_row->infoButton());
        QTRY_COMPARE(m_row->infoButton()->text(), QStringLiteral("Clear"));
        QVERIFY(m_bus.sync());
        QCOMPARE(m_bus.show(m_id).value(QStringLiteral("state")).toString(), QStringLiteral("cancelled"));
        QCOMPARE(m_row->messageLabel()->text(), QStringLiteral("Transfer Cancelled"));
        QCOMPARE(screenDisagrees(), QString());
        QVERIFY(!m_show->transferHandle(m_id));

        // Asked again before clearing: the second answer finds no transfer.
        LogCapture log;
        QCOMPARE(m_bus.zavctl({QStringLiteral("request"), m_id, QStringLiteral("cancel")}), 0);
        QTRY_COMPARE(m_row->infoButton()->text(), QStringLiteral("Info"));
        m_answerer->answerNext(M::OkButton);
        clickOn(&m_window, m_row->infoButton());
        QTRY_VERIFY(log.contains(QStringLiteral("Element not found transferCancelled")));

        // A name change for it now reaches neither the service nor the row.
        openRow();
        pickOption(m_detail->nameList(), QStringLiteral("Transfer 9"));
        clickOn(&m_window, m_detail->closeButton());
        QVERIFY(m_bus.sync());
        QVERIFY(!newCalls().contains(QStringLiteral("setName(\"Transfer 9\")")));
        QCOMPARE(m_row->nameLabel()->text(), QStringLiteral("Transfer 2"));

        // Clear removes the row; a later request for it finds no row.
        QPointer<ZAVTestElement> row = m_row;
        clickOn(&m_window, m_row->infoButton());
        QTRY_VERIFY(!row);
        QVERIFY(!m_show->findElement(m_id));
        QVERIFY(!m_show->valueStore().contains(m_id));
    }

    void removedRowAndALaterRequest()
    {
        QVERIFY(QMetaObject::invokeMethod(m_show, "removeLayoutItem", Q_ARG(QString, m_id)));
        LogCapture log;
        QCOMPARE(m_bus.zavctl({QStringLiteral("request"), m_id, QStringLiteral("cancel")}), 0);
        QTRY_VERIFY(log.contains(QStringLiteral(" Element not found ")));
        // Still registered: a change from the detail page still reaches the service.
        QVERIFY(QMetaObject::invokeMethod(m_show, "transferName", Q_ARG(QString, m_id),
                                          Q_ARG(QString, QStringLiteral("N"))));
        QVERIFY(m_bus.sync());
        QCOMPARE(newCalls(), QStringList {"setName(\"N\")"});
    }

    void answers_data()
    {
        QTest::addColumn<QString>("request");
        QTest::addColumn<int>("answer");
        QTest::addColumn<QString>("boxText");
        QTest::addColumn<QStringList>("calls");
        QTest::addColumn<QString>("rowMessage");
        QTest::addColumn<bool>("clearAfter"); // the button then reads "Clear"; else it is hidden
        const int ok = M::OkButton, discard = M::DiscardButton, dismissed = M::NoStandardButton;
        const QString cancelled = QStringLiteral("Transfer Cancelled"), same = QStringLiteral("Transfer Message 3");
        const QStringList cancelFailed {"markCancelFailed(\"File is already uploaded\")"};
        QTest::newRow("cancel discard") << "cancel" << discard << "ZAV requested Cancel" << cancelFailed
                                        << "Transfer Cancell Failed" << false;
        QTest::newRow("cancel dismissed")
            << "cancel" << dismissed << "ZAV requested Cancel" << cancelFailed << "Transfer Cancell Failed" << false;
        QTest::newRow("pause ok") << "pause" << ok << "ZAV requested Pause" << QStringList {"markPaused()"}
                                  << "Transfer Paused" << false;
        QTest::newRow("pause discard") << "pause" << discard << "ZAV requested Pause" << QStringList {} << same
                                       << false;
        QTest::newRow("start ok") << "start" << ok << "ZAV requested Restart" << QStringList {"markRestarted()"}
                                  << "Transfer Resumed" << false;
        QTest::newRow("start discard") << "start" << discard << "ZAV requested Restart" << QStringList {} << same
                                       << false;
        QTest::newRow("repair ok") << "repair" << ok << "ZAV Repair Error" << QStringList {"markCancelled()"}
                                   << cancelled << true;
        QTest::newRow("repair discard") << "repair" << discard << "ZAV Repair Error" << QStringList {"markCancelled()"}
                                        << cancelled << true;
    }
    void answers()
    {
        QFETCH(QString, request);
        QFETCH(int, answer);
        QFETCH(QString, boxText);
        QFETCH(QStringList, calls);
        QFETCH(QString, rowMessage);
        QFETCH(bool, clearAfter);
        QCOMPARE(m_bus.zavctl({QStringLiteral("request"), m_id, request}), 0);
        QTRY_VERIFY(m_row->infoButton()->isVisible());
        m_answerer->answerNext(M::StandardButton(answer));
        clickOn(&m_window, m_row->infoButton());
        QTRY_VERIFY(m_answerer->answered());
        QCOMPARE(m_answerer->lastText(), boxText);
        // Which transfer the box is about: several may wait for an answer.
        QCOMPARE(m_answerer->lastTitle(), QStringLiteral("Transfer 2 (id %1)").arg(m_id));
        QTRY_COMPARE(m_row->infoButton()->isVisible(), clearAfter);
        if (clearAfter)
            QCOMPARE(m_row->infoButton()->text(), QStringLiteral("Clear"));
        QVERIFY(m_bus.sync());
        QCOMPARE(newCalls(), calls);
        QCOMPARE(m_row->messageLabel()->text(), rowMessage);
        QCOMPARE(screenDisagrees(), QString());
        // The status list sends the entry it shows when picked again.
        openRow();
        pickOption(m_detail->statusList(), QStringLiteral("Active"));
        pickOption(m_detail->statusList(), QStringLiteral("Active"));
        clickOn(&m_window, m_detail->closeButton());
        QVERIFY(m_bus.sync());
        if (!clearAfter)
            QCOMPARE(newCalls().mid(calls.size()), (QStringList {"setActive(0)", "setActive(0)"}));
        QCOMPARE(screenDisagrees(), QString());
    }

    void pauseAnswerStopsAutoProgressUntilTheNextOpening()
    {
        openRow();
        // A typed progress, then Auto: the field follows the steps (before, it kept "50").
        typeAndReturn(m_detail->progressField(), QStringLiteral("50"));
        QSignalSpy steps(m_detail, &ZAVTestElementDetail::transferProgressSignal);
        clickOn(&m_window, m_detail->progressSlider().autoButton());
        QVERIFY(m_detail->progressSlider().isAutoRunning());
        QTRY_VERIFY(steps.size() >= 2);
        QCOMPARE(m_detail->progressField()->text().toDouble(),
                 double(float(m_show->valueStore().progress(m_id) * 100)));
        QVERIFY(m_detail->progressField()->text() != QLatin1String("50"));
        clickOn(&m_window, m_detail->closeButton());
        QCOMPARE(m_bus.zavctl({QStringLiteral("request"), m_id, QStringLiteral("pause")}), 0);
        QTRY_VERIFY(m_row->infoButton()->isVisible());
        m_answerer->answerNext(M::OkButton);
        clickOn(&m_window, m_row->infoButton());
        QTRY_VERIFY(!m_detail->progressSlider().isAutoRunning());
        QVERIFY(!m_detail->progressSlider().autoButton()->isChecked());
        // The next opening shows Auto as it is: off (before, on while nothing stepped).
        openRow();
        QVERIFY(!m_detail->progressSlider().autoButton()->isChecked());
        QVERIFY(!m_detail->progressSlider().isAutoRunning());
        QVERIFY(!m_show->valueStore().autoProgress(m_id));
        // Progress steps reached the service while Auto ran.
        QVERIFY(m_bus.sync());
        QVERIFY(newCalls().filter(QStringLiteral("setProgress(")).size() >= 1);
    }

private:
    // Everything the row and the detail page show for the transfer, against what the service
    // holds (`zavctl show --json`); the first disagreement, or nothing.
    QString screenDisagrees()
    {
        if (m_window.currentPage() == m_detail)
            clickOn(&m_window, m_detail->closeButton());
        if (!m_bus.sync())
            return QStringLiteral("the service did not answer");
        const QJsonObject t = m_bus.show(m_id);
        const ZAVTestTransferValues model = m_show->valueStore().values(m_id);
        const QString state = t.value(QStringLiteral("state")).toString();
        const QString number = QString::number(t.value(QStringLiteral("size")).toInteger());
        static const QHash<QString, QStringList> rowWords {{"pending", {"Inactive", "NoMessageInactive"}},
                                                           {"active", {"Active"}},
                                                           {"failed", {"Error"}},
                                                           {"paused", {"Paused"}},
                                                           {"cancelFailed", {"Cancel Failed"}},
                                                           {"cancelled", {"Cancelled"}},
                                                           {"done", {"Done"}}};
        static const QHash<QString, QStringList> listEntries {
            {"pending", {"Inactive", "NoMessageInactive"}},
            {"active", {"Active"}},
            {"failed", {"Error", "Error 1 Recovery", "Error 2 Recovery"}},
            {"done", {"Done"}}};
        QString message = !model.refusal.isEmpty() ? model.refusal
            : model.answer.isEmpty()               ? t.value(QStringLiteral("message")).toString()
                                                   : model.answer;
        if (message.isEmpty() && state == QLatin1String("pending"))
            message = t.value(QStringLiteral("reason")).toString();
        const QList<std::pair<QString, QString>> row {
            {m_row->nameLabel()->text(), t.value(QStringLiteral("name")).toString()},
            {m_row->messageLabel()->text(), message},
            {m_row->sizeLabel()->text(),
             number.size() < 11 ? number + QStringLiteral(" Bytes")
                                : ZAVTestNumbers::roundedBytes(number.toULongLong())},
            {m_row->estimateLabel()->text(),
             QStringLiteral("%1 Sec").arg(t.value(QStringLiteral("estimate")).toInt())}};
        for (const auto &[shown, held] : row) {
            if (shown != held)
                return QStringLiteral("row shows \"%1\", the service holds \"%2\"").arg(shown, held);
        }
        if (!rowWords.value(state).contains(m_row->stateLabel()->text()))
            return QStringLiteral("row state \"%1\" for %2").arg(m_row->stateLabel()->text(), state);

        openRow();
        const auto entry = [](ZAVTestListObject &list) {
            const int index = list.comboBox()->currentIndex();
            return index < 0 ? QString() : list.optionList().at(index);
        };
        const QString status = entry(m_detail->statusList());
        const QList<std::pair<QString, QString>> page {
            {entry(m_detail->nameList()), t.value(QStringLiteral("name")).toString()},
            {entry(m_detail->messageList()), t.value(QStringLiteral("message")).toString()},
            {entry(m_detail->cancelTextList()), t.value(QStringLiteral("cancelButtonText")).toString()},
            {m_detail->titleField()->text(), t.value(QStringLiteral("title")).toString()},
            {m_detail->sizeField()->text(), number},
            {m_detail->progressField()->text(),
             QString::number(t.value(QStringLiteral("progress")).toDouble() * 100, 'g', 6)},
            {m_detail->canPauseButton()->isChecked() ? "true" : "false",
             t.value(QStringLiteral("canPause")).toBool() ? "true" : "false"}};
        QString found;
        for (const auto &[shown, held] : page) {
            if (found.isEmpty() && shown != held)
                found = QStringLiteral("detail shows \"%1\", the service holds \"%2\"").arg(shown, held);
        }
        if (found.isEmpty()
            && !(listEntries.value(state).contains(status) || (status.isEmpty() && !listEntries.contains(state))))
            found = QStringLiteral("status list shows \"%1\" for %2").arg(status, state);
        // The line says the state in the words the rows and zavctl's table use.
        const QString word = Zav::displayWord(Zav::stateFromWord(state).value_or(Zav::TransferState::Pending));
        if (found.isEmpty() && !m_detail->stateLabel()->text().endsWith(word) && state != QLatin1String("cancelled"))
            found = QStringLiteral("state line \"%1\" for %2").arg(m_detail->stateLabel()->text(), state);
        clickOn(&m_window, m_detail->closeButton());
        return found;
    }

    void openRow()
    {
        pressOn(&m_window, m_row);
        QCOMPARE(m_window.currentPage(), m_detail);
        QCOMPARE(m_detail->transferId(), m_id);
        QCOMPARE(m_detail->idLabel()->text(), QStringLiteral("id %1").arg(m_id)); // not the first one opened
    }

    // What the app sent for the transfer since init(), without the tester's requests.
    QStringList newCalls() const
    {
        QStringList calls = m_bus.callsFor(m_id).mid(m_before);
        calls.erase(std::remove_if(calls.begin(), calls.end(),
                                   [](const QString &call) {
                                       return call.startsWith(QLatin1String("sendRequest("))
                                           || call.startsWith(QLatin1String("request("));
                                   }),
                    calls.end());
        return calls;
    }

    ZAVTestShowTransferPage *m_show = nullptr;
    ZAVTestElementDetail *m_detail = nullptr;
    DialogAnswerer *m_answerer = nullptr;
    ZAVTestElement *m_row = nullptr;
    QString m_id;
    int m_before = 0;
};

ZAV_TEST_MAIN(tst_Handlers)
#include "tst_handlers.moc"
