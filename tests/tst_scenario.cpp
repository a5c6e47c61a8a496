// SPDX-License-Identifier: MIT
// Scenarios against the real service: the examples played headless, a wrong expectation and bad
// files reported, and a session driven through the app's pages recorded and played back.
#include "AppDriver.h"
#include "TestBus.h"
#include "ZAVTestElement.h"
#include "ZAVTestElementDetail.h"
#include "ZAVTestShowTransferPage.h"

#include <MApplicationWindow.h>
#include <MButton.h>

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <QXmlStreamReader>

class tst_Scenario : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { QVERIFY(m_bus.start()); }
    void init() { QVERIFY(m_bus.startService()); }
    void cleanup() { m_bus.stopService(); }

    void examplesPlayAndAWrongExpectationFails()
    {
        // The soak alone: its 1,000 transfers are as many as the service takes from one connection.
        QStringList examples = QDir(QStringLiteral(ZAV_EXAMPLES_DIR)).entryList({QStringLiteral("*.json")});
        QVERIFY(examples.removeAll(QStringLiteral("soak-1000.json")));
        QCOMPARE(examples.size(), 4);
        QStringList arguments {QStringLiteral("play"), QStringLiteral("--speed"), QStringLiteral("2"),
                               QStringLiteral("--junit"), m_dir.filePath(QStringLiteral("report.xml"))};
        for (const QString &example : std::as_const(examples))
            arguments << QStringLiteral(ZAV_EXAMPLES_DIR "/") + example;
        QString out, err;
        QCOMPARE(m_bus.zavctl(arguments, &out, &err), 0);
        QVERIFY2(out.endsWith(QStringLiteral("All hold: 11 of 11 expectation(s) hold.\n")), qPrintable(out + err));
        QCOMPARE(m_bus.zavctl({QStringLiteral("play"), QStringLiteral("--speed"), QStringLiteral("2"),
                               QStringLiteral(ZAV_EXAMPLES_DIR "/soak-1000.json")}, &out, &err), 0);
        QVERIFY2(out.contains(QStringLiteral("soak-1000.json: 1000 transfer(s), 15000 call(s) in ")), qPrintable(out.right(300)));
        QVERIFY(out.endsWith(QStringLiteral("All hold: 1000 of 1000 expectation(s) hold.\n")));
        QFile report(m_dir.filePath(QStringLiteral("report.xml")));
        QVERIFY(report.open(QIODevice::ReadOnly));
        QXmlStreamReader xml(&report);
        int suites = 0, cases = 0;
        while (!xml.atEnd()) {
            if (xml.readNext() != QXmlStreamReader::StartElement)
                continue;
            suites += xml.name() == QLatin1String("testsuite");
            cases += xml.name() == QLatin1String("testcase");
            QVERIFY(xml.name() != QLatin1String("failure"));
        }
        QVERIFY(!xml.hasError());
        QCOMPARE(suites, 4);
        QCOMPARE(cases, 11);

        // A load run: copies of each transfer at once, twice over, with the rate reported each time.
        const QString batch = QStringLiteral(ZAV_EXAMPLES_DIR "/commit-batch.json");
        QCOMPARE(m_bus.zavctl({QStringLiteral("play"), batch, QStringLiteral("--transfers"), QStringLiteral("3"),
                               QStringLiteral("--repeat"), QStringLiteral("2")}, &out), 0);
        QCOMPARE(out.count(QStringLiteral("commit-batch.json: 3 transfer(s), 21 call(s) in ")), 2);
        QVERIFY(out.endsWith(QStringLiteral("All hold: 6 of 6 expectation(s) hold.\n")));

        QFile example(QStringLiteral(ZAV_EXAMPLES_DIR "/download-cancelled.json"));
        QVERIFY(example.open(QIODevice::ReadOnly));
        const QString wrong = write(QStringLiteral("wrong.json"), example.readAll().replace("\"state\": \"cancelled\"", "\"state\": \"done\""));
        QCOMPARE(m_bus.zavctl({QStringLiteral("play"), wrong}, &out), 1);
        QVERIFY2(out.contains(QStringLiteral("FAIL wrong.json: film at 1100 ms (line 13:5): progress 0.3, speed 2048, "
                                             "state \"done\": state is \"cancelled\", expected \"done\"\n")), qPrintable(out));
    }

    void badFilesAreReportedAndNothingIsPlayed()
    {
        const QString good = QStringLiteral(ZAV_EXAMPLES_DIR "/commit-batch.json");
        const QList<std::pair<QByteArray, QString>> bad {
            {"{\"transfers\": [{\"key\": \"a\"}],\n \"timeline\": [{\"at\": 0, \"transfer\": \"a\", \"call\": [\"setProgres\", 1]}]}",
             QStringLiteral("2:51: no change \"setProgres\"; did you mean \"setProgress\"?")},
            {"{\"transfers\": [{\"key\": \"a\"}\n \"timeline\": []}", QStringLiteral("2:2: ',' or ']' is expected")},
            {"{\"transfers\": [{\"key\": \"a\"}],\n \"timeline\": [{\"at\": -5, \"transfer\": \"a\", \"request\": \"cancel\"}]}",
             QStringLiteral("2:22: \"at\" must be a number of at least 0")},
            {"{\"transfers\": [{\"key\": \"a\"}], \"answers\": [{\"request\": \"cancel\", \"transfer\": \"b\"}]}",
             QStringLiteral("1:77: no transfer with the key \"b\"")},
            {"{\"transfers\": [{\"key\": \"a\", \"calls\": [[\"setSize\", \"big\"]]}]}", QStringLiteral("1:51: argument 1 of setSize must be a whole number")}};
        for (const auto &[text, message] : bad) {
            QString out, err;
            QCOMPARE(m_bus.zavctl({QStringLiteral("play"), good, write(QStringLiteral("bad.json"), text)}, &out, &err), 2);
            QCOMPARE(err, QStringLiteral("zavctl: %1:%2\n").arg(m_dir.filePath(QStringLiteral("bad.json")), message));
        }
        QVERIFY(m_bus.sync());
        for (const QJsonObject &line : m_bus.journal())
            QVERIFY(line.value(QStringLiteral("call")).toString() != QLatin1String("registerTransfer"));
    }

    void recordedSessionPlaysBackTheSame()
    {
        // A tester's session in the app's pages: a transfer, changes, a cancel request answered.
        {
            MApplicationWindow window;
            window.show();
            ZAVTestShowTransferPage show;
            show.appear();
            show.addTransfer(QStringLiteral("Download"), QStringLiteral("Transfer 2"), QStringLiteral("Transfer Message 3"),
                             QString(), QStringLiteral("Active"), QString(), QStringLiteral("10"), QStringLiteral("0"), false);
            ZAVTestElement *row = show.rows().constLast();
            pressOn(&window, row);
            ZAVTestElementDetail *detail = show.detailPage();
            typeAndReturn(detail->sizeField(), QStringLiteral("2048"));
            dragSlider(detail->progressSlider(), 150);
            pickOption(detail->messageList(), QStringLiteral("Transfer Message 6"));
            clickOn(&window, detail->closeButton());
            QCOMPARE(m_bus.zavctl({QStringLiteral("request"), row->transferId(), QStringLiteral("cancel")}), 0);
            QTRY_VERIFY(row->infoButton()->isVisible());
            DialogAnswerer answerer(&window);
            answerer.answerNext(M::OkButton);
            clickOn(&window, row->infoButton());
            QTRY_VERIFY(answerer.answered());
            QVERIFY(m_bus.sync());
        }
        const QString scenario = m_dir.filePath(QStringLiteral("recorded.json"));
        QString out;
        QCOMPARE(m_bus.zavctl({QStringLiteral("record"), QStringLiteral("--journal"), m_bus.journalPath(),
                               QStringLiteral("--out"), scenario}, &out), 0);
        const QStringList session = calls();
        // Recorded live, the playback of that scenario makes the same scenario again.
        QProcess live;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), m_bus.address());
        live.setProcessEnvironment(env);
        live.start(QStringLiteral(ZAVCTL_BIN), {QStringLiteral("record"), QStringLiteral("--out"), m_dir.filePath(QStringLiteral("live.json"))});
        QVERIFY(live.waitForReadyRead(5000));
        QCOMPARE(m_bus.zavctl({QStringLiteral("play"), scenario}, &out), 0);
        QVERIFY(live.waitForFinished(5000));
        QCOMPARE(live.exitCode(), 0);
        QFile recorded(scenario), again(m_dir.filePath(QStringLiteral("live.json")));
        QVERIFY(recorded.open(QIODevice::ReadOnly) && again.open(QIODevice::ReadOnly));
        // The same scenario, apart from its name (the bus name) and times.
        static const QRegularExpression time(QStringLiteral("\"at\":[0-9]+"));
        QCOMPARE(QString::fromUtf8(again.readAll()).remove(time).section(QLatin1Char('\n'), 2),
                 QString::fromUtf8(recorded.readAll()).remove(time).section(QLatin1Char('\n'), 2));
        QVERIFY(session.contains(QStringLiteral("sendRequest [\"cancel\"]")));
        QVERIFY(session.contains(QStringLiteral("markCancelled []")));
        m_bus.stopService();
        QVERIFY(m_bus.startService());
        QCOMPARE(m_bus.zavctl({QStringLiteral("play"), scenario}, &out), 0);
        QVERIFY(m_bus.sync());
        QCOMPARE(calls(), session);
    }

private:
    QString write(const QString &name, const QByteArray &text)
    {
        QFile file(m_dir.filePath(name));
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
            return QString();
        file.write(text);
        return file.fileName();
    }

    // The journal's calls from the first registration on, apart from times, ids and senders.
    QStringList calls() const
    {
        QStringList seen;
        for (const QJsonObject &line : m_bus.journal()) {
            const QString call = line.value(QStringLiteral("call")).toString();
            if ((seen.isEmpty() && call != QLatin1String("registerTransfer")) || call == QLatin1String("ping")
                || call == QLatin1String("clientGone"))
                continue;
            seen << call + QLatin1Char(' ') + QString::fromUtf8(QJsonDocument(line.value(QStringLiteral("args")).toArray()).toJson(QJsonDocument::Compact));
        }
        return seen;
    }

    TestBus m_bus;
    QTemporaryDir m_dir;
};

ZAV_TEST_MAIN(tst_Scenario)
#include "tst_scenario.moc"
