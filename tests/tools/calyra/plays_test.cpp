// The play statistics commands: counting plays and the most-played lists,
// for music files and podcast episodes apart.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "client_run.h"

namespace calyra::test {
namespace {

using Json = nlohmann::ordered_json;

// A played file must exist, or the top list drops it.
std::string MakeFile(const ClientRun& run, const std::string& name) {
    const auto path = run.dir().file(name);
    std::ofstream(path) << "";
    return path.string();
}

std::vector<std::pair<std::string, int>> PathsAndCounts(const Json& top) {
    std::vector<std::pair<std::string, int>> out;
    for (const auto& e : top) out.emplace_back(e["full_path"], e["counter"]);
    return out;
}

class ClientPlays : public ::testing::Test {
protected:
    void SetUp() override { run.ok({"profiles", "add", "Phone"}); }
    void Play(const std::string& path, int times, std::vector<std::string> extra = {}) {
        std::vector<std::string> args{"plays", "record", path};
        args.insert(args.end(), extra.begin(), extra.end());
        for (int i = 0; i < times; ++i) run.ok(args);
    }
    ClientRun run;
};

TEST_F(ClientPlays, RecordCountsPlaysAndTopListsMostPlayedFirst) {
    const auto a = MakeFile(run, "a.mp3"), b = MakeFile(run, "b.mp3"), c = MakeFile(run, "c.mp3");
    Play(a, 3, {"--title", "Song A", "--artist", "Band", "--album", "First"});
    Play(b, 1);
    Play(c, 2);

    auto top = run.json({"plays", "top"});
    EXPECT_EQ(PathsAndCounts(top), (std::vector<std::pair<std::string, int>>{{a, 3}, {c, 2}, {b, 1}}));
    EXPECT_EQ(top[0]["title"], "Song A") << "details of the first play must be kept";
    EXPECT_EQ(top[0]["artist"], "Band");
    EXPECT_EQ(top[0]["album"], "First");
    EXPECT_FALSE(top[0]["last_played"].is_null());

    EXPECT_EQ(PathsAndCounts(run.json({"plays", "top", "2"})),
              (std::vector<std::pair<std::string, int>>{{a, 3}, {c, 2}}))
        << "the count limits the list";
}

TEST_F(ClientPlays, RecordReportsTheEntryItCounted) {
    const auto a = MakeFile(run, "a.mp3");
    auto first = run.json({"plays", "record", a});
    auto second = run.json({"plays", "record", a});
    EXPECT_FALSE(first["entry_id"].is_null());
    EXPECT_EQ(first["entry_id"], second["entry_id"]) << "a second play counts the same entry";
    EXPECT_EQ(first["full_path"], a);
    EXPECT_EQ(first["file_exists"], true);
}

TEST_F(ClientPlays, MusicAndPodcastsAreCountedApart) {
    const auto song = MakeFile(run, "song.mp3"), episode = MakeFile(run, "ep1.mp3");
    Play(song, 1);
    Play(episode, 2,
         {"--podcast", "--album", "Show", "--episode", "Ep. 1: O'Neill's", "--time", "42:10", "--release-date",
          "spring 2024", "--description", "Pilot"});

    auto music = run.json({"plays", "top"});
    EXPECT_EQ(PathsAndCounts(music), (std::vector<std::pair<std::string, int>>{{song, 1}}));

    auto podcasts = run.json({"plays", "top", "--podcast"});
    ASSERT_EQ(podcasts.size(), 1u);
    EXPECT_EQ(podcasts[0]["full_path"], episode);
    EXPECT_EQ(podcasts[0]["counter"], 2);
    EXPECT_EQ(podcasts[0]["album"], "Show");
    EXPECT_EQ(podcasts[0]["episode"], "Ep. 1: O'Neill's");
    EXPECT_EQ(podcasts[0]["time"], "42:10");
    EXPECT_EQ(podcasts[0]["release_date"], "spring 2024") << "free text, not a date";
    EXPECT_EQ(podcasts[0]["description"], "Pilot");
}

TEST_F(ClientPlays, TopDropsEntriesWhoseFileIsGone) {
    const auto kept = MakeFile(run, "kept.mp3"), gone = MakeFile(run, "gone.mp3");
    Play(gone, 5);
    Play(kept, 1);
    std::filesystem::remove(gone);
    EXPECT_EQ(PathsAndCounts(run.json({"plays", "top"})), (std::vector<std::pair<std::string, int>>{{kept, 1}}));

    auto missing = run({"plays", "record", run.dir().file("never.mp3").string()});
    EXPECT_EQ(missing.status, 0) << missing.err;
    EXPECT_NE(missing.out.find("does not exist"), std::string::npos) << "the user is warned:\n" << missing.out;
}

TEST_F(ClientPlays, RelativePathsAreRecordedAbsolute) {
    auto r = run.json({"plays", "record", "relative/song.mp3"});
    const std::string path = r["full_path"];
    EXPECT_TRUE(std::filesystem::path(path).is_absolute()) << path;
    EXPECT_EQ(path, (std::filesystem::current_path() / "relative/song.mp3").string());
}

TEST_F(ClientPlays, BadCommandLinesAreRefused) {
    const auto a = MakeFile(run, "a.mp3");
    for (const std::vector<std::string>& args : {std::vector<std::string>{"plays", "top", "0"},
                                                 {"plays", "top", "100"},
                                                 {"plays", "top", "-3"},
                                                 {"plays", "top", "many"},
                                                 {"plays", "record", a, "--episode", "1"},
                                                 {"plays", "record", a, "--podcast", "--title", "T"},
                                                 {"plays", "record", ""},
                                                 {"plays", "record"}}) {
        auto r = run(args);
        EXPECT_EQ(r.status, 2) << ClientRun::Join(args) << "\n" << r.err;
        EXPECT_EQ(r.err.rfind("calyra: ", 0), 0u) << r.err;
    }
    EXPECT_TRUE(run.json({"plays", "top", "99"}).empty()) << "refused plays must not be counted";
    EXPECT_TRUE(run.json({"plays", "top", "1", "--podcast"}).empty());
}

}  // namespace
}  // namespace calyra::test
