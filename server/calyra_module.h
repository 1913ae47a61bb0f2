// CCalyraModule: the module object of Calyra.so. It counts the module's
// live objects and server locks (module_lock.h), hands out class objects
// from the object map, and writes and removes the module's registration
// data and type-library keys.
//
// The one instance, Module(), is constructed when the module is loaded and
// destroyed when it is unloaded; the entry points only forward to it.
// Thread-safety: the lock count changes atomically; class-object creation
// and registration run under m_csModule. Nothing it hands out is owned by
// the module object: class objects belong to their callers.
#pragma once

#include <atomic>
#include <span>
#include <string>

#include "platform/guid.h"
#include "platform/hresult.h"
#include "platform/system/critical_section.h"

namespace calyra {

struct ObjectMapEntry;

class CCalyraModule {
public:
    // Runs every class's class-level start. When the critical section
    // cannot be created the module cannot refuse to load (the loader gives
    // it no say), so it records the failure and every entry point then
    // answers E_UNEXPECTED.
    explicit CCalyraModule(std::span<const ObjectMapEntry> objectMap);
    // Runs every class's class-level end and deletes the critical section.
    ~CCalyraModule();
    CCalyraModule(const CCalyraModule&) = delete;
    CCalyraModule& operator=(const CCalyraModule&) = delete;

    HRESULT GetClassObject(REFCLSID rclsid, REFIID riid, void** ppv);
    HRESULT CanUnloadNow() const { return GetLockCount() == 0 ? S_OK : S_FALSE; }
    // Module script, then each class script in map order, in one update of
    // the registry (all or nothing); then the type library's keys.
    HRESULT RegisterServer();
    // Class scripts and the type library, then the module script.
    HRESULT UnregisterServer();

    LONG GetLockCount() const;
    // IClassFactory::LockServer for every class object of the module. An
    // unlock without a matching lock is refused with E_UNEXPECTED, so it
    // cannot let the module unload under live objects.
    HRESULT LockServer(BOOL fLock);

    const GUID& GetTypeLibID() const { return *m_pLibID; }
    const GUID& GetAppID() const { return *m_pAppID; }

private:
    bool m_bReady = false;                        // Constant after construction.
    const GUID* m_pLibID;                         // Constant after construction.
    const GUID* m_pAppID;                         // Constant after construction.
    std::span<const ObjectMapEntry> m_objectMap;  // Constant after construction.
    std::atomic<LONG> m_lServerLocks{0};          // Changed atomically.
    CRITICAL_SECTION m_csModule;                  // Guards class-object creation and registration.
};

// The module's one module object.
CCalyraModule& Module();

}  // namespace calyra
