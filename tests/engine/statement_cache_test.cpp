// Statements run again with other values are bound to a kept compiled
// statement instead of compiled from their text. Whatever the text, a
// statement must do exactly what its text says, the first time and from
// the cache: every case runs twice.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine/engine.h"
#include "platform/bstr.h"
#include "support/temp_dir.h"

namespace {

using calyra::Utf16ToUtf8;
using calyra::Utf8ToUtf16;

class StatementCacheTest : public ::testing::Test {
protected:
    void SetUp() override {
        db = DbOpen(Utf8ToUtf16(dir.file("pim.db").string()).c_str());
        ASSERT_GE(db, 0);
        ASSERT_EQ(Execute("CREATE TABLE [t] ([ID] INTEGER PRIMARY KEY, [Name] TEXT, [N] INTEGER, [K] TEXT UNIQUE);"),
                  0);
    }
    void TearDown() override { DbClose(db); }

    LONG Execute(const std::string& sql, LONGLONG* rowId = nullptr) {
        return DbExecute(db, Utf8ToUtf16(sql).c_str(), rowId);
    }
    // The first row of a query, or {"failed"}.
    std::vector<std::string> Row(const std::string& sql) {
        LONG rows = 0, columns = 0;
        LONGLONG slot = 0;
        if (DbQuery(db, Utf8ToUtf16(sql).c_str(), &rows, &columns, &slot) != 0) return {"failed"};
        std::vector<std::string> row;
        for (LONG c = 0; c < columns && rows > 0; ++c) row.push_back(Utf16ToUtf8(DbGetFieldValue(db, &slot, c)));
        DbFreeResultset(db, &slot);
        return row;
    }

    calyra::test::TempDir dir;
    LONG db = -1;
};

TEST_F(StatementCacheTest, QueriesReadTheirTextsValuesFirstAndSecondTime) {
    ASSERT_EQ(Execute("INSERT INTO [t] ([Name], [N]) VALUES('it''s', '5');"), 0);
    const std::pair<const char*, std::vector<std::string>> cases[] = {
        {"SELECT [Name], typeof([N]) FROM [t] WHERE [Name] = 'it''s'", {"it's", "integer"}},
        {"SELECT 'a''''b', ''", {"a''b", ""}},
        {"SELECT hex(x'41'), hex(X'4142'), max('x', 'y')", {"41", "4142", "y"}},
        {"SELECT 'a' -- it's\n", {"a"}},
        {"SELECT /* ' */ 'b', [Name] AS \"it's\" FROM [t]", {"b", "it's"}},
        {"SELECT 'c' AS 'alias'", {"c"}},  // no parameter may stand there
        {"SELECT ?, 'x'", {"", "x"}},      // not the two-literal statement above: its own parameter stays unbound
        {"SELECT [Name] FROM [t] WHERE [Name] LIKE 'IT''%'", {"it's"}},
        {"SELECT 'unterminated", {"failed"}},
        {"SELECT 'one'; SELECT 'two'", {"failed"}},
    };
    for (int pass = 0; pass < 2; ++pass)
        for (const auto& [sql, expected] : cases) EXPECT_EQ(Row(sql), expected) << sql << " (pass " << pass << ")";
}

TEST_F(StatementCacheTest, WritesBindEachTimesValuesAndFailLikeTheirText) {
    LONGLONG first = 0, second = 0;
    ASSERT_EQ(Execute("INSERT INTO [t] ([Name], [K]) VALUES('one', 'a');", &first), 0);
    ASSERT_EQ(Execute("INSERT INTO [t] ([Name], [K]) VALUES('two', 'b');", &second), 0);
    EXPECT_EQ(second, first + 1) << "the kept insert did not report its own row";
    EXPECT_EQ(Execute("INSERT INTO [t] ([Name], [K]) VALUES('three', 'a');"), -1) << "a duplicate key was taken";
    EXPECT_EQ(Execute("INSERT INTO [t] ([Name], [K]) VALUES('four', 'c');"), 0) << "a failure stuck to the statement";
    EXPECT_EQ(Execute("INSERT INTO [t] ([Name]) VALUES('m1'); INSERT INTO [t] ([Name]) VALUES('m2');"), 0);
    EXPECT_EQ(Row("SELECT group_concat([Name], ',') FROM [t]"), std::vector<std::string>{"one,two,four,m1,m2"});

    // A statement kept for a table follows the table as it goes and comes.
    const std::string query = "SELECT count(*) FROM [u] WHERE [V] = 'x'";
    EXPECT_EQ(Row(query), std::vector<std::string>{"failed"});
    ASSERT_EQ(Execute("CREATE TABLE [u] ([V] TEXT); INSERT INTO [u] VALUES('x');"), 0);
    EXPECT_EQ(Row(query), std::vector<std::string>{"1"});
    ASSERT_EQ(Execute("DROP TABLE [u];"), 0);
    EXPECT_EQ(Row(query), std::vector<std::string>{"failed"});
    ASSERT_EQ(Execute("CREATE TABLE [u] ([W] TEXT, [V] TEXT); INSERT INTO [u] VALUES('x', 'x'), ('y', 'x');"), 0);
    EXPECT_EQ(Row(query), std::vector<std::string>{"2"});
}

TEST_F(StatementCacheTest, MoreShapesThanTheCacheKeepsStayCorrect) {
    for (int pass = 0; pass < 2; ++pass)
        for (int i = 0; i < 150; ++i) {
            const std::string n = std::to_string(i);
            EXPECT_EQ(Row("SELECT " + n + ", 'v" + n + "'"), (std::vector<std::string>{n, "v" + n}));
        }
}

}  // namespace
