#include "engine/statement_cache.h"

#include <sqlite3.h>

#include <utility>

namespace calyra::engine {

sqlite3_stmt* StatementCache::Take(const std::string& shape, bool* refused) {
    *refused = false;
    auto it = m_byShape.find(shape);
    if (it == m_byShape.end()) return nullptr;
    Entry& entry = *it->second;
    m_entries.splice(m_entries.begin(), m_entries, it->second);
    if (entry.taken) return nullptr;  // running already: the caller compiles its own
    if (!entry.stmt) {
        *refused = true;
        return nullptr;
    }
    entry.taken = true;
    return std::exchange(entry.stmt, nullptr);
}

void StatementCache::Return(const std::string& shape, sqlite3_stmt* stmt) {
    sqlite3_reset(stmt);
    sqlite3_clear_bindings(stmt);
    Put(shape, stmt);
}

void StatementCache::Put(const std::string& shape, sqlite3_stmt* stmt) {
    if (auto it = m_byShape.find(shape); it != m_byShape.end()) {
        // Back from its caller, or taken twice while running (never under
        // one mutex), or refused again: keep the newer.
        Entry& entry = *it->second;
        sqlite3_finalize(entry.stmt);
        entry.stmt = stmt;
        entry.taken = false;
        m_entries.splice(m_entries.begin(), m_entries, it->second);
        return;
    }
    m_entries.push_front({shape, stmt, false});
    try {
        m_byShape.emplace(m_entries.front().shape, m_entries.begin());
    } catch (...) {
        sqlite3_finalize(stmt);
        m_entries.pop_front();
        throw;
    }
    while (m_entries.size() > m_capacity) {
        // An entry out with its caller holds no statement; the statement
        // comes back as a new entry.
        sqlite3_finalize(m_entries.back().stmt);
        m_byShape.erase(m_entries.back().shape);
        m_entries.pop_back();
    }
}

void StatementCache::Clear() {
    for (auto& entry : m_entries) sqlite3_finalize(entry.stmt);
    m_entries.clear();
    m_byShape.clear();
}

}  // namespace calyra::engine
