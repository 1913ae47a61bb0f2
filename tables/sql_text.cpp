// The SQL statement builder.
#include "tables/sql_text.h"

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <new>
#include <utility>

#include "tables/value_conversions.h"

namespace calyra {

// The shared text: this header, then `capacity` units. Only a buffer with a
// single owner is ever written.
struct SqlText::Buffer {
    std::atomic<size_t> refs{1};
    size_t capacity = 0;
    size_t length = 0;  // units in use; the text is not zero-terminated

    OLECHAR* text() noexcept { return reinterpret_cast<OLECHAR*>(this + 1); }
    const OLECHAR* text() const noexcept { return reinterpret_cast<const OLECHAR*>(this + 1); }
};

namespace {

// Statements become BSTRs, whose byte count must fit 32 bits.
constexpr size_t kMaxUnits = 0x7FFFFFF0;
// Most statements fit this at the first allocation.
constexpr size_t kFirstCapacity = 256;

}  // namespace

SqlText::SqlText(Sql literal) { AppendUnits(literal.view()); }

SqlText::SqlText(const SqlText& other) noexcept : m_buffer(other.m_buffer) {
    if (m_buffer) m_buffer->refs.fetch_add(1, std::memory_order_relaxed);
}

SqlText::SqlText(SqlText&& other) noexcept : m_buffer(std::exchange(other.m_buffer, nullptr)) {}

SqlText& SqlText::operator=(const SqlText& other) noexcept {
    if (other.m_buffer) other.m_buffer->refs.fetch_add(1, std::memory_order_relaxed);
    Release();
    m_buffer = other.m_buffer;
    return *this;
}

SqlText& SqlText::operator=(SqlText&& other) noexcept {
    if (this != &other) {
        Release();
        m_buffer = std::exchange(other.m_buffer, nullptr);
    }
    return *this;
}

SqlText::~SqlText() { Release(); }

void SqlText::Release() noexcept {
    Buffer* b = std::exchange(m_buffer, nullptr);
    if (b && b->refs.fetch_sub(1, std::memory_order_acq_rel) == 1) {
        b->~Buffer();
        std::free(b);
    }
}

OLECHAR* SqlText::Grow(size_t extra) {
    const size_t len = length();
    if (extra > kMaxUnits - len) throw OutOfMemory{};
    const size_t need = len + extra;
    const bool unshared = m_buffer && m_buffer->refs.load(std::memory_order_acquire) == 1;
    if (unshared && need <= m_buffer->capacity) return m_buffer->text() + len;

    // Double on growth so a long statement costs few reallocations.
    size_t capacity = std::max(need, kFirstCapacity);
    if (m_buffer) capacity = std::max(capacity, std::min(m_buffer->capacity * 2, kMaxUnits));
    void* memory = std::malloc(sizeof(Buffer) + capacity * sizeof(OLECHAR));
    if (!memory) throw OutOfMemory{};
    auto* grown = new (memory) Buffer;
    grown->capacity = capacity;
    grown->length = len;
    if (len) std::memcpy(grown->text(), m_buffer->text(), len * sizeof(OLECHAR));
    Release();
    m_buffer = grown;
    return grown->text() + len;
}

void SqlText::AppendUnits(std::u16string_view units) {
    if (units.empty()) return;
    OLECHAR* end = Grow(units.size());
    std::memcpy(end, units.data(), units.size() * sizeof(OLECHAR));
    m_buffer->length += units.size();
}

SqlText& SqlText::Reserve(size_t units) {
    if (units > length()) {
        Grow(units - length());
    }
    return *this;
}

SqlText& SqlText::Append(Sql literal) {
    AppendUnits(literal.view());
    return *this;
}

SqlText& SqlText::Append(const SqlText& other) {
    if (&other == this) {
        SqlText copy(other);  // shares; Grow then copies before writing
        AppendUnits(copy.view());
        return *this;
    }
    AppendUnits(other.view());
    return *this;
}

SqlText& SqlText::AppendQuoted(BSTR text) { return AppendQuoted(BstrView(text)); }

SqlText& SqlText::AppendQuoted(std::u16string_view text) {
    AppendDoubling(text, u'\'');
    return *this;
}

SqlText& SqlText::AppendName(std::u16string_view name) {
    // Double quotes, not the brackets of the statement texts: SQLite reads
    // a bracketed name up to its first ], with no way to write one inside.
    AppendUnits(u"\"");
    AppendDoubling(name, u'"');
    AppendUnits(u"\"");
    return *this;
}

void SqlText::AppendDoubling(std::u16string_view text, char16_t quote) {
    if (text.empty()) return;
    // A view into our own text must outlive a reallocation by Grow.
    SqlText keepAlive;
    const std::less<const OLECHAR*> before;
    if (m_buffer && !before(AsOle(text.data()), m_buffer->text()) &&
        before(AsOle(text.data()), m_buffer->text() + m_buffer->capacity))
        keepAlive = *this;
    const size_t quotes = static_cast<size_t>(std::count(text.begin(), text.end(), quote));
    if (quotes > kMaxUnits || text.size() > kMaxUnits - quotes) throw OutOfMemory{};
    OLECHAR* w = Grow(text.size() + quotes);
    if (quotes == 0) {
        // Most values hold no quote: one copy.
        std::copy(text.begin(), text.end(), w);
    } else {
        for (OLECHAR c : text) {
            if (c == quote) *w++ = quote;
            *w++ = c;
        }
    }
    m_buffer->length += text.size() + quotes;
}

SqlText& SqlText::AppendLong(LONG value) {
    OLECHAR text[kValueTextUnits];
    LongToText(value, text, kValueTextUnits);
    AppendUnits(AsU16(text));
    return *this;
}

SqlText& SqlText::AppendDate(DATE date) {
    OLECHAR text[kValueTextUnits];
    DateToText(date, text, kValueTextUnits);
    AppendUnits(AsU16(text));
    return *this;
}

SqlText& SqlText::AppendNow() { return AppendDate(GetNowDate()); }

SqlText& SqlText::AppendFlag(LONG flag) {
    AppendUnits(AsU16(BoolToText(flag)));
    return *this;
}

size_t SqlText::length() const noexcept { return m_buffer ? m_buffer->length : 0; }

std::u16string_view SqlText::view() const noexcept {
    return m_buffer ? std::u16string_view(AsU16(m_buffer->text()), m_buffer->length) : std::u16string_view();
}

Bstr SqlText::ToBstr() const {
    const std::u16string_view text = view();
    BSTR bstr = SysAllocStringLen(AsOle(text.empty() ? u"" : text.data()), static_cast<UINT>(text.size()));
    if (!bstr) throw OutOfMemory{};
    return Bstr::Attach(bstr);
}

SqlText QuotedStatement(Sql head, BSTR text, Sql closing) {
    SqlText sql(head);
    sql.AppendQuoted(text).Append(closing);
    return sql;
}

}  // namespace calyra
