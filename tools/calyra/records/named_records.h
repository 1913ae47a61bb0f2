// Contact groups, event categories and profiles found by what people type:
// an ID or a name (session/record_id.h says how one is chosen and what a
// name several records share gives).
//
// Rows are JSON values as ToJson gives them; IDs are returned by value and
// rows by reference into the caller's array. Thread-safety: one thread,
// with the access objects it is given.
#pragma once

#include <string>
#include <string_view>

#include "idl/calyra_idl.h"
#include "output/output.h"
#include "session/record_id.h"

namespace calyra::cli {

// What names the rows of one family: the JSON keys of the ID and the name,
// and the words for messages.
struct NamedRows {
    std::string_view idKey;
    std::string_view nameKey;
    RecordKind kind;
};
extern const NamedRows kGroupRows;
extern const NamedRows kCategoryRows;
extern const NamedRows kProfileRows;

// The row of `rows` whose ID or name is `text` (ResolveRecordId).
const Json& FindNamed(const Json& rows, const std::string& text, const NamedRows& family);
// Refuses `name` when a row of `rows` other than `exceptId` has it
// (RefuseTakenName).
void RefuseTakenName(const Json& rows, const NamedRows& family, const std::string& name,
                     const std::string& exceptId = "");

// The category of `all` (AllCategories) with ID or name `text`.
const Json& NamedCategory(const Json& all, const std::string& text);
// The ID of the current profile's event category with ID or name `text`.
std::string ResolveCategory(IEventCategoryAccess* categories, const std::string& text);
// Every profile of the file, as ToJson gives them.
Json AllProfiles(IProfileAccess* profiles);
// The ID of the profile with ID or name `text`.
std::string ResolveProfile(IProfileAccess* profiles, const std::string& text);

}  // namespace calyra::cli
