#include "AppDriver.h"
#include "ZAVTestElement.h"

#include <MApplication.h>
#include <MApplicationPage.h>
#include <MApplicationWindow.h>
#include <MButton.h>
#include <MLabel.h>

#include <QGraphicsLinearLayout>
#include <QPointer>
#include <QSignalSpy>
#include <QTest>

// One row on a page of its own, answered through the real answer box.
class tst_Element : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init()
    {
        m_window = new MApplicationWindow;
        m_window->show();
        m_page = new MApplicationPage;
        m_page->appear();
        m_row = new ZAVTestElement(m_page->centralWidget());
        m_row->createLayout();
        m_row->setTransferId(QStringLiteral("7"));
        auto *list = new QGraphicsLinearLayout(Qt::Vertical, m_page->centralWidget());
        list->addItem(m_row);
        m_answerer = new DialogAnswerer(m_window, m_window);
    }
    void cleanup()
    {
        delete m_page;
        delete m_window;
    }

    void freshRowAndItsTexts()
    {
        ZAVTestElement fresh;
        fresh.createLayout();
        QCOMPARE(fresh.nameLabel()->text(), QStringLiteral("Transfer Name"));
        QCOMPARE(fresh.messageLabel()->text(), QStringLiteral("Transfer Msg"));
        QCOMPARE(fresh.estimateLabel()->text(), QStringLiteral("Transfer Est Time"));
        QCOMPARE(fresh.sizeLabel()->text(), QStringLiteral("Transfer Size"));
        QCOMPARE(fresh.stateLabel()->text(), QStringLiteral("Transfer State"));
        QVERIFY(!fresh.infoButton()->isVisible());
        QCOMPARE(fresh.nameLabel()->objectName(), QStringLiteral("ElementTransferCol1"));
        QCOMPARE(fresh.sizeLabel()->objectName(), QStringLiteral("ElementTransferCol3"));
        QCOMPARE(fresh.infoButton()->objectName(), QStringLiteral("PushInfoButton"));

        m_row->setTransferEstTime(QStringLiteral("0"));
        m_row->setTransferSize(QStringLiteral("512"));
        QCOMPARE(m_row->estimateLabel()->text(), QStringLiteral("0 Sec"));
        QCOMPARE(m_row->sizeLabel()->text(), QStringLiteral("512 Bytes"));
        m_row->setTransferSize(QStringLiteral("1500.9"));
        QCOMPARE(m_row->sizeLabel()->text(), QStringLiteral("1500.9 Bytes"));
        m_row->setTransferState(QStringLiteral("NoMessageInactive"));
        QCOMPARE(m_row->stateLabel()->text(), QStringLiteral("NoMessageInactive"));
    }

    void answers_data()
    {
        QTest::addColumn<QString>("request");
        QTest::addColumn<int>("answer");
        QTest::addColumn<QString>("boxText");
        QTest::addColumn<QByteArray>("signal");
        QTest::addColumn<QString>("buttonAfter"); // empty: hidden
        const int ok = M::OkButton, discard = M::DiscardButton, dismissed = M::NoStandardButton;
        QTest::newRow("cancel ok") << "cancel" << ok << "ZAV requested Cancel"
                                   << QByteArray(SIGNAL(transferMarkCancelled(QString))) << "Clear";
        QTest::newRow("cancel discard") << "cancel" << discard << "ZAV requested Cancel"
                                        << QByteArray(SIGNAL(transferMarkCancelFail(QString))) << "";
        QTest::newRow("cancel dismissed") << "cancel" << dismissed << "ZAV requested Cancel"
                                          << QByteArray(SIGNAL(transferMarkCancelFail(QString))) << "";
        QTest::newRow("start ok") << "start" << ok << "ZAV requested Restart"
                                  << QByteArray(SIGNAL(transferMarkRestarted(QString))) << "";
        QTest::newRow("start discard") << "start" << discard << "ZAV requested Restart"
                                       << QByteArray(SIGNAL(transferMarkRestartFail(QString))) << "";
        QTest::newRow("pause ok") << "pause" << ok << "ZAV requested Pause"
                                  << QByteArray(SIGNAL(transferMarkPaused(QString))) << "";
        QTest::newRow("pause discard") << "pause" << discard << "ZAV requested Pause"
                                       << QByteArray(SIGNAL(transferMarkPauseFail(QString))) << "";
        QTest::newRow("repair ok") << "repair" << ok << "ZAV Repair Error"
                                   << QByteArray(SIGNAL(transferMarkCancelled(QString))) << "Clear";
        QTest::newRow("repair discard") << "repair" << discard << "ZAV Repair Error"
                                        << QByteArray(SIGNAL(transferMarkCancelled(QString))) << "Clear";
    }
    void answers()
    {
        QFETCH(QString, request);
        QFETCH(int, answer);
        QFETCH(QString, boxText);
        QFETCH(QByteArray, signal);
        QFETCH(QString, buttonAfter);
        const QList<QByteArray> all {SIGNAL(transferMarkCancelled(QString)),
                                     SIGNAL(transferMarkCancelFail(QString)),
                                     SIGNAL(transferMarkRestarted(QString)),
                                     SIGNAL(transferMarkRestartFail(QString)),
                                     SIGNAL(transferMarkPaused(QString)),
                                     SIGNAL(transferMarkPauseFail(QString)),
                                     SIGNAL(deleteItem(QString))};
        QList<QSignalSpy *> spies;
        for (const QByteArray &each : all)
            spies << new QSignalSpy(m_row, each.constData());

        m_row->setResponse(request);
        QVERIFY(m_row->infoButton()->isVisible());
        m_answerer->answerNext(M::StandardButton(answer));
        clickOn(m_window, m_row->infoButton());
        QTRY_VERIFY(m_answerer->answered());
        QCOMPARE(m_answerer->lastText(), boxText);
        for (int i = 0; i < all.size(); ++i) {
            QCOMPARE(spies[i]->size(), all[i] == signal ? 1 : 0);
            if (spies[i]->size())
                QCOMPARE(spies[i]->at(0).at(0).toString(), QStringLiteral("7"));
        }
        QCOMPARE(m_row->infoButton()->isVisible(), !buttonAfter.isEmpty());
        if (!buttonAfter.isEmpty()) {
            QCOMPARE(m_row->infoButton()->text(), buttonAfter);
            // Pressed again it asks to be removed, without a box.
            clickOn(m_window, m_row->infoButton());
            QTRY_COMPARE(spies.constLast()->size(), 1);
            QCOMPARE(m_answerer->boxesSeen(), 1);
        }
        qDeleteAll(spies);
    }

    void newRequestAfterClearSaysInfo()
    {
        m_row->setResponse(QStringLiteral("cancel"));
        m_answerer->answerNext(M::OkButton);
        clickOn(m_window, m_row->infoButton());
        QTRY_COMPARE(m_row->infoButton()->text(), QStringLiteral("Clear"));
        // Before, the button kept reading "Clear" while it opened the answer box.
        m_row->setResponse(QStringLiteral("pause"));
        QCOMPARE(m_row->infoButton()->text(), QStringLiteral("Info"));
        QSignalSpy paused(m_row, &ZAVTestElement::transferMarkPaused);
        m_answerer->answerNext(M::OkButton);
        clickOn(m_window, m_row->infoButton());
        QTRY_COMPARE(paused.size(), 1);
        QCOMPARE(m_answerer->boxesSeen(), 2);
    }

    void requestWhileTheBoxIsOpenDecides()
    {
        QSignalSpy cancelled(m_row, &ZAVTestElement::transferMarkCancelled);
        QSignalSpy paused(m_row, &ZAVTestElement::transferMarkPaused);
        m_row->setResponse(QStringLiteral("cancel"));
        m_answerer->whileOpen = [this] { m_row->setResponse(QStringLiteral("pause")); };
        m_answerer->answerNext(M::OkButton);
        clickOn(m_window, m_row->infoButton());
        QTRY_VERIFY(m_answerer->answered());
        QTRY_COMPARE(paused.size(), 1);
        QCOMPARE(cancelled.size(), 0);
        QVERIFY(!m_row->infoButton()->isVisible());
        // The request handed in cleared the flag again: the next press opens a box.
        m_answerer->whileOpen = nullptr;
        m_row->setResponse(QStringLiteral("start"));
        m_answerer->answerNext(M::DiscardButton);
        clickOn(m_window, m_row->infoButton());
        QTRY_COMPARE(m_answerer->boxesSeen(), 2);
    }

    void rowGoneWhileTheBoxIsOpen()
    {
        QPointer<ZAVTestElement> row = m_row;
        QSignalSpy cancelled(m_row, &ZAVTestElement::transferMarkCancelled);
        m_row->setResponse(QStringLiteral("cancel"));
        m_answerer->whileOpen = [this] { delete m_row; };
        m_answerer->answerNext(M::OkButton);
        clickOn(m_window, m_row->infoButton());
        QTRY_VERIFY(m_answerer->answered());
        QTest::qWait(20);
        QVERIFY(!row);
        QCOMPARE(cancelled.size(), 0);
    }

    void pressSelectsTheRow()
    {
        QSignalSpy selected(m_row, &ZAVTestElement::itemSelected);
        pressOn(m_window, m_row);
        QCOMPARE(selected.size(), 1);
        QCOMPARE(selected.at(0).at(0).toString(), QStringLiteral("7"));
        m_row->setResponse(QStringLiteral("start"));
        pressOn(m_window, m_row->nameLabel());
        QCOMPARE(selected.size(), 2);
    }

private:
    MApplicationWindow *m_window = nullptr;
    MApplicationPage *m_page = nullptr;
    ZAVTestElement *m_row = nullptr;
    DialogAnswerer *m_answerer = nullptr;
};

ZAV_TEST_MAIN(tst_Element)
#include "tst_element.moc"
