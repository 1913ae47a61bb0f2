// A client process for the multi-process tests: registers the module, opens
// a database file through the management object and then either adds
// profiles one at a time, printing the ID of each one the component
// acknowledged (and flushing), so a test that kills it knows exactly which
// writes it was promised; or reads the profile list over and over, printing
// each count.
//
//   calyra_test_pim_writer add|read DBFILE COUNT [NAME-PREFIX]
//
// COUNT 0 goes on until killed. Exits 0 after COUNT calls, 1 on any failure
// (the failing call's HRESULT and error ID on stderr). The registry store
// is the one CALYRA_REGISTRY names.
#include <dlfcn.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "idl/calyra_idl.h"
#include "platform/bstr.h"
#include "platform/com_ptr.h"
#include "platform/com_runtime.h"

using calyra::Bstr;
using calyra::ComPtr;

namespace {

int Fail(const char* what, HRESULT hr, LONG err) {
    std::fprintf(stderr, "%s failed: HRESULT 0x%08X, error ID 0x%X\n", what, static_cast<unsigned>(hr),
                 static_cast<unsigned>(err));
    return 1;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 4) {
        std::fprintf(stderr, "usage: calyra_test_pim_writer add|read DBFILE COUNT [NAME-PREFIX]\n");
        return 2;
    }
    bool reading = std::string(argv[1]) == "read";
    const char* file = argv[2];
    long count = std::strtol(argv[3], nullptr, 10);
    std::string prefix = argc > 4 ? argv[4] : "P" + std::to_string(getpid());

    void* module = dlopen(CALYRA_MODULE_PATH, RTLD_NOW | RTLD_LOCAL);
    if (!module) return Fail("dlopen", E_FAIL, 0);
    auto registerServer = reinterpret_cast<HRESULT (*)()>(dlsym(module, "DllRegisterServer"));
    HRESULT hr = registerServer ? registerServer() : E_FAIL;
    if (FAILED(hr)) return Fail("DllRegisterServer", hr, 0);

    ComPtr<IPimManagement> mgmt;
    hr =
        CoCreateInstance(CLSID_PimManagement, nullptr, CLSCTX_ALL, IID_IPimManagement, reinterpret_cast<void**>(&mgmt));
    if (FAILED(hr)) return Fail("CoCreateInstance", hr, 0);
    LONG err = 0;
    hr = mgmt->OpenPimDatabase(&err, Bstr(u"u"), Bstr(u"p"), Bstr::FromUtf8(file));
    if (FAILED(hr)) return Fail("OpenPimDatabase", hr, err);
    ComPtr<IProfileAccess> profiles;
    hr = mgmt->GetProfileAccess(&err, &profiles);
    if (FAILED(hr)) return Fail("GetProfileAccess", hr, err);

    for (long i = 0; reading && (count == 0 || i < count); ++i) {
        LONG rows = 0;
        hr = profiles->GetNumOfProfiles(&err, &rows);
        if (FAILED(hr)) return Fail("GetNumOfProfiles", hr, err);
        std::printf("%ld\n", static_cast<long>(rows));
        std::fflush(stdout);
    }
    for (long i = 0; !reading && (count == 0 || i < count); ++i) {
        Bstr name = Bstr::FromUtf8(prefix + "-" + std::to_string(i));
        tagProfileInfo info{};
        info.bstrName = name;
        Bstr id;
        hr = profiles->AddProfile(&err, &info, &id);
        if (FAILED(hr)) return Fail("AddProfile", hr, err);
        std::printf("%s\n", id.utf8().c_str());
        std::fflush(stdout);
    }
    mgmt->ClosePimDatabase(nullptr);
    return 0;
}
