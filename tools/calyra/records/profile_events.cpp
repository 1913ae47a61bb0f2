#include "records/profile_events.h"

#include <algorithm>
#include <set>
#include <utility>

#include "calendar/zoned_occurrences.h"
#include "platform/bstr.h"
#include "platform/utf8.h"
#include "records/event_records.h"
#include "side_store/side_store.h"
#include "tables/event_columns.h"
#include "tables/task_columns.h"

namespace calyra::cli {

SqlText EventSelect(Session& session) {
    SqlText sql(u"SELECT ");
    sql.Append(RowColumns(calyra::kEventColumns))
        .Append(u", [OriginalEventID] FROM [tEvent] WHERE [ProfileID] = '")
        .AppendQuoted(session.profileId())
        .Append(u"'");
    return sql;
}

SqlText TaskSelect(Session& session, Sql extra) {
    SqlText sql(u"SELECT ");
    sql.Append(RowColumns(calyra::kTaskColumns));
    if (!extra.view().empty()) sql.Append(u", ").Append(extra);
    sql.Append(u" FROM [tTask] WHERE [ProfileID] = '").AppendQuoted(session.profileId()).Append(u"'");
    return sql;
}

ProfileEvents::ProfileEvents(Session& session, std::optional<DateRange> range) {
    IPimDbAccess* db = session.connection();
    SqlText masters = EventSelect(session);
    masters.Append(u" AND [OriginalEventID] = '0'");
    if (range)
        // Patterns 1 to 4 repeat; any other number shows once, at its own
        // time. Dates are compared as the date texts the component stores.
        masters.Append(u" AND ([PatternOption] IN ('1', '2', '3', '4') OR ([StartDateTime] <= '")
            .AppendDate(range->to)
            .Append(u"' AND [EndDateTime] >= '")
            .AppendDate(range->from)
            .Append(u"'))");
    m_masters = RecordRows<tagEventInfo>::Query(db, masters.Append(u" ORDER BY [EventID];"), calyra::kEventColumns, 1);
    m_exceptions = RecordRows<tagEventInfo>::Query(
        db, EventSelect(session).Append(u" AND [OriginalEventID] <> '0' ORDER BY [EventID];"), calyra::kEventColumns,
        1);
    for (size_t i = 0; i < m_exceptions.size(); ++i) m_byMaster[m_exceptions.extra(i, 0)].push_back(&m_exceptions[i]);
    readKeptSeries(session, range.has_value());
}

void ProfileEvents::readKeptSeries(Session& session, bool ranged) {
    SideStore side(session);
    if (!side.present()) return;
    const std::string profile = Utf16ToUtf8(session.profileId());
    std::vector<std::string> ids;
    for (const MatchKey& key : side.findKeys(profile, ItemFamily::Event, {kExactSeriesKey})) ids.push_back(key.rowId);
    if (ids.empty()) return;
    for (auto& [id, item] : side.findByRows(ItemFamily::Event, ids)) m_kept[id] = std::move(item.original);
    if (!ranged) return;
    // A series of extra dates only is stored as a single event, which the
    // range left out when its own date lies outside: read it after all.
    std::set<std::string> read;
    for (const auto& e : m_masters) read.insert(BstrUtf8(e.bstrEventID));
    SqlText missing = EventSelect(session);
    missing.Append(u" AND [OriginalEventID] = '0' AND [EventID] IN (");
    bool any = false;
    for (const auto& id : ids) {
        if (read.count(id)) continue;
        if (any) missing.Append(u", ");
        missing.Append(u"'").AppendQuoted(Utf8ToUtf16(id)).Append(u"'");
        any = true;
    }
    if (!any) return;
    m_extraMasters = RecordRows<tagEventInfo>::Query(session.connection(), missing.Append(u") ORDER BY [EventID];"),
                                                     calyra::kEventColumns, 1);
}

std::string KeptSeriesEntry(Session& session, const std::string& id) {
    SideStore side(session);
    if (!side.present()) return "";
    const std::string profile = Utf16ToUtf8(session.profileId());
    for (const MatchKey& key : side.findKeys(profile, ItemFamily::Event, {kExactSeriesKey}))
        if (key.rowId == id) {
            const auto kept = side.find(ItemFamily::Event, id);
            return kept ? kept->original : "";
        }
    return "";
}

const std::string& ProfileEvents::keptEntry(const std::string& id) const {
    static const std::string kNone;
    auto it = m_kept.find(id);
    return it == m_kept.end() ? kNone : it->second;
}

const std::vector<const tagEventInfo*>& ProfileEvents::exceptionsOf(const std::string& id) const {
    static const std::vector<const tagEventInfo*> kNone;
    auto it = m_byMaster.find(id);
    return it == m_byMaster.end() ? kNone : it->second;
}

DateRange ReadRangeFor(DATE fromWall, DATE toWall, const calendar::TimeZone& zone) {
    using namespace calendar;
    // The component's dates run from the year 100 to 9999.
    const long long low = DateToSeconds(FromCivil({100, 1, 1, 0, 0, 0}));
    const long long high = DateToSeconds(FromCivil({9999, 12, 31, 23, 59, 59}));
    const long long from = DateToSeconds(zone.toUtc(fromWall)) - kSecondsPerDay;
    const long long to = DateToSeconds(zone.toUtc(toWall)) + kSecondsPerDay;
    return DateRange{SecondsToDate(std::clamp(from, low, high)), SecondsToDate(std::clamp(to, low, high))};
}

std::vector<calendar::Occurrence> ProfileEvents::occurrences(
    DATE fromWall, DATE toWall, const calendar::TimeZone& zone,
    const std::function<bool(const tagEventInfo&)>& keep) const {
    using namespace calendar;
    const DateRange read = ReadRangeFor(fromWall, toWall, zone);
    const long long low = DateToSeconds(fromWall), high = DateToSeconds(toWall);
    std::vector<std::pair<long long, Occurrence>> found;  // by wall-clock start
    std::vector<CalendarEvent> exceptions;
    auto expand = [&](const tagEventInfo& e) {
        if (keep && !keep(e)) return;
        const CalendarEvent series = ToCalendarEvent(e, keptEntry(BstrUtf8(e.bstrEventID)));
        exceptions.clear();
        if (series.rule.frequency != Frequency::None || !series.extraStarts.empty())
            for (const tagEventInfo* x : exceptionsOf(series.id)) exceptions.push_back(ToCalendarEvent(*x));
        for (auto& o : ExpandEventInZone(series, exceptions, read.from, read.to, ZoneOfEvent(e))) {
            // All-day days are floating: compared as they are stored.
            const long long start = DateToSeconds(o.allDay ? o.start : zone.toLocal(o.start));
            const long long end = DateToSeconds(o.allDay ? o.end : zone.toLocal(o.end));
            if (start <= high && end >= low) found.emplace_back(start, std::move(o));
        }
    };
    for (const auto& e : m_masters) expand(e);
    for (const auto& e : m_extraMasters) expand(e);
    std::stable_sort(found.begin(), found.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
    std::vector<Occurrence> out;
    out.reserve(found.size());
    for (auto& [start, o] : found) out.push_back(std::move(o));
    return out;
}

calendar::Occurrence OnWallClock(calendar::Occurrence o, const calendar::TimeZone& zone) {
    if (!o.allDay) {
        o.start = zone.toLocal(o.start);
        o.end = zone.toLocal(o.end);
    }
    return o;
}

}  // namespace calyra::cli
