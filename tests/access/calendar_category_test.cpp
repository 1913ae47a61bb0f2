// Event categories through IEventCategoryAccess: the record cache behind
// reading by position, the colour's 32 bits, the two flags, rows of other
// profiles, bad arguments and a missing connection.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "access/calendar/event_category_access.h"
#include "core/value_conversions.h"
#include "support/error_calls.h"
#include "support/pim_fixture.h"
#include "support/test_values.h"

using calyra::Bstr;
using calyra::CEventCategoryAccess;
using calyra::ComPtr;
using calyra::test::kUntouched;
using calyra::test::ErrorCall;
using calyra::test::ExpectEachFails;
using calyra::test::NullErrorPointer;
using calyra::test::PimDatabase;
using calyra::test::Text;
using calyra::test::DateText;
using calyra::test::RecordArray;
using calyra::test::RecordHolder;

namespace {

std::string AddCategory(IEventCategoryAccess* categories, const char16_t* name, ULONG color = 0, LONG toBeSynced = 0,
                        LONG selected = 0) {
    Bstr n(name), id;
    tagEventCategoryInfo c{};
    c.bstrEventCategoryName = n;
    c.ulColor = color;
    c.bToBeSynced = toBeSynced;
    c.bIsSelected = selected;
    LONG err = kUntouched;
    EXPECT_EQ(categories->AddEventCategory(&err, &c, &id), S_OK);
    EXPECT_EQ(err, kUntouched);
    return id.utf8();
}

std::vector<std::string> Names(IEventCategoryAccess* categories) {
    RecordArray<tagEventCategoryInfo> all;
    LONG n = -1;
    EXPECT_EQ(categories->GetAllEventCategories(nullptr, &n, &all), S_OK);
    std::vector<std::string> out;
    for (LONG i = 0; i < n; ++i) out.push_back(Text(all[i].bstrEventCategoryName));
    return out;
}

TEST(EventCategoryRecords, ColourKeepsAll32BitsAndFlagsReadBackAsOneOrZero) {
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
        {0u, "0", 1, 1},
    };
    std::vector<std::string> ids;
    for (const auto& c : cases) ids.push_back(AddCategory(categories.get(), u"c", c.color, c.flag, c.flag));
    LONG n = 0;
    ASSERT_EQ(categories->GetNumOfEventCategories(nullptr, &n), S_OK);
    ASSERT_EQ(n, static_cast<LONG>(std::size(cases)));
    RecordArray<tagEventCategoryInfo> all;
    ASSERT_EQ(categories->GetAllEventCategories(nullptr, &n, &all), S_OK);
    for (LONG i = 0; i < n; ++i) {
        const auto& c = cases[i];
        RecordHolder<tagEventCategoryInfo> byIndex;
        ASSERT_EQ(categories->GetEventCategoryByIndex(nullptr, i, &byIndex), S_OK);
        for (const tagEventCategoryInfo* got : {&all[i], static_cast<const tagEventCategoryInfo*>(&byIndex)}) {
            EXPECT_EQ(Text(got->bstrEventCategoryID), ids[i]);
            EXPECT_EQ(got->ulColor, c.color) << "colour " << std::hex << c.color;
            EXPECT_EQ(got->bToBeSynced, c.flagBack) << "flag given as " << c.flag;
            EXPECT_EQ(got->bIsSelected, c.flagBack) << "flag given as " << c.flag;
        }
        EXPECT_EQ(db.Value(u"SELECT [Color] FROM [tEventCategory] WHERE [EventCategoryID] = " +
                           calyra::Utf8ToUtf16(ids[i]) + u";"),
                  c.stored);
    }
}

TEST(EventCategoryRecords, NamesMayBeEmptyOrQuotedAndTheStampIsTheWriteTime) {
    PimDatabase db;
    auto categories = db.Create<CEventCategoryAccess, IEventCategoryAccess>();
    tagEventCategoryInfo unnamed{};
    unnamed.dtModified = 1.0;  // ignored
    Bstr id;
    ASSERT_EQ(categories->AddEventCategory(nullptr, &unnamed, &id), S_OK) << "a category needs no name";
    const std::string quoted = AddCategory(categories.get(), u"Anne's 'B'");
    EXPECT_EQ(Names(categories.get()), (std::vector<std::string>{"", "Anne's 'B'"}));

    db.Exec(u"UPDATE [tEventCategory] SET [Modified] = '2001-01-01 00:00:00';");
    Bstr name(u"renamed");
    tagEventCategoryInfo change{};
    change.bstrEventCategoryName = name;
    const std::string before = DateText(calyra::GetNowDate());
    ASSERT_EQ(categories->ModifyEventCategoryByID(nullptr, Bstr::FromUtf8(quoted), &change), S_OK);
    const std::string after = DateText(calyra::GetNowDate());
    RecordArray<tagEventCategoryInfo> all;
    LONG n = 0;
    ASSERT_EQ(categories->GetAllEventCategories(nullptr, &n, &all), S_OK);
    ASSERT_EQ(n, 2);
    EXPECT_EQ(DateText(all[0].dtModified), "2001-01-01 00:00:00") << "only the changed row is stamped";
    EXPECT_EQ(Text(all[1].bstrEventCategoryName), "renamed");
    const std::string modified = DateText(all[1].dtModified);
    EXPECT_TRUE(modified >= before && modified <= after) << modified;
}

TEST(EventCategoryProfiles, ListsShowTheProfileButWritesByIdReachAnyProfile) {
    PimDatabase db;
    auto mine = db.Create<CEventCategoryAccess, IEventCategoryAccess>(u"1");
    auto theirs = db.Create<CEventCategoryAccess, IEventCategoryAccess>(u"2");
    AddCategory(mine.get(), u"mine");
    const std::string a = AddCategory(theirs.get(), u"theirs a");
    const std::string b = AddCategory(theirs.get(), u"theirs b");
    EXPECT_EQ(Names(mine.get()), std::vector<std::string>{"mine"});

    Bstr name(u"changed by another profile");
    tagEventCategoryInfo change{};
    change.bstrEventCategoryName = name;
    ASSERT_EQ(mine->ModifyEventCategoryByID(nullptr, Bstr::FromUtf8(a), &change), S_OK);
    ASSERT_EQ(mine->DeleteEventCategoryByID(nullptr, Bstr::FromUtf8(b)), S_OK);
    EXPECT_EQ(Names(theirs.get()), std::vector<std::string>{"changed by another profile"});
    EXPECT_EQ(db.Value(u"SELECT [ProfileID] FROM [tEventCategory] WHERE [EventCategoryID] = " +
                       calyra::Utf8ToUtf16(a) + u";"),
              "2")
        << "a change keeps the row's profile";
}

TEST(EventCategoryArguments, BadArgumentsReportInvalidArgumentAndWriteNothing) {
    PimDatabase db;
    auto categories = db.Create<CEventCategoryAccess, IEventCategoryAccess>();
    tagEventCategoryInfo info{};
    Bstr id, empty(u""), one(u"1");
    LONG n = 5;
    const ErrorCall cases[] = {
        {"count without out-pointer", [&](LONG* e) { return categories->GetNumOfEventCategories(e, nullptr); }},
        {"by index without record", [&](LONG* e) { return categories->GetEventCategoryByIndex(e, 0, nullptr); }},
        {"all without array", [&](LONG* e) { return categories->GetAllEventCategories(e, &n, nullptr); }},
        {"delete without ID", [&](LONG* e) { return categories->DeleteEventCategoryByID(e, nullptr); }},
        {"delete with empty ID", [&](LONG* e) { return categories->DeleteEventCategoryByID(e, empty); }},
        {"modify with empty ID", [&](LONG* e) { return categories->ModifyEventCategoryByID(e, empty, &info); }},
    };
    ExpectEachFails(cases, E_INVALIDARG, PIMERR_INVALID_ARGUMENT, NullErrorPointer::AlsoFails);
    EXPECT_EQ(n, 5);
    EXPECT_EQ(db.Value(u"SELECT COUNT(*) FROM [tEventCategory];"), "0");
}

}  // namespace
