// calyra-regsvr: writes a component module's registration into the
// registry store, or removes it.
//
//   calyra-regsvr MODULE       loads MODULE and calls its DllRegisterServer
//   calyra-regsvr /u MODULE    calls its DllUnregisterServer (also -u)
//
// The registry store is the one the runtime uses (CALYRA_REGISTRY or the
// user's default, see platform/system/registry.h). Prints the outcome with the
// status code in hexadecimal (and what is wrong with the registry file when
// it cannot be read); exits 0 on success, 1 on failure, 2 on a usage error.
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

#include <dlfcn.h>

#include "platform/hresult.h"
#include "platform/system/registry.h"

namespace {

int Usage() {
    std::fprintf(stderr,
                 "usage: calyra-regsvr [/u] MODULE\n"
                 "  registers the component module MODULE (or unregisters it with /u)\n");
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    bool unregister = false;
    const char* module = nullptr;
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        if (arg == "/u" || arg == "/U" || arg == "-u") {
            unregister = true;
        } else if (arg == "-h" || arg == "--help" || arg == "/?") {
            Usage();
            return 0;
        } else if (!module) {
            module = argv[i];
        } else {
            return Usage();
        }
    }
    if (!module) return Usage();

    // A bare file name means the file in the current directory, not one
    // found on the library search path.
    std::string path = std::strchr(module, '/') ? module : std::string("./") + module;
    const char* entry = unregister ? "DllUnregisterServer" : "DllRegisterServer";

    void* handle = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!handle) {
        std::fprintf(stderr, "calyra-regsvr: cannot load %s: %s\n", module, ::dlerror());
        return 1;
    }
    auto fn = reinterpret_cast<HRESULT (*)()>(::dlsym(handle, entry));
    if (!fn) {
        std::fprintf(stderr, "calyra-regsvr: %s has no entry point %s; it is not a component module\n", module, entry);
        ::dlclose(handle);
        return 1;
    }
    HRESULT hr = fn();
    if (FAILED(hr)) {
        std::fprintf(stderr, "calyra-regsvr: %s in %s failed: 0x%08X\n", entry, module, static_cast<unsigned>(hr));
        // The status alone does not say what is wrong with a registry file.
        std::shared_ptr<const calyra::RegistryKey> root;
        std::string why;
        if (calyra::ReadRegistry(&root, &why) != ERROR_SUCCESS)
            std::fprintf(stderr, "calyra-regsvr: %s\n", why.c_str());
        ::dlclose(handle);
        return 1;
    }
    std::printf("calyra-regsvr: %s in %s succeeded (0x%08X).\n", entry, module, static_cast<unsigned>(hr));
    ::dlclose(handle);
    return 0;
}
