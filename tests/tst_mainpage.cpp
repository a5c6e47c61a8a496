// SPDX-License-Identifier: MIT
#include "AppDriver.h"
#include "TestBus.h"
#include "ZAVTestAddTransferPage.h"
#include "ZAVTestMainPage.h"
#include "ZAVTestShowTransferPage.h"

#include <MApplication.h>
#include <MApplicationWindow.h>
#include <MButton.h>

#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

class tst_MainPage : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(m_bus.start());
        QVERIFY(m_bus.startService());
    }

    void init()
    {
        m_window = new MApplicationWindow;
        m_window->show();
        m_main = new ZAVTestMainPage;
        m_main->setTitle(QStringLiteral("ZAV Test Application"));
        m_main->appear(MSceneWindow::KeepWhenDone);
    }

    void cleanup()
    {
        delete m_main;
        delete m_window;
    }

    void buttonsWaitForThePages()
    {
        MButton *add = findButton(m_main, QStringLiteral("Add New Transfers"));
        MButton *show = findButton(m_main, QStringLiteral("Show Transfers"));
        QVERIFY(add && show);
        // Before the 100 ms timer has run the pages do not exist yet: the buttons do nothing. No
        // event is processed until then, so this holds however slow the machine.
        add->click();
        show->click();
        QCOMPARE(m_window->currentPage(), m_main);
        QVERIFY(m_main->findChildren<MApplicationPage *>().isEmpty());
        QTRY_COMPARE(m_main->findChildren<MApplicationPage *>().size(), 3); // show, add, detail

        clickOn(m_window, add);
        QCOMPARE(m_window->currentPage()->title(), QStringLiteral("Add Transfer"));
        QCOMPARE(m_window->escapeButton()->text(), QStringLiteral("Back"));
        m_window->escapeButton()->click();
        QCOMPARE(m_window->currentPage(), m_main);
        clickOn(m_window, show);
        QCOMPARE(m_window->currentPage()->title(), QStringLiteral("Show Transfer"));
        QVERIFY(qobject_cast<ZAVTestShowTransferPage *>(m_window->currentPage()));
        m_window->escapeButton()->click();
        QCOMPARE(m_window->currentPage(), m_main);
    }

    void pagesAreMadeOnceAndOneBackConnectionAtATime()
    {
        QTRY_COMPARE(m_main->findChildren<ZAVTestShowTransferPage *>().size(), 1);
        auto *addPage = m_main->findChildren<ZAVTestAddTransferPage *>().value(0);
        QVERIFY(addPage);
        MButton *add = findButton(m_main, QStringLiteral("Add New Transfers"));
        // One back connection at a time: each return brings the main page back once.
        QSignalSpy returns(m_main, &MSceneWindow::appeared);
        for (int i = 1; i <= 3; ++i) {
            clickOn(m_window, add);
            QCOMPARE(m_window->currentPage(), addPage);
            m_window->escapeButton()->click();
            QCOMPARE(returns.size(), i);
            QTest::qWait(150);
        }
        // Each return scheduled the page creation again; the first pages stay the only ones.
        QCOMPARE(m_main->findChildren<ZAVTestShowTransferPage *>().size(), 1);
        QCOMPARE(m_main->findChildren<ZAVTestAddTransferPage *>().size(), 1);
    }

    void escapeOnTheMainPageEndsTheEventLoop()
    {
        QCOMPARE(m_window->escapeButton()->text(), QStringLiteral("Close"));
        QTimer::singleShot(0, m_window->escapeButton(), &QPushButton::click);
        QCOMPARE(QCoreApplication::exec(), 0);
        QVERIFY(!m_window->isVisible());
    }

private:
    TestBus m_bus;
    MApplicationWindow *m_window = nullptr;
    ZAVTestMainPage *m_main = nullptr;
};

ZAV_TEST_MAIN(tst_MainPage)
#include "tst_mainpage.moc"
