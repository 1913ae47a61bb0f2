// calyra demo: a sample profile filled in every family, shown with the
// client's own views, and never duplicated by running it again.
#include <gtest/gtest.h>

#include <map>

#include "client_run.h"

namespace calyra::test {
namespace {

std::map<std::string, long> RowCounts(const ClientRun& run) {
    std::map<std::string, long> rows;
    const Json info = run.json({"info"});
    for (const auto& t : info["tables"]) rows[t["table"].get<std::string>()] = t["rows"].get<long>();
    return rows;
}

TEST(ClientDemo, FillsEveryFamilyOnceAndShowsItWithTheClientsOwnViews) {
    ClientRun run;
    const std::string out = run.ok({"demo"});
    EXPECT_TRUE(Has(out, "Filled " + run.db())) << "the closing line names the file";
    auto rows = RowCounts(run);
    for (const char* table :
         {"tPhoneNumber", "tEmail", "tAddress", "tWebUrl", "tIM", "tContactGroupMap", "tEvent", "tSyncOption",
          "tSyncAlbum", "tMostFrequentlyPlayedMusic", "tMostFrequentlyPlayedPodcast"})
        EXPECT_GT(rows[table], 0) << table << " was left empty";
    EXPECT_TRUE(Includes(Json(rows), R"({"tProfile": 1, "tContact": 6, "tContactGroup": 2, "tEventCategory": 3,
                                         "tTask": 4})"_json));
    for (const Args& view : {Args{"events", "month"}, Args{"contacts", "list"}})
        EXPECT_TRUE(Has(out, run.ok(view))) << "the demo shows what '" << ClientRun::Join(view) << "' prints";

    auto second = run.json({"demo"});
    EXPECT_EQ(second["profile_created"], false);
    for (const auto& [family, count] : second["added"].items()) EXPECT_EQ(count, 0) << family << " added again";
    EXPECT_EQ(RowCounts(run), rows) << "a second demo must not pile up copies";
}

TEST(ClientDemo, RestoresOnlyWhatIsMissingAndLeavesOtherProfilesAlone) {
    ClientRun run;
    run.ok({"profiles", "add", "Mine"});
    run.ok({"--profile", "Mine", "sync", "albums", "add", "Private"});
    const std::string demo = run.json({"demo"})["profile_id"];
    // Someone removes a sample album; the next demo brings back just that.
    run.ok({"--profile", demo, "sync", "albums", "rm", "Road trip"});
    EXPECT_TRUE(Includes(run.json({"demo"})["added"], R"({"sync_albums": 1, "contacts": 0})"_json));
    EXPECT_EQ(run.json({"--profile", demo, "sync", "albums", "list"}).size(), 2u);
    EXPECT_TRUE(
        Includes(run.json({"--profile", "Mine", "sync", "albums", "list"}), R"([{"album_name": "Private"}])"_json))
        << "the demo must not write into other profiles";
    // With several profiles the suggested commands name the demo profile.
    EXPECT_TRUE(Has(run.ok({"demo"}), "--profile " + demo));
}

}  // namespace
}  // namespace calyra::test
