// Record IDs as the commands accept them, and records people name instead.
//
// Every ID the component hands out is the decimal text of a table key, so
// anything else is a typo on the command line: the client says so (exit 2)
// instead of asking the component and reporting "not found".
//
// Groups, categories and profiles have names people remember better than
// their IDs; every command that takes one of them takes its name too, read
// by the one resolver here: an ID the records have wins, else the name
// matched exactly but for case. A name several records share is refused
// with their IDs, since guessing would change the wrong one.
//
// IDs are returned by value. Thread-safety: pure functions.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace calyra::cli {

// True when `id` can be a record ID: 1 to 19 decimal digits.
bool IsRecordId(std::string_view id);

// `text` when it is a record ID (decimal digits); else throws ClientError
// (status 2): "not an event ID: \"x\"" with `what` = "event".
std::string CheckedId(const std::string& text, const std::string& what);

// `ids` with each one once, in the order given (a command line may name a
// record twice).
std::vector<std::string> UniqueIds(const std::vector<std::string>& ids);
// "3, 9": IDs or names for a message.
std::string JoinIds(const std::vector<std::string>& ids);

// A record as people may name it.
struct NamedRecord {
    std::string id;
    std::string name;
};

// What the records are, for messages: {"contact group", "contact groups",
// "in the current profile"}.
struct RecordKind {
    std::string_view one;
    std::string_view many;
    std::string where;
};

// The ID of the record of `records` whose ID is `text`, else of the one
// named `text` (case ignored). Throws ClientError with status 2 when
// several have that name ("2 contact groups are named \"Family\": 3, 9;
// use the ID"), with status 1 when none has it ("no contact group \"x\" in
// the current profile", or "no contact group 12 ..." for an ID).
std::string ResolveRecordId(const std::string& text, const std::vector<NamedRecord>& records, const RecordKind& kind);

// Throws ClientError (status 1) when a record of `records` other than
// `exceptId` is named `name` as ResolveRecordId reads names (case ignored):
// a second "family" beside "Family" would leave both unreachable by name.
void RefuseTakenName(const std::string& name, const std::vector<NamedRecord>& records, const RecordKind& kind,
                     const std::string& exceptId = "");

}  // namespace calyra::cli
