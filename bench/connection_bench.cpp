// What the connection (CPimDbAccess over the engine library) adds to writes
// and reads compared with a client calling SQLite directly.
//
// Every iteration does the same work three times: through IPimDbAccess,
// through the engine library alone and through raw SQLite, each
// on a file of its own (which side goes first rotates), with the same
// pragmas and journal mode on every file. Each side is timed in CPU time of
// the thread and the counters give the median microseconds per row of each
// side and the ratios to raw SQLite, so the figures hold up on a machine
// busy with other work. Writes insert contact-sized rows into a
// table shaped like [tContact], one INSERT per row; reads run the contact
// list query and copy every field into a 2049-unit buffer. One variant per
// journal mode considered; "default" is the mode the engine picks itself.
//
// Run: build/bin/calyra_bench_connection
//      (--benchmark_filter=default for the engine's own mode only)
// The last line reads "write ratio: X, read ratio: Y" for the default mode.
#include <benchmark/benchmark.h>
#include <sqlite3.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include <time.h>
#include <unistd.h>

#include "core/pim_db_access.h"
#include "engine/engine.h"
#include "platform/bstr.h"
#include "platform/com_ptr.h"

namespace {

using calyra::Bstr;
using calyra::ComPtr;

constexpr int kWriteRowsPerIteration = 50;
constexpr int kReadRows = 1000;
constexpr ULONG kFieldBufferUnits = 2049;  // the access objects' scratch buffer

const char16_t* const kPragmas[] = {u"PRAGMA case_sensitive_like = 1;", u"PRAGMA synchronous = OFF;",
                                    u"PRAGMA temp_store = MEMORY;"};

const char16_t kCreateContact[] =
    u"CREATE TABLE [tContact] (\n"
    u"[ContactID] INTEGER  PRIMARY KEY AUTOINCREMENT NOT NULL,\n"
    u"[ProfileID] INTEGER  NOT NULL,\n"
    u"[Title] INTEGER  NULL,\n"
    u"[Suffix] INTEGER  NULL,\n"
    u"[LastName] VARCHAR(64)  NULL,\n"
    u"[FirstName] VARCHAR(64)  NULL,\n"
    u"[MiddleName] VARCHAR(64)  NULL,\n"
    u"[NickName] VARCHAR(64)  NULL,\n"
    u"[SpouseName] VARCHAR(64)  NULL,\n"
    u"[BirthDate] DATE  NULL,\n"
    u"[Anniversary] DATE  NULL,\n"
    u"[CompanyName] VARCHAR(64)  NULL,\n"
    u"[Department] VARCHAR(64)  NULL,\n"
    u"[JobTitle] VARCHAR(64)  NULL,\n"
    u"[Description] VARCHAR(1024)  NULL,\n"
    u"[Ringtone] VARCHAR(522)  NULL,\n"
    u"[Photo] VARCHAR(522)  NULL,\n"
    u"[MessageAlert] VARCHAR(522)  NULL,\n"
    u"[Modified] TIMESTAMP  NULL\n"
    u");";

const char16_t kContactListQuery[] =
    u"SELECT [ContactID], [Title], [Suffix], [LastName], [FirstName], [MiddleName], [NickName], [SpouseName], "
    u"[BirthDate], [Anniversary], [CompanyName], [Department], [JobTitle], [Description], [Ringtone], [Photo], "
    u"[MessageAlert], [Modified] FROM [tContact] WHERE [ProfileID] = '1';";

std::u16string U16(const std::string& s) { return calyra::Utf8ToUtf16(s); }

// The INSERT of the n-th contact: texts of the sizes a phone book holds.
std::u16string ContactInsert(int n) {
    static const char* const kLast[] = {"Lindqvist", "O''Brien", "Müller-Lüdenscheidt", "Nakamura", "García"};
    static const char* const kFirst[] = {"Zoë", "Patrick", "Hans-Jürgen", "Haruto", "Lucía"};
    std::string i = std::to_string(n);
    std::string last = kLast[n % 5];
    std::string first = kFirst[n % 5];
    std::string sql =
        "INSERT INTO [tContact] ([ProfileID], [Title], [Suffix], [LastName], [FirstName], [MiddleName], "
        "[NickName], [SpouseName], [BirthDate], [Anniversary], [CompanyName], [Department], [JobTitle], "
        "[Description], [Ringtone], [Photo], [MessageAlert], [Modified]) VALUES('1', '" +
        std::to_string(n % 7) + "', '" + std::to_string(n % 3) + "', '" + last + i + "', '" + first + "', 'Anne', '" +
        first.substr(0, 2) + "', 'Alex Dupont', '1984-03-" + std::to_string(10 + n % 18) +
        " 00:00:00', '2009-06-20 00:00:00', 'Northwind Traders " + i + "', 'Purchasing', 'Senior Buyer', " +
        "'Met at the spring fair; prefers e-mail in the morning, calls after four. Birthday card every March. #" + i +
        "', 'C:\\Users\\owner\\Music\\Ringtones\\marimba-" + i + ".mp3', 'C:\\Users\\owner\\Pictures\\Contacts\\" +
        last + "-" + i + ".jpg', 'C:\\Users\\owner\\Music\\Alerts\\chime-" + std::to_string(n % 9) +
        ".wav', '2010-11-11 08:15:42');";
    return U16(sql);
}

// CPU time of the calling thread (user and system). Wall-clock time on a
// machine shared with other work charges whole time slices of other
// processes to whichever side happened to run; CPU time does not.
double ThreadCpuSeconds() {
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
}

// A raw SQLite client: the same flags as the engine, UTF-16 texts.
class RawDb {
public:
    explicit RawDb(const std::filesystem::path& file) {
        if (sqlite3_open_v2(file.c_str(), &m_db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX,
                            nullptr) != SQLITE_OK)
            m_ok = false;
    }
    ~RawDb() { sqlite3_close_v2(m_db); }
    bool ok() const { return m_ok; }

    bool Exec(const std::u16string& sql) {
        sqlite3_stmt* stmt = nullptr;
        if (sqlite3_prepare16_v2(m_db, sql.c_str(), static_cast<int>((sql.size() + 1) * 2), &stmt, nullptr) !=
            SQLITE_OK)
            return m_ok = false;
        int rc;
        while ((rc = sqlite3_step(stmt)) == SQLITE_ROW) {
        }
        sqlite3_finalize(stmt);
        if (rc != SQLITE_DONE) m_ok = false;
        m_lastId = sqlite3_last_insert_rowid(m_db);
        return m_ok;
    }

    // Reads every field of the query into the buffer; returns the rows.
    long ReadAll(const std::u16string& sql, char16_t* buffer, unsigned long& checksum) {
        sqlite3_stmt* stmt = nullptr;
        if (sqlite3_prepare16_v2(m_db, sql.c_str(), static_cast<int>((sql.size() + 1) * 2), &stmt, nullptr) !=
            SQLITE_OK)
            return -1;
        int columns = sqlite3_column_count(stmt);
        long rows = 0;
        while (sqlite3_step(stmt) == SQLITE_ROW) {
            for (int c = 0; c < columns; ++c) {
                auto text = static_cast<const char16_t*>(sqlite3_column_text16(stmt, c));
                size_t n = text ? static_cast<size_t>(sqlite3_column_bytes16(stmt, c)) / 2 : 0;
                n = std::min<size_t>(n, kFieldBufferUnits - 1);
                if (n) std::memcpy(buffer, text, n * sizeof(char16_t));
                buffer[n] = 0;
                checksum += buffer[0];
            }
            ++rows;
        }
        sqlite3_finalize(stmt);
        return rows;
    }

    std::string JournalMode() {
        sqlite3_stmt* stmt = nullptr;
        std::string mode;
        if (sqlite3_prepare_v2(m_db, "PRAGMA journal_mode", -1, &stmt, nullptr) == SQLITE_OK &&
            sqlite3_step(stmt) == SQLITE_ROW)
            mode = reinterpret_cast<const char*>(sqlite3_column_text(stmt, 0));
        sqlite3_finalize(stmt);
        return mode;
    }

private:
    sqlite3* m_db = nullptr;
    bool m_ok = true;
    sqlite3_int64 m_lastId = 0;
};

// The engine library called directly, without the connection object: shows
// which part of the connection's cost is the engine's.
class EngineDb {
public:
    explicit EngineDb(const std::filesystem::path& file) : m_handle(DbOpen(U16(file.string()).c_str())) {}
    ~EngineDb() { DbClose(m_handle); }
    bool ok() const { return m_handle >= 0; }
    LONG handle() const { return m_handle; }
    bool Exec(const std::u16string& sql) { return DbExecute(m_handle, sql.c_str(), nullptr) != -1; }

private:
    LONG m_handle;
};

// The connection as a client holds it.
class Connection {
public:
    explicit Connection(const std::filesystem::path& file) {
        if (calyra::CreateComInstance<calyra::CPimDbAccess>(nullptr, IID_IPimDbAccess,
                                                            reinterpret_cast<void**>(&m_db)) != S_OK) {
            m_ok = false;
            return;
        }
        LONG err = 0;
        m_ok = m_db->OpenPimDatabase(&err, Bstr(u""), Bstr(u""), Bstr::FromUtf8(file.string())) == S_OK;
    }
    ~Connection() {
        if (m_db) m_db->ClosePimDatabase(nullptr);
    }
    bool ok() const { return m_ok; }
    IPimDbAccess* get() const { return m_db.get(); }

    bool Exec(const std::u16string& sql) { return m_db->Execute(nullptr, Bstr(sql).get(), nullptr) == S_OK; }

    std::string JournalMode() {
        LONG rows = 0, columns = 0;
        LONGLONG vm = 0;
        std::string mode;
        if (m_db->Query(nullptr, Bstr(u"PRAGMA journal_mode").get(), &rows, &columns, &vm) == S_OK && rows == 1) {
            USHORT buffer[32];
            m_db->GetFieldValue(nullptr, &vm, 0, buffer, 32);
            for (int i = 0; buffer[i]; ++i) mode += static_cast<char>(buffer[i]);
        }
        m_db->FreeResultset(nullptr, &vm);
        return mode;
    }

private:
    ComPtr<IPimDbAccess> m_db;
    bool m_ok = true;
};

std::filesystem::path g_dir;
int g_fileSerial = 0;

struct Figures {
    double connUsPerRow = 0;
    double engineUsPerRow = 0;
    double rawUsPerRow = 0;
    double ratio = 0;        // connection / raw
    double engineRatio = 0;  // engine alone / raw
};
std::map<std::string, std::map<std::string, Figures>> g_figures;  // mode -> "write"/"read" -> figures

// A connection and a raw client on two new files, both with the system's
// pragmas and the journal mode under test ("" keeps the engine's choice,
// which the raw side then copies).
// Removes a database file and its companions once both clients are gone.
struct FileGuard {
    std::filesystem::path path;
    ~FileGuard() {
        std::error_code ec;
        for (const char* suffix : {"", "-journal", "-wal", "-shm"}) std::filesystem::remove(path.string() + suffix, ec);
    }
};

// A connection, the engine alone and a raw client on three new files, all
// with the system's pragmas and the journal mode under test ("" keeps the
// engine's choice, which the raw side then copies).
struct Pair {
    explicit Pair(const std::string& mode)
        : connFile{g_dir / ("conn-" + std::to_string(++g_fileSerial) + ".db")},
          engineFile{g_dir / ("engine-" + std::to_string(g_fileSerial) + ".db")},
          rawFile{g_dir / ("raw-" + std::to_string(g_fileSerial) + ".db")},
          conn(connFile.path),
          engine(engineFile.path),
          raw(rawFile.path) {
        if (!conn.ok() || !engine.ok() || !raw.ok()) return;
        if (!mode.empty() && !conn.Exec(U16("PRAGMA journal_mode = " + mode + ";"))) return;
        this->mode = conn.JournalMode();
        std::u16string journal = U16("PRAGMA journal_mode = " + this->mode + ";");
        if (!engine.Exec(journal) || !raw.Exec(journal)) return;
        for (const char16_t* pragma : kPragmas)
            if (!conn.Exec(pragma) || !engine.Exec(pragma) || !raw.Exec(pragma)) return;
        if (!conn.Exec(kCreateContact) || !engine.Exec(kCreateContact) || !raw.Exec(kCreateContact)) return;
        ok = raw.JournalMode() == this->mode;
    }
    // Declared first: the files go after the clients have closed them.
    FileGuard connFile, engineFile, rawFile;
    Connection conn;
    EngineDb engine;
    RawDb raw;
    std::string mode;
    bool ok = false;
};

// Seconds each side took in every iteration.
using SideTimes = std::vector<double>[3];

double Median(std::vector<double> v) {
    if (v.empty()) return 0;
    std::nth_element(v.begin(), v.begin() + v.size() / 2, v.end());
    return v[v.size() / 2];
}

// The medians of the iterations: a machine busy with other work slows a few
// iterations of one side, which a sum would charge to that side.
void Record(benchmark::State& state, const std::string& label, const char* kind, const SideTimes& times,
            double rowsPerIteration) {
    double conn = Median(times[0]), engine = Median(times[1]), raw = Median(times[2]);
    Figures f;
    f.connUsPerRow = conn / rowsPerIteration * 1e6;
    f.engineUsPerRow = engine / rowsPerIteration * 1e6;
    f.rawUsPerRow = raw / rowsPerIteration * 1e6;
    f.ratio = raw > 0 ? conn / raw : 0;
    f.engineRatio = raw > 0 ? engine / raw : 0;
    state.counters["conn_us_row"] = f.connUsPerRow;
    state.counters["engine_us_row"] = f.engineUsPerRow;
    state.counters["raw_us_row"] = f.rawUsPerRow;
    state.counters["ratio"] = f.ratio;
    state.counters["engine_ratio"] = f.engineRatio;
    g_figures[label][kind] = f;
}

// Runs the three sides, each timed on its own, starting with a
// different side every iteration so that none always runs on a cold cache.
template <class Conn, class Engine, class Raw>
void RunSides(int iteration, SideTimes& times, Conn&& conn, Engine&& engine, Raw&& raw) {
    for (int k = 0; k < 3; ++k) {
        int side = (iteration + k) % 3;
        double t0 = ThreadCpuSeconds();
        if (side == 0)
            conn();
        else if (side == 1)
            engine();
        else
            raw();
        times[side].push_back(ThreadCpuSeconds() - t0);
    }
}

void BM_Write(benchmark::State& state, const std::string& label, const std::string& mode) {
    Pair pair(mode);
    if (!pair.ok) {
        state.SkipWithError("could not set up the files");
        return;
    }
    state.SetLabel(pair.mode);
    SideTimes times;
    int iteration = 0;
    std::vector<Bstr> connSql;
    std::vector<std::u16string> sql;
    for (auto _ : state) {
        state.PauseTiming();
        connSql.clear();
        sql.clear();
        for (int i = 0; i < kWriteRowsPerIteration; ++i) {
            sql.push_back(ContactInsert(iteration * kWriteRowsPerIteration + i));
            connSql.emplace_back(sql.back());
        }
        state.ResumeTiming();
        RunSides(
            iteration, times,
            [&] {
                for (const Bstr& text : connSql) {
                    BSTR id = nullptr;
                    if (pair.conn.get()->Execute(nullptr, text.get(), &id) != S_OK)
                        state.SkipWithError("Execute failed");
                    SysFreeString(id);
                }
            },
            [&] {
                for (const std::u16string& text : sql) {
                    LONGLONG id = 0;
                    if (DbExecute(pair.engine.handle(), text.c_str(), &id) == -1)
                        state.SkipWithError("DbExecute failed");
                }
            },
            [&] {
                for (const std::u16string& text : sql)
                    if (!pair.raw.Exec(text)) state.SkipWithError("raw insert failed");
            });
        ++iteration;
    }
    Record(state, label, "write", times, kWriteRowsPerIteration);
}

void BM_Read(benchmark::State& state, const std::string& label, const std::string& mode) {
    Pair pair(mode);
    if (!pair.ok) {
        state.SkipWithError("could not set up the files");
        return;
    }
    state.SetLabel(pair.mode);
    // One transaction per file: filling is not what is measured.
    bool filled = pair.conn.Exec(u"BEGIN;") && pair.engine.Exec(u"BEGIN;") && pair.raw.Exec(u"BEGIN;");
    for (int i = 0; i < kReadRows && filled; ++i) {
        std::u16string sql = ContactInsert(i);
        filled = pair.conn.Exec(sql) && pair.engine.Exec(sql) && pair.raw.Exec(sql);
    }
    if (!filled || !pair.conn.Exec(u"COMMIT;") || !pair.engine.Exec(u"COMMIT;") || !pair.raw.Exec(u"COMMIT;")) {
        state.SkipWithError("could not fill the files");
        return;
    }
    Bstr query(kContactListQuery);
    std::u16string rawQuery(kContactListQuery);
    std::vector<char16_t> buffer(kFieldBufferUnits);
    auto* fieldBuffer = reinterpret_cast<USHORT*>(buffer.data());
    unsigned long checksum = 0;
    SideTimes times;
    int iteration = 0;
    for (auto _ : state) {
        RunSides(
            iteration, times,
            [&] {
                IPimDbAccess* db = pair.conn.get();
                LONG rowCount = 0, columnCount = 0;
                LONGLONG vm = 0;
                if (db->Query(nullptr, query.get(), &rowCount, &columnCount, &vm) != S_OK || rowCount != kReadRows)
                    state.SkipWithError("Query failed");
                for (LONG r = 0; r < rowCount; ++r) {
                    for (LONG c = 0; c < columnCount; ++c) {
                        db->GetFieldValue(nullptr, &vm, c, fieldBuffer, kFieldBufferUnits);
                        checksum += fieldBuffer[0];
                    }
                    db->NextRow(nullptr, &vm);
                }
                db->FreeResultset(nullptr, &vm);
            },
            [&] {
                LONG h = pair.engine.handle();
                LONG rowCount = 0, columnCount = 0;
                LONGLONG vm = 0;
                if (DbQuery(h, rawQuery.c_str(), &rowCount, &columnCount, &vm) == -1 || rowCount != kReadRows)
                    state.SkipWithError("DbQuery failed");
                for (LONG r = 0; r < rowCount; ++r) {
                    for (LONG c = 0; c < columnCount; ++c) {
                        const OLECHAR* text = DbGetFieldValue(h, &vm, c);
                        size_t n = 0;
                        while (n + 1 < kFieldBufferUnits && text[n]) ++n;
                        std::memcpy(buffer.data(), text, n * sizeof(char16_t));
                        buffer[n] = 0;
                        checksum += buffer[0];
                    }
                    DbNextRow(h, &vm);
                }
                DbFreeResultset(h, &vm);
            },
            [&] {
                if (pair.raw.ReadAll(rawQuery, buffer.data(), checksum) != kReadRows)
                    state.SkipWithError("raw read failed");
            });
        ++iteration;
    }
    benchmark::DoNotOptimize(checksum);
    Record(state, label, "read", times, kReadRows);
}

}  // namespace

int main(int argc, char** argv) {
    // Keep the connection's trace texts away from a viewer on the user's desktop.
    std::string desktop = "calyra-bench-" + std::to_string(getpid());
    setenv("CALYRA_DESKTOP", desktop.c_str(), 1);

    std::string pattern = (std::filesystem::temp_directory_path() / "calyra-bench-XXXXXX").string();
    if (!mkdtemp(pattern.data())) {
        std::perror("mkdtemp");
        return 1;
    }
    g_dir = pattern;

    const std::pair<std::string, std::string> modes[] = {
        {"default", ""}, {"DELETE", "DELETE"}, {"TRUNCATE", "TRUNCATE"}, {"PERSIST", "PERSIST"}, {"WAL", "WAL"}};
    for (const auto& [label, mode] : modes) {
        benchmark::RegisterBenchmark(("Write/" + label).c_str(), BM_Write, label, mode)
            ->UseRealTime()
            ->Unit(benchmark::kMillisecond)
            ->MinTime(0.5);
        benchmark::RegisterBenchmark(("Read/" + label).c_str(), BM_Read, label, mode)
            ->UseRealTime()
            ->Unit(benchmark::kMillisecond)
            ->MinTime(0.3);
    }

    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();

    std::printf(
        "\nCPU microseconds per row: connection / engine alone / raw SQLite (connection ratio, engine ratio)\n");
    for (const auto& [label, kinds] : g_figures) {
        for (const auto& [kind, f] : kinds)
            std::printf("%-9s %-5s %8.2f / %8.2f / %8.2f  (%.2f, %.2f)\n", label.c_str(), kind.c_str(), f.connUsPerRow,
                        f.engineUsPerRow, f.rawUsPerRow, f.ratio, f.engineRatio);
    }
    auto it = g_figures.find("default");
    if (it != g_figures.end() && it->second.count("write") && it->second.count("read"))
        std::printf("write ratio: %.2f, read ratio: %.2f\n", it->second["write"].ratio, it->second["read"].ratio);

    std::error_code ec;
    std::filesystem::remove_all(g_dir, ec);
    return 0;
}
