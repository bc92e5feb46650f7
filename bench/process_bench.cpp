// Whole-process timings of one benchmark job, done by several programs over
// hive files: each run drops the hive from the page cache, starts the job's
// program, waits for it to exit and calls sync(), all inside the time measured.
//
//   morvalin_process_bench --job read|write --tool NAME=PROGRAM...
//       --lookups FILE [--changes FILE] [--check PROGRAM]... [--repeat N]
//       [--work DIR] [--results FILE] HIVE...
//
// A program is started as `PROGRAM COPY LOOKUPS` (read) or `PROGRAM COPY
// LOOKUPS CHANGES` (write), COPY being a copy of HIVE in the work folder, one
// for each tool: made once for the read job, afresh before every run of the
// write job (its transaction logs removed), so that a hive is never written
// twice and the test data never at all. One run of each program before
// the timed ones, untimed, loads it and its libraries into the cache. The
// tools take turns run by run, so that a change in the machine's load while
// the runs go on falls on all of them alike. After every write run each
// --check program (a read job) must find in the copy what the changes put
// there and every lookup that stayed (`PROGRAM COPY AFTER`), so a job that
// says it wrote without writing is caught.
//
// Figures per tool and hive (medians of --repeat runs, 5 by default), printed
// and, with --results, appended as rows "tool, hive, measure, value, unit"
// separated by tabs (bench/results_table.py), each measure named proc_JOB_...:
//   ms           wall time of the process plus the sync after it
//   peak_rss     the process's peak resident set (wait4 ru_maxrss, what GNU
//                time -f %M prints), KiB
//   io_written   (write) what the process wrote: the kernel's count of the
//                bytes it dirtied in the page cache or wrote directly
//                (ru_oublock x 512), KiB
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
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fmt/format.h>

#include "bench/change_set.h"
#include "bench/job_figures.h"
#include "bench/lookup_set.h"
#include "bench/page_cache.h"

namespace {

namespace fs = std::filesystem;
using engine::hive::Error;
using engine::hive::Result;
using Clock = std::chrono::steady_clock;

struct Tool {
    std::string name;
    fs::path program;
};

struct Options {
    bool write = false;
    std::vector<Tool> tools;
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
//
// fork() and not posix_spawn(): a child started with vfork semantics shares
// this process's memory until it execs, and the kernel counts that memory into
// the child's peak resident set (ru_maxrss).
Result<Finished> runProcess(const std::vector<std::string>& args, const fs::path& output) {
    std::vector<std::string> storage = args;
    std::vector<char*> argv;
    for (std::string& a : storage) {
        argv.push_back(a.data());
    }
    argv.push_back(nullptr);
    const std::string outputName = output.string();

    Finished done;
    const auto start = Clock::now();
    const pid_t pid = ::fork();
    if (pid < 0) {
        return failure(fmt::format("fork не удался: {}", std::strerror(errno)), args[0]);
    }
    if (pid == 0) {
        // Only async-signal-safe calls until exec.
        const int fd = ::open(outputName.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
        if (fd < 0 || ::dup2(fd, STDOUT_FILENO) < 0) {
            ::_exit(126);
        }
        ::execv(argv[0], argv.data());
        ::_exit(127);
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
        const std::string why =
            !WIFEXITED(status)
                ? fmt::format("убита сигналом {}", WTERMSIG(status))
                : (WEXITSTATUS(status) >= 126
                       ? fmt::format("не запустилась (статус {})", WEXITSTATUS(status))
                       : fmt::format("завершилась с ошибкой (статус {})", WEXITSTATUS(status)));
        return failure(fmt::format("{} {}", args[0], why),
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
using Figures = std::map<std::string, Series>;

// The runs over one hive: every tool's figures.
class Cell {
public:
    Cell(const Options& options, const fs::path& hive)
        : options_(options)
        , hive_(hive) {}

    Result<std::vector<Figures>> measure() {
        std::vector<fs::path> copies;
        for (const Tool& tool : options_.tools) {
            auto copy = freshCopy(hive_, folder(tool));
            if (!copy) {
                return tl::unexpected(copy.error());
            }
            if (auto warm = runOnce(tool, *copy); !warm) {
                return tl::unexpected(warm.error());
            }
            copies.push_back(*copy);
        }
        std::vector<Figures> figures(options_.tools.size());
        for (int i = 0; i < options_.repeat; ++i) {
            for (std::size_t t = 0; t < options_.tools.size(); ++t) {
                if (auto run = timedRun(options_.tools[t], copies[t], figures[t]); !run) {
                    return tl::unexpected(run.error());
                }
            }
        }
        return figures;
    }

private:
    std::string jobName() const { return options_.write ? "write" : "read"; }
    fs::path folder(const Tool& tool) const {
        return options_.work / fmt::format("{}-{}", tool.name, jobName());
    }

    Result<void> timedRun(const Tool& tool, const fs::path& copy, Figures& figures) {
        if (options_.write) {
            if (auto fresh = freshCopy(hive_, folder(tool)); !fresh) {
                return tl::unexpected(fresh.error());
            }
        }
        if (auto evicted = evict(copy); !evicted) {
            return tl::unexpected(evicted.error());
        }
        auto run = runOnce(tool, copy);
        if (!run) {
            return tl::unexpected(run.error());
        }
        add(figures, "ms", run->milliseconds, "ms");
        add(figures, "peak_rss", static_cast<double>(run->peakRssKib), "KiB");
        if (options_.write) {
            add(figures, "io_written", run->writtenKib, "KiB");
        }
        auto printed = bench::parseFigures(run->output);
        if (!printed) {
            return tl::unexpected(printed.error());
        }
        for (const bench::JobFigure& f : *printed) {
            if (f.unit == "bytes") {
                add(figures, f.measure, f.value / 1024, "KiB");
            } else {
                add(figures, f.measure, f.value, f.unit);
            }
        }
        return {};
    }

    // One run of the tool's program on the copy, then the checks of what it
    // wrote.
    Result<Finished> runOnce(const Tool& tool, const fs::path& copy) {
        std::vector<std::string> args = {tool.program.string(), copy.string(),
                                         options_.lookups.string()};
        if (options_.write) {
            args.push_back(options_.changes.string());
        }
        auto run = runProcess(args, options_.work / (tool.name + ".out"));
        if (!run) {
            return run;
        }
        if (options_.write) {
            for (const fs::path& check : options_.checks) {
                auto checked = runProcess({check.string(), copy.string(), afterFile().string()},
                                          options_.work / "check.out");
                if (!checked) {
                    return tl::unexpected(Error{fmt::format("{}: проверка записанного куста не "
                                                            "прошла: {}",
                                                            tool.name, checked.error().message),
                                                copy.string(),
                                                {},
                                                false});
                }
            }
        }
        return run;
    }

    fs::path afterFile() const { return options_.work / "after-changes.tsv"; }

    static void add(Figures& figures, const std::string& measure, double value,
                    const std::string& unit) {
        figures[measure].values.push_back(value);
        figures[measure].unit = unit;
    }

    const Options& options_;
    fs::path hive_;
};

std::optional<Options> parseOptions(int argc, char** argv) {
    Options o;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const bool hasValue = i + 1 < argc;
        if (arg == "--tool" && hasValue) {
            const std::string tool = argv[++i];
            const std::size_t equals = tool.find('=');
            if (equals == 0 || equals == std::string::npos || equals + 1 == tool.size()) {
                return std::nullopt;
            }
            // The name names the tool's work folder: one of its own, a plain name.
            const std::string name = tool.substr(0, equals);
            if (name.find('/') != std::string::npos ||
                std::any_of(o.tools.begin(), o.tools.end(),
                            [&](const Tool& t) { return t.name == name; })) {
                return std::nullopt;
            }
            o.tools.push_back({name, tool.substr(equals + 1)});
        } else if (arg == "--job" && hasValue) {
            const std::string job = argv[++i];
            if (job != "read" && job != "write") {
                return std::nullopt;
            }
            o.write = job == "write";
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
    if (o.tools.empty() || o.lookups.empty() || o.hives.empty() || o.write == o.changes.empty()) {
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
                     "Использование: %s --job read|write --tool ИМЯ=ПРОГРАММА... "
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
    const std::string job = options->write ? "write" : "read";
    for (const fs::path& hive : options->hives) {
        auto figures = Cell(*options, hive).measure();
        if (!figures) {
            report(figures.error());
            status = 1;
            continue;
        }
        const std::string name = hive.filename().string();
        for (std::size_t t = 0; t < options->tools.size(); ++t) {
            const std::string& tool = options->tools[t].name;
            std::string line = fmt::format("{} {} {}:", tool, job, name);
            for (const auto& [measure, s] : (*figures)[t]) {
                line += fmt::format(" {} {} {};", measure, figure(s), s.unit);
                if (results.is_open()) {
                    results << fmt::format("{}\t{}\tproc_{}_{}\t{:.3f}\t{}\n", tool, name, job,
                                           measure, median(s.values), s.unit);
                }
            }
            std::puts(line.c_str());
        }
        std::fflush(stdout);
    }
    return status;
}
