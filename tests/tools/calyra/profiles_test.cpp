// The profile commands and what every command family shares: the choice of
// profile, tables and JSON, failures named in one line with their exit code.
#include <gtest/gtest.h>

#include "client_run.h"

namespace calyra::test {
namespace {

TEST(ClientProfiles, AddListEditAndRemoveRoundTripThroughJson) {
    ClientRun run;
    const std::string id = run.json({"profiles", "add", "Phone A", "--model", "X1", "--imei", "123"})["profile_id"];
    run.ok({"profiles", "edit", "Phone A", "--model", "X2"});
    EXPECT_TRUE(Includes(
        run.json({"profiles", "list"}),
        nlohmann::ordered_json::array({{{"profile_id", id}, {"name", "Phone A"}, {"model", "X2"}, {"imei", "123"}}})))
        << "edit must keep fields it was not given";

    // People get aligned columns.
    run.ok({"profiles", "add", "Ü-phone"});
    std::istringstream lines(run.ok({"profiles", "list"}));
    std::string header, first;
    std::getline(lines, header);
    std::getline(lines, first);
    EXPECT_EQ(header.find("model"), first.find("X2")) << header << "\n" << first;

    run.ok({"profiles", "rm", id});
    EXPECT_EQ(run.json({"profiles", "list"}).size(), 1u);
    // info names the file (the demo test reads its row counts); sql runs text.
    EXPECT_EQ(run.json({"info"})["file"], run.db());
    EXPECT_EQ(run.json({"sql", "SELECT [ProfileName], 1 + 1 FROM [tProfile]"}), R"([["Ü-phone", "2"]])"_json);
}

TEST(ClientProfiles, ChoosingAProfileNeedsOneAnswer) {
    ClientRun run;
    run.ok({"init"});
    ExpectFails(run, 1, {{"contacts", "list"}}, "no profile yet");
    run.ok({"profiles", "add", "A"});
    run.ok({"profiles", "add", "B"});
    ExpectFails(run, 1, {{"contacts", "list"}},
                "1 (A), 2 (B); pick one with --profile NAME, or make one the default "
                "with 'calyra profiles use NAME'");
    ExpectFails(run, 1, {{"--profile", "C", "contacts", "list"}}, "no profile \"C\"");
    run.ok({"--profile", "2", "contacts", "list"});
    // A default profile kept in the config file; a name the file lacks is refused.
    ExpectFails(run, 1, {{"profiles", "use", "C"}}, "no profile \"C\"");
    run.ok({"profiles", "use", "B"});
    EXPECT_EQ(run.json({"config"})[1]["value"], "B");
    run.ok({"contacts", "list"});
}

TEST(ClientProfiles, BadCommandLinesExitTwoAndFailuresOne) {
    ClientRun run;
    ExpectFails(run, 2, {{"profiles"}, {"profiles", "add"}, {"profiles", "frobnicate"}, {"no-such-command"}});
    // The word that names nothing, and what was meant.
    const std::pair<std::vector<std::string>, const char*> unknown[] = {
        {{"contacts", "lst"}, "unknown command 'lst'; did you mean 'list'?"},
        {{"contcts", "list"}, "unknown command 'contcts'; did you mean 'contacts'?"},
        {{"--jsno", "contacts", "list"}, "unknown option '--jsno'; did you mean '--json'?"},
        {{"events", "list", "--frm", "today"}, "unknown option '--frm'; did you mean '--from'?"},
        {{"xyzzy"}, "unknown command 'xyzzy' (commands: init, info, check, sql, config"},
    };
    for (const auto& [args, says] : unknown) ExpectFails(run, 2, {args}, says);
    EXPECT_EQ(run.ok({"--version"}).rfind("calyra ", 0), 0u);
    EXPECT_EQ(run.ok({"help", "contacts", "list"}), run.ok({"contacts", "list", "--help"}));
    // Failures name the error ID and HRESULT, and the engine's words.
    run.ok({"init"});
    ExpectFails(run, 1, {{"sql", "SELECT * FROM [nowhere]"}}, "(0x5006, E_FAIL): no such table: nowhere");
}

}  // namespace
}  // namespace calyra::test
