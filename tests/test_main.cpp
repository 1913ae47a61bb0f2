// Test entry point shared by every test program.
//
// Each test process gets a private window desktop, so trace receivers that
// tests create never see texts from other test processes running at the
// same time (and never reach a trace viewer a developer has open), and a
// private registry store, so nothing a test registers reaches the
// developer's own.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#ifdef _WIN32
// Windows tests use the system's own registry and desktop, prepared by
// scripts/test-windows.sh in a private Wine prefix.
int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
#else
#include <unistd.h>

int main(int argc, char** argv) {
    std::string tag = "calyra-test-" + std::to_string(getpid());
    setenv("CALYRA_DESKTOP", tag.c_str(), 1);
    std::string registry = (std::filesystem::temp_directory_path() / (tag + ".registry")).string();
    setenv("CALYRA_REGISTRY", registry.c_str(), 1);
    ::testing::InitGoogleTest(&argc, argv);
    int result = RUN_ALL_TESTS();
    std::remove(registry.c_str());
    std::remove((registry + ".lock").c_str());
    return result;
}
#endif
