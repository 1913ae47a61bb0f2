// The calyra program with real data, as a new user meets it: files it must
// not touch are refused byte for byte unchanged, commands that only read
// create nothing, failed writes exit non-zero with their reason, long texts
// are refused or come back whole, and deletes leave no orphans.
#include <gtest/gtest.h>

#include <sqlite3.h>

#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "processes/raw_database.h"
#include "support/child_process.h"
#include "tools/calyra/client_run.h"

namespace calyra::test {
namespace {

void RawExecute(const std::string& file, const std::string& sql) {
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(file.c_str(), &db), SQLITE_OK);
    EXPECT_EQ(sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr), SQLITE_OK) << sql << ": " << sqlite3_errmsg(db);
    sqlite3_close(db);
}

// A calyra file with one profile "P" and one contact.
void MakeCalyraFile(const ClientRun& run, const std::string& file) {
    run.ok({"--db", file, "profiles", "add", "P"});
    run.ok({"--db", file, "contacts", "add", "--first-name", "Ada"});
}

TEST(ClientSafety, FilesTheComponentWouldWipeAreRefusedUntouchedUntilReset) {
    ClientRun run;
    struct Case {
        const char* name;
        void (*make)(const ClientRun&, const std::string&);
        const char* words;
    } cases[] = {
        {"foreign.db",
         [](const ClientRun&, const std::string& f) {
             RawExecute(f, "CREATE TABLE notes(x); INSERT INTO notes VALUES('mine');");
         },
         "another program's database"},
        {"future.db",
         [](const ClientRun& r, const std::string& f) {
             MakeCalyraFile(r, f);
             RawExecute(f, "UPDATE [tVer] SET [VerString] = '999999';");
         },
         "schema version \"999999\""},
        {"garbage.db", [](const ClientRun&, const std::string& f) { std::ofstream(f) << "not a database at all"; },
         "it is not an SQLite database"},
        {"folder.db", [](const ClientRun&, const std::string& f) { std::filesystem::create_directory(f); },
         "is a directory"},
    };
    for (const Case& c : cases) {
        const std::string file = run.dir().file(c.name).string();
        c.make(run, file);
        const std::string before = FileBytes(file);
        ExpectFails(run, 1,
                    {Args{"--db", file, "info"}, Args{"--db", file, "contacts", "list"},
                     Args{"--db", file, "profiles", "add", "Q"}},
                    c.words);
        EXPECT_TRUE(FileBytes(file) == before) << c.name << " was changed by a refused command";
        if (std::filesystem::is_directory(file)) {
            ExpectFails(run, 1, {{"init", file, "--reset", "--yes"}}, "deletes only files");
            continue;
        }
        ExpectFails(run, 2, {{"init", file, "--reset"}}, "--yes");  // stdin is no terminal: no question asked
        EXPECT_TRUE(FileBytes(file) == before) << c.name << " was changed by an unconfirmed reset";
        run.ok({"init", file, "--reset", "--yes"});
        EXPECT_EQ(run.json({"--db", file, "info"})["schema_version"], "101111") << c.name;
    }

    // The oldest version loses its events on upgrade: a copy is kept first.
    const std::string old = run.dir().file("old.db").string();
    MakeCalyraFile(run, old);
    RawExecute(old, "UPDATE [tVer] SET [VerString] = '090925';");
    const std::string before = FileBytes(old);
    const ClientResult upgraded = run({"--db", old, "contacts", "list"});
    EXPECT_EQ(upgraded.status, 0) << upgraded.err;
    EXPECT_NE(upgraded.err.find("drops every event"), std::string::npos) << upgraded.err;
    EXPECT_TRUE(FileBytes(old + ".090925.bak") == before) << "the backup is not the file as it was";
    EXPECT_EQ(RawColumn(old, "SELECT [VerString] FROM [tVer];"), std::vector<std::string>{"101111"});
}

TEST(ClientSafety, TenCalyraProcessesStartingOnANewFileAllSucceed) {
    // The look before opening must wait out another process's schema work
    // rather than take the half-made file for a foreign one. Their lock
    // files go with them: a temporary folder does not keep one
    // per database ever opened.
    for (int round = 0; round < 6; ++round) {
        TempDir dir;
        const std::string file = dir.file("new.db").string();
        const auto tmp = dir.file("tmp");
        std::filesystem::create_directory(tmp);
        std::vector<std::unique_ptr<ChildProcess>> clients;
        {
            ScopedEnv tmpdir("TMPDIR", tmp.c_str());
            for (int p = 0; p < 10; ++p)
                clients.push_back(std::make_unique<ChildProcess>(std::vector<std::string>{
                    CALYRA_CLIENT_PATH, "--db", file, "profiles", "add", "P" + std::to_string(p)}));
        }
        for (auto& c : clients) EXPECT_EQ(c->Wait(), 0) << "a client failed in round " << round;
        EXPECT_EQ(RawColumn(file, "SELECT COUNT(*) FROM [tProfile];"), std::vector<std::string>{"10"});
        EXPECT_TRUE(std::filesystem::is_empty(tmp)) << "a lock file was left behind in round " << round;
    }
}

TEST(ClientSafety, CommandsThatOnlyReadCreateNothingAndDbMustNameAFile) {
    ClientRun run;
    // Commands that only read.
    ExpectFails(run, 1,
                {Args{"info"}, Args{"profiles", "list"}, Args{"contacts", "list"}, Args{"contacts", "show", "1"},
                 Args{"contacts", "export"}, Args{"events", "list"}, Args{"events", "month"}, Args{"events", "export"},
                 Args{"tasks", "list"}, Args{"tasks", "export"}, Args{"sql", "SELECT 1"}, Args{"plays", "top"}},
                "no such file");
    EXPECT_FALSE(std::filesystem::exists(run.db())) << "a command that only reads created the file";

    ExpectFails(run, 2, {{"--db", "", "info"}, {"--db", "", "profiles", "add", "P"}}, "--db");
    const auto missing = run.dir().file("no-such-folder");
    ExpectFails(run, 1, {{"--db", (missing / "x.db").string(), "profiles", "add", "P"}}, "no such directory");
    EXPECT_FALSE(std::filesystem::exists(missing)) << "--db created a folder";
}

TEST(ClientSafety, FailedWritesExitNonZeroWithTheReason) {
    OneProfile run;
    run.ok({"contacts", "add", "--first-name", "Ada"});
    const std::pair<const char*, const char*> writes[] = {
        {"contacts export --out /dev/full", "/dev/null"},
        {"tasks export --out /dev/full", "/dev/null"},
        {"contacts export", "/dev/full"},
        {"events export --out -", "/dev/full"},
        {"contacts list", "/dev/full"},
    };
    const std::string err = run.dir().file("err.txt").string();
    for (const auto& [args, out] : writes) {
        const std::string line = CALYRA_CLIENT_PATH " --db '" + run.db() + "' " + args + " > " + out + " 2>" + err;
        EXPECT_EQ(Shell(line).status, 1) << args << " > " << out << " exited 0";
        EXPECT_NE(FileBytes(err).find("No space left on device"), std::string::npos) << args;
    }
    // A file another program holds locked: the failure says so (after the engine's wait).
    sqlite3* holder = nullptr;
    ASSERT_EQ(sqlite3_open(run.db().c_str(), &holder), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(holder, "BEGIN EXCLUSIVE;", nullptr, nullptr, nullptr), SQLITE_OK);
    ExpectFails(run, 1, {{"contacts", "add", "--first-name", "Bo"}}, "locked by another program");
    sqlite3_close(holder);
    EXPECT_NE(run.ok({"contacts", "export", "--out", "-"}).find("BEGIN:VCARD"), std::string::npos);
    EXPECT_FALSE(std::filesystem::exists("-")) << "--out - wrote a file named -";
    std::filesystem::remove("-");
}

TEST(ClientSafety, LongTextsAreRefusedOrComeBackWholeAndEditsNeverWriteBackACutText) {
    OneProfile run;
    const std::string tooLong(3000, 'x');
    ExpectFails(run, 2,
                {Args{"events", "add", "--subject", tooLong, "--start", "2024-01-01"},
                 Args{"tasks", "add", "--subject", tooLong}, Args{"categories", "add", tooLong},
                 Args{"groups", "add", tooLong}, Args{"profiles", "edit", "Phone", "--model", tooLong}},
                "at most 2047");
    run.ok({"tasks", "add", "--subject", "t"});

    // Texts stored by another program read back cut: no edit may store the cut text.
    run.ok({"events", "add", "--subject", "s", "--start", "2024-01-01"});
    run.ok({"categories", "add", "C"});
    run.ok({"contacts", "add", "--first-name", "F"});
    run.ok({"groups", "add", "G"});
    const std::string cut = "'" + tooLong + "'";
    RawExecute(run.db(), "UPDATE [tEvent] SET [Subject] = " + cut + "; UPDATE [tTask] SET [Subject] = " + cut +
                             "; UPDATE [tEventCategory] SET [EventCategoryName] = " + cut +
                             "; UPDATE [tContact] SET [FirstName] = " + cut +
                             "; UPDATE [tContactGroup] SET [ContactGroupName] = " + cut +
                             "; UPDATE [tProfile] SET [Model] = " + cut + ";");
    ExpectFails(
        run, 1,
        {Args{"events", "edit", "1", "--location", "here"}, Args{"tasks", "edit", "1", "--task-priority", "low"},
         Args{"tasks", "done", "1"}, Args{"categories", "edit", "1", "--color", "1"}, Args{"categories", "select", "1"},
         Args{"contacts", "edit", "1", "--job-title", "x"}, Args{"groups", "edit", "1", "--to-be-synced", "yes"},
         Args{"profiles", "edit", "1", "--imei", "1"}},
        "longer than calyra can read back whole");
    EXPECT_EQ(RawColumn(run.db(),
                        "SELECT SUM(length(x)) FROM (SELECT [Subject] x FROM [tEvent] UNION ALL SELECT "
                        "[Subject] FROM [tTask] UNION ALL SELECT [EventCategoryName] FROM [tEventCategory] "
                        "UNION ALL SELECT [FirstName] FROM [tContact] UNION ALL SELECT [ContactGroupName] "
                        "FROM [tContactGroup] UNION ALL SELECT [Model] FROM [tProfile]);"),
              std::vector<std::string>{"18000"})
        << "a refused edit wrote a cut text";
    run.ok({"events", "edit", "1", "--subject", "short"});
    EXPECT_EQ(RawColumn(run.db(), "SELECT [Subject] FROM [tEvent];"), std::vector<std::string>{"short"});
}

TEST(ClientSafety, DeletesLeaveNoOrphansAndTitlesShowOnlyWhenChosen) {
    ClientRun run;
    run.ok({"demo"});  // profile 1 with something in every table a profile owns
    run.ok({"profiles", "add", "Other"});
    run.ok({"--profile", "Other", "contacts", "add", "--first-name", "Bo", "--phone", "1", "--title", "mrs"});
    // The demo's contacts were given no title, and their records read as Mrs.
    EXPECT_EQ(run.ok({"--profile", "1", "contacts", "export"}).find("Mrs."), std::string::npos);
    EXPECT_EQ(run.json({"--profile", "1", "contacts", "show", "1"})["title"], nullptr);
    EXPECT_NE(run.ok({"--profile", "Other", "contacts", "export"}).find("N:;Bo;;Mrs.;"), std::string::npos);

    const auto category =
        RawColumn(run.db(), "SELECT MIN([EventCategoryID]) FROM [tEvent] WHERE [EventCategoryID] != '';");
    ASSERT_EQ(category.size(), 1u);
    run.ok({"--profile", "1", "categories", "rm", category[0]});
    EXPECT_EQ(RawColumn(run.db(), "SELECT COUNT(*) FROM [tEvent] WHERE [EventCategoryID] = '" + category[0] + "';"),
              std::vector<std::string>{"0"})
        << "an event still points at the deleted category";

    ExpectFails(run, 2, {{"profiles", "rm", "1"}}, "--yes");
    EXPECT_EQ(RawColumn(run.db(), "SELECT COUNT(*) FROM [tContact] WHERE [ProfileID] = 1;"),
              std::vector<std::string>{"6"});
    run.ok({"profiles", "rm", "1", "--yes"});
    for (const auto& table :
         RawColumn(run.db(), "SELECT [name] FROM [sqlite_master] WHERE [sql] LIKE '%[ProfileID]%';"))
        EXPECT_EQ(RawColumn(run.db(), "SELECT COUNT(*) FROM [" + table + "] WHERE [ProfileID] = 1;"),
                  std::vector<std::string>{"0"})
            << table << " kept rows of the deleted profile";
    const char* owned =
        "SELECT (SELECT COUNT(*) FROM [tPhoneNumber]) + (SELECT COUNT(*) FROM [tAddress]) + (SELECT "
        "COUNT(*) FROM [tEmail]) + (SELECT COUNT(*) FROM [tWebUrl]) + (SELECT COUNT(*) FROM [tIM]) + "
        "(SELECT COUNT(*) FROM [tContactGroupMap]) + (SELECT COUNT(*) FROM [tContact]);";
    EXPECT_EQ(RawColumn(run.db(), owned), std::vector<std::string>{"2"})
        << "orphans left, or the other profile lost rows";
}

}  // namespace
}  // namespace calyra::test
