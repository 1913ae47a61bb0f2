// Writing records through their field maps.
#include "access/calendar/field_map_sql.h"

#include <cstring>

namespace calyra {
namespace {

template <class Value>
Value FieldOf(const void* record, size_t offset) {
    // Records are plain data; memcpy keeps this independent of alignment.
    Value value;
    std::memcpy(&value, static_cast<const BYTE*>(record) + offset, sizeof value);
    return value;
}

void AppendField(SqlText& sql, const void* record, const FieldMap& field) {
    switch (field.kind) {
        case FieldKind::Text:
            sql.AppendQuoted(FieldOf<BSTR>(record, field.offset));
            break;
        case FieldKind::Long:
            // Unsigned fields travel as their signed 32-bit pattern, so all
            // 32 bits come back.
            sql.AppendLong(FieldOf<LONG>(record, field.offset));
            break;
        case FieldKind::Date:
            sql.AppendDate(FieldOf<DATE>(record, field.offset));
            break;
        case FieldKind::Flag:
            sql.AppendFlag(FieldOf<LONG>(record, field.offset));
            break;
    }
}

}  // namespace

void AppendColumnList(SqlText& sql, std::span<const FieldMap> fields) {
    bool first = true;
    for (const FieldMap& field : fields) {
        if (!first) sql.Append(u", ");
        sql.Append(field.column);
        first = false;
    }
}

void AppendValues(SqlText& sql, const void* record, std::span<const FieldMap> fields) {
    bool first = true;
    for (const FieldMap& field : fields) {
        if (!first) sql.Append(u"', '");
        AppendField(sql, record, field);
        first = false;
    }
}

void AppendAssignments(SqlText& sql, const void* record, std::initializer_list<std::span<const FieldMap>> parts) {
    bool first = true;
    for (std::span<const FieldMap> part : parts) {
        for (const FieldMap& field : part) {
            if (!first) sql.Append(u"', ");
            sql.Append(field.column).Append(u" = '");
            AppendField(sql, record, field);
            first = false;
        }
    }
}

}  // namespace calyra
