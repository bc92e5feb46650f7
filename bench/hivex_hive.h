#pragma once

#include <filesystem>
#include <memory>
#include <span>
#include <string>

#include <hivex.h>

#include "bench/change_set.h"
#include "bench/lookup_set.h"
#include "hive/error.h"

namespace bench {

// A hive opened by libhivex, for the benchmarks that time hivex doing the
// same work as our engine: the lookups of a lookup list, the values of a
// change list, the write back. Owns the handle; every failure comes with
// hivex's errno text and the key it was about.
class HivexHive {
public:
    // Read-only, or with HIVEX_OPEN_WRITE.
    static engine::hive::Result<HivexHive> open(const std::filesystem::path& file, bool writable);

    // Looks up every value by its key path and name (hivex_node_get_child,
    // hivex_node_get_value), reads its data (hivex_value_value) and compares
    // it with what is expected, as bench::runLookups does with our engine.
    engine::hive::Result<void> runLookups(std::span<const Lookup> lookups) const;
    // hivex_node_set_value for each change, in memory.
    engine::hive::Result<void> setValues(std::span<const Change> changes);
    // hivex_commit into the file the hive was opened from.
    engine::hive::Result<void> commit();
    // hivex_close, with its result.
    engine::hive::Result<void> close();

private:
    struct Closer {
        void operator()(hive_h* h) const { hivex_close(h); }
    };
    HivexHive(hive_h* handle, std::string file)
        : handle_(handle)
        , file_(std::move(file)) {}
    engine::hive::Result<hive_node_h> findKey(const std::string& path) const;
    tl::unexpected<engine::hive::Error> failure(const std::string& what) const;

    std::unique_ptr<hive_h, Closer> handle_;
    std::string file_;
};

} // namespace bench
