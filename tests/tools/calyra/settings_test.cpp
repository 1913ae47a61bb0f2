// The client's settings as a person meets them through `calyra config`:
// defaults, the config file, $TZ and the command line in their order, and
// every value the file or `config set` must refuse.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "client_run.h"

namespace calyra::test {
namespace {

class Settings : public ::testing::Test {
protected:
    // setting -> "value (source)", from `calyra --json config`.
    std::map<std::string, std::string> Shown() {
        std::map<std::string, std::string> out;
        for (const auto& row : run.json({"config"}))
            out[row["setting"]] = (row["value"].is_null() ? "" : row["value"].get<std::string>()) + " (" +
                                  row["source"].get<std::string>() + ")";
        return out;
    }
    std::filesystem::path File() const { return run.dir().path() / "calyra" / "config.toml"; }

    ClientRun run;
    ScopedEnv config{"XDG_CONFIG_HOME", run.dir().path().c_str()};
    ScopedTz noTz{nullptr};
};

TEST_F(Settings, EachSettingComesFromItsStrongestSource) {
    EXPECT_EQ(Shown()["week_start"], "mon (default)");
    ::setenv("TZ", "Asia/Kolkata", 1);
    EXPECT_EQ(Shown()["time_zone"], "Asia/Kolkata ($TZ)");
    run.ok({"config", "set", "time_zone", "europe/berlin"});
    run.ok({"config", "set", "week_start", "sun"});
    const auto shown = Shown();
    EXPECT_EQ(shown.at("time_zone"), "Europe/Berlin (config file " + File().string() + ")");
    EXPECT_EQ(shown.at("week_start"), "sun (config file " + File().string() + ")");
    EXPECT_EQ(shown.at("database"), run.db() + " (--db)");
    run.ok({"config", "unset", "week_start"});
    EXPECT_EQ(Shown()["week_start"], "mon (default)");
}

TEST_F(Settings, UnusableValuesAndBrokenFilesAreRefusedNamingTheKeyOrLine) {
    ExpectFails(run, 2, {{"config", "set", "week_start", "tue"}}, "week_start \"tue\" is not mon or sun");
    ExpectFails(run, 2, {{"config", "set", "time_zone", "Mars/Base"}}, "time_zone \"Mars/Base\" is not a zone name");
    ExpectFails(run, 2, {{"config", "set", "colour", "red"}}, "unknown setting \"colour\"");
    ExpectFails(run, 2, {{"config", "set", "profile", ""}}, "config unset profile");
    EXPECT_FALSE(std::filesystem::exists(File()));

    const std::pair<const char*, const char*> files[] = {
        {"tz = \"Europe/Berlin\"\n", "unknown setting \"tz\""},
        {"week_start = \n", "(line 1, column"},
        {"week_start = 1\n", "week_start must be a quoted text"},
        {"date_format = \"ydm\"\n", "date_format \"ydm\" is not iso"},
    };
    std::filesystem::create_directories(File().parent_path());
    for (const auto& [text, says] : files) {
        std::ofstream(File()) << text;
        const auto r = run({"config"});
        EXPECT_EQ(r.status, 1) << text;
        EXPECT_TRUE(Has(r.err, File().string()));
        EXPECT_TRUE(Has(r.err, says));
    }
}

}  // namespace
}  // namespace calyra::test
