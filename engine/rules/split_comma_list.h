#pragma once

#include <string>
#include <vector>

namespace engine::rules {

// Splits a comma-separated value (a Winlogon program list) into its items:
// the text is cut at every comma and each item loses the space characters at
// its start (tabs and trailing spaces stay). Two commas with nothing between
// them give an empty item; the text after the last comma is an item only when
// something is left of it once its leading spaces are gone. `items` is
// emptied first; returns the number of items.
int SplitCommaList(const std::string& text, std::vector<std::string>& items);

} // namespace engine::rules
