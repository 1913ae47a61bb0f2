// Writing iCalendar that libical and this reader read back. That every
// sample file comes back the same through the records and a written file,
// folded at 75 octets and read by libical without a complaint, is the
// round-trip fuzz target's property, checked on its stored corpus. That
// corpus holds a file whose VTIMEZONE contradicts the zone name it carries,
// where once UNTIL moved by an hour with each write and read; how such a
// zone reads is in the reader's zone table.
#include <gtest/gtest.h>

#include "interchange/ical_reader.h"
#include "interchange/ical_writer.h"

namespace calyra::interchange {
namespace {

constexpr UtcSeconds kStamp = 1717200000;  // 2024-06-01T00:00:00Z

// Berlin's clocks go back at 03:00 on 31 October 2027: 02:30 comes twice.
// Its first pass keeps the zone; the second, which that wall time would
// not give back, is written in UTC. The entries before it are more than
// the writer keeps in memory: the zone still comes before every entry.
TEST(ICalWriter, ZonedTimesReadBackAsTheSameMoments) {
    CalendarItem event;
    event.uid = "z";
    event.summary = std::string(2000, 'x');
    event.start = DaysFromCivil(2027, 10, 31) * 86400 + 1800;  // 00:30Z, 02:30 summer time
    event.end = *event.start + 3600;                           // 01:30Z, 02:30 winter time
    std::vector<CalendarItem> items(600, event);
    event.timeZone = "Europe/Berlin";
    items.push_back(event);
    const std::string text = WriteICalendar(items, kStamp);
    EXPECT_LT(text.find("BEGIN:VTIMEZONE"), text.find("BEGIN:VEVENT"));
    EXPECT_NE(text.find("DTSTART;TZID=Europe/Berlin:20271031T023000\r\n"), std::string::npos);
    EXPECT_NE(text.find("DTEND:20271031T013000Z\r\n"), std::string::npos);
    CalendarItem back = ParseICalendar(text).items.at(items.size() - 1);
    back.line = 0;
    back.original.clear();
    EXPECT_EQ(back, event) << text;
}

// An entry read from a file is written back as that entry with the item's
// fields laid over it: what the fields hold wins, the rest (X- properties,
// attendees, alarms after the first, extra dates) comes back as it came.
TEST(ICalWriter, AnEntryKeepsWhatTheFieldsHaveNoPlaceFor) {
    const std::string source =
        "BEGIN:VCALENDAR\r\nBEGIN:VEVENT\r\nUID:keep@example.org\r\nDTSTART:20270104T090000Z\r\n"
        "DTEND:20270104T100000Z\r\nSUMMARY:Old title\r\nPRIORITY:5\r\nX-ROOM-CODE:B-17\r\n"
        "ATTENDEE;CN=Ann;PARTSTAT=ACCEPTED:mailto:ann@example.org\r\nRDATE:20270110T090000Z\r\n"
        "BEGIN:VALARM\r\nACTION:DISPLAY\r\nDESCRIPTION:first\r\nTRIGGER:-PT10M\r\nEND:VALARM\r\n"
        "BEGIN:VALARM\r\nACTION:AUDIO\r\nTRIGGER:-PT1H\r\nEND:VALARM\r\nEND:VEVENT\r\nEND:VCALENDAR\r\n";
    CalendarItem item = ParseICalendar(source).items.at(0);
    ASSERT_EQ(item.rdates, std::vector<UtcSeconds>{DaysFromCivil(2027, 1, 10) * 86400 + 9 * 3600});
    item.summary = "New title";
    item.alarmMinutes = 20;
    const std::string written = WriteICalendar({item}, kStamp);
    for (const char* line : {"SUMMARY:New title\r\n", "X-ROOM-CODE:B-17\r\n", "ATTENDEE;CN=Ann;PARTSTAT=ACCEPTED:",
                             "RDATE:20270110T090000Z\r\n", "TRIGGER:-PT20M\r\n", "TRIGGER:-PT1H\r\n", "PRIORITY:5\r\n"})
        EXPECT_NE(written.find(line), std::string::npos) << line << " missing in\n" << written;
    for (const char* gone : {"Old title", "TRIGGER:-PT10M", "DTSTAMP:2026"})
        EXPECT_EQ(written.find(gone), std::string::npos) << gone << " still in\n" << written;
    CalendarItem back = ParseICalendar(written).items.at(0);
    EXPECT_EQ(WriteICalendar({back}, kStamp), written) << "written, read and written again";
}

}  // namespace
}  // namespace calyra::interchange
