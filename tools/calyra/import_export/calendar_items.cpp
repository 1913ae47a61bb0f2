#include "import_export/calendar_items.h"

#include <algorithm>
#include <cctype>
#include <climits>
#include <deque>
#include <map>
#include <memory>
#include <set>
#include <string_view>
#include <tuple>
#include <unordered_map>

#include "calendar/days.h"
#include "calendar/exact_rule.h"
#include "calendar/iso_date.h"
#include "calendar/rrule_text.h"
#include "calendar/time_zone.h"
#include "calendar/zoned_occurrences.h"
#include "idl/owned_record.h"
#include "import_export/conversions.h"
#include "interchange/ical_reader.h"
#include "platform/bstr.h"
#include "records/event_records.h"
#include "records/profile_events.h"
#include "records/record_fields.h"
#include "session/client_error.h"
#include "session/query_rows.h"
#include "session/temporary_table.h"
#include "session/transaction.h"
#include "side_store/side_store.h"
#include "tables/event_columns.h"
#include "tables/task_columns.h"

#include "records/recurrence_record.h"

namespace calyra::cli {

using namespace calendar;
namespace {

using interchange::CalendarItem;
using interchange::ItemKind;
using interchange::UtcSeconds;

// iCalendar words and the record's numbers for them. The first entry of a
// value is what export writes.
struct Word {
    const char* word;
    LONG value;
};
constexpr Word kEventStatus[] = {
    {"CONFIRMED", enumEventStatus_Confirmed},
    {"CANCELLED", enumEventStatus_Canceled},
    {"TENTATIVE", enumEventStatus_Tentative},
};
// "Waiting for information" has no word of its own: work has begun.
constexpr Word kTaskStatus[] = {
    {"NEEDS-ACTION", enumTaskStatus_NotStarted},
    {"IN-PROCESS", enumTaskStatus_InProgress},
    {"COMPLETED", enumTaskStatus_Finished},
    {"CANCELLED", enumTaskStatus_Deferred},
    {"IN-PROCESS", enumTaskStatus_WaitingForInformation},
};
constexpr Word kBusy[] = {
    {"FREE", enumAvailability_Free},
    {"TENTATIVE", enumAvailability_Tentative},
    {"BUSY", enumAvailability_Busy},
    {"OOF", enumAvailability_OutOfOffice},
};

std::optional<LONG> ValueOf(std::span<const Word> table, const std::string& word) {
    for (const auto& w : table)
        if (word == w.word) return w.value;
    return std::nullopt;
}
std::string WordOf(std::span<const Word> table, LONG value) {
    for (const auto& w : table)
        if (w.value == value) return w.word;
    return "";
}

// PRIORITY 1-4 is high, 5 (and none) normal, 6-9 low; the three record
// priorities share their numbers between events and tasks.
LONG PriorityOf(int priority) {
    if (priority >= 1 && priority <= 4) return enumEventPriority_High;
    if (priority >= 6) return enumEventPriority_Low;
    return enumEventPriority_Normal;
}
int PriorityWord(LONG priority) {
    if (priority == enumEventPriority_High) return 1;
    if (priority == enumEventPriority_Low) return 9;
    return 0;
}

bool IsPrivate(const std::string& classification) {
    return classification == "PRIVATE" || classification == "CONFIDENTIAL";
}

// "Phone Calls" and "phone-calls" -> "phonecalls", to match the kind names.
std::string KindWord(const std::string& text) {
    std::string out;
    for (char c : text)
        if (std::isalnum(static_cast<unsigned char>(c)))
            out += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return out;
}

// "phone_calls" -> "Phone Calls".
std::string Displayed(const std::string& name) {
    std::string out;
    bool start = true;
    for (char c : name) {
        if (c == '_') {
            out += ' ';
            start = true;
            continue;
        }
        out += start ? static_cast<char>(std::toupper(static_cast<unsigned char>(c))) : c;
        start = false;
    }
    return out;
}

// What events and tasks share on the way in: texts cut to fit, the
// recurrence read, the report told.
class ItemReader {
public:
    ItemReader(ImportReport& report, const SourcedItem& source) : m_report(report), m_source(source) {}

    const CalendarItem& item() const { return m_source.item; }

    void setText(const RecordDesc& desc, void* record, const char* key, const std::string& text) {
        bool cut = false;
        std::string fitted = FitText(text, &cut);
        if (cut) warn(std::string(key) + " is longer than a record keeps; cut");
        SetField(RequireField(desc, key), record, fitted);
    }
    std::string subject() {
        if (!item().summary.empty()) return item().summary;
        warn("no SUMMARY; stored as \"(no title)\", since the records need one");
        return "(no title)";
    }
    LONG reminder() {
        if (!item().alarmMinutes) return 0;
        if (*item().alarmMinutes == 0) m_report.notStored("VALARM (at the start)");
        return *item().alarmMinutes;
    }
    // The zone the item's times keep: the one it was written in, when the
    // records have a number for it. A zone without one is reported, and
    // the item keeps its times in UTC.
    std::optional<TimeZone> zone() {
        if (item().timeZone.empty() || item().allDay) return std::nullopt;
        std::optional<TimeZone> zone = TimeZone::Find(item().timeZone);
        if (zone && zone->number() != 0 && !zone->isUtc()) return zone;
        if (!zone || !zone->isUtc())
            warn("time zone " + item().timeZone + " has no number in the records; kept in UTC");
        return std::nullopt;
    }
    // The zone a task keeps: the task record has no zone field, so any zone
    // the zone database knows will do; the side store keeps it with the
    // entry (TaskZone reads it back).
    std::optional<TimeZone> taskZone() {
        if (item().timeZone.empty() || item().allDay) return std::nullopt;
        std::optional<TimeZone> zone = TimeZone::Find(item().timeZone);
        if (zone && zone->isUtc()) return std::nullopt;
        return zone;
    }
    // The item's recurrence into the record; `start` begins the series.
    // A rule the record cannot hold is stored as the nearest series it can
    // (what other programs reading the file show), and the entry's own
    // rule, kept with its text, lays the series out in every view and
    // export; so are extra dates (RDATE). Returns whether that is so. A
    // rule libical cannot lay out either is refused with the entry: stored
    // without it, the entry would show other days than the source has.
    bool recurrence(DATE start, tagRecurrence* record, const std::optional<TimeZone>& zone = std::nullopt) {
        if (item().rrule.empty()) return !item().rdates.empty();
        // The rule as the file wrote it: the reader restates UNTIL as the
        // last start at the series' time of day, which a rule repeating
        // within a day does not have.
        const EntrySeries raw = SeriesOfEntry(item().original);
        const std::string& text = raw.rrule.empty() ? item().rrule : raw.rrule;
        RruleReading reading = ReadRrule(text, start, zone ? &*zone : nullptr);
        if (reading.inexact.empty() && text != item().rrule)
            reading = ReadRrule(item().rrule, start, zone ? &*zone : nullptr);
        std::string problem = reading.problem;
        if (problem.empty()) ToRecord(reading.rule, record, &problem);
        if (!problem.empty()) {
            m_report.count("refused_rules");
            throw ClientError("\"" + item().summary + "\": RRULE " + item().rrule + ": " + problem +
                              "; not imported, as its occurrences could not be kept");
        }
        if (!reading.inexact.empty()) m_report.count("exact_rules_kept");
        return !reading.inexact.empty() || !item().rdates.empty();
    }
    void warn(const std::string& what) { m_report.warn(m_source.file, item().line, what); }
    void skip(const std::string& what) { m_report.skip(m_source.file, item().line, what); }

private:
    ImportReport& m_report;
    const SourcedItem& m_source;
};

// Records equal field for field, each as the side store's hashes see it:
// texts by content, dates to the second, flags by truth. Fields are compared
// one at a time, so a text's units can never line up with its neighbour's
// separator. (Compared as JSON they cost a fifth of a re-import, most of it
// writing dates out.)
bool SameFields(const RecordDesc& desc, const void* a, const void* b) {
    std::string x, y;
    for (const auto& f : FieldsOf(desc)) {
        if (f.kind == FieldKind::Record) {
            const auto offset = f.desc->offset;
            if (!SameFields(*f.desc->record, static_cast<const char*>(a) + offset,
                            static_cast<const char*>(b) + offset))
                return false;
            continue;
        }
        x.clear();
        y.clear();
        AppendFieldHashText(x, f, a);
        AppendFieldHashText(y, f, b);
        if (x != y) return false;
    }
    return true;
}

template <class Record>
bool SameRecord(const Record& a, const Record& b) {
    return SameFields(RecordDescriptionOf<Record>(), &a, &b);
}

std::string DateProblemOf(const CalendarItem& item) {
    for (auto t : {item.start, item.end, item.due, item.recurrenceId, item.completed})
        if (t)
            if (std::string why = DateRangeProblem(DateOfUtc(*t)); !why.empty()) return why;
    return "";
}

// The top-level entries of a kept text (a master's entry, then those of
// its replaced occurrences), each from its BEGIN line to its END line.
std::vector<std::string> SplitEntries(const std::string& text) {
    std::vector<std::string> out;
    size_t at = 0;
    while (at < text.size()) {
        size_t next = std::string::npos;
        for (const char* begin : {"\nBEGIN:VEVENT\r\n", "\nBEGIN:VTODO\r\n"})
            next = std::min(next, text.find(begin, at + 1));
        out.push_back(text.substr(at, next == std::string::npos ? std::string::npos : next + 1 - at));
        at = next == std::string::npos ? text.size() : next + 1;
    }
    return out;
}
// The RECURRENCE-ID line of an entry ("" for a master's).
std::string RecurrenceLine(const std::string& entry) {
    const size_t at = entry.find("\nRECURRENCE-ID");
    if (at == std::string::npos) return "";
    return entry.substr(at + 1, entry.find('\n', at + 1) - at - 1);
}

// A record's content as the hash sees it: every field but its ID and the
// times the component stamps, as AppendFieldHashText writes them.
template <class Record>
std::string RecordHash(const Record& record) {
    static const std::vector<const FieldInfo*> hashed = [] {
        std::vector<const FieldInfo*> out;
        for (const auto& f : FieldsOf(RecordDescriptionOf<Record>()))
            if (f.key != "event_id" && f.key != "task_id" && f.key != "created" && f.key != "modified")
                out.push_back(&f);
        return out;
    }();
    std::string text;
    text.reserve(512);
    for (const FieldInfo* f : hashed) AppendFieldHashText(text, *f, &record);
    return ContentHash(text);
}

// What the side store keeps of a calendar family: each item's UID, the
// hash of its record as stored, and the entry it came from (a series with
// the entries of its replaced occurrences after its own); a series laid
// out by its kept rule carries the match key kExactSeriesKey.
class CalendarSide {
public:
    CalendarSide(Session& session, ItemFamily family)
        : m_store(session), m_family(family), m_profile(Utf16ToUtf8(session.profileId())) {}

    // Looks the UIDs of a batch up at once; rowOfUid then answers them
    // without a statement each.
    // From now on keep() and keepOverride() collect their side rows, and
    // flush() writes them in a few statements (a statement per item was a
    // fifth of an import).
    void hold() { m_holding = true; }
    // Writes what was collected; keeps collecting.
    void flush() {
        m_store.put(m_pending);
        m_pending.clear();
    }

    void prefetch(const std::vector<std::string>& uids) {
        flush();
        m_uidRows.clear();
        m_asked.clear();
        m_rows.clear();
        for (auto& [uid, item] : m_store.findByUids(m_profile, m_family, uids)) {
            m_uidRows[uid] = item.rowId;
            m_rows.emplace(item.rowId, std::move(item));
        }
        m_asked.insert(uids.begin(), uids.end());
    }
    // The row that the entry's UID names in the profile, or "".
    std::string rowOfUid(const std::string& uid) {
        if (uid.empty()) return "";
        if (m_asked.count(uid)) {
            auto it = m_uidRows.find(uid);
            return it == m_uidRows.end() ? "" : it->second;
        }
        flush();
        const auto kept = m_store.findByUid(m_profile, m_family, uid);
        return kept ? kept->rowId : "";
    }
    // The UID row `id` is kept under, or "".
    std::string uidOf(const std::string& id) {
        if (auto it = m_rows.find(id); it != m_rows.end()) return it->second.uid;
        const auto kept = m_store.find(m_family, id);
        return kept ? kept->uid : "";
    }
    // Keeps item `id` as stored from `item` (`hash` of its record): the
    // entry's UID, else the one kept, else one derived from the row; the
    // entry's text with the replaced occurrences kept before; the mark of
    // a series its kept rule lays out.
    // `fresh`: the row was just added, so nothing is kept for it yet.
    void keep(const std::string& id, const CalendarItem& item, const std::string& hash, bool exactSeries,
              bool fresh = false) {
        std::optional<SideItem> kept;
        if (auto it = m_rows.find(id); it != m_rows.end())
            kept = it->second;
        else if (!fresh)
            kept = m_store.find(m_family, id);
        SideItem side;
        side.family = m_family;
        side.rowId = id;
        side.profileId = m_profile;
        side.uid = !item.uid.empty() ? item.uid : kept ? kept->uid : m_store.derivedUid(m_profile, m_family, id);
        side.hash = hash;
        side.original = item.original;
        side.matchKey = exactSeries ? kExactSeriesKey : "";
        if (kept)
            for (const auto& entry : SplitEntries(kept->original))
                if (!RecurrenceLine(entry).empty()) side.original += entry;
        // Kept as it was (a re-import's usual case): its row stays.
        if (!kept || *kept != side) write(side);
        if (m_asked.count(side.uid)) m_uidRows.emplace(side.uid, id);  // the lowest row stays
        m_rows[id] = side;                                             // also what is held: reads find it here
    }
    // Keeps the entry of a replaced occurrence with its series `masterId`,
    // in place of one kept before for the same occurrence.
    void keepOverride(const std::string& masterId, const CalendarItem& item) {
        if (item.original.empty()) return;
        std::optional<SideItem> kept;
        if (auto it = m_rows.find(masterId); it != m_rows.end())
            kept = it->second;
        else
            kept = m_store.find(m_family, masterId);
        if (!kept) return;
        const std::string line = RecurrenceLine(item.original);
        std::string text;
        for (auto& entry : SplitEntries(kept->original))
            if (line.empty() || RecurrenceLine(entry) != line) text += entry;
        text += item.original;
        if (text == kept->original) return;
        kept->original = std::move(text);
        write(*kept);
        m_rows[masterId] = *kept;
    }
    std::map<std::string, SideItem> rows(const std::vector<std::string>& ids) {
        flush();
        return m_store.findByRows(m_family, ids);
    }
    std::string derivedUid(const std::string& id) { return m_store.derivedUid(m_profile, m_family, id); }

private:
    void write(const SideItem& item) {
        if (m_holding)
            m_pending.push_back(item);
        else
            m_store.put(item);
    }

    SideStore m_store;
    ItemFamily m_family;
    std::string m_profile;
    bool m_holding = false;
    std::vector<SideItem> m_pending;               // held side rows, each also in m_rows
    std::map<std::string, std::string> m_uidRows;  // prefetched UID -> row
    std::set<std::string> m_asked;                 // the UIDs prefetched
    std::map<std::string, SideItem> m_rows;        // prefetched row -> what is kept of it
};

// The rows of a family an import matches its entries against: the stored
// ones a batch may match (read for it) and those the import adds, each as
// it stands after the import's own changes. An entry takes, among the rows
// with its key that no other entry of its file took, one it would leave
// unchanged, else the first. Two entries of one file with one key are two
// records; a second file that repeats an entry (an overlapping export, or
// the same file again) finds the same row.
template <class Key, class Record>
class Matches {
public:
    static constexpr size_t kNone = static_cast<size_t>(-1);

    // Where an entry stands: its file and line.
    using Entry = std::pair<std::string, size_t>;

    // A copy of a stored row, unless the row is indexed already (a
    // candidate of an earlier batch, or a row the import added).
    void addStored(Key key, const Record& row, const std::string& id) {
        if (!m_byId.count(id)) index(std::move(key), copy(row), {}, id);
    }
    // A copy of a record the import added (with its new ID) for `entry`.
    void addNew(Key key, const Record& row, const Entry& entry, const std::string& id) {
        index(std::move(key), copy(row), entry, id);
    }
    // Row `i` after the import rewrote it.
    void replace(size_t i, const Record& row) { m_rows[i] = copy(row); }
    const Record& row(size_t i) const { return *m_rows[i]; }
    // The row with record ID `id` as it stands now, or null.
    const Record* byId(const std::string& id) const {
        auto it = m_byId.find(id);
        return it == m_byId.end() ? nullptr : m_rows[it->second];
    }

    // The row with record ID `id` (the one the entry's UID names), unless
    // another entry of the entry's file took it.
    size_t takeId(const std::string& id, const Entry& entry) {
        auto it = m_byId.find(id);
        if (it == m_byId.end() || (m_takenBy[it->second].first == entry.first && m_takenBy[it->second] != entry))
            return kNone;
        m_takenBy[it->second] = entry;
        return it->second;
    }

    // `unchanged(i)` says whether the entry would leave row i as it is;
    // `allowed(i)` whether the entry may take it at all.
    template <class Unchanged, class Allowed>
    size_t take(const Key& key, const Entry& entry, Unchanged unchanged, Allowed allowed) {
        size_t chosen = kNone;
        for (auto [it, last] = m_index.equal_range(key); it != last; ++it) {
            const size_t i = it->second;
            if (m_takenBy[i].first == entry.first && m_takenBy[i] != entry) continue;
            if (!allowed(i)) continue;
            if (unchanged(i)) {
                chosen = i;
                break;
            }
            if (chosen == kNone) chosen = i;
        }
        if (chosen != kNone) m_takenBy[chosen] = entry;
        return chosen;
    }

private:
    const Record* copy(const Record& row) {
        OwnedRecord<Record>& kept = m_owned.emplace_back();
        RecordCopyByDescription(&RecordDescriptionOf<Record>(), &row, static_cast<Record*>(&kept));
        return &kept;
    }
    void index(Key key, const Record* row, const Entry& entry, const std::string& id) {
        m_byId[id] = m_rows.size();
        m_index.emplace(std::move(key), m_rows.size());
        m_rows.push_back(row);
        m_takenBy.push_back(entry);
    }

    std::multimap<Key, size_t> m_index;
    std::map<std::string, size_t> m_byId;  // record ID -> row
    std::vector<const Record*> m_rows;
    std::vector<Entry> m_takenBy;  // the entry that took the row last
    std::deque<OwnedRecord<Record>> m_owned;
};

// The subject an entry is stored under, as the importers write it.
std::string StoredSubject(const CalendarItem& item) {
    bool cut = false;
    return FitText(item.summary.empty() ? "(no title)" : item.summary, &cut);
}

// Whether the profile holds no row of `table` (an import into it matches
// only its own rows, so no batch need read candidates).
bool NoRowsIn(Session& session, Sql table) {
    SqlText sql(u"SELECT 1 FROM ");
    sql.Append(table).Append(u" WHERE [ProfileID] = '").AppendQuoted(session.profileId()).Append(u"' LIMIT 1;");
    return QueryRows(session.connection(), sql.view()).empty();
}

// Events are matched by subject and start (to the second): what an
// export and re-import keeps whatever else changed, so a changed rule, end
// or place updates the stored event instead of adding a second one. The UID
// cannot serve: the component does not keep it. Exceptions are matched by
// their master and the start of the occurrence they replace.
using EventKey = std::pair<std::string, long long>;

class EventImporter {
public:
    EventImporter(Session& session, ImportReport& report)
        : m_session(session),
          m_report(report),
          m_events(session.access<IEventAccess>()),
          m_categories(session.access<IEventCategoryAccess>()),
          m_side(session, ItemFamily::Event),
          m_startedEmpty(NoRowsIn(session, u"[tEvent]")) {}

    // Reads what a batch's entries may match (their UIDs prefetched): the
    // series their UIDs name and those with one of their subjects and
    // starts, with the exceptions of both. Memory holds these candidates,
    // not the profile; a batch costs two reads of the event table, which
    // has no index to narrow them by.
    void prepare(const std::vector<CalendarItem>& items) {
        m_exceptions = {};
        m_byMaster.clear();
        if (m_startedEmpty) return;
        std::set<std::string> ids;
        std::set<EventKey> keys;
        for (const auto& item : items) {
            if (item.kind != ItemKind::Event) continue;
            if (std::string row = m_side.rowOfUid(item.uid); !row.empty()) ids.insert(std::move(row));
            if (!item.recurrenceId && item.start)
                keys.insert({StoredSubject(item), DateToSeconds(DateOfUtc(*item.start))});
        }
        read(ids, keys);
    }
    // The same for occurrences whose series a later batch brought.
    void prepareMasters(const std::vector<std::string>& ids) {
        m_exceptions = {};
        m_byMaster.clear();
        std::set<std::string> named(ids.begin(), ids.end());
        named.erase("");
        if (!m_startedEmpty) read(named, {});
    }

    // Writes the item into a new event or exception record, in `zone`.
    void build(ItemReader& r, tagEventInfo* e, const std::optional<TimeZone>& zone) {
        const RecordDesc& desc = RecordDescriptionOf<tagEventInfo>();
        const CalendarItem& item = r.item();
        if (std::string why = DateProblemOf(item); !why.empty()) throw ClientError(why);
        r.setText(desc, e, "subject", r.subject());
        r.setText(desc, e, "description", item.description);
        r.setText(desc, e, "location", item.location);
        e->eStatus =
            static_cast<enumEventStatus>(ValueOf(kEventStatus, item.status).value_or(enumEventStatus_Confirmed));
        e->eAvailability =
            static_cast<enumAvailability>(ValueOf(kBusy, item.busyStatus).value_or(enumAvailability_Busy));
        e->dtStartDateTime = DateOfUtc(*item.start);
        if (item.allDay) {
            e->dtEndDateTime = InclusiveAllDayEnd(*item.start, item.end.value_or(*item.start));
            if (std::string why = DateRangeProblem(e->dtEndDateTime, true); !why.empty()) throw ClientError(why);
        } else {
            e->dtEndDateTime = DateOfUtc(item.end.value_or(*item.start));
        }
        e->bAllDayEvent = item.allDay ? 1 : 0;
        e->ulTimeZone = zone ? zone->number() : 0;
        e->bPrivate = IsPrivate(item.classification) ? 1 : 0;
        e->ePriority = static_cast<enumEventPriority>(PriorityOf(item.priority));
        // The record counts its reminder back from the start.
        LONG reminder = r.reminder();
        if (item.alarmFromEnd && item.end) reminder -= static_cast<LONG>((*item.end - *item.start) / 60);
        e->lReminderTime = reminder;
        if (!item.categories.empty()) {
            SetField(RequireField(desc, "event_category_id"), e, categoryId(item.categories.front()));
            if (item.categories.size() > 1)
                m_report.notStored("CATEGORIES (after the first)", item.categories.size() - 1);
        }
    }

    // Adds or updates a master event with its excluded dates; returns its
    // ID or "".
    std::string addMaster(const SourcedItem& source) {
        ItemReader r(m_report, source);
        try {
            OwnedRecord<tagEventInfo> fresh;
            const std::optional<TimeZone> zone = r.zone();
            build(r, &fresh, zone);
            const bool exactSeries = r.recurrence(fresh.dtStartDateTime, &fresh.stRecurrence, zone);
            const EventKey key{BstrUtf8(fresh.bstrSubject), DateToSeconds(fresh.dtStartDateTime)};
            const bool category = !source.item.categories.empty();
            const Matches<EventKey, tagEventInfo>::Entry entry{source.file, source.item.line};
            // The UID first: a renamed or moved series is the same series.
            // Else the content, among rows no other UID claims.
            size_t match = m_masters.takeId(m_side.rowOfUid(source.item.uid), entry);
            if (match == Matches<EventKey, tagEventInfo>::kNone)
                match = m_masters.take(
                    key, entry,
                    [&](size_t i) {
                        OwnedRecord<tagEventInfo> merged;
                        Overlay(fresh, category, true, copyOf(m_masters.row(i), &merged));
                        return SameRecord<tagEventInfo>(merged, m_masters.row(i));
                    },
                    [&](size_t i) {
                        if (source.item.uid.empty()) return true;
                        const std::string uid = m_side.uidOf(BstrUtf8(m_masters.row(i).bstrEventID));
                        return uid.empty() || uid == source.item.uid;
                    });
            std::string id, hash;
            bool isNew = false;
            if (match == Matches<EventKey, tagEventInfo>::kNone) {
                LONG err = 0;
                Bstr added;
                Check(m_events->AddEvent(&err, &fresh, &added), err, "cannot add the event");
                m_report.imported();
                id = added.utf8();
                hash = RecordHash<tagEventInfo>(fresh);
                // Entries of other files (an overlapping export) match it too.
                OwnedRecord<tagEventInfo> kept;
                copyOf(fresh, &kept)->bstrEventID = added.Detach();
                m_masters.addNew(key, kept, entry, id);
                isNew = true;
            } else {
                const tagEventInfo& stored = m_masters.row(match);
                id = BstrUtf8(stored.bstrEventID);
                OwnedRecord<tagEventInfo> merged;
                Overlay(fresh, category, true, copyOf(stored, &merged));
                hash = RecordHash<tagEventInfo>(merged);
                if (store(id, stored, merged, true)) m_masters.replace(match, merged);
            }
            m_side.keep(id, source.item, hash, exactSeries, isNew);
            for (UtcSeconds excluded : source.item.exdates) addExcluded(r, id, excluded, zone);
            return id;
        } catch (const ClientError& error) {
            r.skip(error.what());
            return "";
        }
    }

    // The stored series an entry with RECURRENCE-ID belongs to: the one its
    // UID is kept under (imported now or before), or "".
    std::string masterOf(const CalendarItem& item) { return m_side.rowOfUid(item.uid); }
    void prefetch(const std::vector<std::string>& uids) { m_side.prefetch(uids); }
    void holdSide() { m_side.hold(); }
    void flushSide() { m_side.flush(); }

    // Makes the stored master `id` what the entry says (ReplaceEvent).
    bool replaceMaster(const SourcedItem& source, const std::string& id) {
        read({id}, {});
        const tagEventInfo* stored = m_masters.byId(id);
        if (!stored) throw ClientError("no event \"" + id + "\" in the current profile");
        ItemReader r(m_report, source);
        OwnedRecord<tagEventInfo> fresh;
        const std::optional<TimeZone> zone = r.zone();
        build(r, &fresh, zone);
        const bool exactSeries = r.recurrence(fresh.dtStartDateTime, &fresh.stRecurrence, zone);
        // An edited entry without a category clears the event's.
        OwnedRecord<tagEventInfo> merged;
        Overlay(fresh, true, true, copyOf(*stored, &merged));
        const bool changed = store(id, *stored, merged, true);
        // The edited text is the entry now (what the fields do not hold
        // included), under the UID it was kept under.
        CalendarItem kept = source.item;
        if (const std::string uid = m_side.uidOf(id); !uid.empty()) kept.uid = uid;
        m_side.keep(id, kept, RecordHash<tagEventInfo>(merged), exactSeries);
        return changed;
    }

    // Makes the excluded dates of the stored master `id` (its cancelled
    // exceptions that only remove an occurrence, which an export writes as
    // EXDATE) the ones the entry lists: a date the person took out brings
    // its occurrence back, a new one removes it. Says whether any changed.
    bool replaceExcluded(const SourcedItem& source, const std::string& id) {
        const tagEventInfo* master = m_masters.byId(id);
        if (!master) return false;
        ItemReader r(m_report, source);
        std::set<UtcSeconds> wanted(source.item.exdates.begin(), source.item.exdates.end());
        bool changed = false;
        for (const tagEventInfo* x : exceptionsOf(id)) {
            const bool onlyRemoves = x->eStatus == enumEventStatus_Canceled &&
                                     BstrView(x->bstrSubject) == BstrView(master->bstrSubject) &&
                                     DateToSeconds(x->dtStartDateTime) == DateToSeconds(x->dtOriginalStartTime);
            if (!onlyRemoves) continue;
            // An all-day series lists its excluded dates as days.
            UtcSeconds when = UtcOfDate(x->dtOriginalStartTime);
            if (master->bAllDayEvent) when -= ((when % kSecondsPerDay) + kSecondsPerDay) % kSecondsPerDay;
            if (wanted.erase(when) > 0) continue;
            LONG err = 0;
            Check(m_events->DeleteExceptionByID(&err, x->bstrEventID), err,
                  "cannot remove the excluded date " + FormatIsoDate(x->dtOriginalStartTime));
            changed = true;
        }
        const std::optional<TimeZone> zone = r.zone();
        for (UtcSeconds when : wanted) {
            addExcluded(r, id, when, zone);
            changed = true;
        }
        return changed;
    }

    void addException(const SourcedItem& source, const std::string& masterId) {
        ItemReader r(m_report, source);
        try {
            OwnedRecord<tagEventInfo> e;
            build(r, &e, r.zone());
            e.dtOriginalStartTime = DateOfUtc(*source.item.recurrenceId);
            if (m_addedExceptions.count({masterId, *source.item.recurrenceId})) return m_report.unchanged();
            if (const tagEventInfo* stored = storedException(masterId, *source.item.recurrenceId)) {
                OwnedRecord<tagEventInfo> merged;
                Overlay(e, !source.item.categories.empty(), false, copyOf(*stored, &merged));
                store(BstrUtf8(stored->bstrEventID), *stored, merged, false);
                m_side.keepOverride(masterId, source.item);
                return;
            }
            LONG err = 0;
            Bstr id;
            Check(m_events->AddException(&err, Bstr::FromUtf8(masterId), &e, &id), err, "cannot add the exception");
            m_addedExceptions.emplace(masterId, *source.item.recurrenceId);
            m_side.keepOverride(masterId, source.item);
            m_report.imported();
            m_report.count("exceptions");
        } catch (const ClientError& error) {
            r.skip(error.what());
        }
    }

private:
    // What an entry says of a matched row: the fields build() writes, the
    // category when the entry names one and a master's rule; the fields
    // iCalendar has no place for keep their stored values.
    static void Overlay(const tagEventInfo& entry, bool category, bool master, tagEventInfo* row) {
        static const char* const kFields[] = {"subject",      "description",     "location",      "status",
                                              "availability", "start_date_time", "end_date_time", "all_day_event",
                                              "private",      "priority",        "reminder_time", "original_start_time",
                                              "time_zone"};
        const RecordDesc& desc = RecordDescriptionOf<tagEventInfo>();
        auto take = [&](const char* key) {
            const FieldInfo& f = RequireField(desc, key);
            SetFieldFromJson(f, row, FieldToJson(f, &entry));
        };
        for (const char* key : kFields)
            if (!master || std::string_view(key) != "original_start_time") take(key);
        if (category) take("event_category_id");
        if (master) ToRecord(ToRule(entry.stRecurrence), &row->stRecurrence);
    }

    static tagEventInfo* copyOf(const tagEventInfo& stored, tagEventInfo* into) {
        RecordCopyByDescription(&RecordDescriptionOf<tagEventInfo>(), &stored, static_cast<tagEventInfo*>(into));
        return into;
    }

    // Rewrites a matched row when the entry changed it; says whether it did.
    bool store(const std::string& id, const tagEventInfo& stored, const tagEventInfo& merged, bool master) {
        if (SameRecord(merged, stored)) {
            m_report.unchanged();
            return false;
        }
        LONG err = 0;
        const Bstr key = Bstr::FromUtf8(id);
        if (master)
            Check(m_events->ModifyEventByID(&err, key, const_cast<tagEventInfo*>(&merged)), err,
                  "cannot change event " + id);
        else
            Check(m_events->ModifyExceptionByID(&err, key, const_cast<tagEventInfo*>(&merged)), err,
                  "cannot change exception " + id);
        m_report.updated();
        return true;
    }

    // The stored exception of `masterId` that replaces the occurrence at `when`.
    const tagEventInfo* storedException(const std::string& masterId, UtcSeconds when) {
        for (const tagEventInfo* x : exceptionsOf(masterId))
            if (UtcOfDate(x->dtOriginalStartTime) == when) return x;
        return nullptr;
    }

    // Indexes the stored series `ids` names and those of `keys`, and reads
    // the exceptions of them all.
    void read(const std::set<std::string>& ids, const std::set<EventKey>& keys) {
        std::set<std::string> subjects;
        for (const auto& key : keys) subjects.insert(key.first);
        if (ids.empty() && subjects.empty()) return;
        SqlText sql = EventSelect(m_session);
        sql.Append(u" AND [OriginalEventID] = '0' AND ([EventID] IN (");
        AppendQuotedList(sql, ids).Append(u") OR [Subject] IN (");
        AppendQuotedList(sql, subjects).Append(u")) ORDER BY [EventID];");
        std::vector<std::string> masters(ids.begin(), ids.end());
        for (const tagEventInfo& e : RecordRows<tagEventInfo>::Query(m_session.connection(), sql, kEventColumns, 1)) {
            std::string id = BstrUtf8(e.bstrEventID);
            EventKey key{BstrUtf8(e.bstrSubject), DateToSeconds(e.dtStartDateTime)};
            if (!ids.count(id) && !keys.count(key)) continue;
            m_masters.addStored(std::move(key), e, id);
            masters.push_back(std::move(id));
        }
        SqlText exceptions = EventSelect(m_session);
        exceptions.Append(u" AND [OriginalEventID] IN (");
        AppendQuotedList(exceptions, masters).Append(u") ORDER BY [EventID];");
        m_exceptions = RecordRows<tagEventInfo>::Query(m_session.connection(), exceptions, kEventColumns, 1);
        for (size_t i = 0; i < m_exceptions.size(); ++i)
            m_byMaster[m_exceptions.extra(i, 0)].push_back(&m_exceptions[i]);
    }
    const std::vector<const tagEventInfo*>& exceptionsOf(const std::string& id) const {
        static const std::vector<const tagEventInfo*> kNone;
        auto it = m_byMaster.find(id);
        return it == m_byMaster.end() ? kNone : it->second;
    }

    // An excluded date is a cancelled exception: the master's event at
    // that time, which the calendar reads as a removed occurrence. One that
    // is stored already stays as it is.
    void addExcluded(ItemReader& r, const std::string& masterId, UtcSeconds when, const std::optional<TimeZone>& zone) {
        if (storedException(masterId, when) || !m_addedExceptions.emplace(masterId, when).second) return;
        OwnedRecord<tagEventInfo> e;
        build(r, &e, zone);
        const UtcSeconds length = DateToSeconds(e.dtEndDateTime) - DateToSeconds(e.dtStartDateTime);
        e.dtStartDateTime = DateOfUtc(when);
        e.dtEndDateTime = DateOfUtc(when + length);
        e.dtOriginalStartTime = DateOfUtc(when);
        e.eStatus = enumEventStatus_Canceled;
        LONG err = 0;
        Bstr id;
        Check(m_events->AddException(&err, Bstr::FromUtf8(masterId), &e, &id), err,
              "cannot add the excluded date as an exception");
        m_report.count("excluded_dates");
    }

    std::string categoryId(const std::string& name) {
        if (!m_categoriesLoaded) {
            for (const auto& c : AllCategories(m_categories.get()))
                m_categoryIds.emplace(JsonText(c["event_category_name"]), JsonText(c["event_category_id"]));
            m_categoriesLoaded = true;
        }
        if (auto it = m_categoryIds.find(name); it != m_categoryIds.end()) return it->second;
        OwnedRecord<tagEventCategoryInfo> category;
        bool cut = false;
        SetField(RequireField(RecordDescriptionOf<tagEventCategoryInfo>(), "event_category_name"), &category,
                 FitText(name, &cut));
        category.bIsSelected = 1;  // new categories show in the selected lists
        LONG err = 0;
        Bstr id;
        Check(m_categories->AddEventCategory(&err, &category, &id), err,
              "cannot add the event category \"" + name + "\"");
        m_report.count("categories_created");
        return m_categoryIds[name] = id.utf8();
    }

    Session& m_session;
    ImportReport& m_report;
    ComPtr<IEventAccess> m_events;
    ComPtr<IEventCategoryAccess> m_categories;
    CalendarSide m_side;
    bool m_startedEmpty;
    Matches<EventKey, tagEventInfo> m_masters;
    // The stored exceptions of the batch's candidates, by master ID.
    RecordRows<tagEventInfo> m_exceptions;
    std::unordered_map<std::string, std::vector<const tagEventInfo*>> m_byMaster;
    std::set<std::pair<std::string, UtcSeconds>> m_addedExceptions;  // (master ID, replaced start)
    std::map<std::string, std::string> m_categoryIds;                // name -> ID
    bool m_categoriesLoaded = false;
};

// The entries of a kept original (the master's VEVENT or VTODO, then its
// replaced occurrences) read back as items. Read without the file's
// VTIMEZONEs: a zone known by name reads as before, another as UTC, which
// only decides whether a rule still matches (it then does not, and the
// record's rule is written).
std::vector<CalendarItem> KeptEntries(const std::string& original) {
    if (original.empty()) return {};
    return interchange::ParseICalendar("BEGIN:VCALENDAR\r\n" + original + "END:VCALENDAR\r\n").items;
}

// The fields of an item as a record stores them, to tell whether the
// record still holds what the import stored from the kept entry.
std::string Fitted(const std::string& text) {
    bool cut = false;
    return FitText(text, &cut);
}
bool SameStoredText(const std::string& stored, const std::string& kept, bool subject = false) {
    if (subject && kept.empty()) return stored == "(no title)";
    return stored == Fitted(kept);
}
template <size_t N>
bool SameWord(const Word (&table)[N], const std::string& stored, const std::string& kept, LONG fallback) {
    return ValueOf(table, stored).value_or(fallback) == ValueOf(table, kept).value_or(fallback);
}

// An exported entry: what the record holds (`out`, made from the record)
// laid over the kept entry it was imported from. Where the record still
// holds what the import stored from the entry, the entry's own words come
// back (PRIORITY 5, a description longer than the field, every category,
// the zone, the alarm as written); what the record holds otherwise wins.
// Everything the record has no field for travels in `original`, which the
// writer lays the fields over.
void OverKept(CalendarItem& out, const CalendarItem& kept) {
    const bool todo = out.kind == ItemKind::Todo;
    if (SameStoredText(out.summary, kept.summary, true)) out.summary = kept.summary;
    if (SameStoredText(out.description, kept.description)) out.description = kept.description;
    if (todo)
        out.location = kept.location;  // a task has no field for it
    else if (SameStoredText(out.location, kept.location))
        out.location = kept.location;
    if (PriorityOf(out.priority) == PriorityOf(kept.priority)) out.priority = kept.priority;
    // Words only as a file can carry them (the writer leaves out others).
    auto writable = [](const std::string& word) {
        return std::all_of(word.begin(), word.end(),
                           [](char c) { return std::isalnum(static_cast<unsigned char>(c)) || c == '-'; });
    };
    if (IsPrivate(out.classification) == IsPrivate(kept.classification) && writable(kept.classification))
        out.classification = kept.classification;
    if (writable(kept.status) && (todo ? SameWord(kTaskStatus, out.status, kept.status, enumTaskStatus_NotStarted)
                                       : SameWord(kEventStatus, out.status, kept.status, enumEventStatus_Confirmed)))
        out.status = kept.status;
    if (!todo && writable(kept.busyStatus) && SameWord(kBusy, out.busyStatus, kept.busyStatus, enumAvailability_Busy))
        out.busyStatus = kept.busyStatus;
    // The record keeps one category (a task: its built-in kind); the others
    // come back when that one is still the entry's.
    const bool sameFirst =
        out.categories.empty()
            ? (todo || kept.categories.empty())
            : (!kept.categories.empty() && (todo ? KindWord(kept.categories.front()) == KindWord(out.categories.front())
                                                 : Fitted(kept.categories.front()) == out.categories.front()));
    if (sameFirst) out.categories = kept.categories;
    // The alarm as the record counts it: minutes before the start.
    auto fromStart = [](const CalendarItem& i) -> long long {
        if (!i.alarmMinutes) return 0;
        const auto anchor = i.kind == ItemKind::Todo ? i.due : i.end;
        if (!i.alarmFromEnd || !anchor || !i.start) return *i.alarmMinutes;
        return *i.alarmMinutes - (*anchor - *i.start) / 60;
    };
    if (fromStart(out) == fromStart(kept) && out.start == kept.start &&
        (todo ? out.due == kept.due : out.end == kept.end)) {
        out.alarmMinutes = kept.alarmMinutes;
        out.alarmFromEnd = kept.alarmFromEnd;
    }
    if (todo && out.percentComplete.value_or(0) == std::clamp(kept.percentComplete.value_or(0), 0, 100))
        out.percentComplete = kept.percentComplete;
    // A zone the records have no number for (every zone, for a task) is
    // the entry's.
    if (out.timeZone.empty() && !out.allDay && !kept.allDay && !kept.timeZone.empty())
        if (auto zone = TimeZone::Find(kept.timeZone); zone && !zone->isUtc() && (todo || zone->number() == 0))
            out.timeZone = kept.timeZone;
    out.original = kept.original;
}

CalendarItem EventItem(const tagEventInfo& e, const std::map<std::string, std::string>& categoryNames) {
    CalendarItem item;
    item.summary = BstrUtf8(e.bstrSubject);
    item.description = BstrUtf8(e.bstrDescription);
    item.location = BstrUtf8(e.bstrLocation);
    item.start = UtcOfDate(e.dtStartDateTime);
    item.allDay = e.bAllDayEvent != 0;
    item.end = item.allDay ? ExclusiveAllDayEnd(e.dtStartDateTime, e.dtEndDateTime) : UtcOfDate(e.dtEndDateTime);
    item.status = WordOf(kEventStatus, e.eStatus);
    item.priority = PriorityWord(e.ePriority);
    if (e.bPrivate) item.classification = "PRIVATE";
    item.busyStatus = WordOf(kBusy, e.eAvailability);
    if (auto it = categoryNames.find(BstrUtf8(e.bstrEventCategoryID)); it != categoryNames.end())
        item.categories.push_back(it->second);
    if (e.lReminderTime != 0) item.alarmMinutes = e.lReminderTime;
    const std::optional<TimeZone> zone = item.allDay ? std::nullopt : TimeZone::FromNumber(e.ulTimeZone);
    if (zone && !zone->isUtc()) item.timeZone = zone->name();
    item.rrule =
        WriteRrule(ToRule(e.stRecurrence), e.dtStartDateTime, item.allDay, zone && !zone->isUtc() ? &*zone : nullptr);
    return item;
}

// Tasks are matched by subject, start and due date: both dates are
// optional, so the start alone would take two "Buy milk" with different
// due dates for one task.
using TaskKey = std::tuple<std::string, long long, long long>;
TaskKey KeyOf(const tagTaskInfo& t) {
    return {BstrUtf8(t.bstrSubject), DateToSeconds(t.dtStartDate), DateToSeconds(t.dtEndDate)};
}

// The task record's reminder counts back from the due date when there is
// one (a to-do's alarm is about its deadline; iCalendar says RELATED=END),
// else from the start.
// A reminder further from the due date than an iCalendar duration can carry
// (an int of seconds, about 68 years: a start centuries before the due date)
// is not stored, and said so, rather than written back as another time.
LONG TaskReminderOf(const CalendarItem& item, LONG minutes, ImportReport& report) {
    if (!item.due || item.alarmFromEnd || !item.alarmMinutes) return minutes;
    const UtcSeconds base = item.start ? *item.start : *item.due;
    const long long fromDue = minutes + (*item.due - base) / 60;
    if (fromDue > INT_MAX / 60 || fromDue < -(INT_MAX / 60)) {
        report.notStored("VALARM (too far from the due date)");
        return 0;
    }
    return static_cast<LONG>(fromDue);
}

// Returns whether the task's series is laid out by its kept rule.
bool BuildTask(ItemReader& r, ImportReport& report, tagTaskInfo* t) {
    const RecordDesc& desc = RecordDescriptionOf<tagTaskInfo>();
    static const auto kinds = EnumValues(RequireField(desc, "task_category").enumName);
    const CalendarItem& item = r.item();
    if (std::string why = DateProblemOf(item); !why.empty()) throw ClientError(why);
    r.setText(desc, t, "subject", r.subject());
    r.setText(desc, t, "description", item.description);
    t->eTaskStatus = static_cast<enumTaskStatus>(ValueOf(kTaskStatus, item.status).value_or(enumTaskStatus_NotStarted));
    t->ulCompletePercent = static_cast<ULONG>(std::clamp(item.percentComplete.value_or(0), 0, 100));
    if (item.start) t->dtStartDate = DateOfUtc(*item.start);
    if (item.due) t->dtEndDate = DateOfUtc(*item.due);
    if (item.completed) t->dtDateCompleted = DateOfUtc(*item.completed);
    t->eTaskPriority = static_cast<enumTaskPriority>(PriorityOf(item.priority));
    t->bPrivate = IsPrivate(item.classification) ? 1 : 0;
    t->lReminderTime = TaskReminderOf(item, r.reminder(), report);
    bool kindFound = false;
    for (const auto& category : item.categories) {
        auto kind = std::find_if(kinds.begin(), kinds.end(),
                                 [&](const auto& k) { return KindWord(k.first) == KindWord(category); });
        if (kind != kinds.end() && !kindFound) {
            t->eTaskCategory = static_cast<enumTaskCategory>(kind->second);
            kindFound = true;
        } else {
            report.notStored("CATEGORIES (not a task kind)");
        }
    }
    if (!item.exdates.empty()) report.notStored("EXDATE", item.exdates.size());
    const DATE seriesStart = t->dtStartDate != 0 ? t->dtStartDate : t->dtEndDate;
    if (!item.rrule.empty() && seriesStart == 0) {
        r.warn("RRULE without DTSTART or DUE; imported without repeating");
        report.notStored("RRULE");
        return false;
    }
    return r.recurrence(seriesStart, &t->stRecurrence, r.taskZone());
}

// A matched task row with what the entry says: every field the import
// writes; the built-in kind only when the entry names one.
void OverlayTask(const tagTaskInfo& entry, tagTaskInfo* row) {
    static const char* const kFields[] = {"subject",    "description",  "task_status",    "complete_percent",
                                          "start_date", "end_date",     "date_completed", "task_priority",
                                          "private",    "reminder_time"};
    const RecordDesc& desc = RecordDescriptionOf<tagTaskInfo>();
    for (const char* key : kFields) {
        const FieldInfo& f = RequireField(desc, key);
        SetFieldFromJson(f, row, FieldToJson(f, &entry));
    }
    if (entry.eTaskCategory != enumTaskCategory_None) row->eTaskCategory = entry.eTaskCategory;
    ToRecord(ToRule(entry.stRecurrence), &row->stRecurrence);
}

class TaskImporter {
public:
    TaskImporter(Session& session, ImportReport& report)
        : m_session(session),
          m_report(report),
          m_tasks(session.access<ITaskAccess>()),
          m_side(session, ItemFamily::Task),
          m_startedEmpty(NoRowsIn(session, u"[tTask]")) {}

    // Indexes the stored tasks a batch's entries may match (their UIDs
    // prefetched): those their UIDs name and those with one of their
    // subjects and dates, in the order the task list has them. Memory
    // holds these, not the profile.
    void prepare(const std::vector<CalendarItem>& items) {
        if (m_startedEmpty) return;
        std::set<std::string> ids, subjects;
        std::set<TaskKey> keys;
        auto seconds = [](const std::optional<UtcSeconds>& t) { return DateToSeconds(t ? DateOfUtc(*t) : 0); };
        for (const auto& item : items) {
            if (item.kind != ItemKind::Todo) continue;
            if (std::string row = m_side.rowOfUid(item.uid); !row.empty()) ids.insert(std::move(row));
            subjects.insert(StoredSubject(item));
            keys.insert({StoredSubject(item), seconds(item.start), seconds(item.due)});
        }
        if (ids.empty() && subjects.empty()) return;
        SqlText sql = TaskSelect(m_session);
        sql.Append(u" AND ([TaskID] IN (");
        AppendQuotedList(sql, ids).Append(u") OR [Subject] IN (");
        AppendQuotedList(sql, subjects).Append(u")) ORDER BY [Created], [TaskID];");
        for (const tagTaskInfo& t : RecordRows<tagTaskInfo>::Query(m_session.connection(), sql, kTaskColumns)) {
            std::string id = BstrUtf8(t.bstrTaskID);
            if (ids.count(id) || keys.count(KeyOf(t))) m_matches.addStored(KeyOf(t), t, id);
        }
    }

    void add(const SourcedItem& source) {
        ItemReader r(m_report, source);
        const RecordDesc& desc = RecordDescriptionOf<tagTaskInfo>();
        try {
            OwnedRecord<tagTaskInfo> t;
            const bool exactSeries = BuildTask(r, m_report, &t);
            auto merge = [&](size_t i, OwnedRecord<tagTaskInfo>* merged) {
                RecordCopyByDescription(&desc, &m_matches.row(i), static_cast<tagTaskInfo*>(merged));
                OverlayTask(t, merged);
            };
            const Matches<TaskKey, tagTaskInfo>::Entry entry{source.file, source.item.line};
            size_t match = m_matches.takeId(m_side.rowOfUid(source.item.uid), entry);
            if (match == Matches<TaskKey, tagTaskInfo>::kNone)
                match = m_matches.take(
                    KeyOf(t), entry,
                    [&](size_t i) {
                        OwnedRecord<tagTaskInfo> merged;
                        merge(i, &merged);
                        return SameRecord<tagTaskInfo>(merged, m_matches.row(i));
                    },
                    [&](size_t i) {
                        if (source.item.uid.empty()) return true;
                        const std::string uid = m_side.uidOf(BstrUtf8(m_matches.row(i).bstrTaskID));
                        return uid.empty() || uid == source.item.uid;
                    });
            LONG err = 0;
            if (match == Matches<TaskKey, tagTaskInfo>::kNone) {
                Bstr id;
                Check(m_tasks->AddTask(&err, &t, &id), err, "cannot add the task");
                m_report.imported();
                const std::string rowId = id.utf8();
                t.bstrTaskID = id.Detach();  // freed with the record
                m_matches.addNew(KeyOf(t), t, entry, rowId);
                m_side.keep(rowId, source.item, RecordHash<tagTaskInfo>(t), exactSeries, true);
                return;
            }
            OwnedRecord<tagTaskInfo> merged;
            merge(match, &merged);
            const tagTaskInfo& matched = m_matches.row(match);
            const std::string id = BstrUtf8(matched.bstrTaskID);
            if (SameRecord<tagTaskInfo>(merged, matched)) {
                m_report.unchanged();
            } else {
                Check(m_tasks->ModifyTaskByID(&err, Bstr::FromUtf8(id), &merged), err, "cannot change task " + id);
                m_matches.replace(match, merged);
                m_report.updated();
            }
            m_side.keep(id, source.item, RecordHash<tagTaskInfo>(merged), exactSeries);
        } catch (const ClientError& error) {
            r.skip(error.what());
        }
    }

    void prefetch(const std::vector<std::string>& uids) { m_side.prefetch(uids); }
    void holdSide() { m_side.hold(); }
    void flushSide() { m_side.flush(); }

private:
    Session& m_session;
    ImportReport& m_report;
    ComPtr<ITaskAccess> m_tasks;
    CalendarSide m_side;
    bool m_startedEmpty;
    Matches<TaskKey, tagTaskInfo> m_matches;
};

}  // namespace

// The importer of one kind behind CalendarImport.
struct CalendarImport::State {
    virtual ~State() = default;
    virtual size_t add(std::vector<CalendarItem> items, const std::string& file) = 0;
    virtual size_t finish() = 0;
};

namespace {

class KindImport final : public CalendarImport::State {
public:
    KindImport(Session& session, ImportReport& report, ItemKind kind) : m_report(report), m_kind(kind) {
        if (kind == ItemKind::Event)
            m_events = std::make_unique<EventImporter>(session, report);
        else
            m_tasks = std::make_unique<TaskImporter>(session, report);
    }

    size_t add(std::vector<CalendarItem> items, const std::string& file) override {
        std::vector<std::string> uids;
        for (const auto& item : items)
            if (!item.uid.empty()) uids.push_back(item.uid);
        if (m_events) {
            m_events->holdSide();
            m_events->prefetch(uids);
            m_events->prepare(items);
        } else {
            m_tasks->holdSide();
            m_tasks->prefetch(uids);
            m_tasks->prepare(items);
        }
        size_t handled = 0;
        std::vector<SourcedItem> replacing;
        for (auto& item : items) {
            if (item.kind != m_kind) {
                m_report.notStored(m_kind == ItemKind::Event ? "VTODO (read by tasks import)"
                                                             : "VEVENT (read by events import)");
                ++handled;
            } else if (m_events && item.recurrenceId) {
                replacing.push_back({file, std::move(item)});
            } else {
                const SourcedItem source{file, std::move(item)};
                if (m_events)
                    m_events->addMaster(source);
                else
                    m_tasks->add(source);
                ++handled;
            }
        }
        // After the batch's series, so an occurrence finds its series
        // wherever in the batch it stands.
        for (auto& source : replacing) {
            const std::string master = m_events->masterOf(source.item);
            if (master.empty()) {
                m_waiting.push_back(std::move(source));
                continue;
            }
            m_events->addException(source, master);
            ++handled;
        }
        flushSide();
        return handled;
    }

    size_t finish() override {
        if (!m_waiting.empty()) {
            std::vector<std::string> masters;
            for (const auto& source : m_waiting) masters.push_back(m_events->masterOf(source.item));
            m_events->prepareMasters(masters);
        }
        for (const auto& source : m_waiting) {
            const std::string master = m_events->masterOf(source.item);
            if (master.empty())
                m_report.skip(
                    source.file, source.item.line,
                    "replaces an occurrence of \"" + source.item.uid + "\", which is not among the imported events");
            else
                m_events->addException(source, master);
        }
        const size_t handled = m_waiting.size();
        m_waiting.clear();
        flushSide();
        return handled;
    }

private:
    void flushSide() {
        if (m_events)
            m_events->flushSide();
        else
            m_tasks->flushSide();
    }

    ImportReport& m_report;
    ItemKind m_kind;
    std::unique_ptr<EventImporter> m_events;
    std::unique_ptr<TaskImporter> m_tasks;
    // Replaced occurrences whose series no batch so far brought.
    std::vector<SourcedItem> m_waiting;
};

}  // namespace

CalendarImport::CalendarImport(Session& session, ImportReport& report, ItemKind kind)
    : m_state(std::make_unique<KindImport>(session, report, kind)) {}
CalendarImport::~CalendarImport() = default;

size_t CalendarImport::add(std::vector<CalendarItem> items, const std::string& file) {
    return m_state->add(std::move(items), file);
}
size_t CalendarImport::finish() { return m_state->finish(); }

namespace {

// An import of items already read: one transaction, one batch.
void ImportAll(Session& session, const std::vector<SourcedItem>& items, ImportReport& report,
               const std::function<void()>& step, ItemKind kind) {
    Transaction transaction(session);
    CalendarImport import(session, report, kind);
    std::map<std::string, std::vector<CalendarItem>> byFile;
    std::vector<std::string> files;
    for (const auto& source : items) {
        if (!byFile.count(source.file)) files.push_back(source.file);
        byFile[source.file].push_back(source.item);
    }
    size_t handled = 0;
    for (const auto& file : files) handled += import.add(std::move(byFile[file]), file);
    handled += import.finish();
    if (step)
        for (size_t i = 0; i < handled; ++i) step();
    // An import that stored nothing leaves the file as it was (categories
    // made for entries that then failed included).
    if (!report.failedWhole()) transaction.commit();
}

}  // namespace

void ImportTasks(Session& session, const std::vector<SourcedItem>& items, ImportReport& report,
                 const std::function<void()>& step) {
    ImportAll(session, items, report, step, ItemKind::Todo);
}

void ImportEvents(Session& session, const std::vector<SourcedItem>& items, ImportReport& report,
                  const std::function<void()>& step) {
    ImportAll(session, items, report, step, ItemKind::Event);
}

namespace {

// The kept entry among `entries` that replaces the occurrence at
// `recurrenceId` (none: the series' own).
const CalendarItem* KeptEntry(const std::vector<CalendarItem>& entries, std::optional<UtcSeconds> recurrenceId) {
    for (const auto& e : entries)
        if (e.recurrenceId == recurrenceId) return &e;
    return nullptr;
}

// A series' exact rule and extra dates, when the record holds only the
// nearest series to what its kept entry names.
void KeptSeriesInto(CalendarItem& item, const std::string& original, const tagRecurrence& rule, DATE start,
                    const std::optional<TimeZone>& zone) {
    EntrySeries series;
    bool held = false;
    if (!FollowsKeptSeries(original, rule, start, zone && !zone->isUtc() ? &*zone : nullptr, &series, &held)) return;
    if (!held) item.rrule = series.rrule;
    item.rdates.clear();
    for (Date d : series.rdates) item.rdates.push_back(UtcOfDate(d));
}

// How many stored series or tasks an export reads at a time: memory holds
// these with their exceptions and kept entries, not the profile.
constexpr LONG kExportChunk = 1000;

// The profile's exceptions listed by master once, in a temporary table of
// the connection that no other client sees (gone with the connection), so
// each chunk of an export looks its exceptions up instead of scanning
// every event of the file. Without temporary tables, chunks scan.
class ExceptionIndex {
public:
    explicit ExceptionIndex(Session& session)
        : m_session(session),
          m_list(session, u"calyra_event_exceptions",
                 {SqlText(u"CREATE TEMP TABLE calyra_event_exceptions (master INTEGER NOT NULL, item INTEGER NOT "
                          u"NULL);"),
                  SqlText(u"INSERT INTO temp.calyra_event_exceptions SELECT [OriginalEventID], [EventID] FROM "
                          u"[tEvent] WHERE [ProfileID] = '")
                      .AppendQuoted(session.profileId())
                      .Append(u"' AND [OriginalEventID] <> '0';"),
                  SqlText(u"CREATE INDEX temp.calyra_event_exceptions_by_master ON calyra_event_exceptions (master, "
                          u"item);")}) {}

    // The exceptions of `masters`, in ID order, with [OriginalEventID] as
    // their extra column.
    RecordRows<tagEventInfo> of(const std::vector<std::string>& masters) const {
        SqlText sql = EventSelect(m_session);
        const bool listed = m_list.made();
        sql.Append(listed ? Sql(u" AND [EventID] IN (SELECT item FROM temp.calyra_event_exceptions WHERE master IN (")
                          : Sql(u" AND [OriginalEventID] IN ("));
        AppendQuotedList(sql, masters).Append(listed ? Sql(u"))") : Sql(u")")).Append(u" ORDER BY [EventID];");
        return RecordRows<tagEventInfo>::Query(m_session.connection(), sql, kEventColumns, 1);
    }

private:
    Session& m_session;
    TemporaryTable m_list;
};

// Events as entries, handed to `visit` a chunk of masters (in ID order) at
// a time; `onlyId`: just that master, with its excluded dates but without
// its replaced occurrences (which `events exceptions` edits).
size_t EventEntries(Session& session, std::optional<DATE> from, std::optional<DATE> to, const std::string* onlyId,
                    const EntryVisitor& visit) {
    std::map<std::string, std::string> categoryNames;
    for (const auto& c : AllCategories(session.access<IEventCategoryAccess>().get()))
        categoryNames[JsonText(c["event_category_id"])] = JsonText(c["event_category_name"]);
    CalendarSide side(session, ItemFamily::Event);
    const ExceptionIndex exceptionIndex(session);
    size_t visited = 0;
    std::string after;  // the last master read
    for (;;) {
        SqlText sql = EventSelect(session);
        sql.Append(u" AND [OriginalEventID] = '0'");
        if (onlyId) sql.Append(u" AND [EventID] = '").AppendQuoted(Utf8ToUtf16(*onlyId)).Append(u"'");
        if (!after.empty()) sql.Append(u" AND [EventID] > '").AppendQuoted(Utf8ToUtf16(after)).Append(u"'");
        sql.Append(u" ORDER BY [EventID] LIMIT ").AppendLong(kExportChunk).Append(u";");
        const auto masters = RecordRows<tagEventInfo>::Query(session.connection(), sql, kEventColumns, 1);
        if (masters.size() == 0) break;
        after = BstrUtf8(masters[masters.size() - 1].bstrEventID);
        std::vector<const tagEventInfo*> chosen;
        std::vector<std::string> ids;
        for (const tagEventInfo& e : masters) {
            std::string id = BstrUtf8(e.bstrEventID);
            if (onlyId && id != *onlyId) continue;
            const bool repeats = ToRule(e.stRecurrence).frequency != Frequency::None;
            if (to && DateToSeconds(e.dtStartDateTime) > DateToSeconds(*to)) continue;
            if (from && !repeats && DateToSeconds(e.dtEndDateTime) < DateToSeconds(*from)) continue;
            chosen.push_back(&e);
            ids.push_back(std::move(id));
        }
        if (!chosen.empty()) {
            const auto exceptions = exceptionIndex.of(ids);
            std::unordered_map<std::string, std::vector<const tagEventInfo*>> byMaster;
            for (size_t i = 0; i < exceptions.size(); ++i) byMaster[exceptions.extra(i, 0)].push_back(&exceptions[i]);
            const auto kept = side.rows(ids);
            for (size_t i = 0; i < chosen.size(); ++i) {
                const tagEventInfo& e = *chosen[i];
                const std::string& id = ids[i];
                auto keptRow = kept.find(id);
                const std::string original = keptRow == kept.end() ? "" : keptRow->second.original;
                const std::vector<CalendarItem> entries = KeptEntries(original);
                CalendarItem master = EventItem(e, categoryNames);
                master.uid = keptRow == kept.end() ? side.derivedUid(id) : keptRow->second.uid;
                const std::optional<TimeZone> zone = master.allDay ? std::nullopt : TimeZone::FromNumber(e.ulTimeZone);
                if (const CalendarItem* entry = KeptEntry(entries, std::nullopt)) OverKept(master, *entry);
                KeptSeriesInto(master, original, e.stRecurrence, e.dtStartDateTime, zone);
                std::vector<CalendarItem> replaced;
                auto own = byMaster.find(id);
                for (const tagEventInfo* x :
                     own == byMaster.end() ? std::vector<const tagEventInfo*>{} : std::move(own->second)) {
                    const bool onlyRemoves = x->eStatus == enumEventStatus_Canceled &&
                                             BstrView(x->bstrSubject) == BstrView(e.bstrSubject) &&
                                             DateToSeconds(x->dtStartDateTime) == DateToSeconds(x->dtOriginalStartTime);
                    if (onlyRemoves) {
                        // An all-day series writes its excluded dates as days, so
                        // they are days here too: a time would not survive the file.
                        const UtcSeconds excluded = UtcOfDate(x->dtOriginalStartTime);
                        master.exdates.push_back(master.allDay ? excluded - ((excluded % 86400) + 86400) % 86400
                                                               : excluded);
                        continue;
                    }
                    if (onlyId) continue;
                    CalendarItem item = EventItem(*x, categoryNames);
                    item.uid = master.uid;
                    item.rrule.clear();
                    item.recurrenceId = UtcOfDate(x->dtOriginalStartTime);
                    if (const CalendarItem* entry = KeptEntry(entries, item.recurrenceId)) OverKept(item, *entry);
                    item.rdates.clear();
                    replaced.push_back(std::move(item));
                }
                visit(master);
                for (const auto& item : replaced) visit(item);
                visited += 1 + replaced.size();
            }
        }
        if (masters.size() < static_cast<size_t>(kExportChunk)) break;
    }
    return visited;
}

// Tasks as entries, a chunk at a time in the order of the task list (by
// creation, then ID); `onlyId`: just that task.
size_t TaskEntries(Session& session, const std::string* onlyId, const EntryVisitor& visit) {
    const auto kinds = EnumValues(RequireField(RecordDescriptionOf<tagTaskInfo>(), "task_category").enumName);
    CalendarSide side(session, ItemFamily::Task);
    size_t visited = 0;
    // The last task read, by its place in the order: its creation text and ID.
    std::optional<std::pair<std::string, std::string>> after;
    for (;;) {
        // [Created] is date text; one another program left empty or wrote
        // as a number still has a place in the order (and the chunks).
        constexpr Sql kCreated(u"CAST(IFNULL([Created], '') AS TEXT)");
        SqlText sql = TaskSelect(session, kCreated);
        if (onlyId) sql.Append(u" AND [TaskID] = '").AppendQuoted(Utf8ToUtf16(*onlyId)).Append(u"'");
        if (after) {
            const std::u16string created = Utf8ToUtf16(after->first);
            sql.Append(u" AND (")
                .Append(kCreated)
                .Append(u" > '")
                .AppendQuoted(created)
                .Append(u"' OR (")
                .Append(kCreated)
                .Append(u" = '")
                .AppendQuoted(created)
                .Append(u"' AND [TaskID] > '")
                .AppendQuoted(Utf8ToUtf16(after->second))
                .Append(u"'))");
        }
        sql.Append(u" ORDER BY ").Append(kCreated).Append(u", [TaskID] LIMIT ").AppendLong(kExportChunk).Append(u";");
        const auto tasks = RecordRows<tagTaskInfo>::Query(session.connection(), sql, kTaskColumns, 1);
        if (tasks.size() == 0) break;
        after.emplace(tasks.extra(tasks.size() - 1, 0), BstrUtf8(tasks[tasks.size() - 1].bstrTaskID));
        std::vector<std::string> ids;
        for (const tagTaskInfo& t : tasks) ids.push_back(BstrUtf8(t.bstrTaskID));
        const auto kept = side.rows(ids);
        for (size_t i = 0; i < tasks.size(); ++i) {
            const tagTaskInfo& t = tasks[i];
            const std::string& id = ids[i];
            if (onlyId && id != *onlyId) continue;
            auto keptRow = kept.find(id);
            const std::string original = keptRow == kept.end() ? "" : keptRow->second.original;
            CalendarItem item;
            item.kind = ItemKind::Todo;
            item.uid = keptRow == kept.end() ? side.derivedUid(id) : keptRow->second.uid;
            item.summary = BstrUtf8(t.bstrSubject);
            item.description = BstrUtf8(t.bstrDescription);
            if (t.dtStartDate != 0) item.start = UtcOfDate(t.dtStartDate);
            if (t.dtEndDate != 0) item.due = UtcOfDate(t.dtEndDate);
            // Tasks have no all-day flag; dates at midnight are written as days.
            auto midnight = [](const std::optional<UtcSeconds>& s) { return !s || *s % kSecondsPerDay == 0; };
            item.allDay = (item.start || item.due) && midnight(item.start) && midnight(item.due);
            item.status = WordOf(kTaskStatus, t.eTaskStatus);
            if (t.ulCompletePercent != 0)
                item.percentComplete = static_cast<int>(std::min<ULONG>(t.ulCompletePercent, 100));
            if (t.dtDateCompleted != 0) item.completed = UtcOfDate(t.dtDateCompleted);
            item.priority = PriorityWord(t.eTaskPriority);
            if (t.bPrivate) item.classification = "PRIVATE";
            if (t.eTaskCategory != enumTaskCategory_None)
                for (const auto& [name, value] : kinds)
                    if (value == t.eTaskCategory) item.categories.push_back(Displayed(name));
            if (t.lReminderTime != 0) {
                item.alarmMinutes = t.lReminderTime;
                item.alarmFromEnd = item.due.has_value();
            }
            const std::vector<CalendarItem> entries = KeptEntries(original);
            if (const CalendarItem* entry = KeptEntry(entries, std::nullopt)) {
                // A task at a midnight of its zone is not a day.
                if (!entry->allDay) item.allDay = false;
                OverKept(item, *entry);
            }
            std::optional<TimeZone> zone;
            if (!item.timeZone.empty()) zone = TimeZone::Find(item.timeZone);
            const DATE seriesStart = t.dtStartDate != 0 ? t.dtStartDate : t.dtEndDate;
            item.rrule = WriteRrule(ToRule(t.stRecurrence), seriesStart, item.allDay, zone ? &*zone : nullptr);
            KeptSeriesInto(item, original, t.stRecurrence, seriesStart, zone);
            visit(item);
            ++visited;
        }
        if (tasks.size() < static_cast<size_t>(kExportChunk)) break;
    }
    return visited;
}

std::vector<CalendarItem> Collected(const std::function<size_t(const EntryVisitor&)>& entries) {
    std::vector<CalendarItem> out;
    entries([&](const CalendarItem& item) { out.push_back(item); });
    return out;
}

}  // namespace

size_t VisitEvents(Session& session, std::optional<DATE> from, std::optional<DATE> to, const EntryVisitor& visit) {
    return EventEntries(session, from, to, nullptr, visit);
}

size_t VisitTasks(Session& session, const EntryVisitor& visit) { return TaskEntries(session, nullptr, visit); }

std::vector<CalendarItem> ExportEvents(Session& session, std::optional<DATE> from, std::optional<DATE> to) {
    return Collected([&](const EntryVisitor& visit) { return EventEntries(session, from, to, nullptr, visit); });
}

std::vector<CalendarItem> ExportTasks(Session& session) {
    return Collected([&](const EntryVisitor& visit) { return TaskEntries(session, nullptr, visit); });
}

std::vector<CalendarItem> ExportSeries(Session& session, const std::string& id) {
    return Collected([&](const EntryVisitor& visit) { return EventEntries(session, {}, {}, &id, visit); });
}

CalendarItem ExportEvent(Session& session, const std::string& id) {
    auto items = ExportSeries(session, id);
    if (items.empty()) throw ClientError("no event \"" + id + "\" in the current profile");
    return std::move(items.front());
}

CalendarItem ExportTask(Session& session, const std::string& id) {
    auto items = Collected([&](const EntryVisitor& visit) { return TaskEntries(session, &id, visit); });
    if (items.empty()) throw ClientError("no task \"" + id + "\" in the current profile");
    return std::move(items.front());
}

std::optional<TimeZone> TaskZone(Session& session, const std::string& id) {
    CalendarSide side(session, ItemFamily::Task);
    const auto kept = side.rows({id});
    if (kept.empty()) return std::nullopt;
    const auto entries = KeptEntries(kept.begin()->second.original);
    const CalendarItem* entry = KeptEntry(entries, std::nullopt);
    if (!entry || entry->timeZone.empty() || entry->allDay) return std::nullopt;
    std::optional<TimeZone> zone = TimeZone::Find(entry->timeZone);
    if (zone && zone->isUtc()) return std::nullopt;
    return zone;
}

bool MoveTaskToNextOccurrence(Session& session, const std::string& id, tagTaskInfo* task) {
    const DATE anchor = task->dtStartDate != 0 ? task->dtStartDate : task->dtEndDate;
    RecurrenceRule rule = ToRule(task->stRecurrence);
    if (anchor == 0 || !RuleProblem(rule).empty()) return false;
    CalendarSide side(session, ItemFamily::Task);
    const auto kept = side.rows({id});
    const std::string original = kept.empty() ? "" : kept.begin()->second.original;
    const std::optional<TimeZone> zone = TaskZone(session, id);
    CalendarEvent series;
    series.start = series.end = anchor;
    EntrySeries exact;
    bool held = false;
    if (FollowsKeptSeries(original, task->stRecurrence, anchor, zone ? &*zone : nullptr, &exact, &held)) {
        if (held) exact.rrule = WriteRrule(rule, anchor, false, zone ? &*zone : nullptr);
        series.exactRule = exact.rrule;
        series.extraStarts = exact.rdates;
        // Counted from the series' own first start, as the entry wrote it.
        const auto entries = KeptEntries(original);
        if (const CalendarItem* entry = KeptEntry(entries, std::nullopt); entry && (entry->start || entry->due))
            series.start = series.end = DateOfUtc(entry->start ? *entry->start : *entry->due);
    } else if (rule.frequency == Frequency::None) {
        return false;
    }
    if (rule.start == 0) rule.start = SeriesStartOf(anchor);
    series.rule = rule;
    const TimeZone frame = zone.value_or(TimeZone::Utc());
    const long long from = DateToSeconds(anchor) + 1;
    // A year holds the next occurrence of most rules; rare ones (the 29th
    // of February every 4 years) need a longer look.
    for (long long years : {1, 9}) {
        const auto next = ExpandEventInZone(series, {}, SecondsToDate(from),
                                            SecondsToDate(from + years * 366 * kSecondsPerDay), frame);
        auto after =
            std::find_if(next.begin(), next.end(), [&](const Occurrence& o) { return DateToSeconds(o.start) >= from; });
        if (after == next.end()) continue;
        const long long shift = DateToSeconds(after->start) - DateToSeconds(anchor);
        for (DATE* date : {&task->dtStartDate, &task->dtEndDate})
            if (*date != 0) *date = SecondsToDate(DateToSeconds(*date) + shift);
        ToRecord(rule, &task->stRecurrence);
        task->eTaskStatus = enumTaskStatus_NotStarted;
        task->ulCompletePercent = 0;
        task->dtDateCompleted = 0;
        return true;
    }
    return false;
}

bool ReplaceEvent(Session& session, const std::string& id, const CalendarItem& item, ImportReport& report) {
    if (item.kind != ItemKind::Event || item.recurrenceId) throw ClientError("the entry is not an event");
    EventImporter importer(session, report);
    const SourcedItem source{"the edited event", item};
    const bool changed = importer.replaceMaster(source, id);
    return importer.replaceExcluded(source, id) || changed;
}

bool ReplaceTask(Session& session, const std::string& id, const CalendarItem& item, ImportReport& report) {
    if (item.kind != ItemKind::Todo) throw ClientError("the entry is not a task");
    auto tasks = session.access<ITaskAccess>();
    LONG err = 0;
    OwnedRecord<tagTaskInfo> stored;
    const HRESULT hr = tasks->GetTaskByID(&err, Bstr::FromUtf8(id), &stored);
    if (FAILED(hr) && err == 0) throw ClientError("no task \"" + id + "\" in the current profile");
    Check(hr, err, "cannot read task " + id);
    const SourcedItem source{"the edited task", item};
    ItemReader r(report, source);
    OwnedRecord<tagTaskInfo> fresh;
    const bool exactSeries = BuildTask(r, report, &fresh);
    OwnedRecord<tagTaskInfo> merged;
    RecordCopyByDescription(&RecordDescriptionOf<tagTaskInfo>(), &stored, static_cast<tagTaskInfo*>(&merged));
    OverlayTask(fresh, &merged);
    // The edited text is the entry now, under the UID it was kept under.
    CalendarSide side(session, ItemFamily::Task);
    CalendarItem kept = item;
    if (const std::string uid = side.uidOf(id); !uid.empty()) kept.uid = uid;
    side.keep(id, kept, RecordHash<tagTaskInfo>(merged), exactSeries);
    if (SameRecord<tagTaskInfo>(merged, stored)) return false;
    Check(tasks->ModifyTaskByID(&err, Bstr::FromUtf8(id), &merged), err, "cannot change task " + id);
    return true;
}

std::optional<std::string> StoredCalendarHash(Session& session, bool task, const std::string& id) {
    LONG err = 0;
    if (task) {
        OwnedRecord<tagTaskInfo> record;
        if (FAILED(session.access<ITaskAccess>()->GetTaskByID(&err, Bstr::FromUtf8(id), &record)) ||
            BstrUtf8(record.bstrTaskID) != id)
            return std::nullopt;
        return RecordHash<tagTaskInfo>(record);
    }
    OwnedRecord<tagEventInfo> record;
    if (FAILED(session.access<IEventAccess>()->GetEventByID(&err, Bstr::FromUtf8(id), &record)) ||
        BstrUtf8(record.bstrEventID) != id)
        return std::nullopt;
    return RecordHash<tagEventInfo>(record);
}

}  // namespace calyra::cli
