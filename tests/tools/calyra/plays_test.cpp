// The play statistics commands: counting plays and the most-played lists,
// for music files and podcast episodes apart.
#include <gtest/gtest.h>

#include <filesystem>

#include "client_run.h"

namespace calyra::test {
namespace {

using Counts = std::vector<std::pair<std::string, int>>;

TEST(ClientPlays, RecordCountsPlaysAndTopListsMostPlayedFirstPerKind) {
    OneProfile run;
    // A played file must exist, or the top list drops it.
    const auto file = [&run](const std::string& name) { return run.write(name, ""); };
    const auto play = [&run](const std::string& path, int times, const Args& extra = {}) {
        for (int i = 0; i < times; ++i) run.ok(Args{"plays", "record", path} + extra);
    };
    const auto top = [&run](const Args& more = {}) {
        Counts out;
        for (const auto& e : run.json(Args{"plays", "top"} + more)) out.emplace_back(e["full_path"], e["counter"]);
        return out;
    };
    const auto a = file("a.mp3"), b = file("b.mp3"), c = file("c.mp3"), gone = file("gone.mp3");
    // Bad command lines are refused and not counted.
    ExpectFails(run, 2,
                {Args{"plays", "top", "0"}, Args{"plays", "top", "100"}, Args{"plays", "top", "-3"},
                 Args{"plays", "top", "many"}, Args{"plays", "record", a, "--episode", "1"},
                 Args{"plays", "record", a, "--podcast", "--title", "T"}, Args{"plays", "record", ""},
                 Args{"plays", "record"}});
    EXPECT_TRUE(top({"99"}).empty());
    EXPECT_TRUE(top({"1", "--podcast"}).empty());

    auto first = run.json({"plays", "record", a, "--title", "Song A", "--artist", "Band", "--album", "First"});
    EXPECT_TRUE(Includes(first, {{"full_path", a}, {"file_exists", true}}));
    play(a, 1);
    EXPECT_EQ(run.json({"plays", "record", a})["entry_id"], first["entry_id"]) << "a second play counts the same entry";
    play(b, 1);
    play(c, 2);
    play(gone, 5);
    std::filesystem::remove(gone);
    EXPECT_EQ(top(), (Counts{{a, 3}, {c, 2}, {b, 1}})) << "entries whose file is gone are left out";
    EXPECT_EQ(top({"2"}), (Counts{{a, 3}, {c, 2}})) << "the count limits the list";
    EXPECT_TRUE(Includes(run.json({"plays", "top", "1"})[0], R"({"title": "Song A", "artist": "Band",
                                                                 "album": "First"})"_json))
        << "details of the first play must be kept";

    EXPECT_TRUE(Has(run.ok({"plays", "record", run.dir().file("never.mp3").string()}), "does not exist"))
        << "the user is warned";
    EXPECT_EQ(run.json({"plays", "record", "relative/song.mp3"})["full_path"],
              (std::filesystem::current_path() / "relative/song.mp3").string());

    // Podcast episodes are counted apart from music.
    const auto episode = file("ep1.mp3");
    play(episode, 2,
         {"--podcast", "--album", "Show", "--episode", "Ep. 1: O'Neill's", "--time", "42:10", "--release-date",
          "spring 2024", "--description", "Pilot"});
    EXPECT_EQ(top().size(), 3u) << "an episode is no music";
    // The release date is free text, not a date.
    EXPECT_EQ(top({"--podcast"}), (Counts{{episode, 2}}));
    EXPECT_TRUE(Includes(run.json({"plays", "top", "--podcast"})[0], R"({"album": "Show", "episode": "Ep. 1: O'Neill's",
        "time": "42:10", "release_date": "spring 2024", "description": "Pilot"})"_json));
}

}  // namespace
}  // namespace calyra::test
