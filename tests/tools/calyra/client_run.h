// Runs the calyra program as a person would, on a private database file,
// and captures what it printed and how it ended.
//
//   ClientRun run;                               // temp dir, empty database path
//   auto r = run({"contacts", "add", "--first-name", "Ada"});
//   EXPECT_EQ(r.status, 0) << r.err;
//   auto list = run.json({"contacts", "list"});  // adds --json, parses stdout
//
// The registry store is the test process's private one (test_main), so the
// program registers the module it finds beside itself on first use.
#pragma once

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "support/scoped_env.h"
#include "support/temp_dir.h"

namespace calyra::test {

using Json = nlohmann::ordered_json;
// A command line's words.
using Args = std::vector<std::string>;
// IDs, subjects or lines a test expects, in order.
using Texts = std::vector<std::string>;

struct ClientResult {
    int status = -1;
    std::string out;
    std::string err;
};

// Runs `command` through the shell: its standard output and exit status
// (-1 when it did not exit).
inline ClientResult Shell(const std::string& command) {
    ClientResult r;
    FILE* pipe = ::popen(command.c_str(), "r");
    if (!pipe) return r;
    char buffer[4096];
    for (size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;) r.out.append(buffer, n);
    const int status = ::pclose(pipe);
    r.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return r;
}

class ClientRun {
public:
    ClientRun() : m_db(m_dir.file("pim.db").string()) {}

    const std::string& db() const { return m_db; }
    const TempDir& dir() const { return m_dir; }

    // Writes `text` to a file of the run's folder and returns its path.
    std::string write(const std::string& name, const std::string& text) const {
        const auto path = m_dir.file(name);
        std::ofstream(path, std::ios::binary) << text;
        return path.string();
    }

    // Runs `calyra --db <file> args...`; stdin from /dev/null.
    ClientResult operator()(const Args& args) const {
        std::string command = Quote(CALYRA_CLIENT_PATH) + " --db " + Quote(m_db);
        for (const auto& a : args) command += " " + Quote(a);
        const std::string errFile = m_dir.file("stderr.txt").string();
        ClientResult r = Shell(command + " 2>" + Quote(errFile) + " </dev/null");
        r.err = FileBytes(errFile);
        return r;
    }

    // Runs with --json, expects success and returns the parsed output.
    Json json(Args args) const {
        args.insert(args.begin(), "--json");
        const std::string out = ok(args);
        auto parsed = Json::parse(out, nullptr, false);
        EXPECT_FALSE(parsed.is_discarded()) << Join(args) << " printed no JSON:\n" << out;
        return parsed;
    }

    // Writes `text` to a file, imports it into `family` ("contacts",
    // "events", "tasks") and returns the report.
    Json import(const std::string& family, const std::string& text) const {
        return json({family, "import", write(family + (family == "contacts" ? ".vcf" : ".ics"), text)});
    }

    // Runs, expects success, returns standard output.
    std::string ok(const Args& args) const {
        ClientResult r = (*this)(args);
        EXPECT_EQ(r.status, 0) << Join(args) << "\nstderr: " << r.err;
        return r.out;
    }

    static std::string Join(const Args& args) {
        std::string s = "calyra";
        for (const auto& a : args) s += " " + a;
        return s;
    }

    // `s` as one word of a shell command line.
    static std::string Quote(const std::string& s) {
        std::string q = "'";
        for (char c : s) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
        return q + "'";
    }

private:
    TempDir m_dir;
    std::string m_db;
};

// Whether `actual` has every key of `expected` with its value (objects
// recursively; arrays element by element and of the same length), so a test
// states what a client sees as one JSON literal.
inline ::testing::AssertionResult Includes(const Json& actual, const Json& expected, const std::string& path = "") {
    if (expected.is_object() && actual.is_object()) {
        for (const auto& [key, value] : expected.items()) {
            if (!actual.contains(key)) return ::testing::AssertionFailure() << path << "/" << key << " is missing";
            if (auto r = Includes(actual[key], value, path + "/" + key); !r) return r;
        }
        return ::testing::AssertionSuccess();
    }
    if (expected.is_array() && actual.is_array() && expected.size() == actual.size()) {
        for (size_t i = 0; i < expected.size(); ++i)
            if (auto r = Includes(actual[i], expected[i], path + "/" + std::to_string(i)); !r) return r;
        return ::testing::AssertionSuccess();
    }
    if (actual == expected) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << path << " is " << actual.dump() << ", expected " << expected.dump();
}

// `a` followed by `b`: a command line and the options a case adds to it.
inline Args operator+(Args a, const Args& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

// An iCalendar file of `entries` (VEVENT and VTODO blocks).
inline std::string Ics(const std::string& entries) {
    return "BEGIN:VCALENDAR\r\nVERSION:2.0\r\n" + entries + "END:VCALENDAR\r\n";
}

// The path of tests/data/<name> ("vcard/apple_30.vcf").
inline std::string DataFile(const std::string& name) {
    return (std::filesystem::path(CALYRA_TEST_DATA_DIR) / name).string();
}

// Whether `text` holds `words` (or, with `held` false, does not); a
// failure shows the whole text.
inline ::testing::AssertionResult Has(const std::string& text, const std::string& words, bool held = true) {
    if ((text.find(words) != std::string::npos) == held) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "\"" << words << (held ? "\" missing in:\n" : "\" found in:\n") << text;
}

// A database with one profile, so commands need no --profile; add and show
// work on `family` unless told another.
struct OneProfile : ClientRun {
    explicit OneProfile(std::string family = "contacts") : family(std::move(family)) {
        ok({"profiles", "add", "Phone"});
    }
    // Runs `of add args...` (of the run's family when not named); the new
    // record's ID.
    std::string add(const std::string& of, const Args& args) {
        const auto r = json(Args{of, "add"} + args);
        return r.empty() ? "" : r.begin().value().get<std::string>();
    }
    std::string add(const Args& args) { return add(family, args); }
    Json show(const std::string& id) { return json({family, "show", id}); }
    // The `key` of each row a list command prints, in its order.
    Texts ids(const Args& args, const std::string& key = "contact_id") {
        Texts out;
        for (const auto& row : json(args)) out.push_back(row[key]);
        return out;
    }
    std::string family;  // contacts, events or tasks
};

// Each command line fails with `status` (2: bad command line, 1: refused by
// the data) and one "calyra: ..." line on standard error that has `words`.
inline void ExpectFails(const ClientRun& run, int status, const std::vector<Args>& lines,
                        const std::string& words = "") {
    for (const auto& args : lines) {
        const ClientResult r = run(args);
        EXPECT_EQ(r.status, status) << ClientRun::Join(args) << "\n" << r.err;
        // The first run in a test process registers the module and says so.
        std::string err = r.err;
        if (err.rfind("calyra: registered ", 0) == 0) err.erase(0, err.find('\n') + 1);
        EXPECT_TRUE(err.rfind("calyra: ", 0) == 0 && err.find(words) != std::string::npos &&
                    std::count(err.begin(), err.end(), '\n') == 1)
            << ClientRun::Join(args) << " printed, not one line \"calyra: ..." << words << "...\":\n"
            << r.err;
    }
}

// One command line of a scenario and what it must give: its exit status
// and words its standard output holds (on success) or its one error line
// holds (on failure).
struct Step {
    Args args;
    int status = 0;
    std::string says = "";
};

// Runs the steps in order on `run`, each failure named by its command line.
inline void ExpectSteps(const ClientRun& run, const std::vector<Step>& steps) {
    for (const auto& step : steps) {
        SCOPED_TRACE(ClientRun::Join(step.args));
        if (step.status != 0) {
            ExpectFails(run, step.status, {step.args}, step.says);
            continue;
        }
        EXPECT_TRUE(Has(run.ok(step.args), step.says));
    }
}

// $TZ: the client's zone when neither --tz nor the config file names one.
struct ScopedTz : ScopedEnv {
    explicit ScopedTz(const char* zone) : ScopedEnv("TZ", zone) {}
};

inline Json operator""_json(const char* text, size_t size) { return Json::parse(text, text + size); }

}  // namespace calyra::test
