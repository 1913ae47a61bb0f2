#include "records/record_rows.h"

#include <algorithm>

#include "platform/bstr.h"
#include "session/client_error.h"

namespace calyra::cli {

namespace {

// What the access objects read a text with (so a longer text is cut
// alike), and enough for a number, a date, a length or an ID.
constexpr size_t kTextUnits = 2048;
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
    LONG err = 0, rowCount = 0, columns = 0;
    LONGLONG vm = 0;
    const HRESULT hr = db->Query(&err, sql.ToBstr(), &rowCount, &columns, &vm);
    if (FAILED(hr)) {
        db->FreeResultset(nullptr, &vm);
        Check(hr, err, "query failed");
    }
    struct Free {
        IPimDbAccess* db;
        LONGLONG* vm;
        ~Free() { db->FreeResultset(nullptr, vm); }
    } free{db, &vm};
    const size_t texts = static_cast<size_t>(std::count_if(
        fields.begin(), fields.end(), [](const calyra::FieldMap& f) { return f.kind == calyra::FieldKind::Text; }));
    if (static_cast<size_t>(columns) != fields.size() + texts + extraColumns)
        throw ClientError("query returned " + std::to_string(columns) + " columns where " +
                          std::to_string(fields.size() + texts + extraColumns) + " were expected");
    std::vector<USHORT> buffer(kBriefUnits + 1);
    LONG column = 0;
    auto field = [&](size_t units) {
        if (buffer.size() < units + 1) buffer.resize(units + 1);
        db->GetFieldValue(nullptr, &vm, column++, buffer.data(), static_cast<ULONG>(units + 1));
        return reinterpret_cast<const OLECHAR*>(buffer.data());
    };
    const size_t rows = static_cast<size_t>(std::max<LONG>(rowCount, 0));
    char* record = static_cast<char*>(reserve(owner, rows));
    extras->reserve(rows * extraColumns);
    for (size_t r = 0; r < rows; ++r, record += stride, db->NextRow(nullptr, &vm)) {
        column = 0;
        for (const calyra::FieldMap& f : fields) {
            size_t units = kBriefUnits;
            if (f.kind == calyra::FieldKind::Text) {
                const std::u16string_view length = reinterpret_cast<const char16_t*>(field(kBriefUnits));
                units = 0;
                for (char16_t c : length)
                    if (c >= u'0' && c <= u'9')
                        units = std::min(units * 10 + static_cast<size_t>(c - u'0'), kTextUnits);
            }
            calyra::StoreFieldText(record, f, field(units));
        }
        for (size_t k = 0; k < extraColumns; ++k)
            extras->push_back(Utf16ToUtf8(reinterpret_cast<const char16_t*>(field(kBriefUnits))));
    }
}

}  // namespace record_rows_detail
}  // namespace calyra::cli
