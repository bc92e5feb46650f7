#include <string>

#include <gtest/gtest.h>

#include "automatic/printable_text.h"

namespace engine::automatic {
namespace {

TEST(PrintableText, WritesWhatCouldSplitOrSteerALineAsEscapes) {
    const struct {
        std::string text;
        std::string shown;
    } cases[] = {
        {"C:\\Documents and Settings\\Бухгалтер\\csrss32.exe",
         "C:\\Documents and Settings\\Бухгалтер\\csrss32.exe"},
        {"line\nbreak\rand\ttab", "line\\x0abreak\\x0dand\\x09tab"},
        {"\x1b[31mred", "\\x1b[31mred"},
        {"del\x7f", "del\\x7f"},
        {"c1 \xc2\x9b"
         "31m",
         "c1 \\u009b31m"},
        {"sep \xe2\x80\xa8 para \xe2\x80\xa9", "sep \\u2028 para \\u2029"},
        {"bad \xff byte", "bad \\xff byte"},
        {"cut \xd0", "cut \\xd0"},
        {"© ® 😀", "© ® 😀"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(printableText(c.text), c.shown) << c.shown;
    }
}

} // namespace
} // namespace engine::automatic
