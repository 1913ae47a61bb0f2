// What the calendar commands of the client cost on a person's scale, each
// against raw SQLite doing the same reads or writes in the same run:
//
//   month   `events month` over 50,000 events (ten years, 2% repeating):
//           the client's range read (the masters that can occur in the month
//           and every exception, through the component's connection), the
//           expansion and the grid; raw: stepping the same two queries and
//           copying every column.
//   agenda  `calyra agenda --days 7` over the same 50,000 events, in a zone
//           with clock changes (Europe/Berlin): the range read of the seven
//           days, each event laid out in its zone, the day-by-day text; raw:
//           stepping the same two queries and copying every column.
//   export  `events export` of 20,000 events: the bulk read and the
//           iCalendar text; raw: stepping the same two queries.
//   import  `events import` of 20,000 events into an empty file, in one
//           transaction; raw: prepared INSERTs of the same rows in one
//           transaction.
//
// Times are CPU seconds of the thread; the ratio counter is client / raw.
// The command targets (month and agenda under 0.3 s, export under 2 s) are wall-clock
// times of the program; these figures are the in-process part of them.
//
// Run: build/bin/calyra_bench_client_calendar   (about a minute)
#include <benchmark/benchmark.h>
#include <sqlite3.h>

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <unistd.h>

#include "bench_support.h"
#include "calendar/days.h"
#include "calendar/month_grid.h"
#include "calendar/occurrences.h"
#include "calendar/time_zone.h"
#include "client_bench_support.h"
#include "commands/calendar_view.h"
#include "idl/owned_record.h"
#include "import_export/calendar_items.h"
#include "import_export/import_report.h"
#include "interchange/ical_writer.h"
#include "platform/bstr.h"
#include "records/event_records.h"
#include "records/profile_events.h"
#include "records/record_fields.h"
#include "records/record_rows.h"
#include "session/session.h"
#include "session/user_time.h"
#include "tables/event_columns.h"

namespace {

namespace cal = calyra::calendar;
namespace ix = calyra::interchange;
using calyra::cli::GlobalOptions;
using calyra::cli::Session;

constexpr int kMonthEvents = 50000;
constexpr int kExportEvents = 20000;
constexpr int kYear = 2024, kMonth = 6;

std::filesystem::path g_dir;

// `n` events of profile 1 from 2020-01-01 over ten years, one to ten hours
// into their day; every 50th repeats weekly on its weekday.
const char* const kFill = R"(
WITH RECURSIVE seq(i) AS (SELECT 0 UNION ALL SELECT i + 1 FROM seq WHERE i + 1 < :n),
day(i, d) AS (SELECT i, date('2020-01-01', '+' || (i * 3652 / :n) || ' days') FROM seq)
INSERT INTO [tEvent] ([ProfileID], [OriginalEventID], [EventCategoryID], [Subject], [Description], [Location],
  [EventType], [EventStatus], [Availability], [StartDateTime], [EndDateTime], [AllDayEventFlag], [PrivateFlag],
  [Priority], [ReminderTime], [ReminderAudio], [TimeZone], [PatternOption], [DailyOption], [DailyEveryXDays],
  [DailyXUnitOfNewTask], [WeeklyOption], [WeeklyEveryXWeeks], [WeeklyDays], [WeeklyXUnitOfNewTask], [MonthlyOption],
  [MonthlyDayM], [MonthlyEveryXMonths], [MonthlyTheNth], [MonthlyDayN], [MonthlyEveryYMonths],
  [MonthlyXUnitOfNewTask], [YearlyOption], [YearlyEveryXYears], [YearlyEveryMonthM], [YearlyDayM], [YearlyTheNth],
  [YearlyDayN], [YearlyOfMonthN], [YearlyXUnitOfNewTask], [Start], [EndOption], [EndAfter], [EndBy],
  [OriginalStartTime], [Modified])
SELECT '1', '0', '0', 'Event ' || i, 'Planning with the team; bring the figures. #' || i, 'Room ' || (i % 40),
  '2', '0', '2', datetime(d, '+' || (8 + i % 10) || ' hours'), datetime(d, '+' || (9 + i % 10) || ' hours'),
  '0', '0', '1', '15', '', '0', CASE WHEN i % 50 = 0 THEN '2' ELSE '0' END, '0', '1', '0', '0', '1',
  CASE WHEN i % 50 = 0 THEN 1 << CAST(strftime('%w', d) AS INTEGER) ELSE 0 END, '0', '0', '0', '1', '0', '0', '1',
  '0', '0', '1', '0', '0', '0', '0', '0', '0', d || ' 00:00:00', '0', '10', '1899-12-30 00:00:00',
  '1899-12-30 00:00:00', '2024-01-01 00:00:00'
FROM day;)";

// A file of `n` events made by the component and filled through SQLite.
std::unique_ptr<Session> FilledSession(const std::filesystem::path& file, int n) {
    { calyra::bench::NewSession(file); }
    sqlite3* db = nullptr;
    sqlite3_stmt* fill = nullptr;
    bool done = sqlite3_open(file.c_str(), &db) == SQLITE_OK &&
                sqlite3_prepare_v2(db, kFill, -1, &fill, nullptr) == SQLITE_OK &&
                sqlite3_bind_int(fill, sqlite3_bind_parameter_index(fill, ":n"), n) == SQLITE_OK &&
                sqlite3_step(fill) == SQLITE_DONE;
    sqlite3_finalize(fill);
    sqlite3_close(db);
    if (!done) return nullptr;
    GlobalOptions options;
    options.db = file.string();
    return std::make_unique<Session>(options);
}

// The raw side of a read: the same query text stepped with SQLite, every
// column copied out as text, as a client holding the rows would.
size_t RawRead(const std::filesystem::path& file, const std::vector<std::string>& queries) {
    sqlite3* db = nullptr;
    sqlite3_open_v2(file.c_str(), &db, SQLITE_OPEN_READONLY | SQLITE_OPEN_NOMUTEX, nullptr);
    size_t rows = 0, bytes = 0;
    std::vector<std::string> kept;
    for (const auto& sql : queries) {
        sqlite3_stmt* s = nullptr;
        sqlite3_prepare_v2(db, sql.c_str(), -1, &s, nullptr);
        while (sqlite3_step(s) == SQLITE_ROW) {
            ++rows;
            for (int c = 0; c < sqlite3_column_count(s); ++c) {
                const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(s, c));
                kept.emplace_back(text ? text : "");
                bytes += kept.back().size();
            }
        }
        sqlite3_finalize(s);
    }
    sqlite3_close(db);
    benchmark::DoNotOptimize(bytes);
    return rows;
}

std::string Select(const std::string& where) {
    return "SELECT " + calyra::Utf16ToUtf8(std::u16string(calyra::ColumnList(calyra::kEventColumns).view())) +
           ", [OriginalEventID] FROM [tEvent] WHERE [ProfileID] = '1' AND " + where + " ORDER BY [EventID];";
}

void Ratio(benchmark::State& state, double client, double raw) {
    state.counters["client_ms"] = client * 1e3;
    state.counters["raw_ms"] = raw * 1e3;
    state.counters["ratio"] = raw > 0 ? client / raw : 0;
}

// "2024-06-01 00:00:00", as the component stores dates.
std::string StoredText(DATE date) {
    const cal::CivilDate c = cal::ToCivil(date);
    char text[32];
    std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d", c.year, c.month, c.day, c.hour, c.minute,
                  c.second);
    return text;
}

// The queries of a range read (records/profile_events.h) for raw SQLite.
std::vector<std::string> RawRangeQueries(const calyra::cli::DateRange& range) {
    return {Select("[OriginalEventID] = '0' AND ([PatternOption] IN ('1', '2', '3', '4') OR ([StartDateTime] <= '" +
                   StoredText(range.to) + "' AND [EndDateTime] >= '" + StoredText(range.from) + "'))"),
            Select("[OriginalEventID] <> '0'")};
}

// A calendar view: `view` (the client's read, layout and text) against the
// raw read of the same rows, in the same iteration.
template <class View>
void CompareView(benchmark::State& state, const std::filesystem::path& file, const calyra::cli::DateRange& range,
                 View view) {
    const std::vector<std::string> raw = RawRangeQueries(range);
    for (auto _ : state) {
        double t = calyra::bench::ThreadCpuSeconds();
        const size_t masters = view();
        const double client = calyra::bench::ThreadCpuSeconds() - t;
        t = calyra::bench::ThreadCpuSeconds();
        const size_t rows = RawRead(file, raw);
        const double rawSeconds = calyra::bench::ThreadCpuSeconds() - t;
        if (rows != masters) return state.SkipWithError("the two sides read different rows");
        state.SetIterationTime(client);
        Ratio(state, client, rawSeconds);
        state.counters["rows"] = static_cast<double>(rows);
    }
}

void BM_Month(benchmark::State& state) {
    const auto file = g_dir / "month.db";
    auto session = FilledSession(file, kMonthEvents);
    if (!session) return state.SkipWithError("cannot fill the database");
    const long long first = cal::DayFromCivil(kYear, kMonth, 1);
    const DATE from = cal::SecondsToDate(first * cal::kSecondsPerDay);
    const DATE to = cal::SecondsToDate((first + cal::DaysInMonth(kYear, kMonth)) * cal::kSecondsPerDay - 1);
    const auto utc = cal::TimeZone::Utc();
    const auto range = calyra::cli::ReadRangeFor(from, to, utc);
    CompareView(state, file, range, [&] {
        const calyra::cli::ProfileEvents stored(*session, range);
        const auto occurrences = stored.occurrences(from, to, utc);
        benchmark::DoNotOptimize(cal::FormatMonthGrid(kYear, kMonth, occurrences, {}));
        return stored.masters().size();
    });
}

void BM_Agenda(benchmark::State& state) {
    const auto file = g_dir / "agenda.db";
    auto session = FilledSession(file, kMonthEvents);
    if (!session) return state.SkipWithError("cannot fill the database");
    // The week the clocks change in Berlin.
    const calyra::cli::UserTime user(*cal::TimeZone::Find("Europe/Berlin"), cal::DateStyle::Iso, 1);
    const long long first = cal::DayFromCivil(2024, 3, 27);
    const DATE from = cal::SecondsToDate(first * cal::kSecondsPerDay);
    const DATE to = cal::SecondsToDate((first + 7) * cal::kSecondsPerDay - 1);
    const auto range = calyra::cli::ReadRangeFor(from, to, user.zone());
    CompareView(state, file, range, [&] {
        const calyra::cli::ProfileEvents stored(*session, range);
        const auto occurrences = stored.occurrences(from, to, user.zone());
        benchmark::DoNotOptimize(calyra::cli::DaysText(occurrences, user, first, 7, false));
        return stored.masters().size();
    });
}

void BM_Export(benchmark::State& state) {
    const auto file = g_dir / "export.db";
    auto session = FilledSession(file, kExportEvents);
    if (!session) return state.SkipWithError("cannot fill the database");
    const std::vector<std::string> raw = {Select("[OriginalEventID] = '0'"), Select("[OriginalEventID] <> '0'")};
    for (auto _ : state) {
        double t = calyra::bench::ThreadCpuSeconds();
        const auto items = calyra::cli::ExportEvents(*session, std::nullopt, std::nullopt);
        const std::string text = ix::WriteICalendar(items, 1717200000);
        const double client = calyra::bench::ThreadCpuSeconds() - t;
        if (items.size() != kExportEvents) return state.SkipWithError("events lost");
        t = calyra::bench::ThreadCpuSeconds();
        RawRead(file, raw);
        const double rawSeconds = calyra::bench::ThreadCpuSeconds() - t;
        state.SetIterationTime(client);
        Ratio(state, client, rawSeconds);
        state.counters["MB"] = static_cast<double>(text.size()) / 1e6;
    }
}

// The items an export of the 20,000 events holds; null when the source
// could not be filled. Made once for both import rows and all their
// repetitions: filling the source costs more than an import.
const std::vector<calyra::cli::SourcedItem>* ExportedItems() {
    static const auto items = [] {
        std::optional<std::vector<calyra::cli::SourcedItem>> out;
        auto source = FilledSession(g_dir / "source.db", kExportEvents);
        if (!source) return out;
        out.emplace();
        for (auto& item : calyra::cli::ExportEvents(*source, std::nullopt, std::nullopt))
            out->push_back({"bench.ics", std::move(item)});
        return out;
    }();
    return items ? &*items : nullptr;
}

// The CPU seconds of importing `items` into `session`.
double ImportSeconds(Session& session, const std::vector<calyra::cli::SourcedItem>& items,
                     calyra::cli::ImportReport& report) {
    const double t = calyra::bench::ThreadCpuSeconds();
    calyra::cli::ImportEvents(session, items, report);
    return calyra::bench::ThreadCpuSeconds() - t;
}

void BM_Import(benchmark::State& state) {
    const auto* exported = ExportedItems();
    if (!exported) return state.SkipWithError("cannot fill the database");
    const auto& items = *exported;
    for (auto _ : state) {
        state.PauseTiming();
        auto session = calyra::bench::NewSession(g_dir / "import.db");
        const auto rawFile = g_dir / "raw-import.db";
        { calyra::bench::NewSession(rawFile); }
        state.ResumeTiming();
        if (!session) return state.SkipWithError("cannot create the database");

        calyra::cli::ImportReport report("events");
        const double client = ImportSeconds(*session, items, report);
        if (report.importedCount() != items.size()) return state.SkipWithError("the import skipped events");

        double t = calyra::bench::ThreadCpuSeconds();
        sqlite3* db = nullptr;
        sqlite3_open_v2(rawFile.c_str(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX, nullptr);
        sqlite3_exec(db, "PRAGMA synchronous = OFF; BEGIN IMMEDIATE;", nullptr, nullptr, nullptr);
        // Every column of an event row, as the component's insert writes them.
        std::string columns = "[ProfileID], [OriginalEventID]", marks = "'1', '0'";
        for (size_t c = 1; c < calyra::kEventColumns.size(); ++c) {
            columns += ", " + calyra::Utf16ToUtf8(calyra::kEventColumns[c].column.view());
            marks += ", ?";
        }
        sqlite3_stmt* insert = nullptr;
        sqlite3_prepare_v2(db, ("INSERT INTO [tEvent] (" + columns + ") VALUES (" + marks + ");").c_str(), -1, &insert,
                           nullptr);
        char start[32], end[32];
        for (const auto& [file, e] : items) {
            const time_t s = static_cast<time_t>(*e.start), f = static_cast<time_t>(*e.end);
            std::strftime(start, sizeof start, "%Y-%m-%d %H:%M:%S", std::gmtime(&s));
            std::strftime(end, sizeof end, "%Y-%m-%d %H:%M:%S", std::gmtime(&f));
            sqlite3_reset(insert);
            for (size_t c = 1; c < calyra::kEventColumns.size(); ++c) {
                const std::u16string_view name = calyra::kEventColumns[c].column.view();
                const std::string* text = name == u"[Subject]"       ? &e.summary
                                          : name == u"[Description]" ? &e.description
                                          : name == u"[Location]"    ? &e.location
                                                                     : nullptr;
                const char* value = text                                                       ? text->c_str()
                                    : name == u"[StartDateTime]" || name == u"[Start]"         ? start
                                    : name == u"[EndDateTime]"                                 ? end
                                    : calyra::kEventColumns[c].kind == calyra::FieldKind::Date ? "1899-12-30 00:00:00"
                                    : calyra::kEventColumns[c].kind == calyra::FieldKind::Text ? ""
                                                                                               : "0";
                sqlite3_bind_text(insert, static_cast<int>(c), value, -1, SQLITE_TRANSIENT);
            }
            sqlite3_step(insert);
        }
        sqlite3_finalize(insert);
        sqlite3_exec(db, "COMMIT;", nullptr, nullptr, nullptr);
        sqlite3_close(db);
        const double rawSeconds = calyra::bench::ThreadCpuSeconds() - t;
        state.SetIterationTime(client);
        Ratio(state, client, rawSeconds);
    }
}

// The same export imported again into the file that holds its events
// (each found by its UID and left unchanged), against raw SQLite reading
// every event row once.
void BM_ImportAgain(benchmark::State& state) {
    const auto* exported = ExportedItems();
    const auto file = g_dir / "again.db";
    auto session = FilledSession(file, 0);
    if (!exported || !session) return state.SkipWithError("cannot fill the database");
    const auto& items = *exported;
    {
        calyra::cli::ImportReport first("events");
        calyra::cli::ImportEvents(*session, items, first);
    }
    for (auto _ : state) {
        calyra::cli::ImportReport report("events");
        const double client = ImportSeconds(*session, items, report);
        if (report.unchangedCount() != items.size()) return state.SkipWithError("the import changed events");
        const double t = calyra::bench::ThreadCpuSeconds();
        RawRead(file, {Select("1")});
        const double raw = calyra::bench::ThreadCpuSeconds() - t;
        state.SetIterationTime(client);
        Ratio(state, client, raw);
    }
}

}  // namespace

// Medians of five runs (three for the import): the machine is shared.
BENCHMARK(BM_Month)->Iterations(1)->Repetitions(5)->ReportAggregatesOnly(true)->UseManualTime()->Unit(
    benchmark::kMillisecond);
BENCHMARK(BM_Agenda)->Iterations(1)->Repetitions(5)->ReportAggregatesOnly(true)->UseManualTime()->Unit(
    benchmark::kMillisecond);
BENCHMARK(BM_Export)->Iterations(1)->Repetitions(5)->ReportAggregatesOnly(true)->UseManualTime()->Unit(
    benchmark::kMillisecond);
BENCHMARK(BM_Import)->Iterations(1)->Repetitions(3)->ReportAggregatesOnly(true)->UseManualTime()->Unit(
    benchmark::kMillisecond);
BENCHMARK(BM_ImportAgain)
    ->Iterations(1)
    ->Repetitions(3)
    ->ReportAggregatesOnly(true)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

int main(int argc, char** argv) {
    // A private scratch directory and registry store, so nothing reaches the
    // user's own component registration or trace viewer.
    calyra::bench::ScratchDirectory scratch;
    if (!scratch.ok()) return 1;
    scratch.KeepRegistryHere();
    g_dir = scratch.path();
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
