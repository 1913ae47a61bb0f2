// The texts derived from the task mapping, built when the component loads.
#include "access/tasks/task_columns.h"

namespace calyra {
namespace {

// Built at load, in this order (the prefix uses the list), and only read
// afterwards.
const SqlText kTaskColumnList = [] {
    SqlText list;
    AppendColumnList(list, std::span(kTaskColumns).subspan(1));
    return list;
}();

const SqlText kTaskSelectPrefix = [] {
    SqlText sql(u"SELECT [TaskID], ");
    sql.Append(kTaskColumnList).Append(u" FROM [tTask] WHERE [ProfileID] = '");
    return sql;
}();

}  // namespace

const SqlText& TaskColumnList() { return kTaskColumnList; }

const SqlText& TaskSelectPrefix() { return kTaskSelectPrefix; }

}  // namespace calyra
