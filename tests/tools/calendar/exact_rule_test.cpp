// Rules the recurrence record cannot hold fall on the days the rule names:
// checked against python3-dateutil, an expander written independently of
// libical, over two years of occurrences.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>

#include "calendar/exact_rule.h"
#include "calendar/iso_date.h"
#include "calendar/occurrences.h"
#include "calendar/time_zone.h"
#include "calendar/zoned_occurrences.h"

namespace calyra::calendar {
namespace {

Date At(const char* text) { return *TryParseIsoDate(text); }

// Each line in: rule|search start|from|to (from and to empty: the two
// years after the first occurrence). Each line out: the first occurrence,
// then the occurrences in the stretch, space-separated, as FormatIsoDate
// writes them.
constexpr const char* kDateutil = R"(
import sys
from datetime import datetime, timedelta
from dateutil.rrule import rrulestr
fmt = '%Y-%m-%dT%H:%M:%S'
for line in sys.stdin:
    rule, start, lo, hi = line.rstrip('\n').split('|')
    first = next(iter(rrulestr(rule, dtstart=datetime.strptime(start, fmt))), None)
    if first is None:
        print('NONE')
        continue
    lo = datetime.strptime(lo, fmt) if lo else first
    hi = datetime.strptime(hi, fmt) if hi else first + timedelta(days=730)
    occ = rrulestr(rule, dtstart=first).between(lo, hi, inc=True)
    print(' '.join(o.strftime(fmt + 'Z') for o in [first] + occ))
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
        {"FREQ=MONTHLY;BYMONTHDAY=31", "2026-01-01T09:00:00"},
        {"FREQ=MONTHLY;BYMONTHDAY=1,15", "2026-01-01T09:00:00"},
        {"FREQ=MONTHLY;BYMONTHDAY=-2", "2026-01-01T08:00:00"},
        {"FREQ=YEARLY;BYMONTH=6,12", "2026-01-10T12:00:00"},
        {"FREQ=YEARLY;BYMONTH=2;BYMONTHDAY=29", "2026-01-01T07:00:00"},
        {"FREQ=HOURLY;INTERVAL=7;COUNT=40", "2026-03-29T00:00:00"},
        {"FREQ=MINUTELY;INTERVAL=90;COUNT=30", "2026-10-25T00:00:00"},
        {"FREQ=SECONDLY;INTERVAL=3600;COUNT=5", "2026-01-01T00:00:00"},
        {"FREQ=DAILY;BYHOUR=9,17;COUNT=20", "2026-01-01T00:00:00"},
        {"FREQ=DAILY;INTERVAL=10;BYMONTH=1,7", "2026-01-01T06:30:00"},
        {"FREQ=WEEKLY;INTERVAL=2;BYDAY=MO,TH;UNTIL=20270630T235959", "2026-01-05T10:00:00"},
        {"FREQ=WEEKLY;WKST=SU;INTERVAL=2;BYDAY=SU,TU", "2026-01-04T10:00:00"},
        {"FREQ=MONTHLY;BYDAY=MO,TU,WE,TH,FR;BYSETPOS=-1", "2026-01-01T17:00:00"},
        {"FREQ=MONTHLY;BYDAY=2TU,-1FR", "2026-01-01T17:00:00"},
        {"FREQ=MONTHLY;BYDAY=FR;BYMONTHDAY=13", "2026-01-01T17:00:00"},
        {"FREQ=MONTHLY;INTERVAL=5;BYMONTHDAY=30", "2026-01-01T10:00:00"},
        {"FREQ=YEARLY;BYWEEKNO=20;BYDAY=MO", "2026-01-01T09:00:00"},
        {"FREQ=YEARLY;BYYEARDAY=1,100,-1", "2026-01-01T09:00:00"},
        {"FREQ=YEARLY;BYMONTH=3;BYDAY=-1SU;BYHOUR=2,3", "2026-01-01T00:00:00"},
        // Series that began long ago, seen in a later stretch.
        {"FREQ=MONTHLY;BYMONTHDAY=31", "1990-01-01T09:00:00", "2026-01-01T00:00:00", "2027-12-31T23:59:59"},
        {"FREQ=WEEKLY;INTERVAL=3;BYDAY=WE", "1995-01-01T09:00:00", "2026-01-01T00:00:00", "2027-12-31T23:59:59"},
        {"FREQ=DAILY;INTERVAL=11", "1997-03-01T00:00:00", "2026-01-01T00:00:00", "2027-12-31T23:59:59"},
        {"FREQ=MONTHLY;INTERVAL=7;BYDAY=1MO", "1980-01-01T09:00:00", "2026-01-01T00:00:00", "2027-12-31T23:59:59"},
    };
    const std::vector<std::string> expected = Dateutil(cases);
    if (expected.empty()) GTEST_SKIP() << "/usr/bin/python3 with dateutil is not available";
    ASSERT_EQ(expected.size(), cases.size());
    for (size_t i = 0; i < cases.size(); ++i) {
        const Case& c = cases[i];
        SCOPED_TRACE(c.rule);
        std::istringstream line(expected[i]);
        const std::vector<std::string> want{std::istream_iterator<std::string>(line), {}};
        ASSERT_NE(want.at(0), "NONE");
        const Date start = At(want[0].c_str());
        const Date from = *c.from ? At(c.from) : start;
        const Date to = *c.to ? At(c.to) : SecondsToDate(DateToSeconds(start) + 730 * kSecondsPerDay);
        std::vector<std::string> got{want[0]};
        for (Date d : ExactStarts(c.rule, {}, start, false, 0, from, to)) got.push_back(FormatIsoDate(d));
        EXPECT_EQ(got, want);
    }
}

TEST(ExactRule, ExtraDatesJoinTheSeriesAndTheStartAlwaysCounts) {
    const Date start = At("2026-03-02T09:00");
    const std::vector<Date> extra = {At("2026-03-05T14:00"), At("2026-03-02T09:00")};
    std::string got;
    for (Date d : ExactStarts("FREQ=WEEKLY;COUNT=2", extra, start, false, 3600, start, At("2026-12-31T00:00")))
        got += FormatIsoDate(d) + " ";
    EXPECT_EQ(got, "2026-03-02T09:00:00Z 2026-03-05T14:00:00Z 2026-03-09T09:00:00Z ");
}

TEST(ExactRule, AZonedSeriesKeepsItsWallTimeAndReadsAUtcUntilInTheZone) {
    const TimeZone berlin = *TimeZone::Find("Europe/Berlin");
    CalendarEvent e;
    e.id = "1";
    e.start = berlin.toUtc(At("2026-03-15T09:00"));
    e.end = berlin.toUtc(At("2026-03-15T10:00"));
    // The 15th and the last day but one, until the 15 April 07:00Z, which
    // is 09:00 in Berlin: that start is still in.
    e.exactRule = "FREQ=MONTHLY;BYMONTHDAY=15,-2;UNTIL=20260415T070000Z";
    e.rule.frequency = Frequency::Monthly;
    std::string got;
    for (const auto& o : ExpandEventInZone(e, {}, At("2026-01-01T00:00"), At("2026-12-31T00:00"), berlin))
        got += FormatIsoDate(o.start) + " ";
    EXPECT_EQ(got, "2026-03-15T08:00:00Z 2026-03-30T07:00:00Z 2026-04-15T07:00:00Z ");
}

TEST(ExactRule, AnExceptionReplacesTheOccurrenceAtItsOriginalStart) {
    CalendarEvent e;
    e.id = "1";
    e.start = At("2026-01-01T08:00");
    e.end = At("2026-01-01T08:30");
    e.exactRule = "FREQ=HOURLY;INTERVAL=4;COUNT=4";
    CalendarEvent moved;
    moved.id = "2";
    moved.originalStart = At("2026-01-01T12:00");
    moved.start = At("2026-01-01T13:00");
    moved.end = At("2026-01-01T13:30");
    CalendarEvent removed = moved;
    removed.id = "3";
    removed.originalStart = At("2026-01-01T20:00");
    removed.canceled = true;
    std::string got;
    for (const auto& o : ExpandEvent(e, {moved, removed}, At("2026-01-01T00:00"), At("2026-01-02T00:00")))
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
