#include <algorithm>
#include <chrono>
#include <cstring>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "hive/base_block.h"
#include "hive/bytes.h"
#include "hive/hive.h"
#include "hive/log_recovery.h"
#include "hive/log_writer.h"
#include "hive/validate.h"
#include "hive/value_text.h"
#include "hive/write_back.h"
#include "support/faulty_file_io.h"
#include "support/hive_changes.h"
#include "support/hive_content.h"
#include "support/independent_readers.h"
#include "support/ntfs_volume.h"
#include "support/recording_file_io.h"
#include "support/test_files.h"

namespace engine::hive {
namespace {

namespace fs = std::filesystem;
using test::HiveContent;

struct HiveCase {
    const char* primary; // in the test data
    std::vector<const char*> logs;
    std::optional<WindowsGeneration> windows;
};

// Every hive Windows wrote that the test data has, with the logs it came with.
const HiveCase kWindowsWritten[] = {
    {"hives/xp-ntuser.dat", {}, WindowsGeneration::Xp},
    {"hives/win7-ntuser.dat", {}, WindowsGeneration::VistaTo8},
    {"hives/win81-ntuser.dat", {"hives/win81-ntuser.dat.LOG"}, std::nullopt},
    {"hives/empty-hive", {}, WindowsGeneration::Win81OrLater},
    {"hives/windows-written/BigDataHive", {}, WindowsGeneration::Win81OrLater},
    {"hives/windows-written/ManySubkeysHive", {}, std::nullopt},
    {"hives/windows-written/OffHive", {}, std::nullopt},
    {"hives/windows-written/UnicodeHive", {}, WindowsGeneration::VistaTo8},
    {"hives/dirty-new/NewDirtyHive",
     {"hives/dirty-new/NewDirtyHive.LOG1", "hives/dirty-new/NewDirtyHive.LOG2"},
     std::nullopt},
    {"hives/dirty-old/OldDirtyHive",
     {"hives/dirty-old/OldDirtyHive.LOG1", "hives/dirty-old/OldDirtyHive.LOG2"},
     std::nullopt},
};

std::vector<std::uint8_t> bytesOf(const fs::path& file) {
    const auto raw = test::readFile(file);
    return {raw.begin(), raw.end()};
}

HiveContent contentOrFail(const Result<HiveContent>& content) {
    EXPECT_TRUE(content) << (content ? "" : content.error().describe());
    return content ? *content : HiveContent{};
}

// A test hive copied with its logs into a folder of its own, opened as the
// offline registry opens a hive: mapped, and recovered in memory when dirty.
class HiveCopy {
public:
    // With `measure`, the content before any change is worked out (it takes
    // a walk over the whole hive).
    explicit HiveCopy(const HiveCase& c, const fs::path& folder = {}, bool measure = true)
        : folder_(folder.empty() ? dir_.path() : folder) {
        primary_ = test::copyTestFile(c.primary, folder_);
        for (const char* log : c.logs) {
            test::copyTestFile(log, folder_);
        }
        if (measure) {
            before_ = contentOrFail(test::recoveredContent(primary_));
        }
        reopen();
    }

    void reopen() {
        auto image = HiveImage::mapFile(primary_);
        EXPECT_TRUE(image);
        image_.emplace(std::move(*image));
        auto header = parseBaseBlock({image_->data(), image_->size()});
        if (header && header->dirty()) {
            auto logs = readLogFiles(primary_);
            auto recovered = recoverHive(*image_, *logs);
            EXPECT_TRUE(recovered) << (recovered ? "" : recovered.error().describe());
        }
    }

    // A value changed (when the hive has one) and a bin appended; returns the
    // content the hive then holds.
    HiveContent change(std::uint8_t pattern = 0xA5) {
        test::changeFirstValue(*image_, pattern);
        test::appendBin(*image_);
        return contentOrFail(test::contentOf(*image_));
    }

    const fs::path& folder() const { return folder_; }
    const fs::path& primary() const { return primary_; }
    HiveImage& image() { return *image_; }
    const HiveContent& before() const { return before_; }

private:
    test::TempDir dir_;
    fs::path folder_;
    fs::path primary_;
    std::optional<HiveImage> image_;
    HiveContent before_;
};

std::set<std::string> filesIn(const fs::path& folder) {
    std::set<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder)) {
        names.insert(entry.path().filename().string());
    }
    return names;
}

struct FileStamp {
    ino_t inode = 0;
    timespec mtime{};
};

FileStamp stampOf(const fs::path& file) {
    struct stat st {};
    EXPECT_EQ(::stat(file.c_str(), &st), 0);
    return {st.st_ino, st.st_mtim};
}

void setOldMtime(const fs::path& file) {
    const timespec times[2] = {{1000000000, 0}, {1000000000, 0}};
    ASSERT_EQ(::utimensat(AT_FDCWD, file.c_str(), times, 0), 0);
}

bool sameMtime(const timespec& a, const timespec& b) {
    return a.tv_sec == b.tv_sec && a.tv_nsec == b.tv_nsec;
}

std::set<std::size_t> pagesWrittenTo(const std::vector<test::IoEvent>& events,
                                     const fs::path& file) {
    std::set<std::size_t> pages;
    for (const auto& e : events) {
        if (e.kind == test::IoEvent::Kind::Write && e.path == file) {
            for (std::size_t at = e.offset; at < e.offset + e.bytes.size(); at += 4096) {
                pages.insert(at / 4096);
            }
        }
    }
    return pages;
}

// The base block and first bin of a hive file as written.
struct Written {
    BaseBlock base;
    std::uint64_t firstBinTime = 0;
};

Written writtenHeader(const fs::path& file) {
    const auto bytes = bytesOf(file);
    auto base = parseBaseBlock(bytes);
    EXPECT_TRUE(base);
    return {base ? *base : BaseBlock{}, le64(bytes.data() + BaseBlock::kSize + 20)};
}

TEST(WriteBack, WritesEachWindowsWrittenHiveInPlace) {
    for (const HiveCase& c : kWindowsWritten) {
        SCOPED_TRACE(c.primary);
        HiveCopy hive(c);
        const FileStamp before = stampOf(hive.primary());
        const BaseBlock oldBase = writtenHeader(hive.primary()).base;
        const bool wasDirty = oldBase.dirty();
        const std::uint64_t oldSize = fs::file_size(hive.primary());
        const HiveContent expected = hive.change();
        std::set<std::size_t> changed = hive.image().dirtyPages();

        PosixFileIo posix;
        test::RecordingFileIo io(posix);
        auto report = writeBack(io, hive.primary(), hive.image(), {c.windows, {}});
        ASSERT_TRUE(report) << report.error().describe();
        EXPECT_TRUE(report->written);
        EXPECT_EQ(report->settledDirtyFile, wasDirty);
        EXPECT_GT(report->logBytes, 0u);
        EXPECT_TRUE(hive.image().dirtyPages().empty());

        EXPECT_EQ(stampOf(hive.primary()).inode, before.inode);
        const HiveContent after = contentOrFail(test::recoveredContent(hive.primary()));
        EXPECT_TRUE(after.sameAs(expected));
        EXPECT_TRUE(after.canChange) << after.firstFinding;
        EXPECT_TRUE(test::independentReadersAgree(hive.primary()));

        const Written w = writtenHeader(hive.primary());
        EXPECT_FALSE(w.base.dirty());
        EXPECT_GT(w.base.primarySequence,
                  std::max(oldBase.primarySequence, oldBase.secondarySequence));
        EXPECT_GT(w.base.lastWritten, oldBase.lastWritten);
        EXPECT_EQ(w.firstBinTime, w.base.lastWritten);
        EXPECT_EQ(w.base.binsSize, expected.binsSize);
        EXPECT_EQ(report->sequence, w.base.primarySequence);

        if (!wasDirty) {
            // Only what changed reaches the primary: the changed pages, the
            // first bin (its timestamp), the new bin, and the base block.
            changed.insert(1);
            for (std::size_t p = oldSize / 4096; p < (4096 + expected.binsSize) / 4096; ++p) {
                changed.insert(p);
            }
            changed.insert(0);
            EXPECT_EQ(pagesWrittenTo(io.events(), hive.primary()), changed);
            EXPECT_EQ(report->primaryBytes, (changed.size() - 1) * 4096 + 2 * 4096);
        }
    }
}

TEST(WriteBack, LeavesAnUnchangedHiveUntouched) {
    for (const HiveCase& c : {kWindowsWritten[2], kWindowsWritten[8]}) {
        SCOPED_TRACE(c.primary);
        HiveCopy hive(c);
        // What was on disk, recovery or not: nothing is written, not even a
        // dirty file's recovered content.
        hive.image().clearDirtyPages();
        setOldMtime(hive.primary());
        const auto bytes = bytesOf(hive.primary());
        const auto files = filesIn(hive.folder());
        const FileStamp before = stampOf(hive.primary());

        PosixFileIo posix;
        test::RecordingFileIo io(posix);
        auto report = writeBack(io, hive.primary(), hive.image(), {});
        ASSERT_TRUE(report) << report.error().describe();
        EXPECT_FALSE(report->written);
        EXPECT_TRUE(io.events().empty());
        EXPECT_EQ(bytesOf(hive.primary()), bytes);
        EXPECT_TRUE(sameMtime(stampOf(hive.primary()).mtime, before.mtime));
        EXPECT_EQ(filesIn(hive.folder()), files);
    }
}

// After a write-back succeeded, a primary marked dirty by someone else must
// not get the log written for it applied again: Windows' rules make it
// ineligible, and recoverHive follows them.
TEST(WriteBack, ItsLogIsIneligibleOnceTheWriteBackIsDone) {
    const HiveCase cases[] = {
        {"hives/xp-ntuser.dat", {}, WindowsGeneration::Xp},
        {"hives/win7-ntuser.dat", {}, WindowsGeneration::VistaTo8},
        {"hives/windows-written/BigDataHive", {}, WindowsGeneration::Win81OrLater},
        {"hives/win81-ntuser.dat", {"hives/win81-ntuser.dat.LOG"}, std::nullopt},
    };
    for (const HiveCase& c : cases) {
        SCOPED_TRACE(c.primary);
        HiveCopy hive(c);
        hive.change();
        PosixFileIo io;
        ASSERT_TRUE(writeBack(io, hive.primary(), hive.image(), {c.windows, {}}));

        auto bytes = bytesOf(hive.primary());
        put32(bytes.data() + BaseBlock::kPrimarySequence,
              le32(bytes.data() + BaseBlock::kPrimarySequence) + 1);
        put32(bytes.data() + BaseBlock::kChecksum,
              baseBlockChecksum(std::span<const std::uint8_t>(bytes).first(512)));
        auto image = HiveImage::fromBytes(bytes);
        ASSERT_TRUE(image);
        auto logs = readLogFiles(hive.primary());
        ASSERT_TRUE(logs);
        auto recovered = recoverHive(*image, *logs);
        if (recovered) {
            EXPECT_TRUE(recovered->applied.empty()) << recovered->applied.front();
        }
    }
}

TEST(WriteBack, WritesInTurnIntoBothLogsOfAPair) {
    for (const auto windows : {WindowsGeneration::VistaTo8, WindowsGeneration::Win81OrLater}) {
        SCOPED_TRACE(static_cast<int>(windows));
        HiveCopy hive({"hives/windows-written/BigDataHive", {}, std::nullopt});
        const auto log1 = fs::path(hive.primary().string() + ".LOG1");
        const auto log2 = fs::path(hive.primary().string() + ".LOG2");
        std::vector<fs::path> used;
        std::uint32_t sequence = 0;
        for (int round = 0; round < 3; ++round) {
            const HiveContent expected = hive.change(static_cast<std::uint8_t>(0x11 * (round + 1)));
            PosixFileIo io;
            auto report = writeBack(io, hive.primary(), hive.image(), {windows, {}});
            ASSERT_TRUE(report) << report.error().describe();
            EXPECT_EQ(report->format,
                      windows == WindowsGeneration::VistaTo8 ? LogFormat::Old : LogFormat::New);
            EXPECT_GT(report->sequence, sequence);
            sequence = report->sequence;
            used.push_back(report->log);
            EXPECT_TRUE(contentOrFail(test::recoveredContent(hive.primary())).sameAs(expected));
            // The mapped image goes on from what is on disk now.
            hive.reopen();
        }
        EXPECT_EQ(used, (std::vector<fs::path>{log1, log2, log1}));
    }
}

// Each write and each sync of a write-back failed in turn, with an error or
// a short write: the write-back fails, the files on disk recover to the old
// content or the new, and a later write-back of the same image succeeds.
TEST(WriteBack, AFailedWriteOrSyncLeavesAFileThatRecovers) {
    const HiveCase cases[] = {
        {"hives/xp-ntuser.dat", {}, WindowsGeneration::Xp},
        {"hives/windows-written/BigDataHive", {}, WindowsGeneration::Win81OrLater},
        kWindowsWritten[8], // dirty on disk, new-format logs
        kWindowsWritten[9], // dirty on disk, an old-format log
    };
    using Fault = test::FaultyFileIo::Fault;
    for (const HiveCase& c : cases) {
        SCOPED_TRACE(c.primary);
        std::size_t writes = 0;
        std::size_t syncs = 0;
        HiveContent before;
        HiveContent expected;
        {
            HiveCopy hive(c);
            before = hive.before();
            expected = hive.change();
            PosixFileIo posix;
            test::RecordingFileIo io(posix);
            ASSERT_TRUE(writeBack(io, hive.primary(), hive.image(), {c.windows, {}}));
            writes = io.count(test::IoEvent::Kind::Write);
            syncs = io.count(test::IoEvent::Kind::Sync) + io.count(test::IoEvent::Kind::SyncFolder);
        }
        for (const Fault fault : {Fault::WriteError, Fault::ShortWrite, Fault::SyncError}) {
            const std::size_t count = fault == Fault::SyncError ? syncs : writes;
            for (std::size_t nth = 1; nth <= count; ++nth) {
                SCOPED_TRACE("fault " + std::to_string(static_cast<int>(fault)) + " at " +
                             std::to_string(nth));
                HiveCopy hive(c, {}, false);
                hive.change();
                PosixFileIo posix;
                test::FaultyFileIo faulty(posix, fault, nth);
                auto report = writeBack(faulty, hive.primary(), hive.image(), {c.windows, {}});
                EXPECT_TRUE(faulty.fired());
                EXPECT_FALSE(report);
                EXPECT_FALSE(hive.image().dirtyPages().empty());

                const HiveContent now = contentOrFail(test::recoveredContent(hive.primary()));
                EXPECT_TRUE(now.sameAs(before) || now.sameAs(expected));
                EXPECT_TRUE(now.canChange) << now.firstFinding;

                auto retry = writeBack(posix, hive.primary(), hive.image(), {c.windows, {}});
                ASSERT_TRUE(retry) << retry.error().describe();
                EXPECT_FALSE(writtenHeader(hive.primary()).base.dirty());
                EXPECT_TRUE(contentOrFail(test::recoveredContent(hive.primary())).sameAs(expected));
            }
        }
    }
}

// What a pre-flight refusal is made of: a change to the facts the FileIo
// reports, to the file on disk, or to the image.
struct Refusal {
    const char* name;
    const char* reason; // a part of the message
    std::function<void(FileFacts&)> facts = {};
    std::function<void(const fs::path&)> file = {};
    std::function<void(HiveImage&)> image = {};
    HiveCase hive = {"hives/xp-ntuser.dat", {}, WindowsGeneration::Xp};
    bool unrecovered = false; // the image mapped as the file is, without recovery
};

void setPendingTransactions(std::uint8_t* header) {
    put32(header + BaseBlock::kFlags, BaseBlock::kFlagPendingTransactions);
    put32(header + BaseBlock::kChecksum,
          baseBlockChecksum(std::span<const std::uint8_t>(header, 512)));
}

TEST(WriteBack, RefusesBeforeWritingAnything) {
    const Refusal refusals[] = {
        {"read-only volume", "только для чтения", [](FileFacts& f) { f.readOnlyVolume = true; }},
        {"compressed", "сжат", [](FileFacts& f) { f.attributes = 0x820; }},
        {"sparse", "разрежённый", [](FileFacts& f) { f.attributes = 0x220; }},
        {"encrypted", "зашифрован", [](FileFacts& f) { f.attributes = 0x4020; }},
        {"fewer blocks than bytes on NTFS", "меньше места",
         [](FileFacts& f) {
             f.allocated = f.size / 2;
             f.ntfsVolume = true;
         }},
        {"a hole punched in the file (real) on NTFS without attributes",
         "меньше места",
         [](FileFacts& f) { f.ntfsVolume = true; },
         [](const fs::path& file) {
             const int fd = ::open(file.c_str(), O_RDWR);
             ASSERT_GE(fd, 0);
             // Bytes past the hive bins of empty-hive: the content stays.
             ASSERT_EQ(::fallocate(fd, FALLOC_FL_PUNCH_HOLE | FALLOC_FL_KEEP_SIZE, 65536, 131072),
                       0);
             ::close(fd);
         },
         {},
         {"hives/empty-hive", {}, WindowsGeneration::Win81OrLater}},
        {"pending transactions in the file",
         "транзакции",
         {},
         [](const fs::path& file) {
             auto bytes = bytesOf(file);
             setPendingTransactions(bytes.data());
             const int fd = ::open(file.c_str(), O_WRONLY);
             ASSERT_EQ(::pwrite(fd, bytes.data(), 4096, 0), 4096);
             ::close(fd);
         }},
        {"pending transactions in the image",
         "транзакции",
         {},
         {},
         [](HiveImage& image) { setPendingTransactions(image.writable(0, 4096)); }},
        {"a changed page past the bins the header counts",
         "за концом",
         {},
         {},
         [](HiveImage& image) {
             const std::size_t end = 4096 + le32(image.data() + BaseBlock::kBinsSize);
             ASSERT_TRUE(image.grow(end + 4096));
             std::memcpy(image.writable(end, 4), "hbin", 4);
         }},
        {"a dirty file whose image was not recovered",
         "не восстановлен",
         {},
         {},
         {},
         kWindowsWritten[8],
         true},
    };
    for (const Refusal& r : refusals) {
        SCOPED_TRACE(r.name);
        HiveCopy hive(r.hive, {}, false);
        if (r.file) {
            r.file(hive.primary());
        }
        if (r.unrecovered) {
            auto plain = HiveImage::mapFile(hive.primary());
            ASSERT_TRUE(plain);
            hive.image() = std::move(*plain);
        }
        hive.change();
        if (r.image) {
            r.image(hive.image());
        }
        setOldMtime(hive.primary());
        const auto bytes = bytesOf(hive.primary());
        const auto files = filesIn(hive.folder());

        PosixFileIo posix;
        test::FaultyFileIo io(
            posix, r.facts ? r.facts : [](FileFacts&) {});
        auto report = writeBack(io, hive.primary(), hive.image(), {r.hive.windows, {}});
        ASSERT_FALSE(report);
        EXPECT_NE(report.error().message.find(r.reason), std::string::npos)
            << report.error().describe();
        EXPECT_EQ(report.error().file, hive.primary().string());
        EXPECT_EQ(bytesOf(hive.primary()), bytes);
        EXPECT_EQ(stampOf(hive.primary()).mtime.tv_sec, 1000000000);
        EXPECT_EQ(filesIn(hive.folder()), files);
    }
}

// The logs we write have the layout of the logs Windows writes: rebuilt
// from the pages of a Windows-written log, the bytes come out the same.
TEST(LogWriter, RebuildsLogsAsWindowsWroteThem) {
    struct Sample {
        const char* log;
        LogFormat format;
    };
    for (const Sample s : {Sample{"hives/dirty-new/NewDirtyHive.LOG1", LogFormat::New},
                           Sample{"hives/win81-ntuser.dat.LOG", LogFormat::New},
                           Sample{"hives/dirty-old/OldDirtyHive.LOG1", LogFormat::Old}}) {
        SCOPED_TRACE(s.log);
        const auto log = bytesOf(test::testdata(s.log));
        std::vector<std::uint8_t> header(log.begin(), log.begin() + 512);
        header.resize(4096, 0);
        put32(header.data() + BaseBlock::kFileType, 0);
        const std::uint32_t binsSize = le32(header.data() + BaseBlock::kBinsSize);

        // The hive as far as the log knows it: its pages where they belong.
        std::vector<std::uint8_t> hive(4096 + binsSize, 0);
        std::vector<std::size_t> pages;
        std::size_t compareFrom = 0;
        std::size_t compareTo = log.size();
        if (s.format == LogFormat::New) {
            const std::uint8_t* e = log.data() + 512;
            const std::uint32_t refs = le32(e + 20);
            std::size_t data = 40 + 8 * refs;
            for (std::uint32_t i = 0; i < refs; ++i) {
                const std::uint32_t offset = le32(e + 40 + 8 * i);
                const std::uint32_t size = le32(e + 44 + 8 * i);
                std::memcpy(hive.data() + 4096 + offset, e + data, size);
                data += size;
                for (std::uint32_t p = 0; p < size / 4096; ++p) {
                    pages.push_back(1 + offset / 4096 + p);
                }
            }
            compareTo = 512 + le32(e + 4); // the first entry
        } else {
            std::size_t at = 512 + 512;
            for (std::size_t byte = 0; byte < binsSize / 4096; ++byte) {
                if (log[512 + 4 + byte] == 0xFF) {
                    std::memcpy(hive.data() + 4096 + byte * 4096, log.data() + at, 4096);
                    at += 4096;
                    pages.push_back(1 + byte);
                }
            }
            compareFrom = 1024; // the pages (the bitmap's sector padding is left-over bytes)
        }
        auto built =
            buildLog(LogContent{s.format, header, le32(log.data() + BaseBlock::kPrimarySequence),
                                le64(log.data() + BaseBlock::kLastWritten), hive, pages});
        ASSERT_TRUE(built) << built.error().describe();
        ASSERT_GE(built->size(), compareTo);
        EXPECT_TRUE(std::equal(log.begin(), log.begin() + 512, built->begin()));
        EXPECT_TRUE(std::equal(log.begin() + compareFrom, log.begin() + compareTo,
                               built->begin() + compareFrom));
        if (s.format == LogFormat::Old) {
            EXPECT_TRUE(std::equal(log.begin() + 512, log.begin() + 516 + binsSize / 4096,
                                   built->begin() + 512));
        }
    }
}

TEST(LogWriter, ChoosesTheFileAndFormatWindowsWouldUse) {
    test::TempDir dir;
    const fs::path primary = dir / "SYSTEM";
    auto header = [](std::uint32_t fileType, std::uint32_t sequence) {
        std::vector<std::uint8_t> h(4096, 0);
        std::memcpy(h.data(), "regf", 4);
        put32(h.data() + BaseBlock::kPrimarySequence, sequence);
        put32(h.data() + BaseBlock::kSecondarySequence, sequence);
        put32(h.data() + BaseBlock::kFileType, fileType);
        put32(h.data() + BaseBlock::kChecksum,
              baseBlockChecksum(std::span<const std::uint8_t>(h).first(512)));
        return h;
    };
    auto log = [&](const char* suffix, std::vector<std::uint8_t> bytes) {
        return LogFile{primary.string() + suffix, std::move(bytes)};
    };
    BaseBlock v13;
    v13.minor = 3;
    BaseBlock v15;
    v15.minor = 5;
    struct Case {
        const char* name;
        std::vector<LogFile> logs;
        std::optional<WindowsGeneration> windows;
        BaseBlock header;
        const char* path;
        LogFormat format;
        const char* companion; // nullptr: none
    };
    const Case cases[] = {
        {"XP, no logs", {}, WindowsGeneration::Xp, v13, ".LOG", LogFormat::Old, nullptr},
        {"Vista to 8, no logs",
         {},
         WindowsGeneration::VistaTo8,
         v13,
         ".LOG1",
         LogFormat::Old,
         ".LOG2"},
        {"8.1 on, no logs",
         {},
         WindowsGeneration::Win81OrLater,
         v15,
         ".LOG1",
         LogFormat::New,
         ".LOG2"},
        {"unknown, format 1.3", {}, std::nullopt, v13, ".LOG", LogFormat::Old, nullptr},
        {"unknown, format 1.5", {}, std::nullopt, v15, ".LOG1", LogFormat::Old, ".LOG2"},
        {"a new-format .LOG",
         {log(".LOG", header(6, 9))},
         std::nullopt,
         v13,
         ".LOG",
         LogFormat::New,
         nullptr},
        {"the newer of a pair stays",
         {log(".LOG1", header(6, 12)), log(".LOG2", header(6, 10))},
         WindowsGeneration::Win81OrLater,
         v15,
         ".LOG2",
         LogFormat::New,
         nullptr},
        {"the newer of a pair stays (other way)",
         {log(".LOG1", header(1, 10)), log(".LOG2", header(1, 12))},
         std::nullopt,
         v15,
         ".LOG1",
         LogFormat::Old,
         nullptr},
        {"an empty log is taken first",
         {log(".LOG1", header(6, 12)), log(".LOG2", {})},
         std::nullopt,
         v15,
         ".LOG2",
         LogFormat::New,
         nullptr},
        {"the logs' format wins over the generation",
         {log(".LOG1", header(1, 3)), log(".LOG2", {})},
         WindowsGeneration::Win81OrLater,
         v15,
         ".LOG2",
         LogFormat::Old,
         nullptr},
        {"a damaged log header counts as none",
         {log(".LOG1",
              [&] {
                  auto h = header(6, 3);
                  h[100] ^= 1;
                  return h;
              }())},
         WindowsGeneration::VistaTo8,
         v15,
         ".LOG1",
         LogFormat::Old,
         ".LOG2"},
        {"lower-case names are followed",
         {log(".log1", header(1, 3))},
         std::nullopt,
         v15,
         ".log2",
         LogFormat::Old,
         nullptr},
        {"lower-case names are followed for the companion too",
         {log(".log", {})},
         WindowsGeneration::VistaTo8,
         v15,
         ".log1",
         LogFormat::Old,
         ".log2"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const LogTarget t = chooseLog(primary, c.logs, c.windows, c.header);
        EXPECT_EQ(t.path, fs::path(primary.string() + c.path));
        EXPECT_EQ(t.format, c.format);
        if (c.companion == nullptr) {
            EXPECT_FALSE(t.companion);
        } else {
            EXPECT_EQ(t.companion, fs::path(primary.string() + c.companion));
        }
    }
}

// On a real NTFS volume (ntfs-3g): the file keeps its identity, security
// descriptor and attributes; an unchanged hive is not touched; a compressed
// file and a read-only volume are refused.
TEST(WriteBackOnNtfs, KeepsTheFileItsSecurityAndAttributes) {
    test::TempDir dir;
    std::string whyNot;
    auto volume = test::NtfsVolume::create(dir.path(), whyNot, "compression");
    if (!volume) {
        GTEST_SKIP() << "no NTFS volume: " << whyNot;
    }
    const fs::path config = volume->root() / "Windows" / "System32" / "config";
    fs::create_directories(config);
    const HiveCase c{"hives/xp-ntuser.dat", {}, WindowsGeneration::Xp};
    {
        HiveCopy hive(c, config);
        // Hidden, system and archive, as Windows keeps NTUSER.DAT.
        ASSERT_TRUE(test::writeXattr(hive.primary(), "system.ntfs_attrib_be", {0, 0, 0, 0x26}));
        const auto acl = test::readXattr(hive.primary(), "system.ntfs_acl");
        const auto attributes = test::readXattr(hive.primary(), "system.ntfs_attrib_be");
        ASSERT_TRUE(acl && attributes);
        const FileStamp before = stampOf(hive.primary());

        PosixFileIo io;
        auto facts = io.facts(hive.primary());
        ASSERT_TRUE(facts);
        EXPECT_EQ(facts->attributes, 0x26u);

        setOldMtime(hive.primary());
        const auto bytes = bytesOf(hive.primary());
        auto untouched = writeBack(io, hive.primary(), hive.image(), {c.windows, {}});
        ASSERT_TRUE(untouched);
        EXPECT_FALSE(untouched->written);
        EXPECT_EQ(bytesOf(hive.primary()), bytes);
        EXPECT_EQ(stampOf(hive.primary()).mtime.tv_sec, 1000000000);

        const HiveContent expected = hive.change();
        auto report = writeBack(io, hive.primary(), hive.image(), {c.windows, {}});
        ASSERT_TRUE(report) << report.error().describe();
        EXPECT_EQ(stampOf(hive.primary()).inode, before.inode);
        EXPECT_EQ(test::readXattr(hive.primary(), "system.ntfs_acl"), acl);
        EXPECT_EQ(test::readXattr(hive.primary(), "system.ntfs_attrib_be"), attributes);
        EXPECT_TRUE(contentOrFail(test::recoveredContent(hive.primary())).sameAs(expected));
        EXPECT_TRUE(test::independentReadersAgree(hive.primary()));
    }
    {
        // A folder with the compressed attribute makes its new files compressed.
        const fs::path packed = volume->root() / "packed";
        fs::create_directories(packed);
        ASSERT_TRUE(test::writeXattr(packed, "system.ntfs_attrib_be", {0, 0, 0x08, 0x10}));
        HiveCopy hive(c, packed);
        hive.change();
        PosixFileIo io;
        auto report = writeBack(io, hive.primary(), hive.image(), {c.windows, {}});
        ASSERT_FALSE(report);
        EXPECT_NE(report.error().message.find("сжат"), std::string::npos)
            << report.error().describe();
    }
    {
        // Read from the file, not mapped: a mapping would keep the volume busy.
        const fs::path file = config / "xp-ntuser.dat";
        ASSERT_EQ(volume->remount("ro"), std::nullopt);
        const auto bytes = bytesOf(file);
        auto image = HiveImage::fromBytes(bytes);
        ASSERT_TRUE(image);
        test::changeFirstValue(*image);
        PosixFileIo io;
        auto report = writeBack(io, file, *image, {c.windows, {}});
        ASSERT_FALSE(report);
        EXPECT_NE(report.error().message.find("только для чтения"), std::string::npos)
            << report.error().describe();
        EXPECT_EQ(bytesOf(file), bytes);
    }
}

TEST(WriteBack, WritesASparseCopyOnAVolumeThatIsNotNtfs) {
    // cp keeps holes: a hive copied to ext4 or tmpfs is often sparse, and a
    // write into a hole there simply allocates.
    test::TempDir dir;
    const auto file = test::copyTestFile("hives/empty-hive", dir.path());
    {
        const int fd = ::open(file.c_str(), O_RDWR);
        ASSERT_GE(fd, 0);
        ASSERT_EQ(::fallocate(fd, FALLOC_FL_PUNCH_HOLE | FALLOC_FL_KEEP_SIZE, 65536, 131072), 0);
        ::close(fd);
    }
    auto hive = Hive::openRecovered(file);
    ASSERT_TRUE(hive);
    ASSERT_TRUE(hive->setValue(hive->root(), u"Shell", kRegSz, encodeStringData(u"explorer.exe")));
    PosixFileIo io;
    auto report = hive->writeBack(io);
    ASSERT_TRUE(report) << report.error().describe();
    EXPECT_TRUE(report->written);
    auto reread = Hive::open(file);
    ASSERT_TRUE(reread);
    EXPECT_TRUE(validateHive(*reread).canChange());
    EXPECT_TRUE(*reread->findValue(*reread->key(reread->root()), u"shell"));
}

} // namespace
} // namespace engine::hive
