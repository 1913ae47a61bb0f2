// The side store's hashes kept current when a command other than an
// import changes or removes a stored item (an edit, `tasks done`, `rm`):
// the hash becomes that of the item as it now reads back, so `calyra
// check` tells changes made by other programs from calyra's own, and a
// removed item's side row goes with it. And the check itself, for events
// and tasks (contacts have their own, chunked with their details).
//
// Ownership: values come back by value. Thread-safety: one thread, like
// the session. Throws ClientError when the database refuses a statement.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "session/session.h"
#include "side_store/side_store.h"

namespace calyra::cli {

// The hash of the stored item `id` of the current profile as it reads back;
// none when the profile has no such item (groups have none).
std::optional<std::string> StoredItemHash(Session& session, ItemFamily family, const std::string& id);

// After a command stored or removed item `id`: its side row takes the item's
// hash as it now reads back, or goes when the item is gone. Nothing for an
// item without a side row. Writes inside the command's Transaction.
void KeepSideRowCurrent(Session& session, ItemFamily family, const std::string& id);

// What a check of one family's side rows found.
struct SideCheck {
    size_t checked = 0;                // items with a side row
    std::vector<std::string> changed;  // their IDs, where the hash no longer matches
};
// Compares every event or task of the current profile that has a side row
// with the hash kept for it, a chunk of side rows at a time. With `repair`
// (inside the caller's Transaction) it keeps the changed items' hashes as
// they are now. A hash an older calyra made (IsOlderHash) is no change:
// repair replaces it too.
SideCheck CheckSideState(Session& session, ItemFamily family, bool repair);

}  // namespace calyra::cli
