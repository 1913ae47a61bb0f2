#include "records/contact_records.h"

#include <algorithm>
#include <cctype>

#include "platform/bstr.h"
#include "records/contact_details.h"
#include "records/named_records.h"
#include "records/record_fields.h"
#include "records/text_limits.h"
#include "session/client_error.h"

namespace calyra::cli {
void LoadContact(IContactAccess* contacts, const std::string& id, OwnedRecord<tagContactInfo>* contact) {
    const std::string missing = "no contact " + CheckedId(id, "contact") + " in the current profile";
    LONG err = 0;
    HRESULT hr = contacts->GetContactByID(&err, Bstr::FromUtf8(id), contact);
    // A contact the profile does not have fails without an error ID; a
    // failed query names its error.
    if (FAILED(hr) && err == 0) throw ClientError(missing);
    Check(hr, err, "cannot read contact " + id);
}

void RequireContact(IContactAccess* contacts, const std::string& id) {
    OwnedRecord<tagContactInfo> contact;
    LoadContact(contacts, id, &contact);
}

Json AllGroups(IContactGroupAccess* groups) {
    LONG err = 0, count = 0;
    OwnedRecordArray<tagContactGroupInfo> all;
    Check(groups->GetAllContactGroups(&err, &count, &all), err, "cannot list the contact groups");
    return ToJsonArray(all);
}

Json LoadGroup(IContactGroupAccess* groups, const std::string& idOrName) {
    return FindNamed(AllGroups(groups), idOrName, kGroupRows);
}

std::vector<std::string> GroupsOfContact(IContactAccess* contacts, const std::string& id) {
    LONG err = 0, count = 0;
    OwnedRecordArray<tagContactGroupInfo> groups;
    Check(contacts->GetContactGroupsByContactID(&err, Bstr::FromUtf8(id), &count, &groups), err,
          "cannot read the groups of contact " + id);
    std::vector<std::string> out;
    for (const auto& g : groups) {
        std::string groupId = BstrUtf8(g.bstrContactGroupID);
        if (std::find(out.begin(), out.end(), groupId) == out.end()) out.push_back(std::move(groupId));
    }
    return out;
}

const std::vector<std::string>& ContactColumns() {
    static const std::vector<std::string> columns{"contact_id",   "first_name", "last_name",
                                                  "company_name", "phone",      "email"};
    return columns;
}

}  // namespace calyra::cli
