// Contacts and contact groups as the commands meet them: found by the IDs
// people type (only in the current profile, and only decimal IDs: anything
// else is a typo, said as such instead of "not found"; groups by name too)
// and shown as JSON rows. The checks of texts before they are written are in text_limits.h.
//
// Ownership: records are filled into the caller's OwnedRecord; everything
// else comes back as JSON values. Thread-safety: one thread, with the
// access objects it is given.
#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "idl/calyra_idl.h"
#include "idl/owned_record.h"
#include "output/output.h"
#include "session/record_id.h"

namespace calyra::cli {

// Reads contact `id` of the current profile into *contact; throws
// ClientError (status 1) "no contact ..." when the profile has none, with
// status 2 when `id` is no record ID.
void LoadContact(IContactAccess* contacts, const std::string& id, OwnedRecord<tagContactInfo>* contact);
// Throws like LoadContact when the current profile has no such contact.
void RequireContact(IContactAccess* contacts, const std::string& id);

// Every group of the current profile, as ToJson gives them.
Json AllGroups(IContactGroupAccess* groups);
// The current profile's group with ID or name `idOrName`; throws
// ClientError as ResolveRecordId does when it has none or several.
Json LoadGroup(IContactGroupAccess* groups, const std::string& idOrName);

// The IDs of the groups contact `id` belongs to (each once).
std::vector<std::string> GroupsOfContact(IContactAccess* contacts, const std::string& id);

// The columns people want in a contact table.
const std::vector<std::string>& ContactColumns();

}  // namespace calyra::cli
