// Finding contacts, shaping lists, naming records instead of giving their
// IDs, removing several at once and category colours, as a person or a
// script meets them on the command line.
#include <gtest/gtest.h>

#include "client_run.h"
#include "records/contact_search.h"

namespace calyra::test {
namespace {

using cli::SamePhoneNumber;

// Find and import matching compare numbers by this one rule, so it is
// pinned here number by number.
TEST(ClientFind, PhoneNumbersAreOneNumberHoweverWritten) {
    const struct {
        const char* a;
        const char* b;
        bool same;
    } kPairs[] = {
        {"+49 (0)30 555-1234", "+49 30 5551234", true},  // trunk zero in parentheses
        {"+49 ( 0 ) 30 5551234", "030 5551234", true},   //
        {"+44 (0)20 7946 0000", "020 7946 0000", true},  //
        {"(0)30 5551234", "+49 30 5551234", true},       // national, written with it
        {"(030) 5551234", "0049 30 5551234", true},      // an area code in parentheses keeps its digits
        {"+49 (0)30 5551234", "+49 30 5551235", false},  //
        {"(0)12345", "012345", false},                   // too short to be sure
    };
    for (const auto& [a, b, same] : kPairs) {
        EXPECT_EQ(SamePhoneNumber(a, b), same) << "\"" << a << "\" and \"" << b << "\"";
        EXPECT_EQ(SamePhoneNumber(b, a), same) << "\"" << b << "\" and \"" << a << "\"";
    }
}

TEST(ClientFind, ListsSortAndShowTheFieldsAskedAndFindTakesNamesMailAndPhonesHoweverWritten) {
    OneProfile run;
    const std::string zoe = run.add("contacts", {"--first-name", "Zoë", "--phone", "+1 555 0100"});
    const std::string ada = run.add("contacts", {"--first-name", "ada"});
    const std::string eve = run.add("contacts", {"--first-name", "Éve"});
    const std::string none = run.add("contacts", {"--company-name", "NoName"});
    EXPECT_EQ(run.ids({"contacts", "list", "--sort", "first_name"}), (Texts{ada, eve, zoe, none}))
        << "case and accents sort second; empty values last";
    EXPECT_EQ(run.ids({"contacts", "list", "--sort", "first_name", "--reverse"}), (Texts{zoe, eve, ada, none}));
    EXPECT_EQ(run.json({"contacts", "find", "zoe", "--fields", "phone,contact_id"}),
              Json::array({{{"phone", "+1 555 0100"}, {"contact_id", zoe}}}));
    EXPECT_EQ(run.ok({"contacts", "list", "--fields", "first_name", "--sort", "contact_id"}),
              "first_name\nZoë\nada\nÉve\n\n");

    for (int i = 0; i < 10; ++i) run.add("categories", {"C" + std::to_string(i)});
    const Texts byId = run.ids({"categories", "list", "--sort", "event_category_id", "--reverse"}, "event_category_id");
    EXPECT_EQ(byId.front(), "10") << "IDs sort as numbers";

    ExpectFails(
        run, 2,
        {Args{"contacts", "list", "--sort", "name"}, Args{"contacts", "find", "x", "--fields", "first_name,name"},
         Args{"groups", "list", "--fields", "name"}, Args{"categories", "list", "--sort", "name"}},
        "unknown field \"name\" (fields: ");

    // Find takes name parts, the company, mail and phone however written.
    const std::string mueller = run.add("contacts", {"--first-name", "Jürgen", "--last-name", "Müller", "--phone",
                                                     "+49 30 1234567", "--email", "jm@example.org"});
    const std::string lovelace = run.add("contacts", {"--first-name", "Ada", "--last-name", "Lovelace",
                                                      "--company-name", "Straße AG", "--phone", "030 7654321"});
    const std::string bob =
        run.add("contacts", {"--first-name", "Bob", "--last-name", "MÜLLER", "--phone", "555 0100"});
    const std::pair<const char*, Texts> kQueries[] = {
        {"muller", {mueller, bob}},      // accents and case ignored ...
        {"MÜLLER", {mueller, bob}},      //
        {"mueller", {}},                 // ... but another spelling is another name
        {"jurgen muller", {mueller}},    // every word, in any field
        {"lovelace ada", {lovelace}},    //
        {"strasse", {lovelace}},         // company, ß folded
        {"JM@EXAMPLE", {mueller}},       // e-mail
        {"0049301234567", {mueller}},    // one number, written four ways
        {"030 1234567", {mueller}},      //
        {"(030) 123-4567", {mueller}},   //
        {"1234567", {mueller}},          // without its area code
        {"+49 30 7654321", {lovelace}},  // stored in the national form
        {"4567", {}},                    // too few digits to be a number
        {"+44 20 7946 0000", {}},        //
        {"nobody", {}},                  //
    };
    for (const auto& [query, expected] : kQueries)
        EXPECT_EQ(run.ids({"contacts", "find", query}), expected) << "calyra contacts find '" << query << "'";
    ExpectFails(run, 2, {{"contacts", "find", " "}}, "give a text");
}

// Groups, categories and profiles are taken by ID or by name (case
// ignored); a name that several share or none has is refused. Colours
// read and show as #rrggbb; the file keeps them red in the low byte.
TEST(ClientFind, NamesGoWhereIdsGoAndCategoryColoursAreRgbText) {
    OneProfile run;
    const std::string orange = run.add("categories", {"Orange", "--color", "#ff8000"});
    run.add("categories", {"Red", "--color", "255"});
    run.add("categories", {"Odd", "--color", "0xFF000000"});
    EXPECT_TRUE(Includes(run.json({"categories", "list"}),
                         R"([{"color": "#ff8000"}, {"color": "#ff0000"}, {"color": 4278190080}])"_json));
    EXPECT_EQ(run.json({"sql", "SELECT [Color] FROM [tEventCategory] WHERE [EventCategoryID] = " + orange}),
              Json::array({Json::array({std::to_string(0x0080FF)})}));
    run.ok({"categories", "edit", "orange", "--color", "#0000FF"});
    EXPECT_TRUE(Has(run.ok({"categories", "list"}), "#0000ff"));
    ExpectFails(run, 2, {{"categories", "add", "X", "--color", "#ff80"}}, "#rrggbb");

    const std::string contact = run.add("contacts", {"--first-name", "Ada"});
    const std::string family = run.add("groups", {"Family"});
    const std::string work = run.add("groups", {"Work"});
    // calyra refuses a second "family"; another program may still store one.
    run.ok({"sql", "INSERT INTO [tContactGroup] ([ProfileID], [ContactGroupName]) VALUES('1', 'family');"});
    const std::string holiday = run.add("categories", {"Holiday"});
    const std::string ambiguous = "2 contact groups are named \"Family\": " + family + ", 3; use the ID";
    const Args trip{"events", "add", "--subject", "Trip", "--start", "2027-07-01", "--event-category-id", "holiday"};
    ExpectSteps(run, {{{"groups", "join", work, contact}, 0, "to group " + work + " (Work)"},
                      {{"groups", "members", "WORK"}, 0, "Ada"},
                      {{"groups", "edit", "work", "--name", "Office"}, 0, "changed contact group " + work},
                      {{"groups", "join", "Family", contact}, 2, ambiguous},
                      {{"groups", "join", family, contact}, 0, "(Family)"},
                      {{"groups", "rm", "Play"}, 1, "no contact group \"Play\" in the current profile"},
                      {{"categories", "show", "holiday"}, 0, "Holiday"},
                      {{"categories", "select", "HOLIDAY"}, 0, "selected category " + holiday},
                      {{"events", "list", "--category", "Holiday"}, 0, "(none)"},
                      {trip, 0, "Trip"},
                      {{"events", "list", "--category", "Holiday"}, 0, "Trip"},
                      {{"categories", "edit", "Work", "--name", "X"}, 1, "no category \"Work\""},
                      {{"--profile", "phone", "contacts", "list"}, 0, "Ada"},
                      {{"profiles", "edit", "PHONE", "--model", "X1"}, 0, "changed profile 1"}});
}

TEST(ClientFind, RemovingSeveralIsAllOrNothing) {
    OneProfile run;
    const std::string a = run.add(
        "contacts", {"--first-name", "A", "--phone", "111111", "--phone", "222222", "--email", "a@example.org"});
    const std::string b = run.add("contacts", {"--first-name", "B", "--phone", "333333"});
    const Json phones = run.json({"contacts", "show", a})["phones"];
    const std::string first = phones[0]["phone_number_id"], second = phones[1]["phone_number_id"];
    const std::string ofB = run.json({"contacts", "show", b})["phones"][0]["phone_number_id"];

    ExpectFails(run, 1,
                {Args{"contacts", "rm", a, "999", b}, Args{"groups", "rm", run.add("groups", {"G"}), "999"},
                 Args{"categories", "rm", run.add("categories", {"C"}), "Gone"},
                 Args{"contacts", "phones", "rm", a, first, ofB}});
    ExpectFails(run, 2, {{"contacts", "rm", "999", "x"}, {"contacts", "emails", "rm", a, "x"}}, "ID: \"x\"");
    EXPECT_EQ(run.ids({"contacts", "list"}), (Texts{a, b})) << "a refused rm deletes nothing";
    EXPECT_EQ(run.json({"groups", "list"}).size(), 1u);
    EXPECT_EQ(run.json({"categories", "list"}).size(), 1u);
    EXPECT_EQ(run.json({"contacts", "show", a})["phones"].size(), 2u);

    run.ok({"contacts", "phones", "rm", a, second});
    run.ok({"contacts", "emails", "rm", a, run.json({"contacts", "show", a})["emails"][0]["email_id"]});
    EXPECT_TRUE(Includes(run.json({"contacts", "show", a}),
                         {{"phones", {{{"phone_number_id", first}}}}, {"emails", Json::array()}}));
    EXPECT_EQ(run.json({"contacts", "rm", a, b, a})["contact_ids"], (Json{a, b}));
    EXPECT_TRUE(run.json({"contacts", "list"}).empty());
}

}  // namespace
}  // namespace calyra::test
