#include "shell/query_rows.h"

#include "platform/bstr.h"
#include "shell/client_error.h"

namespace calyra::cli {

TextRows QueryRows(IPimDbAccess* db, const std::u16string& sql, LONG* columns) {
    TextRows out;
    LONG rows = 0, cols = 0, err = 0;
    LONGLONG vm = 0;
    HRESULT hr = db->Query(&err, Bstr(sql), &rows, &cols, &vm);
    if (FAILED(hr)) {
        db->FreeResultset(nullptr, &vm);
        Check(hr, err, "query failed");
    }
    if (columns) *columns = cols;
    std::vector<USHORT> buffer(2049);
    for (LONG r = 0; r < rows; ++r) {
        std::vector<std::string> row;
        for (LONG c = 0; c < cols; ++c) {
            db->GetFieldValue(nullptr, &vm, c, buffer.data(), static_cast<ULONG>(buffer.size()));
            row.push_back(Utf16ToUtf8(reinterpret_cast<const char16_t*>(buffer.data())));
        }
        out.push_back(std::move(row));
        db->NextRow(nullptr, &vm);
    }
    db->FreeResultset(nullptr, &vm);
    return out;
}

std::u16string QuoteName(std::u16string_view name) {
    std::u16string quoted = u"[";
    for (char16_t c : name) {
        quoted += c;
        if (c == u']') quoted += u']';
    }
    return quoted + u"]";
}

}  // namespace calyra::cli
