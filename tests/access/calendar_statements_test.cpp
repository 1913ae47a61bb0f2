// The exact SQL the event, category and task objects hand to the
// connection, seen through a connection that records every statement and
// passes it on to a real one. These texts are what other programs reading
// the same file rely on, so they are pinned here character for character;
// the stamps of the current time read "<now>".
//
// The same recording connection makes chosen statements fail the way the
// connection reports failures, for the error paths of multi-statement
// operations.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "access/calendar/event_access.h"
#include "access/calendar/event_category_access.h"
#include "access/contacts/contact_access.h"
#include "access/tasks/task_access.h"
#include "core/value_conversions.h"
#include "support/pim_fixture.h"
#include "support/recording_connection.h"
#include "support/test_values.h"

using calyra::Bstr;
using calyra::ComPtr;
using calyra::DateFromParts;
using calyra::test::kUntouched;
using calyra::test::PimDatabase;
using calyra::test::RecordArray;
using calyra::test::RecordHolder;
using calyra::test::RecordingConnection;

namespace {

// A database, a recording connection over it, and access objects of
// profile "1" wired to the recorder.
class StatementTest : public ::testing::Test {
protected:
    template <class T, class I>
    ComPtr<I> Create(const char16_t* profileID = u"1") {
        ComPtr<I> object;
        EXPECT_EQ(calyra::CreateComInstance<T>(nullptr, calyra::IidOf<I>(), reinterpret_cast<void**>(&object)), S_OK);
        object->SetPimDbAccess(nullptr, m_recorder.get());
        object->SetProfileID(nullptr, Bstr(profileID));
        return object;
    }

    // Runs `call` and returns its statements, with every time stamp taken
    // while it ran replaced by "<now>".
    template <class Call>
    std::vector<RecordingConnection::Call> Statements(Call call) {
        m_recorder->TakeCalls();
        const std::string before = calyra::test::DateText(calyra::GetNowDate());
        call();
        const std::string after = calyra::test::DateText(calyra::GetNowDate());
        std::vector<RecordingConnection::Call> calls = m_recorder->TakeCalls();
        std::erase_if(calls, [](const auto& c) { return c.kind == "FreeResultset"; });
        for (auto& c : calls) c.sql = calyra::test::MaskTimeStamps(c.sql, "<now>", before, after);
        return calls;
    }
    template <class Call>
    std::string OnlyStatement(Call call) {
        auto calls = Statements(call);
        EXPECT_EQ(calls.size(), 1u);
        return calls.empty() ? std::string() : calls[0].sql;
    }

    PimDatabase m_db;
    ComPtr<calyra::CComObject<RecordingConnection>> m_recorder = RecordingConnection::Over(m_db.db());
};

// ---- Expected texts -----------------------------------------------------------

const std::string kEventList =
    "[Subject], [Description], [Location], [EventType], [EventStatus], [Availability], [StartDateTime], "
    "[EndDateTime], [AllDayEventFlag], [PrivateFlag], [Priority], [ReminderTime], [ReminderAudio], [TimeZone], "
    "[PatternOption], [DailyOption], [DailyEveryXDays], [DailyXUnitOfNewTask], [WeeklyOption], [WeeklyEveryXWeeks], "
    "[WeeklyDays], [WeeklyXUnitOfNewTask], [MonthlyOption], [MonthlyDayM], [MonthlyEveryXMonths], [MonthlyTheNth], "
    "[MonthlyDayN], [MonthlyEveryYMonths], [MonthlyXUnitOfNewTask], [YearlyOption], [YearlyEveryXYears], "
    "[YearlyEveryMonthM], [YearlyDayM], [YearlyTheNth], [YearlyDayN], [YearlyOfMonthN], [YearlyXUnitOfNewTask], "
    "[Start], [EndOption], [EndAfter], [EndBy], [OriginalStartTime]";

const std::string kTaskList =
    "[Subject], [Status], [CompletePercent], [StartDate], [EndDate], [Priority], [PrivateFlag], [TaskType], "
    "[Description], [ReminderTime], [ReminderAudio], [DateCompleted], [PatternOption], [DailyOption], "
    "[DailyEveryXDays], [DailyXUnitOfNewTask], [WeeklyOption], [WeeklyEveryXWeeks], [WeeklyDays], "
    "[WeeklyXUnitOfNewTask], [MonthlyOption], [MonthlyDayM], [MonthlyEveryXMonths], [MonthlyTheNth], [MonthlyDayN], "
    "[MonthlyEveryYMonths], [MonthlyXUnitOfNewTask], [YearlyOption], [YearlyEveryXYears], [YearlyEveryMonthM], "
    "[YearlyDayM], [YearlyTheNth], [YearlyDayN], [YearlyOfMonthN], [YearlyXUnitOfNewTask], [Start], [EndOption], "
    "[EndAfter], [EndBy], [Created], [Modified]";

const std::string kEventSelect =
    "SELECT [EventID], [EventCategoryID], " + kEventList + ", [Modified] FROM [tEvent] WHERE ";

// The recurrence rule of Rule() in both written forms.
const std::string kRuleValues =
    "'2', '1', '2', '3', '4', '5', '6', '7', '8', '9', '10', '11', '12', '13', '14', '15', '16', '17', '18', '19', "
    "'20', '21', '22', '2011-01-01 00:00:00', '1', '23', '2012-02-02 02:02:02'";
const std::string kRuleAssignments =
    "[PatternOption] = '2', [DailyOption] = '1', [DailyEveryXDays] = '2', [DailyXUnitOfNewTask] = '3', "
    "[WeeklyOption] = '4', [WeeklyEveryXWeeks] = '5', [WeeklyDays] = '6', [WeeklyXUnitOfNewTask] = '7', "
    "[MonthlyOption] = '8', [MonthlyDayM] = '9', [MonthlyEveryXMonths] = '10', [MonthlyTheNth] = '11', "
    "[MonthlyDayN] = '12', [MonthlyEveryYMonths] = '13', [MonthlyXUnitOfNewTask] = '14', [YearlyOption] = '15', "
    "[YearlyEveryXYears] = '16', [YearlyEveryMonthM] = '17', [YearlyDayM] = '18', [YearlyTheNth] = '19', "
    "[YearlyDayN] = '20', [YearlyOfMonthN] = '21', [YearlyXUnitOfNewTask] = '22', [Start] = '2011-01-01 00:00:00', "
    "[EndOption] = '1', [EndAfter] = '23', [EndBy] = '2012-02-02 02:02:02'";

tagRecurrence Rule() {
    tagRecurrence r{};
    r.ePattern = enumRecurrencePattern_Weekly;
    r.Daily = {1, 2, 3};
    r.Weekly = {4, 5, 6, 7};
    r.Monthly = {8, 9, 10, 11, 12, 13, 14};
    r.Yearly = {15, 16, 17, 18, 19, 20, 21, 22};
    r.dtStart = DateFromParts(2011, 1, 1, 0, 0, 0);
    r.eEnd = enumRecurrenceEnd_EndAfter;
    r.lEndAfter = 23;
    r.lEndBy = DateFromParts(2012, 2, 2, 2, 2, 2);
    return r;
}

// Texts owned by the test, pointed to by the records below.
const Bstr kSubject(u"O'Brien"), kLocation(u"Hall"), kCategory(u"7"), kAudio(u"a.wav"), kTaskSubject(u"Buy 'milk'");

tagEventInfo Event() {
    tagEventInfo e{};
    e.bstrEventID = kCategory;  // ignored on input
    e.bstrSubject = kSubject;
    e.bstrLocation = kLocation;  // no description: written as ''
    e.eCategory = static_cast<enumEventCategory>(99);
    e.eStatus = enumEventStatus_Tentative;
    e.bstrEventCategoryID = kCategory;
    e.eAvailability = enumAvailability_Tentative;
    e.dtStartDateTime = DateFromParts(2010, 5, 6, 7, 8, 9);
    e.dtEndDateTime = DateFromParts(2010, 5, 6, 8, 8, 9);
    e.bAllDayEvent = -1;
    e.ePriority = enumEventPriority_High;
    e.lReminderTime = -5;
    e.bstrReminderAudio = kAudio;
    e.ulTimeZone = 0xFFFFFFFFu;
    e.stRecurrence = Rule();
    e.dtOriginalStartTime = DateFromParts(2010, 5, 5, 7, 8, 9);
    e.dtModified = 1.0;  // ignored on input
    return e;
}

const std::string kEventValues =
    "'O''Brien', '', 'Hall', '99', '2', '1', '2010-05-06 07:08:09', '2010-05-06 08:08:09', '1', '0', '2', '-5', "
    "'a.wav', '-1', " +
    kRuleValues + ", '2010-05-05 07:08:09'";

tagTaskInfo Task() {
    tagTaskInfo t{};
    t.bstrSubject = kTaskSubject;
    t.eTaskStatus = enumTaskStatus_Deferred;
    t.ulCompletePercent = 0xFFFFFFFFu;
    t.dtStartDate = DateFromParts(2010, 1, 2, 3, 4, 5);
    t.dtEndDate = DateFromParts(2010, 1, 3, 3, 4, 5);
    t.eTaskPriority = enumTaskPriority_High;
    t.bPrivate = 5;
    t.eTaskCategory = enumTaskCategory_Miscellaneous;
    t.lReminderTime = 15;
    t.stRecurrence = Rule();
    t.dtCreated = 2.0;   // ignored on input
    t.dtModified = 3.0;  // ignored on input
    return t;
}

const std::string kTaskValues =
    "'Buy ''milk''', '4', '-1', '2010-01-02 03:04:05', '2010-01-03 03:04:05', '2', '1', '10', '', '15', '', "
    "'1899-12-30 00:00:00', " +
    kRuleValues;

// ---- Events -------------------------------------------------------------------

TEST_F(StatementTest, EventInsertsWriteTheWholeRecordWithTheMasterLink) {
    auto events = Create<calyra::CEventAccess, IEventAccess>();
    tagEventInfo e = Event();
    Bstr id;
    EXPECT_EQ(OnlyStatement([&] { events->AddEvent(nullptr, &e, &id); }),
              "INSERT INTO [tEvent] ([ProfileID], [OriginalEventID], [EventCategoryID], " + kEventList +
                  ", [Modified]) VALUES('1', '0', '7', " + kEventValues + ", '<now>');");
    Bstr exceptionId;
    EXPECT_EQ(OnlyStatement([&] { events->AddException(nullptr, Bstr(u"4'2"), &e, &exceptionId); }),
              "INSERT INTO [tEvent] ([ProfileID], [OriginalEventID], [EventCategoryID], " + kEventList +
                  ", [Modified]) VALUES('1', '4''2', '7', " + kEventValues + ", '<now>');")
        << "the master ID of an exception is quote-doubled";
}

TEST_F(StatementTest, EventUpdateWritesTheCategoryAfterTheKindAndKeepsTheLink) {
    auto events = Create<calyra::CEventAccess, IEventAccess>();
    tagEventInfo e = Event();
    const std::string expected =
        "UPDATE [tEvent] SET [Subject] = 'O''Brien', [Description] = '', [Location] = 'Hall', [EventType] = '99', "
        "[EventCategoryID] = '7', [EventStatus] = '2', [Availability] = '1', [StartDateTime] = '2010-05-06 07:08:09', "
        "[EndDateTime] = '2010-05-06 08:08:09', [AllDayEventFlag] = '1', [PrivateFlag] = '0', [Priority] = '2', "
        "[ReminderTime] = '-5', [ReminderAudio] = 'a.wav', [TimeZone] = '-1', " +
        kRuleAssignments +
        ", [OriginalStartTime] = '2010-05-05 07:08:09', [Modified] = '<now>' WHERE [ProfileID] = '1' AND "
        "[EventID] = '5';";
    EXPECT_EQ(OnlyStatement([&] { events->ModifyEventByID(nullptr, Bstr(u"5"), &e); }), expected);
    EXPECT_EQ(OnlyStatement([&] { events->ModifyExceptionByID(nullptr, Bstr(u"5"), &e); }), expected);
}

TEST_F(StatementTest, EventQueriesFilterByProfileMasterLinkAndRange) {
    auto events = Create<calyra::CEventAccess, IEventAccess>();
    const DATE from = DateFromParts(2010, 1, 1, 9, 0, 0), to = DateFromParts(2010, 1, 1, 10, 0, 0);
    LONG n;
    struct Case {
        const char* what;
        std::function<void()> call;
        std::string sql;
    };
    RecordArray<tagEventInfo> a;
    RecordHolder<tagEventInfo> r;
    VARIANT_BOOL found;
    const std::string range = "[StartDateTime] <= '2010-01-01 10:00:00' AND [EndDateTime] >= '2010-01-01 09:00:00';";
    const Case cases[] = {
        {"all masters", [&] { events->GetAllEvents(nullptr, &n, &a); },
         kEventSelect + "[OriginalEventID] = '0' AND [ProfileID] = '1';"},
        {"masters of a category in a range",
         [&] { events->GetEventsByEventCategoryID(nullptr, Bstr(u"3"), from, to, &n, &a); },
         kEventSelect + "[OriginalEventID] = '0' AND [ProfileID] = '1' AND [EventCategoryID] = '3' AND " + range},
        {"masters of selected categories in a range", [&] { events->GetAllSelectedEvents(nullptr, from, to, &n, &a); },
         "SELECT [EventID], [tEvent].[EventCategoryID], " + kEventList +
             ", [tEvent].[Modified] FROM [tEvent], [tEventCategory] WHERE [tEvent].[EventCategoryID] = "
             "[tEventCategory].[EventCategoryID] AND [tEvent].[OriginalEventID] = '0' AND [tEvent].[ProfileID] = '1' "
             "AND [tEventCategory].[IsSelected] = '1' AND " +
             range},
        {"one master", [&] { events->GetEventByID(nullptr, Bstr(u"8"), &r); },
         kEventSelect + "[OriginalEventID] = '0' AND [ProfileID] = '1' AND [EventID] = '8';"},
        {"exceptions of a master", [&] { events->GetAllExceptions(nullptr, Bstr(u"8"), &n, &a); },
         kEventSelect + "[OriginalEventID] = '8' AND [ProfileID] = '1';"},
        {"any row of the profile", [&] { events->GetExceptionByID(nullptr, Bstr(u"9"), &r); },
         kEventSelect + "[ProfileID] = '1' AND [EventID] = '9';"},
        {"existence anywhere, ID quote-doubled", [&] { events->ExistEvent(nullptr, Bstr(u"9'"), &found); },
         "SELECT [EventID] FROM [tEvent] WHERE [EventID] = '9''';"},
    };
    for (const auto& c : cases) {
        auto calls = Statements(c.call);
        ASSERT_EQ(calls.size(), 1u) << c.what;
        EXPECT_EQ(calls[0].kind, "Query") << c.what;
        EXPECT_EQ(calls[0].sql, c.sql) << c.what;
    }
}

TEST_F(StatementTest, EventDeletesAndTheirConditions) {
    auto events = Create<calyra::CEventAccess, IEventAccess>();
    auto deleteEvent = Statements([&] { events->DeleteEventByID(nullptr, Bstr(u"8")); });
    ASSERT_EQ(deleteEvent.size(), 2u) << "exceptions first, then the event";
    EXPECT_EQ(deleteEvent[0].sql, "DELETE FROM [tEvent] WHERE [ProfileID] = '1' AND [OriginalEventID] = '8';");
    EXPECT_EQ(deleteEvent[1].sql, "DELETE FROM [tEvent] WHERE [ProfileID] = '1' AND [EventID] = '8';");
    EXPECT_EQ(OnlyStatement([&] { events->DeleteAllEvents(nullptr); }),
              "DELETE FROM [tEvent] WHERE [ProfileID] = '1';");
    EXPECT_EQ(OnlyStatement([&] { events->DeleteEventsByEventCategoryID(nullptr, Bstr(u"3")); }),
              "DELETE FROM [tEvent] WHERE [ProfileID] = '1' AND [EventCategoryID] = '3';");
    EXPECT_EQ(OnlyStatement([&] { events->DeleteExceptionByID(nullptr, Bstr(u"9")); }),
              "DELETE FROM [tEvent] WHERE [ProfileID] = '1' AND [EventID] = '9';");
}

TEST_F(StatementTest, OnlyExistenceQueriesLeaveTheCallersErrorIdOut) {
    auto events = Create<calyra::CEventAccess, IEventAccess>();
    auto tasks = Create<calyra::CTaskAccess, ITaskAccess>();
    auto contacts = Create<calyra::CContactAccess, IContactAccess>();
    VARIANT_BOOL found;
    LONG err = kUntouched, n;
    RecordArray<tagEventInfo> a;
    for (auto [call, passed] : std::initializer_list<std::pair<std::function<void()>, bool>>{
             {[&] { events->ExistEvent(&err, Bstr(u"1"), &found); }, false},
             {[&] { tasks->ExistTask(&err, Bstr(u"1"), &found); }, false},
             {[&] { contacts->ExistContact(&err, Bstr(u"1"), &found); }, false},
             {[&] { events->GetAllEvents(&err, &n, &a); }, true}}) {
        auto calls = Statements(call);
        ASSERT_EQ(calls.size(), 1u);
        EXPECT_EQ(calls[0].withErrorID, passed) << calls[0].sql;
    }
}

TEST_F(StatementTest, FailedExceptionDeleteIsReportedButTheMasterStillGoes) {
    auto events = Create<calyra::CEventAccess, IEventAccess>();
    tagEventInfo e = Event();
    Bstr master;
    ASSERT_EQ(events->AddEvent(nullptr, &e, &master), S_OK);
    m_recorder->FailExecutesContaining("[OriginalEventID] = ");
    LONG err = kUntouched;
    EXPECT_EQ(events->DeleteEventByID(&err, master), S_OK) << "the master's delete decides the result";
    EXPECT_EQ(err, PIMERR_EXECUTE_FAILED) << "both statements report through the caller's error ID";
    EXPECT_EQ(m_db.Value(u"SELECT COUNT(*) FROM [tEvent];"), "0");
}

TEST_F(StatementTest, FailedMasterDeleteLeavesTheExceptionsDeleted) {
    auto events = Create<calyra::CEventAccess, IEventAccess>();
    tagEventInfo e = Event();
    Bstr master, exception;
    ASSERT_EQ(events->AddEvent(nullptr, &e, &master), S_OK);
    ASSERT_EQ(events->AddException(nullptr, master, &e, &exception), S_OK);
    m_recorder->FailExecutesContaining("AND [EventID] = ");
    LONG err = kUntouched;
    EXPECT_EQ(events->DeleteEventByID(&err, master), E_FAIL);
    EXPECT_EQ(err, PIMERR_EXECUTE_FAILED);
    EXPECT_EQ(m_db.Value(u"SELECT COUNT(*) FROM [tEvent];"), "1") << "nothing is rolled back";
    EXPECT_EQ(m_db.Value(u"SELECT [EventID] FROM [tEvent];"), master.utf8());
}

// ---- Categories ------------------------------------------------------------------

TEST_F(StatementTest, CategoryStatements) {
    auto categories = Create<calyra::CEventCategoryAccess, IEventCategoryAccess>();
    Bstr name(u"Bob's");
    tagEventCategoryInfo c{};
    c.bstrEventCategoryName = name;
    c.ulColor = 0x80000000u;
    c.bToBeSynced = 7;
    c.bIsSelected = 0;
    Bstr id;
    EXPECT_EQ(OnlyStatement([&] { categories->AddEventCategory(nullptr, &c, &id); }),
              "INSERT INTO [tEventCategory] ([ProfileID], [EventCategoryName], [Color], [ToBeSynced], [IsSelected], "
              "[Modified]) VALUES('1', 'Bob''s', '-2147483648', '1', '0', '<now>');");
    EXPECT_EQ(OnlyStatement([&] { categories->ModifyEventCategoryByID(nullptr, Bstr(u"4"), &c); }),
              "UPDATE [tEventCategory] SET [EventCategoryName] = 'Bob''s', [Color] = '-2147483648', [ToBeSynced] = "
              "'1', [IsSelected] = '0', [Modified] = '<now>' WHERE [EventCategoryID] = '4'")
        << "the update has no closing semicolon and no profile condition";
    EXPECT_EQ(OnlyStatement([&] { categories->DeleteEventCategoryByID(nullptr, Bstr(u"4")); }),
              "DELETE FROM [tEventCategory] WHERE [EventCategoryID] = '4';");
    const std::string list =
        "SELECT [EventCategoryID], [EventCategoryName], [Color], [ToBeSynced], [IsSelected], [Modified] FROM "
        "[tEventCategory] WHERE [ProfileID] = '1';";
    LONG n;
    EXPECT_EQ(OnlyStatement([&] { categories->GetNumOfEventCategories(nullptr, &n); }), list);
}

// ---- Tasks -----------------------------------------------------------------------

TEST_F(StatementTest, TaskStatements) {
    auto tasks = Create<calyra::CTaskAccess, ITaskAccess>();
    tagTaskInfo t = Task();
    Bstr id;
    EXPECT_EQ(
        OnlyStatement([&] { tasks->AddTask(nullptr, &t, &id); }),
        "INSERT INTO [tTask] ([ProfileID], " + kTaskList + ") VALUES('1', " + kTaskValues + ", '<now>', '<now>');");
    EXPECT_EQ(OnlyStatement([&] { tasks->ModifyTaskByID(nullptr, Bstr(u"3"), &t); }),
              "UPDATE [tTask] SET [Subject] = 'Buy ''milk''', [Status] = '4', [CompletePercent] = '-1', [StartDate] = "
              "'2010-01-02 03:04:05', [EndDate] = '2010-01-03 03:04:05', [Priority] = '2', [PrivateFlag] = '1', "
              "[TaskType] = '10', [Description] = '', [ReminderTime] = '15', [ReminderAudio] = '', [DateCompleted] = "
              "'1899-12-30 00:00:00', " +
                  kRuleAssignments + ", [Modified] = '<now>' WHERE [TaskID] = '3';");
    EXPECT_EQ(OnlyStatement([&] { tasks->DeleteTaskByID(nullptr, Bstr(u"3")); }),
              "DELETE FROM [tTask] WHERE [TaskID] = '3';");
    EXPECT_EQ(OnlyStatement([&] { tasks->DeleteAllTasks(nullptr); }), "DELETE FROM [tTask] WHERE [ProfileID] = '1';");
    VARIANT_BOOL found;
    EXPECT_EQ(OnlyStatement([&] { tasks->ExistTask(nullptr, Bstr(u"3'"), &found); }),
              "SELECT [TaskID] FROM [tTask] WHERE [TaskID] = '3''';");
    const std::string list =
        "SELECT [TaskID], " + kTaskList + " FROM [tTask] WHERE [ProfileID] = '1' ORDER BY [Created];";
    LONG n;
    EXPECT_EQ(OnlyStatement([&] { tasks->GetNumOfTasks(nullptr, &n); }), list);
    EXPECT_EQ(OnlyStatement([&] {
                  RecordHolder<tagTaskInfo> r;
                  tasks->GetTaskByID(nullptr, Bstr(u"3"), &r);
              }),
              "SELECT [TaskID], " + kTaskList + " FROM [tTask] WHERE [ProfileID] = '1' AND [TaskID] = '3';");
}

}  // namespace
