// SPDX-License-Identifier: MIT
// Reading a scenario: CPU per event for files of 5,000, 10,000 and 20,000 events, interleaved.
// Reading is linear when the cost per event does not grow with the file; the largest file (about
// 5 MB, as a long recording makes) is also held to a time of its own.
#include "BenchUtil.h"
#include "Scenario.h"

#include <QCoreApplication>
#include <QFile>
#include <QTemporaryDir>

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
} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QTemporaryDir dir;
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
    return 0;
}
