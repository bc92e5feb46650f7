#include <cstdint>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "hive/bytes.h"
#include "hive/marvin32.h"
#include "support/test_files.h"

namespace engine::hive {
namespace {

std::vector<std::uint8_t> fromHex(const std::string& hex) {
    std::vector<std::uint8_t> bytes;
    for (std::size_t i = 0; i + 1 < hex.size(); i += 2) {
        bytes.push_back(static_cast<std::uint8_t>(std::stoul(hex.substr(i, 2), nullptr, 16)));
    }
    return bytes;
}

TEST(Marvin32, MatchesPublishedVectorsForEveryTailLength) {
    // The vectors .NET publishes for its Marvin implementation (MarvinTests):
    // lengths 0 to 7 cover each way the last 0-3 bytes are padded, and the
    // second seed has its top bit set.
    struct Case {
        std::uint64_t seed;
        const char* data;
        std::uint64_t hash;
    };
    const Case cases[] = {
        {0x004FB61A001BDBCCull, "", 0x30ED35C100CD3C7Dull},
        {0x004FB61A001BDBCCull, "af", 0x48E73FC77D75DDC1ull},
        {0x004FB61A001BDBCCull, "e70f", 0xB5F6E1FC485DBFF8ull},
        {0x004FB61A001BDBCCull, "37f495", 0xF0B07C789B8CF7E8ull},
        {0x004FB61A001BDBCCull, "8642dc59", 0x7008F2E87E9CF556ull},
        {0x004FB61A001BDBCCull, "153fb79826", 0xE6C08C6DA2AFA997ull},
        {0x004FB61A001BDBCCull, "0932e6246c47", 0x6F04BF1A5EA24060ull},
        {0x004FB61A001BDBCCull, "ab427ea8d10fc7", 0xE11847E4F0678C41ull},
        {0x804FB61A001BDBCCull, "153fb79826", 0x0A06114B13464DBDull},
        {0x804FB61A801BDBCCull, "FF00FF", 0x9D8577C0FE0D30BFull},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(marvin32(fromHex(c.data), c.seed), c.hash) << c.data;
    }
}

TEST(Marvin32, ReproducesTheHashesWindowsStoredInLogEntries) {
    // Every HvLE entry carries Hash-1 over its page references and pages and
    // Hash-2 over its first 32 bytes, both seeded with 82 EF 4D 88 7A 4E 55 C5.
    constexpr std::uint64_t seed = 0x82EF4D887A4E55C5ull;
    std::size_t entries = 0;
    for (const char* file : {"hives/dirty-new/NewDirtyHive.LOG1",
                             "hives/dirty-new/NewDirtyHive.LOG2", "hives/win81-ntuser.dat.LOG"}) {
        const auto log = test::readFile(test::testdata(file));
        for (std::size_t at = 512; at + 40 <= log.size();) {
            const std::uint8_t* e = log.data() + at;
            if (std::string(reinterpret_cast<const char*>(e), 4) != "HvLE") {
                break;
            }
            const std::uint32_t size = le32(e + 4);
            ASSERT_LE(at + size, log.size());
            EXPECT_EQ(marvin32({e + 40, size - 40}, seed), le64(e + 24)) << file << " @" << at;
            EXPECT_EQ(marvin32({e, 32}, seed), le64(e + 32)) << file << " @" << at;
            ++entries;
            at += size;
        }
    }
    EXPECT_EQ(entries, 5u);
}

} // namespace
} // namespace engine::hive
