#include "bench/job_figures.h"

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include <fmt/format.h>

namespace bench {

using engine::hive::Error;
using engine::hive::Result;

Result<std::vector<JobFigure>> memoryFigures() {
    std::ifstream status("/proc/self/status");
    if (!status) {
        return tl::unexpected(Error{"не удалось открыть", "/proc/self/status", {}, false});
    }
    // Lines such as "RssFile:\t    1234 kB".
    const std::pair<std::string_view, std::string_view> wanted[] = {{"RssFile:", "file_rss"},
                                                                    {"RssAnon:", "anon_rss"}};
    std::vector<JobFigure> figures;
    std::string line;
    while (std::getline(status, line)) {
        for (const auto& [field, measure] : wanted) {
            if (line.starts_with(field)) {
                figures.push_back({std::string(measure),
                                   std::strtod(line.c_str() + field.size(), nullptr), "KiB"});
            }
        }
    }
    if (figures.size() != std::size(wanted)) {
        return tl::unexpected(Error{"нет полей RssFile и RssAnon", "/proc/self/status", {}, false});
    }
    return figures;
}

void printFigures(const std::vector<JobFigure>& figures) {
    for (const JobFigure& f : figures) {
        std::fputs(fmt::format("{}\t{}\t{}\n", f.measure, f.value, f.unit).c_str(), stdout);
    }
    std::fflush(stdout);
}

Result<std::vector<JobFigure>> parseFigures(std::string_view text) {
    std::vector<JobFigure> figures;
    std::istringstream in{std::string(text)};
    std::string line;
    while (std::getline(in, line)) {
        std::istringstream fields(line);
        JobFigure f;
        std::string value;
        if (!std::getline(fields, f.measure, '\t') || !std::getline(fields, value, '\t') ||
            !std::getline(fields, f.unit, '\t')) {
            return tl::unexpected(
                Error{"задача напечатала строку не в виде «замер, число, единица»: " + line,
                      {},
                      {},
                      false});
        }
        char* end = nullptr;
        f.value = std::strtod(value.c_str(), &end);
        if (value.empty() || *end != '\0') {
            return tl::unexpected(Error{"задача напечатала не число: " + line, {}, {}, false});
        }
        figures.push_back(std::move(f));
    }
    return figures;
}

} // namespace bench
