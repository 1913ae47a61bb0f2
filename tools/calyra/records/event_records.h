// Reading events and categories through the component for the calendar
// commands: one event by ID (master or exception), all events, the JSON
// view with the repetition in words, and the plain values the occurrence
// expansion works on.
//
// Ownership: records come back in OwnedRecord/OwnedRecordArray holders the
// caller passes in. Thread-safety: one thread, like the session.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "calendar/exact_rule.h"
#include "calendar/occurrences.h"
#include "calendar/time_zone.h"
#include "idl/calyra_idl.h"
#include "idl/owned_record.h"
#include "output/output.h"
#include "session/session.h"
#include "session/user_time.h"

namespace calyra::cli {

enum class EventRow { Master, Exception };

// FROZEN: written into files. The side store's match key of an event or
// task whose series is laid out by the exact rule kept with its entry (see
// FollowsKeptSeries): views find such series by it without reading every
// kept entry.
inline constexpr const char* kExactSeriesKey = "series:exact";

// Reads event `id` of the current profile, a master event or an exception,
// into `info`. Throws ClientError "no event <id>" when the profile has none.
EventRow ReadEvent(IEventAccess* events, const std::string& id, OwnedRecord<tagEventInfo>* info);

// The master events of the profile (exceptions are listed per master).
// Pass the holder with std::addressof: its & gives the SAFEARRAY slot.
void AllEvents(IEventAccess* events, OwnedRecordArray<tagEventInfo>* all);
// The exceptions of master event `id`.
void AllExceptions(IEventAccess* events, const std::string& id, OwnedRecordArray<tagEventInfo>* all);

// Every field (ToJson) plus "recurrence_text", the repetition in words.
Json EventJson(const tagEventInfo& info);
// The same plus the times as the user reads them: "start" and "end" in ISO
// 8601 with the user's offset (all-day: the days), "start_utc", "end_utc",
// and "time_zone_name", the event's own zone (null: none, its times are UTC).
Json EventJson(const tagEventInfo& info, const UserTime& user);
// An occurrence for scripts: event_id, subject, start, start_utc, end,
// end_utc (as above), all_day, exception.
Json OccurrenceJson(const calendar::Occurrence& o, const UserTime& user);

// The zone an event's times are laid out in: its recorded zone; UTC for
// none, for a number this version does not know, and for all-day events,
// whose days are the same everywhere.
calendar::TimeZone ZoneOfEvent(const tagEventInfo& info);
// Sorts event JSON values by start, then by ID as a number.
void SortByStart(Json* events);

calendar::CalendarEvent ToCalendarEvent(const tagEventInfo& info);
// The same, laid out by the rule `original` names (the event's entry as it
// was imported, calendar/exact_rule.h) when the record holds only the
// nearest series to it or the entry adds dates (RDATE), and the record
// still follows that rule: a series changed since is laid out as stored.
calendar::CalendarEvent ToCalendarEvent(const tagEventInfo& info, const std::string& original);
// Whether the entry `original` names a series that the record `rule`
// (the series starting at `start`, in `zone`, UTC when null) holds only
// the nearest of, or adds dates to; then views and exports follow the
// entry's series. `ruleHeld`: the record holds the entry's rule itself
// (only its dates are extra).
bool FollowsKeptSeries(const std::string& original, const tagRecurrence& rule, DATE start,
                       const calendar::TimeZone* zone, calendar::EntrySeries* series = nullptr,
                       bool* ruleHeld = nullptr);

// The categories of the profile as JSON (ToJson of each).
Json AllCategories(IEventCategoryAccess* categories);
// The category with `id` in `all`, or nullptr.
const Json* FindCategory(const Json& all, const std::string& id);
// Which master events a view keeps: those of `category` (an ID or a name,
// resolved here; empty: any),
// or with `selected` those of the selected categories; nullptr for all.
std::function<bool(const tagEventInfo&)> CategoryFilter(Session& session, const std::string& category, bool selected);
// Throws ClientError "no category <id>" unless the profile has it.
void RequireCategory(IEventCategoryAccess* categories, const std::string& id);

}  // namespace calyra::cli
