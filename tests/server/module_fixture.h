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
#include "platform/registry.h"
#include "server/entry_points.h"
#include "support/temp_dir.h"

namespace calyra::test {

class ModuleTest : public ::testing::Test {
protected:
    ModuleTest() {
        if (const char* previous = std::getenv("CALYRA_REGISTRY")) m_previousRegistry = previous;
        setenv("CALYRA_REGISTRY", m_dir.file("registry").c_str(), 1);
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
        // Back to the process's own private store (see test_main.cpp).
        if (m_previousRegistry.empty())
            unsetenv("CALYRA_REGISTRY");
        else
            setenv("CALYRA_REGISTRY", m_previousRegistry.c_str(), 1);
    }

    void SetUp() override {
        ASSERT_NE(m_register, nullptr);
        ASSERT_NE(m_unregister, nullptr);
        ASSERT_NE(m_getClassObject, nullptr);
        ASSERT_NE(m_canUnloadNow, nullptr);
    }

    HRESULT Register() { return m_register(); }
    HRESULT Unregister() { return m_unregister(); }
    HRESULT CanUnloadNow() { return m_canUnloadNow(); }
    HRESULT GetClassObject(REFCLSID clsid, REFIID iid, void** ppv) { return m_getClassObject(clsid, iid, ppv); }

    std::string RegistryText() const {
        std::ifstream in(m_dir.file("registry"), std::ios::binary);
        std::stringstream s;
        s << in.rdbuf();
        return s.str();
    }
    std::filesystem::path RegistryFile() const { return m_dir.file("registry"); }

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

    // A value of a key by path, or nullopt when the key or value is absent.
    static std::optional<std::u16string> Value(const std::u16string& path, std::u16string_view name = u"") {
        std::shared_ptr<const RegistryKey> root;
        if (ReadRegistry(&root) != ERROR_SUCCESS) return std::nullopt;
        std::vector<std::u16string> names;
        if (!SplitKeyPath(path, &names)) return std::nullopt;
        const RegistryKey* key = root->FindPath(names);
        const std::u16string* value = key ? key->Value(name) : nullptr;
        return value ? std::optional<std::u16string>(*value) : std::nullopt;
    }

    static bool KeyExists(const std::u16string& path) {
        std::shared_ptr<const RegistryKey> root;
        if (ReadRegistry(&root) != ERROR_SUCCESS) return false;
        std::vector<std::u16string> names;
        return SplitKeyPath(path, &names) && root->FindPath(names) != nullptr;
    }

    TempDir m_dir;

private:
    std::string m_previousRegistry;
    void* m_module = nullptr;
    PFN_DllGetClassObject m_getClassObject = nullptr;
    PFN_DllCanUnloadNow m_canUnloadNow = nullptr;
    PFN_DllRegisterServer m_register = nullptr;
    PFN_DllUnregisterServer m_unregister = nullptr;
};

}  // namespace calyra::test
