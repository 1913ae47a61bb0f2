// vCard and iCalendar import and export through the program, as a person
// or a script uses them: what goes in comes back out, broken entries are
// named by line and skipped, and nothing already stored changes.
#include <gtest/gtest.h>
#include <libical/ical.h>

#include <filesystem>
#include <fstream>

#include "client_run.h"

namespace calyra::test {
namespace {

using nlohmann::ordered_json;

std::string DataFile(const std::string& name) {
    return (std::filesystem::path(CALYRA_TEST_DATA_DIR) / name).string();
}

ClientRun& WithProfile(ClientRun& run) {
    run.ok({"profiles", "add", "Phone"});
    return run;
}

// A value without what differs between two databases: IDs and write stamps.
ordered_json WithoutIds(const ordered_json& value) {
    if (value.is_array()) {
        ordered_json out = ordered_json::array();
        for (const auto& v : value) out.push_back(WithoutIds(v));
        return out;
    }
    if (!value.is_object()) return value;
    ordered_json out = ordered_json::object();
    for (const auto& [key, v] : value.items()) {
        const bool id = key.size() > 3 && key.compare(key.size() - 3, 3, "_id") == 0;
        if (id || key == "modified" || key == "created") continue;
        out[key] = WithoutIds(v);
    }
    return out;
}

// Every contact with its details and groups, without IDs.
ordered_json AllContacts(const ClientRun& run) {
    ordered_json out = ordered_json::array();
    for (const auto& c : run.json({"contacts", "list"})) out.push_back(WithoutIds(run.json({"contacts", "show", c["contact_id"]})));
    return out;
}

// Every event with its exceptions and category name, without IDs.
ordered_json AllEvents(const ClientRun& run) {
    std::map<std::string, std::string> names;
    for (const auto& c : run.json({"categories", "list"})) names[c["event_category_id"]] = c["event_category_name"];
    ordered_json out = ordered_json::array();
    for (const auto& e : run.json({"events", "list"})) {
        ordered_json shown = run.json({"events", "show", e["event_id"]});
        shown["category_name"] = names[shown["event_category_id"]];
        out.push_back(WithoutIds(shown));
    }
    return out;
}

void WriteFile(const std::filesystem::path& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
}

const std::vector<std::string> kCardFiles = {"vcard/rfc6350_example.vcf", "vcard/rfc2426_examples.vcf",
                                             "vcard/outlook_21_quoted_printable.vcf", "vcard/apple_30.vcf",
                                             "vcard/google_30_folded.vcf"};
const std::vector<std::string> kCalendarFiles = {"ical/rfc5545_examples.ics", "ical/outlook_timezones.ics",
                                                 "ical/google_recurring.ics", "ical/thunderbird_tasks.ics"};

TEST(ClientInterchange, ContactsComeBackTheSameThroughBothVCardVersions) {
    ClientRun first;
    WithProfile(first);
    std::vector<std::string> args{"--json", "contacts", "import"};
    for (const auto& f : kCardFiles) args.push_back(DataFile(f));
    auto imported = ordered_json::parse(first.ok(args));
    EXPECT_EQ(imported["imported"], 7);
    EXPECT_EQ(imported["skipped"], 0);
    const ordered_json original = AllContacts(first);
    ASSERT_EQ(original.size(), 7u);

    for (const char* version : {"3.0", "4.0"}) {
        const auto exported = first.dir().file(std::string("out-") + version + ".vcf");
        first.ok({"contacts", "export", "--version", version, "--out", exported.string()});
        ClientRun second;
        WithProfile(second);
        auto again = second.json({"contacts", "import", exported.string()});
        EXPECT_EQ(again["imported"], 7) << version;
        EXPECT_TRUE(again["diagnostics"].empty()) << again.dump(2);
        EXPECT_EQ(AllContacts(second), original) << "vCard " << version;
    }
}

TEST(ClientInterchange, ImportedContactsKeepTheirDetailsAndGroups) {
    ClientRun run;
    WithProfile(run);
    run.ok({"contacts", "import", DataFile("vcard/apple_30.vcf")});
    auto contacts = run.json({"contacts", "list"});
    ASSERT_EQ(contacts.size(), 1u);
    auto johnny = run.json({"contacts", "show", contacts[0]["contact_id"]});
    EXPECT_EQ(johnny["first_name"], "Johnny");
    EXPECT_EQ(johnny["company_name"], "Apple Inc.");
    EXPECT_EQ(johnny["department"], "Engineering");
    EXPECT_EQ(johnny["birthday"], "1980-06-15T00:00:00Z");
    EXPECT_EQ(johnny["anniversary"], "2005-09-10T00:00:00Z");
    EXPECT_EQ(johnny["phones"].size(), 3u);
    EXPECT_EQ(johnny["phones"][0]["phone_number_type"], "mobile");
    EXPECT_EQ(johnny["phones"][0]["primary"], true);
    ASSERT_EQ(johnny["ims"].size(), 5u);
    EXPECT_EQ(johnny["ims"][0]["protocol"], "skype");
    EXPECT_EQ(johnny["ims"][1]["protocol"], "jabber");
    EXPECT_EQ(johnny["ims"][1]["address"], "johnny@jabber.example.org");
    ASSERT_EQ(johnny["groups"].size(), 2u);
    EXPECT_EQ(johnny["groups"][0]["contact_group_name"], "Work");
}

TEST(ClientInterchange, BrokenCardsAreSkippedByLineAndTheOthersLand) {
    ClientRun run;
    WithProfile(run);
    auto report = run.json({"contacts", "import", DataFile("vcard/malformed.vcf")});
    EXPECT_EQ(report["imported"], 3);
    EXPECT_EQ(report["skipped"], 4);
    std::vector<int> skippedLines;
    for (const auto& d : report["diagnostics"])
        if (d["skipped"] == true) skippedLines.push_back(d["line"]);
    EXPECT_EQ(skippedLines, (std::vector<int>{10, 19, 28, 32}));
    EXPECT_EQ(report["diagnostics"][0]["file"], DataFile("vcard/malformed.vcf"));
    EXPECT_EQ(run.json({"contacts", "list"}).size(), 3u);

    // People read the same in words.
    const std::string text = run.ok({"contacts", "import", DataFile("vcard/malformed.vcf")});
    EXPECT_NE(text.find("imported 3 contacts, skipped 4"), std::string::npos) << text;
    EXPECT_NE(text.find("malformed.vcf:19: card has no END:VCARD"), std::string::npos) << text;
}

TEST(ClientInterchange, ImportLeavesWhatIsStoredAsItWas) {
    ClientRun run;
    WithProfile(run);
    auto group = run.json({"groups", "add", "Friends"});
    auto added = run.json({"contacts", "add", "--first-name", "Ada", "--last-name", "Lovelace", "--phone", "home:+44 1"});
    const std::string adaId = added["contact_id"];
    run.ok({"groups", "join", group["contact_group_id"], adaId});
    const auto before = run.json({"contacts", "show", adaId});

    auto report = run.json({"contacts", "import", DataFile("vcard/apple_30.vcf")});
    EXPECT_EQ(report["groups_created"], 1) << "\"Work\" is new; \"Friends\" exists already";
    EXPECT_EQ(run.json({"contacts", "show", adaId}), before);
    EXPECT_EQ(run.json({"groups", "list"}).size(), 2u);

    // A file that cannot be read stops the import before anything is added.
    auto missing = run({"contacts", "import", DataFile("vcard/apple_30.vcf"), run.dir().file("nope.vcf").string()});
    EXPECT_EQ(missing.status, 1);
    EXPECT_NE(missing.err.find("cannot read"), std::string::npos) << missing.err;
    EXPECT_EQ(run.json({"contacts", "list"}).size(), 2u);
}

TEST(ClientInterchange, ThousandsOfContactsGoInAndComeOut) {
    constexpr int kContacts = 3000;
    ClientRun run;
    WithProfile(run);
    std::string text;
    for (int i = 0; i < kContacts; ++i) {
        const std::string n = std::to_string(i);
        text += "BEGIN:VCARD\r\nVERSION:3.0\r\nN:Family" + n + ";Given" + n + ";;;\r\nFN:Given" + n + " Family" + n +
                "\r\nTEL;TYPE=cell:+1 555 " + n + "\r\nEMAIL;TYPE=work:p" + n + "@example.org\r\nCATEGORIES:Team " +
                std::to_string(i % 7) + "\r\nNOTE:Folded note for contact " + n + " that runs well past seventy-five" +
                "\r\n  octets so the reader has to unfold it\r\nEND:VCARD\r\n";
    }
    const auto file = run.dir().file("many.vcf");
    WriteFile(file, text);
    auto report = run.json({"contacts", "import", file.string()});
    EXPECT_EQ(report["imported"], kContacts);
    EXPECT_EQ(report["groups_created"], 7);
    auto list = run.json({"contacts", "list"});
    ASSERT_EQ(list.size(), static_cast<size_t>(kContacts));
    EXPECT_EQ(list[1234]["last_name"], "Family1234");
    EXPECT_EQ(list[1234]["email"], "p1234@example.org");
    EXPECT_EQ(list[1234]["description"], "Folded note for contact 1234 that runs well past seventy-five octets so the "
                                          "reader has to unfold it");
    const std::string exported = run.ok({"contacts", "export"});
    size_t cards = 0;
    for (size_t at = exported.find("BEGIN:VCARD"); at != std::string::npos; at = exported.find("BEGIN:VCARD", at + 1))
        ++cards;
    EXPECT_EQ(cards, static_cast<size_t>(kContacts));
}

TEST(ClientInterchange, EventsComeBackTheSameThroughICalendar) {
    ClientRun first;
    WithProfile(first);
    std::vector<std::string> args{"--json", "events", "import"};
    for (const auto& f : kCalendarFiles) args.push_back(DataFile(f));
    auto report = ordered_json::parse(first.ok(args));
    EXPECT_EQ(report["imported"], 8) << "seven events and one moved occurrence";
    EXPECT_EQ(report["exceptions"], 1);
    EXPECT_EQ(report["excluded_dates"], 1);
    EXPECT_EQ(report["skipped"], 0) << report.dump(2);
    const ordered_json original = AllEvents(first);
    ASSERT_EQ(original.size(), 7u);

    const auto exported = first.dir().file("out.ics");
    first.ok({"events", "export", "--out", exported.string()});
    ClientRun second;
    WithProfile(second);
    auto again = second.json({"events", "import", exported.string()});
    EXPECT_TRUE(again["diagnostics"].empty()) << again.dump(2);
    EXPECT_EQ(AllEvents(second), original);
}

TEST(ClientInterchange, RecurringEventsKeepTheirRuleTimesAndExceptions) {
    ClientRun run;
    WithProfile(run);
    run.ok({"events", "import", DataFile("ical/outlook_timezones.ics")});
    auto events = run.json({"events", "list"});
    ASSERT_EQ(events.size(), 2u);
    auto sync = run.json({"events", "show", events[0]["event_id"]});
    EXPECT_EQ(sync["subject"], "Team sync");
    EXPECT_EQ(sync["start_date_time"], "2024-01-15T09:00:00Z") << "10:00 Central European winter time";
    EXPECT_EQ(sync["reminder_time"], 15);
    EXPECT_EQ(sync["recurrence_text"], "weekly on Mon, until 2024-06-17");
    ASSERT_EQ(sync["exceptions"].size(), 2u);
    std::map<std::string, ordered_json> byOriginal;
    for (const auto& x : sync["exceptions"]) byOriginal[x["original_start_time"]] = x;
    EXPECT_EQ(byOriginal["2024-02-12T09:00:00Z"]["status"], "canceled") << "EXDATE removes the occurrence";
    EXPECT_EQ(byOriginal["2024-04-08T08:00:00Z"]["start_date_time"], "2024-04-08T09:30:00Z")
        << "the moved meeting at 11:30 summer time";
    auto conference = run.json({"events", "show", events[1]["event_id"]});
    EXPECT_EQ(conference["all_day_event"], true);
    EXPECT_EQ(conference["availability"], "out_of_office");
}

TEST(ClientInterchange, ExportedCalendarsParseWithLibical) {
    ClientRun run;
    WithProfile(run);
    std::vector<std::string> args{"events", "import"};
    for (const auto& f : kCalendarFiles) args.push_back(DataFile(f));
    run.ok(args);
    for (const char* family : {"events", "tasks"}) {
        const std::string text = run.ok({family, "export"});
        icalcomponent* calendar = icalparser_parse_string(text.c_str());
        ASSERT_TRUE(calendar) << text;
        EXPECT_EQ(icalcomponent_count_errors(calendar), 0) << text;
        if (std::string(family) == "events") {
            EXPECT_EQ(icalcomponent_count_components(calendar, ICAL_VEVENT_COMPONENT), 8) << text;
        }
        icalcomponent_free(calendar);
    }
    // --to takes a bare day as its end.
    const std::string ranged = run.ok({"events", "export", "--from", "2024-07-01", "--to", "2024-07-04"});
    EXPECT_NE(ranged.find("SUMMARY:Independence Day"), std::string::npos) << ranged;
    EXPECT_EQ(ranged.find("SUMMARY:Floating lunch"), std::string::npos) << ranged;
}

TEST(ClientInterchange, TasksComeBackTheSameThroughICalendar) {
    ClientRun first;
    WithProfile(first);
    auto report = first.json({"tasks", "import", DataFile("ical/rfc5545_examples.ics"), DataFile("ical/thunderbird_tasks.ics")});
    EXPECT_EQ(report["imported"], 4);
    auto tasks = first.json({"tasks", "list"});
    ASSERT_EQ(tasks.size(), 4u);
    EXPECT_EQ(tasks[2]["subject"], "File the tax return");
    EXPECT_EQ(tasks[2]["task_status"], "in_progress");
    EXPECT_EQ(tasks[2]["complete_percent"], 40);
    EXPECT_EQ(tasks[2]["task_category"], "business");
    EXPECT_EQ(tasks[3]["recurrence_text"], "weekly on Sat");

    const auto exported = first.dir().file("tasks.ics");
    first.ok({"tasks", "export", "--out", exported.string()});
    ClientRun second;
    WithProfile(second);
    second.ok({"tasks", "import", exported.string()});
    EXPECT_EQ(WithoutIds(second.json({"tasks", "list"})), WithoutIds(tasks));
}

TEST(ClientInterchange, BrokenCalendarEntriesAreSkippedByLine) {
    ClientRun run;
    WithProfile(run);
    auto report = run.json({"events", "import", DataFile("ical/malformed.ics")});
    EXPECT_EQ(report["imported"], 2);
    std::vector<int> skippedLines;
    for (const auto& d : report["diagnostics"])
        if (d["skipped"] == true) skippedLines.push_back(d["line"]);
    std::sort(skippedLines.begin(), skippedLines.end());
    EXPECT_EQ(skippedLines, (std::vector<int>{8, 15, 17}));
    EXPECT_EQ(report["not_stored"]["VTODO (read by tasks import)"], 1);
    EXPECT_EQ(run.json({"events", "list"}).size(), 2u);
}

TEST(ClientInterchange, LocalTimesFollowTheZoneGiven) {
    ClientRun run;
    WithProfile(run);
    const auto file = run.dir().file("floating.ics");
    WriteFile(file, "BEGIN:VCALENDAR\r\nVERSION:2.0\r\nBEGIN:VEVENT\r\nUID:f\r\nSUMMARY:Lunch\r\n"
                    "DTSTART:20240105T120000\r\nEND:VEVENT\r\nEND:VCALENDAR\r\n");
    auto bad = run({"events", "import", "--zone", "Nowhere/Atlantis", file.string()});
    EXPECT_EQ(bad.status, 2);
    EXPECT_NE(bad.err.find("Nowhere/Atlantis"), std::string::npos) << bad.err;
    EXPECT_TRUE(run.json({"events", "list"}).empty()) << "a bad --zone imports nothing";
    run.ok({"events", "import", "--zone", "Asia/Tokyo", file.string()});
    auto events = run.json({"events", "list"});
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0]["start_date_time"], "2024-01-05T03:00:00Z");
}

// The RRULE texts the record can hold come in as rules (shown in words) and
// go out as the same rules; for the others the event comes in once, never
// with a different rule.
TEST(ClientInterchange, RecurrenceRulesReadAndWrittenBothWays) {
    const std::pair<const char*, const char*> kept[] = {
        {"FREQ=DAILY;INTERVAL=3", "every 3 days"},
        {"FREQ=DAILY;BYDAY=MO,TU,WE,TH,FR", "every weekday"},
        {"FREQ=WEEKLY;INTERVAL=2;BYDAY=MO,WE;WKST=MO", "every 2 weeks on Mon, Wed"},
        {"FREQ=MONTHLY;BYDAY=-1FR;COUNT=6", "every month on the last Friday, 6 times"},
        {"FREQ=MONTHLY;BYDAY=MO,TU,WE,TH,FR;BYSETPOS=-1", "every month on the last weekday"},
        {"FREQ=MONTHLY;BYMONTHDAY=15", "every month on day 15"},
        {"FREQ=YEARLY;BYMONTH=11;BYDAY=4TH", "yearly on the 4th Thursday of November"},
        {"FREQ=WEEKLY;UNTIL=20240305T183000Z", "weekly on Tue, until 2024-03-05"},
    };
    const char* refused[] = {"FREQ=HOURLY", "FREQ=MONTHLY;BYDAY=1MO,3MO", "FREQ=YEARLY;BYYEARDAY=100",
                             "FREQ=MONTHLY;BYMONTHDAY=-2", "FREQ=WEEKLY;INTERVAL=2;BYDAY=SU,TU;WKST=SU"};
    std::string ics = "BEGIN:VCALENDAR\r\nVERSION:2.0\r\n";
    int uid = 0;
    auto add = [&](const char* rule) {
        ics += "BEGIN:VEVENT\r\nUID:r" + std::to_string(++uid) + "\r\nSUMMARY:" + rule +
               "\r\nDTSTART:20240109T183000Z\r\nRRULE:" + rule + "\r\nEND:VEVENT\r\n";
    };
    for (const auto& [rule, words] : kept) add(rule);
    for (const char* rule : refused) add(rule);
    ClientRun run;
    WithProfile(run);
    WriteFile(run.dir().file("rules.ics"), ics + "END:VCALENDAR\r\n");
    run.ok({"events", "import", run.dir().file("rules.ics").string()});
    std::map<std::string, std::string> words;
    for (const auto& e : run.json({"events", "list"})) words[e["subject"]] = e["recurrence_text"];
    ASSERT_EQ(words.size(), std::size(kept) + std::size(refused));
    for (const char* rule : refused) EXPECT_EQ(words[rule], "") << rule << " was stored as another rule";
    for (const auto& [rule, text] : kept) EXPECT_EQ(words[rule], text) << rule;

    const std::string exported = run.ok({"events", "export"});
    EXPECT_NE(exported.find("UNTIL=20240305T183000Z"), std::string::npos) << "at the start's time of day\n" << exported;
    ClientRun again;
    WithProfile(again);
    WriteFile(again.dir().file("back.ics"), exported);
    again.ok({"events", "import", again.dir().file("back.ics").string()});
    std::map<std::string, std::string> back;
    for (const auto& e : again.json({"events", "list"})) back[e["subject"]] = e["recurrence_text"];
    EXPECT_EQ(back, words) << "exported rules read back as the same rules";
}

}  // namespace
}  // namespace calyra::test
