// Parsing and running registry scripts.
#include "server/registry_script.h"

#include "platform/bstr.h"

namespace calyra {
namespace {

bool SameWord(std::u16string_view a, std::u16string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        char16_t x = a[i], y = b[i];
        if (x >= u'A' && x <= u'Z') x = static_cast<char16_t>(x - u'A' + u'a');
        if (y >= u'A' && y <= u'Z') y = static_cast<char16_t>(y - u'A' + u'a');
        if (x != y) return false;
    }
    return true;
}

bool IsSpace(char16_t c) { return c == u' ' || c == u'\t' || c == u'\r' || c == u'\n'; }
bool IsPunct(char16_t c) { return c == u'{' || c == u'}' || c == u'='; }

}  // namespace

class RegistryScript::Parser {
public:
    Parser(std::string_view text, const ScriptReplacements& replacements, std::string* error)
        : m_text(Utf8ToUtf16(text)), m_replacements(replacements), m_error(error) {}

    bool ParseScript(std::vector<Key>* keys) {
        Token t;
        while (Next(&t)) {
            if (t.kind == Kind::End) return true;
            if (t.kind != Kind::Word || !(SameWord(t.raw, u"HKCR") || SameWord(t.raw, u"HKEY_CLASSES_ROOT")))
                return Fail("expected HKCR (the only root this registry has)");
            if (!Expect(Kind::Open, "'{' after HKCR") || !ParseBody(keys, nullptr)) return false;
        }
        return false;
    }

private:
    enum class Kind { Word, Quoted, Open, Close, Equals, End };
    struct Token {
        Kind kind = Kind::End;
        std::u16string raw;   // as written (words only)
        std::u16string text;  // after replacement
    };

    bool Fail(const std::string& what) {
        if (m_error) *m_error = "registry script line " + std::to_string(m_line) + ": " + what;
        return false;
    }

    // Replaces %NAME% and %% in one token.
    bool Replace(std::u16string_view in, std::u16string* out) {
        out->clear();
        for (std::size_t i = 0; i < in.size(); ++i) {
            if (in[i] != u'%') {
                out->push_back(in[i]);
                continue;
            }
            std::size_t end = in.find(u'%', i + 1);
            if (end == std::u16string_view::npos) return Fail("unterminated %NAME%");
            std::string name = Utf16ToUtf8(in.substr(i + 1, end - i - 1));
            if (name.empty()) {
                out->push_back(u'%');
            } else {
                const std::u16string* value = nullptr;
                for (const auto& [key, text] : m_replacements)
                    if (key == name) value = &text;
                if (!value) return Fail("no replacement for %" + name + "%");
                out->append(*value);
            }
            i = end;
        }
        return true;
    }

    bool Next(Token* t) {
        if (m_peeked) {
            *t = std::move(m_peek);
            m_peeked = false;
            return true;
        }
        while (m_pos < m_text.size() && IsSpace(m_text[m_pos])) {
            if (m_text[m_pos] == u'\n') ++m_line;
            ++m_pos;
        }
        t->raw.clear();
        t->text.clear();
        if (m_pos == m_text.size()) {
            t->kind = Kind::End;
            return true;
        }
        char16_t c = m_text[m_pos];
        if (IsPunct(c)) {
            t->kind = c == u'{' ? Kind::Open : c == u'}' ? Kind::Close : Kind::Equals;
            ++m_pos;
            return true;
        }
        if (c == u'\'') {
            std::u16string raw;
            for (++m_pos;; ++m_pos) {
                if (m_pos == m_text.size()) return Fail("missing closing quote");
                if (m_text[m_pos] == u'\n') return Fail("quoted text runs past the end of the line");
                if (m_text[m_pos] == u'\'') {
                    if (m_pos + 1 < m_text.size() && m_text[m_pos + 1] == u'\'') {
                        raw.push_back(u'\'');
                        ++m_pos;
                        continue;
                    }
                    ++m_pos;
                    break;
                }
                raw.push_back(m_text[m_pos]);
            }
            t->kind = Kind::Quoted;
            return Replace(raw, &t->text);
        }
        std::size_t start = m_pos;
        while (m_pos < m_text.size() && !IsSpace(m_text[m_pos]) && !IsPunct(m_text[m_pos]) && m_text[m_pos] != u'\'')
            ++m_pos;
        t->kind = Kind::Word;
        t->raw = m_text.substr(start, m_pos - start);
        return Replace(t->raw, &t->text);
    }

    bool Peek(Kind* kind) {
        if (!m_peeked) {
            if (!Next(&m_peek)) return false;
            m_peeked = true;
        }
        *kind = m_peek.kind;
        return true;
    }

    bool Expect(Kind kind, const char* what) {
        Token t;
        if (!Next(&t)) return false;
        return t.kind == kind ? true : Fail(std::string("expected ") + what);
    }

    bool ReadName(std::u16string* name, bool keyName) {
        Token t;
        if (!Next(&t)) return false;
        if (t.kind != Kind::Word && t.kind != Kind::Quoted) return Fail("expected a name");
        if (keyName && !IsValidKeyName(t.text)) return Fail("invalid key name '" + Utf16ToUtf8(t.text) + "'");
        if (!keyName && t.text.size() > kMaxValueNameUnits) return Fail("value name too long");
        *name = std::move(t.text);
        return true;
    }

    // "= s 'text'" after a name; the '=' is already read.
    bool ReadValue(std::u16string* value) {
        Token t;
        if (!Next(&t)) return false;
        if (t.kind != Kind::Word || !SameWord(t.raw, u"s")) return Fail("only text values (s '...') are supported");
        if (!Next(&t)) return false;
        if (t.kind != Kind::Quoted) return Fail("expected a quoted text after s");
        *value = std::move(t.text);
        return true;
    }

    // Keys (and, inside a key, named values) up to the closing brace.
    bool ParseBody(std::vector<Key>* keys, std::vector<std::pair<std::u16string, std::u16string>>* values) {
        while (true) {
            Kind kind;
            if (!Peek(&kind)) return false;
            if (kind == Kind::End) return Fail("missing '}'");
            if (kind == Kind::Close) {
                Token t;
                return Next(&t);
            }
            if (kind != Kind::Word && kind != Kind::Quoted) return Fail("expected a key name");
            Key key;
            if (kind == Kind::Word) {
                const std::u16string& word = m_peek.raw;
                if (SameWord(word, u"val")) {
                    if (!values) return Fail("a named value needs a key");
                    Token t;
                    Next(&t);
                    std::u16string name, data;
                    if (!ReadName(&name, false) || !Expect(Kind::Equals, "'=' after the value name") ||
                        !ReadValue(&data))
                        return false;
                    if (name.empty()) return Fail("a named value needs a name");
                    values->emplace_back(std::move(name), std::move(data));
                    continue;
                }
                if (SameWord(word, u"NoRemove") || SameWord(word, u"ForceRemove")) {
                    key.flag = SameWord(word, u"NoRemove") ? Flag::NoRemove : Flag::ForceRemove;
                    Token t;
                    Next(&t);
                }
            }
            if (!ReadName(&key.name, true)) return false;
            if (!Peek(&kind)) return false;
            if (kind == Kind::Equals) {
                Token t;
                Next(&t);
                if (!ReadValue(&key.defaultValue)) return false;
                key.hasDefault = true;
                if (!Peek(&kind)) return false;
            }
            if (kind == Kind::Open) {
                Token t;
                Next(&t);
                if (!ParseBody(&key.subkeys, &key.values)) return false;
            }
            keys->push_back(std::move(key));
        }
    }

    std::u16string m_text;
    const ScriptReplacements& m_replacements;
    std::string* m_error;
    std::size_t m_pos = 0;
    std::size_t m_line = 1;
    bool m_peeked = false;
    Token m_peek;
};

HRESULT RegistryScript::Parse(std::string_view text, const ScriptReplacements& replacements, RegistryScript* script,
                              std::string* error) {
    std::vector<Key> keys;
    Parser parser(text, replacements, error);
    if (!parser.ParseScript(&keys)) return E_INVALIDARG;
    script->m_keys = std::move(keys);
    return S_OK;
}

void RegistryScript::Register(RegistryKey& root) const {
    for (const Key& key : m_keys) RegisterKey(key, root);
}

void RegistryScript::Unregister(RegistryKey& root) const {
    for (const Key& key : m_keys) UnregisterKey(key, root);
}

void RegistryScript::RegisterKey(const Key& key, RegistryKey& parent) {
    if (key.flag == Flag::ForceRemove) parent.Remove(key.name);
    RegistryKey& target = parent.Create(key.name);
    if (key.hasDefault) target.SetValue(u"", key.defaultValue);
    for (const auto& [name, data] : key.values) target.SetValue(name, data);
    for (const Key& sub : key.subkeys) RegisterKey(sub, target);
}

void RegistryScript::UnregisterKey(const Key& key, RegistryKey& parent) {
    RegistryKey* target = parent.Find(key.name);
    if (!target) return;
    if (key.flag == Flag::ForceRemove) {
        parent.Remove(key.name);
        return;
    }
    for (const Key& sub : key.subkeys) UnregisterKey(sub, *target);
    for (const auto& [name, data] : key.values) target->RemoveValue(name);
    if (key.flag == Flag::None && !target->HasSubkeys()) parent.Remove(key.name);
}

}  // namespace calyra
