// The runtime's thread initialisation, its lookups in the registry and the
// failures a client sees before any module runs. Creation through a real
// module, and ProgIDs that resolve, are tested with the component's module
// (tests/server).
#include "platform/com_runtime.h"

#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <thread>

#include <dlfcn.h>

#include "platform/bstr.h"
#include "platform/system/registry.h"
#include "support/private_registry.h"

namespace calyra {
namespace {

constexpr CLSID kClsid = {0x11111111, 0x2222, 0x3333, {0x44, 0x44, 0x55, 0x55, 0x55, 0x55, 0x55, 0x55}};
constexpr char16_t kClsidText[] = u"{11111111-2222-3333-4444-555555555555}";

class ComRuntimeTest : public ::testing::Test {
protected:
    // Writes the default value of a key, creating the key.
    static void SetDefault(const std::u16string& path, const std::u16string& value) {
        ASSERT_EQ(test::PrivateRegistry::Apply([&](RegistryKey& root) {
                      std::vector<std::u16string> names;
                      SplitKeyPath(path, &names);
                      RegistryKey* key = &root;
                      for (const auto& name : names) key = &key->Create(name);
                      key->SetValue(u"", value);
                  }),
                  ERROR_SUCCESS);
    }

    // Creation must leave the out-pointer NULL whatever it held.
    static HRESULT Create(DWORD context = CLSCTX_ALL) {
        void* object = reinterpret_cast<void*>(0x1);
        HRESULT hr = CoCreateInstance(kClsid, nullptr, context, IID_IUnknown, &object);
        EXPECT_EQ(object, nullptr);
        return hr;
    }

    test::PrivateRegistry m_registry;
    const test::TempDir& m_dir = m_registry.dir();
};

TEST(ComRuntimeInit, CountsPerThreadAndRefusesAModelChange) {
    EXPECT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), S_OK);
    EXPECT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED | COINIT_DISABLE_OLE1DDE), S_FALSE);
    EXPECT_EQ(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED), RPC_E_CHANGED_MODE);
    // Another thread has a count of its own.
    std::thread([] {
        EXPECT_EQ(CoInitialize(nullptr), S_OK);
        CoUninitialize();
    }).join();
    CoUninitialize();
    CoUninitialize();
    CoUninitialize();  // one more than initialised: ignored
    EXPECT_EQ(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED), S_OK);
    CoUninitialize();
    int reserved = 0;
    EXPECT_EQ(CoInitializeEx(&reserved, COINIT_MULTITHREADED), E_INVALIDARG);
}

// A CLSID key without a module path is not a registration; a module that
// does not load, or loads and is no component module, is told apart.
TEST_F(ComRuntimeTest, UnregisteredClassesAndModuleLoadFailuresAreTold) {
    EXPECT_EQ(Create(), REGDB_E_CLASSNOTREG);
    SetDefault(std::u16string(u"CLSID\\") + kClsidText, u"Some Class");
    EXPECT_EQ(Create(), REGDB_E_CLASSNOTREG);
    std::ofstream(m_dir.file("text.so")) << "not a shared object";
    Dl_info library;  // a real shared library
    ASSERT_NE(dladdr(reinterpret_cast<void*>(&SysAllocString), &library), 0);
    const std::pair<std::string, HRESULT> servers[] = {
        {"", REGDB_E_CLASSNOTREG},
        {m_dir.file("missing.so").string(), CO_E_DLLNOTFOUND},
        {m_dir.file("text.so").string(), CO_E_ERRORINDLL},
        {library.dli_fname, CO_E_ERRORINDLL},
    };
    for (const auto& [path, hr] : servers) {
        SetDefault(std::u16string(u"CLSID\\") + kClsidText + u"\\InprocServer32", Utf8ToUtf16(path));
        EXPECT_EQ(Create(), hr) << path;
    }
}

TEST_F(ComRuntimeTest, BadArgumentsAreRefused) {
    EXPECT_EQ(CoCreateInstance(kClsid, nullptr, CLSCTX_ALL, IID_IUnknown, nullptr), E_INVALIDARG);
    // An aggregated object is only ever asked for its inner IUnknown.
    IUnknown* outer = reinterpret_cast<IUnknown*>(0x10);
    void* object = reinterpret_cast<void*>(0x1);
    EXPECT_EQ(CoCreateInstance(kClsid, outer, CLSCTX_ALL, IID_IDispatch, &object), CLASS_E_NOAGGREGATION);
    EXPECT_EQ(object, nullptr);
}

TEST_F(ComRuntimeTest, CorruptRegistryIsAReadError) {
    std::ofstream(m_dir.file("registry")) << "Calyra Registry 1\n[CLSID\n";
    EXPECT_EQ(Create(), REGDB_E_READREGDB);
    CLSID clsid;
    EXPECT_EQ(CLSIDFromProgID(u"Calyra.PimDbAccess", &clsid), REGDB_E_READREGDB);
}

TEST_F(ComRuntimeTest, UnknownOrMalformedProgIDs) {
    SetDefault(u"Calyra.Broken\\CLSID", u"{not a guid}");
    CLSID clsid = kClsid;
    for (const char16_t* progID : {u"Calyra.Missing", u"Calyra.Broken", u"CLSID\\x", u""})
        EXPECT_EQ(CLSIDFromProgID(progID, &clsid), CO_E_CLASSSTRING) << Utf16ToUtf8(progID);
    EXPECT_EQ(clsid, kClsid);  // untouched on failure
    EXPECT_EQ(CLSIDFromProgID(nullptr, &clsid), E_INVALIDARG);
    EXPECT_EQ(CLSIDFromProgID(u"x", nullptr), E_INVALIDARG);
}

}  // namespace
}  // namespace calyra
