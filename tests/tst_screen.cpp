// SPDX-License-Identifier: MIT
// The app as a tester sees it: on a real X server (Xvfb, the xcb platform), with the pixels read
// back from the server. Offscreen rendering and QWidget::grab() paint afresh and cannot show a
// widget that never repaints; here what the server holds is compared with a fresh paint.
#include "AppDriver.h"
#include "TestBus.h"
#include "ZAVTestAddTransferPage.h"
#include "ZAVTestElement.h"
#include "ZAVTestElementDetail.h"
#include "ZAVTestMainPage.h"
#include "ZAVTestShowTransferPage.h"

#include <MApplication.h>
#include <MApplicationWindow.h>
#include <MButton.h>
#include <MComboBox.h>
#include <MLabel.h>
#include <MSlider.h>
#include <MTextEdit.h>

#include <QComboBox>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QSlider>
#include <QTest>

// Started before the application: the xcb platform reaches for the session bus as it starts.
static TestBus *g_bus = nullptr;

class tst_Screen : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(m_bus.startService());
        m_window.show();
        m_window.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&m_window));
        m_main.appear(MSceneWindow::KeepWhenDone);
        QTRY_VERIFY(m_main.findChildren<ZAVTestShowTransferPage *>().size() == 1);
        m_show = m_main.findChildren<ZAVTestShowTransferPage *>().constFirst();
        m_add = m_main.findChildren<ZAVTestAddTransferPage *>().constFirst();
    }

    void cleanup()
    {
        // Back to the main page, whatever a test left open.
        for (int i = 0; i < 3 && m_window.currentPage() != &m_main; ++i)
            m_window.escapeButton()->click();
    }

    void controlsFollowOnScreen()
    {
        // Before the mend, a slider's handle and number stayed where they were on screen.
        clickOn(&m_window, findButton(&m_main, QStringLiteral("Add New Transfers")));
        const QImage before = settledScreen();
        dragSlider(m_add->sizeSlider(), 640);
        QVERIFY(settledScreen() != before);
        pickOption(m_add->statusList(), QStringLiteral("Active"));
        clickOn(&m_window, m_add->addButton());

        clickOn(&m_window, findButton(&m_main, QStringLiteral("Show Transfers")));
        ZAVTestElement *row = m_show->rows().constLast();
        row->setTransferName(QStringLiteral("A name the screen must show"));
        settledScreen();
        pressOn(&m_window, row);
        ZAVTestElementDetail *detail = m_show->detailPage();
        QCOMPARE(m_window.currentPage(), detail);
        dragSlider(detail->estimateSlider(), 120);
        settledScreen();
        pickOption(detail->messageList(), QStringLiteral("Transfer Message 4"));
        settledScreen();
        // Auto steps the progress every 20 ms; the screen follows each step.
        QSlider *progress = detail->progressSlider().slider()->sliderWidget();
        m_window.ensureVisible(detail->progressSlider().slider());
        detail->progressSlider().autoButton()->click();
        QTest::qWait(100);
        const QImage stepping = settledScreen();
        QTRY_VERIFY(progress->value() >= 60);
        QVERIFY(settledScreen() != stepping);
        detail->progressSlider().autoButton()->click();
    }

    void wheelScrollsThePageNotTheControls()
    {
        ZAVTestElementDetail *detail = openDetail();
        QVERIFY(detail);
        QComboBox *status = detail->statusList().comboBox()->comboWidget();
        const int index = status->currentIndex();
        QVERIFY(m_bus.sync());
        const int callsBefore = m_bus.callsFor(detail->transferId()).size();
        QScrollBar *scroll = m_window.verticalScrollBar();
        scroll->setValue(0);
        // Two turns over "Transfer Status" once sent "Error" and "Error 1 Recovery".
        wheelOver(detail->statusList().comboBox(), -120);
        wheelOver(detail->statusList().comboBox(), -120);
        QCOMPARE(status->currentIndex(), index);
        QVERIFY(scroll->value() > 0);
        QVERIFY(m_bus.sync());
        QCOMPARE(m_bus.callsFor(detail->transferId()).size(), callsBefore);
        // Reached with Tab, it still lets the wheel scroll (before, the turn changed the setting).
        status->setFocus(Qt::TabFocusReason);
        wheelOver(detail->statusList().comboBox(), -120);
        QCOMPARE(status->currentIndex(), index);
        // Once the tester has clicked it, the wheel is the control's.
        scroll->setValue(0);
        status->clearFocus();
        status->setFocus(Qt::MouseFocusReason);
        wheelOver(detail->statusList().comboBox(), -120);
        QVERIFY(status->currentIndex() != index);
        // The next page of a transfer (the same controls) starts afresh, at its top, and the
        // wheel is not the control's (before, the one clicked kept it: one notch, one change).
        m_main.appear();
        detail = openDetail();
        QCOMPARE(scroll->value(), 0);
        const int now = status->currentIndex();
        wheelOver(detail->statusList().comboBox(), -120);
        QCOMPARE(status->currentIndex(), now);
    }

    void typingReplacesTheFieldsStartingText()
    {
        ZAVTestElementDetail *detail = openDetail();
        QVERIFY(detail);
        const QString id = detail->transferId();
        QCOMPARE(detail->idLabel()->text(), QStringLiteral("id %1").arg(id));
        QCOMPARE(m_show->findElement(id)->idLabel()->text(), QStringLiteral("id %1").arg(id));
        auto *line = qobject_cast<QLineEdit *>(detail->sizeField()->editWidget());
        // Filled with the transfer's size; its starting text shows when it is empty.
        QCOMPARE(line->text(), QString::number(m_bus.show(id).value(QStringLiteral("size")).toInteger()));
        QCOMPARE(line->placeholderText(), QStringLiteral("Size value"));
        pressOn(&m_window, detail->sizeField());
        QTRY_VERIFY(line->hasFocus() && line->selectedText() == line->text());
        // Typing replaces the text (before, it gave "Size value5000000" and Return sent 0).
        QTest::keyClicks(line, QStringLiteral("5000000"));
        QTest::keyClick(line, Qt::Key_Return);
        QTRY_COMPARE(m_bus.show(id).value(QStringLiteral("size")).toDouble(), 5000000.0);
        QCOMPARE(detail->sizeSlider().slider()->handleLabel(), QStringLiteral("5000000 bytes"));
        // Text that is no whole number of bytes is refused with a word (before, it sent 0).
        line->setText(QStringLiteral("lots"));
        QTest::keyClick(line, Qt::Key_Return);
        QVERIFY(detail->noticeLabel()->text().startsWith(QLatin1String("Not sent")));
        QVERIFY(m_bus.sync());
        QCOMPARE(m_bus.show(id).value(QStringLiteral("size")).toInteger(), 5000000);
        settledScreen();
    }

    void keyboard()
    {
        ZAVTestElementDetail *detail = openDetail();
        QVERIFY(detail);
        QComboBox *name = detail->nameList().comboBox()->comboWidget();
        name->setFocus(Qt::TabFocusReason);
        // Where the keyboard is shows on the screen: the list reached with Tab is drawn otherwise.
        MComboBox *message = detail->messageList().comboBox();
        const QRect area = m_window.mapFromScene(message->mapRectToScene(message->rect()))
                               .boundingRect()
                               .translated(m_window.viewport()->mapTo(&m_window, QPoint(0, 0)));
        const QImage before = settledScreen().copy(area);
        QTest::keyClick(&m_window, Qt::Key_Tab);
        QTRY_VERIFY(message->comboWidget()->hasFocus());
        const QImage after = settledScreen().copy(area);
        QVERIFY(after != before);
        QTest::keyClick(&m_window, Qt::Key_Backtab);
        QTRY_VERIFY(name->hasFocus());
        // Esc in an open list closes the list and stays on the page (before, it left the page too).
        name->showPopup();
        QTRY_VERIFY(MComboBox::isAnyListOpen());
        QTest::keyClick(&m_window, Qt::Key_Escape);
        QTRY_VERIFY(!MComboBox::isAnyListOpen());
        QCOMPARE(m_window.currentPage(), detail);
        // Esc works the escape button: back from the detail page, back to the main page.
        QTest::keyClick(&m_window, Qt::Key_Escape);
        QCOMPARE(m_window.currentPage(), m_show);
        QTest::keyClick(&m_window, Qt::Key_Escape);
        QCOMPARE(m_window.currentPage(), &m_main);
    }

    void noServiceNoticeComesAndGoes()
    {
        const auto noticeShown = [](QGraphicsItem *page) {
            std::function<bool(QGraphicsItem *)> find = [&](QGraphicsItem *item) {
                const auto *label = qobject_cast<MLabel *>(item->toGraphicsObject());
                if (label && label->isVisibleTo(page) && label->text() == ZAVTestShowTransferPage::noServiceText())
                    return true;
                const QList<QGraphicsItem *> children = item->childItems();
                return std::any_of(children.begin(), children.end(), find);
            };
            return find(page);
        };
        QVERIFY(!noticeShown(&m_main));
        m_bus.stopService();
        QTRY_VERIFY(noticeShown(&m_main));
        QVERIFY(noticeShown(m_show));
        settledScreen();
        QVERIFY(m_bus.startService());
        QTRY_VERIFY(!noticeShown(&m_main));
        QVERIFY(!noticeShown(m_show));
        settledScreen();
    }

    void narrowAndWideWindows()
    {
        m_show->addTransfer(QStringLiteral("Sync"), QStringLiteral("Transfer 4"), QStringLiteral("m"), QString(),
                            QStringLiteral("Active"), QString(), QStringLiteral("7"), QStringLiteral("0"), false);
        QVERIFY(registrationsAnswered(m_show));
        clickOn(&m_window, findButton(&m_main, QStringLiteral("Show Transfers")));
        ZAVTestElement *row = m_show->rows().constLast();
        const QSize before = m_window.size();
        // Narrower than a row (a small or scaled screen): the id, the last column, is reachable.
        m_window.resize(520, 400);
        const qreal right = row->idLabel()->mapRectToScene(row->idLabel()->boundingRect()).right();
        QScrollBar *across = m_window.horizontalScrollBar();
        QTRY_VERIFY(across->isVisible());
        QVERIFY(across->maximum() + m_window.viewport()->width() >= right);
        // Wider than the handset: the sliders take the room.
        m_window.resize(1000, 600);
        pressOn(&m_window, row);
        ZAVTestElementDetail *detail = m_show->detailPage();
        QTRY_VERIFY(detail->sizeSlider().slider()->size().width() > 400);
        m_window.resize(before);
    }

private:
    // Lets the event loop run until the screen is still, checks that the X server holds what a
    // fresh paint of the window gives, and returns it.
    QImage settledScreen()
    {
        QImage shown;
        QImage painted;
        for (int attempt = 0; attempt < 20; ++attempt) {
            QTest::qWait(60);
            const QPoint origin = m_window.mapToGlobal(QPoint(0, 0));
            shown = m_window.screen()
                        ->grabWindow(0, origin.x(), origin.y(), m_window.width(), m_window.height())
                        .toImage()
                        .convertToFormat(QImage::Format_RGB32);
            painted = m_window.grab().toImage().convertToFormat(QImage::Format_RGB32);
            if (shown == painted)
                return shown;
        }
        shown.save(QStringLiteral("screen-shown.png"));
        painted.save(QStringLiteral("screen-painted.png"));
        QTest::qFail("the screen does not show what the window paints (screen-*.png)", __FILE__, __LINE__);
        return shown;
    }

    ZAVTestElementDetail *openDetail()
    {
        clickOn(&m_window, findButton(&m_main, QStringLiteral("Show Transfers")));
        if (m_show->rows().isEmpty())
            return nullptr;
        pressOn(&m_window, m_show->rows().constLast());
        return m_show->detailPage();
    }

    void wheelOver(QGraphicsWidget *item, int delta)
    {
        m_window.ensureVisible(item);
        const QPoint at = m_window.mapFromScene(item->mapToScene(item->rect().center()));
        QWheelEvent wheel(at, m_window.viewport()->mapToGlobal(at), QPoint(), QPoint(0, delta), Qt::NoButton,
                          Qt::NoModifier, Qt::NoScrollPhase, false);
        QApplication::sendEvent(m_window.viewport(), &wheel);
    }

    TestBus &m_bus = *g_bus;
    MApplicationWindow m_window;
    ZAVTestMainPage m_main;
    ZAVTestShowTransferPage *m_show = nullptr;
    ZAVTestAddTransferPage *m_add = nullptr;
};

ZAV_SCREEN_TEST_MAIN(tst_Screen)

#include "tst_screen.moc"
