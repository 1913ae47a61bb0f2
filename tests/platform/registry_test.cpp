// The registry store: its text form, atomic and concurrent updates, bad
// files. The Win32 key calls over it are a convenience no caller uses.
#include "platform/system/registry.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include "platform/bstr.h"
#include "support/private_registry.h"

namespace calyra {
namespace {

using test::ScopedEnv;

// Every test gets a registry file of its own.
class RegistryTest : public ::testing::Test, protected test::PrivateRegistry {};

// ---- Text form ------------------------------------------------------------------

// Every text is escaped so that it survives on one line; the file reads
// back as the tree it was written from.
TEST(RegistryText, RoundTripKeepsKeysValuesNameCaseAndEveryText) {
    struct Case {
        std::u16string text;
        std::string written;  // the quoted form in the file
    };
    const Case escapes[] = {
        {u"plain", "\"plain\""},
        {u"say \"hi\"", "\"say \\\"hi\\\"\""},
        {u"C:\\dir\\file", "\"C:\\\\dir\\\\file\""},
        {u"two\nlines\r", "\"two\\u000Alines\\u000D\""},
        {std::u16string(u"nul\0inside", 10), "\"nul\\u0000inside\""},
        {u"del\x7f", "\"del\\u007F\""},
        {u"\U0001F600", "\"\xF0\x9F\x98\x80\""},
        {u"lone \xD800 high", "\"lone \\uD800 high\""},
        {u"\\u0041 stays text", "\"\\\\u0041 stays text\""},
        {u"", "\"\""},
    };
    RegistryKey root(u"");
    RegistryKey& server = root.Create(u"CLSID").Create(u"{7039E61B-CC64-46EC-BC41-35A0502E16E3}");
    server.SetValue(u"", u"PimDbAccess Class");
    server.Create(u"InprocServer32").SetValue(u"ThreadingModel", u"Free");
    server.Create(u"Programmable");                         // an empty key must survive too
    root.Create(u"Calyra.PimDbAccess").SetValue(u"", u"");  // an empty default value is still a value
    root.SetValue(u"RootValue", u"at the top");
    for (const Case& c : escapes) root.Create(u"K").SetValue(c.text, c.text);

    std::string text = FormatRegistryText(root);
    for (const Case& c : escapes) EXPECT_NE(text.find(c.written), std::string::npos) << c.written;
    RegistryKey parsed(u"");
    std::string error;
    ASSERT_TRUE(ParseRegistryText(text, &parsed, &error)) << error << "\n" << text;
    EXPECT_TRUE(parsed == root) << text;
    EXPECT_EQ(FormatRegistryText(parsed), text);
    ASSERT_NE(parsed.Find(u"clsid"), nullptr);
    EXPECT_EQ(parsed.Find(u"clsid")->name(), u"CLSID");
    EXPECT_NE(parsed.Find(u"Calyra.PimDbAccess")->Value(u""), nullptr);
    EXPECT_EQ(parsed.Find(u"Calyra.PimDbAccess")->Find(u"x"), nullptr);

    // A file edited by hand: CRLF line ends, a comment, a parent key without a line of its own.
    RegistryKey edited(u"");
    ASSERT_TRUE(ParseRegistryText("Calyra Registry 1\r\n; by hand\r\n[A\\B]\r\n@=\"v\"\r\n", &edited, &error)) << error;
    ASSERT_NE(edited.Find(u"a"), nullptr);
    EXPECT_EQ(*edited.Find(u"a")->Find(u"b")->Value(u""), u"v");
}

TEST(RegistryText, MalformedFilesAreRefusedWithTheLine) {
    const std::string magic = "Calyra Registry 1\n";
    struct Case {
        std::string text;
        int line;
    };
    for (const Case& c :
         {Case{"REGEDIT4\n[CLSID]\n", 1}, Case{magic + "[CLSID\n", 2}, Case{magic + "[]\n", 2},
          Case{magic + "[A\\\\B]\n", 2}, Case{magic + "[A]\nhello\n", 3}, Case{magic + "[A]\n\"v\"=\"no end\n", 3},
          Case{magic + "[A]\n\"v\"=\"bad \\q escape\"\n", 3}, Case{magic + "[A]\n\"v\"=\"short \\u12\"\n", 3},
          Case{magic + "[A]\n\"v\"=\"x\" trailing\n", 3}, Case{magic + "[A]\n\"\"=\"x\"\n", 3},
          Case{magic + "[A]\n\"v\"=\"x\"\n\"V\"=\"y\"\n", 4}, Case{magic + "[A]\n[a]\n", 3},
          Case{magic + "[A]\n@=\"overlong \xC0\xAF\"\n", 3}, Case{magic + "[A]\n@=\"raw\ttab\"\n", 3},
          Case{magic + "[A\x01]\n", 2}}) {
        RegistryKey root(u"");
        std::string error;
        EXPECT_FALSE(ParseRegistryText(c.text, &root, &error)) << c.text;
        EXPECT_NE(error.find("line " + std::to_string(c.line) + ":"), std::string::npos)
            << "text:\n"
            << c.text << "\nerror: " << error;
    }
}

TEST(RegistryText, KeyNamesFollowTheWindowsRules) {
    for (const std::u16string& name : {std::u16string(u"{7039E61B-CC64-46EC-BC41-35A0502E16E3}"),
                                       std::u16string(u"Calyra.DLL"), std::u16string(kMaxKeyNameUnits, u'k')})
        EXPECT_TRUE(IsValidKeyName(name)) << Utf16ToUtf8(name);
    for (const std::u16string& name :
         {std::u16string(kMaxKeyNameUnits + 1, u'k'), std::u16string(u""), std::u16string(u"a\\b"),
          std::u16string(u"line\nbreak"), std::u16string(u"lone\xD800")})
        EXPECT_FALSE(IsValidKeyName(name)) << Utf16ToUtf8(name);
}

// ---- The store -------------------------------------------------------------------

TEST_F(RegistryTest, MissingFileIsAnEmptyRegistryAndOnlyAnUpdateCreatesIt) {
    std::shared_ptr<const RegistryKey> root;
    ASSERT_EQ(ReadRegistry(&root), ERROR_SUCCESS);
    EXPECT_FALSE(root->HasSubkeys());
    EXPECT_EQ(Apply([](RegistryKey&) {}), ERROR_SUCCESS);
    EXPECT_FALSE(std::filesystem::exists(file()));

    std::string nested = (dir().path() / "a" / "b" / "registry").string();
    ScopedEnv env("CALYRA_REGISTRY", nested.c_str());
    ASSERT_EQ(Apply([](RegistryKey& root) { root.Create(u"AppID"); }), ERROR_SUCCESS);
    EXPECT_EQ(test::FileBytes(nested), "Calyra Registry 1\n\n[AppID]\n");
}

// An update writes a new file and renames it over the old one: a reader
// that opened the old file keeps reading the complete old file. A failed
// update writes nothing, and leaves nothing but the file and its lock file.
TEST_F(RegistryTest, UpdateReplacesTheFileWholeOrNotAtAll) {
    ASSERT_EQ(Apply([](RegistryKey& root) { root.Create(u"Old").SetValue(u"", std::u16string(5000, u'o')); }),
              ERROR_SUCCESS);
    std::string before = text();
    EXPECT_EQ(UpdateRegistry([](RegistryKey& root) {
                  root.Remove(u"Old");
                  return ERROR_ACCESS_DENIED;
              }),
              ERROR_ACCESS_DENIED);
    EXPECT_EQ(text(), before);
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(dir().path()))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"registry", "registry.lock"}));

    int fd = ::open(file().c_str(), O_RDONLY);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(Apply([](RegistryKey& root) {
                  root.Remove(u"Old");
                  root.Create(u"New");
              }),
              ERROR_SUCCESS);
    std::string seen(before.size() + 10, '\0');
    ssize_t n = ::pread(fd, seen.data(), seen.size(), 0);
    ::close(fd);
    seen.resize(n < 0 ? 0 : static_cast<std::size_t>(n));
    EXPECT_EQ(seen, before);
    EXPECT_EQ(text(), "Calyra Registry 1\n\n[New]\n");
}

// Two processes with two threads each: the store must serialise writers both
// across processes and between the threads of one process.
TEST_F(RegistryTest, ProcessesAndThreadsRegisteringAtOnceAllLand) {
    constexpr int kProcesses = 2, kThreads = 2, kKeys = 30;
    auto path = [](int p, int t, int k) {
        return Utf8ToUtf16("P" + std::to_string(p) + "\\T" + std::to_string(t) + "K" + std::to_string(k));
    };
    std::vector<pid_t> children;
    for (int p = 0; p < kProcesses; ++p) {
        pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            std::atomic<int> failures{0};
            std::vector<std::thread> threads;
            for (int t = 0; t < kThreads; ++t)
                threads.emplace_back([&, t] {
                    for (int k = 0; k < kKeys; ++k) {
                        LONG rc = Apply([&](RegistryKey& root) {
                            root.Create(u"P" + Utf8ToUtf16(std::to_string(p)))
                                .Create(Utf8ToUtf16("T" + std::to_string(t) + "K" + std::to_string(k)))
                                .SetValue(u"", path(p, t, k));
                        });
                        if (rc != ERROR_SUCCESS) ++failures;
                    }
                });
            for (auto& thread : threads) thread.join();
            _exit(failures == 0 ? 0 : 1);
        }
        children.push_back(child);
    }
    for (pid_t child : children) {
        int status = 0;
        ASSERT_EQ(waitpid(child, &status, 0), child);
        ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "a registering process failed";
    }
    for (int p = 0; p < kProcesses; ++p)
        for (int t = 0; t < kThreads; ++t)
            for (int k = 0; k < kKeys; ++k)
                EXPECT_EQ(Value(path(p, t, k)), path(p, t, k)) << "lost update: " << Utf16ToUtf8(path(p, t, k));
}

TEST_F(RegistryTest, CorruptFileIsReportedAndNeverOverwritten) {
    const std::string corrupt = "Calyra Registry 1\n[CLSID]\n\"broken\n";
    std::ofstream(file(), std::ios::binary) << corrupt;
    std::shared_ptr<const RegistryKey> root;
    std::string error;
    EXPECT_EQ(ReadRegistry(&root, &error), ERROR_BADDB);
    EXPECT_NE(error.find("line 3"), std::string::npos) << error;
    EXPECT_EQ(root, nullptr);
    EXPECT_EQ(Apply([](RegistryKey& r) { r.Create(u"X"); }), ERROR_BADDB);
    EXPECT_EQ(text(), corrupt);

    const std::string other = "some user's notes\n";
    std::ofstream(file(), std::ios::binary) << other;
    EXPECT_EQ(Apply([](RegistryKey&) {}), ERROR_BADDB);
    EXPECT_EQ(text(), other);
}

TEST(RegistryFilePath, FollowsTheVariablesInOrder) {
    // CALYRA_REGISTRY, XDG_CONFIG_HOME, HOME, and the file they give.
    const std::tuple<const char*, const char*, const char*, std::string> cases[] = {
        {"/tmp/r", "/cfg", "/home/u", "/tmp/r"},
        {"", "/cfg", "/home/u", "/cfg/calyra/registry"},
        {nullptr, "/cfg", "/home/u", "/cfg/calyra/registry"},
        {nullptr, "relative", "/home/u", "/home/u/.config/calyra/registry"},
        {nullptr, nullptr, "/home/u", "/home/u/.config/calyra/registry"},
    };
    for (const auto& [registry, config, home, expected] : cases) {
        ScopedEnv r("CALYRA_REGISTRY", registry), x("XDG_CONFIG_HOME", config), h("HOME", home);
        EXPECT_EQ(RegistryFilePath(), expected);
    }
}

}  // namespace
}  // namespace calyra
