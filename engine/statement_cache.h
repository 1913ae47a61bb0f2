// Compiled statements kept for their next use, keyed by the statement's
// shape (literal_parameters.h), so a statement the component runs again
// with other values is bound instead of compiled.
//
// Measured on the client's import of 20,000 vCards (two phone numbers and
// one e-mail address each, CPU time, bench/client_contacts_bench.cpp):
// SQLite's parser and code generator were about half of the time, as every
// insert was a new text: 842 ms. Caching the statements that read and
// change rows: 493 ms; the savepoint statements too: about 440 ms (raw
// SQLite inserting the same rows with prepared statements: 116-120 ms).
//
// A statement is taken out while it runs and given back afterwards, reset
// and with its bindings cleared, so a cached statement never holds a read
// or write lock and never runs twice at once. Its entry stays while it is
// out, so taking and giving back allocate and copy nothing (the shapes are
// a few hundred bytes; copying each twice per statement showed in the
// import's profile). Shapes that cannot be run as
// one bound statement (two statements in one text, parameters of their
// own) are remembered as refused, so the text is not compiled twice each
// time. The least recently used entries are finalised beyond the capacity.
//
// Ownership: the cache owns the statements it holds and finalises them when
// cleared or destroyed (before the connection closes). Thread-safety: none;
// the connection's mutex guards it.
#pragma once

#include <cstddef>
#include <list>
#include <string>
#include <string_view>
#include <unordered_map>

struct sqlite3_stmt;

namespace calyra::engine {

class StatementCache {
public:
    explicit StatementCache(size_t capacity) : m_capacity(capacity) {}
    ~StatementCache() { Clear(); }
    StatementCache(const StatementCache&) = delete;
    StatementCache& operator=(const StatementCache&) = delete;

    // The cached statement of this shape, now the caller's until Return;
    // nullptr when none is cached. *refused is set when the shape was
    // refused (it stays remembered).
    sqlite3_stmt* Take(const std::string& shape, bool* refused);
    // Resets the statement, clears its bindings and keeps it for the shape.
    void Return(const std::string& shape, sqlite3_stmt* stmt);
    // Remembers that the shape is run as text.
    void Refuse(const std::string& shape) { Put(shape, nullptr); }
    // Finalises every statement.
    void Clear();

private:
    struct Entry {
        std::string shape;
        sqlite3_stmt* stmt;  // nullptr: refused, or out with a caller
        bool taken;          // out with a caller
    };
    void Put(const std::string& shape, sqlite3_stmt* stmt);

    size_t m_capacity;
    std::list<Entry> m_entries;  // most recently used first
    // Keyed by views of the entries' own shapes.
    std::unordered_map<std::string_view, std::list<Entry>::iterator> m_byShape;
};

}  // namespace calyra::engine
