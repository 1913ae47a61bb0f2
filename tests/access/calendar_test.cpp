// Calendar records through IEventAccess, IEventCategoryAccess and
// ITaskAccess, beyond what every family shares (every_interface_test.cpp).
//
// Which rows each call reaches, as behaviour: one seeded database per case
// (two profiles, selected and unselected categories, masters inside, outside
// and on the edge of a time range, an exception), the call, and the subjects
// it returns or leaves behind. The profile, master-link, range and category
// conditions of the statements are what these rows pin down, whatever the
// statements' text. That quotes in IDs stay text is swept for every
// operation in every_interface_test.cpp.
//
// Then exceptions of any or no master, the creation order of tasks, the
// colour and flags of event categories, and over a connection that records
// every statement and can be told to fail some: which calls hand the
// caller's error ID to the connection, and what a multi-statement delete
// leaves when one of its statements fails.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "access/calendar/event_access.h"
#include "access/calendar/event_category_access.h"
#include "access/contacts/contact_access.h"
#include "access/tasks/task_access.h"
#include "support/pim_fixture.h"
#include "support/record_compare.h"
#include "support/recording_connection.h"
#include "support/test_values.h"
#include "tables/value_conversions.h"

namespace calyra::test {
namespace {

// ---- Rows reached ------------------------------------------------------------------

const DATE kFrom = DateFromParts(2010, 1, 1, 9, 0, 0), kTo = DateFromParts(2010, 1, 1, 10, 0, 0);

using Subjects = std::vector<std::string>;

Subjects Sorted(Subjects s) {
    std::sort(s.begin(), s.end());
    return s;
}

// Profile 1: categories "sel" and "sel2" (selected) and "unsel"; masters
// "in" (sel, 09:30-09:45), "edge" (sel, ends at 09:00 sharp), "out" (sel,
// 11:00-12:00), "in2" (sel2), "in-unsel" (unsel), and "in-x", an exception
// of "in". Profile 2: master "p2" in category sel, inside the range, and
// task "t2" beside profile 1's "t1". Each event is known by its subject.
struct Seeded {
    PimDatabase db;
    ComPtr<IEventAccess> events = db.Create<CEventAccess, IEventAccess>(u"1");
    ComPtr<IEventAccess> events2 = db.Create<CEventAccess, IEventAccess>(u"2");
    ComPtr<IEventCategoryAccess> categories = db.Create<CEventCategoryAccess, IEventCategoryAccess>(u"1");
    ComPtr<ITaskAccess> tasks = db.Create<CTaskAccess, ITaskAccess>(u"1");
    ComPtr<ITaskAccess> tasks2 = db.Create<CTaskAccess, ITaskAccess>(u"2");
    std::map<std::string, Bstr> id;  // subject or category name -> ID

    Seeded() {
        for (auto [name, selected] : {std::pair{u"sel", 1}, {u"sel2", 1}, {u"unsel", 0}}) {
            tagEventCategoryInfo c{};
            Bstr n(name);
            c.bstrEventCategoryName = n;
            c.bIsSelected = selected;
            EXPECT_EQ(categories->AddEventCategory(nullptr, &c, &id[n.utf8()]), S_OK);
        }
        struct Row {
            IEventAccess* object;
            const char16_t* subject;
            const char* category;
            int startMinute, endMinute;  // after 08:00
            const char* masterOf = nullptr;
        };
        for (const Row& r :
             {Row{events.get(), u"in", "sel", 90, 105}, Row{events.get(), u"edge", "sel", 30, 60},
              Row{events.get(), u"out", "sel", 180, 240}, Row{events.get(), u"in2", "sel2", 90, 100},
              Row{events.get(), u"in-unsel", "unsel", 90, 100}, Row{events.get(), u"in-x", "sel", 95, 100, "in"},
              Row{events2.get(), u"p2", "sel", 90, 100}}) {
            tagEventInfo e{};
            Bstr subject(r.subject);
            e.bstrSubject = subject;
            e.bstrEventCategoryID = id[r.category];
            e.dtStartDateTime = DateFromParts(2010, 1, 1, 8 + r.startMinute / 60, r.startMinute % 60, 0);
            e.dtEndDateTime = DateFromParts(2010, 1, 1, 8 + r.endMinute / 60, r.endMinute % 60, 0);
            Bstr& out = id[subject.utf8()];
            EXPECT_EQ(r.masterOf ? r.object->AddException(nullptr, id[r.masterOf], &e, &out)
                                 : r.object->AddEvent(nullptr, &e, &out),
                      S_OK);
        }
        for (auto [object, name] : {std::pair{tasks.get(), u"t1"}, {tasks2.get(), u"t2"}}) {
            tagTaskInfo t{};
            Bstr subject(name);
            t.bstrSubject = subject;
            EXPECT_EQ(object->AddTask(nullptr, &t, &id[subject.utf8()]), S_OK);
        }
    }

    Subjects Column(const std::u16string& sql) const {
        Subjects out;
        for (const auto& row : db.Rows(sql)) out.push_back(row[0]);
        return Sorted(out);
    }
};

// A call's arguments before its outputs: a subject or category name
// stands for its ID, a date for itself.
BSTR Arg(Seeded& s, const char* name) { return s.id[name]; }
DATE Arg(Seeded&, DATE date) { return date; }

using Call = std::function<Subjects(Seeded&)>;

// The subjects an event list of profile 1 returns.
template <class M, class... Args>
Call Listed(M list, Args... args) {
    return [=](Seeded& s) {
        RecordArray<tagEventInfo> a;
        LONG n = 0;
        (s.events.get()->*list)(nullptr, Arg(s, args)..., &n, &a);
        Subjects out;
        for (const auto& e : a) out.push_back(Text(e.bstrSubject));
        return out;
    };
}

// The subject a read by ID of each named row returns; "" where it found nothing.
template <class R, class I, class M>
Call ByID(ComPtr<I> Seeded::*object, M get, std::vector<const char*> names) {
    return [=](Seeded& s) {
        Subjects out;
        for (const char* name : names) {
            RecordHolder<R> r;
            const HRESULT hr = ((s.*object).get()->*get)(nullptr, s.id[name], &r);
            out.push_back(SUCCEEDED(hr) ? Text(r.bstrSubject) : std::string());
        }
        return out;
    };
}

// The subjects left stored after `act`: of events, or what `stored` reads.
Call Leaves(std::function<void(Seeded&)> act, const char16_t* stored = u"SELECT [Subject] FROM [tEvent];") {
    return [=](Seeded& s) {
        act(s);
        return s.Column(stored);
    };
}

struct Case {
    const char* what;
    Call call;  // what the call returns, or what it leaves stored
    Subjects expected;
};

void RunCases(std::initializer_list<Case> cases) {
    for (const Case& c : cases) {
        Seeded s;
        EXPECT_EQ(Sorted(c.call(s)), Sorted(c.expected)) << c.what;
    }
}

TEST(CalendarRowsReached, ReadsReachTheirProfileMastersRangeAndCategories) {
    using E = IEventAccess;
    RunCases({
        {"masters of one category overlapping the range, the edge included",
         Listed(&E::GetEventsByEventCategoryID, "sel", kFrom, kTo),
         {"edge", "in"}},
        {"masters of every selected category overlapping the range",
         Listed(&E::GetAllSelectedEvents, kFrom, kTo),
         {"edge", "in", "in2"}},
        {"all events: the profile's masters", Listed(&E::GetAllEvents), {"edge", "in", "in-unsel", "in2", "out"}},
        {"exceptions of a master", Listed(&E::GetAllExceptions, "in"), {"in-x"}},
        {"a master by ID, not an exception nor another profile's master",
         ByID<tagEventInfo>(&Seeded::events, &E::GetEventByID, {"in", "in-x", "p2"}),
         {"in", "", ""}},
        {"exception by ID reaches any row of the profile",
         ByID<tagEventInfo>(&Seeded::events, &E::GetExceptionByID, {"in-x", "in", "p2"}),
         {"in-x", "in", ""}},
        {"existence: any profile's event and task",
         [&](Seeded& s) {
             VARIANT_BOOL event = VARIANT_FALSE, task = VARIANT_FALSE;
             s.events->ExistEvent(nullptr, s.id["p2"], &event);
             s.tasks->ExistTask(nullptr, s.id["t2"], &task);
             return Subjects{event == VARIANT_TRUE ? "event" : "", task == VARIANT_TRUE ? "task" : ""};
         },
         {"event", "task"}},
        {"a task by ID: only the profile's",
         ByID<tagTaskInfo>(&Seeded::tasks, &ITaskAccess::GetTaskByID, {"t1", "t2"}),
         {"t1", ""}},
    });
}

TEST(CalendarRowsReached, WritesReachTheirRowsAndLeaveTheRest) {
    tagEventInfo changed{};
    const Bstr renamed(u"renamed");
    changed.bstrSubject = renamed;
    changed.dtStartDateTime = kFrom;
    changed.dtEndDateTime = kTo;
    tagTaskInfo changedTask{};
    changedTask.bstrSubject = renamed;
    RunCases({
        {"event delete takes its exceptions along",
         Leaves([](Seeded& s) { s.events->DeleteEventByID(nullptr, s.id["in"]); }),
         {"edge", "in-unsel", "in2", "out", "p2"}},
        {"event delete leaves another profile's event",
         Leaves([](Seeded& s) { s.events->DeleteEventByID(nullptr, s.id["p2"]); }),
         {"edge", "in", "in-unsel", "in-x", "in2", "out", "p2"}},
        {"events of a category: the profile's masters and exceptions",
         Leaves([](Seeded& s) { s.events->DeleteEventsByEventCategoryID(nullptr, s.id["sel"]); }),
         {"in-unsel", "in2", "p2"}},
        {"exception delete: one row of the profile",
         Leaves([](Seeded& s) {
             s.events->DeleteExceptionByID(nullptr, s.id["in-x"]);
             s.events->DeleteExceptionByID(nullptr, s.id["p2"]);
         }),
         {"edge", "in", "in-unsel", "in2", "out", "p2"}},
        {"all events of the profile", Leaves([](Seeded& s) { s.events->DeleteAllEvents(nullptr); }), {"p2"}},
        {"event and exception updates reach the profile's rows only",
         Leaves([&](Seeded& s) {
             s.events->ModifyEventByID(nullptr, s.id["out"], &changed);
             s.events->ModifyEventByID(nullptr, s.id["p2"], &changed);
             s.events->ModifyExceptionByID(nullptr, s.id["in-x"], &changed);
         }),
         {"edge", "in", "in-unsel", "in2", "p2", "renamed", "renamed"}},
        {"task update and delete by ID reach any profile",
         Leaves(
             [&](Seeded& s) {
                 s.tasks->ModifyTaskByID(nullptr, s.id["t2"], &changedTask);
                 s.tasks->DeleteTaskByID(nullptr, s.id["t1"]);
             },
             u"SELECT [Subject] FROM [tTask];"),
         {"renamed"}},
        {"a category delete leaves its events",
         Leaves([](Seeded& s) { s.categories->DeleteEventCategoryByID(nullptr, s.id["sel"]); },
                u"SELECT [EventCategoryName] FROM [tEventCategory] UNION ALL SELECT [Subject] FROM [tEvent];"),
         {"sel2", "unsel", "edge", "in", "in-unsel", "in-x", "in2", "out", "p2"}},
    });
}

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

// ---- Statements and their failures --------------------------------------------------

// Events of profile "1" over a recording connection.
class CalendarStatements : public ::testing::Test {
protected:
    PimDatabase db;
    ComPtr<CComObject<RecordingConnection>> recorder = RecordingConnection::Over(db.db());
    ComPtr<IEventAccess> events = db.Create<CEventAccess, IEventAccess>(u"1", recorder.get());
};

// Existence queries pass an error ID of their own (a proxy refuses NULL),
// never the caller's.
TEST_F(CalendarStatements, OnlyExistenceQueriesLeaveTheCallersErrorIdOut) {
    auto tasks = db.Create<CTaskAccess, ITaskAccess>(u"1", recorder.get());
    auto contacts = db.Create<CContactAccess, IContactAccess>(u"1", recorder.get());
    VARIANT_BOOL found;
    LONG err = kUntouched, n;
    RecordArray<tagEventInfo> a;
    for (auto [call, passed] : std::initializer_list<std::pair<std::function<void()>, bool>>{
             {[&] { events->ExistEvent(&err, Bstr(u"1"), &found); }, false},
             {[&] { tasks->ExistTask(&err, Bstr(u"1"), &found); }, false},
             {[&] { contacts->ExistContact(&err, Bstr(u"1"), &found); }, false},
             {[&] { events->GetAllEvents(&err, &n, &a); }, true}}) {
        recorder->TakeCalls();
        call();
        std::vector<RecordingConnection::Call> calls = recorder->TakeCalls();
        std::erase_if(calls, [](const auto& c) { return c.kind == "FreeResultset"; });
        ASSERT_EQ(calls.size(), 1u);
        EXPECT_EQ(calls[0].errorID == &err, passed) << calls[0].sql;
        EXPECT_EQ(err, kUntouched) << calls[0].sql;
    }
}

// A master's delete runs its exceptions' delete, then its own: a failure of
// either leaves the other done (nothing is rolled back), both report through
// the caller's error ID, and the master's decides the result.
TEST_F(CalendarStatements, FailedStatementOfAMasterDeleteIsReportedAndTheOtherStillRuns) {
    const struct {
        const char* failing;
        HRESULT hr;
        bool masterLeft;
    } cases[] = {{"[OriginalEventID] = ", S_OK, false}, {"AND [EventID] = ", E_FAIL, true}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.failing);
        recorder->FailExecutesContaining("");
        db.Exec(u"DELETE FROM [tEvent];");
        tagEventInfo e{};
        Bstr subject(u"meeting"), master, exception;
        e.bstrSubject = subject;
        ASSERT_EQ(events->AddEvent(nullptr, &e, &master), S_OK);
        ASSERT_EQ(events->AddException(nullptr, master, &e, &exception), S_OK);
        recorder->FailExecutesContaining(c.failing);
        LONG err = kUntouched;
        EXPECT_EQ(std::pair(events->DeleteEventByID(&err, master), err), std::pair(c.hr, PIMERR_EXECUTE_FAILED));
        EXPECT_EQ(db.Value(u"SELECT group_concat([EventID]) FROM [tEvent];"),
                  (c.masterLeft ? master : exception).utf8());
    }
}

}  // namespace
}  // namespace calyra::test
