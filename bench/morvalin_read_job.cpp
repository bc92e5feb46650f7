// Job (a) of the whole-process benchmark, done by our engine: opens the hive
// (as the rescue tool does: recovered from its logs when dirty), reads the
// values of the lookup list and checks their data, prints its memory figures
// and exits.
//
//   morvalin_read_job HIVE LOOKUPS
//
// Exit status 0 when every value was found with the data the list expects,
// 1 otherwise (the reason on standard error), 2 for bad arguments.

#include <cstdio>

#include "bench/job_figures.h"
#include "bench/lookup_set.h"
#include "hive/hive.h"

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
    auto hive = engine::hive::Hive::openRecovered(argv[1]);
    if (!hive) {
        return report(hive.error());
    }
    if (auto found = bench::runLookups(*hive, *lookups); !found) {
        return report(found.error());
    }
    auto memory = bench::memoryFigures();
    if (!memory) {
        return report(memory.error());
    }
    bench::printFigures(*memory);
    return 0;
}
