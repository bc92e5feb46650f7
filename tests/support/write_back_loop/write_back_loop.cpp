// Writes a hive back over and over until it is killed: the kill test's
// victim. Usage: morvalin_write_back_loop HIVE START [xp|vista|win81]
//
// Opens HIVE as the offline registry does (recovered in memory when dirty),
// then for step START+1, START+2, ... applies test::applyStep and writes the
// hive back, printing each step's number on its own line once its
// write-back has returned.
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>

#include <unistd.h>

#include "hive/base_block.h"
#include "hive/log_recovery.h"
#include "hive/write_back.h"
#include "support/hive_changes.h"

namespace {

using namespace engine::hive;

int complain(const std::string& what) {
    std::fprintf(stderr, "write_back_loop: %s\n", what.c_str());
    return 2;
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        return complain("usage: morvalin_write_back_loop HIVE START [xp|vista|win81]");
    }
    const std::filesystem::path primary = argv[1];
    std::uint32_t step = static_cast<std::uint32_t>(std::strtoul(argv[2], nullptr, 10));
    WriteBackOptions options;
    const std::string windows = argc > 3 ? argv[3] : "";
    if (windows == "xp") {
        options.windows = WindowsGeneration::Xp;
    } else if (windows == "vista") {
        options.windows = WindowsGeneration::VistaTo8;
    } else if (windows == "win81") {
        options.windows = WindowsGeneration::Win81OrLater;
    }

    auto image = HiveImage::mapFile(primary);
    if (!image) {
        return complain(image.error().describe());
    }
    auto header = parseBaseBlock({image->data(), image->size()});
    if (!header) {
        return complain(header.error().describe());
    }
    if (header->dirty()) {
        auto logs = readLogFiles(primary);
        if (!logs) {
            return complain(logs.error().describe());
        }
        if (auto recovered = recoverHive(*image, *logs); !recovered) {
            return complain(recovered.error().describe());
        }
    }
    PosixFileIo io;
    const test::StepPlace place = test::stepPlace(*image);
    for (;;) {
        ++step;
        test::applyStep(*image, place, step);
        auto report = writeBack(io, primary, *image, options);
        if (!report) {
            return complain(report.error().describe());
        }
        const std::string line = std::to_string(step) + "\n";
        if (::write(STDOUT_FILENO, line.data(), line.size()) != static_cast<ssize_t>(line.size())) {
            return complain("cannot report the step");
        }
    }
}
