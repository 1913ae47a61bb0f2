// Calendar events through IEventAccess, as a client sees them: masters and
// their exceptions. Whole records are checked with every family in
// record_families_test.cpp; the conditions that decide which rows a call
// reaches (masters only, ranges, selected categories, existence of any row,
// delete cascades) are pinned statement by statement in
// calendar_statements_test.cpp.
#include <gtest/gtest.h>

#include <functional>
#include <set>
#include <string>

#include "access/calendar/event_access.h"
#include "support/pim_fixture.h"
#include "support/record_compare.h"
#include "support/test_values.h"
#include "tables/value_conversions.h"

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
    EXPECT_EQ(events->AddEvent(nullptr, const_cast<tagEventInfo*>(&e.info), &id), S_OK);
    return id.utf8();
}

std::string AddException(IEventAccess* events, const std::string& masterID, const EventInput& e) {
    Bstr id;
    EXPECT_EQ(events->AddException(nullptr, Bstr::FromUtf8(masterID), const_cast<tagEventInfo*>(&e.info), &id), S_OK);
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
    RecordHolder<tagEventInfo> got;
    ASSERT_EQ(events->GetExceptionByID(nullptr, Bstr::FromUtf8(exception), &got), S_OK);
    EXPECT_TRUE(SameRecord(moved.info, got, {"bstrEventID", "dtModified"})) << "an exception is written whole";

    // Nothing checks the master an exception names.
    AddException(events.get(), "424242", EventInput(u"orphan"));
    EXPECT_EQ(ExceptionsOf(events.get(), "424242"), Subjects{"orphan"});
    EXPECT_FALSE(AddException(events.get(), "", EventInput(u"no master")).empty());
    EXPECT_EQ(Masters(events.get()), Subjects{"weekly"});
}

}  // namespace
}  // namespace calyra::test
