#include "records/event_records.h"

#include "records/named_records.h"

#include <algorithm>
#include <set>
#include <tuple>

#include "calendar/rrule_text.h"
#include "platform/bstr.h"
#include "records/named_records.h"
#include "records/record_fields.h"
#include "records/recurrence_record.h"
#include "session/client_error.h"

namespace calyra::cli {

using namespace calendar;

EventRow ReadEvent(IEventAccess* events, const std::string& id, OwnedRecord<tagEventInfo>* info) {
    const Bstr key = Bstr::FromUtf8(id);
    LONG err = 0;
    // Both reads answer a missing row with a failure but no error ID; an
    // error ID means the query itself failed.
    HRESULT hr = events->GetEventByID(&err, key, info);
    if (SUCCEEDED(hr)) return EventRow::Master;
    Check(err ? hr : S_OK, err, "cannot read event " + id);
    info->clear();
    hr = events->GetExceptionByID(&err, key, info);
    if (SUCCEEDED(hr)) return EventRow::Exception;
    Check(err ? hr : S_OK, err, "cannot read event " + id);
    throw ClientError("no event " + id);
}

void AllEvents(IEventAccess* events, OwnedRecordArray<tagEventInfo>* all) {
    LONG err = 0, count = 0;
    Check(events->GetAllEvents(&err, &count, &*all), err, "cannot list the events");
}

void AllExceptions(IEventAccess* events, const std::string& id, OwnedRecordArray<tagEventInfo>* all) {
    LONG err = 0, count = 0;
    Check(events->GetAllExceptions(&err, Bstr::FromUtf8(id), &count, &*all), err,
          "cannot list the exceptions of event " + id);
}

Json EventJson(const tagEventInfo& info) {
    Json out = ToJson(info);
    out["recurrence_text"] = DescribeRecurrence(info.stRecurrence, ZoneOfEvent(info));
    return out;
}

Json EventJson(const tagEventInfo& info, const UserTime& user) {
    Json out = EventJson(info);
    const bool allDay = info.bAllDayEvent != 0;
    user.putMoment(&out, "start", info.dtStartDateTime, allDay);
    user.putMoment(&out, "end", info.dtEndDateTime, allDay);
    const auto zone = TimeZone::FromNumber(info.ulTimeZone);
    out["time_zone_name"] = zone ? Json(zone->name()) : Json();
    return out;
}

Json OccurrenceJson(const Occurrence& o, const UserTime& user) {
    Json out{{"event_id", o.eventId}, {"subject", o.subject}};
    user.putMoment(&out, "start", o.start, o.allDay);
    user.putMoment(&out, "end", o.end, o.allDay);
    out["all_day"] = o.allDay;
    out["exception"] = o.exception;
    return out;
}

TimeZone ZoneOfEvent(const tagEventInfo& info) {
    if (info.bAllDayEvent) return TimeZone::Utc();
    return TimeZone::FromNumber(info.ulTimeZone).value_or(TimeZone::Utc());
}

void SortByStart(Json* events) {
    auto key = [](const Json& e) {
        const Json& start = e["start_date_time"];
        const std::string id = e["event_id"].is_string() ? e["event_id"].get<std::string>() : "";
        // IDs are decimal; a shorter one is the smaller number.
        return std::make_tuple(start.is_string() ? start.get<std::string>() : "", id.size(), id);
    };
    std::stable_sort(events->begin(), events->end(), [&](const Json& a, const Json& b) { return key(a) < key(b); });
}

CalendarEvent ToCalendarEvent(const tagEventInfo& info) {
    CalendarEvent e;
    e.id = BstrUtf8(info.bstrEventID);
    e.subject = BstrUtf8(info.bstrSubject);
    e.start = info.dtStartDateTime;
    e.end = info.dtEndDateTime;
    e.allDay = info.bAllDayEvent != 0;
    e.canceled = info.eStatus == enumEventStatus_Canceled;
    e.rule = ToRule(info.stRecurrence);
    e.originalStart = info.dtOriginalStartTime;
    return e;
}

namespace {

// Two rules name the same series whatever day each says it begins on: a
// task done moves its start on, and an event moved by hand starts its
// series elsewhere, without the rule changing.
bool SameSeries(RecurrenceRule a, RecurrenceRule b) {
    a.start = b.start = 0;
    return a == b;
}

}  // namespace

bool FollowsKeptSeries(const std::string& original, const tagRecurrence& record, DATE start, const TimeZone* zone,
                       EntrySeries* series, bool* ruleHeld) {
    if (ruleHeld) *ruleHeld = false;
    if (original.find("RRULE") == std::string::npos && original.find("RDATE") == std::string::npos) return false;
    EntrySeries kept = SeriesOfEntry(original);
    const RecurrenceRule stored = ToRule(record);
    bool exact = !kept.rdates.empty();
    if (!kept.rrule.empty()) {
        const RruleReading reading = ReadRrule(kept.rrule, start, zone);
        if (reading.problem.empty() && reading.inexact.empty()) {
            if (ruleHeld) *ruleHeld = true;  // the record holds the rule itself; extra dates join it
        } else if (!reading.problem.empty() || !SameSeries(reading.rule, stored)) {
            return false;
        }
        exact = exact || !reading.inexact.empty();
    } else if (stored.frequency != Frequency::None) {
        return false;  // a rule given since: the record's own
    }
    if (exact && series) *series = std::move(kept);
    return exact;
}

CalendarEvent ToCalendarEvent(const tagEventInfo& info, const std::string& original) {
    CalendarEvent e = ToCalendarEvent(info);
    if (original.empty()) return e;
    const TimeZone zone = ZoneOfEvent(info);
    EntrySeries series;
    bool held = false;
    const TimeZone* inZone = zone.isUtc() ? nullptr : &zone;
    if (!FollowsKeptSeries(original, info.stRecurrence, info.dtStartDateTime, inZone, &series, &held)) return e;
    if (held) series.rrule = WriteRrule(e.rule, info.dtStartDateTime, e.allDay, inZone);
    e.exactRule = std::move(series.rrule);
    e.extraStarts = std::move(series.rdates);
    return e;
}

Json AllCategories(IEventCategoryAccess* categories) {
    LONG err = 0, count = 0;
    OwnedRecordArray<tagEventCategoryInfo> all;
    Check(categories->GetAllEventCategories(&err, &count, &all), err, "cannot list the categories");
    return ToJsonArray(all);
}

const Json* FindCategory(const Json& all, const std::string& id) {
    for (const auto& c : all)
        if (c["event_category_id"] == id) return &c;
    return nullptr;
}

std::function<bool(const tagEventInfo&)> CategoryFilter(Session& session, const std::string& category, bool selected) {
    if (!category.empty())
        return [id = ResolveCategory(session.access<IEventCategoryAccess>().get(), category)](const tagEventInfo& e) {
            return BstrUtf8(e.bstrEventCategoryID) == id;
        };
    if (!selected) return nullptr;
    std::set<std::string> chosen;
    for (const auto& c : AllCategories(session.access<IEventCategoryAccess>().get()))
        if (c["is_selected"] == true) chosen.insert(c["event_category_id"].get<std::string>());
    return [chosen](const tagEventInfo& e) { return chosen.count(BstrUtf8(e.bstrEventCategoryID)) > 0; };
}

void RequireCategory(IEventCategoryAccess* categories, const std::string& id) {
    if (!FindCategory(AllCategories(categories), id)) throw ClientError("no category " + id);
}

}  // namespace calyra::cli
