// The component object model runtime: thread initialisation, creation of
// objects by class identifier through the registry, programmatic
// identifiers and task-memory allocation, with the Win32 names.
//
// Creation works as on Windows: CoCreateInstance looks the class up under
// CLSID\{clsid}\InprocServer32 in the registry store (registry.h), loads the
// module named there once per process, asks its DllGetClassObject for the
// class object and lets it create the instance. There is no back door for
// classes that are not registered, so the component's own objects are
// created exactly the way a client creates them.
//
// Apartments: this runtime has no message loops or proxies, so every thread
// behaves as if it were in the multithreaded apartment. CoInitializeEx and
// CoUninitialize keep the per-thread count and the chosen model (a second
// call with another model is refused as on Windows), but the other calls do
// not require them: a thread that never called CoInitializeEx may create
// objects as well.
//
// Ownership: interface pointers handed out carry one reference for the
// caller; ProgIDFromCLSID's text is CoTaskMemAlloc'd and freed by the caller
// with CoTaskMemFree. Loaded modules stay loaded until CoFreeUnusedLibraries
// finds that they agree to unload (DllCanUnloadNow) or the process ends.
// Thread-safety: every call may be made from any thread at any time.
#pragma once

#include <cstddef>

#include "platform/guid.h"
#include "platform/hresult.h"
#include "platform/types.h"
#include "platform/unknown.h"

#ifdef _WIN32
#include "platform/windows_sdk.h"
#else
using SIZE_T = std::size_t;
using LPCLSID = CLSID*;

// Thread models of CoInitializeEx. FROZEN values.
enum COINIT : DWORD {
    COINIT_MULTITHREADED = 0x0,
    COINIT_APARTMENTTHREADED = 0x2,
    COINIT_DISABLE_OLE1DDE = 0x4,
    COINIT_SPEED_OVER_MEMORY = 0x8,
};

// Server contexts of CoCreateInstance and CoGetClassObject. Only in-process
// servers exist here; a context without CLSCTX_INPROC_SERVER finds no
// server. FROZEN values.
enum CLSCTX : DWORD {
    CLSCTX_INPROC_SERVER = 0x1,
    CLSCTX_INPROC_HANDLER = 0x2,
    CLSCTX_LOCAL_SERVER = 0x4,
    CLSCTX_REMOTE_SERVER = 0x10,
    CLSCTX_SERVER = CLSCTX_INPROC_SERVER | CLSCTX_LOCAL_SERVER | CLSCTX_REMOTE_SERVER,
    CLSCTX_ALL = CLSCTX_SERVER | CLSCTX_INPROC_HANDLER,
};

constexpr DWORD INFINITE = 0xFFFFFFFF;

// CoInitializeEx on a thread already initialised with the other model.
constexpr HRESULT RPC_E_CHANGED_MODE = static_cast<HRESULT>(0x80010106u);

// The entry points a module exports, as CoGetClassObject calls them.
using LPFNGETCLASSOBJECT = HRESULT (*)(REFCLSID rclsid, REFIID riid, LPVOID* ppv);
using LPFNCANUNLOADNOW = HRESULT (*)();

extern "C" {
// Counted per thread: the first call returns S_OK, later ones S_FALSE (each
// needs its CoUninitialize), and a call naming the other model returns
// RPC_E_CHANGED_MODE without counting. dwCoInit combines one COINIT model
// with the hint flags; pvReserved must be NULL.
HRESULT CoInitializeEx(LPVOID pvReserved, DWORD dwCoInit);
// CoInitializeEx(NULL, COINIT_APARTMENTTHREADED).
HRESULT CoInitialize(LPVOID pvReserved);
// Ends one CoInitializeEx of this thread; does nothing on a thread that is
// not initialised.
void CoUninitialize();

// The class object of a registered class. REGDB_E_CLASSNOTREG when the
// class is not registered for the context (or the registry has no module
// path for it), REGDB_E_READREGDB when the registry store cannot be read,
// CO_E_DLLNOTFOUND when the module file does not exist, CO_E_ERRORINDLL when
// it cannot be loaded or exports no DllGetClassObject; otherwise the
// module's own answer (CLASS_E_CLASSNOTAVAILABLE for a class it lacks).
// pvServerInfo (a remote server description) must be NULL.
HRESULT CoGetClassObject(REFCLSID rclsid, DWORD dwClsContext, LPVOID pvServerInfo, REFIID riid, LPVOID* ppv);
// CoGetClassObject, then IClassFactory::CreateInstance. *ppv is NULL on any
// failure. With pUnkOuter the object becomes part of that outer object and
// riid must be IID_IUnknown (CLASS_E_NOAGGREGATION otherwise).
HRESULT CoCreateInstance(REFCLSID rclsid, IUnknown* pUnkOuter, DWORD dwClsContext, REFIID riid, LPVOID* ppv);
// Unloads loaded modules that no longer need to stay. A module is unloaded
// only when its DllCanUnloadNow has answered S_OK on an earlier call and
// again now, at least dwUnloadDelay milliseconds later, with no class
// object handed out in between: the grace period lets a thread finish
// returning from an object's last Release before the module's code goes
// away. INFINITE (or the plain call) means the default delay of ten
// minutes; dwReserved must be 0.
void CoFreeUnusedLibrariesEx(DWORD dwUnloadDelay, DWORD dwReserved);
void CoFreeUnusedLibraries();

// "Calyra.PimDbAccess" -> its CLSID (the ProgID key's CLSID subkey).
// CO_E_CLASSSTRING when the ProgID is not registered or its CLSID text is
// malformed; REGDB_E_READREGDB when the registry store cannot be read.
HRESULT CLSIDFromProgID(LPCOLESTR lpszProgID, LPCLSID lpclsid);
// The class's version-dependent ProgID (CLSID\{clsid}\ProgID), allocated
// with CoTaskMemAlloc. REGDB_E_CLASSNOTREG when there is none.
HRESULT ProgIDFromCLSID(REFCLSID clsid, LPOLESTR* lplpszProgID);

// Task memory: memory handed between a component and its client. Never
// NULL for a successful request of 0 bytes; CoTaskMemFree(NULL) is a no-op.
LPVOID CoTaskMemAlloc(SIZE_T cb);
LPVOID CoTaskMemRealloc(LPVOID pv, SIZE_T cb);
void CoTaskMemFree(LPVOID pv);
}
#endif  // _WIN32
