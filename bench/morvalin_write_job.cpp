// Job (b) of the whole-process benchmark, done by our engine: opens the hive
// (recovered from its logs when dirty), reads and checks the values of the
// lookup list, sets the values of the change list, writes the hive back in
// place through its transaction log (engine::hive::writeBack), prints what it
// wrote and its memory figures, and exits.
//
//   morvalin_write_job HIVE LOOKUPS CHANGES
//
// Printed (bench/job_figures.h): written_primary and written_log, the bytes
// the write-back report counts, then file_rss and anon_rss. Exit status 0 when
// all of it was done, 1 otherwise (the reason on standard error), 2 for bad
// arguments.

#include <cstdio>
#include <span>

#include "bench/change_set.h"
#include "bench/job_figures.h"
#include "bench/lookup_set.h"
#include "hive/file_io.h"
#include "hive/hive.h"
#include "hive/names.h"
#include "hive/write_back.h"

namespace {

using engine::hive::Result;

Result<void> setValues(engine::hive::Hive& hive, std::span<const bench::Change> changes) {
    for (const bench::Change& change : changes) {
        auto key = hive.findKey(change.after.key);
        if (!key) {
            return tl::unexpected(key.error());
        }
        if (!*key) {
            return tl::unexpected(hive.error("нет раздела " + change.after.key));
        }
        const auto name = engine::hive::fromUtf8(change.after.value);
        if (!name) {
            return engine::hive::fail("имя параметра не в кодировке UTF-8: " + change.after.value);
        }
        if (auto set = hive.setValue(**key, *name, change.after.type, change.data); !set) {
            return set;
        }
    }
    return {};
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 4) {
        std::fprintf(stderr, "Использование: %s КУСТ СПИСОК_ПОИСКОВ СПИСОК_ИЗМЕНЕНИЙ\n", argv[0]);
        return 2;
    }
    const auto report = [](const engine::hive::Error& e) {
        std::fprintf(stderr, "%s\n", e.describe().c_str());
        return 1;
    };
    const std::filesystem::path file = argv[1];
    auto lookups = bench::readLookups(argv[2]);
    if (!lookups) {
        return report(lookups.error());
    }
    auto changes = bench::readChanges(argv[3]);
    if (!changes) {
        return report(changes.error());
    }
    auto hive = engine::hive::Hive::openRecovered(file);
    if (!hive) {
        return report(hive.error());
    }
    if (auto found = bench::runLookups(*hive, *lookups); !found) {
        return report(found.error());
    }
    if (auto set = setValues(*hive, *changes); !set) {
        return report(set.error());
    }
    engine::hive::PosixFileIo io;
    auto written = engine::hive::writeBack(io, file, hive->mutableImage());
    if (!written) {
        return report(written.error());
    }
    if (!written->written) {
        // Values were set, so pages changed: a write-back that wrote nothing
        // would make the figures a lie.
        return report({"запись не выполнена: изменённых страниц нет", file.string(), {}, false});
    }
    auto memory = bench::memoryFigures();
    if (!memory) {
        return report(memory.error());
    }
    memory->insert(memory->begin(),
                   {{"written_primary", static_cast<double>(written->primaryBytes), "bytes"},
                    {"written_log", static_cast<double>(written->logBytes), "bytes"}});
    bench::printFigures(*memory);
    return 0;
}
