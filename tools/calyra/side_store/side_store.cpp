#include "side_store/side_store.h"

#include <algorithm>
#include <bit>
#include <cstdint>
#include <span>
#include <unordered_set>

#include "platform/bstr.h"
#include "session/client_error.h"
#include "session/query_rows.h"
#include "session/record_id.h"
#include "tables/sql_text.h"

namespace calyra::cli {
namespace {

// FROZEN: the side tables as files hold them (version 4). Keys and
// profiles are INTEGER like the record tables' own, so '12' and 12 are one
// value. An item's match key is a column of its row, so an import writes
// one row per item into one table (two tables cost a tenth of an import);
// the rows are kept in key order without a row ID, which spares a second
// tree per write. A row whose hash is empty holds only a match key (an
// item stored by another program, found by an import): reads do not see
// it as a side row.
constexpr Sql kCreateStatements[] = {
    u"CREATE TABLE IF NOT EXISTS calyra_item (family TEXT NOT NULL, row_id INTEGER NOT NULL, profile_id INTEGER "
    u"NOT NULL, uid TEXT NOT NULL, hash TEXT NOT NULL, original TEXT NOT NULL, match_key TEXT NOT NULL, PRIMARY "
    u"KEY (family, row_id)) WITHOUT ROWID;",
    // Only items with a UID are looked up by it: cards without one (most of
    // an older phone's export) spare the index a write. The condition is a
    // comparison, not a function: an index condition that calls a function
    // may fail, so SQLite then keeps a journal of every page a statement of
    // many rows touches, to undo it (a sixth of an import).
    u"CREATE INDEX IF NOT EXISTS calyra_item_uid ON calyra_item (profile_id, family, uid) WHERE uid <> '';",
    // Keys alone: an import writes one entry per item at a random place,
    // and entries of the key and the row's primary key only are compared
    // and moved at a third less cost. Keys of other families or profiles
    // that look alike are told apart by the row.
    u"CREATE INDEX IF NOT EXISTS calyra_item_key ON calyra_item (match_key);",
    // The record table's key sequence when the family's side rows were last
    // written (see the header: tables made again).
    u"CREATE TABLE IF NOT EXISTS calyra_sequence (family TEXT PRIMARY KEY NOT NULL, seq INTEGER NOT NULL);",
    u"CREATE TABLE IF NOT EXISTS calyra_meta (name TEXT PRIMARY KEY NOT NULL, value TEXT NOT NULL);",
    u"INSERT OR IGNORE INTO calyra_meta (name, value) VALUES ('version', '4');",
};

// Version 1 kept match keys in a table of their own (calyra_match_key:
// profile_id, family, key, row_id; several keys per item allowed, one
// used). The first write to such a file moves each item's key into its
// row, an item with keys but no row into a row of its key alone, and
// makes the tables of version 2 (the old rows kept in a temporary table
// meanwhile, so the new tables are made by the statements above).
constexpr Sql kUpgradeFrom1[] = {
    u"CREATE TEMP TABLE calyra_upgrade AS SELECT family, row_id, profile_id, uid, hash, original, COALESCE((SELECT "
    u"MIN(key) FROM calyra_match_key AS k WHERE k.family = calyra_item.family AND k.row_id = calyra_item.row_id), "
    u"'') AS match_key FROM calyra_item;",
    u"INSERT INTO calyra_upgrade SELECT family, row_id, MIN(profile_id), '', '', '', MIN(key) FROM calyra_match_key "
    u"AS k WHERE NOT EXISTS (SELECT 1 FROM calyra_item AS i WHERE i.family = k.family AND i.row_id = k.row_id) "
    u"GROUP BY family, row_id;",
    u"DROP TABLE calyra_match_key;",
    u"DROP TABLE calyra_item;",
};
constexpr Sql kUpgradeFrom1End[] = {
    u"INSERT OR IGNORE INTO calyra_item SELECT * FROM calyra_upgrade;",
    u"DROP TABLE calyra_upgrade;",
};

// Versions 1 and 2 hashed with FNV-1a, a byte at a time (a tenth of an
// import's planning); version 3 with ContentHash below. An older hash is
// kept with kOlderHashMark before it: it says nothing about the item as
// ContentHash sees it, so it is recomputed, never taken for a change made
// by another program. The UID index of version 3 holds only rows with a
// UID; the older one is made again so.
constexpr Sql kUpgradeFrom2[] = {
    u"UPDATE calyra_item SET hash = 'fnv1a:' || hash WHERE hash <> '' AND hash NOT LIKE 'fnv1a:%';",
    u"DROP INDEX IF EXISTS calyra_item_uid;",
};
constexpr std::string_view kOlderHashMark = "fnv1a:";
// Version 3 indexed UIDs under a function's condition and keys with their
// profile and family; both indexes are made again as above.
constexpr Sql kUpgradeFrom3[] = {
    u"DROP INDEX IF EXISTS calyra_item_uid;",
    u"DROP INDEX IF EXISTS calyra_item_key;",
};
constexpr Sql kUpgradeEnd = u"UPDATE calyra_meta SET value = '4' WHERE name = 'version';";
constexpr int kVersion = 4;

// How each family's rows sit in the record tables. FROZEN: the names.
struct FamilyInfo {
    ItemFamily family;
    std::string_view name;
    Sql quotedName;   // 'contact'
    Sql quotedTable;  // the table's name as sqlite_sequence holds it, quoted
    Sql itemExists;   // " AND EXISTS (...)" for a calyra_item row
    Sql keyExists;    // the same for a calyra_match_key row
};
constexpr FamilyInfo kFamilies[] = {
    {ItemFamily::Contact, "contact", u"'contact'", u"'tContact'",
     u" AND EXISTS (SELECT 1 FROM [tContact] WHERE [ContactID] = calyra_item.row_id AND [ProfileID] = "
     u"calyra_item.profile_id)",
     u" AND EXISTS (SELECT 1 FROM [tContact] WHERE [ContactID] = calyra_match_key.row_id AND [ProfileID] = "
     u"calyra_match_key.profile_id)"},
    {ItemFamily::Group, "group", u"'group'", u"'tContactGroup'",
     u" AND EXISTS (SELECT 1 FROM [tContactGroup] WHERE [ContactGroupID] = calyra_item.row_id AND [ProfileID] = "
     u"calyra_item.profile_id)",
     u" AND EXISTS (SELECT 1 FROM [tContactGroup] WHERE [ContactGroupID] = calyra_match_key.row_id AND [ProfileID] "
     u"= calyra_match_key.profile_id)"},
    {ItemFamily::Event, "event", u"'event'", u"'tEvent'",
     u" AND EXISTS (SELECT 1 FROM [tEvent] WHERE [EventID] = calyra_item.row_id AND [ProfileID] = "
     u"calyra_item.profile_id)",
     u" AND EXISTS (SELECT 1 FROM [tEvent] WHERE [EventID] = calyra_match_key.row_id AND [ProfileID] = "
     u"calyra_match_key.profile_id)"},
    {ItemFamily::Task, "task", u"'task'", u"'tTask'",
     u" AND EXISTS (SELECT 1 FROM [tTask] WHERE [TaskID] = calyra_item.row_id AND [ProfileID] = "
     u"calyra_item.profile_id)",
     u" AND EXISTS (SELECT 1 FROM [tTask] WHERE [TaskID] = calyra_match_key.row_id AND [ProfileID] = "
     u"calyra_match_key.profile_id)"},
};

const FamilyInfo& Info(ItemFamily family) {
    for (const auto& f : kFamilies)
        if (f.family == family) return f;
    return kFamilies[0];
}

// Rows per statement and per chunk read: a statement of a few hundred
// values stays small, and a chunk of items with their originals a few MB.
constexpr size_t kRowsPerStatement = 200;
constexpr size_t kItemsPerChunk = 500;

std::string CheckedRow(std::string_view rowId) {
    if (!IsRecordId(rowId)) throw ClientError("side store: not a record ID: \"" + std::string(rowId) + "\"");
    return std::string(rowId);
}

// Quoted values [from, to) of `values` for an IN list.
void AppendList(SqlText& sql, const std::vector<std::string>& values, size_t from, size_t to) {
    AppendQuotedList(sql, std::span(values).subspan(from, to - from));
}

// The item columns, the UID, the original and the match key each with its length in
// UTF-8 bytes before it (never fewer than its UTF-16 units), so each is read
// whole whatever its length into a buffer of that size: the connection
// clears the whole buffer it is given, and a buffer of the longest text
// per field cost a tenth of an export. Rows holding only a match key are
// no side rows. Version 1 has no key column: its keys are read apart.
constexpr Sql kItemColumns =
    u"SELECT family, row_id, profile_id, length(CAST(uid AS BLOB)), uid, hash, length(CAST(original AS BLOB)), "
    u"original, length(CAST(match_key AS BLOB)), match_key FROM calyra_item WHERE hash <> '' AND ";
constexpr Sql kItemColumnsVersion1 =
    u"SELECT family, row_id, profile_id, length(CAST(uid AS BLOB)), uid, hash, length(CAST(original AS BLOB)), "
    u"original, 0, '' FROM calyra_item WHERE hash <> '' AND ";

// A text whose length in UTF-8 bytes the column before it holds, read in
// one go however long.
std::string Sized(ResultWalk& cells, LONG column) {
    const std::string length = cells.text(column - 1);
    return cells.text(column, length.empty() ? 0 : static_cast<size_t>(std::stoull(length)));
}

// FROZEN: 32 hex digits of FNV-1a (128 bits). Derived UIDs are made with
// it: other programs know items by them, so they never change.
std::string Fnv1a128(std::string_view text) {
    __extension__ typedef unsigned __int128 Hash;
    Hash hash = (static_cast<Hash>(0x6c62272e07bb0142ULL) << 64) | 0x62b821756295c58dULL;
    const Hash prime = (static_cast<Hash>(1) << 88) | 0x13b;
    for (unsigned char c : text) {
        hash ^= c;
        hash *= prime;
    }
    static constexpr char kHex[] = "0123456789abcdef";
    std::string out(32, '0');
    for (int i = 31; i >= 0; --i) {
        out[static_cast<size_t>(i)] = kHex[static_cast<unsigned>(hash & 0xf)];
        hash >>= 4;
    }
    return out;
}

std::vector<SideItem> ReadItems(IPimDbAccess* db, const SqlText& sql) {
    std::vector<SideItem> out;
    ResultWalk cells(db, sql.view(), "cannot read the side store");
    out.reserve(static_cast<size_t>(std::max<LONG>(cells.rows(), 0)));
    for (LONG r = 0; r < cells.rows(); ++r, cells.next()) {
        SideItem item;
        item.family = FamilyByName(cells.text(0)).value_or(ItemFamily::Contact);
        item.rowId = cells.text(1);
        item.profileId = cells.text(2);
        item.uid = Sized(cells, 4);
        item.hash = cells.text(5);
        item.original = Sized(cells, 7);
        item.matchKey = Sized(cells, 9);
        out.push_back(std::move(item));
    }
    return out;
}

}  // namespace

std::string_view FamilyName(ItemFamily family) { return Info(family).name; }

std::optional<ItemFamily> FamilyByName(std::string_view name) {
    for (const auto& f : kFamilies)
        if (f.name == name) return f.family;
    return std::nullopt;
}

SideStore::SideStore(Session& session) : m_session(session) {}

void SideStore::run(const SqlText& sql, const std::string& what) {
    LONG err = 0;
    Check(m_session.connection()->Execute(&err, sql.ToBstr(), nullptr), err, what);
}

size_t SideStore::changes() {
    const TextRows rows = QueryRows(m_session.connection(), u"SELECT changes();");
    return rows.empty() || rows[0].empty() ? 0 : static_cast<size_t>(std::stoull(rows[0][0]));
}

bool SideStore::present() {
    if (!m_present) {
        m_present = !QueryRows(m_session.connection(),
                               u"SELECT 1 FROM sqlite_master WHERE type = 'table' AND name = 'calyra_item';")
                         .empty();
        m_version = kVersion;
        if (*m_present) {
            const TextRows version =
                QueryRows(m_session.connection(), u"SELECT value FROM calyra_meta WHERE name = 'version';");
            if (!version.empty() && version[0][0].size() == 1 && version[0][0] >= "1" && version[0][0] < "4")
                m_version = version[0][0][0] - '0';
            if (!QueryRows(m_session.connection(),
                           u"SELECT 1 FROM sqlite_master WHERE type = 'table' AND name = 'calyra_match_key';")
                     .empty())
                m_version = 1;
        }
    }
    return *m_present;
}

bool SideStore::trusted(ItemFamily family) {
    if (!present()) return true;
    if (auto it = m_trusted.find(family); it != m_trusted.end()) return it->second;
    const FamilyInfo& f = Info(family);
    // The sequence noted at the last write, and the table's sequence now
    // (none: the table was made again and has had no row since).
    SqlText sql(u"SELECT (SELECT seq FROM calyra_sequence WHERE family = ");
    sql.Append(f.quotedName)
        .Append(u"), (SELECT seq FROM sqlite_sequence WHERE name = ")
        .Append(f.quotedTable)
        .Append(u");");
    const TextRows rows = QueryRows(m_session.connection(), sql.view());
    bool trust = true;
    if (!rows.empty() && !rows[0][0].empty()) {
        const long long noted = std::stoll(rows[0][0]);
        const long long now = rows[0][1].empty() ? 0 : std::stoll(rows[0][1]);
        trust = now >= noted;
    }
    return m_trusted[family] = trust;
}

void SideStore::upgrade() {
    if (!present() || m_version >= kVersion) return;
    if (m_version < 2) {
        for (Sql statement : kUpgradeFrom1) run(SqlText(statement), "cannot upgrade the side store");
        for (Sql statement : kCreateStatements) run(SqlText(statement), "cannot upgrade the side store");
        for (Sql statement : kUpgradeFrom1End) run(SqlText(statement), "cannot upgrade the side store");
    }
    if (m_version < 3)
        for (Sql statement : kUpgradeFrom2) run(SqlText(statement), "cannot upgrade the side store");
    for (Sql statement : kUpgradeFrom3) run(SqlText(statement), "cannot upgrade the side store");
    for (Sql statement : kCreateStatements) run(SqlText(statement), "cannot upgrade the side store");
    run(SqlText(kUpgradeEnd), "cannot upgrade the side store");
    m_version = kVersion;
}

void SideStore::prepareWrite() {
    if (!present()) {
        for (Sql statement : kCreateStatements) run(SqlText(statement), "cannot create the side store");
        m_present = true;
        return;
    }
    upgrade();
    for (const auto& f : kFamilies) {
        if (trusted(f.family)) continue;
        run(SqlText(u"DELETE FROM calyra_item WHERE family = ").Append(f.quotedName).Append(u";"),
            "cannot clear the side store");
        noteSequence(f.family);
        m_trusted[f.family] = true;
    }
}

void SideStore::noteSequence(ItemFamily family) {
    const FamilyInfo& f = Info(family);
    SqlText sql(u"INSERT OR REPLACE INTO calyra_sequence (family, seq) SELECT ");
    sql.Append(f.quotedName)
        .Append(u", COALESCE((SELECT seq FROM sqlite_sequence WHERE name = ")
        .Append(f.quotedTable)
        .Append(u"), 0);");
    run(sql, "cannot write the side store");
}

void SideStore::put(const SideItem& item) { put(std::vector<SideItem>{item}); }

namespace {

// One row of the side rows' insert: the columns in the order below, the
// family, profile and row ID first so that the rest can be made ahead.
// It ignores a row that is there already, and the rows it ignored are
// deleted and inserted again: a statement of many rows that may replace
// one makes SQLite keep a journal of every page it touches, to undo it,
// and most rows an import writes are new.
constexpr Sql kInsertHead =
    u"INSERT OR IGNORE INTO calyra_item (family, profile_id, row_id, uid, hash, original, match_key) VALUES ";

void AppendRowHead(SqlText& sql, bool first, ItemFamily family, std::string_view profileId, std::string_view rowId) {
    sql.Append(first ? Sql(u"(") : Sql(u", ("))
        .Append(Info(family).quotedName)
        .Append(u", '")
        .AppendQuoted(Utf8ToUtf16(CheckedRow(profileId)))
        .Append(u"', '")
        .AppendQuoted(Utf8ToUtf16(CheckedRow(rowId)))
        .Append(u"'");
}

}  // namespace

SqlText SideRowValues(const SideItem& item) {
    SqlText sql(u", '");
    sql.AppendQuoted(Utf8ToUtf16(item.uid))
        .Append(u"', '")
        .AppendQuoted(Utf8ToUtf16(item.hash))
        .Append(u"', '")
        .AppendQuoted(Utf8ToUtf16(item.original))
        .Append(u"', '")
        .AppendQuoted(Utf8ToUtf16(item.matchKey))
        .Append(u"')");
    return sql;
}

void SideStore::put(const std::vector<SideItem>& items) {
    std::vector<SqlText> values;
    std::vector<PreparedSideRow> rows;
    values.reserve(items.size());
    rows.reserve(items.size());
    for (const SideItem& item : items) {
        values.push_back(SideRowValues(item));
        rows.push_back({item.family, item.rowId, item.profileId, &values.back()});
    }
    put(rows);
}

void SideStore::put(std::span<const PreparedSideRow> rows) {
    if (rows.empty()) return;
    prepareWrite();
    // An item given twice keeps what it was given last.
    std::map<ItemFamily, std::unordered_set<std::string_view>> given;
    std::vector<const PreparedSideRow*> kept;
    kept.reserve(rows.size());
    for (auto row = rows.rbegin(); row != rows.rend(); ++row)
        if (given[row->family].insert(row->rowId).second) kept.push_back(&*row);
    std::reverse(kept.begin(), kept.end());
    for (size_t start = 0; start < kept.size(); start += kRowsPerStatement) {
        const size_t end = std::min(kept.size(), start + kRowsPerStatement);
        SqlText sql(kInsertHead);
        for (size_t i = start; i < end; ++i) {
            const PreparedSideRow& row = *kept[i];
            AppendRowHead(sql, i == start, row.family, row.profileId, row.rowId);
            sql.Append(*row.values);
        }
        sql.Append(u";");
        run(sql, "cannot write the side store");
        if (changes() == end - start) continue;
        // Some were there: they are deleted, and the rows inserted again.
        std::map<ItemFamily, std::vector<std::string>> replaced;
        for (size_t i = start; i < end; ++i) replaced[kept[i]->family].emplace_back(kept[i]->rowId);
        for (const auto& [family, ids] : replaced) {
            SqlText gone(u"DELETE FROM calyra_item WHERE family = ");
            gone.Append(Info(family).quotedName).Append(u" AND row_id IN (");
            run(AppendQuotedList(gone, ids).Append(u");"), "cannot write the side store");
        }
        run(sql, "cannot write the side store");
    }
    for (const auto& [family, _] : given) noteSequence(family);
}

void SideStore::erase(ItemFamily family, std::string_view rowId) {
    if (!present()) return;
    const FamilyInfo& f = Info(family);
    const std::u16string row = Utf8ToUtf16(CheckedRow(rowId));
    run(SqlText(u"DELETE FROM calyra_item WHERE family = ")
            .Append(f.quotedName)
            .Append(u" AND row_id = '")
            .AppendQuoted(row)
            .Append(u"';"),
        "cannot write the side store");
    if (m_version < 2)
        run(SqlText(u"DELETE FROM calyra_match_key WHERE family = ")
                .Append(f.quotedName)
                .Append(u" AND row_id = '")
                .AppendQuoted(row)
                .Append(u"';"),
            "cannot write the side store");
}

std::vector<SideItem> SideStore::select(const SqlText& where) {
    std::vector<SideItem> items =
        ReadItems(m_session.connection(), SqlText(m_version < 2 ? kItemColumnsVersion1 : kItemColumns).Append(where));
    if (m_version < 3)  // read before the upgrade marks them
        for (SideItem& item : items) item.hash.insert(0, kOlderHashMark);
    return items;
}

bool IsOlderHash(std::string_view hash) { return hash.starts_with(kOlderHashMark); }

std::optional<SideItem> SideStore::find(ItemFamily family, std::string_view rowId) {
    auto found = findByRows(family, {std::string(rowId)});
    if (found.empty()) return std::nullopt;
    return std::move(found.begin()->second);
}

std::optional<SideItem> SideStore::findByUid(std::string_view profileId, ItemFamily family, std::string_view uid) {
    auto found = findByUids(profileId, family, {std::string(uid)});
    if (found.empty()) return std::nullopt;
    return std::move(found.begin()->second);
}

std::map<std::string, SideItem> SideStore::findByUids(std::string_view profileId, ItemFamily family,
                                                      const std::vector<std::string>& uids) {
    std::map<std::string, SideItem> out;
    if (uids.empty() || !present() || !trusted(family)) return out;
    const FamilyInfo& f = Info(family);
    for (size_t start = 0; start < uids.size(); start += kRowsPerStatement) {
        // The rows are named by the UID index in a subquery: asked for the
        // whole row at once, the engine (without statistics) walks every row
        // of the family instead, once per statement. No ORDER BY, likewise.
        SqlText where(u"family = ");
        where.Append(f.quotedName)
            .Append(u" AND row_id IN (SELECT row_id FROM calyra_item WHERE profile_id = '")
            .AppendQuoted(Utf8ToUtf16(profileId))
            .Append(u"' AND family = ")
            .Append(f.quotedName)
            .Append(u" AND uid <> '' AND uid IN (");
        AppendList(where, uids, start, std::min(uids.size(), start + kRowsPerStatement));
        where.Append(u"))").Append(f.itemExists).Append(u";");
        for (auto& item : select(where)) {
            const std::string uid = item.uid;
            auto [it, added] = out.emplace(uid, item);
            if (!added && std::stoll(item.rowId) < std::stoll(it->second.rowId)) it->second = std::move(item);
        }
    }
    return out;
}

std::map<std::string, SideItem> SideStore::findByRows(ItemFamily family, const std::vector<std::string>& rowIds) {
    std::map<std::string, SideItem> out;
    if (rowIds.empty() || !present() || !trusted(family)) return out;
    const FamilyInfo& f = Info(family);
    for (const auto& id : rowIds) CheckedRow(id);
    for (size_t start = 0; start < rowIds.size(); start += kRowsPerStatement) {
        SqlText where(u"family = ");
        where.Append(f.quotedName).Append(u" AND row_id IN (");
        AppendList(where, rowIds, start, std::min(rowIds.size(), start + kRowsPerStatement));
        where.Append(u")").Append(f.itemExists).Append(u";");
        for (auto& item : select(where)) {
            const std::string id = item.rowId;
            out.emplace(id, std::move(item));
        }
    }
    return out;
}

void SideStore::forEach(std::string_view profileId, ItemFamily family, const std::function<void(SideItem&)>& visit) {
    if (!present() || !trusted(family)) return;
    const FamilyInfo& f = Info(family);
    std::string after = "0";
    for (;;) {
        SqlText where(u"family = ");
        where.Append(f.quotedName);
        if (!profileId.empty()) where.Append(u" AND profile_id = '").AppendQuoted(Utf8ToUtf16(profileId)).Append(u"'");
        where.Append(u" AND row_id > '").AppendQuoted(Utf8ToUtf16(after)).Append(u"'").Append(f.itemExists);
        where.Append(u" ORDER BY row_id LIMIT 500;");
        static_assert(kItemsPerChunk == 500, "the LIMIT above");
        auto chunk = select(where);
        if (chunk.size() < kItemsPerChunk) {
            for (auto& item : chunk) visit(item);
            return;
        }
        // Noted first: a visitor may take the item (check --repair does).
        after = chunk.back().rowId;
        for (auto& item : chunk) visit(item);
    }
}

void SideStore::forEach(ItemFamily family, const std::function<void(SideItem&)>& visit) { forEach("", family, visit); }

void SideStore::putKeys(ItemFamily family, std::string_view profileId,
                        const std::vector<std::pair<std::string, std::string>>& keyByRow) {
    if (keyByRow.empty()) return;
    prepareWrite();
    const FamilyInfo& f = Info(family);
    const std::u16string profile = Utf8ToUtf16(CheckedRow(profileId));
    for (size_t start = 0; start < keyByRow.size(); start += kRowsPerStatement) {
        const size_t end = std::min(keyByRow.size(), start + kRowsPerStatement);
        // An item without a side row gets a row of its key alone.
        SqlText sql(u"INSERT INTO calyra_item (family, row_id, profile_id, uid, hash, original, match_key) VALUES ");
        for (size_t i = start; i < end; ++i)
            sql.Append(i == start ? Sql(u"(") : Sql(u", ("))
                .Append(f.quotedName)
                .Append(u", '")
                .AppendQuoted(Utf8ToUtf16(CheckedRow(keyByRow[i].first)))
                .Append(u"', '")
                .AppendQuoted(profile)
                .Append(u"', '', '', '', '")
                .AppendQuoted(Utf8ToUtf16(keyByRow[i].second))
                .Append(u"')");
        sql.Append(u" ON CONFLICT (family, row_id) DO UPDATE SET match_key = excluded.match_key;");
        run(sql, "cannot write the side store");
    }
    if (!m_noted[family]) {
        noteSequence(family);
        m_noted[family] = true;
    }
}

std::vector<MatchKey> SideStore::findKeys(std::string_view profileId, ItemFamily family,
                                          const std::vector<std::string>& keys) {
    std::vector<MatchKey> out;
    if (keys.empty() || !present() || !trusted(family)) return out;
    const FamilyInfo& f = Info(family);
    for (size_t start = 0; start < keys.size(); start += kRowsPerStatement) {
        SqlText sql(
            m_version < 2
                ? Sql(u"SELECT length(CAST(key AS BLOB)), key, row_id FROM calyra_match_key WHERE profile_id = '")
                : Sql(u"SELECT length(CAST(match_key AS BLOB)), match_key, row_id FROM calyra_item WHERE "
                      u"profile_id = '"));
        // Without statistics, the engine would rather walk the family's
        // rows by their primary key than look the keys up in an index that
        // holds keys alone: the unary + keeps the family off any index. (The
        // profile, an INTEGER column compared with a text, needs its
        // affinity; no index starts with it that this query could use.)
        sql.AppendQuoted(Utf8ToUtf16(profileId))
            .Append(m_version < kVersion ? Sql(u"' AND family = ") : Sql(u"' AND +family = "))
            .Append(f.quotedName)
            .Append(m_version < 2 ? Sql(u" AND key IN (") : Sql(u" AND match_key IN ("));
        AppendList(sql, keys, start, std::min(keys.size(), start + kRowsPerStatement));
        sql.Append(u")").Append(m_version < 2 ? f.keyExists : f.itemExists).Append(u";");
        ResultWalk cells(m_session.connection(), sql.view(), "cannot read the side store");
        for (LONG r = 0; r < cells.rows(); ++r, cells.next()) {
            std::string key = Sized(cells, 1);
            out.push_back({std::move(key), cells.text(2)});
        }
    }
    std::sort(out.begin(), out.end(), [](const MatchKey& a, const MatchKey& b) {
        return a.key != b.key ? a.key < b.key : std::stoll(a.rowId) < std::stoll(b.rowId);
    });
    out.erase(std::unique(out.begin(), out.end()), out.end());
    return out;
}

size_t SideStore::countOrphans(ItemFamily family) {
    const FamilyInfo& f = Info(family);
    SqlText count(u"SELECT COUNT(*) FROM calyra_item WHERE hash <> '' AND family = ");
    count.Append(f.quotedName).Append(u" AND NOT (1").Append(f.itemExists).Append(u");");
    const TextRows n = QueryRows(m_session.connection(), count.view());
    return n.empty() ? 0 : std::stoul(n[0][0]);
}

SweepReport SideStore::sweep() {
    SweepReport report;
    if (!present()) return report;
    for (const auto& f : kFamilies)
        if (!trusted(f.family)) report.recreated.push_back(f.family);
    prepareWrite();  // upgrades an older file, drops the families made again
    for (const auto& f : kFamilies) {
        // Orphans: side rows whose item is gone (or moved to another profile).
        report.orphans += countOrphans(f.family);
        run(SqlText(u"DELETE FROM calyra_item WHERE family = ")
                .Append(f.quotedName)
                .Append(u" AND NOT (1")
                .Append(f.itemExists)
                .Append(u");"),
            "cannot clear the side store");
        noteSequence(f.family);
    }
    return report;
}

SweepReport SideStore::inspect() {
    SweepReport report;
    if (!present()) return report;
    for (const auto& f : kFamilies) {
        if (!trusted(f.family)) {
            report.recreated.push_back(f.family);
            continue;
        }
        report.orphans += countOrphans(f.family);
    }
    return report;
}

std::string SideStore::derivedUid(std::string_view profileId, ItemFamily family, std::string_view rowId) {
    const std::string profile(profileId);
    auto seed = m_profileSeeds.find(profile);
    if (seed == m_profileSeeds.end()) {
        SqlText sql(u"SELECT [IMEI], [SN], [HXRID], [Model] FROM [tProfile] WHERE [ProfileID] = '");
        sql.AppendQuoted(Utf8ToUtf16(profile)).Append(u"';");
        std::string text = profile;
        for (const auto& row : QueryRows(m_session.connection(), sql.view()))
            for (const auto& field : row) text += '\x1f' + field;
        seed = m_profileSeeds.emplace(profile, Fnv1a128(text).substr(0, 16)).first;
    }
    return std::string(FamilyName(family)) + "-" + CheckedRow(rowId) + "-" + seed->second + "@calyra";
}

std::optional<std::string> SideStore::rowOfDerivedUid(std::string_view profileId, ItemFamily family,
                                                      std::string_view uid) {
    // "<family>-<row>-<seed>@calyra", the seed being this profile's.
    const std::string pattern = derivedUid(profileId, family, "0");
    const std::string head = std::string(FamilyName(family)) + "-";
    const std::string tail = pattern.substr(head.size() + 1);  // "-<seed>@calyra"
    if (uid.size() <= head.size() + tail.size() || uid.substr(0, head.size()) != head ||
        uid.substr(uid.size() - tail.size()) != tail)
        return std::nullopt;
    const std::string row(uid.substr(head.size(), uid.size() - head.size() - tail.size()));
    if (!IsRecordId(row)) return std::nullopt;
    return row;
}

std::string SideStore::uidOf(std::string_view profileId, ItemFamily family, std::string_view rowId) {
    if (auto item = find(family, rowId); item && !item->uid.empty()) return item->uid;
    return derivedUid(profileId, family, rowId);
}

std::string ContentHash(std::string_view canonical) {
    // Two 64-bit lanes over the text's 8-byte words, read little-endian so
    // every machine hashes alike, each word mixed in by multiplying (odd
    // constants) and rotating; the last bytes and the length close it, and
    // each lane is finished with the other mixed in (MurmurHash3's final
    // mix). A word at a time: FNV-1a a byte at a time was a tenth of an
    // import's planning.
    constexpr uint64_t kPrime1 = 0x9e3779b185ebca87ULL, kPrime2 = 0xc2b2ae3d27d4eb4fULL;
    const auto word = [](const char* p, size_t n) {
        uint64_t w = 0;
        for (size_t i = 0; i < n; ++i) w |= static_cast<uint64_t>(static_cast<unsigned char>(p[i])) << (8 * i);
        return w;
    };
    const auto finish = [](uint64_t k) {
        k ^= k >> 33;
        k *= 0xff51afd7ed558ccdULL;
        k ^= k >> 33;
        k *= 0xc4ceb9fe1a85ec53ULL;
        return k ^ (k >> 33);
    };
    uint64_t a = 0x6c62272e07bb0142ULL, b = 0x62b821756295c58dULL;
    const char* p = canonical.data();
    size_t left = canonical.size();
    for (; left >= 8; p += 8, left -= 8) {
        const uint64_t w = word(p, 8);
        a = std::rotl(a ^ w, 29) * kPrime1;
        b = std::rotl(b + w, 31) * kPrime2;
    }
    const uint64_t tail = word(p, left);
    a = std::rotl(a ^ tail, 29) * kPrime1 ^ canonical.size();
    b = std::rotl(b + tail, 31) * kPrime2 + canonical.size();
    a += b;
    b += a;
    a = finish(a);
    b = finish(b);
    a += b;
    b += a;
    static constexpr char kHex[] = "0123456789abcdef";
    std::string out(32, '0');
    for (int i = 15; i >= 0; --i, a >>= 4, b >>= 4) {
        out[static_cast<size_t>(i)] = kHex[a & 0xf];
        out[static_cast<size_t>(i) + 16] = kHex[b & 0xf];
    }
    return out;
}

}  // namespace calyra::cli
