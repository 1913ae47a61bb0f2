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

class EngineFileTest : public ::testing::Test {
protected:
    std::filesystem::path file() const { return dir.file("pim.db"); }
    bool Exists(const char* suffix) const { return std::filesystem::exists(file().string() + suffix); }

    calyra::test::TempDir dir;
};

TEST_F(EngineFileTest, CleanlyClosedFileIsReadableByAnySqlite3) {
    LONG db = DbOpen(U16(file()).c_str());
    ASSERT_GE(db, 0);
    ASSERT_EQ(DbExecute(db, u"CREATE TABLE [t] ([A] INTEGER); INSERT INTO [t] VALUES(1);", nullptr), 0);
    EXPECT_EQ(Scalar(db, u"PRAGMA journal_mode"), u"wal");
    DbClose(db);
    EXPECT_EQ(FormatVersions(file()), std::make_pair(1, 1)) << "the closed file still demands WAL support";
    EXPECT_FALSE(Exists("-wal"));
    EXPECT_FALSE(Exists("-shm"));
}

TEST_F(EngineFileTest, FileStaysUsableWhileAnotherHandleKeepsItOpen) {
    LONG first = DbOpen(U16(file()).c_str());
    LONG second = DbOpen(U16(file()).c_str());
    ASSERT_GE(first, 0);
    ASSERT_GE(second, 0);
    ASSERT_EQ(DbExecute(first, u"CREATE TABLE [t] ([A] INTEGER);", nullptr), 0);
    DbClose(first);
    EXPECT_EQ(Scalar(second, u"PRAGMA journal_mode"), u"wal") << "closing one handle changed the other's mode";
    EXPECT_EQ(DbExecute(second, u"INSERT INTO [t] VALUES(1);", nullptr), 0);
    DbClose(second);
    EXPECT_EQ(FormatVersions(file()), std::make_pair(1, 1));
    LONG reopened = DbOpen(U16(file()).c_str());
    EXPECT_EQ(Scalar(reopened, u"SELECT COUNT(*) FROM [t]"), u"1");
    DbClose(reopened);
}

TEST_F(EngineFileTest, TransactionLeftOpenIsRolledBackAtClose) {
    LONG db = DbOpen(U16(file()).c_str());
    ASSERT_EQ(DbExecute(db, u"CREATE TABLE [t] ([A] INTEGER);", nullptr), 0);
    ASSERT_EQ(DbExecute(db, u"BEGIN; INSERT INTO [t] VALUES(1);", nullptr), 0);
    DbClose(db);
    EXPECT_EQ(FormatVersions(file()), std::make_pair(1, 1));
    db = DbOpen(U16(file()).c_str());
    EXPECT_EQ(Scalar(db, u"SELECT COUNT(*) FROM [t]"), u"0");
    DbClose(db);
}

}  // namespace
