// Database: one open SQLite connection behind an engine handle.
//
// It runs SQL text given as UTF-16: Execute runs every statement of a text,
// Query reads the one statement of a text into a ResultSet that the caller
// then owns, and a cursor steps a statement as far as its reader asks.
// The connection is opened without SQLite's own mutex; m_mutex
// serialises every use of it instead, so one Database may be called from any
// number of threads. Close is final: later calls fail cleanly.
#pragma once

#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "engine/cursor.h"
#include "engine/result_set.h"
#include "engine/statement_cache.h"
#include "platform/types.h"

struct sqlite3;
struct sqlite3_stmt;

namespace calyra::engine {

class Database {
public:
    // Opens or creates the file; NULL when it cannot be opened or is not a
    // database. Throws std::bad_alloc.
    static std::shared_ptr<Database> Open(const char16_t* path);
    ~Database();
    Database(const Database&) = delete;
    Database& operator=(const Database&) = delete;

    // Runs every statement of the text in order, like sqlite3_exec; rows of
    // queries among them are discarded. On failure the statements before
    // the failing one stay done, except that a transaction the text itself
    // began is rolled back. With pRowID, a text that inserted a row stores
    // that row's key (the last one when it inserted several); a text that
    // inserted nothing leaves *pRowID as it was. Returns 0, or -1 on failure.
    LONG Execute(const char16_t* sql, LONGLONG* pRowID);

    // Runs the text's single statement and keeps its whole result in the
    // given storage (taken over on success); NULL on failure, also when the
    // text holds no statement or more than one.
    std::unique_ptr<ResultSet> Query(const char16_t* sql, ResultStorage& storage);

    // Prepares the text's single statement for reading with ReadCursor;
    // NULL on failure, as Query. The caller ends it with CloseCursor.
    sqlite3_stmt* OpenCursor(const char16_t* sql);
    // Steps up to maxRows rows of the statement, handing each to the sink;
    // the rows handed over, or -1 when a step fails or the connection is
    // closed.
    LONG ReadCursor(sqlite3_stmt* stmt, LONG maxRows, DbRowSink sink, void* context);
    // Finalises the statement, also once the connection is closed.
    void CloseCursor(sqlite3_stmt* stmt);

    // Closes the connection (idempotent).
    void Close();

private:
    explicit Database(sqlite3* db);
    // REQUIRES: m_mutex held.
    bool IsBlankTail(const char* tail);
    // Called before a statement of Execute runs: switches the file to WAL
    // at the first statement that may write. REQUIRES: m_mutex held.
    void BeforeRunning(sqlite3_stmt* stmt);
    // The text's single statement, prepared (from the cache when `shaped`;
    // give it back with Release); NULL when the text does not compile or
    // holds no statement or more than one.
    // REQUIRES: m_mutex held.
    sqlite3_stmt* PrepareSingle(const char16_t* sql, bool shaped);
    // The statement of m_sql's shape with its values bound, taken from the
    // cache or compiled; NULL when m_sql is to be run as text.
    // REQUIRES: m_mutex held.
    sqlite3_stmt* PrepareShaped();
    // Called once the text itself compiled: a shape that did not compile is
    // then remembered as refused. REQUIRES: m_mutex held.
    void RefuseShapeOfCompiledText();
    // Gives a statement of PrepareSingle back. REQUIRES: m_mutex held.
    void Release(sqlite3_stmt* stmt);
    static void OnRowChanged(void* self, int op, const char* dbName, const char* table, long long rowid);

    std::mutex m_mutex;
    sqlite3* m_db;                        // Guarded by m_mutex; NULL once closed.
    bool m_rowInserted = false;           // Guarded by m_mutex (the update hook runs inside calls that hold it).
    bool m_journalModeSet = false;        // Guarded by m_mutex; WAL was asked for (at the first write).
    std::string m_sql;                    // Guarded by m_mutex; the UTF-8 form of the text being run.
    std::vector<const char*> m_rowTexts;  // Guarded by m_mutex; the row ReadCursor hands over.
    std::vector<LONG> m_rowBytes;         // Guarded by m_mutex.
    // Guarded by m_mutex: compiled statements by shape, the shape of the
    // text being run and its literals' values (bound as they are, so they,
    // m_sql and m_unquoted stay as they are until the statement is given
    // back).
    StatementCache m_statements;
    std::string m_shape;
    std::vector<std::string_view> m_values;  // into m_sql or m_unquoted
    std::string m_unquoted;
    bool m_shapeRan = false;                   // the statement being run came from m_statements
    bool m_refuseShapeIfTextCompiles = false;  // m_shape did not compile
};

}  // namespace calyra::engine
