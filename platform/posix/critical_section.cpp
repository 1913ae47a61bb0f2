// Critical sections over re-entrant mutexes.
#include "platform/system/critical_section.h"

#include <new>

extern "C" {

void InitializeCriticalSection(LPCRITICAL_SECTION cs) {
    // Win32 cannot fail here on modern systems; an allocation failure is
    // reported the way the rest of the runtime reports it.
    cs->impl = new std::recursive_mutex();
}

BOOL InitializeCriticalSectionAndSpinCount(LPCRITICAL_SECTION cs, DWORD /*spin*/) {
    cs->impl = new (std::nothrow) std::recursive_mutex();
    return cs->impl ? TRUE : FALSE;
}

void EnterCriticalSection(LPCRITICAL_SECTION cs) { cs->impl->lock(); }

BOOL TryEnterCriticalSection(LPCRITICAL_SECTION cs) { return cs->impl->try_lock() ? TRUE : FALSE; }

void LeaveCriticalSection(LPCRITICAL_SECTION cs) { cs->impl->unlock(); }

void DeleteCriticalSection(LPCRITICAL_SECTION cs) {
    delete cs->impl;
    cs->impl = nullptr;
}

}  // extern "C"
