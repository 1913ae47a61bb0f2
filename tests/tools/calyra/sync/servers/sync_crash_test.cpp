// `calyra sync` killed with SIGKILL at random moments of an initial sync,
// then run to the end: every card arrives once on each side. Losing the
// sync state afterwards makes no duplicates either.
#include <gtest/gtest.h>

#include <random>

#include "dav/dav_client.h"
#include "dav/url.h"
#include "support/scoped_env.h"
#include "support/temp_dir.h"
#include "tools/calyra/client_run.h"
#include "tools/dav/dav_servers.h"

namespace calyra::test {
namespace {

constexpr int kCards = 60;
constexpr int kKills = 5;

class SyncCrashTest : public ::testing::TestWithParam<ServerKind> {};

TEST_P(SyncCrashTest, KilledSyncsThenACleanOneLeaveEveryCardOnceOnEachSide) {
    TempDir dir;
    ScopedEnv config("XDG_CONFIG_HOME", (dir.path() / "config").c_str());
    const auto server = DavServer::Start(GetParam(), dir.path());
    dav::DavClient phone(server->account(server->addressBookUrl()));
    const std::string book = dav::UrlPath(server->addressBookUrl());
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
    run.ok({"sync", "bind", "home", "--addressbook", book});
    // A few contacts made here too, so the pushes are killed as well.
    for (int i = 0; i < 5; ++i)
        run.ok({"contacts", "add", "--first-name", "Local" + std::to_string(i), "--phone",
                "+1 555 010" + std::to_string(i)});

    std::mt19937 random(20261207);
    for (int k = 0; k < kKills; ++k) {
        ChildProcess sync({CALYRA_CLIENT_PATH, "--db", run.db(), "sync"}, dir.path() / "killed-syncs.log");
        std::this_thread::sleep_for(std::chrono::milliseconds(100 + random() % 600));
        ::kill(sync.pid(), SIGKILL);
    }
    const auto done = run({"sync"});
    EXPECT_EQ(done.status, 0) << done.err;
    const auto quiet = run.json({"sync"});
    EXPECT_EQ(quiet["pulled"], 0) << quiet.dump();
    EXPECT_EQ(quiet["pushed"], 0) << quiet.dump();

    const size_t total = kCards + 5;
    EXPECT_EQ(run.json({"contacts", "list"}).size(), total);
    EXPECT_EQ(phone.listItems(server->addressBookUrl()).size(), total);

    // The sync state lost: a sync matches what both sides have, adds nothing.
    for (const char* table : {"calyra_sync_item", "calyra_sync_base", "calyra_sync_collection"})
        run.ok({"sql", std::string("DELETE FROM ") + table});
    const auto again = run({"sync"});
    EXPECT_EQ(again.status, 0) << again.err;
    EXPECT_EQ(run.json({"contacts", "list"}).size(), total);
    EXPECT_EQ(phone.listItems(server->addressBookUrl()).size(), total);
}

INSTANTIATE_TEST_SUITE_P(Servers, SyncCrashTest, ::testing::Values(ServerKind::Radicale, ServerKind::Xandikos),
                         [](const auto& info) { return std::string(ServerName(info.param)); });

}  // namespace
}  // namespace calyra::test
