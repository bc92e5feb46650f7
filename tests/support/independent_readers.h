#pragma once

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include <gtest/gtest.h>
#include <tl/expected.hpp>

#include "hive/error.h"

namespace test {

// Three readers of hive files that share no code with our engine, to check
// what the engine reads, and every hive it writes, against:
//
//   hivex      (python3-hivex) through tests/tools/hivex_dump.py, which prints
//              a hive in our dump's text form: the two dumps must be equal.
//   regfexport (libregf-utils) and reglookup: their own output, parsed into
//              listings that are compared with the engine's reading of the same
//              file, spelled as that reader spells it and cut to what it can
//              read (see the listing functions below).
//
// What each reader cannot read, measured on the test hives and fixtures of
// tests/engine/hive/independent_readers_test.cpp (hivex 1.3.23, libregf
// 20201007, reglookup 1.0.1):
//   hivex      refuses a hive holding a name with an unpaired UTF-16
//              surrogate. It reads Latin-1 and UTF-16 names (with a NUL in
//              them too) and big data: its dump must equal ours exactly.
//   regfexport refuses a hive holding a name with an unpaired surrogate, and
//              ends names at a NUL. It takes value data of 1 to 3 bytes kept in
//              the value cell from the wrong end of the 4-byte field (Windows
//              writes such values). Of a string it shows the text before the
//              first NUL (the bytes, if that is not UTF-16) and, instead of the
//              data's size, the size of that text. It reads compressed names as
//              Windows-1252 rather than Latin-1.
//   reglookup  converts names to ASCII, ending them at a NUL; a name that is
//              not ASCII it shows as the bytes stored in the hive (Latin-1 or
//              UTF-16LE). Strings that are all ASCII it shows up to the first
//              NUL, multi-strings without their empty items, other data as raw
//              bytes; integers when there are at least 4 (8) bytes. It reads big
//              data. It lists what it can reach of a truncated hive and exits
//              with status 0.
// The engine's side of each listing reproduces these readings, so that the
// rest is compared exactly.

// Why a reader gave no listing.
struct ReaderFailure {
    enum class Kind {
        Refused, // the reader says it cannot read the file, or a name in it
        Broken,  // it could not be run, timed out, or printed what we cannot parse
    };
    Kind kind = Kind::Broken;
    std::string message;
};

template <class T>
using ReaderResult = tl::expected<T, ReaderFailure>;

// Our engine's text form of the whole hive (engine::hive::dumpHive), each line
// followed by a newline.
engine::hive::Result<std::string> engineDump(const std::filesystem::path& hive);

// The same text form as hivex reads the hive.
ReaderResult<std::string> hivexDump(const std::filesystem::path& hive);

// A hive as regfexport shows it, one line per item, in its order (keys depth
// first, each key's values before its subkeys):
//   key ROOT\PATH                  the path from the root, the root's name first
//   class NAME                     the key's class name, when it has one
//   value NAME TYPE size=N DATA    NAME "(default)" for the unnamed value; DATA
//                                  "text=..." (strings, without size=),
//                                  "number=..." (REG_DWORD, REG_QWORD) or
//                                  "hex=.." (other data)
// Control characters are written as \xHH on both sides.
ReaderResult<std::vector<std::string>> regfexportListing(const std::filesystem::path& hive);
engine::hive::Result<std::vector<std::string>>
engineListingAsRegfexport(const std::filesystem::path& hive);

// A hive as reglookup shows it, one line per key and value, in its order:
//   key /PATH
//   value /PATH/NAME TYPE DATA
// Names and data are the bytes reglookup shows, written with %XX for bytes
// outside printable ASCII and for % / , (and | inside a multi-string's items).
ReaderResult<std::vector<std::string>> reglookupListing(const std::filesystem::path& hive);
engine::hive::Result<std::vector<std::string>>
engineListingAsReglookup(const std::filesystem::path& hive);

std::vector<std::string> splitLines(std::string_view text);

// Equal line lists, or where they first differ, with the lines before it.
::testing::AssertionResult sameLines(std::string_view expectedName,
                                     const std::vector<std::string>& expected,
                                     std::string_view actualName,
                                     const std::vector<std::string>& actual);

// All three readers read the hive, and agree with the engine as far as each
// can read it: for a hive the engine wrote, in one line.
::testing::AssertionResult independentReadersAgree(const std::filesystem::path& hive);

std::string describe(const ReaderFailure& failure);

} // namespace test
