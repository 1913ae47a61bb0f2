// What the engine leaves in the database file: WAL while open, a plain
// rollback-journal file once the last handle has closed. Writers killed
// mid-write are the processes tests' subject.
#include "engine/engine.h"

#include <gtest/gtest.h>

#include <fstream>
#include <string>

#include "platform/bstr.h"
#include "support/temp_dir.h"

namespace {

std::u16string U16(const std::filesystem::path& p) { return calyra::Utf8ToUtf16(p.string()); }

// Bytes 18 and 19 of the header: 1 for the rollback journal (readable by
// every SQLite 3), 2 for WAL (SQLite 3.7 or later only).
std::pair<int, int> FormatVersions(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    char header[20] = {};
    in.read(header, sizeof header);
    return {header[18], header[19]};
}

std::u16string Scalar(LONG db, const char16_t* sql) {
    LONG rows = 0, columns = 0;
    LONGLONG slot = 0;
    if (DbQuery(db, sql, &rows, &columns, &slot) != 0) return u"<query failed>";
    std::u16string value = DbGetFieldValue(db, &slot, 0);
    DbFreeResultset(db, &slot);
    return value;
}

TEST(EngineFile, ClosedFileIsReadableByAnySqlite3AndKeepsOnlyCommittedRows) {
    calyra::test::TempDir dir;
    const std::u16string name = U16(dir.file("pim.db"));
    LONG first = DbOpen(name.c_str());
    LONG second = DbOpen(name.c_str());
    ASSERT_GE(first, 0);
    ASSERT_GE(second, 0);
    ASSERT_EQ(DbExecute(first, u"CREATE TABLE [t] ([A] INTEGER); INSERT INTO [t] VALUES(1);", nullptr), 0);
    // WAL comes with the first statement that may write; reading alone
    // leaves the file as it is.
    ASSERT_EQ(DbExecute(second, u"SELECT 1;", nullptr), 0);
    ASSERT_EQ(DbExecute(second, u"BEGIN; COMMIT;", nullptr), 0);
    EXPECT_EQ(Scalar(first, u"PRAGMA journal_mode"), u"wal");
    DbClose(first);
    EXPECT_EQ(Scalar(second, u"PRAGMA journal_mode"), u"wal") << "closing one handle changed the other's mode";
    // A transaction left open is rolled back at close.
    ASSERT_EQ(DbExecute(second, u"BEGIN; INSERT INTO [t] VALUES(2);", nullptr), 0);
    DbClose(second);
    EXPECT_EQ(FormatVersions(dir.file("pim.db")), std::make_pair(1, 1)) << "the closed file still demands WAL support";
    for (const char* suffix : {"-wal", "-shm"})
        EXPECT_FALSE(std::filesystem::exists(dir.file("pim.db").string() + suffix));
    LONG reopened = DbOpen(name.c_str());
    EXPECT_EQ(Scalar(reopened, u"SELECT COUNT(*) FROM [t]"), u"1");
    DbClose(reopened);
}

}  // namespace
