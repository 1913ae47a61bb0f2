#include "session/query_rows.h"

#include <algorithm>

#include "platform/bstr.h"
#include "session/client_error.h"

namespace calyra::cli {
namespace {

// A whole field is read with this many units first: IDs, ETags, hashes
// and hrefs fit; a longer text is read again with eight times the room.
constexpr size_t kFirstUnits = 256;
constexpr int kMaxGrowth = 10;  // up to 256 * 8^10 units

}  // namespace

ResultWalk::ResultWalk(IPimDbAccess* db, std::u16string_view sql, const char* what) : m_db(db) {
    LONG err = 0;
    const HRESULT hr = db->Query(&err, Bstr(sql), &m_rows, &m_columns, &m_vm);
    if (FAILED(hr)) {
        db->FreeResultset(nullptr, &m_vm);
        Check(hr, err, what);
    }
}

ResultWalk::~ResultWalk() { m_db->FreeResultset(nullptr, &m_vm); }

const char16_t* ResultWalk::field(LONG column, size_t units) {
    const size_t room = std::min(units, kTextUnits) + 1;
    if (m_text.size() < room) m_text.resize(room);
    m_db->GetFieldValue(nullptr, &m_vm, column, m_text.data(), static_cast<ULONG>(room));
    return reinterpret_cast<const char16_t*>(m_text.data());
}

std::u16string_view ResultWalk::whole(LONG column, size_t units) {
    // A text that fills its buffer may have been cut: one that fits has a
    // unit to spare besides its terminator.
    size_t room = std::max(kFirstUnits, units + 2);
    for (int grow = 0;; ++grow, room *= 8) {
        if (m_text.size() < room) m_text.resize(room);
        m_db->GetFieldValue(nullptr, &m_vm, column, m_text.data(), static_cast<ULONG>(room));
        const std::u16string_view text(reinterpret_cast<const char16_t*>(m_text.data()));
        if (text.size() + 1 < room) return text;
        if (grow >= kMaxGrowth) throw ClientError("a stored text is too long to read");
    }
}

std::string ResultWalk::text(LONG column, size_t units) {
    // Converted into a scratch string first: the conversion leaves room for
    // the longest (three bytes a unit), and a copy of its own length is one
    // allocation where shrinking the result was a second.
    Utf16ToUtf8(whole(column, units), m_utf8);
    return m_utf8;
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
