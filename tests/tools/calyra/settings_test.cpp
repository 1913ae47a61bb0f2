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

// Each setting comes from its strongest source; unusable values and broken
// files are refused naming the key or the line.
TEST(Settings, EachSettingComesFromItsStrongestSourceAndBadOnesAreRefused) {
    ClientRun run;
    ScopedEnv config{"XDG_CONFIG_HOME", run.dir().path().c_str()};
    ScopedTz noTz{nullptr};
    const std::string file = (run.dir().path() / "calyra" / "config.toml").string();
    // setting -> "value (source)", from `calyra --json config`.
    const auto shown = [&run] {
        std::map<std::string, std::string> out;
        for (const auto& row : run.json({"config"}))
            out[row["setting"]] = (row["value"].is_null() ? "" : row["value"].get<std::string>()) + " (" +
                                  row["source"].get<std::string>() + ")";
        return out;
    };
    ExpectFails(run, 2, {{"config", "set", "week_start", "tue"}}, "week_start \"tue\" is not mon or sun");
    ExpectFails(run, 2, {{"config", "set", "time_zone", "Mars/Base"}}, "time_zone \"Mars/Base\" is not a zone name");
    ExpectFails(run, 2, {{"config", "set", "colour", "red"}}, "unknown setting \"colour\"");
    ExpectFails(run, 2, {{"config", "set", "profile", ""}}, "config unset profile");
    EXPECT_FALSE(std::filesystem::exists(file));

    EXPECT_EQ(shown()["week_start"], "mon (default)");
    ::setenv("TZ", "Asia/Kolkata", 1);
    EXPECT_EQ(shown()["time_zone"], "Asia/Kolkata ($TZ)");
    run.ok({"config", "set", "time_zone", "europe/berlin"});
    run.ok({"config", "set", "week_start", "sun"});
    const auto set = shown();
    EXPECT_EQ(set.at("time_zone"), "Europe/Berlin (config file " + file + ")");
    EXPECT_EQ(set.at("week_start"), "sun (config file " + file + ")");
    EXPECT_EQ(set.at("database"), run.db() + " (--db)");
    run.ok({"config", "unset", "week_start"});
    EXPECT_EQ(shown()["week_start"], "mon (default)");

    const std::pair<const char*, const char*> files[] = {
        {"tz = \"Europe/Berlin\"\n", "unknown setting \"tz\""},
        {"week_start = \n", "(line 1, column"},
        {"week_start = 1\n", "week_start must be a quoted text"},
        {"date_format = \"ydm\"\n", "date_format \"ydm\" is not iso"},
    };
    for (const auto& [text, says] : files) {
        std::ofstream(file) << text;
        const auto r = run({"config"});
        EXPECT_EQ(r.status, 1) << text;
        EXPECT_TRUE(Has(r.err, file));
        EXPECT_TRUE(Has(r.err, says));
    }
}

}  // namespace
}  // namespace calyra::test
