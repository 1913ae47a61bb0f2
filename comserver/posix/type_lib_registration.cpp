// Type-library keys in the registry store.
#include "comserver/type_lib_registration.h"

#include <cstdio>
#include <string>

#include "platform/bstr.h"
#include "platform/system/registry.h"

namespace {

using calyra::RegistryKey;

std::u16string GuidText(REFGUID guid) {
    OLECHAR text[39];
    StringFromGUID2(guid, text, 39);
    return std::u16string(text, 38);
}

// "1.0": the version key's name, in hexadecimal as Windows writes it.
std::u16string VersionText(WORD major, WORD minor) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "%x.%x", static_cast<unsigned>(major), static_cast<unsigned>(minor));
    return calyra::Utf8ToUtf16(buf);
}

}  // namespace

namespace calyra {

HRESULT RegisterTypeLibKeys(REFGUID libid, WORD wVerMajor, WORD wVerMinor, std::u16string_view name,
                            std::u16string_view fullPath, std::u16string_view helpDir) {
    if (fullPath.empty()) return E_INVALIDARG;
    LONG rc = UpdateRegistry([&](RegistryKey& root) {
        RegistryKey& version =
            root.Create(u"TypeLib").Create(GuidText(libid)).Create(VersionText(wVerMajor, wVerMinor));
        version.SetValue(u"", name);
        version.Create(u"0").Create(u"win32").SetValue(u"", fullPath);
        version.Create(u"FLAGS").SetValue(u"", u"0");
        version.Create(u"HELPDIR").SetValue(u"", helpDir);
        return ERROR_SUCCESS;
    });
    return rc == ERROR_SUCCESS ? S_OK : TYPE_E_REGISTRYACCESS;
}

}  // namespace calyra

extern "C" HRESULT RegisterTypeLib(ITypeLib* ptlib, LPCOLESTR szFullPath, LPCOLESTR szHelpDir) {
    if (!ptlib || !szFullPath) return E_INVALIDARG;
    GUID libid;
    const calyra::TypeLibDesc* desc = nullptr;
    if (HRESULT hr = ptlib->GetLibGuid(&libid); FAILED(hr)) return hr;
    if (HRESULT hr = ptlib->GetDescription(&desc); FAILED(hr)) return hr;
    if (!desc) return E_UNEXPECTED;
    return calyra::RegisterTypeLibKeys(libid, desc->majorVersion, desc->minorVersion,
                                       calyra::Utf8ToUtf16(desc->name ? desc->name : ""), szFullPath,
                                       szHelpDir ? std::u16string_view(szHelpDir) : std::u16string_view());
}

extern "C" HRESULT UnRegisterTypeLib(REFGUID libID, WORD wVerMajor, WORD wVerMinor, LCID /*lcid*/,
                                     SYSKIND /*syskind*/) {
    LONG rc = calyra::UpdateRegistry([&](RegistryKey& root) {
        RegistryKey* typeLibs = root.Find(u"TypeLib");
        RegistryKey* library = typeLibs ? typeLibs->Find(GuidText(libID)) : nullptr;
        if (!library) return ERROR_SUCCESS;
        library->Remove(VersionText(wVerMajor, wVerMinor));
        if (!library->HasSubkeys()) typeLibs->Remove(GuidText(libID));
        if (!typeLibs->HasSubkeys()) root.Remove(u"TypeLib");
        return ERROR_SUCCESS;
    });
    return rc == ERROR_SUCCESS ? S_OK : TYPE_E_REGISTRYACCESS;
}
