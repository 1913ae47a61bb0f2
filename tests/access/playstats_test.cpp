// Play statistics through IMostFrequentlyPlayedMusic and
// IMostFrequentlyPlayedPodcast. Both classes are one implementation over two
// table descriptions, so the shared behaviour (counting plays, look-ups, the
// top list and its walk over files that no longer exist) is tested once,
// on music; each table's columns are checked by the round trips in
// every_interface_test.cpp.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <set>
#include <string>
#include <vector>

#include "access/playstats/most_frequently_played_music.h"
#include "support/pim_fixture.h"
#include "support/recording_connection.h"
#include "support/test_values.h"

namespace calyra::test {
namespace {

using Rows = std::vector<std::vector<std::string>>;

// Each case runs over the engine's own connection and over one that offers
// only IPimDbAccess (as one from another apartment does), where the top
// list and the look-ups walk result sets instead of the engine's row reader.
class PlayStatistics : public ::testing::TestWithParam<bool> {
protected:
    ComPtr<IMostFrequentlyPlayedMusic> NewObject(const char16_t* profile = u"1") {
        return db.Create<CMostFrequentlyPlayedMusic, IMostFrequentlyPlayedMusic>(
            profile, foreign ? static_cast<IPimDbAccess*>(foreign.get()) : nullptr);
    }
    // A path in the test's folder; the file exists unless `missing`.
    std::string File(const std::string& name, bool missing = false) {
        auto path = db.dir().file(name);
        if (!missing) std::ofstream(path) << "audio";
        return path.string();
    }
    // An entry written straight into the table.
    void Seed(const std::string& path, int counter, const std::string& lastPlayed, const std::string& profile = "1") {
        db.Exec(
            Utf8ToUtf16("INSERT INTO [tMostFrequentlyPlayedMusic] ([ProfileID], [FullPath], [Counter], "
                        "[LastPlayed]) VALUES('" +
                        profile + "', '" + path + "', '" + std::to_string(counter) + "', '" + lastPlayed + "');"));
    }
    // The paths of a top list of `count`.
    std::vector<std::string> Top(LONG count) {
        RecordArray<tagMostFrequentlyPlayedMusic> array;
        LONG n = -1;
        EXPECT_EQ(stats->GetMostFrequentlyPlayedMusics(nullptr, count, &n, &array), S_OK);
        EXPECT_EQ(array.size(), count) << "the array always has lCnt elements";
        std::vector<std::string> paths;
        for (LONG i = 0; i < n; ++i) paths.push_back(Text(array[i].bstrFullPath));
        for (LONG i = n; i < array.size(); ++i) EXPECT_EQ(array[i].bstrFullPath, nullptr) << "unfilled element";
        return paths;
    }
    Rows Stored(const std::string& columns = "[FullPath], [Counter]") {
        return db.Rows(Utf8ToUtf16("SELECT " + columns + " FROM [tMostFrequentlyPlayedMusic] ORDER BY [EntryID];"));
    }

    PimDatabase db;
    const ComPtr<CComObject<RecordingConnection>> foreign = GetParam() ? RecordingConnection::Over(db.db()) : nullptr;
    ComPtr<IMostFrequentlyPlayedMusic> stats = NewObject();
};

TEST_P(PlayStatistics, AFirstPlayCountsOneAndLaterPlaysCountUpFollowingTheCallersRecordInEachProfile) {
    const std::string path = File("song");
    RecordHolder<tagMostFrequentlyPlayedMusic> r;
    SetText(r.bstrFullPath, path);
    r.lCounter = 41;
    r.dtLastPlayed = 1000.5;  // 1902: must not reach the table
    const std::string before = UtcNowText();
    ASSERT_EQ(stats->UpdateMostFrequentlyPlayedMusic(nullptr, &r), S_OK);
    // A first play counts 1, not the record's counter; last played is the
    // time of the play; the caller's record stays as it was.
    EXPECT_EQ(Stored("[Counter], [ProfileID], [LastPlayed] >= '" + before + "'"), (Rows{{"1", "1", "1"}}));
    EXPECT_EQ(r.lCounter, 41);

    // A second play adds no entry; the caller's record gets the stored
    // entry's ID and counts one up from its own counter.
    SetText(r.bstrEntryID, "stale");
    ASSERT_EQ(stats->UpdateMostFrequentlyPlayedMusic(nullptr, &r), S_OK);
    EXPECT_EQ(Stored("[EntryID], [Counter]"), (Rows{{Text(r.bstrEntryID), "2"}}));
    EXPECT_EQ(r.lCounter, 42);

    // Each profile counts its own plays of the file; no profile is the empty one.
    auto other = NewObject(u"2"), unbound = NewObject(nullptr);
    for (auto* object : {other.get(), other.get(), unbound.get()}) {
        RecordHolder<tagMostFrequentlyPlayedMusic> play;
        SetText(play.bstrFullPath, path);
        ASSERT_EQ(object->UpdateMostFrequentlyPlayedMusic(nullptr, &play), S_OK);
    }
    EXPECT_EQ(Stored("[ProfileID], [Counter]"), (Rows{{"1", "2"}, {"2", "2"}, {"", "1"}}));
}

TEST_P(PlayStatistics, ALookUpFillsOnlyTheEntryIdAndAnAddNeverLooksForDuplicates) {
    const std::string path = File("song");
    RecordHolder<tagMostFrequentlyPlayedMusic> r;
    SetText(r.bstrFullPath, path);
    r.lCounter = 50;
    Bstr id;
    ASSERT_EQ(stats->AddMfpmEntry(nullptr, &r, &id), S_OK);
    ASSERT_EQ(stats->AddMfpmEntry(nullptr, &r, nullptr), S_OK) << "the ID output is optional";
    EXPECT_EQ(Stored(), (Rows{{path, "1"}, {path, "1"}}));

    SetText(r.bstrAlbum, "mine");
    VARIANT_BOOL exists = 0x55;
    ASSERT_EQ(stats->QueryMfpmEntry(nullptr, &r, &exists), S_OK);
    EXPECT_EQ(exists, VARIANT_TRUE);
    EXPECT_EQ(Text(r.bstrEntryID), id.utf8());
    EXPECT_EQ(Text(r.bstrAlbum), "mine") << "only the ID is filled in";
    EXPECT_EQ(r.lCounter, 50);

    SetText(r.bstrEntryID, "kept");
    exists = 0x55;
    ASSERT_EQ(NewObject(u"2")->QueryMfpmEntry(nullptr, &r, &exists), S_OK);
    EXPECT_EQ(exists, VARIANT_FALSE) << "another profile's entry is not found";
    EXPECT_EQ(Text(r.bstrEntryID), "kept") << "a miss leaves the record unchanged";
}

// Profile 1 has files that exist and files that are gone, the top list cut
// between them; profile 2 has the most plays, on a file that exists and on
// one that is gone.
TEST_P(PlayStatistics, TheTopListOrdersByCounterThenMostRecentPlayWithinTheProfileAndPurgesMissingFilesUpToTheCut) {
    const std::string keep1 = File("keep1"), goneEarly = File("gone-early", true), keep2 = File("keep2");
    const std::string goneLate = File("gone-late", true), removed = File("removed later");
    int counter = 20;
    for (const auto& path : {keep1, goneEarly, keep2, goneLate, removed}) Seed(path, counter--, "2020-01-01 00:00:00");
    const std::string a = File("a"), b = File("b"), c = File("c"), d = File("d");
    const std::string theirs = File("theirs"), theirsGone = File("theirs, gone", true);
    Seed(a, 2, "2020-05-01 10:00:00");
    Seed(b, 7, "2019-01-01 00:00:00");
    Seed(c, 2, "2021-03-04 05:06:07");
    Seed(d, 2, "2020-05-01 09:59:59");
    Seed(theirs, 100, "2022-01-01 00:00:00", "2");
    Seed(theirsGone, 100, "2022-01-01 00:00:00", "2");
    EXPECT_EQ(Top(2), (std::vector<std::string>{keep1, keep2})) << "the list goes on past a purged entry";
    auto left = [&] {
        std::set<std::string> paths;
        for (auto& row : Stored()) paths.insert(row[0]);
        return paths;
    };
    EXPECT_EQ(left(), (std::set<std::string>{keep1, keep2, goneLate, removed, a, b, c, d, theirs, theirsGone}))
        << "the missing file before the cut is purged, those after it are not examined";
    std::filesystem::remove(removed);
    EXPECT_EQ(Top(99), (std::vector<std::string>{keep1, keep2, b, c, a, d}));
    EXPECT_EQ(left(), (std::set<std::string>{keep1, keep2, a, b, c, d, theirs, theirsGone}))
        << "a longer list reaches and purges the rest, of the object's own profile only";
}

INSTANTIATE_TEST_SUITE_P(Connections, PlayStatistics, ::testing::Bool(),
                         [](const auto& info) { return info.param ? "OnlyIPimDbAccess" : "EngineConnection"; });

}  // namespace
}  // namespace calyra::test
