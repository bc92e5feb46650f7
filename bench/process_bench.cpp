// Whole-process timings of one benchmark job over hive files: each run drops
// the hive from the page cache, starts the job's program, waits for it to exit
// and calls sync(), all inside the time measured.
//
//   morvalin_process_bench --tool NAME --job read|write --program JOB
//       --lookups FILE [--changes FILE] [--check PROGRAM]... [--repeat N]
//       [--work DIR] [--results FILE] HIVE...
//
// The job is started as `JOB COPY LOOKUPS` (read) or `JOB COPY LOOKUPS
// CHANGES` (write), COPY being a copy of HIVE in the work folder: made once
// for the read job, afresh before every run of the write job (its transaction
// logs removed), so that a hive is never written twice and the shared test data
// never at all. One run before the timed ones, untimed, loads the program and
// its libraries into the cache. After every write run each --check program
// (a read job) must find in the copy what the changes put there and every
// lookup that stayed (`PROGRAM COPY AFTER`), so a job that says it wrote
// without writing is caught.
//
// Figures per hive (medians of --repeat runs, 5 by default), printed and, with
// --results, appended as rows "tool, hive, measure, value, unit" separated by
// tabs (bench/results_table.py), each measure named proc_JOB_...:
//   ms           wall time of the process plus the sync after it
//   peak_rss     the process's peak resident set (wait4 ru_maxrss, what GNU
//                time -f %M prints), KiB
//   io_written   what the process wrote: the kernel's count of the bytes it
//                dirtied in the page cache or wrote directly (ru_oublock x 512),
//                KiB
//   and what the job printed itself (bench/job_figures.h): file_rss and
//   anon_rss at its end, KiB; written_primary and written_log (our engine's
//   write-back report), KiB.

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fmt/format.h>

#include "bench/change_set.h"
#include "bench/job_figures.h"
#include "bench/lookup_set.h"
#include "bench/page_cache.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;
using engine::hive::Error;
using engine::hive::Result;
using Clock = std::chrono::steady_clock;

struct Options {
    std::string tool;
    bool write = false;
    fs::path program;
    fs::path lookups;
    fs::path changes;
    std::vector<fs::path> checks;
    int repeat = 5;
    fs::path work = "bench-work";
    fs::path results;
    std::vector<fs::path> hives;
};

struct Finished {
    double milliseconds = 0;
    long peakRssKib = 0;
    double writtenKib = 0;
    std::string output;
};

tl::unexpected<Error> failure(std::string message, const fs::path& file = {}) {
    return tl::unexpected(Error{std::move(message), file.string(), {}, false});
}

std::string readAll(const fs::path& file) {
    std::ifstream in(file);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

// Runs `args` with its standard output in `output`. The time is taken from
// just before the start to just after the sync() that follows the exit; a
// process that fails, or is killed, is an error, never a figure.
Result<Finished> runProcess(const std::vector<std::string>& args, const fs::path& output) {
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, output.c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0644);
    std::vector<char*> argv;
    std::vector<std::string> storage = args;
    for (std::string& a : storage) {
        argv.push_back(a.data());
    }
    argv.push_back(nullptr);

    Finished done;
    const auto start = Clock::now();
    pid_t pid = 0;
    const int spawned = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0) {
        return failure(fmt::format("не удалось запустить: {}", std::strerror(spawned)), args[0]);
    }
    int status = 0;
    rusage usage{};
    if (::wait4(pid, &status, 0, &usage) != pid) {
        return failure(fmt::format("wait4 не удался: {}", std::strerror(errno)), args[0]);
    }
    ::sync();
    done.milliseconds = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
    done.peakRssKib = usage.ru_maxrss;
    done.writtenKib = static_cast<double>(usage.ru_oublock) * 512 / 1024;
    done.output = readAll(output);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        return failure(fmt::format("{} завершилась с ошибкой (статус {})", args[0],
                                   WIFEXITED(status) ? WEXITSTATUS(status) : -WTERMSIG(status)),
                       args.size() > 1 ? args[1] : std::string());
    }
    return done;
}

// A fresh copy of `hive` in `folder`, with nothing else there (no logs).
Result<fs::path> freshCopy(const fs::path& hive, const fs::path& folder) {
    std::error_code ec;
    fs::remove_all(folder, ec);
    fs::create_directories(folder, ec);
    const fs::path copy = folder / hive.filename();
    if (ec || !fs::copy_file(hive, copy, ec) || ec) {
        return failure("не удалось скопировать куст: " + ec.message(), hive);
    }
    // The copy is written by the write job: it must not stay read-only as the
    // test data is.
    fs::permissions(copy, fs::perms::owner_read | fs::perms::owner_write, fs::perm_options::add,
                    ec);
    return copy;
}

Result<void> evict(const fs::path& file) {
    auto left = bench::evictFromPageCache(file);
    if (!left) {
        return tl::unexpected(left.error());
    }
    if (*left != 0) {
        return failure(
            fmt::format("не удалось вытеснить файл из кэша страниц: осталось {} страниц", *left),
            file);
    }
    return {};
}

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    const std::size_t n = values.size();
    return n % 2 == 1 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

// Each measure's values over the runs, and its unit.
struct Series {
    std::vector<double> values;
    std::string unit;
};

class Cell {
public:
    Cell(const Options& options, const fs::path& hive)
        : options_(options)
        , hive_(hive)
        , folder_(options.work / fmt::format("{}-{}", options.tool, jobName()))
        , output_(options.work / fmt::format("{}-{}.out", options.tool, jobName())) {}

    Result<std::map<std::string, Series>> measure() {
        auto copy = freshCopy(hive_, folder_);
        if (!copy) {
            return tl::unexpected(copy.error());
        }
        if (auto warm = runOnce(*copy); !warm) {
            return tl::unexpected(warm.error());
        }
        std::map<std::string, Series> series;
        for (int i = 0; i < options_.repeat; ++i) {
            if (options_.write) {
                copy = freshCopy(hive_, folder_);
                if (!copy) {
                    return tl::unexpected(copy.error());
                }
            }
            if (auto evicted = evict(*copy); !evicted) {
                return tl::unexpected(evicted.error());
            }
            auto run = runOnce(*copy);
            if (!run) {
                return tl::unexpected(run.error());
            }
            add(series, "ms", run->milliseconds, "ms");
            add(series, "peak_rss", static_cast<double>(run->peakRssKib), "KiB");
            if (options_.write) {
                add(series, "io_written", run->writtenKib, "KiB");
            }
            auto figures = bench::parseFigures(run->output);
            if (!figures) {
                return tl::unexpected(figures.error());
            }
            for (const bench::JobFigure& f : *figures) {
                if (f.unit == "bytes") {
                    add(series, f.measure, f.value / 1024, "KiB");
                } else {
                    add(series, f.measure, f.value, f.unit);
                }
            }
        }
        return series;
    }

private:
    std::string jobName() const { return options_.write ? "write" : "read"; }

    // One run of the job on the copy, then the checks of what it wrote.
    Result<Finished> runOnce(const fs::path& copy) {
        std::vector<std::string> args = {options_.program.string(), copy.string(),
                                         options_.lookups.string()};
        if (options_.write) {
            args.push_back(options_.changes.string());
        }
        auto run = runProcess(args, output_);
        if (!run) {
            return run;
        }
        if (options_.write) {
            for (const fs::path& check : options_.checks) {
                auto checked = runProcess({check.string(), copy.string(), afterFile().string()},
                                          options_.work / "check.out");
                if (!checked) {
                    return tl::unexpected(
                        Error{"проверка записанного куста не прошла: " + checked.error().message,
                              copy.string(),
                              {},
                              false});
                }
            }
        }
        return run;
    }

    fs::path afterFile() const { return options_.work / "after-changes.tsv"; }

    static void add(std::map<std::string, Series>& series, const std::string& measure, double value,
                    const std::string& unit) {
        series[measure].values.push_back(value);
        series[measure].unit = unit;
    }

    const Options& options_;
    fs::path hive_;
    fs::path folder_;
    fs::path output_;
};

std::optional<Options> parseOptions(int argc, char** argv) {
    Options o;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const bool hasValue = i + 1 < argc;
        if (arg == "--tool" && hasValue) {
            o.tool = argv[++i];
        } else if (arg == "--job" && hasValue) {
            const std::string job = argv[++i];
            if (job != "read" && job != "write") {
                return std::nullopt;
            }
            o.write = job == "write";
        } else if (arg == "--program" && hasValue) {
            o.program = argv[++i];
        } else if (arg == "--lookups" && hasValue) {
            o.lookups = argv[++i];
        } else if (arg == "--changes" && hasValue) {
            o.changes = argv[++i];
        } else if (arg == "--check" && hasValue) {
            o.checks.emplace_back(argv[++i]);
        } else if (arg == "--repeat" && hasValue) {
            o.repeat = std::max(1, std::atoi(argv[++i]));
        } else if (arg == "--work" && hasValue) {
            o.work = argv[++i];
        } else if (arg == "--results" && hasValue) {
            o.results = argv[++i];
        } else if (arg.starts_with("--")) {
            return std::nullopt;
        } else {
            o.hives.emplace_back(arg);
        }
    }
    if (o.tool.empty() || o.program.empty() || o.lookups.empty() || o.hives.empty() ||
        o.write == o.changes.empty()) {
        return std::nullopt;
    }
    return o;
}

// The lookups a check must find after the write job: those of the job, with
// the changes' new data.
Result<void> writeAfterFile(const Options& o) {
    auto lookups = bench::readLookups(o.lookups);
    if (!lookups) {
        return tl::unexpected(lookups.error());
    }
    auto changes = bench::readChanges(o.changes);
    if (!changes) {
        return tl::unexpected(changes.error());
    }
    return bench::writeLookups(o.work / "after-changes.tsv",
                               bench::lookupsAfter(*lookups, *changes));
}

std::string figure(const Series& s) {
    const double m = median(s.values);
    const auto [lo, hi] = std::minmax_element(s.values.begin(), s.values.end());
    const int digits = s.unit == "ms" ? 1 : 0;
    if (*lo == *hi) {
        return fmt::format("{:.{}f}", m, digits);
    }
    return fmt::format("{:.{}f} ({:.{}f}–{:.{}f})", m, digits, *lo, digits, *hi, digits);
}

} // namespace

int main(int argc, char** argv) {
    const auto options = parseOptions(argc, argv);
    if (!options) {
        std::fprintf(stderr,
                     "Использование: %s --tool ИМЯ --job read|write --program ЗАДАЧА "
                     "--lookups ФАЙЛ [--changes ФАЙЛ] [--check ПРОГРАММА]... [--repeat N] "
                     "[--work ПАПКА] [--results ФАЙЛ] КУСТ...\n"
                     "(--changes нужен задаче write и только ей)\n",
                     argv[0]);
        return 2;
    }
    const auto report = [](const Error& e) {
        std::fprintf(stderr, "%s\n", e.describe().c_str());
        return 1;
    };
    std::error_code ec;
    fs::create_directories(options->work, ec);
    if (options->write) {
        if (auto written = writeAfterFile(*options); !written) {
            return report(written.error());
        }
    }
    std::ofstream results;
    if (!options->results.empty()) {
        results.open(options->results, std::ios::app);
        if (!results) {
            return report({"не удалось открыть для записи", options->results.string(), {}, false});
        }
    }
    int status = 0;
    for (const fs::path& hive : options->hives) {
        auto series = Cell(*options, hive).measure();
        if (!series) {
            report(series.error());
            status = 1;
            continue;
        }
        const std::string job = options->write ? "write" : "read";
        std::string line = fmt::format("{} {} {}:", options->tool, job, hive.filename().string());
        for (const auto& [measure, s] : *series) {
            line += fmt::format(" {} {} {};", measure, figure(s), s.unit);
            if (results.is_open()) {
                results << fmt::format("{}\t{}\tproc_{}_{}\t{:.3f}\t{}\n", options->tool,
                                       hive.filename().string(), job, measure, median(s.values),
                                       s.unit);
            }
        }
        std::puts(line.c_str());
        std::fflush(stdout);
    }
    return status;
}
