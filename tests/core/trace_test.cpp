// Trace texts reach only a receiver that is there when they are sent, on
// this desktop. The exact bytes are checked where the connection traces; a
// receiver opened after another closed hears from its first text on, as
// each access class's lifetime traces in every_interface_test.cpp show.
#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "core/trace.h"
#include "platform/system/window.h"
#include "support/trace_recorder.h"

namespace {

using calyra::SendTrace;
using calyra::test::TraceRecorder;

TEST(Trace, WithoutReceiverNothingIsSentAndAReceiverOpenedLaterHearsTheNextText) {
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

    TraceRecorder opened;
    EXPECT_TRUE(SendTrace("while open")) << "a receiver opened after texts went nowhere is not looked for";
    EXPECT_EQ(opened.texts(), std::vector<std::string>{"while open"});
}

}  // namespace
