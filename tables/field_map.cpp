// Reading and writing record fields through their field maps.
#include "tables/field_map.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "platform/bstr.h"
#include "tables/value_conversions.h"

namespace calyra {
namespace {

// Records are plain data; memcpy keeps this independent of alignment.
template <class Value>
Value FieldOf(const void* record, size_t offset) {
    Value value;
    std::memcpy(&value, static_cast<const BYTE*>(record) + offset, sizeof value);
    return value;
}

template <class Value>
void SetField(void* record, size_t offset, Value value) {
    std::memcpy(static_cast<BYTE*>(record) + offset, &value, sizeof value);
}

}  // namespace

void StoreFieldText(void* record, const FieldMap& field, const OLECHAR* text) {
    switch (field.kind) {
        case FieldKind::Text:
            SetField(record, field.offset, TextToBstr(text, nullptr));
            break;
        case FieldKind::Long:
            SetField(record, field.offset, TextToLong(text, static_cast<LONG>(field.fallback)));
            break;
        case FieldKind::Date:
            SetField(record, field.offset, TextToDate(text, field.fallback));
            break;
        case FieldKind::Flag:
            SetField(record, field.offset, TextToBool(text, static_cast<LONG>(field.fallback)));
            break;
    }
}

SqlText& AppendFieldValue(SqlText& sql, const void* record, const FieldMap& field) {
    switch (field.kind) {
        case FieldKind::Text:
            return sql.AppendQuoted(FieldOf<BSTR>(record, field.offset));
        case FieldKind::Long:
            // Unsigned fields travel as their signed 32-bit pattern, so all
            // 32 bits come back.
            return sql.AppendLong(FieldOf<LONG>(record, field.offset));
        case FieldKind::Date:
            return sql.AppendDate(FieldOf<DATE>(record, field.offset));
        case FieldKind::Flag:
            return sql.AppendFlag(FieldOf<LONG>(record, field.offset));
    }
    return sql;
}

SqlText ColumnList(std::span<const FieldMap> fields) {
    SqlText sql;
    Sql separator;
    for (const FieldMap& field : fields) {
        sql.Append(separator).Append(field.column);
        separator = u", ";
    }
    return sql;
}

void AppendValues(SqlText& sql, const void* record, std::span<const FieldMap> fields) {
    Sql separator;
    for (const FieldMap& field : fields) {
        AppendFieldValue(sql.Append(separator), record, field);
        separator = u"', '";
    }
}

void AppendAssignments(SqlText& sql, const void* record, std::initializer_list<std::span<const FieldMap>> parts) {
    Sql separator;
    for (std::span<const FieldMap> part : parts) {
        for (const FieldMap& field : part) {
            AppendFieldValue(sql.Append(separator).Append(field.column).Append(u" = '"), record, field);
            separator = u"', ";
        }
    }
}

}  // namespace calyra
