// Named locks across processes: flock on a file per name.
#include "platform/system/interprocess_lock.h"
#include "platform/system/interprocess_lock_internal.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <system_error>
#include <thread>

namespace calyra {

InterprocessLock::InterprocessLock(std::u16string_view name, DWORD timeoutMs) {
    std::error_code ec;
    std::filesystem::path dir = std::filesystem::temp_directory_path(ec);
    if (ec) dir = "/tmp";
    char file[64];
    std::snprintf(file, sizeof file, "calyra-%u-%016llx.lock", static_cast<unsigned>(getuid()),
                  static_cast<unsigned long long>(InterprocessLockNameHash(name)));
    const std::string path = (dir / file).string();
    // Polling keeps the wait bounded without signals; the step grows so a
    // long wait costs little, and stays short so a released lock is taken
    // soon after.
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    auto step = std::chrono::microseconds(200);
    for (;;) {
        const int fd = open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
        if (fd < 0) return;
        bool locked = false;
        for (;;) {
            if (flock(fd, LOCK_EX | LOCK_NB) == 0) {
                locked = true;
                break;
            }
            if (errno != EWOULDBLOCK && errno != EINTR) break;
            if (std::chrono::steady_clock::now() >= deadline) break;
            std::this_thread::sleep_for(step);
            step = std::min(step * 2, std::chrono::microseconds(20000));
        }
        // The holder before removes the file as it lets go: a lock taken on
        // a file no longer under the name is no lock at all, so the name is
        // opened again.
        struct stat held {
        }, named{};
        if (locked && fstat(fd, &held) == 0 && stat(path.c_str(), &named) == 0 && held.st_ino == named.st_ino &&
            held.st_dev == named.st_dev) {
            m_fd = fd;
            m_path = path;
            return;
        }
        close(fd);
        if (!locked || std::chrono::steady_clock::now() >= deadline) return;
    }
}

InterprocessLock::~InterprocessLock() {
    if (m_fd >= 0) {
        // Removed while still held, so whoever opens the name next makes a
        // new file and nobody is left holding the old one unawares.
        unlink(m_path.c_str());
        flock(m_fd, LOCK_UN);
        close(m_fd);
    }
}

}  // namespace calyra
