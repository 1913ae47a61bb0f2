// The engine's nine operations: the handle table, the result-set registry
// and the C entry points over Database and ResultSet.
//
// Handle numbers count up from 0 and are never given out twice, so a stale
// handle can only ever miss, never reach a database opened later. Result-set
// IDs are a process-wide serial number scrambled by a bijective mix with a
// per-process random key: unique, never 0, and a value a client did not get
// from DbQuery (garbage, a freed ID, an ID of another handle) finds no entry
// and is refused without being followed. No exception crosses the C
// boundary: out of memory reads as the operation's failure result.
#include "engine/engine.h"

#include <algorithm>
#include <cstdint>
#include <limits>
#include <memory>
#include <mutex>
#include <random>
#include <unordered_map>
#include <utility>
#include <vector>

#include "engine/database.h"
#include "engine/result_set.h"

namespace calyra::engine {
namespace {

constexpr char16_t kEmptyText[1] = {0};

// Storage of freed result sets kept for the next queries: a few, and none
// so large that keeping it would hold on to memory a client would miss.
constexpr size_t kSpareStorages = 2;
constexpr size_t kMaxSpareStorageBytes = size_t{16} << 20;

struct OpenResultSet {
    LONG handle;  // the database handle DbQuery made it on
    std::unique_ptr<ResultSet> rows;
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
    std::shared_ptr<Database> RemoveDatabase(LONG handle, std::vector<std::unique_ptr<ResultSet>>& orphans) {
        std::lock_guard lock(m_mutex);
        auto it = m_databases.find(handle);
        if (it == m_databases.end()) return nullptr;
        std::shared_ptr<Database> db = std::move(it->second);
        m_databases.erase(it);
        for (auto rs = m_resultSets.begin(); rs != m_resultSets.end();) {
            if (rs->second.handle == handle) {
                orphans.push_back(std::move(rs->second.rows));
                rs = m_resultSets.erase(rs);
            } else {
                ++rs;
            }
        }
        return db;
    }

    // Registers a result set of a database that is still open; 0 when the
    // database was closed while the query ran.
    std::uint64_t AddResultSet(LONG handle, const Database* db, std::unique_ptr<ResultSet>& rows) {
        std::lock_guard lock(m_mutex);
        auto it = m_databases.find(handle);
        if (it == m_databases.end() || it->second.get() != db) return 0;
        std::uint64_t id;
        do {
            id = Scramble(m_nextSerial++);
        } while (id == 0);
        m_resultSets.emplace(id, OpenResultSet{handle, std::move(rows)});
        return id;
    }

    std::unique_ptr<ResultSet> RemoveResultSet(LONG handle, std::uint64_t id) {
        std::lock_guard lock(m_mutex);
        auto it = m_resultSets.find(id);
        if (it == m_resultSets.end() || it->second.handle != handle) return nullptr;
        std::unique_ptr<ResultSet> rows = std::move(it->second.rows);
        m_resultSets.erase(it);
        return rows;
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
        if (it == m_resultSets.end() || it->second.handle != handle) return fallback;
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

using calyra::engine::Database;
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
        std::vector<std::unique_ptr<ResultSet>> orphans;
        std::shared_ptr<Database> db = TheRegistry().RemoveDatabase(hDb, orphans);
        if (!db) return -1;
        for (auto& rows : orphans) TheRegistry().KeepSpareStorage(rows->TakeStorage());
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
        std::uint64_t id = TheRegistry().AddResultSet(hDb, db.get(), rows);
        if (id == 0) {
            TheRegistry().KeepSpareStorage(rows->TakeStorage());
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
        std::unique_ptr<ResultSet> rows = TheRegistry().RemoveResultSet(hDb, static_cast<std::uint64_t>(*pVM));
        if (!rows) return -1;
        *pVM = 0;
        TheRegistry().KeepSpareStorage(rows->TakeStorage());
        return 0;
    } catch (...) {
        return -1;
    }
}

}  // extern "C"
