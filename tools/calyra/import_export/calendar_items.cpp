#include "import_export/calendar_items.h"

#include <algorithm>
#include <cctype>
#include <map>
#include <memory>

#include "calendar/days.h"
#include "idl/owned_record.h"
#include "import_export/conversions.h"
#include "import_export/rrule.h"
#include "platform/bstr.h"
#include "records/event_records.h"
#include "shell/client_error.h"
#include "shell/record_fields.h"

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

const FieldInfo& Field(const RecordDesc& desc, const char* key) {
    const FieldInfo* f = FindField(desc, key);
    if (!f) throw std::logic_error(std::string(desc.name) + " has no field " + key);
    return *f;
}

std::string Text(const Json& v) { return v.is_string() ? v.get<std::string>() : ""; }

// "Phone Calls" and "phone-calls" -> "phonecalls", to match the kind names.
std::string Folded(const std::string& text) {
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
        SetField(Field(desc, key), record, fitted);
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
    // The item's recurrence into the record; `start` begins the series.
    void recurrence(DATE start, tagRecurrence* record) {
        if (item().rrule.empty()) return;
        RruleReading reading = ReadRrule(item().rrule, start);
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

class EventImporter {
public:
    EventImporter(Session& session, ImportReport& report)
        : m_report(report),
          m_events(session.access<IEventAccess>()),
          m_categories(session.access<IEventCategoryAccess>()) {}

    // Builds the record of an event or exception.
    void build(ItemReader& r, OwnedRecord<tagEventInfo>* e) {
        const RecordDesc& desc = RecordDescriptionOf<tagEventInfo>();
        const CalendarItem& item = r.item();
        r.setText(desc, e, "subject", r.subject());
        r.setText(desc, e, "description", item.description);
        r.setText(desc, e, "location", item.location);
        e->eStatus =
            static_cast<enumEventStatus>(ValueOf(kEventStatus, item.status).value_or(enumEventStatus_Confirmed));
        e->eAvailability =
            static_cast<enumAvailability>(ValueOf(kBusy, item.busyStatus).value_or(enumAvailability_Busy));
        e->dtStartDateTime = DateOfUtc(*item.start);
        e->dtEndDateTime = DateOfUtc(item.end.value_or(*item.start));
        e->bAllDayEvent = item.allDay ? 1 : 0;
        e->bPrivate = IsPrivate(item.classification) ? 1 : 0;
        e->ePriority = static_cast<enumEventPriority>(PriorityOf(item.priority));
        e->lReminderTime = r.reminder();
        if (!item.categories.empty()) {
            SetField(Field(desc, "event_category_id"), e, categoryId(item.categories.front()));
            if (item.categories.size() > 1)
                m_report.notStored("CATEGORIES (after the first)", item.categories.size() - 1);
        }
    }

    // Adds a master event with its excluded dates; returns its ID or "".
    std::string addMaster(const SourcedItem& source) {
        ItemReader r(m_report, source);
        try {
            OwnedRecord<tagEventInfo> e;
            build(r, &e);
            r.recurrence(e.dtStartDateTime, &e.stRecurrence);
            LONG err = 0;
            Bstr id;
            Check(m_events->AddEvent(&err, &e, &id), err, "cannot add the event");
            m_report.imported();
            for (UtcSeconds excluded : source.item.exdates) addExcluded(r, id, excluded);
            return id.utf8();
        } catch (const ClientError& error) {
            r.skip(error.what());
            return "";
        }
    }

    void addException(const SourcedItem& source, const std::string& masterId) {
        ItemReader r(m_report, source);
        try {
            OwnedRecord<tagEventInfo> e;
            build(r, &e);
            e.dtOriginalStartTime = DateOfUtc(*source.item.recurrenceId);
            LONG err = 0;
            Bstr id;
            Check(m_events->AddException(&err, Bstr::FromUtf8(masterId), &e, &id), err, "cannot add the exception");
            m_report.imported();
            m_report.count("exceptions");
        } catch (const ClientError& error) {
            r.skip(error.what());
        }
    }

private:
    // An excluded date is a cancelled exception: the master's event at
    // that time, which the calendar reads as a removed occurrence.
    void addExcluded(ItemReader& r, const Bstr& masterId, UtcSeconds when) {
        OwnedRecord<tagEventInfo> e;
        build(r, &e);
        const UtcSeconds length = r.item().end.value_or(*r.item().start) - *r.item().start;
        e.dtStartDateTime = DateOfUtc(when);
        e.dtEndDateTime = DateOfUtc(when + length);
        e.dtOriginalStartTime = DateOfUtc(when);
        e.eStatus = enumEventStatus_Canceled;
        LONG err = 0;
        Bstr id;
        Check(m_events->AddException(&err, masterId, &e, &id), err, "cannot add the excluded date as an exception");
        m_report.count("excluded_dates");
    }

    std::string categoryId(const std::string& name) {
        if (!m_categoriesLoaded) {
            for (const auto& c : AllCategories(m_categories.get()))
                m_categoryIds.emplace(Text(c["event_category_name"]), Text(c["event_category_id"]));
            m_categoriesLoaded = true;
        }
        if (auto it = m_categoryIds.find(name); it != m_categoryIds.end()) return it->second;
        OwnedRecord<tagEventCategoryInfo> category;
        bool cut = false;
        SetField(Field(RecordDescriptionOf<tagEventCategoryInfo>(), "event_category_name"), &category,
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
    std::map<std::string, std::string> m_categoryIds;  // name -> ID
    bool m_categoriesLoaded = false;
};

CalendarItem EventItem(const tagEventInfo& e, const std::map<std::string, std::string>& categoryNames) {
    CalendarItem item;
    item.summary = BstrUtf8(e.bstrSubject);
    item.description = BstrUtf8(e.bstrDescription);
    item.location = BstrUtf8(e.bstrLocation);
    item.start = UtcOfDate(e.dtStartDateTime);
    item.end = UtcOfDate(e.dtEndDateTime);
    item.allDay = e.bAllDayEvent != 0;
    item.status = WordOf(kEventStatus, e.eStatus);
    item.priority = PriorityWord(e.ePriority);
    if (e.bPrivate) item.classification = "PRIVATE";
    item.busyStatus = WordOf(kBusy, e.eAvailability);
    if (auto it = categoryNames.find(BstrUtf8(e.bstrEventCategoryID)); it != categoryNames.end())
        item.categories.push_back(it->second);
    if (e.lReminderTime != 0) item.alarmMinutes = e.lReminderTime;
    item.rrule = WriteRrule(ToRule(e.stRecurrence), e.dtStartDateTime, item.allDay);
    return item;
}

}  // namespace

void ImportEvents(Session& session, const std::vector<SourcedItem>& items, ImportReport& report,
                  const std::function<void()>& step) {
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
}

void ImportTasks(Session& session, const std::vector<SourcedItem>& items, ImportReport& report,
                 const std::function<void()>& step) {
    auto tasks = session.access<ITaskAccess>();
    const RecordDesc& desc = RecordDescriptionOf<tagTaskInfo>();
    const auto kinds = EnumValues(Field(desc, "task_category").enumName);
    for (const auto& source : items) {
        if (step) step();
        if (source.item.kind != ItemKind::Todo) {
            report.notStored("VEVENT (read by events import)");
            continue;
        }
        const CalendarItem& item = source.item;
        ItemReader r(report, source);
        try {
            OwnedRecord<tagTaskInfo> t;
            r.setText(desc, &t, "subject", r.subject());
            r.setText(desc, &t, "description", item.description);
            t.eTaskStatus =
                static_cast<enumTaskStatus>(ValueOf(kTaskStatus, item.status).value_or(enumTaskStatus_NotStarted));
            t.ulCompletePercent = static_cast<ULONG>(std::clamp(item.percentComplete.value_or(0), 0, 100));
            if (item.start) t.dtStartDate = DateOfUtc(*item.start);
            if (item.due) t.dtEndDate = DateOfUtc(*item.due);
            if (item.completed) t.dtDateCompleted = DateOfUtc(*item.completed);
            t.eTaskPriority = static_cast<enumTaskPriority>(PriorityOf(item.priority));
            t.bPrivate = IsPrivate(item.classification) ? 1 : 0;
            t.lReminderTime = r.reminder();
            bool kindFound = false;
            for (const auto& category : item.categories) {
                auto kind = std::find_if(kinds.begin(), kinds.end(),
                                         [&](const auto& k) { return Folded(k.first) == Folded(category); });
                if (kind != kinds.end() && !kindFound) {
                    t.eTaskCategory = static_cast<enumTaskCategory>(kind->second);
                    kindFound = true;
                } else {
                    report.notStored("CATEGORIES (not a task kind)");
                }
            }
            if (!item.exdates.empty()) report.notStored("EXDATE", item.exdates.size());
            const DATE seriesStart = t.dtStartDate != 0 ? t.dtStartDate : t.dtEndDate;
            if (!item.rrule.empty() && seriesStart == 0) {
                r.warn("RRULE without DTSTART or DUE; imported without repeating");
                report.notStored("RRULE");
            } else {
                r.recurrence(seriesStart, &t.stRecurrence);
            }
            LONG err = 0;
            Bstr id;
            Check(tasks->AddTask(&err, &t, &id), err, "cannot add the task");
            report.imported();
        } catch (const ClientError& error) {
            r.skip(error.what());
        }
    }
}

std::vector<CalendarItem> ExportEvents(Session& session, std::optional<DATE> from, std::optional<DATE> to) {
    auto events = session.access<IEventAccess>();
    std::map<std::string, std::string> categoryNames;
    for (const auto& c : AllCategories(session.access<IEventCategoryAccess>().get()))
        categoryNames[Text(c["event_category_id"])] = Text(c["event_category_name"]);
    OwnedRecordArray<tagEventInfo> all;
    AllEvents(events.get(), std::addressof(all));
    std::vector<CalendarItem> out;
    for (const tagEventInfo& e : all) {
        const bool repeats = ToRule(e.stRecurrence).frequency != Frequency::None;
        if (to && DateToSeconds(e.dtStartDateTime) > DateToSeconds(*to)) continue;
        if (from && !repeats && DateToSeconds(e.dtEndDateTime) < DateToSeconds(*from)) continue;
        const std::string id = BstrUtf8(e.bstrEventID);
        CalendarItem master = EventItem(e, categoryNames);
        master.uid = "calyra-event-" + id;
        std::vector<CalendarItem> replaced;
        OwnedRecordArray<tagEventInfo> exceptions;
        AllExceptions(events.get(), id, std::addressof(exceptions));
        for (const tagEventInfo& x : exceptions) {
            const bool onlyRemoves = x.eStatus == enumEventStatus_Canceled &&
                                     BstrUtf8(x.bstrSubject) == BstrUtf8(e.bstrSubject) &&
                                     DateToSeconds(x.dtStartDateTime) == DateToSeconds(x.dtOriginalStartTime);
            if (onlyRemoves) {
                master.exdates.push_back(UtcOfDate(x.dtOriginalStartTime));
                continue;
            }
            CalendarItem item = EventItem(x, categoryNames);
            item.uid = master.uid;
            item.rrule.clear();
            item.recurrenceId = UtcOfDate(x.dtOriginalStartTime);
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
    const auto kinds = EnumValues(Field(RecordDescriptionOf<tagTaskInfo>(), "task_category").enumName);
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
        if (t.lReminderTime != 0) item.alarmMinutes = t.lReminderTime;
        const DATE seriesStart = t.dtStartDate != 0 ? t.dtStartDate : t.dtEndDate;
        item.rrule = WriteRrule(ToRule(t.stRecurrence), seriesStart, item.allDay);
        out.push_back(std::move(item));
    }
    return out;
}

}  // namespace calyra::cli
