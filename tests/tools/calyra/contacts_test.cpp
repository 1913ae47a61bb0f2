// The contact and group commands end to end: what a person or a script
// gives on the command line lands in the database and comes back whole,
// only within the chosen profile.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "client_run.h"

namespace calyra::test {
namespace {

// Add takes every detail with its types; edit keeps what it is not given,
// and detail options add to what is there.
TEST(ClientContacts, DetailsAndTextsLandWholeInTheirFieldsOrAreRefusedByName) {
    OneProfile run;
    const std::string ada = run.add({"--first-name", "Ada",
                                     "--last-name",  "Lovelace",
                                     "--title",      "dr",
                                     "--birthday",   "1815-12-10",
                                     "--phone",      "work:fax:+44 20 7946 0000",
                                     "--phone",      "+44 7700 900000",
                                     "--email",      "home:ada@example.org",
                                     "--url",        "work:https://example.org:8080/ada",
                                     "--im",         "other:xmpp:ada@example.org",
                                     "--address",    "work:12 St James's Square;London;;SW1Y 4JH;United Kingdom"});
    // A bare number takes the defaults.
    EXPECT_TRUE(Includes(run.show(ada), R"({"first_name": "Ada", "last_name": "Lovelace", "title": "dr",
        "birthday": "1815-12-10T00:00:00Z", "anniversary": null, "groups": [],
        "phones": [{"phone_number": "+44 20 7946 0000", "location_type": "work", "phone_number_type": "fax"},
                   {"phone_number": "+44 7700 900000", "location_type": "home", "phone_number_type": "mobile"}],
        "emails": [{"email": "ada@example.org", "location_type": "home", "primary": true}],
        "urls": [{"web_url": "https://example.org:8080/ada", "location_type": "work"}],
        "ims": [{"location_type": "other", "protocol": "xmpp", "address": "ada@example.org"}],
        "addresses": [{"location_type": "work", "street": "12 St James's Square", "city": "London", "state": "",
                       "zip_code": "SW1Y 4JH", "country": "United Kingdom"}]})"_json));
    // The list shows the primary phone and e-mail beside the name.
    EXPECT_TRUE(Includes(run.json({"contacts", "list"}), R"([{"phone": "+44 20 7946 0000",
                                                              "email": "ada@example.org"}])"_json));

    const std::string id = run.add({"--first-name", "Grace", "--company-name", "Navy", "--nick-name", "Amazing",
                                    "--phone", "+1 555 0100", "--email", "grace@example.org"});
    run.ok({"contacts", "edit", id, "--job-title", "Rear Admiral", "--nick-name", "", "--phone", "work:+1 555 0199"});
    // An empty value clears a field; an added phone does not take over as primary.
    EXPECT_TRUE(Includes(run.show(id), R"({"first_name": "Grace", "company_name": "Navy", "job_title": "Rear Admiral",
        "nick_name": "", "phones": [{"phone_number": "+1 555 0100", "primary": true},
        {"phone_number": "+1 555 0199", "primary": false}], "emails": [{"email": "grace@example.org"}]})"_json));
    run.ok({"contacts", "edit", id, "--clear-phones", "--phone", "pager:+1 555 0142", "--clear-emails"});
    EXPECT_TRUE(Includes(run.show(id), R"({"phones": [{"phone_number": "+1 555 0142", "phone_number_type": "pager",
        "primary": true}], "emails": []})"_json));

    // Option texts read as [LOCATION:][...]VALUE where only the record's own
    // names count as prefixes, so a value that contains ':' stays whole. Texts
    // come back whole up to the longest that fits.
    const std::pair<Args, const char*> kept[] = {
        {{"--phone", "+49 30:1234"}, R"({"phones": [{"phone_number": "+49 30:1234", "location_type": "home"}]})"},
        {{"--phone", "OTHER:other:112"},
         R"({"phones": [{"phone_number": "112", "location_type": "other", "phone_number_type": "other"}]})"},
        {{"--email", " ada@example.org "}, R"({"emails": [{"email": "ada@example.org"}]})"},
        {{"--im", "work:skype:live:ada"},
         R"({"ims": [{"location_type": "work", "protocol": "skype", "address": "live:ada"}]})"},
        {{"--address", "Rue de l'Église 2\\;B;Genève"},
         R"({"addresses": [{"street": "Rue de l'Église 2;B", "city": "Genève"}]})"},
        {{"--address", "home:Avenue:5;;;;Iceland"},
         R"({"addresses": [{"location_type": "home", "street": "Avenue:5", "city": "", "country": "Iceland"}]})"},
    };
    for (const auto& [option, shown] : kept)
        EXPECT_TRUE(Includes(run.show(run.add({"--first-name", "Ada", option[0], option[1]})), Json::parse(shown)))
            << option[0] << " " << option[1];

    const std::pair<Args, const char*> refused[] = {
        {{"--phone", "work:cellular:+49301234"}, "unknown location or type \"cellular\""},
        {{"--phone", "mobile"}, "no phone number"},
        {{"--email", "wrok:ada@example.org"}, "unknown location \"wrok\""},
        {{"--url", "https://exa mple.org"}, "no spaces"},
        {{"--im", "home:"}, "no address"},
        {{"--address", "a;b;c;d;e;f"}, "more than five parts"},
        {{"--phone", "+49" + std::string(2047, '1')}, "too long"},
        {{"--title", "king"}, "king"},
    };
    for (const auto& [option, reason] : refused)
        ExpectFails(run, 2, {{"contacts", "add", "--first-name", "X", option[0], option[1]}}, reason);
    EXPECT_EQ(run.json({"contacts", "list"}).size(), std::size(kept) + 2) << "a refused line adds nothing";

    const std::string quoted = "O'Brien \"the 'quoted'\" -- ; DROP TABLE [tContact]; \\ %";
    const std::string unicode = "Zoë Ångström 東京 🙂 Ελλάδα";
    // Four-byte characters count two UTF-16 units: the longest text that
    // fits, built from them.
    std::string longest;
    for (int i = 0; i < 1023; ++i) longest += "🙂";
    longest += "é";
    const std::string zoe = run.add({"--last-name", quoted, "--first-name", unicode, "--description", longest});
    run.ok({"contacts", "edit", zoe, "--nick-name", "Z"});
    EXPECT_TRUE(Includes(run.show(zoe), {{"last_name", quoted}, {"first_name", unicode}, {"description", longest}}))
        << "a text of the longest allowed length came back cut";
    // One unit more would come back cut, so it is refused, not stored.
    ExpectFails(run, 2, {{"contacts", "edit", zoe, "--description", longest + "x"}}, "--description: ");
}

// An ID that is no number, or a field a list does not have, is a typo on the
// command line: exit 2 before the file is looked at, whether it is missing,
// not a database or fine.
TEST(ClientContacts, AMalformedIdIsAUsageErrorWhateverTheFile) {
    const std::vector<Args> lines = {
        {"contacts", "show", "abc"},
        {"contacts", "edit", "abc", "--first-name", "X"},
        {"contacts", "rm", "1", "abc"},
        {"contacts", "phones", "rm", "abc", "1"},
        {"groups", "join", "Family", "abc"},
        {"events", "show", "abc"},
        {"events", "rm", "abc"},
        {"events", "exceptions", "abc"},
        {"tasks", "show", "abc"},
        {"tasks", "done", "abc"},
        {"tasks", "rm", "abc"},
        {"tasks", "edit", "abc", "--subject", "X"},
    };
    ClientRun missing;
    ExpectFails(missing, 2, lines, "ID: \"abc\"");
    ExpectFails(missing, 2, {{"contacts", "list", "--sort", "nope"}, {"tasks", "list", "--fields", "task_id,nope"}},
                "unknown field \"nope\"");
    EXPECT_FALSE(std::filesystem::exists(missing.db())) << "a refused command line created the file";
    ClientRun garbage;
    std::ofstream(garbage.db()) << "not a database";
    ExpectFails(garbage, 2, lines, "ID: \"abc\"");
}

TEST(ClientContacts, StayWithinTheirProfileSayWhatIsMissingAndTakeTheirAddressesAlong) {
    ClientRun run;
    run.ok({"profiles", "add", "A"});
    run.ok({"profiles", "add", "B"});
    const std::string a = run.json({"--profile", "A", "contacts", "add", "--first-name", "OfA"})["contact_id"];
    run.json({"--profile", "B", "contacts", "add", "--first-name", "OfB", "--im", "keep@example.org"});
    const std::string groupB = run.json({"--profile", "B", "groups", "add", "InB"})["contact_group_id"];
    EXPECT_TRUE(run.json({"--profile", "A", "groups", "list"}).empty());

    ExpectFails(run, 1,
                {Args{"--profile", "B", "contacts", "show", a}, Args{"--profile", "B", "contacts", "rm", a},
                 Args{"--profile", "B", "contacts", "edit", a, "--first-name", "Taken"},
                 Args{"--profile", "B", "groups", "join", groupB, a}, Args{"--profile", "A", "groups", "rm", groupB},
                 Args{"--profile", "A", "groups", "members", groupB}},
                "in the current profile");
    ExpectFails(run, 1,
                {Args{"--profile", "A", "contacts", "show", "999"},
                 Args{"--profile", "A", "groups", "edit", "5", "--name", "X"}},
                "no contact");

    // The component keeps a deleted contact's instant-messaging addresses;
    // the client removes them with it. Clearing asks first.
    const Args b{"--profile", "B", "contacts"};
    run.ok(b + Args{"rm", run.json(b + Args{"add", "--first-name", "Gone", "--im", "g@example.org"})["contact_id"]});
    EXPECT_EQ(run.json({"sql", "SELECT COUNT(*) FROM [tIM]"}), R"([["1"]])"_json);
    ExpectFails(run, 2, {b + Args{"clear"}}, "--yes");
    EXPECT_EQ(run.json(b + Args{"clear", "--yes"})["deleted"], 1);
    EXPECT_EQ(run.json({"sql", "SELECT COUNT(*) FROM [tIM]"}), R"([["0"]])"_json);
    EXPECT_EQ(run.json({"--profile", "A", "contacts", "show", a})["first_name"], "OfA")
        << "clear touches only the current profile";
}

TEST(ClientGroups, AddEditJoinLeaveAndRemoveKeepTheContacts) {
    OneProfile run;
    const std::string a = run.add({"--first-name", "A", "--phone", "+1 555 0001"});
    const std::string b = run.add({"--first-name", "B"});
    const std::string family = run.json({"groups", "add", "Family", "--to-be-synced", "yes"})["contact_group_id"];
    const std::string friends = run.json({"groups", "add", "Friends"})["contact_group_id"];
    run.ok({"groups", "edit", family, "--name", "Büro"});
    EXPECT_TRUE(Includes(run.json({"groups", "list"})[0],
                         R"({"contact_group_name": "Büro", "to_be_synced": true, "members": 0})"_json))
        << "edit must keep fields it was not given";

    // Joining again does not store a second membership.
    EXPECT_TRUE(Includes(run.json({"groups", "join", family, a}), {{"joined", {a}}}));
    EXPECT_TRUE(Includes(run.json({"groups", "join", family, a, b, b}), {{"joined", {b}}, {"already_members", {a}}}));
    EXPECT_TRUE(Includes(run.json({"groups", "members", family})[0], {{"contact_id", a}, {"phone", "+1 555 0001"}}))
        << "members list like contacts list";
    // A second group adds to the contact's groups instead of replacing them.
    run.ok({"groups", "join", friends, a});
    EXPECT_EQ(run.show(a)["groups"].size(), 2u);
    EXPECT_TRUE(Includes(run.json({"groups", "leave", family, a, b}), {{"left", {a, b}}}));
    EXPECT_TRUE(Includes(run.json({"groups", "leave", family, a}), {{"left", Json::array()}, {"not_members", {a}}}));
    EXPECT_EQ(run.ids({"groups", "members", friends}), Texts{a});

    // (An edit of nothing or to an empty name is refused before the file is
    // read: the profiles test's bad command lines.)
    ExpectFails(run, 2, {Args{"groups", "add", ""}, Args{"groups", "join", friends}});
    // One unknown ID and nothing changes.
    ExpectFails(run, 1, {{"groups", "join", family, b, "999"}, {"groups", "leave", "999", a}});
    EXPECT_TRUE(run.json({"groups", "members", family}).empty());
    run.ok({"groups", "rm", friends});
    EXPECT_EQ(run.ids({"contacts", "list"}), (Texts{a, b})) << "contacts outlive groups";
    EXPECT_TRUE(run.show(a)["groups"].empty());
}

}  // namespace
}  // namespace calyra::test
