// The SQL statement builder: literal pieces and typed values.
//
// What cannot be tested here because it does not compile: appending a text
// that exists only at run time as literal SQL. Sql's constructor is
// consteval, so `sql.Append(runtimeBuffer)` is rejected by the compiler and
// the only way in for a caller's text is AppendQuoted.
#include "core/sql_text.h"

#include <gtest/gtest.h>

#include <limits>
#include <string>

#include "core/value_conversions.h"

using calyra::Bstr;
using calyra::SqlText;

namespace {

std::u16string Text(const SqlText& sql) { return std::u16string(sql.view()); }

TEST(SqlText, BuildsAnInsertFromLiteralsAndTypedValues) {
    Bstr profileID(u"3");
    Bstr name(u"Bob's friends");
    SqlText sql(u"INSERT INTO [tContactGroup] ([ProfileID], [ContactGroupName], [ToBeSynced], [Modified]) VALUES('");
    sql.AppendQuoted(profileID)
        .Append(u"', '")
        .AppendQuoted(name)
        .Append(u"', '")
        .AppendFlag(-1)
        .Append(u"', '")
        .AppendDate(40493 + 29109 / 86400.0)
        .Append(u"');");
    EXPECT_EQ(Text(sql),
              u"INSERT INTO [tContactGroup] ([ProfileID], [ContactGroupName], [ToBeSynced], [Modified]) "
              u"VALUES('3', 'Bob''s friends', '1', '2010-11-11 08:05:09');");
}

TEST(SqlText, NullOrEmptyTextGivesAnEmptyLiteral) {
    SqlText sql(u"VALUES('");
    sql.AppendQuoted(static_cast<BSTR>(nullptr)).Append(u"', '").AppendQuoted(Bstr(u"")).Append(u"', '");
    sql.AppendQuoted(nullptr).Append(u"')");
    EXPECT_EQ(Text(sql), u"VALUES('', '', '')");
}

TEST(SqlText, NumbersDatesAndFlagsUseTheStoredTexts) {
    SqlText sql;
    sql.AppendLong(std::numeric_limits<LONG>::min()).Append(u"|").AppendLong(0).Append(u"|").AppendLong(42);
    sql.Append(u"|").AppendFlag(0).Append(u"|").AppendFlag(2).Append(u"|").AppendDate(0.0);
    sql.Append(u"|").AppendDate(1e300);
    EXPECT_EQ(Text(sql), u"-2147483648|0|42|0|1|1899-12-30 00:00:00|0000-00-00 00:00:00");
}

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

}  // namespace
