#include <gtest/gtest.h>

#include "sync/sync_state.h"

namespace calyra::sync {
namespace {

TEST(SyncStateText, LongTextsArePartedWithoutSplittingACharacter) {
    const std::string euro = "\xE2\x82\xAC";  // three bytes
    const std::tuple<std::string, size_t, size_t> cases[] = {
        {"", 10, 0},
        {"abc", 10, 1},
        {std::string(25, 'a'), 10, 3},
        {"a" + euro + euro, 3, 3},  // "a" then each euro whole
        {euro + euro + euro, 4, 3},
    };
    for (const auto& [text, maxBytes, count] : cases) {
        const auto parts = SplitUtf8(text, maxBytes);
        EXPECT_EQ(parts.size(), count) << text;
        std::string joined;
        for (const auto& p : parts) {
            EXPECT_LE(p.size(), maxBytes);
            EXPECT_FALSE(!p.empty() && (static_cast<unsigned char>(p[0]) & 0xC0) == 0x80)
                << "part starts mid-character";
            joined += p;
        }
        EXPECT_EQ(joined, text);
    }
}

}  // namespace
}  // namespace calyra::sync
