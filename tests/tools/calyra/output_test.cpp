// The output formats as a script reads them (CSV and TSV parsed back to the
// values JSON gives), colour as a terminal gets it, and what sql prints:
// column names and the rows a write changed.
#include <gtest/gtest.h>

#include <cstdlib>

#include "client_run.h"

namespace calyra::test {
namespace {

using Rows = std::vector<Texts>;

// RFC 4180: quoted fields may hold commas, doubled quotes and line breaks.
Rows ParseCsv(const std::string& text) {
    Rows rows;
    Texts row;
    std::string field;
    bool quoted = false;
    for (size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (quoted && c == '"' && i + 1 < text.size() && text[i + 1] == '"')
            field += text[++i];
        else if (c == '"')
            quoted = !quoted;
        else if (!quoted && (c == ',' || c == '\n')) {
            row.push_back(std::move(field));
            field.clear();
            if (c == '\n') rows.push_back(std::move(row)), row.clear();
        } else
            field += c;
    }
    return rows;
}

// Tab-separated lines with \t \n \r \\ escaped inside values.
Rows ParseTsv(const std::string& text) {
    Rows rows(1, Texts(1));
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\\' && i + 1 < text.size()) {
            const char e = text[++i];
            rows.back().back() += e == 't' ? '\t' : e == 'n' ? '\n' : e == 'r' ? '\r' : e;
        } else if (text[i] == '\t') {
            rows.back().emplace_back();
        } else if (text[i] == '\n') {
            rows.emplace_back(1);
        } else {
            rows.back().back() += text[i];
        }
    }
    rows.pop_back();  // after the last line break
    return rows;
}

const std::pair<const char*, Rows (*)(const std::string&)> kFormats[] = {{"csv", ParseCsv}, {"tsv", ParseTsv}};

// sql names its columns and counts the rows a write changed; CSV and TSV
// give back the fields JSON has.
TEST(ClientOutput, SqlNamesItsColumnsAndCsvAndTsvGiveBackTheFieldsJsonHas) {
    ClientRun run;
    run.ok({"profiles", "add", "A"});
    run.ok({"profiles", "add", "B"});
    // A statement, and what it prints as CSV.
    const std::pair<const char*, Rows> cases[] = {
        {"SELECT [ProfileName], [ProfileID] AS id, 1 + 1 FROM [tProfile] ORDER BY id",
         {{"ProfileName", "id", "1 + 1"}, {"A", "1", "2"}, {"B", "2", "2"}}},
        {"SELECT * FROM [tProfile] WHERE 0", {{"ProfileID", "IMEI", "SN", "HXRID", "Model", "ProfileName"}}},
        // No view can stand over a PRAGMA: its columns are numbered.
        {"PRAGMA user_version", {{"#1"}, {"0"}}},
        {"UPDATE [tProfile] SET [Model] = 'X'", {{"field", "value"}, {"ok", "yes"}, {"changed", "2"}}},
        {"CREATE TABLE [tScratch] (a)", {{"field", "value"}, {"ok", "yes"}, {"changed", "0"}}},
    };
    for (const auto& [statement, printed] : cases)
        EXPECT_EQ(ParseCsv(run.ok({"--format", "csv", "sql", statement})), printed) << statement;
    EXPECT_EQ(run.ok({"sql", "DELETE FROM [tScratch]"}), "0 rows changed\n");
    EXPECT_EQ(run.ok({"sql", "INSERT INTO [tScratch] VALUES (1), (2)"}), "2 rows changed; new row 2\n");
    EXPECT_EQ(run.ok({"sql", "SELECT a AS n FROM [tScratch] LIMIT 1"}), "n\n1\n(1 row)\n");
    EXPECT_EQ(run.json({"sql", "SELECT NULL, '', 'a''b', 2"}), R"([[null, "", "a'b", "2"]])"_json)
        << "SQL NULL must read as null, apart from an empty text";

    run.ok({"profiles", "add", "a,b \"quoted\"\nnext\tcolumn\\end", "--model", "first\nsecond"});
    run.ok({"profiles", "add", "Plain"});
    const Rows header = ParseCsv(run.ok({"--format", "csv", "profiles", "list"}));
    ASSERT_FALSE(header.empty());
    Rows values;
    for (const auto& item : run.json({"profiles", "list"})) {
        values.emplace_back();
        for (const auto& column : header[0]) values.back().push_back(item.at(column).get<std::string>());
    }
    for (const auto& [format, parse] : kFormats) {
        Rows withHeader = values;
        withHeader.insert(withHeader.begin(), header[0]);
        EXPECT_EQ(parse(run.ok({"--format", format, "profiles", "list"})), withHeader) << format;
        EXPECT_EQ(parse(run.ok({"--format", format, "--no-header", "profiles", "list"})), values) << format;
    }
    // One value (an object, or a change's result) is a field/value list.
    EXPECT_EQ(ParseCsv(run.ok({"--format", "csv", "profiles", "add", "Third"})),
              (Rows{{"field", "value"}, {"profile_id", "5"}}));
    EXPECT_EQ(ParseTsv(run.ok({"--format", "tsv", "--no-header", "profiles", "add", "Fourth"})),
              (Rows{{"profile_id", "6"}}));
    // The people's table loses its header line too.
    const std::string table = run.ok({"--no-header", "profiles", "list"});
    EXPECT_TRUE(Has(table, "profile_id", false));
    EXPECT_TRUE(Has(table, "Plain"));
}

// Runs calyra under a pseudo-terminal (script(1)), with $NO_COLOR as given
// (nullptr: unset); returns what the terminal showed.
std::string OnTerminal(const ClientRun& run, const char* noColor, const std::string& args) {
    std::string command = noColor ? "NO_COLOR='" + std::string(noColor) + "' " : "env -u NO_COLOR ";
    command += "script -qec \"'" CALYRA_CLIENT_PATH "' --db '" + run.db() + "' " + args + "\" /dev/null";
    return Shell(command).out;
}

std::string WithoutEscapes(std::string text) {
    for (size_t at; (at = text.find("\x1b[")) != std::string::npos;) text.erase(at, text.find('m', at) - at + 1);
    return text;
}

// The views and show hand scripts rows, not the text people read: one row
// per occurrence (its day first), and a line for each field of a detail.
// Colour comes only where asked, or on a terminal without $NO_COLOR.
TEST(ClientOutput, ViewsAndShowGiveScriptsRowsAndColourOnlyWhereAskedOrOnATerminal) {
    OneProfile run;
    ScopedTz utc("UTC");
    run.ok({"events", "add", "--subject", "Lunch, team", "--start", "2027-01-05T12:00"});
    run.ok({"events", "add", "--subject", "Late", "--start", "2027-01-06T23:00"});
    // A view, and the subjects of its rows.
    const std::pair<Args, Texts> views[] = {
        {{"agenda", "2027-01-05", "--days", "2"}, {"Lunch, team", "Late"}},
        {{"events", "day", "2027-01-06"}, {"Late"}},
        {{"events", "week", "2027-01-05"}, {"Lunch, team", "Late"}},
        {{"events", "month", "2027-02"}, {}},
    };
    for (const auto& [view, subjects] : views)
        for (const auto& [format, parse] : kFormats) {
            const Args args = Args{"--format", format} + view;
            const Rows rows = parse(run.ok(args));
            ASSERT_EQ(rows.size(), subjects.size() + 1) << ClientRun::Join(args);
            EXPECT_EQ(rows[0], (Texts{"date", "event_id", "subject", "start", "end", "start_utc", "end_utc", "all_day",
                                      "exception"}));
            for (size_t i = 0; i < subjects.size(); ++i)
                EXPECT_EQ(rows[i + 1][2], subjects[i]) << ClientRun::Join(args);
        }
    run.ok({"contacts", "add", "--first-name", "Ada", "--phone", "mobile:+4930111", "--phone", "work:+4930222"});
    std::map<std::string, std::string> value;  // the first line of each field
    for (const auto& row : ParseCsv(run.ok({"--format", "csv", "contacts", "show", "1"})))
        if (row.size() == 2) value.emplace(row[0], row[1]);
    EXPECT_EQ(value["first_name"], "Ada");
    EXPECT_EQ(value["phones.0.phone_number"], "+4930111");
    EXPECT_EQ(value["phones.1.phone_number"], "+4930222");

    const std::string bold = "\x1b[1mname\x1b[0m";
    // The command line, and whether it paints.
    const std::pair<Args, bool> cases[] = {
        {{"--color", "always", "profiles", "list"}, true},
        {{"profiles", "list"}, false},  // auto, and the output is a pipe
        {{"--color", "never", "profiles", "list"}, false},
        {{"--color", "always", "--format", "csv", "profiles", "list"}, false},
    };
    for (const auto& [args, painted] : cases)
        EXPECT_EQ(run.ok(args).find(bold) != std::string::npos, painted) << ClientRun::Join(args);
    // Escapes take no width: the painted table lines up as the plain one.
    EXPECT_EQ(WithoutEscapes(run.ok({"--color", "always", "profiles", "list"})), run.ok({"profiles", "list"}));
    // What colour marks: an overdue task, a category's own colour, today.
    run.ok({"tasks", "add", "--subject", "Old", "--end-date", "2020-01-01"});
    run.ok({"categories", "add", "Work", "--color", "#ff8000"});
    const std::pair<Args, std::string> marks[] = {{{"tasks", "list"}, "\x1b[31mOld"},
                                                  {{"categories", "list"}, "\x1b[48;2;255;128;0m  \x1b[0m #ff8000"},
                                                  {{"events", "month"}, "\x1b[7m"}};
    for (const auto& [args, mark] : marks) {
        EXPECT_TRUE(Has(run.ok(Args{"--color", "always"} + args), mark)) << ClientRun::Join(args);
        EXPECT_TRUE(Has(run.ok(args), "\x1b", false)) << ClientRun::Join(args);
    }

    if (std::system("command -v script >/dev/null 2>&1") != 0) GTEST_SKIP() << "no script(1) for a terminal";
    EXPECT_TRUE(Has(OnTerminal(run, nullptr, "profiles list"), bold)) << "a terminal gets colour";
    EXPECT_TRUE(Has(OnTerminal(run, "", "profiles list"), bold)) << "an empty NO_COLOR counts not";
    EXPECT_TRUE(Has(OnTerminal(run, "1", "profiles list"), bold, false)) << "NO_COLOR=1 was ignored";
    EXPECT_TRUE(Has(OnTerminal(run, "1", "--color always profiles list"), bold));
}

}  // namespace
}  // namespace calyra::test
