// Event categories through IEventCategoryAccess: the colour keeps all 32
// bits through the signed column, any nonzero flag reads back as 1, and a
// category needs no name. Whole records are checked with every family in
// record_families_test.cpp, the statements in calendar_statements_test.cpp.
#include <gtest/gtest.h>

#include <string>

#include "access/calendar/event_category_access.h"
#include "support/pim_fixture.h"

namespace calyra::test {
namespace {

TEST(EventCategoryRecords, ColourKeepsAll32BitsFlagsReadBackAsOneOrZeroAndNamesAreOptional) {
    PimDatabase db;
    auto categories = db.Create<CEventCategoryAccess, IEventCategoryAccess>();
    const struct {
        ULONG color;
        const char* stored;
        LONG flag, flagBack;
    } cases[] = {
        {0xFFFFFFFFu, "-1", 1, 1},
        {0x80000000u, "-2147483648", -1, 1},
        {0x7FFFFFFFu, "2147483647", 2, 1},
        {0x00FF8040u, "16744512", 0, 0},
    };
    for (const auto& c : cases) {
        tagEventCategoryInfo in{};  // no name
        in.ulColor = c.color;
        in.bToBeSynced = in.bIsSelected = c.flag;
        Bstr id;
        ASSERT_EQ(categories->AddEventCategory(nullptr, &in, &id), S_OK);
        EXPECT_EQ(db.Value(std::u16string(u"SELECT [Color] FROM [tEventCategory] WHERE [EventCategoryID] = ") +
                           id.view().data() + u";"),
                  c.stored);
    }
    RecordArray<tagEventCategoryInfo> all;
    const LONG n = ListInto(all, categories.get(), &IEventCategoryAccess::GetAllEventCategories);
    ASSERT_EQ(n, static_cast<LONG>(std::size(cases)));
    for (LONG i = 0; i < n; ++i) {
        EXPECT_EQ(all[i].ulColor, cases[i].color) << "colour " << std::hex << cases[i].color;
        EXPECT_EQ(all[i].bToBeSynced, cases[i].flagBack) << "flag given as " << cases[i].flag;
        EXPECT_EQ(all[i].bIsSelected, cases[i].flagBack) << "flag given as " << cases[i].flag;
    }
}

}  // namespace
}  // namespace calyra::test
