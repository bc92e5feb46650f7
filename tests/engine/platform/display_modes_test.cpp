// The display mode table: enumeration up to the first missing mode and never
// past the table's 256 entries, and the mode list's captions.
#include <gtest/gtest.h>

#include "platform/display_modes.h"

namespace engine::platform {
namespace {

class CountedDisplay final : public DisplaySettings {
public:
    explicit CountedDisplay(int count)
        : count_(count) {}
    std::optional<DisplayMode> mode(int number) override {
        ++asked;
        if (number < 0 || number >= count_) {
            return std::nullopt;
        }
        return DisplayMode{640u + static_cast<unsigned>(number), 480, 32, 60,
                           static_cast<std::uint64_t>(number)};
    }
    bool change(const DisplayMode&) override { return false; }
    int asked = 0;

private:
    int count_;
};

TEST(DisplayModes, EnumerationStopsAtTheFirstMissingModeAndAtTheTablesEnd) {
    for (const int count : {0, 1, 255, 256, 257, 1000}) {
        CountedDisplay display(count);
        const auto modes = enumerateDisplayModes(display);
        const int expected = std::min(count, kMaxDisplayModes);
        ASSERT_EQ(static_cast<int>(modes.size()), expected) << count;
        for (int i = 0; i < expected; ++i) {
            EXPECT_EQ(modes[static_cast<std::size_t>(i)].id, static_cast<std::uint64_t>(i));
        }
        // Never asks past the table's last entry.
        EXPECT_LE(display.asked, kMaxDisplayModes) << count;
    }
}

TEST(DisplayModes, CaptionIsWidthByHeightAndDepth) {
    EXPECT_EQ(displayModeCaption({1024, 768, 32, 60, 0}), "1024 x 768 - 32 bit");
    EXPECT_EQ(displayModeCaption({3840, 2160, 16, 0, 7}), "3840 x 2160 - 16 bit");
}

} // namespace
} // namespace engine::platform
