#include "cli/log_rendering.h"

#include "automatic/printable_text.h"

#include <cstdint>

#include <fmt/format.h>

namespace cli {

using engine::automatic::LogColor;
using engine::automatic::LogLine;

namespace {

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
    const std::string shown = engine::automatic::printableText(line.text);
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
        const engine::automatic::Utf8Char c = engine::automatic::decodeUtf8At(text, at);
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
