// AppendFieldValue: writes one field of a record into a statement as the
// value text its column takes, driven by the same field map that reads the
// column back (text quote-doubled, long as decimal text, date as date text,
// flag as "1"/"0").
//
// Reads the record only; owns nothing. Thread-safety is the caller's: the
// record and the statement must not change under it.
#pragma once

#include <cstring>

#include "core/pim_data_access.h"
#include "core/sql_text.h"

namespace calyra {

inline SqlText& AppendFieldValue(SqlText& sql, const void* record, const FieldMap& field) {
    const auto* at = static_cast<const BYTE*>(record) + field.offset;
    switch (field.kind) {
        case FieldKind::Text: {
            BSTR value;
            std::memcpy(&value, at, sizeof value);
            return sql.AppendQuoted(value);
        }
        case FieldKind::Long: {
            LONG value;
            std::memcpy(&value, at, sizeof value);
            return sql.AppendLong(value);
        }
        case FieldKind::Date: {
            DATE value;
            std::memcpy(&value, at, sizeof value);
            return sql.AppendDate(value);
        }
        case FieldKind::Flag: {
            LONG value;
            std::memcpy(&value, at, sizeof value);
            return sql.AppendFlag(value);
        }
    }
    return sql;
}

}  // namespace calyra
