// The module and class script templates and how they are filled in.
#include "server/registration_scripts.h"

#include <iterator>
#include <vector>

#include "platform/bstr.h"
#include "server/registry_script.h"

namespace calyra {
namespace {

// The application keys. The classes root's AppID key is shared with every
// other component and is never removed.
constexpr std::string_view kModuleScript = R"(
HKCR
{
    NoRemove AppID
    {
        '%APPID%' = s '%APPNAME%'
        '%MODULENAME%'
        {
            val AppID = s '%APPID%'
        }
    }
}
)";

// One class. The CLSID key is replaced as a whole on registration, so no
// value of an earlier registration survives; the classes root's CLSID key
// is never removed.
constexpr std::string_view kClassScript = R"(
HKCR
{
    '%PROGID%' = s '%DESCRIPTION%'
    {
        CLSID = s '%CLSID%'
    }
    '%VIPROGID%' = s '%DESCRIPTION%'
    {
        CLSID = s '%CLSID%'
        CurVer = s '%PROGID%'
    }
    NoRemove CLSID
    {
        ForceRemove '%CLSID%' = s '%DESCRIPTION%'
        {
            ProgID = s '%PROGID%'
            VersionIndependentProgID = s '%VIPROGID%'
            ForceRemove Programmable
            InprocServer32 = s '%MODULE%'
            {
                val ThreadingModel = s '%THREADING%'
            }
            val AppID = s '%APPID%'
            TypeLib = s '%LIBID%'
        }
    }
}
)";

// The threading model every class gets from the module script.
constexpr ThreadingModel kModuleScriptThreadingModel = ThreadingModel::Both;

std::u16string GuidText(REFGUID guid) {
    OLECHAR text[39];
    StringFromGUID2(guid, text, 39);
    return std::u16string(AsU16(text), 38);
}

HRESULT ParseClassScript(const ClassRegistration& r, ThreadingModel threadingModel, std::u16string_view modulePath,
                         RegistryScript* script, std::string* error) {
    ScriptReplacements replacements = {
        {"MODULE", std::u16string(modulePath)},
        {"APPID", GuidText(kCalyraAppID)},
        {"CLSID", GuidText(*r.clsid)},
        {"LIBID", GuidText(LIBID_CalyraLib)},
        {"PROGID", Utf8ToUtf16(r.progID)},
        {"VIPROGID", Utf8ToUtf16(r.versionIndependentProgID)},
        {"DESCRIPTION", Utf8ToUtf16(r.description)},
        {"THREADING", Utf8ToUtf16(ThreadingModelName(threadingModel))},
    };
    return RegistryScript::Parse(kClassScript, replacements, script, error);
}

void Run(const RegistryScript& script, RegistryKey& root, ScriptDirection direction) {
    if (direction == ScriptDirection::Register)
        script.Register(root);
    else
        script.Unregister(root);
}

}  // namespace

HRESULT RunModuleScript(RegistryKey& root, ScriptDirection direction, std::u16string_view modulePath,
                        std::string* error) {
    // Parse everything first, so a bad script changes nothing.
    std::vector<RegistryScript> scripts(1 + std::size(kClassRegistrations));
    ScriptReplacements replacements = {
        {"APPID", GuidText(kCalyraAppID)},
        {"APPNAME", Utf8ToUtf16(kCalyraAppName)},
        {"MODULENAME", Utf8ToUtf16(kCalyraModuleName)},
    };
    HRESULT hr = RegistryScript::Parse(kModuleScript, replacements, &scripts[0], error);
    for (std::size_t i = 0; SUCCEEDED(hr) && i < std::size(kClassRegistrations); ++i)
        hr = ParseClassScript(kClassRegistrations[i], kModuleScriptThreadingModel, modulePath, &scripts[i + 1], error);
    if (FAILED(hr)) return hr;
    if (direction == ScriptDirection::Unregister) {
        for (auto it = scripts.rbegin(); it != scripts.rend(); ++it) Run(*it, root, direction);
    } else {
        for (const RegistryScript& script : scripts) Run(script, root, direction);
    }
    return S_OK;
}

HRESULT RunClassScript(RegistryKey& root, ScriptDirection direction, const ClassRegistration& registration,
                       std::u16string_view modulePath, std::string* error) {
    RegistryScript script;
    HRESULT hr = ParseClassScript(registration, registration.threadingModel, modulePath, &script, error);
    if (FAILED(hr)) return hr;
    Run(script, root, direction);
    return S_OK;
}

}  // namespace calyra
