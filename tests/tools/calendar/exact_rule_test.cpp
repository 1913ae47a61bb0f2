// Rules the recurrence record cannot hold fall on the days the rule names:
// checked against python3-dateutil, an expander written independently of
// libical, over two years of occurrences.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "calendar/exact_rule.h"
#include "calendar/iso_date.h"
#include "calendar/occurrences.h"
#include "calendar/time_zone.h"
#include "calendar/zoned_occurrences.h"

namespace calyra::calendar {
namespace {

// "20260131T093000" <-> Date, as both sides of the comparison write it.
std::string Compact(Date d) {
    std::string iso = FormatIsoDate(d);  // 2026-01-31T09:30:00Z
    std::string out;
    for (char c : iso)
        if (c != '-' && c != ':' && c != 'Z') out += c;
    return out;
}
Date FromCompact(const std::string& s) {
    const std::string iso = s.substr(0, 4) + "-" + s.substr(4, 2) + "-" + s.substr(6, 2) + "T" + s.substr(9, 2) + ":" +
                            s.substr(11, 2) + ":" + s.substr(13, 2);
    return *TryParseIsoDate(iso);
}

// Each line in: rule|search start|from|to (from and to empty: the two
// years after the first occurrence). Each line out: the first occurrence,
// then the occurrences in the stretch, space-separated.
constexpr const char* kDateutil = R"(
import sys
from datetime import datetime, timedelta
from dateutil.rrule import rrulestr
fmt = '%Y%m%dT%H%M%S'
for line in sys.stdin:
    rule, start, lo, hi = line.rstrip('\n').split('|')
    first = next(iter(rrulestr(rule, dtstart=datetime.strptime(start, fmt))), None)
    if first is None:
        print('NONE')
        continue
    lo = datetime.strptime(lo, fmt) if lo else first
    hi = datetime.strptime(hi, fmt) if hi else first + timedelta(days=730)
    occ = rrulestr(rule, dtstart=first).between(lo, hi, inc=True)
    print(' '.join([first.strftime(fmt)] + [o.strftime(fmt) for o in occ]))
)";

struct Case {
    const char* rule;
    const char* searchStart;
    const char* from = "";
    const char* to = "";
};

// Runs dateutil over the cases; one output line per case, or nothing when
// python3 or dateutil is missing. Bounded: a hung interpreter is killed.
std::vector<std::string> Dateutil(const std::vector<Case>& cases) {
    const auto dir = std::filesystem::temp_directory_path() / ("exact_rule_" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir);
    std::ofstream(dir / "expand.py") << kDateutil;
    {
        std::ofstream in(dir / "cases.txt");
        for (const Case& c : cases) in << c.rule << '|' << c.searchStart << '|' << c.from << '|' << c.to << '\n';
    }
    const std::string command = "timeout 60 /usr/bin/python3 " + (dir / "expand.py").string() + " < " +
                                (dir / "cases.txt").string() + " > " + (dir / "out.txt").string() + " 2>/dev/null";
    std::vector<std::string> lines;
    if (std::system(command.c_str()) == 0) {
        std::ifstream out(dir / "out.txt");
        for (std::string line; std::getline(out, line);) lines.push_back(line);
    }
    std::filesystem::remove_all(dir);
    return lines;
}

TEST(ExactRule, OccurrencesOverTwoYearsEqualAnIndependentExpanders) {
    const std::vector<Case> cases = {
        {"FREQ=MONTHLY;BYMONTHDAY=31", "20260101T090000"},
        {"FREQ=MONTHLY;BYMONTHDAY=1,15", "20260101T090000"},
        {"FREQ=MONTHLY;BYMONTHDAY=-2", "20260101T080000"},
        {"FREQ=YEARLY;BYMONTH=6,12", "20260110T120000"},
        {"FREQ=YEARLY;BYMONTH=2;BYMONTHDAY=29", "20260101T070000"},
        {"FREQ=HOURLY;INTERVAL=7;COUNT=40", "20260329T000000"},
        {"FREQ=MINUTELY;INTERVAL=90;COUNT=30", "20261025T000000"},
        {"FREQ=SECONDLY;INTERVAL=3600;COUNT=5", "20260101T000000"},
        {"FREQ=DAILY;BYHOUR=9,17;COUNT=20", "20260101T000000"},
        {"FREQ=DAILY;INTERVAL=10;BYMONTH=1,7", "20260101T063000"},
        {"FREQ=WEEKLY;INTERVAL=2;BYDAY=MO,TH;UNTIL=20270630T235959", "20260105T100000"},
        {"FREQ=WEEKLY;WKST=SU;INTERVAL=2;BYDAY=SU,TU", "20260104T100000"},
        {"FREQ=MONTHLY;BYDAY=MO,TU,WE,TH,FR;BYSETPOS=-1", "20260101T170000"},
        {"FREQ=MONTHLY;BYDAY=2TU,-1FR", "20260101T170000"},
        {"FREQ=MONTHLY;BYDAY=FR;BYMONTHDAY=13", "20260101T170000"},
        {"FREQ=MONTHLY;INTERVAL=5;BYMONTHDAY=30", "20260101T100000"},
        {"FREQ=YEARLY;BYWEEKNO=20;BYDAY=MO", "20260101T090000"},
        {"FREQ=YEARLY;BYYEARDAY=1,100,-1", "20260101T090000"},
        {"FREQ=YEARLY;BYMONTH=3;BYDAY=-1SU;BYHOUR=2,3", "20260101T000000"},
        // Series that began long ago, seen in a later stretch.
        {"FREQ=MONTHLY;BYMONTHDAY=31", "19900101T090000", "20260101T000000", "20271231T235959"},
        {"FREQ=WEEKLY;INTERVAL=3;BYDAY=WE", "19950101T090000", "20260101T000000", "20271231T235959"},
        {"FREQ=DAILY;INTERVAL=11", "19970301T000000", "20260101T000000", "20271231T235959"},
        {"FREQ=MONTHLY;INTERVAL=7;BYDAY=1MO", "19800101T090000", "20260101T000000", "20271231T235959"},
    };
    const std::vector<std::string> expected = Dateutil(cases);
    if (expected.empty()) GTEST_SKIP() << "/usr/bin/python3 with dateutil is not available";
    ASSERT_EQ(expected.size(), cases.size());
    for (size_t i = 0; i < cases.size(); ++i) {
        const Case& c = cases[i];
        std::istringstream words(expected[i]);
        std::string first;
        words >> first;
        ASSERT_NE(first, "NONE") << c.rule;
        const Date start = FromCompact(first);
        const Date from = *c.from ? FromCompact(c.from) : start;
        const Date to = *c.to ? FromCompact(c.to) : SecondsToDate(DateToSeconds(start) + 730 * kSecondsPerDay);
        std::string got;
        for (Date d : ExactStarts(c.rule, {}, start, false, 0, from, to)) got += (got.empty() ? "" : " ") + Compact(d);
        std::string want, word;
        while (words >> word) want += (want.empty() ? "" : " ") + word;
        EXPECT_EQ(got, want) << c.rule << " from " << first;
    }
}

TEST(ExactRule, ExtraDatesJoinTheSeriesAndTheStartAlwaysCounts) {
    const Date start = *TryParseIsoDate("2026-03-02T09:00");
    const std::vector<Date> extra = {*TryParseIsoDate("2026-03-05T14:00"), *TryParseIsoDate("2026-03-02T09:00")};
    std::string got;
    for (Date d :
         ExactStarts("FREQ=WEEKLY;COUNT=2", extra, start, false, 3600, start, *TryParseIsoDate("2026-12-31T00:00")))
        got += FormatIsoDate(d) + " ";
    EXPECT_EQ(got, "2026-03-02T09:00:00Z 2026-03-05T14:00:00Z 2026-03-09T09:00:00Z ");
}

TEST(ExactRule, AZonedSeriesKeepsItsWallTimeAndReadsAUtcUntilInTheZone) {
    const TimeZone berlin = *TimeZone::Find("Europe/Berlin");
    CalendarEvent e;
    e.id = "1";
    e.start = berlin.toUtc(*TryParseIsoDate("2026-03-15T09:00"));
    e.end = berlin.toUtc(*TryParseIsoDate("2026-03-15T10:00"));
    // The 15th and the last day but one, until the 15 April 07:00Z, which
    // is 09:00 in Berlin: that start is still in.
    e.exactRule = "FREQ=MONTHLY;BYMONTHDAY=15,-2;UNTIL=20260415T070000Z";
    e.rule.frequency = Frequency::Monthly;
    std::string got;
    for (const auto& o :
         ExpandEventInZone(e, {}, *TryParseIsoDate("2026-01-01T00:00"), *TryParseIsoDate("2026-12-31T00:00"), berlin))
        got += FormatIsoDate(o.start) + " ";
    EXPECT_EQ(got, "2026-03-15T08:00:00Z 2026-03-30T07:00:00Z 2026-04-15T07:00:00Z ");
}

TEST(ExactRule, AnExceptionReplacesTheOccurrenceAtItsOriginalStart) {
    CalendarEvent e;
    e.id = "1";
    e.start = *TryParseIsoDate("2026-01-01T08:00");
    e.end = *TryParseIsoDate("2026-01-01T08:30");
    e.exactRule = "FREQ=HOURLY;INTERVAL=4;COUNT=4";
    CalendarEvent moved;
    moved.id = "2";
    moved.originalStart = *TryParseIsoDate("2026-01-01T12:00");
    moved.start = *TryParseIsoDate("2026-01-01T13:00");
    moved.end = *TryParseIsoDate("2026-01-01T13:30");
    CalendarEvent removed = moved;
    removed.id = "3";
    removed.originalStart = *TryParseIsoDate("2026-01-01T20:00");
    removed.canceled = true;
    std::string got;
    for (const auto& o :
         ExpandEvent(e, {moved, removed}, *TryParseIsoDate("2026-01-01T00:00"), *TryParseIsoDate("2026-01-02T00:00")))
        got += FormatIsoDate(o.start) + (o.exception ? "x " : " ");
    EXPECT_EQ(got, "2026-01-01T08:00:00Z 2026-01-01T13:00:00Zx 2026-01-01T16:00:00Z ");
}

TEST(ExactRule, ARuleLibicalCannotReadIsNamed) {
    EXPECT_EQ(ExactRuleProblem("FREQ=MONTHLY;BYMONTHDAY=31"), "");
    EXPECT_NE(ExactRuleProblem("FREQ=SOMETIMES"), "");
    EXPECT_NE(ExactRuleProblem("BYDAY=MO"), "");
}

}  // namespace
}  // namespace calyra::calendar
