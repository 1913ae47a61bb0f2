#include "records/record_rows.h"

#include <algorithm>

#include "platform/bstr.h"
#include "session/client_error.h"
#include "session/query_rows.h"

namespace calyra::cli {

namespace {

// Enough for a number, a date, a text's length or an ID.
constexpr size_t kBriefUnits = 40;

}  // namespace

SqlText RowColumns(std::span<const calyra::FieldMap> fields) {
    SqlText sql;
    Sql separator;
    for (const calyra::FieldMap& field : fields) {
        sql.Append(separator);
        if (field.kind == calyra::FieldKind::Text)
            sql.Append(u"length(CAST(").Append(field.column).Append(u" AS BLOB)), ");
        sql.Append(field.column);
        separator = u", ";
    }
    return sql;
}

namespace record_rows_detail {

void Read(IPimDbAccess* db, const SqlText& sql, std::span<const calyra::FieldMap> fields, size_t stride,
          size_t extraColumns, void* (*reserve)(void* owner, size_t rows), void* owner,
          std::vector<std::string>* extras) {
    ResultWalk walk(db, sql.view());
    const size_t texts = static_cast<size_t>(std::count_if(
        fields.begin(), fields.end(), [](const calyra::FieldMap& f) { return f.kind == calyra::FieldKind::Text; }));
    if (static_cast<size_t>(walk.columns()) != fields.size() + texts + extraColumns)
        throw ClientError("query returned " + std::to_string(walk.columns()) + " columns where " +
                          std::to_string(fields.size() + texts + extraColumns) + " were expected");
    const size_t rows = static_cast<size_t>(std::max<LONG>(walk.rows(), 0));
    char* record = static_cast<char*>(reserve(owner, rows));
    extras->reserve(rows * extraColumns);
    for (size_t r = 0; r < rows; ++r, record += stride, walk.next()) {
        LONG column = 0;
        for (const calyra::FieldMap& f : fields) {
            // A text comes after its length, so it is read with the room it
            // needs (a small buffer is also cleared faster).
            size_t units = kBriefUnits;
            if (f.kind == calyra::FieldKind::Text) {
                units = 0;
                for (const char16_t* c = walk.field(column++, kBriefUnits); *c; ++c)
                    if (*c >= u'0' && *c <= u'9')
                        units = std::min(units * 10 + static_cast<size_t>(*c - u'0'), ResultWalk::kTextUnits);
            }
            calyra::StoreFieldText(record, f, walk.field(column++, units));
        }
        for (size_t k = 0; k < extraColumns; ++k) extras->push_back(Utf16ToUtf8(walk.field(column++, kBriefUnits)));
    }
}

}  // namespace record_rows_detail
}  // namespace calyra::cli
