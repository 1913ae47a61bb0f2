#include "engine/statement_cache.h"

#include <sqlite3.h>

namespace calyra::engine {

sqlite3_stmt* StatementCache::Take(const std::string& shape, bool* refused) {
    *refused = false;
    auto it = m_byShape.find(shape);
    if (it == m_byShape.end()) return nullptr;
    if (!it->second->stmt) {
        *refused = true;
        m_entries.splice(m_entries.begin(), m_entries, it->second);
        return nullptr;
    }
    sqlite3_stmt* stmt = it->second->stmt;
    m_entries.erase(it->second);
    m_byShape.erase(it);
    return stmt;
}

void StatementCache::Return(const std::string& shape, sqlite3_stmt* stmt) {
    sqlite3_reset(stmt);
    sqlite3_clear_bindings(stmt);
    Put(shape, stmt);
}

void StatementCache::Put(const std::string& shape, sqlite3_stmt* stmt) {
    if (auto it = m_byShape.find(shape); it != m_byShape.end()) {
        // Taken twice while running (never under one mutex) or refused
        // again: keep the newer.
        sqlite3_finalize(it->second->stmt);
        m_entries.erase(it->second);
        m_byShape.erase(it);
    }
    m_entries.push_front({shape, stmt});
    try {
        m_byShape.emplace(shape, m_entries.begin());
    } catch (...) {
        sqlite3_finalize(stmt);
        m_entries.pop_front();
        throw;
    }
    while (m_entries.size() > m_capacity) {
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
