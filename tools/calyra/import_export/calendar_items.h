// Calendar items in and out of the current profile: events (with their
// categories, recurrence and exceptions) and tasks.
//
// Import: an item with RECURRENCE-ID becomes an exception of the event
// with the same UID among the items imported together; an excluded date
// (EXDATE) becomes a cancelled exception of its event, which is how the
// calendar commands read a removed occurrence. The first category names
// the event's category (created when the profile has none of that name);
// tasks take their built-in kind from a category with its name. Rules the
// record cannot carry are reported and the item is imported without them.
//
// An import runs in one transaction and is idempotent: an event entry that
// matches a stored event (same subject and start), an exception that
// matches one of its master (same replaced occurrence) or a task entry that
// matches a stored task (same subject, start and due date) is reported
// unchanged, or updates the stored row when it differs; it is never added a
// second time. Fields iCalendar has no place for keep their stored values.
// An import that stored nothing while entries failed is rolled back whole.
//
// An event written in a named zone keeps it: its times are stored in UTC,
// the zone's number in ulTimeZone, and its rule's days are the zone's, so
// the series keeps its wall time across clock changes. Such an event is
// exported in that zone (TZID and a VTIMEZONE), others in UTC.
//
// All-day events keep the last second of their last day in the record and
// travel with the exclusive next day as DTEND. Dates outside the years 100
// to 9999 are refused with the entry.
//
// Export: events as VEVENTs with UIDs made from their IDs, exceptions as
// entries with the master's UID and RECURRENCE-ID, cancelled exceptions
// that only remove an occurrence as EXDATEs; tasks as VTODOs.
//
// Ownership: plain values out; access objects are taken from the session.
// Thread-safety: one thread, like the session.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "import_export/import_report.h"
#include "interchange/calendar_item.h"
#include "platform/types.h"
#include "session/session.h"

namespace calyra::cli {

// An item with the file it came from, for the report.
struct SourcedItem {
    std::string file;
    interchange::CalendarItem item;
};

// `step` is called once per item handled (for a progress bar).
void ImportEvents(Session& session, const std::vector<SourcedItem>& items, ImportReport& report,
                  const std::function<void()>& step = {});
void ImportTasks(Session& session, const std::vector<SourcedItem>& items, ImportReport& report,
                 const std::function<void()>& step = {});

// Events overlapping [from, to] (recurring events whose series starts by
// `to`), with their exceptions; all events when no range is given.
std::vector<interchange::CalendarItem> ExportEvents(Session& session, std::optional<DATE> from, std::optional<DATE> to);
std::vector<interchange::CalendarItem> ExportTasks(Session& session);

// One stored event (without its exceptions, which `events exceptions`
// edits) or task as an entry; throws ClientError when the profile has none
// with that ID.
interchange::CalendarItem ExportEvent(Session& session, const std::string& id);
interchange::CalendarItem ExportTask(Session& session, const std::string& id);
// Makes the stored event or task `id` what the edited entry says, as an
// import updates a matched entry, except that a missing category clears
// the event's; the excluded dates become those the entry lists (EXDATE),
// other exceptions stay as stored. Returns
// whether anything changed; throws ClientError when the entry cannot be
// stored (the caller's transaction undoes it).
bool ReplaceEvent(Session& session, const std::string& id, const interchange::CalendarItem& item, ImportReport& report);
bool ReplaceTask(Session& session, const std::string& id, const interchange::CalendarItem& item, ImportReport& report);

}  // namespace calyra::cli
