// SPDX-License-Identifier: MIT
#include "AppDriver.h"
#include "TestBus.h"
#include "ZAVTestElement.h"
#include "ZAVTestElementDetail.h"
#include "ZAVTestShowTransferPage.h"

#include <MApplication.h>
#include <MApplicationWindow.h>
#include <MButton.h>

#include <QPushButton>
#include <QSignalSpy>
#include <QTest>

// Counts every change signal the detail page raises.
class ChangeSpies : public QObject
{
    Q_OBJECT
public:
    explicit ChangeSpies(ZAVTestElementDetail *page)
    {
        const QMetaObject *meta = page->metaObject();
        const QMetaMethod count = metaObject()->method(metaObject()->indexOfSlot("count()"));
        for (int i = meta->methodOffset(); i < meta->methodCount(); ++i) {
            if (meta->method(i).methodType() == QMetaMethod::Signal)
                connect(page, meta->method(i), this, count);
        }
    }
    int total() const { return m_total; }
public Q_SLOTS:
    void count() { ++m_total; }

private:
    int m_total = 0;
};

// One private bus for both test classes: a process reaches only one session bus.
static TestBus *g_bus = nullptr;

class tst_ElementDetail : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { m_window.show(); }

    void init()
    {
        m_page = new ZAVTestElementDetail;
        m_page->setTransferId(QStringLiteral("5"));
        m_page->init(QStringLiteral("Transfer 3"), QStringLiteral("Transfer Message 2"), 2048, 0,
                     QStringLiteral("Inactive"), 0.5, 0);
        m_page->appear();
    }
    void cleanup() { delete m_page; }

    void loadingAndBuildingSendNothing()
    {
        ChangeSpies spies(m_page);
        // Before this fix, opening sent the slider read-backs (2042 bytes, progress 0.49, ...).
        m_page->init(QStringLiteral("Transfer 4"), QStringLiteral("Transfer Message 5"), 9772370000.0, 60,
                     QStringLiteral("Active"), 0.25, 17);
        m_page->init(QStringLiteral("Transfer 3"), QStringLiteral("Transfer Message 2"), 2048, 0,
                     QStringLiteral("Inactive"), 0.5, 0);
        QCOMPARE(spies.total(), 0);
        QCOMPARE(m_page->progressSlider().storedPosition(), 170);
        QCOMPARE(m_page->statusList().comboBox()->currentText(), QStringLiteral("Inactive"));
        // Zeros move the sliders to the bottom instead of leaving the last transfer's value.
        QCOMPARE(m_page->estimateSlider().storedPosition(), 0);
        QCOMPARE(m_page->speedSlider().storedPosition(), 0);
    }

    void canPauseHandedOverBeforeTheFirstShowing()
    {
        ZAVTestElementDetail fresh;
        fresh.init(QString(), QString(), 0, 0, QString(), 0, 0);
        fresh.setCanPauseChecked(true);
        fresh.appear();
        QVERIFY(fresh.canPauseButton()->isChecked());
        m_page->appear();
    }

private:
    MApplicationWindow m_window;
    ZAVTestElementDetail *m_page = nullptr;
};

// Opening the detail page from the list, on a show-transfers page against the real service.
class tst_OpeningFromTheList : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase()
    {
        m_window.show();
        m_show = new ZAVTestShowTransferPage;
        m_show->appear();
        m_show->addTransfer(QStringLiteral("Download"), QStringLiteral("Transfer 2"),
                            QStringLiteral("Transfer Message 3"), QString(), QStringLiteral("Inactive"), QString(),
                            QStringLiteral("2048"), QStringLiteral("0"), false);
        m_show->addTransfer(QStringLiteral("Sync"), QStringLiteral("Transfer 6"), QStringLiteral("Transfer Message 7"),
                            QString(), QStringLiteral("Active"), QString(), QStringLiteral("1e+06"),
                            QStringLiteral("0"), false);
        QCOMPARE(m_show->rows().size(), 2);
        QVERIFY(registrationsAnswered(m_show));
        m_first = m_show->rows().at(0);
        m_second = m_show->rows().at(1);
    }
    void cleanupTestCase() { delete m_show; }

    void rowOpensTheDetailWithItsValues()
    {
        ZAVTestElementDetail *detail = m_show->detailPage();
        ChangeSpies spies(detail);
        pressOn(&m_window, m_first);
        QCOMPARE(m_window.currentPage(), detail);
        QCOMPARE(detail->transferId(), m_first->transferId());
        QCOMPARE(detail->nameList().currentOption(), QStringLiteral("Transfer 2"));
        // Given at Add, the message is the reason it waits; the transfer's message is empty.
        QCOMPARE(detail->messageList().currentOption(), QString());
        QCOMPARE(detail->statusList().currentOption(), QStringLiteral("Inactive"));
        QCOMPARE(detail->sizeSlider().storedPosition(), 332);
        QCOMPARE(detail->sizeSlider().slider()->handleLabel(), QStringLiteral("2048 bytes")); // not the step's 2042
        QCOMPARE(detail->progressSlider().storedPosition(), 0);
        QVERIFY(!detail->canPauseButton()->isChecked());
        QVERIFY(!detail->progressSlider().autoButton()->isChecked());
        QCOMPARE(spies.total(), 0);
        // Close leads back to the list, not to the main page.
        clickOn(&m_window, detail->closeButton());
        QCOMPARE(m_window.currentPage(), m_show);

        pressOn(&m_window, m_second);
        QCOMPARE(m_show->detailPage(), detail);
        QCOMPARE(detail->transferId(), m_second->transferId());
        QCOMPARE(detail->nameList().currentOption(), QStringLiteral("Transfer 6"));
        QCOMPARE(spies.total(), 0);
        m_window.escapeButton()->click();
        QCOMPARE(m_window.currentPage(), m_show);
    }

    void automaticProgressOutlivesClose()
    {
        ZAVTestElementDetail *detail = m_show->detailPage();
        pressOn(&m_window, m_first);
        QSignalSpy steps(detail, &ZAVTestElementDetail::transferProgressSignal);
        clickOn(&m_window, detail->progressSlider().autoButton());
        QVERIFY(m_show->valueStore().autoProgress(m_first->transferId()));
        clickOn(&m_window, detail->closeButton());
        QCOMPARE(m_window.currentPage(), m_show);
        const int before = steps.size();
        QTRY_VERIFY(steps.size() >= before + 3);
        QCOMPARE(steps.constLast().at(0).toString(), m_first->transferId());

        // Opened again, the same transfer goes on stepping, and Auto shows on.
        pressOn(&m_window, m_first);
        QVERIFY(detail->progressSlider().isAutoRunning());
        QVERIFY(detail->progressSlider().autoButton()->isChecked());
        clickOn(&m_window, detail->closeButton());
        // Opening another stops them; the first then opens with Auto off, as it is (before, it
        // showed Auto on while nothing stepped).
        pressOn(&m_window, m_second);
        QVERIFY(!detail->progressSlider().isAutoRunning());
        clickOn(&m_window, detail->closeButton());
        pressOn(&m_window, m_first);
        QVERIFY(!detail->progressSlider().autoButton()->isChecked());
        QVERIFY(!m_show->valueStore().autoProgress(m_first->transferId()));
        clickOn(&m_window, detail->closeButton());
    }

private:
    MApplicationWindow m_window;
    ZAVTestShowTransferPage *m_show = nullptr;
    ZAVTestElement *m_first = nullptr;
    ZAVTestElement *m_second = nullptr;
};

int main(int argc, char **argv)
{
    MApplication app(argc, argv);
    TestBus bus;
    if (!bus.start() || !bus.startService())
        return 1;
    g_bus = &bus;
    int failures = 0;
    {
        tst_ElementDetail detail;
        failures += QTest::qExec(&detail, argc, argv);
    }
    {
        tst_OpeningFromTheList opening;
        failures += QTest::qExec(&opening, argc, argv);
    }
    return failures;
}
#include "tst_elementdetail.moc"
