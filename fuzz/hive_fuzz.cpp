// Any bytes as a hive file: open, check, look up, walk. Nothing may crash,
// read outside the input or loop for ever.
#include <cstddef>
#include <cstdint>

#include "hive/dump.h"
#include "hive/hive.h"
#include "hive/validate.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace engine::hive;
    auto hive = Hive::fromBytes({data, size}, "fuzz");
    if (!hive) {
        return 0;
    }
    (void)validateHive(*hive);
    for (const char* path : {"", "Software\\Microsoft\\Windows\\CurrentVersion\\Run",
                             "key_with_many_subkeys\\500", "ПРИВЕТ\\ключ", "AppEvents"}) {
        auto key = hive->findKey(path);
        if (key && *key) {
            if (auto node = hive->key(**key)) {
                (void)hive->findValue(*node, u"Shell");
                (void)hive->className(*node);
            }
        }
    }
    std::size_t lines = 0;
    (void)dumpHive(*hive, "", [&](std::string_view) { ++lines; });
    return 0;
}
