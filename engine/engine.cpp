// The engine's nine operations and its row cursors: the handle table, the
// result-set registry and the C entry points over Database and ResultSet.
//
// Handle numbers count up from 0 and are never given out twice, so a stale
// handle can only ever miss, never reach a database opened later. Result-set
// IDs are a process-wide serial number scrambled by a bijective mix with a
// per-process random key: unique, never 0, and a value a client did not get
// from DbQuery (garbage, a freed ID, an ID of another handle) finds no entry
// and is refused without being followed. No exception crosses the C
// boundary: out of memory reads as the operation's failure result.
#include "engine/engine.h"

#include <sqlite3.h>

#include <algorithm>
#include <cstdint>
#include <limits>
#include <memory>
#include <mutex>
#include <random>
#include <unordered_map>
#include <utility>
#include <vector>

#include "engine/cursor.h"
#include "engine/database.h"
#include "engine/result_set.h"
#include "engine/text_encoding.h"

namespace calyra::engine {
namespace {

constexpr char16_t kEmptyText[1] = {0};

// Storage of freed result sets kept for the next queries: a few, and none
// so large that keeping it would hold on to memory a client would miss.
constexpr size_t kSpareStorages = 2;
constexpr size_t kMaxSpareStorageBytes = size_t{16} << 20;

// A statement a cursor steps; finalised when the last user lets go of it.
class Cursor {
public:
    Cursor(std::shared_ptr<Database> db, sqlite3_stmt* stmt) : m_db(std::move(db)), m_stmt(stmt) {}
    ~Cursor() { m_db->CloseCursor(m_stmt); }
    Cursor(const Cursor&) = delete;
    Cursor& operator=(const Cursor&) = delete;

    LONG Read(LONG maxRows, DbRowSink sink, void* context) { return m_db->ReadCursor(m_stmt, maxRows, sink, context); }

private:
    std::shared_ptr<Database> m_db;  // Constant after construction.
    sqlite3_stmt* m_stmt;            // Constant after construction; used under the database's lock.
};

// What a slot names: a result set, or a cursor (the other member empty).
struct OpenResultSet {
    LONG handle;  // the database handle DbQuery or DbOpenCursor made it on
    std::unique_ptr<ResultSet> rows;
    // Shared so that a read in progress keeps it alive, outside the
    // registry's lock, while another thread closes the handle.
    std::shared_ptr<Cursor> cursor;
};

// Process-wide state of the engine: the open databases, the live result
// sets and the spare result-set storage. One mutex guards all three; it is
// held only for lookups and bookkeeping, never while SQLite runs, so
// queries on different handles proceed in parallel.
class Registry {
public:
    std::shared_ptr<Database> FindDatabase(LONG handle) {
        std::lock_guard lock(m_mutex);
        auto it = m_databases.find(handle);
        return it == m_databases.end() ? nullptr : it->second;
    }

    // -1 once every handle number has been used.
    LONG AddDatabase(std::shared_ptr<Database> db) {
        std::lock_guard lock(m_mutex);
        if (m_nextHandle == std::numeric_limits<LONG>::max()) return -1;
        LONG handle = m_nextHandle++;
        m_databases.emplace(handle, std::move(db));
        return handle;
    }

    // Takes the database out of the table with every result set made on it;
    // the caller destroys both outside the lock.
    std::shared_ptr<Database> RemoveDatabase(LONG handle, std::vector<OpenResultSet>& orphans) {
        std::lock_guard lock(m_mutex);
        auto it = m_databases.find(handle);
        if (it == m_databases.end()) return nullptr;
        std::shared_ptr<Database> db = std::move(it->second);
        m_databases.erase(it);
        for (auto rs = m_resultSets.begin(); rs != m_resultSets.end();) {
            if (rs->second.handle == handle) {
                orphans.push_back(std::move(rs->second));
                rs = m_resultSets.erase(rs);
            } else {
                ++rs;
            }
        }
        return db;
    }

    // Registers a result set or cursor of a database that is still open; 0
    // when the database was closed while the query ran (the entry is then
    // left with the caller).
    std::uint64_t AddResultSet(const Database* db, OpenResultSet& entry) {
        std::lock_guard lock(m_mutex);
        auto it = m_databases.find(entry.handle);
        if (it == m_databases.end() || it->second.get() != db) return 0;
        std::uint64_t id;
        do {
            id = Scramble(m_nextSerial++);
        } while (id == 0);
        m_resultSets.emplace(id, std::move(entry));
        return id;
    }

    // False when the slot names nothing of this handle.
    bool RemoveResultSet(LONG handle, std::uint64_t id, OpenResultSet& removed) {
        std::lock_guard lock(m_mutex);
        auto it = m_resultSets.find(id);
        if (it == m_resultSets.end() || it->second.handle != handle) return false;
        removed = std::move(it->second);
        m_resultSets.erase(it);
        return true;
    }

    std::shared_ptr<Cursor> FindCursor(LONG handle, const LONGLONG* pVM) {
        if (!pVM || *pVM == 0) return nullptr;
        std::lock_guard lock(m_mutex);
        auto it = m_resultSets.find(static_cast<std::uint64_t>(*pVM));
        if (it == m_resultSets.end() || it->second.handle != handle) return nullptr;
        return it->second.cursor;
    }

    // Storage for the next query: a spare one when there is one.
    ResultStorage TakeSpareStorage() {
        std::lock_guard lock(m_mutex);
        if (m_spare.empty()) return {};
        ResultStorage storage = std::move(m_spare.back());
        m_spare.pop_back();
        return storage;
    }

    // Keeps the storage for a later query when there is room; otherwise it
    // (or a smaller spare it displaces) is handed back to be freed outside
    // the lock. The spares stay sorted by size, so the next query gets the
    // largest.
    ResultStorage KeepSpareStorage(ResultStorage storage) {
        if (storage.capacity == 0 || storage.Bytes() > kMaxSpareStorageBytes) return storage;
        std::lock_guard lock(m_mutex);
        ResultStorage evicted;
        if (m_spare.size() < kSpareStorages) {
            m_spare.push_back(std::move(storage));
        } else if (m_spare.front().capacity < storage.capacity) {
            evicted = std::exchange(m_spare.front(), std::move(storage));
        } else {
            return storage;
        }
        std::sort(m_spare.begin(), m_spare.end(),
                  [](const ResultStorage& a, const ResultStorage& b) { return a.capacity < b.capacity; });
        return evicted;
    }

    // Runs op on the live result set the slot names, under the lock (the
    // operations are a few instructions each); returns fallback when the
    // slot names none of this handle's result sets.
    template <class Op, class R>
    R WithResultSet(LONG handle, const LONGLONG* pVM, R fallback, Op op) {
        if (!pVM || *pVM == 0) return fallback;
        std::lock_guard lock(m_mutex);
        auto it = m_resultSets.find(static_cast<std::uint64_t>(*pVM));
        if (it == m_resultSets.end() || it->second.handle != handle || !it->second.rows) return fallback;
        return op(*it->second.rows);
    }

private:
    // The finaliser of SplitMix64: a bijection on 64-bit values, so distinct
    // serial numbers give distinct IDs.
    std::uint64_t Scramble(std::uint64_t serial) const {
        std::uint64_t z = serial + m_key;
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
        return z ^ (z >> 31);
    }

    std::mutex m_mutex;
    std::unordered_map<LONG, std::shared_ptr<Database>> m_databases;  // Guarded by m_mutex.
    std::unordered_map<std::uint64_t, OpenResultSet> m_resultSets;    // Guarded by m_mutex.
    std::vector<ResultStorage> m_spare;                               // Guarded by m_mutex.
    LONG m_nextHandle = 0;                                            // Guarded by m_mutex.
    std::uint64_t m_nextSerial = 1;                                   // Guarded by m_mutex.
    const std::uint64_t m_key = MakeKey();                            // Constant after construction.

    static std::uint64_t MakeKey() noexcept {
        static const int anchor = 0;
        std::uint64_t key = reinterpret_cast<std::uintptr_t>(&anchor);  // differs per run under ASLR
        try {
            std::random_device device;
            key ^= (std::uint64_t{device()} << 32) | device();
        } catch (...) {
            // The address alone still keeps IDs from being small numbers.
        }
        return key;
    }
};

// Never destroyed: clients may still call the engine from their own static
// destructors at exit.
Registry& TheRegistry() {
    static Registry* registry = new Registry;
    return *registry;
}

}  // namespace
}  // namespace calyra::engine

using calyra::engine::Cursor;
using calyra::engine::Database;
using calyra::engine::OpenResultSet;
using calyra::engine::ResultSet;
using calyra::engine::ResultStorage;
using calyra::engine::TheRegistry;

extern "C" {

LONG DbOpen(const OLECHAR* pszFile) {
    try {
        std::shared_ptr<Database> db = Database::Open(calyra::AsU16(pszFile));
        if (!db) return -1;
        return TheRegistry().AddDatabase(std::move(db));
    } catch (...) {
        return -1;
    }
}

LONG DbClose(LONG hDb) {
    try {
        std::vector<OpenResultSet> orphans;
        std::shared_ptr<Database> db = TheRegistry().RemoveDatabase(hDb, orphans);
        if (!db) return -1;
        for (OpenResultSet& orphan : orphans)
            if (orphan.rows) TheRegistry().KeepSpareStorage(orphan.rows->TakeStorage());
        orphans.clear();  // finalises the cursors' statements before the close
        // Another thread may still be inside a call on this database; Close
        // waits for it, and its later calls find the connection closed.
        db->Close();
        return 0;
    } catch (...) {
        return -1;
    }
}

LONG DbExecute(LONG hDb, const OLECHAR* pszSQL, LONGLONG* pRowID) {
    try {
        std::shared_ptr<Database> db = TheRegistry().FindDatabase(hDb);
        if (!db) return -1;
        return db->Execute(calyra::AsU16(pszSQL), pRowID);
    } catch (...) {
        return -1;
    }
}

LONG DbQuery(LONG hDb, const OLECHAR* pszSQL, LONG* plRow, LONG* plColumn, LONGLONG* pVM) {
    if (!plRow || !plColumn || !pVM) return -1;
    try {
        std::shared_ptr<Database> db = TheRegistry().FindDatabase(hDb);
        if (!db) return -1;
        ResultStorage storage = TheRegistry().TakeSpareStorage();
        std::unique_ptr<ResultSet> rows = db->Query(calyra::AsU16(pszSQL), storage);
        if (!rows) {
            TheRegistry().KeepSpareStorage(std::move(storage));
            return -1;
        }
        LONG rowCount = rows->RowCount();
        LONG columnCount = rows->ColumnCount();
        OpenResultSet entry{hDb, std::move(rows), nullptr};
        std::uint64_t id = TheRegistry().AddResultSet(db.get(), entry);
        if (id == 0) {
            TheRegistry().KeepSpareStorage(entry.rows->TakeStorage());
            return -1;
        }
        *plRow = rowCount;
        *plColumn = columnCount;
        *pVM = static_cast<LONGLONG>(id);
        return 0;
    } catch (...) {
        return -1;
    }
}

LONG DbReset(LONG hDb, LONGLONG* pVM) {
    return TheRegistry().WithResultSet(hDb, pVM, LONG{1}, [](ResultSet& rs) {
        rs.Reset();
        return LONG{0};
    });
}

BOOL DbIsEOF(LONG hDb, LONGLONG* pVM) {
    return TheRegistry().WithResultSet(hDb, pVM, BOOL{TRUE},
                                       [](ResultSet& rs) { return rs.IsEOF() ? BOOL{TRUE} : BOOL{FALSE}; });
}

LONG DbNextRow(LONG hDb, LONGLONG* pVM) {
    return TheRegistry().WithResultSet(hDb, pVM, LONG{1},
                                       [](ResultSet& rs) { return rs.NextRow() ? LONG{0} : LONG{1}; });
}

const OLECHAR* DbGetFieldValue(LONG hDb, LONGLONG* pVM, LONG lField) {
    const OLECHAR* empty = calyra::AsOle(calyra::engine::kEmptyText);
    return TheRegistry().WithResultSet(hDb, pVM, empty, [lField, empty](ResultSet& rs) {
        try {
            return calyra::AsOle(rs.Field(lField));
        } catch (...) {
            return empty;  // no room to convert the text: read as empty, like a bad slot
        }
    });
}

LONG DbFreeResultset(LONG hDb, LONGLONG* pVM) {
    if (!pVM) return -1;
    if (*pVM == 0) return 0;  // nothing to free, as after a failed query
    try {
        OpenResultSet removed{};
        if (!TheRegistry().RemoveResultSet(hDb, static_cast<std::uint64_t>(*pVM), removed)) return -1;
        *pVM = 0;
        if (removed.rows) TheRegistry().KeepSpareStorage(removed.rows->TakeStorage());
        return 0;
    } catch (...) {
        return -1;
    }
}

LONG DbOpenCursor(LONG hDb, const OLECHAR* pszSQL, LONG* plColumn, LONGLONG* pVM) {
    if (!plColumn || !pVM) return -1;
    try {
        std::shared_ptr<Database> db = TheRegistry().FindDatabase(hDb);
        if (!db) return -1;
        sqlite3_stmt* stmt = db->OpenCursor(calyra::AsU16(pszSQL));
        if (!stmt) return -1;
        LONG columnCount = sqlite3_column_count(stmt);
        std::shared_ptr<Cursor> cursor;
        try {
            cursor = std::make_shared<Cursor>(db, stmt);
        } catch (...) {
            db->CloseCursor(stmt);
            throw;
        }
        OpenResultSet entry{hDb, nullptr, std::move(cursor)};
        std::uint64_t id = TheRegistry().AddResultSet(db.get(), entry);
        if (id == 0) return -1;
        *plColumn = columnCount;
        *pVM = static_cast<LONGLONG>(id);
        return 0;
    } catch (...) {
        return -1;
    }
}

LONG DbReadCursor(LONG hDb, LONGLONG* pVM, LONG lMaxRows, DbRowSink sink, void* context) {
    try {
        std::shared_ptr<Cursor> cursor = TheRegistry().FindCursor(hDb, pVM);
        if (!cursor) return -1;
        return cursor->Read(lMaxRows, sink, context);
    } catch (...) {
        return -1;
    }
}

LONG DbDecodeText(const char* text, LONG bytes, OLECHAR* out) {
    if (!text || !out || bytes <= 0) return 0;
    return static_cast<LONG>(calyra::engine::DecodeUtf8(reinterpret_cast<const unsigned char*>(text),
                                                        static_cast<size_t>(bytes), calyra::AsU16(out)));
}

}  // extern "C"
