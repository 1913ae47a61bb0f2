// Writing iCalendar that libical and this reader read back. That every
// sample file comes back the same through the records and a written file is
// the round-trip fuzz target's property, checked on its stored corpus.
#include <gtest/gtest.h>
#include <libical/ical.h>

#include "interchange/ical_reader.h"
#include "interchange/ical_writer.h"

namespace calyra::interchange {
namespace {

constexpr UtcSeconds kStamp = 1717200000;  // 2024-06-01T00:00:00Z

// Berlin's clocks go back at 03:00 on 31 October 2027: 02:30 comes twice.
// Its first pass keeps the zone; the second, which that wall time would
// not give back, is written in UTC.
TEST(ICalWriter, ZonedTimesReadBackAsTheSameMoments) {
    CalendarItem event;
    event.uid = "z";
    event.timeZone = "Europe/Berlin";
    event.start = DaysFromCivil(2027, 10, 31) * 86400 + 1800;  // 00:30Z, 02:30 summer time
    event.end = *event.start + 3600;                           // 01:30Z, 02:30 winter time
    const std::string text = WriteICalendar({event}, kStamp);
    EXPECT_NE(text.find("DTSTART;TZID=Europe/Berlin:20271031T023000\r\n"), std::string::npos) << text;
    EXPECT_NE(text.find("DTEND:20271031T013000Z\r\n"), std::string::npos) << text;
    CalendarItem back = ParseICalendar(text).items.at(0);
    back.line = 0;
    EXPECT_EQ(back, event) << text;
}

TEST(ICalWriter, LibicalParsesTheWholeFile) {
    CalendarItem event;
    event.uid = "e1@calyra";
    event.summary = "Lunch; with, \"friends\"\nand more";
    event.start = 1704103200;  // 2024-01-01T10:00:00Z
    event.end = event.start.value() + 3600;
    event.rrule = "FREQ=WEEKLY;COUNT=5;BYDAY=MO";
    event.alarmMinutes = 10;
    CalendarItem todo;
    todo.kind = ItemKind::Todo;
    todo.uid = "t1@calyra";
    todo.summary = std::string(200, 'x');
    todo.due = 1704067200;
    todo.allDay = true;
    const std::string text = WriteICalendar({event, todo}, kStamp);

    icalcomponent* calendar = icalparser_parse_string(text.c_str());
    ASSERT_TRUE(calendar);
    EXPECT_EQ(icalcomponent_count_components(calendar, ICAL_VEVENT_COMPONENT), 1);
    EXPECT_EQ(icalcomponent_count_components(calendar, ICAL_VTODO_COMPONENT), 1);
    EXPECT_EQ(icalcomponent_count_errors(calendar), 0);
    icalcomponent* parsed = icalcomponent_get_first_component(calendar, ICAL_VEVENT_COMPONENT);
    EXPECT_STREQ(icalcomponent_get_summary(parsed), event.summary.c_str());
    icalcomponent_free(calendar);

    for (size_t start = 0, at; (at = text.find("\r\n", start)) != std::string::npos; start = at + 2)
        EXPECT_LE(at - start, 75u) << text.substr(start, at - start);
    EXPECT_NE(text.find("DUE;VALUE=DATE:20240101\r\n"), std::string::npos) << text;
}

}  // namespace
}  // namespace calyra::interchange
