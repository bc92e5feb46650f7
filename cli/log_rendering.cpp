#include "cli/log_rendering.h"

#include <cstdint>

#include <fmt/format.h>

namespace cli {

using engine::automatic::LogColor;
using engine::automatic::LogLine;

namespace {

// One character of UTF-8 text: its code point and length in bytes; length 1
// and `valid` false for a byte that starts no well-formed character. The
// three-byte form of a surrogate (U+D800 to U+DFFF) is taken as a character.
struct Utf8Char {
    char32_t code = 0;
    std::size_t length = 1;
    bool valid = false;
};

bool continuation(std::string_view text, std::size_t at) {
    return at < text.size() && (static_cast<unsigned char>(text[at]) & 0xC0) == 0x80;
}

Utf8Char decodeAt(std::string_view text, std::size_t at) {
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

const char* ansiColour(LogColor color) {
    switch (color) {
    case LogColor::Blue:
        return "\x1b[34m";
    case LogColor::Green:
        return "\x1b[32m";
    case LogColor::Red:
        return "\x1b[31m";
    case LogColor::Black:
        break;
    }
    return nullptr;
}

} // namespace

std::string terminalLine(const LogLine& line, bool colour) {
    std::string shown;
    shown.reserve(line.text.size());
    const std::string_view text = line.text;
    for (std::size_t at = 0; at < text.size();) {
        const Utf8Char c = decodeAt(text, at);
        if (!c.valid || c.code < 0x20 || c.code == 0x7F) {
            shown += fmt::format("\\x{:02x}", static_cast<unsigned char>(text[at]));
        } else if (c.code >= 0x80 && c.code <= 0x9F) {
            shown += fmt::format("\\u{:04x}", static_cast<std::uint32_t>(c.code));
        } else {
            shown.append(text.substr(at, c.length));
        }
        at += c.length;
    }
    const char* start = colour ? ansiColour(line.color) : nullptr;
    if (start == nullptr || shown.empty()) {
        return shown;
    }
    return start + shown + "\x1b[0m";
}

std::string jsonString(std::string_view text) {
    std::string json = "\"";
    json.reserve(text.size() + 2);
    for (std::size_t at = 0; at < text.size();) {
        const Utf8Char c = decodeAt(text, at);
        if (!c.valid) {
            json += "\\ufffd";
        } else if (c.code == '"') {
            json += "\\\"";
        } else if (c.code == '\\') {
            json += "\\\\";
        } else if (c.code == '\b') {
            json += "\\b";
        } else if (c.code == '\f') {
            json += "\\f";
        } else if (c.code == '\n') {
            json += "\\n";
        } else if (c.code == '\r') {
            json += "\\r";
        } else if (c.code == '\t') {
            json += "\\t";
        } else if (c.code < 0x20 || (c.code >= 0xD800 && c.code <= 0xDFFF)) {
            json += fmt::format("\\u{:04x}", static_cast<std::uint32_t>(c.code));
        } else {
            json.append(text.substr(at, c.length));
        }
        at += c.length;
    }
    json += '"';
    return json;
}

std::string jsonLine(const LogLine& line) {
    return fmt::format(R"({{"color":"{}","text":{}}})", engine::automatic::colorName(line.color),
                       jsonString(line.text));
}

} // namespace cli
