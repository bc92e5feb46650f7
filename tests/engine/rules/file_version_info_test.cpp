// The version reader over real PE files that windres and ld build: strings of
// the first translation, the fixed part's type and flags, 32- and 64-bit
// images, the file's facts, and damaged files that must give an empty record.
#include <cctype>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>
#include <string>

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/types.h>

#include "platform/drive_table.h"
#include "rules/file_version_info.h"
#include "support/ntfs_volume.h"
#include "support/pe_builder.h"
#include "support/test_files.h"

namespace engine::rules {
namespace {

namespace fs = std::filesystem;
using test::PeBits;
using test::VersionResource;

std::string slurp(const fs::path& file) {
    const auto bytes = test::readFile(file);
    return {bytes.begin(), bytes.end()};
}

void spit(const fs::path& file, const std::string& bytes) {
    fs::create_directories(file.parent_path());
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    out << bytes;
}

std::uint32_t getU32(const std::string& bytes, std::size_t offset) {
    std::uint32_t v = 0;
    std::memcpy(&v, bytes.data() + offset, 4);
    return v;
}
std::uint16_t getU16(const std::string& bytes, std::size_t offset) {
    std::uint16_t v = 0;
    std::memcpy(&v, bytes.data() + offset, 2);
    return v;
}
void putU32(std::string& bytes, std::size_t offset, std::uint32_t v) {
    std::memcpy(bytes.data() + offset, &v, 4);
}
void putU16(std::string& bytes, std::size_t offset, std::uint16_t v) {
    std::memcpy(bytes.data() + offset, &v, 2);
}

// Where the interesting parts of a built PE lie, found by walking it the way
// the PE/COFF format lays it out (independently of the reader under test).
struct PeLayout {
    std::size_t peHeader = 0;
    std::size_t optionalHeader = 0;
    std::size_t resourceDirectoryEntry = 0; // data directory 2 in the optional header
    std::size_t sectionTable = 0;
    std::size_t rsrcSectionHeader = 0;
    std::size_t rsrc = 0;          // file offset of the resource directory
    std::size_t typeEntry = 0;     // the root's entry for type 16
    std::size_t nameEntry = 0;     // the first name's entry
    std::size_t languageEntry = 0; // the first language's entry
    std::size_t dataEntry = 0;     // the data entry
    std::size_t version = 0;       // file offset of the VS_VERSIONINFO block
    std::size_t versionSize = 0;
    std::size_t fixedInfo = 0; // file offset of VS_FIXEDFILEINFO
};

PeLayout layoutOf(const std::string& pe) {
    PeLayout l;
    l.peHeader = getU32(pe, 0x3c);
    l.optionalHeader = l.peHeader + 24;
    const bool pe64 = getU16(pe, l.optionalHeader) == 0x20b;
    l.resourceDirectoryEntry = l.optionalHeader + (pe64 ? 112 : 96) + 2 * 8;
    l.sectionTable = l.optionalHeader + getU16(pe, l.peHeader + 20);
    const std::uint32_t rsrcRva = getU32(pe, l.resourceDirectoryEntry);
    const unsigned sections = getU16(pe, l.peHeader + 6);
    std::uint32_t rsrcVa = 0;
    for (unsigned i = 0; i < sections; ++i) {
        const std::size_t header = l.sectionTable + i * 40;
        if (pe.compare(header, 5, ".rsrc") == 0) {
            l.rsrcSectionHeader = header;
            rsrcVa = getU32(pe, header + 12);
            l.rsrc = getU32(pe, header + 20) + (rsrcRva - rsrcVa);
        }
    }
    EXPECT_NE(l.rsrcSectionHeader, 0u);
    const auto entryOf = [&](std::size_t directory) { return directory + 16; };
    const auto below = [&](std::size_t entry) {
        return l.rsrc + (getU32(pe, entry + 4) & 0x7fffffffu);
    };
    l.typeEntry = entryOf(l.rsrc);
    EXPECT_EQ(getU32(pe, l.typeEntry), 16u); // the only resource: RT_VERSION
    l.nameEntry = entryOf(below(l.typeEntry));
    l.languageEntry = entryOf(below(l.nameEntry));
    l.dataEntry = below(l.languageEntry);
    l.version = getU32(pe, l.rsrcSectionHeader + 20) + (getU32(pe, l.dataEntry) - rsrcVa);
    l.versionSize = getU32(pe, l.dataEntry + 4);
    l.fixedInfo = pe.find(std::string("\xbd\x04\xef\xfe", 4), l.version);
    EXPECT_NE(l.fixedInfo, std::string::npos);
    return l;
}

// Russian first, English second, as a Russian Windows XP's programs carry
// them; the keys spelled as resources usually spell them.
VersionResource bilingual() {
    VersionResource r;
    r.tables = {
        {"041904b0",
         {{"CompanyName", "Корпорация Майкрософт"},
          {"FileDescription", "Диспетчер задач Windows"},
          {"FileVersion", "5.1.2600.5512 (xpsp.080413-2111)"},
          {"InternalName", "taskmgr"},
          {"LegalCopyright", "© Корпорация Майкрософт. Все права защищены."},
          {"LegalTrademarks", "Microsoft® является зарегистрированным товарным знаком"},
          {"OriginalFilename", "taskmgr.exe"},
          {"ProductName", "Операционная система Microsoft® Windows®"},
          {"ProductVersion", "5.1.2600.5512"}}},
        {"040904b0",
         {{"CompanyName", "Microsoft Corporation"},
          {"FileDescription", "Windows Task Manager"},
          {"LegalCopyright", "© Microsoft Corporation. All rights reserved."},
          {"ProductName", "Microsoft® Windows® Operating System"}}},
    };
    r.translations = {{0x0419, 1200}, {0x0409, 1200}};
    r.flagsMask = 0x3f;
    r.flags = 0x14;
    return r;
}

class VersionPe : public ::testing::Test {
protected:
    std::string build(const VersionResource& resource, PeBits bits = PeBits::Pe32) {
        const fs::path file = dir_ / ("pe" + std::to_string(++count_) + ".exe");
        test::buildVersionedPe(file, resource, bits);
        return slurp(file);
    }
    test::TempDir dir_;
    int count_ = 0;
};

TEST_F(VersionPe, ReadsTheFirstTranslationsStringsFrom32And64BitImages) {
    for (const PeBits bits : {PeBits::Pe32, PeBits::Pe64}) {
        SCOPED_TRACE(bits == PeBits::Pe32 ? "PE32" : "PE32+");
        const std::string pe = build(bilingual(), bits);
        ASSERT_EQ(getU16(pe, layoutOf(pe).optionalHeader), bits == PeBits::Pe32 ? 0x10b : 0x20b);
        const TFileVersionInfo info = readVersionResource(pe);
        EXPECT_EQ(info.CompanyName, "Корпорация Майкрософт");
        EXPECT_EQ(info.FileDescription, "Диспетчер задач Windows");
        EXPECT_EQ(info.FileVersion, "5.1.2600.5512 (xpsp.080413-2111)");
        EXPECT_EQ(info.InternalName, "taskmgr");
        EXPECT_EQ(info.LegalCopyright, "\u00a9 Корпорация Майкрософт. Все права защищены.");
        EXPECT_EQ(info.LegalTrademarks,
                  "Microsoft\u00ae является зарегистрированным товарным знаком");
        EXPECT_EQ(info.OriginalFileName, "taskmgr.exe");
        EXPECT_EQ(info.ProductName, "Операционная система Microsoft\u00ae Windows\u00ae");
        EXPECT_EQ(info.ProductVersion, "5.1.2600.5512");
        EXPECT_EQ(info.FileType, "Application");
        EXPECT_TRUE(info.Patched);
        EXPECT_TRUE(info.InfoInferred);
        // The reader of bytes knows nothing of the file itself.
        EXPECT_EQ(info.Size, 0);
        EXPECT_FALSE(info.ReadOnly);
    }
}

TEST_F(VersionPe, OnlyTheFirstTranslationPicksTheTable) {
    VersionResource englishFirst = bilingual();
    englishFirst.translations = {{0x0409, 1200}, {0x0419, 1200}};
    const TFileVersionInfo english = readVersionResource(build(englishFirst));
    EXPECT_EQ(english.CompanyName, "Microsoft Corporation");
    EXPECT_EQ(english.ProductName, "Microsoft\u00ae Windows\u00ae Operating System");
    EXPECT_EQ(english.InternalName, ""); // the English table has none; no fall-back

    // The first translation names a table that is not there: the second,
    // which is, is not consulted.
    VersionResource missingFirst = bilingual();
    missingFirst.translations = {{0x0409, 1252}, {0x0419, 1200}};
    const TFileVersionInfo none = readVersionResource(build(missingFirst));
    EXPECT_EQ(none.CompanyName, "");
    EXPECT_EQ(none.InternalName, "");
    EXPECT_EQ(none.FileType, "Application");

    // No translation table at all: no strings, though the tables exist.
    VersionResource noTranslation = bilingual();
    noTranslation.translations.clear();
    const TFileVersionInfo untranslated = readVersionResource(build(noTranslation));
    EXPECT_EQ(untranslated.CompanyName, "");
    EXPECT_EQ(untranslated.FileType, "Application");
    EXPECT_TRUE(untranslated.Patched);
}

TEST_F(VersionPe, KeysAndBlockNamesMatchWithoutCase) {
    VersionResource r;
    r.tables = {{"041904B0",
                 {{"COMPANYNAME", "A"},
                  {"legalcopyright", "B"},
                  {"LEGALTRADEMARKS", "C"},
                  {"originalfilename", "D"}}}};
    r.translations = {{0x0419, 1200}};
    const std::string pe = build(r);
    // The block names in capitals too (windres insists on its own spelling,
    // so the built file is patched).
    std::string shouting = pe;
    for (const std::string name : {"StringFileInfo", "VarFileInfo", "Translation"}) {
        std::string from;
        std::string to;
        for (const char c : name) {
            from += {c, '\0'};
            to += {static_cast<char>(std::toupper(static_cast<unsigned char>(c))), '\0'};
        }
        const std::size_t at = shouting.find(from);
        ASSERT_NE(at, std::string::npos) << name;
        shouting.replace(at, from.size(), to);
    }
    for (const std::string& bytes : {pe, shouting}) {
        const TFileVersionInfo info = readVersionResource(bytes);
        EXPECT_EQ(info.CompanyName, "A");
        EXPECT_EQ(info.LegalCopyright, "B");
        EXPECT_EQ(info.LegalTrademarks, "C");
        EXPECT_EQ(info.OriginalFileName, "D");
        EXPECT_EQ(info.FileDescription, "");
    }
}

TEST_F(VersionPe, AMissingStringLeavesOnlyItsField) {
    test::VersionStrings s = test::xpUserinit(test::XpLanguage::Russian);
    s.legalTrademarks.clear();
    const TFileVersionInfo info = readVersionResource(build(test::versionResource(s)));
    EXPECT_EQ(info.LegalTrademarks, "");
    EXPECT_EQ(info.InternalName, "userinit");
    EXPECT_EQ(info.OriginalFileName, "USERINIT.EXE");
    EXPECT_EQ(info.FileDescription, "Приложение Userinit для входа в систему");
}

TEST_F(VersionPe, FileTypeTextFromTypeAndSubtype) {
    struct Case {
        std::uint32_t type;
        std::uint32_t subtype;
        const char* text;
    };
    const Case cases[] = {
        {0, 7, "Unknown"},
        {1, 3, "Application"},
        {2, 0, "DLL"},
        {3, 0, "Unknown Driver"},
        {3, 1, "Printer Driver"},
        {3, 2, "Keyboard Driver"},
        {3, 3, "Language Driver"},
        {3, 4, "Display Driver"},
        {3, 5, "Mouse Driver"},
        {3, 6, "Network Driver"},
        {3, 7, "System Driver"},
        {3, 8, "InstallableDriver"},
        {3, 9, "Sound Driver"},
        {3, 10, "Communications Driver"},
        {3, 11, ""},
        {3, 12, ""},
        {4, 0, "Unknown Font"},
        {4, 1, "Raster Font"},
        {4, 2, "Vector Font"},
        {4, 3, "Truetype Font"},
        {4, 4, ""},
        {5, 0, "Virtual Defice Identifier = 00000000"},
        {5, 0x4E2, "Virtual Defice Identifier = 000004E2"},
        {5, 0xABCDEF01, "Virtual Defice Identifier = ABCDEF01"},
        {6, 0, ""},
        {7, 0, "Static-link Library"},
        {8, 0, ""},
        {0xFFFFFFFF, 1, ""},
    };
    // One file built with the type in its script; the rest patch its fixed part.
    VersionResource font = bilingual();
    font.fileType = 4;
    font.fileSubtype = 3;
    const std::string pe = build(font);
    EXPECT_EQ(readVersionResource(pe).FileType, "Truetype Font");
    const std::size_t fixed = layoutOf(pe).fixedInfo;
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.type << "/" << c.subtype);
        std::string patched = pe;
        putU32(patched, fixed + 36, c.type);
        putU32(patched, fixed + 40, c.subtype);
        const TFileVersionInfo info = readVersionResource(patched);
        EXPECT_EQ(info.FileType, c.text);
        EXPECT_EQ(info.CompanyName, "Корпорация Майкрософт");
    }
}

TEST_F(VersionPe, FlagsCountOnlyWhereTheMaskAllowsThem) {
    struct Case {
        std::uint32_t mask;
        std::uint32_t flags;
        bool patched;
        bool inferred;
    };
    const Case cases[] = {
        {0x3f, 0x14, true, true},   {0x3f, 0x04, true, false}, {0x3f, 0x10, false, true},
        {0x0b, 0x14, false, false}, {0x04, 0x14, true, false}, {0x3f, 0x2b, false, false},
    };
    const std::string pe = build(bilingual());
    const std::size_t fixed = layoutOf(pe).fixedInfo;
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << std::hex << c.mask << "/" << c.flags);
        std::string patched = pe;
        putU32(patched, fixed + 24, c.mask);
        putU32(patched, fixed + 28, c.flags);
        const TFileVersionInfo info = readVersionResource(patched);
        EXPECT_EQ(info.Patched, c.patched);
        EXPECT_EQ(info.InfoInferred, c.inferred);
    }
}

TEST_F(VersionPe, AFixedPartWithoutItsSignatureGivesNoTypeButKeepsTheStrings) {
    std::string pe = build(bilingual());
    putU32(pe, layoutOf(pe).fixedInfo, 0xFEEF04BC);
    const TFileVersionInfo info = readVersionResource(pe);
    EXPECT_EQ(info.FileType, "");
    EXPECT_FALSE(info.Patched);
    EXPECT_EQ(info.InternalName, "taskmgr");
}

// Damaged or foreign files: every one gives the empty record, without a crash
// or a read outside the bytes (the sanitizer build checks the latter).
TEST_F(VersionPe, DamagedFilesGiveAnEmptyRecord) {
    for (const PeBits bits : {PeBits::Pe32, PeBits::Pe64}) {
        SCOPED_TRACE(bits == PeBits::Pe32 ? "PE32" : "PE32+");
        const std::string pe = build(bilingual(), bits);
        const PeLayout l = layoutOf(pe);
        ASSERT_EQ(readVersionResource(pe).InternalName, "taskmgr");

        std::vector<std::pair<std::string, std::string>> damaged;
        const auto patch32 = [&](const std::string& what, std::size_t offset, std::uint32_t v) {
            std::string bytes = pe;
            putU32(bytes, offset, v);
            damaged.emplace_back(what, bytes);
        };
        const auto patch16 = [&](const std::string& what, std::size_t offset, std::uint16_t v) {
            std::string bytes = pe;
            putU16(bytes, offset, v);
            damaged.emplace_back(what, bytes);
        };
        damaged.emplace_back("empty", "");
        damaged.emplace_back("text", "This program cannot be run in DOS mode.\r\n");
        damaged.emplace_back("MZ only", "MZ");
        std::string noMz = pe;
        noMz[0] = 'Z';
        damaged.emplace_back("no MZ", noMz);
        for (const std::size_t cut :
             {std::size_t{0x3e}, l.peHeader + 2, l.optionalHeader + 10, l.sectionTable + 50,
              l.rsrcSectionHeader + 22, l.rsrc + 8, l.typeEntry + 4, l.dataEntry + 6, l.version + 4,
              l.version + 40, l.version + l.versionSize / 2, l.version + l.versionSize - 8}) {
            damaged.emplace_back("cut at " + std::to_string(cut), pe.substr(0, cut));
        }
        patch32("no PE signature", l.peHeader, 0x00004550 + 1);
        patch32("e_lfanew past the end", 0x3c, 0x7ffffff0);
        patch32("e_lfanew at the last bytes", 0x3c, static_cast<std::uint32_t>(pe.size() - 2));
        patch16("unknown optional header magic", l.optionalHeader, 0x107);
        patch16("optional header too small for directory 2", l.peHeader + 20, 0x60);
        patch16("huge section count", l.peHeader + 6, 0xffff);
        patch32("no resource table", l.resourceDirectoryEntry, 0);
        patch32("resource table outside every section", l.resourceDirectoryEntry, 0x7ffff000);
        patch32("resource section data past the end", l.rsrcSectionHeader + 20, 0xfffffff0);
        patch32("resource section without raw data", l.rsrcSectionHeader + 16, 0);
        patch32("no version type", l.typeEntry, 3);
        patch32("type entry is data, not a directory", l.typeEntry + 4, 0x18);
        patch16("name directory empty", l.nameEntry - 2, 0);
        patch16("huge id entry count", l.rsrc + 14, 0xffff);
        patch32("subdirectory past the resource table", l.typeEntry + 4, 0xfffffff0);
        // Loops: a directory that points back at the root, or at itself.
        patch32("type's names are the root", l.typeEntry + 4, 0x80000000);
        patch32("names' languages are the root", l.nameEntry + 4, 0x80000000);
        patch32("language is a directory", l.languageEntry + 4, 0x80000000);
        patch32("language entry points at itself", l.languageEntry + 4,
                0x80000000u | static_cast<std::uint32_t>(l.languageEntry - 16 - l.rsrc));
        patch32("data entry outside the file", l.dataEntry, 0x7fffff00);
        patch32("data of huge size", l.dataEntry + 4, 0xffffff00);
        patch32("data address wraps", l.dataEntry, 0xffffffff);
        patch16("root block longer than the data", l.version, 0xffff);
        patch16("root block shorter than its header", l.version, 4);
        patch16("root block value length past the block", l.version + 2, 0xffff);
        damaged.emplace_back("version key without NUL", [&] {
            std::string bytes = pe;
            for (std::size_t i = l.version + 6; i < l.version + l.versionSize; i += 2) {
                bytes[i] = 'A';
                bytes[i + 1] = 0;
            }
            return bytes;
        }());

        for (const auto& [what, bytes] : damaged) {
            SCOPED_TRACE(what);
            const TFileVersionInfo info = readVersionResource(bytes);
            EXPECT_EQ(info.InternalName, "");
            EXPECT_EQ(info.CompanyName, "");
            EXPECT_EQ(info.FileType, "");
        }
    }
}

// Children whose lengths are zero or run past their parent: the walk stops
// at them and the strings before them are still found.
TEST_F(VersionPe, BrokenChildBlocksStopTheWalkThere) {
    const std::string pe = build(bilingual());
    const PeLayout l = layoutOf(pe);
    const std::string key = std::string("P\0r\0o\0d\0u\0c\0t\0V\0e\0r\0s\0i\0o\0n\0", 28);
    const std::size_t productVersionKey = pe.find(key, l.version);
    ASSERT_NE(productVersionKey, std::string::npos);
    for (const std::uint16_t length : {std::uint16_t{0}, std::uint16_t{2}, std::uint16_t{0xfff0}}) {
        SCOPED_TRACE(length);
        std::string bytes = pe;
        putU16(bytes, productVersionKey - 6, length);
        const TFileVersionInfo info = readVersionResource(bytes);
        EXPECT_EQ(info.ProductVersion, "");
        EXPECT_EQ(info.CompanyName, "Корпорация Майкрософт");
        EXPECT_EQ(info.ProductName, "Операционная система Microsoft\u00ae Windows\u00ae");
    }
}

// ---------------------------------------------------------------------------
// Through the drive table: the file's facts.

// Sets TZ for one test and puts the old value back.
class ScopedTimeZone {
public:
    explicit ScopedTimeZone(const char* zone) {
        if (const char* old = std::getenv("TZ")) {
            old_ = old;
        }
        ::setenv("TZ", zone, 1);
        ::tzset();
    }
    ~ScopedTimeZone() {
        if (old_) {
            ::setenv("TZ", old_->c_str(), 1);
        } else {
            ::unsetenv("TZ");
        }
        ::tzset();
    }

private:
    std::optional<std::string> old_;
};

class ReadFromDisk : public VersionPe {
protected:
    void SetUp() override {
        drives_.add('c', platform::DriveType::Fixed, disk_.path());
        system32_ = disk_ / "WINDOWS" / "system32";
        fs::create_directories(system32_);
    }
    test::TempDir disk_;
    platform::DriveTable drives_;
    fs::path system32_;
};

TEST_F(ReadFromDisk, ReadsStringsTimesAndSizeOfAFileFoundWithoutCase) {
    const std::string pe = build(test::versionResource(test::xpTaskmgr()));
    spit(system32_ / "taskmgr.exe", pe);
    // 2008-04-14 12:00:00.250 UTC written, 2009-01-01 06:00:00 UTC read.
    const struct timespec times[2] = {{1230789600, 0}, {1208174400, 250000000}};
    ASSERT_EQ(::utimensat(AT_FDCWD, (system32_ / "taskmgr.exe").c_str(), times, 0), 0);

    const ScopedTimeZone utc("UTC0");
    const TFileVersionInfo info =
        ReadFileVersionInfo(drives_, "C:\\windows\\SYSTEM32\\TaskMgr.EXE");
    EXPECT_EQ(info.InternalName, "taskmgr");
    EXPECT_EQ(info.CompanyName, "Microsoft Corporation");
    EXPECT_EQ(info.Size, static_cast<std::int64_t>(pe.size()));
    EXPECT_DOUBLE_EQ(info.LastWriteTime, 39552.0 + (12 * 3600 + 0.25) / 86400.0);
    EXPECT_DOUBLE_EQ(info.LastAccessTime, 39814.25);
    EXPECT_FALSE(info.Directory);
    EXPECT_FALSE(info.ReadOnly);
    EXPECT_EQ(info.TypeName, "");
    EXPECT_EQ(info.Icon, 0u);

    // Local time: three hours east of UTC moves the write time by 3/24 day.
    const ScopedTimeZone moscow("MSK-3");
    const TFileVersionInfo local =
        ReadFileVersionInfo(drives_, "c:\\WINDOWS\\system32\\taskmgr.exe");
    EXPECT_DOUBLE_EQ(local.LastWriteTime, 39552.0 + (15 * 3600 + 0.25) / 86400.0);
}

TEST_F(ReadFromDisk, NothingThereGivesTheEmptyRecord) {
    EXPECT_EQ(ReadFileVersionInfo(drives_, "c:\\WINDOWS\\system32\\taskmgr.exe"),
              TFileVersionInfo{});
    EXPECT_EQ(ReadFileVersionInfo(drives_, "c:\\WINDOWS\\system32\\dllcache\\taskmgr.exe"),
              TFileVersionInfo{});
    EXPECT_EQ(ReadFileVersionInfo(drives_, "q:\\taskmgr.exe"), TFileVersionInfo{});
    EXPECT_EQ(ReadFileVersionInfo(drives_, "taskmgr.exe"), TFileVersionInfo{});
}

TEST_F(ReadFromDisk, AFolderIsADirectoryWithoutSizeOrStrings) {
    const TFileVersionInfo info = ReadFileVersionInfo(drives_, "c:\\WINDOWS\\system32");
    EXPECT_TRUE(info.Directory);
    EXPECT_EQ(info.Size, 0);
    EXPECT_EQ(info.InternalName, "");
    EXPECT_GT(info.LastWriteTime, 0);
}

TEST_F(ReadFromDisk, AFileWithoutWriteBitsIsReadOnly) {
    spit(system32_ / "userinit.exe", build(test::versionResource(test::xpUserinit())));
    fs::permissions(system32_ / "userinit.exe",
                    fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
    const TFileVersionInfo info =
        ReadFileVersionInfo(drives_, "c:\\WINDOWS\\system32\\userinit.exe");
    EXPECT_TRUE(info.ReadOnly);
    EXPECT_EQ(info.InternalName, "userinit");
}

// Something planted under a program's name that is not a plain file, or a
// file too large to be one: read without waiting, and no strings.
TEST_F(ReadFromDisk, FifosAndHugeFilesGiveNoStrings) {
    ASSERT_EQ(::mkfifo((system32_ / "taskmgr.exe").c_str(), 0644), 0);
    const TFileVersionInfo fifo =
        ReadFileVersionInfo(drives_, "c:\\WINDOWS\\system32\\taskmgr.exe");
    EXPECT_EQ(fifo.InternalName, "");

    const std::string pe = build(test::versionResource(test::xpUserinit()));
    spit(system32_ / "userinit.exe", pe);
    ASSERT_EQ(readVersionResource(pe).InternalName, "userinit");
    const std::uintmax_t huge = 65ull * 1024 * 1024;
    fs::resize_file(system32_ / "userinit.exe", huge); // sparse: the PE stays at its start
    const TFileVersionInfo info =
        ReadFileVersionInfo(drives_, "c:\\WINDOWS\\system32\\userinit.exe");
    EXPECT_EQ(info.InternalName, "");
    EXPECT_EQ(info.Size, static_cast<std::int64_t>(huge));
}

// On a real NTFS volume the attributes come from ntfs-3g's extended attribute.
TEST(ReadFromNtfs, AttributesComeFromTheVolume) {
    test::TempDir work;
    std::string whyNot;
    const auto volume = test::NtfsVolume::create(work.path(), whyNot);
    if (!volume) {
        GTEST_SKIP() << "no NTFS volume: " << whyNot;
    }
    const fs::path system32 = volume->root() / "WINDOWS" / "system32";
    fs::create_directories(system32);
    test::buildVersionedPe(system32 / "taskmgr.exe", test::xpTaskmgr(test::XpLanguage::Russian));
    // Read-only, hidden, system, archive.
    ASSERT_TRUE(test::writeXattr(system32 / "taskmgr.exe", "system.ntfs_attrib_be",
                                 {0x00, 0x00, 0x00, 0x27}));
    platform::DriveTable drives;
    drives.add('c', platform::DriveType::Fixed, volume->root());
    const TFileVersionInfo info = ReadFileVersionInfo(drives, "c:\\WINDOWS\\system32\\taskmgr.exe");
    EXPECT_TRUE(info.ReadOnly);
    EXPECT_TRUE(info.Hidden);
    EXPECT_TRUE(info.System);
    EXPECT_TRUE(info.Archive);
    EXPECT_FALSE(info.VolumeLabel);
    EXPECT_FALSE(info.Directory);
    EXPECT_FALSE(info.Attribute40);
    EXPECT_EQ(info.CompanyName, "Корпорация Майкрософт");
    EXPECT_GT(info.CreationTime, 0);

    const TFileVersionInfo folder = ReadFileVersionInfo(drives, "c:\\WINDOWS\\system32");
    EXPECT_TRUE(folder.Directory);
    EXPECT_FALSE(folder.Hidden);
}

} // namespace
} // namespace engine::rules
