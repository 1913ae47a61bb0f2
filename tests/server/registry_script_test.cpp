// The registrar script language: what a malformed template says (a
// registration that half-ran would leave keys no removal finds, so every
// fault must stop the parse with the line it is on), and the quoting and
// replacement rules a valid one relies on.
#include <gtest/gtest.h>

#include "server/registry_script.h"

namespace calyra {
namespace {

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
