// Reading a database file straight through SQLite, beside the component,
// to check what a test's processes left in it.
#pragma once

#include <sqlite3.h>

#include <string>
#include <vector>

namespace calyra::test {

// The first column of every row of `sql`, as text; empty when the file or
// the statement cannot be read. Read-only by default; `recover` opens the
// file for writing, as the next program to use it would, so that the
// write-ahead log of a killed writer is recovered first (a read-only
// connection cannot do that and then fails to read at all).
inline std::vector<std::string> RawColumn(const std::string& file, const std::string& sql, bool recover = false) {
    std::vector<std::string> out;
    sqlite3* db = nullptr;
    if (sqlite3_open_v2(file.c_str(), &db, recover ? SQLITE_OPEN_READWRITE : SQLITE_OPEN_READONLY, nullptr) ==
        SQLITE_OK) {
        sqlite3_busy_timeout(db, 5000);
        sqlite3_stmt* stmt = nullptr;
        if (sqlite3_prepare_v2(db, sql.c_str(), -1, &stmt, nullptr) == SQLITE_OK) {
            while (sqlite3_step(stmt) == SQLITE_ROW) {
                const unsigned char* text = sqlite3_column_text(stmt, 0);
                out.emplace_back(text ? reinterpret_cast<const char*>(text) : "");
            }
        }
        sqlite3_finalize(stmt);
    }
    sqlite3_close(db);
    return out;
}

}  // namespace calyra::test
