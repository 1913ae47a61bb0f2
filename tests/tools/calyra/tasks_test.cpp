// The tasks commands, run as a person or a script would.
#include <gtest/gtest.h>

#include "client_run.h"

namespace calyra::test {
namespace {

class Tasks : public ClientRun {
public:
    Tasks() { ok({"profiles", "add", "Phone"}); }
    std::string add(std::vector<std::string> args) {
        args.insert(args.begin(), {"tasks", "add"});
        return json(args)["task_id"].get<std::string>();
    }
};

TEST(ClientTasks, AddListShowEditAndRemoveRoundTripThroughJson) {
    Tasks run;
    const std::string first = run.add({"--subject", "Buy milk", "--end-date", "2026-12-05", "--task-priority", "high"});
    const std::string second = run.add({"--subject", "File taxes", "--description", "before April"});
    auto list = run.json({"tasks", "list"});
    // Tasks come in the order they were created.
    EXPECT_TRUE(Includes(list, nlohmann::ordered_json::array({{{"task_id", first}, {"end_date", "2026-12-05T00:00:00Z"},
                                                               {"task_status", "not_started"}},
                                                              {{"task_id", second}}})));
    EXPECT_FALSE(list[0]["created"].is_null());

    run.ok({"tasks", "edit", second, "--task-status", "in_progress", "--complete-percent", "40"});
    EXPECT_TRUE(Includes(run.json({"tasks", "show", second}), R"({"task_status": "in_progress",
        "complete_percent": 40, "description": "before April", "subject": "File taxes"})"_json))
        << "edit must keep fields it was not given";

    const std::string table = run.ok({"tasks", "list"});
    EXPECT_NE(table.find("Buy milk"), std::string::npos) << table;

    run.ok({"tasks", "rm", first});
    auto gone = run({"tasks", "show", first});
    EXPECT_EQ(gone.status, 1);
    EXPECT_EQ(gone.err, "calyra: no task " + first + "\n");
    EXPECT_EQ(run.json({"tasks", "list"}).size(), 1u);
}

TEST(ClientTasks, DoneFinishesTheTaskAndOpenListsLeaveItOut) {
    Tasks run;
    const std::string id = run.add({"--subject", "Call mum", "--complete-percent", "10"});
    const std::string other = run.add({"--subject", "Water plants"});
    auto done = run.json({"tasks", "done", id});
    EXPECT_EQ(done["task_id"], id);
    EXPECT_FALSE(done["date_completed"].is_null());
    EXPECT_TRUE(Includes(run.json({"tasks", "show", id}), {{"task_status", "finished"}, {"complete_percent", 100},
                                                           {"date_completed", done["date_completed"]}}));
    EXPECT_TRUE(Includes(run.json({"tasks", "list", "--open"}), nlohmann::ordered_json::array({{{"task_id", other}}})));
}

TEST(ClientTasks, RepeatingTasksKeepTheirRule) {
    Tasks run;
    const std::string id = run.add({"--subject", "Pay rent", "--start-date", "2026-12-15", "--repeat", "monthly",
                                    "--day-of-month", "15", "--count", "10"});
    auto shown = run.json({"tasks", "show", id});
    EXPECT_EQ(shown["recurrence_text"], "every month on day 15, 10 times");
    run.ok({"tasks", "done", id});
    EXPECT_EQ(run.json({"tasks", "show", id})["recurrence_text"], "every month on day 15, 10 times")
        << "finishing a task keeps its rule";
    EXPECT_NE(run.ok({"tasks", "list"}).find("every month on day 15"), std::string::npos);
}

TEST(ClientTasks, BadCommandLinesExitTwoAndUnknownTasksOne) {
    Tasks run;
    const std::string id = run.add({"--subject", "Something"});
    for (const std::vector<std::string>& args : {
             std::vector<std::string>{"tasks", "add", "--subject", "X", "--end-date", "2026-02-30"},
             {"tasks", "add", "--end-date", "2026-02-01"},
             {"tasks", "add", "--subject", "X", "--task-status", "sleeping"},
             {"tasks", "add", "--subject", "X", "--repeat", "weekly"},
             {"tasks", "edit", id},
             {"tasks", "done", "abc"},
         }) {
        auto r = run(args);
        EXPECT_EQ(r.status, 2) << ClientRun::Join(args) << "\n" << r.err;
    }
    EXPECT_EQ(run({"tasks", "done", "999"}).status, 1);
    EXPECT_EQ(run({"tasks", "rm", "999"}).status, 1);
    EXPECT_EQ(run.json({"tasks", "list"}).size(), 1u);
}

}  // namespace
}  // namespace calyra::test
