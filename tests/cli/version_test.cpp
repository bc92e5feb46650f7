// --version: one line with the program's name and a version Debian accepts.
#include <regex>

#include <gtest/gtest.h>

#include "cli/cli_run.h"

namespace cli {
namespace {

TEST(Version, OneLineThatDebianTakesAsAVersion) {
    const CliRun run = runCli({"--version"});
    EXPECT_EQ(run.status, 0);
    EXPECT_TRUE(run.err.empty()) << run.err;
    EXPECT_TRUE(std::regex_match(run.out, std::regex("morvalin-cli [0-9][A-Za-z0-9.+~]*\n")))
        << run.out;
}

} // namespace
} // namespace cli
