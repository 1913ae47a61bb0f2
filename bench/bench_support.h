// What the benchmark programs share: every one of them sets an access object
// of the component against a client that runs the same statement texts on
// SQLite itself, in the same process and the same run, and prints the
// ratios.
//
// The pieces: CPU time of the calling thread and the median of samples;
// a scratch directory (which also keeps trace texts away from a viewer on
// the user's desktop); the component's side, a connection (CPimDbAccess)
// with the system's pragmas and schema that hands out bound access objects;
// the raw side, a sqlite3 handle with the same open flags, pragmas, schema
// and journal mode, which walks a query by stepping it and copying every
// column into a 2049-unit buffer (the access objects' scratch buffer),
// keeping a BSTR of every text column as a client holding the records
// would; the alternating timing of both sides; and the table of figures
// printed as the summary.
//
// Each side is timed in CPU time of the thread, the sides taking turns at
// going first, so a machine busy with other work does not charge its time
// slices to one side.
//
// Ownership: ComponentConnection owns its connection and closes the file
// when destroyed; the access objects it hands out are the caller's.
// RawDatabase and RawStatement own their SQLite handles. Thread-safety:
// none; a benchmark program runs on one thread.
#pragma once

#include <benchmark/benchmark.h>
#include <sqlite3.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include <sys/resource.h>
#include <time.h>
#include <unistd.h>

#include "core/pim_db_access.h"
#include "management/schema_statements.h"
#include "management/schema_upgrade.h"
#include "platform/bstr.h"
#include "platform/com_ptr.h"
#include "tables/value_conversions.h"

namespace calyra::bench {

// Units of the access objects' scratch buffer: what one field may fill.
inline constexpr ULONG kFieldBufferUnits = 2049;

// CPU time of the calling thread (user and system). Wall-clock time on a
// machine shared with other work charges whole time slices of other
// processes to whichever side happened to run; CPU time does not.
inline double ThreadCpuSeconds() {
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
}

// CPU time of every thread of the process: what TimeBothSides charges, so
// work a side hands to another thread (the vCard import parses on a second
// one) is still counted.
inline double ProcessCpuSeconds() {
    timespec ts{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
}

inline double WallSeconds() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
}

inline double Median(std::vector<double> v) {
    if (v.empty()) return 0;
    std::nth_element(v.begin(), v.begin() + static_cast<std::ptrdiff_t>(v.size() / 2), v.end());
    return v[v.size() / 2];
}

// Peak resident memory of the process so far, in MiB.
inline double PeakMemoryMiB() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_maxrss) / 1024.0;  // ru_maxrss is in KiB
}

inline std::u16string U16(const std::string& s) { return Utf8ToUtf16(s); }

inline std::u16string Decimal(long long value) { return U16(std::to_string(value)); }

// The text with every ' doubled, as the component writes text values.
inline std::u16string Quoted(std::u16string_view text) {
    std::u16string out;
    out.reserve(text.size());
    for (char16_t c : text) {
        if (c == u'\'') out += u'\'';
        out += c;
    }
    return out;
}

// "YYYY-MM-DD hh:mm:ss", the date text the component writes.
inline std::u16string DateText(DATE date) {
    OLECHAR text[kValueTextUnits];
    DateToText(date, text, kValueTextUnits);
    return text;
}

// The current UTC time as date text, what every write stamps.
inline std::u16string NowText() { return DateText(GetNowDate()); }

// A directory of its own under the system's temporary directory, removed
// with everything in it when the object goes. Also points CALYRA_DESKTOP at
// a desktop of this process, so trace texts reach no viewer of the user.
class ScratchDirectory {
public:
    ScratchDirectory() {
        std::string desktop = "calyra-bench-" + std::to_string(getpid());
        setenv("CALYRA_DESKTOP", desktop.c_str(), 1);
        std::string pattern = (std::filesystem::temp_directory_path() / "calyra-bench-XXXXXX").string();
        if (!mkdtemp(pattern.data())) {
            std::perror("mkdtemp");
            return;
        }
        m_path = pattern;
    }
    ~ScratchDirectory() {
        if (m_path.empty()) return;
        std::error_code ec;
        std::filesystem::remove_all(m_path, ec);
    }
    ScratchDirectory(const ScratchDirectory&) = delete;
    ScratchDirectory& operator=(const ScratchDirectory&) = delete;

    bool ok() const { return !m_path.empty(); }
    const std::filesystem::path& path() const { return m_path; }
    // Points CALYRA_REGISTRY at a store in this directory, for the programs
    // that register the component: the user's own registration stays as it is.
    void KeepRegistryHere() const { setenv("CALYRA_REGISTRY", (m_path / "registry").c_str(), 1); }

private:
    std::filesystem::path m_path;  // Constant after construction; empty when it could not be made.
};

// The component's side: a connection on the file with the pragmas applied
// and the schema brought to the current version, as the management object
// leaves it after an open.
class ComponentConnection {
public:
    explicit ComponentConnection(const std::filesystem::path& file) {
        if (CreateComInstance<CPimDbAccess>(nullptr, IID_IPimDbAccess, reinterpret_cast<void**>(&m_db)) != S_OK) return;
        if (m_db->OpenPimDatabase(nullptr, nullptr, nullptr, Bstr::FromUtf8(file.string())) != S_OK) {
            m_db.Reset();
            return;
        }
        OptimizePimDatabasePerformance(m_db.get());
        UpdatePimDatabase(m_db.get());
    }
    ~ComponentConnection() { Close(); }
    ComponentConnection(const ComponentConnection&) = delete;
    ComponentConnection& operator=(const ComponentConnection&) = delete;

    bool ok() const { return static_cast<bool>(m_db); }
    IPimDbAccess* db() const { return m_db.get(); }

    // Closes the file (access objects still holding the connection then
    // fail their calls). The engine leaves a closed file in the rollback
    // journal mode, so it can be copied as it is.
    void Close() {
        if (m_db) m_db->ClosePimDatabase(nullptr);
        m_db.Reset();
    }

    // A new access object of class `Class` bound to this connection and
    // profile 1, as the management object hands them out; empty on failure.
    template <class Class, class Itf>
    ComPtr<Itf> Bind(REFIID iid) const {
        ComPtr<Itf> access;
        if (!m_db || CreateComInstance<Class>(nullptr, iid, reinterpret_cast<void**>(&access)) != S_OK) return {};
        if (access->SetPimDbAccess(nullptr, m_db.get()) != S_OK || access->SetProfileID(nullptr, Bstr(u"1")) != S_OK)
            return {};
        return access;
    }

    // The journal mode the engine chose for the file.
    std::u16string JournalMode() const {
        if (!m_db) return {};
        LONG rows = 0, columns = 0;
        LONGLONG vm = 0;
        std::u16string mode;
        if (m_db->Query(nullptr, Bstr(u"PRAGMA journal_mode;"), &rows, &columns, &vm) == S_OK && rows == 1) {
            USHORT buffer[32] = {};
            m_db->GetFieldValue(nullptr, &vm, 0, buffer, 32);
            for (int i = 0; i < 31 && buffer[i]; ++i) mode += static_cast<char16_t>(buffer[i]);
        }
        m_db->FreeResultset(nullptr, &vm);
        return mode;
    }

private:
    ComPtr<IPimDbAccess> m_db;  // Empty when the file could not be opened or after Close.
};

// One prepared statement of the raw side, finalized when the object goes.
class RawStatement {
public:
    RawStatement(sqlite3* db, const std::u16string& sql) {
        if (sqlite3_prepare16_v2(db, sql.c_str(), static_cast<int>(sql.size() * sizeof(char16_t)), &m_stmt, nullptr) !=
            SQLITE_OK) {
            sqlite3_finalize(m_stmt);
            m_stmt = nullptr;
        }
    }
    ~RawStatement() { sqlite3_finalize(m_stmt); }
    RawStatement(const RawStatement&) = delete;
    RawStatement& operator=(const RawStatement&) = delete;

    bool ok() const { return m_stmt != nullptr; }
    sqlite3_stmt* get() const { return m_stmt; }
    // True while there is a row.
    bool Step() { return sqlite3_step(m_stmt) == SQLITE_ROW; }

private:
    sqlite3_stmt* m_stmt = nullptr;  // NULL when the text did not compile.
};

// Copies one column of the statement's current row into the buffer of
// kFieldBufferUnits units, cut to fit as the connection cuts a field, and
// returns its length. The checksum keeps the copy from being optimised away.
inline size_t CopyColumn(sqlite3_stmt* stmt, int column, char16_t* buffer, unsigned long& checksum) {
    auto text = static_cast<const char16_t*>(sqlite3_column_text16(stmt, column));
    size_t n = text ? static_cast<size_t>(sqlite3_column_bytes16(stmt, column)) / sizeof(char16_t) : 0;
    n = std::min<size_t>(n, kFieldBufferUnits - 1);
    if (n) std::memcpy(buffer, text, n * sizeof(char16_t));
    buffer[n] = 0;
    checksum += buffer[0];
    return n;
}

// The BSTRs a raw walk keeps until it is done, as a client keeps the text
// fields of the records it holds.
class KeptTexts {
public:
    explicit KeptTexts(size_t expected = 0) { m_texts.reserve(expected); }
    ~KeptTexts() {
        for (BSTR b : m_texts) SysFreeString(b);
    }
    KeptTexts(const KeptTexts&) = delete;
    KeptTexts& operator=(const KeptTexts&) = delete;

    void Keep(const char16_t* text, size_t units) {
        m_texts.push_back(SysAllocStringLen(text, static_cast<UINT>(units)));
    }

private:
    std::vector<BSTR> m_texts;
};

// The raw side: SQLite called directly with the engine's open flags, the
// system's pragmas and the journal mode the engine chose; a new file also
// gets the schema and the version row.
class RawDatabase {
public:
    enum class Schema { Create, Existing };

    RawDatabase(const std::filesystem::path& file, const std::u16string& journalMode, Schema schema = Schema::Create) {
        if (journalMode.empty() ||
            sqlite3_open_v2(file.c_str(), &m_db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX,
                            nullptr) != SQLITE_OK)
            return;
        if (!Exec(u"PRAGMA journal_mode = " + journalMode + u";")) return;
        for (std::u16string_view sql : PragmaStatements())
            if (!Exec(std::u16string(sql))) return;
        if (schema == Schema::Create)
            for (auto list : {CreationStatements(), VersionStatements()})
                for (std::u16string_view sql : list)
                    if (!Exec(std::u16string(sql))) return;
        m_ok = true;
    }
    ~RawDatabase() { sqlite3_close_v2(m_db); }
    RawDatabase(const RawDatabase&) = delete;
    RawDatabase& operator=(const RawDatabase&) = delete;

    bool ok() const { return m_ok; }
    sqlite3* handle() const { return m_db; }

    // Runs one statement to its end.
    bool Exec(const std::u16string& sql) {
        RawStatement stmt(m_db, sql);
        if (!stmt.ok()) return false;
        int rc;
        while ((rc = sqlite3_step(stmt.get())) == SQLITE_ROW) {
        }
        return rc == SQLITE_DONE;
    }

    // The key of the row the last insert made, as decimal text.
    std::u16string LastInsertId() const { return Decimal(sqlite3_last_insert_rowid(m_db)); }

    // Steps the query, copying every column (as many as textColumns has
    // entries) into the buffer and keeping a BSTR of every column marked
    // as text until the walk is done. Returns the number of rows, -1 when
    // the query does not compile. `expectedRows` only sizes the BSTR list.
    long StepAndCopy(const std::u16string& query, std::span<const bool> textColumns, char16_t* buffer,
                     unsigned long& checksum, size_t expectedRows = 0) {
        RawStatement stmt(m_db, query);
        if (!stmt.ok()) return -1;
        KeptTexts kept(expectedRows * static_cast<size_t>(std::count(textColumns.begin(), textColumns.end(), true)));
        long rows = 0;
        const int columns = static_cast<int>(textColumns.size());
        while (stmt.Step()) {
            for (int c = 0; c < columns; ++c) {
                size_t n = CopyColumn(stmt.get(), c, buffer, checksum);
                if (textColumns[static_cast<size_t>(c)]) kept.Keep(buffer, n);
            }
            ++rows;
        }
        return rows;
    }

private:
    sqlite3* m_db = nullptr;
    bool m_ok = false;  // Constant after construction.
};

// What a query returns from a file, reduced to the row count and a hash of
// every column's type and text: equal digests of both sides' files show
// that the same statements left the same data behind.
struct QueryDigest {
    long rows = -1;  // -1 when the file or the query could not be read
    unsigned long long hash = 1469598103934665603ull;
    bool operator==(const QueryDigest&) const = default;
};

// Reads the file through a connection of its own, read-only, so it can
// look at a file another connection of the process has open.
inline QueryDigest DigestOf(const std::filesystem::path& file, const std::u16string& query) {
    QueryDigest digest;
    sqlite3* db = nullptr;
    if (sqlite3_open_v2(file.c_str(), &db, SQLITE_OPEN_READONLY | SQLITE_OPEN_NOMUTEX, nullptr) == SQLITE_OK) {
        RawStatement stmt(db, query);
        if (stmt.ok()) {
            auto mix = [&](unsigned long long unit) { digest.hash = (digest.hash ^ unit) * 1099511628211ull; };
            digest.rows = 0;
            const int columns = sqlite3_column_count(stmt.get());
            while (stmt.Step()) {
                for (int c = 0; c < columns; ++c) {
                    mix(static_cast<unsigned long long>(sqlite3_column_type(stmt.get(), c)));
                    auto text = static_cast<const char16_t*>(sqlite3_column_text16(stmt.get(), c));
                    size_t n = text ? static_cast<size_t>(sqlite3_column_bytes16(stmt.get(), c)) / 2 : 0;
                    for (size_t i = 0; i < n; ++i) mix(text[i]);
                    mix(0x10000);  // column separator, outside the UTF-16 unit range
                }
                ++digest.rows;
            }
        }
    }
    sqlite3_close_v2(db);
    return digest;
}

// Runs one turn of both sides, the component first on even turns, and adds
// each side's CPU time to its total. False as soon as a side fails.
template <class ComponentSide, class RawSide>
bool TimeBothSides(int turn, ComponentSide&& component, RawSide&& raw, double& componentSeconds, double& rawSeconds) {
    for (int k = 0; k < 2; ++k) {
        const bool componentSide = (turn + k) % 2 == 0;
        const double t0 = ProcessCpuSeconds();
        const bool ok = componentSide ? component() : raw();
        (componentSide ? componentSeconds : rawSeconds) += ProcessCpuSeconds() - t0;
        if (!ok) return false;
    }
    return true;
}

// The figures of the summary, in the order the benchmarks recorded them.
class FigureTable {
public:
    struct Figures {
        std::string name;
        double componentUs = 0, rawUs = 0, ratio = 0;
    };

    // Median CPU seconds of each side per iteration, divided by the units
    // an iteration did, as microseconds per unit; also set as the
    // benchmark's counters "component_us_<unit>", "raw_us_<unit>", "ratio".
    void Record(benchmark::State& state, const std::string& name, const std::string& unit,
                const std::vector<double>& component, const std::vector<double>& raw, double unitsPerIteration) {
        Figures f;
        f.name = name;
        f.componentUs = Median(component) / unitsPerIteration * 1e6;
        f.rawUs = Median(raw) / unitsPerIteration * 1e6;
        f.ratio = f.rawUs > 0 ? f.componentUs / f.rawUs : 0;
        state.counters["component_us_" + unit] = f.componentUs;
        state.counters["raw_us_" + unit] = f.rawUs;
        state.counters["ratio"] = f.ratio;
        auto same = std::find_if(m_rows.begin(), m_rows.end(), [&](const Figures& row) { return row.name == name; });
        if (same != m_rows.end())
            *same = f;
        else
            m_rows.push_back(f);
    }

    void Print(const char* heading) const {
        int width = 45;
        for (const Figures& f : m_rows) width = std::max(width, static_cast<int>(f.name.size()));
        std::printf("\n%s\n", heading);
        for (const Figures& f : m_rows)
            std::printf("%-*s %9.2f / %9.2f  (%.2f)\n", width, f.name.c_str(), f.componentUs, f.rawUs, f.ratio);
        std::printf("peak memory: %.1f MiB\n", PeakMemoryMiB());
    }

private:
    std::vector<Figures> m_rows;
};

// The program's one table of figures.
inline FigureTable& Summary() {
    static FigureTable table;
    return table;
}

// Registers a benchmark run a fixed number of times, on wall-clock time
// for Google Benchmark's own columns (the figures are CPU times of their
// own), reported in milliseconds.
template <class Function>
benchmark::internal::Benchmark* Register(const char* name, int iterations, Function&& function) {
    return benchmark::RegisterBenchmark(name, std::forward<Function>(function))
        ->Iterations(iterations)
        ->UseRealTime()
        ->Unit(benchmark::kMillisecond);
}

// Hands the command line to Google Benchmark, runs what is registered and
// prints the summary under `heading`. Returns the process status.
inline int RunAndSummarise(int argc, char** argv, const char* heading) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    Summary().Print(heading);
    return 0;
}

}  // namespace calyra::bench
