// Named locks across processes: flock on a file per name.
#include "platform/interprocess_lock.h"
#include "platform/interprocess_lock_internal.h"

#include <fcntl.h>
#include <sys/file.h>
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
    int fd = open((dir / file).c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (fd < 0) return;
    // Polling keeps the wait bounded without signals; the step grows so a
    // long wait costs little, and stays short so a released lock is taken
    // soon after.
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    auto step = std::chrono::microseconds(200);
    for (;;) {
        if (flock(fd, LOCK_EX | LOCK_NB) == 0) {
            m_fd = fd;
            return;
        }
        if (errno != EWOULDBLOCK && errno != EINTR) break;
        if (std::chrono::steady_clock::now() >= deadline) break;
        std::this_thread::sleep_for(step);
        step = std::min(step * 2, std::chrono::microseconds(20000));
    }
    close(fd);
}

InterprocessLock::~InterprocessLock() {
    if (m_fd >= 0) {
        flock(m_fd, LOCK_UN);
        close(m_fd);
    }
}

}  // namespace calyra
