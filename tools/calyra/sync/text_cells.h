// A result set of the session's connection read a cell at a time, each
// text read whole, however long, without a buffer sized for the longest:
// the connection clears the whole buffer it is given past the text on
// every read, so a 2049-unit buffer cost a 4 KB clear per cell. A cell is
// read with a small buffer first and again with a larger one only when it
// filled it.
//
// Ownership: owns its result set and frees it when it goes; a text handed
// out is valid until the next read. Thread-safety: one thread, like the
// session's connection.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "idl/calyra_idl.h"
#include "tables/sql_text.h"

namespace calyra::sync {

class TextCells {
public:
    // Runs `sql`; throws ClientError (`what`) when it fails.
    TextCells(IPimDbAccess* db, const SqlText& sql, const char* what);
    ~TextCells();
    TextCells(const TextCells&) = delete;
    TextCells& operator=(const TextCells&) = delete;

    size_t rows() const { return m_rows; }
    size_t columns() const { return m_columns; }
    // Cell `column` of the current row as its UTF-16 units.
    std::u16string_view units(LONG column);
    // The same as UTF-8, a string of its own length (a sync holds many).
    std::string text(LONG column);
    void next();

private:
    IPimDbAccess* m_db;
    LONGLONG m_vm = 0;
    size_t m_rows = 0, m_columns = 0;
    std::vector<USHORT> m_buffer;
    std::string m_utf8;
};

}  // namespace calyra::sync
