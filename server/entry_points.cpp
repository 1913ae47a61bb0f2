// The module's exported entry points; each forwards to the module object.
#include "server/entry_points.h"

#include "server/calyra_module.h"

#ifdef _WIN32
#define CALYRA_EXPORT  // Calyra.def lists the module's exports
#else
#define CALYRA_EXPORT __attribute__((visibility("default")))
#endif

extern "C" CALYRA_EXPORT HRESULT DllGetClassObject(REFCLSID rclsid, REFIID riid, void** ppv) {
    return calyra::Module().GetClassObject(rclsid, riid, ppv);
}

extern "C" CALYRA_EXPORT HRESULT DllCanUnloadNow() { return calyra::Module().CanUnloadNow(); }

extern "C" CALYRA_EXPORT HRESULT DllRegisterServer() { return calyra::Module().RegisterServer(); }

extern "C" CALYRA_EXPORT HRESULT DllUnregisterServer() { return calyra::Module().UnregisterServer(); }
