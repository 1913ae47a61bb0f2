// FieldMap: how the columns of a table and the fields of a record meet, in
// both directions. A table is described once, as an array of FieldMap rows
// in result-column order; the data access base reads rows through it
// (StoreFieldText), and statements take their column lists, the values of
// an insert, the assignments of an update and single values from it. A
// column can then never be read at one position and written at another.
//
// Written forms: texts quote-doubled, numbers as signed decimal text, dates
// as date text, flags as 1 or 0. The quotes around each value belong to the
// statement's literal pieces ("... = '" value "', ..."), so the writers
// join values with "', '" and leave the outer quotes to the caller.
//
// Hand-written statement texts that name the columns of a map are checked
// against it at compile time with ListsColumns.
//
// Ownership: the writers append to the caller's SqlText and only read the
// record; StoreFieldText gives the record a new BSTR it then owns. Maps are
// constant tables of string literals. Thread-safety: no state; safe on any
// thread as long as the record and the statement do not change meanwhile.
#pragma once

#include <array>
#include <cstddef>
#include <initializer_list>
#include <span>
#include <string_view>

#include "platform/types.h"
#include "tables/sql_text.h"

namespace calyra {

// How one column becomes one field of a record, and back.
enum class FieldKind : BYTE {
    Text,  // BSTR field; a NULL field text gives the fallback NULL
    Long,  // LONG (or enumeration, or ULONG kept as signed) field
    Date,  // DATE field, date text "YYYY-MM-DD hh:mm:ss"
    Flag,  // LONG used as true/false; "1" reads as 1, anything else as 0
};

struct FieldMap {
    Sql column;  // the column as statements write it, e.g. u"[Subject]"
    FieldKind kind;
    size_t offset;    // byte offset of the field inside the record
    double fallback;  // value for a field text that is not there at all
};

// The two tables one after the other.
template <size_t N, size_t M>
constexpr std::array<FieldMap, N + M> JoinFieldMaps(const std::array<FieldMap, N>& first,
                                                    const std::array<FieldMap, M>& second) {
    std::array<FieldMap, N + M> joined{};
    for (size_t i = 0; i < N; ++i) joined[i] = first[i];
    for (size_t i = 0; i < M; ++i) joined[N + i] = second[i];
    return joined;
}

// Converts a column's text into the record's field (a NULL text, meaning no
// field text at all, gives the field's fallback). What the field held is
// not freed.
void StoreFieldText(void* record, const FieldMap& field, const OLECHAR* text);

// The field's value in its written form.
SqlText& AppendFieldValue(SqlText& sql, const void* record, const FieldMap& field);

// "[A], [B], [C]": the columns' names joined by ", ".
SqlText ColumnList(std::span<const FieldMap> fields);

// "a', 'b', 'c": the record's values of the columns joined by "', '".
void AppendValues(SqlText& sql, const void* record, std::span<const FieldMap> fields);

// "[A] = 'a', [B] = 'b', ... [Z] = 'z" over the parts in order: the caller's
// statement supplies the closing quote and what follows it.
void AppendAssignments(SqlText& sql, const void* record, std::initializer_list<std::span<const FieldMap>> parts);

// True when `text`, right after the first `opener` in it, names the columns
// of `fields` joined by ", " and goes on with `closer`. For static_assert
// over hand-written statement texts: a column list that drifted from its
// map would read a column into the wrong field, or write a value under the
// wrong column, without any error from the database.
constexpr bool ListsColumns(std::u16string_view text, std::u16string_view opener, std::span<const FieldMap> fields,
                            std::u16string_view closer) {
    const size_t at = text.find(opener);
    if (at == std::u16string_view::npos) return false;
    text.remove_prefix(at + opener.size());
    for (size_t i = 0; i < fields.size(); ++i) {
        const std::u16string_view separator = i == 0 ? u"" : u", ";
        if (!text.starts_with(separator)) return false;
        text.remove_prefix(separator.size());
        if (!text.starts_with(fields[i].column.view())) return false;
        text.remove_prefix(fields[i].column.view().size());
    }
    return text.starts_with(closer);
}

}  // namespace calyra
