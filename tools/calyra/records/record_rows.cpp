#include "records/record_rows.h"

#include "platform/bstr.h"
#include "session/client_error.h"
#include "session/query_rows.h"

namespace calyra::cli {

namespace record_rows_detail {

void Read(IPimDbAccess* db, const SqlText& sql, std::span<const calyra::FieldMap> fields, size_t stride,
          size_t extraColumns, void* (*reserve)(void* owner, size_t rows), void* owner,
          std::vector<std::string>* extras) {
    ResultWalk walk(db, sql.view());
    const size_t columns = static_cast<size_t>(walk.columns()), rows = static_cast<size_t>(walk.rows());
    if (columns != fields.size() + extraColumns)
        throw ClientError("query returned " + std::to_string(columns) + " columns where " +
                          std::to_string(fields.size() + extraColumns) + " were expected");
    char* record = static_cast<char*>(reserve(owner, rows));
    extras->reserve(rows * extraColumns);
    for (size_t r = 0; r < rows; ++r, record += stride, walk.next()) {
        for (size_t c = 0; c < fields.size(); ++c)
            calyra::StoreFieldText(record, fields[c],
                                   AsOle(walk.field(static_cast<LONG>(c), fields[c].kind != calyra::FieldKind::Text)));
        for (size_t k = 0; k < extraColumns; ++k)
            extras->push_back(Utf16ToUtf8(walk.field(static_cast<LONG>(fields.size() + k))));
    }
}

}  // namespace record_rows_detail
}  // namespace calyra::cli
