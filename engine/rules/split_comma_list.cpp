#include "rules/split_comma_list.h"

#include <string_view>

namespace engine::rules {

namespace {

std::string_view withoutLeadingSpaces(std::string_view text) {
    const std::size_t first = text.find_first_not_of(' ');
    return first == std::string_view::npos ? std::string_view{} : text.substr(first);
}

} // namespace

int SplitCommaList(const std::string& text, std::vector<std::string>& items) {
    items.clear();
    std::string_view rest = text;
    for (std::size_t comma = rest.find(','); comma != std::string_view::npos;
         comma = rest.find(',')) {
        items.emplace_back(withoutLeadingSpaces(rest.substr(0, comma)));
        rest.remove_prefix(comma + 1);
    }
    if (const std::string_view last = withoutLeadingSpaces(rest); !last.empty()) {
        items.emplace_back(last);
    }
    return static_cast<int>(items.size());
}

} // namespace engine::rules
