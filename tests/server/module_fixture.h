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
        GetClassObject = reinterpret_cast<PFN_DllGetClassObject>(dlsym(m_module, "DllGetClassObject"));
        CanUnloadNow = reinterpret_cast<PFN_DllCanUnloadNow>(dlsym(m_module, "DllCanUnloadNow"));
        Register = reinterpret_cast<PFN_DllRegisterServer>(dlsym(m_module, "DllRegisterServer"));
        Unregister = reinterpret_cast<PFN_DllUnregisterServer>(dlsym(m_module, "DllUnregisterServer"));
        if (!GetClassObject || !CanUnloadNow || !Register || !Unregister)
            ADD_FAILURE() << "the module lacks one of its four entry points";
    }
    ~ModuleTest() override {
        if (m_module) dlclose(m_module);
    }

    void SetUp() override { ASSERT_TRUE(Register && Unregister && GetClassObject && CanUnloadNow); }

    // The module's four entry points.
    PFN_DllGetClassObject GetClassObject = nullptr;
    PFN_DllCanUnloadNow CanUnloadNow = nullptr;
    PFN_DllRegisterServer Register = nullptr;
    PFN_DllUnregisterServer Unregister = nullptr;

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

    PrivateRegistry m_registry;  // made before the module loads, which reads it
    TempDir m_dir;

private:
    void* m_module = nullptr;
};

}  // namespace calyra::test
