// SPDX-License-Identifier: MIT
// The shared vocabulary, the interface's rules and zavctl's parser, in-process: no bus.
#include "CommandLine.h"
#include "Renderers.h"
#include "TransferRecord.h"
#include "ZavContract.h"
#include "ZavTransfer.h"

#include <QJsonDocument>
#include <QTest>

#include <algorithm>
#include <cmath>
#include <limits>

namespace T = ZavBus::Transfers;

class tst_Common : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // The rules come from the interface file's annotations: a range lost on the way (a method
    // renamed, an argument added before the number) would let the service take what it refuses.
    void rulesAreTheInterfaceFiles()
    {
        const Zav::CallRule *progress = Zav::callRule(QLatin1String(T::setProgress));
        QVERIFY(progress && progress->takesId && progress->hasMax);
        QCOMPARE(progress->types, QByteArray("d"));
        QCOMPARE(progress->refusal(0), QString());
        QCOMPARE(progress->refusal(1), QString());
        QCOMPARE(progress->refusal(std::nextafter(1.0, 2.0)),
                 QStringLiteral("done of setProgress must be a number from 0 to 1"));
        QVERIFY(!progress->refusal(-0.000001).isEmpty());
        QVERIFY(!progress->refusal(std::numeric_limits<double>::quiet_NaN()).isEmpty());
        QVERIFY(!progress->refusal(std::numeric_limits<double>::infinity()).isEmpty());

        const Zav::CallRule *count = Zav::callRule(QLatin1String(T::setCount));
        QCOMPARE(count->refusal(std::numeric_limits<qint32>::max()), QString());
        QCOMPARE(count->refusal(-1), QStringLiteral("count of setCount must not be negative"));
        QCOMPARE(count->upperBound(), double(std::numeric_limits<qint32>::max()));
        QCOMPARE(Zav::callRule(QLatin1String(T::setServiceIconType))->refusal(3),
                 QStringLiteral("type of setServiceIconType must be from 0 to 2, not 3"));

        const Zav::CallRule *registration = Zav::callRule(QLatin1String(T::registerTransfer));
        QVERIFY(!registration->takesId);
        QCOMPARE(registration->types, QByteArray("sis"));
        QCOMPARE(registration->bounded, 1);
        QVERIFY(!registration->refusal(-1).isEmpty());

        const Zav::CallRule *completed = Zav::callRule(QLatin1String(T::markCompleted));
        QCOMPARE(completed->types, QByteArray("bss"));
        QCOMPARE(completed->argumentNames, QStringList({"showResult", "message", "resultUri"}));
        QCOMPARE(completed->refusal(-5), QString());
        QVERIFY(!Zav::callRule(QStringLiteral("setprogress")));

        const QStringList changes = Zav::changeNames();
        QCOMPARE(changes.size(), 25);
        QVERIFY(!changes.contains(QLatin1String(T::ping)) && !changes.contains(QLatin1String(T::registerTransfer)));
        QCOMPARE(Zav::MaxTextLength, 4096);
    }

    // The service writes what programs read: the same members in the same order, and every value
    // comes back as it went, a size past the signed 64-bit range included.
    void theServicesDescriptionIsTheTransfer()
    {
        TransferRecord record;
        record.id = QStringLiteral("7");
        record.live.size = std::numeric_limits<quint64>::max();
        record.live.progress = 0.25;
        record.live.serviceIconType = 2;
        record.live.state = Zav::TransferState::Failed;
        record.live.failureHeadline = QStringLiteral("No network");
        record.live.failureAction = QStringLiteral("Retry");
        const QJsonObject json = QJsonDocument::fromJson(record.toJson()).object();
        QCOMPARE(json.keys().size(), Zav::TransferInfo::members().size());
        QStringList written;
        for (const QByteArray &part : record.toJson().split(',')) {
            if (part.contains("\":"))
                written << QString::fromUtf8(part.mid(part.indexOf('"') + 1).split('"').first());
        }
        QCOMPARE(written, Zav::TransferInfo::members());

        const Zav::TransferInfo t = Zav::TransferInfo::fromJson(json);
        QCOMPARE(t.id, QStringLiteral("7"));
        QCOMPARE(t.size, std::numeric_limits<quint64>::max());
        QCOMPARE(t.serviceIconType, 2);
        QCOMPARE(t.state, Zav::TransferState::Failed);
        QCOMPARE(t.describeState(), QStringLiteral("Error: No network (repair: Retry)"));
        QCOMPARE(Zav::TransferInfo::fromJson(t.toJson()).toJson(), t.toJson());
        QCOMPARE(Zav::TransferInfo::fromJson({{"state", "stalled"}}).describeState(), QStringLiteral("stalled"));
        QCOMPARE(Zav::TransferInfo::fromJson({{"id", 12}}).id, QStringLiteral("12"));
        QCOMPARE(Zav::TransferInfo::fromJson({}).serviceIconType, -1);
    }

    // zavctl's table on narrow and wide terminals, with what a hostile program may name a transfer.
    void tableRowsFitAndCarryNoControls()
    {
        Zav::TransferInfo t;
        t.id = QStringLiteral("12");
        t.name = QStringLiteral("Holiday \x1b]0;owned\x07photos \u202eexe.jpg and a long tail of words");
        t.type = QStringLiteral("upload");
        t.size = std::numeric_limits<quint64>::max();
        t.progress = 0.5;
        t.stateWord = QStringLiteral("failed");
        t.failureHeadline = QStringLiteral("No\x1b[2Jnetwork");
        t.failureAction = QStringLiteral("Retry");
        const QJsonObject json = t.toJson();
        for (int width : {40, 80, 200}) {
            const TransferTable::Columns columns = TransferTable::columnsFor(width);
            const QString line = TransferTable::row(json, columns, false);
            QVERIFY2(line.size() <= width, qPrintable(QStringLiteral("%1: %2").arg(width).arg(line)));
            QVERIFY2(std::none_of(line.cbegin(), line.cend(),
                                  [](QChar c) { return c.unicode() < 0x20 || c.unicode() == 0x202e; }),
                     qPrintable(line));
            QVERIFY(line.startsWith(QLatin1String("12 ")));
            QVERIFY(TransferTable::header(columns).size() <= width);
        }
        const QString wide = TransferTable::row(json, TransferTable::columnsFor(0), true);
        QVERIFY2(wide.contains(QLatin1String("\x1b[1;31mError: No\\x1b[2Jnetwork (repair: Re")), qPrintable(wide));
        QVERIFY(wide.contains(QLatin1String("16.0 EiB")));

        QString out;
        QTextStream stream(&out);
        JsonRenderer(stream).transfer(json);
        stream.flush();
        QVERIFY2(out.contains(QLatin1String("\"size\": 18446744073709551615")), qPrintable(out));
    }

    void parserTakesWhatTheUsageSays()
    {
        using namespace CommandLine;
        const Command play {
            QStringLiteral("play"),
            {QStringLiteral("FILE...")},
            {{QStringLiteral("--speed"), QStringLiteral("N"), numberIn(0.01, 100, false)}, {QStringLiteral("--json")}},
            QStringLiteral("play scenarios"),
            QString()};
        const QList<Command> all {play, {QStringLiteral("list"), {}, {}, QStringLiteral("list"), QString()}};
        Invocation in;
        QCOMPARE(parse(play, all, {"a.json", "--speed=2", "b.json", "--json"}, &in), QString());
        QCOMPARE(in.operands, QStringList({"a.json", "b.json"}));
        QCOMPARE(in.value(QStringLiteral("--speed")), QStringLiteral("2"));
        QVERIFY(in.has(QStringLiteral("--json")));
        Invocation dashes;
        QCOMPARE(parse(play, all, {"--", "--json"}, &dashes), QString());
        QCOMPARE(dashes.operands, QStringList({"--json"}));
        Invocation bad;
        QVERIFY(!parse(play, all, {}, &bad).isEmpty()); // FILE... takes one or more
        QVERIFY(!parse(play, all, {"a", "--speed", "1000"}, &bad).isEmpty());
        QVERIFY(!parse(play, all, {"a", "--speed"}, &bad).isEmpty());
        QVERIFY(parse(play, all, {"a", "--jsn"}, &bad).contains(QLatin1String("--json")));
        QVERIFY(unknownCommand(all, QStringLiteral("lsit")).contains(QLatin1String("\"list\"")));
        QCOMPARE(play.synopsis(), QStringLiteral("play FILE... [--speed N] [--json]"));
    }
};

QTEST_GUILESS_MAIN(tst_Common)
#include "tst_common.moc"
