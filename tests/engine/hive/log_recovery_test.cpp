#include <algorithm>
#include <cstdint>
#include <cstring>
#include <functional>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include <fmt/format.h>
#include <gtest/gtest.h>

#include "hive/base_block.h"
#include "hive/bytes.h"
#include "hive/cells.h"
#include "hive/hive.h"
#include "hive/log_recovery.h"
#include "hive/marvin32.h"
#include "hive/validate.h"
#include "support/test_files.h"

namespace engine::hive {
namespace {

using Bytes = std::vector<std::uint8_t>;

constexpr std::uint64_t kEntrySeed = 0x82EF4D887A4E55C5ull;

Bytes testBytes(const std::string& relative) {
    return test::readFile(test::testdata(relative));
}

LogFile testLog(const std::string& relative) {
    return {test::testdata(relative), testBytes(relative)};
}

// A primary's bytes recovered in memory with the given logs.
struct Recovery {
    HiveImage image;
    Result<RecoveryReport> report;
};

Recovery recoverBytes(const Bytes& primary, const std::vector<LogFile>& logs) {
    auto image = HiveImage::fromBytes(primary);
    EXPECT_TRUE(image);
    auto report = recoverHive(*image, logs);
    return {std::move(*image), std::move(report)};
}

Bytes imageBytes(const HiveImage& image) {
    return {image.data(), image.data() + image.size()};
}

std::vector<std::string> appliedNames(const RecoveryReport& report) {
    std::vector<std::string> names;
    for (const auto& path : report.applied) {
        names.push_back(path.filename().string());
    }
    return names;
}

void expectValid(const HiveImage& image) {
    auto hive = Hive::fromBytes({image.data(), image.size()}, "recovered");
    ASSERT_TRUE(hive) << hive.error().describe();
    const Validation v = validateHive(*hive);
    EXPECT_TRUE(v.canChange()) << v.firstBlocking()->describe();
    EXPECT_FALSE(hive->dirty());
}

// Byte ranges [first, last) where two buffers differ, from `from` on.
std::vector<std::pair<std::size_t, std::size_t>> differences(const Bytes& a, const Bytes& b,
                                                             std::size_t from) {
    std::vector<std::pair<std::size_t, std::size_t>> ranges;
    const std::size_t n = std::min(a.size(), b.size());
    for (std::size_t i = from; i < n; ++i) {
        if (a[i] != b[i]) {
            if (!ranges.empty() && ranges.back().second + 4 >= i) {
                ranges.back().second = i + 1;
            } else {
                ranges.emplace_back(i, i + 1);
            }
        }
    }
    return ranges;
}

// A log whose base block copy was changed gets a checksum that fits again.
void resealLogHeader(Bytes& log) {
    put32(log.data() + BaseBlock::kChecksum, baseBlockChecksum({log.data(), 512}));
}

// The hashes of a changed log entry made right again.
void rehashEntry(Bytes& log, std::size_t at) {
    const std::uint32_t size = le32(log.data() + at + 4);
    put64(log.data() + at + 24, marvin32({log.data() + at + 40, size - 40}, kEntrySeed));
    put64(log.data() + at + 32, marvin32({log.data() + at, 32}, kEntrySeed));
}

// ---- The test hives Windows recovered itself --------------------------------

// The dirty-new logs hold entries 2 (LOG1 at 0x200), 3, 4 and 5 (LOG2 at
// 0x200, 0x2000, 0x8000); the primary's sequence numbers are 3 and 2.
TEST(LogRecovery, NewFormatLogsGiveWhatWindows10Made) {
    test::TempDir dir;
    const auto primary = test::copyTestFile("hives/dirty-new/NewDirtyHive", dir.path());
    test::copyTestFile("hives/dirty-new/NewDirtyHive.LOG1", dir.path());
    test::copyTestFile("hives/dirty-new/NewDirtyHive.LOG2", dir.path());
    const Bytes before = test::readFile(primary);

    auto logs = readLogFiles(primary);
    ASSERT_TRUE(logs) << logs.error().describe();
    auto image = HiveImage::mapFile(primary);
    ASSERT_TRUE(image);
    auto report = recoverHive(*image, *logs);
    ASSERT_TRUE(report) << report.error().describe();

    EXPECT_EQ(report->format, LogFormat::New);
    EXPECT_EQ(appliedNames(*report),
              (std::vector<std::string>{"NewDirtyHive.LOG1", "NewDirtyHive.LOG2"}));
    EXPECT_FALSE(report->baseBlockFromLog);
    // Entry 5 is the write that leaves the primary at 6/6, and 6/6 is what
    // Windows 10 wrote; with the flags, bins size and file type of the entry,
    // its whole base block comes out as Windows wrote it, checksum included.
    EXPECT_EQ(report->sequence, 6u);
    const Bytes windows = testBytes("hives/dirty-new/RecoveredHive_Windows10");
    const Bytes recovered = imageBytes(*image);
    EXPECT_TRUE(differences(recovered, windows, 0).empty());
    EXPECT_EQ(recovered.size(), windows.size());
    auto header = parseBaseBlock(recovered);
    ASSERT_TRUE(header);
    EXPECT_EQ(header->primarySequence, 6u);
    EXPECT_EQ(header->secondarySequence, 6u);
    EXPECT_TRUE(header->checksumValid);
    expectValid(*image);

    // Only the pages recovery wrote are dirty: the header and the bins pages
    // the entries changed, never the padding after the bins.
    ASSERT_FALSE(image->dirtyPages().empty());
    EXPECT_EQ(*image->dirtyPages().begin(), 0u);
    EXPECT_LE(*image->dirtyPages().rbegin(), 5u);
    // Recovery happens in memory.
    EXPECT_EQ(test::readFile(primary), before);
}

// The dirty-old primary (5/4) with its one old-format log (5/5, 64 dirty
// 512-byte pages in six bins); RecoveredHive_Windows7 is that hive as Windows 7
// left it after loading it and writing it again.
TEST(LogRecovery, OldFormatLogGivesWhatWindows7MadeBeforeItsOwnChanges) {
    test::TempDir dir;
    const auto primary = test::copyTestFile("hives/dirty-old/OldDirtyHive", dir.path());
    test::copyTestFile("hives/dirty-old/OldDirtyHive.LOG1", dir.path());
    test::copyTestFile("hives/dirty-old/OldDirtyHive.LOG2", dir.path()); // empty
    const Bytes before = test::readFile(primary);

    auto logs = readLogFiles(primary);
    ASSERT_TRUE(logs);
    auto image = HiveImage::mapFile(primary);
    ASSERT_TRUE(image);
    auto report = recoverHive(*image, *logs);
    ASSERT_TRUE(report) << report.error().describe();
    EXPECT_EQ(report->format, LogFormat::Old);
    EXPECT_EQ(appliedNames(*report), std::vector<std::string>{"OldDirtyHive.LOG1"});
    EXPECT_EQ(report->sequence, 5u);

    const Bytes windows = testBytes("hives/dirty-old/RecoveredHive_Windows7");
    const Bytes recovered = imageBytes(*image);
    ASSERT_EQ(recovered.size(), windows.size());
    auto hive = Hive::fromBytes(recovered, "recovered");
    ASSERT_TRUE(hive);
    auto key = hive->findKey("key_with_many_subkeys\\4500");
    ASSERT_TRUE(key && *key);
    const std::size_t maxValueName = BaseBlock::kSize + (*key)->cell + 4 + nk::kMaxValueName;

    // What Windows 7 changed after loading the hive, and nothing else:
    //  - in the base block, the sequence numbers (it wrote the hive twice more:
    //    7/7 against our 5/5, which is where the interrupted write was taking
    //    the primary), the last-written time, the file name it keeps for
    //    debugging (it loaded a copy from another folder) and so the checksum;
    //  - the first bin's timestamp (offset 20 of the bin), the backup copy of
    //    the last-written time, updated by those writes;
    //  - the cached largest value name length (offset 60 of the key node) of
    //    "key_with_many_subkeys\\4500": the log holds 24, left from a longer
    //    name the key once had, while its one value is "V"; Windows set it to
    //    2 when it used the key.
    const std::vector<std::pair<std::size_t, std::size_t>> allowed = {
        {BaseBlock::kPrimarySequence, BaseBlock::kLastWritten + 8},
        {48, 112}, // the file name
        {BaseBlock::kChecksum, BaseBlock::kChecksum + 4},
        {BaseBlock::kSize + 20, BaseBlock::kSize + 28},
        {maxValueName, maxValueName + 4},
    };
    std::size_t binChanges = 0;
    for (const auto& [first, last] : differences(recovered, windows, 0)) {
        const bool expected = std::any_of(allowed.begin(), allowed.end(), [&](const auto& r) {
            return first >= r.first && last <= r.second;
        });
        EXPECT_TRUE(expected) << fmt::format("differs at 0x{:x}..0x{:x}", first, last);
        binChanges += first >= BaseBlock::kSize ? 1 : 0;
    }
    EXPECT_EQ(binChanges, 2u);
    EXPECT_EQ(le32(recovered.data() + maxValueName), 24u);
    EXPECT_EQ(le32(windows.data() + maxValueName), 2u);
    EXPECT_EQ(hive->baseBlock().primarySequence, 5u);
    EXPECT_EQ(hive->baseBlock().secondarySequence, 5u);
    expectValid(*image);
    EXPECT_EQ(test::readFile(primary), before);
}

TEST(LogRecovery, CleanHiveIsLeftAloneWhateverItsLogHolds) {
    // The 8.1 hive is clean; its .LOG holds an entry (sequence 131) that a
    // reader of the clean primary ignores, as Windows does.
    const Bytes primary = testBytes("hives/win81-ntuser.dat");
    auto r = recoverBytes(primary, {testLog("hives/win81-ntuser.dat.LOG")});
    ASSERT_TRUE(r.report) << r.report.error().describe();
    EXPECT_TRUE(r.report->applied.empty());
    EXPECT_TRUE(r.image.dirtyPages().empty());
    EXPECT_EQ(imageBytes(r.image), primary);
}

// The damaged logs are the good ones with "INVL" over the checksum of their
// base block copy. Windows does not use a log whose base block is not right
// (the format description: a log is valid when it has the expected base
// block), so it has nothing to recover these dirty hives from; we refuse.
TEST(LogRecovery, DamagedLogsAreRefusedAndThePrimaryKeptAsItWas) {
    struct Case {
        const char* folder;
        std::vector<const char*> damagedLogs;
    };
    for (const Case& c : {Case{"hives/bad-log-old", {"BadLogHive.LOG1"}},
                          Case{"hives/bad-log-new", {"BadLogHive.LOG1", "BadLogHive.LOG2"}}}) {
        // Each case on its own: a failed assertion ends only that case.
        [&] {
            SCOPED_TRACE(c.folder);
            test::TempDir dir;
            const std::string folder = c.folder;
            const auto primary = test::copyTestFile(folder + "/BadLogHive", dir.path());
            test::copyTestFile(folder + "/BadLogHive.LOG1", dir.path());
            test::copyTestFile(folder + "/BadLogHive.LOG2", dir.path());
            auto logs = readLogFiles(primary);
            ASSERT_TRUE(logs);
            ASSERT_EQ(logs->size(), 2u);
            auto image = HiveImage::mapFile(primary);
            ASSERT_TRUE(image);
            auto report = recoverHive(*image, *logs);
            ASSERT_FALSE(report);
            for (const char* log : c.damagedLogs) {
                EXPECT_NE(report.error().message.find(fmt::format(
                              "журнал {} повреждён: неверная контрольная сумма заголовка", log)),
                          std::string::npos)
                    << report.error().message;
            }
            EXPECT_EQ(test::readFile(primary), testBytes(folder + "/BadLogHive"));
        }();
    }
}

TEST(LogRecovery, FindsTheLogsWhateverTheCaseOfTheirNames) {
    test::TempDir dir;
    for (const char* name : {"ntuser.dat", "NTUSER.DAT.log1", "Ntuser.Dat.LOG", "ntuser.dat.LOG2",
                             "ntuser.dat.log2", "ntuser.dat.LOG3", "ntuser.datx.LOG1"}) {
        std::FILE* f = std::fopen((dir / name).c_str(), "wb");
        ASSERT_NE(f, nullptr);
        std::fputs(name, f);
        std::fclose(f);
    }
    auto logs = readLogFiles(dir / "ntuser.dat");
    ASSERT_TRUE(logs) << logs.error().describe();
    std::vector<std::string> found;
    for (const auto& log : *logs) {
        found.push_back(log.path.filename().string());
        // Each file was read whole: its content is its name.
        EXPECT_EQ(std::string(log.bytes.begin(), log.bytes.end()), found.back());
    }
    // .LOG, .LOG1, .LOG2 in that order; of two spellings the exact one.
    EXPECT_EQ(found,
              (std::vector<std::string>{"Ntuser.Dat.LOG", "NTUSER.DAT.log1", "ntuser.dat.LOG2"}));

    auto none = readLogFiles(dir / "other.dat");
    ASSERT_TRUE(none);
    EXPECT_TRUE(none->empty());
}

// ---- New format: how entries chain, and where recovery stops ---------------

struct NewLogs {
    Bytes primary = testBytes("hives/dirty-new/NewDirtyHive");
    Bytes log1 = testBytes("hives/dirty-new/NewDirtyHive.LOG1");
    Bytes log2 = testBytes("hives/dirty-new/NewDirtyHive.LOG2");
};
constexpr std::size_t kEntry2 = 0x200; // in LOG1
constexpr std::size_t kEntry3 = 0x200; // in LOG2, like the two below
constexpr std::size_t kEntry4 = 0x2000;
constexpr std::size_t kEntry5 = 0x8000;

void setSequence(Bytes& log, std::size_t entry, std::uint32_t sequence) {
    put32(log.data() + entry + 12, sequence);
    rehashEntry(log, entry);
}

TEST(LogRecovery, NewFormatEntriesChainBySequenceNumber) {
    struct Case {
        const char* name;
        std::function<void(NewLogs&)> change;
        bool recovers;
        std::uint32_t sequence = 0;            // when it recovers
        bool equalsWindows = false;            // the whole file as Windows 10 made it
        std::vector<std::string> reasons = {}; // when it does not
    };
    const Case cases[] = {
        {"LogsGivenInEitherOrder", [](NewLogs& l) { std::swap(l.log1, l.log2); }, true, 6, true},
        {"FlagsComeFromTheEntries",
         [](NewLogs& l) {
             put32(l.primary.data() + BaseBlock::kFlags, BaseBlock::kFlagPendingTransactions);
             put32(l.primary.data() + BaseBlock::kChecksum, baseBlockChecksum(l.primary));
         },
         true, 6, true},
        {"DamagedPrimaryBaseBlockTakenFromTheLog", [](NewLogs& l) { l.primary[48] ^= 0xFF; }, true,
         6, true},
        {"TornLastEntryEndsTheLog", [](NewLogs& l) { l.log2[kEntry5 + 0x100] ^= 1; }, true, 5},
        {"LeftoverEntryEndsTheLog", [](NewLogs& l) { setSequence(l.log2, kEntry5, 1); }, true, 5},
        {"BinsSizeNotInBlocksEndsTheLog",
         [](NewLogs& l) {
             put32(l.log2.data() + kEntry5 + 16, 0x5200);
             rehashEntry(l.log2, kEntry5);
         },
         true, 5},
        {"EntrySizeNotInSectorsEndsTheLog",
         [](NewLogs& l) {
             put32(l.log2.data() + kEntry5 + 4, 0x2001);
             rehashEntry(l.log2, kEntry5);
         },
         true, 5},
        {"DamagedEntryWithNewerOnesBehindIt",
         [](NewLogs& l) { l.log2[kEntry4 + 0x100] ^= 1; },
         false,
         0,
         false,
         {"журнал NewDirtyHive.LOG2 повреждён: запись по смещению 0x2000: неверная хеш-сумма "
          "данных записи",
          "более новая запись 5"}},
        {"HugePageCount",
         [](NewLogs& l) {
             put32(l.log2.data() + kEntry3 + 20, 0xFFFFFFFFu);
             rehashEntry(l.log2, kEntry3);
         },
         false,
         0,
         false,
         {"страниц не помещаются в запись", "более новая запись 4"}},
        {"GapInTheSequence",
         [](NewLogs& l) { setSequence(l.log2, kEntry4, 6); },
         false,
         0,
         false,
         {"нет записи 4: за записью 3 в NewDirtyHive.LOG2 идёт 6"}},
        {"FirstEntryMissing",
         [](NewLogs& l) { l.log1.clear(); },
         false,
         0,
         false,
         {"нет записи 2, с которой должно начаться восстановление"}},
        {"OnlyOlderEntries",
         [](NewLogs& l) {
             put32(l.primary.data() + BaseBlock::kPrimarySequence, 11);
             put32(l.primary.data() + BaseBlock::kSecondarySequence, 10);
             put32(l.primary.data() + BaseBlock::kChecksum, baseBlockChecksum(l.primary));
         },
         false,
         0,
         false,
         {"нет записи 10"}},
    };
    const Bytes windows = testBytes("hives/dirty-new/RecoveredHive_Windows10");
    for (const Case& c : cases) {
        // Each case on its own: a failed assertion ends only that case.
        [&] {
            SCOPED_TRACE(c.name);
            NewLogs l;
            c.change(l);
            const Bytes original = l.primary;
            auto r = recoverBytes(l.primary,
                                  {{"NewDirtyHive.LOG1", l.log1}, {"NewDirtyHive.LOG2", l.log2}});
            if (!c.recovers) {
                ASSERT_FALSE(r.report);
                for (const auto& reason : c.reasons) {
                    EXPECT_NE(r.report.error().message.find(reason), std::string::npos)
                        << r.report.error().message;
                }
                return;
            }
            ASSERT_TRUE(r.report) << r.report.error().describe();
            EXPECT_EQ(r.report->sequence, c.sequence);
            const Bytes recovered = imageBytes(r.image);
            auto header = parseBaseBlock(recovered);
            ASSERT_TRUE(header);
            EXPECT_EQ(header->primarySequence, c.sequence);
            EXPECT_EQ(header->secondarySequence, c.sequence);
            EXPECT_TRUE(header->checksumValid);
            EXPECT_EQ(header->fileType, 0u);
            EXPECT_EQ(header->flags, 0u);
            if (c.equalsWindows) {
                EXPECT_TRUE(differences(recovered, windows, 0).empty());
            } else {
                EXPECT_NE(recovered, windows);
            }
            EXPECT_EQ(r.report->baseBlockFromLog, recovered[48] != original[48]);
            expectValid(r.image);
        }();
    }
}

TEST(LogRecovery, NewFormatGrowsThePrimaryToTheEntrysBinsSize) {
    // A primary cut after its first bin: the entries hold all five bins, and
    // the image grows to the 0x5000 bytes of bins they name.
    NewLogs l;
    l.primary.resize(BaseBlock::kSize + 0x1000);
    auto r =
        recoverBytes(l.primary, {{"NewDirtyHive.LOG1", l.log1}, {"NewDirtyHive.LOG2", l.log2}});
    ASSERT_TRUE(r.report) << r.report.error().describe();
    ASSERT_EQ(r.image.size(), BaseBlock::kSize + 0x5000u);
    const Bytes windows = testBytes("hives/dirty-new/RecoveredHive_Windows10");
    EXPECT_TRUE(std::equal(windows.begin(), windows.begin() + 0x6000, r.image.data()));
    expectValid(r.image);
}

// ---- Old format: which log applies, and bad dirty bins ---------------------

struct OldLogs {
    Bytes primary = testBytes("hives/dirty-old/OldDirtyHive");
    Bytes log1 = testBytes("hives/dirty-old/OldDirtyHive.LOG1");
    Bytes log2; // empty, as in the test data
};
// The dirty pages start at 0x400 in the log; the 17th holds the header of the
// bin at 0xc000.
constexpr std::size_t kFirstPage = 0x400;
constexpr std::size_t kBinC000Page = kFirstPage + 16 * 512;

TEST(LogRecovery, OldFormatUsesTheLogOfTheSameWriteAndChecksItsBins) {
    struct Case {
        const char* name;
        std::function<void(OldLogs&)> change;
        const char* applied;                   // the log used, when it recovers
        std::vector<std::string> reasons = {}; // when it does not
    };
    auto shiftTime = [](Bytes& log) {
        log[BaseBlock::kLastWritten] ^= 1;
        resealLogHeader(log);
    };
    const Case cases[] = {
        {"TheLogOfTheSameWriteOfTwo",
         [&](OldLogs& l) {
             l.log2 = l.log1;
             shiftTime(l.log1);
         },
         "OldDirtyHive.LOG2"},
        {"FirstBinTimestampStandsInForADamagedBaseBlock",
         [](OldLogs& l) {
             l.primary[48] ^= 0xFF;
             std::copy_n(l.log1.begin() + BaseBlock::kLastWritten, 8,
                         l.primary.begin() + BaseBlock::kSize + 20);
         },
         "OldDirtyHive.LOG1"},
        {"LogOfAnotherWrite",
         [&](OldLogs& l) { shiftTime(l.log1); },
         nullptr,
         {"журнал OldDirtyHive.LOG1 относится к другому состоянию куста"}},
        {"DamagedBaseBlockWithAFirstBinOfAnotherTime",
         [](OldLogs& l) { l.primary[48] ^= 0xFF; },
         nullptr,
         {"относится к другому состоянию куста"}},
        {"UnfinishedLogWrite",
         [](OldLogs& l) {
             put32(l.log1.data() + BaseBlock::kSecondarySequence, 4);
             resealLogHeader(l.log1);
         },
         nullptr,
         {"журнал OldDirtyHive.LOG1 повреждён: запись журнала не завершена"}},
        {"NoDirtyVector", [](OldLogs& l) { l.log1[512 + 3] = 'X'; }, nullptr, {"нет подписи DIRT"}},
        {"TruncatedPages",
         [](OldLogs& l) { l.log1.resize(l.log1.size() - 512); },
         nullptr,
         {"изменённые страницы обрезаны: нужно 33792 байт, в файле 33280"}},
        {"DirtyBinWithoutSignature",
         [](OldLogs& l) { l.log1[kFirstPage + 3] = 'X'; },
         nullptr,
         {"журнал OldDirtyHive.LOG1 повреждён: неверный блок hbin по смещению 0x0"}},
        {"DirtyBinNamingAnotherOffset",
         [](OldLogs& l) { put32(l.log1.data() + kBinC000Page + 4, 0xd000); },
         nullptr,
         {"неверный блок hbin по смещению 0xc000"}},
        {"DirtyBinOfOddSize",
         [](OldLogs& l) { put32(l.log1.data() + kBinC000Page + 8, 0x1800); },
         nullptr,
         {"неверный блок hbin по смещению 0xc000"}},
        {"PrimaryBinMissingWhereTheLogHasNone",
         [](OldLogs& l) { l.primary[BaseBlock::kSize + 0x3000] = 'X'; },
         nullptr,
         {"по смещению 0x3000 нет блока hbin, а журнал OldDirtyHive.LOG1 его не содержит"}},
    };
    auto reference = recoverBytes(testBytes("hives/dirty-old/OldDirtyHive"),
                                  {testLog("hives/dirty-old/OldDirtyHive.LOG1")});
    ASSERT_TRUE(reference.report);
    const Bytes expected = imageBytes(reference.image);
    for (const Case& c : cases) {
        // Each case on its own: a failed assertion ends only that case.
        [&] {
            SCOPED_TRACE(c.name);
            OldLogs l;
            c.change(l);
            auto r = recoverBytes(l.primary,
                                  {{"OldDirtyHive.LOG1", l.log1}, {"OldDirtyHive.LOG2", l.log2}});
            if (c.applied == nullptr) {
                ASSERT_FALSE(r.report);
                for (const auto& reason : c.reasons) {
                    EXPECT_NE(r.report.error().message.find(reason), std::string::npos)
                        << r.report.error().message;
                }
                return;
            }
            ASSERT_TRUE(r.report) << r.report.error().describe();
            EXPECT_EQ(appliedNames(*r.report), std::vector<std::string>{c.applied});
            const Bytes recovered = imageBytes(r.image);
            EXPECT_TRUE(std::equal(expected.begin() + BaseBlock::kSize, expected.end(),
                                   recovered.begin() + BaseBlock::kSize));
            auto header = parseBaseBlock(recovered);
            ASSERT_TRUE(header);
            EXPECT_TRUE(header->checksumValid);
            EXPECT_EQ(header->primarySequence, 5u);
            EXPECT_EQ(header->secondarySequence, 5u);
            EXPECT_EQ(header->fileType, 0u);
            EXPECT_EQ(r.report->baseBlockFromLog, l.primary[48] != expected[48]);
            expectValid(r.image);
        }();
    }
}

// ---- Bad input -------------------------------------------------------------

// A log cut anywhere (at sector boundaries and just beside them): recovery
// applies exactly the entries that are whole, or refuses the old-format log,
// whose pages are all needed.
TEST(LogRecovery, CutLogsRecoverWhatIsWholeOrAreRefused) {
    const NewLogs n;
    for (std::size_t cut = 0; cut <= n.log2.size(); cut += 512) {
        for (const std::size_t length : {cut, cut + 40, cut - 1}) {
            if (length > n.log2.size()) {
                continue;
            }
            SCOPED_TRACE(length);
            const Bytes log2(n.log2.begin(), n.log2.begin() + length);
            auto r = recoverBytes(n.primary,
                                  {{"NewDirtyHive.LOG1", n.log1}, {"NewDirtyHive.LOG2", log2}});
            ASSERT_TRUE(r.report) << r.report.error().describe();
            const std::uint32_t whole =
                (length >= 0x2000) + (length >= 0x8000) + (length >= 0xa000);
            EXPECT_EQ(r.report->sequence, 3 + whole);
        }
    }
    const OldLogs o;
    for (std::size_t cut = 0; cut < o.log1.size(); cut += 512) {
        for (const std::size_t length : {cut, cut + 40, cut + 511}) {
            SCOPED_TRACE(length);
            auto r = recoverBytes(
                o.primary, {{"OldDirtyHive.LOG1", Bytes(o.log1.begin(), o.log1.begin() + length)}});
            EXPECT_FALSE(r.report);
        }
    }
}

// Logs whose body is random bytes behind a sound header, half of them with an
// entry header whose counts are noise but whose hashes are right: recovery
// fails or succeeds and reads nothing outside its buffers (the sanitizer
// build checks that).
TEST(LogRecovery, RandomLogsNeverCrash) {
    std::mt19937 random(20240601);
    const NewLogs n;
    const OldLogs o;
    for (int round = 0; round < 100; ++round) {
        const bool entries = round % 2 == 0;
        const Bytes& real = entries ? n.log1 : o.log1;
        Bytes noise(1024 + random() % 0x8000);
        std::copy_n(real.begin(), 512, noise.begin());
        for (std::size_t i = 512; i < noise.size(); ++i) {
            noise[i] = static_cast<std::uint8_t>(random());
        }
        if (entries) {
            std::memcpy(noise.data() + 512, "HvLE", 4);
            put32(noise.data() + 512 + 4, 512 * (1 + random() % ((noise.size() - 512) / 512)));
            put32(noise.data() + 512 + 12, 2); // the sequence number the primary expects
            put32(noise.data() + 512 + 16, 0x1000 * (1 + random() % 8));
            if (round % 4 == 0) {
                put32(noise.data() + 512 + 20, random() % 4);
            }
            rehashEntry(noise, 512);
        } else {
            std::memcpy(noise.data() + 512, "DIRT", 4);
        }
        (void)recoverBytes(entries ? n.primary : o.primary, {{"noise.LOG1", noise}});
    }
}

} // namespace
} // namespace engine::hive
