// What every `edit` command shares: nothing named, or a value that cannot
// be read, is refused before the file is touched, whatever the record.
#include <filesystem>
#include <string>

#include "client_run.h"

namespace calyra::test {
namespace {

TEST(ClientEdit, EveryFamilyRefusesBeforeTheFileIsTouched) {
    ClientRun run;
    const std::string longText(3000, 'x');
    const std::pair<Args, const char*> refused[] = {
        {{"profiles", "edit", "Nobody"}, "nothing to change (see profiles edit --help)"},
        {{"profiles", "edit", "Nobody", "--model", longText}, "--model"},
        {{"groups", "edit", "Nobody"}, "nothing to change (see groups edit --help)"},
        {{"groups", "edit", "Nobody", "--to-be-synced", "maybe"}, "--to-be-synced"},
        {{"groups", "edit", "Nobody", "--name", ""}, "a contact group needs a name"},
        {{"categories", "edit", "Nobody"}, "nothing to change (see categories edit --help)"},
        {{"categories", "edit", "Nobody", "--is-selected", "maybe"}, "--is-selected"},
        {{"contacts", "edit", "7"}, "nothing to change (see contacts edit --help)"},
        {{"contacts", "edit", "7", "--birthday", "soon"}, "--birthday"},
        {{"events", "edit", "7"}, "nothing to change (see events edit --help)"},
        {{"events", "edit", "7", "--private", "maybe"}, "--private"},
        {{"tasks", "edit", "7"}, "nothing to change (see tasks edit --help)"},
        {{"tasks", "edit", "7", "--complete-percent", "lots"}, "--complete-percent"},
    };
    for (const auto& [args, says] : refused) ExpectFails(run, 2, {args}, says);
    EXPECT_FALSE(std::filesystem::exists(run.db())) << "a refused edit created the database file";
}

}  // namespace
}  // namespace calyra::test
