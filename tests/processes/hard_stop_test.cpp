// Writers killed at random moments (SIGKILL: no cleanup, no flush of
// anything the process still held), many times over one file: after every
// kill the file passes SQLite's integrity check and holds every write the
// component acknowledged before the kill. And a reader beside a writer for
// a while: neither sees a spurious "locked" failure, and no write is lost.
#include <gtest/gtest.h>

#include <chrono>
#include <random>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "processes/raw_database.h"
#include "support/child_process.h"
#include "support/temp_dir.h"

namespace {

using calyra::test::ChildProcess;
using calyra::test::RawColumn;

TEST(HardStopTest, EveryAcknowledgedWriteSurvivesAKillAndTheFileStaysWhole) {
    calyra::test::TempDir dir;
    std::string file = dir.file("killed.db").string();
    std::mt19937 random(std::random_device{}());
    std::set<std::string> acknowledged;
    int kills = calyra::test::KillsPerRun(40);
    for (int k = 0; k < kills; ++k) {
        ChildProcess writer({CALYRA_PIM_WRITER, "add", file, "0", "K" + std::to_string(k)});
        ASSERT_TRUE(writer.started());
        // Let it run for a random number of acknowledged writes (0..40),
        // then kill it without warning, wherever it is.
        int writes = static_cast<int>(random() % 41);
        std::string line;
        for (int w = 0; w < writes && writer.ReadLine(&line); ++w) acknowledged.insert(line);
        std::this_thread::sleep_for(std::chrono::microseconds(random() % 3000));
        writer.Kill();
        while (writer.ReadLine(&line)) acknowledged.insert(line);  // printed before the kill: promised
        writer.Wait();

        ASSERT_EQ(RawColumn(file, "PRAGMA integrity_check;", true), std::vector<std::string>{"ok"})
            << "after kill " << k;
        const auto ids = RawColumn(file, "SELECT [ProfileID] FROM [tProfile];", true);
        const std::set<std::string> stored(ids.begin(), ids.end());
        for (const std::string& id : acknowledged)
            ASSERT_TRUE(stored.count(id)) << "acknowledged profile " << id << " lost after kill " << k;
    }
    RecordProperty("kills", kills);
    RecordProperty("acknowledged", static_cast<int>(acknowledged.size()));
}

TEST(HardStopTest, AReaderBesideAWriterSeesNoLockFailureAndLosesNoWrite) {
    calyra::test::TempDir dir;
    std::string file = dir.file("shared.db").string();
    ASSERT_EQ(ChildProcess({CALYRA_PIM_WRITER, "add", file, "1", "init"}).Finish(), 0);
    constexpr int kWrites = 2000;
    ChildProcess reader({CALYRA_PIM_WRITER, "read", file, "0"});
    std::string line;
    ASSERT_TRUE(reader.ReadLine(&line)) << "the reader did not start";
    long last = std::stol(line);
    ChildProcess writer({CALYRA_PIM_WRITER, "add", file, std::to_string(kWrites), "W"});
    int acknowledged = 0;
    while (writer.ReadLine(&line)) ++acknowledged;
    EXPECT_EQ(writer.Wait(), 0) << "the writer failed beside a reader";
    // The reader must still be running: a failure would have ended it.
    reader.Kill();
    while (reader.ReadLine(&line)) {
        long now = std::stol(line);
        EXPECT_GE(now, last) << "the reader saw a write disappear";
        last = now;
    }
    EXPECT_EQ(reader.Wait(), 128 + SIGKILL) << "the reader stopped on its own (a failed read)";
    EXPECT_EQ(acknowledged, kWrites);
    EXPECT_EQ(RawColumn(file, "SELECT COUNT(*) FROM [tProfile];"),
              std::vector<std::string>{std::to_string(kWrites + 1)});
}

}  // namespace
