// The classes root in a text file: locked, atomically replaced updates, a
// parsed snapshot shared by readers, and the Win32 calls over both.
#include "platform/system/registry.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <mutex>
#include <new>
#include <set>
#include <string_view>
#include <vector>

#include <fcntl.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

struct HKEY__ {
    std::vector<std::u16string> names;  // Constant after creation: the key's path below the root.
};

namespace calyra {
namespace {

// A file this large is not a registry; refuse it rather than read it all.
constexpr off_t kMaxRegistryFileBytes = 64 << 20;

std::string Errno(const std::string& what, const std::string& path) {
    return what + " " + path + ": " + std::strerror(errno);
}

void SetError(std::string* error, const std::string& text) {
    if (error) *error = text;
}

// The whole file; *exists is false (and the result ERROR_SUCCESS) when it
// does not exist.
LONG ReadFileText(const std::string& path, std::string* text, bool* exists, std::string* error) {
    text->clear();
    *exists = false;
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        if (errno == ENOENT) return ERROR_SUCCESS;
        SetError(error, Errno("cannot open registry file", path));
        return ERROR_CANTREAD;
    }
    *exists = true;
    struct stat st;
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        SetError(error, "registry file " + path + " is not a regular file");
        return ERROR_CANTREAD;
    }
    if (st.st_size > kMaxRegistryFileBytes) {
        ::close(fd);
        SetError(error, "registry file " + path + " is too large to be a registry");
        return ERROR_BADDB;
    }
    text->reserve(static_cast<std::size_t>(st.st_size));
    char buf[16384];
    while (true) {
        ssize_t n = ::read(fd, buf, sizeof buf);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            SetError(error, Errno("cannot read registry file", path));
            ::close(fd);
            return ERROR_CANTREAD;
        }
        if (n == 0) break;
        text->append(buf, static_cast<std::size_t>(n));
        if (text->size() > static_cast<std::size_t>(kMaxRegistryFileBytes)) {
            ::close(fd);
            SetError(error, "registry file " + path + " is too large to be a registry");
            return ERROR_BADDB;
        }
    }
    ::close(fd);
    return ERROR_SUCCESS;
}

LONG ParseFile(const std::string& path, std::string_view text, RegistryKey* root, std::string* error) {
    std::string why;
    if (ParseRegistryText(text, root, &why)) return ERROR_SUCCESS;
    SetError(error, path + ": " + why);
    return ERROR_BADDB;
}

bool WriteAll(int fd, std::string_view data) {
    while (!data.empty()) {
        ssize_t n = ::write(fd, data.data(), data.size());
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        data.remove_prefix(static_cast<std::size_t>(n));
    }
    return true;
}

// Writes a sibling temporary file and renames it over the registry file,
// so that no reader ever sees a partly written registry.
LONG ReplaceFile(const std::string& path, std::string_view text, std::string* error) {
    std::string temp = path + ".XXXXXX";
    int fd = ::mkostemp(temp.data(), O_CLOEXEC);
    if (fd < 0) {
        SetError(error, Errno("cannot create temporary file for", path));
        return ERROR_CANTWRITE;
    }
    struct stat st;
    mode_t mode = ::stat(path.c_str(), &st) == 0 ? (st.st_mode & 0777) : 0644;
    bool ok = ::fchmod(fd, mode) == 0 && WriteAll(fd, text) && ::fsync(fd) == 0;
    ok = (::close(fd) == 0) && ok;
    if (!ok || ::rename(temp.c_str(), path.c_str()) != 0) {
        SetError(error, Errno("cannot write registry file", path));
        ::unlink(temp.c_str());
        return ERROR_CANTWRITE;
    }
    // Make the rename itself durable; failure here loses nothing already
    // visible, so it is not reported.
    std::string dir = std::filesystem::path(path).parent_path().string();
    int dfd = ::open(dir.empty() ? "." : dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dfd >= 0) {
        ::fsync(dfd);
        ::close(dfd);
    }
    return ERROR_SUCCESS;
}

// The exclusive lock of the store, held from reading the content to
// replacing the file. flock on a separate lock file, because the registry
// file itself is replaced by every update.
class StoreLock {
public:
    StoreLock(const std::string& path, LONG* result, std::string* error) {
        std::string lockPath = path + ".lock";
        m_fd = ::open(lockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
        if (m_fd < 0) {
            SetError(error, Errno("cannot open lock file", lockPath));
            *result = ERROR_CANTOPEN;
            return;
        }
        int rc;
        do rc = ::flock(m_fd, LOCK_EX);
        while (rc != 0 && errno == EINTR);
        if (rc != 0) {
            SetError(error, Errno("cannot lock", lockPath));
            *result = ERROR_CANTOPEN;
            return;
        }
        *result = ERROR_SUCCESS;
    }
    ~StoreLock() {
        if (m_fd >= 0) ::close(m_fd);  // releases the lock
    }
    StoreLock(const StoreLock&) = delete;
    StoreLock& operator=(const StoreLock&) = delete;

private:
    int m_fd = -1;
};

// The last snapshot handed out, reused while the file's text is unchanged.
struct SnapshotCache {
    std::mutex mutex;
    std::string path;                         // Guarded by mutex.
    std::string text;                         // Guarded by mutex.
    std::shared_ptr<const RegistryKey> root;  // Guarded by mutex.
};

SnapshotCache& Cache() {
    static SnapshotCache* cache = new SnapshotCache;  // never destroyed: usable during exit
    return *cache;
}

}  // namespace

std::string RegistryFilePath() {
    const char* explicitPath = std::getenv("CALYRA_REGISTRY");
    if (explicitPath && *explicitPath) return explicitPath;
    const char* config = std::getenv("XDG_CONFIG_HOME");
    if (config && config[0] == '/') return std::string(config) + "/calyra/registry";
    const char* home = std::getenv("HOME");
    std::string homeDir = home && *home ? home : "";
    if (homeDir.empty()) {
        struct passwd pw;
        struct passwd* found = nullptr;
        char buf[4096];
        if (::getpwuid_r(::getuid(), &pw, buf, sizeof buf, &found) == 0 && found && found->pw_dir)
            homeDir = found->pw_dir;
    }
    if (homeDir.empty()) return {};
    return homeDir + "/.config/calyra/registry";
}

LONG ReadRegistry(std::shared_ptr<const RegistryKey>* root, std::string* error) {
    root->reset();
    std::string path = RegistryFilePath();
    if (path.empty()) {
        SetError(error, "no registry file: set CALYRA_REGISTRY or HOME");
        return ERROR_CANTOPEN;
    }
    std::string text;
    bool exists;
    if (LONG rc = ReadFileText(path, &text, &exists, error); rc != ERROR_SUCCESS) return rc;

    SnapshotCache& cache = Cache();
    {
        std::lock_guard lock(cache.mutex);
        if (cache.root && cache.path == path && cache.text == text) {
            *root = cache.root;
            return ERROR_SUCCESS;
        }
    }
    auto parsed = std::make_shared<RegistryKey>(u"");
    if (LONG rc = ParseFile(path, text, parsed.get(), error); rc != ERROR_SUCCESS) return rc;
    std::lock_guard lock(cache.mutex);
    cache.path = path;
    cache.text = std::move(text);
    cache.root = parsed;
    *root = std::move(parsed);
    return ERROR_SUCCESS;
}

LONG UpdateRegistry(const std::function<LONG(RegistryKey& root)>& change, std::string* error) {
    std::string path = RegistryFilePath();
    if (path.empty()) {
        SetError(error, "no registry file: set CALYRA_REGISTRY or HOME");
        return ERROR_CANTOPEN;
    }
    std::error_code ec;
    std::filesystem::path dir = std::filesystem::path(path).parent_path();
    if (!dir.empty()) std::filesystem::create_directories(dir, ec);
    if (ec) {
        SetError(error, "cannot create " + dir.string() + ": " + ec.message());
        return ERROR_CANTWRITE;
    }

    LONG rc;
    StoreLock lock(path, &rc, error);
    if (rc != ERROR_SUCCESS) return rc;

    std::string text;
    bool exists;
    if (rc = ReadFileText(path, &text, &exists, error); rc != ERROR_SUCCESS) return rc;
    RegistryKey root(u"");
    if (rc = ParseFile(path, text, &root, error); rc != ERROR_SUCCESS) return rc;
    std::string before = FormatRegistryText(root);

    if (rc = change(root); rc != ERROR_SUCCESS) return rc;
    std::string after = FormatRegistryText(root);
    if (after == before) return ERROR_SUCCESS;
    return ReplaceFile(path, after, error);
}

}  // namespace calyra

// ---- Win32 calls ---------------------------------------------------------------

namespace {

using calyra::RegistryKey;

struct HandleTable {
    std::mutex mutex;
    std::set<HKEY> live;  // Guarded by mutex.
};

HandleTable& Handles() {
    static HandleTable* table = new HandleTable;  // never destroyed: handles may be closed during exit
    return *table;
}

std::u16string_view Text(LPCWSTR text) { return text ? std::u16string_view(text) : std::u16string_view(); }

// The path of an open key; ERROR_INVALID_HANDLE for anything else.
LONG HandlePath(HKEY hKey, std::vector<std::u16string>* names) {
    names->clear();
    if (hKey == HKEY_CLASSES_ROOT) return ERROR_SUCCESS;
    HandleTable& table = Handles();
    std::lock_guard lock(table.mutex);
    if (!table.live.count(hKey)) return ERROR_INVALID_HANDLE;
    *names = hKey->names;
    return ERROR_SUCCESS;
}

// The handle's path followed by lpSubKey's names.
LONG FullPath(HKEY hKey, LPCWSTR lpSubKey, std::vector<std::u16string>* base, std::vector<std::u16string>* full) {
    if (LONG rc = HandlePath(hKey, base); rc != ERROR_SUCCESS) return rc;
    std::vector<std::u16string> sub;
    if (!calyra::SplitKeyPath(Text(lpSubKey), &sub)) return ERROR_INVALID_PARAMETER;
    *full = *base;
    full->insert(full->end(), sub.begin(), sub.end());
    return ERROR_SUCCESS;
}

LONG NewHandle(std::vector<std::u16string> names, PHKEY phkResult) {
    auto* handle = new (std::nothrow) HKEY__{std::move(names)};
    if (!handle) return ERROR_OUTOFMEMORY;
    HandleTable& table = Handles();
    std::lock_guard lock(table.mutex);
    table.live.insert(handle);
    *phkResult = handle;
    return ERROR_SUCCESS;
}

// Reads the key of an open handle from the current snapshot.
LONG ReadKey(HKEY hKey, std::shared_ptr<const RegistryKey>* root, const RegistryKey** key) {
    std::vector<std::u16string> names;
    if (LONG rc = HandlePath(hKey, &names); rc != ERROR_SUCCESS) return rc;
    if (LONG rc = calyra::ReadRegistry(root); rc != ERROR_SUCCESS) return rc;
    *key = (*root)->FindPath(names);
    return *key ? ERROR_SUCCESS : ERROR_KEY_DELETED;
}

// Changes the key of an open handle in one update.
LONG UpdateKey(HKEY hKey, const std::function<LONG(RegistryKey& key)>& change) {
    std::vector<std::u16string> names;
    if (LONG rc = HandlePath(hKey, &names); rc != ERROR_SUCCESS) return rc;
    return calyra::UpdateRegistry([&](RegistryKey& root) {
        RegistryKey* key = root.FindPath(names);
        return key ? change(*key) : ERROR_KEY_DELETED;
    });
}

}  // namespace

extern "C" LONG RegCreateKeyExW(HKEY hKey, LPCWSTR lpSubKey, DWORD /*Reserved*/, LPWSTR /*lpClass*/, DWORD dwOptions,
                                REGSAM /*samDesired*/, LPSECURITY_ATTRIBUTES /*lpSecurityAttributes*/, PHKEY phkResult,
                                LPDWORD lpdwDisposition) {
    if (!phkResult) return ERROR_INVALID_PARAMETER;
    *phkResult = nullptr;
    if (dwOptions != REG_OPTION_NON_VOLATILE) return ERROR_INVALID_PARAMETER;
    std::vector<std::u16string> base, full;
    if (LONG rc = FullPath(hKey, lpSubKey, &base, &full); rc != ERROR_SUCCESS) return rc;
    bool created = false;
    LONG rc = calyra::UpdateRegistry([&](RegistryKey& root) {
        RegistryKey* key = root.FindPath(base);
        if (!key) return ERROR_KEY_DELETED;
        for (std::size_t i = base.size(); i < full.size(); ++i) {
            if (!key->Find(full[i])) created = true;
            key = &key->Create(full[i]);
        }
        return ERROR_SUCCESS;
    });
    if (rc != ERROR_SUCCESS) return rc;
    if (lpdwDisposition) *lpdwDisposition = created ? REG_CREATED_NEW_KEY : REG_OPENED_EXISTING_KEY;
    return NewHandle(std::move(full), phkResult);
}

extern "C" LONG RegOpenKeyExW(HKEY hKey, LPCWSTR lpSubKey, DWORD /*ulOptions*/, REGSAM /*samDesired*/,
                              PHKEY phkResult) {
    if (!phkResult) return ERROR_INVALID_PARAMETER;
    *phkResult = nullptr;
    std::vector<std::u16string> base, full;
    if (LONG rc = FullPath(hKey, lpSubKey, &base, &full); rc != ERROR_SUCCESS) return rc;
    std::shared_ptr<const RegistryKey> root;
    if (LONG rc = calyra::ReadRegistry(&root); rc != ERROR_SUCCESS) return rc;
    if (!root->FindPath(base)) return ERROR_KEY_DELETED;
    if (!root->FindPath(full)) return ERROR_FILE_NOT_FOUND;
    return NewHandle(std::move(full), phkResult);
}

extern "C" LONG RegCloseKey(HKEY hKey) {
    if (hKey == HKEY_CLASSES_ROOT) return ERROR_SUCCESS;
    HandleTable& table = Handles();
    {
        std::lock_guard lock(table.mutex);
        if (!table.live.erase(hKey)) return ERROR_INVALID_HANDLE;
    }
    delete hKey;
    return ERROR_SUCCESS;
}

extern "C" LONG RegSetValueExW(HKEY hKey, LPCWSTR lpValueName, DWORD /*Reserved*/, DWORD dwType, const BYTE* lpData,
                               DWORD cbData) {
    if (dwType != REG_SZ || cbData % 2 != 0 || (!lpData && cbData != 0)) return ERROR_INVALID_PARAMETER;
    std::u16string name(Text(lpValueName));
    if (name.size() > calyra::kMaxValueNameUnits) return ERROR_INVALID_PARAMETER;
    std::u16string data(cbData / 2, u'\0');
    if (cbData) std::memcpy(data.data(), lpData, cbData);
    if (!data.empty() && data.back() == u'\0') data.pop_back();  // the terminator is not part of the text
    return UpdateKey(hKey, [&](RegistryKey& key) {
        key.SetValue(name, data);
        return ERROR_SUCCESS;
    });
}

extern "C" LONG RegQueryValueExW(HKEY hKey, LPCWSTR lpValueName, LPDWORD /*lpReserved*/, LPDWORD lpType, LPBYTE lpData,
                                 LPDWORD lpcbData) {
    if (lpData && !lpcbData) return ERROR_INVALID_PARAMETER;
    std::shared_ptr<const RegistryKey> root;
    const RegistryKey* key = nullptr;
    if (LONG rc = ReadKey(hKey, &root, &key); rc != ERROR_SUCCESS) return rc;
    const std::u16string* value = key->Value(Text(lpValueName));
    if (!value) return ERROR_FILE_NOT_FOUND;
    if (lpType) *lpType = REG_SZ;
    std::size_t bytes = (value->size() + 1) * sizeof(char16_t);
    if (bytes > 0xFFFFFFFFu) return ERROR_MORE_DATA;
    DWORD need = static_cast<DWORD>(bytes);
    if (!lpcbData) return ERROR_SUCCESS;
    if (lpData) {
        if (*lpcbData < need) {
            *lpcbData = need;
            return ERROR_MORE_DATA;
        }
        std::memcpy(lpData, value->c_str(), need);
    }
    *lpcbData = need;
    return ERROR_SUCCESS;
}

extern "C" LONG RegDeleteValueW(HKEY hKey, LPCWSTR lpValueName) {
    return UpdateKey(hKey, [&](RegistryKey& key) {
        return key.RemoveValue(Text(lpValueName)) ? ERROR_SUCCESS : ERROR_FILE_NOT_FOUND;
    });
}

namespace {

// Deletes lpSubKey below hKey; `tree` allows subkeys.
LONG DeleteKey(HKEY hKey, LPCWSTR lpSubKey, bool tree) {
    std::vector<std::u16string> base, full;
    if (LONG rc = FullPath(hKey, lpSubKey, &base, &full); rc != ERROR_SUCCESS) return rc;
    if (full.empty()) return ERROR_ACCESS_DENIED;  // the root itself always stays
    return calyra::UpdateRegistry([&](RegistryKey& root) {
        if (!root.FindPath(base)) return ERROR_KEY_DELETED;
        RegistryKey* parent = root.FindPath(std::vector<std::u16string>(full.begin(), full.end() - 1));
        RegistryKey* key = parent ? parent->Find(full.back()) : nullptr;
        if (!key) return ERROR_FILE_NOT_FOUND;
        if (!tree && key->HasSubkeys()) return ERROR_ACCESS_DENIED;
        parent->Remove(full.back());
        return ERROR_SUCCESS;
    });
}

}  // namespace

extern "C" LONG RegDeleteKeyW(HKEY hKey, LPCWSTR lpSubKey) {
    if (!lpSubKey) return ERROR_INVALID_PARAMETER;
    return DeleteKey(hKey, lpSubKey, false);
}

extern "C" LONG RegDeleteTreeW(HKEY hKey, LPCWSTR lpSubKey) {
    if (lpSubKey && *lpSubKey) return DeleteKey(hKey, lpSubKey, true);
    return UpdateKey(hKey, [](RegistryKey& key) {
        for (const auto& [name, data] : key.Values()) key.RemoveValue(name);
        std::vector<std::u16string> subkeys;
        for (const RegistryKey* sub : key.Subkeys()) subkeys.push_back(sub->name());
        for (const auto& name : subkeys) key.Remove(name);
        return ERROR_SUCCESS;
    });
}

extern "C" LONG RegEnumKeyExW(HKEY hKey, DWORD dwIndex, LPWSTR lpName, LPDWORD lpcchName, LPDWORD /*lpReserved*/,
                              LPWSTR lpClass, LPDWORD /*lpcchClass*/, PFILETIME lpftLastWriteTime) {
    if (!lpName || !lpcchName || lpClass || lpftLastWriteTime) return ERROR_INVALID_PARAMETER;
    std::shared_ptr<const RegistryKey> root;
    const RegistryKey* key = nullptr;
    if (LONG rc = ReadKey(hKey, &root, &key); rc != ERROR_SUCCESS) return rc;
    std::vector<const RegistryKey*> subkeys = key->Subkeys();
    if (dwIndex >= subkeys.size()) return ERROR_NO_MORE_ITEMS;
    const std::u16string& name = subkeys[dwIndex]->name();
    if (*lpcchName < name.size() + 1) return ERROR_MORE_DATA;
    std::memcpy(lpName, name.c_str(), (name.size() + 1) * sizeof(char16_t));
    *lpcchName = static_cast<DWORD>(name.size());
    return ERROR_SUCCESS;
}
