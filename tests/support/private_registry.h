// PrivateRegistry: a registry store of the test's own, a file in a temporary
// directory that CALYRA_REGISTRY names for the object's lifetime (then it
// names the process's private store again, see test_main.cpp), and reading
// that store back the way a client's lookup does.
//
// Ownership: the object owns the directory and removes it. Not thread-safe
// to create or destroy (it sets the environment); Value and KeyExists read
// the store and are safe from any thread.
#pragma once

#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/system/registry.h"
#include "support/scoped_env.h"
#include "support/temp_dir.h"

namespace calyra::test {

class PrivateRegistry {
public:
    PrivateRegistry() : m_env("CALYRA_REGISTRY", m_dir.file("registry").c_str()) {}

    const TempDir& dir() const { return m_dir; }
    std::filesystem::path file() const { return m_dir.file("registry"); }
    std::string text() const { return FileBytes(file()); }

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
    // An update of the store that makes `change` to the root and succeeds.
    template <class Change>
    static LONG Apply(Change change) {
        return UpdateRegistry([&](RegistryKey& root) {
            change(root);
            return ERROR_SUCCESS;
        });
    }
    static bool KeyExists(const std::u16string& path) {
        std::shared_ptr<const RegistryKey> root;
        if (ReadRegistry(&root) != ERROR_SUCCESS) return false;
        std::vector<std::u16string> names;
        return SplitKeyPath(path, &names) && root->FindPath(names) != nullptr;
    }

private:
    TempDir m_dir;
    ScopedEnv m_env;  // after m_dir, which it names
};

}  // namespace calyra::test
