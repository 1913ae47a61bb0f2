// Writing iCalendar that libical and this reader read back. That every
// sample file comes back the same through the records and a written file,
// folded at 75 octets and read by libical without a complaint, is the
// round-trip fuzz target's property, checked on its stored corpus.
#include <gtest/gtest.h>

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

}  // namespace
}  // namespace calyra::interchange
