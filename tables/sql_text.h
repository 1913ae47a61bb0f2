// SqlText: the builder every SQL statement of the component is assembled in,
// and Sql, the only way literal SQL gets into it.
//
// Values can only enter a statement through typed appenders: texts have
// every ' doubled (IDs too: they come from the caller, so they are escaped
// like any other text), numbers, dates and flags are formatted by the value
// conversions. Literal SQL is accepted only as an Sql, whose constructor is
// consteval: it takes a string literal (or another compile-time constant
// array) and nothing that exists only at run time. So there is no way to
// paste a caller's text into a statement unescaped, and forgetting to
// escape an ID does not compile:
//
//     SqlText sql(u"DELETE FROM [tTask] WHERE [TaskID] = '");
//     sql.AppendQuoted(bstrTaskID).Append(u"';");
//     m_pPimDbAccess->Execute(plErrorID, sql.ToBstr(), nullptr);
//
// The quotes around a value belong to the literal pieces, as in every
// statement text of the component ("... = '" + value + "';").
//
// Ownership and threads: a SqlText owns its text in a reference-counted
// buffer; copies share it (the count is atomic) and the first change to a
// shared text copies it, so a statement prefix can be built once and
// copied cheaply. One SqlText object is not meant for two threads at once,
// like any value. ToBstr hands out a new BSTR the caller owns. Every
// allocation failure throws calyra::OutOfMemory (E_OUTOFMEMORY).
#pragma once

#include <cstddef>
#include <string_view>

#include "platform/bstr.h"
#include "platform/types.h"

namespace calyra {

// A piece of literal SQL, fixed when the program is compiled.
class Sql {
public:
    // The empty piece, so tables of pieces can be built up in place.
    constexpr Sql() = default;
    template <size_t N>
    consteval Sql(const char16_t (&literal)[N])  // NOLINT: implicit so Append(u"...") reads naturally
        : m_text(literal, N - 1) {
        if (literal[N - 1] != u'\0') throw "Sql needs a zero-terminated literal";
    }
    constexpr std::u16string_view view() const { return m_text; }

private:
    std::u16string_view m_text;
};

class SqlText {
public:
    SqlText() noexcept = default;
    SqlText(Sql literal);  // NOLINT: a statement usually starts from a literal
    SqlText(const SqlText& other) noexcept;
    SqlText(SqlText&& other) noexcept;
    SqlText& operator=(const SqlText& other) noexcept;
    SqlText& operator=(SqlText&& other) noexcept;
    ~SqlText();

    // Makes room for `units` units in total, so the appends that follow do
    // not reallocate.
    SqlText& Reserve(size_t units);

    SqlText& Append(Sql literal);
    // Another statement piece, itself built only from literals and values.
    SqlText& Append(const SqlText& other);
    // A text value (or a record or profile ID) with every ' doubled. The BSTR is read by its length
    // (pass real BSTRs only); NULL or empty appends nothing, so the literal
    // around it becomes ''.
    SqlText& AppendQuoted(BSTR text);
    SqlText& AppendQuoted(std::u16string_view text);
    // A name the program learns only at run time (a table read from the
    // schema): in double quotes, every " doubled, so it stays one name.
    SqlText& AppendName(std::u16string_view name);
    // Signed decimal text.
    SqlText& AppendLong(LONG value);
    // Date text "YYYY-MM-DD hh:mm:ss".
    SqlText& AppendDate(DATE date);
    // The current UTC time as date text, for [Modified] and [Created].
    SqlText& AppendNow();
    // "1" for nonzero, "0" for zero.
    SqlText& AppendFlag(LONG flag);

    size_t length() const noexcept;
    bool empty() const noexcept { return length() == 0; }
    std::u16string_view view() const noexcept;

    // The statement as a new BSTR (one allocation); an empty statement gives
    // an empty BSTR, not NULL.
    Bstr ToBstr() const;

private:
    struct Buffer;
    // Returns room for `extra` more units at the end of an unshared buffer.
    OLECHAR* Grow(size_t extra);
    void AppendUnits(std::u16string_view units);
    // `text` with every `quote` doubled.
    void AppendDoubling(std::u16string_view text, char16_t quote);
    void Release() noexcept;

    Buffer* m_buffer = nullptr;  // shared between copies; NULL for the empty text
};

// `head`, the quoted text, then `closing`: the shape of most statements
// with one value ("DELETE FROM [tTask] WHERE [TaskID] = '" id "';").
SqlText QuotedStatement(Sql head, BSTR text, Sql closing);

}  // namespace calyra
