// Type-library keys in the registry store.
#include "platform/type_lib_registration.h"

#include <gtest/gtest.h>

#include <cstdlib>

#include <sys/stat.h>

#include "platform/registry.h"
#include "support/temp_dir.h"

namespace calyra {
namespace {

constexpr GUID kLibID = {0x00b9bd62, 0xb44f, 0x4d54, {0x87, 0x2c, 0xe9, 0x53, 0x57, 0x5c, 0x01, 0x77}};
constexpr char16_t kLibKey[] = u"TypeLib\\{00B9BD62-B44F-4D54-872C-E953575C0177}";

class TypeLibRegistrationTest : public ::testing::Test {
protected:
    TypeLibRegistrationTest() { setenv("CALYRA_REGISTRY", m_dir.file("registry").c_str(), 1); }
    ~TypeLibRegistrationTest() override { unsetenv("CALYRA_REGISTRY"); }

    static const std::u16string* Default(const std::u16string& path) {
        static std::shared_ptr<const RegistryKey> root;
        EXPECT_EQ(ReadRegistry(&root), ERROR_SUCCESS);
        std::vector<std::u16string> names;
        SplitKeyPath(path, &names);
        const RegistryKey* key = root ? root->FindPath(names) : nullptr;
        return key ? key->Value(u"") : nullptr;
    }

    static bool Exists(const std::u16string& path) {
        HKEY key = nullptr;
        if (RegOpenKeyExW(HKEY_CLASSES_ROOT, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
        RegCloseKey(key);
        return true;
    }

    test::TempDir m_dir;
};

// A library that only answers what registration asks.
struct FakeTypeLib final : ITypeLib {
    TypeLibDesc desc{};
    STDMETHODIMP QueryInterface(REFIID, void** ppv) override {
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return 1; }
    STDMETHODIMP_(ULONG) Release() override { return 1; }
    STDMETHODIMP_(UINT) GetTypeInfoCount() override { return 0; }
    STDMETHODIMP GetTypeInfo(UINT, ITypeInfo**) override { return E_NOTIMPL; }
    STDMETHODIMP GetTypeInfoOfGuid(REFGUID, ITypeInfo**) override { return E_NOTIMPL; }
    STDMETHODIMP GetLibGuid(GUID* guid) override {
        *guid = kLibID;
        return S_OK;
    }
    STDMETHODIMP GetDescription(const TypeLibDesc** ppDesc) override {
        *ppDesc = &desc;
        return S_OK;
    }
};

TEST_F(TypeLibRegistrationTest, RegisteredLibraryNamesItsModule) {
    FakeTypeLib lib;
    lib.desc.name = "CalyraLib";
    lib.desc.majorVersion = 1;
    lib.desc.minorVersion = 0;
    ASSERT_EQ(RegisterTypeLib(&lib, u"/opt/calyra/Calyra.so", u"/opt/calyra"), S_OK);
    const std::u16string version = std::u16string(kLibKey) + u"\\1.0";
    ASSERT_NE(Default(version), nullptr);
    EXPECT_EQ(*Default(version), u"CalyraLib");
    ASSERT_NE(Default(version + u"\\0\\win32"), nullptr);
    EXPECT_EQ(*Default(version + u"\\0\\win32"), u"/opt/calyra/Calyra.so");
    EXPECT_EQ(*Default(version + u"\\FLAGS"), u"0");
    EXPECT_EQ(*Default(version + u"\\HELPDIR"), u"/opt/calyra");

    EXPECT_EQ(RegisterTypeLib(nullptr, u"/x", nullptr), E_INVALIDARG);
    EXPECT_EQ(RegisterTypeLib(&lib, nullptr, nullptr), E_INVALIDARG);
}

TEST_F(TypeLibRegistrationTest, VersionsAreHexAndRemovedOneByOne) {
    ASSERT_EQ(RegisterTypeLibKeys(kLibID, 1, 0, u"CalyraLib", u"/a/Calyra.so", u""), S_OK);
    ASSERT_EQ(RegisterTypeLibKeys(kLibID, 10, 11, u"CalyraLib", u"/b/Calyra.so", u""), S_OK);
    EXPECT_TRUE(Exists(std::u16string(kLibKey) + u"\\a.b"));

    ASSERT_EQ(UnRegisterTypeLib(kLibID, 1, 0, 0, SYS_WIN32), S_OK);
    EXPECT_FALSE(Exists(std::u16string(kLibKey) + u"\\1.0"));
    EXPECT_TRUE(Exists(std::u16string(kLibKey) + u"\\a.b"));  // the other version stays

    ASSERT_EQ(UnRegisterTypeLib(kLibID, 10, 11, 0, SYS_WIN32), S_OK);
    EXPECT_FALSE(Exists(u"TypeLib"));
    // Unregistering what is not registered completes quietly.
    EXPECT_EQ(UnRegisterTypeLib(kLibID, 1, 0, 0, SYS_WIN32), S_OK);
}

TEST_F(TypeLibRegistrationTest, StoreFailureIsARegistryAccessError) {
    std::string dir = m_dir.file("dir-not-file").string();
    ASSERT_EQ(mkdir(dir.c_str(), 0700), 0);
    setenv("CALYRA_REGISTRY", dir.c_str(), 1);
    EXPECT_EQ(RegisterTypeLibKeys(kLibID, 1, 0, u"CalyraLib", u"/a/Calyra.so", u""), TYPE_E_REGISTRYACCESS);
}

}  // namespace
}  // namespace calyra
