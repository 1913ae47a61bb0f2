// The SQL statement builder: what its text holds whatever is appended. The
// typed values are written as their stored texts (value_conversions_test.cpp),
// quoted texts stay one literal (the SQL quoting fuzz target, and the quoted
// and injected texts swept over every operation in tests/access); a NULL or
// empty text is an empty literal, as every record written with texts left
// out shows (tests/access).
//
// What cannot be tested here because it does not compile: appending a text
// that exists only at run time as literal SQL. Sql's constructor is
// consteval, so `sql.Append(runtimeBuffer)` is rejected by the compiler and
// the only way in for a caller's text is AppendQuoted.
#include "tables/sql_text.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <string>

#include "platform/utf8.h"

using calyra::Bstr;
using calyra::SqlText;

namespace {

std::u16string Text(const SqlText& sql) { return std::u16string(sql.view()); }

TEST(SqlText, BstrHasTheWholeStatementWithEmbeddedZeros) {
    SqlText sql(u"a'");
    sql.AppendQuoted(Bstr(std::u16string_view(u"x\0y", 3))).Append(u"'");
    Bstr bstr = sql.ToBstr();
    EXPECT_EQ(bstr.view(), std::u16string_view(u"a'x\0y'", 6));

    Bstr empty = SqlText().ToBstr();
    ASSERT_NE(empty.get(), nullptr) << "an empty statement became a NULL BSTR";
    EXPECT_EQ(empty.length(), 0u);
}

TEST(SqlText, AppendingItselfOrItsOwnTextIsSafe) {
    SqlText sql(u"ab'");
    sql.Append(sql);
    EXPECT_EQ(Text(sql), u"ab'ab'");
    sql.AppendQuoted(sql.view());  // a view into the text being grown
    EXPECT_EQ(Text(sql), u"ab'ab'ab''ab''");
}

// A name learnt at run time (a table listed by the schema) stays one name,
// whatever it holds: run against SQLite, the statement reaches the table of
// that name and nothing else.
TEST(SqlText, NamesFromTheSchemaStayOneName) {
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(":memory:", &db), SQLITE_OK);
    const auto run = [db](const SqlText& sql) {
        const std::string text = calyra::Utf16ToUtf8(sql.view());
        return sqlite3_exec(db, text.c_str(), nullptr, nullptr, nullptr);
    };
    for (const std::u16string name :
         {u"plain", u"x]; DROP TABLE [keep]; --", u"x\"; DROP TABLE [keep]; --", u"it's [odd]]", u"]", u"\""}) {
        SCOPED_TRACE(calyra::Utf16ToUtf8(name));
        ASSERT_EQ(run(SqlText(u"CREATE TABLE [keep] ([a]);")), SQLITE_OK);
        ASSERT_EQ(run(SqlText(u"CREATE TABLE ").AppendName(name).Append(u" ([a]);")), SQLITE_OK);
        EXPECT_EQ(run(SqlText(u"INSERT INTO ").AppendName(name).Append(u" VALUES('").AppendQuoted(name).Append(u"');")),
                  SQLITE_OK);
        EXPECT_EQ(run(SqlText(u"DROP TABLE ").AppendName(name).Append(u";")), SQLITE_OK);
        EXPECT_EQ(run(SqlText(u"DROP TABLE [keep];")), SQLITE_OK) << "the name reached another table";
    }
    sqlite3_close(db);
}

}  // namespace
