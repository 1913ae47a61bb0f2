// `contacts edit ID --editor`: the contact comes back from the person's
// editor (a script standing in for one) changed, unchanged, or refused with
// the file kept and the database as it was.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>

#include "client_run.h"

namespace calyra::test {
namespace {

class EditorTest : public ::testing::Test {
protected:
    void SetUp() override {
        run.ok({"profiles", "add", "P"});
        run.ok({"groups", "add", "Family"});
        run.ok({"contacts", "add", "--first-name", "Bob", "--phone", "home:+1555", "--email", "b@x.org", "--photo",
                "bob.jpg"});
        run.ok({"groups", "join", "1", "1"});
    }
    void TearDown() override { ::unsetenv("VISUAL"); }

    // Makes `script` the editor; it gets the file as $1.
    void editor(const std::string& script) {
        const std::string path = run.dir().file("editor.sh").string();
        std::ofstream(path) << "#!/bin/sh\n" << script << "\n";
        std::filesystem::permissions(path, std::filesystem::perms::owner_all);
        ::setenv("VISUAL", path.c_str(), 1);
    }

    ClientRun run;
};

TEST_F(EditorTest, StoresWhatThePersonChangedAndKeepsTheRest) {
    editor("sed -i -e 's/^N:.*/N:Smith;Robert;;;\\r/' -e '/^EMAIL/d' -e '/^CATEGORIES/d' \"$1\"");
    EXPECT_NE(run.ok({"contacts", "edit", "1", "--editor"}).find("changed contact 1"), std::string::npos);
    EXPECT_TRUE(Includes(run.json({"contacts", "show", "1"}), R"({"first_name": "Robert", "last_name": "Smith",
        "photo": "bob.jpg", "phones": [{"phone_number_id": "1", "phone_number": "+1555"}], "emails": [],
        "groups": []})"_json))
        << "fields a card has no place for stay; an untouched detail family keeps its IDs";

    editor("exit 0");
    EXPECT_TRUE(Includes(run.json({"contacts", "edit", "1", "--editor"}), R"({"changed": false})"_json));
}

TEST_F(EditorTest, EventsAndTasksTravelAsICalendarInTheirZone) {
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
}

TEST_F(EditorTest, ATextThatCannotBeStoredChangesNothingAndIsKept) {
    const auto before = run.json({"contacts", "show", "1"});
    editor("c=$(sed 's/^N:.*/N:Gone;;;;/' \"$1\"); printf '%s\\n%s\\n' \"$c\" \"$c\" > \"$1\"");
    const ClientResult twoCards = run({"contacts", "edit", "1", "--editor"});
    EXPECT_EQ(twoCards.status, 1);
    const size_t kept = twoCards.err.find("kept in ");
    ASSERT_NE(kept, std::string::npos) << twoCards.err;
    const std::string file = twoCards.err.substr(kept + 8, twoCards.err.find('\n', kept) - kept - 8);
    EXPECT_TRUE(std::filesystem::exists(file)) << file;
    std::filesystem::remove(file);

    editor("exit 3");
    ExpectFails(run, 1, {{"contacts", "edit", "1", "--editor"}}, "exited with status 3");
    ExpectFails(run, 2, {{"contacts", "edit", "1", "--editor", "--first-name", "X"}}, "--editor");
    ExpectFails(run, 1, {{"contacts", "edit", "9", "--editor"}}, "no contact");
    EXPECT_EQ(run.json({"contacts", "show", "1"}), before);
}

}  // namespace
}  // namespace calyra::test
