// The texts derived from the event mapping, built when the component loads.
#include "access/calendar/event_columns.h"

namespace calyra {
namespace {

SqlText BuildEventColumnList() {
    SqlText list;
    AppendColumnList(list, EventListColumns());
    return list;
}

// Both are built at load, in this order (the prefix uses the list), and
// only read afterwards.
const SqlText kEventColumnList = BuildEventColumnList();

const SqlText kEventSelectPrefix = [] {
    SqlText sql(u"SELECT [EventID], [EventCategoryID], ");
    sql.Append(kEventColumnList).Append(u", [Modified] FROM [tEvent] WHERE ");
    return sql;
}();

}  // namespace

const SqlText& EventColumnList() { return kEventColumnList; }

const SqlText& EventSelectPrefix() { return kEventSelectPrefix; }

}  // namespace calyra
