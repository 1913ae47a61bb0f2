// Calendar records as a client sees them, beyond what every family shares
// (record_families_test.cpp) and which rows each call reaches
// (calendar_rows_reached_test.cpp): exceptions of any or no master, the
// creation order of tasks, and the colour and flags of event categories.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "access/calendar/event_access.h"
#include "access/calendar/event_category_access.h"
#include "access/tasks/task_access.h"
#include "support/pim_fixture.h"
#include "support/record_compare.h"
#include "tables/value_conversions.h"

namespace calyra::test {
namespace {

using Subjects = std::vector<std::string>;

// ---- Event exceptions ----------------------------------------------------------------

// An exception is written whole, and nothing checks the master it names:
// one of an unknown or of no master is stored, listed under that master and
// kept out of the masters.
TEST(EventExceptions, ExceptionsOfAnyOrNoMasterAreWrittenWholeAndStayOutOfTheMasterReads) {
    PimDatabase db;
    auto events = db.Create<CEventAccess, IEventAccess>();
    const Bstr weekly(u"weekly"), moved(u"moved"), orphan(u"orphan"), unknown(u"424242"), none(u"");
    tagEventInfo e{};
    e.bstrSubject = weekly;
    e.stRecurrence.ePattern = enumRecurrencePattern_Weekly;
    Bstr master, exception, orphanID, masterlessID;
    ASSERT_EQ(events->AddEvent(nullptr, &e, &master), S_OK);
    e.bstrSubject = moved;
    e.dtStartDateTime = DateFromParts(2020, 6, 15, 14, 0, 0);
    e.dtOriginalStartTime = DateFromParts(2020, 6, 15, 10, 0, 0);
    ASSERT_EQ(events->AddException(nullptr, master, &e, &exception), S_OK);
    RecordHolder<tagEventInfo> got;
    ASSERT_EQ(events->GetExceptionByID(nullptr, exception, &got), S_OK);
    EXPECT_TRUE(SameRecord(e, got, {"bstrEventID", "dtModified"})) << "an exception is written whole";

    e.bstrSubject = orphan;
    ASSERT_EQ(events->AddException(nullptr, unknown, &e, &orphanID), S_OK);
    ASSERT_EQ(events->AddException(nullptr, none, &e, &masterlessID), S_OK);
    EXPECT_FALSE(masterlessID.empty());
    const auto exceptionsOf = [&](BSTR id) {
        return TextsOf(&tagEventInfo::bstrSubject,
                       [&](LONG* n, SAFEARRAY** a) { return events->GetAllExceptions(nullptr, id, n, a); });
    };
    EXPECT_EQ(exceptionsOf(unknown), Subjects{"orphan"});
    EXPECT_EQ(TextsOf(&tagEventInfo::bstrSubject,
                      [&](LONG* n, SAFEARRAY** a) { return events->GetAllEvents(nullptr, n, a); }),
              Subjects{"weekly"});
}

// ---- Task order ----------------------------------------------------------------------

TEST(TaskOrder, ListsAndTheCacheFollowCreationTimeNotInsertionOrID) {
    PimDatabase db;
    auto tasks = db.Create<CTaskAccess, ITaskAccess>();
    const auto all = [&] {
        return TextsOf(&tagTaskInfo::bstrSubject,
                       [&](LONG* n, SAFEARRAY** a) { return tasks->GetAllTasks(nullptr, n, a); });
    };
    db.Exec(
        u"INSERT INTO [tTask] ([ProfileID], [Subject], [Created]) VALUES ('1', 'a', '2020-01-03 00:00:00'), "
        u"('1', 'b', '2020-01-02 00:00:00'), ('1', 'c', '2019-12-31 23:59:59');");
    EXPECT_EQ(all(), (Subjects{"c", "b", "a"}));
    LONG n = 0;
    ASSERT_EQ(tasks->GetNumOfTasks(nullptr, &n), S_OK);
    RecordHolder<tagTaskInfo> first;
    ASSERT_EQ(tasks->GetTaskByIndex(nullptr, 0, &first), S_OK);
    EXPECT_EQ(Text(first.bstrSubject), "c");

    tagTaskInfo renamed{};
    Bstr subject(u"c2");
    renamed.bstrSubject = subject;
    ASSERT_EQ(tasks->ModifyTaskByID(nullptr, Bstr(u"3"), &renamed), S_OK);
    EXPECT_EQ(all(), (Subjects{"c2", "b", "a"})) << "a change moves [Modified] only";
}

// ---- Event categories ------------------------------------------------------------------

// The colour keeps all 32 bits through the signed column, any nonzero flag
// reads back as 1, and a category needs no name.
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
        EXPECT_EQ(db.Value(u"SELECT [Color] FROM [tEventCategory] WHERE [EventCategoryID] = " +
                           std::u16string(id.view()) + u";"),
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
