#include "support/random_hive_input.h"

#include "hive/hive.h"
#include "support/hive_model.h"

namespace test {

namespace {

namespace eh = engine::hive;

// Names Windows users and programs give keys, and ones that trip readers up:
// case variants of each other (Windows takes them for one key), spaces and
// dots at the ends, letters outside ASCII, characters outside the BMP (whose
// surrogate halves are not upper-cased, so 𐐀 and 𐐨 are two keys).
const std::u16string kKeyNames[] = {
    u"Alpha",
    u"alpha",
    u"BETA",
    u"Key with spaces",
    u" leading space",
    u"trailing space ",
    u"dots.in.name",
    u".",
    u"..",
    u"v1.2.3",
    u"Café",
    u"CAFÉ",
    u"Тест",
    u"ТЕСТ",
    u"тест",
    u"Ключ",
    u"КЛЮЧ",
    u"ёлка",
    u"ЁЛКА",
    u"σοφια",
    u"ΣΟΦΙΑ",
    u"ς",
    u"中文键",
    u"\U0001F600",
    u"smile \U0001F600 face",
    u"\U00010400",
    u"\U00010428",
    u"100%",
    u"MixedCase",
    u"mixedcase",
    u"MIXEDCASE",
    u"a",
    u"A",
    u"_",
    u"{6B29FC40-CA47-1067}",
};

const std::u16string kValueNames[] = {
    u"Value",     u"VALUE",      u"value",
    u"значение",  u"ЗНАЧЕНИЕ",   u"Café",
    u"名前",      u"\U0001F600", u"quote\" back\\slash",
    u"tab\there", u"(default)",  u"  ",
    u"Shell",     u"Userinit",   u"ΣΟΦΙΑ",
};

// Pieces of random text, one or two UTF-16 units each. Key names take no
// backslash; value names and string data take anything but NUL.
const std::u16string kPieces[] = {
    u"a", u"b", u"k",  u"z",  u"A",          u"K",          u"Q",          u"Z",          u"0",
    u"7", u" ", u".",  u"-",  u"_",          u"{",          u"}",          u"%",          u"~",
    u"(", u"'", u"а",  u"ж",  u"я",          u"А",          u"Ж",          u"Я",          u"ё",
    u"Ё", u"é", u"É",  u"ü",  u"Ü",          u"ß",          u"ÿ",          u"α",          u"σ",
    u"ς", u"Ω", u"中", u"键", u"\U0001F600", u"\U00010400", u"\U00010428", u"\U0001D518",
};
const std::u16string kValuePieces[] = {u"\\", u"\"", u"\t", u"\n", u"\x01"};

const std::uint32_t kOddTypes[] = {
    eh::kRegDwordBigEndian,
    eh::kRegLink,
    8 /* REG_RESOURCE_LIST */,
    0x12345678u,
    0x80000000u,
    0xFFFFFFFFu,
};

} // namespace

std::u16string RandomHiveInput::text(std::size_t maxUnits) {
    std::u16string out;
    const std::size_t target = 1 + below(maxUnits);
    while (out.size() < target) {
        const std::u16string& piece = pick(std::span<const std::u16string>(kPieces));
        if (out.size() + piece.size() <= target) {
            out += piece;
        } else {
            out += u'x';
        }
    }
    return out;
}

std::u16string RandomHiveInput::nameOfLength(std::size_t units) {
    std::u16string out;
    while (out.size() < units) {
        const std::u16string& piece = pick(std::span<const std::u16string>(kPieces));
        out += out.size() + piece.size() <= units ? piece : u"Я";
    }
    return out;
}

std::u16string RandomHiveInput::keyName() {
    const std::size_t r = below(100);
    if (r < 35) {
        return pick(std::span<const std::u16string>(kKeyNames));
    }
    if (r < 43) {
        return nameOfLength(255 - below(3));
    }
    return text(24);
}

std::u16string RandomHiveInput::valueName() {
    const std::size_t r = below(100);
    if (r < 10) {
        return {};
    }
    if (r < 45) {
        return pick(std::span<const std::u16string>(kValueNames));
    }
    if (r < 50) {
        static constexpr std::size_t kLong[] = {255, 256, 2000, 16383};
        return nameOfLength(pick(std::span<const std::size_t>(kLong)));
    }
    std::u16string name = text(30);
    if (kind_ == Kind::Raw && chance(20)) {
        std::size_t at = below(name.size() + 1);
        if (at > 0 && at < name.size() && name[at] >= 0xDC00 && name[at] <= 0xDFFF) {
            --at; // not between the halves of a surrogate pair
        }
        name.insert(at, pick(std::span<const std::u16string>(kValuePieces)));
    }
    return name;
}

std::u16string RandomHiveInput::caseVariant(std::u16string_view name) {
    std::u16string out(name);
    for (char16_t& u : out) {
        u = chance(50) ? modelUpcase(u) : modelDowncase(u);
    }
    return out;
}

std::size_t RandomHiveInput::dataSize() {
    const std::size_t r = below(100);
    if (r < 8) {
        return 0;
    }
    if (r < 28) {
        return 1 + below(4);
    }
    if (r < 55) {
        return 5 + below(60);
    }
    if (r < 72) {
        return 65 + below(4032);
    }
    if (r < 84) {
        return 16330 + below(31); // around the largest single segment, 16344
    }
    if (r < 90) {
        static constexpr std::size_t kEdges[] = {16344, 16345, 32688, 32689, 49032};
        return pick(std::span<const std::size_t>(kEdges));
    }
    if (r < 97) {
        return 16361 + below(33640);
    }
    return 50000 + below(250001);
}

std::vector<std::uint8_t> RandomHiveInput::bytes(std::size_t size) {
    std::vector<std::uint8_t> out(size);
    for (std::size_t i = 0; i < size; i += 8) {
        const std::uint64_t word = engine_();
        for (std::size_t k = 0; k < 8 && i + k < size; ++k) {
            out[i + k] = static_cast<std::uint8_t>(word >> (8 * k));
        }
    }
    return out;
}

RandomHiveInput::Value RandomHiveInput::value() {
    static constexpr std::uint32_t kTypes[] = {
        eh::kRegSz,    eh::kRegExpandSz, eh::kRegMultiSz, eh::kRegDword,
        eh::kRegQword, eh::kRegBinary,   eh::kRegNone,    0 /* an odd type */,
    };
    std::uint32_t type = pick(std::span<const std::uint32_t>(kTypes));
    if (type == 0 && chance(70)) {
        type = pick(std::span<const std::uint32_t>(kOddTypes));
    }
    if ((type == eh::kRegDword || type == eh::kRegQword) && chance(80)) {
        return {type, bytes(type == eh::kRegDword ? 4 : 8)};
    }
    const bool isText = type == eh::kRegSz || type == eh::kRegExpandSz || type == eh::kRegMultiSz;
    std::size_t size = dataSize();
    if (isText && kind_ == Kind::Plain) {
        size = std::max<std::size_t>(2, size & ~std::size_t{1});
    }
    const bool asText = size >= 2 && size % 2 == 0 && (kind_ == Kind::Plain || chance(85));
    if ((type == eh::kRegSz || type == eh::kRegExpandSz) && asText) {
        std::u16string s = nameOfLength(size / 2 - 1);
        if (type == eh::kRegExpandSz && s.size() >= 12) {
            s.replace(0, 12, u"%SystemRoot%");
        }
        s.push_back(u'\0');
        std::vector<std::uint8_t> out;
        for (char16_t u : s) {
            out.push_back(static_cast<std::uint8_t>(u));
            out.push_back(static_cast<std::uint8_t>(u >> 8));
        }
        return {type, std::move(out)};
    }
    if (type == eh::kRegMultiSz && asText) {
        // Items of random length until the data reaches about `size`; a
        // single NUL is the empty list.
        std::u16string s;
        while (s.size() + 2 < size / 2) {
            s += nameOfLength(1 + below(std::min<std::size_t>(size / 2 - s.size() - 1, 200)));
            s.push_back(u'\0');
        }
        s.push_back(u'\0');
        std::vector<std::uint8_t> out;
        for (char16_t u : s) {
            out.push_back(static_cast<std::uint8_t>(u));
            out.push_back(static_cast<std::uint8_t>(u >> 8));
        }
        return {type, std::move(out)};
    }
    return {type, bytes(size)};
}

} // namespace test
