// One SQLite connection: opening, running statements, reading results.
#include "engine/database.h"

#include <sqlite3.h>

#include <climits>
#include <cstring>
#include <string_view>

#include "engine/literal_parameters.h"
#include "engine/text_encoding.h"

namespace calyra::engine {
namespace {

// Another process writing the same file holds its lock for one statement at
// a time; waiting this long rides that out without hanging a caller forever.
constexpr int kBusyTimeoutMs = 5000;

// Journal mode, chosen by measurement (bench/connection_bench.cpp: rows of
// [tContact] size, the system's pragmas with synchronous OFF, CPU
// microseconds per one-row INSERT / per row read of the contact list, two
// runs on a 2-core machine):
//     DELETE 89-107 / 2.2   TRUNCATE 82-85 / 2.1   PERSIST 88-91 / 2.2
//     WAL    35-37  / 2.1
// WAL commits by appending to one file instead of creating, truncating or
// rewriting a journal for every statement: more than twice as fast to
// write, reads the same. Every mode survives the process being killed at
// any moment. A file left in WAL mode needs SQLite 3.7 or later and its
// -wal/-shm companions, so the last connection to close switches the file
// back to the rollback journal (see Close): a cleanly closed file is one
// any SQLite 3 reads.
constexpr const char* kJournalModePragma = "PRAGMA journal_mode = WAL";
constexpr const char* kClosedJournalModePragma = "PRAGMA journal_mode = DELETE";

// Serialises the closing of all connections of the process, so that of two
// connections to one file closing at the same moment the second sees the
// first one gone and switches the file back.
std::mutex g_closeMutex;

// Statements kept compiled per connection. The component runs a few dozen
// kinds of statement; a walk by index adds one shape per position, which
// the least recently used order lets go first.
constexpr size_t kCachedStatements = 64;

// Whether the statement's parameters are the `count` nameless "?" that
// shaping put in: a text with parameters of its own keeps its meaning only
// when run as it was.
bool HasOnlyShapeParameters(sqlite3_stmt* stmt, size_t count) {
    if (sqlite3_bind_parameter_count(stmt) != static_cast<int>(count)) return false;
    for (int i = 1; i <= static_cast<int>(count); ++i)
        if (sqlite3_bind_parameter_name(stmt, i)) return false;
    return true;
}

// SQLite counts its memory (for sqlite3_memory_used and the soft heap
// limit) behind a process-wide mutex taken on every allocation and free:
// a million lock pairs in a 20,000-contact import, a twentieth of its
// storing work. Nothing here reads those counts. The setting is the
// process's and only takes before SQLite's first use; where something else
// used SQLite first, it is refused and nothing changes.
void LeaveMemoryUncounted() {
    static std::once_flag once;
    std::call_once(once, [] { sqlite3_config(SQLITE_CONFIG_MEMSTATUS, 0); });
}

bool IsBlankChar(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v'; }

}  // namespace

Database::Database(sqlite3* db) : m_db(db), m_statements(kCachedStatements) {
    sqlite3_update_hook(m_db, &Database::OnRowChanged, this);
}

Database::~Database() { Close(); }

std::shared_ptr<Database> Database::Open(const char16_t* path) {
    if (!path || !path[0]) return nullptr;
    std::string name;
    Utf16ToUtf8(path, name);
    // A name is always a path: SQLite would read "file:..." as a URI.
    if (name.starts_with("file:")) name.insert(0, "./");

    LeaveMemoryUncounted();
    sqlite3* db = nullptr;
    int rc =
        sqlite3_open_v2(name.c_str(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX, nullptr);
    if (rc == SQLITE_OK) {
        sqlite3_busy_timeout(db, kBusyTimeoutMs);
        // Reading the header now turns away a file that is not a database
        // (and one that cannot be read) at open rather than at first use.
        rc = sqlite3_exec(db, "PRAGMA schema_version", nullptr, nullptr, nullptr);
    }
    if (rc != SQLITE_OK) {
        sqlite3_close_v2(db);  // accepts NULL
        return nullptr;
    }
    return std::shared_ptr<Database>(new Database(db));
}

void Database::Close() {
    std::lock_guard lock(m_mutex);
    if (!m_db) return;
    std::lock_guard closing(g_closeMutex);
    // SQLite leaves WAL mode only when no other connection, in this process
    // or another, has the file open; otherwise the switch fails at once
    // (no waiting) and the connection closing last does it.
    // A transaction the caller left open would be rolled back by the close
    // anyway; ending it first lets the switch happen.
    sqlite3_busy_timeout(m_db, 0);
    m_statements.Clear();
    if (!sqlite3_get_autocommit(m_db)) sqlite3_exec(m_db, "ROLLBACK", nullptr, nullptr, nullptr);
    sqlite3_exec(m_db, kClosedJournalModePragma, nullptr, nullptr, nullptr);
    // Result sets finalise their statements before DbQuery returns, and
    // DbClose ends the handle's cursors before this; a cursor still being
    // read on another thread keeps the connection alive inside SQLite until
    // it is finalised.
    sqlite3_close_v2(m_db);
    m_db = nullptr;
}

void Database::OnRowChanged(void* self, int op, const char*, const char*, long long) {
    if (op == SQLITE_INSERT) static_cast<Database*>(self)->m_rowInserted = true;
}

LONG Database::Execute(const char16_t* sql, LONGLONG* pRowID) {
    std::lock_guard lock(m_mutex);
    if (!m_db || !sql) return -1;
    Utf16ToUtf8(sql, m_sql);
    if (m_sql.size() >= INT_MAX) return -1;

    const bool autocommitBefore = sqlite3_get_autocommit(m_db) != 0;
    m_rowInserted = false;
    bool ok = true;
    if (sqlite3_stmt* stmt = PrepareShaped()) {
        BeforeRunning(stmt);
        int rc;
        while ((rc = sqlite3_step(stmt)) == SQLITE_ROW) {
        }
        m_statements.Return(m_shape, stmt);
        ok = rc == SQLITE_DONE;
    }
    const char* p = m_sql.c_str();
    const char* const end = m_shapeRan ? p : p + m_sql.size();
    while (p < end) {
        sqlite3_stmt* stmt = nullptr;
        const char* tail = nullptr;
        // The length includes the terminator, which spares SQLite a copy.
        if (sqlite3_prepare_v2(m_db, p, static_cast<int>(end - p) + 1, &stmt, &tail) != SQLITE_OK) {
            ok = false;
            break;
        }
        RefuseShapeOfCompiledText();
        if (stmt) {
            BeforeRunning(stmt);
            int rc;
            while ((rc = sqlite3_step(stmt)) == SQLITE_ROW) {
            }
            sqlite3_finalize(stmt);
            if (rc != SQLITE_DONE) {
                ok = false;
                break;
            }
        }
        if (!tail || tail <= p) break;  // only white space or comments were left
        p = tail;
    }
    if (!ok) {
        // A transaction this text opened must not outlive its failure and
        // keep the file locked; one the caller opened earlier is theirs.
        if (autocommitBefore && !sqlite3_get_autocommit(m_db))
            sqlite3_exec(m_db, "ROLLBACK", nullptr, nullptr, nullptr);
        return -1;
    }
    if (pRowID && m_rowInserted) *pRowID = sqlite3_last_insert_rowid(m_db);
    return 0;
}

void Database::BeforeRunning(sqlite3_stmt* stmt) {
    // The journal mode changes the file's header, so it waits for the first
    // statement that may write (or opens a transaction, inside which the
    // mode cannot change): a connection that only reads and sets its own
    // pragmas (a command that lists, a client looking at what a file is)
    // leaves the file byte for byte as it was. A file that cannot take the
    // mode (read-only, say) still works in the mode it has.
    if (m_journalModeSet) return;
    if (sqlite3_stmt_readonly(stmt)) {
        std::string_view text = sqlite3_sql(stmt);
        while (!text.empty() && IsBlankChar(text.front())) text.remove_prefix(1);
        const auto startsWith = [&text](std::string_view word) {
            return text.size() >= word.size() &&
                   sqlite3_strnicmp(text.data(), word.data(), static_cast<int>(word.size())) == 0;
        };
        if (!startsWith("BEGIN") && !startsWith("SAVEPOINT")) return;
    }
    m_journalModeSet = true;
    sqlite3_exec(m_db, kJournalModePragma, nullptr, nullptr, nullptr);
}

bool Database::IsBlankTail(const char* tail) {
    while (IsBlankChar(*tail) || *tail == ';') ++tail;
    // Comments are the only other text that holds no statement; SQLite
    // itself tells them apart from a second statement.
    while (*tail) {
        sqlite3_stmt* stmt = nullptr;
        const char* next = nullptr;
        if (sqlite3_prepare_v2(m_db, tail, -1, &stmt, &next) != SQLITE_OK) return false;
        if (stmt) {
            sqlite3_finalize(stmt);
            return false;
        }
        if (!next || next <= tail) break;
        tail = next;
    }
    return true;
}

sqlite3_stmt* Database::PrepareShaped() {
    m_shapeRan = false;
    m_refuseShapeIfTextCompiles = false;
    if (!ShapeOfStatement(m_sql, m_shape, m_values, m_unquoted)) return nullptr;
    bool refused = false;
    sqlite3_stmt* stmt = m_statements.Take(m_shape, &refused);
    if (refused) return nullptr;
    if (!stmt) {
        const char* tail = nullptr;
        if (sqlite3_prepare_v2(m_db, m_shape.c_str(), static_cast<int>(m_shape.size()) + 1, &stmt, &tail) !=
                SQLITE_OK ||
            !stmt) {
            sqlite3_finalize(stmt);
            // The text may not compile either (a table not made yet); only
            // when it does is the shape to blame.
            m_refuseShapeIfTextCompiles = true;
            return nullptr;
        }
        if ((tail && !IsBlankTail(tail)) || !HasOnlyShapeParameters(stmt, m_values.size())) {
            sqlite3_finalize(stmt);
            m_statements.Refuse(m_shape);
            return nullptr;
        }
    }
    for (size_t i = 0; i < m_values.size(); ++i) {
        // The values live in m_sql and m_unquoted until the next statement.
        if (sqlite3_bind_text(stmt, static_cast<int>(i) + 1, m_values[i].data(), static_cast<int>(m_values[i].size()),
                              SQLITE_STATIC) != SQLITE_OK) {
            m_statements.Return(m_shape, stmt);
            return nullptr;
        }
    }
    m_shapeRan = true;
    return stmt;
}

void Database::RefuseShapeOfCompiledText() {
    if (!m_refuseShapeIfTextCompiles) return;
    m_refuseShapeIfTextCompiles = false;
    m_statements.Refuse(m_shape);
}

void Database::Release(sqlite3_stmt* stmt) {
    if (m_shapeRan)
        m_statements.Return(m_shape, stmt);
    else
        sqlite3_finalize(stmt);
    m_shapeRan = false;
}

sqlite3_stmt* Database::PrepareSingle(const char16_t* sql, bool shaped) {
    m_shapeRan = false;
    if (!m_db || !sql) return nullptr;
    Utf16ToUtf8(sql, m_sql);
    if (m_sql.size() >= INT_MAX) return nullptr;
    if (shaped)
        if (sqlite3_stmt* stmt = PrepareShaped()) return stmt;

    sqlite3_stmt* stmt = nullptr;
    const char* tail = nullptr;
    if (sqlite3_prepare_v2(m_db, m_sql.c_str(), static_cast<int>(m_sql.size()) + 1, &stmt, &tail) != SQLITE_OK)
        return nullptr;
    if (!stmt) return nullptr;  // white space or comments only
    RefuseShapeOfCompiledText();
    // A second statement would run unseen with its rows lost; refuse the
    // text before anything of it runs.
    if (tail && !IsBlankTail(tail)) {
        sqlite3_finalize(stmt);
        return nullptr;
    }
    return stmt;
}

std::unique_ptr<ResultSet> Database::Query(const char16_t* sql, ResultStorage& storage) {
    std::lock_guard lock(m_mutex);
    sqlite3_stmt* stmt = PrepareSingle(sql, true);
    if (!stmt) return nullptr;
    const bool autocommitBefore = sqlite3_get_autocommit(m_db) != 0;
    std::unique_ptr<ResultSet> rs;
    try {
        rs = ResultSet::Read(stmt, storage);
    } catch (...) {
        Release(stmt);
        throw;
    }
    Release(stmt);
    if (!rs && autocommitBefore && !sqlite3_get_autocommit(m_db))
        sqlite3_exec(m_db, "ROLLBACK", nullptr, nullptr, nullptr);
    return rs;
}

sqlite3_stmt* Database::OpenCursor(const char16_t* sql) {
    std::lock_guard lock(m_mutex);
    // A cursor keeps its statement for as long as its reader walks, so it
    // has one of its own.
    return PrepareSingle(sql, false);
}

LONG Database::ReadCursor(sqlite3_stmt* stmt, LONG maxRows, DbRowSink sink, void* context) {
    std::lock_guard lock(m_mutex);
    if (!m_db || !stmt || !sink) return -1;
    const int columns = sqlite3_column_count(stmt);
    m_rowTexts.resize(static_cast<size_t>(columns));
    m_rowBytes.resize(static_cast<size_t>(columns));
    LONG rows = 0;
    while (rows < maxRows) {
        int rc = sqlite3_step(stmt);
        if (rc == SQLITE_DONE) break;
        if (rc != SQLITE_ROW) return -1;
        for (int c = 0; c < columns; ++c) {
            const char* text = "";
            int bytes = 0;
            if (sqlite3_column_type(stmt, c) != SQLITE_NULL) {
                // UTF-8 first and the length second, the order in which
                // SQLite keeps both valid.
                text = reinterpret_cast<const char*>(sqlite3_column_text(stmt, c));
                bytes = sqlite3_column_bytes(stmt, c);
                if (!text) return -1;  // out of memory inside SQLite
            }
            m_rowTexts[static_cast<size_t>(c)] = text;
            m_rowBytes[static_cast<size_t>(c)] = bytes;
        }
        ++rows;
        if (sink(context, columns, m_rowTexts.data(), m_rowBytes.data()) != 0) break;
    }
    return rows;
}

void Database::CloseCursor(sqlite3_stmt* stmt) {
    // After Close the connection lives on inside SQLite until its last
    // statement is finalised here.
    std::lock_guard lock(m_mutex);
    sqlite3_finalize(stmt);
}

}  // namespace calyra::engine
