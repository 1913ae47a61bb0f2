// Calendars made by a fixed-seed generator (every frequency, BYDAY /
// BYMONTHDAY / BYSETPOS, COUNT and UNTIL, excluded dates, moved
// occurrences, extra dates, several alarms, X- properties, attendees and
// zones) go through the program and come back as they went in: an export
// imported into a fresh file exports the same entries under the same UIDs,
// a second import adds nothing, and so does one after the side state is
// gone.
#include <gtest/gtest.h>

#include <random>
#include <regex>
#include <set>

#include "client_run.h"

namespace calyra::test {
namespace {

// The generated calendar. Rules start on a day they name, so every
// expander agrees the start is their first occurrence.
std::string GeneratedCalendar(unsigned seed, size_t events, size_t tasks) {
    std::mt19937 random(seed);
    auto pick = [&](auto& list) -> const auto& { return list[random() % std::size(list)]; };
    const char* const zones[] = {"", "Europe/Berlin", "America/New_York", "Australia/Sydney", "Asia/Kolkata"};
    // Each rule with a start (a Monday in January 2027) it names.
    const struct {
        const char* rule;
        const char* day;
        bool movable;  // occurrences are whole weeks apart: EXDATE and RECURRENCE-ID one week on
    } rules[] = {
        {"FREQ=WEEKLY;BYDAY=MO", "20270104", true},
        {"FREQ=WEEKLY;INTERVAL=2;BYDAY=MO,TH;COUNT=12", "20270104", false},
        {"FREQ=DAILY;COUNT=30", "20270104", true},
        {"FREQ=DAILY;INTERVAL=7;UNTIL=20270601T000000Z", "20270104", true},
        {"FREQ=MONTHLY;BYMONTHDAY=31", "20270131", false},
        {"FREQ=MONTHLY;BYMONTHDAY=1,15;COUNT=10", "20270115", false},
        {"FREQ=MONTHLY;BYMONTHDAY=-2", "20270130", false},
        {"FREQ=MONTHLY;BYDAY=MO,TU,WE,TH,FR;BYSETPOS=-1", "20270129", false},
        {"FREQ=MONTHLY;BYDAY=2TU", "20270112", false},
        {"FREQ=YEARLY;BYMONTH=6,12;BYMONTHDAY=10", "20270610", false},
        {"FREQ=YEARLY;BYMONTH=11;BYDAY=4TH", "20271125", false},
        {"FREQ=HOURLY;INTERVAL=6;COUNT=8", "20270104", false},
        {"FREQ=MINUTELY;INTERVAL=90;COUNT=5", "20270104", false},
        {"", "20270104", false},
    };
    const char* const times[] = {"090000", "133000", "193000"};
    std::string ics = "BEGIN:VCALENDAR\r\nVERSION:2.0\r\nPRODID:-//generator//EN\r\n";
    for (size_t i = 0; i < events + tasks; ++i) {
        const bool todo = i >= events;
        const auto& rule = pick(rules);
        const std::string zone = pick(zones);
        const std::string time = pick(times);
        const bool allDay = !todo && random() % 6 == 0 && std::string(rule.rule).find("LY;") == std::string::npos;
        auto at = [&](const std::string& day, const std::string& t) {
            if (allDay) return ";VALUE=DATE:" + day;
            return zone.empty() ? ":" + day + "T" + t + "Z" : ";TZID=" + zone + ":" + day + "T" + t;
        };
        const std::string uid = "gen-" + std::to_string(seed) + "-" + std::to_string(i) + "@example.org";
        std::string entry = std::string("BEGIN:") + (todo ? "VTODO" : "VEVENT") + "\r\nUID:" + uid +
                            "\r\nDTSTAMP:20260101T000000Z\r\nSUMMARY:Item " + std::to_string(i) + "\r\n";
        entry += "DTSTART" + at(rule.day, time) + "\r\n";
        if (todo) {
            entry += "DUE" + at(rule.day, "235900") + "\r\n";
            if (random() % 2) entry += "LOCATION:Desk " + std::to_string(i) + "\r\n";
        } else {
            entry +=
                allDay ? "DTEND;VALUE=DATE:" + std::string(rule.day).substr(0, 6) + "28\r\n" : "DURATION:PT45M\r\n";
        }
        if (*rule.rule) entry += std::string("RRULE:") + rule.rule + "\r\n";
        entry += "PRIORITY:" + std::to_string(random() % 10) + "\r\n";
        if (random() % 3 == 0) entry += "CATEGORIES:Work,Travel,Rare " + std::to_string(i) + "\r\n";
        if (random() % 2) entry += "X-GENERATOR-NOTE:kept " + std::to_string(random() % 1000) + "\r\n";
        if (random() % 2)
            entry += "ATTENDEE;CN=Guest " + std::to_string(i) + ";PARTSTAT=ACCEPTED:mailto:guest" + std::to_string(i) +
                     "@example.org\r\n";
        if (!todo && !allDay && random() % 3 == 0) entry += "RDATE" + at("20270220", "070000") + "\r\n";
        const bool moved = !todo && !allDay && rule.movable && random() % 2;
        if (!todo && !allDay && rule.movable && random() % 2) entry += "EXDATE" + at("20270118", time) + "\r\n";
        for (unsigned a = 0, n = random() % 3; a < n; ++a)
            entry += "BEGIN:VALARM\r\nACTION:DISPLAY\r\nDESCRIPTION:Alarm\r\nTRIGGER:-PT" + std::to_string(10 + 5 * a) +
                     "M\r\nEND:VALARM\r\n";
        entry += std::string("END:") + (todo ? "VTODO" : "VEVENT") + "\r\n";
        if (moved)
            entry += "BEGIN:VEVENT\r\nUID:" + uid + "\r\nDTSTAMP:20260101T000000Z\r\nRECURRENCE-ID" +
                     at("20270111", time) + "\r\nSUMMARY:Item " + std::to_string(i) + " moved\r\nDTSTART" +
                     at("20270112", time) + "\r\nDURATION:PT1H\r\nX-MOVED:yes\r\nEND:VEVENT\r\n";
        ics += entry;
    }
    return ics + "END:VCALENDAR\r\n";
}

// An export without what differs between two exports of the same items:
// the stamps, unfolded so a stamp cannot move a fold.
std::string WithoutStamps(const std::string& ics) {
    const std::string unfolded = std::regex_replace(ics, std::regex("\r\n[ \t]"), "");
    return std::regex_replace(unfolded, std::regex("DTSTAMP:[0-9TZ]+\r\n"), "");
}

std::set<std::string> Uids(const std::string& ics) {
    std::set<std::string> out;
    const std::regex uid("\r\nUID:([^\r]+)");
    for (auto it = std::sregex_iterator(ics.begin(), ics.end(), uid); it != std::sregex_iterator(); ++it)
        out.insert((*it)[1]);
    return out;
}

struct Calendar : OneProfile {
    // Both families exported into one text.
    std::string exported() const { return ok({"events", "export"}) + ok({"tasks", "export"}); }
    // Entries of both families `file` added, events first.
    std::pair<size_t, size_t> imported(const std::string& file) const {
        return {json({"events", "import", file})["added"], json({"tasks", "import", file})["added"]};
    }
};

TEST(CalendarRoundTrip, GeneratedCalendarsComeBackTheSameUnderTheirUids) {
    for (unsigned seed : {7u, 2026u}) {
        const std::string source = GeneratedCalendar(seed, 14, 4);
        Calendar first, second;
        SCOPED_TRACE("seed " + std::to_string(seed));
        const std::string file = first.write("source.ics", source);
        const auto [events, tasks] = first.imported(file);
        EXPECT_TRUE(events > 0 && tasks > 0) << events << " events, " << tasks << " tasks";
        const std::string once = first.exported();
        EXPECT_EQ(Uids(once), Uids(source)) << "the UIDs are the source's";
        for (const char* kept : {"X-GENERATOR-NOTE:", "ATTENDEE;", "Rare ", "BYMONTHDAY=31", "RDATE"})
            EXPECT_TRUE(source.find(kept) == std::string::npos || Has(once, kept)) << kept << " was lost";

        second.imported(second.write("once.ics", once));
        EXPECT_EQ(WithoutStamps(second.exported()), WithoutStamps(once));

        const std::pair<size_t, size_t> none{0, 0};
        EXPECT_EQ(first.imported(file), none) << "a second import adds nothing";
        // A program that knows nothing of the side tables may drop them.
        const Json tables = first.json(
            {"sql", "SELECT name FROM sqlite_master WHERE type = 'table' AND name LIKE 'calyra\\_%' ESCAPE '\\'"});
        EXPECT_FALSE(tables.empty()) << "the import kept no side state";
        for (const auto& t : tables) first.ok({"sql", "DROP TABLE [" + t[0].get<std::string>() + "]"});
        EXPECT_EQ(first.imported(file), none) << "nor one without side state";
    }
}

// A series renamed by its source (same UID, another summary) is the same
// series: the import updates it.
TEST(CalendarRoundTrip, ARenamedSeriesWithItsUidIsUpdated) {
    Calendar run;
    const auto series = [](const std::string& summary) {
        return Ics("BEGIN:VEVENT\r\nUID:standup-0001@example.org\r\nSUMMARY:" + summary +
                   "\r\nDTSTART:20270104T090000Z\r\nRRULE:FREQ=WEEKLY;BYDAY=MO\r\nEND:VEVENT\r\n");
    };
    run.import("events", series("Standup"));
    EXPECT_TRUE(Includes(run.import("events", series("Daily sync")), R"({"added": 0, "updated": 1})"_json));
    EXPECT_TRUE(Includes(run.json({"events", "list"}), R"([{"subject": "Daily sync"}])"_json));
    EXPECT_TRUE(Has(run.ok({"events", "export"}), "UID:standup-0001@example.org"));

    // A unit moved from the description to the end of the summary: both
    // texts' units run together the same (U+1F41 U+1F1F), and their UTF-16
    // bytes hold the separator byte. Still a change.
    const auto note = [](const std::string& summary, const std::string& description) {
        return Ics("BEGIN:VEVENT\r\nUID:moved-0001@example.org\r\nSUMMARY:" + summary +
                   (description.empty() ? "" : "\r\nDESCRIPTION:" + description) +
                   "\r\nDTSTART:20270104T090000Z\r\nEND:VEVENT\r\n");
    };
    run.import("events", note("\u1F41", "\u1F1F"));
    EXPECT_TRUE(Includes(run.import("events", note("\u1F41\u1F1F", "")), R"({"added": 0, "updated": 1})"_json));
}

// A repeating task keeps the zone it was written in: done once, a Saturday
// 09:30 in Sydney moves to the next Saturday 09:30 there (a Friday in UTC),
// a weekly 09:00 in Berlin stays at 09:00 across the clock change, and the
// export writes the zone. Task dates are read in the user's zone.
TEST(CalendarRoundTrip, TasksKeepTheirZone) {
    const struct {
        const char* zone;
        const char* start;  // wall time, a Saturday
        Texts dues;         // UTC due dates after each `tasks done`
    } cases[] = {
        {"Australia/Sydney", "20270102T093000", {"2027-01-08T23:30:00Z", "2027-01-15T23:30:00Z"}},
        {"Europe/Berlin", "20270320T090000", {"2027-03-27T09:30:00Z", "2027-04-03T08:30:00Z"}},
    };
    for (const auto& c : cases) {
        Calendar run;
        const std::string tz = std::string(";TZID=") + c.zone + ":";
        const std::string due = std::string(c.start).substr(0, 9) + "103000";
        run.import("tasks",
                   Ics("BEGIN:VTODO\r\nUID:weekly@example.org\r\nSUMMARY:Review\r\nDTSTART" + tz + c.start + "\r\nDUE" +
                       tz + due + "\r\nRRULE:FREQ=WEEKLY;BYDAY=SA\r\nLOCATION:Desk\r\nEND:VTODO\r\n"));
        const std::string id = run.json({"tasks", "list"})[0]["task_id"];
        for (const auto& expected : c.dues) EXPECT_EQ(run.json({"tasks", "done", id})["end_date"], expected) << c.zone;
        const std::string exported = run.ok({"tasks", "export"});
        for (const std::string& line : {"DTSTART" + tz, "DUE" + tz, std::string("BEGIN:VTIMEZONE"),
                                        std::string("LOCATION:Desk"), std::string("UID:weekly@example.org")})
            EXPECT_TRUE(Has(exported, line)) << c.zone;
    }

    // Task dates are typed as event dates are: in the user's zone, as people
    // write them; a bare day stays a day.
    Calendar run;
    const std::string id = run.json({"--tz", "Europe/Berlin", "tasks", "add", "--subject", "Call", "--due",
                                     "2026-12-10 10:00", "--start-date", "2026-12-09"})["task_id"];
    // 10:00 in Berlin; a day is the same everywhere.
    EXPECT_TRUE(Includes(run.json({"tasks", "show", id}),
                         R"({"end_date": "2026-12-10T09:00:00Z", "start_date": "2026-12-09T00:00:00Z"})"_json));
    run.ok({"--tz", "Europe/Berlin", "tasks", "edit", id, "--end-date", "none"});
    EXPECT_TRUE(run.json({"tasks", "show", id})["end_date"].is_null());
}

// The views lay a series the record holds only the nearest of out by its
// own rule: the 31st skips shorter months, the 1st and 15th both come.
TEST(CalendarRoundTrip, ViewsFollowTheExactRuleAndAnUnreadableRuleRefusesItsEntry) {
    Calendar run;
    run.import("events",
               Ics("BEGIN:VEVENT\r\nUID:rent@example.org\r\nSUMMARY:Rent\r\n"
                   "DTSTART;TZID=Europe/Berlin:20270131T090000\r\nRRULE:FREQ=MONTHLY;BYMONTHDAY=31\r\n"
                   "END:VEVENT\r\nBEGIN:VEVENT\r\nUID:pay@example.org\r\nSUMMARY:Pay\r\nDTSTART:20270101T120000Z\r\n"
                   "RRULE:FREQ=MONTHLY;BYMONTHDAY=1,15;COUNT=5\r\nRDATE:20270320T120000Z\r\nEND:VEVENT\r\n"));
    Texts starts;
    for (const auto& o :
         run.json({"--tz", "Europe/Berlin", "events", "list", "--from", "2027-01-01", "--to", "2027-06-30"}))
        starts.push_back(o["subject"].get<std::string>() + " " + o["start_utc"].get<std::string>());
    EXPECT_EQ(starts, (Texts{"Pay 2027-01-01T12:00:00Z", "Pay 2027-01-15T12:00:00Z", "Rent 2027-01-31T08:00:00Z",
                             "Pay 2027-02-01T12:00:00Z", "Pay 2027-02-15T12:00:00Z", "Pay 2027-03-01T12:00:00Z",
                             "Pay 2027-03-20T12:00:00Z", "Rent 2027-03-31T07:00:00Z", "Rent 2027-05-31T07:00:00Z"}));

    // A rule neither the record nor libical can lay out refuses its entry by
    // name, and the import says so by its exit status; the other entries are
    // stored.
    const ClientResult r =
        run({"events", "import",
             run.write("u.ics",
                       Ics("BEGIN:VEVENT\r\nUID:u1\r\nSUMMARY:Odd\r\nDTSTART:20270101T090000Z\r\n"
                           "RRULE:FREQ=SOMETIMES;COUNT=3\r\nEND:VEVENT\r\nBEGIN:VEVENT\r\nUID:u2\r\nSUMMARY:Fine\r\n"
                           "DTSTART:20270101T090000Z\r\nEND:VEVENT\r\n"))});
    EXPECT_EQ(r.status, 1) << r.out << r.err;
    EXPECT_TRUE(Has(r.out + r.err, "\"Odd\": RRULE FREQ=SOMETIMES;COUNT=3"));
    EXPECT_EQ(run.ids({"events", "list"}, "subject"), (Texts{"Fine", "Pay", "Rent"}));
}

}  // namespace
}  // namespace calyra::test
