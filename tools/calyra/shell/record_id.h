// Record IDs as the commands accept them.
//
// Every ID the component hands out is the decimal text of a table key, so
// anything else is a typo on the command line: the client says so (exit 2)
// instead of asking the component and reporting "not found".
//
// The ID is returned by value. Thread-safety: pure functions.
#pragma once

#include <string>
#include <string_view>

namespace calyra::cli {

// True when `id` can be a record ID: 1 to 19 decimal digits.
bool IsRecordId(std::string_view id);

// `text` when it is a record ID (decimal digits); else throws ClientError
// (status 2): "not an event ID: \"x\"" with `what` = "event".
std::string CheckedId(const std::string& text, const std::string& what);

}  // namespace calyra::cli
