// SPDX-License-Identifier: MIT
// Reading a scenario: CPU per event for files of 5,000, 10,000 and 20,000 events, interleaved.
// Reading is linear when the cost per event does not grow with the file; the largest file (about
// 5 MB, as a long recording makes) is also held to a time of its own. Beside it, files no program
// would write: 2,000,000 numbers where a description goes (4 MB) and a recording made by zavctl
// record from a journal of 170,000 changes (26 MiB).
#include "BenchUtil.h"
#include "Scenario.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <sys/resource.h>

namespace {
QString writeScenario(const QTemporaryDir &dir, int events)
{
    QFile file(dir.filePath(QStringLiteral("events-%1.json").arg(events)));
    if (!file.open(QIODevice::WriteOnly))
        return QString();
    file.write("{\n  \"transfers\": [{\"key\": \"t1\", \"name\": \"Holiday photos\"}],\n  \"timeline\": [\n");
    for (int i = 0; i < events; ++i) {
        // About 250 bytes an event, with an escape in every tenth text.
        file.write(QStringLiteral(
                       "    {\"at\": %1, \"transfer\": \"t1\", \"call\": [\"setMessage\", \"Uploading part %2 of the "
                       "holiday photos to the cloud account; a message as long as a real program's would be, "
                       "%3 with its details\"]}%4\n")
                       .arg(i)
                       .arg(i)
                       .arg(i % 10 ? QStringLiteral("told") : QStringLiteral("\\\"quoted\\\""))
                       .arg(i + 1 < events ? QStringLiteral(",") : QString())
                       .toUtf8());
    }
    file.write("  ]\n}\n");
    return file.fileName();
}
QString writeNumbers(const QTemporaryDir &dir)
{
    QFile file(dir.filePath(QStringLiteral("numbers.json")));
    if (!file.open(QIODevice::WriteOnly))
        return QString();
    file.write("{\"description\": [0");
    for (int i = 1; i < 2000000; ++i)
        file.write(",1");
    file.write("], \"transfers\": [{\"key\": \"t1\"}], \"timeline\": []}\n");
    return file.fileName();
}

// A journal of one client's 100 transfers changing 170,000 times, as the service writes it.
QString writeJournal(const QTemporaryDir &dir)
{
    QFile file(dir.filePath(QStringLiteral("journal.jsonl")));
    if (!file.open(QIODevice::WriteOnly))
        return QString();
    const auto line = [&](qint64 ms, const QString &id, const char *call, const QString &args) {
        file.write(
            QStringLiteral("{\"time\":\"2026-12-08T08:%1:%2.%3Z\",\"sender\":\":1.5\",\"id\":\"%4\",\"call\":\"%5\","
                           "\"args\":[%6]}\n")
                .arg(ms / 60000 % 60, 2, 10, QLatin1Char('0'))
                .arg(ms / 1000 % 60, 2, 10, QLatin1Char('0'))
                .arg(ms % 1000, 3, 10, QLatin1Char('0'))
                .arg(id, QLatin1String(call), args)
                .toUtf8());
    };
    line(0, QString(), "serviceStarted", QStringLiteral("\"0.1.0\",1"));
    for (int i = 1; i <= 100; ++i)
        line(1, QString::number(i), "registerTransfer", QStringLiteral("\"Transfer %1\",1,\"bench\"").arg(i));
    for (int k = 0; k < 170000; ++k)
        line(2 + k / 50, QString::number(k % 100 + 1), "setMessage",
             QStringLiteral("\"message %1 for the transfer, about as long as a program's would be\"").arg(k));
    return file.fileName();
}

// Wall time of zavctl (ms) and, through `memory`, the largest child's peak so far (MiB): run
// one after another, each recording's peak is the figure once it is the largest.
double runZavCtl(const QStringList &arguments, double *memory)
{
    QElapsedTimer clock;
    clock.start();
    QProcess zavctl;
    zavctl.setStandardOutputFile(QProcess::nullDevice());
    zavctl.start(QStringLiteral(ZAVCTL_BIN), arguments);
    zavctl.waitForFinished(120000);
    rusage children {};
    getrusage(RUSAGE_CHILDREN, &children);
    *memory = children.ru_maxrss / 1024.0;
    return double(clock.nsecsElapsed()) / 1e6;
}
} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QTemporaryDir dir;
    // The recordings first, while this process is small: a child's peak counts the pages it
    // shares with this process until it runs zavctl.
    const QString journal = writeJournal(dir);
    Bench::Figure recordTime, recordMemory;
    for (int round = 0; round < 3; ++round) {
        double memory = 0;
        recordTime.samples.push_back(runZavCtl({QStringLiteral("record"), QStringLiteral("--journal"), journal,
                                                QStringLiteral("--out"), dir.filePath(QStringLiteral("recorded.json"))},
                                               &memory));
        recordMemory.samples.push_back(memory);
    }
    const std::vector<int> sizes {5000, 10000, 20000};
    std::vector<Bench::Variant> variants;
    std::vector<QString> files;
    for (const int events : sizes)
        files.push_back(writeScenario(dir, events));
    for (size_t i = 0; i < sizes.size(); ++i) {
        variants.emplace_back(i == 0       ? "read 5,000 events, per event"
                                  : i == 1 ? "read 10,000 events, per event"
                                           : "read 20,000 events, per event",
                              [file = files[i], events = sizes[i]](int count) {
                                  const double start = Bench::processCpu();
                                  for (int n = 0; n < count; ++n) {
                                      Scenario scenario;
                                      QString error;
                                      if (!scenario.load(file, &error) || scenario.timeline.size() != events + 1)
                                          std::fprintf(stderr, "bench_scenario: %s\n", qPrintable(error));
                                  }
                                  // Per event: the block's count is files read, each of `events` events.
                                  return (Bench::processCpu() - start) / events;
                              });
    }
    Bench::interleave(variants, 5, 1, [] {});
    Bench::header("== scenarios: CPU per event read (linear: the same per event at every size)");
    Bench::line(variants[0].name, variants[0].perOp);
    Bench::line(variants[1].name, variants[1].perOp, &variants[0].perOp, 1.5);
    Bench::line(variants[2].name, variants[2].perOp, &variants[0].perOp, 1.5);
    Bench::Figure whole;
    for (const double perEvent : variants[2].perOp.samples)
        whole.samples.push_back(perEvent * sizes[2] / 1000); // ms for the whole file
    Bench::Figure budget;
    budget.samples.push_back(500);
    Bench::line("read 20,000 events (5 MB), whole file", whole, &budget, 1.0, "ms");

    // The hostile file in CPU of this process; the recording in wall time and peak memory.
    const QString numbers = writeNumbers(dir);
    Bench::Figure numbersTime;
    for (int round = 0; round < 3; ++round) {
        const double start = Bench::processCpu();
        Scenario scenario;
        QString error;
        if (!scenario.load(numbers, &error))
            std::fprintf(stderr, "bench_scenario: %s\n", qPrintable(error));
        numbersTime.samples.push_back((Bench::processCpu() - start) * 1000);
    }
    Bench::header("== hostile and large files (3 rounds)");
    Bench::Figure second, journalSize;
    second.samples.push_back(1000);
    Bench::line("read 2,000,000 numbers in a description (4 MB)", numbersTime, &second, 1.0, "ms");
    journalSize.samples.push_back(double(QFile(journal).size()) / (1 << 20)); // the journal, MiB
    Bench::line("zavctl record of 170,000 changes (26 MiB), wall time", recordTime, &second, 1.5, "ms");
    Bench::line("zavctl record of 170,000 changes, peak memory", recordMemory, &journalSize, 3.0, "MiB");
    return 0;
}
