// SPDX-License-Identifier: MIT
#include "AppDriver.h"
#include "ZAVTestAddTransferPage.h"
#include "ZAVTestElement.h"
#include "ZAVTestMainPage.h"
#include "ZAVTestShowTransferPage.h"

#include <MApplication.h>
#include <MButton.h>
#include <MImageWidget.h>
#include <MTextEdit.h>

#include <QGraphicsLinearLayout>
#include <QPushButton>
#include <QTest>

// The add-transfer page as the main page opens it, against the real service.
class tst_AddTransferPage : public AppFixture
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(startApp());
        m_main = new ZAVTestMainPage;
        m_main->setTitle(QStringLiteral("ZAV Test Application"));
        m_main->appear();
        QTRY_VERIFY(m_main->findChildren<ZAVTestAddTransferPage *>().size() == 1);
        m_add = m_main->findChildren<ZAVTestAddTransferPage *>().constFirst();
        m_show = m_main->findChildren<ZAVTestShowTransferPage *>().constFirst();
    }
    void cleanupTestCase() { delete m_main; }

    void init()
    {
        if (m_window.currentPage() != m_main)
            m_window.escapeButton()->click();
        clickOn(&m_window, findButton(m_main, QStringLiteral("Add New Transfers")));
        QCOMPARE(m_window.currentPage(), m_add);
    }

    void addingWithoutTouchingAnything()
    {
        const int rows = m_show->rows().size();
        clickOn(&m_window, m_add->addButton());
        QCOMPARE(m_window.currentPage(), m_main);
        QVERIFY(!m_add->addButton()->isEnabled());
        QVERIFY(!m_add->cancelButton()->isEnabled());
        QCOMPARE(m_show->rows().size(), rows + 1);
        QVERIFY(registrationsAnswered(m_show));
        const QString id = m_show->rows().constLast()->transferId();
        QVERIFY(m_bus.sync());
        const QJsonObject shown = m_bus.show(id);
        QCOMPARE(shown.value(QStringLiteral("state")).toString(), QStringLiteral("pending"));
        QCOMPARE(shown.value(QStringLiteral("reason")).toString(), QStringLiteral("Processing files before transfer"));
        QCOMPARE(shown.value(QStringLiteral("type")).toString(), QStringLiteral("download"));
        QCOMPARE(shown.value(QStringLiteral("name")).toString(),
                 QStringLiteral("Big Transfer Title Big Transfer Title of Transfer 1"));
        QCOMPARE(shown.value(QStringLiteral("size")).toInteger(), 2);
        // Opened again from the main page, the buttons work again, and the next transfer gets
        // the next name (before, every one was named alike).
        clickOn(&m_window, findButton(m_main, QStringLiteral("Add New Transfers")));
        QVERIFY(m_add->addButton()->isEnabled());
        QVERIFY(m_add->cancelButton()->isEnabled());
        clickOn(&m_window, m_add->addButton());
        QVERIFY(registrationsAnswered(m_show));
        QVERIFY(m_bus.sync());
        QVERIFY(m_bus.show(m_show->rows().constLast()->transferId()).value(QStringLiteral("name")).toString()
                != shown.value(QStringLiteral("name")).toString());
    }

    void sizeTextFollowsTheSlider_data()
    {
        QTest::addColumn<int>("position");
        QTest::addColumn<QString>("size");
        QTest::newRow("a million") << 601 << "1000000";
        QTest::newRow("top") << 1000 << "9772370000";
        QTest::newRow("bottom") << 0 << "0";
    }
    void sizeTextFollowsTheSlider()
    {
        QFETCH(int, position);
        QFETCH(QString, size);
        dragSlider(m_add->sizeSlider(), position);
        clickOn(&m_window, m_add->addButton());
        QVERIFY(registrationsAnswered(m_show));
        QCOMPARE(m_show->rows().constLast()->sizeLabel()->text(), size + QStringLiteral(" Bytes"));
        dragSlider(m_add->sizeSlider(), 3);
    }

    void uploadsCarryFileAndAccount()
    {
        pickOption(m_add->typeList(), QStringLiteral("Web upload"));
        QCOMPARE(m_add->pageLayout()->itemAt(5), m_add->serviceList()->createLayout(nullptr));
        clickOn(&m_window, m_add->addButton());
        QVERIFY(registrationsAnswered(m_show));
        const QString id = m_show->rows().constLast()->transferId();
        QVERIFY(m_bus.sync());
        QCOMPARE(m_bus.show(id).value(QStringLiteral("account")).toString(), QStringLiteral("facebook"));
        QVERIFY(m_bus.callsFor(id).contains(QStringLiteral("setServiceIconType(0)")));
    }

    void fileRowComesAndGoesWithTheType()
    {
        pickOption(m_add->typeList(), QStringLiteral("Web upload"));
        pickOption(*m_add->serviceList(), QStringLiteral("youtube"));
        QVERIFY(QMetaObject::invokeMethod(m_add, "pickerDone",
                                          Q_ARG(QStringList, QStringList {QStringLiteral("/tmp/a.jpg")})));
        // Upload to upload keeps them as they were.
        pickOption(m_add->typeList(), QStringLiteral("Email upload"));
        QCOMPARE(m_add->fileNameField()->text(), QStringLiteral("/tmp/a.jpg"));
        QCOMPARE(m_add->serviceList()->currentOption(), QStringLiteral("youtube"));
        QCOMPARE(m_add->pageLayout()->itemAt(4), m_add->fileRow());

        pickOption(m_add->typeList(), QStringLiteral("Sync"));
        QVERIFY(!m_add->fileRow());
        QVERIFY(!m_add->fileNameField());
        QVERIFY(!m_add->serviceList());
        QCOMPARE(m_add->pageLayout()->count(), 6);
        clickOn(&m_window, m_add->addButton());
        clickOn(&m_window, findButton(m_main, QStringLiteral("Add New Transfers")));

        // Back to an upload: built afresh, above the spacer and the buttons.
        pickOption(m_add->typeList(), QStringLiteral("Bluetooth upload"));
        QCOMPARE(m_add->pageLayout()->count(), 8);
        QCOMPARE(m_add->pageLayout()->itemAt(4), m_add->fileRow());
        QCOMPARE(m_add->fileNameField()->text(), QStringLiteral("No file selected yet"));
        QCOMPARE(m_add->serviceList()->currentOption(), QStringLiteral("facebook"));
        pickOption(m_add->typeList(), QStringLiteral("Download"));
    }

    void chosenFilesReachTheField()
    {
        LogCapture log;
        // Without the file row.
        QVERIFY(QMetaObject::invokeMethod(m_add, "pickerDone",
                                          Q_ARG(QStringList, QStringList {QStringLiteral("/tmp/x.jpg")})));
        QVERIFY(log.lines().contains(QStringLiteral("textTransferFileName widget does not exist")));

        pickOption(m_add->typeList(), QStringLiteral("Web upload"));
        QStringList choice {QStringLiteral("file:///home/tester/Pictures/sun%20flower.jpg"),
                            QStringLiteral("/home/tester/Pictures/sky.jpg")};
        QString askedIn;
        m_add->setFileChooser([&](const QString &folder) {
            askedIn = folder;
            return choice;
        });
        clickOn(&m_window, m_add->browseButton());
        QCOMPARE(m_add->fileNameField()->text(), QStringLiteral("/home/tester/Pictures/sun flower.jpg"));

        // Closing the chooser without a choice delivers nothing; the next one starts where the
        // last choice was.
        choice.clear();
        clickOn(&m_window, m_add->browseButton());
        QCOMPARE(m_add->fileNameField()->text(), QStringLiteral("/home/tester/Pictures/sun flower.jpg"));
        QCOMPARE(askedIn, QStringLiteral("/home/tester/Pictures"));
        // A plain path is taken as it is, "%41" included.
        choice = QStringList {QStringLiteral("/tmp/100%41.jpg")};
        clickOn(&m_window, m_add->browseButton());
        QCOMPARE(m_add->fileNameField()->text(), QStringLiteral("/tmp/100%41.jpg"));
        pickOption(m_add->typeList(), QStringLiteral("Download"));
    }

    void cancelAndBackChangeNothing()
    {
        pickOption(m_add->statusList(), QStringLiteral("Active"));
        const int rows = m_show->rows().size();
        clickOn(&m_window, m_add->cancelButton());
        QCOMPARE(m_window.currentPage(), m_main);
        clickOn(&m_window, findButton(m_main, QStringLiteral("Add New Transfers")));
        m_window.escapeButton()->click();
        QCOMPARE(m_window.currentPage(), m_main);
        QCOMPARE(m_show->rows().size(), rows);
        QCOMPARE(m_add->statusList().currentOption(), QStringLiteral("Active"));
        QVERIFY(m_add->addButton()->isEnabled());
    }

private:
    ZAVTestMainPage *m_main = nullptr;
    ZAVTestAddTransferPage *m_add = nullptr;
    ZAVTestShowTransferPage *m_show = nullptr;
};

ZAV_TEST_MAIN(tst_AddTransferPage)
#include "tst_addtransferpage.moc"
