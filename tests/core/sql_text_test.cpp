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
#include <thread>
#include <vector>

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

TEST(SqlText, CallerTextsCannotLeaveTheirLiteral) {
    // An ID crafted to close the literal and add a condition stays one value.
    Bstr id(u"1' OR '1'='1");
    SqlText sql(u"DELETE FROM [tTask] WHERE [TaskID] = '");
    sql.AppendQuoted(id).Append(u"';");
    EXPECT_EQ(Text(sql), u"DELETE FROM [tTask] WHERE [TaskID] = '1'' OR ''1''=''1';");

    SqlText quoted(u"'");
    quoted.AppendQuoted(std::u16string_view(u"x'); DROP TABLE [tTask]; --")).Append(u"'");
    EXPECT_EQ(Text(quoted), u"'x''); DROP TABLE [tTask]; --'");
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

TEST(SqlText, LongStatementsKeepEveryPiece) {
    SqlText sql;
    sql.Reserve(10);
    std::u16string expected;
    for (int i = 0; i < 5000; ++i) {
        sql.Append(u"'").AppendLong(i);
        expected += u"'" + std::u16string(Text(SqlText().AppendLong(i)));
    }
    Bstr big(std::u16string(3000, u'\''));
    sql.AppendQuoted(big);
    expected += std::u16string(6000, u'\'');
    EXPECT_EQ(Text(sql), expected);
    EXPECT_EQ(sql.ToBstr().view(), expected);
}

TEST(SqlText, SharedPrefixCanBeCopiedOnManyThreads) {
    // Copies share one buffer; each thread's appends must copy it first and
    // the last owner must free it exactly once (ThreadSanitizer watches).
    SqlText prefix(u"DELETE FROM [tEvent] WHERE [EventID] = '");
    std::vector<std::thread> threads;
    std::vector<std::u16string> results(8);
    for (int t = 0; t < 8; ++t) {
        threads.emplace_back([&, t] {
            for (int i = 0; i < 200; ++i) {
                SqlText sql = prefix;
                sql.AppendLong(t).Append(u"';");
                SqlText kept = sql;
                results[t] = std::u16string(kept.ToBstr().view());
            }
        });
    }
    for (auto& th : threads) th.join();
    for (int t = 0; t < 8; ++t)
        EXPECT_EQ(results[t], u"DELETE FROM [tEvent] WHERE [EventID] = '" +
                                  std::u16string(1, static_cast<char16_t>(u'0' + t)) + u"';");
    EXPECT_EQ(Text(prefix), u"DELETE FROM [tEvent] WHERE [EventID] = '");
}

}  // namespace
