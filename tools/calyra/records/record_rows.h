// Whole result sets read through the session's connection straight into
// records, one query for a whole family of rows instead of one per record.
//
// The columns of the query are those of a column map of the record (the
// FieldMap tables the access objects read with), in map order as
// RowColumns lists them, optionally followed by a few extra columns kept
// as UTF-8 text (a short link such as [OriginalEventID] that the record has
// no field for). Each field text is stored by the field map's own
// StoreFieldText, as the access objects store it, and cut where their
// buffer of 2049 units cuts it, so a record read here equals the one
// GetAll... hands out for the same row.
//
// Ownership: RecordRows owns its records and frees their texts when it
// goes; records are handed out by const reference. Thread-safety: one
// thread, like the session and its connection.
#pragma once

#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "idl/calyra_idl.h"
#include "idl/typelib_description.h"
#include "platform/record_info.h"
#include "tables/field_map.h"
#include "tables/sql_text.h"

namespace calyra::cli {

// The select list of `fields` for RecordRows::Query: each column in map
// order, a text column with its length in UTF-8 bytes (never fewer than its
// UTF-16 units) before it. Each text is then read into a buffer of its own
// size: the connection clears the whole buffer it is given for every cell,
// and the access objects' 2049 units per text cell were half the cost of
// reading contacts and their details.
SqlText RowColumns(std::span<const calyra::FieldMap> fields);

template <class Record>
class RecordRows {
public:
    RecordRows() = default;
    ~RecordRows() {
        for (Record& r : m_records) RecordClearByDescription(&RecordDescriptionOf<Record>(), &r);
    }
    RecordRows(const RecordRows&) = delete;
    RecordRows& operator=(const RecordRows&) = delete;
    RecordRows(RecordRows&& other) noexcept
        : m_records(std::move(other.m_records)), m_extras(std::move(other.m_extras)), m_extraCount(other.m_extraCount) {
        other.m_records.clear();
    }
    RecordRows& operator=(RecordRows&& other) noexcept {
        // `other` frees what this held when it goes.
        std::swap(m_records, other.m_records);
        std::swap(m_extras, other.m_extras);
        std::swap(m_extraCount, other.m_extraCount);
        return *this;
    }

    size_t size() const { return m_records.size(); }
    const Record& operator[](size_t i) const { return m_records[i]; }
    const Record* begin() const { return m_records.data(); }
    const Record* end() const { return m_records.data() + m_records.size(); }
    // Extra column `k` of row `i`, as UTF-8.
    const std::string& extra(size_t i, size_t k) const { return m_extras[i * m_extraCount + k]; }

    // Runs `sql`, whose result columns are RowColumns(fields) then
    // `extraColumns` texts, and keeps every row. Throws ClientError when the
    // query fails.
    static RecordRows Query(IPimDbAccess* db, const SqlText& sql, std::span<const calyra::FieldMap> fields,
                            size_t extraColumns = 0);

private:
    std::vector<Record> m_records;
    std::vector<std::string> m_extras;  // row-major, m_extraCount per row
    size_t m_extraCount = 0;
};

namespace record_rows_detail {
// Reads the result into `rows` zeroed records `stride` bytes apart, which
// `reserve(rows)` provides, and the extra columns into `extras`.
void Read(IPimDbAccess* db, const SqlText& sql, std::span<const calyra::FieldMap> fields, size_t stride,
          size_t extraColumns, void* (*reserve)(void* owner, size_t rows), void* owner,
          std::vector<std::string>* extras);
}  // namespace record_rows_detail

template <class Record>
RecordRows<Record> RecordRows<Record>::Query(IPimDbAccess* db, const SqlText& sql,
                                             std::span<const calyra::FieldMap> fields, size_t extraColumns) {
    RecordRows out;
    out.m_extraCount = extraColumns;
    auto reserve = [](void* owner, size_t rows) -> void* {
        auto* records = static_cast<std::vector<Record>*>(owner);
        records->assign(rows, Record{});
        return records->data();
    };
    record_rows_detail::Read(db, sql, fields, sizeof(Record), extraColumns, reserve, &out.m_records, &out.m_extras);
    return out;
}

}  // namespace calyra::cli
