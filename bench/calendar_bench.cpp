// What the event access object costs compared with a client that runs the
// same statements on SQLite itself.
//
// Two files get the full schema, the system's pragmas and the journal mode
// the engine picks for its files: one is used through CEventAccess and
// CEventCategoryAccess over the connection, the other through raw SQLite
// (sqlite3_prepare16_v2/step). Both receive 20 event categories (every
// fourth one selected) and 50,000 events spread over the ten years 2015 to
// 2024, by the same INSERT texts, one statement and so one transaction per
// event, as the component runs them; the fill is timed too. After the fill
// the two files are compared (every column but [Modified]) to show that
// both sides wrote the same rows.
//
// Then the lists are read back, each call against the raw side stepping
// the same query text and copying every one of the 45 columns into a
// 2049-unit buffer, keeping a BSTR of every text column (what a client
// needs to hold the records):
//   GetAllSelectedEvents for March 2020 and for the year 2020 (the join
//   with [tEventCategory]), GetEventsByEventCategoryID of one category over
//   the ten years, and GetAllEvents. No index covers these conditions, so
//   every one of them reads the whole table; the figures show what the
//   component adds on top of that.
//
// Each side is timed in CPU time of the thread, in alternating order, so a
// machine busy with other work does not charge its time slices to one
// side. The summary prints microseconds per call (per event for the fill),
// the ratios to raw SQLite and the process's peak resident memory.
//
// Run: build/bin/calyra_bench_calendar   (about 30-60 s)
#include "bench/bench_support.h"

#include <string>
#include <vector>

#include "access/calendar/event_access.h"
#include "access/calendar/event_category_access.h"
#include "platform/safearray.h"
#include "tables/event_columns.h"

namespace {

using calyra::Bstr;
using calyra::ComPtr;
using calyra::DateFromParts;
using namespace calyra::bench;

constexpr int kEvents = 50000;
constexpr int kCategories = 20;
constexpr int kSelectedEvery = 4;  // categories 1, 5, 9, ... are selected
constexpr int kFillChunks = 10;    // sides alternate after every chunk
constexpr int kFirstYear = 2015;
constexpr int kYears = 10;
constexpr int kDays = 3653;           // 2015-01-01 to 2024-12-31
constexpr int kColumnsPerEvent = 45;  // of every event query
constexpr int kCategoryOfList = 3;    // the category GetEventsByEventCategoryID lists

// The event column list the statements share, as its text stands.
const std::u16string kEventColumnList =
    u"[Subject], [Description], [Location], [EventType], [EventStatus], [Availability], [StartDateTime], "
    u"[EndDateTime], [AllDayEventFlag], [PrivateFlag], [Priority], [ReminderTime], [ReminderAudio], [TimeZone], "
    u"[PatternOption], [DailyOption], [DailyEveryXDays], [DailyXUnitOfNewTask], [WeeklyOption], "
    u"[WeeklyEveryXWeeks], [WeeklyDays], [WeeklyXUnitOfNewTask], [MonthlyOption], [MonthlyDayM], "
    u"[MonthlyEveryXMonths], [MonthlyTheNth], [MonthlyDayN], [MonthlyEveryYMonths], [MonthlyXUnitOfNewTask], "
    u"[YearlyOption], [YearlyEveryXYears], [YearlyEveryMonthM], [YearlyDayM], [YearlyTheNth], [YearlyDayN], "
    u"[YearlyOfMonthN], [YearlyXUnitOfNewTask], [Start], [EndOption], [EndAfter], [EndBy], [OriginalStartTime]";

// Result columns that are texts in the record: [EventID],
// [EventCategoryID], [Subject], [Description], [Location], [ReminderAudio].
constexpr bool kTextColumn[kColumnsPerEvent] = {true,  true,  true,  true,  true,  false, false, false,
                                                false, false, false, false, false, false, true};

struct CategoryData {
    std::u16string name;
    LONG color, toBeSynced, isSelected;
};

CategoryData MakeCategory(int n) {
    static const char* const kNames[kCategories] = {
        "Work",       "Family",      "Football practice", "Kids' school", "Doctor & dentist",
        "Book club",  "Travel",      "Birthdays",         "Garden",       "Choir",
        "Car",        "Finance",     "Volunteer",         "Gym",          "Holidays",
        "Neighbours", "Conferences", "Reading",           "Cinema",       "Misc"};
    CategoryData c;
    c.name = U16(kNames[n]);
    c.color = static_cast<LONG>(0xFF000000u | static_cast<ULONG>(n) * 0x0A1B2Cu);  // negative as a LONG
    c.toBeSynced = n % 2;
    c.isSelected = n % kSelectedEvery == 0 ? 1 : 0;
    return c;
}

// The n-th event: a working-day spread of meetings and appointments, every
// tenth one all day, every 25th a weekly series.
struct EventData {
    std::u16string subject, description, location, reminderAudio, categoryID;
    LONG type, status, availability, allDay, isPrivate, priority, reminderTime, timeZone;
    DATE start, end, originalStart;
    tagRecurrence recurrence;
};

EventData MakeEvent(int n) {
    static const char* const kSubjects[] = {"Project review", "Lunch with Sam", "Sam's birthday",   "Quarterly report",
                                            "Dentist",        "Team stand-up",  "Parents' evening", "Flight to Berlin",
                                            "Yoga",           "Budget meeting"};
    static const char* const kLocations[] = {
        "Room 4.12", "Café Lindqvist", "", "Building C, 2nd floor", "Dr. O'Hara's practice", "Online"};
    std::string i = std::to_string(n);
    EventData e{};
    e.subject = U16(std::string(kSubjects[n % 10]) + " #" + i);
    e.description = U16("Bring the printed agenda and last month's figures; call +46 8 555 " + i +
                        " if the room is taken. Notes from the previous meeting are in the shared folder.");
    e.location = U16(kLocations[n % 6]);
    e.reminderAudio =
        n % 3 == 0 ? U16("C:\\Users\\owner\\Music\\Alerts\\bell-" + std::to_string(n % 7) + ".wav") : std::u16string();
    e.categoryID = Decimal(1 + n % kCategories);
    e.type = n % 16;
    e.status = n % 3;
    e.availability = n % 4;
    e.priority = n % 3;
    e.reminderTime = 5 * (n % 4);
    e.timeZone = n % 5 == 0 ? -300 : 60;
    const LONG day = 1 + static_cast<LONG>(static_cast<long long>(n) * kDays / kEvents);
    if (n % 10 == 0) {
        e.allDay = 1;
        e.start = DateFromParts(kFirstYear, 1, day, 0, 0, 0);
        e.end = DateFromParts(kFirstYear, 1, day, 23, 59, 59);
    } else {
        const LONG hour = 7 + (n * 7) % 12, minute = (n % 2) * 30;
        e.start = DateFromParts(kFirstYear, 1, day, hour, minute, 0);
        e.end = DateFromParts(kFirstYear, 1, day, hour, minute + 30 * (1 + n % 6), 0);
    }
    e.isPrivate = n % 7 == 0;
    e.originalStart = 0;
    tagRecurrence& r = e.recurrence;
    r.Daily.lEveryXDays = 1;
    r.Weekly.lEveryXWeeks = 1;
    r.Monthly.lEveryXMonths = 1;
    r.Monthly.lEveryYMonths = 1;
    r.Yearly.lEveryXYears = 1;
    r.lEndAfter = 10;
    if (n % 25 == 0) {
        r.ePattern = enumRecurrencePattern_Weekly;
        r.Weekly.lDays = 1 << (n % 7);
        r.dtStart = e.start;
        r.eEnd = enumRecurrenceEnd_EndAfter;
    }
    return e;
}

// The component's side: a connection with the schema, an event and an
// event category access object bound to profile 1.
class Component {
public:
    explicit Component(const std::filesystem::path& file) : m_connection(file) {
        m_events = m_connection.Bind<calyra::CEventAccess, IEventAccess>(IID_IEventAccess);
        m_categories = m_connection.Bind<calyra::CEventCategoryAccess, IEventCategoryAccess>(IID_IEventCategoryAccess);
    }
    ~Component() {
        m_events.Reset();
        m_categories.Reset();
    }
    bool ok() const { return m_connection.ok() && m_events && m_categories; }
    IEventAccess* events() const { return m_events.get(); }
    std::u16string JournalMode() const { return m_connection.JournalMode(); }

    bool AddCategory(const CategoryData& c) {
        Bstr name(c.name), id;
        tagEventCategoryInfo info{};
        info.bstrEventCategoryName = name;
        info.ulColor = static_cast<ULONG>(c.color);
        info.bToBeSynced = c.toBeSynced;
        info.bIsSelected = c.isSelected;
        return m_categories->AddEventCategory(nullptr, &info, &id) == S_OK;
    }

    bool AddEvent(const EventData& e) {
        Bstr subject(e.subject), description(e.description), location(e.location), audio(e.reminderAudio),
            category(e.categoryID), id;
        tagEventInfo info{};
        info.bstrSubject = subject;
        info.bstrDescription = description;
        info.bstrLocation = location;
        info.eCategory = static_cast<enumEventCategory>(e.type);
        info.eStatus = static_cast<enumEventStatus>(e.status);
        info.bstrEventCategoryID = category;
        info.eAvailability = static_cast<enumAvailability>(e.availability);
        info.dtStartDateTime = e.start;
        info.dtEndDateTime = e.end;
        info.bAllDayEvent = e.allDay;
        info.bPrivate = e.isPrivate;
        info.ePriority = static_cast<enumEventPriority>(e.priority);
        info.lReminderTime = e.reminderTime;
        info.bstrReminderAudio = audio;
        info.ulTimeZone = static_cast<ULONG>(e.timeZone);
        info.stRecurrence = e.recurrence;
        info.dtOriginalStartTime = e.originalStart;
        return m_events->AddEvent(nullptr, &info, &id) == S_OK;
    }

private:
    ComponentConnection m_connection;
    ComPtr<IEventAccess> m_events;
    ComPtr<IEventCategoryAccess> m_categories;
};

// The raw side: SQLite called directly with the same flags, pragmas,
// schema and statement texts.
class Raw {
public:
    Raw(const std::filesystem::path& file, const std::u16string& journalMode) : m_db(file, journalMode) {}
    bool ok() const { return m_db.ok(); }

    bool AddCategory(const CategoryData& c) {
        return m_db.Exec(
            u"INSERT INTO [tEventCategory] ([ProfileID], [EventCategoryName], [Color], [ToBeSynced], [IsSelected], "
            u"[Modified]) VALUES('1', '" +
            Quoted(c.name) + u"', '" + Decimal(c.color) + u"', '" + Flag(c.toBeSynced) + u"', '" + Flag(c.isSelected) +
            u"', '" + NowText() + u"');");
    }

    // The insert of one master event: [OriginalEventID] 0, the category,
    // the 42 values of the column list, then [Modified].
    bool AddEvent(const EventData& e) {
        const tagRecurrence& r = e.recurrence;
        std::u16string sql = u"INSERT INTO [tEvent] ([ProfileID], [OriginalEventID], [EventCategoryID], ";
        sql.reserve(2048);
        sql += kEventColumnList;
        sql += u", [Modified]) VALUES('1', '0', '" + Quoted(e.categoryID);
        for (const std::u16string& value : {Quoted(e.subject),
                                            Quoted(e.description),
                                            Quoted(e.location),
                                            Decimal(e.type),
                                            Decimal(e.status),
                                            Decimal(e.availability),
                                            DateText(e.start),
                                            DateText(e.end),
                                            Flag(e.allDay),
                                            Flag(e.isPrivate),
                                            Decimal(e.priority),
                                            Decimal(e.reminderTime),
                                            Quoted(e.reminderAudio),
                                            Decimal(e.timeZone),
                                            Decimal(r.ePattern),
                                            Decimal(r.Daily.lOption),
                                            Decimal(r.Daily.lEveryXDays),
                                            Decimal(r.Daily.lXUnitOfNewTask),
                                            Decimal(r.Weekly.lOption),
                                            Decimal(r.Weekly.lEveryXWeeks),
                                            Decimal(r.Weekly.lDays),
                                            Decimal(r.Weekly.lXUnitOfNewTask),
                                            Decimal(r.Monthly.lOption),
                                            Decimal(r.Monthly.lDayM),
                                            Decimal(r.Monthly.lEveryXMonths),
                                            Decimal(r.Monthly.lTheNth),
                                            Decimal(r.Monthly.lDayN),
                                            Decimal(r.Monthly.lEveryYMonths),
                                            Decimal(r.Monthly.lXUnitOfNewTask),
                                            Decimal(r.Yearly.lOption),
                                            Decimal(r.Yearly.lEveryXYears),
                                            Decimal(r.Yearly.lEveryMonthM),
                                            Decimal(r.Yearly.lDayM),
                                            Decimal(r.Yearly.lTheNth),
                                            Decimal(r.Yearly.lDayN),
                                            Decimal(r.Yearly.lOfMonthN),
                                            Decimal(r.Yearly.lXUnitOfNewTask),
                                            DateText(r.dtStart),
                                            Decimal(r.eEnd),
                                            Decimal(r.lEndAfter),
                                            DateText(r.lEndBy),
                                            DateText(e.originalStart),
                                            NowText()}) {
            sql += u"', '";
            sql += value;
        }
        sql += u"');";
        return m_db.Exec(sql);
    }

    long Walk(const std::u16string& query, char16_t* buffer, unsigned long& checksum) {
        return m_db.StepAndCopy(query, kTextColumn, buffer, checksum);
    }

private:
    static std::u16string Flag(LONG flag) { return flag ? u"1" : u"0"; }

    RawDatabase m_db;
};

// The query texts the component builds for profile 1.
std::u16string RangeCondition(DATE start, DATE end) {
    return u"' AND [StartDateTime] <= '" + DateText(end) + u"' AND [EndDateTime] >= '" + DateText(start) + u"';";
}

std::u16string AllEventsQuery() {
    return u"SELECT [EventID], [EventCategoryID], " + kEventColumnList +
           u", [Modified] FROM [tEvent] WHERE [OriginalEventID] = '0' AND [ProfileID] = '1';";
}

std::u16string SelectedEventsQuery(DATE start, DATE end) {
    return u"SELECT [EventID], [tEvent].[EventCategoryID], " + kEventColumnList +
           u", [tEvent].[Modified] FROM [tEvent], [tEventCategory] WHERE [tEvent].[EventCategoryID] = "
           u"[tEventCategory].[EventCategoryID] AND [tEvent].[OriginalEventID] = '0' AND [tEvent].[ProfileID] = '1' "
           u"AND [tEventCategory].[IsSelected] = '1" +
           RangeCondition(start, end);
}

std::u16string EventsByCategoryQuery(const std::u16string& categoryID, DATE start, DATE end) {
    return u"SELECT [EventID], [EventCategoryID], " + kEventColumnList +
           u", [Modified] FROM [tEvent] WHERE [OriginalEventID] = '0' AND [ProfileID] = '1' AND [EventCategoryID] = '" +
           categoryID + RangeCondition(start, end);
}

// Every column of both tables but [Modified], which holds the time of each
// side's own write.
std::u16string EventContentQuery() {
    return u"SELECT [EventID], [ProfileID], [OriginalEventID], [EventCategoryID], " + kEventColumnList +
           u" FROM [tEvent] ORDER BY [EventID];";
}
const std::u16string kCategoryContentQuery =
    u"SELECT [EventCategoryID], [ProfileID], [EventCategoryName], [Color], [ToBeSynced], [IsSelected] FROM "
    u"[tEventCategory] ORDER BY [EventCategoryID];";

std::filesystem::path g_componentFile, g_rawFile;
Component* g_component = nullptr;
Raw* g_raw = nullptr;
bool g_filled = false;

// Adds the 50,000 events on both sides, a chunk at a time, alternating
// which side goes first, then compares the two files.
void BM_FillEvents(benchmark::State& state) {
    std::vector<double> component, raw;
    for (auto _ : state) {
        if (g_filled) {
            state.SkipWithError("the events are added once");
            return;
        }
        double componentTotal = 0, rawTotal = 0;
        const int perChunk = kEvents / kFillChunks;
        for (int chunk = 0; chunk < kFillChunks; ++chunk) {
            auto addChunk = [&](auto add) {
                for (int i = chunk * perChunk; i < (chunk + 1) * perChunk; ++i)
                    if (!add(MakeEvent(i))) return false;
                return true;
            };
            if (!TimeBothSides(
                    chunk, [&] { return addChunk([](const EventData& e) { return g_component->AddEvent(e); }); },
                    [&] { return addChunk([](const EventData& e) { return g_raw->AddEvent(e); }); }, componentTotal,
                    rawTotal)) {
                state.SkipWithError("an insert failed");
                return;
            }
        }
        component.push_back(componentTotal);
        raw.push_back(rawTotal);
    }
    const QueryDigest events = DigestOf(g_componentFile, EventContentQuery());
    if (events.rows != kEvents || !(events == DigestOf(g_rawFile, EventContentQuery())) ||
        !(DigestOf(g_componentFile, kCategoryContentQuery) == DigestOf(g_rawFile, kCategoryContentQuery))) {
        state.SkipWithError("the two files differ after the fill");
        return;
    }
    g_filled = true;
    Summary().Record(state, "fill: AddEvent, per event", "event", component, raw, 1.0 * kEvents);
}

// One list call of the component against the raw walk of the same query.
// `list` runs the component's call and returns its array and count.
template <class List>
void BenchList(benchmark::State& state, const char* what, List list, const std::u16string& query) {
    if (!g_filled) {
        state.SkipWithError("no events to list");
        return;
    }
    std::vector<char16_t> buffer(kFieldBufferUnits);
    unsigned long checksum = 0;
    std::vector<double> component, raw;
    LONG componentRows = -1;
    long rawRows = -1;
    int iteration = 0;
    auto componentSide = [&] {
        LONG n = 0;
        SAFEARRAY* events = nullptr;
        HRESULT hr = list(&n, &events);
        checksum += static_cast<unsigned long>(n);
        SafeArrayDestroy(events);
        componentRows = n;
        return hr == S_OK;
    };
    auto rawSide = [&] {
        rawRows = g_raw->Walk(query, buffer.data(), checksum);
        return rawRows >= 0;
    };
    for (auto _ : state) {
        double componentSeconds = 0, rawSeconds = 0;
        if (!TimeBothSides(iteration++, componentSide, rawSide, componentSeconds, rawSeconds) ||
            componentRows != rawRows) {
            state.SkipWithError("the component and the raw query did not return the same rows");
            return;
        }
        component.push_back(componentSeconds);
        raw.push_back(rawSeconds);
    }
    benchmark::DoNotOptimize(checksum);
    state.counters["events"] = static_cast<double>(rawRows);
    Summary().Record(state, std::string(what) + ": " + std::to_string(rawRows) + " events", "call", component, raw,
                     1.0);
}

}  // namespace

int main(int argc, char** argv) {
    ScratchDirectory dir;
    if (!dir.ok()) return 1;
    g_componentFile = dir.path() / "component.db";
    g_rawFile = dir.path() / "raw.db";
    Component component(g_componentFile);
    Raw raw(g_rawFile, component.ok() ? component.JournalMode() : std::u16string());
    if (!component.ok() || !raw.ok()) {
        std::fprintf(stderr, "could not set up the database files in %s\n", dir.path().c_str());
        return 1;
    }
    // The raw statements must be the component's, to the character.
    const std::u16string selectPrefix =
        u"SELECT [EventID], [EventCategoryID], " + kEventColumnList + u", [Modified] FROM [tEvent] WHERE ";
    if (calyra::EventColumnList().view() != kEventColumnList || calyra::EventSelectPrefix().view() != selectPrefix) {
        std::fprintf(stderr, "the event column list differs from the component's\n");
        return 1;
    }
    for (int n = 0; n < kCategories; ++n) {
        if (!component.AddCategory(MakeCategory(n)) || !raw.AddCategory(MakeCategory(n))) {
            std::fprintf(stderr, "could not add the event categories\n");
            return 1;
        }
    }
    g_component = &component;
    g_raw = &raw;
    std::printf("journal mode: %s; peak memory before the fill: %.1f MiB\n",
                Bstr(component.JournalMode()).utf8().c_str(), PeakMemoryMiB());

    IEventAccess* events = component.events();
    const DATE monthStart = DateFromParts(2020, 3, 1, 0, 0, 0), monthEnd = DateFromParts(2020, 3, 31, 23, 59, 59);
    const DATE yearStart = DateFromParts(2020, 1, 1, 0, 0, 0), yearEnd = DateFromParts(2020, 12, 31, 23, 59, 59);
    const DATE allStart = DateFromParts(kFirstYear, 1, 1, 0, 0, 0);
    const DATE allEnd = DateFromParts(kFirstYear + kYears - 1, 12, 31, 23, 59, 59);
    const std::u16string category = Decimal(kCategoryOfList);

    Register("FillEvents", 1, BM_FillEvents);
    Register("SelectedEventsMonth", 20, [&](benchmark::State& state) {
        BenchList(
            state, "GetAllSelectedEvents, March 2020",
            [&](LONG* n, SAFEARRAY** a) { return events->GetAllSelectedEvents(nullptr, monthStart, monthEnd, n, a); },
            SelectedEventsQuery(monthStart, monthEnd));
    });
    Register("SelectedEventsYear", 10, [&](benchmark::State& state) {
        BenchList(
            state, "GetAllSelectedEvents, 2020",
            [&](LONG* n, SAFEARRAY** a) { return events->GetAllSelectedEvents(nullptr, yearStart, yearEnd, n, a); },
            SelectedEventsQuery(yearStart, yearEnd));
    });
    Register("EventsByCategory", 10, [&](benchmark::State& state) {
        BenchList(
            state, "GetEventsByEventCategoryID, 10 years",
            [&](LONG* n, SAFEARRAY** a) {
                return events->GetEventsByEventCategoryID(nullptr, Bstr(category), allStart, allEnd, n, a);
            },
            EventsByCategoryQuery(category, allStart, allEnd));
    });
    Register("AllEvents", 3, [&](benchmark::State& state) {
        BenchList(
            state, "GetAllEvents", [&](LONG* n, SAFEARRAY** a) { return events->GetAllEvents(nullptr, n, a); },
            AllEventsQuery());
    });
    int status =
        RunAndSummarise(argc, argv, "CPU microseconds per call (the fill: per event): component / raw SQLite (ratio)");
    g_component = nullptr;
    g_raw = nullptr;
    return status;
}
