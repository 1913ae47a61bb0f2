// `contacts edit ID --editor`: the contact comes back from the person's
// editor (a script standing in for one) changed, unchanged, or refused with
// the file kept and the database as it was.
#include <gtest/gtest.h>

#include <cstdlib>

#include "client_run.h"

namespace calyra::test {
namespace {

// The person's changes are stored and what they did not touch is kept;
// the text is stored whole or not at all: two cards, a value the reader
// cannot read (a birthday typo) or a contact left without any name must
// not store the rest and drop the stored value, and the text is kept.
// Events and tasks travel as iCalendar in their zone.
TEST(ClientEditor, WhatThePersonChangedIsStoredWholeOrNotAtAll) {
    ClientRun run;
    ScopedEnv visual{"VISUAL", nullptr};
    // Makes `script` the editor; it gets the file as $1.
    const auto editor = [&run](const std::string& script) {
        const std::string path = run.write("editor.sh", "#!/bin/sh\n" + script + "\n");
        std::filesystem::permissions(path, std::filesystem::perms::owner_all);
        ::setenv("VISUAL", path.c_str(), 1);
    };
    run.ok({"profiles", "add", "P"});
    run.ok({"groups", "add", "Family"});
    run.ok({"contacts", "add", "--first-name", "Bob", "--phone", "home:+1555", "--email", "b@x.org", "--photo",
            "bob.jpg"});
    run.ok({"groups", "join", "1", "1"});
    run.ok({"contacts", "edit", "1", "--birthday", "1990-05-01"});
    const auto before = run.json({"contacts", "show", "1"});
    const std::pair<const char*, const char*> kEdits[] = {
        {"c=$(sed 's/^N:.*/N:Gone;;;;/' \"$1\"); printf '%s\\n%s\\n' \"$c\" \"$c\" > \"$1\"", "kept in"},
        {"sed -i -e 's/^BDAY:.*/BDAY:1990-13-45\r/' -e 's/^N:.*/N:Smith;Robert;;;\r/' \"$1\"", "BDAY"},
        {"sed -i -e '/^N:/d' -e '/^FN:/d' \"$1\"", "name"},
    };
    for (const auto& [script, words] : kEdits) {
        editor(script);
        const ClientResult r = run({"contacts", "edit", "1", "--editor"});
        EXPECT_EQ(r.status, 1) << script;
        EXPECT_TRUE(Has(r.err, words)) << script;
        const size_t kept = r.err.find("kept in ");
        ASSERT_NE(kept, std::string::npos) << r.err;
        const std::string file = r.err.substr(kept + 8, r.err.find('\n', kept) - kept - 8);
        EXPECT_TRUE(std::filesystem::exists(file)) << file;
        std::filesystem::remove(file);
    }
    editor("exit 3");
    ExpectSteps(run, {{{"contacts", "edit", "1", "--editor"}, 1, "exited with status 3"},
                      {{"contacts", "edit", "1", "--editor", "--first-name", "X"}, 2, "--editor"},
                      {{"contacts", "edit", "9", "--editor"}, 1, "no contact"},
                      {{"contacts", "add", "--phone", "+1 555 0199"}, 2, "a contact needs a name"}});
    EXPECT_EQ(run.json({"contacts", "show", "1"}), before);

    editor("sed -i -e 's/^N:.*/N:Smith;Robert;;;\\r/' -e '/^EMAIL/d' -e '/^CATEGORIES/d' \"$1\"");
    EXPECT_TRUE(Has(run.ok({"contacts", "edit", "1", "--editor"}), "changed contact 1"));
    EXPECT_TRUE(Includes(run.json({"contacts", "show", "1"}), R"({"first_name": "Robert", "last_name": "Smith",
        "photo": "bob.jpg", "phones": [{"phone_number_id": "1", "phone_number": "+1555"}], "emails": [],
        "groups": []})"_json))
        << "fields a card has no place for stay; an untouched detail family keeps its IDs";
    editor("exit 0");
    EXPECT_TRUE(Includes(run.json({"contacts", "edit", "1", "--editor"}), R"({"changed": false})"_json));

    run.ok({"--tz", "Europe/Berlin", "events", "add", "--subject", "Standup", "--start", "2027-02-01 09:30", "--for",
            "30m", "--repeat", "weekly", "--on", "mon"});
    run.ok({"tasks", "add", "--subject", "Taxes", "--end-date", "2027-03-01"});
    // The event comes as its zone's wall time; moving it to 10:00 there
    // must keep it at 10:00 after the clock change.
    editor(
        "sed -i -e 's/^SUMMARY:.*/SUMMARY:Sync\\r/' -e 's/20270201T100000/20270201T103000/' "
        "-e 's/20270201T093000/20270201T100000/' \"$1\"");
    run.ok({"events", "edit", "1", "--editor"});
    EXPECT_TRUE(
        Includes(run.json({"--tz", "Europe/Berlin", "events", "list", "--from", "2027-04-05", "--to", "2027-04-05"}),
                 R"([{"subject": "Sync", "start": "2027-04-05T10:00:00+02:00"}])"_json));
    run.ok({"tasks", "edit", "1", "--editor"});
    EXPECT_TRUE(Includes(run.json({"tasks", "show", "1"}), R"({"subject": "Sync"})"_json));

    // The excluded dates the editor shows are the event's: one taken out
    // brings its occurrence back, one added removes it.
    run.import("events", Ics("BEGIN:VEVENT\r\nUID:w\r\nSUMMARY:Weekly\r\nDTSTART:20270104T090000Z\r\n"
                             "DTEND:20270104T100000Z\r\nRRULE:FREQ=WEEKLY;COUNT=4\r\nEXDATE:20270111T090000Z\r\n"
                             "END:VEVENT\r\n"));
    const auto starts = [&run] {
        Texts out;
        for (const auto& o : run.json({"--tz", "UTC", "events", "list", "--from", "2027-01-01", "--to", "2027-01-31"}))
            out.push_back(o["start"].get<std::string>().substr(0, 10));
        return out;
    };
    ASSERT_EQ(starts(), (Texts{"2027-01-04", "2027-01-18", "2027-01-25"}));
    editor("sed -i -e 's/^EXDATE.*/EXDATE:20270125T090000Z\r/' \"$1\"");
    run.ok({"events", "edit", "2", "--editor"});
    EXPECT_EQ(starts(), (Texts{"2027-01-04", "2027-01-11", "2027-01-18"}));
    editor("sed -i -e '/^EXDATE/d' \"$1\"");
    run.ok({"events", "edit", "2", "--editor"});
    EXPECT_EQ(starts(), (Texts{"2027-01-04", "2027-01-11", "2027-01-18", "2027-01-25"}));
}

}  // namespace
}  // namespace calyra::test
