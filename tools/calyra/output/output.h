// How the client shows results: aligned tables for people, and for scripts
// JSON, CSV or TSV (--format; --json is --format json). Commands build their
// results as JSON values with stable field names; every format is drawn from
// the same values, so they never disagree.
//
// The formats, for each kind of result:
//   table  list: aligned columns under a header line (bold when colour is
//          on), "(none)" for no rows; object: aligned "field  value" lines;
//          done: the message; text: the text. Line breaks in a cell show as
//          \n, booleans as yes/no, arrays joined with ", ".
//   json   the value itself, indented (done without a value: {"ok": true}).
//   csv    RFC 4180 with LF line ends: a field with a comma, a double quote,
//          CR or LF is quoted and its quotes doubled; a header line of
//          column names first. object (and done with a value): two columns
//          "field,value", a nested object or list of objects one line per
//          field named by its path ("phones.0.phone_number"); done without
//          a value: the message as one field; text: the text as it is.
//          Cells are the table's (yes/no, arrays joined) but keep their
//          line breaks.
//   tsv    as csv, fields split by tabs; a tab, LF, CR or backslash inside
//          a value is written \t, \n, \r, \\ (the text format PostgreSQL's
//          COPY and MySQL's LOAD DATA read), nothing is quoted.
// --no-header drops the header line of tables, CSV and TSV.
//
// Colour, for commands that mark text (an overdue task, today in the month
// grid, a category's colour):
//   out.paint(text, Style::Overdue)   text wrapped in escapes, or as it is
//   out.swatch("#3366ff")             two coloured blanks, or "" (no colour)
// Both give plain text unless colour is on: --color always, or --color auto
// (the default) when standard output is a terminal and $NO_COLOR is unset
// or empty; never in the machine formats, so a script never sees escapes.
// Escapes take no width in tables (calendar::DisplayWidth skips them), so
// painted cells line up.
//
// Thread-safety: one thread at a time.
#pragma once

#include <iosfwd>
#include <string>
#include <string_view>
#include <vector>

#include <nlohmann/json.hpp>

#include "calendar/display_width.h"

namespace calyra::cli {

using Json = nlohmann::ordered_json;

enum class Format { Table, Json, Csv, Tsv };

// What text means to people; each style is one set of escapes.
enum class Style {
    Header,   // bold: table headers
    Today,    // reverse video: today in a calendar
    Overdue,  // red: a task past its due date
    Muted,    // dim: finished, cancelled or past entries
    Error,    // bold red
};

struct OutputOptions {
    Format format = Format::Table;
    bool header = true;  // false: --no-header
    bool color = false;  // escapes wanted (ColorWanted); only the table format paints
};

// --format NAME (empty: table) with --json, which means json.
Format FormatNamed(const std::string& name, bool json);
// Whether to paint, for --color never|auto|always: auto paints when the
// output is a terminal and $NO_COLOR is unset or empty; always wins over
// $NO_COLOR, as a command-line choice should.
bool ColorWanted(std::string_view option, bool terminal);

class Output {
public:
    explicit Output(OutputOptions options = {}, std::ostream* out = nullptr);

    // Machine JSON (--json or --format json).
    bool json() const { return m_options.format == Format::Json; }
    Format format() const { return m_options.format; }
    // The aligned table for people: commands that draw their own text (a
    // summary, a grid) do so only then, else hand their values to list or
    // object.
    bool forPeople() const { return m_options.format == Format::Table; }
    std::ostream& stream() const { return *m_out; }

    // `text` wrapped in the style's escapes when colour is on, else as it is.
    std::string paint(std::string_view text, Style style) const;
    // Two blanks on the background colour "#rrggbb" (24-bit escapes) when
    // colour is on and the colour reads; else "".
    std::string swatch(std::string_view rgb) const;

    // A list of objects: one column per field (the given columns, else the
    // first object's fields), or a JSON array.
    void list(const Json& items, const std::vector<std::string>& columns = {}) const;
    // Rows of texts under `header`, in the format (JSON: an array of
    // objects keyed by the header; the header line always, even for no rows).
    void table(const std::vector<std::string>& header, const std::vector<std::vector<std::string>>& rows) const;
    // One object: aligned "field  value" lines, or a JSON object.
    void object(const Json& item) const;
    // The outcome of a change: the message for people, the value for
    // scripts (an object such as {"id": "12"}; empty: {"ok": true}).
    void done(const std::string& message, const Json& result = Json()) const;
    // Text only people read (a month grid, a recurrence in words); in JSON
    // the value is written instead, in CSV and TSV the text.
    void text(const std::string& text, const Json& value) const;

private:
    // One line of fields in CSV or TSV.
    std::string record(const std::vector<std::string>& fields) const;
    // Field/value lines of an object in CSV or TSV.
    void fields(const Json& item) const;

    OutputOptions m_options;
    std::ostream* m_out;
};

// A JSON value as a table cell: texts as they are (line breaks as \n),
// null as "", booleans as yes/no, arrays joined with ", ".
std::string CellText(const Json& value);

// Display width of UTF-8 text, shared with the month grid; escapes count 0.
using calendar::DisplayWidth;

// Draws rows as an aligned table with a header line.
std::string FormatTable(const std::vector<std::string>& header, const std::vector<std::vector<std::string>>& rows);

}  // namespace calyra::cli
