// The registry's content in memory, and its text form on disk.
//
// A RegistryKey is one key of the classes root: a name, named string values
// (the default value is the value with the empty name) and subkeys. As in
// the Windows registry, key and value names compare without regard to ASCII
// case and keep the case they were created with.
//
// The text form is line based and meant to be read by people:
//
//   Calyra Registry 1
//   [CLSID\{7039E61B-CC64-46EC-BC41-35A0502E16E3}\InprocServer32]
//   @="/usr/lib/Calyra.so"
//   "ThreadingModel"="Free"
//
// The first line identifies the file. Every key has a line "[path]" (keys
// in sorted order, so equal content gives equal text), followed by its
// values: @ for the default value, "Name" for a named one. Inside quotes a
// backslash escapes \\ and \", and \uXXXX (four hex digits) stands for a
// control character or a lone surrogate, so every UTF-16 text survives the
// round trip. Blank lines and lines starting with ';' are ignored. Anything
// else is a malformed file: parsing stops with a message naming the line,
// and nothing is guessed.
//
// Ownership: a key owns its subkeys; pointers to subkeys stay valid until
// that subkey or an ancestor is removed. Thread-safety: none; a tree is a
// value owned by one thread at a time.
#pragma once

#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace calyra {

// Longest key name and value name accepted, in UTF-16 units (the Windows
// limits).
constexpr std::size_t kMaxKeyNameUnits = 255;
constexpr std::size_t kMaxValueNameUnits = 16383;

// A key name is 1 to 255 units without backslash, control characters or
// lone surrogates.
bool IsValidKeyName(std::u16string_view name);

// Splits "A\B\C" into its names; false when any part is not a valid key
// name (an empty path gives an empty list and true).
bool SplitKeyPath(std::u16string_view path, std::vector<std::u16string>* names);

class RegistryKey {
public:
    explicit RegistryKey(std::u16string name) : m_name(std::move(name)) {}
    RegistryKey(const RegistryKey&) = delete;
    RegistryKey& operator=(const RegistryKey&) = delete;

    const std::u16string& name() const { return m_name; }

    // The direct subkey of that name, or NULL.
    RegistryKey* Find(std::u16string_view name);
    const RegistryKey* Find(std::u16string_view name) const;
    // The key at a path of names below this one, or NULL.
    RegistryKey* FindPath(const std::vector<std::u16string>& names);
    const RegistryKey* FindPath(const std::vector<std::u16string>& names) const;
    // The direct subkey of that name, created when missing. REQUIRES: a
    // valid key name.
    RegistryKey& Create(std::u16string_view name);
    // Removes the direct subkey with its whole subtree; false when absent.
    bool Remove(std::u16string_view name);
    bool HasSubkeys() const { return !m_subkeys.empty(); }
    // Subkeys in sorted (case-folded) order.
    std::vector<const RegistryKey*> Subkeys() const;

    // The value of that name ("" for the default value), or NULL.
    const std::u16string* Value(std::u16string_view name) const;
    void SetValue(std::u16string_view name, std::u16string_view data);
    bool RemoveValue(std::u16string_view name);
    // (name, data) pairs in sorted (case-folded) order.
    std::vector<std::pair<std::u16string, std::u16string>> Values() const;

    bool operator==(const RegistryKey& other) const;

private:
    struct NamedValue {
        std::u16string name;  // as first set
        std::u16string data;
    };

    std::u16string m_name;
    // Keyed by the ASCII-folded name.
    std::map<std::u16string, std::unique_ptr<RegistryKey>> m_subkeys;
    std::map<std::u16string, NamedValue> m_values;
};

// The first line of every registry file.
inline constexpr std::string_view kRegistryFileMagic = "Calyra Registry 1";

// The text form of a whole tree (root's own name is not written). UTF-8.
std::string FormatRegistryText(const RegistryKey& root);
// Reads the text form into the (empty) root. An empty text is an empty
// registry. On a malformed text returns false with a message that names the
// line; root is then left in an unspecified but valid state.
bool ParseRegistryText(std::string_view text, RegistryKey* root, std::string* error);

}  // namespace calyra
