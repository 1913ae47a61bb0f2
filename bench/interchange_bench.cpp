// What importing address books and calendars costs: 10,000 contacts and
// 10,000 events go through the client's import glue (cards and calendar
// items into the component's records, through CoCreateInstance and the
// access objects, as `calyra contacts import` and `calyra events import`
// do), and in the same run the same rows go into a copy of the same empty
// database through raw SQLite (prepared INSERTs, one transaction per
// statement, as the component commits them). The ratio counter is glue /
// raw in CPU time of the thread; the readers (vCard and iCalendar text to
// items) are measured on their own.
//
// Run: build/bin/calyra_bench_interchange   (about 30-60 s)
#include <benchmark/benchmark.h>
#include <sqlite3.h>

#include <cstdio>
#include <ctime>
#include <filesystem>
#include <string>
#include <vector>

#include "bench_support.h"
#include "client_bench_support.h"
#include "import_export/calendar_items.h"
#include "import_export/contact_cards.h"
#include "import_export/import_report.h"
#include "interchange/ical_reader.h"
#include "interchange/ical_writer.h"
#include "interchange/vcard_reader.h"
#include "interchange/vcard_writer.h"
#include "platform/bstr.h"
#include "session/query_rows.h"
#include "session/session.h"

namespace {

namespace ix = calyra::interchange;
using calyra::bench::NewSession;
using calyra::bench::ThreadCpuSeconds;
using calyra::cli::Session;

constexpr int kItems = 10000;
constexpr int kGroups = 10;

std::filesystem::path g_dir;

// ---- The data: what an address book and a calendar export hold ------------

// The client benchmarks' contact, with what an exported address book adds.
ix::ContactCard MakeCard(int n) {
    const std::string i = std::to_string(n);
    ix::ContactCard c = calyra::bench::BenchCard(n);
    c.department = "Purchasing";
    c.note = "Met at the spring fair; prefers e-mail in the morning, calls after four. #" + i;
    c.birthday = ix::CardDate{1950 + n % 50, 1 + n % 12, 1 + n % 28};
    c.categories = {"Group " + std::to_string(n % kGroups)};
    return c;
}

constexpr ix::UtcSeconds kFirstStart = 1704103200;  // 2024-01-01T10:00:00Z

ix::CalendarItem MakeEvent(int n) {
    const std::string i = std::to_string(n);
    ix::CalendarItem e;
    e.uid = "bench-" + i + "@example.org";
    e.summary = "Meeting " + i;
    e.description = "Quarterly planning with the purchasing team; bring the figures. #" + i;
    e.location = "Room " + std::to_string(n % 40);
    e.start = kFirstStart + static_cast<ix::UtcSeconds>(n) * 3 * 3600;
    e.end = *e.start + 3600;
    e.busyStatus = "BUSY";
    e.alarmMinutes = 15;
    e.categories = {"Category " + std::to_string(n % 5)};
    if (n % 5 == 0) e.rrule = "FREQ=WEEKLY;COUNT=10;BYDAY=MO,WE";
    return e;
}

const std::vector<ix::ContactCard>& Cards() {
    static const std::vector<ix::ContactCard> cards = [] {
        std::vector<ix::ContactCard> out;
        for (int n = 0; n < kItems; ++n) out.push_back(MakeCard(n));
        return out;
    }();
    return cards;
}

const std::vector<calyra::cli::SourcedItem>& Events() {
    static const std::vector<calyra::cli::SourcedItem> items = [] {
        std::vector<calyra::cli::SourcedItem> out;
        for (int n = 0; n < kItems; ++n) out.push_back({"bench.ics", MakeEvent(n)});
        return out;
    }();
    return items;
}

// ---- The databases ---------------------------------------------------------

// The journal mode of the component's open file, asked through a
// connection of its own.
std::string JournalMode(Session& session) {
    auto rows = calyra::cli::QueryRows(session.connection(), u"PRAGMA journal_mode;");
    return rows.empty() || rows[0].empty() ? "DELETE" : rows[0][0];
}

std::string DateText(ix::UtcSeconds t) {
    const time_t seconds = static_cast<time_t>(t);
    tm parts{};
    gmtime_r(&seconds, &parts);
    char buf[80];
    std::snprintf(buf, sizeof buf, "%04d-%02d-%02d %02d:%02d:%02d", parts.tm_year + 1900, parts.tm_mon + 1,
                  parts.tm_mday, parts.tm_hour, parts.tm_min, parts.tm_sec);
    return buf;
}

// The raw side: the same empty database (made by the component, then
// closed), the component's connection settings, and prepared INSERTs that
// write the same rows.
class Raw {
public:
    // `journalMode` is what the component's engine uses while a file is
    // open (it switches back when it closes the file).
    Raw(const std::filesystem::path& file, const std::string& journalMode) {
        { NewSession(file); }  // schema and profile 1, then closed
        if (sqlite3_open_v2(file.c_str(), &m_db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX, nullptr) != SQLITE_OK)
            return;
        exec(("PRAGMA journal_mode = " + journalMode + ";").c_str());
        exec("PRAGMA case_sensitive_like = 1;");
        exec("PRAGMA synchronous = OFF;");
        exec("PRAGMA temp_store = MEMORY;");
    }
    ~Raw() {
        for (auto* s : m_statements) sqlite3_finalize(s);
        sqlite3_close(m_db);
    }
    bool ok() const { return m_db != nullptr; }

    bool addContact(const ix::ContactCard& c, const std::string& groupId) {
        static const char* sql =
            "INSERT INTO [tContact] ([ProfileID], [Title], [Suffix], [LastName], [FirstName], [MiddleName], "
            "[NickName], [SpouseName], [BirthDate], [Anniversary], [CompanyName], [Department], [JobTitle], "
            "[Description], [Ringtone], [Photo], [MessageAlert], [Modified]) VALUES('1', 0, 0, ?, ?, '', '', '', "
            "?, '1899-12-30 00:00:00', ?, ?, ?, ?, '', '', '', ?);";
        sqlite3_stmt* s = prepared(0, sql);
        char birthday[48];
        std::snprintf(birthday, sizeof birthday, "%04d-%02d-%02d 00:00:00", c.birthday->year, c.birthday->month,
                      c.birthday->day);
        const std::string now = DateText(std::time(nullptr));
        bind(s, {c.familyName.c_str(), c.givenName.c_str(), birthday, c.organization.c_str(), c.department.c_str(),
                 c.title.c_str(), c.note.c_str(), now.c_str()});
        if (!step(s)) return false;
        const std::string id = std::to_string(sqlite3_last_insert_rowid(m_db));
        for (const auto& p : c.phones) {
            sqlite3_stmt* phone =
                prepared(1,
                         "INSERT INTO [tPhoneNumber] ([ContactID], [LocationType], [PhoneNumberType], "
                         "[PhoneNumber], [PrimaryFlag]) VALUES(?, ?, ?, ?, ?);");
            const std::string location = p.place == ix::Place::Work ? "1" : "0";
            bind(phone, {id.c_str(), location.c_str(), p.kind == ix::PhoneKind::Mobile ? "0" : "3", p.number.c_str(),
                         p.preferred ? "1" : "0"});
            if (!step(phone)) return false;
        }
        for (const auto& e : c.emails) {
            sqlite3_stmt* mail = prepared(
                2, "INSERT INTO [tEmail] ([ContactID], [LocationType], [Email], [PrimaryFlag]) VALUES(?, '1', ?, ?);");
            bind(mail, {id.c_str(), e.text.c_str(), e.preferred ? "1" : "0"});
            if (!step(mail)) return false;
        }
        sqlite3_stmt* member =
            prepared(3, "INSERT INTO [tContactGroupMap] ([ContactGroupID], [ContactID]) VALUES (?, ?);");
        bind(member, {groupId.c_str(), id.c_str()});
        return step(member);
    }

    std::string addNamed(const char* table, const char* nameColumn, const std::string& name) {
        const std::string sql = std::string("INSERT INTO [") + table + "] ([ProfileID], [" + nameColumn +
                                "], [Modified]) VALUES('1', ?, ?);";
        sqlite3_stmt* s = nullptr;
        sqlite3_prepare_v2(m_db, sql.c_str(), -1, &s, nullptr);
        const std::string now = DateText(std::time(nullptr));
        bind(s, {name.c_str(), now.c_str()});
        const bool done = step(s);
        sqlite3_finalize(s);
        return done ? std::to_string(sqlite3_last_insert_rowid(m_db)) : "";
    }

    bool addEvent(const ix::CalendarItem& e, const std::string& categoryId) {
        static const char* sql =
            "INSERT INTO [tEvent] ([ProfileID], [OriginalEventID], [EventCategoryID], [Subject], [Description], "
            "[Location], [EventType], [EventStatus], [Availability], [StartDateTime], [EndDateTime], "
            "[AllDayEventFlag], [PrivateFlag], [Priority], [ReminderTime], [ReminderAudio], [TimeZone], "
            "[PatternOption], [DailyOption], [DailyEveryXDays], [DailyXUnitOfNewTask], [WeeklyOption], "
            "[WeeklyEveryXWeeks], [WeeklyDays], [WeeklyXUnitOfNewTask], [MonthlyOption], [MonthlyDayM], "
            "[MonthlyEveryXMonths], [MonthlyTheNth], [MonthlyDayN], [MonthlyEveryYMonths], [MonthlyXUnitOfNewTask], "
            "[YearlyOption], [YearlyEveryXYears], [YearlyEveryMonthM], [YearlyDayM], [YearlyTheNth], [YearlyDayN], "
            "[YearlyOfMonthN], [YearlyXUnitOfNewTask], [Start], [EndOption], [EndAfter], [EndBy], "
            "[OriginalStartTime], [Modified]) VALUES('1', '0', ?, ?, ?, ?, '0', '0', '2', ?, ?, '0', '0', '1', '15', "
            "'', '0', ?, '0', '0', '0', '0', ?, ?, '0', '0', '0', '0', '0', '0', '0', '0', '0', '0', '0', '0', '0', "
            "'0', '0', '0', ?, ?, ?, '1899-12-30 00:00:00', '1899-12-30 00:00:00', ?);";
        sqlite3_stmt* s = prepared(4, sql);
        const bool repeats = !e.rrule.empty();
        const std::string start = DateText(*e.start), end = DateText(*e.end), now = DateText(std::time(nullptr));
        const std::string seriesStart = repeats ? DateText(*e.start / 86400 * 86400) : "1899-12-30 00:00:00";
        bind(s, {categoryId.c_str(), e.summary.c_str(), e.description.c_str(), e.location.c_str(), start.c_str(),
                 end.c_str(), repeats ? "2" : "0", repeats ? "1" : "0", repeats ? "10" : "0", seriesStart.c_str(),
                 repeats ? "1" : "0", repeats ? "10" : "0", now.c_str()});
        return step(s);
    }

private:
    void exec(const char* sql) { sqlite3_exec(m_db, sql, nullptr, nullptr, nullptr); }
    sqlite3_stmt* prepared(size_t slot, const char* sql) {
        if (m_statements.size() <= slot) m_statements.resize(slot + 1, nullptr);
        if (!m_statements[slot]) sqlite3_prepare_v2(m_db, sql, -1, &m_statements[slot], nullptr);
        return m_statements[slot];
    }
    static void bind(sqlite3_stmt* s, std::initializer_list<const char*> values) {
        sqlite3_reset(s);
        int i = 1;
        for (const char* v : values) sqlite3_bind_text(s, i++, v, -1, SQLITE_TRANSIENT);
    }
    static bool step(sqlite3_stmt* s) { return sqlite3_step(s) == SQLITE_DONE; }

    sqlite3* m_db = nullptr;
    std::vector<sqlite3_stmt*> m_statements;
};

void Ratio(benchmark::State& state, double glue, double raw, const char* unit) {
    state.counters[std::string("glue_us_per_") + unit] = glue * 1e6 / kItems;
    state.counters[std::string("raw_us_per_") + unit] = raw * 1e6 / kItems;
    state.counters["ratio"] = raw > 0 ? glue / raw : 0;
}

// ---- The benchmarks --------------------------------------------------------

void BM_ImportContacts(benchmark::State& state) {
    for (auto _ : state) {
        state.PauseTiming();
        auto session = NewSession(g_dir / "glue-contacts.db");
        Raw raw(g_dir / "raw-contacts.db", JournalMode(*session));
        state.ResumeTiming();
        if (!session || !raw.ok()) return state.SkipWithError("cannot create the databases");

        double t = ThreadCpuSeconds();
        calyra::cli::ImportReport report("contacts");
        calyra::cli::ContactImporter importer(*session, report);
        importer.add(Cards(), "bench.vcf");
        importer.finish();
        const double glue = ThreadCpuSeconds() - t;
        if (report.importedCount() != kItems) return state.SkipWithError("the glue skipped contacts");

        t = ThreadCpuSeconds();
        std::vector<std::string> groups;
        for (int g = 0; g < kGroups; ++g)
            groups.push_back(raw.addNamed("tContactGroup", "ContactGroupName", "Group " + std::to_string(g)));
        for (int n = 0; n < kItems; ++n)
            if (!raw.addContact(Cards()[n], groups[n % kGroups])) return state.SkipWithError("a raw insert failed");
        const double rawSeconds = ThreadCpuSeconds() - t;
        state.SetIterationTime(glue);
        Ratio(state, glue, rawSeconds, "contact");
    }
}

void BM_ImportEvents(benchmark::State& state) {
    for (auto _ : state) {
        state.PauseTiming();
        auto session = NewSession(g_dir / "glue-events.db");
        Raw raw(g_dir / "raw-events.db", JournalMode(*session));
        state.ResumeTiming();
        if (!session || !raw.ok()) return state.SkipWithError("cannot create the databases");

        double t = ThreadCpuSeconds();
        calyra::cli::ImportReport report("events");
        calyra::cli::ImportEvents(*session, Events(), report);
        const double glue = ThreadCpuSeconds() - t;
        if (report.importedCount() != kItems) return state.SkipWithError("the glue skipped events");

        t = ThreadCpuSeconds();
        std::vector<std::string> categories;
        for (int c = 0; c < 5; ++c)
            categories.push_back(raw.addNamed("tEventCategory", "EventCategoryName", "Category " + std::to_string(c)));
        for (int n = 0; n < kItems; ++n)
            if (!raw.addEvent(Events()[n].item, categories[n % 5])) return state.SkipWithError("a raw insert failed");
        const double rawSeconds = ThreadCpuSeconds() - t;
        state.SetIterationTime(glue);
        Ratio(state, glue, rawSeconds, "event");
    }
}

// The readers alone: text to items.
void BM_ReadVCards(benchmark::State& state) {
    const std::string text = ix::WriteVCards(Cards(), ix::VCardVersion::V3);
    for (auto _ : state) {
        auto result = ix::ParseVCards(text);
        if (result.cards.size() != kItems) return state.SkipWithError("cards lost");
        benchmark::DoNotOptimize(result);
    }
    state.counters["cards_per_s"] = benchmark::Counter(kItems, benchmark::Counter::kIsIterationInvariantRate);
}

void BM_ReadICalendar(benchmark::State& state) {
    std::vector<ix::CalendarItem> items;
    for (const auto& e : Events()) items.push_back(e.item);
    const std::string text = ix::WriteICalendar(items, kFirstStart);
    for (auto _ : state) {
        auto result = ix::ParseICalendar(text);
        if (result.items.size() != kItems) return state.SkipWithError("events lost");
        benchmark::DoNotOptimize(result);
    }
    state.counters["events_per_s"] = benchmark::Counter(kItems, benchmark::Counter::kIsIterationInvariantRate);
}

}  // namespace

BENCHMARK(BM_ImportContacts)->Iterations(3)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ImportEvents)->Iterations(3)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReadVCards)->Iterations(3)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReadICalendar)->Iterations(3)->Unit(benchmark::kMillisecond);

int main(int argc, char** argv) {
    // A private scratch directory and registry store, so nothing reaches the
    // user's own component registration or trace viewer.
    calyra::bench::ScratchDirectory scratch;
    if (!scratch.ok()) return 1;
    g_dir = scratch.path();
    scratch.KeepRegistryHere();
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
