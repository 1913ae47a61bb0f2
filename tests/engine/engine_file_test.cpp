// What the engine leaves in the database file: WAL while open, a plain
// rollback-journal file once the last handle has closed, and an intact
// file after the writing process was killed.
#include "engine/engine.h"

#include <gtest/gtest.h>

#include <csignal>
#include <fstream>
#include <string>

#include <sys/wait.h>
#include <unistd.h>

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

TEST_F(EngineFileTest, FileSurvivesTheWritingProcessBeingKilled) {
    int progress[2];
    ASSERT_EQ(pipe(progress), 0);
    pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        // The writer: reports every committed insert, until it is killed.
        close(progress[0]);
        LONG db = DbOpen(U16(file()).c_str());
        if (db < 0 || DbExecute(db, u"PRAGMA synchronous = OFF;", nullptr) != 0 ||
            DbExecute(db, u"CREATE TABLE [t] ([ID] INTEGER PRIMARY KEY AUTOINCREMENT, [Text] VARCHAR(64));",
                      nullptr) != 0)
            _exit(1);
        for (int i = 0;; ++i) {
            if (DbExecute(db, u"INSERT INTO [t] ([Text]) VALUES('some text of a contact');", nullptr) != 0) _exit(2);
            if (write(progress[1], &i, sizeof i) != sizeof i) _exit(3);
        }
    }
    close(progress[1]);
    int committed = -1;
    for (int last; committed < 200 && read(progress[0], &last, sizeof last) == sizeof last;) committed = last + 1;
    kill(child, SIGKILL);
    int status = 0;
    waitpid(child, &status, 0);
    close(progress[0]);
    ASSERT_TRUE(WIFSIGNALED(status)) << "the writer stopped on its own with status " << status;
    ASSERT_GE(committed, 200);

    LONG db = DbOpen(U16(file()).c_str());
    ASSERT_GE(db, 0) << "the file did not open after the writer was killed";
    EXPECT_EQ(Scalar(db, u"PRAGMA integrity_check"), u"ok");
    long rows = std::stol(calyra::Utf16ToUtf8(Scalar(db, u"SELECT COUNT(*) FROM [t]")));
    EXPECT_GE(rows, committed) << "inserts the writer saw succeed were lost";
    DbClose(db);
    EXPECT_EQ(FormatVersions(file()), std::make_pair(1, 1));
}

}  // namespace
