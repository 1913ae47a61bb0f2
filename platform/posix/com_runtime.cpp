// Creation of objects through the registry and loaded modules, thread
// initialisation, ProgIDs and task memory.
#include "platform/com_runtime.h"

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include <dlfcn.h>
#include <sys/stat.h>

#include "platform/bstr.h"
#include "platform/system/registry.h"

namespace {

using calyra::RegistryKey;

// ---- Thread initialisation ------------------------------------------------

struct ThreadInit {
    ULONG count = 0;  // CoInitializeEx calls not yet undone; this thread only
    DWORD model = COINIT_MULTITHREADED;
};
thread_local ThreadInit t_init;

// ---- Loaded modules ----------------------------------------------------------

struct LoadedModule {
    std::string path;  // as registered
    void* handle;
    LPFNGETCLASSOBJECT getClassObject;
    LPFNCANUNLOADNOW canUnloadNow;  // NULL when the module does not export it
    // When the module first agreed to unload, while it has kept agreeing
    // since; empty otherwise.
    std::optional<std::chrono::steady_clock::time_point> idleSince;
};

// How long a module must keep agreeing to unload before CoFreeUnusedLibraries
// unloads it.
constexpr std::chrono::milliseconds kDefaultUnloadDelay = std::chrono::minutes(10);

struct ModuleTable {
    // Recursive, so a module whose DllGetClassObject creates objects itself
    // cannot deadlock the runtime.
    std::recursive_mutex mutex;
    std::vector<LoadedModule> modules;  // Guarded by mutex.
};

ModuleTable& Modules() {
    static ModuleTable* table = new ModuleTable;  // never destroyed: objects may be released during exit
    return *table;
}

std::u16string GuidText(REFGUID guid) {
    OLECHAR text[39];
    StringFromGUID2(guid, text, 39);
    return std::u16string(text, 38);
}

// The default value of a key of the registry, by path.
HRESULT ReadRegistryText(const std::vector<std::u16string>& path, std::u16string* text, HRESULT missing) {
    std::shared_ptr<const RegistryKey> root;
    if (calyra::ReadRegistry(&root) != ERROR_SUCCESS) return REGDB_E_READREGDB;
    const RegistryKey* key = root->FindPath(path);
    const std::u16string* value = key ? key->Value(u"") : nullptr;
    if (!value || value->empty()) return missing;
    *text = *value;
    return S_OK;
}

// The loaded module of that path, loading it on first use.
// REQUIRES: Modules().mutex held.
HRESULT LoadModule(const std::string& path, LoadedModule** module) {
    ModuleTable& table = Modules();
    for (LoadedModule& m : table.modules) {
        if (m.path == path) {
            *module = &m;
            return S_OK;
        }
    }
    struct stat st;
    if (::stat(path.c_str(), &st) != 0) return CO_E_DLLNOTFOUND;
    void* handle = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!handle) return CO_E_ERRORINDLL;
    auto getClassObject = reinterpret_cast<LPFNGETCLASSOBJECT>(::dlsym(handle, "DllGetClassObject"));
    if (!getClassObject) {
        ::dlclose(handle);
        return CO_E_ERRORINDLL;
    }
    auto canUnloadNow = reinterpret_cast<LPFNCANUNLOADNOW>(::dlsym(handle, "DllCanUnloadNow"));
    table.modules.push_back(LoadedModule{path, handle, getClassObject, canUnloadNow, std::nullopt});
    *module = &table.modules.back();
    return S_OK;
}

}  // namespace

extern "C" HRESULT CoInitializeEx(LPVOID pvReserved, DWORD dwCoInit) {
    if (pvReserved) return E_INVALIDARG;
    DWORD model = dwCoInit & COINIT_APARTMENTTHREADED;
    if (t_init.count == 0) {
        t_init.model = model;
        t_init.count = 1;
        return S_OK;
    }
    if (t_init.model != model) return RPC_E_CHANGED_MODE;
    ++t_init.count;
    return S_FALSE;
}

extern "C" HRESULT CoInitialize(LPVOID pvReserved) { return CoInitializeEx(pvReserved, COINIT_APARTMENTTHREADED); }

extern "C" void CoUninitialize() {
    if (t_init.count > 0) --t_init.count;
}

extern "C" HRESULT CoGetClassObject(REFCLSID rclsid, DWORD dwClsContext, LPVOID pvServerInfo, REFIID riid,
                                    LPVOID* ppv) {
    if (!ppv) return E_INVALIDARG;
    *ppv = nullptr;
    if (pvServerInfo) return E_INVALIDARG;
    if (!(dwClsContext & CLSCTX_INPROC_SERVER)) return REGDB_E_CLASSNOTREG;

    std::u16string server;
    HRESULT hr = ReadRegistryText({u"CLSID", GuidText(rclsid), u"InprocServer32"}, &server, REGDB_E_CLASSNOTREG);
    if (FAILED(hr)) return hr;

    ModuleTable& table = Modules();
    std::lock_guard lock(table.mutex);
    LoadedModule* module = nullptr;
    if (hr = LoadModule(calyra::Utf16ToUtf8(server), &module); FAILED(hr)) return hr;
    module->idleSince.reset();
    // Called under the table's lock so the module cannot be unloaded before
    // the class object it hands out holds the module's lock count.
    hr = module->getClassObject(rclsid, riid, ppv);
    if (FAILED(hr)) *ppv = nullptr;
    return hr;
}

extern "C" HRESULT CoCreateInstance(REFCLSID rclsid, IUnknown* pUnkOuter, DWORD dwClsContext, REFIID riid,
                                    LPVOID* ppv) {
    if (!ppv) return E_INVALIDARG;
    *ppv = nullptr;
    if (pUnkOuter && !IsEqualIID(riid, IID_IUnknown)) return CLASS_E_NOAGGREGATION;
    IClassFactory* factory = nullptr;
    HRESULT hr = CoGetClassObject(rclsid, dwClsContext, nullptr, IID_IClassFactory, reinterpret_cast<void**>(&factory));
    if (FAILED(hr)) return hr;
    hr = factory->CreateInstance(pUnkOuter, riid, ppv);
    factory->Release();
    if (FAILED(hr)) *ppv = nullptr;
    return hr;
}

extern "C" void CoFreeUnusedLibrariesEx(DWORD dwUnloadDelay, DWORD /*dwReserved*/) {
    const auto delay = dwUnloadDelay == INFINITE ? kDefaultUnloadDelay : std::chrono::milliseconds(dwUnloadDelay);
    const auto now = std::chrono::steady_clock::now();
    ModuleTable& table = Modules();
    std::lock_guard lock(table.mutex);
    for (auto it = table.modules.begin(); it != table.modules.end();) {
        if (!it->canUnloadNow || it->canUnloadNow() != S_OK) {
            it->idleSince.reset();
        } else if (!it->idleSince) {
            it->idleSince = now;
        } else if (now - *it->idleSince >= delay) {
            ::dlclose(it->handle);
            it = table.modules.erase(it);
            continue;
        }
        ++it;
    }
}

extern "C" void CoFreeUnusedLibraries() { CoFreeUnusedLibrariesEx(INFINITE, 0); }

extern "C" HRESULT CLSIDFromProgID(LPCOLESTR lpszProgID, LPCLSID lpclsid) {
    if (!lpszProgID || !lpclsid) return E_INVALIDARG;
    std::u16string progID(lpszProgID);
    if (!calyra::IsValidKeyName(progID)) return CO_E_CLASSSTRING;
    std::u16string text;
    HRESULT hr = ReadRegistryText({progID, u"CLSID"}, &text, CO_E_CLASSSTRING);
    if (FAILED(hr)) return hr;
    CLSID clsid;
    if (FAILED(CLSIDFromString(text.c_str(), &clsid))) return CO_E_CLASSSTRING;
    *lpclsid = clsid;
    return S_OK;
}

extern "C" HRESULT ProgIDFromCLSID(REFCLSID clsid, LPOLESTR* lplpszProgID) {
    if (!lplpszProgID) return E_INVALIDARG;
    *lplpszProgID = nullptr;
    std::u16string progID;
    HRESULT hr = ReadRegistryText({u"CLSID", GuidText(clsid), u"ProgID"}, &progID, REGDB_E_CLASSNOTREG);
    if (FAILED(hr)) return hr;
    std::size_t bytes = (progID.size() + 1) * sizeof(OLECHAR);
    auto* out = static_cast<LPOLESTR>(CoTaskMemAlloc(bytes));
    if (!out) return E_OUTOFMEMORY;
    std::memcpy(out, progID.c_str(), bytes);
    *lplpszProgID = out;
    return S_OK;
}

extern "C" LPVOID CoTaskMemAlloc(SIZE_T cb) { return std::malloc(cb ? cb : 1); }

extern "C" LPVOID CoTaskMemRealloc(LPVOID pv, SIZE_T cb) { return std::realloc(pv, cb ? cb : 1); }

extern "C" void CoTaskMemFree(LPVOID pv) { std::free(pv); }
