// `calyra sync` run as a person runs it, against Radicale and Xandikos on
// 127.0.0.1 behind a logging proxy, with other DAV clients (vdirsyncer for
// contacts, python3-caldav for calendars) acting as the person's phone.
#include <gtest/gtest.h>

#include <algorithm>

#include "dav/dav_client.h"
#include "dav/url.h"
#include "support/scoped_env.h"
#include "support/temp_dir.h"
#include "tools/calyra/client_run.h"
#include "tools/dav/caldav_phone.h"
#include "tools/dav/dav_servers.h"
#include "tools/dav/vdirsyncer_phone.h"

namespace calyra::test {
namespace {

std::string Card(const std::string& uid, const std::string& first, const std::string& last, const std::string& phone) {
    return "BEGIN:VCARD\r\nVERSION:3.0\r\nUID:" + uid + "\r\nFN:" + first + " " + last + "\r\nN:" + last + ";" + first +
           ";;;\r\nTEL;TYPE=CELL:" + phone + "\r\nX-PHONE-ONLY;X-LABEL=Lieblingsnummer:kept\r\nEND:VCARD\r\n";
}

std::string Calendar(const std::string& body) {
    return "BEGIN:VCALENDAR\r\nVERSION:2.0\r\nPRODID:-//Phone//EN\r\n" + body + "END:VCALENDAR\r\n";
}

// A weekly series in Berlin across the change to summer time, with an
// excluded date, a moved occurrence and a property only the phone knows.
const std::string kBerlin =
    "BEGIN:VTIMEZONE\r\nTZID:Europe/Berlin\r\nBEGIN:DAYLIGHT\r\nTZOFFSETFROM:+0100\r\nTZOFFSETTO:+0200\r\n"
    "TZNAME:CEST\r\nDTSTART:19700329T020000\r\nRRULE:FREQ=YEARLY;BYMONTH=3;BYDAY=-1SU\r\nEND:DAYLIGHT\r\n"
    "BEGIN:STANDARD\r\nTZOFFSETFROM:+0200\r\nTZOFFSETTO:+0100\r\nTZNAME:CET\r\nDTSTART:19701025T030000\r\n"
    "RRULE:FREQ=YEARLY;BYMONTH=10;BYDAY=-1SU\r\nEND:STANDARD\r\nEND:VTIMEZONE\r\n";
std::string Weekly(bool moved) {
    return Calendar(
        kBerlin +
        "BEGIN:VEVENT\r\nUID:weekly@phone\r\nDTSTAMP:20260101T000000Z\r\nDTSTART;TZID=Europe/Berlin:20270310T090000\r\n"
        "DTEND;TZID=Europe/Berlin:20270310T100000\r\nSUMMARY:Standup\r\nRRULE:FREQ=WEEKLY;COUNT=8\r\n"
        "EXDATE;TZID=Europe/Berlin:20270317T090000\r\nX-PHONE-COLOUR:teal\r\nEND:VEVENT\r\n" +
        (moved ? "BEGIN:VEVENT\r\nUID:weekly@phone\r\nDTSTAMP:20260101T000000Z\r\n"
                 "RECURRENCE-ID;TZID=Europe/Berlin:20270331T090000\r\nDTSTART;TZID=Europe/Berlin:20270331T110000\r\n"
                 "DTEND;TZID=Europe/Berlin:20270331T120000\r\nSUMMARY:Standup (moved)\r\nEND:VEVENT\r\n"
               : ""));
}
std::string Holiday(const std::string& summary) {
    return Calendar(
        "BEGIN:VEVENT\r\nUID:holiday@phone\r\nDTSTAMP:20260101T000000Z\r\nDTSTART;VALUE=DATE:20270501\r\n"
        "DTEND;VALUE=DATE:20270502\r\nSUMMARY:" +
        summary + "\r\nX-PHONE-COLOUR:red\r\nEND:VEVENT\r\n");
}
const std::string kTask = Calendar(
    "BEGIN:VTODO\r\nUID:task@phone\r\nDTSTAMP:20260101T000000Z\r\nDUE:20270401T170000Z\r\nSUMMARY:Taxes\r\n"
    "RRULE:FREQ=YEARLY\r\nX-PHONE-LIST:home\r\nBEGIN:VALARM\r\nACTION:DISPLAY\r\nDESCRIPTION:Taxes\r\n"
    "TRIGGER:-PT1H\r\nEND:VALARM\r\nEND:VTODO\r\n");

class SyncCommandTest : public ::testing::TestWithParam<ServerKind> {
protected:
    void SetUp() override {
        server = DavServer::Start(GetParam(), dir.path());
        proxy = std::make_unique<FaultProxy>(server->url(), std::vector<std::string>{}, dir.path());
        phone = std::make_unique<dav::DavClient>(server->account(server->addressBookUrl()));
        run.ok({"profiles", "add", "Phone"});
        // The password comes from a command; it is never stored or shown.
        std::ofstream(dir.path() / "password") << "s3cret-from-command\n";
        run.ok({"sync", "accounts", "add", "home", "--url", proxy->url(), "--user", DavServer::kUser,
                "--password-command", "cat '" + (dir.path() / "password").string() + "'"});
        run.ok({"sync", "bind", "home", "--addressbook", dav::UrlPath(server->addressBookUrl())});
    }

    std::string href(const std::string& name) const { return dav::UrlPath(server->addressBookUrl()) + name; }
    std::string there(const std::string& name) const {
        const auto item = phone->get(href(name));
        return item ? item->data : std::string();
    }
    // The requests the proxy saw since the last call.
    std::vector<std::string> newRequests() {
        auto all = proxy->requests();
        std::vector<std::string> out(all.begin() + static_cast<long>(std::min(seen, all.size())), all.end());
        seen = all.size();
        return out;
    }
    static size_t Count(const std::vector<std::string>& log, const std::string& prefix) {
        return static_cast<size_t>(
            std::count_if(log.begin(), log.end(), [&](const std::string& l) { return l.starts_with(prefix); }));
    }
    // A sync with nothing changed: nothing pulled, sent or deleted, and at
    // most 2 requests for `collection`.
    void expectQuietSync(const std::string& collection) {
        newRequests();
        EXPECT_TRUE(Includes(run.json({"sync"}), R"({"pulled": 0, "pushed": 0, "deleted": 0})"_json));
        const auto log = newRequests();
        EXPECT_EQ(Count(log, "PUT ") + Count(log, "DELETE "), 0u);
        EXPECT_LE(std::count_if(log.begin(), log.end(),
                                [&](const std::string& l) { return l.find(" " + collection) != std::string::npos; }),
                  2);
    }

    TempDir dir;
    ScopedEnv config{"XDG_CONFIG_HOME", (dir.path() / "config").c_str()};
    std::unique_ptr<DavServer> server;
    std::unique_ptr<FaultProxy> proxy;
    std::unique_ptr<dav::DavClient> phone;
    ClientRun run;
    size_t seen = 0;
};

TEST_P(SyncCommandTest, RoundTripWithAThirdPartyPhoneKeepsUidsAndUnknownPropertiesAndEndsQuiet) {
    // The phone (vdirsyncer) loads the fixtures.
    VdirsyncerPhone vdir(dir.path(), server->addressBookUrl(), DavServer::kUser);
    vdir.put("ada", Card("ada-uid@phone", "Ada", "Lovelace", "+44 20 7946 0001"));
    vdir.put("alan", Card("alan-uid@phone", "Alan", "Turing", "+44 20 7946 0002"));
    run.ok({"contacts", "add", "--first-name", "Grace", "--last-name", "Hopper", "--phone", "+1 555 0100"});

    EXPECT_TRUE(Includes(run.json({"sync"}), R"({"pulled": 2, "pushed": 1})"_json));
    const auto list = run.json({"contacts", "list"});
    EXPECT_EQ(list.size(), 3u);

    // A local edit and a remote edit, then a sync each way.
    std::string alanId;
    for (const auto& c : list)
        if (c["last_name"] == "Turing") alanId = c["contact_id"].get<std::string>();
    run.ok({"contacts", "edit", alanId, "--nick-name", "Prof"});
    vdir.edit("ada-uid@phone", Card("ada-uid@phone", "Ada", "King", "+44 20 7946 0001"));
    EXPECT_TRUE(Includes(run.json({"sync"}), R"({"pulled": 1, "pushed": 1})"_json));
    expectQuietSync(dav::UrlPath(server->addressBookUrl()));

    // What the phone sees: its cards with their UIDs, unknown properties
    // and both edits, and Calyra's card.
    const auto cards = vdir.cards();
    ASSERT_EQ(cards.size(), 3u);
    ASSERT_TRUE(cards.contains("ada-uid@phone") && cards.contains("alan-uid@phone"));
    EXPECT_NE(cards.at("ada-uid@phone").find("N:King;Ada"), std::string::npos) << cards.at("ada-uid@phone");
    EXPECT_NE(cards.at("alan-uid@phone").find("Prof"), std::string::npos) << cards.at("alan-uid@phone");
    for (const char* uid : {"ada-uid@phone", "alan-uid@phone"})
        EXPECT_NE(cards.at(uid).find("X-PHONE-ONLY;X-LABEL=Lieblingsnummer:kept"), std::string::npos) << uid;
}

TEST_P(SyncCommandTest, CalendarRoundTripWithPythonCaldavKeepsSeriesTasksAndUnknownPropertiesAndEndsQuiet) {
    const std::string calendar = dav::UrlPath(server->calendarUrl());
    run.ok({"sync", "bind", "home", "--addressbook", dav::UrlPath(server->addressBookUrl()), "--calendar", calendar});
    CaldavPhone caldav(dir.path(), server->calendarUrl(), DavServer::kUser);
    caldav.put({Weekly(true), Holiday("Holiday"), kTask});
    run.ok({"events", "add", "--subject", "Dentist", "--start", "2027-04-02T15:00"});

    // A dry run says what a sync would do and changes neither side.
    EXPECT_TRUE(Includes(run.json({"sync", "--dry-run"}), R"({"pulled": 3, "pushed": 1})"_json));
    EXPECT_EQ(run.json({"tasks", "list"}).size(), 0u);
    EXPECT_EQ(caldav.items().size(), 3u);

    EXPECT_TRUE(Includes(run.json({"sync"}), R"({"pulled": 3, "pushed": 1})"_json));
    const auto tasks = run.json({"tasks", "list"});
    ASSERT_EQ(tasks.size(), 1u);
    const auto march31 = [&] { return run.json({"events", "list", "--from", "2027-03-31", "--to", "2027-03-31"}); };
    EXPECT_EQ(march31()[0]["subject"], "Standup (moved)") << march31().dump();
    run.ok({"tasks", "edit", tasks[0]["task_id"].get<std::string>(), "--subject", "Taxes 2027"});
    caldav.edit("holiday@phone", Holiday("Labour Day"));
    caldav.edit("weekly@phone", Weekly(false));  // the moved occurrence dropped, the series kept
    EXPECT_TRUE(Includes(run.json({"sync"}), R"({"pulled": 2, "pushed": 1})"_json));
    EXPECT_EQ(march31()[0]["subject"], "Standup") << march31().dump();
    expectQuietSync(calendar);

    const auto items = caldav.items();
    ASSERT_EQ(items.size(), 4u);
    ASSERT_TRUE(items.contains("weekly@phone") && items.contains("holiday@phone") && items.contains("task@phone"));
    for (const char* kept : {"X-PHONE-COLOUR:teal", "EXDATE", "COUNT=8"})
        EXPECT_NE(items.at("weekly@phone").find(kept), std::string::npos) << kept << "\n" << items.at("weekly@phone");
    EXPECT_EQ(items.at("weekly@phone").find("RECURRENCE-ID"), std::string::npos) << items.at("weekly@phone");
    for (const char* kept : {"SUMMARY:Labour Day", "X-PHONE-COLOUR:red"})
        EXPECT_NE(items.at("holiday@phone").find(kept), std::string::npos) << kept;
    for (const char* kept : {"SUMMARY:Taxes 2027", "X-PHONE-LIST:home", "BEGIN:VALARM", "FREQ=YEARLY"})
        EXPECT_NE(items.at("task@phone").find(kept), std::string::npos) << kept << "\n" << items.at("task@phone");
    EXPECT_EQ(run.json({"events", "list", "--from", "2027-05-01", "--to", "2027-05-01"})[0]["subject"], "Labour Day");
}

// One change on either side is a few requests, a local one exactly one
// PUT conditional on the ETag; the same field changed on both sides
// follows --prefer; a change another program makes in the file is found
// by its hash, and a renamed category sends its events again.
TEST_P(SyncCommandTest, ChangesOnEitherSideAreFewRequestsAndBothSidesFollowPrefer) {
    const auto putAda = [&](const std::string& last) {
        const auto current = phone->get(href("ada.vcf"));
        phone->put(href("ada.vcf"), Card("ada-uid@phone", "Ada", last, "+44 20 7946 0001"),
                   dav::CollectionKind::AddressBook, current ? current->etag : "");
    };
    putAda("Lovelace");
    run.ok({"sync"});
    const std::string id = run.json({"contacts", "list"})[0]["contact_id"].get<std::string>();
    newRequests();

    putAda("King");
    run.ok({"sync"});
    EXPECT_LE(newRequests().size(), 3u) << "one remote change";
    EXPECT_EQ(run.json({"contacts", "show", id})["last_name"], "King");

    run.ok({"contacts", "edit", id, "--nick-name", "Countess"});
    run.ok({"sync"});
    const auto log = newRequests();
    EXPECT_EQ(Count(log, "PUT "), 1u);
    EXPECT_EQ(Count(log, "PUT " + href("ada.vcf") + " if-match"), 1u) << "the PUT is conditional on the ETag";
    EXPECT_NE(there("ada.vcf").find("Countess"), std::string::npos);

    // Both sides change the last name; --prefer local keeps ours and the
    // server's version is kept in a conflict file named in the summary.
    putAda("Byron");
    run.ok({"contacts", "edit", id, "--last-name", "Lovelace-King"});
    auto summary = run.json({"sync", "--prefer", "local"});
    EXPECT_EQ(summary["conflicts"], 1) << summary.dump();
    ASSERT_EQ(summary["conflict_files"].size(), 1u);
    EXPECT_NE(FileBytes(summary["conflict_files"][0].get<std::string>()).find("Byron"), std::string::npos);
    EXPECT_NE(there("ada.vcf").find("Lovelace-King"), std::string::npos) << there("ada.vcf");

    run.ok({"sql", "UPDATE tPhoneNumber SET PhoneNumber = '+44 20 7946 0999' WHERE ContactID = '" + id + "'"});
    run.ok({"sync"});
    EXPECT_NE(there("ada.vcf").find("+44 20 7946 0999"), std::string::npos) << there("ada.vcf");
    EXPECT_NE(there("ada.vcf").find("X-PHONE-ONLY;X-LABEL=Lieblingsnummer:kept"), std::string::npos);

    // An export writes the category's name.
    run.ok({"sync", "bind", "home", "--addressbook", dav::UrlPath(server->addressBookUrl()), "--calendar",
            dav::UrlPath(server->calendarUrl())});
    run.ok({"categories", "add", "Work"});
    run.ok({"events", "add", "--subject", "Review", "--start", "2027-04-02T15:00", "--category", "Work"});
    run.ok({"sync"});
    run.ok({"categories", "edit", "Work", "--name", "Office"});
    run.ok({"sync"});
    const auto events = phone->listItems(server->calendarUrl());
    ASSERT_EQ(events.size(), 1u);
    const std::string review = phone->get(events[0].href)->data;
    EXPECT_NE(review.find("CATEGORIES:Office"), std::string::npos) << review;
}

TEST_P(SyncCommandTest, ThePasswordIsNeitherStoredNorShownAndBadAccountsAreRefused) {
    const auto synced = run({"sync"});
    EXPECT_EQ(synced.status, 0) << synced.err;
    EXPECT_EQ((synced.out + synced.err).find("s3cret"), std::string::npos);
    const std::string accounts = FileBytes(dir.path() / "config" / "calyra" / "accounts.toml");
    EXPECT_EQ(accounts.find("s3cret"), std::string::npos);
    EXPECT_NE(accounts.find("password_command"), std::string::npos);
    const auto listed = run({"sync", "accounts", "list", "--json"});
    EXPECT_EQ(listed.out.find("s3cret"), std::string::npos);

    // The command line and its exit status.
    const std::pair<std::vector<std::string>, int> cases[] = {
        {{"sync", "accounts", "add", "albums", "--url", proxy->url(), "--user", "a"}, 2},  // a word of `sync`
        {{"sync", "accounts", "add", "home", "--url", proxy->url(), "--user", "a"}, 2},    // taken
        {{"sync", "accounts", "add", "far", "--url", "http://dav.example/", "--user", "a"}, 2},
        {{"sync", "accounts", "add", "creds", "--url", "https://a:pw@dav.example/", "--user", "a"}, 2},
        {{"sync", "nobody"}, 1},
        {{"sync", "bind", "home", "--addressbook", dav::UrlPath(server->calendarUrl())}, 1},  // not an address book
        {{"sync", "accounts", "add", "work", "--url", proxy->url(), "--user", "a", "--password-command", "echo x"}, 0},
        // The profile's contacts sync with home: a new one would go to both.
        {{"sync", "bind", "work", "--addressbook", dav::UrlPath(server->addressBookUrl())}, 1},
    };
    for (const auto& [args, status] : cases) {
        const auto r = run(args);
        EXPECT_EQ(r.status, status) << ClientRun::Join(args) << "\n" << r.err;
        EXPECT_EQ(r.err.find("pw@"), std::string::npos) << r.err;
    }
}

INSTANTIATE_TEST_SUITE_P(Servers, SyncCommandTest, ::testing::Values(ServerKind::Radicale, ServerKind::Xandikos),
                         [](const auto& info) { return std::string(ServerName(info.param)); });

}  // namespace
}  // namespace calyra::test
