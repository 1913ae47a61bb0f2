// The events and categories commands, run as a person or a script would.
#include <gtest/gtest.h>

#include "client_run.h"

namespace calyra::test {
namespace {

// The events commands on a database with one profile, in UTC.
struct Calendar : OneProfile {
    Calendar() : OneProfile("events") {}
    Texts listed(const Args& args) { return ids(Args{"events", "list"} + args, "subject"); }
    ScopedTz utc{"UTC"};
};

TEST(ClientEvents, AddShowEditListByRangeAndRemove) {
    Calendar run;
    const std::string id = run.add({"--subject", "Dentist", "--start", "2026-12-03T09:30", "--end", "2026-12-03T10:00",
                                    "--location", "Main St", "--priority", "high"});
    run.ok({"events", "edit", id, "--start", "2026-12-04T11:00"});
    // Edit keeps what it is not given; moving the start keeps the length; a
    // new event takes its time unless asked otherwise.
    EXPECT_TRUE(Includes(run.show(id), R"({"subject": "Dentist", "priority": "high", "location": "Main St",
        "availability": "busy", "start_date_time": "2026-12-04T11:00:00Z",
        "end_date_time": "2026-12-04T11:30:00Z", "recurrence_text": "", "exception": false, "exceptions": []})"_json));
    // People read the zone and the reminder as words, not stored numbers; a
    // narrow box keeps midnight's minutes ("0 Today" read as a count).
    const std::string today = run.add({"--subject", "Today", "--start", "2026-12-04T00:00"});
    ExpectSteps(run, {{{"events", "list"}, 0, "Dentist"},
                      {{"events", "edit", id, "--remind", "1h"}},
                      {{"events", "show", id}, 0, "1h before the start"},
                      {{"events", "show", id}, 0, "UTC"},
                      {{"events", "week", "2026-12-04", "--cell-width", "10"}, 0, "|0:00 Today"},
                      {{"events", "rm", id, today}},
                      {{"events", "show", id}, 1, "no event " + id}});
    EXPECT_TRUE(run.json({"events", "list"}).empty());

    // Lists keep the events that overlap their range, in start order.
    // (Sorting, --fields and rm of several, all or nothing, are one skeleton
    // for every family: the find test runs them on contacts.)
    run.add({"--subject", "Early", "--start", "2026-12-01T09:00", "--end", "2026-12-01T10:00"});
    run.add({"--subject", "Beta", "--start", "2026-12-01T10:00"});
    run.add({"--subject", "Touching", "--start", "2026-12-02T08:00", "--end", "2026-12-02T09:00"});
    run.add({"--subject", "alpha", "--start", "2026-12-02T10:00"});
    run.add({"--subject", "Inside", "--start", "2026-12-02T12:00"});
    run.add({"--subject", "Gamma", "--start", "2026-12-03T10:00"});
    run.add({"--subject", "Late", "--start", "2026-12-04T00:00"});
    // The list, and the subjects it gives in order.
    const std::pair<Args, Texts> cases[] = {
        {{}, {"Early", "Beta", "Touching", "alpha", "Inside", "Gamma", "Late"}},
        {{"--from", "2026-12-02T09:00", "--to", "2026-12-03"}, {"Touching", "alpha", "Inside", "Gamma"}},
        {{"--to", "2026-12-01"}, {"Early", "Beta"}},  // a bare --to day includes that day
        {{"--from", "2026-12-04"}, {"Late"}},
        {{"--from", "2026-12-02", "--sort", "subject", "--reverse"}, {"Touching", "Late", "Inside", "Gamma", "alpha"}},
    };
    for (const auto& [args, subjects] : cases) EXPECT_EQ(run.listed(args), subjects) << ClientRun::Join(args);
}

// Birthdays and anniversaries of the contacts show among the events of the
// agenda and the month (khal and khard show them too).
TEST(ClientEvents, BirthdaysShowInTheViewsAndFindLooksInSubjectPlaceAndNotes) {
    Calendar run;
    run.ok({"contacts", "add", "--first-name", "Ada", "--last-name", "Lovelace", "--birthday", "1990-03-03"});
    run.ok({"contacts", "add", "--first-name", "Leap", "--birthday", "2000-02-29", "--anniversary", "2020-03-02"});
    run.ok({"contacts", "add", "--first-name", "Nobody"});
    run.add({"--subject", "Standup", "--start", "2027-03-03T09:00"});
    const auto agenda = run.json({"agenda", "2027-02-27", "--days", "7"});
    Texts lines;
    for (const auto& day : agenda["days"])
        for (const auto& e : day["events"])
            lines.push_back(day["date"].get<std::string>() + " " + e["subject"].get<std::string>());
    EXPECT_EQ(lines, (Texts{"2027-02-28 Birthday: Leap (27)", "2027-03-02 Anniversary: Leap (7)",
                            "2027-03-03 Birthday: Ada Lovelace (37)", "2027-03-03 Standup"}));
    EXPECT_TRUE(
        Includes(agenda["days"][0]["events"][0], R"({"event_id": null, "contact_id": "2", "all_day": true})"_json));
    EXPECT_TRUE(Has(run.json({"events", "month", "2027-03"}).dump(), "Birthday: Ada Lovelace (37)"));
    run.ok({"categories", "add", "Work"});
    EXPECT_TRUE(Has(run.json({"agenda", "2027-03-03", "--days", "1", "--category", "Work"}).dump(), "Birthday", false))
        << "a view of one category shows its events only";

    // events find and tasks find look where people remember things, as
    // contacts find does: every word, case and accents ignored.
    run.add({"--subject", "Code Review", "--start", "2027-03-01T10:00", "--location", "Café Müller", "--description",
             "bring the Überblick"});
    run.add({"--subject", "Lunch", "--start", "2027-03-02T12:00", "--location", "Cafe"});
    const std::pair<const char*, Texts> kEvents[] = {
        {"review", {"Code Review"}},         // subject, case ignored
        {"cafe", {"Code Review", "Lunch"}},  // place, accents ignored
        {"MULLER review", {"Code Review"}},  // every word, in any field
        {"uberblick", {"Code Review"}},      // notes
        {"dinner", {}},
    };
    for (const auto& [text, expected] : kEvents)
        EXPECT_EQ(run.ids({"events", "find", text}, "subject"), expected) << "calyra events find '" << text << "'";
    run.ok({"tasks", "add", "--subject", "Steuererklärung", "--description", "Belege für 2026"});
    run.ok({"tasks", "add", "--subject", "Milk"});
    EXPECT_EQ(run.ids({"tasks", "find", "STEUERERKLARUNG"}, "subject"), Texts{"Steuererklärung"});
    EXPECT_EQ(run.ids({"tasks", "find", "belege"}, "subject"), Texts{"Steuererklärung"});
    ExpectFails(run, 2, {{"events", "find", " "}, {"tasks", "find", ""}}, "give a text");
}

TEST(ClientEvents, RepetitionIsARuleShownInWordsAndAnExceptionReplacesOneOccurrence) {
    Calendar run;
    const std::string gym = run.add({"--subject", "Gym", "--start", "2026-11-30T18:00", "--repeat", "weekly", "--on",
                                     "mon,wed", "--every", "2", "--until", "2027-03-01"});
    EXPECT_TRUE(Includes(run.show(gym), R"({"recurrence_text": "every 2 weeks on Mon, Wed, until 2027-03-01",
        "recurrence": {"pattern": "weekly", "end": "end_by", "weekly": {"every_x_weeks": 2, "days": 10}}})"_json))
        << "Monday and Wednesday are bits 2 and 8";
    // An edit changes only the part of the rule it names; the record's fifth
    // position is the last, and the weekly part stays for programs that read it.
    run.ok({"events", "edit", gym, "--count", "10"});
    run.ok({"events", "edit", gym, "--repeat", "monthly", "--nth", "last", "--weekday", "fri"});
    EXPECT_TRUE(Includes(run.show(gym), R"({"recurrence_text": "every month on the last Friday, 10 times",
        "recurrence": {"pattern": "monthly", "end": "end_after", "end_after": 10, "monthly": {"option": 1,
        "the_nth": 5, "day_n": 32, "every_y_months": 1}, "weekly": {"every_x_weeks": 2, "days": 10}}})"_json));
    run.add({"--subject", "Anniversary", "--start", "2027-03-09", "--repeat", "yearly", "--nth", "2", "--weekday",
             "tue", "--month", "march"});
    EXPECT_TRUE(Has(run.ok({"events", "list"}), "yearly on the 2nd Tuesday of March"));
    run.ok({"events", "edit", gym, "--repeat", "none"});
    EXPECT_EQ(run.show(gym)["recurrence_text"], "");

    // An exception replaces one occurrence, once. (That the views lay it out
    // in place of the occurrence is the expansion's test, and the zone
    // scenario's through a ranged list, which reads events as the views do.)
    const std::string id = run.add({"--subject", "Standup", "--start", "2026-11-30T09:00", "--end", "2026-11-30T09:15",
                                    "--repeat", "weekly", "--on", "mon"});
    const std::string exception = run.json({"events", "exceptions", id, "--add", "--original", "2026-12-07", "--start",
                                            "2026-12-08T14:00", "--subject", "Standup (moved)"})["exception_id"];
    // The exception keeps the occurrence's length.
    EXPECT_TRUE(
        Includes(run.json({"events", "exceptions", id}), Json::array({{{"event_id", exception},
                                                                       {"original_start_time", "2026-12-07T09:00:00Z"},
                                                                       {"end_date_time", "2026-12-08T14:15:00Z"}}})));
    EXPECT_EQ(run.show(exception)["exception"], true);
    ExpectSteps(
        run,
        {{{"events", "exceptions", id, "--add", "--original", "2026-12-07"}, 1, "already has exception " + exception},
         {{"events", "exceptions", id, "--add", "--original", "2026-12-09"}, 1, "no occurrence on 2026-12-09"}});

    // Bad command lines exit 2, unknown records 1. (An edit that changes
    // nothing, a malformed ID and an unreadable colour are refused alike for
    // every family: the edit, contacts and find tests.)
    const Texts before = run.listed({});
    const Args add{"events", "add", "--subject", "X", "--start", "2026-12-02"};
    const auto with = [&add](const Args& more) { return add + more; };
    ExpectFails(run, 2,
                {Args{"events", "add", "--subject", "X", "--start", "12/01/2026"},
                 Args{"events", "add", "--start", "2026-12-01"}, with({"--end", "2026-12-01"}),
                 with({"--repeat", "hourly"}), with({"--until", "2026-12-05"}),
                 with({"--repeat", "weekly", "--on", "funday"}), with({"--repeat", "monthly", "--on", "mon"}),
                 with({"--repeat", "daily", "--until", "2026-12-05", "--count", "3"}),
                 Args{"events", "list", "--from", "2026-12-02", "--to", "2026-12-01"},
                 Args{"events", "list", "--selected", "--category", "1"}, Args{"events", "exceptions", id, "--add"},
                 Args{"events", "exceptions", id, "--original", "2026-12-01"}});
    ExpectFails(run, 1, {with({"--event-category-id", "42"}), {"categories", "select", "42"}}, "no category 42");
    EXPECT_EQ(run.listed({}), before) << "failed commands change nothing";
}

TEST(ClientCategories, SelectionDecidesWhatSelectedListsShowAndKindsAreBuiltIn) {
    Calendar run;
    const std::string work = run.json({"categories", "add", "Work", "--color", "0xFF0000"})["event_category_id"];
    const std::string home = run.json({"categories", "add", "Home"})["event_category_id"];
    run.add({"--subject", "Review", "--start", "2026-12-01T10:00", "--event-category-id", work});
    run.add({"--subject", "Laundry", "--start", "2026-12-01T18:00", "--event-category-id", home});
    run.add({"--subject", "Loose", "--start", "2026-12-01T20:00"});
    EXPECT_TRUE(Includes(run.json({"categories", "list"})[0],
                         R"({"event_category_name": "Work", "color": "#0000ff", "is_selected": false})"_json));

    run.ok({"categories", "select", work});
    run.ok({"categories", "select", home});
    run.ok({"categories", "deselect", work});
    EXPECT_EQ(run.listed({"--selected"}), (Texts{"Laundry"}));
    EXPECT_EQ(run.listed({"--category", work}), (Texts{"Review"}));
    EXPECT_EQ(run.json({"events", "month", "2026-12", "--selected"})["days"][0]["events"].size(), 1u);

    run.ok({"categories", "edit", home, "--name", "House"});
    EXPECT_TRUE(Includes(run.json({"categories", "list"})[1], R"({"event_category_name": "House",
        "is_selected": true})"_json))
        << "edit keeps the selection";
    run.ok({"categories", "rm", home});
    run.ok({"categories", "rm", work, "--with-events"});
    EXPECT_EQ(run.listed({}), (Texts{"Laundry", "Loose"})) << "only --with-events removes the events";

    // The person's own category is --category everywhere, by ID or name; the
    // built-in kind is --kind. The earlier spellings still work.
    const std::string own = run.json({"categories", "add", "Work"})["event_category_id"];
    const std::pair<Args, Json> cases[] = {
        {{"--category", "work"}, {{"event_category_id", own}, {"category", "none"}}},
        {{"--event-category-id", own, "--kind", "meeting"}, {{"event_category_id", own}, {"category", "meeting"}}},
        {{"--category", "birthday"}, {{"event_category_id", ""}, {"category", "birthday"}}},
    };
    const Args x{"--subject", "X", "--start", "2026-12-01T10:00"};
    for (const auto& [args, expected] : cases)
        EXPECT_TRUE(Includes(run.show(run.add(x + args)), expected)) << ClientRun::Join(args);
    ExpectFails(run, 2, {Args{"events", "add"} + x + Args{"--kind", "work"}},
                "--kind: \"work\" is not a kind of event");
    ExpectFails(run, 1, {Args{"events", "add"} + x + Args{"--category", "Home"}}, "no category \"Home\"");
}

}  // namespace
}  // namespace calyra::test
