// Reading a whole query result into one UTF-8 arena, and handing out its
// fields as UTF-16 one at a time.
#include "engine/result_set.h"

#include <sqlite3.h>

#include <algorithm>
#include <cstring>
#include <limits>

#include "engine/text_encoding.h"

namespace calyra::engine {
namespace {

constexpr char16_t kEmptyText[1] = {0};
constexpr size_t kInitialArenaBytes = 8192;
constexpr size_t kInitialFieldUnits = 256;
constexpr size_t kMaxArenaBytes = std::numeric_limits<std::uint32_t>::max();

}  // namespace

std::unique_ptr<ResultSet> ResultSet::Read(sqlite3_stmt* stmt, ResultStorage& storage) {
    std::unique_ptr<ResultSet> rs(new ResultSet);
    rs->m_storage = std::move(storage);
    ResultStorage& mem = rs->m_storage;
    if (mem.capacity == 0) {
        mem.arena = std::make_unique_for_overwrite<char[]>(kInitialArenaBytes);
        mem.capacity = kInitialArenaBytes;
    }
    mem.offsets.clear();
    mem.arena[0] = 0;
    rs->m_arenaSize = 1;
    rs->m_columns = sqlite3_column_count(stmt);

    bool ok = true;
    for (;;) {
        int rc = sqlite3_step(stmt);
        if (rc == SQLITE_DONE) break;
        if (rc != SQLITE_ROW || rs->m_rows == std::numeric_limits<LONG>::max()) {
            ok = false;
            break;
        }
        for (int c = 0; c < rs->m_columns && ok; ++c) {
            if (sqlite3_column_type(stmt, c) == SQLITE_NULL) {
                mem.offsets.push_back(0);
                continue;
            }
            // Asking for UTF-8 first and the length second is the order in
            // which SQLite keeps both valid.
            const unsigned char* text = sqlite3_column_text(stmt, c);
            int bytes = sqlite3_column_bytes(stmt, c);
            if (!text) {  // out of memory inside SQLite
                ok = false;
            } else if (bytes == 0) {
                mem.offsets.push_back(0);
            } else {
                mem.offsets.push_back(static_cast<std::uint32_t>(rs->m_arenaSize));
                ok = rs->AppendText(text, static_cast<size_t>(bytes));
            }
        }
        if (!ok) break;
        ++rs->m_rows;
    }
    if (!ok) {
        storage = rs->TakeStorage();
        return nullptr;
    }
    return rs;
}

ResultStorage ResultSet::TakeStorage() {
    m_rows = 0;
    m_columns = 0;
    m_current = 0;
    m_arenaSize = 0;
    return std::move(m_storage);
}

bool ResultSet::AppendText(const unsigned char* utf8, size_t n) {
    size_t needed = m_arenaSize + n + 1;
    if (needed > kMaxArenaBytes) return false;
    ResultStorage& mem = m_storage;
    if (needed > mem.capacity) {
        size_t capacity = std::min(std::max(needed, mem.capacity * 2), kMaxArenaBytes);
        auto grown = std::make_unique_for_overwrite<char[]>(capacity);
        std::memcpy(grown.get(), mem.arena.get(), m_arenaSize);
        mem.arena = std::move(grown);
        mem.capacity = capacity;
    }
    std::memcpy(mem.arena.get() + m_arenaSize, utf8, n);
    m_arenaSize += n;
    mem.arena[m_arenaSize++] = 0;
    return true;
}

bool ResultSet::NextRow() {
    if (m_current >= m_rows) return false;
    ++m_current;
    return true;
}

const char16_t* ResultSet::Field(LONG column) {
    if (column < 0 || column >= m_columns || m_current >= m_rows) return kEmptyText;
    size_t cell = static_cast<size_t>(m_current) * static_cast<size_t>(m_columns) + static_cast<size_t>(column);
    const char* text = m_storage.arena.get() + m_storage.offsets[cell];
    if (*text == 0) return kEmptyText;
    // A text with a zero byte inside reads up to it, as a zero-terminated
    // UTF-16 text of the whole value would have.
    size_t n = std::strlen(text);
    ResultStorage& mem = m_storage;
    if (MaxUtf16Units(n) + 1 > mem.fieldCapacity) {
        size_t capacity = std::max({MaxUtf16Units(n) + 1, mem.fieldCapacity * 2, kInitialFieldUnits});
        mem.field = std::make_unique_for_overwrite<char16_t[]>(capacity);
        mem.fieldCapacity = capacity;
    }
    size_t units = DecodeUtf8(reinterpret_cast<const unsigned char*>(text), n, mem.field.get());
    mem.field[units] = 0;
    return mem.field.get();
}

}  // namespace calyra::engine
