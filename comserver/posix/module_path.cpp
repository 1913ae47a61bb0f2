// The module holding an address, found with dladdr.
#include "comserver/module_path.h"

#include <climits>
#include <cstdlib>

#include <dlfcn.h>

#include "platform/bstr.h"

namespace calyra {

HRESULT ModulePathOf(const void* address, std::u16string* path) {
    Dl_info info;
    if (!::dladdr(address, &info) || !info.dli_fname) return E_UNEXPECTED;
    char* resolved = ::realpath(info.dli_fname, nullptr);
    if (!resolved) return E_UNEXPECTED;
    *path = Utf8ToUtf16(resolved);
    std::free(resolved);
    return S_OK;
}

}  // namespace calyra
