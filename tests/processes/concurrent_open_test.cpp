// Several client processes opening one database file at the same moment:
// the first open of a new (or old-version) file creates or upgrades the
// schema, and no other process may run that step over data already written.
// Real processes, because the race is between files' views, not threads.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "processes/process_runner.h"
#include "processes/raw_database.h"
#include "support/temp_dir.h"

namespace {

using calyra::test::ChildProcess;
using calyra::test::RawColumn;

constexpr int kRounds = 6;
constexpr int kProcesses = 10;
constexpr int kProfilesEach = 5;

TEST(ConcurrentOpenTest, TenProcessesOpeningANewFileKeepEveryWrite) {
    for (int round = 0; round < kRounds; ++round) {
        calyra::test::TempDir dir;
        std::string file = dir.file("new.db").string();
        std::vector<std::unique_ptr<ChildProcess>> writers;
        for (int p = 0; p < kProcesses; ++p)
            writers.push_back(std::make_unique<ChildProcess>(std::vector<std::string>{
                CALYRA_PIM_WRITER, "add", file, std::to_string(kProfilesEach), "R" + std::to_string(p)}));
        size_t acknowledged = 0;
        for (auto& w : writers) {
            std::string line;
            while (w->ReadLine(&line)) ++acknowledged;
            EXPECT_EQ(w->Wait(), 0) << "a writer failed in round " << round;
        }
        EXPECT_EQ(acknowledged, size_t{kProcesses * kProfilesEach});
        EXPECT_EQ(RawColumn(file, "SELECT COUNT(*) FROM [tProfile];"),
                  std::vector<std::string>{std::to_string(kProcesses * kProfilesEach)})
            << "profiles were lost in round " << round;
        EXPECT_EQ(RawColumn(file, "SELECT [VerString] FROM [tVer];"), std::vector<std::string>{"101111"});
    }
}

}  // namespace
