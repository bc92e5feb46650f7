#include "hive/log_writer.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <string>

#include <fmt/format.h>

#include "hive/bytes.h"
#include "hive/marvin32.h"

namespace engine::hive {

namespace {

constexpr std::size_t kSector = 512;
constexpr std::size_t kPage = 4096;
constexpr std::uint32_t kFileTypeOldLog = 1;
constexpr std::uint32_t kFileTypeOldLogVariant = 2;
constexpr std::uint32_t kFileTypeNewLog = 6;
// The seed of the Marvin32 hashes of log entries (the registry file format).
constexpr std::uint64_t kLogEntrySeed = 0x82EF4D887A4E55C5ull;
constexpr std::size_t kEntryHeader = 40;

enum Slot { kLog, kLog1, kLog2, kSlots };
constexpr std::array<const char*, kSlots> kSuffixes{".LOG", ".LOG1", ".LOG2"};

// A log's base block as far as choosing goes.
struct LogHeader {
    bool valid = false;
    std::uint32_t fileType = 0;
    std::uint32_t sequence = 0;
    std::uint64_t lastWritten = 0;
};

LogHeader readHeader(std::span<const std::uint8_t> bytes) {
    LogHeader h;
    if (bytes.size() < kSector || std::memcmp(bytes.data(), "regf", 4) != 0) {
        return h;
    }
    const std::uint8_t* p = bytes.data();
    const std::uint32_t primary = le32(p + BaseBlock::kPrimarySequence);
    const std::uint32_t secondary = le32(p + BaseBlock::kSecondarySequence);
    h.fileType = le32(p + BaseBlock::kFileType);
    h.sequence = primary;
    h.lastWritten = le64(p + BaseBlock::kLastWritten);
    h.valid = baseBlockChecksum(bytes.first(kSector)) == le32(p + BaseBlock::kChecksum) &&
              primary == secondary &&
              (h.fileType == kFileTypeOldLog || h.fileType == kFileTypeOldLogVariant ||
               h.fileType == kFileTypeNewLog);
    return h;
}

std::string upper(std::string text) {
    for (char& c : text) {
        if (c >= 'a' && c <= 'z') {
            c = static_cast<char>(c - 'a' + 'A');
        }
    }
    return text;
}

// Which of .LOG, .LOG1, .LOG2 a log file of `primary` is.
std::optional<Slot> slotOf(const std::filesystem::path& primary, const std::filesystem::path& log) {
    const std::string base = upper(primary.filename().string());
    const std::string name = upper(log.filename().string());
    if (name.size() <= base.size() || name.compare(0, base.size(), base) != 0) {
        return std::nullopt;
    }
    const std::string suffix = name.substr(base.size());
    for (int s = 0; s < kSlots; ++s) {
        if (suffix == kSuffixes[static_cast<std::size_t>(s)]) {
            return static_cast<Slot>(s);
        }
    }
    return std::nullopt;
}

bool newer(const LogHeader& a, const LogHeader& b) {
    if (a.sequence != b.sequence) {
        return a.sequence > b.sequence;
    }
    return a.lastWritten > b.lastWritten;
}

std::size_t roundUp(std::size_t n, std::size_t to) {
    return (n + to - 1) / to * to;
}

std::vector<std::uint8_t> headerSector(const LogContent& c, std::uint32_t fileType) {
    std::vector<std::uint8_t> sector(c.baseBlock.begin(), c.baseBlock.begin() + kSector);
    std::uint8_t* p = sector.data();
    put32(p + BaseBlock::kPrimarySequence, c.sequence);
    put32(p + BaseBlock::kSecondarySequence, c.sequence);
    put64(p + BaseBlock::kLastWritten, c.lastWritten);
    put32(p + BaseBlock::kFileType, fileType);
    put32(p + BaseBlock::kChecksum, baseBlockChecksum(sector));
    return sector;
}

std::span<const std::uint8_t> pageBytes(const LogContent& c, std::size_t page) {
    return c.hive.subspan(page * kPage, kPage);
}

std::vector<std::uint8_t> oldLog(const LogContent& c, std::uint32_t binsSize) {
    std::vector<std::uint8_t> out = headerSector(c, kFileTypeOldLog);
    // One bit per 512-byte page of the hive bins: eight bits, one byte, per
    // 4096-byte page.
    const std::size_t bitmapBytes = binsSize / kPage;
    const std::size_t pagesStart = kSector + roundUp(4 + bitmapBytes, kSector);
    out.resize(pagesStart + c.pages.size() * kPage, 0);
    std::memcpy(out.data() + kSector, "DIRT", 4);
    std::size_t at = pagesStart;
    for (const std::size_t page : c.pages) {
        out[kSector + 4 + (page - 1)] = 0xFF;
        const auto bytes = pageBytes(c, page);
        std::memcpy(out.data() + at, bytes.data(), bytes.size());
        at += kPage;
    }
    return out;
}

std::vector<std::uint8_t> newLog(const LogContent& c, std::uint32_t binsSize, std::uint32_t flags) {
    // Runs of consecutive pages, one page reference each.
    std::vector<std::pair<std::size_t, std::size_t>> runs; // first page, count
    for (const std::size_t page : c.pages) {
        if (!runs.empty() && runs.back().first + runs.back().second == page) {
            ++runs.back().second;
        } else {
            runs.emplace_back(page, 1);
        }
    }
    const std::size_t payload = kEntryHeader + runs.size() * 8 + c.pages.size() * kPage;
    // The entry starts at offset 512 and ends on a 4096-byte boundary.
    const std::size_t entrySize = roundUp(kSector + payload, kPage) - kSector;

    std::vector<std::uint8_t> out = headerSector(c, kFileTypeNewLog);
    out.resize(kSector + entrySize, 0);
    std::uint8_t* e = out.data() + kSector;
    std::memcpy(e, "HvLE", 4);
    put32(e + 4, static_cast<std::uint32_t>(entrySize));
    put32(e + 8, flags);
    put32(e + 12, c.sequence);
    put32(e + 16, binsSize);
    put32(e + 20, static_cast<std::uint32_t>(runs.size()));
    std::size_t ref = kEntryHeader;
    std::size_t data = kEntryHeader + runs.size() * 8;
    for (const auto& [first, count] : runs) {
        put32(e + ref, static_cast<std::uint32_t>((first - 1) * kPage));
        put32(e + ref + 4, static_cast<std::uint32_t>(count * kPage));
        ref += 8;
        const auto bytes = c.hive.subspan(first * kPage, count * kPage);
        std::memcpy(e + data, bytes.data(), bytes.size());
        data += bytes.size();
    }
    const std::span<const std::uint8_t> entry(e, entrySize);
    put64(e + 24, marvin32(entry.subspan(kEntryHeader), kLogEntrySeed));
    put64(e + 32, marvin32(entry.first(32), kLogEntrySeed));
    return out;
}

} // namespace

LogTarget chooseLog(const std::filesystem::path& primary, std::span<const LogFile> logs,
                    std::optional<WindowsGeneration> generation, const BaseBlock& header) {
    std::array<const LogFile*, kSlots> files{};
    std::array<LogHeader, kSlots> headers{};
    bool lowerCase = false;
    for (const LogFile& log : logs) {
        if (const auto slot = slotOf(primary, log.path)) {
            files[*slot] = &log;
            headers[*slot] = readHeader(log.bytes);
            const std::string name = log.path.filename().string();
            lowerCase =
                lowerCase ||
                name.substr(name.size() - std::strlen(kSuffixes[*slot])).starts_with(".log");
        }
    }

    LogTarget target;
    const LogHeader* newest = nullptr;
    for (const LogHeader& h : headers) {
        if (h.valid && (newest == nullptr || newer(h, *newest))) {
            newest = &h;
        }
    }
    if (newest != nullptr) {
        target.format = newest->fileType == kFileTypeNewLog ? LogFormat::New : LogFormat::Old;
    } else if (generation == WindowsGeneration::Win81OrLater) {
        target.format = LogFormat::New;
    } else {
        target.format = LogFormat::Old;
    }

    bool single = false;
    if (generation) {
        single = *generation == WindowsGeneration::Xp;
    } else if (files[kLog1] != nullptr || files[kLog2] != nullptr) {
        single = false;
    } else if (files[kLog] != nullptr) {
        single = true;
    } else {
        single = header.minor <= 3;
    }

    auto pathOf = [&](Slot slot) {
        if (files[slot] != nullptr) {
            return files[slot]->path;
        }
        std::string suffix = kSuffixes[slot];
        if (lowerCase) {
            for (char& ch : suffix) {
                ch = static_cast<char>(ch >= 'A' && ch <= 'Z' ? ch - 'A' + 'a' : ch);
            }
        }
        return std::filesystem::path(primary.string() + suffix);
    };

    if (single) {
        target.path = pathOf(kLog);
        return target;
    }
    Slot chosen = kLog1;
    if (headers[kLog1].valid && !headers[kLog2].valid) {
        chosen = kLog2;
    } else if (headers[kLog1].valid && newer(headers[kLog1], headers[kLog2])) {
        chosen = kLog2;
    }
    target.path = pathOf(chosen);
    const Slot other = chosen == kLog1 ? kLog2 : kLog1;
    if (files[other] == nullptr) {
        target.companion = pathOf(other);
    }
    return target;
}

std::uint32_t highestLogSequence(std::span<const LogFile> logs) {
    std::uint32_t highest = 0;
    for (const LogFile& log : logs) {
        const LogHeader h = readHeader(log.bytes);
        if (h.valid) {
            highest = std::max(highest, h.sequence);
        }
        // Every entry header anywhere in any log, past the ones recovery
        // would reach and in a log whose base block is damaged too: a log we
        // rewrite may leave them behind our entry, where a matching number
        // would make them part of the chain.
        const std::span<const std::uint8_t> bytes(log.bytes);
        for (std::size_t at = kSector; at + kEntryHeader <= bytes.size(); at += kSector) {
            const auto e = bytes.subspan(at, kEntryHeader);
            if (std::memcmp(e.data(), "HvLE", 4) == 0 &&
                le64(e.data() + 32) == marvin32(e.first(32), kLogEntrySeed)) {
                highest = std::max(highest, le32(e.data() + 12));
            }
        }
    }
    return highest;
}

std::uint64_t latestLogTime(std::span<const LogFile> logs) {
    std::uint64_t latest = 0;
    for (const LogFile& log : logs) {
        const LogHeader h = readHeader(log.bytes);
        if (h.valid) {
            latest = std::max(latest, h.lastWritten);
        }
    }
    return latest;
}

Result<std::vector<std::uint8_t>> buildLog(const LogContent& c) {
    if (c.baseBlock.size() < BaseBlock::kSize) {
        return fail("заголовок куста для журнала короче 4096 байт");
    }
    const std::uint32_t binsSize = le32(c.baseBlock.data() + BaseBlock::kBinsSize);
    const std::uint32_t flags = le32(c.baseBlock.data() + BaseBlock::kFlags);
    if (binsSize == 0 || binsSize % kPage != 0) {
        return fail(fmt::format("размер данных куста {} не кратен 4096", binsSize));
    }
    const std::size_t end = BaseBlock::kSize + std::size_t{binsSize};
    std::size_t previous = 0;
    for (const std::size_t page : c.pages) {
        if (page == 0 || page <= previous || (page + 1) * kPage > end ||
            (page + 1) * kPage > c.hive.size()) {
            return fail(fmt::format("страница 0x{:x} лежит вне данных куста или не по порядку",
                                    page * kPage));
        }
        previous = page;
    }
    return c.format == LogFormat::Old ? oldLog(c, binsSize) : newLog(c, binsSize, flags);
}

} // namespace engine::hive
