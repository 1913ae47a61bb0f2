// Registry scripts: the text templates that say which keys and values a
// module or class registers, run in the registration or the removal
// direction against the registry's classes root.
//
// The language is the registrar script form Windows components use:
//
//   HKCR
//   {
//       NoRemove CLSID
//       {
//           ForceRemove '%CLSID%' = s 'PimDbAccess Class'
//           {
//               InprocServer32 = s '%MODULE%'
//               {
//                   val ThreadingModel = s 'Free'
//               }
//           }
//       }
//   }
//
// A key is a bare name or a 'quoted' one ('' inside quotes is one quote),
// optionally with a default value "= s 'text'" and a body of subkeys and
// "val Name = s 'text'" named values. Only text values (s) exist. %NAME% is
// replaced from the caller's replacement list, also inside quotes; %% is
// one percent sign. Names must be valid key names after replacement.
//
// Registering creates every key, sets every value, and first deletes the
// whole subtree of a key marked ForceRemove. Removing deletes ForceRemove
// keys with their subtrees; it never deletes a NoRemove key (it only works
// inside it); any other key loses the named values the script lists and is
// deleted once it has no subkeys left. Keys already gone are skipped, so
// removing twice is harmless.
//
// Ownership: a parsed script is a value. Thread-safety: a script is
// immutable after parsing and may be run from several threads on different
// trees.
#pragma once

#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/hresult.h"
#include "platform/system/registry_tree.h"

namespace calyra {

// (name without the percent signs, text) pairs.
using ScriptReplacements = std::vector<std::pair<std::string, std::u16string>>;

class RegistryScript {
public:
    // Parses a template (UTF-8) with its replacements. E_INVALIDARG and a
    // message naming the problem when the text is not a valid script.
    static HRESULT Parse(std::string_view text, const ScriptReplacements& replacements, RegistryScript* script,
                         std::string* error);

    void Register(RegistryKey& root) const;
    void Unregister(RegistryKey& root) const;

private:
    enum class Flag { None, NoRemove, ForceRemove };
    struct Key {
        Flag flag = Flag::None;
        std::u16string name;
        bool hasDefault = false;
        std::u16string defaultValue;
        std::vector<std::pair<std::u16string, std::u16string>> values;  // named values
        std::vector<Key> subkeys;
    };
    class Parser;

    static void RegisterKey(const Key& key, RegistryKey& parent);
    static void UnregisterKey(const Key& key, RegistryKey& parent);

    std::vector<Key> m_keys;  // below the classes root
};

}  // namespace calyra
