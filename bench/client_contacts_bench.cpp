// What the client's contact commands cost at an address book's scale:
// `contacts list`, `contacts export` and `contacts import` run in this
// process through the client's own entry point (RunClient, as the program
// runs them: session, component through CoCreateInstance, output), on
// generated contacts with two phone numbers and one e-mail address each.
// In the same run raw SQLite reads the same rows (the contacts of the
// profile and their detail rows, every column copied out) or writes them
// (prepared INSERTs in one transaction into the same empty database), and
// the summary prints client / raw. The growth rows compare 5,000 with
// 20,000 contacts for list and export: a linear path grows 4x.
//
// Times are CPU seconds of the whole process (the component runs
// in-process; an import parses and plans its cards on two more threads),
// the median of the iterations; the import also reports wall-clock time,
// what a person waits for.
//
// Run: build/bin/calyra_bench_client_contacts   (RelWithDebInfo; a few minutes)
#include <benchmark/benchmark.h>
#include <sqlite3.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include <unistd.h>

#include "bench_support.h"
#include "cli/command_context.h"
#include "client_bench_support.h"
#include "commands/run_client.h"
#include "interchange/vcard_writer.h"

namespace {

namespace ix = calyra::interchange;
using calyra::bench::Median;
using calyra::bench::Summary;
using calyra::bench::ThreadCpuSeconds;

constexpr int kSmall = 5000;
constexpr int kLarge = 20000;

std::filesystem::path g_dir;
std::map<std::string, double> g_clientMs;  // median client CPU ms by row, for the growth lines

// Runs one client command line in this process; its output is dropped.
bool Client(std::vector<std::string> args, size_t* outputBytes = nullptr) {
    args.insert(args.begin(), "calyra");
    std::vector<const char*> argv;
    for (const auto& a : args) argv.push_back(a.c_str());
    std::ostringstream out, err;
    const int status = calyra::cli::RunClient(static_cast<int>(argv.size()), argv.data(), &out, &err);
    if (outputBytes) *outputBytes = out.str().size();
    if (status != 0) std::fprintf(stderr, "calyra %s: %s\n", args[1].c_str(), err.str().c_str());
    return status == 0;
}

// The vCard file of the first `count` generated contacts.
std::string CardFile(int count) {
    const auto path = g_dir / ("contacts-" + std::to_string(count) + ".vcf");
    if (!std::filesystem::exists(path)) {
        std::vector<ix::ContactCard> cards;
        for (int n = 0; n < count; ++n) cards.push_back(calyra::bench::BenchCard(n));
        std::ofstream(path, std::ios::binary) << ix::WriteVCards(cards, ix::VCardVersion::V3);
    }
    return path.string();
}

// A new database with one profile, made by the client.
std::string EmptyDatabase(const std::string& name) {
    const auto path = g_dir / name;
    std::filesystem::remove(path);
    if (!Client({"--db", path.string(), "profiles", "add", "Bench"})) return {};
    return path.string();
}

// A database holding `count` contacts, imported once and reused.
std::string FilledDatabase(int count) {
    static std::map<int, std::string> made;
    if (auto it = made.find(count); it != made.end()) return it->second;
    const std::string file = EmptyDatabase("filled-" + std::to_string(count) + ".db");
    if (file.empty() || !Client({"--db", file, "contacts", "import", CardFile(count)})) return {};
    return made[count] = file;
}

// ---- The raw side ----------------------------------------------------------

class Raw {
public:
    explicit Raw(const std::string& file) {
        if (sqlite3_open_v2(file.c_str(), &m_db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX, nullptr) != SQLITE_OK)
            return;
        for (const char* pragma : {"PRAGMA journal_mode = WAL;", "PRAGMA case_sensitive_like = 1;",
                                   "PRAGMA synchronous = OFF;", "PRAGMA temp_store = MEMORY;"})
            sqlite3_exec(m_db, pragma, nullptr, nullptr, nullptr);
        m_ok = true;
    }
    ~Raw() { sqlite3_close_v2(m_db); }
    bool ok() const { return m_ok; }

    // Steps the query and keeps every column's text, as a client holding
    // the rows would; returns the row count or -1.
    long Read(const char* sql, std::vector<std::string>* kept) {
        sqlite3_stmt* stmt = nullptr;
        if (sqlite3_prepare_v2(m_db, sql, -1, &stmt, nullptr) != SQLITE_OK) return -1;
        long rows = 0;
        const int columns = sqlite3_column_count(stmt);
        while (sqlite3_step(stmt) == SQLITE_ROW) {
            for (int c = 0; c < columns; ++c) {
                const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(stmt, c));
                kept->emplace_back(text ? text : "");
            }
            ++rows;
        }
        sqlite3_finalize(stmt);
        return rows;
    }

    // The contacts of profile 1 with their phones and e-mails (list), and
    // with every other detail family and the memberships (export).
    bool ReadProfile(bool everything, int expected) {
        static const char* const kList[] = {
            "SELECT [ContactID], [Title], [Suffix], [LastName], [FirstName], [MiddleName], [NickName], "
            "[SpouseName], [BirthDate], [Anniversary], [CompanyName], [Department], [JobTitle], [Description], "
            "[Ringtone], [Photo], [MessageAlert], [Modified] FROM [tContact] WHERE [ProfileID] = '1';",
            "SELECT [ContactID], [PhoneNumberID], [LocationType], [PhoneNumberType], [PhoneNumber], [PrimaryFlag] "
            "FROM [tPhoneNumber] WHERE [ContactID] IN (SELECT [ContactID] FROM [tContact] WHERE [ProfileID] = '1');",
            "SELECT [ContactID], [EmailID], [LocationType], [Email], [PrimaryFlag] FROM [tEmail] WHERE [ContactID] "
            "IN (SELECT [ContactID] FROM [tContact] WHERE [ProfileID] = '1');"};
        static const char* const kMore[] = {
            "SELECT [ContactID], [AddressID], [LocationType], [Country], [State], [City], [Street], [ZipCode], "
            "[PrimaryFlag] FROM [tAddress] WHERE [ContactID] IN (SELECT [ContactID] FROM [tContact] WHERE "
            "[ProfileID] = '1');",
            "SELECT [ContactID], [WebUrlID], [LocationType], [WebUrl], [PrimaryFlag] FROM [tWebUrl] WHERE "
            "[ContactID] IN (SELECT [ContactID] FROM [tContact] WHERE [ProfileID] = '1');",
            "SELECT [ContactID], [IMID], [LocationType], [Address], [Protocol], [PrimaryFlag] FROM [tIM] WHERE "
            "[ContactID] IN (SELECT [ContactID] FROM [tContact] WHERE [ProfileID] = '1');",
            "SELECT [tContactGroupMap].[ContactID], [tContactGroup].[ContactGroupID], "
            "[tContactGroup].[ContactGroupName] FROM [tContactGroupMap], [tContactGroup] WHERE "
            "[tContactGroupMap].[ContactGroupID] = [tContactGroup].[ContactGroupID] AND "
            "[tContactGroup].[ProfileID] = '1';"};
        std::vector<std::string> kept;
        kept.reserve(static_cast<size_t>(expected) * 30);
        if (Read(kList[0], &kept) != expected) return false;
        for (size_t i = 1; i < std::size(kList); ++i)
            if (Read(kList[i], &kept) < 0) return false;
        if (everything)
            for (const char* sql : kMore)
                if (Read(sql, &kept) < 0) return false;
        benchmark::DoNotOptimize(kept.data());
        return true;
    }

    // The rows an import of the cards stores, in one transaction.
    bool Insert(const std::vector<ix::ContactCard>& cards) {
        const char* const kSql[] = {
            "INSERT INTO [tContact] ([ProfileID], [Title], [Suffix], [LastName], [FirstName], [MiddleName], "
            "[NickName], [SpouseName], [BirthDate], [Anniversary], [CompanyName], [Department], [JobTitle], "
            "[Description], [Ringtone], [Photo], [MessageAlert], [Modified]) VALUES('1', '0', '0', ?, ?, '', '', "
            "'', '1899-12-30 00:00:00', '1899-12-30 00:00:00', ?, '', ?, '', '', '', '', ?);",
            ("INSERT INTO [tPhoneNumber] ([ContactID], [LocationType], [PhoneNumberType], [PhoneNumber], "
             "[PrimaryFlag]) VALUES(?, ?, ?, ?, ?);"),
            "INSERT INTO [tEmail] ([ContactID], [LocationType], [Email], [PrimaryFlag]) VALUES(?, ?, ?, ?);"};
        sqlite3_stmt* stmts[3] = {};
        bool ok = sqlite3_exec(m_db, "BEGIN IMMEDIATE;", nullptr, nullptr, nullptr) == SQLITE_OK;
        for (int i = 0; ok && i < 3; ++i) ok = sqlite3_prepare_v2(m_db, kSql[i], -1, &stmts[i], nullptr) == SQLITE_OK;
        auto run = [&](sqlite3_stmt* s, std::initializer_list<std::string> values) {
            sqlite3_reset(s);
            int i = 1;
            for (const auto& v : values) sqlite3_bind_text(s, i++, v.c_str(), -1, SQLITE_TRANSIENT);
            return sqlite3_step(s) == SQLITE_DONE;
        };
        const std::string now = "2026-01-01 00:00:00";
        for (const auto& c : cards) {
            if (!ok) break;
            ok = run(stmts[0], {c.familyName, c.givenName, c.organization, c.title, now});
            const std::string id = std::to_string(sqlite3_last_insert_rowid(m_db));
            for (const auto& p : c.phones)
                ok = ok &&
                     run(stmts[1], {id, p.place == ix::Place::Work ? "1" : "0",
                                    p.kind == ix::PhoneKind::Mobile ? "0" : "3", p.number, p.preferred ? "1" : "0"});
            for (const auto& e : c.emails) ok = ok && run(stmts[2], {id, "1", e.text, e.preferred ? "1" : "0"});
        }
        for (auto* s : stmts) sqlite3_finalize(s);
        return sqlite3_exec(m_db, ok ? "COMMIT;" : "ROLLBACK;", nullptr, nullptr, nullptr) == SQLITE_OK && ok;
    }

    // The same rows as statement texts compiled one by one, as a client of
    // the connection sends them (values quoted in the text): the floor of
    // any import through the component's operations.
    bool InsertTexts(const std::vector<ix::ContactCard>& cards) {
        auto quoted = [](const std::string& text) {
            std::string out = "'";
            for (char c : text) out += c == '\'' ? std::string("''") : std::string(1, c);
            return out + "'";
        };
        auto exec = [&](const std::string& sql) {
            sqlite3_stmt* s = nullptr;
            const bool done =
                sqlite3_prepare_v2(m_db, sql.c_str(), -1, &s, nullptr) == SQLITE_OK && sqlite3_step(s) == SQLITE_DONE;
            sqlite3_finalize(s);
            return done;
        };
        bool ok = exec("BEGIN IMMEDIATE;");
        const std::string now = "'2026-01-01 00:00:00'";
        for (const auto& c : cards) {
            if (!ok) break;
            ok = exec(
                "INSERT INTO [tContact] ([ProfileID], [Title], [Suffix], [LastName], [FirstName], [MiddleName], "
                "[NickName], [SpouseName], [BirthDate], [Anniversary], [CompanyName], [Department], [JobTitle], "
                "[Description], [Ringtone], [Photo], [MessageAlert], [Modified]) VALUES('1', '0', '0', " +
                quoted(c.familyName) + ", " + quoted(c.givenName) +
                ", '', '', '', '1899-12-30 00:00:00', '1899-12-30 00:00:00', " + quoted(c.organization) + ", '', " +
                quoted(c.title) + ", '', '', '', '', " + now + ");");
            const std::string id = "'" + std::to_string(sqlite3_last_insert_rowid(m_db)) + "'";
            for (const auto& p : c.phones)
                ok = ok && exec(
                               "INSERT INTO [tPhoneNumber] ([ContactID], [LocationType], [PhoneNumberType], "
                               "[PhoneNumber], [PrimaryFlag]) VALUES(" +
                               id + ", '" + (p.place == ix::Place::Work ? "1" : "0") + "', '" +
                               (p.kind == ix::PhoneKind::Mobile ? "0" : "3") + "', " + quoted(p.number) + ", '" +
                               (p.preferred ? "1" : "0") + "');");
            for (const auto& e : c.emails)
                ok = ok && exec("INSERT INTO [tEmail] ([ContactID], [LocationType], [Email], [PrimaryFlag]) VALUES(" +
                                id + ", '1', " + quoted(e.text) + ", '" + (e.preferred ? "1" : "0") + "');");
        }
        return exec(ok ? "COMMIT;" : "ROLLBACK;") && ok;
    }

private:
    sqlite3* m_db = nullptr;
    bool m_ok = false;
};

// ---- The benchmarks --------------------------------------------------------

// Times `run` against raw SQLite reading the profile of `file` (`count`
// contacts; every detail family too when `everything`) and records `row`;
// the client's CPU seconds of each turn, or none when a side failed.
std::vector<double> AgainstReadingTheProfile(benchmark::State& state, const std::string& file, int count,
                                             bool everything, const std::function<bool()>& run,
                                             const std::string& row) {
    std::vector<double> client, raw;
    int turn = 0;
    for (auto _ : state) {
        double clientSeconds = 0, rawSeconds = 0;
        const bool ok = calyra::bench::TimeBothSides(
            turn++, run,
            [&] {
                Raw db(file);
                return db.ok() && db.ReadProfile(everything, count);
            },
            clientSeconds, rawSeconds);
        if (!ok) {
            state.SkipWithError("a side failed");
            return {};
        }
        client.push_back(clientSeconds);
        raw.push_back(rawSeconds);
    }
    Summary().Record(state, row, "ms", client, raw, 1e3);
    return client;
}

// Client and raw reading `count` contacts: list (phones and e-mails) or
// export (everything, written as vCard 3.0).
void ReadBenchmark(benchmark::State& state, const char* command, int count) {
    const std::string file = FilledDatabase(count);
    if (file.empty()) return state.SkipWithError("cannot fill the database");
    const std::vector<double> client = AgainstReadingTheProfile(
        state, file, count, std::string(command) == "export",
        [&] {
            size_t bytes = 0;
            return Client({"--db", file, "--json", "contacts", command}, &bytes) && bytes > 0;
        },
        std::string("contacts ") + command + " " + std::to_string(count) + " (ms)");
    if (!client.empty()) g_clientMs[std::string(command) + std::to_string(count)] = Median(client) * 1e3;
}

// Client import of 20,000 vCards against raw SQLite inserting the same
// rows: with prepared statements (`texts` false), or with a statement text
// compiled per row as the component's operations do (`texts` true).
void ImportBenchmark(benchmark::State& state, bool texts) {
    const std::string cardFile = CardFile(kLarge);
    std::vector<ix::ContactCard> cards;
    for (int n = 0; n < kLarge; ++n) cards.push_back(calyra::bench::BenchCard(n));
    std::vector<double> client, raw, clientWall, rawWall;
    int turn = 0;
    for (auto _ : state) {
        state.PauseTiming();
        const std::string clientFile = EmptyDatabase("import-client.db");
        const std::string rawFile = EmptyDatabase("import-raw.db");
        state.ResumeTiming();
        if (clientFile.empty() || rawFile.empty()) return state.SkipWithError("cannot make the databases");
        double clientSeconds = 0, rawSeconds = 0;
        const bool ok = calyra::bench::TimeBothSides(
            turn++,
            [&] {
                const double t0 = calyra::bench::WallSeconds();
                const bool done = Client({"--db", clientFile, "contacts", "import", cardFile});
                clientWall.push_back(calyra::bench::WallSeconds() - t0);
                return done;
            },
            [&] {
                const double t0 = calyra::bench::WallSeconds();
                Raw db(rawFile);
                const bool done = db.ok() && (texts ? db.InsertTexts(cards) : db.Insert(cards));
                rawWall.push_back(calyra::bench::WallSeconds() - t0);
                return done;
            },
            clientSeconds, rawSeconds);
        if (!ok) return state.SkipWithError("a side failed");
        client.push_back(clientSeconds);
        raw.push_back(rawSeconds);
    }
    // What a person waits for: the parsing thread runs beside the inserts. Recorded
    // first, so the benchmark's ratio counter stays the CPU one.
    if (!texts) Summary().Record(state, "contacts import 20000, wall clock (ms)", "wall_ms", clientWall, rawWall, 1e3);
    Summary().Record(state, texts ? "contacts import 20000, raw per-row texts (ms)" : "contacts import 20000 (ms)",
                     "ms", client, raw, 1e3);
}

// Client import of the same 20,000 vCards into the file that holds them
// (every card matches a stored contact, nothing is written) against raw
// SQLite reading that profile: the import looks each batch's candidates up
// by their keys instead of reading the profile.
void ReimportBenchmark(benchmark::State& state) {
    const std::string file = FilledDatabase(kLarge);
    if (file.empty()) return state.SkipWithError("cannot fill the database");
    const std::string cardFile = CardFile(kLarge);
    AgainstReadingTheProfile(
        state, file, kLarge, false,
        [&] {
            return Client({"--db", file, "contacts", "import", cardFile});
        },
        "contacts import 20000 again (ms)");
}

int Repetitions() {
    const char* text = std::getenv("CALYRA_BENCH_REPS");
    return text ? std::max(1, std::atoi(text)) : 5;
}

}  // namespace

int main(int argc, char** argv) {
    // A private scratch directory and registry store, so nothing reaches the
    // user's own component registration or trace viewer.
    calyra::bench::ScratchDirectory scratch;
    if (!scratch.ok()) return 1;
    g_dir = scratch.path();
    scratch.KeepRegistryHere();
    const int reps = Repetitions();
    for (const char* command : {"list", "export"})
        for (int count : {kSmall, kLarge})
            calyra::bench::Register(
                (std::string("contacts_") + command + "/" + std::to_string(count)).c_str(), reps,
                [command, count](benchmark::State& state) { ReadBenchmark(state, command, count); });
    calyra::bench::Register("contacts_import/20000", reps,
                            [](benchmark::State& state) { ImportBenchmark(state, false); });
    calyra::bench::Register("contacts_import_texts/20000", reps,
                            [](benchmark::State& state) { ImportBenchmark(state, true); });
    calyra::bench::Register("contacts_reimport/20000", reps, [](benchmark::State& state) { ReimportBenchmark(state); });
    const int status = calyra::bench::RunAndSummarise(argc, argv, "client / raw SQLite, CPU ms (median):");
    for (const char* command : {"list", "export"}) {
        const double small = g_clientMs[command + std::to_string(kSmall)];
        const double large = g_clientMs[command + std::to_string(kLarge)];
        if (small > 0 && large > 0)
            std::printf("growth of contacts %s, %d -> %d contacts: %.2fx (linear: 4x)\n", command, kSmall, kLarge,
                        large / small);
    }
    return status;
}
