// The tasks commands, run as a person or a script would.
#include <gtest/gtest.h>

#include <ctime>

#include "client_run.h"

namespace calyra::test {
namespace {

TEST(ClientTasks, AddListEditFinishAndRemove) {
    OneProfile run{"tasks"};
    const std::string first = run.add({"--subject", "Buy milk", "--end-date", "2026-12-05", "--task-priority", "high"});
    const std::string second = run.add({"--subject", "File taxes", "--description", "before April"});
    // Tasks come by due date, those without one last.
    EXPECT_TRUE(Includes(
        run.json({"tasks", "list"}),
        Json::array({{{"task_id", first}, {"end_date", "2026-12-05T00:00:00Z"}, {"task_status", "not_started"}},
                     {{"task_id", second}}})));
    run.ok({"tasks", "edit", second, "--task-status", "in_progress", "--complete-percent", "40"});
    EXPECT_TRUE(Includes(run.json({"tasks", "show", second}), R"({"task_status": "in_progress",
        "complete_percent": 40, "description": "before April", "subject": "File taxes"})"_json))
        << "edit must keep fields it was not given";

    const Json done = run.json({"tasks", "done", first})["date_completed"];
    EXPECT_FALSE(done.is_null());
    EXPECT_TRUE(Includes(run.json({"tasks", "show", first}),
                         {{"task_status", "finished"}, {"complete_percent", 100}, {"date_completed", done}}));
    EXPECT_TRUE(Includes(run.json({"tasks", "list", "--open"}), Json::array({{{"task_id", second}}})));
    EXPECT_EQ(run.ok({"--format", "csv", "tasks", "list", "--sort", "subject", "--reverse", "--fields", "subject"}),
              "subject\nFile taxes\nBuy milk\n");
    // People read a reminder in words, not as a bare number of minutes.
    run.ok({"tasks", "edit", second, "--reminder-time", "90"});
    EXPECT_TRUE(Has(run.ok({"tasks", "show", second}), "1h30m before the due date"));
    run.ok({"tasks", "rm", first});
    EXPECT_EQ(run({"tasks", "show", first}).err, "calyra: no task " + first + "\n");

    // Bad command lines exit 2, unknown tasks 1; neither changes anything.
    ExpectFails(run, 2,
                {Args{"tasks", "add", "--subject", "X", "--end-date", "2026-02-30"},
                 Args{"tasks", "add", "--end-date", "2026-02-01"},
                 Args{"tasks", "add", "--subject", "X", "--task-status", "sleeping"},
                 Args{"tasks", "add", "--subject", "X", "--repeat", "weekly"},
                 Args{"tasks", "edit", second, "--complete-percent", "101"},
                 Args{"tasks", "add", "--subject", "X", "--complete-percent", "-1"}});
    ExpectFails(run, 2, {{"tasks", "list", "--due", "2027-02-30"}, {"tasks", "list", "--due", "someday"}}, "e.g.");
    ExpectFails(run, 1, {{"tasks", "done", "999"}, {"tasks", "rm", "999"}});
    EXPECT_EQ(run.json({"tasks", "list"}).size(), 1u);

    // Done on a repeating task finishes this time and moves to the next one;
    // the last one, or --all, finishes the series.
    const std::string rent = run.add({"--subject", "Rent", "--start-date", "2027-01-15", "--end-date", "2027-01-16",
                                      "--repeat", "monthly", "--count", "3"});
    const std::string walk = run.add({"--subject", "Walk", "--end-date", "2027-01-04", "--repeat", "weekly"});
    // What `tasks done` is given, and what the task then shows.
    const std::pair<Args, Json> steps[] = {
        {{rent}, R"({"start_date": "2027-02-15T00:00:00Z", "end_date": "2027-02-16T00:00:00Z",
                     "task_status": "not_started", "recurrence_text": "every month on day 15, 3 times"})"_json},
        {{rent}, {{"start_date", "2027-03-15T00:00:00Z"}, {"task_status", "not_started"}}},
        {{rent}, {{"start_date", "2027-03-15T00:00:00Z"}, {"task_status", "finished"}, {"complete_percent", 100}}},
        {{walk}, {{"end_date", "2027-01-11T00:00:00Z"}, {"task_status", "not_started"}}},
        {{walk, "--all"},
         {{"end_date", "2027-01-11T00:00:00Z"}, {"task_status", "finished"}, {"recurrence_text", "weekly on Mon"}}},
    };
    for (const auto& [done, task] : steps) {
        run.ok(Args{"tasks", "done"} + done);
        EXPECT_TRUE(Includes(run.json({"tasks", "show", done[0]}), task)) << ClientRun::Join(done);
    }
}

// The UTC day `offset` days from today: "2026-12-05".
std::string Day(int offset) {
    const std::time_t t = std::time(nullptr) + offset * 86400;
    std::tm tm{};
    gmtime_r(&t, &tm);
    char text[16];
    std::strftime(text, sizeof text, "%Y-%m-%d", &tm);
    return text;
}

// Which tasks each filter shows, in due order, with the overdue ones marked.
TEST(ClientTasks, FiltersByDueDateInTheUsersZone) {
    OneProfile run{"tasks"};
    run.ok({"tasks", "done", run.add({"--subject", "Done late", "--end-date", Day(-2)})});
    run.add({"--subject", "No date"});
    run.add({"--subject", "Later", "--end-date", Day(10) + "T15:00:00Z"});
    run.add({"--subject", "Today", "--end-date", Day(0)});
    run.add({"--subject", "Yesterday", "--end-date", Day(-1)});
    // A filter, and the subjects it shows.
    const std::pair<Args, Texts> cases[] = {
        {{}, {"Done late", "Yesterday", "Today", "Later", "No date"}},
        {{"--overdue"}, {"Yesterday"}},
        {{"--due", "today"}, {"Today"}},
        {{"--due", "+10d"}, {"Later"}},
        {{"--due", Day(-1)}, {"Yesterday"}},
    };
    for (const auto& [filter, expected] : cases) {
        const Args args = Args{"--tz", "UTC", "tasks", "list"} + filter;
        Texts subjects;
        for (const auto& t : run.json(args)) {
            subjects.push_back(t["subject"]);
            EXPECT_EQ(t["overdue"], t["subject"] == "Yesterday") << t["subject"];
        }
        EXPECT_EQ(subjects, expected) << ClientRun::Join(args);
    }
    // A week runs from the first day of the week the user chose (Sunday here).
    const long long sinceSunday = (std::time(nullptr) / 86400 + 4) % 7;  // 1970-01-01 was a Thursday
    Texts week;
    for (const auto& [subject, offset] : {std::pair{"Yesterday", -1}, {"Today", 0}, {"Later", 10}})
        if (offset >= -sinceSunday && offset <= 6 - sinceSunday) week.push_back(subject);
    EXPECT_EQ(run.ids({"--tz", "UTC", "--week-start", "sun", "tasks", "list", "--due", "week", "--open"}, "subject"),
              week);
    // Moments show as wall time in the user's zone; days stay days.
    const std::string table = run.ok({"--tz", "Asia/Kolkata", "tasks", "list"});
    EXPECT_TRUE(Has(table, Day(10) + " 20:30"));
    EXPECT_TRUE(Has(table, "05:30", false)) << "a day is no moment at midnight UTC";
}

}  // namespace
}  // namespace calyra::test
