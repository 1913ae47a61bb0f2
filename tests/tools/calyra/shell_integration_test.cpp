// The completion scripts and the manual page as a shell and man see them:
// generated from the command line, so they offer what the client has.
#include <gtest/gtest.h>

#include <fstream>

#include "client_run.h"

namespace calyra::test {
namespace {

std::string Output(const std::string& command) {
    const ClientResult r = Shell(command);
    EXPECT_EQ(r.status, 0) << command;
    return r.out;
}

// Bash completes commands and options at each level of the tree.
TEST(ShellIntegration, CompletionHelpAndTheManualPageOfferWhatTheClientHas) {
    ClientRun run;
    const auto script = run.dir().file("calyra.bash");
    std::ofstream(script) << run.ok({"completion", "bash"});
    const std::pair<std::string, std::string> cases[] = {
        {"calyra con", "config contacts"},
        {"calyra --db x.db contacts l", "list"},
        {"calyra events ex", "exceptions export"},
        {"calyra contacts import --", "--help --help-all --dry-run"},
        {"calyra --j", "--json"},
        // Values: an option's list, a zone's name, a command after help,
        // the IDs the family's list prints.
        {"calyra --format c", "csv"},
        {"calyra events list --tz Europe/Berl", "Europe/Berlin"},
        {"calyra completion z", "zsh"},
        {"calyra help con", "config contacts"},
        {"'" CALYRA_CLIENT_PATH "' --db '" + run.db() + "' tasks rm ''", "1 2"},
    };
    run.ok({"profiles", "add", "Phone"});
    run.ok({"tasks", "add", "--subject", "One"});
    run.ok({"tasks", "add", "--subject", "Two"});
    for (const auto& [line, expected] : cases) {
        const std::string command =
            "bash -c " + ClientRun::Quote("source " + script.string() + "; COMP_WORDS=(" + line +
                                          "); COMP_CWORD=$((${#COMP_WORDS[@]} - 1)); _calyra; "
                                          "echo ${COMPREPLY[@]}");
        EXPECT_EQ(Output(command), expected + "\n") << line;
    }

    // --help-all lists every level's options, help that cannot be written
    // fails the run, and the manual page names every command group.
    const std::string help = run.ok({"--help-all"});
    for (const char* expected : {"--with-events", "--dry-run", "--option", "items TEXT"})
        EXPECT_TRUE(Has(help, expected));
    for (const char* args : {"--help", "--help-all", "--version", "contacts list --help"}) {
        const ClientResult r = Shell("'" CALYRA_CLIENT_PATH "' " + std::string(args) + " 2>&1 >/dev/full");
        EXPECT_EQ(r.status, 1) << args;
        EXPECT_TRUE(Has(r.out, "calyra: cannot write the output")) << args;
    }
    const auto page = run.dir().file("calyra.1");
    std::ofstream(page) << run.ok({"manpage"});
    const std::string text = Output("MANWIDTH=100 man -l " + page.string() + " 2>/dev/null");
    for (const char* expected :
         {"calyra contacts import", "calyra events month", "calyra config set", "EXIT STATUS", "--profile",
          "--format {table,json,csv,tsv}", "NO_COLOR", "EXAMPLES", "calyra agenda week"})
        EXPECT_TRUE(Has(text, expected));
    for (const char* shell : {"zsh", "fish"}) EXPECT_TRUE(Has(run.ok({"completion", shell}), "calyra"));
    EXPECT_EQ(run({"completion", "tcsh"}).status, 2);
}

}  // namespace
}  // namespace calyra::test
