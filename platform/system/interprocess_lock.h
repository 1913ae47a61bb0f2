// InterprocessLock: a lock that every thread of every process on the
// machine shares by name, held for the lifetime of the object.
//
// The management object holds one, named after the database file, while it
// reads the schema version and creates or upgrades the schema, so two
// processes opening one new or old file at the same moment run that step
// one after the other and the second finds it done. On Windows this is a
// named mutex; here it is an advisory lock (flock) on a small file in the
// temporary folder named by a hash of the lock's name, removed again by
// the holder that releases it (so a folder does not fill with one file per
// database ever opened). Either way the system drops the lock of a process
// that dies while holding it, so a killed process never blocks the next
// open.
//
// Ownership: the object owns its lock and releases it when destroyed.
// Thread-safety: one object per thread; two objects with the same name
// exclude each other also within one process.
#pragma once

#include <string>
#include <string_view>

#include "platform/types.h"

namespace calyra {

class InterprocessLock {
public:
    // Waits up to timeoutMs for the lock; held() tells whether it came.
    InterprocessLock(std::u16string_view name, DWORD timeoutMs);
    ~InterprocessLock();
    InterprocessLock(const InterprocessLock&) = delete;
    InterprocessLock& operator=(const InterprocessLock&) = delete;

#ifdef _WIN32
    bool held() const { return m_mutex != nullptr; }

private:
    void* m_mutex = nullptr;  // a named mutex, owned while held
#else
    bool held() const { return m_fd >= 0; }

private:
    int m_fd = -1;       // the lock file, open and locked while held
    std::string m_path;  // its name, removed on release
#endif
};

}  // namespace calyra
