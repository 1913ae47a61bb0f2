// Critical sections: re-entrant locks with the Win32 names.
//
// The owning thread may enter again; each Enter needs its Leave. The object
// must be initialised before use and deleted once no thread holds it.
#pragma once

#include <mutex>

#include "platform/types.h"

#ifdef _WIN32
#include "platform/windows_sdk.h"
#else
struct CRITICAL_SECTION {
    std::recursive_mutex* impl = nullptr;
};
using LPCRITICAL_SECTION = CRITICAL_SECTION*;

extern "C" {
void InitializeCriticalSection(LPCRITICAL_SECTION cs);
// Returns FALSE when the lock could not be created (out of memory).
BOOL InitializeCriticalSectionAndSpinCount(LPCRITICAL_SECTION cs, DWORD spin);
void EnterCriticalSection(LPCRITICAL_SECTION cs);
BOOL TryEnterCriticalSection(LPCRITICAL_SECTION cs);
void LeaveCriticalSection(LPCRITICAL_SECTION cs);
void DeleteCriticalSection(LPCRITICAL_SECTION cs);
}
#endif  // _WIN32

namespace calyra {

// Scoped Enter/Leave.
class CriticalSectionLock {
public:
    explicit CriticalSectionLock(CRITICAL_SECTION& cs) : m_cs(cs) { EnterCriticalSection(&m_cs); }
    ~CriticalSectionLock() { LeaveCriticalSection(&m_cs); }
    CriticalSectionLock(const CriticalSectionLock&) = delete;
    CriticalSectionLock& operator=(const CriticalSectionLock&) = delete;

private:
    CRITICAL_SECTION& m_cs;
};

}  // namespace calyra
