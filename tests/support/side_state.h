// Side state for the component's tests: with CALYRA_TEST_SIDE_STATE set in
// the environment, every database the fixture makes (support/pim_fixture.h)
// also holds the calyra client's side tables with rows in them, as a file
// the client imported into does. The component's tests then show that a
// file with side state behaves exactly as one without.
//
// The statements are the client's (tools/calyra/side_store/side_store.cpp,
// FROZEN there); the component's tests cannot link the client, so they
// are repeated here, and the client's side-store test checks a file made
// by the client against the same table names.
//
// Thread-safety: reads the environment; Add runs on the caller's thread.
#pragma once

#include <cstdlib>
#include <string_view>

#include "idl/calyra_idl.h"
#include "platform/bstr.h"

namespace calyra::test {

inline bool SideStateWanted() {
    const char* v = std::getenv("CALYRA_TEST_SIDE_STATE");
    return v && *v && std::string_view(v) != "0";
}

// Creates the side tables in `db` and fills them with a few rows.
inline void AddSideState(IPimDbAccess* db) {
    static constexpr const char16_t* kStatements[] = {
        u"CREATE TABLE IF NOT EXISTS calyra_item (family TEXT NOT NULL, row_id INTEGER NOT NULL, profile_id INTEGER "
        u"NOT NULL, uid TEXT NOT NULL, hash TEXT NOT NULL, original TEXT NOT NULL, match_key TEXT NOT NULL, PRIMARY "
        u"KEY (family, row_id)) WITHOUT ROWID;",
        u"CREATE INDEX IF NOT EXISTS calyra_item_uid ON calyra_item (profile_id, family, uid) WHERE uid <> '';",
        u"CREATE INDEX IF NOT EXISTS calyra_item_key ON calyra_item (match_key);",
        u"CREATE TABLE IF NOT EXISTS calyra_sequence (family TEXT PRIMARY KEY NOT NULL, seq INTEGER NOT NULL);",
        u"CREATE TABLE IF NOT EXISTS calyra_meta (name TEXT PRIMARY KEY NOT NULL, value TEXT NOT NULL);",
        u"INSERT OR IGNORE INTO calyra_meta (name, value) VALUES ('version', '4');",
        u"INSERT OR REPLACE INTO calyra_item VALUES ('contact', 1, 1, 'urn:uuid:side-1', "
        u"'6c62272e07bb014262b821756295c58d', 'BEGIN:VCARD\r\nVERSION:4.0\r\nFN:Side\r\nEND:VCARD\r\n', 'n:side'), "
        u"('group', 1, 1, 'urn:uuid:side-g', '0', '', ''), ('event', 1, 1, 'side-e@example.org', '0', "
        u"'BEGIN:VEVENT\r\nUID:side-e@example.org\r\nEND:VEVENT\r\n', ''), ('task', 1, 1, 'side-t', '0', '', '');",
        u"INSERT OR REPLACE INTO calyra_sequence VALUES ('contact', 0), ('group', 0), ('event', 0), ('task', 0);",
    };
    for (const char16_t* sql : kStatements) db->Execute(nullptr, Bstr(sql), nullptr);
}

}  // namespace calyra::test
