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

using calyra::Bstr;
using calyra::CEventCategoryAccess;
using calyra::ComPtr;
using calyra::test::ErrorCall;
using calyra::test::ExpectEachFails;
using calyra::test::NullErrorPointer;
using calyra::test::PimDatabase;
using calyra::test::Text;
using calyra::test::DateText;
using calyra::test::RecordArray;
using calyra::test::RecordHolder;

namespace {

constexpr LONG kUntouched = 0x7777;

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

TEST(EventCategoryCache, ByIndexServesTheLastRefillUntilRefilled) {
    PimDatabase db;
    auto categories = db.Create<CEventCategoryAccess, IEventCategoryAccess>();
    RecordHolder<tagEventCategoryInfo> info;
    LONG err = kUntouched;
    EXPECT_EQ(categories->GetEventCategoryByIndex(&err, 0, &info), E_INVALIDARG) << "nothing counted yet";
    EXPECT_EQ(err, PIMERR_INVALID_ARGUMENT);

    AddCategory(categories.get(), u"first");
    AddCategory(categories.get(), u"second");
    LONG n = 0;
    ASSERT_EQ(categories->GetNumOfEventCategories(nullptr, &n), S_OK);
    ASSERT_EQ(n, 2);
    AddCategory(categories.get(), u"third");

    err = kUntouched;
    EXPECT_EQ(categories->GetEventCategoryByIndex(&err, 2, &info), E_INVALIDARG)
        << "an add does not grow the cache";
    EXPECT_EQ(err, PIMERR_INVALID_ARGUMENT);
    EXPECT_EQ(categories->GetEventCategoryByIndex(&err, -1, &info), E_INVALIDARG);
    ASSERT_EQ(categories->GetEventCategoryByIndex(nullptr, 1, &info), S_OK);
    EXPECT_EQ(Text(info.bstrEventCategoryName), "second");
    EXPECT_EQ(Names(categories.get()).size(), 3u) << "the full list reads the table, not the cache";

    ASSERT_EQ(categories->GetNumOfEventCategories(nullptr, &n), S_OK);
    ASSERT_EQ(n, 3);
    RecordHolder<tagEventCategoryInfo> last;
    ASSERT_EQ(categories->GetEventCategoryByIndex(nullptr, 2, &last), S_OK);
    EXPECT_EQ(Text(last.bstrEventCategoryName), "third");
}

TEST(EventCategoryCache, AFailedRefillKeepsTheOldEntries) {
    PimDatabase db;
    auto categories = db.Create<CEventCategoryAccess, IEventCategoryAccess>();
    AddCategory(categories.get(), u"kept");
    LONG n = 0;
    ASSERT_EQ(categories->GetNumOfEventCategories(nullptr, &n), S_OK);
    db.db()->ClosePimDatabase(nullptr);
    LONG err = kUntouched;
    EXPECT_EQ(categories->GetNumOfEventCategories(&err, &n), E_UNEXPECTED);
    EXPECT_EQ(err, PIMERR_NOT_CONNECTED) << "the connection reports the closed database";
    EXPECT_EQ(n, 0);
    RecordHolder<tagEventCategoryInfo> info;
    ASSERT_EQ(categories->GetEventCategoryByIndex(nullptr, 0, &info), S_OK);
    EXPECT_EQ(Text(info.bstrEventCategoryName), "kept");
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
    SAFEARRAY* array = nullptr;
    const ErrorCall cases[] = {
        {"count without out-pointer", [&](LONG* e) { return categories->GetNumOfEventCategories(e, nullptr); }},
        {"by index without record", [&](LONG* e) { return categories->GetEventCategoryByIndex(e, 0, nullptr); }},
        {"all without count", [&](LONG* e) { return categories->GetAllEventCategories(e, nullptr, &array); }},
        {"all without array", [&](LONG* e) { return categories->GetAllEventCategories(e, &n, nullptr); }},
        {"add without record", [&](LONG* e) { return categories->AddEventCategory(e, nullptr, &id); }},
        {"delete without ID", [&](LONG* e) { return categories->DeleteEventCategoryByID(e, nullptr); }},
        {"delete with empty ID", [&](LONG* e) { return categories->DeleteEventCategoryByID(e, empty); }},
        {"modify with empty ID", [&](LONG* e) { return categories->ModifyEventCategoryByID(e, empty, &info); }},
        {"modify without record", [&](LONG* e) { return categories->ModifyEventCategoryByID(e, one, nullptr); }},
    };
    ExpectEachFails(cases, E_INVALIDARG, PIMERR_INVALID_ARGUMENT, NullErrorPointer::AlsoFails);
    EXPECT_EQ(n, 5);
    EXPECT_EQ(db.Value(u"SELECT COUNT(*) FROM [tEventCategory];"), "0");
}

TEST(EventCategoryConnection, WithoutAConnectionEveryOperationSaysNotConnected) {
    ComPtr<IEventCategoryAccess> categories;
    ASSERT_EQ(calyra::CreateComInstance<CEventCategoryAccess>(nullptr, IID_IEventCategoryAccess,
                                                              reinterpret_cast<void**>(&categories)),
              S_OK);
    tagEventCategoryInfo info{};
    Bstr id, one(u"1");
    LONG n = 9;
    RecordArray<tagEventCategoryInfo> array;
    const ErrorCall cases[] = {
        {"GetNumOfEventCategories", [&](LONG* e) { return categories->GetNumOfEventCategories(e, &n); }},
        {"GetAllEventCategories", [&](LONG* e) { return categories->GetAllEventCategories(e, &n, &array); }},
        {"AddEventCategory", [&](LONG* e) { return categories->AddEventCategory(e, &info, &id); }},
        {"DeleteEventCategoryByID", [&](LONG* e) { return categories->DeleteEventCategoryByID(e, one); }},
        {"ModifyEventCategoryByID", [&](LONG* e) { return categories->ModifyEventCategoryByID(e, one, &info); }},
    };
    ExpectEachFails(cases, E_POINTER, PIMERR_NOT_CONNECTED, NullErrorPointer::NotTried);
    EXPECT_EQ(n, 0);
    LONG err = kUntouched;
    EXPECT_EQ(categories->GetEventCategoryByIndex(&err, 0, &info), E_INVALIDARG)
        << "reading the (empty) cache needs no connection";
    EXPECT_EQ(err, PIMERR_INVALID_ARGUMENT);
}

// One object refilled and read by position from several threads: every
// read sees a whole refill.
TEST(EventCategoryConcurrency, RefillsAndReadsByPositionDoNotInterleave) {
    PimDatabase db;
    auto categories = db.Create<CEventCategoryAccess, IEventCategoryAccess>();
    for (int i = 0; i < 10; ++i) AddCategory(categories.get(), u"c", static_cast<ULONG>(i));
    std::vector<std::thread> threads;
    std::vector<int> bad(4, 0);
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([&, t] {
            for (int i = 0; i < 40; ++i) {
                LONG n = 0;
                if (categories->GetNumOfEventCategories(nullptr, &n) != S_OK || n != 10) ++bad[t];
                RecordHolder<tagEventCategoryInfo> info;
                if (categories->GetEventCategoryByIndex(nullptr, i % 10, &info) != S_OK ||
                    info.ulColor != static_cast<ULONG>(i % 10))
                    ++bad[t];
            }
        });
    for (auto& th : threads) th.join();
    for (int t = 0; t < 4; ++t) EXPECT_EQ(bad[t], 0) << "thread " << t;
}

}  // namespace
