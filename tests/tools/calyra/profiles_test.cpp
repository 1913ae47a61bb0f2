// The profile commands and what every command family shares: the choice of
// profile, JSON output, failures named in words.
#include <gtest/gtest.h>

#include "client_run.h"

namespace calyra::test {
namespace {

TEST(ClientProfiles, AddListEditAndRemoveRoundTripThroughJson) {
    ClientRun run;
    auto added = run.json({"profiles", "add", "Phone A", "--model", "X1", "--imei", "123"});
    ASSERT_TRUE(added.contains("profile_id"));
    const std::string id = added["profile_id"];
    run.ok({"profiles", "edit", "Phone A", "--model", "X2"});

    auto list = run.json({"profiles", "list"});
    ASSERT_EQ(list.size(), 1u);
    EXPECT_EQ(list[0]["profile_id"], id);
    EXPECT_EQ(list[0]["name"], "Phone A");
    EXPECT_EQ(list[0]["model"], "X2");
    EXPECT_EQ(list[0]["imei"], "123") << "edit must keep fields it was not given";

    run.ok({"profiles", "rm", id});
    EXPECT_TRUE(run.json({"profiles", "list"}).empty());
}

TEST(ClientProfiles, TablesAreAlignedForPeople) {
    ClientRun run;
    run.ok({"profiles", "add", "Phone A", "--model", "X1"});
    run.ok({"profiles", "add", "Ü-phone"});
    std::string out = run.ok({"profiles", "list"});
    std::istringstream lines(out);
    std::string header, first, second;
    std::getline(lines, header);
    std::getline(lines, first);
    std::getline(lines, second);
    EXPECT_EQ(header.find("model"), first.find("X1")) << out;
}

TEST(ClientProfiles, ChoosingAProfileNeedsOneAnswer) {
    ClientRun run;
    auto none = run({"contacts", "list"});
    if (none.status == 2) GTEST_SKIP() << "contacts commands not present yet";
    EXPECT_NE(none.err.find("no profile yet"), std::string::npos) << none.err;

    run.ok({"profiles", "add", "A"});
    run.ok({"profiles", "add", "B"});
    auto several = run({"contacts", "list"});
    EXPECT_EQ(several.status, 1);
    EXPECT_NE(several.err.find("--profile"), std::string::npos) << several.err;
    EXPECT_EQ(run({"--profile", "B", "contacts", "list"}).status, 0);
    EXPECT_EQ(run({"--profile", "2", "contacts", "list"}).status, 0);
    auto unknown = run({"--profile", "C", "contacts", "list"});
    EXPECT_EQ(unknown.status, 1);
    EXPECT_NE(unknown.err.find("no profile \"C\""), std::string::npos) << unknown.err;
}

TEST(ClientProfiles, BadCommandLinesExitTwoWithAReason) {
    ClientRun run;
    for (const std::vector<std::string>& args : {std::vector<std::string>{"profiles"},
                                                 {"profiles", "add"},
                                                 {"profiles", "frobnicate"},
                                                 {"no-such-command"}}) {
        auto r = run(args);
        EXPECT_EQ(r.status, 2) << ClientRun::Join(args);
        EXPECT_EQ(r.err.rfind("calyra: ", 0), 0u) << r.err;
        EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << "one line: " << r.err;
    }
}

TEST(ClientProfiles, FailuresNameTheErrorIdAndHresult) {
    ClientRun run;
    // A directory cannot be opened as a database file.
    auto r = run({"--db", run.dir().path().string(), "info"});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("(0x5003, E_FAIL)"), std::string::npos) << r.err;
}

TEST(ClientInfo, ShowsSchemaAndCountsPerProfile) {
    ClientRun run;
    run.ok({"profiles", "add", "A"});
    auto info = run.json({"info"});
    EXPECT_EQ(info["file"], run.db());
    EXPECT_FALSE(info["schema_version"].is_null());
    ASSERT_EQ(info["profiles"].size(), 1u);
    bool sawProfileTable = false;
    for (const auto& t : info["tables"])
        if (t["table"] == "tProfile") {
            sawProfileTable = true;
            EXPECT_EQ(t["rows"], 1);
        }
    EXPECT_TRUE(sawProfileTable);
}

TEST(ClientSql, QueriesShowRowsAndStatementsRun) {
    ClientRun run;
    run.ok({"profiles", "add", "A"});
    auto rows = run.json({"sql", "SELECT [ProfileName], 1 + 1 FROM [tProfile]"});
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0][0], "A");
    EXPECT_EQ(rows[0][1], "2");
    auto bad = run({"sql", "SELECT * FROM [nowhere]"});
    EXPECT_EQ(bad.status, 1);
    EXPECT_NE(bad.err.find("0x5006"), std::string::npos) << bad.err;
}

}  // namespace
}  // namespace calyra::test
