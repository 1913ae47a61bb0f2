#include "records/named_records.h"

#include "idl/owned_record.h"
#include "records/event_records.h"
#include "records/record_fields.h"
#include "session/client_error.h"

namespace calyra::cli {

const NamedRows kGroupRows{
    "contact_group_id", "contact_group_name", {"contact group", "contact groups", "in the current profile"}};
const NamedRows kCategoryRows{
    "event_category_id", "event_category_name", {"category", "categories", "in the current profile"}};
const NamedRows kProfileRows{"profile_id", "name", {"profile", "profiles", "in this file"}};

namespace {

std::vector<NamedRecord> NamesOf(const Json& rows, const NamedRows& family) {
    std::vector<NamedRecord> named;
    for (const auto& row : rows) named.push_back({row.value(family.idKey, ""), row.value(family.nameKey, "")});
    return named;
}

}  // namespace

const Json& FindNamed(const Json& rows, const std::string& text, const NamedRows& family) {
    const std::string id = ResolveRecordId(text, NamesOf(rows, family), family.kind);
    for (const auto& row : rows)
        if (row.value(family.idKey, "") == id) return row;
    throw std::logic_error("FindNamed: the resolved ID has no row");
}

void RefuseTakenName(const Json& rows, const NamedRows& family, const std::string& name, const std::string& exceptId) {
    RefuseTakenName(name, NamesOf(rows, family), family.kind, exceptId);
}

const Json& NamedCategory(const Json& all, const std::string& text) { return FindNamed(all, text, kCategoryRows); }

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
    return FindNamed(AllProfiles(profiles), text, kProfileRows)["profile_id"];
}

}  // namespace calyra::cli
