// A test with a private registry and the built component module loaded the
// way calyra-regsvr loads it, with its four entry points at hand.
#pragma once

#include <gtest/gtest.h>

#include <climits>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include <dlfcn.h>

#include "platform/bstr.h"
#include "platform/system/registry.h"
#include "server/entry_points.h"
#include "support/private_registry.h"
#include "support/temp_dir.h"

namespace calyra::test {

class ModuleTest : public ::testing::Test {
protected:
    ModuleTest() {
        m_module = dlopen(CALYRA_MODULE_PATH, RTLD_NOW | RTLD_LOCAL);
        if (!m_module) {
            ADD_FAILURE() << "cannot load the module " << CALYRA_MODULE_PATH << ": " << dlerror();
            return;
        }
        m_getClassObject = reinterpret_cast<PFN_DllGetClassObject>(dlsym(m_module, "DllGetClassObject"));
        m_canUnloadNow = reinterpret_cast<PFN_DllCanUnloadNow>(dlsym(m_module, "DllCanUnloadNow"));
        m_register = reinterpret_cast<PFN_DllRegisterServer>(dlsym(m_module, "DllRegisterServer"));
        m_unregister = reinterpret_cast<PFN_DllUnregisterServer>(dlsym(m_module, "DllUnregisterServer"));
        if (!m_getClassObject || !m_canUnloadNow || !m_register || !m_unregister)
            ADD_FAILURE() << "the module lacks one of its four entry points";
    }
    ~ModuleTest() override {
        if (m_module) dlclose(m_module);
    }

    void SetUp() override { ASSERT_TRUE(m_register && m_unregister && m_getClassObject && m_canUnloadNow); }

    HRESULT Register() { return m_register(); }
    HRESULT Unregister() { return m_unregister(); }
    HRESULT CanUnloadNow() { return m_canUnloadNow(); }
    HRESULT GetClassObject(REFCLSID clsid, REFIID iid, void** ppv) { return m_getClassObject(clsid, iid, ppv); }

    std::string RegistryText() const { return m_registry.text(); }
    std::filesystem::path RegistryFile() const { return m_registry.file(); }

    // The module's file as the registry should name it.
    static std::u16string ModulePath() {
        char resolved[PATH_MAX];
        return realpath(CALYRA_MODULE_PATH, resolved) ? Utf8ToUtf16(resolved) : std::u16string();
    }

    static std::u16string GuidText(REFGUID guid) {
        OLECHAR text[39];
        StringFromGUID2(guid, text, 39);
        return std::u16string(text, 38);
    }

    static std::optional<std::u16string> Value(const std::u16string& path, std::u16string_view name = u"") {
        return PrivateRegistry::Value(path, name);
    }
    static bool KeyExists(const std::u16string& path) { return PrivateRegistry::KeyExists(path); }

    TempDir m_dir;

private:
    PrivateRegistry m_registry;  // before the module loads, which reads it
    void* m_module = nullptr;
    PFN_DllGetClassObject m_getClassObject = nullptr;
    PFN_DllCanUnloadNow m_canUnloadNow = nullptr;
    PFN_DllRegisterServer m_register = nullptr;
    PFN_DllUnregisterServer m_unregister = nullptr;
};

}  // namespace calyra::test
