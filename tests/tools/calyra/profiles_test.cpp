// The profile commands and what every command family shares: the choice of
// profile, tables and JSON, names people type, failures named in one line
// with their exit code.
#include <gtest/gtest.h>

#include "client_run.h"

namespace calyra::test {
namespace {

TEST(ClientProfiles, AddListEditAndRemoveRoundTripThroughJson) {
    ClientRun run;
    const std::string id = run.json({"profiles", "add", "Phone A", "--model", "X1", "--imei", "123"})["profile_id"];
    run.ok({"profiles", "edit", "Phone A", "--model", "X2"});
    EXPECT_TRUE(Includes(run.json({"profiles", "list"}),
                         Json::array({{{"profile_id", id}, {"name", "Phone A"}, {"model", "X2"}, {"imei", "123"}}})))
        << "edit must keep fields it was not given";

    // People get aligned columns.
    run.ok({"profiles", "add", "Ü-phone"});
    const std::string table = run.ok({"profiles", "list"});
    EXPECT_EQ(table.find("model"), table.find("X2") - table.find('\n') - 1) << table;

    run.ok({"profiles", "rm", id});
    // info names the file (the demo test reads its row counts).
    EXPECT_EQ(run.json({"info"})["file"], run.db());
    EXPECT_EQ(run.json({"profiles", "list"})[0]["name"], "Ü-phone");
}

TEST(ClientProfiles, ChoosingAProfileNeedsOneAnswerAndNamesTakenButForCaseAreRefused) {
    ClientRun run;
    const std::string pick =
        "1 (A), 2 (B); pick one with --profile NAME, or make one the default with 'calyra profiles use NAME'";
    ExpectSteps(run, {{{"init"}},
                      {{"contacts", "list"}, 1, "no profile yet"},
                      {{"profiles", "add", "A"}},
                      {{"profiles", "add", "B"}},
                      {{"contacts", "list"}, 1, pick},
                      {{"--profile", "C", "contacts", "list"}, 1, "no profile \"C\""},
                      {{"--profile", "2", "contacts", "list"}},
                      // A default profile kept in the config file; a name the file lacks is refused.
                      {{"profiles", "use", "C"}, 1, "no profile \"C\""},
                      {{"profiles", "use", "B"}},
                      {{"contacts", "list"}}});
    EXPECT_EQ(run.json({"config"})[1]["value"], "B");

    // Groups, categories and profiles are named by what people type: a name
    // that another record of the same kind already has, but for case, is
    // refused when adding and when renaming, since both would then be
    // unreachable by name; a record's own name in other case is no clash.
    for (const Args& add :
         {Args{"profiles", "add", "Phone"}, Args{"groups", "add", "Family"}, Args{"groups", "add", "Work"},
          Args{"categories", "add", "Sport"}, Args{"categories", "add", "Music"}})
        run.ok(add);
    ExpectFails(run, 1,
                {{"groups", "add", "family"},
                 {"groups", "edit", "Work", "--name", "FAMILY"},
                 {"categories", "add", "sport"},
                 {"categories", "edit", "Music", "--name", "Sport"},
                 {"profiles", "add", "phone"}},
                "is already named");
    run.ok({"groups", "edit", "Family", "--name", "family"});
    EXPECT_TRUE(Includes(run.json({"groups", "list"}), R"([{"contact_group_name": "family"}, {}])"_json));
    EXPECT_EQ(run.json({"categories", "list"}).size(), 2u);
}

// Bad command lines exit 2 before the file is touched, failures 1.
TEST(ClientProfiles, BadCommandLinesExitTwoBeforeTheFileIsTouchedAndFailuresOne) {
    ClientRun run;
    ExpectFails(run, 2, {{"profiles"}, {"profiles", "add"}, {"profiles", "frobnicate"}, {"no-such-command"}});
    const std::string longText(3000, 'x');
    // The word that names nothing, and what was meant; then an edit of
    // nothing, or a value that cannot be read, whatever the record.
    ExpectSteps(run, {{{"contacts", "lst"}, 2, "unknown command 'lst'; did you mean 'list'?"},
                      {{"contcts", "list"}, 2, "unknown command 'contcts'; did you mean 'contacts'?"},
                      {{"--jsno", "contacts", "list"}, 2, "unknown option '--jsno'; did you mean '--json'?"},
                      {{"events", "list", "--frm", "today"}, 2, "unknown option '--frm'; did you mean '--from'?"},
                      {{"xyzzy"}, 2, "unknown command 'xyzzy' (commands: init, info, check, sql, config"},
                      {{"profiles", "edit", "Nobody"}, 2, "nothing to change (see profiles edit --help)"},
                      {{"profiles", "edit", "Nobody", "--model", longText}, 2, "--model"},
                      {{"groups", "edit", "Nobody"}, 2, "nothing to change (see groups edit --help)"},
                      {{"groups", "edit", "Nobody", "--to-be-synced", "maybe"}, 2, "--to-be-synced"},
                      {{"groups", "edit", "Nobody", "--name", ""}, 2, "a contact group needs a name"},
                      {{"categories", "edit", "Nobody"}, 2, "nothing to change (see categories edit --help)"},
                      {{"categories", "edit", "Nobody", "--is-selected", "maybe"}, 2, "--is-selected"},
                      {{"contacts", "edit", "7"}, 2, "nothing to change (see contacts edit --help)"},
                      {{"contacts", "edit", "7", "--birthday", "soon"}, 2, "--birthday"},
                      {{"events", "edit", "7"}, 2, "nothing to change (see events edit --help)"},
                      {{"events", "edit", "7", "--private", "maybe"}, 2, "--private"},
                      {{"tasks", "edit", "7"}, 2, "nothing to change (see tasks edit --help)"},
                      {{"tasks", "edit", "7", "--complete-percent", "lots"}, 2, "--complete-percent"}});
    EXPECT_FALSE(std::filesystem::exists(run.db())) << "a refused command line created the database file";
    // Failures name the error ID and HRESULT, and the engine's words.
    ExpectSteps(run, {{{"init"}}, {{"sql", "SELECT * FROM [nowhere]"}, 1, "(0x5006, E_FAIL): no such table: nowhere"}});
    EXPECT_EQ(run.ok({"--version"}).rfind("calyra ", 0), 0u);
    EXPECT_EQ(run.ok({"help", "contacts", "list"}), run.ok({"contacts", "list", "--help"}));
}

}  // namespace
}  // namespace calyra::test
