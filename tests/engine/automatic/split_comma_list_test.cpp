#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "rules/split_comma_list.h"

namespace engine::rules {
namespace {

using Items = std::vector<std::string>;

TEST(SplitCommaList, CutsAtEveryCommaAndDropsOnlyLeadingSpaces) {
    const struct {
        std::string text;
        Items items;
    } cases[] = {
        {"a, b,c", {"a", "b", "c"}},
        {"x,,y", {"x", "", "y"}},
        // One trailing comma gives no empty last item; two give one.
        {"C:\\WINDOWS\\system32\\userinit.exe,", {"C:\\WINDOWS\\system32\\userinit.exe"}},
        {"a,,", {"a", ""}},
        {",C:\\a.exe", {"", "C:\\a.exe"}},
        // Only the space character goes, and only at the start of an item.
        {"  a  ,\tb, ,c", {"a  ", "\tb", "", "c"}},
        {"   ", {}},
        {"", {}},
        {"explorer.exe ", {"explorer.exe "}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        Items items = {"left over"};
        EXPECT_EQ(SplitCommaList(c.text, items), static_cast<int>(c.items.size()));
        EXPECT_EQ(items, c.items);
    }
}

} // namespace
} // namespace engine::rules
