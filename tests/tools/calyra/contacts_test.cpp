// The contact and group commands end to end: what a person or a script
// gives on the command line lands in the database and comes back whole,
// only within the chosen profile.
#include <gtest/gtest.h>

#include <algorithm>

#include "client_run.h"

namespace calyra::test {
namespace {

using Json = nlohmann::ordered_json;

// A database with one profile, so commands need no --profile.
struct OneProfile {
    ClientRun run;
    OneProfile() { run.ok({"profiles", "add", "Phone"}); }

    std::string addContact(const std::vector<std::string>& options) const {
        std::vector<std::string> args{"contacts", "add"};
        args.insert(args.end(), options.begin(), options.end());
        return run.json(args).value("contact_id", "");
    }
};

// The item of a detail list whose `key` is `value`, or null.
Json Item(const Json& items, const std::string& key, const std::string& value) {
    for (const auto& item : items)
        if (item.value(key, "") == value) return item;
    return nullptr;
}

std::vector<std::string> Ids(const Json& contacts) {
    std::vector<std::string> ids;
    for (const auto& c : contacts) ids.push_back(c["contact_id"]);
    std::sort(ids.begin(), ids.end());
    return ids;
}

TEST(ClientContacts, AddWithDetailsShowsEveryDetailWithItsTypes) {
    OneProfile db;
    const std::string id = db.addContact({"--first-name", "Ada", "--last-name", "Lovelace", "--title", "dr",
                                          "--birthday", "1815-12-10", "--phone", "work:fax:+44 20 7946 0000",
                                          "--phone", "+44 7700 900000", "--email", "home:ada@example.org", "--url",
                                          "work:https://example.org:8080/ada", "--im", "other:xmpp:ada@example.org",
                                          "--address", "work:12 St James's Square;London;;SW1Y 4JH;United Kingdom"});
    ASSERT_FALSE(id.empty());
    // The first phone given is the primary one; a bare number takes the defaults.
    EXPECT_TRUE(Includes(db.run.json({"contacts", "show", id}), R"({"first_name": "Ada", "last_name": "Lovelace",
        "title": "dr", "birthday": "1815-12-10T00:00:00Z", "anniversary": null, "groups": [],
        "phones": [{"phone_number": "+44 20 7946 0000", "location_type": "work", "phone_number_type": "fax",
                    "primary": true},
                   {"phone_number": "+44 7700 900000", "location_type": "home", "phone_number_type": "mobile",
                    "primary": false}],
        "emails": [{"email": "ada@example.org", "location_type": "home", "primary": true}],
        "urls": [{"web_url": "https://example.org:8080/ada", "location_type": "work"}],
        "ims": [{"location_type": "other", "protocol": "xmpp", "address": "ada@example.org"}],
        "addresses": [{"location_type": "work", "street": "12 St James's Square", "city": "London", "state": "",
                       "zip_code": "SW1Y 4JH", "country": "United Kingdom"}]})"_json));
    // The list shows the primary phone and e-mail beside the name.
    EXPECT_TRUE(Includes(db.run.json({"contacts", "list"}), R"([{"phone": "+44 20 7946 0000",
                                                                 "email": "ada@example.org"}])"_json));
    const std::string table = db.run.ok({"contacts", "list"});
    EXPECT_NE(table.find("Lovelace"), std::string::npos) << table;
    EXPECT_NE(table.find("+44 20 7946 0000"), std::string::npos) << table;
}

TEST(ClientContacts, EditKeepsWhatItIsNotGiven) {
    OneProfile db;
    const std::string id = db.addContact({"--first-name", "Grace", "--company-name", "Navy", "--nick-name", "Amazing",
                                          "--phone", "+1 555 0100", "--email", "grace@example.org"});
    db.run.ok({"contacts", "edit", id, "--job-title", "Rear Admiral", "--nick-name", ""});
    Json c = db.run.json({"contacts", "show", id});
    EXPECT_EQ(c["first_name"], "Grace");
    EXPECT_EQ(c["company_name"], "Navy");
    EXPECT_EQ(c["job_title"], "Rear Admiral");
    EXPECT_EQ(c["nick_name"], "") << "an empty value clears a field";
    EXPECT_EQ(c["phones"].size(), 1u) << "details stay when none are named";
    EXPECT_EQ(c["emails"].size(), 1u);

    // Detail options add; --clear-phones replaces the phones.
    db.run.ok({"contacts", "edit", id, "--phone", "work:+1 555 0199"});
    c = db.run.json({"contacts", "show", id});
    ASSERT_EQ(c["phones"].size(), 2u);
    EXPECT_EQ(Item(c["phones"], "phone_number", "+1 555 0100")["primary"], true);
    EXPECT_EQ(Item(c["phones"], "phone_number", "+1 555 0199")["primary"], false)
        << "an added phone does not take over as primary";

    db.run.ok({"contacts", "edit", id, "--clear-phones", "--phone", "pager:+1 555 0142"});
    c = db.run.json({"contacts", "show", id});
    ASSERT_EQ(c["phones"].size(), 1u) << c["phones"].dump();
    EXPECT_EQ(c["phones"][0]["phone_number"], "+1 555 0142");
    EXPECT_EQ(c["phones"][0]["phone_number_type"], "pager");
    EXPECT_EQ(c["phones"][0]["primary"], true);
    EXPECT_EQ(c["emails"].size(), 1u) << "clearing phones leaves e-mail alone";

    db.run.ok({"contacts", "edit", id, "--clear-emails"});
    EXPECT_TRUE(db.run.json({"contacts", "show", id})["emails"].empty());
    EXPECT_EQ(db.run({"contacts", "edit", id}).status, 2) << "edit without changes is a bad command line";
}

TEST(ClientContacts, ClearNeedsYes) {
    OneProfile db;
    db.addContact({"--first-name", "A", "--im", "a@example.org"});
    db.addContact({"--first-name", "B"});
    auto refused = db.run({"contacts", "clear"});
    EXPECT_EQ(refused.status, 2);
    EXPECT_NE(refused.err.find("--yes"), std::string::npos) << refused.err;
    EXPECT_EQ(db.run.json({"contacts", "list"}).size(), 2u) << "nothing is deleted without --yes";

    EXPECT_EQ(db.run.json({"contacts", "clear", "--yes"})["deleted"], 2);
    EXPECT_TRUE(db.run.json({"contacts", "list"}).empty());
    // Their instant-messaging addresses go with them.
    EXPECT_EQ(db.run.json({"sql", "SELECT COUNT(*) FROM [tIM]"})[0][0], "0");
}

TEST(ClientContacts, RemoveTakesEveryDetailAndMembershipAlong) {
    OneProfile db;
    const std::string keep = db.addContact({"--first-name", "Keep", "--im", "keep@example.org"});
    const std::string id = db.addContact({"--first-name", "Gone", "--phone", "1", "--email", "g@example.org", "--url",
                                          "https://example.org", "--im", "g@example.org", "--address", "Street 1"});
    const std::string group = db.run.json({"groups", "add", "G"})["contact_group_id"];
    db.run.ok({"groups", "join", group, id, keep});
    db.run.ok({"contacts", "rm", id});
    EXPECT_EQ(Ids(db.run.json({"contacts", "list"})), std::vector<std::string>{keep});
    EXPECT_EQ(Ids(db.run.json({"groups", "members", group})), std::vector<std::string>{keep});
    for (const char* table : {"tPhoneNumber", "tEmail", "tWebUrl", "tIM", "tAddress"}) {
        Json rows = db.run.json({"sql", std::string("SELECT COUNT(*) FROM [") + table + "] WHERE [ContactID] = '" + id +
                                            "'"});
        EXPECT_EQ(rows[0][0], "0") << table << " keeps rows of the deleted contact";
    }
    EXPECT_EQ(db.run.json({"contacts", "show", keep})["ims"].size(), 1u);
}

// Option texts read as [LOCATION:][...]VALUE where only the record's own
// names count as prefixes, so a value that contains ':' stays whole.
TEST(ClientContacts, DetailOptionTextsLandInTheirFields) {
    const struct {
        const char* option;
        const char* text;
        const char* shown;
    } kept[] = {
        {"--phone", "+49 30:1234", R"({"phones": [{"phone_number": "+49 30:1234", "location_type": "home"}]})"},
        {"--phone", "fax:+49 30", R"({"phones": [{"phone_number": "+49 30", "phone_number_type": "fax"}]})"},
        {"--phone", "OTHER:other:112",
         R"({"phones": [{"phone_number": "112", "location_type": "other", "phone_number_type": "other"}]})"},
        {"--email", " ada@example.org ", R"({"emails": [{"email": "ada@example.org"}]})"},
        {"--url", "https://example.org:8443/a:b", R"({"urls": [{"web_url": "https://example.org:8443/a:b"}]})"},
        {"--url", "home:urn:isbn:0451450523",
         R"({"urls": [{"web_url": "urn:isbn:0451450523", "location_type": "home"}]})"},
        {"--im", "work:skype:live:ada",
         R"({"ims": [{"location_type": "work", "protocol": "skype", "address": "live:ada"}]})"},
        {"--im", "@ada:matrix.org", R"({"ims": [{"address": "@ada:matrix.org"}]})"},
        {"--address", "Rue de l'Église 2\\;B;Genève",
         R"({"addresses": [{"street": "Rue de l'Église 2;B", "city": "Genève"}]})"},
        {"--address", ";;;;Iceland", R"({"addresses": [{"street": "", "country": "Iceland"}]})"},
        {"--address", "home:Avenue:5;Paris",
         R"({"addresses": [{"location_type": "home", "street": "Avenue:5", "city": "Paris"}]})"},
    };
    OneProfile db;
    for (const auto& c : kept) {
        const std::string id = db.addContact({c.option, c.text});
        EXPECT_TRUE(Includes(db.run.json({"contacts", "show", id}), Json::parse(c.shown))) << c.option << " " << c.text;
    }

    const struct {
        const char* option;
        std::string text;
        const char* reason;
    } refused[] = {
        {"--phone", "work:cellular:+49301234", "unknown location or type \"cellular\""},
        {"--phone", "mobile", "no phone number"},
        {"--email", "ada@", "no e-mail address"},
        {"--email", "wrok:ada@example.org", "unknown location \"wrok\""},
        {"--url", "https://exa mple.org", "no spaces"},
        {"--im", "home:", "no address"},
        {"--address", "a;b;c;d;e;f", "more than five parts"},
        {"--phone", "+49" + std::string(2047, '1'), "too long"},
        {"--title", "king", "king"},
    };
    const size_t before = db.run.json({"contacts", "list"}).size();
    for (const auto& c : refused) {
        auto r = db.run({"contacts", "add", "--first-name", "X", c.option, c.text});
        EXPECT_EQ(r.status, 2) << c.option << " " << c.text << "\n" << r.err;
        EXPECT_NE(r.err.find(std::string(c.option) + ": "), std::string::npos) << "names the option: " << r.err;
        EXPECT_NE(r.err.find(c.reason), std::string::npos) << c.option << " " << c.text << ": " << r.err;
    }
    EXPECT_EQ(db.run.json({"contacts", "list"}).size(), before) << "a refused line adds nothing";
    const std::string help = db.run.ok({"contacts", "add", "--help"});
    EXPECT_NE(help.find("LOCATION home|work|other (default home)"), std::string::npos) << help;
    EXPECT_NE(help.find("TYPE mobile|fax|pager|other (default mobile)"), std::string::npos) << help;
}

TEST(ClientContacts, TextsSurviveARoundTrip) {
    OneProfile db;
    const std::string quoted = "O'Brien \"the 'quoted'\" -- ; DROP TABLE [tContact]; \\ %";
    const std::string unicode = "Zoë Ångström 東京 🙂 Ελλάδα";
    // Four-byte characters count two UTF-16 units: the longest text that
    // fits, built from them.
    std::string longest;
    for (int i = 0; i < 1023; ++i) longest += "🙂";
    longest += "é";
    const std::string id = db.addContact({"--last-name", quoted, "--first-name", unicode, "--description", longest,
                                          "--email", "zoë@例え.jp", "--address", "Via dell'Aquila 3;L'Aquila"});
    Json c = db.run.json({"contacts", "show", id});
    EXPECT_EQ(c["last_name"], quoted);
    EXPECT_EQ(c["first_name"], unicode);
    EXPECT_EQ(c["description"], longest) << "a text of the longest allowed length came back cut";
    EXPECT_EQ(c["emails"][0]["email"], "zoë@例え.jp");
    EXPECT_EQ(c["addresses"][0]["city"], "L'Aquila");

    db.run.ok({"contacts", "edit", id, "--nick-name", "Z"});
    EXPECT_EQ(db.run.json({"contacts", "show", id})["description"], longest) << "edit must not cut a long text";

    // One unit more would come back cut, so it is refused, not stored.
    auto tooLong = db.run({"contacts", "edit", id, "--description", longest + "x"});
    EXPECT_EQ(tooLong.status, 2);
    EXPECT_NE(tooLong.err.find("--description"), std::string::npos) << tooLong.err;
    EXPECT_EQ(db.run.json({"contacts", "show", id})["description"], longest);

    const std::string group = db.run.json({"groups", "add", quoted + unicode})["contact_group_id"];
    EXPECT_EQ(db.run.json({"groups", "list"})[0]["contact_group_name"], quoted + unicode);
    db.run.ok({"groups", "join", group, id});
    EXPECT_EQ(db.run.json({"contacts", "show", id})["groups"][0]["contact_group_name"], quoted + unicode);
}

TEST(ClientContacts, EditRefusesToCutATextAnotherProgramStoredLonger) {
    OneProfile db;
    const std::string id = db.addContact({"--first-name", "Long"});
    db.run.ok({"sql", "UPDATE [tContact] SET [Description] = hex(zeroblob(1500)) WHERE [ContactID] = '" + id + "'"});
    auto r = db.run({"contacts", "edit", id, "--nick-name", "L"});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("--description"), std::string::npos) << r.err;
    Json rows = db.run.json({"sql", "SELECT length([Description]), [NickName] FROM [tContact]"});
    EXPECT_EQ(rows[0][0], "3000") << "the stored text was cut";
    EXPECT_EQ(rows[0][1], "");
    // Giving the text anew is the way out.
    db.run.ok({"contacts", "edit", id, "--nick-name", "L", "--description", "short"});
    EXPECT_EQ(db.run.json({"contacts", "show", id})["description"], "short");
}

TEST(ClientContacts, StayWithinTheirProfile) {
    ClientRun run;
    run.ok({"profiles", "add", "A"});
    run.ok({"profiles", "add", "B"});
    const std::string a = run.json({"--profile", "A", "contacts", "add", "--first-name", "OfA"})["contact_id"];
    const std::string b = run.json({"--profile", "B", "contacts", "add", "--first-name", "OfB"})["contact_id"];
    const std::string groupB = run.json({"--profile", "B", "groups", "add", "InB"})["contact_group_id"];

    EXPECT_EQ(Ids(run.json({"--profile", "A", "contacts", "list"})), std::vector<std::string>{a});
    EXPECT_EQ(Ids(run.json({"--profile", "B", "contacts", "list"})), std::vector<std::string>{b});
    EXPECT_TRUE(run.json({"--profile", "A", "groups", "list"}).empty());

    // Another profile's contact or group does not exist here.
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"--profile", "B", "contacts", "show", a},
          {"--profile", "B", "contacts", "edit", a, "--first-name", "Taken"},
          {"--profile", "B", "contacts", "rm", a},
          {"--profile", "B", "groups", "join", groupB, a},
          {"--profile", "A", "groups", "members", groupB},
          {"--profile", "A", "groups", "rm", groupB}}) {
        auto r = run(args);
        EXPECT_EQ(r.status, 1) << ClientRun::Join(args);
        EXPECT_NE(r.err.find("in the current profile"), std::string::npos) << ClientRun::Join(args) << ": " << r.err;
    }
    EXPECT_EQ(run.json({"--profile", "A", "contacts", "show", a})["first_name"], "OfA");
    EXPECT_TRUE(run.json({"--profile", "B", "groups", "members", groupB}).empty());

    run.ok({"--profile", "B", "contacts", "clear", "--yes"});
    EXPECT_EQ(Ids(run.json({"--profile", "A", "contacts", "list"})), std::vector<std::string>{a})
        << "clear touches only the current profile";
}

TEST(ClientContacts, UnknownIdsSayWhatIsMissing) {
    OneProfile db;
    db.addContact({"--first-name", "Only"});
    for (const std::vector<std::string>& args : {std::vector<std::string>{"contacts", "show", "999"},
                                                 {"contacts", "edit", "999", "--first-name", "X"},
                                                 {"contacts", "rm", "999"},
                                                 {"contacts", "show", "1' OR '1'='1"},
                                                 {"contacts", "show", "abc"},
                                                 {"groups", "members", "5"},
                                                 {"groups", "edit", "5", "--name", "X"},
                                                 {"groups", "rm", "x"}}) {
        auto r = db.run(args);
        EXPECT_EQ(r.status, 1) << ClientRun::Join(args);
        EXPECT_NE(r.err.find("no contact"), std::string::npos) << ClientRun::Join(args) << ": " << r.err;
        EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << "one line: " << r.err;
    }
    EXPECT_EQ(db.run.json({"contacts", "list"}).size(), 1u);
}

TEST(ClientGroups, AddEditAndRemoveKeepTheContacts) {
    OneProfile db;
    const std::string id = db.run.json({"groups", "add", "Work", "--to-be-synced", "yes"})["contact_group_id"];
    Json list = db.run.json({"groups", "list"});
    ASSERT_EQ(list.size(), 1u);
    EXPECT_EQ(list[0]["contact_group_name"], "Work");
    EXPECT_EQ(list[0]["to_be_synced"], true);
    EXPECT_EQ(list[0]["members"], 0);

    db.run.ok({"groups", "edit", id, "--name", "Büro"});
    list = db.run.json({"groups", "list"});
    EXPECT_EQ(list[0]["contact_group_name"], "Büro");
    EXPECT_EQ(list[0]["to_be_synced"], true) << "edit must keep fields it was not given";
    db.run.ok({"groups", "edit", id, "--to-be-synced", "no"});
    list = db.run.json({"groups", "list"});
    EXPECT_EQ(list[0]["contact_group_name"], "Büro");
    EXPECT_EQ(list[0]["to_be_synced"], false);

    EXPECT_EQ(db.run({"groups", "edit", id, "--name", ""}).status, 2) << "a group keeps a name";
    EXPECT_EQ(db.run({"groups", "add", ""}).status, 2);
    EXPECT_EQ(db.run({"groups", "edit", id}).status, 2);

    const std::string contact = db.addContact({"--first-name", "Member"});
    db.run.ok({"groups", "join", id, contact});
    db.run.ok({"groups", "rm", id});
    EXPECT_TRUE(db.run.json({"groups", "list"}).empty());
    EXPECT_EQ(Ids(db.run.json({"contacts", "list"})), std::vector<std::string>{contact}) << "contacts outlive groups";
    EXPECT_TRUE(db.run.json({"contacts", "show", contact})["groups"].empty());
    auto gone = db.run({"groups", "members", id});
    EXPECT_EQ(gone.status, 1);
    EXPECT_NE(gone.err.find("no contact group"), std::string::npos) << gone.err;
}

TEST(ClientGroups, JoinAndLeaveKeepOtherMemberships) {
    OneProfile db;
    const std::string a = db.addContact({"--first-name", "A", "--phone", "+1 555 0001"});
    const std::string b = db.addContact({"--first-name", "B"});
    const std::string c = db.addContact({"--first-name", "C"});
    const std::string family = db.run.json({"groups", "add", "Family"})["contact_group_id"];
    const std::string friends = db.run.json({"groups", "add", "Friends"})["contact_group_id"];

    Json joined = db.run.json({"groups", "join", family, a, b});
    EXPECT_EQ(joined["joined"], (Json{a, b}));
    Json members = db.run.json({"groups", "members", family});
    EXPECT_EQ(Ids(members), (std::vector<std::string>{a, b}));
    EXPECT_EQ(Item(members, "contact_id", a)["phone"], "+1 555 0001") << "members list like contacts list";

    // Joining again does not store a second membership.
    joined = db.run.json({"groups", "join", family, a, c, c});
    EXPECT_EQ(joined["joined"], (Json{c}));
    EXPECT_EQ(joined["already_members"], (Json{a}));
    EXPECT_EQ(Ids(db.run.json({"groups", "members", family})), (std::vector<std::string>{a, b, c}));
    EXPECT_EQ(db.run.json({"groups", "list"})[0]["members"], 3);

    // A second group adds to the contact's groups instead of replacing them.
    db.run.ok({"groups", "join", friends, a});
    Json groups = db.run.json({"contacts", "show", a})["groups"];
    ASSERT_EQ(groups.size(), 2u) << groups.dump();
    EXPECT_FALSE(Item(groups, "contact_group_name", "Family").is_null());
    EXPECT_FALSE(Item(groups, "contact_group_name", "Friends").is_null());

    Json left = db.run.json({"groups", "leave", family, a});
    EXPECT_EQ(left["left"], (Json{a}));
    EXPECT_EQ(Ids(db.run.json({"groups", "members", family})), (std::vector<std::string>{b, c}));
    EXPECT_EQ(Ids(db.run.json({"groups", "members", friends})), (std::vector<std::string>{a}));
    left = db.run.json({"groups", "leave", family, a});
    EXPECT_EQ(left["not_members"], (Json{a}));
    EXPECT_TRUE(left["left"].empty());

    // One unknown ID and nothing changes.
    auto r = db.run({"groups", "join", friends, b, "999"});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("\"999\""), std::string::npos) << r.err;
    EXPECT_EQ(Ids(db.run.json({"groups", "members", friends})), (std::vector<std::string>{a}));
    r = db.run({"groups", "leave", "999", a});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("no contact group"), std::string::npos) << r.err;
    EXPECT_EQ(db.run({"groups", "join", friends}).status, 2) << "join needs contacts";
}

}  // namespace
}  // namespace calyra::test
