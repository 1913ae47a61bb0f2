// The mapping between tagEventInfo and the columns of [tEvent]: every
// result column of an event query in order, how each becomes a record field
// and how each field is written back. Only the event access object uses it.
//
// A result row is [EventID], [EventCategoryID], the 42 columns of the event
// column list (the columns an insert writes), then [Modified]. Two columns
// are written but never read: [ProfileID] and [OriginalEventID] (0 for a
// master event, the master's ID for an exception).
//
// Ownership: constant tables; EventColumnList and EventSelectPrefix return
// texts built once, on first use. Thread-safety: everything here is
// read-only once built (the build itself is a thread-safe static
// initialisation) and shared by all event objects.
#pragma once

#include <array>
#include <cstddef>
#include <span>

#include "tables/field_map.h"
#include "tables/recurrence_columns.h"

namespace calyra {

namespace event_columns_detail {
using K = FieldKind;
// Result columns 0 to 15.
inline constexpr std::array<FieldMap, 16> kHead = {{
    {u"[EventID]", K::Text, offsetof(tagEventInfo, bstrEventID), 0},
    {u"[EventCategoryID]", K::Text, offsetof(tagEventInfo, bstrEventCategoryID), 0},
    {u"[Subject]", K::Text, offsetof(tagEventInfo, bstrSubject), 0},
    {u"[Description]", K::Text, offsetof(tagEventInfo, bstrDescription), 0},
    {u"[Location]", K::Text, offsetof(tagEventInfo, bstrLocation), 0},
    {u"[EventType]", K::Long, offsetof(tagEventInfo, eCategory), 0},
    {u"[EventStatus]", K::Long, offsetof(tagEventInfo, eStatus), 0},
    {u"[Availability]", K::Long, offsetof(tagEventInfo, eAvailability), 0},
    {u"[StartDateTime]", K::Date, offsetof(tagEventInfo, dtStartDateTime), 0},
    {u"[EndDateTime]", K::Date, offsetof(tagEventInfo, dtEndDateTime), 0},
    {u"[AllDayEventFlag]", K::Flag, offsetof(tagEventInfo, bAllDayEvent), 0},
    {u"[PrivateFlag]", K::Flag, offsetof(tagEventInfo, bPrivate), 0},
    {u"[Priority]", K::Long, offsetof(tagEventInfo, ePriority), 0},
    {u"[ReminderTime]", K::Long, offsetof(tagEventInfo, lReminderTime), 0},
    {u"[ReminderAudio]", K::Text, offsetof(tagEventInfo, bstrReminderAudio), 0},
    {u"[TimeZone]", K::Long, offsetof(tagEventInfo, ulTimeZone), 0},
}};
// Result columns 43 and 44.
inline constexpr std::array<FieldMap, 2> kTail = {{
    {u"[OriginalStartTime]", K::Date, offsetof(tagEventInfo, dtOriginalStartTime), 0},
    {u"[Modified]", K::Date, offsetof(tagEventInfo, dtModified), 0},
}};
}  // namespace event_columns_detail

// Every result column of an event query, in query order: ReadRow over
// these fills a whole tagEventInfo.
inline constexpr std::array<FieldMap, 45> kEventColumns = JoinFieldMaps(
    JoinFieldMaps(event_columns_detail::kHead, RecurrenceColumns(offsetof(tagEventInfo, stRecurrence), 0)),
    event_columns_detail::kTail);

// Positions in kEventColumns.
inline constexpr size_t kEventCategoryIdColumn = 1;
inline constexpr size_t kEventFirstListColumn = 2;        // [Subject]
inline constexpr size_t kEventListColumnCount = 42;       // [Subject] .. [OriginalStartTime]
inline constexpr size_t kEventColumnsBeforeCategory = 4;  // [Subject] .. [EventType] in an update
static_assert(kEventColumns[kEventCategoryIdColumn].column.view() == u"[EventCategoryID]");
static_assert(kEventColumns[kEventFirstListColumn].column.view() == u"[Subject]");
static_assert(kEventColumns[kEventFirstListColumn + kEventColumnsBeforeCategory - 1].column.view() == u"[EventType]");
static_assert(kEventColumns[kEventFirstListColumn + kEventListColumnCount - 1].column.view() == u"[OriginalStartTime]");

// The event column list's columns: what an insert writes, in list order.
constexpr std::span<const FieldMap> EventListColumns() {
    return std::span(kEventColumns).subspan(kEventFirstListColumn, kEventListColumnCount);
}

// "[Subject], [Description], ... [EndBy], [OriginalStartTime]".
inline const SqlText& EventColumnList() {
    static const SqlText list = ColumnList(EventListColumns());
    return list;
}

// "SELECT [EventID], [EventCategoryID], <list>, [Modified] FROM [tEvent] WHERE ",
// the start of every event query but the category join.
inline const SqlText& EventSelectPrefix() {
    static const SqlText prefix = [] {
        SqlText sql(u"SELECT [EventID], [EventCategoryID], ");
        sql.Append(EventColumnList()).Append(u", [Modified] FROM [tEvent] WHERE ");
        return sql;
    }();
    return prefix;
}

}  // namespace calyra
