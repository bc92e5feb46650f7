#include "hive/value_text.h"

#include <charconv>

#include <fmt/format.h>

#include "hive/bytes.h"
#include "hive/hive.h"
#include "hive/names.h"

namespace engine::hive {

namespace {

std::u16string unitsOf(std::span<const std::uint8_t> data) {
    std::u16string units;
    units.reserve(data.size() / 2);
    for (std::size_t i = 0; i + 1 < data.size(); i += 2) {
        units.push_back(static_cast<char16_t>(le16(data.data() + i)));
    }
    return units;
}

std::string hexForm(std::span<const std::uint8_t> data) {
    std::string out = "hex:";
    out.reserve(4 + data.size() * 3);
    for (std::size_t i = 0; i < data.size(); ++i) {
        if (i > 0) {
            out.push_back(',');
        }
        out += fmt::format("{:02x}", data[i]);
    }
    return out;
}

bool isHighSurrogate(char16_t u) {
    return u >= 0xD800 && u <= 0xDBFF;
}
bool isLowSurrogate(char16_t u) {
    return u >= 0xDC00 && u <= 0xDFFF;
}

} // namespace

std::string quoteText(std::u16string_view text) {
    std::string out = "\"";
    std::size_t runStart = 0;
    auto flush = [&](std::size_t end) { out += toUtf8(text.substr(runStart, end - runStart)); };
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char16_t u = text[i];
        std::string escape;
        if (u == u'\\') {
            escape = "\\\\";
        } else if (u == u'"') {
            escape = "\\\"";
        } else if (u == u'\n') {
            escape = "\\n";
        } else if (u == u'\r') {
            escape = "\\r";
        } else if (u == u'\t') {
            escape = "\\t";
        } else if (u < 0x20 || u == 0x7F) {
            escape = fmt::format("\\x{:02x}", static_cast<unsigned>(u));
        } else if (isHighSurrogate(u) && i + 1 < text.size() && isLowSurrogate(text[i + 1])) {
            ++i;
            continue;
        } else if (isHighSurrogate(u) || isLowSurrogate(u)) {
            escape = fmt::format("\\u{:04x}", static_cast<unsigned>(u));
        } else {
            continue;
        }
        flush(i);
        out += escape;
        runStart = i + 1;
    }
    flush(text.size());
    out.push_back('"');
    return out;
}

std::string formatValueData(std::uint32_t type, std::span<const std::uint8_t> data) {
    switch (type) {
    case kRegSz:
    case kRegExpandSz: {
        if (data.size() >= 2 && data.size() % 2 == 0) {
            const std::u16string units = unitsOf(data);
            if (units.back() == 0 && units.find(u'\0') == units.size() - 1) {
                return quoteText(std::u16string_view(units).substr(0, units.size() - 1));
            }
        }
        break;
    }
    case kRegMultiSz: {
        if (data.size() >= 2 && data.size() % 2 == 0) {
            const std::u16string units = unitsOf(data);
            if (units.size() == 1 && units[0] == 0) {
                return "[]";
            }
            // Non-empty items, each ending in NUL, then one more NUL.
            if (units.size() >= 3 && units[units.size() - 1] == 0 && units[units.size() - 2] == 0) {
                std::string out = "[";
                std::size_t start = 0;
                bool ok = true;
                while (start < units.size() - 1) {
                    const std::size_t end = units.find(u'\0', start);
                    if (end == start) {
                        ok = false;
                        break;
                    }
                    if (start > 0) {
                        out += ", ";
                    }
                    out += quoteText(std::u16string_view(units).substr(start, end - start));
                    start = end + 1;
                }
                if (ok) {
                    return out + "]";
                }
            }
        }
        break;
    }
    case kRegDword:
        if (data.size() == 4) {
            return fmt::format("0x{:08x}", le32(data.data()));
        }
        break;
    case kRegQword:
        if (data.size() == 8) {
            return fmt::format("0x{:016x}", le64(data.data()));
        }
        break;
    default:
        break;
    }
    return hexForm(data);
}

std::vector<std::uint8_t> encodeStringData(std::u16string_view text) {
    std::vector<std::uint8_t> out;
    out.reserve(text.size() * 2 + 2);
    for (char16_t u : text) {
        out.push_back(static_cast<std::uint8_t>(u & 0xFF));
        out.push_back(static_cast<std::uint8_t>(u >> 8));
    }
    out.push_back(0);
    out.push_back(0);
    return out;
}

namespace {

Result<std::vector<std::uint8_t>> parseHex(std::string_view text) {
    std::vector<std::uint8_t> out;
    std::size_t pos = 0;
    while (pos < text.size()) {
        std::size_t end = text.find(',', pos);
        if (end == std::string_view::npos) {
            end = text.size();
        }
        std::string_view byte = text.substr(pos, end - pos);
        while (!byte.empty() && byte.front() == ' ') {
            byte.remove_prefix(1);
        }
        while (!byte.empty() && byte.back() == ' ') {
            byte.remove_suffix(1);
        }
        unsigned value = 0;
        const auto [ptr, ec] = std::from_chars(byte.data(), byte.data() + byte.size(), value, 16);
        if (byte.empty() || byte.size() > 2 || ec != std::errc{} ||
            ptr != byte.data() + byte.size()) {
            return fail("данные hex: пишутся байтами, например 01,ab,ff");
        }
        out.push_back(static_cast<std::uint8_t>(value));
        pos = end + 1;
    }
    return out;
}

template <class T>
Result<T> parseNumber(std::string_view text) {
    int base = 10;
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        text.remove_prefix(2);
        base = 16;
    }
    T value = 0;
    const auto [ptr, ec] = std::from_chars(text.data(), text.data() + text.size(), value, base);
    if (text.empty() || ec != std::errc{} || ptr != text.data() + text.size()) {
        return fail("не число в пределах типа: " + std::string(text));
    }
    return value;
}

} // namespace

Result<std::vector<std::uint8_t>> parseValueData(std::uint32_t type, std::string_view text) {
    if (text.substr(0, 4) == "hex:") {
        return parseHex(text.substr(4));
    }
    switch (type) {
    case kRegSz:
    case kRegExpandSz: {
        auto units = fromUtf8(text);
        if (!units) {
            return fail("текст не в кодировке UTF-8");
        }
        return encodeStringData(*units);
    }
    case kRegMultiSz: {
        auto units = fromUtf8(text);
        if (!units) {
            return fail("текст не в кодировке UTF-8");
        }
        std::vector<std::uint8_t> out;
        std::size_t start = 0;
        while (start < units->size()) {
            std::size_t end = units->find(u'\n', start);
            if (end == std::u16string::npos) {
                end = units->size();
            }
            if (end > start) {
                auto item =
                    encodeStringData(std::u16string_view(*units).substr(start, end - start));
                out.insert(out.end(), item.begin(), item.end());
            }
            start = end + 1;
        }
        out.push_back(0);
        out.push_back(0);
        return out;
    }
    case kRegDword: {
        auto n = parseNumber<std::uint32_t>(text);
        if (!n) {
            return tl::unexpected(n.error());
        }
        std::vector<std::uint8_t> out(4);
        put32(out.data(), *n);
        return out;
    }
    case kRegQword: {
        auto n = parseNumber<std::uint64_t>(text);
        if (!n) {
            return tl::unexpected(n.error());
        }
        std::vector<std::uint8_t> out(8);
        put64(out.data(), *n);
        return out;
    }
    default:
        return fail("данные типа " + typeName(type) + " задаются как hex:01,02,...");
    }
}

} // namespace engine::hive
