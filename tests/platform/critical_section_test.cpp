// Critical sections are re-entrant and exclude other threads.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "platform/critical_section.h"
#include "platform/system_time.h"

TEST(CriticalSection, OwnerMayEnterAgainAndOthersWaitUntilFullyLeft) {
    CRITICAL_SECTION cs;
    InitializeCriticalSection(&cs);
    EnterCriticalSection(&cs);
    EnterCriticalSection(&cs);
    EXPECT_TRUE(TryEnterCriticalSection(&cs));
    LeaveCriticalSection(&cs);
    LeaveCriticalSection(&cs);
    BOOL got = TRUE;
    std::thread([&] {
        got = TryEnterCriticalSection(&cs);
        if (got) LeaveCriticalSection(&cs);
    }).join();
    EXPECT_FALSE(got) << "a thread entered while the owner still held one level";
    LeaveCriticalSection(&cs);
    DeleteCriticalSection(&cs);
}

TEST(CriticalSection, SerialisesConcurrentIncrements) {
    CRITICAL_SECTION cs;
    InitializeCriticalSection(&cs);
    long counter = 0;
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([&] {
            for (int i = 0; i < 10000; ++i) {
                calyra::CriticalSectionLock lock(cs);
                ++counter;
            }
        });
    for (auto& t : threads) t.join();
    EXPECT_EQ(counter, 40000);
    DeleteCriticalSection(&cs);
}

TEST(SystemTime, ReadsAPlausibleUtcClock) {
    SYSTEMTIME st{};
    GetSystemTime(&st);
    EXPECT_GE(st.wYear, 2024);
    EXPECT_GE(st.wMonth, 1);
    EXPECT_LE(st.wMonth, 12);
    EXPECT_LE(st.wHour, 23);
    EXPECT_LT(st.wMilliseconds, 1000);
}
