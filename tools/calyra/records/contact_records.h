// Contacts and contact groups as the commands meet them: found by the IDs
// people type (only in the current profile, and only decimal IDs: anything
// else is a typo, said as such instead of "not found"), shown as JSON rows, and
// checked before they are written, so that no text goes in that the
// database would not give back whole.
//
// Ownership: records are filled into the caller's OwnedRecord; everything
// else comes back as JSON values. Thread-safety: one thread, with the access
// objects it is given.
#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "idl/calyra_idl.h"
#include "idl/owned_record.h"
#include "shell/output.h"
#include "platform/type_description.h"
#include "shell/record_id.h"

namespace calyra::cli {

// A text field reads back at most this many UTF-16 units; a longer stored
// text comes back cut to it.
constexpr size_t kReadableUnits = 2048;
// The longest text the commands write: one unit short of what reads back,
// so a text that reads back at full length is known to be possibly cut.
constexpr size_t kMaxTextUnits = kReadableUnits - 1;

// Throws ClientError (status 2) naming `option` when `text` is too long.
void CheckTextFits(std::string_view text, const std::string& option);
// The same for every text field of a record, naming the field's option.
void CheckTextsFit(const RecordDesc& desc, const void* record);
// Before a stored record is written back: throws ClientError (status 1)
// when a text field read back at full length (so it may have been cut) and
// `replaced(key)` says the command does not give it anew.
void RefuseCutTexts(const RecordDesc& desc, const void* record, const std::function<bool(const std::string&)>& replaced,
                    const std::string& what);


// Reads contact `id` of the current profile into *contact; throws
// ClientError (status 1) "no contact ..." when the profile has none.
void LoadContact(IContactAccess* contacts, const std::string& id, OwnedRecord<tagContactInfo>* contact);
// Throws like LoadContact when the current profile has no such contact.
void RequireContact(IContactAccess* contacts, const std::string& id);

// Every group of the current profile, as ToJson gives them.
Json AllGroups(IContactGroupAccess* groups);
// Group `id` of the current profile; throws ClientError (status 1)
// "no contact group ..." when the profile has none.
Json LoadGroup(IContactGroupAccess* groups, const std::string& id);

// The IDs of the groups contact `id` belongs to (each once).
std::vector<std::string> GroupsOfContact(IContactAccess* contacts, const std::string& id);

// A contact as lists show it: every field plus "phone" and "email", the
// primary (else the first) of each, or null.
Json ContactListItem(IContactAccess* contacts, const tagContactInfo& contact);
// The columns people want in a contact table.
const std::vector<std::string>& ContactColumns();

}  // namespace calyra::cli
