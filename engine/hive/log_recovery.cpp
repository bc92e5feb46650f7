#include "hive/log_recovery.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <fstream>
#include <optional>
#include <string_view>
#include <system_error>

#include <fmt/format.h>

#include "hive/base_block.h"
#include "hive/bytes.h"
#include "hive/marvin32.h"
#include "hive/names.h"

// Recovery follows the public description of the registry file format
// (msuhanov/regf, "Format of transaction log files") and what Windows 7 and
// Windows 10 made of the dirty hives in the test data. Where Windows
// would go on with a hive whose logs are damaged, we refuse instead: a rescue
// tool must not report a half-applied log as a recovered hive.

namespace engine::hive {

namespace {

// Logs are written in 512-byte sectors whatever the disk: the base block copy
// fills the first, the dirty vector or the log entries start at the second.
constexpr std::size_t kSector = 512;
constexpr std::uint32_t kFileTypeOldLog = 1;
constexpr std::uint32_t kFileTypeNewLog = 6;
constexpr std::size_t kDirtVector = kSector; // "DIRT" + bitmap
constexpr std::size_t kFirstEntry = kSector; // first HvLE entry

// Log entry (HvLE) header fields.
constexpr std::size_t kEntrySize = 4;
constexpr std::size_t kEntryFlags = 8;
constexpr std::size_t kEntrySequence = 12;
constexpr std::size_t kEntryBinsSize = 16;
constexpr std::size_t kEntryPageCount = 20;
constexpr std::size_t kEntryHash1 = 24;
constexpr std::size_t kEntryHash2 = 32;
constexpr std::size_t kEntryHeader = 40;
constexpr std::size_t kPageReference = 8;
// The seed Windows hashes log entries with: bytes 82 EF 4D 88 7A 4E 55 C5
// read as one number.
constexpr std::uint64_t kEntrySeed = 0x82EF4D887A4E55C5ull;

using Header = std::array<std::uint8_t, BaseBlock::kSize>;

std::string fileName(const LogFile& log) {
    return log.path.filename().string();
}

std::string damaged(const LogFile& log, std::string_view why) {
    return fmt::format("журнал {} повреждён: {}", fileName(log), why);
}

std::string joined(const std::vector<std::string>& parts) {
    std::string text;
    for (const auto& part : parts) {
        text += text.empty() ? part : "; " + part;
    }
    return text;
}

// A log whose base block copy is sound.
struct ValidLog {
    const LogFile* file;
    BaseBlock block;
    Header header; // the copy, zero past its sector
};

// Checks the base block copy in a log's first sector: a "regf" signature, a
// right checksum, a log file type and equal sequence numbers (a log whose
// writing was cut off keeps them different). A log that fails any of these is
// not used, as Windows does not use it.
Result<ValidLog> checkLogHeader(const LogFile& log) {
    if (log.bytes.size() < kSector) {
        return fail(damaged(log, fmt::format("файл короче заголовка ({} байт)", log.bytes.size())));
    }
    ValidLog valid{&log, {}, {}};
    std::memcpy(valid.header.data(), log.bytes.data(), kSector);
    auto block = parseBaseBlock(valid.header);
    if (!block) {
        return fail(damaged(log, "нет подписи regf в заголовке"));
    }
    if (!block->checksumValid) {
        return fail(damaged(log, "неверная контрольная сумма заголовка"));
    }
    if (block->fileType != kFileTypeOldLog && block->fileType != kFileTypeNewLog) {
        return fail(damaged(log, fmt::format("неизвестный тип файла {}", block->fileType)));
    }
    if (block->primarySequence != block->secondarySequence) {
        return fail(damaged(log, fmt::format("запись журнала не завершена (номера "
                                             "последовательности {} и {})",
                                             block->primarySequence, block->secondarySequence)));
    }
    valid.block = *block;
    return valid;
}

// What recovery hands to the base block once the hive bins are done.
struct Outcome {
    Header header;              // the base block to finish: the primary's or a log's copy
    std::uint32_t sequence = 0; // both sequence numbers
    std::uint32_t binsSize = 0;
    std::optional<std::uint32_t> flags; // from the last log entry applied
};

// Writes the clean base block: equal sequence numbers, the recovered bins
// size (and flags), file type 0, a fresh checksum.
void finishBaseBlock(HiveImage& image, Outcome outcome) {
    Header& h = outcome.header;
    put32(h.data() + BaseBlock::kPrimarySequence, outcome.sequence);
    put32(h.data() + BaseBlock::kSecondarySequence, outcome.sequence);
    put32(h.data() + BaseBlock::kFileType, BaseBlock::kFileTypePrimary);
    put32(h.data() + BaseBlock::kBinsSize, outcome.binsSize);
    if (outcome.flags) {
        put32(h.data() + BaseBlock::kFlags, *outcome.flags);
    }
    put32(h.data() + BaseBlock::kChecksum, baseBlockChecksum(h));
    if (std::memcmp(image.data(), h.data(), h.size()) != 0) {
        std::memcpy(image.writable(0, h.size()), h.data(), h.size());
    }
}

// Writes recovered bytes of the hive bins; pages that already hold them stay
// untouched (and clean).
void writeBins(HiveImage& image, std::uint64_t binOffset, std::span<const std::uint8_t> bytes) {
    const std::size_t at = BaseBlock::kSize + static_cast<std::size_t>(binOffset);
    if (std::memcmp(image.data() + at, bytes.data(), bytes.size()) != 0) {
        std::memcpy(image.writable(at, bytes.size()), bytes.data(), bytes.size());
    }
}

Header primaryHeader(const HiveImage& image) {
    Header h;
    std::memcpy(h.data(), image.data(), h.size());
    return h;
}

// ---- Old format: a dirty vector of 512-byte pages, then the pages ----------

// A hive bin header at `pos` that can be walked over: signature, its own
// offset, a size in whole 4096-byte blocks inside the hive bins.
bool binHeaderSound(const std::uint8_t* h, std::uint32_t pos, std::uint32_t binsSize) {
    if (h == nullptr || std::memcmp(h, "hbin", 4) != 0 || le32(h + 4) != pos) {
        return false;
    }
    const std::uint32_t size = le32(h + 8);
    return size >= HiveImage::kPageSize && size % HiveImage::kPageSize == 0 &&
           size <= binsSize - pos;
}

class OldLogRecovery {
public:
    OldLogRecovery(HiveImage& image, const ValidLog& log)
        : image_(image)
        , log_(log)
        , bytes_(log.file->bytes) {}

    // Applies the log's dirty pages; the result's bins size and header are
    // the log's.
    Result<void> apply() {
        if (auto read = readDirtyVector(); !read) {
            return read;
        }
        if (auto walked = checkBins(); !walked) {
            return walked;
        }
        const std::uint64_t end = BaseBlock::kSize + std::uint64_t{binsSize_};
        if (auto grown = image_.grow(static_cast<std::size_t>(end)); !grown) {
            return fail(damaged(*log_.file, "куст не может вырасти до размера из журнала: " +
                                                grown.error().message));
        }
        for (std::size_t i = 0; i < dirty_.size(); ++i) {
            writeBins(image_, std::uint64_t{dirty_[i]} * kSector, logPage(i));
        }
        return {};
    }

private:
    Result<void> readDirtyVector() {
        binsSize_ = log_.block.binsSize;
        if (binsSize_ == 0 || binsSize_ % HiveImage::kPageSize != 0) {
            return fail(damaged(*log_.file,
                                fmt::format("размер данных куста {} не кратен 4096", binsSize_)));
        }
        if (bytes_.size() < kDirtVector + 4 ||
            std::memcmp(bytes_.data() + kDirtVector, "DIRT", 4) != 0) {
            return fail(damaged(*log_.file, "нет подписи DIRT"));
        }
        const std::size_t bits = binsSize_ / kSector;
        const std::size_t bitmapStart = kDirtVector + 4;
        const std::size_t bitmapBytes = bits / 8;
        if (bytes_.size() - bitmapStart < bitmapBytes) {
            return fail(damaged(*log_.file, "карта изменённых страниц обрезана"));
        }
        const std::uint8_t* bitmap = bytes_.data() + bitmapStart;
        for (std::size_t bit = 0; bit < bits; ++bit) {
            if ((bitmap[bit / 8] >> (bit % 8)) & 1) {
                dirty_.push_back(static_cast<std::uint32_t>(bit));
            }
        }
        pagesStart_ = (bitmapStart + bitmapBytes + kSector - 1) / kSector * kSector;
        const std::uint64_t needed = pagesStart_ + std::uint64_t{dirty_.size()} * kSector;
        if (needed > bytes_.size()) {
            return fail(damaged(
                *log_.file, fmt::format("изменённые страницы обрезаны: нужно {} байт, в файле {}",
                                        needed, bytes_.size())));
        }
        return {};
    }

    std::span<const std::uint8_t> logPage(std::size_t index) const {
        return {bytes_.data() + pagesStart_ + index * kSector, kSector};
    }

    // The index among the dirty pages of the 512-byte page `page`, if dirty.
    std::optional<std::size_t> dirtyIndex(std::uint32_t page) const {
        auto it = std::lower_bound(dirty_.begin(), dirty_.end(), page);
        if (it == dirty_.end() || *it != page) {
            return std::nullopt;
        }
        return static_cast<std::size_t>(it - dirty_.begin());
    }

    // Walks the hive bins as they will be after recovery: a bin whose header
    // page is dirty has its header from the log and is checked (signature,
    // size of at least 4096, its offset matching where it lies), the others
    // are the primary's. Windows stops at a bad dirty bin; we refuse the whole
    // log instead, since the pages already applied would leave a mix of two
    // states of the hive. A bin the log does not hold and the primary lacks
    // means the primary is damaged beyond what the log can mend.
    Result<void> checkBins() const {
        std::uint32_t pos = 0;
        while (pos < binsSize_) {
            const auto index = dirtyIndex(pos / kSector);
            const std::uint8_t* h = nullptr;
            if (index) {
                h = logPage(*index).data();
            } else if (BaseBlock::kSize + std::uint64_t{pos} + kSector <= image_.size()) {
                h = image_.data() + BaseBlock::kSize + pos;
            }
            if (!binHeaderSound(h, pos, binsSize_)) {
                if (index) {
                    return fail(damaged(*log_.file,
                                        fmt::format("неверный блок hbin по смещению 0x{:x}", pos)));
                }
                return fail(fmt::format("основной файл куста повреждён: по смещению 0x{:x} нет "
                                        "блока hbin, а журнал {} его не содержит",
                                        pos, fileName(*log_.file)));
            }
            pos += le32(h + 8);
        }
        return {};
    }

    HiveImage& image_;
    const ValidLog& log_;
    const std::vector<std::uint8_t>& bytes_;
    std::uint32_t binsSize_ = 0;
    std::vector<std::uint32_t> dirty_; // 512-byte page numbers, ascending
    std::size_t pagesStart_ = 0;
};

// An old-format log applies when its last-written timestamp is the primary's
// (the first hive bin's, when the primary's base block is damaged). Of several
// that apply, the one written last (the higher sequence number) is used.
Result<RecoveryReport> recoverFromOldLogs(HiveImage& image, const BaseBlock& primary,
                                          const std::vector<ValidLog>& logs,
                                          std::vector<std::string> problems) {
    std::optional<std::uint64_t> timestamp;
    if (primary.checksumValid) {
        timestamp = primary.lastWritten;
    } else if (image.size() >= BaseBlock::kSize + kSector &&
               std::memcmp(image.data() + BaseBlock::kSize, "hbin", 4) == 0) {
        timestamp = le64(image.data() + BaseBlock::kSize + 20);
    }
    const ValidLog* chosen = nullptr;
    for (const auto& log : logs) {
        if (timestamp && log.block.lastWritten == *timestamp) {
            if (chosen == nullptr || log.block.primarySequence > chosen->block.primarySequence) {
                chosen = &log;
            }
        } else {
            problems.push_back(fmt::format("журнал {} относится к другому состоянию куста "
                                           "(время записи не совпадает)",
                                           fileName(*log.file)));
        }
    }
    if (chosen == nullptr) {
        if (!timestamp) {
            problems.insert(problems.begin(), "заголовок куста повреждён, а первого блока hbin "
                                              "нет: журнал не с чем сверить");
        }
        return fail("куст не закрыт после записи, и ни один журнал не подходит для его "
                    "восстановления: " +
                    joined(problems));
    }

    OldLogRecovery recovery(image, *chosen);
    if (auto applied = recovery.apply(); !applied) {
        return tl::unexpected(applied.error());
    }
    Outcome outcome{primary.checksumValid ? primaryHeader(image) : chosen->header, 0,
                    chosen->block.binsSize, std::nullopt};
    // The primary's primary sequence number is the one the interrupted write
    // was giving it (a log from Windows XP is one behind); never go back.
    outcome.sequence = chosen->block.primarySequence;
    if (primary.checksumValid) {
        outcome.sequence = std::max(outcome.sequence, primary.primarySequence);
    }
    finishBaseBlock(image, outcome);

    RecoveryReport report;
    report.format = LogFormat::Old;
    report.applied.push_back(chosen->file->path);
    report.sequence = outcome.sequence;
    report.baseBlockFromLog = !primary.checksumValid;
    return report;
}

// ---- New format: HvLE log entries ------------------------------------------

struct PageReference {
    std::uint32_t offset; // in the hive bins
    std::uint32_t size;
};

struct LogEntry {
    std::size_t at; // offset in the log file
    std::uint32_t sequence;
    std::uint32_t flags;
    std::uint32_t binsSize;
    std::uint32_t size; // of the whole entry
    std::vector<PageReference> pages;
    const std::uint8_t* data; // the pages, one after another
};

struct EntryLog {
    const ValidLog* log;
    std::vector<LogEntry> entries;     // the well-formed entries, in file order
    std::optional<std::string> damage; // why reading stopped before the end, if it did
    // Sequence numbers of well-formed entries found past the damage.
    std::vector<std::uint32_t> beyondDamage;
};

// Reads the entry at `at`: nullopt when no entry starts there (zeros or
// leftovers), else the entry or why it is broken. Every field is checked
// against the file before it is used.
std::optional<Result<LogEntry>> readEntry(std::span<const std::uint8_t> bytes, std::size_t at) {
    if (bytes.size() - at < kEntryHeader) {
        return std::nullopt;
    }
    const std::uint8_t* p = bytes.data() + at;
    if (std::memcmp(p, "HvLE", 4) != 0) {
        return std::nullopt;
    }
    if (marvin32({p, 32}, kEntrySeed) != le64(p + kEntryHash2)) {
        return fail("неверная хеш-сумма заголовка записи");
    }
    const std::uint32_t size = le32(p + kEntrySize);
    if (size < kEntryHeader || size % kSector != 0 || size > bytes.size() - at) {
        return fail(fmt::format("неверный размер записи {}", size));
    }
    if (marvin32({p + kEntryHeader, size - kEntryHeader}, kEntrySeed) != le64(p + kEntryHash1)) {
        return fail("неверная хеш-сумма данных записи");
    }
    LogEntry entry{
        at,     le32(p + kEntrySequence), le32(p + kEntryFlags), le32(p + kEntryBinsSize), size, {},
        nullptr};
    if (entry.binsSize == 0 || entry.binsSize % HiveImage::kPageSize != 0) {
        return fail(fmt::format("размер данных куста {} не кратен 4096", entry.binsSize));
    }
    const std::uint32_t count = le32(p + kEntryPageCount);
    const std::size_t room = size - kEntryHeader;
    if (count > room / kPageReference) {
        return fail(fmt::format("{} страниц не помещаются в запись", count));
    }
    std::uint64_t pagesBytes = 0;
    for (std::uint32_t i = 0; i < count; ++i) {
        const std::uint8_t* ref = p + kEntryHeader + std::size_t{i} * kPageReference;
        const PageReference page{le32(ref), le32(ref + 4)};
        if (std::uint64_t{page.offset} + page.size > entry.binsSize) {
            return fail("страница выходит за пределы данных куста");
        }
        pagesBytes += page.size;
        entry.pages.push_back(page);
    }
    if (pagesBytes > room - std::size_t{count} * kPageReference) {
        return fail("страницы не помещаются в запись");
    }
    entry.data = p + kEntryHeader + std::size_t{count} * kPageReference;
    return entry;
}

// Reads a log's entries from the second sector on, up to the first place that
// holds no entry or a broken one. Past a broken entry the rest of the file is
// only searched for well-formed entries, to learn whether newer writes lie
// behind the damage.
EntryLog readEntries(const ValidLog& log) {
    EntryLog result{&log, {}, std::nullopt, {}};
    const std::span<const std::uint8_t> bytes = log.file->bytes;
    std::size_t at = kFirstEntry;
    for (auto entry = readEntry(bytes, at); entry; entry = readEntry(bytes, at)) {
        if (!*entry) {
            result.damage = damaged(*log.file, fmt::format("запись по смещению 0x{:x}: {}", at,
                                                           entry->error().message));
            break;
        }
        at += entry->value().size;
        result.entries.push_back(std::move(entry->value()));
    }
    if (!result.damage) {
        return result;
    }
    for (at += kSector; at < bytes.size(); at += kSector) {
        auto entry = readEntry(bytes, at);
        if (entry && *entry) {
            result.beyondDamage.push_back(entry->value().sequence);
            at += entry->value().size - kSector;
        }
    }
    return result;
}

Result<void> applyEntry(HiveImage& image, const LogEntry& entry, const LogFile& log) {
    if (auto grown = image.grow(BaseBlock::kSize + std::size_t{entry.binsSize}); !grown) {
        return fail(damaged(log, fmt::format("куст не может вырасти до {} байт: {}", entry.binsSize,
                                             grown.error().message)));
    }
    const std::uint8_t* data = entry.data;
    for (const auto& page : entry.pages) {
        writeBins(image, page.offset, {data, page.size});
        data += page.size;
    }
    return {};
}

// The entries chain by sequence number, from the primary's secondary sequence
// number up, one after another: the logs are taken in the order of the
// sequence numbers in their base blocks (LOG1 then LOG2, unless Windows
// switched back), entries older than the chain are skipped, and a log's
// current entries end where the next number does not follow (zeros, or an
// entry left from an earlier round). Windows stops at a gap or a damaged
// entry and keeps what it applied; that is right for a write cut off while
// its entry was written, but when a log still holds entries past the point
// where the chain broke, those changes would be lost for good once the hive
// is written again, so we refuse instead.
Result<RecoveryReport> recoverFromNewLogs(HiveImage& image, const BaseBlock& primary,
                                          std::vector<ValidLog> logs,
                                          std::vector<std::string> problems) {
    std::stable_sort(logs.begin(), logs.end(), [](const ValidLog& a, const ValidLog& b) {
        return a.block.primarySequence < b.block.primarySequence;
    });
    std::vector<EntryLog> entryLogs;
    for (const auto& log : logs) {
        entryLogs.push_back(readEntries(log));
    }
    // A damaged primary base block is replaced by the copy in the log the
    // chain starts in, which names the sequence number to start from.
    const ValidLog& first = logs.front();
    const std::uint32_t start =
        primary.checksumValid ? primary.secondarySequence : first.block.secondarySequence;

    RecoveryReport report;
    report.format = LogFormat::New;
    report.baseBlockFromLog = !primary.checksumValid;
    std::uint32_t next = start;
    const LogEntry* last = nullptr;
    std::optional<std::string> stop;
    for (const auto& log : entryLogs) {
        bool inChain = false;
        bool leftChain = false;
        for (const auto& entry : log.entries) {
            if (!inChain && entry.sequence < next) {
                continue; // applied before, or older than the hive
            }
            if (entry.sequence != next) {
                if (entry.sequence < next) {
                    leftChain = true; // a leftover from an earlier round
                } else if (last == nullptr) {
                    stop = fmt::format("в журналах нет записи {}, с которой должно начаться "
                                       "восстановление (в {} следующая запись — {})",
                                       start, fileName(*log.log->file), entry.sequence);
                } else {
                    stop = fmt::format("в журналах нет записи {}: за записью {} в {} идёт {}", next,
                                       last->sequence, fileName(*log.log->file), entry.sequence);
                }
                break;
            }
            if (auto applied = applyEntry(image, entry, *log.log->file); !applied) {
                return tl::unexpected(applied.error());
            }
            if (!inChain &&
                (report.applied.empty() || report.applied.back() != log.log->file->path)) {
                report.applied.push_back(log.log->file->path);
            }
            inChain = true;
            last = &entry;
            next = entry.sequence + 1;
        }
        if (stop) {
            break;
        }
        if (log.damage && inChain && !leftChain) {
            stop = *log.damage; // the chain runs into a damaged entry
            break;
        }
    }

    for (const auto& log : entryLogs) {
        if (log.damage) {
            problems.push_back(*log.damage);
        }
    }
    if (last == nullptr) {
        std::vector<std::string> reasons;
        reasons.push_back(stop ? *stop
                               : fmt::format("в журналах нет записи {}, с которой должно "
                                             "начаться восстановление",
                                             start));
        reasons.insert(reasons.end(), problems.begin(), problems.end());
        return fail("куст не закрыт после записи, и журналы не могут его восстановить: " +
                    joined(reasons));
    }
    // Whatever the chain stopped at, a write it did not reach must not exist.
    for (const auto& log : entryLogs) {
        std::vector<std::uint32_t> sequences = log.beyondDamage;
        for (const auto& entry : log.entries) {
            sequences.push_back(entry.sequence);
        }
        for (const std::uint32_t sequence : sequences) {
            if (sequence >= next) {
                std::vector<std::string> reasons;
                if (stop) {
                    reasons.push_back(*stop);
                }
                for (const auto& problem : problems) {
                    if (!stop || problem != *stop) {
                        reasons.push_back(problem);
                    }
                }
                reasons.push_back(fmt::format("в {} есть более новая запись {}, до которой "
                                              "восстановление не доходит: её изменения были бы "
                                              "потеряны",
                                              fileName(*log.log->file), sequence));
                return fail("журналы куста не могут быть применены целиком: " + joined(reasons));
            }
        }
    }

    Outcome outcome{primary.checksumValid ? primaryHeader(image) : first.header, 0, last->binsSize,
                    last->flags};
    // Entry N holds the write that leaves the primary with sequence numbers
    // N + 1; that is what Windows 10 wrote for the recovered test hive.
    outcome.sequence = last->sequence + 1;
    if (primary.checksumValid) {
        outcome.sequence = std::max(outcome.sequence, primary.primarySequence);
    }
    finishBaseBlock(image, outcome);
    report.sequence = outcome.sequence;
    return report;
}

// ---- Finding the logs ------------------------------------------------------

bool namesMatch(std::string_view a, std::string_view b) {
    if (a == b) {
        return true;
    }
    const auto wa = fromUtf8(a);
    const auto wb = fromUtf8(b);
    return wa && wb && namesEqual(*wa, *wb);
}

Result<std::vector<std::uint8_t>> readWhole(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    if (!in) {
        return fail(fmt::format("не удалось открыть журнал {}", file.string()));
    }
    in.seekg(0, std::ios::end);
    const std::streamoff length = in.tellg();
    // A log is never larger than the hive it belongs to, which stays below 2 GiB.
    constexpr std::streamoff kMaxLog = std::streamoff{1} << 32;
    if (length < 0 || length > kMaxLog) {
        return fail(fmt::format("журнал {} слишком велик", file.string()));
    }
    std::vector<std::uint8_t> bytes(static_cast<std::size_t>(length));
    in.seekg(0, std::ios::beg);
    if (!bytes.empty() &&
        !in.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(length))) {
        return fail(fmt::format("не удалось прочитать журнал {}", file.string()));
    }
    return bytes;
}

} // namespace

Result<std::vector<LogFile>> readLogFiles(const std::filesystem::path& primary) {
    const std::filesystem::path folder =
        primary.has_parent_path() ? primary.parent_path() : std::filesystem::path(".");
    const std::string base = primary.filename().string();
    std::error_code ec;
    std::vector<std::filesystem::path> names;
    for (std::filesystem::directory_iterator it(folder, ec), end; !ec && it != end;
         it.increment(ec)) {
        names.push_back(it->path());
    }
    if (ec) {
        return fail(
            fmt::format("не удалось прочитать папку {}: {}", folder.string(), ec.message()));
    }
    std::sort(names.begin(), names.end());

    std::vector<LogFile> logs;
    for (const char* suffix : {".LOG", ".LOG1", ".LOG2"}) {
        // The exact spelling first; else the first name equal without case.
        const std::string wanted = base + suffix;
        std::optional<std::filesystem::path> found;
        for (const auto& name : names) {
            const std::string candidate = name.filename().string();
            if (candidate == wanted) {
                found = name;
                break;
            }
            if (!found && namesMatch(candidate, wanted)) {
                found = name;
            }
        }
        // A link in a log's place is not read through: it may lead anywhere.
        if (!found ||
            !std::filesystem::is_regular_file(std::filesystem::symlink_status(*found, ec))) {
            continue;
        }
        auto bytes = readWhole(*found);
        if (!bytes) {
            return tl::unexpected(bytes.error());
        }
        logs.push_back({*found, std::move(*bytes)});
    }
    return logs;
}

Result<RecoveryReport> recoverHive(HiveImage& image, std::span<const LogFile> logs) {
    auto primary = parseBaseBlock({image.data(), image.size()});
    if (!primary) {
        return tl::unexpected(primary.error());
    }
    if (!primary->dirty()) {
        RecoveryReport clean;
        clean.sequence = primary->secondarySequence;
        return clean;
    }

    std::vector<std::string> problems;
    std::vector<ValidLog> oldLogs;
    std::vector<ValidLog> newLogs;
    for (const auto& log : logs) {
        if (log.bytes.empty()) {
            continue; // an unused log (the empty .LOG beside .LOG1 and .LOG2)
        }
        auto valid = checkLogHeader(log);
        if (!valid) {
            problems.push_back(valid.error().message);
        } else if (valid->block.fileType == kFileTypeNewLog) {
            newLogs.push_back(*valid);
        } else {
            oldLogs.push_back(*valid);
        }
    }
    // An installation writes logs of one format; new ones win over leftovers.
    if (!newLogs.empty()) {
        return recoverFromNewLogs(image, *primary, std::move(newLogs), std::move(problems));
    }
    if (!oldLogs.empty()) {
        return recoverFromOldLogs(image, *primary, oldLogs, std::move(problems));
    }
    if (problems.empty()) {
        return fail("куст не закрыт после записи (его изменения остались в журналах "
                    "транзакций), а журналов нет");
    }
    return fail("куст не закрыт после записи, а его журналы непригодны: " + joined(problems));
}

} // namespace engine::hive
