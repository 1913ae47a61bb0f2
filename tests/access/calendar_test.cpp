// Calendar events through IEventAccess, as a client sees them: masters and
// their exceptions, the closed time ranges, the selected-category lists and
// rows of other profiles. Whole records are checked with every family in
// record_families_test.cpp, the statements in calendar_statements_test.cpp.
#include <gtest/gtest.h>

#include <functional>
#include <set>
#include <string>

#include "access/calendar/event_access.h"
#include "access/calendar/event_category_access.h"
#include "core/value_conversions.h"
#include "support/pim_fixture.h"
#include "support/record_compare.h"
#include "support/test_values.h"

namespace calyra::test {
namespace {

DATE At(int hour, int minute, int second = 0) { return DateFromParts(2020, 6, 15, hour, minute, second); }

// An event record with its texts kept alive beside it.
struct EventInput {
    explicit EventInput(const char16_t* subject, DATE start = At(10, 0), DATE end = At(11, 0),
                        const char16_t* categoryID = u"1")
        : subject(subject), categoryID(categoryID) {
        info.bstrSubject = this->subject;
        info.bstrEventCategoryID = this->categoryID;
        info.dtStartDateTime = start;
        info.dtEndDateTime = end;
    }
    Bstr subject, categoryID;
    tagEventInfo info{};
};

std::string AddEvent(IEventAccess* events, const EventInput& e) {
    Bstr id;
    LONG err = kUntouched;
    EXPECT_EQ(events->AddEvent(&err, const_cast<tagEventInfo*>(&e.info), &id), S_OK);
    EXPECT_EQ(err, kUntouched);
    return id.utf8();
}

std::string AddException(IEventAccess* events, const std::string& masterID, const EventInput& e) {
    Bstr id;
    EXPECT_EQ(events->AddException(nullptr, Bstr::FromUtf8(masterID), const_cast<tagEventInfo*>(&e.info), &id), S_OK);
    return id.utf8();
}

std::string AddCategory(IEventCategoryAccess* categories, const char16_t* name, bool selected) {
    Bstr n(name), id;
    tagEventCategoryInfo c{};
    c.bstrEventCategoryName = n;
    c.bIsSelected = selected;
    EXPECT_EQ(categories->AddEventCategory(nullptr, &c, &id), S_OK);
    return id.utf8();
}

// The subjects of a list, with its status checked.
using Subjects = std::multiset<std::string>;
Subjects SubjectsOf(const std::function<HRESULT(LONG*, SAFEARRAY**)>& list) {
    const std::vector<std::string> texts = TextsOf(&tagEventInfo::bstrSubject, list);
    return Subjects(texts.begin(), texts.end());
}
Subjects Masters(IEventAccess* events) {
    return SubjectsOf([&](LONG* n, SAFEARRAY** a) { return events->GetAllEvents(nullptr, n, a); });
}
Subjects ExceptionsOf(IEventAccess* events, const std::string& master) {
    return SubjectsOf(
        [&](LONG* n, SAFEARRAY** a) { return events->GetAllExceptions(nullptr, Bstr::FromUtf8(master), n, a); });
}
Subjects InCategory(IEventAccess* events, const char16_t* category, DATE from, DATE to) {
    return SubjectsOf([&](LONG* n, SAFEARRAY** a) {
        return events->GetEventsByEventCategoryID(nullptr, Bstr(category), from, to, n, a);
    });
}
Subjects Selected(IEventAccess* events, DATE from, DATE to) {
    return SubjectsOf([&](LONG* n, SAFEARRAY** a) { return events->GetAllSelectedEvents(nullptr, from, to, n, a); });
}

// ---- Masters and exceptions ---------------------------------------------------------

TEST(EventExceptions, ExceptionsOfAnyOrNoMasterStayOutOfTheMasterReads) {
    PimDatabase db;
    auto events = db.Create<CEventAccess, IEventAccess>();
    EventInput weekly(u"weekly");
    weekly.info.stRecurrence.ePattern = enumRecurrencePattern_Weekly;
    const std::string master = AddEvent(events.get(), weekly);
    EventInput moved(u"moved", At(14, 0), At(15, 0));
    moved.info.dtOriginalStartTime = At(10, 0);
    const std::string exception = AddException(events.get(), master, moved);

    EXPECT_EQ(Masters(events.get()), Subjects{"weekly"});
    EXPECT_EQ(ExceptionsOf(events.get(), master), Subjects{"moved"});
    EXPECT_EQ(InCategory(events.get(), u"1", At(0, 0), At(23, 0)), Subjects{"weekly"});

    RecordHolder<tagEventInfo> got;
    EXPECT_EQ(events->GetEventByID(nullptr, Bstr::FromUtf8(exception), &got), E_UNEXPECTED)
        << "an exception is not a master";
    ASSERT_EQ(events->GetExceptionByID(nullptr, Bstr::FromUtf8(exception), &got), S_OK);
    EXPECT_TRUE(SameRecord(moved.info, got, {"bstrEventID", "dtModified"}));
    VARIANT_BOOL found = VARIANT_FALSE;
    ASSERT_EQ(events->ExistEvent(nullptr, Bstr::FromUtf8(exception), &found), S_OK);
    EXPECT_EQ(found, VARIANT_TRUE) << "existence looks at every row";

    // Nothing checks the master an exception names.
    AddException(events.get(), "424242", EventInput(u"orphan"));
    EXPECT_EQ(ExceptionsOf(events.get(), "424242"), Subjects{"orphan"});
    EXPECT_FALSE(AddException(events.get(), "", EventInput(u"no master")).empty());
    EXPECT_EQ(Masters(events.get()), Subjects{"weekly"});
}

TEST(EventExceptions, DeletingAMasterTakesItsExceptionsButDeletingARowDoesNot) {
    PimDatabase db;
    auto events = db.Create<CEventAccess, IEventAccess>();
    const std::string m1 = AddEvent(events.get(), EventInput(u"m1"));
    AddException(events.get(), m1, EventInput(u"m1 x1"));
    AddException(events.get(), m1, EventInput(u"m1 x2"));
    const std::string m2 = AddEvent(events.get(), EventInput(u"m2"));
    const std::string x3 = AddException(events.get(), m2, EventInput(u"m2 x3"));

    ASSERT_EQ(events->DeleteEventByID(nullptr, Bstr::FromUtf8(m1)), S_OK);
    EXPECT_EQ(db.Value(u"SELECT group_concat([Subject], ',') FROM (SELECT [Subject] FROM [tEvent] ORDER BY 1);"),
              "m2,m2 x3");

    ASSERT_EQ(events->DeleteExceptionByID(nullptr, Bstr::FromUtf8(m2)), S_OK);
    EXPECT_EQ(Masters(events.get()), Subjects{});
    EXPECT_EQ(ExceptionsOf(events.get(), m2), Subjects{"m2 x3"}) << "the orphaned exception stays";
    ASSERT_EQ(events->DeleteExceptionByID(nullptr, Bstr::FromUtf8(x3)), S_OK);
    EXPECT_EQ(db.Value(u"SELECT COUNT(*) FROM [tEvent];"), "0");
}

// ---- Time ranges ---------------------------------------------------------------------

// An event from 10:00 to 11:00 overlaps a closed range when it starts at or
// before the range's end and ends at or after the range's start.
TEST(EventRanges, TheRangeIsClosedAtBothEndsAndRulesAreNotExpanded) {
    PimDatabase db;
    auto events = db.Create<CEventAccess, IEventAccess>();
    auto categories = db.Create<CEventCategoryAccess, IEventCategoryAccess>();
    const std::string category = AddCategory(categories.get(), u"work", true);
    const std::u16string cat = Utf8ToUtf16(category);
    AddEvent(events.get(), EventInput(u"meeting", At(10, 0), At(11, 0), cat.c_str()));
    const struct {
        const char* what;
        DATE from, to;
        bool found;
    } cases[] = {
        {"range starting when the event ends", At(11, 0), At(12, 0), true},
        {"range starting a second after it ends", At(11, 0, 1), At(12, 0), false},
        {"range ending when the event starts", At(9, 0), At(10, 0), true},
        {"range ending a second before it starts", At(9, 0), At(9, 59, 59), false},
        {"range inside the event", At(10, 15), At(10, 45), true},
        {"range around the event", At(9, 0), At(12, 0), true},
        {"an instant inside the event", At(10, 30), At(10, 30), true},
        {"start after end, both inside", At(10, 45), At(10, 15), true},
        {"the next day", At(10, 0) + 1, At(11, 0) + 1, false},
    };
    for (const auto& c : cases) {
        const Subjects want = c.found ? Subjects{"meeting"} : Subjects{};
        EXPECT_EQ(InCategory(events.get(), cat.c_str(), c.from, c.to), want) << c.what << " (by category)";
        EXPECT_EQ(Selected(events.get(), c.from, c.to), want) << c.what << " (selected categories)";
    }
    EXPECT_EQ(InCategory(events.get(), u"999", At(0, 0), At(23, 0)), Subjects{}) << "another category";

    EventInput daily(u"daily", At(10, 0), At(11, 0), cat.c_str());
    daily.info.stRecurrence.ePattern = enumRecurrencePattern_Daily;
    daily.info.stRecurrence.Daily.lEveryXDays = 1;
    AddEvent(events.get(), daily);
    EXPECT_EQ(InCategory(events.get(), cat.c_str(), At(10, 0) + 7, At(11, 0) + 7), Subjects{})
        << "a rule is stored, never expanded into occurrences";
}

// ---- Selected categories ------------------------------------------------------------

TEST(EventSelectedCategories, OnlyEventsOfExistingSelectedCategoriesAreListed) {
    PimDatabase db;
    auto events = db.Create<CEventAccess, IEventAccess>();
    auto categories = db.Create<CEventCategoryAccess, IEventCategoryAccess>();
    const std::u16string selected = Utf8ToUtf16(AddCategory(categories.get(), u"selected", true));
    const std::u16string deselected = Utf8ToUtf16(AddCategory(categories.get(), u"deselected", false));
    const std::u16string deleted = Utf8ToUtf16(AddCategory(categories.get(), u"deleted", true));
    const std::string master =
        AddEvent(events.get(), EventInput(u"in selected", At(10, 0), At(11, 0), selected.c_str()));
    AddException(events.get(), master, EventInput(u"exception", At(10, 0), At(11, 0), selected.c_str()));
    AddEvent(events.get(), EventInput(u"in deselected", At(10, 0), At(11, 0), deselected.c_str()));
    AddEvent(events.get(), EventInput(u"in deleted", At(10, 0), At(11, 0), deleted.c_str()));
    AddEvent(events.get(), EventInput(u"in no category", At(10, 0), At(11, 0), u"424242"));
    ASSERT_EQ(categories->DeleteEventCategoryByID(nullptr, Bstr(deleted)), S_OK);

    EXPECT_EQ(Selected(events.get(), At(0, 0), At(23, 0)), Subjects{"in selected"});
    EXPECT_EQ(Masters(events.get()).size(), 4u) << "deleting a category leaves its events";
    EXPECT_EQ(InCategory(events.get(), deleted.c_str(), At(0, 0), At(23, 0)), Subjects{"in deleted"});

    // Selecting is a change of the category's row.
    Bstr name(u"now selected");
    tagEventCategoryInfo change{};
    change.bstrEventCategoryName = name;
    change.bIsSelected = -1;
    ASSERT_EQ(categories->ModifyEventCategoryByID(nullptr, Bstr(deselected), &change), S_OK);
    change.bIsSelected = 0;
    ASSERT_EQ(categories->ModifyEventCategoryByID(nullptr, Bstr(selected), &change), S_OK);
    EXPECT_EQ(Selected(events.get(), At(0, 0), At(23, 0)), Subjects{"in deselected"});
}

}  // namespace
}  // namespace calyra::test
