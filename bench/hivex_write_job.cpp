// Job (b) of the whole-process benchmark, done by libhivex: opens the hive
// with HIVEX_OPEN_WRITE, reads and checks the values of the lookup list, sets
// the values of the change list (hivex_node_set_value), writes the hive into
// the same file (hivex_commit), closes it, prints its memory figures and
// exits. The same work as morvalin_write_job; hivex keeps no transaction log
// and does not sync, which the timing program's sync after the run covers.
//
//   hivex_write_job HIVE LOOKUPS CHANGES
//
// Exit status 0 when all of it was done, 1 otherwise (the reason on standard
// error), 2 for bad arguments.

#include <cstdio>

#include "bench/change_set.h"
#include "bench/hivex_hive.h"
#include "bench/job_figures.h"
#include "bench/lookup_set.h"

int main(int argc, char** argv) {
    if (argc != 4) {
        std::fprintf(stderr, "Использование: %s КУСТ СПИСОК_ПОИСКОВ СПИСОК_ИЗМЕНЕНИЙ\n", argv[0]);
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
    auto changes = bench::readChanges(argv[3]);
    if (!changes) {
        return report(changes.error());
    }
    auto hive = bench::HivexHive::open(argv[1], true);
    if (!hive) {
        return report(hive.error());
    }
    if (auto found = hive->runLookups(*lookups); !found) {
        return report(found.error());
    }
    if (auto set = hive->setValues(*changes); !set) {
        return report(set.error());
    }
    if (auto committed = hive->commit(); !committed) {
        return report(committed.error());
    }
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
