// The component's registration scripts: the module script (the
// application keys, and every class of the component with threading model
// "Both") and the class script of one class (its ProgIDs and CLSID keys
// with the class's own threading model). Registration runs the module
// script first and each class's script after it, so the class script's
// threading model is the one left in the registry; removal runs them in the
// opposite order.
//
// The scripts are templates (registry_script.h) in which %MODULE% is the
// module's full path and %APPID% the application identifier; a class
// script also gets its class's texts from idl/class_registration.h.
//
// Ownership: nothing is handed out. Thread-safety: the functions only touch
// the tree they are given.
#pragma once

#include <string>
#include <string_view>

#include "idl/class_registration.h"
#include "platform/guid.h"
#include "platform/hresult.h"
#include "platform/system/registry_tree.h"

namespace calyra {

// FROZEN: the module's application identifier
// {2EADF5A4-8DCE-4C78-A870-8289427A5975}, and the application key's name
// and default value.
inline constexpr GUID kCalyraAppID = {0x2eadf5a4, 0x8dce, 0x4c78, {0xa8, 0x70, 0x82, 0x89, 0x42, 0x7a, 0x59, 0x75}};
inline constexpr const char* kCalyraModuleName = "Calyra.DLL";
inline constexpr const char* kCalyraAppName = "Calyra";

enum class ScriptDirection { Register, Unregister };

// E_INVALIDARG with a message when a script cannot be built (a module path
// or text that makes a key name invalid); the tree is then unchanged.
HRESULT RunModuleScript(RegistryKey& root, ScriptDirection direction, std::u16string_view modulePath,
                        std::string* error = nullptr);
HRESULT RunClassScript(RegistryKey& root, ScriptDirection direction, const ClassRegistration& registration,
                       std::u16string_view modulePath, std::string* error = nullptr);

}  // namespace calyra
