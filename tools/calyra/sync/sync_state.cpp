#include "sync/sync_state.h"

#include <algorithm>
#include <span>

#include "dav/url.h"
#include "platform/utf8.h"
#include "session/query_rows.h"

namespace calyra::sync {
namespace {

// One field of the connection holds 2048 UTF-16 units; a UTF-8 byte never
// becomes more than one unit, so parts of 2000 bytes always fit.
constexpr size_t kPartBytes = 2000;

// Items are read this many rows at a time, and at most this many times.
constexpr LONG kRowsPerChunk = 500;
constexpr size_t kMaxChunks = 100000;

void Quoted(SqlText& sql, const std::string& text) { sql.AppendQuoted(Utf8ToUtf16(text)); }

}  // namespace

std::vector<std::string> SplitUtf8(const std::string& text, size_t maxBytes) {
    std::vector<std::string> parts;
    size_t pos = 0;
    while (pos < text.size()) {
        size_t end = std::min(text.size(), pos + maxBytes);
        // Back up over continuation bytes (10xxxxxx) so a character stays whole.
        while (end < text.size() && end > pos + 1 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80) --end;
        parts.push_back(text.substr(pos, end - pos));
        pos = end;
    }
    return parts;
}

SyncState::SyncState(cli::Session& session, std::string account)
    : m_session(session), m_account(std::move(account)), m_profile(session.profileId()) {}

bool SyncState::exists() {
    const auto rows = cli::QueryRows(
        m_session.connection(), u"SELECT name FROM sqlite_master WHERE type = 'table' AND name = 'calyra_sync_item';");
    return !rows.empty();
}

void SyncState::create(cli::Transaction& tx) {
    tx.run(SqlText(u"CREATE TABLE IF NOT EXISTS calyra_sync_collection (account TEXT NOT NULL, profile TEXT NOT NULL, "
                   u"collection TEXT NOT NULL, token TEXT, ctag TEXT, PRIMARY KEY (account, profile, collection));"),
           "cannot make the sync state");
    tx.run(SqlText(u"CREATE TABLE IF NOT EXISTS calyra_sync_item (account TEXT NOT NULL, profile TEXT NOT NULL, "
                   u"collection TEXT NOT NULL, href TEXT NOT NULL, etag TEXT, uid TEXT, local_id TEXT, "
                   u"local_hash TEXT, tombstone INTEGER NOT NULL DEFAULT 0, "
                   u"PRIMARY KEY (account, profile, collection, href));"),
           "cannot make the sync state");
    tx.run(SqlText(u"CREATE TABLE IF NOT EXISTS calyra_sync_base (account TEXT NOT NULL, profile TEXT NOT NULL, "
                   u"collection TEXT NOT NULL, href TEXT NOT NULL, part INTEGER NOT NULL, text TEXT, "
                   u"PRIMARY KEY (account, profile, collection, href, part));"),
           "cannot make the sync state");
    // A sync looks its items up by local ID, a chunk of them at a time.
    tx.run(SqlText(u"CREATE INDEX IF NOT EXISTS calyra_sync_item_local ON calyra_sync_item (account, profile, "
                   u"collection, local_id);"),
           "cannot make the sync state");
}

SqlText SyncState::where(const std::string& collection) const {
    SqlText sql(u" WHERE account = '");
    Quoted(sql, m_account);
    sql.Append(u"' AND profile = '").AppendQuoted(m_profile).Append(u"' AND collection = '");
    Quoted(sql, collection);
    sql.Append(u"'");
    return sql;
}

std::pair<std::string, std::string> SyncState::collectionState(const std::string& collection) {
    if (!exists()) return {};
    SqlText sql(u"SELECT token, ctag FROM calyra_sync_collection");
    sql.Append(where(collection)).Append(u";");
    cli::ResultWalk cells(m_session.connection(), sql.view(), "cannot read the sync state");
    if (cells.rows() == 0) return {};
    return {cells.text(0), cells.text(1)};
}

void SyncState::setCollectionState(cli::Transaction& tx, const std::string& collection, const std::string& token,
                                   const std::string& ctag) {
    SqlText sql(u"INSERT OR REPLACE INTO calyra_sync_collection (account, profile, collection, token, ctag) VALUES ('");
    Quoted(sql, m_account);
    sql.Append(u"', '").AppendQuoted(m_profile).Append(u"', '");
    Quoted(sql, collection);
    sql.Append(u"', '");
    Quoted(sql, token);
    sql.Append(u"', '");
    Quoted(sql, ctag);
    sql.Append(u"');");
    tx.run(sql, "cannot store the sync token of " + collection);
}

std::vector<SyncedItem> SyncState::select(const std::string& collection, const SqlText& condition) {
    SqlText sql(u"SELECT href, etag, uid, local_id, local_hash, tombstone FROM calyra_sync_item");
    sql.Append(where(collection)).Append(condition).Append(u";");
    std::vector<SyncedItem> out;
    cli::ResultWalk cells(m_session.connection(), sql.view(), "cannot read the sync state");
    out.reserve(static_cast<size_t>(cells.rows()));
    for (LONG i = 0; i < cells.rows(); ++i, cells.next())
        out.push_back(
            {cells.text(0), cells.text(1), cells.text(2), cells.text(3), cells.text(4), cells.text(5) == "1"});
    return out;
}

void SyncState::eachItem(const std::string& collection,
                         const std::function<void(std::vector<SyncedItem>& chunk)>& visit) {
    if (!exists()) return;
    // A chunk of rows at a time (the connection holds a whole result as
    // text), after the last href of the chunk before.
    std::string after;
    for (size_t chunk = 0; chunk < kMaxChunks; ++chunk) {
        SqlText condition;
        if (chunk > 0) {
            condition.Append(u" AND href > '");
            Quoted(condition, after);
            condition.Append(u"'");
        }
        condition.Append(u" ORDER BY href LIMIT ").AppendLong(kRowsPerChunk);
        std::vector<SyncedItem> items = select(collection, condition);
        const bool last = items.size() < static_cast<size_t>(kRowsPerChunk);
        if (!items.empty()) after = items.back().href;
        if (!items.empty()) visit(items);
        if (last) break;
    }
}

std::multimap<std::string, std::string>& SyncState::escaped(const std::string& collection) {
    auto [at, made] = m_escaped.try_emplace(collection);
    if (made && exists()) {
        SqlText sql(u"SELECT href FROM calyra_sync_item");
        sql.Append(where(collection)).Append(u" AND instr(href, '%') > 0;");
        cli::ResultWalk cells(m_session.connection(), sql.view(), "cannot read the sync state");
        for (LONG i = 0; i < cells.rows(); ++i, cells.next()) {
            std::string href = cells.text(0);
            at->second.emplace(dav::HrefKey(href), std::move(href));
        }
    }
    return at->second;
}

std::vector<SyncedItem> SyncState::itemsAt(const std::string& collection, const std::vector<std::string>& hrefs) {
    if (hrefs.empty() || !exists()) return {};
    // An href as asked and as its key (the spelling of a row without
    // escapes), and the escaped rows of the same key.
    std::set<std::string> spellings;
    const auto& withEscapes = escaped(collection);
    for (const std::string& href : hrefs) {
        const std::string key = dav::HrefKey(href);
        spellings.insert(href);
        spellings.insert(key);
        for (auto [it, end] = withEscapes.equal_range(key); it != end; ++it) spellings.insert(it->second);
    }
    return inChunks(collection, u" AND href IN (", std::vector<std::string>(spellings.begin(), spellings.end()));
}

std::vector<SyncedItem> SyncState::itemsOf(const std::string& collection, const std::vector<std::string>& ids) {
    if (ids.empty() || !exists()) return {};
    return inChunks(collection, u" AND local_id IN (", ids);
}

std::vector<SyncedItem> SyncState::inChunks(const std::string& collection, Sql in,
                                            const std::vector<std::string>& values) {
    std::vector<SyncedItem> out;
    const auto chunk = static_cast<size_t>(kRowsPerChunk);
    for (size_t from = 0; from < values.size(); from += chunk) {
        SqlText condition(in);
        cli::AppendQuotedList(condition, std::span(values).subspan(from, std::min(chunk, values.size() - from)))
            .Append(u")");
        for (SyncedItem& item : select(collection, condition)) out.push_back(std::move(item));
    }
    return out;
}

size_t SyncState::countWithLocalIds(const std::string& collection) {
    if (!exists()) return 0;
    SqlText sql(u"SELECT COUNT(*) FROM calyra_sync_item");
    sql.Append(where(collection)).Append(u" AND local_id <> '';");
    cli::ResultWalk cells(m_session.connection(), sql.view(), "cannot read the sync state");
    return cells.rows() > 0 ? static_cast<size_t>(std::stoul(cells.text(0))) : 0;
}

bool SyncState::holdsLocalIds(const std::string& collection, std::string_view prefix) {
    if (!exists()) return false;
    SqlText sql(u"SELECT 1 FROM calyra_sync_item");
    sql.Append(where(collection)).Append(u" AND substr(local_id, 1, ").AppendLong(static_cast<LONG>(prefix.size()));
    sql.Append(u") = '");
    Quoted(sql, std::string(prefix));
    sql.Append(u"' LIMIT 1;");
    cli::ResultWalk cells(m_session.connection(), sql.view(), "cannot read the sync state");
    return cells.rows() > 0;
}

std::set<std::string> SyncState::localIds(const std::string& collection) {
    std::set<std::string> out;
    if (!exists()) return out;
    SqlText sql(u"SELECT local_id FROM calyra_sync_item");
    sql.Append(where(collection)).Append(u";");
    cli::ResultWalk cells(m_session.connection(), sql.view(), "cannot read the sync state");
    for (LONG i = 0; i < cells.rows(); ++i, cells.next()) out.insert(cells.text(0));
    return out;
}

std::string SyncState::base(const std::string& collection, const std::string& href) {
    if (!exists()) return {};
    SqlText sql(u"SELECT text FROM calyra_sync_base");
    sql.Append(where(collection)).Append(u" AND href = '");
    Quoted(sql, href);
    sql.Append(u"' ORDER BY part;");
    cli::ResultWalk cells(m_session.connection(), sql.view(), "cannot read the sync state");
    std::string text;
    for (LONG i = 0; i < cells.rows(); ++i, cells.next()) text += cells.text(0);
    return text;
}

void SyncState::put(cli::Transaction& tx, const std::string& collection, const SyncedItem& item,
                    const std::string& text) {
    erase(tx, collection, item.href);
    SqlText sql(
        u"INSERT INTO calyra_sync_item (account, profile, collection, href, etag, uid, local_id, local_hash, "
        u"tombstone) VALUES ('");
    Quoted(sql, m_account);
    sql.Append(u"', '").AppendQuoted(m_profile).Append(u"', '");
    for (const std::string* value : {&collection, &item.href, &item.etag, &item.uid, &item.localId, &item.localHash}) {
        Quoted(sql, *value);
        sql.Append(u"', '");
    }
    sql.AppendFlag(item.tombstone ? 1 : 0).Append(u"');");
    tx.run(sql, "cannot store the sync state of " + item.href);
    if (item.href.find('%') != std::string::npos)
        if (const auto it = m_escaped.find(collection); it != m_escaped.end())
            it->second.emplace(dav::HrefKey(item.href), item.href);
    const auto parts = SplitUtf8(text, kPartBytes);
    for (size_t i = 0; i < parts.size(); ++i) {
        SqlText part(u"INSERT INTO calyra_sync_base (account, profile, collection, href, part, text) VALUES ('");
        Quoted(part, m_account);
        part.Append(u"', '").AppendQuoted(m_profile).Append(u"', '");
        Quoted(part, collection);
        part.Append(u"', '");
        Quoted(part, item.href);
        part.Append(u"', '").AppendLong(static_cast<LONG>(i)).Append(u"', '");
        Quoted(part, parts[i]);
        part.Append(u"');");
        tx.run(part, "cannot store the synced text of " + item.href);
    }
}

void SyncState::erase(cli::Transaction& tx, const std::string& collection, const std::string& href) {
    for (Sql table : {Sql(u"DELETE FROM calyra_sync_item"), Sql(u"DELETE FROM calyra_sync_base")}) {
        SqlText sql(table);
        sql.Append(where(collection)).Append(u" AND href = '");
        Quoted(sql, href);
        sql.Append(u"';");
        tx.run(sql, "cannot forget the sync state of " + href);
    }
    if (const auto it = m_escaped.find(collection); it != m_escaped.end())
        for (auto [at, end] = it->second.equal_range(dav::HrefKey(href)); at != end; ++at)
            if (at->second == href) {
                it->second.erase(at);
                break;
            }
}

void SyncState::setLocalHash(cli::Transaction& tx, const std::string& collection, const std::string& href,
                             const std::string& hash) {
    SqlText sql(u"UPDATE calyra_sync_item SET local_hash = '");
    Quoted(sql, hash);
    sql.Append(u"'").Append(where(collection)).Append(u" AND href = '");
    Quoted(sql, href);
    sql.Append(u"';");
    tx.run(sql, "cannot store the sync state of " + href);
}

void SyncState::forget(cli::Transaction& tx, const std::string& collection) {
    for (Sql table : {Sql(u"DELETE FROM calyra_sync_item"), Sql(u"DELETE FROM calyra_sync_base"),
                      Sql(u"DELETE FROM calyra_sync_collection")}) {
        SqlText sql(table);
        sql.Append(where(collection)).Append(u";");
        tx.run(sql, "cannot forget the sync state of " + collection);
    }
    m_escaped.erase(collection);
}

}  // namespace calyra::sync
