// How the client shows results: aligned tables for people, JSON for
// scripts (--json). Commands build their results as JSON values with
// stable field names; the table view is drawn from the same values, so the
// two never disagree.
//
// Thread-safety: one thread at a time.
#pragma once

#include <iosfwd>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "calendar/display_width.h"

namespace calyra::cli {

using Json = nlohmann::ordered_json;

class Output {
public:
    explicit Output(bool json, std::ostream* out = nullptr);

    bool json() const { return m_json; }
    std::ostream& stream() const { return *m_out; }

    // A list of objects: a table with one column per field (the given
    // columns, else the first object's fields), or a JSON array.
    void list(const Json& items, const std::vector<std::string>& columns = {}) const;
    // One object: aligned "field  value" lines, or a JSON object.
    void object(const Json& item) const;
    // The outcome of a change: the message for people, the value for
    // scripts (an object such as {"id": "12"}; empty: {"ok": true}).
    void done(const std::string& message, const Json& result = Json()) const;
    // Text only people read (a month grid, a recurrence in words); in JSON
    // mode the value is written instead.
    void text(const std::string& text, const Json& value) const;

private:
    bool m_json;
    std::ostream* m_out;
};

// A JSON value as a table cell: texts as they are, null as "", booleans as
// yes/no, arrays joined with ", ".
std::string CellText(const Json& value);

// Display width of UTF-8 text, shared with the month grid.
using calendar::DisplayWidth;

// Draws rows as an aligned table with a header line.
std::string FormatTable(const std::vector<std::string>& header, const std::vector<std::vector<std::string>>& rows);

}  // namespace calyra::cli
