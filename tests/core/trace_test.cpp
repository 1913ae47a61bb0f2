// Trace texts reach a window titled "Receiver" byte for byte, and cost
// nothing but a look-up when there is none.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "core/trace.h"
#include "platform/window.h"
#include "support/trace_recorder.h"

namespace {

using calyra::SendTrace;
using calyra::test::TraceRecorder;

TEST(Trace, ReceiverGetsExactlyTheTextBytesWithDataZero) {
    const char* const texts[] = {
        "CPimDbAccess::OpenPimDatabase.[ENTER]",  // 37 bytes
        "CPimDbAccess::OpenPimDatabase.[FAIL]",
        "",
    };
    TraceRecorder receiver;
    for (const char* text : texts) EXPECT_TRUE(SendTrace(text)) << "no receiver found for \"" << text << "\"";

    std::vector<std::string> got = receiver.texts();
    ASSERT_EQ(got.size(), std::size(texts));
    // The recorder keeps cbData bytes, so a different length or a sent
    // terminating NUL shows as a mismatch here.
    for (size_t i = 0; i < got.size(); ++i) {
        EXPECT_EQ(got[i].size(), std::strlen(texts[i])) << "cbData of \"" << texts[i] << "\"";
        EXPECT_EQ(got[i], texts[i]);
    }
    EXPECT_EQ(got[0].size(), 37u);
    for (ULONG_PTR dwData : receiver.dwData()) EXPECT_EQ(dwData, 0u);
}

TEST(Trace, WithoutReceiverNothingIsSent) {
    EXPECT_FALSE(SendTrace("CPimManagement::CPimManagement.[ENTER]"));

    // The receiver of another desktop hears nothing.
    std::string desktop = std::getenv("CALYRA_DESKTOP");
    auto otherDesktop = [&] {
        setenv("CALYRA_DESKTOP", (desktop + "-elsewhere").c_str(), 1);
        auto recorder = std::make_unique<TraceRecorder>();
        setenv("CALYRA_DESKTOP", desktop.c_str(), 1);
        return recorder;
    }();
    EXPECT_FALSE(SendTrace("CPimManagement::FinalConstruct.[ENTER]"));
    EXPECT_TRUE(otherDesktop->texts().empty()) << "a trace reached the receiver of another desktop";
}

TEST(Trace, ReceiverOpenedOrClosedLaterCountsFromTheNextText) {
    EXPECT_FALSE(SendTrace("before"));
    {
        TraceRecorder receiver;
        EXPECT_TRUE(SendTrace("while open"));
        EXPECT_EQ(receiver.texts(), std::vector<std::string>{"while open"});
    }
    EXPECT_FALSE(SendTrace("after closing"));
    TraceRecorder reopened;
    EXPECT_TRUE(SendTrace("after reopening"));
    EXPECT_EQ(reopened.texts(), std::vector<std::string>{"after reopening"});
}

TEST(Trace, ManyThreadsTraceWhileTheReceiverComesAndGoes) {
    constexpr int kThreads = 4;
    std::atomic<bool> stop{false};
    std::vector<std::thread> tracers;
    for (int t = 0; t < kThreads; ++t)
        tracers.emplace_back([&] {
            while (!stop) SendTrace("CContactAccess::CContactAccess.[ENTER]");
        });
    size_t received = 0;
    for (int round = 0; round < 5; ++round) {
        TraceRecorder receiver;
        while (receiver.texts().size() < 10) std::this_thread::yield();
        // Every text a receiver takes arrives whole.
        for (const std::string& text : receiver.texts()) EXPECT_EQ(text, "CContactAccess::CContactAccess.[ENTER]");
        received += receiver.texts().size();
    }
    stop = true;
    for (auto& t : tracers) t.join();
    EXPECT_GE(received, 50u);
}

}  // namespace
