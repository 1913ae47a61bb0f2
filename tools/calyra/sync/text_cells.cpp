#include "sync/text_cells.h"

#include <algorithm>

#include "platform/utf8.h"
#include "session/client_error.h"

namespace calyra::sync {
namespace {

// Most cells (IDs, ETags, hashes, hrefs, a row's quoted text) fit the
// first read; a longer one is read again with eight times the room.
constexpr size_t kFirstUnits = 256;
constexpr int kMaxGrowth = 10;  // up to 256 * 8^10 units

}  // namespace

TextCells::TextCells(IPimDbAccess* db, const SqlText& sql, const char* what) : m_db(db) {
    LONG err = 0, rows = 0, columns = 0;
    const HRESULT hr = db->Query(&err, sql.ToBstr(), &rows, &columns, &m_vm);
    if (FAILED(hr)) {
        db->FreeResultset(nullptr, &m_vm);
        cli::Check(hr, err, what);
    }
    m_rows = static_cast<size_t>(std::max<LONG>(rows, 0));
    m_columns = static_cast<size_t>(std::max<LONG>(columns, 0));
}

TextCells::~TextCells() { m_db->FreeResultset(nullptr, &m_vm); }

std::u16string_view TextCells::units(LONG column) {
    size_t room = kFirstUnits;
    for (int grow = 0;; ++grow, room *= 8) {
        if (m_buffer.size() < room) m_buffer.resize(room);
        m_db->GetFieldValue(nullptr, &m_vm, column, m_buffer.data(), static_cast<ULONG>(room));
        const std::u16string_view text(reinterpret_cast<const char16_t*>(m_buffer.data()));
        if (text.size() + 1 < room) return text;
        if (grow >= kMaxGrowth) throw cli::ClientError("a stored text is too long to read");
    }
}

std::string TextCells::text(LONG column) {
    // Converted into a scratch string first: the conversion leaves room for
    // the longest (three bytes a unit), and a copy of its own length is one
    // allocation where shrinking the result was a second.
    Utf16ToUtf8(units(column), m_utf8);
    return m_utf8;
}

void TextCells::next() { m_db->NextRow(nullptr, &m_vm); }

}  // namespace calyra::sync
