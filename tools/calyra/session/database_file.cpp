#include "session/database_file.h"

#include <fcntl.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "platform/bstr.h"
#include "session/client_error.h"
#include "session/query_rows.h"

namespace calyra::cli {
namespace {

// The older versions the component upgrades, and what each upgrade drops.
struct OlderVersion {
    const char* version;
    const char* loss;
};
constexpr OlderVersion kOlderVersions[] = {
    {"090925", "every event, and the sync albums of types 6 and 7"},
    {"100406", "the sync albums of types 6 and 7"},
    {"100528", "the sync albums of types 6 and 7"},
};

// Some of the tables this system creates: a file with any of them is
// calyra's, also while its version row is still missing.
constexpr const char* kOwnTables[] = {"tProfile", "tContact", "tEvent", "tTask", "tAddress", "tVer"};
// How long a half-made file (calyra's tables, no version yet) is waited
// for: another process's schema work takes milliseconds.
constexpr int kHalfMadeRetries = 50;
constexpr useconds_t kHalfMadeWaitMicroseconds = 100'000;

constexpr char kSqliteHeader[] = "SQLite format 3";  // 16 bytes with its zero

// The ranges of the lock bytes SQLite takes in the file itself (pending,
// reserved and shared), 1 GiB in.
constexpr off_t kLockBytesStart = 0x40000000;
constexpr off_t kLockBytesLength = 2 + 510;

std::string HowToStartOver(const std::filesystem::path& file) {
    return "use another --db, or 'calyra init --reset " + file.string() +
           "' to delete it and start over (everything in it is lost)";
}

// Whether another process holds a lock of SQLite's on the file (or its WAL
// index); the pid of one that does, else 0.
pid_t LockHolder(const std::filesystem::path& file, int fd) {
    struct flock probe {};
    probe.l_type = F_WRLCK;
    probe.l_whence = SEEK_SET;
    probe.l_start = kLockBytesStart;
    probe.l_len = kLockBytesLength;
    if (fcntl(fd, F_GETLK, &probe) == 0 && probe.l_type == F_WRLCK) return probe.l_pid;
    const std::string shm = file.string() + "-shm";
    const int shmFd = ::open(shm.c_str(), O_RDONLY | O_CLOEXEC);
    if (shmFd < 0) return 0;
    struct flock walProbe {};
    walProbe.l_type = F_WRLCK;
    walProbe.l_whence = SEEK_SET;
    walProbe.l_start = 120;  // the WAL index's writer and checkpointer locks
    walProbe.l_len = 2;
    const pid_t holder =
        fcntl(shmFd, F_GETLK, &walProbe) == 0 && walProbe.l_type == F_WRLCK ? walProbe.l_pid : pid_t{0};
    ::close(shmFd);
    return holder;
}

}  // namespace

std::string FileTrouble(const std::filesystem::path& file) {
    struct stat st {};
    if (::stat(file.c_str(), &st) != 0) return std::strerror(errno);
    if (S_ISDIR(st.st_mode)) return "it is a directory, not a database file";
    if (!S_ISREG(st.st_mode)) return "it is not a regular file";
    const int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return std::strerror(errno);
    char header[sizeof kSqliteHeader] = {};
    const ssize_t n = ::read(fd, header, sizeof header);
    const pid_t holder = n > 0 ? LockHolder(file, fd) : 0;
    ::close(fd);
    if (n < 0) return std::strerror(errno);
    if (n > 0 && (n < static_cast<ssize_t>(sizeof header) || std::memcmp(header, kSqliteHeader, sizeof header) != 0))
        return "it is not an SQLite database";
    if (holder) return "it is locked by another program (process " + std::to_string(holder) + ")";
    const std::filesystem::path folder = file.has_parent_path() ? file.parent_path() : ".";
    if (::access(file.c_str(), W_OK) != 0) return "the file is read-only (" + std::string(std::strerror(errno)) + ")";
    if (::access(folder.c_str(), W_OK) != 0)
        return "its folder is read-only, so its journal cannot be written (" + std::string(std::strerror(errno)) + ")";
    struct statvfs fs {};
    if (::statvfs(folder.c_str(), &fs) == 0 && fs.f_bavail == 0) return std::strerror(ENOSPC);
    return {};
}

std::string WhyNotWritable(const std::filesystem::path& file) {
    struct stat st {};
    if (::stat(file.c_str(), &st) != 0) return std::strerror(errno);
    if ((st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0) return "the file is read-only (no one may write it)";
    if (::access(file.c_str(), W_OK) != 0) return "the file is read-only (" + std::string(std::strerror(errno)) + ")";
    const std::filesystem::path folder = file.has_parent_path() ? file.parent_path() : ".";
    if (::access(folder.c_str(), W_OK) != 0)
        return "its folder is read-only, so its journal cannot be written (" + std::string(std::strerror(errno)) + ")";
    return {};
}

ScratchCopy::ScratchCopy(const std::filesystem::path& file) {
    const char* tmp = std::getenv("TMPDIR");
    std::string pattern = (tmp && *tmp ? std::string(tmp) : std::string("/tmp")) + "/calyra-dry-run-XXXXXX";
    if (!::mkdtemp(pattern.data()))
        throw ClientError("cannot make a private copy of " + file.string() +
                          " for the dry run: " + std::strerror(errno));
    m_folder = pattern;
    m_file = m_folder / file.filename();
    std::error_code ec;
    for (const char* companion : {"", "-wal", "-journal"}) {
        const std::filesystem::path from = file.string() + companion;
        if (*companion && !std::filesystem::exists(from, ec)) continue;
        std::filesystem::copy_file(from, m_file.string() + companion, ec);
        if (ec) {
            const std::string why = ec.message();
            std::filesystem::remove_all(m_folder, ec);
            throw ClientError("cannot make a private copy of " + file.string() + " for the dry run: " + why);
        }
    }
}

ScratchCopy::~ScratchCopy() {
    std::error_code ec;
    std::filesystem::remove_all(m_folder, ec);
}

std::string SqlErrorText(const std::filesystem::path& file, const std::string& sql) {
    sqlite3* db = nullptr;
    std::string words;
    if (sqlite3_open_v2(file.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK) {
        sqlite3_stmt* stmt = nullptr;
        if (sqlite3_prepare_v2(db, sql.c_str(), -1, &stmt, nullptr) != SQLITE_OK) words = sqlite3_errmsg(db);
        sqlite3_finalize(stmt);
    }
    sqlite3_close_v2(db);
    return words;
}

FileLook LookBeforeOpening(IPimDbAccess* reader, const std::filesystem::path& file) {
    std::error_code ec;
    const auto status = std::filesystem::status(file, ec);
    if (status.type() == std::filesystem::file_type::not_found) return {FileLook::Missing, {}, {}};
    if (std::filesystem::is_directory(status))
        throw ClientError(file.string() + " is a directory, not a database file");
    if (ec || !std::filesystem::is_regular_file(status))
        throw ClientError("cannot open " + file.string() + ": " + FileTrouble(file));
    if (std::filesystem::file_size(file, ec) == 0 && !ec) return {FileLook::Empty, {}, {}};

    LONG err = 0;
    const HRESULT hr = reader->OpenPimDatabase(&err, Bstr(u"calyra"), Bstr(u"calyra"), Bstr::FromUtf8(file.string()));
    if (FAILED(hr)) {
        const std::string trouble = FileTrouble(file);
        throw ClientError("cannot open " + file.string() + ": " +
                          (trouble.empty() ? DescribeFailure(hr, err) : trouble));
    }
    struct Closer {
        IPimDbAccess* db;
        ~Closer() { db->ClosePimDatabase(nullptr); }
    } closer{reader};

    // Another process creating or upgrading the file shows it half-made
    // for a moment (tables without the version row); that is waited out.
    for (int attempt = 0;; ++attempt) {
        TextRows tables;
        try {
            tables = QueryRows(reader, u"SELECT [name] FROM [sqlite_master] WHERE [type] = 'table';");
        } catch (const ClientError& e) {
            const std::string trouble = FileTrouble(file);
            throw ClientError("cannot read " + file.string() + ": " + (trouble.empty() ? e.what() : trouble));
        }
        if (tables.empty()) return {FileLook::Empty, {}, {}};
        bool hasVersionTable = false, hasOwnTables = false;
        for (const auto& t : tables) {
            hasVersionTable = hasVersionTable || t[0] == "tVer";
            for (const char* own : kOwnTables) hasOwnTables = hasOwnTables || t[0] == own;
        }
        if (!hasVersionTable && !hasOwnTables)
            throw ClientError(file.string() + " is another program's database (" + std::to_string(tables.size()) +
                              " table" + (tables.size() == 1 ? "" : "s") +
                              ", none of calyra's); calyra leaves it untouched: " + HowToStartOver(file));
        // The last row decides, as it does for the component.
        const TextRows versions = hasVersionTable ? QueryRows(reader, u"SELECT [VerString] FROM [tVer];") : TextRows();
        const std::string version = versions.empty() ? std::string() : versions.back()[0];
        if (version.empty() && attempt < kHalfMadeRetries) {
            ::usleep(kHalfMadeWaitMicroseconds);
            continue;
        }
        if (version == kCurrentSchemaVersion) return {FileLook::Current, version, {}};
        for (const OlderVersion& older : kOlderVersions)
            if (version == older.version) return {FileLook::Older, version, older.loss};
        throw ClientError(file.string() + " holds " +
                          (version.empty() ? "calyra's tables but no schema version (its creation or upgrade was "
                                             "cut short)"
                                           : "schema version \"" + version + "\", which this calyra does not know") +
                          " (it reads " + kCurrentSchemaVersion +
                          " and upgrades 090925, 100406 and 100528); opening it would delete everything in it, so it "
                          "is left untouched: use the calyra that wrote it, or " +
                          HowToStartOver(file));
    }
}

std::filesystem::path BackUpBeside(const std::filesystem::path& file, const std::string& version) {
    std::filesystem::path backup = file.string() + "." + version + ".bak";
    for (int n = 1; std::filesystem::exists(backup); ++n)
        backup = file.string() + "." + version + "." + std::to_string(n) + ".bak";
    std::error_code ec;
    std::filesystem::copy_file(file, backup, std::filesystem::copy_options::none, ec);
    if (ec)
        throw ClientError("cannot back up " + file.string() + " before upgrading it: " + ec.message() +
                          "; it is left as it was");
    return backup;
}

}  // namespace calyra::cli
