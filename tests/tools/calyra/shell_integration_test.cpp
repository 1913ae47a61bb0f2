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

TEST(ShellIntegration, BashCompletesCommandsAndOptionsAtEachLevelOfTheTree) {
    ClientRun run;
    const auto script = run.dir().file("calyra.bash");
    std::ofstream(script) << run.ok({"completion", "bash"});
    const std::pair<const char*, const char*> cases[] = {
        {"calyra con", "config contacts"},
        {"calyra --db x.db contacts l", "list"},
        {"calyra events ex", "exceptions export"},
        {"calyra contacts import --", "--help --help-all --dry-run"},
        {"calyra --j", "--json"},
    };
    for (const auto& [line, expected] : cases) {
        const std::string command = "bash -c 'source " + script.string() + "; COMP_WORDS=(" + line +
                                    "); COMP_CWORD=$((${#COMP_WORDS[@]} - 1)); _calyra; echo ${COMPREPLY[@]}'";
        EXPECT_EQ(Output(command), std::string(expected) + "\n") << line;
    }
}

TEST(ShellIntegration, TheManualPageRendersAndNamesEveryCommandGroup) {
    ClientRun run;
    const auto page = run.dir().file("calyra.1");
    std::ofstream(page) << run.ok({"manpage"});
    const std::string text = Output("MANWIDTH=100 man -l " + page.string() + " 2>/dev/null");
    for (const char* expected :
         {"calyra contacts import", "calyra events month", "calyra config set", "EXIT STATUS", "--profile"})
        EXPECT_NE(text.find(expected), std::string::npos) << expected;
    for (const char* shell : {"zsh", "fish"})
        EXPECT_NE(run.ok({"completion", shell}).find("calyra"), std::string::npos);
    EXPECT_EQ(run({"completion", "tcsh"}).status, 2);
}

}  // namespace
}  // namespace calyra::test
