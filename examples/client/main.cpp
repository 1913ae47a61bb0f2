// A small Calyra client: registers the component module, creates the
// management object, opens (or creates) a database file and manages its
// device profiles.
//
//   calyra-example DBFILE [MODULE]
//
// Registration goes into the registry store named by CALYRA_REGISTRY when
// it is set (a private file), otherwise into the user's own.
#include <calyra/calyra.h>

#ifndef _WIN32
#include <dlfcn.h>
#endif

#include <cstdio>
#include <string>

using calyra::Bstr;
using calyra::ComPtr;

namespace {

#ifdef _WIN32
// What regsvr32 does: load the module and call its DllRegisterServer.
HRESULT RegisterModule(const char* path) {
    HMODULE module = LoadLibraryExA(path, nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
    if (!module) {
        std::fprintf(stderr, "cannot load %s: error %lu\n", path, GetLastError());
        return E_FAIL;
    }
    using RegisterFn = HRESULT(STDAPICALLTYPE*)();
    auto reg = reinterpret_cast<RegisterFn>(reinterpret_cast<void*>(GetProcAddress(module, "DllRegisterServer")));
    HRESULT hr = reg ? reg() : E_FAIL;
    FreeLibrary(module);
    return hr;
}
#else
// What calyra-regsvr does: load the module and call its DllRegisterServer.
HRESULT RegisterModule(const char* path) {
    void* module = dlopen(path, RTLD_NOW | RTLD_LOCAL);
    if (!module) {
        std::fprintf(stderr, "cannot load %s: %s\n", path, dlerror());
        return E_FAIL;
    }
    using RegisterFn = HRESULT (*)();
    auto reg = reinterpret_cast<RegisterFn>(dlsym(module, "DllRegisterServer"));
    HRESULT hr = reg ? reg() : E_FAIL;
    dlclose(module);
    return hr;
}
#endif

int Fail(const char* what, HRESULT hr, LONG err) {
    std::fprintf(stderr, "%s failed: HRESULT 0x%08X, error ID 0x%X\n", what, static_cast<unsigned>(hr),
                 static_cast<unsigned>(err));
    return 1;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: calyra-example DBFILE [MODULE]\n");
        return 2;
    }
    const char* modulePath = argc > 2 ? argv[2] : CALYRA_MODULE;
    HRESULT hr = RegisterModule(modulePath);
    if (FAILED(hr)) return Fail("DllRegisterServer", hr, 0);

    CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    int status = 0;
    {
        ComPtr<IPimManagement> mgmt;
        hr = CoCreateInstance(CLSID_PimManagement, nullptr, CLSCTX_ALL, IID_IPimManagement,
                              reinterpret_cast<void**>(&mgmt));
        if (FAILED(hr)) return Fail("CoCreateInstance(PimManagement)", hr, 0);

        LONG err = 0;
        hr = mgmt->OpenPimDatabase(&err, Bstr(u"example"), Bstr(u"example"), Bstr::FromUtf8(argv[1]));
        if (FAILED(hr)) return Fail("OpenPimDatabase", hr, err);

        ComPtr<IProfileAccess> profiles;
        hr = mgmt->GetProfileAccess(&err, &profiles);
        if (FAILED(hr)) return Fail("GetProfileAccess", hr, err);

        tagProfileInfo info{};
        Bstr name(u"Example phone"), model(u"X1");
        info.bstrName = name;
        info.bstrModel = model;
        Bstr id;
        hr = profiles->AddProfile(&err, &info, &id);
        if (FAILED(hr)) return Fail("AddProfile", hr, err);
        std::printf("added profile %s\n", id.utf8().c_str());

        LONG count = 0;
        hr = profiles->GetNumOfProfiles(&err, &count);
        if (FAILED(hr)) return Fail("GetNumOfProfiles", hr, err);
        for (LONG i = 0; i < count; ++i) {
            tagProfileInfo p{};
            if (SUCCEEDED(profiles->GetProfileByIndex(&err, i, &p))) {
                std::printf("profile %s: %s\n", Bstr::Attach(p.bstrProfileID).utf8().c_str(),
                            Bstr::Attach(p.bstrName).utf8().c_str());
                SysFreeString(p.bstrIMEI);
                SysFreeString(p.bstrSN);
                SysFreeString(p.bstrHXRID);
                SysFreeString(p.bstrModel);
            }
        }
        hr = mgmt->SetCurrentProfile(&err, id);
        if (FAILED(hr)) return Fail("SetCurrentProfile", hr, err);
        mgmt->ClosePimDatabase(&err);
        std::printf("%ld profile(s)\n", static_cast<long>(count));
        status = count > 0 ? 0 : 1;
    }
    CoUninitialize();
    return status;
}
