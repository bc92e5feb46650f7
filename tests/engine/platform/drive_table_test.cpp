// The drive table: letters, types, the logical-drive mask, and drives given
// on the command line.
#include <fstream>
#include <string>

#include <gtest/gtest.h>

#include "platform/drive_table.h"
#include "support/test_files.h"

namespace engine::platform {
namespace {

TEST(DriveTable, LettersWithoutCaseInLetterOrderLastOneWins) {
    DriveTable table;
    table.add('G', DriveType::Cdrom, "/g");
    table.add('c', DriveType::Fixed, "/c");
    table.add('a', DriveType::Removable, "/a");
    table.add('C', DriveType::Removable, "/c2"); // replaces c:
    table.add('1', DriveType::Fixed, "/1");
    table.add('[', DriveType::Fixed, "/x");
    table.add('\0', DriveType::Fixed, "/x");

    std::string letters;
    for (const auto& drive : table.drives()) {
        letters += drive.letter;
    }
    EXPECT_EQ(letters, "acg");
    ASSERT_NE(table.find('C'), nullptr);
    EXPECT_EQ(table.find('C')->root, "/c2");
    EXPECT_EQ(table.find('c')->type, DriveType::Removable);
    EXPECT_EQ(table.find('d'), nullptr);
    EXPECT_EQ(table.find('!'), nullptr);
    EXPECT_EQ(table.logicalDrives(), (1u << 0) | (1u << 2) | (1u << 6));
    EXPECT_TRUE(DriveTable{}.empty());
    EXPECT_EQ(DriveTable{}.logicalDrives(), 0u);
}

TEST(DriveTable, LogicalDrivesCoversAToZ) {
    DriveTable table;
    table.add('a', DriveType::Fixed, "/a");
    table.add('z', DriveType::Fixed, "/z");
    EXPECT_EQ(table.logicalDrives(), (1u << 0) | (1u << 25));
}

TEST(DriveTable, TypeOfADriveString) {
    DriveTable table;
    table.add('c', DriveType::Fixed, "/c");
    table.add('e', DriveType::Removable, "/e");
    table.add('f', DriveType::Cdrom, "/f");
    table.add('r', DriveType::Remote, "/r");
    const std::pair<const char*, DriveType> cases[] = {
        {"c:", DriveType::Fixed},     {"C:", DriveType::Fixed},
        {"c:\\", DriveType::Fixed},   {"e:", DriveType::Removable},
        {"F:\\", DriveType::Cdrom},   {"r:", DriveType::Remote},
        {"d:", DriveType::NoRootDir}, {"Z:\\", DriveType::NoRootDir},
        {"", DriveType::Unknown},     {"c", DriveType::Unknown},
        {"c:/", DriveType::Unknown},  {"c:\\x", DriveType::Unknown},
        {"cc:", DriveType::Unknown},  {"1:", DriveType::Unknown},
        {":c", DriveType::Unknown},   {"\\\\srv\\share", DriveType::Unknown},
    };
    for (const auto& [drive, type] : cases) {
        EXPECT_EQ(table.type(drive), type) << '"' << drive << '"';
    }
}

TEST(ParseDriveOption, LetterAndExistingFolder) {
    test::TempDir dir;
    std::filesystem::create_directory(dir / "a=b");

    auto drive = parseDriveOption("D=" + dir.path().string(), DriveType::Removable);
    ASSERT_TRUE(drive) << drive.error();
    EXPECT_EQ(drive->letter, 'd');
    EXPECT_EQ(drive->type, DriveType::Removable);
    EXPECT_EQ(drive->root, dir.path());

    // Only the first "=" separates: the folder may hold one.
    drive = parseDriveOption("c=" + (dir / "a=b").string(), DriveType::Fixed);
    ASSERT_TRUE(drive) << drive.error();
    EXPECT_EQ(drive->root, dir / "a=b");
}

TEST(ParseDriveOption, ErrorsAreOneLineNamingTheFault) {
    test::TempDir dir;
    std::ofstream(dir / "file") << "x";
    const std::string folder = dir.path().string();
    struct Case {
        std::string option;
        std::string named; // what the message must quote
    };
    const Case cases[] = {
        {"c" + folder, "c" + folder}, // no "="
        {"", ""},
        {"cd=" + folder, "cd"},
        {"1=" + folder, "1"},
        {"=" + folder, ""},
        {"\xd1\x81=" + folder, "\xd1\x81"}, // a Cyrillic letter that looks like c
        {"c=" + (dir / "missing").string(), (dir / "missing").string()},
        {"c=" + (dir / "file").string(), (dir / "file").string()},
        {"c=", "c"},
    };
    for (const Case& c : cases) {
        const auto drive = parseDriveOption(c.option, DriveType::Fixed);
        ASSERT_FALSE(drive) << c.option;
        EXPECT_FALSE(drive.error().empty()) << c.option;
        EXPECT_EQ(drive.error().find('\n'), std::string::npos) << drive.error();
        EXPECT_NE(drive.error().find(c.named), std::string::npos)
            << c.option << ": " << drive.error();
    }
}

} // namespace
} // namespace engine::platform
