#include "hive/names.h"

#include <algorithm>
#include <array>

namespace engine::hive {

namespace {

struct CaseRun {
    std::uint16_t first;
    std::uint16_t last;
    std::uint16_t stride;
    std::uint16_t delta;
};

constexpr CaseRun kCaseRuns[] = {
#include "hive/upcase_table.inc"
};

// The whole table, built once at compile time from the runs.
constexpr std::array<char16_t, 0x10000> buildUpcaseTable() {
    std::array<char16_t, 0x10000> table{};
    for (std::size_t i = 0; i < table.size(); ++i) {
        table[i] = static_cast<char16_t>(i);
    }
    for (const CaseRun& run : kCaseRuns) {
        for (std::uint32_t unit = run.first; unit <= run.last; unit += run.stride) {
            table[unit] = static_cast<char16_t>((unit + run.delta) & 0xFFFF);
        }
    }
    return table;
}

constexpr auto kUpcase = buildUpcaseTable();

} // namespace

char16_t upcase(char16_t unit) {
    return kUpcase[unit];
}

int compareNames(std::u16string_view a, std::u16string_view b) {
    const std::size_t n = std::min(a.size(), b.size());
    for (std::size_t i = 0; i < n; ++i) {
        const int d = static_cast<int>(upcase(a[i])) - static_cast<int>(upcase(b[i]));
        if (d != 0) {
            return d;
        }
    }
    if (a.size() == b.size()) {
        return 0;
    }
    return a.size() < b.size() ? -1 : 1;
}

bool namesEqual(std::u16string_view a, std::u16string_view b) {
    return a.size() == b.size() && compareNames(a, b) == 0;
}

std::uint32_t nameHash(std::u16string_view name) {
    std::uint32_t h = 0;
    for (char16_t unit : name) {
        h = h * 37u + upcase(unit);
    }
    return h;
}

std::uint32_t nameHint(std::u16string_view name) {
    std::uint32_t hint = 0;
    for (std::size_t i = 0; i < 4 && i < name.size(); ++i) {
        if (name[i] > 0xFF) {
            return 0;
        }
        hint |= static_cast<std::uint32_t>(name[i]) << (8 * i);
    }
    return hint;
}

std::u16string decodeStoredName(std::span<const std::uint8_t> bytes, bool compressed) {
    std::u16string name;
    if (compressed) {
        name.reserve(bytes.size());
        for (std::uint8_t b : bytes) {
            name.push_back(static_cast<char16_t>(b));
        }
        return name;
    }
    name.reserve(bytes.size() / 2);
    for (std::size_t i = 0; i + 1 < bytes.size(); i += 2) {
        name.push_back(static_cast<char16_t>(bytes[i] | (bytes[i + 1] << 8)));
    }
    return name;
}

bool fitsCompressed(std::u16string_view name) {
    return std::all_of(name.begin(), name.end(), [](char16_t u) { return u <= 0xFF; });
}

std::optional<std::u16string> fromUtf8(std::string_view text) {
    std::u16string out;
    out.reserve(text.size());
    std::size_t i = 0;
    while (i < text.size()) {
        const auto b0 = static_cast<std::uint8_t>(text[i]);
        std::uint32_t cp = 0;
        std::size_t len = 0;
        if (b0 < 0x80) {
            cp = b0;
            len = 1;
        } else if ((b0 & 0xE0) == 0xC0) {
            cp = b0 & 0x1F;
            len = 2;
        } else if ((b0 & 0xF0) == 0xE0) {
            cp = b0 & 0x0F;
            len = 3;
        } else if ((b0 & 0xF8) == 0xF0) {
            cp = b0 & 0x07;
            len = 4;
        } else {
            return std::nullopt;
        }
        if (i + len > text.size()) {
            return std::nullopt;
        }
        for (std::size_t k = 1; k < len; ++k) {
            const auto b = static_cast<std::uint8_t>(text[i + k]);
            if ((b & 0xC0) != 0x80) {
                return std::nullopt;
            }
            cp = (cp << 6) | (b & 0x3F);
        }
        static constexpr std::uint32_t kMinForLength[] = {0, 0, 0x80, 0x800, 0x10000};
        if (cp < kMinForLength[len] || cp > 0x10FFFF) {
            return std::nullopt;
        }
        if (cp >= 0x10000) {
            cp -= 0x10000;
            out.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
            out.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
        } else {
            // Surrogate code points are accepted: they are how an unpaired
            // surrogate in a stored name comes back from toUtf8.
            out.push_back(static_cast<char16_t>(cp));
        }
        i += len;
    }
    return out;
}

std::string toUtf8(std::u16string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        std::uint32_t cp = text[i];
        if (cp >= 0xD800 && cp <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
            text[i + 1] <= 0xDFFF) {
            cp = 0x10000 + ((cp - 0xD800) << 10) + (text[i + 1] - 0xDC00);
            ++i;
        }
        if (cp < 0x80) {
            out.push_back(static_cast<char>(cp));
        } else if (cp < 0x800) {
            out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
            out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
        } else if (cp < 0x10000) {
            out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
            out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
        } else {
            out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
            out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
        }
    }
    return out;
}

} // namespace engine::hive
