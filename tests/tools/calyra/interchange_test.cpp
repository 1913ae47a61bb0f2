// vCard and iCalendar import and export through the program, as a person
// or a script uses them: what goes in comes back out mapped to the records,
// broken entries are named by line and skipped, and nothing stored changes.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <filesystem>
#include <thread>

#include "client_run.h"
#include "support/child_process.h"

namespace calyra::test {
namespace {

// A value without what differs between two databases: IDs and write stamps.
void DropIds(Json& value) {
    for (auto it = value.begin(); value.is_structured() && it != value.end();) {
        const std::string key = value.is_object() ? it.key() : "";
        const bool id = key.size() > 3 && key.compare(key.size() - 3, 3, "_id") == 0;
        if (id || key == "modified" || key == "created")
            it = value.erase(it);
        else
            DropIds(*it++);
    }
}

// Every contact, event or task with its details, without IDs.
Json All(const ClientRun& run, const std::string& family) {
    const std::string id = family.substr(0, family.size() - 1) + "_id";  // "contacts": "contact_id"
    Json out = Json::array();
    for (const auto& c : run.json({family, "list"})) out.push_back(run.json({family, "show", c[id]}));
    DropIds(out);
    return out;
}

// A vCard 3.0 of `name` (N's value) with the given lines.
std::string Card(const std::string& name, const std::string& lines) {
    return "BEGIN:VCARD\r\nVERSION:3.0\r\nN:" + name + "\r\n" + lines + "END:VCARD\r\n";
}

std::vector<int> SkippedLines(const Json& report) {
    std::vector<int> lines;
    for (const auto& d : report["diagnostics"])
        if (d["skipped"] == true) lines.push_back(d["line"]);
    std::sort(lines.begin(), lines.end());
    return lines;
}

// (That these files come back the same through an export and an import is
// the contact identity test's, through the records; that both vCard
// versions write what they read is the vCard round-trip fuzz target's.)
TEST(ClientInterchange, SampleCardsMapToTheRecordsFieldsDetailsAndGroups) {
    OneProfile first;
    EXPECT_TRUE(
        Includes(first.json({"contacts", "import", DataFile("vcard/rfc6350_example.vcf"),
                             DataFile("vcard/rfc2426_examples.vcf"), DataFile("vcard/outlook_21_quoted_printable.vcf"),
                             DataFile("vcard/apple_30.vcf"), DataFile("vcard/google_30_folded.vcf")}),
                 R"({"added": 7, "skipped": 0})"_json));
    Json johnny;
    for (const auto& c : All(first, "contacts"))
        if (c["first_name"] == "Johnny") johnny = c;
    EXPECT_TRUE(Includes(johnny, R"({"first_name": "Johnny", "company_name": "Apple Inc.",
        "department": "Engineering", "birthday": "1980-06-15T00:00:00Z", "anniversary": "2005-09-10T00:00:00Z",
        "groups": [{"contact_group_name": "Work"}, {"contact_group_name": "Friends"}]})"_json));
    EXPECT_TRUE(Includes(johnny["ims"][1], R"({"protocol": "jabber", "address": "johnny@jabber.example.org"})"_json));
    EXPECT_TRUE(Includes(johnny["phones"][0], R"({"phone_number_type": "mobile", "primary": true})"_json));
}

// Cards go in a batch under one savepoint; a card the database refuses
// half-way must still leave nothing of itself (contact, details, a group it
// made, a stored contact's new details) while the cards around it stay.
TEST(ClientInterchange, RefusedAndBrokenCardsLeaveNothingBehind) {
    OneProfile run;
    run.ok({"sql",
            "CREATE TRIGGER refuse BEFORE INSERT ON [tEmail] WHEN NEW.[Email] = 'no@example.org' "
            "BEGIN SELECT RAISE(ABORT, 'refused'); END;"});
    const std::string refused = "EMAIL:no@example.org\r\n";
    auto report = run.import("contacts", Card("One;Ann;;;", "TEL:+1 1\r\n") +
                                             Card("Two;Bob;;;", "TEL:+1 2\r\nCATEGORIES:Club\r\n" + refused) +
                                             Card("Three;Cy;;;", "EMAIL:cy@example.org\r\n"));
    EXPECT_TRUE(Includes(report, R"({"added": 2, "skipped": 1})"_json));
    EXPECT_EQ(SkippedLines(report), std::vector<int>{6});
    EXPECT_FALSE(report.contains("groups_created")) << report.dump(1);
    const Json before = All(run, "contacts");
    EXPECT_EQ(before.size(), 2u);
    EXPECT_EQ(run.json({"groups", "list"}), Json::array());

    // Ann again with a new phone and a refused address: her new phone goes too.
    report = run.import("contacts", Card("Three;Cy;;;", "EMAIL:cy@example.org\r\n") +
                                        Card("One;Ann;;;", "TEL:+1 1\r\nTEL:+1 9\r\n" + refused));
    EXPECT_TRUE(Includes(report, R"({"unchanged": 1, "skipped": 1})"_json));
    EXPECT_EQ(All(run, "contacts"), before);

    // Broken cards are skipped by line, and nothing stored changes.
    const std::string ada = run.json({"contacts", "add", "--first-name", "Ada", "--phone", "home:+44 1"})["contact_id"];
    run.ok({"groups", "join", run.json({"groups", "add", "Friends"})["contact_group_id"], ada});
    const Json stored = run.json({"contacts", "show", ada});

    report = run.json({"contacts", "import", DataFile("vcard/malformed.vcf")});
    EXPECT_TRUE(Includes(report, R"({"added": 3, "skipped": 4})"_json));
    EXPECT_EQ(SkippedLines(report), (std::vector<int>{10, 19, 28, 32}));
    // People read the same in words; the cards stored the first time are found again.
    const std::string text = run.ok({"contacts", "import", DataFile("vcard/malformed.vcf")});
    EXPECT_TRUE(Has(text, "added 0 contacts, updated 0, unchanged 3, skipped 4"));
    EXPECT_TRUE(Has(text, "malformed.vcf:19: card has no END:VCARD"));

    EXPECT_EQ(run.json({"contacts", "import", DataFile("vcard/apple_30.vcf")})["groups_created"], 1)
        << "\"Work\" is new; \"Friends\" exists already";
    EXPECT_EQ(run.json({"contacts", "show", ada}), stored);
    // An import that stores nothing fails and says why: a file that cannot
    // be read (before anything is added), no card that could be stored,
    // nothing to import, or another kind of entry than asked for.
    const std::string nothing = run.write("nothing.vcf", ""), apple = DataFile("vcard/apple_30.vcf");
    const std::string empty = run.write("empty.vcf", "BEGIN:VCARD\r\nVERSION:3.0\r\nEND:VCARD\r\n");
    const std::string tasks = run.write(
        "tasks.ics", Ics("BEGIN:VTODO\r\nSUMMARY:a\r\nEND:VTODO\r\nBEGIN:VTODO\r\nSUMMARY:b\r\nEND:VTODO\r\n"));
    ExpectSteps(run, {{{"contacts", "import", apple, run.dir().file("no.vcf").string()}, 1, ""},
                      {{"contacts", "import", empty}, 1, "no contact imported"},
                      {{"contacts", "import", nothing}, 1, "no contacts found in"},
                      {{"contacts", "import", run.write("prose.vcf", "hello\n")}, 1, "no contacts found in"},
                      {{"events", "import", nothing}, 1, "found in " + nothing},
                      {{"tasks", "import", nothing}, 1, "found in " + nothing},
                      {{"contacts", "import", run.dir().path().string()}, 1, "is a directory"},
                      {{"events", "import", tasks},
                       1,
                       "no events found in " + tasks + ": it holds 2 tasks (import them with 'calyra tasks import')"},
                      {{"contacts", "import", tasks}, 1, "it holds 2 tasks"},
                      {{"tasks", "import", apple}, 1, "contact (vCard) (import it with 'calyra contacts import')"}});
    EXPECT_EQ(run.json({"contacts", "list"}).size(), 7u);
}

// Cards are matched to stored contacts by name and a shared phone or
// e-mail: a re-import adds nothing, a changed card updates its contact
// without taking anything away, and a namesake with other numbers stays a
// person of its own.
TEST(ClientInterchange, ReimportingFindsStoredContactsInsteadOfAddingThemAgain) {
    OneProfile run;
    const std::string ada = Card("Lovelace;Ada", "TEL;TYPE=HOME:+44 20 1\r\nEMAIL:ada@example.org\r\n");
    const std::string bob = Card("Smith;Bob", "TEL:555 1\r\n"), otherBob = Card("Smith;Bob", "TEL:555 2\r\n");
    const std::string file = run.write("first.vcf", ada + bob + otherBob + Card("Rossi;Carla", ""));
    const std::string changed = Card("Lovelace;Ada",
                                     "TEL:+44-20-1\r\nEMAIL:ADA@example.org\r\nEMAIL:ada@work.example\r\n"
                                     "NOTE:Analyst\r\nCATEGORIES:Friends\r\n");
    const std::string overlap =
        run.write("overlap.vcf", changed + bob + Card("Smith;Bob", "TEL:555 3\r\n") + Card("Nakamura;Haruto", ""));
    // A file, and what its import counts.
    const std::pair<std::string, Json> kImports[] = {
        {file, R"({"added": 4, "updated": 0, "unchanged": 0, "skipped": 0})"_json},
        {file, R"({"added": 0, "updated": 0, "unchanged": 4, "skipped": 0})"_json},
        {overlap, R"({"added": 2, "updated": 1, "unchanged": 1, "skipped": 0})"_json},
        {overlap, R"({"added": 0, "updated": 0, "unchanged": 4, "skipped": 0})"_json},
    };
    for (const auto& [file, counts] : kImports)
        EXPECT_TRUE(Includes(run.json({"contacts", "import", file}), counts)) << counts.dump();
    const Json all = All(run, "contacts");
    ASSERT_EQ(all.size(), 6u) << all.dump(1);
    EXPECT_TRUE(Includes(all[0], R"({"last_name": "Lovelace", "description": "Analyst",
        "phones": [{"phone_number": "+44 20 1", "location_type": "home", "primary": false}],
        "emails": [{"email": "ada@example.org"}, {"email": "ada@work.example", "primary": false}],
        "groups": [{"contact_group_name": "Friends"}]})"_json));
}

// Calendar files map to events and tasks, and an export takes a range.
// (That these files come back the same through an export and an import of
// it is the calendar round-trip fuzz target's property: they are in its
// stored corpus.)
TEST(ClientInterchange, CalendarsMapToEventsAndTasksAndExportByRange) {
    OneProfile first;
    EXPECT_TRUE(Includes(
        first.json({"events", "import", DataFile("ical/rfc5545_examples.ics"), DataFile("ical/outlook_timezones.ics"),
                    DataFile("ical/google_recurring.ics"), DataFile("ical/thunderbird_tasks.ics")}),
        R"({"added": 8, "exceptions": 1, "excluded_dates": 1, "skipped": 0})"_json))
        << "seven events and one moved occurrence";
    first.json({"tasks", "import", DataFile("ical/rfc5545_examples.ics"), DataFile("ical/thunderbird_tasks.ics")});
    const Json tasks = All(first, "tasks");
    // Tasks come by due date.
    EXPECT_TRUE(Includes(tasks[3], R"({"subject": "File the tax return", "task_status": "in_progress",
                                       "complete_percent": 40, "task_category": "business"})"_json));
    EXPECT_EQ(tasks[2]["recurrence_text"], "weekly on Sat");
    // --to takes a bare day as its end, ...
    const std::string ranged = first.ok({"events", "export", "--from", "2024-07-01", "--to", "2024-07-04"});
    EXPECT_TRUE(Has(ranged, "SUMMARY:Independence Day"));
    EXPECT_TRUE(Has(ranged, "SUMMARY:Floating lunch", false));
    // ... in the user's zone: 13:00 UTC on 5 November is the 6th at UTC+14.
    EXPECT_TRUE(
        Has(first.ok({"--tz", "Pacific/Kiritimati", "events", "export", "--from", "2024-11-06", "--to", "2024-11-06"}),
            "SUMMARY:Floating lunch"));
}

TEST(ClientInterchange, RecurringEventsKeepTheirRuleTimesAndExceptions) {
    OneProfile run;
    run.ok({"events", "import", DataFile("ical/outlook_timezones.ics")});
    auto events = All(run, "events");
    ASSERT_EQ(events.size(), 2u);
    // 10:00 Central European winter time; EXDATE cancels an occurrence; the
    // moved meeting is at 11:30 summer time.
    EXPECT_TRUE(Includes(events[0], R"({"subject": "Team sync", "start_date_time": "2024-01-15T09:00:00Z",
        "reminder_time": 15, "recurrence_text": "weekly on Mon, until 2024-06-17", "exceptions": [
        {"original_start_time": "2024-02-12T09:00:00Z", "status": "canceled"},
        {"original_start_time": "2024-04-08T08:00:00Z", "start_date_time": "2024-04-08T09:30:00Z"}]})"_json));
    EXPECT_TRUE(Includes(events[1], R"({"all_day_event": true, "availability": "out_of_office"})"_json));

    // (Skipped entries are reported by line as for cards, by the same report.)
    EXPECT_TRUE(Includes(run.json({"events", "import", DataFile("ical/malformed.ics")}),
                         R"j({"added": 2, "skipped": 3, "not_stored": {"VTODO (read by tasks import)": 1}})j"_json));

    // Local times follow the zone given.
    const std::string file = run.write(
        "floating.ics", Ics("BEGIN:VEVENT\r\nUID:f\r\nSUMMARY:Lunch\r\nDTSTART:20240105T120000\r\nEND:VEVENT\r\n"));
    ExpectFails(run, 2, {{"events", "import", "--zone", "Nowhere/Atlantis", file}});
    EXPECT_EQ(run.json({"events", "list"}).size(), 4u) << "a bad --zone imports nothing";
    run.ok({"events", "import", "--zone", "Asia/Tokyo", file});
    EXPECT_TRUE(Includes(run.json({"events", "list"})[2], R"({"subject": "Lunch",
                                                             "start_date_time": "2024-01-05T03:00:00Z"})"_json));
}

// An event written in a zone keeps the zone and its wall times through an
// import, an export and a second import: a weekly 09:30 series across both
// clock changes of 2027, with an excluded day in winter and a moved
// occurrence in summer, goes out with TZIDs, the zone's VTIMEZONE and
// UNTIL in UTC at the last occurrence's start.
TEST(ClientInterchange, ZonedEventsKeepTheirZoneAndWallTimes) {
    const struct {
        std::string zone, time, end, until, firstStart;  // wall times of start and end: "093000"
    } cases[] = {
        {"Europe/Berlin", "093000", "103000", "20271129T083000Z", "2027-01-04T08:30:00Z"},
        {"America/New_York", "093000", "103000", "20271129T143000Z", "2027-01-04T14:30:00Z"},
        // +11, and +10:30 in the southern winter
        {"Australia/Lord_Howe", "093000", "103000", "20271128T223000Z", "2027-01-03T22:30:00Z"},
        {"Asia/Kolkata", "093000", "103000", "20271129T040000Z", "2027-01-04T04:00:00Z"},
        // In the evening the first and the last occurrence lie on other days in UTC.
        {"America/New_York", "193000", "203000", "20270726T233000Z", "2027-01-05T00:30:00Z"},
    };
    for (const auto& c : cases) {
        const std::string tz = ";TZID=" + c.zone + ":";
        const Texts lines = {"DTSTART" + tz + "20270104T" + c.time,
                             "DTEND" + tz + "20270104T" + c.end,
                             "RRULE:FREQ=WEEKLY;UNTIL=" + c.until + ";BYDAY=MO",
                             "EXDATE" + tz + "20270201T" + c.time,
                             "RECURRENCE-ID" + tz + "20270705T" + c.time,
                             "DTSTART" + tz + "20270705T110000",
                             "TZID:" + c.zone};
        const std::string event = "BEGIN:VEVENT\r\nUID:w\r\nSUMMARY:Weekly\r\n";
        const std::string ics =
            Ics(event + lines[0] + "\r\n" + lines[1] + "\r\n" + lines[2] + "\r\n" + lines[3] + "\r\nEND:VEVENT\r\n" +
                event + lines[4] + "\r\n" + lines[5] + "\r\nDTEND" + tz + "20270705T120000\r\nEND:VEVENT\r\n");
        OneProfile first, second;
        EXPECT_TRUE(Includes(first.import("events", ics),
                             R"({"added": 2, "exceptions": 1, "excluded_dates": 1, "diagnostics": []})"_json))
            << c.zone;
        EXPECT_EQ(first.json({"events", "list"})[0]["start_date_time"], c.firstStart) << c.zone;
        const std::string exported = first.ok({"events", "export"});
        for (const auto& line : lines) EXPECT_TRUE(Has(exported, line + "\r\n")) << line;
        EXPECT_EQ(exported.find("BEGIN:VTIMEZONE"), exported.rfind("BEGIN:VTIMEZONE")) << "one VTIMEZONE per zone";
        second.import("events", exported);
        EXPECT_EQ(All(second, "events"), All(first, "events")) << c.zone;
    }
}

// The RRULE texts the record can hold come in as rules (shown in words) and
// go out as the same rules; for the others the record holds the nearest
// series (its words here, what other programs show) and the export gives
// back the rule itself, never a different one.
TEST(ClientInterchange, RecurrenceRulesReadAndWrittenBothWays) {
    const struct {
        const char* rule;
        const char* words;
        bool exact;  // the record holds the rule itself
    } rules[] = {
        {"FREQ=DAILY;INTERVAL=3", "every 3 days", true},
        {"FREQ=DAILY;BYDAY=MO,TU,WE,TH,FR", "every weekday", true},
        {"FREQ=WEEKLY;INTERVAL=2;BYDAY=MO,WE;WKST=MO", "every 2 weeks on Mon, Wed", true},
        {"FREQ=MONTHLY;BYDAY=-1FR;COUNT=6", "every month on the last Friday, 6 times", true},
        {"FREQ=MONTHLY;BYDAY=MO,TU,WE,TH,FR;BYSETPOS=-1", "every month on the last weekday", true},
        {"FREQ=MONTHLY;BYMONTHDAY=15", "every month on day 15", true},
        {"FREQ=YEARLY;BYMONTH=11;BYDAY=4TH", "yearly on the 4th Thursday of November", true},
        {"FREQ=WEEKLY;UNTIL=20240305T183000Z", "weekly on Tue, until 2024-03-05", true},
        {"FREQ=HOURLY", "daily", false},
        {"FREQ=MONTHLY;BYDAY=1MO,3MO", "every month on day 9", false},
        {"FREQ=YEARLY;BYYEARDAY=100", "yearly on January 9", false},
        {"FREQ=MONTHLY;BYMONTHDAY=-2", "every month on day 9", false},
        {"FREQ=WEEKLY;INTERVAL=2;BYDAY=SU,TU;WKST=SU", "every 2 weeks on Tue, Sun", false},
    };
    std::string ics;
    std::map<std::string, std::string> expected;
    for (const auto& r : rules) {
        ics += "BEGIN:VEVENT\r\nUID:r" + std::to_string(expected.size()) + "\r\nSUMMARY:" + r.rule +
               "\r\nDTSTART:20240109T183000Z\r\nRRULE:" + r.rule + "\r\nEND:VEVENT\r\n";
        expected[r.rule] = r.words;
    }
    OneProfile run, again;
    run.import("events", Ics(ics));
    const std::string exported = run.ok({"events", "export"});
    EXPECT_TRUE(Has(exported, "UNTIL=20240305T183000Z")) << "at the start's time of day";
    for (const auto& r : rules) EXPECT_TRUE(r.exact || Has(exported, std::string("RRULE:") + r.rule)) << r.rule;
    again.import("events", exported);
    for (const OneProfile* db : {&run, &again}) {
        std::map<std::string, std::string> words;
        for (const auto& e : db->json({"events", "list"})) words[e["subject"]] = e["recurrence_text"];
        EXPECT_EQ(words, expected) << (db == &again ? "exported rules read back as other rules" : "");
    }
    EXPECT_TRUE(Has(again.ok({"events", "export"}), "RRULE:FREQ=DAILY\r\n", false))
        << "the hourly rule went out as its nearest series";
}

// What other calendars must read as the client meant it: each record, added
// through the program, exports with these lines (and without the unwanted
// one), and imports into another file as the same record.
TEST(ClientInterchange, ExportedICalendarMeansWhatTheRecordMeans) {
    const struct {
        Args add;
        Texts lines;
        std::string absent;
    } cases[] = {
        {Args{"events", "add", "--subject", "Holiday", "--start", "2024-05-01", "--all-day-event", "yes"},
         Texts{"DTSTART;VALUE=DATE:20240501", "DTEND;VALUE=DATE:20240502"}, "PRIORITY"},
        {Args{"events", "add", "--subject", "Rent", "--start", "2024-01-31T09:00", "--repeat", "monthly"},
         Texts{"RRULE:FREQ=MONTHLY;BYMONTHDAY=28,29,30,31;BYSETPOS=-1"}, "BYMONTHDAY=31;"},
        {Args{"events", "add", "--subject", "Pay", "--start", "2024-01-30T09:00", "--repeat", "monthly"},
         Texts{"RRULE:FREQ=MONTHLY;BYMONTHDAY=28,29,30;BYSETPOS=-1"}, ""},
        {Args{"events", "add", "--subject", "Bills", "--start", "2024-01-29T09:00", "--repeat", "monthly", "--every",
              "2"},
         Texts{"RRULE:FREQ=MONTHLY;INTERVAL=2;BYMONTHDAY=28,29;BYSETPOS=-1"}, ""},
        {Args{"events", "add", "--subject", "Leap", "--start", "2024-02-29T09:00", "--repeat", "yearly"},
         Texts{"RRULE:FREQ=YEARLY;BYMONTHDAY=28,29;BYMONTH=2;BYSETPOS=-1"}, ""},
        {Args{"events", "add", "--subject", "Far", "--start", "9999-12-31T10:00", "--priority", "low"},
         Texts{"DTSTART:99991231T100000Z", "DTEND:99991231T110000Z", "PRIORITY:9", "TRANSP:OPAQUE"}, "00000000"},
        {Args{"events", "add", "--subject", "Past's", "--start", "1850-06-01T10:00", "--reminder-time", "-5",
              "--availability", "free"},
         Texts{"DTSTART:18500601T100000Z", "SUMMARY:Past's", "TRIGGER:PT5M", "TRANSP:TRANSPARENT"}, ""},
        {Args{"tasks", "add", "--subject", "Taxes", "--start-date", "2024-04-01", "--end-date", "2024-04-15",
              "--reminder-time", "60"},
         Texts{"DUE;VALUE=DATE:20240415", "TRIGGER;RELATED=END:-PT1H"}, "PRIORITY"},
    };
    for (const auto& c : cases) {
        OneProfile first, second;
        const std::string& what = c.add[0];
        first.ok(c.add);
        const std::string exported = first.ok({what, "export"});
        for (const auto& line : c.lines) EXPECT_TRUE(Has(exported, line + "\r\n")) << ClientRun::Join(c.add);
        EXPECT_TRUE(c.absent.empty() || Has(exported, c.absent, false)) << ClientRun::Join(c.add);
        const std::string imported = second.ok({what, "import", second.write("in.ics", exported)});
        EXPECT_EQ(imported.rfind("added 1 " + what.substr(0, what.size() - 1) + ",", 0), 0u) << imported;
        EXPECT_EQ(All(second, what), All(first, what)) << ClientRun::Join(c.add) << " came back as another record";
    }

    // What neither the file nor an export could hold is refused up front.
    OneProfile run;
    ExpectFails(run, 2, {{"events", "add", "--subject", "x", "--start", "9999-12-31", "--all-day-event", "yes"}},
                "an all-day event must end by 9999-12-30");
    const std::string old =
        run.write("old.ics", Ics("BEGIN:VEVENT\r\nUID:o\r\nSUMMARY:Old\r\nDTSTART:00500101T100000Z\r\nEND:VEVENT\r\n"));
    const ClientResult refused = run({"events", "import", old});
    EXPECT_EQ(refused.status, 1) << "an import that stored nothing while entries failed";
    EXPECT_TRUE(Has(refused.out, "old.ics:3: dates before 0100-01-01 cannot be stored"));
}

// Importing again, or a file that overlaps one imported before, adds
// nothing: entries find their events, changed ones update them. (That tasks
// imported again add nothing is the round-trip fuzz target's property.)
TEST(ClientInterchange, ReimportAddsNothingAndUpdatesWhatChanged) {
    OneProfile run;
    const std::string rfc = DataFile("ical/rfc5545_examples.ics"), google = DataFile("ical/google_recurring.ics");
    const int fromRfc = run.json({"events", "import", rfc})["added"],
              fromGoogle = run.json({"events", "import", google})["added"];
    const Json events = All(run, "events");
    EXPECT_TRUE(Includes(run.json({"events", "import", google, rfc, rfc}),
                         {{"added", 0}, {"updated", 0}, {"unchanged", fromGoogle + 2 * fromRfc}}));
    EXPECT_EQ(All(run, "events"), events);

    // The same calendar exported elsewhere with one event moved to another room.
    std::string exported = run.ok({"events", "export"});
    const size_t summary = exported.find("SUMMARY:");
    exported.insert(exported.find("\r\n", summary) + 2, "LOCATION:Room 9\r\n");
    EXPECT_TRUE(Includes(run.import("events", exported), {{"added", 0}, {"updated", 1}}));
    EXPECT_EQ(All(run, "events").size(), events.size());

    // Two entries of one file with one subject and start are two events.
    const std::string twins =
        run.write("twins.ics", Ics("BEGIN:VEVENT\r\nSUMMARY:Standup\r\nLOCATION:A\r\nDTSTART:20240108T090000Z\r\n"
                                   "END:VEVENT\r\nBEGIN:VEVENT\r\nSUMMARY:Standup\r\nLOCATION:B\r\n"
                                   "DTSTART:20240108T090000Z\r\nEND:VEVENT\r\n"));
    EXPECT_TRUE(Includes(run.json({"events", "import", twins}), {{"added", 2}}));
    EXPECT_TRUE(Includes(run.json({"events", "import", twins, twins}), {{"added", 0}, {"unchanged", 4}}));
}

TEST(ClientInterchange, DryRunsAndReadOnlyFilesStoreNothingAndDryRunsReportWhatTheImportWouldDo) {
    OneProfile run;
    run.ok({"contacts", "import", DataFile("vcard/apple_30.vcf")});
    // The file as it stands: its bytes and its modification time, set an
    // hour back so that a write within the same second would show.
    const auto when = std::filesystem::last_write_time(run.db()) - std::chrono::hours(1);
    std::filesystem::last_write_time(run.db(), when);
    const std::string before = FileBytes(run.db());
    const auto untouched = [&] {
        return FileBytes(run.db()) == before && std::filesystem::last_write_time(run.db()) == when;
    };
    // Commands that only read leave it so.
    run.ok({"contacts", "list"});
    run.ok({"events", "month"});
    EXPECT_TRUE(untouched()) << "a command that only reads changed the file";
    // So does an import that fails before storing: nothing of its kind in
    // the files (an empty file, the other kind of file).
    ExpectFails(run, 1,
                {{"contacts", "import", run.write("empty.vcf", "")},
                 {"events", "import", DataFile("ical/thunderbird_tasks.ics")},
                 {"tasks", "import", DataFile("ical/google_recurring.ics")},
                 {"events", "import", DataFile("vcard/apple_30.vcf")}},
                "found in");
    EXPECT_TRUE(untouched()) << "an import that found nothing to import changed the file";
    // A family, and a file of it.
    const std::pair<const char*, std::string> kImports[] = {
        {"contacts", DataFile("vcard/apple_30.vcf")},
        {"contacts", DataFile("vcard/rfc2426_examples.vcf")},
        {"events", DataFile("ical/google_recurring.ics")},
        {"tasks", DataFile("ical/thunderbird_tasks.ics")},
    };
    std::vector<Json> dryReports;
    for (const auto& [family, file] : kImports) {
        dryReports.push_back(run.json({family, "import", "--dry-run", file}));
        EXPECT_TRUE(untouched()) << family << " import --dry-run changed the file";
    }
    const std::string apple = kImports[0].second;
    EXPECT_EQ(run.ok({"contacts", "import", "--dry-run", apple}).rfind("dry run: nothing was stored\n", 0), 0u);
    // A file the person may not write, or has marked read-only, is refused
    // before anything is stored: nothing half-imported. Reading still works.
    std::filesystem::permissions(run.db(), std::filesystem::perms::owner_read | std::filesystem::perms::group_read |
                                               std::filesystem::perms::others_read);
    std::vector<Args> writes{{"contacts", "add", "--first-name", "Bob"}};
    for (const auto& [family, file] : kImports) writes.push_back({family, "import", file});
    ExpectFails(run, 1, writes, "the file is read-only");
    EXPECT_EQ(run.json({"contacts", "list"}).size(), 1u);
    EXPECT_TRUE(untouched()) << "a refused write changed a read-only file";
    std::filesystem::permissions(run.db(), std::filesystem::perms::owner_write, std::filesystem::perm_options::add);
    // The real imports report what the dry runs said they would do.
    for (size_t i = 0; i < std::size(kImports); ++i) {
        const auto& [family, file] = kImports[i];
        EXPECT_EQ(dryReports[i]["dry_run"], true);
        dryReports[i].erase("dry_run");
        EXPECT_EQ(run.json({family, "import", file}), dryReports[i]) << file;
    }
    ExpectFails(run, 1, {{"--db", run.dir().file("none.db").string(), "contacts", "import", "--dry-run", apple}},
                "no such file");
    for (const char* f : {"none.db", "none.db-wal", "none.db-journal"})
        EXPECT_FALSE(std::filesystem::exists(run.dir().file(f))) << f;
}

// Ctrl-C while the cards are still being read, and while they are being
// stored: the person is told nothing was imported, the shell sees 130, and
// nothing is.
TEST(ClientInterchange, CtrlCDuringAnImportSaysSoAndStoresNothing) {
    OneProfile run;
    const std::string fifo = run.dir().file("cards.fifo").string();
    const std::string errFile = run.dir().file("import-err.txt").string();
    std::string cards;
    for (int i = 0; i < 5000; ++i)
        cards += "BEGIN:VCARD\r\nVERSION:3.0\r\nN:Card" + std::to_string(i) + ";Ada;;;\r\nFN:Ada\r\nEND:VCARD\r\n";
    for (const bool storing : {false, true}) {
        SCOPED_TRACE(storing ? "storing" : "reading");
        ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
        std::filesystem::remove(errFile);
        ChildProcess import({CALYRA_CLIENT_PATH, "--db", run.db(), "contacts", "import", fifo}, errFile);
        // Once calyra has the pipe open it is reading it, past its start.
        int writer = -1;
        for (int i = 0; i < 3000 && writer < 0; ++i) {
            writer = ::open(fifo.c_str(), O_WRONLY | O_NONBLOCK);
            if (writer < 0) std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        ASSERT_GE(writer, 0) << "calyra never opened the pipe";
        if (storing) {
            ::fcntl(writer, F_SETFL, 0);
            ASSERT_EQ(::write(writer, cards.data(), cards.size()), static_cast<ssize_t>(cards.size()));
            ::close(writer);
            // The transaction has begun when the write-ahead log appears.
            for (int i = 0; i < 6000 && !std::filesystem::exists(run.db() + "-wal"); ++i)
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        ::kill(import.pid(), SIGINT);
        // The pipe closes before the wait: a sanitizer that holds signals
        // back until a blocking read returns then still delivers it.
        if (!storing) ::close(writer);
        EXPECT_EQ(import.Finish(), 130);
        EXPECT_EQ(FileBytes(errFile), "calyra: interrupted; nothing was imported\n");
        EXPECT_EQ(run.json({"contacts", "list"}).size(), 0u);
        std::filesystem::remove(fifo);
    }
}

}  // namespace
}  // namespace calyra::test
