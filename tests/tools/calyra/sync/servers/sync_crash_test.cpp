// `calyra sync` killed with SIGKILL at random moments of an initial sync,
// then run to the end: every card and event arrives once on each side.
// Losing the sync state afterwards makes no duplicates either.
#include <gtest/gtest.h>

#include <cstdlib>
#include <random>

#include "dav/dav_client.h"
#include "dav/url.h"
#include "support/scoped_env.h"
#include "support/temp_dir.h"
#include "tools/calyra/client_run.h"
#include "tools/dav/dav_servers.h"

namespace calyra::test {
namespace {

// CI's size; CALYRA_SYNC_CRASH_ITEMS and CALYRA_SYNC_CRASH_KILLS set
// others (2,000 and 50 for a full run: two cards for each event).
int Setting(const char* name, int fallback, int most) {
    const char* value = std::getenv(name);
    const int n = value ? std::atoi(value) : fallback;
    return n > 0 && n <= most ? n : fallback;
}
const int kItems = Setting("CALYRA_SYNC_CRASH_ITEMS", 90, 20000);
const int kCards = kItems - kItems / 3;
const int kEvents = kItems / 3;
constexpr int kLocal = 5;  // of each, made here
const int kKills = Setting("CALYRA_SYNC_CRASH_KILLS", 10, 200);
// A kill comes within this long of the start; more items, later kills.
const int kLatestKillMs = 400 + kItems;

class SyncCrashTest : public ::testing::TestWithParam<ServerKind> {};

TEST_P(SyncCrashTest, KilledSyncsThenACleanOneLeaveEveryItemOnceOnEachSide) {
    TempDir dir;
    ScopedEnv config("XDG_CONFIG_HOME", (dir.path() / "config").c_str());
    const auto server = DavServer::Start(GetParam(), dir.path());
    dav::DavClient phone(server->account(server->addressBookUrl()));
    const std::string book = dav::UrlPath(server->addressBookUrl());
    const std::string calendar = dav::UrlPath(server->calendarUrl());
    for (int i = 0; i < kEvents; ++i) {
        const std::string n = std::to_string(i);
        phone.put(calendar + "e" + n + ".ics",
                  "BEGIN:VCALENDAR\r\nVERSION:2.0\r\nPRODID:-//test//EN\r\nBEGIN:VEVENT\r\nUID:crash-event-" + n +
                      "\r\nDTSTAMP:20260101T000000Z\r\nDTSTART:202703" + std::to_string(10 + i % 18) +
                      "T090000Z\r\nDTEND:202703" + std::to_string(10 + i % 18) + "T100000Z\r\nSUMMARY:Event " + n +
                      "\r\nEND:VEVENT\r\nEND:VCALENDAR\r\n",
                  dav::CollectionKind::Calendar, "");
    }
    for (int i = 0; i < kCards; ++i) {
        const std::string n = std::to_string(i);
        phone.put(book + "c" + n + ".vcf",
                  "BEGIN:VCARD\r\nVERSION:3.0\r\nUID:crash-" + n + "\r\nFN:First" + n + " Last" + n + "\r\nN:Last" + n +
                      ";First" + n + ";;;\r\nTEL:+49 30 " + std::to_string(1000000 + i) + "\r\nEND:VCARD\r\n",
                  dav::CollectionKind::AddressBook, "");
    }
    ClientRun run;
    run.ok({"profiles", "add", "Phone"});
    run.ok({"sync", "accounts", "add", "home", "--url", server->url(), "--user", DavServer::kUser, "--password-command",
            "echo unused"});
    run.ok({"sync", "bind", "home", "--addressbook", book, "--calendar", calendar});
    // A few items made here too, so the pushes are killed as well.
    for (int i = 0; i < kLocal; ++i) {
        run.ok({"contacts", "add", "--first-name", "Local" + std::to_string(i), "--phone",
                "+1 555 010" + std::to_string(i)});
        run.ok({"events", "add", "--subject", "Local " + std::to_string(i), "--start",
                "2027-04-0" + std::to_string(i + 1) + "T10:00"});
    }

    std::mt19937 random(20261207);
    for (int k = 0; k < kKills; ++k) {
        ChildProcess sync({CALYRA_CLIENT_PATH, "--db", run.db(), "sync"}, dir.path() / "killed-syncs.log", false);
        std::this_thread::sleep_for(std::chrono::milliseconds(20 + random() % kLatestKillMs));
        sync.Kill();
    }
    const auto done = run({"sync"});
    EXPECT_EQ(done.status, 0) << done.err;
    EXPECT_TRUE(Includes(run.json({"sync"}), R"({"pulled": 0, "pushed": 0})"_json));

    const auto expectEach = [&] {
        EXPECT_EQ(run.json({"contacts", "list"}).size(), static_cast<size_t>(kCards + kLocal));
        EXPECT_EQ(phone.listItems(server->addressBookUrl()).size(), static_cast<size_t>(kCards + kLocal));
        EXPECT_EQ(run.json({"events", "list", "--from", "2027-01-01", "--to", "2027-12-31"}).size(),
                  static_cast<size_t>(kEvents + kLocal));
        EXPECT_EQ(phone.listItems(server->calendarUrl()).size(), static_cast<size_t>(kEvents + kLocal));
    };
    expectEach();

    // The sync state lost: a sync matches what both sides have, adds nothing.
    for (const char* table : {"calyra_sync_item", "calyra_sync_base", "calyra_sync_collection"})
        run.ok({"sql", std::string("DELETE FROM ") + table});
    const auto again = run({"sync"});
    EXPECT_EQ(again.status, 0) << again.err;
    expectEach();
}

INSTANTIATE_TEST_SUITE_P(Servers, SyncCrashTest, ::testing::Values(ServerKind::Radicale, ServerKind::Xandikos),
                         [](const auto& info) { return std::string(ServerName(info.param)); });

}  // namespace
}  // namespace calyra::test
