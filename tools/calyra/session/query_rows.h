// Reads result sets through the component's connection: ResultWalk goes
// through one row by row (the one loop every reader of the client shares),
// QueryRows keeps a whole result as UTF-8 texts.
//
// A field is read as the access objects read it (field) or whole (whole,
// text). The connection gives SQL NULL and empty text alike
// (both read as ""). Ownership: a ResultWalk owns its result set and frees
// it when it goes; a field's text stays valid until the next field read.
// Thread-safety: as the connection; a walk belongs to one thread.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "idl/calyra_idl.h"
#include "platform/utf8.h"
#include "tables/sql_text.h"

namespace calyra::cli {

// "'a', 'b'": the UTF-8 `texts` quoted for an IN list; "NULL" (which no
// row equals) for none.
template <class Texts>
SqlText& AppendQuotedList(SqlText& sql, const Texts& texts) {
    if (std::empty(texts)) return sql.Append(u"NULL");
    bool first = true;
    for (const std::string& text : texts) {
        sql.Append(first ? Sql(u"'") : Sql(u", '")).AppendQuoted(Utf8ToUtf16(text)).Append(u"'");
        first = false;
    }
    return sql;
}

class ResultWalk {
public:
    // Runs `sql` (a statement built with SqlText, or the person's own text
    // for `calyra sql`); throws ClientError naming `what` when the query
    // fails.
    ResultWalk(IPimDbAccess* db, std::u16string_view sql, const char* what = "query failed");
    ~ResultWalk();
    ResultWalk(const ResultWalk&) = delete;
    ResultWalk& operator=(const ResultWalk&) = delete;

    // What the access objects read a text with; a longer one is cut there.
    static constexpr size_t kTextUnits = 2048;

    LONG rows() const { return m_rows; }
    LONG columns() const { return m_columns; }
    // Field `column` of the current row, cut where the access objects cut
    // a text, so it reads exactly as GetAll... returns it. `units`: at most
    // that many (a number, a date, or a text whose length is known), read
    // with a buffer that size, since the connection clears all it is given.
    const char16_t* field(LONG column, size_t units = kTextUnits);
    // Field `column` of the current row whole, however long (a text the
    // client made, such as a row's values as one text): read with a small
    // buffer first and again with a larger one only when it filled it,
    // since the connection clears the whole buffer it is given on every
    // read. `units`: room enough for it, when known (its length in UTF-8
    // bytes is), so that a long text is read once.
    std::u16string_view whole(LONG column, size_t units = 0);
    // whole() as UTF-8, a string of its own length (a sync holds many).
    std::string text(LONG column, size_t units = 0);
    // Moves to the next row.
    void next();

private:
    IPimDbAccess* m_db;
    LONGLONG m_vm = 0;
    LONG m_rows = 0, m_columns = 0;
    std::vector<USHORT> m_text;
    std::string m_utf8;  // text()'s scratch
};

using TextRows = std::vector<std::vector<std::string>>;

// Throws ClientError when the query fails; `columns` receives the column
// count (also for an empty result).
TextRows QueryRows(IPimDbAccess* db, std::u16string_view sql, LONG* columns = nullptr);

}  // namespace calyra::cli
