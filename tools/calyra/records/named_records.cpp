#include "records/named_records.h"

#include "idl/owned_record.h"
#include "records/event_records.h"
#include "records/record_fields.h"
#include "session/client_error.h"

namespace calyra::cli {

const Json& FindNamed(const Json& rows, const std::string& text, std::string_view idKey, std::string_view nameKey,
                      const RecordKind& kind) {
    std::vector<NamedRecord> named;
    for (const auto& row : rows) named.push_back({row.value(idKey, ""), row.value(nameKey, "")});
    const std::string id = ResolveRecordId(text, named, kind);
    for (const auto& row : rows)
        if (row.value(idKey, "") == id) return row;
    throw std::logic_error("FindNamed: the resolved ID has no row");
}

const Json& NamedCategory(const Json& all, const std::string& text) {
    return FindNamed(all, text, "event_category_id", "event_category_name",
                     {"category", "categories", "in the current profile"});
}

std::string ResolveCategory(IEventCategoryAccess* categories, const std::string& text) {
    return NamedCategory(AllCategories(categories), text)["event_category_id"];
}

Json AllProfiles(IProfileAccess* profiles) {
    LONG err = 0, count = 0;
    OwnedRecordArray<tagProfileInfo> all;
    Check(profiles->GetAllProfiles(&err, &count, &all), err, "cannot list the profiles");
    return ToJsonArray(all);
}

std::string ResolveProfile(IProfileAccess* profiles, const std::string& text) {
    return FindNamed(AllProfiles(profiles), text, "profile_id", "name",
                     {"profile", "profiles", "in this file"})["profile_id"];
}

}  // namespace calyra::cli
