#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstring>
#include <fstream>
#include <functional>
#include <map>
#include <optional>
#include <random>
#include <set>
#include <string>
#include <string_view>
#include <thread>
#include <unordered_set>
#include <vector>

#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "hive/base_block.h"
#include "hive/log_recovery.h"
#include "hive/log_writer.h"
#include "hive/write_back.h"
#include "support/hive_changes.h"
#include "support/hive_content.h"
#include "support/ntfs_volume.h"
#include "support/recording_file_io.h"
#include "support/test_files.h"

extern char** environ;

namespace engine::hive {
namespace {

namespace fs = std::filesystem;
using test::HiveContent;
using test::IoEvent;

std::vector<std::uint8_t> bytesOf(const fs::path& file) {
    const auto raw = test::readFile(file);
    return {raw.begin(), raw.end()};
}

HiveContent contentOrFail(const Result<HiveContent>& content) {
    EXPECT_TRUE(content) << (content ? "" : content.error().describe());
    return content ? *content : HiveContent{};
}

// The files of a folder as bytes; a missing file has no entry.
using Files = std::map<fs::path, std::vector<std::uint8_t>>;

Files filesOf(const fs::path& folder) {
    Files files;
    for (const auto& entry : fs::directory_iterator(folder)) {
        files[entry.path()] = bytesOf(entry.path());
    }
    return files;
}

void applyWrite(std::vector<std::uint8_t>& file, const IoEvent& w,
                const std::vector<bool>* sectors = nullptr) {
    const std::size_t end = w.offset + w.bytes.size();
    for (std::size_t s = 0; s * 512 < w.bytes.size(); ++s) {
        if (sectors != nullptr && !(*sectors)[s]) {
            continue;
        }
        const std::size_t from = w.offset + s * 512;
        const std::size_t to = std::min(end, from + 512);
        if (file.size() < to) {
            file.resize(to, 0);
        }
        std::copy(w.bytes.begin() + static_cast<std::ptrdiff_t>(s * 512),
                  w.bytes.begin() + static_cast<std::ptrdiff_t>(to - w.offset),
                  file.begin() + static_cast<std::ptrdiff_t>(from));
    }
}

// One state the disk can be in after a power cut: which of the writes that
// no sync had made durable yet landed (in any subset), the last of them
// perhaps torn (only some of its 512-byte sectors landed), and whether files
// created since the folder's last sync still exist.
struct CrashState {
    std::size_t cut = 0;                          // events before this index were issued
    std::vector<std::size_t> landed;              // pending writes that landed, in issue order
    std::optional<std::vector<bool>> tornSectors; // for the last of them
    std::set<fs::path> lostFiles;                 // created, but the folder was not synced
    std::string describe() const {
        std::string text = "cut before event " + std::to_string(cut) + ", landed {";
        for (const std::size_t i : landed) {
            text += std::to_string(i) + " ";
        }
        text += "}";
        if (tornSectors) {
            text += " last torn:";
            for (const bool s : *tornSectors) {
                text += s ? '1' : '0';
            }
        }
        for (const auto& f : lostFiles) {
            text += " lost " + f.filename().string();
        }
        return text;
    }
};

Files replay(const Files& initial, const std::vector<IoEvent>& events, const CrashState& state) {
    Files files = initial;
    std::map<fs::path, std::size_t> lastSync;
    for (std::size_t i = 0; i < state.cut; ++i) {
        if (events[i].kind == IoEvent::Kind::Sync) {
            lastSync[events[i].path] = i;
        }
    }
    const std::set<std::size_t> landed(state.landed.begin(), state.landed.end());
    for (std::size_t i = 0; i < state.cut; ++i) {
        const IoEvent& e = events[i];
        if (state.lostFiles.contains(e.path)) {
            continue;
        }
        if (e.kind == IoEvent::Kind::Create) {
            files[e.path];
        } else if (e.kind == IoEvent::Kind::Write) {
            const auto synced = lastSync.find(e.path);
            const bool durable = synced != lastSync.end() && synced->second > i;
            if (durable) {
                applyWrite(files[e.path], e);
            } else if (landed.contains(i)) {
                const bool torn = state.tornSectors && i == state.landed.back();
                applyWrite(files[e.path], e, torn ? &*state.tornSectors : nullptr);
            }
        }
    }
    for (const auto& lost : state.lostFiles) {
        files.erase(lost);
    }
    return files;
}

// Every crash state worth trying at each cut, sampled with a fixed seed where
// the combinations are too many.
std::vector<CrashState> crashStates(const std::vector<IoEvent>& events) {
    std::mt19937 random(20240611);
    std::vector<CrashState> states;
    for (std::size_t cut = 0; cut <= events.size(); ++cut) {
        std::map<fs::path, std::size_t> lastSync;
        std::map<fs::path, std::size_t> created;
        std::size_t lastFolderSync = 0;
        bool folderSynced = false;
        for (std::size_t i = 0; i < cut; ++i) {
            if (events[i].kind == IoEvent::Kind::Sync) {
                lastSync[events[i].path] = i;
            } else if (events[i].kind == IoEvent::Kind::Create) {
                created[events[i].path] = i;
            } else if (events[i].kind == IoEvent::Kind::SyncFolder) {
                lastFolderSync = i;
                folderSynced = true;
            }
        }
        std::vector<std::size_t> pending;
        for (std::size_t i = 0; i < cut; ++i) {
            if (events[i].kind != IoEvent::Kind::Write) {
                continue;
            }
            const auto synced = lastSync.find(events[i].path);
            if (synced == lastSync.end() || synced->second < i) {
                pending.push_back(i);
            }
        }
        std::vector<fs::path> unsure; // created, not yet made durable in the folder
        for (const auto& [path, at] : created) {
            if (!folderSynced || lastFolderSync < at) {
                unsure.push_back(path);
            }
        }

        std::vector<std::vector<std::size_t>> subsets;
        const std::size_t n = pending.size();
        if (n <= 4) {
            for (std::size_t mask = 0; mask < (std::size_t{1} << n); ++mask) {
                std::vector<std::size_t> s;
                for (std::size_t b = 0; b < n; ++b) {
                    if ((mask >> b) & 1) {
                        s.push_back(pending[b]);
                    }
                }
                subsets.push_back(s);
            }
        } else {
            subsets.push_back({});
            subsets.push_back(pending);
            for (std::size_t skip = 0; skip < n; ++skip) {
                subsets.push_back({pending[skip]});
                std::vector<std::size_t> s = pending;
                s.erase(s.begin() + static_cast<std::ptrdiff_t>(skip));
                subsets.push_back(s);
            }
            for (int k = 0; k < 16; ++k) {
                std::vector<std::size_t> s;
                for (const std::size_t i : pending) {
                    if (random() % 2 == 0) {
                        s.push_back(i);
                    }
                }
                subsets.push_back(s);
            }
        }
        for (const auto& s : subsets) {
            CrashState state;
            state.cut = cut;
            state.landed = s;
            for (const auto& path : unsure) {
                if (random() % 2 == 0) {
                    state.lostFiles.insert(path);
                }
            }
            states.push_back(state);
            if (s.empty()) {
                continue;
            }
            const std::size_t sectors = (events[s.back()].bytes.size() + 511) / 512;
            if (sectors < 2) {
                continue;
            }
            // Torn: a prefix of the sectors, and any subset of them.
            CrashState prefix = state;
            prefix.tornSectors = std::vector<bool>(sectors, false);
            const std::size_t keep = 1 + random() % (sectors - 1);
            std::fill(prefix.tornSectors->begin(),
                      prefix.tornSectors->begin() + static_cast<std::ptrdiff_t>(keep), true);
            states.push_back(prefix);
            CrashState scattered = state;
            scattered.tornSectors = std::vector<bool>(sectors, false);
            for (std::size_t i = 0; i < sectors; ++i) {
                (*scattered.tornSectors)[i] = random() % 2 == 0;
            }
            states.push_back(scattered);
        }
    }
    return states;
}

std::vector<LogFile> logsIn(const Files& files, const fs::path& primary) {
    std::vector<LogFile> logs;
    for (const char* suffix : {".LOG", ".LOG1", ".LOG2"}) {
        const auto it = files.find(primary.string() + suffix);
        if (it != files.end()) {
            logs.push_back({it->first, it->second});
        }
    }
    return logs;
}

struct Scenario {
    const char* name;
    const char* primary;
    std::vector<const char*> logs;
    std::optional<WindowsGeneration> windows;
    int earlierWriteBacks = 0; // done before the one recorded
    std::function<void(const fs::path& primary)> prepare = {};
};

// What Windows leaves when it is cut off after syncing a log entry and before
// marking the primary dirty: a clean primary, and a .LOG1 whose entry carries
// the primary's own sequence number and a change the primary never got.
void addUnappliedLogEntry(const fs::path& primary) {
    auto image = HiveImage::mapFile(primary);
    ASSERT_TRUE(image);
    const auto base = parseBaseBlock({image->data(), image->size()});
    ASSERT_TRUE(base && !base->dirty());
    test::changeFirstValue(*image, 0x5A);
    std::set<std::size_t> pageSet(image->dirtyPages().begin(), image->dirtyPages().end());
    pageSet.erase(0);
    const std::vector<std::size_t> pages(pageSet.begin(), pageSet.end());
    const std::size_t end = 4096 + std::size_t{base->binsSize};
    auto log = buildLog(LogContent{LogFormat::New,
                                   {image->data(), 4096},
                                   base->secondarySequence,
                                   base->lastWritten,
                                   {image->data(), end},
                                   pages});
    ASSERT_TRUE(log);
    std::ofstream out(primary.string() + ".LOG1", std::ios::binary);
    out.write(reinterpret_cast<const char*>(log->data()),
              static_cast<std::streamsize>(log->size()));
}

// A power cut at any moment of a write-back: each state recovers (as
// recoverHive does it, as Windows does) to the old content or the new, and
// the result passes the structural check.
TEST(PowerCut, EveryStateRecoversToTheOldContentOrTheNew) {
    const Scenario scenarios[] = {
        {"XP, a new .LOG", "hives/xp-ntuser.dat", {}, WindowsGeneration::Xp},
        {"7, new old-format .LOG1/.LOG2", "hives/win7-ntuser.dat", {}, WindowsGeneration::VistaTo8},
        {"8.1, its new-format .LOG rewritten",
         "hives/win81-ntuser.dat",
         {"hives/win81-ntuser.dat.LOG"},
         std::nullopt},
        {"8.1 on, the file grows",
         "hives/windows-written/OffHive",
         {},
         WindowsGeneration::Win81OrLater},
        {"10, new new-format .LOG1/.LOG2",
         "hives/windows-written/BigDataHive",
         {},
         WindowsGeneration::Win81OrLater},
        {"10, the second log of the pair",
         "hives/windows-written/BigDataHive",
         {},
         WindowsGeneration::Win81OrLater,
         1},
        {"7, back to the first log of the pair",
         "hives/windows-written/UnicodeHive",
         {},
         WindowsGeneration::VistaTo8,
         2},
        {"8.1 on, a log entry Windows wrote but never applied",
         "hives/win81-ntuser.dat",
         {},
         WindowsGeneration::Win81OrLater,
         0,
         addUnappliedLogEntry},
        {"dirty on disk, new-format logs",
         "hives/dirty-new/NewDirtyHive",
         {"hives/dirty-new/NewDirtyHive.LOG1", "hives/dirty-new/NewDirtyHive.LOG2"},
         std::nullopt},
        {"dirty on disk, an old-format log",
         "hives/dirty-old/OldDirtyHive",
         {"hives/dirty-old/OldDirtyHive.LOG1", "hives/dirty-old/OldDirtyHive.LOG2"},
         std::nullopt},
    };
    const auto started = std::chrono::steady_clock::now();
    std::size_t tried = 0;
    for (const Scenario& sc : scenarios) {
        SCOPED_TRACE(sc.name);
        test::TempDir dir;
        const fs::path primary = test::copyTestFile(sc.primary, dir.path());
        for (const char* log : sc.logs) {
            test::copyTestFile(log, dir.path());
        }
        if (sc.prepare) {
            sc.prepare(primary);
        }
        auto image = HiveImage::mapFile(primary);
        ASSERT_TRUE(image);
        if (parseBaseBlock({image->data(), image->size()})->dirty()) {
            ASSERT_TRUE(recoverHive(*image, *readLogFiles(primary)));
        }
        PosixFileIo posix;
        for (int i = 0; i < sc.earlierWriteBacks; ++i) {
            test::changeFirstValue(*image, static_cast<std::uint8_t>(0x30 + i));
            test::appendBin(*image);
            ASSERT_TRUE(writeBack(posix, primary, *image, {sc.windows, {}}));
        }
        const HiveContent before = contentOrFail(test::recoveredContent(primary));
        const Files initial = filesOf(dir.path());
        test::changeFirstValue(*image);
        test::appendBin(*image);
        const HiveContent after = contentOrFail(test::contentOf(*image));
        ASSERT_FALSE(before.sameAs(after));

        test::RecordingFileIo io(posix);
        auto report = writeBack(io, primary, *image, {sc.windows, {}});
        ASSERT_TRUE(report) << report.error().describe();

        std::unordered_set<std::size_t> seen;
        for (const CrashState& state : crashStates(io.events())) {
            const Files files = replay(initial, io.events(), state);
            std::string key;
            for (const auto& [path, bytes] : files) {
                key += path.string();
                key.append(reinterpret_cast<const char*>(bytes.data()), bytes.size());
            }
            if (!seen.insert(std::hash<std::string>{}(key)).second) {
                continue;
            }
            ++tried;
            const auto found = files.find(primary);
            ASSERT_NE(found, files.end());
            const auto logs = logsIn(files, primary);
            auto content = test::recoveredContent(found->second, logs);
            ASSERT_TRUE(content) << state.describe() << ": " << content.error().describe();
            EXPECT_TRUE(content->sameAs(before) || content->sameAs(after)) << state.describe();
            EXPECT_TRUE(content->canChange) << state.describe() << ": " << content->firstFinding;
        }
    }
    const auto seconds =
        std::chrono::duration_cast<std::chrono::seconds>(std::chrono::steady_clock::now() - started)
            .count();
    std::printf("[          ] %zu crash states tried in %lld s\n", tried,
                static_cast<long long>(seconds));
}

#ifdef MORVALIN_WRITE_BACK_LOOP

// A running write-back program, its steps read from its output.
class Victim {
public:
    Victim(const fs::path& primary, std::uint32_t start, const char* windows) {
        int fds[2];
        if (::pipe2(fds, O_CLOEXEC) != 0) {
            return;
        }
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, fds[1], STDOUT_FILENO);
        const std::string program = MORVALIN_WRITE_BACK_LOOP;
        const std::string file = primary.string();
        const std::string first = std::to_string(start);
        std::vector<char*> argv{const_cast<char*>(program.c_str()), const_cast<char*>(file.c_str()),
                                const_cast<char*>(first.c_str()), const_cast<char*>(windows),
                                nullptr};
        if (::posix_spawn(&pid_, program.c_str(), &actions, nullptr, argv.data(), environ) != 0) {
            pid_ = -1;
        }
        posix_spawn_file_actions_destroy(&actions);
        ::close(fds[1]);
        out_ = fds[0];
    }
    Victim(const Victim&) = delete;
    Victim& operator=(const Victim&) = delete;
    ~Victim() {
        if (pid_ > 0) {
            kill();
        }
        if (out_ >= 0) {
            ::close(out_);
        }
    }

    bool running() const { return pid_ > 0; }

    // Kills it with SIGKILL and returns the last step it reported done and
    // whether it had exited on its own before (an error).
    std::pair<std::uint32_t, bool> kill() {
        bool exitedEarly = false;
        int status = 0;
        if (::waitpid(pid_, &status, WNOHANG) == pid_) {
            exitedEarly = true;
        } else {
            ::kill(pid_, SIGKILL);
            ::waitpid(pid_, &status, 0);
        }
        pid_ = -1;
        std::string text;
        char buffer[4096];
        ssize_t n = 0;
        while ((n = ::read(out_, buffer, sizeof buffer)) > 0) {
            text.append(buffer, static_cast<std::size_t>(n));
        }
        std::uint32_t last = 0;
        std::size_t lineStart = 0;
        for (std::size_t i = 0; i < text.size(); ++i) {
            if (text[i] == '\n') {
                last =
                    static_cast<std::uint32_t>(std::stoul(text.substr(lineStart, i - lineStart)));
                lineStart = i + 1;
            }
        }
        return {last, exitedEarly};
    }

private:
    pid_t pid_ = -1;
    int out_ = -1;
};

// The content a hive holds after steps 1..n of the victim, worked out from
// its original bytes (going on from the last step asked for).
class Steps {
public:
    explicit Steps(std::vector<std::uint8_t> original)
        : original_(std::move(original)) {}
    HiveContent after(std::uint32_t n) {
        if (!image_ || n < step_) {
            image_.emplace(std::move(*HiveImage::fromBytes(original_)));
            place_ = test::stepPlace(*image_);
            step_ = 0;
        }
        while (step_ < n) {
            test::applyStep(*image_, place_, ++step_);
        }
        return test::binsOf({image_->data(), image_->size()});
    }

private:
    std::vector<std::uint8_t> original_;
    std::optional<HiveImage> image_;
    test::StepPlace place_;
    std::uint32_t step_ = 0;
};

// Killed with SIGKILL at random moments, again and again on the same files:
// each time the files recover to the last step reported done or the one
// after it, and the next run goes on from there (through recovery of a
// dirty file when the kill left one).
void killRepeatedly(const fs::path& folder, const char* hive, const char* log, const char* windows,
                    int rounds) {
    const fs::path primary = test::copyTestFile(hive, folder);
    if (log != nullptr) {
        test::copyTestFile(log, folder);
    }
    Steps steps(bytesOf(primary));
    std::mt19937 random(7);
    std::uint32_t done = 0;
    std::size_t dirtyAfterKill = 0;
    for (int round = 0; round < rounds; ++round) {
        SCOPED_TRACE("round " + std::to_string(round) + " from step " + std::to_string(done));
        Victim victim(primary, done, windows);
        ASSERT_TRUE(victim.running());
        std::this_thread::sleep_for(std::chrono::microseconds(2000 + random() % 60000));
        const auto [reported, exitedEarly] = victim.kill();
        ASSERT_FALSE(exitedEarly) << "the write-back program stopped on its own";
        const std::uint32_t last = std::max(reported, done);
        dirtyAfterKill +=
            bytesOf(primary).size() >= 4096 && parseBaseBlock(bytesOf(primary))->dirty();
        const HiveContent now = contentOrFail(test::recoveredContent(primary));
        ASSERT_TRUE(now.canChange) << now.firstFinding;
        if (test::sameBins(now, steps.after(last))) {
            done = last;
        } else {
            ASSERT_TRUE(test::sameBins(now, steps.after(last + 1)))
                << "neither step " << last << " nor " << last + 1;
            done = last + 1;
        }
    }
    std::printf("[          ] %u steps, %zu kills left a dirty file\n", done, dirtyAfterKill);
}

TEST(KillDuringWriteBack, RecoversToTheLastStepOrTheNextOnAPlainFolder) {
    test::TempDir dir;
    killRepeatedly(dir.path(), "hives/xp-ntuser.dat", nullptr, "xp", 25);
    test::TempDir dir2;
    killRepeatedly(dir2.path(), "hives/win81-ntuser.dat", "hives/win81-ntuser.dat.LOG", "-", 25);
}

TEST(KillDuringWriteBack, RecoversToTheLastStepOrTheNextOnNtfs) {
    test::TempDir dir;
    std::string whyNot;
    auto volume = test::NtfsVolume::create(dir.path(), whyNot);
    if (!volume) {
        GTEST_SKIP() << "no NTFS volume: " << whyNot;
    }
    killRepeatedly(volume->root(), "hives/win7-ntuser.dat", nullptr, "vista", 15);
    killRepeatedly(volume->root(), "hives/win81-ntuser.dat", nullptr, "win81", 15);
}

#else

TEST(KillDuringWriteBack, NeedsTheWriteBackProgram) {
    GTEST_SKIP() << "the write-back program is not built: include "
                    "tests/support/write_back_loop/write_back_loop.cmake from tests/CMakeLists.txt";
}

#endif

} // namespace
} // namespace engine::hive
