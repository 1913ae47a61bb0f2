// The current profile's events read in bulk for the views that lay them
// out in time (a ranged list, month, week, day, agenda): the master events
// in one query, every exception of the profile in a second, grouped by
// master in memory, instead of a query per master for its exceptions.
// (Exports read a chunk of masters at a time instead.)
//
// A range read keeps the masters that can have an occurrence in the
// range: every repeating one (the rule decides, in memory) and the others
// that overlap it, the same closed overlap as the component's range lists.
//
// occurrences() lays the read events out in time for the views (month,
// week, day, agenda, a ranged list): each repeating event expanded in its
// own zone (its ulTimeZone; 0 or a number this version does not know: UTC),
// so a 09:00 Berlin meeting stays at 09:00 Berlin across clock changes, its
// exceptions in place of the occurrences they replace. A series whose rule
// the record holds only the nearest of is laid out by the exact rule kept
// with its entry in the side store.
//
// Records are the component's own (read with its column map of [tEvent]),
// masters in ID order, which is the order GetAllEvents returns them in.
//
// Ownership: ProfileEvents owns every record; exceptionsOf hands out
// pointers into it. Thread-safety: one thread, like the session.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "calendar/occurrences.h"
#include "calendar/time_zone.h"
#include "idl/calyra_idl.h"
#include "records/record_rows.h"
#include "session/session.h"

namespace calyra::cli {

struct DateRange {
    DATE from = 0, to = 0;  // closed
};

// The UTC range a read must cover for the wall-clock stretch [from, to] of
// `zone`: a day wider on both sides, as all-day events are stored as
// floating days (the same everywhere) and no zone is a day from UTC.
DateRange ReadRangeFor(DATE fromWall, DATE toWall, const calendar::TimeZone& zone);

// The start of a query for RecordRows<tagEventInfo> with one extra
// column: every event column, then [OriginalEventID], of the session's
// profile's events ("... WHERE [ProfileID] = '<profile>'", for the caller
// to narrow and order).
SqlText EventSelect(Session& session);
// The same for RecordRows<tagTaskInfo>: every task column, then `extra`
// when given, of the session's profile's tasks.
SqlText TaskSelect(Session& session, Sql extra = {});

// The occurrence in `zone`'s wall-clock time, as the grids draw it
// (all-day ones unchanged).
calendar::Occurrence OnWallClock(calendar::Occurrence o, const calendar::TimeZone& zone);

// The entry kept with event `id` when its series is laid out by the exact
// rule kept with it (see ProfileEvents::keptEntry), else "".
std::string KeptSeriesEntry(Session& session, const std::string& id);

class ProfileEvents {
public:
    // Reads the profile's masters (those that can occur in `range`, or all)
    // and all its exceptions. Throws ClientError when a query fails.
    ProfileEvents(Session& session, std::optional<DateRange> range = std::nullopt);

    const RecordRows<tagEventInfo>& masters() const { return m_masters; }
    // The exceptions of master `id`, in ID order (empty when it has none).
    const std::vector<const tagEventInfo*>& exceptionsOf(const std::string& id) const;
    // The entry kept with master `id` when its series is laid out by the
    // exact rule kept with it (event_records.h FollowsKeptSeries), else "".
    const std::string& keptEntry(const std::string& id) const;

    // The occurrences that overlap the wall-clock stretch [from, to] of
    // `zone` (closed; all-day ones by their own days), of the masters `keep`
    // accepts (all when empty); UTC moments in order of wall-clock start. Read the
    // events with ReadRangeFor(from, to, zone) or without a range.
    std::vector<calendar::Occurrence> occurrences(DATE fromWall, DATE toWall, const calendar::TimeZone& zone,
                                                  const std::function<bool(const tagEventInfo&)>& keep = nullptr) const;

private:
    // Reads the entries of the series laid out by their kept rules (the
    // side store marks them), and such series of extra dates only that a
    // range left out.
    void readKeptSeries(Session& session, bool ranged);

    RecordRows<tagEventInfo> m_masters;
    RecordRows<tagEventInfo> m_extraMasters;              // read for their extra dates only
    std::unordered_map<std::string, std::string> m_kept;  // master ID -> kept entry
    RecordRows<tagEventInfo> m_exceptions;
    std::unordered_map<std::string, std::vector<const tagEventInfo*>> m_byMaster;
};

}  // namespace calyra::cli
