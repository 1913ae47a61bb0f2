// The module holding an address, found with GetModuleHandleExW.
#include "comserver/module_path.h"

#include <vector>

#include "platform/windows_sdk.h"

namespace calyra {

HRESULT ModulePathOf(const void* address, std::u16string* path) {
    HMODULE module = nullptr;
    if (!GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                            static_cast<LPCWSTR>(address), &module))
        return E_UNEXPECTED;
    // Long paths do not fit MAX_PATH; grow until the name is not cut.
    std::vector<wchar_t> name(MAX_PATH);
    for (;;) {
        DWORD length = GetModuleFileNameW(module, name.data(), static_cast<DWORD>(name.size()));
        if (length == 0) return E_UNEXPECTED;
        if (length < name.size()) {
            path->assign(reinterpret_cast<const char16_t*>(name.data()), length);
            return S_OK;
        }
        name.resize(name.size() * 2);
    }
}

}  // namespace calyra
