// Critical sections are re-entrant and exclude other threads.
#include <gtest/gtest.h>

#include <thread>

#include "platform/system/critical_section.h"

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
