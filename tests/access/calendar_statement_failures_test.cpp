// Calendar calls over a connection that records every statement and can be
// told to fail some: which calls hand the caller's error ID to the
// connection, and what a multi-statement delete leaves when one of its
// statements fails. Which rows the calls reach is pinned by behaviour in
// calendar_rows_reached_test.cpp.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "access/calendar/event_access.h"
#include "access/contacts/contact_access.h"
#include "access/tasks/task_access.h"
#include "support/pim_fixture.h"
#include "support/recording_connection.h"
#include "support/test_values.h"
#include "tables/value_conversions.h"

namespace calyra::test {
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
    ComPtr<CComObject<RecordingConnection>> m_recorder = RecordingConnection::Over(m_db.db());
};

const Bstr kSubject(u"meeting"), kCategory(u"7");

tagEventInfo Event() {
    tagEventInfo e{};
    e.bstrSubject = kSubject;
    e.bstrEventCategoryID = kCategory;
    e.dtStartDateTime = DateFromParts(2010, 5, 6, 7, 8, 9);
    e.dtEndDateTime = DateFromParts(2010, 5, 6, 8, 8, 9);
    return e;
}

TEST_F(StatementTest, OnlyExistenceQueriesLeaveTheCallersErrorIdOut) {
    auto events = Create<CEventAccess, IEventAccess>();
    auto tasks = Create<CTaskAccess, ITaskAccess>();
    auto contacts = Create<CContactAccess, IContactAccess>();
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
    auto events = Create<CEventAccess, IEventAccess>();
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
    auto events = Create<CEventAccess, IEventAccess>();
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
}  // namespace calyra::test
