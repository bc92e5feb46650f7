#include <string>

#include <gtest/gtest.h>

#include "hive/hive.h"
#include "hive/validate.h"
#include "support/test_files.h"

namespace engine::hive {
namespace {

std::string findingsText(const Validation& v) {
    std::string text;
    for (const auto& f : v.findings) {
        text += f.describe() + "\n";
    }
    return text;
}

TEST(HiveValidation, AcceptsEveryHiveWindowsWrote) {
    for (const char* file :
         {"hives/empty-hive", "hives/xp-ntuser.dat", "hives/win7-ntuser.dat",
          "hives/win81-ntuser.dat", "hives/windows-written/BigDataHive",
          "hives/windows-written/ManySubkeysHive", "hives/windows-written/OffHive",
          "hives/windows-written/UnicodeHive", "hives/dirty-new/RecoveredHive_Windows10",
          "hives/dirty-old/RecoveredHive_Windows7"}) {
        auto hive = Hive::open(test::testdata(file));
        ASSERT_TRUE(hive) << hive.error().describe();
        const Validation v = validateHive(*hive);
        EXPECT_TRUE(v.canChange()) << file << "\n" << findingsText(v);
        EXPECT_GT(v.keys, 0u);
    }
}

TEST(HiveValidation, RefusesDamagedAndDirtyHivesNamingTheFault) {
    const struct {
        const char* file;
        const char* fault; // part of the first blocking finding
    } cases[] = {
        {"hives/corrupt/TruncatedHive", "файл обрезан"},
        {"hives/corrupt/WrongOrderHive", "не по порядку"},
        {"hives/corrupt/BadListHive", "список подразделов"},
        {"hives/dirty-new/NewDirtyHive", "«грязный»"},
        {"hives/dirty-old/OldDirtyHive", "«грязный»"},
    };
    for (const auto& c : cases) {
        auto hive = Hive::open(test::testdata(c.file));
        ASSERT_TRUE(hive) << hive.error().describe();
        const Validation v = validateHive(*hive);
        ASSERT_FALSE(v.canChange()) << c.file;
        EXPECT_NE(v.firstBlocking()->message.find(c.fault), std::string::npos) << c.file << "\n"
                                                                               << findingsText(v);
    }
}

TEST(HiveValidation, ChecksumRuleMapsZeroAndAllOnes) {
    // Words whose XOR is 0 must give 1, and 0xFFFFFFFF must give 0xFFFFFFFE.
    std::vector<std::uint8_t> header(512, 0);
    EXPECT_EQ(baseBlockChecksum(header), 1u);
    header[0] = header[1] = header[2] = header[3] = 0xFF;
    EXPECT_EQ(baseBlockChecksum(header), 0xFFFFFFFEu);
    header[0] = 0x12;
    EXPECT_EQ(baseBlockChecksum(header), 0xFFFFFF12u);
}

} // namespace
} // namespace engine::hive
