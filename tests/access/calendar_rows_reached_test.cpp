// Which rows each event, category and task call reaches, as behaviour: one
// seeded database per case (two profiles, selected and unselected
// categories, masters inside, outside and on the edge of a time range, an
// exception), the call, and the subjects it returns or leaves behind. The
// profile, master-link, range and category conditions of the statements
// are what these rows pin down, whatever the statements' text. That quotes
// in IDs stay text is swept for every operation in every_interface_test.cpp.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "access/calendar/event_access.h"
#include "access/calendar/event_category_access.h"
#include "access/tasks/task_access.h"
#include "support/pim_fixture.h"
#include "tables/value_conversions.h"

namespace calyra::test {
namespace {

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
    Subjects StoredEvents() const { return Column(u"SELECT [Subject] FROM [tEvent];"); }
    Subjects StoredTasks() const { return Column(u"SELECT [Subject] FROM [tTask];"); }
    Subjects StoredCategories() const { return Column(u"SELECT [EventCategoryName] FROM [tEventCategory];"); }
};

Subjects SubjectsOf(const RecordArray<tagEventInfo>& a) {
    Subjects out;
    for (const auto& e : a) out.push_back(Text(e.bstrSubject));
    return Sorted(out);
}

// The subject of a one-record call; "" when it found nothing.
template <class Record>
std::string SubjectOf(HRESULT hr, const RecordHolder<Record>& r) {
    return SUCCEEDED(hr) ? Text(r.bstrSubject) : std::string();
}

struct Case {
    const char* what;
    std::function<Subjects(Seeded&)> call;  // what the call returns, or what it leaves stored
    Subjects expected;
};

void RunCases(std::initializer_list<Case> cases) {
    for (const Case& c : cases) {
        Seeded s;
        EXPECT_EQ(Sorted(c.call(s)), Sorted(c.expected)) << c.what;
    }
}

TEST(CalendarRowsReached, ReadsReachTheirProfileMastersRangeAndCategories) {
    LONG n;
    RunCases({
        {"masters of one category overlapping the range, the edge included",
         [&](Seeded& s) {
             RecordArray<tagEventInfo> a;
             s.events->GetEventsByEventCategoryID(nullptr, s.id["sel"], kFrom, kTo, &n, &a);
             return SubjectsOf(a);
         },
         {"edge", "in"}},
        {"masters of every selected category overlapping the range",
         [&](Seeded& s) {
             RecordArray<tagEventInfo> a;
             s.events->GetAllSelectedEvents(nullptr, kFrom, kTo, &n, &a);
             return SubjectsOf(a);
         },
         {"edge", "in", "in2"}},
        {"all events: the profile's masters",
         [&](Seeded& s) {
             RecordArray<tagEventInfo> a;
             s.events->GetAllEvents(nullptr, &n, &a);
             return SubjectsOf(a);
         },
         {"edge", "in", "in-unsel", "in2", "out"}},
        {"exceptions of a master",
         [&](Seeded& s) {
             RecordArray<tagEventInfo> a;
             s.events->GetAllExceptions(nullptr, s.id["in"], &n, &a);
             return SubjectsOf(a);
         },
         {"in-x"}},
        {"a master by ID",
         [&](Seeded& s) {
             RecordHolder<tagEventInfo> r;
             return Subjects{SubjectOf(s.events->GetEventByID(nullptr, s.id["in"], &r), r)};
         },
         {"in"}},
        {"an exception is not a master",
         [&](Seeded& s) {
             RecordHolder<tagEventInfo> r;
             return Subjects{SubjectOf(s.events->GetEventByID(nullptr, s.id["in-x"], &r), r)};
         },
         {""}},
        {"another profile's master is not reached",
         [&](Seeded& s) {
             RecordHolder<tagEventInfo> r;
             return Subjects{SubjectOf(s.events->GetEventByID(nullptr, s.id["p2"], &r), r)};
         },
         {""}},
        {"exception by ID reaches any row of the profile",
         [&](Seeded& s) {
             RecordHolder<tagEventInfo> a, b, c;
             return Subjects{SubjectOf(s.events->GetExceptionByID(nullptr, s.id["in-x"], &a), a),
                             SubjectOf(s.events->GetExceptionByID(nullptr, s.id["in"], &b), b),
                             SubjectOf(s.events->GetExceptionByID(nullptr, s.id["p2"], &c), c)};
         },
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
         [&](Seeded& s) {
             RecordHolder<tagTaskInfo> a, b;
             return Subjects{SubjectOf(s.tasks->GetTaskByID(nullptr, s.id["t1"], &a), a),
                             SubjectOf(s.tasks->GetTaskByID(nullptr, s.id["t2"], &b), b)};
         },
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
    const Subjects all{"edge", "in", "in-unsel", "in-x", "in2", "out", "p2"};
    RunCases({
        {"event delete takes its exceptions along",
         [&](Seeded& s) {
             s.events->DeleteEventByID(nullptr, s.id["in"]);
             return s.StoredEvents();
         },
         {"edge", "in-unsel", "in2", "out", "p2"}},
        {"event delete leaves another profile's event",
         [&](Seeded& s) {
             s.events->DeleteEventByID(nullptr, s.id["p2"]);
             return s.StoredEvents();
         },
         all},
        {"events of a category: the profile's masters and exceptions",
         [&](Seeded& s) {
             s.events->DeleteEventsByEventCategoryID(nullptr, s.id["sel"]);
             return s.StoredEvents();
         },
         {"in-unsel", "in2", "p2"}},
        {"exception delete: one row of the profile",
         [&](Seeded& s) {
             s.events->DeleteExceptionByID(nullptr, s.id["in-x"]);
             s.events->DeleteExceptionByID(nullptr, s.id["p2"]);
             return s.StoredEvents();
         },
         {"edge", "in", "in-unsel", "in2", "out", "p2"}},
        {"all events of the profile",
         [&](Seeded& s) {
             s.events->DeleteAllEvents(nullptr);
             return s.StoredEvents();
         },
         {"p2"}},
        {"event and exception updates reach the profile's rows only",
         [&](Seeded& s) {
             s.events->ModifyEventByID(nullptr, s.id["out"], &changed);
             s.events->ModifyEventByID(nullptr, s.id["p2"], &changed);
             s.events->ModifyExceptionByID(nullptr, s.id["in-x"], &changed);
             return s.StoredEvents();
         },
         {"edge", "in", "in-unsel", "in2", "p2", "renamed", "renamed"}},
        {"task update and delete by ID reach any profile",
         [&](Seeded& s) {
             s.tasks->ModifyTaskByID(nullptr, s.id["t2"], &changedTask);
             s.tasks->DeleteTaskByID(nullptr, s.id["t1"]);
             return s.StoredTasks();
         },
         {"renamed"}},
        {"a category delete leaves its events",
         [&](Seeded& s) {
             s.categories->DeleteEventCategoryByID(nullptr, s.id["sel"]);
             Subjects left = s.StoredCategories();
             for (const auto& e : s.StoredEvents()) left.push_back(e);
             return left;
         },
         {"sel2", "unsel", "edge", "in", "in-unsel", "in-x", "in2", "out", "p2"}},
    });
}

}  // namespace
}  // namespace calyra::test
