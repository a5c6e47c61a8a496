// SPDX-License-Identifier: MIT
#ifndef BENCHUTIL_H
#define BENCHUTIL_H

// What every benchmark here shares. Figures are CPU time per operation, which holds steady on a
// shared machine where wall-clock rates move 2-3x between runs; variants run interleaved
// (A B A B ...) with the bus and the service drained between blocks, so that neither the
// machine's moods nor one variant's leftovers land on one variant alone.
#include <QString>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <unistd.h>
#include <functional>
#include <vector>

namespace Bench {

// CPU seconds of this process, all threads (QtDBus writes from a thread of its own).
inline double processCpu()
{
    timespec now {};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return double(now.tv_sec) + double(now.tv_nsec) / 1e9;
}

// CPU seconds another process has used so far, from /proc.
inline double processCpu(qint64 pid)
{
    char path[64];
    std::snprintf(path, sizeof path, "/proc/%lld/stat", static_cast<long long>(pid));
    FILE *file = std::fopen(path, "r");
    if (!file)
        return 0;
    char buffer[1024] = {};
    const size_t got = std::fread(buffer, 1, sizeof buffer - 1, file);
    std::fclose(file);
    buffer[got] = '\0';
    const char *fields = std::strrchr(buffer, ')');
    unsigned long long utime = 0, stime = 0;
    if (!fields
        || std::sscanf(fields + 2, "%*c %*d %*d %*d %*d %*d %*u %*u %*u %*u %*u %llu %llu", &utime, &stime) != 2)
        return 0;
    return double(utime + stime) / double(sysconf(_SC_CLK_TCK));
}

struct Figure
{
    std::vector<double> samples;
    double median() const
    {
        std::vector<double> v = samples;
        std::sort(v.begin(), v.end());
        return v.empty() ? 0 : v[v.size() / 2];
    }
    double low() const { return samples.empty() ? 0 : *std::min_element(samples.begin(), samples.end()); }
    double high() const { return samples.empty() ? 0 : *std::max_element(samples.begin(), samples.end()); }
};

struct Variant
{
    Variant(const char *variantName, std::function<double(int)> run)
        : name(variantName)
        , block(std::move(run))
    {
    }
    const char *name;
    // Runs one block of `count` operations; returns the CPU seconds to count for it.
    std::function<double(int count)> block;
    Figure perOp; // microseconds of CPU per operation, one sample per block
};

// Runs every variant `rounds` times, interleaved, `count` operations a block, with `drain`
// between blocks.
inline void interleave(std::vector<Variant> &variants, int rounds, int count, const std::function<void()> &drain)
{
    for (int round = 0; round < rounds; ++round) {
        for (Variant &variant : variants) {
            drain();
            const double cpu = variant.block(count);
            variant.perOp.samples.push_back(cpu * 1e6 / count);
        }
    }
    drain();
}

inline void header(const char *title)
{
    std::printf("\n%s\n%-52s %10s %19s %8s  %s\n", title, "measure", "median", "spread (min-max)", "ratio", "target");
}

// One line: a figure, its spread, and its ratio to a baseline with the target it is held to.
inline void line(const char *measure, const Figure &figure, const Figure *baseline = nullptr, double goal = 0,
                 const char *unit = "us")
{
    const double ratio = baseline && baseline->median() > 0 ? figure.median() / baseline->median() : 0;
    char target[64] = "";
    if (goal > 0)
        std::snprintf(target, sizeof target, "<= %.2f  %s", goal, ratio <= goal ? "met" : "NOT MET");
    char spread[40];
    std::snprintf(spread, sizeof spread, "%.1f-%.1f", figure.low(), figure.high());
    if (baseline)
        std::printf("%-52s %8.1f%-2s %19s %8.2f  %s\n", measure, figure.median(), unit, spread, ratio, target);
    else
        std::printf("%-52s %8.1f%-2s %19s %8s  %s\n", measure, figure.median(), unit, spread, "", target);
    std::fflush(stdout);
}

} // namespace Bench

#endif
