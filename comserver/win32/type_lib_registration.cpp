// Registering the module's type library on Windows: the library is the
// TYPELIB resource of the module named by the path, and the system's
// RegisterTypeLib writes its keys.
#include "comserver/type_lib_registration.h"

#include <string>

#include "platform/windows_sdk.h"

namespace calyra {

HRESULT RegisterTypeLibKeys(REFGUID libid, WORD wVerMajor, WORD wVerMinor, std::u16string_view /*name*/,
                            std::u16string_view fullPath, std::u16string_view helpDir) {
    if (fullPath.empty()) return E_INVALIDARG;
    std::u16string path(fullPath), help(helpDir);
    ITypeLib* typeLib = nullptr;
    HRESULT hr = LoadTypeLibEx(AsOle(path.c_str()), REGKIND_NONE, &typeLib);
    if (FAILED(hr)) return hr;
    // The resource must be the library the module's code was built with.
    TLIBATTR* attr = nullptr;
    hr = typeLib->GetLibAttr(&attr);
    if (SUCCEEDED(hr)) {
        bool same =
            IsEqualGUID(attr->guid, libid) && attr->wMajorVerNum == wVerMajor && attr->wMinorVerNum == wVerMinor;
        typeLib->ReleaseTLibAttr(attr);
        hr = same ? RegisterTypeLib(typeLib, AsOle(path.data()), help.empty() ? nullptr : AsOle(help.data()))
                  : TYPE_E_LIBNOTREGISTERED;
    }
    typeLib->Release();
    return hr;
}

}  // namespace calyra
