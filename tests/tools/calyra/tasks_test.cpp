// The tasks commands, run as a person or a script would.
#include <gtest/gtest.h>

#include "client_run.h"

namespace calyra::test {
namespace {

using Json = nlohmann::ordered_json;

class Tasks : public ClientRun {
public:
    Tasks() { ok({"profiles", "add", "Phone"}); }
    std::string add(Args args) {
        args.insert(args.begin(), {"tasks", "add"});
        return json(args)["task_id"].get<std::string>();
    }
};

TEST(ClientTasks, AddListEditFinishAndRemove) {
    Tasks run;
    const std::string first = run.add({"--subject", "Buy milk", "--end-date", "2026-12-05", "--task-priority", "high"});
    const std::string second = run.add({"--subject", "File taxes", "--description", "before April"});
    // Tasks come in the order they were created.
    EXPECT_TRUE(Includes(
        run.json({"tasks", "list"}),
        Json::array({{{"task_id", first}, {"end_date", "2026-12-05T00:00:00Z"}, {"task_status", "not_started"}},
                     {{"task_id", second}}})));
    run.ok({"tasks", "edit", second, "--task-status", "in_progress", "--complete-percent", "40"});
    EXPECT_TRUE(Includes(run.json({"tasks", "show", second}), R"({"task_status": "in_progress",
        "complete_percent": 40, "description": "before April", "subject": "File taxes"})"_json))
        << "edit must keep fields it was not given";

    auto done = run.json({"tasks", "done", first});
    EXPECT_FALSE(done["date_completed"].is_null());
    EXPECT_TRUE(
        Includes(run.json({"tasks", "show", first}),
                 {{"task_status", "finished"}, {"complete_percent", 100}, {"date_completed", done["date_completed"]}}));
    EXPECT_TRUE(Includes(run.json({"tasks", "list", "--open"}), Json::array({{{"task_id", second}}})));
    run.ok({"tasks", "rm", first});
    EXPECT_EQ(run({"tasks", "show", first}).err, "calyra: no task " + first + "\n");

    // A repeating task keeps its rule when done.
    const std::string rent = run.add({"--subject", "Pay rent", "--start-date", "2026-12-15", "--repeat", "monthly",
                                      "--day-of-month", "15", "--count", "10"});
    run.ok({"tasks", "done", rent});
    EXPECT_NE(run.ok({"tasks", "list"}).find("every month on day 15, 10 times"), std::string::npos);
}

TEST(ClientTasks, BadCommandLinesExitTwoAndUnknownTasksOne) {
    Tasks run;
    const std::string id = run.add({"--subject", "Something"});
    ExpectFails(run, 2,
                {{"tasks", "add", "--subject", "X", "--end-date", "2026-02-30"},
                 {"tasks", "edit", id},
                 {"tasks", "add", "--end-date", "2026-02-01"},
                 {"tasks", "done", "abc"},
                 {"tasks", "add", "--subject", "X", "--task-status", "sleeping"},
                 {"tasks", "add", "--subject", "X", "--repeat", "weekly"}});
    ExpectFails(run, 1, {{"tasks", "done", "999"}, {"tasks", "rm", "999"}});
    EXPECT_EQ(run.json({"tasks", "list"}).size(), 1u);
}

}  // namespace
}  // namespace calyra::test
