// SPDX-License-Identifier: MIT
#include "AppDriver.h"
#include "ZAVTestElement.h"

#include <MApplication.h>
#include <MApplicationPage.h>
#include <MApplicationWindow.h>
#include <MButton.h>
#include <MImageWidget.h>
#include <MLabel.h>

#include <QGraphicsLinearLayout>
#include <QPointer>
#include <QFontMetrics>
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

    void newRequestAfterClearSaysInfo()
    {
        // The badge follows the row's transfer.
        QCOMPARE(m_row->idLabel()->text(), ZAVTestElement::idBadge(QStringLiteral("7")));
        m_row->setTransferId(QStringLiteral("1052"));
        QCOMPARE(m_row->idLabel()->text(), ZAVTestElement::idBadge(QStringLiteral("1052")));
        // Whole up to six digits (before, "id 10…" for 1052 and 1053 alike).
        QVERIFY(
            QFontMetrics(m_row->idLabel()->font()).horizontalAdvance(ZAVTestElement::idBadge(QStringLiteral("999999")))
            <= m_row->idLabel()->size().width());
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

    // Every part of the row in its own place, inside the row, the button too once it is made.
    void partsDoNotOverlap()
    {
        m_row->setResponse(QStringLiteral("cancel"));
        QCoreApplication::processEvents();
        const QList<QGraphicsWidget *> parts {m_row->transferImage(), m_row->nameLabel(),     m_row->messageLabel(),
                                              m_row->stateLabel(),    m_row->estimateLabel(), m_row->sizeLabel(),
                                              m_row->idLabel(),       m_row->infoButton()};
        for (int i = 0; i < parts.size(); ++i) {
            const QRectF a = parts[i]->geometry();
            QVERIFY2(QRectF(QPointF(), m_row->size()).contains(a) && !a.isEmpty(), qPrintable(QString::number(i)));
            for (int j = i + 1; j < parts.size(); ++j)
                QVERIFY2(!a.intersects(parts[j]->geometry()), qPrintable(QStringLiteral("%1 %2").arg(i).arg(j)));
        }
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
        QCoreApplication::sendPostedEvents(); // what the box's closing left queued
        QVERIFY(!row);
        QCOMPARE(cancelled.size(), 0);
    }

private:
    MApplicationWindow *m_window = nullptr;
    MApplicationPage *m_page = nullptr;
    ZAVTestElement *m_row = nullptr;
    DialogAnswerer *m_answerer = nullptr;
};

ZAV_TEST_MAIN(tst_Element)
#include "tst_element.moc"
