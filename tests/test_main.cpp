// Test entry point shared by every test program.
//
// Each test process gets a private window desktop, so trace receivers that
// tests create never see texts from other test processes running at the
// same time (and never reach a trace viewer a developer has open).
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include <unistd.h>

int main(int argc, char** argv) {
    std::string desktop = "calyra-test-" + std::to_string(getpid());
    setenv("CALYRA_DESKTOP", desktop.c_str(), 1);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
