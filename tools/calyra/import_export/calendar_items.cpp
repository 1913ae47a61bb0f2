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

#include "calendar/days.h"
#include "calendar/rrule_text.h"
#include "calendar/time_zone.h"
#include "idl/owned_record.h"
#include "import_export/conversions.h"
#include "platform/bstr.h"
#include "records/event_records.h"
#include "records/profile_events.h"
#include "records/record_fields.h"
#include "session/client_error.h"
#include "session/transaction.h"

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
    // The item's recurrence into the record; `start` begins the series.
    void recurrence(DATE start, tagRecurrence* record, const std::optional<TimeZone>& zone = std::nullopt) {
        if (item().rrule.empty()) return;
        RruleReading reading = ReadRrule(item().rrule, start, zone ? &*zone : nullptr);
        std::string problem = reading.problem;
        if (problem.empty()) ToRecord(reading.rule, record, &problem);
        if (problem.empty()) return;
        warn("RRULE " + item().rrule + ": " + problem + "; imported without repeating");
        m_report.notStored("RRULE");
    }
    void warn(const std::string& what) { m_report.warn(m_source.file, item().line, what); }
    void skip(const std::string& what) { m_report.skip(m_source.file, item().line, what); }

private:
    ImportReport& m_report;
    const SourcedItem& m_source;
};

// Records equal field for field (texts by content).
template <class Record>
bool SameRecord(const Record& a, const Record& b) {
    return ToJson(a) == ToJson(b);
}

std::string DateProblemOf(const CalendarItem& item) {
    for (auto t : {item.start, item.end, item.due, item.recurrenceId, item.completed})
        if (t)
            if (std::string why = DateRangeProblem(DateOfUtc(*t)); !why.empty()) return why;
    return "";
}

// The rows of a family an import matches its entries against: the stored
// ones and those the import adds, each as it stands after the import's own
// changes. An entry takes, among the rows with its key that no other entry
// of its file took, one it would leave unchanged, else the first. Two
// entries of one file with one key are two records; a second file that
// repeats an entry (an overlapping export, or the same file again) finds
// the same row.
template <class Key, class Record>
class Matches {
public:
    static constexpr size_t kNone = static_cast<size_t>(-1);

    // Where an entry stands: its file and line.
    using Entry = std::pair<std::string, size_t>;

    void addStored(Key key, const Record& row) { index(std::move(key), &row, {}); }
    // A copy of a record the import added (with its new ID) for `entry`.
    void addNew(Key key, const Record& row, const Entry& entry) { index(std::move(key), copy(row), entry); }
    // Row `i` after the import rewrote it.
    void replace(size_t i, const Record& row) { m_rows[i] = copy(row); }
    const Record& row(size_t i) const { return *m_rows[i]; }

    // `unchanged(i)` says whether the entry would leave row i as it is.
    template <class Unchanged>
    size_t take(const Key& key, const Entry& entry, Unchanged unchanged) {
        size_t chosen = kNone;
        for (auto [it, last] = m_index.equal_range(key); it != last; ++it) {
            const size_t i = it->second;
            if (m_takenBy[i].first == entry.first && m_takenBy[i] != entry) continue;
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
    void index(Key key, const Record* row, const Entry& entry) {
        m_index.emplace(std::move(key), m_rows.size());
        m_rows.push_back(row);
        m_takenBy.push_back(entry);
    }

    std::multimap<Key, size_t> m_index;
    std::vector<const Record*> m_rows;
    std::vector<Entry> m_takenBy;  // the entry that took the row last
    std::deque<OwnedRecord<Record>> m_owned;
};

// Events are matched by subject and start (to the second): what an
// export and re-import keeps whatever else changed, so a changed rule, end
// or place updates the stored event instead of adding a second one. The UID
// cannot serve: the component does not keep it. Exceptions are matched by
// their master and the start of the occurrence they replace.
using EventKey = std::pair<std::string, long long>;

class EventImporter {
public:
    EventImporter(Session& session, ImportReport& report)
        : m_report(report),
          m_events(session.access<IEventAccess>()),
          m_categories(session.access<IEventCategoryAccess>()),
          m_stored(session) {
        for (const tagEventInfo& e : m_stored.masters())
            m_masters.addStored({BstrUtf8(e.bstrSubject), DateToSeconds(e.dtStartDateTime)}, e);
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
            r.recurrence(fresh.dtStartDateTime, &fresh.stRecurrence, zone);
            const EventKey key{BstrUtf8(fresh.bstrSubject), DateToSeconds(fresh.dtStartDateTime)};
            const bool category = !source.item.categories.empty();
            const size_t match = m_masters.take(key, {source.file, source.item.line}, [&](size_t i) {
                OwnedRecord<tagEventInfo> merged;
                Overlay(fresh, category, true, copyOf(m_masters.row(i), &merged));
                return SameRecord<tagEventInfo>(merged, m_masters.row(i));
            });
            std::string id;
            if (match == Matches<EventKey, tagEventInfo>::kNone) {
                LONG err = 0;
                Bstr added;
                Check(m_events->AddEvent(&err, &fresh, &added), err, "cannot add the event");
                m_report.imported();
                id = added.utf8();
                // Entries of other files (an overlapping export) match it too.
                OwnedRecord<tagEventInfo> kept;
                copyOf(fresh, &kept)->bstrEventID = added.Detach();
                m_masters.addNew(key, kept, {source.file, source.item.line});
            } else {
                const tagEventInfo& stored = m_masters.row(match);
                id = BstrUtf8(stored.bstrEventID);
                OwnedRecord<tagEventInfo> merged;
                Overlay(fresh, category, true, copyOf(stored, &merged));
                if (store(id, stored, merged, true)) m_masters.replace(match, merged);
            }
            for (UtcSeconds excluded : source.item.exdates) addExcluded(r, id, excluded, zone);
            return id;
        } catch (const ClientError& error) {
            r.skip(error.what());
            return "";
        }
    }

    // Makes the stored master `id` what the entry says (ReplaceEvent).
    bool replaceMaster(const SourcedItem& source, const std::string& id) {
        const tagEventInfo* stored = nullptr;
        for (const tagEventInfo& e : m_stored.masters())
            if (BstrUtf8(e.bstrEventID) == id) stored = &e;
        if (!stored) throw ClientError("no event \"" + id + "\" in the current profile");
        ItemReader r(m_report, source);
        OwnedRecord<tagEventInfo> fresh;
        const std::optional<TimeZone> zone = r.zone();
        build(r, &fresh, zone);
        r.recurrence(fresh.dtStartDateTime, &fresh.stRecurrence, zone);
        // An edited entry without a category clears the event's.
        OwnedRecord<tagEventInfo> merged;
        Overlay(fresh, true, true, copyOf(*stored, &merged));
        return store(id, *stored, merged, true);
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
                return;
            }
            LONG err = 0;
            Bstr id;
            Check(m_events->AddException(&err, Bstr::FromUtf8(masterId), &e, &id), err, "cannot add the exception");
            m_addedExceptions.emplace(masterId, *source.item.recurrenceId);
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
        for (const tagEventInfo* x : m_stored.exceptionsOf(masterId))
            if (UtcOfDate(x->dtOriginalStartTime) == when) return x;
        return nullptr;
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

    ImportReport& m_report;
    ComPtr<IEventAccess> m_events;
    ComPtr<IEventCategoryAccess> m_categories;
    ProfileEvents m_stored;
    Matches<EventKey, tagEventInfo> m_masters;
    std::set<std::pair<std::string, UtcSeconds>> m_addedExceptions;  // (master ID, replaced start)
    std::map<std::string, std::string> m_categoryIds;                // name -> ID
    bool m_categoriesLoaded = false;
};

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

}  // namespace

void ImportEvents(Session& session, const std::vector<SourcedItem>& items, ImportReport& report,
                  const std::function<void()>& step) {
    Transaction transaction(session);
    EventImporter importer(session, report);
    std::map<std::string, std::string> masters;  // UID -> event ID
    for (const auto& source : items) {
        if (source.item.kind != ItemKind::Event) {
            report.notStored("VTODO (read by tasks import)");
        } else if (!source.item.recurrenceId) {
            const std::string id = importer.addMaster(source);
            if (!id.empty() && !source.item.uid.empty()) masters.emplace(source.item.uid, id);
        }
        if (step && !(source.item.kind == ItemKind::Event && source.item.recurrenceId)) step();
    }
    for (const auto& source : items) {
        if (source.item.kind != ItemKind::Event || !source.item.recurrenceId) continue;
        auto master = masters.find(source.item.uid);
        if (master == masters.end())
            report.skip(
                source.file, source.item.line,
                "replaces an occurrence of \"" + source.item.uid + "\", which is not among the imported events");
        else
            importer.addException(source, master->second);
        if (step) step();
    }
    // An import that stored nothing leaves the file as it was (categories
    // made for entries that then failed included).
    if (!report.failedWhole()) transaction.commit();
}

namespace {

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

void BuildTask(ItemReader& r, ImportReport& report, tagTaskInfo* t) {
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
    } else {
        r.recurrence(seriesStart, &t->stRecurrence);
    }
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

}  // namespace

void ImportTasks(Session& session, const std::vector<SourcedItem>& items, ImportReport& report,
                 const std::function<void()>& step) {
    Transaction transaction(session);
    auto tasks = session.access<ITaskAccess>();
    LONG err = 0, count = 0;
    OwnedRecordArray<tagTaskInfo> stored;
    Check(tasks->GetAllTasks(&err, &count, &stored), err, "cannot list the tasks");
    Matches<TaskKey, tagTaskInfo> matches;
    for (const tagTaskInfo& t : stored) matches.addStored(KeyOf(t), t);
    const RecordDesc& desc = RecordDescriptionOf<tagTaskInfo>();
    for (const auto& source : items) {
        if (step) step();
        if (source.item.kind != ItemKind::Todo) {
            report.notStored("VEVENT (read by events import)");
            continue;
        }
        ItemReader r(report, source);
        try {
            OwnedRecord<tagTaskInfo> t;
            BuildTask(r, report, &t);
            auto merge = [&](size_t i, OwnedRecord<tagTaskInfo>* merged) {
                RecordCopyByDescription(&desc, &matches.row(i), static_cast<tagTaskInfo*>(merged));
                OverlayTask(t, merged);
            };
            const size_t match = matches.take(KeyOf(t), {source.file, source.item.line}, [&](size_t i) {
                OwnedRecord<tagTaskInfo> merged;
                merge(i, &merged);
                return SameRecord<tagTaskInfo>(merged, matches.row(i));
            });
            if (match == Matches<TaskKey, tagTaskInfo>::kNone) {
                Bstr id;
                Check(tasks->AddTask(&err, &t, &id), err, "cannot add the task");
                report.imported();
                t.bstrTaskID = id.Detach();  // freed with the record
                matches.addNew(KeyOf(t), t, {source.file, source.item.line});
                continue;
            }
            OwnedRecord<tagTaskInfo> merged;
            merge(match, &merged);
            const tagTaskInfo& matched = matches.row(match);
            if (SameRecord<tagTaskInfo>(merged, matched)) {
                report.unchanged();
                continue;
            }
            const std::string id = BstrUtf8(matched.bstrTaskID);
            Check(tasks->ModifyTaskByID(&err, Bstr::FromUtf8(id), &merged), err, "cannot change task " + id);
            matches.replace(match, merged);
            report.updated();
        } catch (const ClientError& error) {
            r.skip(error.what());
        }
    }
    if (!report.failedWhole()) transaction.commit();
}

std::vector<CalendarItem> ExportEvents(Session& session, std::optional<DATE> from, std::optional<DATE> to) {
    std::map<std::string, std::string> categoryNames;
    for (const auto& c : AllCategories(session.access<IEventCategoryAccess>().get()))
        categoryNames[JsonText(c["event_category_id"])] = JsonText(c["event_category_name"]);
    const ProfileEvents stored(session);
    std::vector<CalendarItem> out;
    for (const tagEventInfo& e : stored.masters()) {
        const bool repeats = ToRule(e.stRecurrence).frequency != Frequency::None;
        if (to && DateToSeconds(e.dtStartDateTime) > DateToSeconds(*to)) continue;
        if (from && !repeats && DateToSeconds(e.dtEndDateTime) < DateToSeconds(*from)) continue;
        const std::string id = BstrUtf8(e.bstrEventID);
        CalendarItem master = EventItem(e, categoryNames);
        master.uid = "calyra-event-" + id;
        std::vector<CalendarItem> replaced;
        for (const tagEventInfo* x : stored.exceptionsOf(id)) {
            const bool onlyRemoves = x->eStatus == enumEventStatus_Canceled &&
                                     BstrView(x->bstrSubject) == BstrView(e.bstrSubject) &&
                                     DateToSeconds(x->dtStartDateTime) == DateToSeconds(x->dtOriginalStartTime);
            if (onlyRemoves) {
                // An all-day series writes its excluded dates as days, so
                // they are days here too: a time would not survive the file.
                const interchange::UtcSeconds excluded = UtcOfDate(x->dtOriginalStartTime);
                master.exdates.push_back(master.allDay ? excluded - ((excluded % 86400) + 86400) % 86400 : excluded);
                continue;
            }
            CalendarItem item = EventItem(*x, categoryNames);
            item.uid = master.uid;
            item.rrule.clear();
            item.recurrenceId = UtcOfDate(x->dtOriginalStartTime);
            replaced.push_back(std::move(item));
        }
        out.push_back(std::move(master));
        for (auto& item : replaced) out.push_back(std::move(item));
    }
    return out;
}

std::vector<CalendarItem> ExportTasks(Session& session) {
    auto tasks = session.access<ITaskAccess>();
    LONG err = 0, count = 0;
    OwnedRecordArray<tagTaskInfo> all;
    Check(tasks->GetAllTasks(&err, &count, &all), err, "cannot list the tasks");
    const auto kinds = EnumValues(RequireField(RecordDescriptionOf<tagTaskInfo>(), "task_category").enumName);
    std::vector<CalendarItem> out;
    for (const tagTaskInfo& t : all) {
        CalendarItem item;
        item.kind = ItemKind::Todo;
        item.uid = "calyra-task-" + BstrUtf8(t.bstrTaskID);
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
        const DATE seriesStart = t.dtStartDate != 0 ? t.dtStartDate : t.dtEndDate;
        item.rrule = WriteRrule(ToRule(t.stRecurrence), seriesStart, item.allDay);
        out.push_back(std::move(item));
    }
    return out;
}

namespace {

CalendarItem ExportedById(std::vector<CalendarItem> items, const std::string& uid, const char* what,
                          const std::string& id) {
    for (auto& item : items)
        if (item.uid == uid && !item.recurrenceId) return std::move(item);
    throw ClientError(std::string("no ") + what + " \"" + id + "\" in the current profile");
}

}  // namespace

CalendarItem ExportEvent(Session& session, const std::string& id) {
    return ExportedById(ExportEvents(session, std::nullopt, std::nullopt), "calyra-event-" + id, "event", id);
}

CalendarItem ExportTask(Session& session, const std::string& id) {
    return ExportedById(ExportTasks(session), "calyra-task-" + id, "task", id);
}

bool ReplaceEvent(Session& session, const std::string& id, const CalendarItem& item, ImportReport& report) {
    if (item.kind != ItemKind::Event || item.recurrenceId) throw ClientError("the entry is not an event");
    EventImporter importer(session, report);
    return importer.replaceMaster({"the edited event", item}, id);
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
    BuildTask(r, report, &fresh);
    OwnedRecord<tagTaskInfo> merged;
    RecordCopyByDescription(&RecordDescriptionOf<tagTaskInfo>(), &stored, static_cast<tagTaskInfo*>(&merged));
    OverlayTask(fresh, &merged);
    if (SameRecord<tagTaskInfo>(merged, stored)) return false;
    Check(tasks->ModifyTaskByID(&err, Bstr::FromUtf8(id), &merged), err, "cannot change task " + id);
    return true;
}

}  // namespace calyra::cli
