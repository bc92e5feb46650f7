#include "hive/write_back.h"

#include <algorithm>
#include <array>
#include <chrono>
#include <cstring>
#include <set>
#include <vector>

#include <fmt/format.h>

#include "hive/base_block.h"
#include "hive/bytes.h"

namespace engine::hive {

namespace {

constexpr std::size_t kPage = HiveImage::kPageSize;
constexpr std::size_t kFirstBinTimestamp = BaseBlock::kSize + 20;
// Sequence numbers are 32-bit; rather than wrap around, which Windows'
// ordering of logs would misread, a hive this close to the end is refused.
constexpr std::uint32_t kLastUsableSequence = 0xFFFFFFF0u;

using Header = std::array<std::uint8_t, BaseBlock::kSize>;

std::uint64_t systemFiletime() {
    // FILETIME counts 100 ns from 1601-01-01, 11644473600 s before the Unix epoch.
    const auto since1970 = std::chrono::duration_cast<std::chrono::nanoseconds>(
        std::chrono::system_clock::now().time_since_epoch());
    return static_cast<std::uint64_t>(since1970.count() / 100) + 116444736000000000ull;
}

Error inFile(Error error, const std::filesystem::path& file) {
    if (error.file.empty()) {
        error.file = file.string();
    }
    return error;
}

tl::unexpected<Error> refuse(std::string message, const std::filesystem::path& file) {
    return tl::unexpected(Error{std::move(message), file.string(), {}, false});
}

Header copyHeader(const std::uint8_t* bytes) {
    Header h{};
    std::memcpy(h.data(), bytes, h.size());
    return h;
}

void putSequences(Header& h, std::uint32_t primary, std::uint32_t secondary,
                  std::uint64_t lastWritten) {
    put32(h.data() + BaseBlock::kPrimarySequence, primary);
    put32(h.data() + BaseBlock::kSecondarySequence, secondary);
    put64(h.data() + BaseBlock::kLastWritten, lastWritten);
    put32(h.data() + BaseBlock::kFileType, BaseBlock::kFileTypePrimary);
    put32(h.data() + BaseBlock::kChecksum, baseBlockChecksum(h));
}

// The primary file, open, with its base block as it is on disk.
struct OpenPrimary {
    std::unique_ptr<OpenFile> file;
    Header header{};
    BaseBlock base;
    std::uint64_t size = 0;
};

Result<OpenPrimary> openAndCheck(FileIo& io, const std::filesystem::path& primary) {
    auto facts = io.facts(primary);
    if (!facts) {
        return tl::unexpected(inFile(facts.error(), primary));
    }
    if (facts->readOnlyVolume) {
        return refuse("том смонтирован только для чтения", primary);
    }
    if (facts->attributes) {
        const std::uint32_t a = *facts->attributes;
        if ((a & kAttributeCompressed) != 0) {
            return refuse("файл куста сжат средствами NTFS", primary);
        }
        if ((a & kAttributeSparse) != 0) {
            return refuse("файл куста разрежённый (sparse)", primary);
        }
        if ((a & kAttributeEncrypted) != 0) {
            return refuse("файл куста зашифрован (EFS)", primary);
        }
    }
    // Without the attributes, fewer allocated bytes than the file holds give a
    // sparse or compressed file away on NTFS. Elsewhere (a copy on ext4, say)
    // holes are harmless: a write into one allocates, or fails and says so.
    if (!facts->attributes && facts->ntfsVolume && facts->allocated < facts->size) {
        return refuse(fmt::format("файлу куста выделено на диске меньше места ({} байт), чем "
                                  "его размер ({} байт): он разрежённый или сжатый",
                                  facts->allocated, facts->size),
                      primary);
    }

    auto opened = io.open(primary, false);
    if (!opened) {
        return tl::unexpected(inFile(opened.error(), primary));
    }
    OpenPrimary p;
    p.file = std::move(opened->file);
    auto size = p.file->size();
    if (!size) {
        return tl::unexpected(inFile(size.error(), primary));
    }
    p.size = *size;
    auto got = p.file->read(0, p.header);
    if (!got) {
        return tl::unexpected(inFile(got.error(), primary));
    }
    auto base = parseBaseBlock(std::span<const std::uint8_t>(p.header.data(), *got));
    if (!base) {
        return tl::unexpected(inFile(base.error(), primary));
    }
    if (base->fileType != BaseBlock::kFileTypePrimary) {
        return refuse(fmt::format("не основной файл куста (тип файла {})", base->fileType),
                      primary);
    }
    if ((base->flags & BaseBlock::kFlagPendingTransactions) != 0) {
        return refuse("в кусте есть незавершённые транзакции (флаг в заголовке)", primary);
    }
    p.base = *base;
    return p;
}

// What the image must be for its pages to be written: a primary hive whose
// base block counts every changed page.
Result<BaseBlock> checkImage(const HiveImage& image, const std::filesystem::path& primary) {
    if (image.size() < BaseBlock::kSize + kPage) {
        return refuse("образ куста короче заголовка и одного блока", primary);
    }
    auto base = parseBaseBlock(std::span<const std::uint8_t>(image.data(), image.size()));
    if (!base) {
        return tl::unexpected(inFile(base.error(), primary));
    }
    if (base->fileType != BaseBlock::kFileTypePrimary) {
        return refuse(fmt::format("образ куста не основной файл (тип {})", base->fileType),
                      primary);
    }
    if ((base->flags & BaseBlock::kFlagPendingTransactions) != 0) {
        return refuse("в кусте есть незавершённые транзакции (флаг в заголовке)", primary);
    }
    if (base->clustering != 1) {
        return refuse(
            fmt::format("множитель кластера {} в заголовке не поддерживается", base->clustering),
            primary);
    }
    if (base->binsSize < kPage || base->binsSize % kPage != 0 ||
        BaseBlock::kSize + std::size_t{base->binsSize} > image.size()) {
        return refuse(fmt::format("размер данных куста {} в заголовке не сходится с образом "
                                  "({} байт)",
                                  base->binsSize, image.size()),
                      primary);
    }
    if (std::memcmp(image.data() + BaseBlock::kSize, "hbin", 4) != 0) {
        return refuse("нет первого блока \"hbin\" после заголовка", primary);
    }
    const std::size_t endPage = (BaseBlock::kSize + std::size_t{base->binsSize}) / kPage;
    if (!image.dirtyPages().empty() && *image.dirtyPages().rbegin() >= endPage) {
        return refuse(fmt::format("изменённая страница 0x{:x} лежит за концом данных куста, "
                                  "которые считает заголовок",
                                  *image.dirtyPages().rbegin() * kPage),
                      primary);
    }
    return *base;
}

// Pages of the file from the one holding byte `from` up to `end`: where the
// file grows, every byte is written, so the file never has a hole.
void addGrowth(std::set<std::size_t>& pages, std::uint64_t from, std::size_t end) {
    for (std::size_t page = static_cast<std::size_t>(from / kPage); page * kPage < end; ++page) {
        if (page > 0) {
            pages.insert(page);
        }
    }
}

// Writes the pages (runs of consecutive ones in one write each) from `bytes`.
Result<std::uint64_t> writePages(OpenFile& file, const std::uint8_t* bytes,
                                 const std::vector<std::size_t>& pages,
                                 const std::filesystem::path& path) {
    std::uint64_t written = 0;
    for (std::size_t i = 0; i < pages.size();) {
        std::size_t j = i + 1;
        while (j < pages.size() && pages[j] == pages[j - 1] + 1) {
            ++j;
        }
        const std::size_t offset = pages[i] * kPage;
        const std::size_t length = (j - i) * kPage;
        if (auto ok = writeExactly(file, offset, {bytes + offset, length}); !ok) {
            return tl::unexpected(inFile(ok.error(), path));
        }
        written += length;
        i = j;
    }
    return written;
}

Result<void> writeAndSync(OpenFile& file, std::uint64_t offset, std::span<const std::uint8_t> bytes,
                          const std::filesystem::path& path) {
    if (auto ok = writeExactly(file, offset, bytes); !ok) {
        return tl::unexpected(inFile(ok.error(), path));
    }
    if (auto ok = file.sync(); !ok) {
        return tl::unexpected(inFile(ok.error(), path));
    }
    return {};
}

Result<void> syncFile(OpenFile& file, const std::filesystem::path& path) {
    if (auto ok = file.sync(); !ok) {
        return tl::unexpected(inFile(ok.error(), path));
    }
    return {};
}

// Step 0: the file on disk is dirty. Its logs' content is written into it,
// each page one that recovery from those logs (still as they were) writes
// again, so a stop half-way recovers to the same content; then it is marked
// clean. The image must already hold that content.
Result<std::uint64_t> settleDirtyFile(OpenPrimary& p, const std::filesystem::path& primary,
                                      std::span<const LogFile> logs, const HiveImage& image) {
    auto recovered = HiveImage::mapFile(primary);
    if (!recovered) {
        return tl::unexpected(inFile(recovered.error(), primary));
    }
    if (auto report = recoverHive(*recovered, logs); !report) {
        return refuse("файл куста на диске требует восстановления, но его журналы не "
                      "применяются: " +
                          report.error().message,
                      primary);
    }
    std::set<std::size_t> pages;
    for (const std::size_t page : recovered->dirtyPages()) {
        if (page == 0) {
            continue;
        }
        if (!image.dirtyPages().contains(page)) {
            return refuse(fmt::format("файл куста на диске требует восстановления, а образ "
                                      "куста не восстановлен из журналов (страница 0x{:x})",
                                      page * kPage),
                          primary);
        }
        pages.insert(page);
    }
    addGrowth(pages, p.size, recovered->size());
    const std::vector<std::size_t> list(pages.begin(), pages.end());
    auto written = writePages(*p.file, recovered->data(), list, primary);
    if (!written) {
        return tl::unexpected(written.error());
    }
    if (auto ok = syncFile(*p.file, primary); !ok) {
        return tl::unexpected(ok.error());
    }
    const Header clean = copyHeader(recovered->data());
    if (auto ok = writeAndSync(*p.file, 0, clean, primary); !ok) {
        return tl::unexpected(ok.error());
    }
    p.header = clean;
    auto base = parseBaseBlock(clean);
    if (!base || base->dirty()) {
        return refuse("восстановление оставило грязный заголовок куста", primary);
    }
    p.base = *base;
    p.size = std::max<std::uint64_t>(p.size, recovered->size());
    return *written + BaseBlock::kSize;
}

} // namespace

Result<void> checkWriteBack(FileIo& io, const std::filesystem::path& primary) {
    auto p = openAndCheck(io, primary);
    if (!p) {
        return tl::unexpected(p.error());
    }
    return {};
}

Result<WriteBackReport> writeBack(FileIo& io, const std::filesystem::path& primary,
                                  HiveImage& image, const WriteBackOptions& options) {
    WriteBackReport report;
    if (image.dirtyPages().empty()) {
        return report;
    }
    auto imageBase = checkImage(image, primary);
    if (!imageBase) {
        return tl::unexpected(imageBase.error());
    }
    // Copied before the file changes: pages the image never wrote to still
    // show the file's bytes.
    const Header imageHeader = copyHeader(image.data());
    auto opened = openAndCheck(io, primary);
    if (!opened) {
        return tl::unexpected(opened.error());
    }
    OpenPrimary& p = *opened;
    auto logs = readLogFiles(primary);
    if (!logs) {
        return tl::unexpected(inFile(logs.error(), primary));
    }

    std::uint32_t highest =
        std::max({p.base.primarySequence, p.base.secondarySequence, imageBase->primarySequence,
                  imageBase->secondarySequence, highestLogSequence(*logs)});
    if (highest >= kLastUsableSequence) {
        return refuse(fmt::format("номера последовательности куста исчерпаны ({})", highest),
                      primary);
    }

    if (p.base.dirty()) {
        auto settled = settleDirtyFile(p, primary, *logs, image);
        if (!settled) {
            return tl::unexpected(settled.error());
        }
        report.primaryBytes += *settled;
        report.settledDirtyFile = true;
        // Recovery numbers the hive at most one above its last log entry.
        highest = std::max({highest, p.base.primarySequence, p.base.secondarySequence});
    }
    const std::uint32_t sequence = highest + 1;
    const std::uint64_t now = options.clock ? options.clock() : systemFiletime();
    const std::uint64_t logTime = std::max(
        {now, p.base.lastWritten + 1, imageBase->lastWritten + 1, latestLogTime(*logs) + 1});
    const std::uint64_t finalTime = logTime + 1;

    // The first hive bin keeps a copy of the last-written time.
    put64(image.writable(kFirstBinTimestamp, 8), finalTime);
    const std::size_t end = BaseBlock::kSize + std::size_t{imageBase->binsSize};
    std::set<std::size_t> pageSet(image.dirtyPages().begin(), image.dirtyPages().end());
    pageSet.erase(0);
    addGrowth(pageSet, p.size, end);
    const std::vector<std::size_t> pages(pageSet.begin(), pageSet.end());

    // 1. The log.
    const LogTarget target = chooseLog(primary, *logs, options.windows, *imageBase);
    auto logBytes = buildLog(
        LogContent{target.format, imageHeader, sequence, logTime, {image.data(), end}, pages});
    if (!logBytes) {
        return tl::unexpected(inFile(logBytes.error(), target.path));
    }
    auto log = io.open(target.path, true);
    if (!log) {
        return tl::unexpected(inFile(log.error(), target.path));
    }
    bool created = log->created;
    if (target.companion) {
        auto companion = io.open(*target.companion, true);
        if (!companion) {
            return tl::unexpected(inFile(companion.error(), *target.companion));
        }
        created = created || companion->created;
    }
    if (auto ok = writeAndSync(*log->file, 0, *logBytes, target.path); !ok) {
        return tl::unexpected(ok.error());
    }
    report.logBytes = logBytes->size();
    if (created) {
        const auto folder = target.path.parent_path().empty() ? std::filesystem::path(".")
                                                              : target.path.parent_path();
        if (auto ok = io.syncFolder(folder); !ok) {
            return tl::unexpected(inFile(ok.error(), folder));
        }
    }

    // 2. The primary marked dirty, with our log's sequence number and time.
    Header dirty = p.header;
    putSequences(dirty, sequence + 1, sequence, logTime);
    if (auto ok = writeAndSync(*p.file, 0, dirty, primary); !ok) {
        return tl::unexpected(ok.error());
    }
    report.primaryBytes += dirty.size();

    // 3. The pages.
    auto written = writePages(*p.file, image.data(), pages, primary);
    if (!written) {
        return tl::unexpected(written.error());
    }
    if (auto ok = syncFile(*p.file, primary); !ok) {
        return tl::unexpected(ok.error());
    }
    report.primaryBytes += *written;

    // 4. The clean base block.
    Header clean = imageHeader;
    putSequences(clean, sequence + 1, sequence + 1, finalTime);
    if (auto ok = writeAndSync(*p.file, 0, clean, primary); !ok) {
        return tl::unexpected(ok.error());
    }
    report.primaryBytes += clean.size();

    std::memcpy(image.writable(0, clean.size()), clean.data(), clean.size());
    image.clearDirtyPages();
    report.written = true;
    report.log = target.path;
    report.format = target.format;
    report.sequence = sequence + 1;
    return report;
}

} // namespace engine::hive
