// Time zones: wall time and UTC both ways across clock changes (including
// Lord Howe's half-hour one and a zone without daylight saving), the
// readings of the gap and the repeated hour, the stable zone numbers,
// occurrences at the edges of a stretch, and moments shown and read as wall
// time. That a series keeps its wall time across clock changes is the
// client's zone scenario, which runs every view through the expansion.
#include <gtest/gtest.h>

#include <cstdlib>

#include "calendar/iso_date.h"
#include "calendar/time_zone.h"
#include "calendar/zoned_occurrences.h"
#include "calendar/zoned_text.h"

namespace calyra::calendar {
namespace {

Date At(int y, int mo, int d, int h, int mi) { return FromCivil({y, mo, d, h, mi, 0}); }

TEST(TimeZone, WallTimesTurnIntoUtcAndBackAcrossClockChanges) {
    const std::tuple<const char*, Date, const char*> cases[] = {
        {"Europe/Berlin", At(2027, 2, 10, 9, 30), "2027-02-10T08:30:00Z"},
        {"Europe/Berlin", At(2027, 4, 10, 9, 30), "2027-04-10T07:30:00Z"},
        {"europe/berlin", At(2090, 7, 1, 9, 30), "2090-07-01T07:30:00Z"},
        {"America/New_York", At(2027, 1, 15, 9, 0), "2027-01-15T14:00:00Z"},
        {"America/New_York", At(2027, 7, 15, 9, 0), "2027-07-15T13:00:00Z"},
        {"Australia/Lord_Howe", At(2027, 1, 10, 9, 0), "2027-01-09T22:00:00Z"},
        {"Australia/Lord_Howe", At(2027, 7, 10, 9, 0), "2027-07-09T22:30:00Z"},
        {"Asia/Kolkata", At(2027, 7, 10, 9, 0), "2027-07-10T03:30:00Z"},
        {"UTC", At(2027, 7, 10, 9, 0), "2027-07-10T09:00:00Z"},
        // Spring forward in Berlin: 02:30 does not exist and reads with the
        // offset before the change; 02:30 on the autumn night comes twice
        // and reads as the first.
        {"Europe/Berlin", At(2027, 3, 28, 2, 30), "2027-03-28T01:30:00Z"},
        {"Europe/Berlin", At(2027, 10, 31, 2, 30), "2027-10-31T00:30:00Z"},
    };
    for (const auto& [name, wall, utc] : cases) {
        SCOPED_TRACE(std::string(name) + " " + FormatIsoDate(wall));
        const auto zone = TimeZone::Find(name);
        ASSERT_TRUE(zone);
        EXPECT_EQ(FormatIsoDate(zone->toUtc(wall)), utc);
        const bool inTheGap = FormatIsoDate(wall) == "2027-03-28T02:30:00Z";
        if (!inTheGap) {
            EXPECT_EQ(FormatIsoDate(zone->toLocal(zone->toUtc(wall))), FormatIsoDate(wall));
        }
    }
    EXPECT_EQ(FormatOffset(TimeZone::Find("Asia/Kolkata")->offsetAt(At(2027, 1, 1, 0, 0))), "+05:30");
    EXPECT_EQ(FormatOffset(TimeZone::Find("America/New_York")->offsetAt(At(2027, 1, 1, 0, 0))), "-05:00");
    EXPECT_EQ(TimeZone::Find("Europe/Berlin")->abbreviation(At(2027, 7, 1, 0, 0)), "CEST");
    EXPECT_FALSE(TimeZone::Find("Mars/Olympus_Mons"));
    EXPECT_FALSE(TimeZone::Find(""));
}

// The numbers are written into people's files: these must never change.
TEST(TimeZone, RecordedNumbersNameTheSameZonesForever) {
    const std::pair<std::uint32_t, const char*> pinned[] = {{1, "UTC"},
                                                            {155, "America/New_York"},
                                                            {248, "Asia/Kolkata"},
                                                            {309, "Australia/Lord_Howe"},
                                                            {318, "Europe/Berlin"}};
    for (const auto& [number, name] : pinned) {
        const auto zone = TimeZone::FromNumber(number);
        ASSERT_TRUE(zone) << number;
        EXPECT_EQ(zone->name(), name);
        EXPECT_EQ(TimeZone::Find(name)->number(), number);
    }
    EXPECT_FALSE(TimeZone::FromNumber(0));
    EXPECT_FALSE(TimeZone::FromNumber(static_cast<std::uint32_t>(NumberedZoneNames().size() + 1)));
    // Every numbered name is a zone this system's database knows.
    for (const auto& name : NumberedZoneNames()) EXPECT_TRUE(TimeZone::Find(name)) << name;
}

TEST(TimeZone, SystemZoneFollowsTzAndSaysWhenItCannot) {
    ::setenv("TZ", ":Asia/Kolkata", 1);
    EXPECT_EQ(SystemZone().name(), "Asia/Kolkata");
    EXPECT_EQ(SystemZoneProblem(), "");
    ::setenv("TZ", "CET-1CEST,M3.5.0,M10.5.0/3", 1);
    EXPECT_EQ(SystemZone().offsetAt(At(2027, 7, 1, 12, 0)), 7200);
    EXPECT_EQ(SystemZoneProblem(), "");
    ::setenv("TZ", "No/Such_Zone", 1);
    EXPECT_EQ(SystemZone().name(), "UTC");
    EXPECT_NE(SystemZoneProblem().find("\"No/Such_Zone\", which is no zone"), std::string::npos);
    ::setenv("TZ", "CET-1CEST", 1);
    EXPECT_NE(SystemZoneProblem().find("changes to and from daylight saving are missing"), std::string::npos);
    ::unsetenv("TZ");
}

// A POSIX rule keeps the wall times of the zone it describes, across both
// changes, north and south of the equator.
TEST(TimeZone, PosixRulesReadAsTheZonesTheyDescribe) {
    const std::pair<const char*, const char*> kSame[] = {
        {"CET-1CEST,M3.5.0,M10.5.0/3", "Europe/Berlin"},
        {"EST5EDT,M3.2.0,M11.1.0", "America/New_York"},
        {"AEST-10AEDT,M10.1.0,M4.1.0/3", "Australia/Sydney"},
        {"<+0530>-5:30", "Asia/Kolkata"},
        {"JST-9", "Asia/Tokyo"},
    };
    const Date walls[] = {At(2027, 1, 15, 9, 0),  At(2027, 3, 28, 3, 30), At(2027, 4, 4, 2, 30),
                          At(2027, 7, 1, 9, 0),   At(2027, 10, 3, 3, 0),  At(2027, 10, 31, 2, 30),
                          At(2027, 11, 7, 1, 30), At(2031, 3, 30, 12, 0)};
    for (const auto& [rule, name] : kSame) {
        std::string problem;
        const auto posix = TimeZone::FromPosixRule(rule, &problem);
        ASSERT_TRUE(posix) << problem;
        EXPECT_EQ(posix->number(), 0u) << rule;
        const auto iana = *TimeZone::Find(name);
        for (Date wall : walls)
            EXPECT_EQ(FormatIsoDate(posix->toUtc(wall)), FormatIsoDate(iana.toUtc(wall)))
                << rule << " at " << FormatIsoDate(wall) << " (wall)";
    }
    EXPECT_EQ(TimeZone::Find("CET-1CEST,M3.5.0,M10.5.0/3")->abbreviation(At(2027, 7, 1, 12, 0)), "CEST");

    const std::pair<const char*, const char*> kRefused[] = {
        {"CET-1CEST", "missing"},                          // no dates: systems differ
        {"CET-1CEST,J60,J300", "only as Mm.w.d"},          //
        {"CET-1CEST,M3.5.0,M10.5.0/25", "outside 00:00"},  //
        {"CET-1CEST,M13.5.0,M10.5.0", "cannot be read"},   //
        {"CET-1CEST,M3.5.0", "back to standard time is missing"},
        {"CE-1", "abbreviation"},                        //
        {"CET", "no offset"},                            //
        {"CET-1CEST,M3.5.0,M10.5.0 x", "text follows"},  //
    };
    for (const auto& [rule, words] : kRefused) {
        std::string problem;
        EXPECT_FALSE(TimeZone::FromPosixRule(rule, &problem)) << rule;
        EXPECT_NE(problem.find(words), std::string::npos) << rule << ": " << problem;
        EXPECT_NE(problem.find("e.g."), std::string::npos) << rule << ": " << problem;
    }
}

TEST(ZonedOccurrences, OccurrencesNearTheStretchEdgesAreKeptByTheirUtcTimes) {
    // 00:30 Lord Howe on a Monday is Sunday in UTC: a stretch of that UTC
    // Sunday holds it, one of the UTC Monday does not.
    const auto lordHowe = *TimeZone::Find("Australia/Lord_Howe");
    CalendarEvent daily;
    daily.start = lordHowe.toUtc(At(2027, 7, 5, 0, 30));
    daily.end = lordHowe.toUtc(At(2027, 7, 5, 1, 0));
    daily.rule.frequency = Frequency::Daily;
    const auto sunday = ExpandEventInZone(daily, {}, At(2027, 7, 11, 0, 0), At(2027, 7, 11, 23, 59), lordHowe);
    ASSERT_EQ(sunday.size(), 1u);
    EXPECT_EQ(FormatIsoDate(sunday[0].start), "2027-07-11T14:00:00Z");
}

TEST(ZonedText, MomentsShowAndReadAsWallTimeInTheUsersZone) {
    const auto berlin = *TimeZone::Find("Europe/Berlin");
    const Date summer = FromCivil({2027, 7, 1, 7, 30, 0});  // 09:30 in Berlin
    EXPECT_EQ(FormatLocal(summer, berlin, DateStyle::Iso), "2027-07-01 09:30");
    EXPECT_EQ(FormatLocal(summer, berlin, DateStyle::Dmy), "01.07.2027 09:30");
    EXPECT_EQ(FormatLocalDay(FromCivil({2027, 7, 1, 23, 30, 0}), berlin, DateStyle::Mdy), "07/02/2027");
    EXPECT_EQ(FormatIsoOffset(summer, berlin), "2027-07-01T09:30:00+02:00");
    EXPECT_EQ(FormatIsoOffset(summer, *TimeZone::Find("America/New_York")), "2027-07-01T03:30:00-04:00");

    // At 20:00Z on 1 July it is already 01:30 on 2 July in Kolkata, so
    // "tomorrow" there is 3 July.
    const auto kolkata = *TimeZone::Find("Asia/Kolkata");
    std::string problem;
    const auto when = ReadMoment("tomorrow 14:00", kolkata, FromCivil({2027, 7, 1, 20, 0, 0}), &problem);
    ASSERT_TRUE(when) << problem;
    EXPECT_EQ(FormatIsoDate(when->date), "2027-07-03T08:30:00Z");
    const auto explicitUtc = ReadMoment("2027-07-03T08:30Z", kolkata, summer, &problem);
    ASSERT_TRUE(explicitUtc);
    EXPECT_EQ(FormatIsoDate(explicitUtc->date), "2027-07-03T08:30:00Z");
    EXPECT_FALSE(ReadMoment("someday", kolkata, summer, &problem));
}

}  // namespace
}  // namespace calyra::calendar
