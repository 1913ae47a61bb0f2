// The calendar commands in the user's own zone, run as a person would: times
// typed and shown on the wall clock, repetitions that keep their wall-clock
// time across clock changes in every view, all-day events on their days.
#include <gtest/gtest.h>

#include "client_run.h"

namespace calyra::test {
namespace {

// The starts (wall time with offset) of the events on `date` in a view's
// JSON days.
Texts StartsOn(const Json& view, const std::string& date) {
    Texts out;
    for (const auto& day : view["days"])
        if (day["date"] == date)
            for (const auto& e : day["events"]) out.push_back(e["start"]);
    return out;
}

// Berlin through $TZ, the others through --tz: New York changes its clocks
// on other days, Lord Howe by half an hour and in the other half of the
// year, Kolkata never.
TEST(ClientTimeZones, AWeeklyMeetingKeepsItsWallTimeInEveryViewAcrossClockChanges) {
    const std::pair<const char*, const char*> zones[] = {{"Europe/Berlin", "+01:00"},
                                                         {"America/New_York", "-05:00"},
                                                         {"Australia/Lord_Howe", "+11:00"},
                                                         {"Asia/Kolkata", "+05:30"}};
    for (const auto& entry : zones) {
        // Named copies: clang 14 lambdas cannot capture structured bindings.
        const std::string zone = entry.first, february = entry.second;
        SCOPED_TRACE(zone);
        const bool viaTz = zone == "Europe/Berlin";
        ScopedTz tz(viaTz ? zone.c_str() : "UTC");
        OneProfile plain;
        const auto run = [&](const Args& args) { return viaTz ? args : Args{"--tz", zone} + args; };
        // From September, before both changes of the year.
        const auto added = plain.json(run({"events", "add", "--subject", "Weekly sync", "--start", "2026-09-07 09:30",
                                           "--for", "30m", "--repeat", "weekly"}));
        EXPECT_EQ(added["start"].get<std::string>().substr(0, 19), "2026-09-07T09:30:00") << added.dump();

        for (const char* monday : {"2027-02-15", "2027-04-12"}) {
            const std::string day = monday, month = day.substr(0, 7);
            // Each view has the meeting on the day, at its wall time, in JSON and as people read it.
            const std::pair<Args, const char*> views[] = {
                {{"events", "month", month, "--cell-width", "20"}, "|09:30 Weekly sync   |"},
                {{"events", "week", day, "--cell-width", "20"}, "|09:30 Weekly sync   |"},
                {{"events", "day", day}, "09:30–10:00  Weekly sync"},
                {{"agenda", day, "--days", "1"}, "09:30–10:00  Weekly sync"}};
            for (const auto& [view, shown] : views) {
                const auto starts = StartsOn(plain.json(run(view)), day);
                ASSERT_EQ(starts.size(), 1u) << ClientRun::Join(view);
                EXPECT_EQ(starts[0].substr(0, 19), day + "T09:30:00") << ClientRun::Join(view);
                EXPECT_TRUE(Has(plain.ok(run(view)), shown)) << ClientRun::Join(view);
            }
        }
        // A stretch that starts after the series did still holds it.
        const auto listed = plain.json(run({"events", "list", "--from", "2027-01-01", "--to", "2027-01-31"}));
        ASSERT_EQ(listed.size(), 4u) << listed.dump(1);
        EXPECT_EQ(listed[0]["start"], std::string("2027-01-04T09:30:00") + february);
    }
}

TEST(ClientTimeZones, TypedTimesAreWallTimeAndAllDayEventsKeepTheirDays) {
    ScopedTz berlin("Europe/Berlin");
    OneProfile run;
    // A time alone is today at that time, in the user's zone.
    EXPECT_TRUE(Has(run.ok({"events", "add", "--subject", "Dentist", "--start", "14:00", "--remind", "15m"}),
                    "14:00–15:00 Europe/Berlin"));
    EXPECT_TRUE(Has(run.ok({"events", "day"}), "14:00–15:00  Dentist"));
    EXPECT_TRUE(Includes(run.json({"events", "list"})[0], R"({"reminder_time": 15})"_json));
    EXPECT_TRUE(Includes(run.json({"events", "add", "--subject", "Call", "--start", "2027-03-05 14:00"}),
                         R"({"start": "2027-03-05T14:00:00+01:00", "start_utc": "2027-03-05T13:00:00Z",
                             "end": "2027-03-05T15:00:00+01:00"})"_json));

    // Just after midnight in Berlin is the day before in UTC: the series'
    // days, its end and the occurrence an exception replaces are Berlin's.
    const std::string late = run.json({"events", "add", "--subject", "Late", "--start", "2027-03-01 00:30", "--repeat",
                                       "weekly", "--until", "2027-03-15"})["event_id"];
    EXPECT_EQ(run.json({"events", "show", late})["recurrence_text"], "weekly on Mon, until 2027-03-15");
    run.ok({"events", "exceptions", late, "--add", "--original", "2027-03-08", "--start", "2027-03-09 00:30"});
    Texts starts;
    for (const auto& o : run.json({"events", "list", "--from", "2027-03-01", "--to", "2027-03-31"}))
        if (o["subject"] == "Late") starts.push_back(o["start"].get<std::string>().substr(0, 16));
    EXPECT_EQ(starts, (Texts{"2027-03-01T00:30", "2027-03-09T00:30", "2027-03-15T00:30"}));

    // Over the night the clocks change, in Berlin and further west.
    run.ok({"events", "add", "--subject", "Holiday", "--start", "2027-03-27", "--end", "2027-03-29", "--all-day-event",
            "yes"});
    for (const char* zone : {"Europe/Berlin", "America/New_York", "Australia/Lord_Howe"}) {
        const auto month = run.json({"--tz", zone, "events", "month", "2027-03"});
        std::string days;
        for (int d = 25; d <= 31; ++d) days += std::to_string(StartsOn(month, "2027-03-" + std::to_string(d)).size());
        EXPECT_EQ(days, "0011100") << zone << ": the holiday is on the 27th to the 29th in every zone";
    }

    ExpectFails(run, 2,
                {Args{"events", "add", "--subject", "X", "--start", "someday"},
                 Args{"events", "add", "--subject", "X", "--start", "14:00", "--for", "90"},
                 Args{"events", "list", "--from", "2027-13-01"}, Args{"agenda", "soon"}},
                "e.g.");

    // A $TZ that names no zone is said, not taken for UTC. (How $TZ, a POSIX
    // rule among its forms, is read is the time zone library's test.)
    ScopedTz unknown("Mars/Base");
    ExpectFails(
        run, 1,
        {{"agenda"}, {"events", "add", "--subject", "X", "--start", "14:00"}, {"tasks", "list", "--due", "today"}},
        "$TZ is \"Mars/Base\"");
}

// An event's own zone is named as everywhere else; a number only when the
// zone table has it, and what is echoed is what is stored. Days are typed
// as they are shown; a day without a time is a whole day.
TEST(ClientTimeZones, ZonesAndDaysAreTypedAsShownAndBareDaysMakeAllDayEvents) {
    ScopedTz berlin("Europe/Berlin");
    OneProfile run;
    const struct {
        const char* zone;
        const char* start;  // the start as JSON gives it, in the user's zone
        const char* name;   // the zone the event keeps
    } kZones[] = {
        {"America/New_York", "2027-03-05T20:00:00+01:00", "America/New_York"},
        {"155", "2027-03-05T20:00:00+01:00", "America/New_York"},
        {"asia/kolkata", "2027-03-05T09:30:00+01:00", "Asia/Kolkata"},
    };
    for (const auto& [zone, start, name] : kZones) {
        EXPECT_TRUE(
            Has(run.ok({"events", "add", "--subject", "Call", "--start", "2027-03-05 14:00", "--time-zone", zone}),
                std::string("14:00–15:00 ") + name));
        const auto events = run.json({"events", "list"});
        EXPECT_TRUE(Includes(events.back(), Json{{"start", start}, {"time_zone_name", name}}))
            << zone << ": " << events.back().dump();
        run.ok({"events", "rm", events.back()["event_id"]});
    }
    ExpectFails(run, 2,
                {{"events", "add", "--subject", "X", "--start", "14:00", "--time-zone", "99999"},
                 {"events", "add", "--subject", "X", "--start", "14:00", "--time-zone", "0"}},
                "no zone has the number");
    ExpectFails(run, 2, {{"events", "add", "--subject", "X", "--start", "14:00", "--time-zone", "Mars/Base"}},
                "unknown zone");

    ScopedEnv config("XDG_CONFIG_HOME", run.dir().path().c_str());
    run.ok({"config", "set", "date_format", "dmy"});
    EXPECT_TRUE(
        Has(run.ok({"events", "add", "--subject", "Call", "--start", "05.03.2027 14:00"}), "05.03.2027 14:00–15:00"));
    run.ok({"events", "add", "--subject", "Trip", "--start", "06.03.2027", "--end", "07.03.2027"});
    run.ok({"events", "add", "--subject", "Timed", "--start", "08.03.2027", "--all-day-event", "no"});
    run.ok({"tasks", "add", "--subject", "Taxes", "--end-date", "2027-03-05"});
    EXPECT_EQ(run.ids({"tasks", "list", "--due", "05/03/2027"}, "subject"), Texts{"Taxes"});
    const auto events = run.json({"events", "list"});
    ASSERT_EQ(events.size(), 3u);
    EXPECT_TRUE(Includes(events[1], R"({"subject": "Trip", "all_day_event": true, "start": "2027-03-06",
                                        "end": "2027-03-07"})"_json));
    EXPECT_TRUE(Includes(events[2], R"({"subject": "Timed", "all_day_event": false,
                                        "start": "2027-03-08T00:00:00+01:00"})"_json));
}

}  // namespace
}  // namespace calyra::test
