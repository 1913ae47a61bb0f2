// The events and categories commands, run as a person or a script would.
#include <gtest/gtest.h>

#include "client_run.h"

namespace calyra::test {
namespace {

using Json = nlohmann::ordered_json;

// A client run with one profile, so commands need no --profile.
class Calendar : public ClientRun {
public:
    Calendar() { ok({"profiles", "add", "Phone"}); }

    std::string add(std::vector<std::string> args) {
        args.insert(args.begin(), {"events", "add"});
        return json(args)["event_id"].get<std::string>();
    }
    std::vector<std::string> listed(std::vector<std::string> args) {
        args.insert(args.begin(), {"events", "list"});
        std::vector<std::string> subjects;
        for (const auto& e : json(args)) subjects.push_back(e["subject"]);
        return subjects;
    }
};

using Subjects = std::vector<std::string>;

TEST(ClientEvents, AddShowEditAndRemoveRoundTripThroughJson) {
    Calendar run;
    const std::string id = run.add({"--subject", "Dentist", "--start", "2026-12-03T09:30", "--end",
                                    "2026-12-03T10:00", "--location", "Main St", "--priority", "high"});
    EXPECT_TRUE(Includes(run.json({"events", "show", id}), R"({"subject": "Dentist", "priority": "high",
        "start_date_time": "2026-12-03T09:30:00Z", "end_date_time": "2026-12-03T10:00:00Z", "recurrence_text": "",
        "exception": false, "exceptions": []})"_json));

    run.ok({"events", "edit", id, "--location", "Side St"});
    run.ok({"events", "edit", id, "--start", "2026-12-04T11:00"});
    // Edit keeps what it is not given; moving the start keeps the length.
    EXPECT_TRUE(Includes(run.json({"events", "show", id}), R"({"location": "Side St", "subject": "Dentist",
        "priority": "high", "start_date_time": "2026-12-04T11:00:00Z",
        "end_date_time": "2026-12-04T11:30:00Z"})"_json));

    const std::string table = run.ok({"events", "list"});
    EXPECT_NE(table.find("Dentist"), std::string::npos) << table;
    EXPECT_EQ(table.rfind("event_id", 0), 0u) << table;

    run.ok({"events", "rm", id});
    auto gone = run({"events", "show", id});
    EXPECT_EQ(gone.status, 1);
    EXPECT_EQ(gone.err, "calyra: no event " + id + "\n");
    EXPECT_TRUE(run.json({"events", "list"}).empty());
}

TEST(ClientEvents, ListKeepsEventsThatOverlapTheRange) {
    Calendar run;
    run.add({"--subject", "Early", "--start", "2026-12-01T09:00", "--end", "2026-12-01T10:00"});
    run.add({"--subject", "Touching", "--start", "2026-12-02T08:00", "--end", "2026-12-02T09:00"});
    run.add({"--subject", "Inside", "--start", "2026-12-02T12:00"});
    run.add({"--subject", "Late", "--start", "2026-12-04T00:00"});
    EXPECT_EQ(run.listed({"--from", "2026-12-02T09:00", "--to", "2026-12-03"}), (Subjects{"Touching", "Inside"}));
    EXPECT_EQ(run.listed({"--to", "2026-12-01"}), (Subjects{"Early"})) << "a bare --to day includes that day";
    EXPECT_EQ(run.listed({"--from", "2026-12-04"}), (Subjects{"Late"}));
    EXPECT_EQ(run.listed({}), (Subjects{"Early", "Touching", "Inside", "Late"})) << "listed by start";
}

TEST(ClientEvents, RepetitionIsStoredAsARuleAndShownInWords) {
    Calendar run;
    const std::string id = run.add({"--subject", "Gym", "--start", "2026-11-30T18:00", "--repeat", "weekly", "--on",
                                    "mon,wed", "--every", "2", "--until", "2027-03-01"});
    EXPECT_TRUE(Includes(run.json({"events", "show", id}), R"({"recurrence_text":
        "every 2 weeks on Mon, Wed, until 2027-03-01", "recurrence": {"pattern": "weekly", "end": "end_by",
        "weekly": {"every_x_weeks": 2, "days": 10}}})"_json)) << "Monday and Wednesday are bits 2 and 8";
    run.ok({"events", "edit", id, "--count", "10"});
    EXPECT_EQ(run.json({"events", "show", id})["recurrence_text"], "every 2 weeks on Mon, Wed, 10 times")
        << "an edit changes only the part of the rule it names";
    run.ok({"events", "edit", id, "--repeat", "monthly", "--nth", "last", "--weekday", "fri"});
    // The record's fifth position is the last; the weekly part stays for
    // programs that read it.
    EXPECT_TRUE(Includes(run.json({"events", "show", id}), R"({"recurrence_text":
        "every month on the last Friday, 10 times", "recurrence": {"pattern": "monthly", "end": "end_after",
        "end_after": 10, "monthly": {"option": 1, "the_nth": 5, "day_n": 32, "every_y_months": 1},
        "weekly": {"every_x_weeks": 2, "days": 10}}})"_json));
    const std::string yearly = run.add({"--subject", "Anniversary", "--start", "2027-03-09", "--repeat", "yearly",
                                        "--nth", "2", "--weekday", "tue", "--month", "march"});
    EXPECT_EQ(run.json({"events", "show", yearly})["recurrence_text"], "yearly on the 2nd Tuesday of March");
    const std::string table = run.ok({"events", "list"});
    EXPECT_NE(table.find("yearly on the 2nd Tuesday of March"), std::string::npos) << table;

    run.ok({"events", "edit", id, "--repeat", "none"});
    EXPECT_EQ(run.json({"events", "show", id})["recurrence_text"], "");
}

TEST(ClientEvents, MonthExpandsRepetitionsAndHonoursExceptions) {
    Calendar run;
    const std::string id =
        run.add({"--subject", "Standup", "--start", "2026-11-30T09:00", "--end", "2026-11-30T09:15", "--repeat",
                 "weekly", "--on", "mon"});
    auto added = run.json({"events", "exceptions", id, "--add", "--original", "2026-12-07", "--start",
                           "2026-12-08T14:00", "--subject", "Standup (moved)"});
    const std::string exception = added["exception_id"];
    EXPECT_EQ(added["event_id"], id);

    // The exception keeps the occurrence's length.
    EXPECT_TRUE(Includes(run.json({"events", "exceptions", id}), Json::array({{{"event_id", exception},
        {"original_start_time", "2026-12-07T09:00:00Z"}, {"end_date_time", "2026-12-08T14:15:00Z"},
        {"recurrence_text", ""}}})));
    EXPECT_EQ(run.json({"events", "show", exception})["exception"], true);
    EXPECT_EQ(run.json({"events", "show", id})["exceptions"].size(), 1u);

    auto month = run.json({"events", "month", "2026-12"});
    EXPECT_EQ(month["month"], "2026-12");
    ASSERT_EQ(month["days"].size(), 31u);
    auto day = [&](int d) { return month["days"][d - 1]; };
    EXPECT_EQ(day(1)["date"], "2026-12-01");
    EXPECT_TRUE(day(7)["events"].empty()) << "the exception took the 7th's occurrence away";
    ASSERT_EQ(day(8)["events"].size(), 1u);
    EXPECT_EQ(day(8)["events"][0]["event_id"], exception);
    EXPECT_EQ(day(8)["events"][0]["start"], "2026-12-08T14:00:00Z");
    for (int d : {14, 21, 28}) {
        ASSERT_EQ(day(d)["events"].size(), 1u) << "Monday " << d;
        EXPECT_EQ(day(d)["events"][0]["event_id"], id);
    }

    const std::string grid = run.ok({"events", "month", "2026-12"});
    EXPECT_EQ(grid.rfind("December 2026\n", 0), 0u) << grid;
    EXPECT_NE(grid.find("|09:00 Sta…|"), std::string::npos) << grid;

    auto twice = run({"events", "exceptions", id, "--add", "--original", "2026-12-07"});
    EXPECT_EQ(twice.status, 1);
    EXPECT_NE(twice.err.find("already has exception " + exception), std::string::npos) << twice.err;
    auto noSuchDay = run({"events", "exceptions", id, "--add", "--original", "2026-12-09"});
    EXPECT_EQ(noSuchDay.status, 1);
    EXPECT_NE(noSuchDay.err.find("no occurrence on 2026-12-09"), std::string::npos) << noSuchDay.err;

    run.ok({"events", "rm", id});
    EXPECT_EQ(run({"events", "show", exception}).status, 1) << "deleting a series deletes its exceptions";
}

TEST(ClientEvents, BadCommandLinesExitTwo) {
    Calendar run;
    const std::string id = run.add({"--subject", "Call", "--start", "2026-12-01T10:00"});
    for (const std::vector<std::string>& args : {
             std::vector<std::string>{"events", "add", "--subject", "X", "--start", "2026-13-01"},
             {"events", "add", "--subject", "X", "--start", "12/01/2026"},
             {"events", "add", "--start", "2026-12-01"},
             {"events", "add", "--subject", "X", "--start", "2026-12-02", "--end", "2026-12-01"},
             {"events", "add", "--subject", "X", "--start", "2026-12-02", "--repeat", "hourly"},
             {"events", "add", "--subject", "X", "--start", "2026-12-02", "--repeat", "weekly", "--on", "funday"},
             {"events", "add", "--subject", "X", "--start", "2026-12-02", "--repeat", "monthly", "--on", "mon"},
             {"events", "add", "--subject", "X", "--start", "2026-12-02", "--repeat", "daily", "--until", "2026-12-05",
              "--count", "3"},
             {"events", "add", "--subject", "X", "--start", "2026-12-02", "--until", "2026-12-05"},
             {"events", "list", "--from", "yesterday"},
             {"events", "list", "--from", "2026-12-02", "--to", "2026-12-01"},
             {"events", "list", "--selected", "--category", "1"},
             {"events", "month", "2026-13"},
             {"events", "edit", id},
             {"events", "show", "1 OR 1=1"},
             {"events", "exceptions", id, "--add"},
             {"events", "exceptions", id, "--original", "2026-12-01"},
         }) {
        auto r = run(args);
        EXPECT_EQ(r.status, 2) << ClientRun::Join(args) << "\n" << r.err;
        EXPECT_EQ(r.err.rfind("calyra: ", 0), 0u) << r.err;
    }
    EXPECT_EQ(run.json({"events", "show", id})["subject"], "Call") << "failed commands change nothing";
}

TEST(ClientCategories, SelectionDecidesWhatSelectedListsShow) {
    Calendar run;
    const std::string work = run.json({"categories", "add", "Work", "--color", "0xFF0000"})["event_category_id"];
    const std::string home = run.json({"categories", "add", "Home"})["event_category_id"];
    run.add({"--subject", "Review", "--start", "2026-12-01T10:00", "--event-category-id", work});
    run.add({"--subject", "Laundry", "--start", "2026-12-01T18:00", "--event-category-id", home});
    run.add({"--subject", "Loose", "--start", "2026-12-01T20:00"});

    auto categories = run.json({"categories", "list"});
    ASSERT_EQ(categories.size(), 2u);
    EXPECT_EQ(categories[0]["event_category_name"], "Work");
    EXPECT_EQ(categories[0]["color"], 0xFF0000);
    EXPECT_EQ(categories[0]["is_selected"], false);

    EXPECT_EQ(run.listed({"--selected"}), Subjects{});
    run.ok({"categories", "select", work});
    EXPECT_EQ(run.listed({"--selected"}), (Subjects{"Review"}));
    run.ok({"categories", "select", home});
    EXPECT_EQ(run.listed({"--selected", "--from", "2026-12-01T12:00"}), (Subjects{"Laundry"}));
    run.ok({"categories", "deselect", work});
    EXPECT_EQ(run.listed({"--selected"}), (Subjects{"Laundry"}));
    EXPECT_EQ(run.listed({"--category", work}), (Subjects{"Review"}));
    EXPECT_EQ(run.json({"events", "month", "2026-12", "--selected"})["days"][0]["events"].size(), 1u);

    run.ok({"categories", "edit", home, "--name", "House"});
    categories = run.json({"categories", "list"});
    EXPECT_EQ(categories[1]["event_category_name"], "House");
    EXPECT_EQ(categories[1]["is_selected"], true) << "edit keeps the selection";

    run.ok({"categories", "rm", home});
    EXPECT_EQ(run.json({"categories", "list"}).size(), 1u);
    EXPECT_EQ(run.listed({}).size(), 3u) << "removing a category leaves its events";
    EXPECT_EQ(run.listed({"--selected"}), Subjects{}) << "events of a removed category are not selected";
    run.ok({"categories", "rm", work, "--with-events"});
    EXPECT_EQ(run.listed({}), (Subjects{"Laundry", "Loose"}));
}

TEST(ClientCategories, UnknownCategoriesAreRefused) {
    Calendar run;
    auto r = run({"events", "add", "--subject", "X", "--start", "2026-12-01", "--event-category-id", "42"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "calyra: no category 42\n");
    EXPECT_TRUE(run.json({"events", "list"}).empty());
    EXPECT_EQ(run({"categories", "select", "42"}).status, 1);
    EXPECT_EQ(run({"categories", "add", "X", "--color", "red"}).status, 2);
}

}  // namespace
}  // namespace calyra::test
