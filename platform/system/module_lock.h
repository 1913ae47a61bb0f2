// The module's lock count: live objects plus class-object locks.
//
// Every object created through CComObject/CComAggObject and every
// LockServer(TRUE) counts once. A module may unload when the count is 0.
// Changed only atomically; the count is per loaded module.
#pragma once

#include <atomic>

#include "platform/types.h"

namespace calyra {

inline std::atomic<LONG>& ModuleLockCount() {
    static std::atomic<LONG> count{0};
    return count;
}
inline LONG ModuleLock() { return ++ModuleLockCount(); }
inline LONG ModuleUnlock() { return --ModuleLockCount(); }

}  // namespace calyra
