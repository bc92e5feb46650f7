#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "hive/error.h"

namespace bench {

// What a benchmark job (one of the *_job programs that morvalin_process_bench
// times) tells about its run: lines "measure, value, unit" separated by tabs
// on its standard output, which the timing program collects.
struct JobFigure {
    std::string measure;
    double value = 0;
    std::string unit;
};

// This process's memory now, from /proc/self/status: "file_rss" (pages of
// files mapped in, the hive's among them, KiB) and "anon_rss" (KiB). Called
// by a job as its last step, while everything it used is still held.
engine::hive::Result<std::vector<JobFigure>> memoryFigures();

// Prints figures on standard output in the form above.
void printFigures(const std::vector<JobFigure>& figures);

// Reads the figures a job printed; fails on a line not in that form.
engine::hive::Result<std::vector<JobFigure>> parseFigures(std::string_view text);

} // namespace bench
