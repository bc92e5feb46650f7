#include "support/independent_readers.h"

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <fstream>
#include <iterator>
#include <optional>
#include <span>
#include <unordered_set>

#include "hive/dump.h"
#include "hive/hive.h"
#include "hive/names.h"
#include "support/test_files.h"

namespace test {

namespace {

using engine::hive::Hive;
using engine::hive::KeyNode;
using engine::hive::KeyRef;
using engine::hive::Result;
using engine::hive::ValueNode;

// A reader that takes longer than this on a test hive is hanging.
constexpr const char* kTimeLimit = "timeout 120 ";
constexpr int kTimedOut = 124;      // timeout(1)
constexpr int kNotRunnable = 127;   // the shell found no such program
constexpr int kHivexUnreadable = 3; // tests/tools/hivex_dump.py

// `digits` hexadecimal digits of a number.
std::string hexNumber(std::uint64_t value, int digits, bool upper) {
    std::string out;
    for (int i = digits - 1; i >= 0; --i) {
        const auto nibble = static_cast<unsigned>((value >> (4 * i)) & 0xF);
        out.push_back((upper ? "0123456789ABCDEF" : "0123456789abcdef")[nibble]);
    }
    return out;
}

std::string hexBytes(std::span<const std::uint8_t> bytes) {
    std::string out;
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        out += (i > 0 ? "," : "") + hexNumber(bytes[i], 2, false);
    }
    return out;
}

// Control characters written as \xHH, so that every item stays on one line.
std::string oneLine(std::string_view text) {
    std::string out;
    for (char c : text) {
        const auto b = static_cast<unsigned char>(c);
        if (b < 0x20 || b == 0x7F) {
            out += "\\x" + hexNumber(b, 2, false);
        } else {
            out.push_back(c);
        }
    }
    return out;
}

std::u16string unitsOf(std::span<const std::uint8_t> data) {
    std::u16string units;
    for (std::size_t i = 0; i + 1 < data.size(); i += 2) {
        units.push_back(static_cast<char16_t>(data[i] | (data[i + 1] << 8)));
    }
    return units;
}

std::uint32_t le32(std::span<const std::uint8_t> d) {
    return static_cast<std::uint32_t>(d[0]) | (static_cast<std::uint32_t>(d[1]) << 8) |
           (static_cast<std::uint32_t>(d[2]) << 16) | (static_cast<std::uint32_t>(d[3]) << 24);
}

std::uint64_t le64(std::span<const std::uint8_t> d) {
    return static_cast<std::uint64_t>(le32(d)) |
           (static_cast<std::uint64_t>(le32(d.subspan(4))) << 32);
}

std::string readText(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

bool startsWith(std::string_view text, std::string_view prefix) {
    return text.substr(0, prefix.size()) == prefix;
}

// ---- Running a reader ------------------------------------------------------

struct ReaderRun {
    int status = -1;
    std::string out; // standard output
    std::string err; // standard error
};

// Runs a reader with its standard output in a file of its own, so that what
// it says on standard error stays apart from its listing.
ReaderRun runReader(const std::string& program, const std::filesystem::path& hive) {
    TempDir dir;
    const auto out = dir / "stdout";
    const CommandResult r =
        runCommand("{ " + std::string(kTimeLimit) + program + " " + shellQuote(hive.string()) +
                   " >" + shellQuote(out.string()) + "; }");
    return {r.status, readText(out), r.output};
}

ReaderFailure broken(std::string message) {
    return {ReaderFailure::Kind::Broken, std::move(message)};
}

// A run that did not end with status 0: a refusal, or a reader that could
// not be run at all.
ReaderFailure failureOf(const std::string& reader, const ReaderRun& run) {
    const std::string said = reader + " (" + std::to_string(run.status) + "): " + run.err;
    if (run.status == kTimedOut) {
        return broken(reader + " did not finish in time");
    }
    if (run.status == kNotRunnable || run.status < 0) {
        return broken(said);
    }
    return {ReaderFailure::Kind::Refused, said};
}

// ---- The engine's side ------------------------------------------------------

// How one reader spells keys and values.
struct Spelling {
    std::string (*path)(const std::string& parentPath, const KeyNode& key, bool isRoot);
    void (*key)(const std::string& path, const KeyNode& key, const std::u16string& className,
                std::vector<std::string>& lines);
    std::string (*value)(const std::string& keyPath, const ValueNode& value,
                         std::span<const std::uint8_t> data);
};

// The engine's reading of a whole hive, listed as a reader lists it: keys
// depth first, each key's values before its subkeys, in stored order.
Result<std::vector<std::string>> listWithEngine(const std::filesystem::path& file,
                                                const Spelling& spelling) {
    auto hive = Hive::open(file);
    if (!hive) {
        return tl::unexpected(hive.error());
    }
    struct Pending {
        KeyRef ref;
        std::string parentPath;
        bool isRoot;
    };
    std::vector<std::string> lines;
    std::vector<Pending> stack{{hive->root(), "", true}};
    std::unordered_set<std::uint32_t> visited;
    while (!stack.empty()) {
        const Pending item = std::move(stack.back());
        stack.pop_back();
        if (!visited.insert(item.ref.cell).second) {
            return tl::unexpected(hive->error("key reached twice", item.ref.cell));
        }
        auto node = hive->key(item.ref);
        if (!node) {
            return tl::unexpected(node.error());
        }
        auto className = hive->className(*node);
        if (!className) {
            return tl::unexpected(className.error());
        }
        const std::string path = spelling.path(item.parentPath, *node, item.isRoot);
        spelling.key(path, *node, *className, lines);
        auto values = hive->values(*node);
        if (!values) {
            return tl::unexpected(values.error());
        }
        for (auto ref : *values) {
            auto v = hive->value(ref);
            if (!v) {
                return tl::unexpected(v.error());
            }
            auto data = hive->valueData(*v);
            if (!data) {
                return tl::unexpected(data.error());
            }
            lines.push_back(spelling.value(path, *v, *data));
        }
        auto subkeys = hive->subkeys(*node);
        if (!subkeys) {
            return tl::unexpected(subkeys.error());
        }
        for (auto it = subkeys->rbegin(); it != subkeys->rend(); ++it) {
            stack.push_back({*it, path, false});
        }
    }
    for (auto& line : lines) {
        line = oneLine(line);
    }
    return lines;
}

// ---- regfexport --------------------------------------------------------------

// libregf decodes a compressed (one byte per character) name as Windows-1252,
// which differs from the Latin-1 that Windows means in 0x80-0x9F (the five
// bytes Windows-1252 leaves undefined become U+FFFD). It also ends a name at a
// NUL in it.
std::string libregfName(std::u16string name, bool compressed) {
    name = name.substr(0, name.find(u'\0'));
    if (!compressed) {
        return engine::hive::toUtf8(name);
    }
    static constexpr char16_t kWindows1252[32] = {
        0x20AC, 0xFFFD, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
        0x2039, 0x0152, 0xFFFD, 0x017D, 0xFFFD, 0xFFFD, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
        0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0xFFFD, 0x017E, 0x0178,
    };
    std::u16string decoded;
    for (char16_t unit : name) {
        decoded.push_back(unit >= 0x80 && unit <= 0x9F ? kWindows1252[unit - 0x80] : unit);
    }
    return engine::hive::toUtf8(decoded);
}

std::string regfexportTypeName(std::uint32_t type) {
    static constexpr const char* kNames[] = {
        "REG_NONE",
        "REG_SZ",
        "REG_EXPAND_SZ",
        "REG_BINARY",
        "REG_DWORD_LITTLE_ENDIAN",
        "REG_DWORD_BIG_ENDIAN",
        "REG_LINK",
        "REG_MULTI_SZ",
        "REG_RESOURCE_LIST",
        "REG_FULL_RESOURCE_DESCRIPTOR",
        "REG_RESOURCE_REQUIREMENTS_LIST",
        "REG_QWORD_LITTLE_ENDIAN",
    };
    if (type < std::size(kNames)) {
        return kNames[type];
    }
    return "0x" + hexNumber(type, 8, false);
}

bool hasUnpairedSurrogate(std::u16string_view units) {
    for (std::size_t i = 0; i < units.size(); ++i) {
        const bool high = units[i] >= 0xD800 && units[i] <= 0xDBFF;
        const bool low = units[i] >= 0xDC00 && units[i] <= 0xDFFF;
        if (high && i + 1 < units.size() && units[i + 1] >= 0xDC00 && units[i + 1] <= 0xDFFF) {
            ++i;
        } else if (high || low) {
            return true;
        }
    }
    return false;
}

bool isStringType(std::uint32_t type) {
    return type == engine::hive::kRegSz || type == engine::hive::kRegExpandSz;
}

// The data part of a value line, shared by both sides: `text` for strings,
// `number` for integers of their exact size, else the bytes.
std::string regfexportData(std::uint32_t type, std::size_t size,
                           const std::optional<std::string>& text,
                           const std::optional<std::vector<std::uint8_t>>& bytes) {
    std::string out = isStringType(type) ? "" : " size=" + std::to_string(size);
    if (text) {
        const bool number = type == engine::hive::kRegDword ||
                            type == engine::hive::kRegDwordBigEndian ||
                            type == engine::hive::kRegQword;
        out += (number ? " number=" : " text=") + *text;
    }
    if (bytes) {
        out += " hex=" + hexBytes(*bytes);
    }
    return out;
}

std::string regfexportValueLine(const std::string&, const ValueNode& v,
                                std::span<const std::uint8_t> data) {
    using namespace engine::hive;
    std::vector<std::uint8_t> bytes(data.begin(), data.end());
    if (v.dataInline && v.dataSize >= 1 && v.dataSize <= 3) {
        // Data of 1 to 3 bytes lies in the first bytes of the value's data
        // offset field; libregf takes it from the last ones instead.
        const std::uint8_t field[4] = {static_cast<std::uint8_t>(v.dataCell),
                                       static_cast<std::uint8_t>(v.dataCell >> 8),
                                       static_cast<std::uint8_t>(v.dataCell >> 16),
                                       static_cast<std::uint8_t>(v.dataCell >> 24)};
        bytes.assign(field + 4 - v.dataSize, field + 4);
    }
    std::optional<std::string> text;
    std::optional<std::vector<std::uint8_t>> shownBytes;
    if (isStringType(v.type)) {
        // The text up to the first NUL; text that is not UTF-16 as bytes.
        std::u16string units = unitsOf(bytes);
        units = units.substr(0, units.find(u'\0'));
        if (hasUnpairedSurrogate(units)) {
            shownBytes = bytes;
        } else {
            text = toUtf8(units);
        }
    } else if ((v.type == kRegDword || v.type == kRegDwordBigEndian) && bytes.size() == 4) {
        const std::uint32_t n = v.type == kRegDword ? le32(bytes)
                                                    : (std::uint32_t{bytes[0]} << 24) |
                                                          (std::uint32_t{bytes[1]} << 16) |
                                                          (std::uint32_t{bytes[2]} << 8) | bytes[3];
        text = std::to_string(n);
    } else if (v.type == kRegQword && bytes.size() == 8) {
        text = std::to_string(le64(bytes));
    } else if (!bytes.empty()) {
        shownBytes = bytes;
    }
    const std::string name = v.name.empty() ? "(default)" : libregfName(v.name, v.compressedName);
    return "value " + name + " " + regfexportTypeName(v.type) +
           regfexportData(v.type, bytes.size(), text, shownBytes);
}

const Spelling kRegfexportSpelling{
    [](const std::string& parent, const KeyNode& key, bool isRoot) {
        const std::string name = libregfName(key.name, key.compressedName);
        return isRoot ? name : parent + "\\" + name;
    },
    [](const std::string& path, const KeyNode&, const std::u16string& className,
       std::vector<std::string>& lines) {
        lines.push_back("key " + path);
        if (!className.empty()) {
            lines.push_back("class " + engine::hive::toUtf8(className));
        }
    },
    regfexportValueLine,
};

// regfexport's type line: "Type: string (REG_SZ)" or "Type: unknown: 0x00000063".
std::optional<std::string> parseRegfexportType(std::string_view line) {
    constexpr std::string_view kUnknown = "Type: unknown: ";
    if (startsWith(line, kUnknown)) {
        return std::string(line.substr(kUnknown.size()));
    }
    const auto open = line.rfind('(');
    if (!startsWith(line, "Type: ") || open == std::string_view::npos || line.back() != ')') {
        return std::nullopt;
    }
    return std::string(line.substr(open + 1, line.size() - open - 2));
}

std::optional<std::uint32_t> typeNumberOf(const std::string& regfexportType) {
    for (std::uint32_t t = 0; t < 12; ++t) {
        if (regfexportTypeName(t) == regfexportType) {
            return t;
        }
    }
    if (startsWith(regfexportType, "0x")) {
        return static_cast<std::uint32_t>(std::stoul(regfexportType.substr(2), nullptr, 16));
    }
    return std::nullopt;
}

// A hex dump as regfexport prints it, 16 bytes a line:
//   00000010: 31 31 31 31 31 31 31 31  31 31 31 31 31 31 31 31   11111111 11111111
bool parseHexDumpLine(std::string_view line, std::size_t offset, std::size_t count,
                      std::vector<std::uint8_t>& out) {
    if (line.size() < 10 || line.substr(0, 10) != hexNumber(offset, 8, false) + ": ") {
        return false;
    }
    for (std::size_t k = 0; k < count; ++k) {
        const std::size_t at = 10 + 3 * k + (k >= 8 ? 1 : 0);
        if (at + 2 > line.size()) {
            return false;
        }
        if (!std::isxdigit(static_cast<unsigned char>(line[at])) ||
            !std::isxdigit(static_cast<unsigned char>(line[at + 1]))) {
            return false;
        }
        out.push_back(
            static_cast<std::uint8_t>(std::stoi(std::string(line.substr(at, 2)), nullptr, 16)));
    }
    return true;
}

class RegfexportParser {
public:
    explicit RegfexportParser(std::string_view output)
        : lines_(splitLines(output)) {}

    ReaderResult<std::vector<std::string>> parse() {
        while (at_ < lines_.size() && !startsWith(lines_[at_], "Key path: ")) {
            ++at_;
        }
        while (at_ < lines_.size()) {
            if (lines_[at_].empty()) {
                ++at_;
                continue;
            }
            if (!parseKey()) {
                return tl::unexpected(broken("regfexport: unexpected output at line " +
                                             std::to_string(at_ + 1) + ": " + oneLine(current())));
            }
        }
        for (auto& line : listing_) {
            line = oneLine(line);
        }
        return listing_;
    }

private:
    std::string_view current() const {
        return at_ < lines_.size() ? std::string_view(lines_[at_]) : std::string_view();
    }
    bool take(std::string_view prefix, std::string& rest) {
        if (at_ >= lines_.size() || !startsWith(lines_[at_], prefix)) {
            return false;
        }
        rest = lines_[at_++].substr(prefix.size());
        return true;
    }
    // A blank line that ends a value: what follows starts a new item.
    bool atItemEnd() const {
        if (at_ >= lines_.size() || !lines_[at_].empty()) {
            return false;
        }
        if (at_ + 1 == lines_.size()) {
            return true;
        }
        const std::string& next = lines_[at_ + 1];
        return next.empty() || startsWith(next, "Value: ") || startsWith(next, "Key path: ");
    }

    bool parseKey() {
        std::string path;
        std::string name;
        if (!take("Key path: ", path) || !take("Key: ", name)) {
            return false;
        }
        listing_.push_back("key " + path);
        std::string className;
        if (take("Class name: ", className)) {
            listing_.push_back("class " + className);
        }
        while (startsWith(current(), "Value: ")) {
            if (!parseValue()) {
                return false;
            }
        }
        return true;
    }

    bool parseValue() {
        std::string head;
        std::string typeLine;
        std::string sizeText;
        take("Value: ", head);
        const auto space = head.find(' ');
        if (space == std::string::npos || !take("Type: ", typeLine) ||
            !take("Data size: ", sizeText)) {
            return false;
        }
        const std::string name = head.substr(space + 1);
        const auto typeName = parseRegfexportType("Type: " + typeLine);
        const auto type = typeName ? typeNumberOf(*typeName) : std::nullopt;
        if (!type) {
            return false;
        }
        const std::size_t size = std::stoul(sizeText);
        std::optional<std::string> text;
        std::optional<std::vector<std::uint8_t>> bytes;
        std::string rest;
        if (take("Data: ", rest)) {
            // A string may hold line breaks: its text runs to the blank line
            // that ends the value.
            std::string joined = rest;
            while (at_ < lines_.size() && !atItemEnd() &&
                   !startsWith(current(), "Mismatch in data size")) {
                joined += "\n" + lines_[at_++];
            }
            text = joined;
        } else if (current() == "Data:" && at_ + 1 < lines_.size() && lines_[at_ + 1].empty()) {
            ++at_; // an empty string
            text = "";
        }
        if (current() == "Mismatch in data size and that required for data type.") {
            ++at_;
        }
        if (current() == "Data:") {
            ++at_;
            bytes.emplace();
            for (std::size_t offset = 0; offset < size; offset += 16) {
                if (at_ >= lines_.size() ||
                    !parseHexDumpLine(lines_[at_], offset, std::min<std::size_t>(16, size - offset),
                                      *bytes)) {
                    return false;
                }
                ++at_;
            }
        }
        if (!current().empty()) {
            return false;
        }
        ++at_;
        listing_.push_back("value " + name + " " + *typeName +
                           regfexportData(*type, size, text, bytes));
        return true;
    }

    std::vector<std::string> lines_;
    std::size_t at_ = 0;
    std::vector<std::string> listing_;
};

// ---- reglookup -----------------------------------------------------------------

// Our own spelling of the bytes reglookup shows: printable ASCII as it is,
// other bytes and % / , as %XX, and | too inside a multi-string's items.
std::string percentSpelled(std::string_view bytes, bool escapeBar) {
    std::string out;
    for (char c : bytes) {
        const auto b = static_cast<unsigned char>(c);
        if (b < 0x20 || b > 0x7E || c == '%' || c == '/' || c == ',' || (escapeBar && c == '|')) {
            out += "%" + hexNumber(b, 2, true);
        } else {
            out.push_back(c);
        }
    }
    return out;
}

std::optional<std::string> percentDecoded(std::string_view text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '%') {
            out.push_back(text[i]);
            continue;
        }
        if (i + 2 >= text.size() || !std::isxdigit(static_cast<unsigned char>(text[i + 1])) ||
            !std::isxdigit(static_cast<unsigned char>(text[i + 2]))) {
            return std::nullopt;
        }
        out.push_back(
            static_cast<char>(std::stoi(std::string(text.substr(i + 1, 2)), nullptr, 16)));
        i += 2;
    }
    return out;
}

std::vector<std::string> splitOn(std::string_view text, char separator) {
    std::vector<std::string> parts;
    std::size_t start = 0;
    while (true) {
        const auto end = text.find(separator, start);
        parts.emplace_back(text.substr(start, end == std::string_view::npos ? end : end - start));
        if (end == std::string_view::npos) {
            return parts;
        }
        start = end + 1;
    }
}

// reglookup converts a name to ASCII; a name that does not convert is shown
// as the bytes stored in the hive.
std::string reglookupName(const std::u16string& name, bool compressed) {
    std::string out;
    const bool ascii = std::all_of(name.begin(), name.end(), [](char16_t u) { return u < 0x80; });
    for (char16_t u : name) {
        if (ascii) {
            if (u == 0) {
                break; // the converted name is a C string
            }
            out.push_back(static_cast<char>(u));
        } else if (compressed) {
            out.push_back(static_cast<char>(u));
        } else {
            out.push_back(static_cast<char>(u & 0xFF));
            out.push_back(static_cast<char>(u >> 8));
        }
    }
    return out;
}

std::string reglookupTypeName(std::uint32_t type) {
    static constexpr const char* kNames[] = {
        "NONE", "SZ",       "EXPAND_SZ", "BINARY",    "DWORD",         "DWORD_BE",
        "LINK", "MULTI_SZ", "RSRC_LIST", "RSRC_DESC", "RSRC_REQ_LIST", "QWORD",
    };
    if (type < std::size(kNames)) {
        return kNames[type];
    }
    return "0x" + hexNumber(type, 8, true);
}

// The data as reglookup shows it: strings converted to ASCII when every
// character is ASCII (else the raw bytes), integers of at least their size,
// everything else the raw bytes; no data at all as "(null)".
std::string reglookupData(std::uint32_t type, std::span<const std::uint8_t> data) {
    using namespace engine::hive;
    const std::string raw(data.begin(), data.end());
    if (data.empty()) {
        return "(null)";
    }
    std::optional<std::u16string> ascii;
    if (data.size() % 2 == 0) {
        const std::u16string units = unitsOf(data);
        if (std::all_of(units.begin(), units.end(), [](char16_t u) { return u < 0x80; })) {
            ascii = units;
        }
    }
    auto narrow = [](std::u16string_view units) { return std::string(units.begin(), units.end()); };
    switch (type) {
    case kRegSz:
    case kRegExpandSz:
    case kRegLink:
        if (ascii) {
            return percentSpelled(narrow(std::u16string_view(*ascii).substr(0, ascii->find(u'\0'))),
                                  false);
        }
        return percentSpelled(raw, false);
    case kRegMultiSz: {
        if (!ascii) {
            return percentSpelled(raw, true);
        }
        std::string out;
        bool first = true;
        for (const auto& item : splitOn(narrow(*ascii), '\0')) {
            if (!item.empty()) {
                out += (first ? "" : "|") + percentSpelled(item, true);
                first = false;
            }
        }
        return out;
    }
    case kRegDword:
        if (data.size() >= 4) {
            return "0x" + hexNumber(le32(data), 8, true);
        }
        return percentSpelled(raw, false);
    case kRegDwordBigEndian:
        if (data.size() >= 4) {
            const std::uint32_t n = (std::uint32_t{data[0]} << 24) |
                                    (std::uint32_t{data[1]} << 16) | (std::uint32_t{data[2]} << 8) |
                                    data[3];
            return "0x" + hexNumber(n, 8, true);
        }
        return percentSpelled(raw, false);
    case kRegQword:
        if (data.size() >= 8) {
            return "0x" + hexNumber(le64(data), 16, true);
        }
        return percentSpelled(raw, false);
    default:
        return percentSpelled(raw, false);
    }
}

const Spelling kReglookupSpelling{
    [](const std::string& parent, const KeyNode& key, bool isRoot) {
        if (isRoot) {
            return std::string("/");
        }
        const std::string name = percentSpelled(reglookupName(key.name, key.compressedName), false);
        return (parent == "/" ? "/" : parent + "/") + name;
    },
    [](const std::string& path, const KeyNode&, const std::u16string&,
       std::vector<std::string>& lines) { lines.push_back("key " + path); },
    [](const std::string& keyPath, const ValueNode& v, std::span<const std::uint8_t> data) {
        const std::string name = percentSpelled(reglookupName(v.name, v.compressedName), false);
        // reglookup writes the root as "/" and its values as "//NAME".
        return "value " + keyPath + "/" + name + " " + reglookupTypeName(v.type) + " " +
               reglookupData(v.type, data);
    },
};

ReaderResult<std::vector<std::string>> parseReglookup(std::string_view output) {
    std::vector<std::string> listing;
    const auto lines = splitLines(output);
    if (lines.empty() || lines[0] != "PATH,TYPE,VALUE,MTIME") {
        return tl::unexpected(broken("reglookup: no header line"));
    }
    for (std::size_t i = 1; i < lines.size(); ++i) {
        const auto fields = splitOn(lines[i], ',');
        auto fail = [&](const std::string& why) {
            return tl::unexpected(broken("reglookup: " + why + " at line " + std::to_string(i + 1) +
                                         ": " + oneLine(lines[i])));
        };
        if (fields.size() != 4 || fields[0].empty() || fields[0][0] != '/') {
            return fail("not four fields");
        }
        // Every / in a name is written as %2F, so the path splits on /.
        std::string path;
        for (const auto& component : splitOn(std::string_view(fields[0]).substr(1), '/')) {
            const auto name = percentDecoded(component);
            if (!name) {
                return fail("bad % escape");
            }
            path += "/" + percentSpelled(*name, false);
        }
        if (fields[1] == "KEY") {
            listing.push_back("key " + path);
            continue;
        }
        // A multi-string's items are separated by | (a | inside one is %7C).
        const bool multi = fields[1] == "MULTI_SZ";
        std::string data;
        bool first = true;
        for (const auto& part : multi ? splitOn(fields[2], '|') : std::vector{fields[2]}) {
            const auto bytes = percentDecoded(part);
            if (!bytes) {
                return fail("bad % escape");
            }
            data += (first ? "" : "|") + percentSpelled(*bytes, multi);
            first = false;
        }
        listing.push_back("value " + path + " " + fields[1] + " " + data);
    }
    for (auto& line : listing) {
        line = oneLine(line);
    }
    return listing;
}

std::string shortened(const std::string& line) {
    constexpr std::size_t kShown = 300;
    return line.size() <= kShown
               ? line
               : line.substr(0, kShown) + "... (" + std::to_string(line.size()) + " characters)";
}

} // namespace

std::string describe(const ReaderFailure& failure) {
    return (failure.kind == ReaderFailure::Kind::Refused ? "refused: " : "broken: ") +
           failure.message;
}

std::vector<std::string> splitLines(std::string_view text) {
    std::vector<std::string> lines = splitOn(text, '\n');
    if (!lines.empty() && lines.back().empty()) {
        lines.pop_back();
    }
    return lines;
}

Result<std::string> engineDump(const std::filesystem::path& file) {
    auto hive = Hive::open(file);
    if (!hive) {
        return tl::unexpected(hive.error());
    }
    std::string out;
    auto done = engine::hive::dumpHive(*hive, "", [&](std::string_view line) {
        out += line;
        out += '\n';
    });
    if (!done) {
        return tl::unexpected(done.error());
    }
    return out;
}

ReaderResult<std::string> hivexDump(const std::filesystem::path& hive) {
    const ReaderRun run = runReader(
        "/usr/bin/python3 " + shellQuote(std::string(MORVALIN_TEST_TOOLS) + "/hivex_dump.py"),
        hive);
    if (run.status == 0) {
        return run.out;
    }
    ReaderFailure failure = failureOf("hivex", run);
    if (failure.kind == ReaderFailure::Kind::Refused && run.status != kHivexUnreadable) {
        failure.kind = ReaderFailure::Kind::Broken; // the script itself failed
    }
    return tl::unexpected(failure);
}

ReaderResult<std::vector<std::string>> regfexportListing(const std::filesystem::path& hive) {
    const ReaderRun run = runReader("regfexport", hive);
    if (run.status != 0) {
        return tl::unexpected(failureOf("regfexport", run));
    }
    return RegfexportParser(run.out).parse();
}

Result<std::vector<std::string>> engineListingAsRegfexport(const std::filesystem::path& hive) {
    return listWithEngine(hive, kRegfexportSpelling);
}

ReaderResult<std::vector<std::string>> reglookupListing(const std::filesystem::path& hive) {
    const ReaderRun run = runReader("reglookup", hive);
    if (run.status != 0) {
        return tl::unexpected(failureOf("reglookup", run));
    }
    return parseReglookup(run.out);
}

Result<std::vector<std::string>> engineListingAsReglookup(const std::filesystem::path& hive) {
    return listWithEngine(hive, kReglookupSpelling);
}

::testing::AssertionResult sameLines(std::string_view expectedName,
                                     const std::vector<std::string>& expected,
                                     std::string_view actualName,
                                     const std::vector<std::string>& actual) {
    std::size_t i = 0;
    while (i < expected.size() && i < actual.size() && expected[i] == actual[i]) {
        ++i;
    }
    if (i == expected.size() && i == actual.size()) {
        return ::testing::AssertionSuccess();
    }
    auto result = ::testing::AssertionFailure();
    result << expectedName << " (" << expected.size() << " lines) and " << actualName << " ("
           << actual.size() << " lines) differ at line " << i + 1 << ", after:\n";
    for (std::size_t k = i >= 2 ? i - 2 : 0; k < i; ++k) {
        result << "    " << shortened(expected[k]) << "\n";
    }
    result << "  " << expectedName << ": "
           << (i < expected.size() ? shortened(expected[i]) : "(end)") << "\n"
           << "  " << actualName << ": " << (i < actual.size() ? shortened(actual[i]) : "(end)");
    return result;
}

::testing::AssertionResult independentReadersAgree(const std::filesystem::path& hive) {
    const auto ours = engineDump(hive);
    if (!ours) {
        return ::testing::AssertionFailure() << "engine: " << ours.error().describe();
    }
    const auto hivex = hivexDump(hive);
    if (!hivex) {
        return ::testing::AssertionFailure() << "hivex " << describe(hivex.error());
    }
    if (auto same = sameLines("engine", splitLines(*ours), "hivex", splitLines(*hivex)); !same) {
        return same;
    }
    struct Reader {
        const char* name;
        ReaderResult<std::vector<std::string>> (*listing)(const std::filesystem::path&);
        Result<std::vector<std::string>> (*engineListing)(const std::filesystem::path&);
    };
    for (const Reader& reader : {Reader{"regfexport", regfexportListing, engineListingAsRegfexport},
                                 Reader{"reglookup", reglookupListing, engineListingAsReglookup}}) {
        const auto theirs = reader.listing(hive);
        if (!theirs) {
            return ::testing::AssertionFailure() << reader.name << " " << describe(theirs.error());
        }
        const auto mine = reader.engineListing(hive);
        if (!mine) {
            return ::testing::AssertionFailure() << "engine: " << mine.error().describe();
        }
        if (auto same = sameLines("engine", *mine, reader.name, *theirs); !same) {
            return same;
        }
    }
    return ::testing::AssertionSuccess();
}

} // namespace test
