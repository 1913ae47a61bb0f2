// The statements the event, category and task objects hand to the
// connection, seen through a connection that records every statement and
// passes it on to a real one: the conditions that decide which rows a call
// reaches (profile, master link, range, selected categories), the order of
// multi-statement deletes, and their error paths. Column lists are checked
// against the real schema by the round trips in record_families_test.cpp.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "access/calendar/event_access.h"
#include "access/calendar/event_category_access.h"
#include "access/contacts/contact_access.h"
#include "access/tasks/task_access.h"
#include "support/pim_fixture.h"
#include "support/recording_connection.h"
#include "support/test_values.h"
#include "tables/value_conversions.h"

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
    ComPtr<I> Create() {
        return m_db.Create<T, I>(u"1", m_recorder.get());
    }

    // Runs `call` and returns the statements it handed over.
    template <class Call>
    std::vector<RecordingConnection::Call> Statements(Call call) {
        m_recorder->TakeCalls();
        call();
        std::vector<RecordingConnection::Call> calls = m_recorder->TakeCalls();
        std::erase_if(calls, [](const auto& c) { return c.kind == "FreeResultset"; });
        return calls;
    }

    PimDatabase m_db;
    ComPtr<calyra::CComObject<RecordingConnection>> m_recorder = RecordingConnection::Over(m_db.db());
};

// What a statement does and where it reaches its rows: its verb, then its
// text from " FROM " on, or from " WHERE " on for an update.
std::string RowsPart(const std::string& sql) {
    size_t at = sql.find(" FROM ");
    if (at == std::string::npos) at = sql.find(" WHERE ");
    return at == std::string::npos ? sql : sql.substr(0, sql.find(' ')) + sql.substr(at);
}

const Bstr kSubject(u"meeting"), kCategory(u"7");

tagEventInfo Event() {
    tagEventInfo e{};
    e.bstrSubject = kSubject;
    e.bstrEventCategoryID = kCategory;
    e.dtStartDateTime = DateFromParts(2010, 5, 6, 7, 8, 9);
    e.dtEndDateTime = DateFromParts(2010, 5, 6, 8, 8, 9);
    return e;
}

// ---- Events -------------------------------------------------------------------

// Which rows each call reaches, one table for events, categories and tasks:
// where each statement reaches its rows, in order. The calls narrowed by the
// profile alone are guarded through the interfaces instead: their profile
// condition by the injected-profile sweep of every_interface_test.cpp, the
// master condition in calendar_test.cpp, the task order in tasks_test.cpp.
TEST_F(StatementTest, EachCallReachesItsRowsThroughProfileMasterLinkRangeAndCategory) {
    auto events = Create<calyra::CEventAccess, IEventAccess>();
    auto categories = Create<calyra::CEventCategoryAccess, IEventCategoryAccess>();
    auto tasks = Create<calyra::CTaskAccess, ITaskAccess>();
    LONG n;
    RecordArray<tagEventInfo> a;
    RecordHolder<tagEventInfo> r;
    RecordHolder<tagTaskInfo> t;
    tagEventCategoryInfo category{};
    tagEventInfo e = Event();
    const Bstr subject(u"task");
    tagTaskInfo task{};
    task.bstrSubject = subject;
    VARIANT_BOOL found;
    const DATE from = DateFromParts(2010, 1, 1, 9, 0, 0), to = DateFromParts(2010, 1, 1, 10, 0, 0);
    const std::string range = "[StartDateTime] <= '2010-01-01 10:00:00' AND [EndDateTime] >= '2010-01-01 09:00:00';";
    const std::string masters = "SELECT FROM [tEvent] WHERE [OriginalEventID] = '0' AND [ProfileID] = '1'";
    const struct {
        const char* what;
        std::function<void()> call;
        std::vector<std::string> statements;
    } cases[] = {
        {"masters of a category in a range",
         [&] { events->GetEventsByEventCategoryID(nullptr, Bstr(u"3"), from, to, &n, &a); },
         {masters + " AND [EventCategoryID] = '3' AND " + range}},
        {"masters of selected categories in a range",
         [&] { events->GetAllSelectedEvents(nullptr, from, to, &n, &a); },
         {"SELECT FROM [tEvent], [tEventCategory] WHERE [tEvent].[EventCategoryID] = "
          "[tEventCategory].[EventCategoryID] AND "
          "[tEvent].[OriginalEventID] = '0' AND [tEvent].[ProfileID] = '1' AND [tEventCategory].[IsSelected] = '1' "
          "AND " +
          range}},
        {"one master", [&] { events->GetEventByID(nullptr, Bstr(u"8"), &r); }, {masters + " AND [EventID] = '8';"}},
        {"exceptions of a master",
         [&] { events->GetAllExceptions(nullptr, Bstr(u"8"), &n, &a); },
         {"SELECT FROM [tEvent] WHERE [OriginalEventID] = '8' AND [ProfileID] = '1';"}},
        {"any row of the profile",
         [&] { events->GetExceptionByID(nullptr, Bstr(u"9"), &r); },
         {"SELECT FROM [tEvent] WHERE [ProfileID] = '1' AND [EventID] = '9';"}},
        {"event existence anywhere, ID quote-doubled",
         [&] { events->ExistEvent(nullptr, Bstr(u"9'"), &found); },
         {"SELECT FROM [tEvent] WHERE [EventID] = '9''';"}},
        {"event delete: exceptions first, then the event",
         [&] { events->DeleteEventByID(nullptr, Bstr(u"8")); },
         {"DELETE FROM [tEvent] WHERE [ProfileID] = '1' AND [OriginalEventID] = '8';",
          "DELETE FROM [tEvent] WHERE [ProfileID] = '1' AND [EventID] = '8';"}},
        {"events of a category",
         [&] { events->DeleteEventsByEventCategoryID(nullptr, Bstr(u"3")); },
         {"DELETE FROM [tEvent] WHERE [ProfileID] = '1' AND [EventCategoryID] = '3';"}},
        {"one exception",
         [&] { events->DeleteExceptionByID(nullptr, Bstr(u"9")); },
         {"DELETE FROM [tEvent] WHERE [ProfileID] = '1' AND [EventID] = '9';"}},
        {"event update",
         [&] { events->ModifyEventByID(nullptr, Bstr(u"5"), &e); },
         {"UPDATE WHERE [ProfileID] = '1' AND [EventID] = '5';"}},
        {"exception update",
         [&] { events->ModifyExceptionByID(nullptr, Bstr(u"5"), &e); },
         {"UPDATE WHERE [ProfileID] = '1' AND [EventID] = '5';"}},
        {"task update by ID reaches any profile",
         [&] { tasks->ModifyTaskByID(nullptr, Bstr(u"3"), &task); },
         {"UPDATE WHERE [TaskID] = '3';"}},
        {"category update: no profile condition, no semicolon",
         [&] { categories->ModifyEventCategoryByID(nullptr, Bstr(u"4"), &category); },
         {"UPDATE WHERE [EventCategoryID] = '4'"}},
        {"category delete",
         [&] { categories->DeleteEventCategoryByID(nullptr, Bstr(u"4")); },
         {"DELETE FROM [tEventCategory] WHERE [EventCategoryID] = '4';"}},
        {"task delete by ID reaches any profile",
         [&] { tasks->DeleteTaskByID(nullptr, Bstr(u"3")); },
         {"DELETE FROM [tTask] WHERE [TaskID] = '3';"}},
        {"task existence, ID quote-doubled",
         [&] { tasks->ExistTask(nullptr, Bstr(u"3'"), &found); },
         {"SELECT FROM [tTask] WHERE [TaskID] = '3''';"}},
        {"one task",
         [&] { tasks->GetTaskByID(nullptr, Bstr(u"3"), &t); },
         {"SELECT FROM [tTask] WHERE [ProfileID] = '1' AND [TaskID] = '3';"}},
    };
    for (const auto& c : cases) {
        std::vector<std::string> got;
        for (const auto& call : Statements(c.call)) got.push_back(RowsPart(call.sql));
        EXPECT_EQ(got, c.statements) << c.what;
    }
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
        // Existence queries pass an error ID of their own (a proxy refuses
        // NULL), never the caller's.
        EXPECT_EQ(calls[0].errorID == &err, passed) << calls[0].sql;
        EXPECT_EQ(err, kUntouched) << calls[0].sql;
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

}  // namespace
