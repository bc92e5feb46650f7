// Our hive reader checked against three readers that share no code with it:
// hivex (through tests/tools/hivex_dump.py, which prints our dump's text form),
// libregf's regfexport and reglookup.
//
// What each of them can and cannot read, as measured here; the comparisons
// are narrowed to that, as support/independent_readers.h describes:
//
//   hivex       reads every Windows-written hive here, Latin-1 and UTF-16
//               names (with a NUL in them too), big data: its dump must equal
//               ours exactly. It refuses a hive holding a name with an unpaired
//               UTF-16 surrogate (HivexAndRegfexportRefuse... below).
//   regfexport  refuses such a hive too, and ends names at a NUL. It takes
//               value data of 1 to 3 bytes kept in the value cell from the wrong
//               end of the 4-byte field (Windows writes such values: NodeSlots
//               in every NTUSER.DAT here): those values are compared as it reads
//               them. Strings are compared as the text before the first NUL,
//               without a size (it prints the size of that text, not of the
//               data); compressed names as Windows-1252, which it reads them as.
//               Integers are compared as numbers, all else byte by byte.
//   reglookup   converts names to ASCII, ending them at a NUL; any other name it
//               prints as its stored bytes (Latin-1 or UTF-16LE), and so it is
//               compared. Strings that are not all ASCII it prints as raw bytes;
//               ASCII strings only up to the first NUL; multi-strings without
//               empty items; integers from at least 4 (8) bytes. It reads big
//               data.
//
// The damaged hives of corrupt/: our reader refuses to let them be changed (and
// its dump stops where it cannot go on); DamagedHives says what the others do.

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <fstream>
#include <numeric>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "hive/base_block.h"
#include "hive/cells.h"
#include "hive/dump.h"
#include "hive/hive.h"
#include "hive/names.h"
#include "hive/validate.h"
#include "support/independent_readers.h"
#include "support/test_files.h"

namespace engine::hive {
namespace {

using test::ReaderFailure;

// ---- A hive made byte by byte ------------------------------------------------

// For names and data that no Windows-written test hive holds: a format 1.5
// hive with one hive bin, each key's subkeys in an `lh` list sorted as Windows
// sorts them, data of up to 4 bytes kept in the value cell as Windows keeps it,
// and no security cells (none of the readers needs them).
struct FixtureValue {
    std::u16string name{};
    std::uint32_t type = kRegBinary;
    std::vector<std::uint8_t> data{};
    bool utf16Name = false; // store the name as UTF-16 even if Latin-1 would do
};

struct FixtureKey {
    std::u16string name{};
    std::vector<FixtureValue> values{};
    std::vector<FixtureKey> subkeys{};
    std::u16string className{};
    bool utf16Name = false;
};

class FixtureHive {
public:
    static std::vector<std::uint8_t> build(const FixtureKey& root) {
        FixtureHive h;
        const std::uint32_t rootCell = h.key(root, kNoParent, true);
        const std::size_t used = h.bins_.size();
        const std::size_t binSize = (used + 4095) / 4096 * 4096;
        h.bins_.resize(binSize);
        if (binSize > used) {
            h.put32(used, static_cast<std::uint32_t>(binSize - used)); // one free cell
        }
        h.put32(8, static_cast<std::uint32_t>(binSize));

        std::vector<std::uint8_t> file(BaseBlock::kSize);
        std::copy_n("regf", 4, file.begin());
        auto put = [&](std::size_t at, std::uint32_t v) {
            for (int i = 0; i < 4; ++i) {
                file[at + i] = static_cast<std::uint8_t>(v >> (8 * i));
            }
        };
        put(BaseBlock::kPrimarySequence, 1);
        put(BaseBlock::kSecondarySequence, 1);
        put(BaseBlock::kMajor, 1);
        put(BaseBlock::kMinor, 5);
        put(BaseBlock::kFileFormat, 1);
        put(BaseBlock::kRootCell, rootCell);
        put(BaseBlock::kBinsSize, static_cast<std::uint32_t>(binSize));
        put(BaseBlock::kClustering, 1);
        put(BaseBlock::kChecksum, baseBlockChecksum(file));
        file.insert(file.end(), h.bins_.begin(), h.bins_.end());
        return file;
    }

private:
    static constexpr std::uint32_t kNoParent = 0xFFFFFFFFu;

    FixtureHive() {
        bins_.resize(32);
        std::copy_n("hbin", 4, bins_.begin());
    }

    void put16(std::size_t at, std::uint16_t v) {
        bins_[at] = static_cast<std::uint8_t>(v);
        bins_[at + 1] = static_cast<std::uint8_t>(v >> 8);
    }
    void put32(std::size_t at, std::uint32_t v) {
        for (int i = 0; i < 4; ++i) {
            bins_[at + i] = static_cast<std::uint8_t>(v >> (8 * i));
        }
    }

    // A new allocated cell; returns its offset. Its data starts 4 bytes on.
    std::uint32_t cell(std::size_t dataSize) {
        const auto at = static_cast<std::uint32_t>(bins_.size());
        const std::size_t size = (dataSize + 4 + 7) / 8 * 8;
        bins_.resize(bins_.size() + size);
        put32(at, static_cast<std::uint32_t>(-static_cast<std::int32_t>(size)));
        return at;
    }

    static std::vector<std::uint8_t> storedName(const std::u16string& name, bool utf16) {
        std::vector<std::uint8_t> out;
        for (char16_t u : name) {
            out.push_back(static_cast<std::uint8_t>(u));
            if (utf16) {
                out.push_back(static_cast<std::uint8_t>(u >> 8));
            }
        }
        return out;
    }

    std::uint32_t bytesCell(std::span<const std::uint8_t> bytes) {
        const std::uint32_t at = cell(bytes.size());
        std::copy(bytes.begin(), bytes.end(), bins_.begin() + at + 4);
        return at;
    }

    std::uint32_t value(const FixtureValue& v) {
        const bool utf16 = v.utf16Name || !fitsCompressed(v.name);
        const auto name = storedName(v.name, utf16);
        const std::uint32_t at = cell(20 + name.size());
        const std::size_t d = at + 4;
        std::copy_n("vk", 2, bins_.begin() + d);
        put16(d + vk::kNameLength, static_cast<std::uint16_t>(name.size()));
        const auto size = static_cast<std::uint32_t>(v.data.size());
        if (size <= 4) {
            put32(d + vk::kDataSize, size | vk::kDataInline);
            std::copy(v.data.begin(), v.data.end(), bins_.begin() + d + vk::kDataOffset);
        } else {
            put32(d + vk::kDataSize, size);
            const std::uint32_t dataCell = bytesCell(v.data);
            put32(d + vk::kDataOffset, dataCell);
        }
        put32(d + vk::kType, v.type);
        put16(d + vk::kFlags, utf16 ? 0 : vk::kFlagCompressedName);
        std::copy(name.begin(), name.end(), bins_.begin() + d + vk::kName);
        return at;
    }

    std::uint32_t key(const FixtureKey& k, std::uint32_t parent, bool isRoot) {
        const bool utf16 = k.utf16Name || !fitsCompressed(k.name);
        const auto name = storedName(k.name, utf16);
        const std::uint32_t at = cell(nk::kName + name.size());
        const std::size_t d = at + 4;
        std::copy_n("nk", 2, bins_.begin() + d);
        std::uint16_t flags = utf16 ? 0 : nk::kFlagCompressedName;
        if (isRoot) {
            flags |= nk::kFlagHiveEntry | nk::kFlagNoDelete;
        }
        put16(d + nk::kFlags, flags);
        put32(d + nk::kParent, parent);
        put32(d + nk::kVolatileSubkeyList, kNoCell);
        put32(d + nk::kSecurity, kNoCell);
        put32(d + nk::kClass, kNoCell);
        put16(d + nk::kNameLength, static_cast<std::uint16_t>(name.size()));
        std::copy(name.begin(), name.end(), bins_.begin() + d + nk::kName);

        if (!k.className.empty()) {
            const auto bytes = storedName(k.className, true);
            const std::uint32_t classCell = bytesCell(bytes);
            put32(at + 4 + nk::kClass, classCell);
            put16(at + 4 + nk::kClassLength, static_cast<std::uint16_t>(bytes.size()));
        }
        if (!k.values.empty()) {
            std::vector<std::uint32_t> refs;
            for (const auto& v : k.values) {
                refs.push_back(value(v));
            }
            const std::uint32_t list = cell(4 * refs.size());
            for (std::size_t i = 0; i < refs.size(); ++i) {
                put32(list + 4 + 4 * i, refs[i]);
            }
            put32(at + 4 + nk::kValueCount, static_cast<std::uint32_t>(refs.size()));
            put32(at + 4 + nk::kValueList, list);
        } else {
            put32(at + 4 + nk::kValueList, kNoCell);
        }
        std::vector<const FixtureKey*> children;
        for (const auto& child : k.subkeys) {
            children.push_back(&child);
        }
        std::sort(children.begin(), children.end(), [](const FixtureKey* a, const FixtureKey* b) {
            return compareNames(a->name, b->name) < 0;
        });
        if (!children.empty()) {
            std::vector<std::uint32_t> refs;
            for (const FixtureKey* child : children) {
                refs.push_back(key(*child, at, false));
            }
            const std::uint32_t list = cell(4 + 8 * refs.size());
            std::copy_n("lh", 2, bins_.begin() + list + 4);
            put16(list + 6, static_cast<std::uint16_t>(refs.size()));
            for (std::size_t i = 0; i < refs.size(); ++i) {
                put32(list + 8 + 8 * i, refs[i]);
                put32(list + 12 + 8 * i, nameHash(children[i]->name));
            }
            put32(at + 4 + nk::kSubkeyCount, static_cast<std::uint32_t>(refs.size()));
            put32(at + 4 + nk::kSubkeyList, list);
        } else {
            put32(at + 4 + nk::kSubkeyList, kNoCell);
        }
        return at;
    }

    std::vector<std::uint8_t> bins_;
};

std::filesystem::path writeFile(const std::filesystem::path& file,
                                const std::vector<std::uint8_t>& bytes) {
    std::ofstream out(file, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
    return file;
}

std::vector<std::uint8_t> utf16(std::u16string_view text) {
    std::vector<std::uint8_t> out;
    for (char16_t u : text) {
        out.push_back(static_cast<std::uint8_t>(u));
        out.push_back(static_cast<std::uint8_t>(u >> 8));
    }
    return out;
}

std::vector<std::uint8_t> bytes(std::initializer_list<int> list) {
    std::vector<std::uint8_t> out;
    for (int b : list) {
        out.push_back(static_cast<std::uint8_t>(b));
    }
    return out;
}

// Every form of the text dump, and every case where one of the readers reads
// differently: odd names of keys and values, and data that fits or misses
// the printed form of its type.
FixtureKey oddNamesAndData() {
    using namespace std::string_literals;
    std::vector<std::uint8_t> everyByte(300);
    std::iota(everyByte.begin(), everyByte.end(), std::uint8_t{0});
    return FixtureKey{
        .name = u"ROOT",
        .values = {{.name = u"at the root", .type = kRegDword, .data = bytes({7, 0, 0, 0})}},
        .subkeys =
            {
                {.name = u"a%b\\c"},
                {.name = u"ctl\x01\x7f"},
                {.name = u"Latin-1 \u00e9\u00ff"},
                {.name = u"Windows-1252 \u0080\u0081\u009f"},
                {.name = u"Привет", .subkeys = {{.name = u"Ключ"}}},
                {.name = u"ASCII in UTF-16", .utf16Name = true},
                {.name = u"emoji \U0001F600"},
                {.name = u"NUL\0inside"s, .utf16Name = true},
                {.name = u"a/b,c|d\"e", .className = u"class Ω"},
                {.name = u"values",
                 .values =
                     {
                         {.name = u"", .type = kRegSz, .data = utf16(u"default\0"s)},
                         {.name = u"quote\"back\\tab\t",
                          .type = kRegDword,
                          .data = bytes({1, 2, 3, 4})},
                         {.name = u"\u00e9", .type = kRegSz, .data = utf16(u"Grüße\0"s)},
                         {.name = u"Ключ", .type = kRegSz, .data = utf16(u"Привет\0"s)},
                         {.name = u"emoji \U0001F600",
                          .type = kRegSz,
                          .data = utf16(u"\U0001F600\0"s)},
                         {.name = u"in UTF-16",
                          .type = kRegSz,
                          .data = utf16(u"x\0"s),
                          .utf16Name = true},
                         {.name = u"sz",
                          .type = kRegSz,
                          .data = utf16(u"\"q\", \\ a|b\nnext\r\x01\0"s)},
                         {.name = u"sz no NUL", .type = kRegSz, .data = utf16(u"abc")},
                         {.name = u"sz inner NUL", .type = kRegSz, .data = utf16(u"ab\0cd\0"s)},
                         {.name = u"sz odd size",
                          .type = kRegSz,
                          .data = bytes({'a', 0, 0, 0, 'x'})},
                         {.name = u"sz empty", .type = kRegSz, .data = utf16(u"\0"s)},
                         {.name = u"sz no data", .type = kRegSz},
                         {.name = u"sz 1 unit", .type = kRegSz, .data = utf16(u"z")},
                         {.name = u"sz lone surrogate",
                          .type = kRegSz,
                          .data = utf16(u"a\xD800z\0"s)},
                         {.name = u"NUL\0in name"s, .type = kRegDword, .data = bytes({0, 0, 0, 0})},
                         {.name = u"expand",
                          .type = kRegExpandSz,
                          .data = utf16(u"%SystemRoot%\\x\0"s)},
                         {.name = u"multi",
                          .type = kRegMultiSz,
                          .data = utf16(u"a\0b|c\0d,e\0\0"s)},
                         {.name = u"multi one NUL", .type = kRegMultiSz, .data = utf16(u"\0"s)},
                         {.name = u"multi two NULs", .type = kRegMultiSz, .data = utf16(u"\0\0"s)},
                         {.name = u"multi empty item",
                          .type = kRegMultiSz,
                          .data = utf16(u"a\0\0b\0\0"s)},
                         {.name = u"multi no end", .type = kRegMultiSz, .data = utf16(u"a\0b\0"s)},
                         {.name = u"multi not ASCII",
                          .type = kRegMultiSz,
                          .data = utf16(u"Я\0x|y\0\0"s)},
                         {.name = u"dword", .type = kRegDword, .data = bytes({0x2a, 0, 0, 0x80})},
                         {.name = u"dword 2", .type = kRegDword, .data = bytes({0x12, 0x34})},
                         {.name = u"dword 5", .type = kRegDword, .data = bytes({1, 2, 3, 4, 5})},
                         {.name = u"dword BE",
                          .type = kRegDwordBigEndian,
                          .data = bytes({1, 2, 3, 4})},
                         {.name = u"dword BE 3",
                          .type = kRegDwordBigEndian,
                          .data = bytes({1, 2, 3})},
                         {.name = u"qword",
                          .type = kRegQword,
                          .data = bytes({1, 2, 3, 4, 5, 6, 7, 0xf8})},
                         {.name = u"qword 4", .type = kRegQword, .data = bytes({9, 8, 7, 6})},
                         {.name = u"qword 9",
                          .type = kRegQword,
                          .data = bytes({1, 2, 3, 4, 5, 6, 7, 8, 9})},
                         {.name = u"binary 0", .type = kRegBinary},
                         {.name = u"binary 1", .type = kRegBinary, .data = bytes({0xab})},
                         {.name = u"binary 3", .type = kRegBinary, .data = bytes({'A', 'B', 'C'})},
                         {.name = u"binary 4",
                          .type = kRegBinary,
                          .data = bytes({'%', '/', ',', '|'})},
                         {.name = u"binary 300", .type = kRegBinary, .data = everyByte},
                         {.name = u"none", .type = kRegNone, .data = bytes({'a', 'b'})},
                         {.name = u"link", .type = kRegLink, .data = utf16(u"\\Registry\\Machine")},
                         {.name = u"resource list", .type = 8, .data = bytes({8, 8, 8, 8, 8})},
                         {.name = u"resource descriptor", .type = 9, .data = bytes({9})},
                         {.name = u"resource requirements", .type = 10, .data = bytes({10, 10})},
                         {.name = u"type 0x63", .type = 0x63, .data = bytes({'z', 'z'})},
                         {.name = u"type 0xffff0001",
                          .type = 0xffff0001,
                          .data = bytes({1, 2, 3, 4, 5, 6})},
                     }},
            },
    };
}

// ---- Hives Windows wrote -------------------------------------------------------

// Every clean hive of the test data that Windows wrote: the dirty ones only as
// Windows recovered them.
std::vector<std::string> windowsHives() {
    std::vector<std::string> hives = {
        "hives/empty-hive",
        "hives/xp-ntuser.dat",
        "hives/win7-ntuser.dat",
        "hives/win81-ntuser.dat",
    };
    std::vector<std::string> found;
    for (const char* folder : {"windows-written", "dirty-new", "dirty-old"}) {
        for (const auto& entry :
             std::filesystem::directory_iterator(test::testdata("hives/") / folder)) {
            const std::string name = entry.path().filename().string();
            if (std::string_view(folder) == "windows-written" || name.starts_with("Recovered")) {
                found.push_back("hives/" + std::string(folder) + "/" + name);
            }
        }
    }
    std::sort(found.begin(), found.end());
    hives.insert(hives.end(), found.begin(), found.end());
    return hives;
}

class WindowsHive : public ::testing::TestWithParam<std::string> {
protected:
    std::filesystem::path file() const { return test::testdata(GetParam()); }
};

TEST_P(WindowsHive, HivexDumpEqualsOurs) {
    const auto ours = test::engineDump(file());
    ASSERT_TRUE(ours) << ours.error().describe();
    const auto theirs = test::hivexDump(file());
    ASSERT_TRUE(theirs) << test::describe(theirs.error());
    EXPECT_TRUE(
        test::sameLines("engine", test::splitLines(*ours), "hivex", test::splitLines(*theirs)));
}

TEST_P(WindowsHive, RegfexportAgreesWithUs) {
    const auto theirs = test::regfexportListing(file());
    ASSERT_TRUE(theirs) << test::describe(theirs.error());
    const auto ours = test::engineListingAsRegfexport(file());
    ASSERT_TRUE(ours) << ours.error().describe();
    EXPECT_TRUE(test::sameLines("engine", *ours, "regfexport", *theirs));
}

TEST_P(WindowsHive, ReglookupAgreesWithUs) {
    const auto theirs = test::reglookupListing(file());
    ASSERT_TRUE(theirs) << test::describe(theirs.error());
    const auto ours = test::engineListingAsReglookup(file());
    ASSERT_TRUE(ours) << ours.error().describe();
    EXPECT_TRUE(test::sameLines("engine", *ours, "reglookup", *theirs));
}

INSTANTIATE_TEST_SUITE_P(
    TestData, WindowsHive, ::testing::ValuesIn(windowsHives()), [](const auto& testParam) {
        std::string name = std::filesystem::path(testParam.param).filename();
        std::replace_if(
            name.begin(), name.end(),
            [](char c) { return !std::isalnum(static_cast<unsigned char>(c)); }, '_');
        return name;
    });

// ---- Fixtures -----------------------------------------------------------------------

TEST(IndependentReaders, AgreeOnEveryFormOfNameAndData) {
    test::TempDir dir;
    const auto file = writeFile(dir / "OddNamesAndData", FixtureHive::build(oddNamesAndData()));
    EXPECT_TRUE(test::independentReadersAgree(file));
}

// A name holding an unpaired UTF-16 surrogate (Windows takes any code units
// in a name): hivex and regfexport refuse the whole hive rather than show
// another name; reglookup shows the name's stored bytes, which must be the
// units we read.
TEST(IndependentReaders, HivexAndRegfexportRefuseUnpairedSurrogatesInNames) {
    using namespace std::string_literals;
    const struct {
        const char* fault;
        FixtureKey root;
    } cases[] = {
        {"HighSurrogateInKeyName", {.name = u"ROOT", .subkeys = {{.name = u"lone \xD800 high"s}}}},
        {"LowSurrogateInKeyName", {.name = u"ROOT", .subkeys = {{.name = u"\xDC00"s}}}},
        {"SurrogateInValueName",
         {.name = u"ROOT", .values = {{.name = u"v\xDBFF"s, .data = bytes({1})}}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.fault);
        test::TempDir dir;
        const auto file = writeFile(dir / c.fault, FixtureHive::build(c.root));
        const auto ours = test::engineDump(file);
        ASSERT_TRUE(ours) << ours.error().describe();

        const auto hivex = test::hivexDump(file);
        ASSERT_FALSE(hivex) << *hivex;
        EXPECT_EQ(hivex.error().kind, ReaderFailure::Kind::Refused) << hivex.error().message;
        const auto regfexport = test::regfexportListing(file);
        ASSERT_FALSE(regfexport);
        EXPECT_EQ(regfexport.error().kind, ReaderFailure::Kind::Refused)
            << regfexport.error().message;

        const auto reglookup = test::reglookupListing(file);
        ASSERT_TRUE(reglookup) << test::describe(reglookup.error());
        const auto expected = test::engineListingAsReglookup(file);
        ASSERT_TRUE(expected) << expected.error().describe();
        EXPECT_TRUE(test::sameLines("engine", *expected, "reglookup", *reglookup));
    }
}

// ---- Damaged hives --------------------------------------------------------------

// Our reader must refuse to let a damaged hive be changed, and a dump must stop
// with an error where it cannot go on; as far as it goes, it must agree with
// hivex. What the other two do with them (not checked here: they are not ours):
//   TruncatedHive   hivex and regfexport refuse it; reglookup lists the two keys
//                   it can reach, warns on stderr and exits with status 0.
//   BadListHive     two keys share one subkey list: hivex, regfexport and
//                   reglookup list the shared subkey under both, without a word.
//   WrongOrderHive  subkeys out of order: all three list them in stored order,
//                   without a word (a lookup by name can miss such a key).
TEST(DamagedHives, AreRefusedByUsAndAgreedOnAsFarAsRead) {
    const struct {
        const char* file;
        const char* finding; // the blocking finding of the structural check
        bool dumpStops;      // our dump ends with an error
        bool hivexRefuses;   // else what it prints must begin with our dump
    } cases[] = {
        {"hives/corrupt/TruncatedHive", "файл обрезан", true, true},
        {"hives/corrupt/BadListHive", "ссылаются дважды", true, false},
        {"hives/corrupt/WrongOrderHive", "не по порядку", false, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.file);
        const auto file = test::testdata(c.file);
        auto hive = Hive::open(file);
        ASSERT_TRUE(hive) << hive.error().describe();
        const Validation check = validateHive(*hive);
        EXPECT_FALSE(check.canChange());
        ASSERT_NE(check.firstBlocking(), nullptr);
        EXPECT_NE(check.firstBlocking()->message.find(c.finding), std::string::npos)
            << check.firstBlocking()->message;

        std::vector<std::string> ours;
        const auto dumped =
            dumpHive(*hive, "", [&](std::string_view line) { ours.emplace_back(line); });
        EXPECT_EQ(!dumped, c.dumpStops);

        const auto hivex = test::hivexDump(file);
        EXPECT_EQ(!hivex, c.hivexRefuses);
        if (hivex) {
            // What we printed before stopping is what hivex prints up to there.
            auto theirs = test::splitLines(*hivex);
            if (!dumped) {
                ASSERT_GE(theirs.size(), ours.size());
                theirs.resize(ours.size());
            }
            EXPECT_TRUE(test::sameLines("engine", ours, "hivex", theirs));
        } else {
            EXPECT_EQ(hivex.error().kind, ReaderFailure::Kind::Refused) << hivex.error().message;
        }
    }
}

} // namespace
} // namespace engine::hive
