// The engine called from several threads at once: one handle shared, and a
// handle closed while another thread still uses it. Run under
// ThreadSanitizer. Two writers on one file are the processes tests' subject.
#include "engine/engine.h"

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "platform/bstr.h"
#include "support/temp_dir.h"

namespace {

std::u16string U16(const std::filesystem::path& p) { return calyra::Utf8ToUtf16(p.string()); }
std::u16string Num(long long n) { return calyra::Utf8ToUtf16(std::to_string(n)); }

constexpr int kThreads = 4;
constexpr int kRowsPerThread = 100;

LONG OpenWithTable(const std::filesystem::path& file) {
    LONG h = DbOpen(U16(file).c_str());
    EXPECT_GE(h, 0);
    // The system's own setting; waiting for the disk is not what these
    // tests are about.
    EXPECT_EQ(DbExecute(h, u"PRAGMA synchronous = OFF;", nullptr), 0);
    EXPECT_EQ(DbExecute(h,
                        u"CREATE TABLE IF NOT EXISTS [t] ([ID] INTEGER PRIMARY KEY AUTOINCREMENT NOT NULL, "
                        u"[Writer] INTEGER NULL, [Text] VARCHAR(64) NULL);",
                        nullptr),
              0);
    return h;
}

// Counts the rows of [t] (optionally of one writer) through a full read.
long CountRows(LONG h, const std::u16string& where = u"") {
    LONG rows = 0, columns = 0;
    LONGLONG slot = 0;
    if (DbQuery(h, (u"SELECT [ID], [Writer], [Text] FROM [t]" + where).c_str(), &rows, &columns, &slot) != 0) return -1;
    long seen = 0;
    while (!DbIsEOF(h, &slot)) {
        if (DbGetFieldValue(h, &slot, 2)[0] != 0) ++seen;
        DbNextRow(h, &slot);
    }
    DbFreeResultset(h, &slot);
    return seen == rows ? seen : -2;
}

TEST(EngineConcurrencyTest, OneHandleSharedByThreadsWithTheirOwnResultSets) {
    calyra::test::TempDir dir;
    LONG h = OpenWithTable(dir.file("one.db"));
    std::atomic<int> failures{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            for (int i = 0; i < kRowsPerThread; ++i) {
                std::u16string text = u"t" + Num(t) + u"r" + Num(i);
                LONGLONG id = 0;
                if (DbExecute(
                        h, (u"INSERT INTO [t] ([Writer], [Text]) VALUES('" + Num(t) + u"', '" + text + u"');").c_str(),
                        &id) != 0) {
                    ++failures;
                    continue;
                }
                // The key read back must be this thread's own row.
                LONG rows = 0, columns = 0;
                LONGLONG slot = 0;
                if (DbQuery(h, (u"SELECT [Text] FROM [t] WHERE [ID] = '" + Num(id) + u"'").c_str(), &rows, &columns,
                            &slot) != 0 ||
                    rows != 1 || std::u16string(DbGetFieldValue(h, &slot, 0)) != text)
                    ++failures;
                if (DbFreeResultset(h, &slot) != 0) ++failures;
            }
        });
    }
    for (auto& t : threads) t.join();
    EXPECT_EQ(failures.load(), 0) << "an insert's key or text crossed over between threads";
    EXPECT_EQ(CountRows(h), kThreads * kRowsPerThread);
    DbClose(h);
}

TEST(EngineConcurrencyTest, HandleClosedWhileAnotherThreadUsesItFailsCleanly) {
    calyra::test::TempDir dir;
    LONG h = OpenWithTable(dir.file("closing.db"));
    for (int i = 0; i < 20; ++i)
        ASSERT_EQ(DbExecute(h, u"INSERT INTO [t] ([Writer], [Text]) VALUES('0', 'x');", nullptr), 0);
    std::atomic<bool> started{false};
    std::atomic<int> successes{0};
    std::thread user([&] {
        // Runs until the handle is gone; every call must either work or
        // fail with the engine's failure result.
        for (;;) {
            LONG rows = 0, columns = 0;
            LONGLONG slot = 0;
            if (DbQuery(h, u"SELECT [Text] FROM [t]", &rows, &columns, &slot) != 0) break;
            started = true;
            while (!DbIsEOF(h, &slot)) {
                const OLECHAR* text = DbGetFieldValue(h, &slot, 0);
                ASSERT_NE(text, nullptr);
                DbNextRow(h, &slot);
            }
            DbFreeResultset(h, &slot);
            ++successes;
        }
    });
    while (!started) std::this_thread::yield();
    DbClose(h);
    user.join();
    EXPECT_EQ(DbExecute(h, u"SELECT 1;", nullptr), -1);
}

TEST(EngineConcurrencyTest, ThreadsOpeningWritingAndClosingTheirOwnFilesStayApart) {
    calyra::test::TempDir dir;
    std::atomic<int> failures{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            for (int i = 0; i < 20; ++i) {
                LONG h = OpenWithTable(dir.file("churn" + std::to_string(t) + ".db"));
                std::u16string mark = u"thread " + Num(t);
                const std::u16string insert =
                    u"INSERT INTO [t] ([Writer], [Text]) VALUES('" + Num(t) + u"', '" + mark + u"');";
                DbExecute(h, insert.c_str(), nullptr);
                LONG rows = 0, columns = 0;
                LONGLONG slot = 0;
                if (DbQuery(h, u"SELECT DISTINCT [Text] FROM [t]", &rows, &columns, &slot) != 0 || rows != 1 ||
                    std::u16string(DbGetFieldValue(h, &slot, 0)) != mark)
                    ++failures;
                DbClose(h);  // frees the open result set too
            }
        });
    }
    for (auto& t : threads) t.join();
    EXPECT_EQ(failures.load(), 0) << "a handle reached another thread's database";
}

}  // namespace
