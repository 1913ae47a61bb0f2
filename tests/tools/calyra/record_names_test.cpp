// Groups, categories and profiles are named by what people type: a name
// that another record of the same kind already has, but for case, is
// refused when adding and when renaming, since both would then be
// unreachable by name.
#include <string>

#include "client_run.h"

namespace calyra::test {
namespace {

TEST(ClientNames, ANameTakenButForCaseIsRefused) {
    ClientRun run;
    run.ok({"profiles", "add", "Phone"});
    run.ok({"groups", "add", "Family"});
    run.ok({"groups", "add", "Work"});
    run.ok({"categories", "add", "Sport"});
    run.ok({"categories", "add", "Music"});
    ExpectFails(run, 1,
                {{"groups", "add", "family"},
                 {"groups", "edit", "Work", "--name", "FAMILY"},
                 {"categories", "add", "sport"},
                 {"categories", "edit", "Music", "--name", "Sport"},
                 {"profiles", "add", "phone"}},
                "is already named");
    // Renaming a record to its own name in other case is no clash.
    run.ok({"groups", "edit", "Family", "--name", "family"});
    const auto groups = run.json({"groups", "list"});
    ASSERT_EQ(groups.size(), 2u);
    EXPECT_EQ(groups[0]["contact_group_name"], "family");
    EXPECT_EQ(run.json({"categories", "list"}).size(), 2u);
}

}  // namespace
}  // namespace calyra::test
