// The module object: lock count, class objects and registration.
#include "server/calyra_module.h"

#include <filesystem>

#include "comserver/module_path.h"
#include "comserver/type_lib_registration.h"
#include "idl/calyra_idl.h"
#include "idl/typelib_description.h"
#include "platform/bstr.h"
#include "platform/system/module_lock.h"
#include "platform/system/registry.h"
#include "platform/system/thread_locale.h"
#include "platform/type_lib.h"
#include "server/object_map.h"
#include "server/registration_scripts.h"

namespace calyra {
namespace {

// Registration runs under the system default locale, so the scripts are
// read the same way whatever the calling thread's locale is.
constexpr LCID kRegistrationLocale = 0x0800;  // LOCALE_SYSTEM_DEFAULT

// Any object of the module: the loader names the module that holds it.
const char kModuleAnchor = 0;

// The module's own full path, for InprocServer32 and the type library.
HRESULT ModulePath(std::u16string* path) { return ModulePathOf(&kModuleAnchor, path); }

// Saves the thread's locale, switches to the registration locale and
// restores the saved one at scope exit.
class RegistrationLocale {
public:
    RegistrationLocale() : m_saved(GetThreadLocale()) { SetThreadLocale(kRegistrationLocale); }
    ~RegistrationLocale() { SetThreadLocale(m_saved); }
    RegistrationLocale(const RegistrationLocale&) = delete;
    RegistrationLocale& operator=(const RegistrationLocale&) = delete;

private:
    LCID m_saved;
};

// Runs `scripts` on the registry in one update; a script error aborts the
// update so nothing is written.
template <class Scripts>
HRESULT UpdateWithScripts(const Scripts& scripts) {
    HRESULT hr = S_OK;
    LONG rc = UpdateRegistry([&](RegistryKey& root) {
        hr = scripts(root);
        return SUCCEEDED(hr) ? ERROR_SUCCESS : ERROR_INVALID_PARAMETER;
    });
    if (SUCCEEDED(hr) && rc != ERROR_SUCCESS) hr = HRESULT_FROM_WIN32(rc);
    return hr;
}

CCalyraModule g_module(ObjectMap());

// While the module is loaded its type library is known to the process, so
// record arrays and LoadRegTypeLib find it without a registry look-up.
struct TypeLibPresence {
    TypeLibPresence() { RegisterTypeLibDescription(&CalyraTypeLibDescription()); }
    ~TypeLibPresence() { UnregisterTypeLibDescription(&CalyraTypeLibDescription()); }
} g_typeLibPresence;

}  // namespace

CCalyraModule& Module() { return g_module; }

CCalyraModule::CCalyraModule(std::span<const ObjectMapEntry> objectMap)
    : m_pLibID(CalyraTypeLibDescription().libid), m_pAppID(&kCalyraAppID), m_objectMap(objectMap) {
    m_bReady = InitializeCriticalSectionAndSpinCount(&m_csModule, 0) != FALSE;
    if (!m_bReady) return;
    for (const ObjectMapEntry& entry : m_objectMap) entry.objectMain(true);
}

CCalyraModule::~CCalyraModule() {
    if (!m_bReady) return;
    for (const ObjectMapEntry& entry : m_objectMap) entry.objectMain(false);
    DeleteCriticalSection(&m_csModule);
}

LONG CCalyraModule::GetLockCount() const { return ModuleLockCount().load(); }

HRESULT CCalyraModule::LockServer(BOOL fLock) {
    if (fLock) {
        ++m_lServerLocks;
        ModuleLock();
        return S_OK;
    }
    LONG locks = m_lServerLocks.load();
    do {
        if (locks <= 0) return E_UNEXPECTED;
    } while (!m_lServerLocks.compare_exchange_weak(locks, locks - 1));
    ModuleUnlock();
    return S_OK;
}

HRESULT CCalyraModule::GetClassObject(REFCLSID rclsid, REFIID riid, void** ppv) {
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    if (!m_bReady) return E_UNEXPECTED;
    CriticalSectionLock lock(m_csModule);
    for (const ObjectMapEntry& entry : m_objectMap)
        if (IsEqualCLSID(*entry.clsid, rclsid)) return entry.createClassObject(riid, ppv);
    return CLASS_E_CLASSNOTAVAILABLE;
}

HRESULT CCalyraModule::RegisterServer() {
    if (!m_bReady) return E_UNEXPECTED;
    CriticalSectionLock lock(m_csModule);
    std::u16string path;
    if (HRESULT hr = ModulePath(&path); FAILED(hr)) return hr;
    RegistrationLocale locale;
    HRESULT hr = UpdateWithScripts([&](RegistryKey& root) {
        HRESULT result = RunModuleScript(root, ScriptDirection::Register, path);
        for (const ObjectMapEntry& entry : m_objectMap) {
            if (FAILED(result)) break;
            result = RunClassScript(root, ScriptDirection::Register, *entry.registration, path);
        }
        return result;
    });
    if (SUCCEEDED(hr)) {
        std::u16string helpDir = std::filesystem::path(Utf16ToUtf8(path)).parent_path().u16string();
        const TypeLibDesc& lib = CalyraTypeLibDescription();
        hr = RegisterTypeLibKeys(*lib.libid, lib.majorVersion, lib.minorVersion, Utf8ToUtf16(lib.name), path, helpDir);
    }
    return hr;
}

HRESULT CCalyraModule::UnregisterServer() {
    if (!m_bReady) return E_UNEXPECTED;
    CriticalSectionLock lock(m_csModule);
    std::u16string path;
    if (HRESULT hr = ModulePath(&path); FAILED(hr)) return hr;
    RegistrationLocale locale;
    HRESULT hr = UpdateWithScripts([&](RegistryKey& root) {
        HRESULT result = S_OK;
        for (auto it = m_objectMap.rbegin(); SUCCEEDED(result) && it != m_objectMap.rend(); ++it)
            result = RunClassScript(root, ScriptDirection::Unregister, *it->registration, path);
        return result;
    });
    if (SUCCEEDED(hr)) {
        const TypeLibDesc& lib = CalyraTypeLibDescription();
        hr = UnRegisterTypeLib(*lib.libid, lib.majorVersion, lib.minorVersion, 0, kModuleSysKind);
    }
    if (SUCCEEDED(hr)) {
        hr = UpdateWithScripts(
            [&](RegistryKey& root) { return RunModuleScript(root, ScriptDirection::Unregister, path); });
    }
    return hr;
}

}  // namespace calyra
