// ReadRegistry and UpdateRegistry over the system's own classes root.
//
// An update reads the classes root into a tree, lets the change work on the
// tree, and writes back only the difference: keys and text values added,
// changed or removed. Values of other types are not read, so the change
// never sees them and they are never touched. Windows has no transaction
// for this; a failing write stops the update with its error code.
#include "platform/system/registry.h"

#include <vector>

#include "platform/windows_sdk.h"

namespace calyra {
namespace {

std::u16string Text(const wchar_t* units, std::size_t length) {
    return std::u16string(reinterpret_cast<const char16_t*>(units), length);
}
const wchar_t* Wide(const std::u16string& text) { return reinterpret_cast<const wchar_t*>(text.c_str()); }

LONG ReadKey(HKEY key, RegistryKey& into) {
    DWORD subkeys = 0, maxSubkey = 0, values = 0, maxValueName = 0, maxValueData = 0;
    LONG rc = RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, &subkeys, &maxSubkey, nullptr, &values, &maxValueName,
                               &maxValueData, nullptr, nullptr);
    if (rc != ERROR_SUCCESS) return rc;
    std::vector<wchar_t> name(std::max(maxSubkey, maxValueName) + 2);
    std::vector<BYTE> data(maxValueData + 2 * sizeof(wchar_t));
    for (DWORD i = 0; i < values; ++i) {
        DWORD nameLength = static_cast<DWORD>(name.size()), type = 0, size = static_cast<DWORD>(data.size());
        if (RegEnumValueW(key, i, name.data(), &nameLength, nullptr, &type, data.data(), &size) != ERROR_SUCCESS)
            continue;
        if (type != REG_SZ) continue;
        std::size_t units = size / sizeof(wchar_t);
        const wchar_t* text = reinterpret_cast<const wchar_t*>(data.data());
        while (units > 0 && text[units - 1] == L'\0') --units;
        into.SetValue(Text(name.data(), nameLength), Text(text, units));
    }
    for (DWORD i = 0; i < subkeys; ++i) {
        DWORD nameLength = static_cast<DWORD>(name.size());
        if (RegEnumKeyExW(key, i, name.data(), &nameLength, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
            continue;
        std::u16string subName = Text(name.data(), nameLength);
        if (!IsValidKeyName(subName)) continue;
        HKEY sub = nullptr;
        if (RegOpenKeyExW(key, name.data(), 0, KEY_READ, &sub) != ERROR_SUCCESS) continue;
        ReadKey(sub, into.Create(subName));
        RegCloseKey(sub);
    }
    return ERROR_SUCCESS;
}

LONG ReadClassesRoot(RegistryKey& root) { return ReadKey(HKEY_CLASSES_ROOT, root); }

// Reading the classes root is the slow part (a server call per key), so an
// update reads it once and works on a copy.
void CopyTree(const RegistryKey& from, RegistryKey& to) {
    for (const auto& [name, data] : from.Values()) to.SetValue(name, data);
    for (const RegistryKey* sub : from.Subkeys()) CopyTree(*sub, to.Create(sub->name()));
}

// Makes `key` (an open key whose content was `before`) hold `after`.
LONG WriteDifference(HKEY key, const RegistryKey& before, const RegistryKey& after) {
    for (const auto& [name, data] : before.Values())
        if (!after.Value(name)) {
            if (LONG rc = RegDeleteValueW(key, Wide(name)); rc != ERROR_SUCCESS) return rc;
        }
    for (const auto& [name, data] : after.Values()) {
        const std::u16string* old = before.Value(name);
        if (old && *old == data) continue;
        DWORD bytes = static_cast<DWORD>((data.size() + 1) * sizeof(char16_t));
        if (LONG rc = RegSetValueExW(key, Wide(name), 0, REG_SZ, reinterpret_cast<const BYTE*>(data.c_str()), bytes);
            rc != ERROR_SUCCESS)
            return rc;
    }
    for (const RegistryKey* sub : before.Subkeys())
        if (!after.Find(sub->name())) {
            if (LONG rc = RegDeleteTreeW(key, Wide(sub->name())); rc != ERROR_SUCCESS) return rc;
        }
    const RegistryKey empty(u"");
    for (const RegistryKey* sub : after.Subkeys()) {
        const RegistryKey* old = before.Find(sub->name());
        if (old && *old == *sub) continue;
        HKEY child = nullptr;
        LONG rc = RegCreateKeyExW(key, Wide(sub->name()), 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS, nullptr,
                                  &child, nullptr);
        if (rc != ERROR_SUCCESS) return rc;
        rc = WriteDifference(child, old ? *old : empty, *sub);
        RegCloseKey(child);
        if (rc != ERROR_SUCCESS) return rc;
    }
    return ERROR_SUCCESS;
}

}  // namespace

LONG ReadRegistry(std::shared_ptr<const RegistryKey>* root, std::string* /*error*/) {
    auto tree = std::make_shared<RegistryKey>(u"");
    if (LONG rc = ReadClassesRoot(*tree); rc != ERROR_SUCCESS) return rc;
    *root = std::move(tree);
    return ERROR_SUCCESS;
}

LONG UpdateRegistry(const std::function<LONG(RegistryKey& root)>& change, std::string* /*error*/) {
    RegistryKey before(u""), after(u"");
    if (LONG rc = ReadClassesRoot(before); rc != ERROR_SUCCESS) return rc;
    CopyTree(before, after);
    if (LONG rc = change(after); rc != ERROR_SUCCESS) return rc;
    return WriteDifference(HKEY_CLASSES_ROOT, before, after);
}

}  // namespace calyra
