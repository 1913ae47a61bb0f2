// calyra demo: a sample profile filled in every family, shown with the
// client's own views, and never duplicated by running it again.
#include <gtest/gtest.h>

#include <map>

#include "client_run.h"

namespace calyra::test {
namespace {

using Json = nlohmann::ordered_json;

// Every table the demo fills.
const std::vector<std::string> kFilledTables{
    "tProfile",      "tContact",       "tPhoneNumber", "tEmail",       "tAddress",
    "tWebUrl",       "tIM",            "tContactGroup", "tContactGroupMap", "tEventCategory",
    "tEvent",        "tTask",          "tSyncOption",  "tSyncAlbum",   "tMostFrequentlyPlayedMusic",
    "tMostFrequentlyPlayedPodcast"};

std::map<std::string, long> RowCounts(const ClientRun& run) {
    std::map<std::string, long> rows;
    const Json info = run.json({"info"});
    for (const auto& t : info["tables"]) rows[t["table"].get<std::string>()] = t["rows"].get<long>();
    return rows;
}

bool CommandExists(const ClientRun& run, const std::vector<std::string>& command) {
    std::vector<std::string> help = command;
    help.push_back("--help");
    return run(help).status == 0;
}

TEST(ClientDemo, FillsEveryFamilyOfAnEmptyFileOnceOnly) {
    ClientRun run;
    auto demo = run({"demo"});
    ASSERT_EQ(demo.status, 0) << demo.err << demo.out;
    EXPECT_NE(demo.out.find("Demo phone"), std::string::npos) << demo.out;
    EXPECT_NE(demo.out.find("Filled " + run.db()), std::string::npos) << "the closing line names the file:\n"
                                                                      << demo.out;
    auto rows = RowCounts(run);
    for (const auto& table : kFilledTables) EXPECT_GT(rows[table], 0) << table << " was left empty";
    EXPECT_TRUE(Includes(Json(rows), R"({"tProfile": 1, "tContact": 6, "tContactGroup": 2, "tEventCategory": 3,
                                         "tTask": 4})"_json));
    // The played files exist, so the top lists show them.
    EXPECT_FALSE(run.json({"plays", "top"}).empty());
    EXPECT_FALSE(run.json({"plays", "top", "--podcast"}).empty());

    auto second = run.json({"demo"});
    EXPECT_EQ(second["profile_created"], false);
    for (const auto& [family, count] : second["added"].items()) EXPECT_EQ(count, 0) << family << " added again";
    EXPECT_EQ(RowCounts(run), rows) << "a second demo must not pile up copies";
}

TEST(ClientDemo, RestoresOnlyWhatIsMissingAndLeavesOtherProfilesAlone) {
    ClientRun run;
    run.ok({"profiles", "add", "Mine"});
    run.ok({"--profile", "Mine", "sync", "albums", "add", "Private"});
    auto first = run.json({"demo"});
    const std::string demoProfile = first["profile_id"];

    // Someone removes a sample album; the next demo brings back just that.
    run.ok({"--profile", demoProfile, "sync", "albums", "rm", "Road trip"});
    auto second = run.json({"demo"});
    EXPECT_EQ(second["added"]["sync_albums"], 1);
    EXPECT_EQ(second["added"]["contacts"], 0);
    EXPECT_EQ(run.json({"--profile", demoProfile, "sync", "albums", "list"}).size(), 2u);

    auto mine = run.json({"--profile", "Mine", "sync", "albums", "list"});
    ASSERT_EQ(mine.size(), 1u) << "the demo must not write into other profiles";
    EXPECT_EQ(mine[0]["album_name"], "Private");

    // With several profiles the suggested commands name the demo profile.
    auto text = run.ok({"demo"});
    EXPECT_NE(text.find("--profile " + demoProfile), std::string::npos) << text;
}

TEST(ClientDemo, ShowsTheMonthAndTheContactsWithTheClientsOwnCommands) {
    ClientRun run;
    auto demo = run({"demo"});
    ASSERT_EQ(demo.status, 0) << demo.err;
    const std::string profile = run.json({"profiles", "list"})[0]["profile_id"];
    int shown = 0;
    for (const std::vector<std::string>& command :
         {std::vector<std::string>{"events", "month"}, std::vector<std::string>{"contacts", "list"}}) {
        if (!CommandExists(run, command)) continue;
        std::vector<std::string> args{"--profile", profile};
        args.insert(args.end(), command.begin(), command.end());
        const std::string view = run.ok(args);
        EXPECT_FALSE(view.empty());
        EXPECT_NE(demo.out.find(view), std::string::npos)
            << "the demo shows what '" << ClientRun::Join(command) << "' prints:\n"
            << view << "\n--- demo printed ---\n"
            << demo.out;
        ++shown;
    }
    if (CommandExists(run, {"contacts", "list"})) {
        EXPECT_NE(demo.out.find("Lovelace"), std::string::npos) << demo.out;
    }
    if (shown == 0) GTEST_SKIP() << "events month and contacts list are not present yet";
}

}  // namespace
}  // namespace calyra::test
