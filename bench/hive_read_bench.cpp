// Warm-cache costs of the hive reader, per hive file (Google Benchmark):
//
//   OpenAndLookups/FILE   Hive::open, then the lookups of lookups.tsv (each
//                         checked against its expected data)
//   Lookups/FILE          the same lookups in a hive opened once
//   DumpHive/FILE         dumpHive over the whole hive (every key and value as text)
//   ValidateHive/FILE     validateHive, the structural check of every cell
//
//   morvalin_hive_read_bench [--benchmark_...] [--lookups FILE] HIVE...
//
// Each file is read whole once before the runs, so its pages are cached.

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>

#include "bench/lookup_set.h"
#include "bench/page_cache.h"
#include "hive/dump.h"
#include "hive/hive.h"
#include "hive/validate.h"

namespace {

using engine::hive::Hive;

void openAndLookups(benchmark::State& state, const std::filesystem::path& file,
                    const std::vector<bench::Lookup>& lookups) {
    for (auto _ : state) {
        auto hive = Hive::open(file);
        if (!hive) {
            state.SkipWithError(hive.error().describe().c_str());
            return;
        }
        if (auto found = bench::runLookups(*hive, lookups); !found) {
            state.SkipWithError(found.error().describe().c_str());
            return;
        }
    }
    state.counters["lookups"] = static_cast<double>(lookups.size());
}

void lookupsInOpenHive(benchmark::State& state, const std::filesystem::path& file,
                       const std::vector<bench::Lookup>& lookups) {
    auto hive = Hive::open(file);
    if (!hive) {
        state.SkipWithError(hive.error().describe().c_str());
        return;
    }
    for (auto _ : state) {
        if (auto found = bench::runLookups(*hive, lookups); !found) {
            state.SkipWithError(found.error().describe().c_str());
            return;
        }
    }
    state.counters["lookups"] = static_cast<double>(lookups.size());
}

void dump(benchmark::State& state, const std::filesystem::path& file) {
    auto hive = Hive::open(file);
    if (!hive) {
        state.SkipWithError(hive.error().describe().c_str());
        return;
    }
    std::size_t lines = 0;
    std::size_t bytes = 0;
    for (auto _ : state) {
        lines = 0;
        bytes = 0;
        auto done = engine::hive::dumpHive(*hive, "", [&](std::string_view line) {
            ++lines;
            bytes += line.size();
            benchmark::DoNotOptimize(line.data());
        });
        if (!done) {
            state.SkipWithError(done.error().describe().c_str());
            return;
        }
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) *
                            static_cast<std::int64_t>(hive->image().size()));
    state.counters["lines"] = static_cast<double>(lines);
    state.counters["text_MB"] = static_cast<double>(bytes) / 1e6;
}

void validate(benchmark::State& state, const std::filesystem::path& file) {
    auto hive = Hive::open(file);
    if (!hive) {
        state.SkipWithError(hive.error().describe().c_str());
        return;
    }
    engine::hive::Validation report;
    for (auto _ : state) {
        report = engine::hive::validateHive(*hive);
        benchmark::DoNotOptimize(report.findings.data());
    }
    if (!report.canChange()) {
        state.SkipWithError(report.firstBlocking()->describe().c_str());
        return;
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) *
                            static_cast<std::int64_t>(hive->image().size()));
    state.counters["keys"] = static_cast<double>(report.keys);
    state.counters["values"] = static_cast<double>(report.values);
}

} // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    std::filesystem::path lookupsFile = MORVALIN_BENCH_LOOKUPS;
    std::vector<std::filesystem::path> hives;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--lookups" && i + 1 < argc) {
            lookupsFile = argv[++i];
        } else if (arg.starts_with("--")) {
            hives.clear();
            break;
        } else {
            hives.emplace_back(arg);
        }
    }
    if (hives.empty()) {
        std::fprintf(stderr, "Использование: %s [--benchmark_...] [--lookups ФАЙЛ] КУСТ...\n",
                     argv[0]);
        return 2;
    }
    auto lookups = bench::readLookups(lookupsFile);
    if (!lookups) {
        std::fprintf(stderr, "%s\n", lookups.error().describe().c_str());
        return 1;
    }
    for (const auto& hive : hives) {
        if (auto read = bench::readWholeFile(hive); !read) {
            std::fprintf(stderr, "%s\n", read.error().describe().c_str());
            return 1;
        }
        const std::string name = hive.filename().string();
        benchmark::RegisterBenchmark(("OpenAndLookups/" + name).c_str(), openAndLookups, hive,
                                     *lookups)
            ->Unit(benchmark::kMicrosecond);
        benchmark::RegisterBenchmark(("Lookups/" + name).c_str(), lookupsInOpenHive, hive, *lookups)
            ->Unit(benchmark::kMicrosecond);
        benchmark::RegisterBenchmark(("DumpHive/" + name).c_str(), dump, hive)
            ->Unit(benchmark::kMillisecond);
        benchmark::RegisterBenchmark(("ValidateHive/" + name).c_str(), validate, hive)
            ->Unit(benchmark::kMillisecond);
    }
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
