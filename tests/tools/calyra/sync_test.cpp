// The sync commands as a script would use them: settings per type, the
// album list, and the read-only lists the synchronising program keeps.
#include <gtest/gtest.h>

#include "client_run.h"

namespace calyra::test {
namespace {

using Json = nlohmann::ordered_json;

std::vector<std::string> AlbumNames(const Json& list) {
    std::vector<std::string> names;
    for (const auto& a : list) names.push_back(a["album_name"]);
    return names;
}

TEST(ClientSync, OptionsSetAndGetRoundTripPerType) {
    ClientRun run;
    run.ok({"profiles", "add", "Phone"});

    // A type never set shows as the type asked about, with nothing chosen.
    EXPECT_TRUE(Includes(run.json({"sync", "options", "get", "--type", "5"}),
                         R"({"type": 5, "group_option": "none", "option_ex7": 0})"_json));
    EXPECT_TRUE(Includes(run.json({"sync", "options", "set", "--type", "5", "--group-option", "groups", "--option-ex3",
                                   "42"}),
                         R"({"group_option": "groups", "option_ex3": 42})"_json));
    run.ok({"sync", "options", "set", "--type", "5", "--option-ex0", "-7"});
    EXPECT_TRUE(Includes(run.json({"sync", "options", "get", "--type", "5"}),
                         R"({"type": 5, "group_option": "groups", "option_ex3": 42, "option_ex0": -7})"_json))
        << "set must keep the fields it was not given";
    EXPECT_TRUE(Includes(run.json({"sync", "options", "get", "--type", "6"}),
                         R"({"group_option": "none", "option_ex3": 0})"_json))
        << "types are kept apart";
}

TEST(ClientSync, OptionsSetRefusesEmptyOrUnreadableChanges) {
    ClientRun run;
    run.ok({"profiles", "add", "Phone"});
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"sync", "options", "set", "--type", "1"},
          {"sync", "options", "set", "--group-option", "all"},
          {"sync", "options", "set", "--type", "1", "--group-option", "sometimes"},
          {"sync", "options", "set", "--type", "1", "--option-ex1", "many"}}) {
        auto r = run(args);
        EXPECT_EQ(r.status, 2) << ClientRun::Join(args) << "\n" << r.err;
        EXPECT_EQ(r.err.rfind("calyra: ", 0), 0u) << r.err;
    }
    EXPECT_EQ(run.json({"sync", "options", "get", "--type", "1"})["group_option"], "none");
}

TEST(ClientSync, AlbumsAddListRemoveAndClearPerType) {
    ClientRun run;
    run.ok({"profiles", "add", "Phone"});
    run.ok({"sync", "albums", "add", "Road trip"});
    run.ok({"sync", "albums", "add", "Morning run", "--option", "3"});
    run.ok({"sync", "albums", "add", "Ada's mix", "--type", "2"});

    auto albums = run.json({"sync", "albums", "list"});
    EXPECT_EQ(AlbumNames(albums), (std::vector<std::string>{"Road trip", "Morning run"}));
    EXPECT_EQ(albums[1]["option"], 3);
    EXPECT_EQ(AlbumNames(run.json({"sync", "albums", "list", "--type", "2"})), std::vector<std::string>{"Ada's mix"});

    auto again = run.json({"sync", "albums", "add", "Road trip"});
    EXPECT_EQ(again["added"], false);
    EXPECT_EQ(run.json({"sync", "albums", "list"}).size(), 2u) << "adding a listed name must not store it twice";

    run.ok({"sync", "albums", "rm", "Road trip"});
    EXPECT_EQ(AlbumNames(run.json({"sync", "albums", "list"})), std::vector<std::string>{"Morning run"});
    auto missing = run({"sync", "albums", "rm", "Road trip"});
    EXPECT_EQ(missing.status, 1);
    EXPECT_NE(missing.err.find("no album \"Road trip\""), std::string::npos) << missing.err;

    auto unconfirmed = run({"sync", "albums", "clear"});
    EXPECT_EQ(unconfirmed.status, 2);
    EXPECT_NE(unconfirmed.err.find("--yes"), std::string::npos) << unconfirmed.err;
    EXPECT_EQ(run.json({"sync", "albums", "list"}).size(), 1u) << "clear without --yes must remove nothing";

    auto cleared = run.json({"sync", "albums", "clear", "--yes"});
    EXPECT_EQ(cleared["removed"], 1);
    EXPECT_TRUE(run.json({"sync", "albums", "list"}).empty());
    EXPECT_EQ(run.json({"sync", "albums", "list", "--type", "2"}).size(), 1u) << "clear touches one type only";

    run.ok({"sync", "albums", "rm", "Ada's mix", "--type", "2"});
    EXPECT_TRUE(run.json({"sync", "albums", "list", "--type", "2"}).empty()) << "a quote in a name must not stop rm";
}

TEST(ClientSync, AlbumsBelongToTheirProfile) {
    ClientRun run;
    run.ok({"profiles", "add", "A"});
    run.ok({"profiles", "add", "B"});
    run.ok({"--profile", "A", "sync", "albums", "add", "Only A"});
    run.ok({"--profile", "A", "sync", "options", "set", "--type", "0", "--group-option", "all"});
    EXPECT_TRUE(run.json({"--profile", "B", "sync", "albums", "list"}).empty());
    EXPECT_EQ(run.json({"--profile", "B", "sync", "options", "get"})["group_option"], "none");
}

TEST(ClientSync, SyncedListsShowWhatTheSyncProgramKept) {
    ClientRun run;
    run.ok({"profiles", "add", "Phone"});
    EXPECT_TRUE(run.json({"sync", "synced-albums"}).empty());
    EXPECT_TRUE(run.json({"sync", "synced-podcasts"}).empty());

    // The synchronising program writes these tables; stand in for it.
    run.ok({"sql", "INSERT INTO [tAlbum] ([ProfileID], [Name], [PathOnPc], [PathOnDevice], [Recursive], [Type]) "
                   "VALUES (1, 'Holiday', '/pics/holiday', '/card/holiday', 1, 2)"});
    run.ok({"sql", "INSERT INTO [tAlbum] ([ProfileID], [Name], [Type]) VALUES (1, 'Casts', 3)"});
    run.ok({"sql", "INSERT INTO [tFile] ([AlbumID], [ObjectIDOnPc], [ObjectIDOnDevice], [SyncingFlag]) "
                   "VALUES (2, '/casts/ep1.mp3', '/card/ep1.mp3', 1)"});
    run.ok({"sql", "INSERT INTO [tFile] ([AlbumID], [ObjectIDOnPc], [SyncingFlag]) VALUES (2, '/casts/old.mp3', 0)"});

    auto albums = run.json({"sync", "synced-albums"});
    ASSERT_EQ(albums.size(), 2u);
    EXPECT_EQ(albums[0]["name"], "Holiday");
    EXPECT_EQ(albums[0]["path_on_pc"], "/pics/holiday");
    EXPECT_EQ(albums[0]["recursive"], true);
    EXPECT_EQ(albums[0]["type"], 2);

    auto podcasts = run.json({"sync", "synced-podcasts"});
    ASSERT_EQ(podcasts.size(), 1u) << "only files being synchronised: " << podcasts.dump();
    EXPECT_EQ(podcasts[0]["path_on_pc"], "/casts/ep1.mp3");
    EXPECT_EQ(podcasts[0]["path_on_device"], "/card/ep1.mp3");

    std::string table = run.ok({"sync", "synced-albums"});
    EXPECT_NE(table.find("Holiday"), std::string::npos) << table;
}

}  // namespace
}  // namespace calyra::test
