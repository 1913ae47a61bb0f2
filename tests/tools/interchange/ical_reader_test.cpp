// Reading the iCalendar shapes that calendar programs write.
#include <gtest/gtest.h>

#include "fuzz/reader_checks.h"
#include "interchange/ical_reader.h"
#include "test_data.h"

namespace calyra::interchange {
namespace {

UtcSeconds At(int y, int mo, int d, int h = 0, int mi = 0) {
    return DaysFromCivil(y, mo, d) * 86400 + h * 3600 + mi * 60;
}

const CalendarItem* ByUid(const ICalParseResult& r, const std::string& uid, bool exception = false) {
    for (const auto& item : r.items)
        if (item.uid == uid && item.recurrenceId.has_value() == exception) return &item;
    return nullptr;
}

std::string Calendar(const std::string& entries) {
    return "BEGIN:VCALENDAR\r\nVERSION:2.0\r\n" + entries + "END:VCALENDAR\r\n";
}
std::string Event(const std::string& uid, const std::string& body = "") {
    return "BEGIN:VEVENT\r\nUID:" + uid + "\r\nDTSTART:20240105T120000Z\r\n" + body + "END:VEVENT\r\n";
}
// A zone at one offset all year.
std::string FixedZone(const std::string& tzid, const std::string& offset) {
    return "BEGIN:VTIMEZONE\r\nTZID:" + tzid +
           "\r\nBEGIN:STANDARD\r\nDTSTART:19700101T000000\r\nTZOFFSETFROM:" + offset + "\r\nTZOFFSETTO:" + offset +
           "\r\nEND:STANDARD\r\nEND:VTIMEZONE\r\n";
}

TEST(ICalReader, ReadsTheRfc5545Examples) {
    auto r = ParseICalendar(ReadData("ical/rfc5545_examples.ics"));
    ASSERT_EQ(r.items.size(), 4u);
    const CalendarItem& conference = r.items[0];
    EXPECT_EQ(std::tie(conference.kind, conference.start, conference.end, conference.line),
              std::make_tuple(ItemKind::Event, At(1996, 9, 18, 14, 30), At(1996, 9, 20, 22, 0), 4u));
    EXPECT_EQ(conference.categories, std::vector<std::string>{"CONFERENCE"});
    EXPECT_NE(conference.description.find("Exhibit\nAtlanta World Congress"), std::string::npos);

    const CalendarItem& anniversary = r.items[1];
    EXPECT_TRUE(anniversary.allDay);
    EXPECT_EQ(anniversary.start, At(1997, 11, 2));
    EXPECT_EQ(anniversary.end, At(1997, 11, 3)) << "a DATE start without an end lasts one day";
    EXPECT_EQ(std::tie(anniversary.rrule, anniversary.busyStatus, anniversary.classification),
              std::make_tuple("FREQ=YEARLY", "FREE", "CONFIDENTIAL"));

    const CalendarItem& taxes = r.items[2];
    EXPECT_EQ(std::tie(taxes.kind, taxes.start, taxes.due, taxes.allDay, taxes.status),
              std::make_tuple(ItemKind::Todo, std::nullopt, At(2007, 5, 1), true, "NEEDS-ACTION"));
    EXPECT_EQ(std::tie(r.items[3].completed, r.items[3].priority), std::make_tuple(At(2007, 7, 7, 10, 0), 1));
    EXPECT_EQ(r.report.unmapped, (std::map<std::string, size_t>{{"ORGANIZER", 1}}));
    EXPECT_TRUE(r.report.diagnostics.empty());
}

TEST(ICalReader, ResolvesZonesTheFileDoesNotDefine) {
    auto r = ParseICalendar(ReadData("ical/google_recurring.ics"));
    ASSERT_EQ(r.items.size(), 3u);
    const CalendarItem* club = ByUid(r, "5q2k1ab3cd4ef5gh6ij7kl8mn9@google.com");
    ASSERT_TRUE(club);
    EXPECT_EQ(club->start, At(2024, 7, 9, 22, 30)) << "New York in July is UTC-4";
    EXPECT_EQ(std::tie(club->rrule, club->location), std::make_tuple("FREQ=MONTHLY;BYDAY=2TU", "Library, Room B"));
    EXPECT_EQ(club->alarmMinutes, 60) << "the first alarm counts";
    const CalendarItem* lunch = ByUid(r, "floating-1@google.com");
    ASSERT_TRUE(lunch);
    EXPECT_EQ(lunch->start, At(2024, 11, 5, 18, 0)) << "local times follow X-WR-TIMEZONE (UTC-5 after DST)";
    EXPECT_EQ(r.report.unmapped.at("VALARM"), 1u) << "the second alarm has no place";
}

// How a TZID comes in: the UTC moment of its wall time, the IANA zone the
// item keeps, and what the report says of zones no name matches.
TEST(ICalReader, ZoneNamesBecomeIanaZonesOrAreReported) {
    struct Case {
        std::string tzid, zones;  // the TZID as written (none: floating); VTIMEZONEs in the file
        UtcSeconds start;
        std::string zone, report;  // kept zone; words of the one report line, or none
    };
    const Case cases[] = {
        {"", "", At(2027, 1, 4, 9, 30), "", ""},  // floating, and the calendar names no zone: UTC
        {"Europe/Berlin", "", At(2027, 1, 4, 8, 30), "Europe/Berlin", ""},
        {"America/New_York", "", At(2027, 1, 4, 14, 30), "America/New_York", ""},
        {"Australia/Lord_Howe", "", At(2027, 1, 3, 22, 30), "Australia/Lord_Howe", ""},
        {"Asia/Kolkata", "", At(2027, 1, 4, 4, 0), "Asia/Kolkata", ""},
        {"/mozilla.org/20050126_1/Europe/Berlin", "", At(2027, 1, 4, 8, 30), "Europe/Berlin", ""},
        {"\"W. Europe Standard Time\"", "", At(2027, 1, 4, 8, 30), "Europe/Berlin", ""},
        {"India Standard Time", "", At(2027, 1, 4, 4, 0), "Asia/Kolkata", ""},
        {"Asia/Calcutta", "", At(2027, 1, 4, 4, 0), "Asia/Kolkata", ""},  // an old name of the zone
        {"Office Time", FixedZone("Office Time", "+0300"), At(2027, 1, 4, 6, 30), "",
         "\"Office Time\" is no zone name"},
        // A definition contradicting its name: the times are the file's, the item keeps the name.
        {"Europe/Berlin", FixedZone("Europe/Berlin", "+0700"), At(2027, 1, 4, 2, 30), "Europe/Berlin", ""},
        {"Nowhere/Special", "", At(2027, 1, 4, 9, 30), "", "unknown time zone \"Nowhere/Special\""},
    };
    for (const auto& c : cases) {
        const std::string event = "BEGIN:VEVENT\r\nUID:e\r\nDTSTART" + (c.tzid.empty() ? "" : ";TZID=" + c.tzid) +
                                  ":20270104T093000\r\nEND:VEVENT\r\n";
        // Two entries in the zone: a zone the file defines is reported once.
        auto r = ParseICalendar("BEGIN:VCALENDAR\r\n" + c.zones + event + event + "END:VCALENDAR\r\n");
        ASSERT_EQ(r.items.size(), 2u) << c.tzid;
        EXPECT_EQ(r.items[0].start, c.start) << c.tzid;
        EXPECT_EQ(r.items[0].timeZone, c.zone) << c.tzid;
        const size_t lines = c.report.empty() ? 0 : c.zones.empty() ? 2 : 1;
        ASSERT_EQ(r.report.diagnostics.size(), lines) << c.tzid;
        for (const auto& d : r.report.diagnostics) EXPECT_NE(d.what.find(c.report), std::string::npos) << c.tzid;
    }
}

// Outlook escapes colons; other writers escape whatever they like. Only the
// escapes iCalendar defines mean something, and blanks at either end of a
// value cannot survive a write and a read, so they are never kept.
TEST(ICalReader, UnknownEscapesKeepTheirCharacterAndValuesHaveNoEndBlanks) {
    const CalendarItem item =
        ParseICalendar(Calendar(Event("e", "SUMMARY:Call 10\\:30\\, room\\;B\\nnow\\.\r\nLOCATION:\\tHall\\t\r\n")))
            .items.at(0);
    EXPECT_EQ(item.summary, "Call 10:30, room;B\nnow.");
    EXPECT_EQ(item.location, "Hall");
}

TEST(ICalReader, ReadsTasks) {
    auto r = ParseICalendar(ReadData("ical/thunderbird_tasks.ics"));
    ASSERT_EQ(r.items.size(), 2u);
    EXPECT_EQ(std::tie(r.items[0].start, r.items[0].due, r.items[0].alarmMinutes),
              std::make_tuple(At(2024, 3, 1, 8, 0), At(2024, 5, 31, 15, 0), 30));
    EXPECT_EQ(std::tie(r.items[1].allDay, r.items[1].completed, r.items[1].percentComplete),
              std::make_tuple(true, At(2024, 3, 2, 10, 15), 100));
}

TEST(ICalReader, AlarmsCountedFromTheEndOrAtAFixedTime) {
    // The trigger of an event from 12:00 to 14:00; minutes before the
    // start, or before the end as the file counts them.
    const std::tuple<const char*, int, bool> cases[] = {
        {"TRIGGER;RELATED=END:-PT30M", 30, true},
        {"TRIGGER;VALUE=DATE-TIME:20240105T110000Z", 60, false},
        {"TRIGGER:PT5M", -5, false},
    };
    for (const auto& [trigger, minutes, fromEnd] : cases) {
        const std::string alarm = std::string("BEGIN:VALARM\r\nACTION:DISPLAY\r\n") + trigger + "\r\nEND:VALARM\r\n";
        const CalendarItem item =
            ParseICalendar(Calendar(Event("a", "DTEND:20240105T140000Z\r\n" + alarm))).items.at(0);
        EXPECT_EQ(std::tie(item.alarmMinutes, item.alarmFromEnd), std::make_tuple(minutes, fromEnd)) << trigger;
    }
}

TEST(ICalReader, SkipsBrokenEntriesWithTheirLinesAndKeepsTheRest) {
    auto r = ParseICalendar(ReadData("ical/malformed.ics"));
    std::vector<std::string> uids;
    for (const auto& item : r.items) uids.push_back(item.uid);
    EXPECT_EQ(uids, (std::vector<std::string>{"good-1", "good-2", "todo-ok"}));
    EXPECT_EQ(r.items[1].start, At(2024, 1, 4, 10, 0)) << "an unknown zone reads as UTC";
    ExpectDiagnostics(r.report.diagnostics, {{8, true, "no readable start"},
                                             {15, true, "no ':'"},
                                             {17, true, "no END:VEVENT before line 20"},
                                             {20, false, "Nowhere/Special"}});
}

TEST(ICalReader, RefusesZoneRulesThatWouldExpandWithoutEnd) {
    // With FREQ=SECONDLY this file once hung the import and filled memory.
    const std::string file = ReadData("ical/zone_rule_without_end.ics");
    const std::pair<const char*, const char*> cases[] = {
        {"FREQ=SECONDLY", "FREQ=SECONDLY repeats more often than yearly"},
        {"FREQ=MINUTELY", "FREQ=MINUTELY repeats more often than yearly"},
        {"FREQ=YEARLY;INTERVAL=2", "skips years"},
        {"FREQ=YEARLY;BYMONTH=2;BYMONTHDAY=30", "days its months do not have"},
        {"FREQ=YEARLY;BYMONTH=3;BYDAY=6SU", "a weekday its months do not have"},
        {"FREQ=YEARLY;BYMONTH=13", "never matches"},
        {"FREQ=YEARLY;BYMONTH=1,2,3,4,5,6,7,8,9,10,11,12;BYDAY=SU", "more than 10000 offset changes"},
    };
    for (const auto& [rule, words] : cases) {
        SCOPED_TRACE(rule);
        std::string text = file;
        auto r = ParseICalendar(text.replace(text.find("FREQ=SECONDLY"), 13, rule));
        ASSERT_EQ(r.items.size(), 1u);
        EXPECT_EQ(r.items[0].start, At(2024, 1, 1)) << "the event is kept, its time read as UTC";
        // The zone is refused where it starts, and the event says its zone is unknown.
        ExpectDiagnostics(r.report.diagnostics, {{1, false, words}, {9, false, ""}});
    }
}

// A fold may fall inside a UTF-8 sequence (RFC 5545 folds by octets, and
// some writers count them badly); only the unfolded line says whether the
// text is UTF-8. Once, the whole calendar was read as Windows-1252 then.
TEST(ICalReader, AFoldInsideAUtf8SequenceGarblesNothing) {
    auto r = ParseICalendar(Calendar(Event("a", "SUMMARY:Caf\xC3\r\n \xA9 au lait\r\nLOCATION:Z\xC3\xBCrich\r\n")));
    ASSERT_EQ(r.items.size(), 1u);
    EXPECT_EQ(r.items[0].summary, "Café au lait");
    EXPECT_EQ(r.items[0].location, "Zürich") << "a line never split is UTF-8 all the same";
    EXPECT_TRUE(r.report.diagnostics.empty()) << r.report.diagnostics[0].what;

    // A line that is not UTF-8 even unfolded is Windows-1252; its neighbours stay UTF-8.
    auto mixed = ParseICalendar(Calendar(Event("b", "SUMMARY:Caf\xE9 \x80\r\nLOCATION:Z\xC3\xBCrich\r\n")));
    ASSERT_EQ(mixed.items.size(), 1u);
    EXPECT_EQ(std::tie(mixed.items[0].summary, mixed.items[0].location), std::make_tuple("Café €", "Zürich"));
    ExpectDiagnostics(mixed.report.diagnostics, {{6, false, "not UTF-8"}});
}

// libical reads a line in quadratic time: a 50 MB line once did not finish
// in ten minutes. Long lines are bounded before they reach it.
TEST(ICalReader, OverlongLinesAreCutOrLeftOutAndReported) {
    const std::string huge(8 << 20, 'x');
    std::string description = "DESCRIPTION:\xC3\xA9" + huge + "\r\n";
    auto r = ParseICalendar(Calendar(Event("cut", description + "X-BLOB:" + huge + "\r\n") +
                                     Event("gone", "RRULE:FREQ=DAILY;X-PAD=" + huge + "\r\n") + Event("none", "") +
                                     "BEGIN:VEVENT\r\nUID:nostart\r\nDTSTART:" + huge + "\r\nEND:VEVENT\r\n"));
    ASSERT_EQ(r.items.size(), 3u);
    const CalendarItem& cut = r.items[0];
    EXPECT_LE(cut.description.size(), 256u * 1024);
    EXPECT_GE(cut.description.size(), 255u * 1024);
    EXPECT_EQ(cut.description.substr(0, 3), "éx") << "the text keeps its start";
    EXPECT_TRUE(r.items[1].rrule.empty()) << "a long property that is no text is left out";
    ExpectDiagnostics(r.report.diagnostics, {{6, false, "DESCRIPTION is 8388622 bytes long; cut"},
                                             {7, false, "X-BLOB is"},
                                             {12, false, "RRULE is"},
                                             {20, false, "DTSTART is"},
                                             {18, true, "no readable start"}});
}

// What a batch interface must keep: the same items, diagnostics and counts,
// in file order, with lines counted in the whole file: the reader fuzz
// target's check, which runs it on its corpus (the sample files and what
// fuzzing found), run here on shapes that are not in it.
TEST(ICalReader, ReadingInBatchesGivesWhatAWholeReadGives) {
    // Zones defined after the entries that use them, a second calendar with
    // its own floating zone, stray text and a calendar without END; then an
    // entry on its own, its last line without a line break.
    const std::string files[] = {
        Calendar(Event("early", "DTEND;TZID=Late/Zone:20240105T150000\r\n") + FixedZone("Late/Zone", "+0300")) +
            "stray\r\nBEGIN:VCALENDAR\r\nX-WR-TIMEZONE:Europe/Paris\r\n" +
            Event("floating", "DTEND:20240105T130000\r\nX-ONE:1\r\n") + Event("x", "X-ONE:2\r\n"),
        Event("bare") + Event("last").substr(0, Event("last").size() - 2),
    };
    std::vector<ICalParseResult> whole;
    for (const std::string& file : files)
        whole.push_back(calyra::fuzz::CheckReader(
            file, &ICalParseResult::items, [](std::string_view bytes) { return ParseICalendar(bytes); },
            [](std::string_view bytes, size_t perBatch, const auto& visit) {
                ReadICalendarBatches(bytes, perBatch, visit);
            },
            true));
    const ICalParseResult& late = whole[0];
    ASSERT_EQ(late.items.size(), 3u);
    EXPECT_EQ(late.items[0].end, At(2024, 1, 5, 12, 0)) << "a zone defined after its entry still counts";
    EXPECT_EQ(late.items[1].end, At(2024, 1, 5, 12, 0)) << "the second calendar's floating zone";
    EXPECT_EQ(late.items[2].line, 26u);
}

TEST(ICalReader, ReadsNothingFromAFileThatIsNoCalendar) {
    auto r = ParseICalendar("this is\nnot a calendar\n");
    EXPECT_TRUE(r.items.empty());
    ExpectDiagnostics(r.report.diagnostics, {{1, false, ""}});
}

}  // namespace
}  // namespace calyra::interchange
