// Named locks across processes on Windows: a named mutex per name in the
// session's namespace.
#include "platform/system/interprocess_lock.h"
#include "platform/system/interprocess_lock_internal.h"

#include <cwchar>

#include "platform/windows_sdk.h"

namespace calyra {

InterprocessLock::InterprocessLock(std::u16string_view name, DWORD timeoutMs) {
    wchar_t object[64];
    std::swprintf(object, sizeof object / sizeof object[0], L"Local\\calyra-%016llx",
                  static_cast<unsigned long long>(InterprocessLockNameHash(name)));
    HANDLE mutex = CreateMutexW(nullptr, FALSE, object);
    if (!mutex) return;
    // An abandoned mutex (its holder died) is ours now, like a lock file
    // whose holder was killed.
    DWORD wait = WaitForSingleObject(mutex, timeoutMs);
    if (wait == WAIT_OBJECT_0 || wait == WAIT_ABANDONED) {
        m_mutex = mutex;
        return;
    }
    CloseHandle(mutex);
}

InterprocessLock::~InterprocessLock() {
    if (!m_mutex) return;
    ReleaseMutex(static_cast<HANDLE>(m_mutex));
    CloseHandle(static_cast<HANDLE>(m_mutex));
}

}  // namespace calyra
