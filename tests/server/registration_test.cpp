// DllRegisterServer and DllUnregisterServer of the built module, checked
// in the registry a client reads; then the registrar script language its
// registration is written in: what a malformed template says (a
// registration that half-ran would leave keys no removal finds, so every
// fault must stop the parse with the line it is on), and the quoting and
// replacement rules a valid one relies on.
#include <gtest/gtest.h>

#include <fstream>

#include "idl/calyra_idl.h"
#include "platform/com_ptr.h"
#include "platform/system/thread_locale.h"
#include "platform/type_lib.h"
#include "server/module_fixture.h"
#include "server/registry_script.h"

namespace calyra {
namespace {

using test::ModuleTest;

constexpr char16_t kAppID[] = u"{2EADF5A4-8DCE-4C78-A870-8289427A5975}";

// What clients and registries rely on, written out independently of the
// module's own table. FROZEN texts.
struct ExpectedClass {
    const CLSID* clsid;
    const char16_t* progID;
    const char16_t* versionIndependentProgID;
    const char16_t* description;
    const char16_t* threadingModel;
};
const ExpectedClass kExpected[] = {
    {&CLSID_PimManagement, u"Calyra.PimManagement.1", u"Calyra.PimManagement", u"PimManagement Class", u"Free"},
    {&CLSID_ProfileAccess, u"Calyra.CProfileAccess.1", u"Calyra.CProfileAccess", u"CProfileAccess Class", u"Free"},
    {&CLSID_PimDbAccess, u"Calyra.PimDbAccess.1", u"Calyra.PimDbAccess", u"PimDbAccess Class", u"Free"},
    {&CLSID_ContactGroupAccess, u"Calyra.ContactGroupAccess.1", u"Calyra.ContactGroupAccess",
     u"ContactGroupAccess Class", u"Free"},
    {&CLSID_EventCategoryAccess, u"Calyra.EventCategoryAccess.1", u"Calyra.EventCategoryAccess",
     u"EventCategoryAccess Class", u"Free"},
    {&CLSID_EventAccess, u"Calyra.EventAccess.1", u"Calyra.EventAccess", u"EventAccess Class", u"Free"},
    {&CLSID_TaskAccess, u"Calyra.TaskAccess.1", u"Calyra.TaskAccess", u"TaskAccess Class", u"Free"},
    {&CLSID_ContactAccess, u"Calyra.ContactAccess.1", u"Calyra.ContactAccess", u"ContactAccess Class", u"Free"},
    {&CLSID_SyncOption, u"Calyra.SyncOption.1", u"Calyra.SyncOption", u"SyncOption Class", u"Both"},
    {&CLSID_MostFrequentlyPlayedMusic, u"Calyra.MostFrequentlyPlayedMusic.1", u"Calyra.MostFrequentlyPlayedMusic",
     u"MostFrequentlyPlayedMusic Class", u"Both"},
    {&CLSID_MostFrequentlyPlayedPodcast, u"Calyra.MostFrequentlyPlayedPodcast.1", u"Calyra.MostFrequentlyPlayedPodcast",
     u"MostFrequentlyPlayedPodcast Class", u"Apartment"},
};

class RegistrationTest : public ModuleTest {
protected:
    // Whether the module serves the class (has it in its object map).
    bool Serves(REFCLSID clsid) {
        IClassFactory* factory = nullptr;
        if (FAILED(GetClassObject(clsid, IID_IClassFactory, reinterpret_cast<void**>(&factory)))) return false;
        factory->Release();
        return true;
    }
};

TEST_F(RegistrationTest, RegistersEveryClassWithItsIdentifiersTheApplicationAndTheTypeLibrary) {
    ASSERT_EQ(Register(), S_OK);
    const std::u16string module = ModulePath();
    const std::u16string libid = GuidText(LIBID_CalyraLib);
    for (const ExpectedClass& c : kExpected) {
        const std::u16string clsid = GuidText(*c.clsid);
        const std::u16string key = u"CLSID\\" + clsid;
        SCOPED_TRACE(Utf16ToUtf8(c.progID));
        EXPECT_EQ(Value(c.progID), c.description);
        EXPECT_EQ(Value(std::u16string(c.progID) + u"\\CLSID"), clsid);
        EXPECT_EQ(Value(c.versionIndependentProgID), c.description);
        EXPECT_EQ(Value(std::u16string(c.versionIndependentProgID) + u"\\CLSID"), clsid);
        EXPECT_EQ(Value(std::u16string(c.versionIndependentProgID) + u"\\CurVer"), c.progID);
        EXPECT_EQ(Value(key), c.description);
        EXPECT_EQ(Value(key + u"\\ProgID"), c.progID);
        EXPECT_EQ(Value(key + u"\\VersionIndependentProgID"), c.versionIndependentProgID);
        EXPECT_TRUE(KeyExists(key + u"\\Programmable"));
        EXPECT_EQ(Value(key + u"\\InprocServer32"), module);
        EXPECT_EQ(Value(key, u"AppID"), kAppID);
        EXPECT_EQ(Value(key + u"\\TypeLib"), libid);
        // A class the module serves has its own class script's model; the
        // others keep the module script's "Both" until they join the map.
        const char16_t* model = Serves(*c.clsid) ? c.threadingModel : u"Both";
        EXPECT_EQ(Value(key + u"\\InprocServer32", u"ThreadingModel"), model);
    }
    EXPECT_EQ(Value(std::u16string(u"AppID\\") + kAppID), u"Calyra");
    EXPECT_EQ(Value(u"AppID\\Calyra.DLL", u"AppID"), kAppID);
    const std::u16string lib = u"TypeLib\\" + libid + u"\\1.0";
    EXPECT_EQ(Value(lib), u"CalyraLib");
    EXPECT_EQ(Value(lib + u"\\0\\win32"), module);

    // A client reaches the record types through the registered library, in its version only.
    ComPtr<ITypeLib> typeLib;
    ASSERT_EQ(LoadRegTypeLib(LIBID_CalyraLib, 1, 0, LOCALE_USER_DEFAULT, &typeLib), S_OK);
    GUID guid{};
    ASSERT_EQ(typeLib->GetLibGuid(&guid), S_OK);
    EXPECT_TRUE(IsEqualGUID(guid, LIBID_CalyraLib));
    ComPtr<IRecordInfo> info;
    ASSERT_EQ(GetRecordInfoFromGuids(LIBID_CalyraLib, 1, 0, LOCALE_USER_DEFAULT, GUID_tagContactInfo, &info), S_OK);
    ULONG size = 0;
    ASSERT_EQ(info->GetSize(&size), S_OK);
    EXPECT_EQ(size, sizeof(tagContactInfo));
    ComPtr<ITypeLib> notALibrary;
    EXPECT_EQ(LoadRegTypeLib(CLSID_PimManagement, 1, 0, LOCALE_USER_DEFAULT, &notALibrary), TYPE_E_LIBNOTREGISTERED);
}

// Registering and unregistering keep the caller's thread locale.
TEST_F(RegistrationTest, UnregisteringLeavesOnlyTheSharedRootKeys) {
    SetThreadLocale(0x0409);
    EXPECT_EQ(Unregister(), S_OK);
    EXPECT_FALSE(std::filesystem::exists(m_registry.file())) << "unregistering without registration wrote a file";
    ASSERT_EQ(Register(), S_OK);
    EXPECT_EQ(GetThreadLocale(), 0x0409u);
    ASSERT_EQ(Unregister(), S_OK);
    EXPECT_EQ(GetThreadLocale(), 0x0409u);
    EXPECT_EQ(m_registry.text(), "Calyra Registry 1\n\n[AppID]\n\n[CLSID]\n");
    // Unregistering again finds nothing left to remove.
    EXPECT_EQ(Unregister(), S_OK);
    EXPECT_EQ(m_registry.text(), "Calyra Registry 1\n\n[AppID]\n\n[CLSID]\n");
}

TEST_F(RegistrationTest, RegisteringReplacesAnOlderRegistrationTwiceIsOnceAndUnregisteringLeavesOtherComponentsAlone) {
    ASSERT_EQ(test::PrivateRegistry::Apply([](RegistryKey& root) {
                  root.Create(u"CLSID").Create(u"{OTHER}").Create(u"InprocServer32").SetValue(u"", u"/other.so");
                  root.Create(u"AppID").Create(u"{OTHER}").SetValue(u"", u"Other");
                  root.Create(u"Other.Thing").Create(u"CLSID").SetValue(u"", u"{OTHER}");
              }),
              ERROR_SUCCESS);
    const std::string before = m_registry.text();
    const std::u16string key = u"CLSID\\" + GuidText(CLSID_PimDbAccess);
    ASSERT_EQ(test::PrivateRegistry::Apply([&](RegistryKey& root) {
                  RegistryKey& old = root.Create(u"CLSID").Create(GuidText(CLSID_PimDbAccess));
                  old.Create(u"LocalServer32").SetValue(u"", u"/old/server");
                  old.Create(u"InprocServer32").SetValue(u"", u"/old/Calyra.so");
              }),
              ERROR_SUCCESS);
    ASSERT_EQ(Register(), S_OK);
    EXPECT_FALSE(KeyExists(key + u"\\LocalServer32"));
    EXPECT_EQ(Value(key + u"\\InprocServer32"), ModulePath());
    const std::string once = m_registry.text();
    ASSERT_EQ(Register(), S_OK);
    EXPECT_EQ(m_registry.text(), once);
    ASSERT_EQ(Unregister(), S_OK);
    EXPECT_EQ(m_registry.text(), before);

    // A key of ours that another component added a subkey to stays for it.
    ASSERT_EQ(Register(), S_OK);
    ASSERT_EQ(
        test::PrivateRegistry::Apply([](RegistryKey& root) { root.Find(u"Calyra.PimDbAccess")->Create(u"Shell"); }),
        ERROR_SUCCESS);
    ASSERT_EQ(Unregister(), S_OK);
    EXPECT_TRUE(KeyExists(u"Calyra.PimDbAccess\\Shell"));
    EXPECT_FALSE(KeyExists(u"Calyra.PimDbAccess\\CLSID"));
}

TEST_F(RegistrationTest, CorruptRegistryFailsRegistrationAndStaysAsItWas) {
    const std::string corrupt = "Calyra Registry 1\n[CLSID\n";
    std::ofstream(m_registry.file(), std::ios::binary) << corrupt;
    EXPECT_EQ(Register(), HRESULT_FROM_WIN32(ERROR_BADDB));
    EXPECT_EQ(Unregister(), HRESULT_FROM_WIN32(ERROR_BADDB));
    EXPECT_EQ(m_registry.text(), corrupt);
}

// ---- The registrar script language ----------------------------------------------

const ScriptReplacements kReplacements = {{"MODULE", u"C:\\calyra.dll"}};

struct Malformed {
    const char* script;
    const char* error;  // the message, after "registry script line N: "
};

TEST(RegistryScript, MalformedScriptsAreRefusedWithTheLineAndTheFault) {
    const Malformed kCases[] = {
        {"HKLM { }", "line 1: expected HKCR (the only root this registry has)"},
        {"HKCR\n{\n  A = s '%MODULE' }", "line 3: unterminated %NAME%"},
        {"HKCR { A = s '%NOPE%' }", "line 1: no replacement for %NOPE%"},
        {"HKCR { A = s 'open", "line 1: missing closing quote"},
        {"HKCR { A = s 'two\nlines' }", "line 1: quoted text runs past the end of the line"},
        {"HKCR { A = d '1' }", "line 1: only text values (s '...') are supported"},
        {"HKCR { A = s B }", "line 1: expected a quoted text after s"},
        {"HKCR {\n A {\n }", "line 3: missing '}'"},
        {"HKCR { = }", "line 1: expected a key name"},
        {"HKCR { val X = s 'v' }", "line 1: a named value needs a key"},
        {"HKCR { A { val '' = s 'v' } }", "line 1: a named value needs a name"},
        {"HKCR { A { val = s 'v' } }", "line 1: expected a name"},
        {"HKCR { 'a\\b' }", "line 1: invalid key name 'a\\b'"},
        {"HKCR { A { val X 's' } }", "line 1: expected '=' after the value name"},
        {"HKCR A", "line 1: expected '{' after HKCR"},
    };
    for (const auto& c : kCases) {
        SCOPED_TRACE(c.script);
        RegistryScript script;
        std::string error;
        EXPECT_EQ(RegistryScript::Parse(c.script, kReplacements, &script, &error), E_INVALIDARG);
        EXPECT_EQ(error, std::string("registry script ") + c.error);
    }
}

TEST(RegistryScript, QuotesAndPercentSignsReadAsWritten) {
    RegistryScript script;
    std::string error;
    ASSERT_EQ(RegistryScript::Parse("HKCR { 'It''s' = s '100%% at %MODULE%' { val 'a''b' = s '' } }", kReplacements,
                                    &script, &error),
              S_OK)
        << error;
    RegistryKey root(u"HKCR");
    script.Register(root);
    const RegistryKey* key = root.Find(u"It's");
    ASSERT_NE(key, nullptr);
    EXPECT_EQ(*key->Value(u""), u"100% at C:\\calyra.dll");
    ASSERT_NE(key->Value(u"a'b"), nullptr);
    EXPECT_EQ(*key->Value(u"a'b"), u"");
    script.Unregister(root);
    EXPECT_FALSE(root.HasSubkeys());
}

}  // namespace
}  // namespace calyra
