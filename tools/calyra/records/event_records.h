// Reading events and categories through the component for the calendar
// commands: one event by ID (master or exception), all events, the JSON
// view with the repetition in words, and the plain values the occurrence
// expansion works on.
//
// Ownership: records come back in OwnedRecord/OwnedRecordArray holders the
// caller passes in. Thread-safety: one thread, like the session.
#pragma once

#include <string>
#include <vector>

#include "calendar/occurrences.h"
#include "idl/calyra_idl.h"
#include "idl/owned_record.h"
#include "shell/output.h"

namespace calyra::cli {

enum class EventRow { Master, Exception };

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
// Sorts event JSON values by start, then by ID as a number.
void SortByStart(Json* events);

calendar::CalendarEvent ToCalendarEvent(const tagEventInfo& info);

// The categories of the profile as JSON (ToJson of each).
Json AllCategories(IEventCategoryAccess* categories);
// The category with `id` in `all`, or nullptr.
const Json* FindCategory(const Json& all, const std::string& id);
// Throws ClientError "no category <id>" unless the profile has it.
void RequireCategory(IEventCategoryAccess* categories, const std::string& id);

}  // namespace calyra::cli
