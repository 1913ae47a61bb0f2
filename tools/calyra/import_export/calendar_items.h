// Calendar items in and out of the current profile: events (with their
// categories, recurrence and exceptions) and tasks.
//
// Import: an item with RECURRENCE-ID becomes an exception of the event
// whose UID it carries (imported with it, or before); an excluded date
// (EXDATE) becomes a cancelled exception of its event, which is how the
// calendar commands read a removed occurrence. The first category names
// the event's category (created when the profile has none of that name);
// tasks take their built-in kind from a category with its name.
//
// Identity: each imported item keeps its UID, its entry as it came (a
// series with the entries of its replaced occurrences) and the hash of its
// record in the side store, in the import's transaction. An import finds a
// stored item by its UID first (a file that renames a series updates it),
// then by content: an event entry by subject and start, a task entry by
// subject, start and due date, among the rows no other UID claims. A match
// is reported unchanged, or updated when the entry changes it; it is never
// added a second time, also not after the side state was lost. The stored
// items a batch may match (by its UIDs, subjects and dates) are read for
// that batch, so memory does not grow with the profile. Fields
// iCalendar has no place for keep their stored values. An import that
// stored nothing while entries failed is rolled back whole.
//
// A rule the recurrence record cannot hold is stored as the nearest series
// it can (what other programs reading the file show) and kept exactly with
// the entry, which every view and export then follows (records/
// event_records.h FollowsKeptSeries); extra dates (RDATE) likewise. A rule
// libical cannot read either is refused with its entry, by name.
//
// An event written in a named zone keeps it: its times are stored in UTC,
// the zone's number in ulTimeZone, and its rule's days are the zone's, so
// the series keeps its wall time across clock changes. A task keeps the
// zone of its entry the same way, in the side store (its record has no
// zone field). Such items are exported in their zone (TZID and a
// VTIMEZONE), others in UTC.
//
// All-day events keep the last second of their last day in the record and
// travel with the exclusive next day as DTEND. Dates outside the years 100
// to 9999 are refused with the entry.
//
// Export: each item under its kept UID (one derived from its row when it
// has none), its stored fields laid over its kept entry: where the record
// still holds what the import stored, the entry's own words come back
// (PRIORITY 5, every category, a description longer than the field);
// everything the record has no field for travels in the entry. Exceptions
// go out as entries with the master's UID and RECURRENCE-ID, cancelled
// exceptions that only remove an occurrence as EXDATEs.
//
// Ownership: plain values out; access objects are taken from the session.
// Thread-safety: one thread, like the session.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "calendar/time_zone.h"
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

// An import of events (`kind` Event) or tasks (Todo) a batch at a time,
// inside the caller's Transaction, so memory is bounded by the batch: each
// batch's series are stored first, then the occurrences they replace; an
// occurrence whose series no batch so far brought waits for finish().
// Entries of the other kind are counted as not stored. add() and finish()
// return how many entries they handled (for a progress bar).
class CalendarImport {
public:
    CalendarImport(Session& session, ImportReport& report, interchange::ItemKind kind);
    ~CalendarImport();
    CalendarImport(const CalendarImport&) = delete;
    CalendarImport& operator=(const CalendarImport&) = delete;

    size_t add(std::vector<interchange::CalendarItem> items, const std::string& file);
    size_t finish();

    struct State;  // the importer of the kind, defined where it is made

private:
    std::unique_ptr<State> m_state;
};

// All items at once, in a transaction of their own that is committed
// unless every entry failed. `step` is called once per item handled.
void ImportEvents(Session& session, const std::vector<SourcedItem>& items, ImportReport& report,
                  const std::function<void()>& step = {});
void ImportTasks(Session& session, const std::vector<SourcedItem>& items, ImportReport& report,
                 const std::function<void()>& step = {});

// Events overlapping [from, to] (recurring events whose series starts by
// `to`), each followed by its exceptions; all events when no range is
// given. The Visit forms hand each entry to `visit` as it is made, reading
// the profile a chunk of items at a time, so memory is bounded by the
// chunk; they return how many entries they visited. Tasks come in the
// order they were created.
using EntryVisitor = std::function<void(const interchange::CalendarItem&)>;
size_t VisitEvents(Session& session, std::optional<DATE> from, std::optional<DATE> to, const EntryVisitor& visit);
size_t VisitTasks(Session& session, const EntryVisitor& visit);
std::vector<interchange::CalendarItem> ExportEvents(Session& session, std::optional<DATE> from, std::optional<DATE> to);
std::vector<interchange::CalendarItem> ExportTasks(Session& session);

// One stored event (without its exceptions, which `events exceptions`
// edits) or task as an entry; throws ClientError when the profile has none
// with that ID.
interchange::CalendarItem ExportEvent(Session& session, const std::string& id);
interchange::CalendarItem ExportTask(Session& session, const std::string& id);
// One stored event followed by its exceptions, as VisitEvents makes them;
// empty when the profile has no event with that ID.
std::vector<interchange::CalendarItem> ExportSeries(Session& session, const std::string& id);
// Makes the stored event or task `id` what the edited entry says, as an
// import updates a matched entry, except that a missing category clears
// the event's; the excluded dates become those the entry lists (EXDATE),
// other exceptions stay as stored. Returns
// whether anything changed; throws ClientError when the entry cannot be
// stored (the caller's transaction undoes it).
bool ReplaceEvent(Session& session, const std::string& id, const interchange::CalendarItem& item, ImportReport& report);
bool ReplaceTask(Session& session, const std::string& id, const interchange::CalendarItem& item, ImportReport& report);

// A repeating task done once moves on to its next occurrence: its start
// and due date advance together to the next start of its series, laid out
// in the zone the task keeps (a Saturday 09:30 in Sydney stays one) and by
// the exact rule kept with it when the record holds only the nearest; the
// series keeps its first day (so a count still counts from there) and the
// task is open again. False when the task does not repeat or its series
// has no further occurrence.
bool MoveTaskToNextOccurrence(Session& session, const std::string& id, tagTaskInfo* task);

// The zone task `id` keeps (the zone its entry was written in); none for a
// task kept in UTC.
std::optional<calendar::TimeZone> TaskZone(Session& session, const std::string& id);

// The hash the side store keeps for the stored event or task `id` of the
// current profile (`family` Event or Task), made from its record as it
// reads back; none when the profile has no such item.
std::optional<std::string> StoredCalendarHash(Session& session, bool task, const std::string& id);

}  // namespace calyra::cli
