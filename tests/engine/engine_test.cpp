// The engine library through its nine C operations, as the connection and
// other clients call them: its statement cache, and the file it leaves
// behind.
#include "engine/engine.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdint>
#include <fstream>
#include <limits>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "platform/bstr.h"
#include "support/temp_dir.h"

namespace calyra::test {
namespace {

std::u16string U16(const std::filesystem::path& p) { return Utf8ToUtf16(p.string()); }

class EngineTest : public ::testing::Test {
protected:
    void SetUp() override {
        db = DbOpen(U16(dir.file("pim.db")).c_str());
        ASSERT_GE(db, 0) << "a new file in an existing directory did not open";
        Exec(
            u"CREATE TABLE [t] ([ID] INTEGER PRIMARY KEY AUTOINCREMENT NOT NULL, [Name] VARCHAR(64) NULL, "
            u"[N] INTEGER NULL, [K] TEXT UNIQUE);");
    }
    void TearDown() override { DbClose(db); }

    LONG Execute(const std::string& sql, LONGLONG* rowId = nullptr) {
        return DbExecute(db, Utf8ToUtf16(sql).c_str(), rowId);
    }
    void Exec(const std::u16string& sql) { ASSERT_EQ(DbExecute(db, sql.c_str(), nullptr), 0) << Utf16ToUtf8(sql); }

    LONGLONG Insert(const std::u16string& name) {
        LONGLONG id = 0;
        std::u16string sql = u"INSERT INTO [t] ([Name]) VALUES('" + name + u"');";
        EXPECT_EQ(DbExecute(db, sql.c_str(), &id), 0) << Utf16ToUtf8(sql);
        return id;
    }

    // Runs a query that must succeed; fills rows and columns.
    LONGLONG Query(const std::u16string& sql) {
        LONGLONG slot = 0;
        EXPECT_EQ(DbQuery(db, sql.c_str(), &rows, &columns, &slot), 0) << Utf16ToUtf8(sql);
        EXPECT_NE(slot, 0) << "a successful query left the slot empty";
        return slot;
    }

    // The first row of a query as UTF-8, or {"failed"}.
    std::vector<std::string> Row(const std::string& sql) {
        LONGLONG slot = 0;
        if (DbQuery(db, Utf8ToUtf16(sql).c_str(), &rows, &columns, &slot) != 0) return {"failed"};
        std::vector<std::string> row;
        for (LONG c = 0; c < columns && rows > 0; ++c) row.push_back(Utf16ToUtf8(DbGetFieldValue(db, &slot, c)));
        DbFreeResultset(db, &slot);
        return row;
    }

    // The first field of a query's first row ("failed" when it fails).
    std::string Scalar(const std::string& sql) { return Row(sql).at(0); }

    TempDir dir;
    LONG db = -1;
    LONG rows = 0, columns = 0;  // of the last query
};

// --- Opening and closing ---

TEST_F(EngineTest, OpenTakesEveryNameAsAFilePathHandlesAreNeverReusedAndCloseFreesTheirResultSets) {
    EXPECT_EQ(DbClose(-1), -1);
    LONG first = DbOpen(U16(dir.file("a.db")).c_str());
    ASSERT_GE(first, 0);
    LONGLONG slot = 0;
    ASSERT_EQ(DbQuery(first, u"SELECT 'x'", &rows, &columns, &slot), 0);
    EXPECT_EQ(DbClose(first), 0);
    EXPECT_EQ(DbClose(first), -1) << "a handle closed twice";
    EXPECT_EQ(std::u16string(DbGetFieldValue(first, &slot, 0)), u"");
    EXPECT_EQ(DbFreeResultset(first, &slot), -1) << "a result set outlived its handle";
    LONG second = DbOpen(U16(dir.file("b.db")).c_str());
    ASSERT_GE(second, 0);
    EXPECT_NE(second, first) << "a closed handle number was handed out again";
    EXPECT_EQ(DbExecute(first, u"CREATE TABLE [x] ([A] INTEGER);", nullptr), -1) << "a closed handle still ran SQL";
    EXPECT_EQ(DbExecute(second, u"CREATE TABLE [x] ([A] INTEGER);", nullptr), 0)
        << "the stale handle's statement reached the new database";
    DbClose(second);

    // Every name is a file path, and what is no database is refused.
    std::filesystem::create_directory(dir.file("folder"));
    {
        std::ofstream junk(dir.file("junk.db"), std::ios::binary);
        for (int i = 0; i < 4096; ++i) junk.put(static_cast<char>((i * 7919 + 13) & 0xFF));
    }
    using Refused = std::pair<const char*, std::u16string>;
    for (const auto& [what, name] : {Refused{"empty name", u""}, Refused{"a directory", U16(dir.file("folder"))},
                                     Refused{"a file in a missing directory", U16(dir.file("missing") / "pim.db")},
                                     Refused{"a file of random bytes", U16(dir.file("junk.db"))}}) {
        LONG h = DbOpen(name.c_str());
        EXPECT_EQ(h, -1) << what << " opened as a database";
        DbClose(h);
    }
    EXPECT_EQ(DbOpen(nullptr), -1);
    EXPECT_FALSE(std::filesystem::exists(dir.file("missing"))) << "open created a missing directory";

    std::filesystem::path cwd = std::filesystem::current_path();
    std::filesystem::current_path(dir.path());
    LONG uri = DbOpen(u"file:uri.db?mode=memory");
    std::filesystem::current_path(cwd);
    LONG nonAscii = DbOpen(U16(dir.file("Zoë 日本.db")).c_str());
    for (LONG h : {uri, nonAscii}) {
        ASSERT_GE(h, 0);
        EXPECT_EQ(DbExecute(h, u"CREATE TABLE [x] ([A] INTEGER);", nullptr), 0);
        DbClose(h);
    }
    EXPECT_TRUE(std::filesystem::exists(dir.file("file:uri.db?mode=memory")))
        << "the name was taken as a URI instead of a file name";
    EXPECT_TRUE(std::filesystem::exists(dir.file("Zoë 日本.db")));
}

// --- Executing ---

TEST_F(EngineTest, ExecuteRunsEveryStatementUntilOneFailsGivesTheKeyOfTheLastInsertAndRollsBackOnlyItsOwnTransaction) {
    EXPECT_EQ(Insert(u"a"), 1);
    EXPECT_EQ(Insert(u"b"), 2);
    Exec(u"DELETE FROM [t] WHERE [ID] = '2';");
    EXPECT_EQ(Insert(u"c"), 3) << "AUTOINCREMENT reused a deleted key";
    for (const char16_t* sql : {u"UPDATE [t] SET [Name] = 'b';", u"DELETE FROM [t] WHERE [ID] = '99';", u"SELECT 1;"}) {
        LONGLONG id = 0;
        EXPECT_EQ(DbExecute(db, sql, &id), 0);
        EXPECT_EQ(id, 0) << Utf16ToUtf8(sql) << " reported an inserted row";
    }
    // Without AUTOINCREMENT the key of a deleted last row comes back; the insert must still be reported.
    Exec(u"CREATE TABLE [m] ([MapID] INTEGER PRIMARY KEY NOT NULL, [A] INTEGER);");
    LONGLONG first = 0, second = 0;
    ASSERT_EQ(DbExecute(db, u"INSERT INTO [m] ([A]) VALUES('1');", &first), 0);
    Exec(u"DELETE FROM [m];");
    ASSERT_EQ(DbExecute(db, u"INSERT INTO [m] ([A]) VALUES('2');", &second), 0);
    EXPECT_EQ(first, 1);
    EXPECT_EQ(second, 1);

    // Every statement of a text runs until one fails.
    LONGLONG id = 0;
    ASSERT_EQ(DbExecute(db, u"INSERT INTO [t] ([Name]) VALUES('a'); INSERT INTO [t] ([Name]) VALUES('b');\n\t ", &id),
              0);
    EXPECT_EQ(id, 5) << "the key of the last insert of the text";
    for (const char16_t* sql : {u"SELECT 1;;", u"SELECT 1; -- done", u"SELECT 1 /* c */ ;  ", u"   "})
        EXPECT_EQ(DbExecute(db, sql, nullptr), 0) << Utf16ToUtf8(sql);
    id = 0;
    EXPECT_EQ(DbExecute(db, u"INSERT INTO [t] ([Name]) VALUES('c'); INSERT INTO [nope] VALUES(1);", &id), -1);
    EXPECT_EQ(id, 0) << "a failed text wrote the row-ID slot";
    EXPECT_EQ(Scalar("SELECT COUNT(*) FROM [t]"), "5") << "what ran before the failure was not kept";
    // A statement that compiles but fails as it runs stops the text too.
    EXPECT_EQ(DbExecute(db, u"INSERT INTO [t] ([ID]) VALUES(10); INSERT INTO [t] ([ID]) VALUES(10); SELECT 1;", &id),
              -1);
    EXPECT_EQ(Scalar("SELECT COUNT(*) FROM [t]"), "6");
    EXPECT_EQ(DbExecute(db, u"this is not SQL", nullptr), -1);

    // A failed text rolls back the transaction it began, but not the caller's.
    EXPECT_EQ(DbExecute(db, u"BEGIN; INSERT INTO [t] ([Name]) VALUES('a'); INSERT INTO [nope] VALUES(1);", nullptr),
              -1);
    EXPECT_EQ(Scalar("SELECT COUNT(*) FROM [t]"), "6") << "the failed text's insert was kept";
    // A second connection can write at once: no lock was left behind.
    LONG other = DbOpen(U16(dir.file("pim.db")).c_str());
    ASSERT_GE(other, 0);
    EXPECT_EQ(DbExecute(other, u"INSERT INTO [t] ([Name]) VALUES('b');", nullptr), 0);
    DbClose(other);

    Exec(u"BEGIN;");
    Exec(u"INSERT INTO [t] ([Name]) VALUES('a');");
    EXPECT_EQ(DbExecute(db, u"INSERT INTO [nope] VALUES(1);", nullptr), -1);
    Exec(u"COMMIT;");
    EXPECT_EQ(Scalar("SELECT COUNT(*) FROM [t]"), "8");
}

// --- Querying ---

// Walking against a model of the rows (the counts, the step onto the end and
// none beyond it, an empty result at its end at once) is the connection fuzz
// target's property; what a walk cannot show is checked here. Text of any
// kind round-trips through the SQL quoting fuzz target; text that is not
// UTF-8 reads as replacement characters (0xFF is never UTF-8; C3 alone is a
// cut sequence; E0 80 80 is overlong).
TEST_F(EngineTest, EveryValueReadsAsTextAndMissingFieldsAsEmptyText) {
    LONGLONG slot =
        Query(u"SELECT NULL, '', 42, -7, 2.5, 'x''y', X'414243', CAST(X'41FF42C3' AS TEXT), CAST(X'E08080' AS TEXT)");
    ASSERT_EQ(rows, 1);
    const char16_t* expected[] = {
        u"", u"", u"42", u"-7", u"2.5", u"x'y", u"ABC", u"A\uFFFDB\uFFFD", u"\uFFFD\uFFFD\uFFFD"};
    for (LONG c = 0; c < columns; ++c) {
        const OLECHAR* text = DbGetFieldValue(db, &slot, c);
        ASSERT_NE(text, nullptr) << "column " << c << " came back as a NULL pointer";
        EXPECT_EQ(std::u16string(text), expected[c]) << "column " << c;
    }
    for (LONG field : {LONG{-1}, LONG{9}, std::numeric_limits<LONG>::max(), std::numeric_limits<LONG>::min()})
        EXPECT_EQ(std::u16string(DbGetFieldValue(db, &slot, field)), u"") << "column " << field;
    ASSERT_EQ(DbNextRow(db, &slot), 0);
    EXPECT_EQ(std::u16string(DbGetFieldValue(db, &slot, 0)), u"") << "past the last row";
    DbFreeResultset(db, &slot);
}

TEST_F(EngineTest, ResultSetKeepsItsRowsWhileTheTableIsEmptied) {
    for (int i = 0; i < 50; ++i) Insert(u"name" + Utf8ToUtf16(std::to_string(i)));
    LONGLONG slot = Query(u"SELECT [ID], [Name] FROM [t] ORDER BY [ID]");
    ASSERT_EQ(rows, 50);
    for (LONG r = 0; r < rows; ++r) {
        std::u16string id = DbGetFieldValue(db, &slot, 0);
        // Delete the row being read, as the top lists purge entries.
        ASSERT_EQ(DbExecute(db, (u"DELETE FROM [t] WHERE [ID] = '" + id + u"';").c_str(), nullptr), 0);
        if (r == 0) Exec(u"DELETE FROM [t];");
        EXPECT_EQ(std::u16string(DbGetFieldValue(db, &slot, 1)), u"name" + Utf8ToUtf16(std::to_string(r)))
            << "row " << r << " changed under the reader";
        ASSERT_EQ(DbNextRow(db, &slot), 0);
    }
    EXPECT_TRUE(DbIsEOF(db, &slot));
    EXPECT_EQ(DbFreeResultset(db, &slot), 0);
    EXPECT_EQ(Scalar("SELECT COUNT(*) FROM [t]"), "0");
}

// Freed result sets hand their memory on to later queries; whichever
// storage a query gets, smaller or larger than it needs, it reads only its
// own rows.
TEST_F(EngineTest, ResultSetsFreedInAnyOrderLeaveNothingForTheNextQuery) {
    for (int i = 0; i < 40; ++i) Insert(u"n" + Utf8ToUtf16(std::to_string(i)));
    std::vector<LONGLONG> slots;
    for (int limit : {5, 40, 10, 20, 1})
        slots.push_back(Query(u"SELECT [Name] FROM [t] ORDER BY [ID] LIMIT " + Utf8ToUtf16(std::to_string(limit))));
    for (LONGLONG& slot : slots) ASSERT_EQ(DbFreeResultset(db, &slot), 0);
    for (int limit : {3, 40, 2, 1}) {
        LONGLONG slot =
            Query(u"SELECT [Name], [ID] FROM [t] ORDER BY [ID] DESC LIMIT " + Utf8ToUtf16(std::to_string(limit)));
        EXPECT_EQ(rows, limit);
        EXPECT_EQ(columns, 2);
        for (LONG r = 0; r < rows; ++r, DbNextRow(db, &slot))
            EXPECT_EQ(std::u16string(DbGetFieldValue(db, &slot, 0)), u"n" + Utf8ToUtf16(std::to_string(39 - r)));
        EXPECT_TRUE(DbIsEOF(db, &slot));
        DbFreeResultset(db, &slot);
    }
}

TEST_F(EngineTest, FailedQueryLeavesTheSlotEmpty) {
    using Case = std::pair<const char*, const char16_t*>;
    Insert(u"keep");
    for (const auto& [what, sql] :
         {Case{"syntax error", u"SELEKT 1"}, Case{"missing table", u"SELECT * FROM [nope]"},
          Case{"no statement", u"  ; -- nothing"}, Case{"two statements", u"SELECT 1; SELECT 2"},
          Case{"a statement after a comment", u"SELECT 1; /* c */ DELETE FROM [t]"}}) {
        LONG rows = 0x77, columns = 0x77;
        LONGLONG slot = 0;
        EXPECT_EQ(DbQuery(db, sql, &rows, &columns, &slot), -1) << what;
        EXPECT_EQ(slot, 0) << what;
        EXPECT_EQ(DbFreeResultset(db, &slot), 0) << "freeing the empty slot after a failed query (" << what << ")";
    }
    EXPECT_EQ(Scalar("SELECT COUNT(*) FROM [t]"), "1") << "a refused query text still ran its second statement";
    LONGLONG slot = 0;
    EXPECT_EQ(DbQuery(db, u"SELECT 1", nullptr, &columns, &slot), -1);
    EXPECT_EQ(DbQuery(db, u"SELECT 1", &rows, nullptr, &slot), -1);
    EXPECT_EQ(DbQuery(db, u"SELECT 1", &rows, &columns, nullptr), -1);
    EXPECT_EQ(DbQuery(db, nullptr, &rows, &columns, &slot), -1);
    EXPECT_EQ(DbQuery(-1, u"SELECT 1", &rows, &columns, &slot), -1);
}

// --- Slots the engine did not hand out ---

TEST_F(EngineTest, SlotsNotHandedOutToThisHandleAreRefusedAndResetAndFreeWorkOnTheirOwn) {
    Insert(u"a");
    LONGLONG live = Query(u"SELECT [Name] FROM [t]");
    LONGLONG freed = Query(u"SELECT [Name] FROM [t]");
    LONGLONG freedCopy = freed;
    ASSERT_EQ(DbFreeResultset(db, &freed), 0);
    EXPECT_EQ(DbFreeResultset(db, &freedCopy), -1) << "a result set was freed twice";

    // Made-up values are the connection fuzz target's subject; these are
    // the ones that look most like a real slot.
    LONG other = DbOpen(U16(dir.file("pim.db")).c_str());
    ASSERT_GE(other, 0);
    // No value: a NULL slot pointer.
    const std::pair<LONG, std::optional<LONGLONG>> refused[] = {
        {db, live + 1},
        {db, freedCopy},
        {db, static_cast<LONGLONG>(reinterpret_cast<std::intptr_t>(&rows))},
        {other, live},
        {db, std::nullopt}};
    for (const auto& [handle, value] : refused) {
        SCOPED_TRACE(testing::Message() << "slot " << value.value_or(0) << " of handle " << handle);
        LONGLONG held = value.value_or(0), *slot = value ? &held : nullptr;
        EXPECT_NE(DbReset(handle, slot), 0);
        EXPECT_NE(DbNextRow(handle, slot), 0);
        EXPECT_TRUE(DbIsEOF(handle, slot));
        EXPECT_EQ(std::u16string(DbGetFieldValue(handle, slot, 0)), u"");
        EXPECT_EQ(DbFreeResultset(handle, slot), -1);
        EXPECT_EQ(held, value.value_or(0)) << "a refused free changed the slot";
    }
    DbClose(other);
    EXPECT_EQ(std::u16string(DbGetFieldValue(db, &live, 0)), u"a") << "the live result set was disturbed";
    ASSERT_EQ(DbNextRow(db, &live), 0);
    EXPECT_EQ(DbReset(db, &live), 0);
    EXPECT_EQ(std::u16string(DbGetFieldValue(db, &live, 0)), u"a") << "Reset did not go back to the first row";
    EXPECT_EQ(DbFreeResultset(db, &live), 0);
    EXPECT_EQ(live, 0) << "a freed slot was not cleared";
}

// --- The statement cache ---

// Statements run again with other values are bound to a kept compiled
// statement instead of compiled from their text. Whatever the text, a
// statement must do exactly what its text says, the first time and from
// the cache: every case runs twice.

TEST_F(EngineTest, QueriesReadTheirTextsValuesFirstAndSecondTime) {
    Exec(u"INSERT INTO [t] ([Name], [N]) VALUES('it''s', '5');");
    const std::pair<const char*, std::vector<std::string>> cases[] = {
        {"SELECT [Name], typeof([N]) FROM [t] WHERE [Name] = 'it''s'", {"it's", "integer"}},
        {"SELECT 'a''''b', ''", {"a''b", ""}},
        {"SELECT 'it''s', 'x', 'a''b', 'c'", {"it's", "x", "a'b", "c"}},
        {"SELECT hex(x'41'), hex(X'4142'), max('x', 'y')", {"41", "4142", "y"}},
        {"SELECT 'a' -- it's\n", {"a"}},
        {"SELECT /* ' */ 'b', [Name] AS \"it's\" FROM [t]", {"b", "it's"}},
        {"SELECT 'c' AS 'alias'", {"c"}},  // no parameter may stand there
        {"SELECT ?, 'x'", {"", "x"}},      // not the two-literal statement above: its own parameter stays unbound
        {"SELECT [Name] FROM [t] WHERE [Name] LIKE 'IT''%'", {"it's"}},
        {"SELECT 'unterminated", {"failed"}},
        {"SELECT 'one'; SELECT 'two'", {"failed"}},
        {"SELECT 1 ; ;\n", {"1"}},  // trailing separators are no statement
        {"SELECT 1; -- trailing comment", {"1"}},
    };
    for (int pass = 0; pass < 2; ++pass) {
        for (const auto& [sql, expected] : cases) EXPECT_EQ(Row(sql), expected) << sql << " (pass " << pass << ")";
        // More shapes than the cache keeps stay correct.
        for (int i = 0; i < 150; ++i) {
            const std::string n = std::to_string(i);
            EXPECT_EQ(Row("SELECT " + n + ", 'v" + n + "'"), (std::vector<std::string>{n, "v" + n}));
        }
    }
}

TEST_F(EngineTest, WritesBindEachTimesValuesAndFailLikeTheirText) {
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

// --- The file left behind ---

// WAL while open; once the last handle has closed, a plain rollback-journal
// file (header bytes 18 and 19: 1 is readable by every SQLite 3, 2 needs
// WAL support). Writers killed mid-write are the processes tests' subject.
TEST_F(EngineTest, ClosedFileIsReadableByAnySqlite3AndKeepsOnlyCommittedRows) {
    LONG second = DbOpen(U16(dir.file("pim.db")).c_str());
    ASSERT_GE(second, 0);
    Insert(u"committed");
    // WAL comes with the first statement that may write; reading alone
    // leaves the file as it is.
    ASSERT_EQ(DbExecute(second, u"SELECT 1;", nullptr), 0);
    ASSERT_EQ(DbExecute(second, u"BEGIN; COMMIT;", nullptr), 0);
    EXPECT_EQ(Scalar("PRAGMA journal_mode"), "wal");
    DbClose(db);
    db = second;
    EXPECT_EQ(Scalar("PRAGMA journal_mode"), "wal") << "closing one handle changed the other's mode";
    // A transaction left open is rolled back at close.
    Exec(u"BEGIN; INSERT INTO [t] ([Name]) VALUES('open');");
    DbClose(db);
    char header[20] = {};
    std::ifstream(dir.file("pim.db"), std::ios::binary).read(header, sizeof header);
    EXPECT_EQ(std::make_pair(header[18], header[19]), std::make_pair('\1', '\1'))
        << "the closed file still demands WAL support";
    for (const char* suffix : {"-wal", "-shm"})
        EXPECT_FALSE(std::filesystem::exists(dir.file("pim.db").string() + suffix));
    db = DbOpen(U16(dir.file("pim.db")).c_str());
    EXPECT_EQ(Scalar("SELECT COUNT(*) FROM [t]"), "1");
}

// Run under ThreadSanitizer. One handle shared by threads is the access
// concurrency tests' subject; two writers on one file the processes tests'.
TEST_F(EngineTest, HandleClosedWhileAnotherThreadUsesItFailsCleanly) {
    for (int i = 0; i < 20; ++i) Insert(u"x");
    std::atomic<bool> started{false};
    std::thread user([&] {
        // Every call until the handle is gone must either work or fail with the engine's failure result.
        for (LONG rows = 0, columns = 0;;) {
            LONGLONG slot = 0;
            if (DbQuery(db, u"SELECT [Name] FROM [t]", &rows, &columns, &slot) != 0) break;
            started = true;
            for (; !DbIsEOF(db, &slot); DbNextRow(db, &slot)) ASSERT_NE(DbGetFieldValue(db, &slot, 0), nullptr);
            DbFreeResultset(db, &slot);
        }
    });
    while (!started) std::this_thread::yield();
    DbClose(db);
    user.join();
    EXPECT_EQ(DbExecute(db, u"SELECT 1;", nullptr), -1);
}

}  // namespace
}  // namespace calyra::test
