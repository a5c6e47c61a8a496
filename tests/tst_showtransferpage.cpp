// SPDX-License-Identifier: MIT
#include "AppDriver.h"
#include "ZAVTestElement.h"
#include "ZAVTestShowTransferPage.h"

#include <MApplication.h>
#include <MButton.h>
#include <MImageWidget.h>
#include <MLabel.h>

#include <zav/ZavClient.h>

#include <QJsonArray>
#include <QSignalSpy>
#include <QTest>

#include <algorithm>

namespace {
const QString Msg = QStringLiteral("Transfer Message 3");
}

// Registration and the registry, against the real service: what the service received is read
// from its journal.
class tst_ShowTransferPage : public AppFixture
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(startApp());
        m_page = new ZAVTestShowTransferPage;
        m_page->appear();
    }
    void cleanupTestCase() { delete m_page; }

    void typeWordsChooseTypeAndIcon_data()
    {
        QTest::addColumn<QString>("type");
        QTest::addColumn<QString>("account");
        QTest::addColumn<int>("registeredAs");
        QTest::addColumn<QStringList>("iconCalls");
        QTest::newRow("upload without account") << "Web upload"
                                                << "" << 0 << QStringList {};
        QTest::newRow("upload with account")
            << "Web upload"
            << "youtube" << 0 << QStringList {"setServiceIconType(0)", "setAccount(\"youtube\")"};
        QTest::newRow("download") << "Download"
                                  << "" << 1 << QStringList {"setServiceIconType(1)"};
        QTest::newRow("sync") << "Sync"
                              << "" << 2 << QStringList {"setServiceIconType(2)"};
        QTest::newRow("no marker (case-sensitive)") << "Web Upload"
                                                    << "" << 2 << QStringList {};
    }
    void typeWordsChooseTypeAndIcon()
    {
        QFETCH(QString, type);
        QFETCH(QString, account);
        QFETCH(int, registeredAs);
        QFETCH(QStringList, iconCalls);
        const QString id = add(type, QStringLiteral("Transfer 2"), QStringLiteral("Inactive"), account,
                               QStringLiteral("2"));
        QVERIFY(!id.isEmpty());
        QVERIFY(m_bus.sync());
        const QStringList expected =
            QStringList {
                QStringLiteral("registerTransfer(\"Transfer 2\", %1, \"com.kelvo.zavtestdialog\")").arg(registeredAs),
                QStringLiteral("setPending(\"Pending\")"), QStringLiteral("setAccount(\"%1\")").arg(account),
                QStringLiteral("setName(\"Transfer 2\")")}
            + iconCalls
            + QStringList {QStringLiteral("setSize(2)"), QStringLiteral("setEstimate(0)"),
                           QStringLiteral("setCount(100)"), QStringLiteral("setPending(\"%1\")").arg(Msg)};
        QCOMPARE(m_bus.callsFor(id), expected);
        QCOMPARE(m_bus.show(id).value(QStringLiteral("reason")).toString(), Msg);
    }

    void completedStatusWordsKeepNothing_data()
    {
        QTest::addColumn<QString>("status");
        for (const char *word : {"Done", "Error", "Error 1 Recovery", "Error 2 Recovery"})
            QTest::newRow(word) << QString::fromLatin1(word);
    }
    void completedStatusWordsKeepNothing()
    {
        QFETCH(QString, status);
        const int transfersBefore = m_page->transferCount();
        const int rowsBefore = m_page->rows().size();
        const int recordsBefore = m_page->valueStore().count();
        const QString id = lastRegisteredAfter([&] {
            m_page->addTransfer(QStringLiteral("Download"), QStringLiteral("Transfer 4"), Msg, QString(), status,
                                QString(), QStringLiteral("10"), QStringLiteral("0"), false);
        });
        QVERIFY(!id.isEmpty());
        const QStringList calls = m_bus.callsFor(id);
        QCOMPARE(calls.mid(1),
                 (QStringList {"setPending(\"Pending\")", "setAccount(\"\")", "setName(\"Transfer 4\")",
                               "setServiceIconType(1)", "setSize(10)", "setEstimate(0)", "setCount(100)",
                               "markCompleted(false, \"\", \"\")"}));
        QCOMPARE(m_bus.show(id).value(QStringLiteral("state")).toString(), QStringLiteral("done"));
        QCOMPARE(m_page->transferCount(), transfersBefore);
        QCOMPARE(m_page->rows().size(), rowsBefore);
        QCOMPARE(m_page->valueStore().count(), recordsBefore);
        QVERIFY(!m_page->valueStore().contains(id));
    }

    void keptStatusWords()
    {
        const QString quiet = add(QStringLiteral("Sync"), QStringLiteral("Transfer 5"),
                                  QStringLiteral("NoMessageInactive"));
        const QString active = add(QStringLiteral("Sync"), QStringLiteral("Transfer 6"), QStringLiteral("Active"));
        QVERIFY(m_bus.sync());
        const QStringList quietCalls = m_bus.callsFor(quiet);
        QCOMPARE(quietCalls.at(1), QStringLiteral("setPending(\"Pending\")"));
        QCOMPARE(quietCalls.constLast(), QStringLiteral("setPending(\"\")"));
        QCOMPARE(m_page->valueStore().status(quiet), QStringLiteral("NoMessageInactive"));
        QCOMPARE(m_page->findElement(quiet)->stateLabel()->text(), QStringLiteral("NoMessageInactive"));
        const QStringList activeCalls = m_bus.callsFor(active);
        QCOMPARE(activeCalls.at(1), QStringLiteral("setActive(0)"));
        QCOMPARE(activeCalls.constLast(), QStringLiteral("setActive(0)"));
        QCOMPARE(m_bus.show(active).value(QStringLiteral("state")).toString(), QStringLiteral("active"));
    }

    void sizeTextsReachServiceAndStore()
    {
        const QString fraction = add(QStringLiteral("Sync"), QStringLiteral("Transfer 7"), QStringLiteral("Inactive"),
                                     QString(), QStringLiteral("1500.9"));
        const QString exponent = add(QStringLiteral("Sync"), QStringLiteral("Transfer 8"), QStringLiteral("Inactive"),
                                     QString(), QStringLiteral("9.77237e+09"));
        const QString junk = add(QStringLiteral("Sync"), QStringLiteral("Transfer 9"), QStringLiteral("Inactive"),
                                 QString(), QStringLiteral("1e400"));
        // Whole bytes exactly: before, through a double, ...993 arrived as ...992.
        const QString exact = add(QStringLiteral("Sync"), QStringLiteral("Transfer 9"), QStringLiteral("Inactive"),
                                  QString(), QStringLiteral("9007199254740993"));
        QVERIFY(m_bus.sync());
        const QList<QJsonObject> journal = m_bus.journalFor(exact);
        QVERIFY(std::any_of(journal.begin(), journal.end(), [](const QJsonObject &line) {
            return line.value(QStringLiteral("call")) == QLatin1String("setSize")
                && line.value(QStringLiteral("args")).toArray().at(0).toVariant().toString()
                == QLatin1String("9007199254740993");
        }));
        QVERIFY(m_bus.callsFor(fraction).contains(QStringLiteral("setSize(1500)")));
        // The row and the record hold what the service does, not what was typed.
        QCOMPARE(m_page->valueStore().size(fraction), quint64(1500));
        QCOMPARE(m_page->findElement(fraction)->sizeLabel()->text(), QStringLiteral("1500 Bytes"));
        QVERIFY(m_bus.callsFor(exponent).contains(QStringLiteral("setSize(9772370000)")));
        QVERIFY(m_bus.callsFor(junk).contains(QStringLiteral("setSize(0)")));
    }

    void rowsInOrderAndRemoval()
    {
        const int before = m_page->rows().size();
        QStringList ids;
        for (const char *name : {"Row A", "Row B", "Row C"})
            ids << add(QStringLiteral("Sync"), QString::fromLatin1(name), QStringLiteral("Inactive"));
        QList<ZAVTestElement *> rows = m_page->rows().mid(before);
        QCOMPARE(rows.size(), 3);
        for (int i = 0; i < 3; ++i)
            QCOMPARE(rows[i]->transferId(), ids[i]);
        QTRY_VERIFY(rows[0]->y() < rows[1]->y() && rows[1]->y() < rows[2]->y());
        QCOMPARE(rows[0]->nameLabel()->text(), QStringLiteral("Row A"));
        QVERIFY(rows[0]->transferImage()->image().isEmpty());

        const qreal middle = rows[1]->y();
        QVERIFY(QMetaObject::invokeMethod(m_page, "removeLayoutItem", Q_ARG(QString, ids[1])));
        QVERIFY(!m_page->findElement(ids[1]));
        QCOMPARE(m_page->rows().mid(before).size(), 2);
        QTRY_COMPARE(rows[2]->y(), middle); // the gap closes
        // The transfer stays registered, with the service and in the registry.
        QVERIFY(m_page->transferHandle(ids[1]));
        QVERIFY(!m_bus.show(ids[1]).isEmpty());
        // Removing what is not there does nothing.
        QVERIFY(QMetaObject::invokeMethod(m_page, "removeLayoutItem", Q_ARG(QString, ids[1])));
        QCOMPARE(m_page->rows().mid(before).size(), 2);
    }

    void fileNameBecomesTheRowImage()
    {
        const QString id = lastRegisteredAfter([&] {
            m_page->addTransfer(QStringLiteral("Web upload"), QStringLiteral("Pic"), Msg,
                                QStringLiteral("/tmp/pic.jpg"), QStringLiteral("Inactive"), QStringLiteral("facebook"),
                                QStringLiteral("3"), QStringLiteral("0"), false);
        });
        QCOMPARE(m_page->findElement(id)->transferImage()->image(), QStringLiteral("/tmp/pic.jpg"));
    }

    void refusedRegistrationIsShownAndCanBeSentAgain()
    {
        QCOMPARE(m_bus.zavctl({QStringLiteral("refuse"), QStringLiteral("on")}), 0);
        const int rows = m_page->rows().size();
        LogCapture log;
        m_page->addTransfer(QStringLiteral("Sync"), QStringLiteral("no"), Msg, QString(), QStringLiteral("Inactive"),
                            QString(), QStringLiteral("1"), QStringLiteral("0"), false);
        // Listed at once, while the service has not answered.
        QCOMPARE(m_page->rows().size(), rows + 1);
        ZAVTestElement *row = m_page->rows().constLast();
        QCOMPARE(row->stateLabel()->text(), QStringLiteral("Registering"));
        QVERIFY(registrationsAnswered(m_page));
        QVERIFY(log.contains(QStringLiteral("return back")));
        QCOMPARE(row->stateLabel()->text(), QStringLiteral("Not registered"));
        QVERIFY2(row->messageLabel()->text().contains(QLatin1String("the service refuses new transfers (Refused)")),
                 qPrintable(row->messageLabel()->text()));
        QVERIFY(row->transferId().isEmpty());
        QVERIFY(row->infoButton()->isVisible());
        QCOMPARE(row->infoButton()->text(), QStringLiteral("Register again"));

        QCOMPARE(m_bus.zavctl({QStringLiteral("refuse"), QStringLiteral("off")}), 0);
        const QString id = lastRegisteredAfter([&] {
            clickOn(&m_window, row->infoButton());
            QVERIFY(QTest::qWaitFor([row] { return !row->transferId().isEmpty(); }, 5000));
        });
        QCOMPARE(row->transferId(), id);
        QCOMPARE(row->stateLabel()->text(), QStringLiteral("Inactive"));
        QCOMPARE(row->messageLabel()->text(), Msg);
        QCOMPARE(m_bus.show(id).value(QStringLiteral("reason")).toString(), Msg);
        QVERIFY(!row->infoButton()->isVisible());
    }

    void aHungServiceNeitherFreezesTheAppNorKeepsAPhantom()
    {
        const int rows = m_page->rows().size();
        m_bus.pauseService(true);
        m_page->addTransfer(QStringLiteral("Sync"), QStringLiteral("late"), Msg, QString(), QStringLiteral("Inactive"),
                            QString(), QStringLiteral("5"), QStringLiteral("0"), false);
        // Listed at once (before, the call waited up to 3 s for the stopped service and then
        // listed nothing).
        ZAVTestElement *row = m_page->rows().value(rows);
        QVERIFY(row);
        QTest::qWait(3500); // past the library's usual deadline
        QCOMPARE(row->stateLabel()->text(), QStringLiteral("Registering"));
        m_bus.pauseService(false);
        // The late answer is taken: the row shows the transfer the service now holds.
        QVERIFY(registrationsAnswered(m_page));
        QVERIFY(!row->transferId().isEmpty());
        QVERIFY(m_bus.sync());
        QCOMPARE(m_bus.show(row->transferId()).value(QStringLiteral("name")).toString(), QStringLiteral("late"));
        QCOMPARE(row->stateLabel()->text(), QStringLiteral("Inactive"));
    }

    void withoutServiceThePageRunsAlone()
    {
        m_bus.stopService();
        LogCapture log;
        ZAVTestShowTransferPage lonely;
        QVERIFY(!lonely.isServiceAvailable());
        QVERIFY(log.lines().contains(QStringLiteral("Failed to open ZAV connection. run without ZAV communication.")));
        lonely.addTransfer(QStringLiteral("Sync"), QStringLiteral("x"), Msg, QString(), QStringLiteral("Inactive"),
                           QString(), QStringLiteral("1"), QStringLiteral("0"), false);
        QVERIFY(registrationsAnswered(&lonely));
        QCOMPARE(lonely.rows().size(), 1);
        QCOMPARE(lonely.rows().constFirst()->stateLabel()->text(), QStringLiteral("Not registered"));
        QCOMPARE(lonely.transferCount(), 0);
        // The service arrives later: before, the page stayed without it for good.
        QVERIFY(m_bus.startService());
        QTRY_VERIFY(lonely.isServiceAvailable());
        lonely.addTransfer(QStringLiteral("Sync"), QStringLiteral("x"), Msg, QString(), QStringLiteral("Inactive"),
                           QString(), QStringLiteral("1"), QStringLiteral("0"), false);
        QVERIFY(registrationsAnswered(&lonely));
        QCOMPARE(lonely.transferCount(), 1);

        // A service that hangs at the start and answers later is taken up too.
        // Silent past the first time it is asked again too: it is asked on until it answers.
        m_bus.pauseService(true);
        ZAVTestShowTransferPage late;
        QTest::qWait(Zav::Client::CallTimeout + 1500);
        m_bus.pauseService(false);
        QTRY_VERIFY_WITH_TIMEOUT(late.isServiceAvailable(), 8000);
    }

private:
    // Adds a transfer and returns the id the service gave it.
    QString add(const QString &type, const QString &name, const QString &status, const QString &account = QString(),
                const QString &size = QStringLiteral("2"), const QString &estimate = QStringLiteral("0"))
    {
        return lastRegisteredAfter(
            [&] { m_page->addTransfer(type, name, Msg, QString(), status, account, size, estimate, false); });
    }

    template <typename F> QString lastRegisteredAfter(F addIt)
    {
        addIt();
        if (!registrationsAnswered(m_page) || !m_bus.sync())
            return QString();
        QString id;
        for (const QJsonObject &line : m_bus.journal()) {
            if (line.value(QStringLiteral("call")).toString() == QLatin1String("registerTransfer"))
                id = line.value(QStringLiteral("id")).toString();
        }
        return id;
    }

    ZAVTestShowTransferPage *m_page = nullptr;
};

ZAV_TEST_MAIN(tst_ShowTransferPage)
#include "tst_showtransferpage.moc"
