// The registry store: its text form, atomic and concurrent updates, bad
// files, and the Win32 calls over it.
#include "platform/registry.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include "platform/bstr.h"
#include "support/temp_dir.h"

namespace calyra {
namespace {

std::string ReadFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

void WriteFile(const std::filesystem::path& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
}

// Sets an environment variable for one test and restores it afterwards.
class ScopedEnv {
public:
    ScopedEnv(const char* name, const char* value) : m_name(name) {
        if (const char* old = std::getenv(name)) m_old = old;
        if (value)
            setenv(name, value, 1);
        else
            unsetenv(name);
    }
    ~ScopedEnv() {
        if (m_old)
            setenv(m_name, m_old->c_str(), 1);
        else
            unsetenv(m_name);
    }

private:
    const char* m_name;
    std::optional<std::string> m_old;
};

// Every test gets a registry file of its own.
class RegistryTest : public ::testing::Test {
protected:
    RegistryTest() : m_env("CALYRA_REGISTRY", m_dir.file("registry").c_str()) {}

    std::filesystem::path file() const { return m_dir.file("registry"); }
    std::string text() const { return ReadFile(file()); }

    // The default value of a key, or nullopt.
    static std::optional<std::u16string> Value(const std::u16string& path, std::u16string_view name = u"") {
        std::shared_ptr<const RegistryKey> root;
        if (ReadRegistry(&root) != ERROR_SUCCESS) return std::nullopt;
        std::vector<std::u16string> names;
        SplitKeyPath(path, &names);
        const RegistryKey* key = root->FindPath(names);
        const std::u16string* value = key ? key->Value(name) : nullptr;
        return value ? std::optional<std::u16string>(*value) : std::nullopt;
    }

    static LONG SetText(HKEY key, const char16_t* name, std::u16string_view text) {
        return RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.data()),
                              static_cast<DWORD>((text.size() + 1) * 2));
    }

    test::TempDir m_dir;
    ScopedEnv m_env;
};

// ---- Text form ------------------------------------------------------------------

TEST(RegistryText, RoundTripKeepsKeysValuesAndNameCase) {
    RegistryKey root(u"");
    RegistryKey& server = root.Create(u"CLSID").Create(u"{7039E61B-CC64-46EC-BC41-35A0502E16E3}");
    server.SetValue(u"", u"PimDbAccess Class");
    server.Create(u"InprocServer32").SetValue(u"ThreadingModel", u"Free");
    server.Create(u"Programmable");  // an empty key must survive too
    root.Create(u"Calyra.PimDbAccess").SetValue(u"", u"");  // an empty default value is still a value
    root.SetValue(u"RootValue", u"at the top");

    std::string text = FormatRegistryText(root);
    RegistryKey parsed(u"");
    std::string error;
    ASSERT_TRUE(ParseRegistryText(text, &parsed, &error)) << error << "\n" << text;
    EXPECT_TRUE(parsed == root) << text;
    EXPECT_EQ(FormatRegistryText(parsed), text);
    ASSERT_NE(parsed.Find(u"clsid"), nullptr);
    EXPECT_EQ(parsed.Find(u"clsid")->name(), u"CLSID");
    EXPECT_NE(parsed.Find(u"Calyra.PimDbAccess")->Value(u""), nullptr);
    EXPECT_EQ(parsed.Find(u"Calyra.PimDbAccess")->Find(u"x"), nullptr);
}

TEST(RegistryText, IsReadableAndSorted) {
    RegistryKey root(u"");
    RegistryKey& inproc = root.Create(u"CLSID").Create(u"{X}").Create(u"InprocServer32");
    inproc.SetValue(u"ThreadingModel", u"Free");
    inproc.SetValue(u"", u"/usr/lib/Calyra.so");
    root.Create(u"AppID");
    EXPECT_EQ(FormatRegistryText(root),
              "Calyra Registry 1\n"
              "\n[AppID]\n"
              "\n[CLSID]\n"
              "\n[CLSID\\{X}]\n"
              "\n[CLSID\\{X}\\InprocServer32]\n"
              "@=\"/usr/lib/Calyra.so\"\n"
              "\"ThreadingModel\"=\"Free\"\n");
}

TEST(RegistryText, EscapesEveryTextSoItSurvivesOnOneLine) {
    struct Case {
        std::u16string text;
        std::string written;  // the quoted form in the file
    };
    const Case cases[] = {
        {u"plain", "\"plain\""},
        {u"say \"hi\"", "\"say \\\"hi\\\"\""},
        {u"C:\\dir\\file", "\"C:\\\\dir\\\\file\""},
        {u"two\nlines\r", "\"two\\u000Alines\\u000D\""},
        {u"tab\there", "\"tab\\u0009here\""},
        {std::u16string(u"nul\0inside", 10), "\"nul\\u0000inside\""},
        {u"del\x7f", "\"del\\u007F\""},
        {u"caf\u00e9 \u6f22", "\"caf\xC3\xA9 \xE6\xBC\xA2\""},
        {u"\U0001F600", "\"\xF0\x9F\x98\x80\""},
        {u"lone \xD800 high", "\"lone \\uD800 high\""},
        {u"lone \xDC00 low", "\"lone \\uDC00 low\""},
        {u"\\u0041 stays text", "\"\\\\u0041 stays text\""},
        {u"", "\"\""},
    };
    for (const Case& c : cases) {
        RegistryKey root(u"");
        root.Create(u"K").SetValue(c.text, c.text);
        if (c.text.empty()) root.Find(u"K")->SetValue(u"", c.text);
        std::string text = FormatRegistryText(root);
        EXPECT_NE(text.find(c.written), std::string::npos) << text;
        RegistryKey parsed(u"");
        std::string error;
        ASSERT_TRUE(ParseRegistryText(text, &parsed, &error)) << error << "\n" << text;
        EXPECT_TRUE(parsed == root) << text;
    }
}

TEST(RegistryText, MalformedFilesAreRefusedWithTheLine) {
    const std::string magic = "Calyra Registry 1\n";
    struct Case {
        std::string text;
        int line;
    };
    const Case cases[] = {
        {"REGEDIT4\n[CLSID]\n", 1},
        {magic + "[CLSID\n", 2},
        {magic + "[]\n", 2},
        {magic + "[A\\\\B]\n", 2},
        {magic + "[A\\]\n", 2},
        {magic + "[A]\nhello\n", 3},
        {magic + "[A]\n\"v\"=\"no end\n", 3},
        {magic + "[A]\n\"v\"=\"bad \\q escape\"\n", 3},
        {magic + "[A]\n\"v\"=\"short \\u12\"\n", 3},
        {magic + "[A]\n\"v\"=\"x\" trailing\n", 3},
        {magic + "[A]\n\"v\"=unquoted\n", 3},
        {magic + "[A]\n\"v\" \"x\"\n", 3},
        {magic + "[A]\n\"\"=\"x\"\n", 3},
        {magic + "[A]\n\"v\"=\"x\"\n\"V\"=\"y\"\n", 4},
        {magic + "[A]\n[a]\n", 3},
        {magic + "[A]\n@=\"overlong \xC0\xAF\"\n", 3},
        {magic + "[A]\n@=\"cut \xE6\x97\"\n", 3},
        {magic + "[A]\n@=\"raw\ttab\"\n", 3},
        {magic + "[A\x01]\n", 2},
    };
    for (const Case& c : cases) {
        RegistryKey root(u"");
        std::string error;
        EXPECT_FALSE(ParseRegistryText(c.text, &root, &error)) << c.text;
        EXPECT_NE(error.find("line " + std::to_string(c.line) + ":"), std::string::npos)
            << "text:\n" << c.text << "\nerror: " << error;
    }
}

TEST(RegistryText, ArbitraryBytesNeverCrashTheParser) {
    std::string text = "Calyra Registry 1\n";
    unsigned state = 12345;
    for (int i = 0; i < 20000; ++i) {
        state = state * 1103515245u + 12345u;
        text.push_back(static_cast<char>("[]\\\"@=\nAb\x80\xC3u0"[(state >> 16) % 14]));
        RegistryKey root(u"");
        std::string error;
        if (i % 97 == 0) ParseRegistryText(text, &root, &error);
    }
    SUCCEED();
}

TEST(RegistryText, KeyNamesFollowTheWindowsRules) {
    EXPECT_TRUE(IsValidKeyName(u"{7039E61B-CC64-46EC-BC41-35A0502E16E3}"));
    EXPECT_TRUE(IsValidKeyName(u"Calyra.DLL"));
    EXPECT_TRUE(IsValidKeyName(std::u16string(kMaxKeyNameUnits, u'k')));
    EXPECT_FALSE(IsValidKeyName(std::u16string(kMaxKeyNameUnits + 1, u'k')));
    EXPECT_FALSE(IsValidKeyName(u""));
    EXPECT_FALSE(IsValidKeyName(u"a\\b"));
    EXPECT_FALSE(IsValidKeyName(u"line\nbreak"));
    EXPECT_FALSE(IsValidKeyName(u"lone\xD800"));
}

// ---- The store -------------------------------------------------------------------

TEST_F(RegistryTest, MissingFileIsAnEmptyRegistryAndOnlyAnUpdateCreatesIt) {
    std::shared_ptr<const RegistryKey> root;
    ASSERT_EQ(ReadRegistry(&root), ERROR_SUCCESS);
    EXPECT_FALSE(root->HasSubkeys());
    HKEY key = nullptr;
    EXPECT_EQ(RegOpenKeyExW(HKEY_CLASSES_ROOT, u"CLSID", 0, KEY_READ, &key), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(UpdateRegistry([](RegistryKey&) { return ERROR_SUCCESS; }), ERROR_SUCCESS);
    EXPECT_FALSE(std::filesystem::exists(file()));

    std::string nested = (m_dir.path() / "a" / "b" / "registry").string();
    ScopedEnv env("CALYRA_REGISTRY", nested.c_str());
    ASSERT_EQ(UpdateRegistry([](RegistryKey& root) {
                  root.Create(u"AppID");
                  return ERROR_SUCCESS;
              }),
              ERROR_SUCCESS);
    EXPECT_EQ(ReadFile(nested), "Calyra Registry 1\n\n[AppID]\n");
}

TEST_F(RegistryTest, FailedUpdateWritesNothing) {
    ASSERT_EQ(UpdateRegistry([](RegistryKey& root) {
                  root.Create(u"Keep").SetValue(u"", u"me");
                  return ERROR_SUCCESS;
              }),
              ERROR_SUCCESS);
    std::string before = text();
    EXPECT_EQ(UpdateRegistry([](RegistryKey& root) {
                  root.Remove(u"Keep");
                  return ERROR_ACCESS_DENIED;
              }),
              ERROR_ACCESS_DENIED);
    EXPECT_EQ(text(), before);
    // Nothing but the file and its lock file is left in the directory.
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(m_dir.path()))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"registry", "registry.lock"}));
}

TEST_F(RegistryTest, UpdateReplacesTheFileInsteadOfRewritingIt) {
    ASSERT_EQ(UpdateRegistry([](RegistryKey& root) {
                  root.Create(u"Old").SetValue(u"", std::u16string(5000, u'o'));
                  return ERROR_SUCCESS;
              }),
              ERROR_SUCCESS);
    std::string before = text();
    // A reader that opened the old file keeps reading the complete old file.
    int fd = ::open(file().c_str(), O_RDONLY);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(UpdateRegistry([](RegistryKey& root) {
                  root.Remove(u"Old");
                  root.Create(u"New");
                  return ERROR_SUCCESS;
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
                        HKEY key = nullptr;
                        if (RegCreateKeyExW(HKEY_CLASSES_ROOT, path(p, t, k).c_str(), 0, nullptr, 0, KEY_ALL_ACCESS,
                                            nullptr, &key, nullptr) != ERROR_SUCCESS ||
                            SetText(key, nullptr, path(p, t, k)) != ERROR_SUCCESS)
                            ++failures;
                        RegCloseKey(key);
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
    WriteFile(file(), corrupt);
    std::shared_ptr<const RegistryKey> root;
    std::string error;
    EXPECT_EQ(ReadRegistry(&root, &error), ERROR_BADDB);
    EXPECT_NE(error.find("line 3"), std::string::npos) << error;
    EXPECT_EQ(root, nullptr);
    EXPECT_EQ(UpdateRegistry([](RegistryKey& r) {
                  r.Create(u"X");
                  return ERROR_SUCCESS;
              }),
              ERROR_BADDB);
    HKEY key = nullptr;
    EXPECT_EQ(RegOpenKeyExW(HKEY_CLASSES_ROOT, u"CLSID", 0, KEY_READ, &key), ERROR_BADDB);
    EXPECT_EQ(RegCreateKeyExW(HKEY_CLASSES_ROOT, u"X", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr),
              ERROR_BADDB);
    EXPECT_EQ(text(), corrupt);

    const std::string other = "some user's notes\n";
    WriteFile(file(), other);
    EXPECT_EQ(UpdateRegistry([](RegistryKey&) { return ERROR_SUCCESS; }), ERROR_BADDB);
    EXPECT_EQ(text(), other);
}

TEST_F(RegistryTest, HandEditedFileIsRead) {
    WriteFile(file(),
              "Calyra Registry 1\r\n"
              "; registered by hand\r\n"
              "[Calyra.PimDbAccess\\CLSID]\r\n"
              "@=\"{7039E61B-CC64-46EC-BC41-35A0502E16E3}\"\r\n");
    EXPECT_EQ(Value(u"calyra.pimdbaccess\\clsid"), u"{7039E61B-CC64-46EC-BC41-35A0502E16E3}");
    // The parent key exists although it has no line (and no value) of its own.
    EXPECT_FALSE(Value(u"Calyra.PimDbAccess").has_value());
    HKEY key = nullptr;
    ASSERT_EQ(RegOpenKeyExW(HKEY_CLASSES_ROOT, u"Calyra.PimDbAccess", 0, KEY_READ, &key), ERROR_SUCCESS);
    RegCloseKey(key);
}

TEST(RegistryFilePath, FollowsTheVariablesInOrder) {
    struct Case {
        const char* registry;
        const char* config;
        const char* home;
        std::string expected;
    };
    const Case cases[] = {
        {"/tmp/r", "/cfg", "/home/u", "/tmp/r"},
        {"", "/cfg", "/home/u", "/cfg/calyra/registry"},
        {nullptr, "/cfg", "/home/u", "/cfg/calyra/registry"},
        {nullptr, "relative", "/home/u", "/home/u/.config/calyra/registry"},
        {nullptr, nullptr, "/home/u", "/home/u/.config/calyra/registry"},
    };
    for (const Case& c : cases) {
        ScopedEnv r("CALYRA_REGISTRY", c.registry), x("XDG_CONFIG_HOME", c.config), h("HOME", c.home);
        EXPECT_EQ(RegistryFilePath(), c.expected);
    }
}

// ---- Win32 calls -------------------------------------------------------------------

TEST_F(RegistryTest, CreateOpenSetQueryLikeWindows) {
    HKEY key = nullptr;
    DWORD disposition = 0;
    ASSERT_EQ(RegCreateKeyExW(HKEY_CLASSES_ROOT, u"CLSID\\{X}\\InprocServer32", 0, nullptr, REG_OPTION_NON_VOLATILE,
                              KEY_ALL_ACCESS, nullptr, &key, &disposition),
              ERROR_SUCCESS);
    EXPECT_EQ(disposition, REG_CREATED_NEW_KEY);
    ASSERT_EQ(SetText(key, nullptr, u"/opt/Calyra.so"), ERROR_SUCCESS);
    ASSERT_EQ(SetText(key, u"ThreadingModel", u"Free"), ERROR_SUCCESS);
    EXPECT_EQ(RegCloseKey(key), ERROR_SUCCESS);
    EXPECT_NE(text().find("[CLSID\\{X}\\InprocServer32]\n@=\"/opt/Calyra.so\"\n\"ThreadingModel\"=\"Free\"\n"),
              std::string::npos)
        << text();

    ASSERT_EQ(RegCreateKeyExW(HKEY_CLASSES_ROOT, u"clsid\\{x}", 0, nullptr, 0, KEY_READ, nullptr, &key,
                              &disposition),
              ERROR_SUCCESS);
    EXPECT_EQ(disposition, REG_OPENED_EXISTING_KEY);
    HKEY inproc = nullptr;
    ASSERT_EQ(RegOpenKeyExW(key, u"INPROCSERVER32", 0, KEY_READ, &inproc), ERROR_SUCCESS);

    DWORD type = REG_NONE, size = 0;
    ASSERT_EQ(RegQueryValueExW(inproc, u"threadingmodel", nullptr, &type, nullptr, &size), ERROR_SUCCESS);
    EXPECT_EQ(type, REG_SZ);
    EXPECT_EQ(size, 10u);  // "Free" and the terminator
    char16_t small[3];
    size = sizeof small;
    EXPECT_EQ(RegQueryValueExW(inproc, u"ThreadingModel", nullptr, nullptr, reinterpret_cast<BYTE*>(small), &size),
              ERROR_MORE_DATA);
    EXPECT_EQ(size, 10u);
    char16_t buf[64];
    size = sizeof buf;
    ASSERT_EQ(RegQueryValueExW(inproc, u"", nullptr, nullptr, reinterpret_cast<BYTE*>(buf), &size), ERROR_SUCCESS);
    EXPECT_EQ(std::u16string(buf), u"/opt/Calyra.so");
    EXPECT_EQ(size, 30u);
    EXPECT_EQ(RegQueryValueExW(inproc, u"Missing", nullptr, nullptr, nullptr, &size), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(RegQueryValueExW(inproc, u"", nullptr, nullptr, reinterpret_cast<BYTE*>(buf), nullptr),
              ERROR_INVALID_PARAMETER);

    EXPECT_EQ(RegDeleteValueW(inproc, u"ThreadingModel"), ERROR_SUCCESS);
    EXPECT_EQ(RegDeleteValueW(inproc, u"ThreadingModel"), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(RegCloseKey(inproc), ERROR_SUCCESS);
    EXPECT_EQ(RegCloseKey(key), ERROR_SUCCESS);
}

TEST_F(RegistryTest, BadArgumentsGetErrorsNotCrashes) {
    HKEY key = nullptr;
    const char16_t* badPaths[] = {u"a\\\\b", u"\\a", u"a\\", u"tab\there"};
    for (const char16_t* path : badPaths)
        EXPECT_EQ(RegCreateKeyExW(HKEY_CLASSES_ROOT, path, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr),
                  ERROR_INVALID_PARAMETER)
            << Utf16ToUtf8(path);
    EXPECT_EQ(RegCreateKeyExW(HKEY_CLASSES_ROOT, u"a", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, nullptr, nullptr),
              ERROR_INVALID_PARAMETER);
    EXPECT_EQ(RegCreateKeyExW(HKEY_CLASSES_ROOT, u"a", 0, nullptr, 1 /*volatile*/, KEY_ALL_ACCESS, nullptr, &key,
                              nullptr),
              ERROR_INVALID_PARAMETER);
    EXPECT_EQ(RegOpenKeyExW(HKEY_CLASSES_ROOT, u"a", 0, KEY_READ, nullptr), ERROR_INVALID_PARAMETER);

    ASSERT_EQ(RegCreateKeyExW(HKEY_CLASSES_ROOT, u"a", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr),
              ERROR_SUCCESS);
    const BYTE odd[3] = {1, 2, 3};
    EXPECT_EQ(RegSetValueExW(key, u"v", 0, REG_SZ, odd, 3), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(RegSetValueExW(key, u"v", 0, 4 /*REG_DWORD*/, odd, 2), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(RegSetValueExW(key, u"v", 0, REG_SZ, nullptr, 2), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(RegCloseKey(key), ERROR_SUCCESS);

    // A closed (or made-up) handle is refused.
    EXPECT_EQ(RegCloseKey(key), ERROR_INVALID_HANDLE);
    EXPECT_EQ(SetText(key, u"v", u"x"), ERROR_INVALID_HANDLE);
    DWORD size = 0;
    EXPECT_EQ(RegQueryValueExW(key, u"v", nullptr, nullptr, nullptr, &size), ERROR_INVALID_HANDLE);
    HKEY madeUp = reinterpret_cast<HKEY>(static_cast<std::uintptr_t>(0x1234));
    EXPECT_EQ(RegOpenKeyExW(madeUp, u"a", 0, KEY_READ, &key), ERROR_INVALID_HANDLE);
}

TEST_F(RegistryTest, DeletingKeysFollowsWindowsRules) {
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExW(HKEY_CLASSES_ROOT, u"P\\C\\G", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr),
              ERROR_SUCCESS);
    EXPECT_EQ(RegDeleteKeyW(HKEY_CLASSES_ROOT, u"P\\C"), ERROR_ACCESS_DENIED);  // it has a subkey
    EXPECT_EQ(RegDeleteKeyW(HKEY_CLASSES_ROOT, u"P\\Nope"), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(RegDeleteKeyW(HKEY_CLASSES_ROOT, u""), ERROR_ACCESS_DENIED);  // the root stays
    EXPECT_EQ(RegDeleteKeyW(HKEY_CLASSES_ROOT, u"P\\C\\G"), ERROR_SUCCESS);

    // The handle now names a deleted key.
    EXPECT_EQ(SetText(key, u"v", u"x"), ERROR_KEY_DELETED);
    DWORD size = 0;
    EXPECT_EQ(RegQueryValueExW(key, u"v", nullptr, nullptr, nullptr, &size), ERROR_KEY_DELETED);
    EXPECT_EQ(RegCloseKey(key), ERROR_SUCCESS);

    ASSERT_EQ(RegCreateKeyExW(HKEY_CLASSES_ROOT, u"P\\C\\G\\H", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                              nullptr),
              ERROR_SUCCESS);
    RegCloseKey(key);
    EXPECT_EQ(RegDeleteTreeW(HKEY_CLASSES_ROOT, u"P\\C"), ERROR_SUCCESS);
    EXPECT_EQ(RegOpenKeyExW(HKEY_CLASSES_ROOT, u"P\\C", 0, KEY_READ, &key), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(RegDeleteTreeW(HKEY_CLASSES_ROOT, u"P\\C"), ERROR_FILE_NOT_FOUND);

    // Without a subkey name, the key is emptied but kept.
    ASSERT_EQ(RegOpenKeyExW(HKEY_CLASSES_ROOT, u"P", 0, KEY_ALL_ACCESS, &key), ERROR_SUCCESS);
    SetText(key, nullptr, u"default");
    RegCloseKey(key);
    ASSERT_EQ(RegCreateKeyExW(HKEY_CLASSES_ROOT, u"P\\Q", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr),
              ERROR_SUCCESS);
    RegCloseKey(key);
    ASSERT_EQ(RegOpenKeyExW(HKEY_CLASSES_ROOT, u"P", 0, KEY_ALL_ACCESS, &key), ERROR_SUCCESS);
    EXPECT_EQ(RegDeleteTreeW(key, nullptr), ERROR_SUCCESS);
    RegCloseKey(key);
    EXPECT_EQ(text(), "Calyra Registry 1\n\n[P]\n");
}

TEST_F(RegistryTest, EnumeratesSubkeysInSortedOrder) {
    for (const char16_t* name : {u"CLSID\\b", u"CLSID\\A", u"CLSID\\c"}) {
        HKEY key = nullptr;
        ASSERT_EQ(RegCreateKeyExW(HKEY_CLASSES_ROOT, name, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr),
                  ERROR_SUCCESS);
        RegCloseKey(key);
    }
    HKEY clsid = nullptr;
    ASSERT_EQ(RegOpenKeyExW(HKEY_CLASSES_ROOT, u"CLSID", 0, KEY_READ, &clsid), ERROR_SUCCESS);
    std::vector<std::u16string> names;
    for (DWORD i = 0;; ++i) {
        char16_t name[8];
        DWORD length = 8;
        LONG rc = RegEnumKeyExW(clsid, i, name, &length, nullptr, nullptr, nullptr, nullptr);
        if (rc == ERROR_NO_MORE_ITEMS) break;
        ASSERT_EQ(rc, ERROR_SUCCESS);
        EXPECT_EQ(length, 1u);
        names.emplace_back(name);
    }
    EXPECT_EQ(names, (std::vector<std::u16string>{u"A", u"b", u"c"}));
    char16_t tiny[1];
    DWORD length = 1;
    EXPECT_EQ(RegEnumKeyExW(clsid, 0, tiny, &length, nullptr, nullptr, nullptr, nullptr), ERROR_MORE_DATA);
    RegCloseKey(clsid);
}

TEST(RegistryStatus, Win32CodesBecomeStatusCodes) {
    EXPECT_EQ(HRESULT_FROM_WIN32(ERROR_SUCCESS), S_OK);
    EXPECT_EQ(static_cast<ULONG>(HRESULT_FROM_WIN32(ERROR_BADDB)), 0x800703F1u);
    EXPECT_EQ(HRESULT_FROM_WIN32(ERROR_ACCESS_DENIED), E_ACCESSDENIED);
}

}  // namespace
}  // namespace calyra
