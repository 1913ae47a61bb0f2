// Test entry point shared by every test program.
//
// Each test process gets a private window desktop, so trace receivers that
// tests create never see texts from other test processes running at the
// same time (and never reach a trace viewer a developer has open), and a
// private registry store, so nothing a test registers reaches the
// developer's own. The client's config file is looked for in a folder of the
// test case's own, so a developer's settings never change what a test sees,
// and what one case sets (`profiles use`) never reaches the next when a
// program runs all its cases in one process.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <utility>

#ifdef _WIN32
// Windows tests use the system's own registry and desktop, prepared by
// scripts/test-windows.sh in a private Wine prefix.
int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
#else
#include <unistd.h>

namespace {

class ConfigPerCase : public ::testing::EmptyTestEventListener {
public:
    explicit ConfigPerCase(std::filesystem::path root) : m_root(std::move(root)) {}
    void OnTestStart(const ::testing::TestInfo& info) override {
        const auto folder = m_root / (std::string(info.test_suite_name()) + "." + info.name());
        setenv("XDG_CONFIG_HOME", folder.c_str(), 1);
    }

private:
    std::filesystem::path m_root;
};

}  // namespace

int main(int argc, char** argv) {
    std::string tag = "calyra-test-" + std::to_string(getpid());
    setenv("CALYRA_DESKTOP", tag.c_str(), 1);
    std::string registry = (std::filesystem::temp_directory_path() / (tag + ".registry")).string();
    setenv("CALYRA_REGISTRY", registry.c_str(), 1);
    const auto config = std::filesystem::temp_directory_path() / (tag + ".config");
    setenv("XDG_CONFIG_HOME", config.c_str(), 1);
    unsetenv("CALYRA_DB");
    ::testing::InitGoogleTest(&argc, argv);
    ::testing::UnitTest::GetInstance()->listeners().Append(new ConfigPerCase(config));
    int result = RUN_ALL_TESTS();
    std::remove(registry.c_str());
    std::remove((registry + ".lock").c_str());
    std::error_code ec;
    std::filesystem::remove_all(config, ec);
    return result;
}
#endif
