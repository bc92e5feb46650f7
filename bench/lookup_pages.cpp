// What a lookup reads from a cold hive file: for each hive, drops the file
// from the page cache, opens it with engine::hive::Hive::open, looks up the
// values of lookups.tsv, and counts the file's pages that are then in memory.
//
//   morvalin_lookup_pages [--lookups FILE] [--repeat N] [--results FILE] HIVE...
//
// Per hive it prints the file's page count and, after the cold lookups:
//   in the cache     pages of the file in the page cache (mincore on a fresh
//                    mapping): what was read from the disk, read-ahead included
//   in the mapping   pages mincore reports resident in the hive's own mapping
//   mapped           pages present in this process's page tables (pagemap):
//                    what the reader touched (and neighbours mapped with them)
//   major faults     page faults that had to wait for the disk
// and the wall time of open + lookups, cold (median of --repeat runs, each after
// a fresh eviction) and warm (the fastest of 20 runs with the file cached).
// --results appends the figures as rows "tool, hive, measure, value, unit"
// separated by tabs, the form bench/results_table.py reads.

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include <fmt/format.h>
#include <sys/resource.h>

#include "bench/lookup_set.h"
#include "bench/page_cache.h"
#include "hive/hive.h"

namespace {

using engine::hive::Error;
using engine::hive::Result;
using Clock = std::chrono::steady_clock;

struct Options {
    std::filesystem::path lookups = MORVALIN_BENCH_LOOKUPS;
    std::filesystem::path results;
    int repeat = 5;
    std::vector<std::filesystem::path> hives;
};

struct ColdRun {
    double milliseconds = 0;
    std::size_t cached = 0;   // pages of the file in the page cache afterwards
    std::size_t resident = 0; // mincore on the hive's own mapping
    std::size_t mapped = 0;   // present in this process's page tables
    long majorFaults = 0;
};

struct Figures {
    std::size_t filePages = 0;
    std::vector<ColdRun> cold;
    double warmMicroseconds = 0;
};

long majorFaults() {
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    return usage.ru_majflt;
}

template <class T>
Result<T> withFile(Result<T> result, const std::filesystem::path& file) {
    if (!result && result.error().file.empty()) {
        result.error().file = file.string();
    }
    return result;
}

Result<ColdRun> coldRun(const std::filesystem::path& file, std::span<const bench::Lookup> lookups) {
    auto left = bench::evictFromPageCache(file);
    if (!left) {
        return tl::unexpected(left.error());
    }
    if (*left != 0) {
        return tl::unexpected(Error{
            fmt::format("не удалось вытеснить файл из кэша страниц: осталось {} страниц", *left),
            file.string(),
            {},
            false});
    }
    ColdRun run;
    const long faultsBefore = majorFaults();
    const auto start = Clock::now();
    auto hive = engine::hive::Hive::open(file);
    if (!hive) {
        return tl::unexpected(hive.error());
    }
    if (auto found = bench::runLookups(*hive, lookups); !found) {
        return tl::unexpected(found.error());
    }
    run.milliseconds = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
    run.majorFaults = majorFaults() - faultsBefore;

    const auto& image = hive->image();
    auto resident = bench::residentPages(image.data(), image.size());
    auto mapped = bench::mappedPages(image.data(), image.size());
    auto cached = bench::cachedPagesOfFile(file);
    if (!resident || !mapped || !cached) {
        return tl::unexpected(!resident ? resident.error()
                                        : (!mapped ? mapped.error() : cached.error()));
    }
    run.resident = *resident;
    run.mapped = *mapped;
    run.cached = *cached;
    return run;
}

Result<double> warmMicroseconds(const std::filesystem::path& file,
                                std::span<const bench::Lookup> lookups) {
    if (auto read = bench::readWholeFile(file); !read) {
        return tl::unexpected(read.error());
    }
    double best = 0;
    for (int i = 0; i < 20; ++i) {
        const auto start = Clock::now();
        auto hive = engine::hive::Hive::open(file);
        if (!hive) {
            return tl::unexpected(hive.error());
        }
        if (auto found = bench::runLookups(*hive, lookups); !found) {
            return tl::unexpected(found.error());
        }
        const double us = std::chrono::duration<double, std::micro>(Clock::now() - start).count();
        best = i == 0 ? us : std::min(best, us);
    }
    return best;
}

Result<Figures> measure(const std::filesystem::path& file, std::span<const bench::Lookup> lookups,
                        int repeat) {
    Figures figures;
    std::error_code ec;
    const auto size = std::filesystem::file_size(file, ec);
    if (ec) {
        return tl::unexpected(
            Error{"не удалось узнать размер файла: " + ec.message(), file.string(), {}, false});
    }
    figures.filePages = bench::pagesOf(size);
    for (int i = 0; i < repeat; ++i) {
        auto run = coldRun(file, lookups);
        if (!run) {
            return tl::unexpected(withFile(std::move(run), file).error());
        }
        figures.cold.push_back(*run);
    }
    auto warm = warmMicroseconds(file, lookups);
    if (!warm) {
        return tl::unexpected(warm.error());
    }
    figures.warmMicroseconds = *warm;
    return figures;
}

template <class Field>
auto lowest(const std::vector<ColdRun>& runs, Field field) {
    auto value = runs.front().*field;
    for (const ColdRun& run : runs) {
        value = std::min(value, run.*field);
    }
    return value;
}

template <class Field>
auto highest(const std::vector<ColdRun>& runs, Field field) {
    auto value = runs.front().*field;
    for (const ColdRun& run : runs) {
        value = std::max(value, run.*field);
    }
    return value;
}

// "n" when every run gave n, "a–b" when they differ.
template <class Field>
std::string range(const std::vector<ColdRun>& runs, Field field) {
    const auto lo = lowest(runs, field);
    const auto hi = highest(runs, field);
    return lo == hi ? fmt::format("{}", lo) : fmt::format("{}–{}", lo, hi);
}

double medianMilliseconds(std::vector<ColdRun> runs) {
    std::sort(runs.begin(), runs.end(),
              [](const ColdRun& a, const ColdRun& b) { return a.milliseconds < b.milliseconds; });
    const std::size_t n = runs.size();
    return n % 2 == 1 ? runs[n / 2].milliseconds
                      : (runs[n / 2 - 1].milliseconds + runs[n / 2].milliseconds) / 2;
}

void writeRows(std::ofstream& out, const std::filesystem::path& file, const Figures& f) {
    const std::string hive = file.filename().string();
    const auto row = [&](std::string_view measure, auto value, std::string_view unit) {
        out << fmt::format("morvalin\t{}\t{}\t{}\t{}\n", hive, measure, value, unit);
    };
    row("file_pages", f.filePages, "pages");
    row("cold_cached_pages", highest(f.cold, &ColdRun::cached), "pages");
    row("cold_resident_pages", highest(f.cold, &ColdRun::resident), "pages");
    row("cold_mapped_pages", highest(f.cold, &ColdRun::mapped), "pages");
    row("cold_major_faults", highest(f.cold, &ColdRun::majorFaults), "faults");
    row("cold_open_lookups", fmt::format("{:.3f}", medianMilliseconds(f.cold)), "ms");
    row("warm_open_lookups", fmt::format("{:.1f}", f.warmMicroseconds), "us");
}

std::optional<Options> parseOptions(int argc, char** argv) {
    Options options;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if ((arg == "--lookups" || arg == "--results" || arg == "--repeat") && i + 1 < argc) {
            const std::string value = argv[++i];
            if (arg == "--lookups") {
                options.lookups = value;
            } else if (arg == "--results") {
                options.results = value;
            } else {
                options.repeat = std::max(1, std::atoi(value.c_str()));
            }
        } else if (arg.starts_with("--")) {
            return std::nullopt;
        } else {
            options.hives.emplace_back(arg);
        }
    }
    if (options.hives.empty()) {
        return std::nullopt;
    }
    return options;
}

} // namespace

int main(int argc, char** argv) {
    const auto options = parseOptions(argc, argv);
    if (!options) {
        std::fprintf(stderr,
                     "Использование: %s [--lookups ФАЙЛ] [--repeat N] [--results ФАЙЛ] "
                     "КУСТ...\n",
                     argv[0]);
        return 2;
    }
    auto lookups = bench::readLookups(options->lookups);
    if (!lookups) {
        std::fprintf(stderr, "%s\n", lookups.error().describe().c_str());
        return 1;
    }
    std::ofstream results;
    if (!options->results.empty()) {
        results.open(options->results, std::ios::app);
        if (!results) {
            std::fprintf(stderr, "%s: не удалось открыть для записи\n", options->results.c_str());
            return 1;
        }
    }
    fmt::print("Поиск {} параметров в холодном кусте ({} прогонов после вытеснения из кэша)\n",
               lookups->size(), options->repeat);
    fmt::print("{:<24} {:>9} {:>9} {:>9} {:>9} {:>8} {:>8} {:>10} {:>10}\n", "куст", "страниц",
               "в кэше", "в отобр.", "отобр.", "доля,%", "major", "холодно,мс", "тепло,мкс");
    int status = 0;
    for (const auto& hive : options->hives) {
        auto figures = measure(hive, *lookups, options->repeat);
        if (!figures) {
            std::fprintf(stderr, "%s\n", figures.error().describe().c_str());
            status = 1;
            continue;
        }
        const auto& f = *figures;
        const double share = 100.0 * static_cast<double>(highest(f.cold, &ColdRun::cached)) /
                             static_cast<double>(std::max<std::size_t>(f.filePages, 1));
        fmt::print("{:<24} {:>9} {:>9} {:>9} {:>9} {:>8.3f} {:>8} {:>10.2f} {:>10.1f}\n",
                   hive.filename().string(), f.filePages, range(f.cold, &ColdRun::cached),
                   range(f.cold, &ColdRun::resident), range(f.cold, &ColdRun::mapped), share,
                   range(f.cold, &ColdRun::majorFaults), medianMilliseconds(f.cold),
                   f.warmMicroseconds);
        if (results.is_open()) {
            writeRows(results, hive, f);
        }
    }
    return status;
}
