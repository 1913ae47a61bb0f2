#include "session/query_rows.h"

#include "platform/bstr.h"
#include "session/client_error.h"

namespace calyra::cli {
namespace {

// Texts get what the access objects read with, so a text comes back
// exactly as GetAll... returns it; numbers and dates fit in a few units.
constexpr ULONG kTextUnits = 2049;
constexpr ULONG kBriefUnits = 40;

}  // namespace

ResultWalk::ResultWalk(IPimDbAccess* db, std::u16string_view sql) : m_db(db) {
    LONG err = 0;
    const HRESULT hr = db->Query(&err, Bstr(sql), &m_rows, &m_columns, &m_vm);
    if (FAILED(hr)) {
        db->FreeResultset(nullptr, &m_vm);
        Check(hr, err, "query failed");
    }
}

ResultWalk::~ResultWalk() { m_db->FreeResultset(nullptr, &m_vm); }

const char16_t* ResultWalk::field(LONG column, bool brief) {
    std::vector<USHORT>& buffer = brief ? m_brief : m_text;
    if (buffer.empty()) buffer.resize(brief ? kBriefUnits : kTextUnits);
    m_db->GetFieldValue(nullptr, &m_vm, column, buffer.data(), static_cast<ULONG>(buffer.size()));
    return reinterpret_cast<const char16_t*>(buffer.data());
}

void ResultWalk::next() { m_db->NextRow(nullptr, &m_vm); }

TextRows QueryRows(IPimDbAccess* db, std::u16string_view sql, LONG* columns) {
    ResultWalk walk(db, sql);
    if (columns) *columns = walk.columns();
    TextRows out;
    out.reserve(static_cast<size_t>(walk.rows()));
    for (LONG r = 0; r < walk.rows(); ++r, walk.next()) {
        std::vector<std::string> row;
        for (LONG c = 0; c < walk.columns(); ++c) row.push_back(Utf16ToUtf8(walk.field(c)));
        out.push_back(std::move(row));
    }
    return out;
}

}  // namespace calyra::cli
