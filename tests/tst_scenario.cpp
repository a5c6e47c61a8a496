// SPDX-License-Identifier: MIT
// Scenarios against the real service: the examples played headless, a wrong expectation and bad
// files reported, and a session driven through the app's pages recorded and played back.
#include "AppDriver.h"
#include "TestBus.h"
#include "ZavBusNames.h"
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
#include <QFileInfo>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QScopeGuard>
#include <QTest>

#include <csignal>
#include <sys/stat.h>
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
        QCOMPARE(examples.size(), 8); // four of them chaos: a program leaving, a flood, a stall, garbage
        QStringList arguments {QStringLiteral("play"), QStringLiteral("--speed"), QStringLiteral("2"),
                               QStringLiteral("--junit"), m_dir.filePath(QStringLiteral("report.xml"))};
        for (const QString &example : std::as_const(examples))
            arguments << QStringLiteral(ZAV_EXAMPLES_DIR "/") + example;
        QString out, err;
        QCOMPARE(m_bus.zavctl(arguments, &out, &err), 0);
        QVERIFY2(out.endsWith(QStringLiteral("All hold: 22 of 22 expectation(s) hold.\n")), qPrintable(out + err));
        // The flood sent as many changes as its file says.
        const QList<QJsonObject> journal = m_bus.journal();
        QCOMPARE(std::count_if(journal.begin(), journal.end(),
                               [](const QJsonObject &line) {
                                   return line.value(QStringLiteral("call")) == QLatin1String("setSpeed")
                                       && line.value(QStringLiteral("args")).toArray().at(0).toInt() == 512;
                               }),
                 20000);
        QCOMPARE(m_bus.zavctl({QStringLiteral("play"), QStringLiteral("--speed"), QStringLiteral("2"),
                               QStringLiteral(ZAV_EXAMPLES_DIR "/soak-1000.json")},
                              &out, &err),
                 0);
        QVERIFY2(out.contains(QStringLiteral("soak-1000.json: 1000 transfer(s), 15000 call(s) in ")),
                 qPrintable(out.right(300)));
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
        QCOMPARE(suites, 8);
        QCOMPARE(cases, 22);

        // Against a service that keeps a departed program's transfers, the chaos shows it.
        m_bus.stopService();
        QVERIFY(m_bus.startService({QStringLiteral("--test-fault"), QStringLiteral("departed-kept")}));
        QCOMPARE(
            m_bus.zavctl({QStringLiteral("play"), QStringLiteral(ZAV_EXAMPLES_DIR "/chaos-disconnect.json")}, &out), 1);
        QVERIFY2(out.contains(QStringLiteral("gone true: the service still holds it")), qPrintable(out));
        m_bus.stopService();
        QVERIFY(m_bus.startService());

        // A load run: copies of each transfer at once, twice over, with the rate reported each time.
        const QString batch = QStringLiteral(ZAV_EXAMPLES_DIR "/commit-batch.json");
        const QString repeated = m_dir.filePath(QStringLiteral("repeated.xml"));
        QVERIFY2(m_bus.zavctl({QStringLiteral("play"), batch, QStringLiteral("--transfers"), QStringLiteral("3"),
                               QStringLiteral("--repeat"), QStringLiteral("2"), QStringLiteral("--junit"), repeated},
                              &out)
                     == 0,
                 qPrintable(out));
        // Each run's cases have names of their own (before, the second run's repeated the first's).
        QFile repeatedReport(repeated);
        QVERIFY(repeatedReport.open(QIODevice::ReadOnly));
        QSet<QString> names;
        int repeatedCases = 0;
        for (QXmlStreamReader reader(&repeatedReport); !reader.atEnd();) {
            if (reader.readNext() == QXmlStreamReader::StartElement && reader.name() == QLatin1String("testcase")) {
                names.insert(reader.attributes().value(QLatin1String("name")).toString());
                ++repeatedCases;
            }
        }
        QCOMPARE(repeatedCases, 6);
        QCOMPARE(names.size(), 6);
        QCOMPARE(out.count(QStringLiteral("commit-batch.json: 3 transfer(s), 21 call(s) in ")), 2);
        QVERIFY(out.endsWith(QStringLiteral("All hold: 6 of 6 expectation(s) hold.\n")));

        QFile example(QStringLiteral(ZAV_EXAMPLES_DIR "/download-cancelled.json"));
        QVERIFY(example.open(QIODevice::ReadOnly));
        // Two wrong expectations and no right one: a report that counted passes as failures
        // would not show it with one of each.
        const QString wrong = write(QStringLiteral("wrong.json"),
                                    example.readAll()
                                        .replace("\"state\": \"cancelled\"", "\"state\": \"done\"")
                                        .replace("\"expectRequest\": \"cancel\"", "\"expectRequest\": \"pause\""));
        QCOMPARE(m_bus.zavctl({QStringLiteral("play"), wrong, QStringLiteral("--junit"),
                               m_dir.filePath(QStringLiteral("wrong.xml"))},
                              &out),
                 1);
        QFile failed(m_dir.filePath(QStringLiteral("wrong.xml")));
        QVERIFY(failed.open(QIODevice::ReadOnly));
        const QByteArray junit = failed.readAll();
        QVERIFY2(junit.contains("failures=\"2\"") && junit.count("<failure ") == 2, junit.constData());
        QVERIFY2(out.contains(QStringLiteral("FAIL wrong.json: film at 1100 ms (line 13:5): progress 0.3, speed 2048, "
                                             "state \"done\": state is \"cancelled\", expected \"done\"\n")),
                 qPrintable(out));
        // A progress off by a millionth either way fails.
        for (const char *progress : {"0.299999", "0.300001"}) {
            example.seek(0);
            const QString off = write(
                QStringLiteral("off.json"),
                example.readAll().replace("\"progress\": 0.3,", QByteArray("\"progress\": ") + progress + ','));
            QCOMPARE(m_bus.zavctl({QStringLiteral("play"), off}, &out), 1);
            QVERIFY2(out.contains(QStringLiteral("progress is 0.3, expected %1").arg(QLatin1String(progress))),
                     qPrintable(out));
        }
    }

    void badFilesAreReportedAndNothingIsPlayed()
    {
        const QString good = QStringLiteral(ZAV_EXAMPLES_DIR "/commit-batch.json");
        const QList<std::pair<QByteArray, QString>> bad {
            {"{\"transfers\": [{\"key\": \"a\"}],\n \"timeline\": [{\"at\": 0, \"transfer\": \"a\", \"call\": "
             "[\"setProgres\", 1]}]}",
             QStringLiteral("2:51: no change \"setProgres\"; did you mean \"setProgress\"?")},
            {"{\"transfers\": [{\"key\": \"a\"}\n \"timeline\": []}", QStringLiteral("2:2: ',' or ']' is expected")},
            // The word zavctl's table once showed: before, played and failed.
            {"{\"transfers\": [{\"key\": \"a\"}],\n \"timeline\": [{\"at\": 0, \"transfer\": \"a\", \"expect\": "
             "{\"state\": \"running\"}}]}",
             QStringLiteral("2:62: \"running\" is no state: did you mean \"active\"?")},
            {"{\"transfers\": [{\"key\": \"a\"}],\n \"timeline\": [{\"at\": -5, \"transfer\": \"a\", \"request\": "
             "\"cancel\"}]}",
             QStringLiteral("2:22: \"at\" must be a number from 0 to 86400000")},
            // Times past the bound overflowed the player's timer (it spun), or never fired.
            {"{\"transfers\": [{\"key\": \"a\"}], \"answers\": [{\"request\": \"cancel\", \"after\": 3e9}]}",
             QStringLiteral("1:74: \"after\" must be a number from 0 to 86400000")},
            // What the service refuses is a bad file: before, play sent it and said "All hold".
            {"{\"transfers\": [{\"key\": \"a\", \"calls\": [[\"setProgress\", 2.0]]}]}",
             QStringLiteral("1:55: argument 1 of setProgress must be from 0 to 1, or the service refuses it")},
            // 2^64, past the interface's 64 bits: before, sent as 0 and "All hold".
            {"{\"transfers\": [{\"key\": \"a\", \"calls\": [[\"setSize\", 18446744073709551616]]}]}",
             QStringLiteral("1:51: argument 1 of setSize must be from 0 to 18446744073709551615, or the service "
                            "refuses it")},
            // A member named twice: before, the first was dropped without a word.
            {"{\"transfers\": [{\"key\": \"a\"}], \"timeline\": [\n{\"at\": 0, \"transfer\": \"a\", \"call\": "
             "[\"setActive\", 0.5], \"call\": [\"setCount\", 1]}]}",
             QStringLiteral("2:56: the member \"call\" is named twice in one object")},
            // Before, 100,000 levels exhausted the memory and 40,000 the stack; 1e9 copies were cut silently.
            {QByteArray("{\"transfers\": ") + QByteArray(100000, '[') + QByteArray(100000, ']') + "}",
             QStringLiteral("1:78: objects and arrays nest deeper than 64 levels")},
            {"{\"copies\": 1e9, \"transfers\": [{\"key\": \"a\"}]}",
             QStringLiteral("1:12: \"copies\" must be a number from 1 to 10000")},
            {"{\"transfers\": [{\"key\": \"a\"}], \"timeline\": [{\"at\": 0, \"transfer\": \"a\", \"ramp\": {\"from\": "
             "0, \"to\": 1, \"over\": 8e7, \"step\": 1}}]}",
             QStringLiteral("1:79: a ramp takes at most 1000000 steps")},
            {"{\"transfers\": [{\"key\": \"a\", \"at\": 100}],\n \"timeline\": [{\"at\": 50, \"transfer\": \"a\", "
             "\"call\": [\"markPaused\"]}]}",
             QStringLiteral("2:15: \"a\" is not registered yet at 50 ms")},
            {"{\"transfers\": [{\"key\": \"a\"}], \"answers\": [{\"request\": \"cancel\", \"transfer\": \"b\"}]}",
             QStringLiteral("1:77: no transfer with the key \"b\"")},
            {"{\"transfers\": [{\"key\": \"a\", \"calls\": [[\"setSize\", \"big\"]]}]}",
             QStringLiteral("1:51: argument 1 of setSize must be a whole number")},
            // Chaos within bounds: a client that exists, a flood of at most a million.
            {"{\"transfers\": [{\"key\": \"a\", \"client\": \"x\"}], \"timeline\": [{\"at\": 0, \"disconnect\": "
             "\"y\"}]}",
             QStringLiteral("1:83: no transfer has the client \"y\"")},
            {"{\"transfers\": [{\"key\": \"a\"}], \"timeline\": [{\"at\": 0, \"transfer\": \"a\", \"flood\": "
             "{\"call\": [\"setCount\", 1], \"count\": 1e7}}]}",
             QStringLiteral("1:115: \"count\" must be a number from 1 to 1000000")}};
        for (const auto &[text, message] : bad) {
            QString out, err;
            QCOMPARE(m_bus.zavctl({QStringLiteral("play"), good, write(QStringLiteral("bad.json"), text)}, &out, &err),
                     2);
            QCOMPARE(err, QStringLiteral("zavctl: %1:%2\n").arg(m_dir.filePath(QStringLiteral("bad.json")), message));
        }
        QString err;
        QCOMPARE(m_bus.zavctl({QStringLiteral("play"), good, QStringLiteral("--transfers"), QStringLiteral("10001")},
                              nullptr, &err),
                 2);
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
            show.addTransfer(QStringLiteral("Download"), QStringLiteral("Transfer 2"),
                             QStringLiteral("Transfer Message 3"), QString(), QStringLiteral("Active"), QString(),
                             QStringLiteral("10"), QStringLiteral("0"), false);
            QVERIFY(registrationsAnswered(&show));
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
                               QStringLiteral("--out"), scenario},
                              &out),
                 0);
        const QStringList session = calls();
        // Recorded live, the playback of that scenario makes the same scenario again.
        QProcess live;
        startZavctl(live,
                    {QStringLiteral("record"), QStringLiteral("--out"), m_dir.filePath(QStringLiteral("live.json"))});
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

    void playFailsWhatTheServiceDidNotDo()
    {
        // Before, numbers within a millionth of each other passed, and a call the service refused
        // went unnoticed ("All hold").
        const QString file = write(
            QStringLiteral("refused.json"),
            R"({"transfers": [{"key": "a", "calls": [["setSize", 5000001000], ["setProgress", 0.333], ["setCount", 99]]}],
 "timeline": [{"at": 10, "transfer": "a", "expect": {"size": 5000000000, "progress": 0.333, "count": 100}},
              {"at": 20, "transfer": "a", "call": ["endCommit"]}]})");
        QString out;
        QCOMPARE(m_bus.zavctl({QStringLiteral("play"), file}, &out), 1);
        QCOMPARE(
            out,
            QStringLiteral("FAIL refused.json: a at 10 ms (line 2:15): count 100, progress 0.333, size 5000000000: "
                           "count is 99, expected 100; size is 5000001000, expected 5000000000\n"
                           "FAIL refused.json: a at 20 ms (line 3:15): endCommit []: the service refused it: "
                           "com.kelvo.zav.Error.NotInCommit: no commit was started\n"
                           "FAILED: 0 of 1 expectation(s) hold; 1 call(s) refused or unanswered.\n"));
        QCOMPARE(m_bus.zavctl({QStringLiteral("refuse"), QStringLiteral("on")}), 0);
        QCOMPARE(m_bus.zavctl({QStringLiteral("play"), file}, &out), 1);
        QVERIFY2(out.startsWith(
                     QStringLiteral("FAIL refused.json: a at 0 ms (line 1:16): register \"a\": the service refused the "
                                    "registration: com.kelvo.zav.Error.Refused: the service refuses new transfers\n")),
                 qPrintable(out));
    }

    void anAnswerWaitsItsTime()
    {
        const QString file = write(QStringLiteral("later.json"),
                                   R"({"transfers": [{"key": "a", "calls": [["setActive", 0.1]]}],
 "timeline": [{"at": 0, "transfer": "a", "request": "cancel"},
              {"at": 200, "transfer": "a", "expect": {"state": "active"}},
              {"at": 800, "transfer": "a", "expect": {"state": "cancelled"}}],
 "answers": [{"request": "cancel", "after": 400}]})");
        QString out;
        QCOMPARE(m_bus.zavctl({QStringLiteral("play"), file}, &out), 0);
        QVERIFY2(out.endsWith(QStringLiteral("All hold: 2 of 2 expectation(s) hold.\n")), qPrintable(out));
    }

    void recordingKeepsTheJournalsOrderAndRuns()
    {
        // One journal, two runs of the service (as scripts/run keeps it): before, record mixed the
        // runs' transfers, and played two registrations of one millisecond before the first's calls.
        const QString journal = m_dir.filePath(QStringLiteral("runs.journal"));
        QVERIFY(m_bus.startService({QStringLiteral("--journal"), journal}, false));
        QCOMPARE(m_bus.zavctl({QStringLiteral("play"), QStringLiteral(ZAV_EXAMPLES_DIR "/commit-batch.json")}), 0);
        QVERIFY(m_bus.startService({QStringLiteral("--journal"), journal}, false));
        const QString two = write(QStringLiteral("two.json"),
                                  R"({"transfers": [{"key": "a", "calls": [["setSize", 100], ["setProgress", 0.04]]},
 {"key": "b", "type": "sync", "calls": [["setSize", 200]]}], "timeline": [{"at": 0, "transfer": "a", "call": ["setMessage", "x"]}]})");
        QCOMPARE(m_bus.zavctl({QStringLiteral("play"), two}), 0);
        QVERIFY(m_bus.sync());
        const QStringList original = calls(m_bus.journal(journal));
        QCOMPARE(original.mid(0, 4),
                 QStringList({QStringLiteral("registerTransfer [\"a\",0,\"\"]"), QStringLiteral("setSize [100]"),
                              QStringLiteral("setProgress [0.03999999910593033]"),
                              QStringLiteral("registerTransfer [\"b\",2,\"\"]")}));
        const QString recorded = m_dir.filePath(QStringLiteral("recorded.json"));
        QString out;
        QCOMPARE(m_bus.zavctl({QStringLiteral("record"), QStringLiteral("--journal"), journal, QStringLiteral("--out"),
                               recorded},
                              &out),
                 0);
        QVERIFY2(out.startsWith(QStringLiteral("From run 2 of 2 of the service in ")), qPrintable(out));
        QFile file(recorded);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QVERIFY(file.readAll().contains("[\"setProgress\",0.04]")); // not 0.03999999910593033
        QVERIFY(m_bus.startService());
        QCOMPARE(m_bus.zavctl({QStringLiteral("play"), recorded}, &out), 0);
        QVERIFY(m_bus.sync());
        QCOMPARE(calls(m_bus.journal()), original);
        QCOMPARE(m_bus.zavctl({QStringLiteral("record"), QStringLiteral("--journal"), journal, QStringLiteral("--run"),
                               QStringLiteral("1"), QStringLiteral("--out"), recorded},
                              &out),
                 0);
        QVERIFY(out.contains(QStringLiteral("Recorded 1 transfer(s)")));

        // Through a pipe, as <(cat journal) gives it (before: "no client registered a transfer").
        const QString fifo = m_dir.filePath(QStringLiteral("fifo"));
        QVERIFY(::mkfifo(QFile::encodeName(fifo).constData(), 0600) == 0);
        QProcess writer;
        writer.start(QStringLiteral("sh"),
                     {QStringLiteral("-c"), QStringLiteral("cat \"$0\" > \"$1\""), journal, fifo});
        QCOMPARE(
            m_bus.zavctl(
                {QStringLiteral("record"), QStringLiteral("--journal"), fifo, QStringLiteral("--out"), recorded}, &out),
            0);
        QVERIFY(out.contains(QStringLiteral("Recorded 2 transfer(s)")));
        writer.waitForFinished(5000);
        // A full disk is an error (before, exit 0 and "Recorded"), for play's report too.
        QString err;
        QCOMPARE(m_bus.zavctl({QStringLiteral("record"), QStringLiteral("--journal"), journal, QStringLiteral("--out"),
                               QStringLiteral("/dev/full")},
                              &out, &err),
                 1);
        QVERIFY2(err.contains(QStringLiteral("No space left")), qPrintable(err));
        QCOMPARE(
            m_bus.zavctl({QStringLiteral("play"), recorded, QStringLiteral("--junit"), QStringLiteral("/dev/full")},
                         &out, &err),
            1);
        QVERIFY2(err.contains(QStringLiteral("No space left")), qPrintable(err));
        // A device without end is refused with a word (before, read until memory ran out).
        QCOMPARE(m_bus.zavctl({QStringLiteral("play"), QStringLiteral("/dev/zero")}, &out, &err), 2);
        QVERIFY2(err.contains(QStringLiteral("at most 64 MiB")), qPrintable(err));
    }

    void aPlayFollowsTheServiceItRegisteredWith()
    {
        // The service starts again during the play and another program's transfer takes the
        // same id: before, the player's expectation read that one and held.
        const QString file = write(QStringLiteral("restart.json"), R"({"transfers": [{"key": "a"}], "timeline": [
 {"at": 0, "transfer": "a", "expect": {"progress": 0}},
 {"at": 1500, "transfer": "a", "expect": {"progress": 0}}]})");
        QProcess play;
        startZavctl(play, {QStringLiteral("play"), file});
        QVERIFY(play.waitForReadyRead(5000));
        QVERIFY(m_bus.startService());
        QDBusConnection other = QDBusConnection::connectToBus(m_bus.address(), QStringLiteral("other"));
        const auto gone = qScopeGuard([] { QDBusConnection::disconnectFromBus(QStringLiteral("other")); });
        QDBusMessage registration = QDBusMessage::createMethodCall(
            QLatin1String(ZavBus::ServiceName), QLatin1String(ZavBus::ObjectPath),
            QLatin1String(ZavBus::TransfersInterface), QLatin1String(ZavBus::Transfers::registerTransfer));
        registration.setArguments({QStringLiteral("another's"), 1, QString()});
        QCOMPARE(other.call(registration).arguments().value(0).toString(), QStringLiteral("1"));
        QVERIFY(play.waitForFinished(10000));
        const QByteArray out = play.readAll();
        QVERIFY2(play.exitCode() == 1 && out.contains("FAIL restart.json: a at 1500 ms"), out.constData());
    }

    void aHungServiceOrASignalEndsThePlay()
    {
        // Before, an expectation due while the service hung waited 25 s, and SIGTERM was ignored.
        const QString file = write(QStringLiteral("slow.json"), R"({"transfers": [{"key": "a"}], "timeline": [
 {"at": 0, "transfer": "a", "expect": {"size": 0}},
 {"at": 300, "transfer": "a", "expect": {"size": 0}},
 {"at": 60000, "transfer": "a", "expect": {"size": 0}}]})");
        QProcess play;
        startZavctl(play, {QStringLiteral("play"), file});
        QVERIFY(play.waitForReadyRead(5000));
        m_bus.pauseService(true);
        const bool ended = play.waitForFinished(15000);
        m_bus.pauseService(false);
        QVERIFY(ended);
        QCOMPARE(play.exitCode(), 1);
        const QByteArray hung = play.readAll();
        QVERIFY2(hung.contains("FAIL slow.json: a at 300 ms (line 3:2): size 0: the service did not answer within 5 s; "
                               "the rest of this play is skipped\n"),
                 hung.constData());
        startZavctl(play, {QStringLiteral("play"), file});
        QByteArray out;
        for (int i = 0; i < 100 && out.count("ok ") < 2; ++i) {
            play.waitForReadyRead(100);
            out += play.readAll();
        }
        play.terminate();
        QVERIFY(play.waitForFinished(3000));
        QCOMPARE(play.exitCode(), 1);
        QVERIFY2(
            (out + play.readAll()).endsWith("INTERRUPTED: 2 of 2 expectation(s) held before the play was stopped.\n"),
            out.constData());

        // Ctrl+C in a flood of the most calls a file may ask (before, still playing 8 s later:
        // a million calls were queued at once and written out before leaving).
        const QString flood = write(QStringLiteral("flood.json"), R"({"transfers": [{"key": "a"}], "timeline": [
 {"at": 0, "transfer": "a", "expect": {"size": 0}},
 {"at": 0, "transfer": "a", "flood": {"call": ["setSpeed", 1], "count": 1000000}}]})");
        QVERIFY(m_bus.sync());
        const qint64 before = QFileInfo(m_bus.journalPath()).size();
        startZavctl(play, {QStringLiteral("play"), flood});
        // Flooding: the service's journal grows.
        QTRY_VERIFY(QFileInfo(m_bus.journalPath()).size() > before + 200000);
        ::kill(pid_t(play.processId()), SIGINT);
        QVERIFY(play.waitForFinished(3000));
        QVERIFY(m_bus.sync());
    }

private:
    void startZavctl(QProcess &process, const QStringList &arguments)
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), m_bus.address());
        process.setProcessEnvironment(env);
        process.start(QStringLiteral(ZAVCTL_BIN), arguments);
    }

    QString write(const QString &name, const QByteArray &text)
    {
        QFile file(m_dir.filePath(name));
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
            return QString();
        file.write(text);
        return file.fileName();
    }

    // The journal's calls of the last run of the service from the first registration on, apart
    // from times, ids and senders.
    QStringList calls() const { return calls(m_bus.journal()); }
    static QStringList calls(const QList<QJsonObject> &journal)
    {
        QStringList seen;
        for (const QJsonObject &line : journal) {
            const QString call = line.value(QStringLiteral("call")).toString();
            if (call == QLatin1String("serviceStarted"))
                seen.clear();
            if ((seen.isEmpty() && call != QLatin1String("registerTransfer")) || call == QLatin1String("ping")
                || call == QLatin1String("clientGone"))
                continue;
            seen << call + QLatin1Char(' ')
                    + QString::fromUtf8(
                        QJsonDocument(line.value(QStringLiteral("args")).toArray()).toJson(QJsonDocument::Compact));
        }
        return seen;
    }

    TestBus m_bus;
    QTemporaryDir m_dir;
};

ZAV_TEST_MAIN(tst_Scenario)
#include "tst_scenario.moc"
