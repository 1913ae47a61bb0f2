// The four entry points the component module (Calyra.so) exports with C
// linkage, and their pointer types for callers that look them up with
// dlsym. They are all the module exports; everything else inside it is
// hidden.
//
// DllGetClassObject hands out a new class object reference (the caller
// releases it). All four may be called from any thread.
#pragma once

#include "platform/guid.h"
#include "platform/hresult.h"

extern "C" {
// The class object of a class of the module; CLASS_E_CLASSNOTAVAILABLE for
// a class the module does not serve.
HRESULT DllGetClassObject(REFCLSID rclsid, REFIID riid, void** ppv);
// S_OK when no object and no server lock of the module is alive, else
// S_FALSE.
HRESULT DllCanUnloadNow();
// Writes the module's registration data and type library keys.
HRESULT DllRegisterServer();
// Removes what DllRegisterServer wrote.
HRESULT DllUnregisterServer();
}

using PFN_DllGetClassObject = HRESULT (*)(REFCLSID, REFIID, void**);
using PFN_DllCanUnloadNow = HRESULT (*)();
using PFN_DllRegisterServer = HRESULT (*)();
using PFN_DllUnregisterServer = HRESULT (*)();
