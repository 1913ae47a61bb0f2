// Registry scripts: what registering and removing do to the classes root,
// and how bad scripts are refused.
#include "server/registry_script.h"

#include <gtest/gtest.h>

#include <string>

namespace calyra {
namespace {

RegistryScript ParseOrFail(std::string_view text, const ScriptReplacements& replacements = {}) {
    RegistryScript script;
    std::string error;
    EXPECT_EQ(RegistryScript::Parse(text, replacements, &script, &error), S_OK) << error;
    return script;
}

// The registry as text without its first line, for short expectations.
std::string Body(const RegistryKey& root) {
    std::string text = FormatRegistryText(root);
    return text.substr(text.find('\n') + 1);
}

TEST(RegistryScript, RegisteringWritesKeysDefaultsAndNamedValues) {
    RegistryKey root(u"");
    ParseOrFail(R"(
        HKCR
        {
            NoRemove CLSID
            {
                ForceRemove '%CLSID%' = s 'It''s a class'
                {
                    InprocServer32 = s '%MODULE%'
                    {
                        val ThreadingModel = s 'Free'
                    }
                    Programmable
                }
            }
        })",
                {{"CLSID", u"{X}"}, {"MODULE", u"/path with 'quote'/100%.so"}})
        .Register(root);
    EXPECT_EQ(Body(root),
              "\n[CLSID]\n"
              "\n[CLSID\\{X}]\n@=\"It's a class\"\n"
              "\n[CLSID\\{X}\\InprocServer32]\n@=\"/path with 'quote'/100%.so\"\n\"ThreadingModel\"=\"Free\"\n"
              "\n[CLSID\\{X}\\Programmable]\n");
}

TEST(RegistryScript, ForceRemoveReplacesTheWholeSubtree) {
    RegistryKey root(u"");
    RegistryKey& old = root.Create(u"CLSID").Create(u"{X}");
    old.SetValue(u"Stale", u"from an older version");
    old.Create(u"LocalServer32");
    ParseOrFail("HKCR { NoRemove CLSID { ForceRemove '{X}' = s 'New' } }").Register(root);
    EXPECT_EQ(Body(root), "\n[CLSID]\n\n[CLSID\\{X}]\n@=\"New\"\n");
}

TEST(RegistryScript, RemovingKeepsNoRemoveKeysAndKeysOthersStillUse) {
    RegistryKey root(u"");
    const RegistryScript script = ParseOrFail(R"(
        HKCR
        {
            NoRemove AppID
            {
                '{A}' = s 'Calyra'
                'Calyra.DLL'
                {
                    val AppID = s '{A}'
                }
            }
            Shared = s 'mine'
            {
                Mine
            }
        })");
    script.Register(root);
    // Another component's subkey under a shared key, and its own value.
    root.Find(u"Shared")->Create(u"Theirs");
    root.Find(u"AppID")->Find(u"Calyra.DLL")->SetValue(u"Other", u"kept with the key");

    script.Unregister(root);
    EXPECT_EQ(Body(root), "\n[AppID]\n\n[Shared]\n@=\"mine\"\n\n[Shared\\Theirs]\n");
    // Removing again finds nothing more to remove.
    script.Unregister(root);
    EXPECT_EQ(Body(root), "\n[AppID]\n\n[Shared]\n@=\"mine\"\n\n[Shared\\Theirs]\n");
}

TEST(RegistryScript, RemovingDeletesForceRemoveSubtreesWhole) {
    RegistryKey root(u"");
    const RegistryScript script = ParseOrFail("HKCR { NoRemove CLSID { ForceRemove '{X}' { A } } }");
    script.Register(root);
    root.Find(u"CLSID")->Find(u"{X}")->Create(u"AddedLater").Create(u"Deep");
    script.Unregister(root);
    EXPECT_EQ(Body(root), "\n[CLSID]\n");
}

TEST(RegistryScript, KeywordsAndRootIgnoreCase) {
    RegistryKey root(u"");
    ParseOrFail("hkey_classes_root { noremove K { VAL v = S 'x' } }").Register(root);
    EXPECT_EQ(Body(root), "\n[K]\n\"v\"=\"x\"\n");
}

TEST(RegistryScript, BadScriptsAreRefusedWithTheReason) {
    struct Case {
        const char* text;
        const char* reason;
    };
    const Case cases[] = {
        {"HKLM { K }", "expected HKCR"},
        {"HKCR K", "'{' after HKCR"},
        {"HKCR { K", "missing '}'"},
        {"HKCR { K = d '1' }", "only text values"},
        {"HKCR { K = s x }", "quoted text after s"},
        {"HKCR { 'unterminated }", "missing closing quote"},
        {"HKCR { K = s '%NOPE%' }", "no replacement for %NOPE%"},
        {"HKCR { K = s '%OPEN' }", "unterminated %NAME%"},
        {"HKCR { 'a\\b' }", "invalid key name"},
        {"HKCR { '' }", "invalid key name"},
        {"HKCR { val V = s 'x' }", "needs a key"},
        {"HKCR { K { val = s 'x' } }", "expected a name"},
        {"HKCR { = }", "expected a key name"},
        {"HKCR { K }\n}", "expected HKCR"},
        {"", nullptr},  // an empty script is valid and does nothing
    };
    for (const Case& c : cases) {
        RegistryScript script;
        std::string error;
        HRESULT hr = RegistryScript::Parse(c.text, {}, &script, &error);
        if (!c.reason) {
            EXPECT_EQ(hr, S_OK) << c.text;
            continue;
        }
        EXPECT_EQ(hr, E_INVALIDARG) << c.text;
        EXPECT_NE(error.find(c.reason), std::string::npos) << c.text << " -> " << error;
    }
}

TEST(RegistryScript, AReplacementCannotSmuggleInAPath) {
    RegistryScript script;
    std::string error;
    EXPECT_EQ(RegistryScript::Parse("HKCR { '%PROGID%' }", {{"PROGID", u"CLSID\\{X}"}}, &script, &error),
              E_INVALIDARG);
    EXPECT_NE(error.find("invalid key name"), std::string::npos) << error;
}

TEST(RegistryScript, PercentPercentIsOnePercentSign) {
    RegistryKey root(u"");
    ParseOrFail("HKCR { K = s '100%%' }").Register(root);
    EXPECT_EQ(Body(root), "\n[K]\n@=\"100%\"\n");
}

}  // namespace
}  // namespace calyra
