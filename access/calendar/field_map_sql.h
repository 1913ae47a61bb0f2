// Writing records through their field maps, and joining field maps.
//
// The calendar and task records are wide (45 and 42 result columns) and
// share their 27 recurrence columns, so each table is one FieldMap array,
// put together from parts with JoinFieldMaps, and both directions come
// from it: the data access base reads rows with it, and these writers
// produce the column lists of the statements (AppendColumnList), the values
// of an insert (AppendValues) and the assignments of an update
// (AppendAssignments). A column can then never be read at one position and
// written at another.
//
// Ownership: the writers append to the caller's SqlText and only read the
// record. Thread-safety: no state; safe on any thread as long as the record
// and the statement do not change meanwhile.
#pragma once

#include <array>
#include <cstddef>
#include <initializer_list>
#include <span>

#include "core/pim_data_access.h"
#include "core/sql_text.h"

namespace calyra {

// The two tables one after the other.
template <size_t N, size_t M>
constexpr std::array<FieldMap, N + M> JoinFieldMaps(const std::array<FieldMap, N>& first,
                                                    const std::array<FieldMap, M>& second) {
    std::array<FieldMap, N + M> joined{};
    for (size_t i = 0; i < N; ++i) joined[i] = first[i];
    for (size_t i = 0; i < M; ++i) joined[N + i] = second[i];
    return joined;
}

// "[A], [B], [C]": the columns' names joined by ", ".
void AppendColumnList(SqlText& sql, std::span<const FieldMap> fields);

// The record's values of the columns, each in its written form (texts
// quote-doubled, numbers as signed decimal text, dates as date text, flags
// as 1 or 0), joined by "', '": the caller's statement supplies the outer
// quotes.
void AppendValues(SqlText& sql, const void* record, std::span<const FieldMap> fields);

// "[A] = 'a', [B] = 'b', ... [Z] = 'z" over the parts in order: the caller's
// statement supplies the closing quote and what follows it.
void AppendAssignments(SqlText& sql, const void* record, std::initializer_list<std::span<const FieldMap>> parts);

}  // namespace calyra
