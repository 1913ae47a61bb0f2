// The sync commands as a script would use them: settings per type, the
// album list, and the read-only lists the synchronising program keeps.
#include <gtest/gtest.h>

#include "client_run.h"

namespace calyra::test {
namespace {

// Options set keeps what it is not given, per type; then the person's album
// list per type, and the read-only lists the synchronising program keeps
// beside it.
TEST(ClientSync, OptionsAndAlbumsPerTypeAndTheListsTheSyncProgramKept) {
    OneProfile run;
    // A type never set shows as the type asked about, with nothing chosen.
    EXPECT_TRUE(Includes(run.json({"sync", "options", "get", "--type", "5"}),
                         R"({"type": 5, "group_option": "none", "option_ex7": 0})"_json));
    run.ok({"sync", "options", "set", "--type", "5", "--group-option", "groups", "--option-ex3", "42"});
    run.ok({"sync", "options", "set", "--type", "5", "--option-ex0", "-7"});
    EXPECT_TRUE(Includes(run.json({"sync", "options", "get", "--type", "5"}),
                         R"({"type": 5, "group_option": "groups", "option_ex3": 42, "option_ex0": -7})"_json))
        << "set must keep the fields it was not given";

    ExpectFails(run, 2,
                {Args{"sync", "options", "set", "--type", "1"}, Args{"sync", "options", "set", "--group-option", "all"},
                 Args{"sync", "options", "set", "--type", "1", "--group-option", "sometimes"},
                 Args{"sync", "options", "set", "--type", "1", "--option-ex1", "many"}});

    run.ok({"sync", "albums", "add", "Road trip"});
    run.ok({"sync", "albums", "add", "Morning run", "--option", "3"});
    run.ok({"sync", "albums", "add", "Ada's mix", "--type", "2"});
    EXPECT_EQ(run.json({"sync", "albums", "add", "Road trip"})["added"], false);
    EXPECT_TRUE(Includes(run.json({"sync", "albums", "list"}), R"([{"album_name": "Road trip"},
        {"album_name": "Morning run", "option": 3}])"_json))
        << "adding a listed name must not store it twice";

    run.ok({"sync", "albums", "rm", "Road trip"});
    ExpectFails(run, 1, {{"sync", "albums", "rm", "Road trip"}}, "no album \"Road trip\"");
    ExpectFails(run, 2, {{"sync", "albums", "clear"}}, "--yes");
    EXPECT_EQ(run.json({"sync", "albums", "list"}).size(), 1u) << "clear without --yes must remove nothing";
    EXPECT_EQ(run.json({"sync", "albums", "clear", "--yes"})["removed"], 1);
    EXPECT_TRUE(Includes(run.json({"sync", "albums", "list", "--type", "2"}), R"([{"album_name": "Ada's mix"}])"_json))
        << "clear touches one type only";
    run.ok({"sync", "albums", "rm", "Ada's mix", "--type", "2"});
    EXPECT_TRUE(run.json({"sync", "albums", "list", "--type", "2"}).empty()) << "a quote in a name must not stop rm";

    // The synchronising program writes these tables; stand in for it.
    run.ok({"sql",
            "INSERT INTO [tAlbum] ([ProfileID], [Name], [PathOnPc], [PathOnDevice], [Recursive], [Type]) "
            "VALUES (1, 'Holiday', '/pics/holiday', '/card/holiday', 1, 2), (1, 'Casts', '', '', 0, 3); "
            "INSERT INTO [tFile] ([AlbumID], [ObjectIDOnPc], [ObjectIDOnDevice], [SyncingFlag]) "
            "VALUES (2, '/casts/ep1.mp3', '/card/ep1.mp3', 1), (2, '/casts/old.mp3', '', 0)"});
    EXPECT_TRUE(Includes(run.json({"sync", "synced-albums"})[0], R"({"name": "Holiday", "path_on_pc": "/pics/holiday",
                                                                   "recursive": true, "type": 2})"_json));
    EXPECT_TRUE(Includes(run.json({"sync", "synced-podcasts"}), R"([{"path_on_pc": "/casts/ep1.mp3",
        "path_on_device": "/card/ep1.mp3"}])"_json))
        << "only files being synchronised";
}

}  // namespace
}  // namespace calyra::test
