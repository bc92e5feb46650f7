// Job (a) of the whole-process benchmark, done by libhivex: opens the hive
// read-only (hivex_open), reads the values of the lookup list and checks
// their data, closes it, prints its memory figures and exits. The same work
// as morvalin_read_job.
//
//   hivex_read_job HIVE LOOKUPS
//
// Exit status 0 when every value was found with the data the list expects,
// 1 otherwise (the reason on standard error), 2 for bad arguments.

#include <cstdio>

#include "bench/hivex_hive.h"
#include "bench/job_figures.h"
#include "bench/lookup_set.h"

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "Использование: %s КУСТ СПИСОК_ПОИСКОВ\n", argv[0]);
        return 2;
    }
    const auto report = [](const engine::hive::Error& e) {
        std::fprintf(stderr, "%s\n", e.describe().c_str());
        return 1;
    };
    auto lookups = bench::readLookups(argv[2]);
    if (!lookups) {
        return report(lookups.error());
    }
    auto hive = bench::HivexHive::open(argv[1], false);
    if (!hive) {
        return report(hive.error());
    }
    if (auto found = hive->runLookups(*lookups); !found) {
        return report(found.error());
    }
    // Measured before the close, which unmaps the hive: what it held.
    auto memory = bench::memoryFigures();
    if (!memory) {
        return report(memory.error());
    }
    if (auto closed = hive->close(); !closed) {
        return report(closed.error());
    }
    bench::printFigures(*memory);
    return 0;
}
