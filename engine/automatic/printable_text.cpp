#include "automatic/printable_text.h"

#include <cstdint>

#include <fmt/format.h>

namespace engine::automatic {

namespace {

bool continuation(std::string_view text, std::size_t at) {
    return at < text.size() && (static_cast<unsigned char>(text[at]) & 0xC0) == 0x80;
}

} // namespace

Utf8Char decodeUtf8At(std::string_view text, std::size_t at) {
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[at + i]); };
    const unsigned char lead = byte(0);
    if (lead < 0x80) {
        return {lead, 1, true};
    }
    std::size_t length = 0;
    char32_t code = 0;
    char32_t minimum = 0;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
        code = lead & 0x1F;
        minimum = 0x80;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        code = lead & 0x0F;
        minimum = 0x800;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        code = lead & 0x07;
        minimum = 0x10000;
    } else {
        return {};
    }
    for (std::size_t i = 1; i < length; ++i) {
        if (!continuation(text, at + i)) {
            return {};
        }
        code = (code << 6) | (byte(i) & 0x3F);
    }
    if (code < minimum || code > 0x10FFFF) {
        return {};
    }
    return {code, length, true};
}

std::string printableText(std::string_view text) {
    std::string shown;
    shown.reserve(text.size());
    for (std::size_t at = 0; at < text.size();) {
        const Utf8Char c = decodeUtf8At(text, at);
        if (!c.valid || c.code < 0x20 || c.code == 0x7F) {
            shown += fmt::format("\\x{:02x}", static_cast<unsigned char>(text[at]));
        } else if ((c.code >= 0x80 && c.code <= 0x9F) || c.code == 0x2028 || c.code == 0x2029) {
            shown += fmt::format("\\u{:04x}", static_cast<std::uint32_t>(c.code));
        } else {
            shown.append(text.substr(at, c.length));
        }
        at += c.length;
    }
    return shown;
}

} // namespace engine::automatic
