// ResultSet: the whole result of one query, read out of SQLite at query time.
//
// Every field is kept as SQLite hands it out, zero-terminated UTF-8 in one
// byte arena addressed by a table of offsets (row-major); SQL NULL and empty
// text share the arena's leading zero byte. A field becomes UTF-16 only when
// it is read, into a buffer the result set reuses for every read. Because
// nothing refers back to SQLite, the result set keeps delivering its rows
// while other statements, deletes in the table it was read from included,
// run on the same connection.
//
// Why UTF-8 and conversion on read: the UTF-16 arena this replaces decoded
// every field at query time, so a result set cost twice the text's bytes
// (most stored text is ASCII) and paid for decoding columns nobody read.
// Measured with calyra_bench_calendar (GetAllEvents of 50,000 events, every
// field read, CPU time against raw SQLite in the same run): peak memory of
// the run 127.6 MiB before, 82.5 MiB after; time ratio 1.00 before, 1.02
// after (within the run-to-run noise of this 2-core machine). The connection
// benchmark's read ratio moved from 0.95 to 1.04, also within its noise.
//
// The arena, the offsets and the read buffer travel in a ResultStorage that
// outlives the result set: the engine hands the storage of a freed result
// set to the next query, which then neither faults in fresh pages nor
// regrows its arena. Ownership: the engine's result-set registry owns each
// ResultSet; the text Field returns points into the read buffer and stays
// valid until the next Field call or until the result set is destroyed or
// its storage taken back. Thread-safety: none of its own; the registry
// serialises access.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "platform/types.h"

struct sqlite3_stmt;

namespace calyra::engine {

// The memory of a result set, reusable by the next one.
struct ResultStorage {
    // The texts in UTF-8, each followed by a zero byte; byte 0 is the shared
    // empty text. Grown by hand so new room is never zero-filled first.
    std::unique_ptr<char[]> arena;
    size_t capacity = 0;                 // bytes allocated in arena
    std::vector<std::uint32_t> offsets;  // one per field, row-major
    // The last field read, as UTF-16 with a terminator.
    std::unique_ptr<char16_t[]> field;
    size_t fieldCapacity = 0;  // units allocated in field

    // Memory held, in bytes.
    size_t Bytes() const {
        return capacity + offsets.capacity() * sizeof(std::uint32_t) + fieldCapacity * sizeof(char16_t);
    }
};

class ResultSet {
public:
    ResultSet(const ResultSet&) = delete;
    ResultSet& operator=(const ResultSet&) = delete;

    // Steps the prepared statement to its end and keeps every row, in the
    // given storage (taken over on success, left with the caller on
    // failure). Returns NULL when a step fails or the result outgrows what
    // the interface can count (LONG rows) or address (32-bit offsets). The
    // caller finalises the statement either way. Throws std::bad_alloc.
    static std::unique_ptr<ResultSet> Read(sqlite3_stmt* stmt, ResultStorage& storage);

    // Gives the memory back for reuse; the result set is empty afterwards.
    ResultStorage TakeStorage();

    LONG RowCount() const { return m_rows; }
    LONG ColumnCount() const { return m_columns; }

    bool IsEOF() const { return m_current >= m_rows; }
    void Reset() { m_current = 0; }
    // Moves one row on; false when already past the last row.
    bool NextRow();
    // The text of a column of the current row as UTF-16; an empty text when
    // the column or the position is out of range. Never NULL; valid until
    // the next call. Throws std::bad_alloc.
    const char16_t* Field(LONG column);

private:
    ResultSet() = default;
    // Appends n bytes of UTF-8 plus a terminator; false when the arena would
    // pass what a 32-bit offset can address.
    bool AppendText(const unsigned char* utf8, size_t n);

    LONG m_rows = 0;
    LONG m_columns = 0;
    LONG m_current = 0;  // 0 .. m_rows; m_rows means past the last row
    ResultStorage m_storage;
    size_t m_arenaSize = 0;  // bytes of m_storage.arena in use
};

}  // namespace calyra::engine
